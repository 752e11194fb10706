#pragma once
// The ENR of the noise source at a frequency: one constant, or interpolated linearly in dB over
// linear frequency from the 20 rows of an ENR table, extrapolated along the first two rows below
// the table and along the last two above it.

#include <QString>
#include <array>
#include <optional>

/// One row of an ENR table as the grid shows it: the frequency in GHz and the ENR in dB, both as
/// bare decimal numbers ("0.01", "6.12").
struct EnrRow
{
    QString FrequencyText;
    QString EnrText;
};

bool operator==(const EnrRow &a, const EnrRow &b);

constexpr int kEnrRows = 20;
using EnrRows = std::array<EnrRow, kEnrRows>;
/// Per row, the ENR uncertainty in dB a noise source's data file gives; nothing where it gives none.
using EnrUncertainties = std::array<std::optional<double>, kEnrRows>;

/// The ENR at `frequencyHz` as a linear power ratio (5.52 dB gives 3.5645). `enrMode` 0 reads
/// `enrAllText` ("5.52 dB") through ParseValue; any other mode interpolates `rows`, which are
/// expected in ascending order of frequency and are not sorted here.
/// Throws EConvertError naming the row when a frequency cell, or an ENR cell that is used, is
/// empty or not a bare number (blanks at its end are ignored, a unit or words after it are not); EMathError naming the rows when the two rows to interpolate between
/// have the same frequency, or when the result is not a finite number.
/// Only the first `rowsInUse` rows are read (1 to 20); a single row gives its ENR at every
/// frequency.
double LookupEnr(double frequencyHz, int enrMode, const QString &enrAllText, const EnrRows &rows,
                 int rowsInUse = kEnrRows);

/// The rows a table reads: the `dataFileRows` a noise source's data file filled, when every row
/// after them is empty (both cells blank); otherwise all 20, as a table typed or read from a
/// *.tab file always reads them.
int EnrRowsInUse(const EnrRows &rows, int dataFileRows);

/// The 20 designed rows of the grid, the content of both tables before any is loaded.
const EnrRows &DefaultEnrRows();

/// The ENR uncertainty at `frequencyHz` from per-row uncertainties, interpolated linearly over
/// frequency between the rows that have one (and held beyond them), as the ENR is; nothing when
/// no row has one. Rows whose frequency cell is not a number are skipped.
std::optional<double> EnrUncertaintyAt(double frequencyHz, const EnrRows &rows, const EnrUncertainties &uncertaintyDb);
