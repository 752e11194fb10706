#pragma once
// The analyser's dialect: every line the program sends to an analyser, and how it reads the
// answers, behind one interface. The sequencer and the set-up keep their order and their waits;
// they ask the dialect what to send at each point. `FspDialect` is the one dialect there is.
//
// What the program relies on in return (for every dialect):
//   - the identification: any line, shown after "Device: ".
//   - a set-up command and the restore: one line once the command has been carried out; its
//     content is not read.
//   - the settling sweeps: one line once the sweeps have ended.
//   - the sweep-time query: the sweep time in seconds, shown as received.
//   - the reading: one line with the marker level in dBm, read by ParseReading.
//   - every other line of a pass: no answer; the analyser carries out the lines sent without
//     waiting in the order received, so the reading is the level of the sweeps started before it.

#include "analyser/analyser_setup.h"

#include <QByteArray>
#include <QList>
#include <QString>

/// The two passes: the noise source straight at the analyser, and the DUT between them.
enum class PassKind { Calibration, Measurement };

class AnalyserDialect
{
public:
    virtual ~AnalyserDialect() = default;

    /// The analyser family, as messages name it ("FSP does not answer: ...").
    virtual QString DeviceName() const = 0;
    /// The identification query of the analyser search.
    virtual QByteArray Identify() const = 0;

    /// The set-up in the order it is sent, each line confirmed before the next goes out.
    virtual QList<QByteArray> SetupCommands(const SetupSettings &settings) const = 0;
    /// The position in SetupCommands after whose confirmation the analyser holds its own
    /// settings stored, so that the disconnect has something to bring back.
    virtual int StoreStateIndex() const = 0;
    /// Brings back the settings the set-up stored (confirmed).
    virtual QByteArray RestoreState() const = 0;

    /// Asks for the sweep time at the start of a pass (answered).
    virtual QByteArray SweepTimeQuery() const = 0;
    /// The sweep time in seconds of the query's answer; throws EConvertError when it is no number.
    virtual double ParseSweepTime(const QByteArray &reply) const = 0;
    /// How many sweeps the settling lines ask for.
    virtual int SettlingSweepCount() const = 0;
    /// The first lines of a frequency: source off, tune to `hz`, marker there, settling sweeps.
    /// The last line is answered once the sweeps have ended.
    virtual QList<QByteArray> SourceOffAndSettle(PassKind pass, double hz) const = 0;
    /// The averaged reading over `averageText` sweeps; the last line is answered with the level.
    virtual QList<QByteArray> Reading(const QString &averageText) const = 0;
    /// Source on and settling sweeps; the last line is answered once the sweeps have ended.
    virtual QList<QByteArray> SourceOnAndSettle(PassKind pass) const = 0;
    /// The level in dBm of a reading's answer; throws EConvertError when it is no number.
    virtual double ParseReading(const QByteArray &reply) const = 0;
};

/// The spectrum analysers of the FSP family over SCPI.
class FspDialect final : public AnalyserDialect
{
public:
    QString DeviceName() const override;
    QByteArray Identify() const override;
    QList<QByteArray> SetupCommands(const SetupSettings &settings) const override;
    int StoreStateIndex() const override;
    QByteArray RestoreState() const override;
    QByteArray SweepTimeQuery() const override;
    double ParseSweepTime(const QByteArray &reply) const override;
    int SettlingSweepCount() const override;
    QList<QByteArray> SourceOffAndSettle(PassKind pass, double hz) const override;
    QList<QByteArray> Reading(const QString &averageText) const override;
    QList<QByteArray> SourceOnAndSettle(PassKind pass) const override;
    double ParseReading(const QByteArray &reply) const override;

    /// The sweep time sent for a position of cb_vbw ("40ms" for "1 Hz" down to "0.12ms" for
    /// "300 Hz" and "1 kHz"). A position outside the seven entries (no item selected) gets the
    /// longest time, 40ms, which suits every video bandwidth of the list.
    static QByteArray SweepTimeForVbw(int vbwIndex);
};

/// The dialect the program speaks (one object for the whole program).
const AnalyserDialect &DefaultDialect();
