#include "simulator/instrument.h"

#include <algorithm>
#include <cmath>

using scpi::Command;
using scpi::Unit;

namespace {

std::string boolText(bool value)
{
    return value ? "1" : "0";
}

/// "1,'D:\USER\DATA\KORVEL'": the register number and the path between the quotes.
bool splitStateParams(const std::string &params, long &reg, std::string &path)
{
    const size_t comma = params.find(',');
    if (comma == std::string::npos)
        return false;
    const std::optional<long> number = scpi::parseInteger(std::string_view(params).substr(0, comma));
    const std::string_view quoted = scpi::trimmed(std::string_view(params).substr(comma + 1));
    if (!number || quoted.size() < 2 || (quoted.front() != '\'' && quoted.front() != '"') ||
        quoted.back() != quoted.front())
        return false;
    reg = *number;
    path = std::string(quoted.substr(1, quoted.size() - 2));
    return !path.empty();
}

} // namespace

Instrument::Instrument(const SimOptions &options, const BenchModel &bench,
                       std::function<void(const std::string &)> note)
    : m_options(options)
    , m_bench(bench)
    , m_note(std::move(note))
    , m_garbagePending(options.garbageOnce)
    , m_random(options.seed)
{
    buildTable();
}

bool Instrument::dutIn() const
{
    switch (m_options.dutPlace) {
    case DutPlace::In:
        return true;
    case DutPlace::Out:
        return false;
    case DutPlace::Auto:
        break;
    }
    return m_measurementPass;
}

double Instrument::markerLevelDbm() const
{
    // In zero span the program puts the marker at the frequency it measures; without a marker
    // position the analyser reads at its centre frequency.
    const double freqHz = m_settings.markerHz.value_or(m_settings.centreHz);
    return m_bench.levelDbm(freqHz, m_settings.rbwHz, m_settings.noiseSourceOn, dutIn());
}

double Instrument::gaussian()
{
    // Box–Muller on the standard engine, so that a seed gives the same readings everywhere.
    constexpr double kTwoPi = 6.283185307179586;
    const double u1 = 1.0 - std::generate_canonical<double, 53>(m_random); // (0, 1]
    const double u2 = std::generate_canonical<double, 53>(m_random);
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(kTwoPi * u2);
}

std::string Instrument::readingText()
{
    if (m_garbagePending) {
        m_garbagePending = false;
        return kGarbage;
    }
    if (!m_settings.markerOn)
        m_note("marker 1 is off; reading at its position anyway");
    double levelDbm = markerLevelDbm();
    if (m_options.jitterDb > 0)
        levelDbm += m_options.jitterDb * gaussian();
    return m_options.format == ReadingFormat::Scientific ? scpi::formatScientific(levelDbm, 6)
                                                         : scpi::formatFixed(levelDbm, 2);
}

void Instrument::addNumber(const std::string &pattern, double AnalyserSettings::*member, Unit unit,
                           double minimum, bool exponentForm)
{
    m_table.push_back({pattern,
                       [this, member, unit, minimum](const Command &c) {
                           const std::optional<double> value = scpi::parseNumber(c.params, unit);
                           if (!value || *value < minimum)
                               return false;
                           m_settings.*member = *value;
                           return true;
                       },
                       [this, member, exponentForm]() {
                           return exponentForm ? scpi::formatScientific(m_settings.*member, 6)
                                               : scpi::formatShortest(m_settings.*member);
                       }});
}

void Instrument::addBool(const std::string &pattern, bool AnalyserSettings::*member)
{
    m_table.push_back({pattern,
                       [this, member](const Command &c) {
                           const std::optional<bool> value = scpi::parseBool(c.params);
                           if (!value)
                               return false;
                           m_settings.*member = *value;
                           return true;
                       },
                       [this, member]() { return boolText(m_settings.*member); }});
}

void Instrument::addWord(const std::string &pattern, std::string AnalyserSettings::*member)
{
    m_table.push_back({pattern,
                       [this, member](const Command &c) {
                           const std::string word = scpi::upper(c.params);
                           if (word.empty() || word.find_first_of(" \t,'\"") != std::string::npos)
                               return false;
                           m_settings.*member = word;
                           return true;
                       },
                       [this, member]() { return m_settings.*member; }});
}

