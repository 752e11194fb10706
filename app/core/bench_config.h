#pragma once
// The bench as the operator edits it in "Options > Bench ..." and as config.ini keeps it in a
// section [Bench] of its own, with the ENR uncertainties that noise sources' data files gave
// the two tables. Widget-free.
//
// [Bench] keys (a missing or unreadable key reads as its default):
//   LossBefore, LossAfter          off | fixed | table
//   LossBeforeDb, LossAfterDb      the fixed loss, dB
//   LossBeforeFile, LossAfterFile  the table's file name, for the record
//   LossBeforeTable, ...           the table's points "Hz:dB;Hz:dB;..." (kept, not read again)
//   LossBeforeTempK, ...           the element's temperature, K; absent: the room's
//   DutType                        amplifier | down | up
//   LoHz                           a converter's LO
//   ImageRejectionDb               dB, or SSB
//   CalSource                      -1 as the measurement, 0 const., 1 Table1, 2 Table2
//   EnrUncertainty1, ...2          "GHz text:dB;..." for the rows of table 1 / 2 that have one
//   EnrSourceText1, ...2           the model and serial number of the data file table 1 / 2
//                                  came from, as the noise-source text names it; absent: none
//   EnrDataRows1, ...2             the rows that data file filled, 1 to 20, which alone are
//                                  read; absent: a table that reads all 20 rows
// The section is written only once something in it leaves its default (or the file has it
// already), so a file of a program that never used the bench stays byte for byte.

#include "noise/bench_setup.h"
#include "noise/enr_lookup.h"

#include <QList>
#include <QString>
#include <array>

class IniFile;

/// The ENR uncertainties of both tables, per row; nothing where no data file gave one.
using TableUncertainties = std::array<EnrUncertainties, 2>;

struct BenchConfig
{
    BenchSetup bench;
    /// Per table, "GHz text" and uncertainty of each row that has one, as kept in the file;
    /// UncertaintiesFor() matches them to a table's rows.
    std::array<QList<std::pair<QString, double>>, 2> enrUncertainty;
    /// Per table, the noise-source text of the data file its rows came from; empty when none.
    std::array<QString, 2> enrSourceText;
    /// Per table, the rows the data file filled; 0 when none did.
    std::array<int, 2> enrDataFileRows{};
};

/// The uncertainties kept for a table, given to the rows whose frequency text they were kept
/// with (a table changed since then keeps none for the changed rows).
EnrUncertainties UncertaintiesFor(const QList<std::pair<QString, double>> &kept, const EnrRows &rows);
/// What is kept of a table's uncertainties: the frequency text of each row that has one.
QList<std::pair<QString, double>> KeptUncertainties(const EnrUncertainties &uncertainty, const EnrRows &rows);

BenchConfig ReadBenchConfig(const IniFile &ini);
BenchConfig ReadBenchConfig(const QString &path);
/// Writes the section when anything in it leaves its default or the file has it already;
/// false, with an operator-readable `errorMessage`, when the file cannot be written.
bool WriteBenchConfig(const BenchConfig &config, QString *errorMessage, const QString &path);
void WriteBenchConfigValues(IniFile &ini, const BenchConfig &config);

// ---- The dialog's fields ---------------------------------------------------------------------

/// The items of the loss boxes: Off, Fixed, Table (in the order of LossMode).
QStringList LossModeItems();
/// Amplifier, Down-converter, Up-converter (in the order of DutType).
QStringList DutTypeItems();
/// "as measurement", "const.", "Table1", "Table2": item i is calSource i - 1.
QStringList CalSourceItems();

/// One loss as its four controls hold it, with the table its button read.
struct LossFields
{
    int mode = 0;             ///< item of the box: LossMode
    QString dbText;           ///< the fixed loss, "1 dB"
    QString temperatureText;  ///< "21 °C", "77 K"; the room's text when the loss has none of its own
    QList<LossPoint> table;   ///< the points of the table file read
    QString tableFile;

    bool operator==(const LossFields &) const = default;
};

struct BenchFields
{
    LossFields before;
    LossFields after;
    int dutType = 0;               ///< item of cb_DutType
    QString loText;                ///< "9.75 GHz"
    QString imageRejectionText;    ///< "SSB" or "20 dB"
    int calSource = 0;             ///< item of cb_CalSource

    bool operator==(const BenchFields &) const = default;
};

/// The fields for `bench`; a loss without its own temperature shows the room's `roomText`.
BenchFields BenchFieldsOf(const BenchSetup &bench, const QString &roomText);
/// The bench the fields describe. A temperature that reads as the room's is the room's (it
/// follows e_Temperature). False, with an operator-readable `error` naming the first field that
/// does not read or is out of bounds, and `bench` unchanged.
bool ParseBenchFields(const BenchFields &fields, const QString &roomText, BenchSetup &bench, QString *error);
