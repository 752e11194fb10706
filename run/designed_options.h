#pragma once
// The designed items and start-up texts of the "Options" page, for code that sets up a run
// without the window (the command line) and for the window's own layout: one list, one place.
// Widget-free.

#include "analyser/analyser_setup.h"
#include "noise/measurement_record.h"

#include <QString>
#include <QStringList>

/// Items of the selector boxes, in list order (the positions a measurement header records).
QStringList RbwItems();      ///< cb_rbw: "1 kHz" .. "3 MHz"
QStringList VbwItems();      ///< cb_vbw: "1 Hz" .. "1 kHz"
QStringList AverageItems();  ///< cb_Average: "1" .. "1000"
QStringList RfAttItems();    ///< cb_RFAtt: "0 dB", "10 dB", "20 dB"
QStringList BaudItems();     ///< cb_Baud: "110" .. "19200"
QStringList BitsItems();     ///< cb_Bits: "7", "8"

/// The texts and selections the page starts with.
struct DesignedOptions
{
    static constexpr int rbwIndex = 7;      ///< "3 MHz"
    static constexpr int vbwIndex = 2;      ///< "10 Hz"
    static constexpr int averageIndex = 2;  ///< "10"
    static constexpr int rfAttIndex = 0;    ///< "0 dB"
    static constexpr int steps = 10;
    static constexpr int baudIndex = 6;     ///< "9600"
    static constexpr int bitsIndex = 1;     ///< "8"
    static constexpr int handshakeIndex = 1;  ///< "DTR/RTS"
    static constexpr int parityIndex = 0;     ///< "keine"
    static constexpr int stopBitsIndex = 0;   ///< "1"
    static QString refLevelText() { return QStringLiteral("0 dBm"); }
    static QString rangeText() { return QStringLiteral("100 dB"); }
    static QString startText() { return QStringLiteral("400 MHz"); }
    static QString stopText() { return QStringLiteral("500 MHz"); }
    static QString singleText() { return QStringLiteral("100 MHz"); }
    static QString temperatureText() { return QStringLiteral("21 \u00B0C"); }
    static QString enrAllText() { return QStringLiteral("5.52 dB"); }
    /// The analyser settings the set-up sends from the page as it starts, for a plan that
    /// starts at `startHz`.
    static SetupSettings setupSettings(double startHz);
};

/// Item `index` of `items`, or an empty text when the index names no item (-1: none selected).
QString ItemText(const QStringList &items, int index);

/// The analyser settings a measurement header recorded, as the boxes showed them.
struct HeaderSettingTexts
{
    QString rbw;
    QString vbw;
    QString average;
};
HeaderSettingTexts SettingTextsOf(const MeasurementHeader &header);