void Instrument::buildTable()
{
    const double kNoMinimum = -1e300;

    m_table.push_back({"*IDN", nullptr, [] { return std::string(kIdentification); }});
    // Commands are carried out one after the other as they arrive, so every command is
    // complete when the next is read: "*OPC?" can answer at once and "*WAI" has nothing to
    // wait for.
    m_table.push_back({"*OPC", [](const Command &) { return true; }, [] { return std::string("1"); }});
    m_table.push_back({"*WAI", [](const Command &) { return true; }, nullptr});
    m_table.push_back({"*CLS", [](const Command &) { return true; }, nullptr});
    m_table.push_back({"*RST",
                       [this](const Command &) {
                           m_settings = AnalyserSettings();
                           m_measurementPass = false;
                           return true;
                       },
                       nullptr});

    addNumber("[SENSe:]FREQuency:CENTer", &AnalyserSettings::centreHz, Unit::Frequency, 0.0);
    addNumber("[SENSe:]FREQuency:SPAN", &AnalyserSettings::spanHz, Unit::Frequency, 0.0);
    addNumber("[SENSe:]BANDwidth[:RESolution]", &AnalyserSettings::rbwHz, Unit::Frequency, 1e-300);
    addNumber("[SENSe:]BWIDth[:RESolution]", &AnalyserSettings::rbwHz, Unit::Frequency, 1e-300);
    addNumber("[SENSe:]BANDwidth:VIDeo", &AnalyserSettings::vbwHz, Unit::Frequency, 1e-300);
    addNumber("[SENSe:]BWIDth:VIDeo", &AnalyserSettings::vbwHz, Unit::Frequency, 1e-300);
    addNumber("[SENSe:]SWEep:TIME", &AnalyserSettings::sweepTimeS, Unit::Time, 1e-300, true);
    addNumber("INPut:ATTenuation", &AnalyserSettings::attenuationDb, Unit::Decibel, 0.0);
    addNumber("DISPlay[:WINDow#]:TRACe#:Y[:SCALe]:RLEVel", &AnalyserSettings::refLevelDbm,
              Unit::Decibel, kNoMinimum);
    addNumber("DISPlay[:WINDow#]:TRACe#:Y[:SCALe]", &AnalyserSettings::rangeDb, Unit::Decibel,
              1e-300);
    addBool("INITiate:CONTinuous", &AnalyserSettings::continuousSweep);
    addBool("CALCulate#:MARKer#[:STATe]", &AnalyserSettings::markerOn);
    addBool("DIAGnostic:SERVice:NSOurce", &AnalyserSettings::noiseSourceOn);
    addBool("SYSTem:DISPlay:UPDate", &AnalyserSettings::displayUpdate);
    addBool("SYSTem:PSAVe[:STATe]", &AnalyserSettings::powerSave);
    addWord("DISPlay[:WINDow#]:TRACe#:MODE", &AnalyserSettings::traceMode);
    addWord("CALCulate#:UNIT:POWer", &AnalyserSettings::powerUnit);

    m_table.push_back({"[SENSe:]SWEep:COUNt",
                       [this](const Command &c) {
                           const std::optional<long> n = scpi::parseInteger(c.params);
                           if (!n || *n < 0 || *n > 32767)
                               return false;
                           m_settings.sweepCount = *n;
                           return true;
                       },
                       [this] { return std::to_string(m_settings.sweepCount); }});
    m_table.push_back({"SYSTem:PSAVe:HOLDoff",
                       [this](const Command &c) {
                           const std::optional<long> n = scpi::parseInteger(c.params);
                           if (!n || *n < 0)
                               return false;
                           m_settings.powerSaveHoldoffMin = *n;
                           return true;
                       },
                       [this] { return std::to_string(m_settings.powerSaveHoldoffMin); }});
    // The sweeps run at once and are over before the next command is read; the reading of
    // the marker is formed when it is asked for.
    m_table.push_back({"INITiate[:IMMediate]",
                       [this](const Command &c) {
                           if (!c.params.empty())
                               return false;
                           m_sweepSeconds += double(std::max(1L, m_settings.sweepCount)) * m_settings.sweepTimeS;
                           return true;
                       },
                       nullptr});
    m_table.push_back({"CALCulate#:MARKer#:X",
                       [this](const Command &c) {
                           const std::optional<double> f = scpi::parseNumber(c.params, Unit::Frequency);
                           if (!f || *f < 0)
                               return false;
                           m_settings.markerHz = *f;
                           return true;
                       },
                       [this] {
                           return scpi::formatShortest(m_settings.markerHz.value_or(m_settings.centreHz));
                       }});
    m_table.push_back({"CALCulate#:MARKer#:Y", nullptr, [this] { return readingText(); }});

    auto selection = [this](const std::string &pattern, bool Instrument::*member) {
        m_table.push_back({pattern,
                           [this, member](const Command &c) {
                               const std::optional<bool> value = scpi::parseBool(c.params);
                               if (!value)
                                   return false;
                               this->*member = *value;
                               return true;
                           },
                           [this, member] { return boolText(this->*member); }});
    };
    selection("MMEMory:SELect[:ITEM]:HWSettings", &Instrument::m_selectHardware);
    selection("MMEMory:SELect[:ITEM]:TRACe", &Instrument::m_selectTraces);
    selection("MMEMory:SELect[:ITEM]:LINes:ALL", &Instrument::m_selectLimitLines);
    m_table.push_back({"MMEMory:COMMent",
                       [this](const Command &c) {
                           const std::string_view text = c.params;
                           if (text.size() < 2 || (text.front() != '\'' && text.front() != '"') ||
                               text.back() != text.front())
                               return false;
                           m_comment = std::string(text.substr(1, text.size() - 2));
                           return true;
                       },
                       [this] { return "'" + m_comment + "'"; }});
    m_table.push_back({"MMEMory:STORe:STATe",
                       [this](const Command &c) { return storeState(c.params); }, nullptr});
    m_table.push_back({"MMEMory:LOAD:STATe",
                       [this](const Command &c) { return loadState(c.params); }, nullptr});
}

