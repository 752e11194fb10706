#pragma once
// The simulated analyser's command interpreter: it holds the settings the commands change,
// carries out the commands of a received line in order and forms the answer line. It knows
// nothing of the pseudo-terminal; timing faults (delay, baud rate, hang-up) are the server's.

#include "simulator/bench_model.h"
#include "simulator/scpi.h"
#include "simulator/sim_options.h"

#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

/// The analyser's settings: what "*RST" resets and what the state register stores and loads.
struct AnalyserSettings
{
    double centreHz = 3.5e9;
    double spanHz = 7e9;
    double rbwHz = 3e6;
    double vbwHz = 10e6;
    bool continuousSweep = true;
    long sweepCount = 0;
    double sweepTimeS = 5e-3;
    std::string traceMode = "WRIT";
    double attenuationDb = 10.0;
    double refLevelDbm = -20.0;
    double rangeDb = 100.0;
    std::string powerUnit = "DBM";
    bool markerOn = false;
    std::optional<double> markerHz; ///< unset after "*RST": the marker sits at the centre
    bool noiseSourceOn = false;
    bool displayUpdate = true;
    bool powerSave = false;
    long powerSaveHoldoffMin = 15;
};

class Instrument
{
public:
    /// Identification line answered to "*IDN?".
    static constexpr const char *kIdentification = "Tessary Bench Simulator,FSP-SIM,000001,1.0";
    /// Answer of the one garbled reading of --garbage-once.
    static constexpr const char *kGarbage = "?#%garbage%#?";

    /// `note` receives a text for every command that is not understood or not carried out.
    Instrument(const SimOptions &options, const BenchModel &bench,
               std::function<void(const std::string &)> note);

    /// Carries out the commands of one received line (without its CR LF) in order. Returns the
    /// answer line without CR LF when the line held a query (the answers of several queries
    /// joined by ";", as SCPI does), nullopt otherwise.
    std::optional<std::string> executeLine(std::string_view line);

    const AnalyserSettings &settings() const { return m_settings; }
    /// Whether the DUT sits between noise source and analyser right now.
    bool dutIn() const;
    /// The level marker 1 reads now, in dBm, before jitter and formatting.
    double markerLevelDbm() const;
    /// The seconds of sweeping that the "INIT"s carried out since the last call started: for
    /// each, the sweep count (at least one sweep) times the sweep time. The server holds later
    /// answers until they are over when the timing is real.
    double takeSweepSeconds();

private:
    struct Entry
    {
        std::string pattern;
        std::function<bool(const scpi::Command &)> set;    ///< false: parameter not accepted
        std::function<std::string()> query;
    };

    void buildTable();
    void addNumber(const std::string &pattern, double AnalyserSettings::*member, scpi::Unit unit,
                   double minimum, bool exponentForm = false);
    void addBool(const std::string &pattern, bool AnalyserSettings::*member);
    void addWord(const std::string &pattern, std::string AnalyserSettings::*member);
    const Entry *find(const scpi::Command &command) const;
    std::string readingText();
    double gaussian();
    bool storeState(const std::string &params);
    bool loadState(const std::string &params);

    const SimOptions &m_options;
    const BenchModel &m_bench;
    std::function<void(const std::string &)> m_note;
    std::vector<Entry> m_table;
    AnalyserSettings m_settings;
    std::map<std::string, AnalyserSettings> m_stateFiles; ///< by upper-case path
    std::string m_comment;
    bool m_selectHardware = true;
    bool m_selectTraces = false;
    bool m_selectLimitLines = false;
    bool m_measurementPass = false; ///< auto placement: DUT in since "NSO OFF; *WAI"
    bool m_garbagePending = false;
    double m_sweepSeconds = 0;
    std::mt19937_64 m_random;
};
