#pragma once
// The files a bench brings along: a loss table (frequency and loss, one point a line) and the
// ENR data file a noise source ships with.
//
// A loss table is comma-separated text: each line "frequency, loss", the frequency as an entry
// field reads it ("1.5 GHz", "400M") and the loss in dB ("0.8" or "0.8 dB"); blank lines and
// lines beginning with "#" are ignored. The points are sorted by frequency when read; a line
// that is not such a point, a frequency at or below 0 Hz, a negative loss or one frequency given
// twice is refused with its line number.
//
// An ENR data file is ASCII text, lines under 100 characters ended by LF or CR LF. Blank lines
// are ignored, lines beginning with "#" or "!" are comments, and "[Name value]" lines are
// headers ("[Filetype ENR]", "[Serialnumber ABCD1234]", "[Model 346B]"; names are matched in
// any case, unknown ones ignored). Every other line is one point:
//
//   frequency [Hz|kHz|MHz|GHz|THz]  ENR [dB]  [uncertainty [dB]]  [reflection fields ...]
//
// with the fields separated by blanks or tabs, or by one comma; numbers are decimal with an
// optional exponent of one to three digits ("2e+010" is 20 GHz; the unit, any case, defaults to
// Hz). Frequencies rise strictly from line to line. The reflection fields are numbers the
// program does not use.
//
// Every refusal is an EConvertError whose text begins with the line number ("line 7: ..."); the
// file functions add the file's name. Nothing is returned from a refused file.

#include "noise/bench_setup.h"
#include "noise/enr_lookup.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <array>
#include <functional>
#include <optional>

/// Reads a frequency as an entry field reads it; throws EConvertError for text that is not one.
using FrequencyReader = std::function<double(const QString &text)>;

/// Larger files are not loss tables or ENR files; they are refused before being read.
inline constexpr qint64 kBenchFileLimit = 1024 * 1024;

/// The points of a loss table, ascending in frequency (see above).
QList<LossPoint> ParseLossTable(const QByteArray &content, const FrequencyReader &readFrequency);
/// Reads a loss table file; EFileError naming the file (and the line) on any failure.
QList<LossPoint> ReadLossTableFile(const QString &path, const FrequencyReader &readFrequency);

/// Longest line of an ENR data file, without its line end.
inline constexpr int kEnrFileLineLimit = 99;

struct EnrFilePoint
{
    double frequencyHz = 0;
    double enrDb = 0;
    std::optional<double> uncertaintyDb;  ///< the calibration's uncertainty at this frequency
    bool operator==(const EnrFilePoint &) const = default;
};

struct EnrDataFile
{
    QList<EnrFilePoint> points;  ///< strictly ascending in frequency, at least one
    QString serialNumber;        ///< from [Serialnumber ...]; empty when the file names none
    QString model;               ///< from [Model ...]
};

/// The content of an ENR data file (see above); EConvertError "line N: reason" when refused.
EnrDataFile ParseEnrDataFile(const QByteArray &content);
/// Reads an ENR data file; EFileError "<file>: line N: reason" on any failure.
EnrDataFile ReadEnrDataFile(const QString &path);

/// What an ENR data file puts into one of the two tables.
struct EnrFileTable
{
    EnrRows rows;  ///< frequency in GHz and ENR in dB as bare numbers; rows after the file's empty
    /// Per row, the file's ENR uncertainty in dB; nothing where the file gives none.
    EnrUncertainties uncertaintyDb{};
    QString noiseSourceText;  ///< model and serial number, cut to the 32 characters a record keeps
    bool textCut = false;     ///< the model and serial number were longer than 32 characters
    int points = 0;           ///< the rows the file filled: the table reads these alone
};

/// The table of `file`. Throws EConvertError naming the count when the file holds more points
/// than a table's 20 rows.
EnrFileTable EnrFileTableOf(const EnrDataFile &file);

