#pragma once
// The program's dialogue with the analyser, byte for byte as the program sends it: the set-up
// that opens a calibration, and the per-frequency dialogue of the calibration and measurement
// passes.

#include "helper_simbench.h"

#include <QByteArray>
#include <QList>
#include <QString>

/// The Options-page texts that the set-up sends.
struct SetupTexts
{
    QByteArray startHz = "400000000";
    QByteArray vbw = "10 Hz";
    QByteArray rbw = "3 MHz";
    QByteArray average = "10";
    QByteArray sweepTime = "4ms";
    QByteArray attenuation = "0 dB";
    QByteArray refLevel = "0 dBm";
    QByteArray range = "100 dB";
};

/// The 23 set-up commands, each ending in "*OPC?".
QList<QByteArray> setupCommands(const SetupTexts &texts = {});

/// Sends the set-up, waiting for each "1" as the program does. False (with `why`) when an
/// answer is missing or not "1".
bool runSetup(PortClient &client, const SetupTexts &texts, QString *why);

/// One frequency of a pass: the plain Hz text and the marker text of the measurement pass
/// ("400000000.00 Hz", "1.5E09 Hz").
struct PassFrequency
{
    double hz = 0;
    QByteArray plain;
    QByteArray marker;
};

/// The two readings of one frequency, as answered.
struct PassReadings
{
    QByteArray off;
    QByteArray on;
};

/// Runs a calibration pass (`measurement` false) or a measurement pass from its "SWE:TIME?"
/// on: per frequency the source off, marker and centre, settling, averaged reading, source on,
/// settling, averaged reading. The readings are appended to `readings`. Every line that was
/// sent is appended to `sent` when given.
bool runPass(PortClient &client, bool measurement, const QList<PassFrequency> &frequencies,
             const QByteArray &average, QList<PassReadings> *readings, QString *why,
             QList<QByteArray> *sent = nullptr);