bool Instrument::storeState(const std::string &params)
{
    long reg = 0;
    std::string path;
    if (!splitStateParams(params, reg, path))
        return false;
    // The stored file holds the hardware settings only; with their selection off there is
    // nothing to bring back later, so the load then changes nothing.
    if (m_selectHardware)
        m_stateFiles[scpi::upper(path)] = m_settings;
    else
        m_note("hardware settings not selected: '" + path + "' holds no settings");
    return true;
}

bool Instrument::loadState(const std::string &params)
{
    long reg = 0;
    std::string path;
    if (!splitStateParams(params, reg, path))
        return false;
    const auto it = m_stateFiles.find(scpi::upper(path));
    if (it == m_stateFiles.end()) {
        m_note("no stored settings under '" + path + "'");
        return true;
    }
    m_settings = it->second;
    return true;
}

const Instrument::Entry *Instrument::find(const Command &command) const
{
    for (const Entry &entry : m_table) {
        if (scpi::headerMatches(entry.pattern, command.header) &&
            (command.query ? bool(entry.query) : bool(entry.set)))
            return &entry;
    }
    return nullptr;
}

double Instrument::takeSweepSeconds()
{
    const double s = m_sweepSeconds;
    m_sweepSeconds = 0;
    return s;
}

std::optional<std::string> Instrument::executeLine(std::string_view line)
{
    const std::vector<Command> commands = scpi::splitLine(line);
    std::vector<std::string> answers;
    for (size_t i = 0; i < commands.size(); ++i) {
        const Command &command = commands[i];
        const std::string shown = command.header + (command.query ? "?" : "") +
                                  (command.params.empty() ? "" : " " + command.params);
        const Entry *entry = find(command);
        if (!entry) {
            m_note("unknown command '" + shown + "' ignored");
            continue;
        }
        if (command.query) {
            if (!command.params.empty())
                m_note("parameter of '" + shown + "' ignored");
            answers.push_back(entry->query());
            continue;
        }
        if (!entry->set(command)) {
            m_note("parameter of '" + shown + "' not accepted; setting unchanged");
            continue;
        }
        // The measurement pass switches the source off with "; *WAI" appended, the set-up and
        // the calibration pass without it: that is when the operator has put the DUT in.
        if (scpi::headerMatches("DIAGnostic:SERVice:NSOurce", command.header) &&
            !m_settings.noiseSourceOn && i + 1 < commands.size() &&
            scpi::headerMatches("*WAI", commands[i + 1].header) && !commands[i + 1].query)
            m_measurementPass = true;
    }
    if (answers.empty())
        return std::nullopt;
    std::string joined = answers.front();
    for (size_t i = 1; i < answers.size(); ++i)
        joined += ";" + answers[i];
    return joined;
}
