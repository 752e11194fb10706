#pragma once
// The set-up sequence that prepares the analyser for zero-span noise readings: first it has the
// analyser store its own settings (so that the disconnect can bring them back), then it resets
// it and sets the bandwidths, averaging, sweep time, attenuation and display scale of the
// "Options" page. Widget-free: the caller passes the texts of the fields; the lines themselves
// are the dialect's (analyser_dialect.h).

#include <QByteArray>
#include <QList>
#include <QString>

class AnalyserDialect;
class CommandChannel;

/// What the set-up reads from the "Options" page. The texts go to the analyser exactly as
/// they stand in the fields, with the blank between number and unit.
struct SetupSettings
{
    double startHz = 0;     ///< first frequency of the sweep plan
    QString vbwText;        ///< cb_vbw, e.g. "10 Hz"
    int vbwIndex = -1;      ///< selected position of cb_vbw; -1 when none is selected
    QString rbwText;        ///< cb_rbw, e.g. "3 MHz"
    QString averageText;    ///< cb_Average, e.g. "10"
    QString rfAttText;      ///< cb_RFAtt, e.g. "0 dB"
    QString refLevelText;   ///< e_RefLvl, e.g. "0 dBm"
    QString rangeText;      ///< e_Range, e.g. "100 dB"
};

/// Number of commands in the set-up sequence.
inline constexpr int kSetupCommandCount = 23;

/// A text of a field as the bytes that go on the line (Windows-1252; the analyser only ever
/// sees ASCII from the designed lists).
QByteArray CommandText(const QString &text);

/// Sends the dialect's set-up through the channel, each command waiting for its "*OPC?" answer before
/// the next goes out. A command that gets no answer (the channel has told the operator) ends
/// the set-up there: nothing more is sent and the result is false. `stateSaved` becomes true
/// once the analyser has confirmed storing its own settings, so that the disconnect restores
/// them even after a set-up that stopped later on.
bool RunSetup(CommandChannel &channel, const AnalyserDialect &dialect, const SetupSettings &settings,
              bool &stateSaved);
