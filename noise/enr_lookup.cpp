#include "noise/enr_lookup.h"

#include "base/engvalue.h"
#include "base/errors.h"
#include "noise/yfactor.h"

#include <algorithm>
#include <cmath>

namespace {

/// A cell read through ParseValue with `unit` appended; an empty cell is refused here because
/// ParseValue would read " Hz" (three characters) as 0 dB without a word.
double ReadCell(const QString &cell, const QString &unit, int row, const char *what)
{
    const auto fail = [&]() -> EConvertError {
        return EConvertError(QStringLiteral("ENR table, row %1: the %2 \"%3\" is not a number.")
                                 .arg(row)
                                 .arg(QLatin1String(what), cell));
    };
    // ParseValue takes the letter after the first blank as the unit of the whole text, so a
    // cell must be a bare number: "5.52 dB" would read as a linear ratio and "2.0 " (a blank
    // left at the end of a line of a table file) as hertz. Blanks at the end are dropped; a
    // blank left inside means words after the number.
    qsizetype end = cell.size();
    while (end > 0 && cell[end - 1] == u' ')
        --end;
    const QString number = cell.left(end);
    if (number.trimmed().isEmpty() || number.contains(u' '))
        throw fail();
    try {
        return ParseValue(number + unit);
    } catch (const EConvertError &) {
        throw fail();
    } catch (const EMathError &) {
        throw EMathError(QStringLiteral("ENR table, row %1: the %2 \"%3\" is too large.")
                             .arg(row)
                             .arg(QLatin1String(what), cell));
    }
}

}  // namespace

bool operator==(const EnrRow &a, const EnrRow &b)
{
    return a.FrequencyText == b.FrequencyText && a.EnrText == b.EnrText;
}

int EnrRowsInUse(const EnrRows &rows, int dataFileRows)
{
    if (dataFileRows < 1 || dataFileRows >= kEnrRows)
        return kEnrRows;
    for (int r = dataFileRows; r < kEnrRows; ++r) {
        if (!rows[size_t(r)].FrequencyText.trimmed().isEmpty() || !rows[size_t(r)].EnrText.trimmed().isEmpty())
            return kEnrRows;
    }
    return dataFileRows;
}

double LookupEnr(double frequencyHz, int enrMode, const QString &enrAllText, const EnrRows &rows, int rowsInUse)
{
    if (enrMode == 0)
        return ParseValue(enrAllText);  // the text carries "dB": already the linear ratio

    const QString ghz = QStringLiteral(" GHz");
    const QString hz = QStringLiteral(" Hz");  // passes the bare dB number unchanged
    rowsInUse = std::clamp(rowsInUse, 1, kEnrRows);
    if (rowsInUse == 1) {
        // One point of a data file: its ENR holds at every frequency.
        ReadCell(rows[0].FrequencyText, ghz, 1, "frequency");
        return FromDb(ReadCell(rows[0].EnrText, hz, 1, "ENR"));
    }
    std::array<double, kEnrRows + 1> rowHz{};  // 1-based like the rows of the grid
    int lo = 0;
    int hi = 0;
    for (int r = 1; r <= rowsInUse; ++r) {
        rowHz[size_t(r)] = ReadCell(rows[size_t(r - 1)].FrequencyText, ghz, r, "frequency");
        if (frequencyHz >= rowHz[size_t(r)])
            lo = r;
        if (frequencyHz < rowHz[size_t(r)] && hi == 0)
            hi = r;
    }
    if (lo == 0) {  // below every row: the line through the first two rows
        lo = 1;
        hi = 2;
    }
    if (hi == 0) {  // above every row: the line through the last two rows
        hi = lo;
        lo = lo - 1;
    }

    const double fLo = rowHz[size_t(lo)];
    const double fHi = rowHz[size_t(hi)];
    const double enrLoDb = ReadCell(rows[size_t(lo - 1)].EnrText, hz, lo, "ENR");
    const double enrHiDb = ReadCell(rows[size_t(hi - 1)].EnrText, hz, hi, "ENR");
    if (fHi == fLo) {
        throw EMathError(QStringLiteral("ENR table: rows %1 and %2 have the same frequency (%3 GHz), "
                                        "so the ENR cannot be interpolated.")
                             .arg(lo)
                             .arg(hi)
                             .arg(rows[size_t(hi - 1)].FrequencyText));
    }

    const double slopeDbPerHz = (enrHiDb - enrLoDb) / (fHi - fLo);
    const double interceptDb = enrLoDb - fLo * slopeDbPerHz;
    const double enrDb = frequencyHz * slopeDbPerHz + interceptDb;
    const double enr = FromDb(enrDb);
    if (!std::isfinite(enr)) {
        throw EMathError(QStringLiteral("ENR table, rows %1 and %2: the ENR at %3 Hz is not a "
                                        "finite number.")
                             .arg(lo)
                             .arg(hi)
                             .arg(ShortestDecimal(frequencyHz)));
    }
    return enr;
}

const EnrRows &DefaultEnrRows()
{
    static const EnrRows rows = {{
        {QStringLiteral("0.01"), QStringLiteral("6.12")},
        {QStringLiteral("0.1"), QStringLiteral("6.29")},
        {QStringLiteral("1.0"), QStringLiteral("5.89")},
        {QStringLiteral("2.0"), QStringLiteral("5.52")},
        {QStringLiteral("3.0"), QStringLiteral("5.27")},
        {QStringLiteral("4.0"), QStringLiteral("5.20")},
        {QStringLiteral("5.0"), QStringLiteral("5.11")},
        {QStringLiteral("6.0"), QStringLiteral("5.08")},
        {QStringLiteral("7.0"), QStringLiteral("5.06")},
        {QStringLiteral("8.0"), QStringLiteral("5.20")},
        {QStringLiteral("9.0"), QStringLiteral("5.42")},
        {QStringLiteral("10.0"), QStringLiteral("5.54")},
        {QStringLiteral("11.0"), QStringLiteral("5.92")},
        {QStringLiteral("12.0"), QStringLiteral("6.12")},
        {QStringLiteral("13.0"), QStringLiteral("6.20")},
        {QStringLiteral("14.0"), QStringLiteral("6.38")},
        {QStringLiteral("15.0"), QStringLiteral("6.39")},
        {QStringLiteral("16.0"), QStringLiteral("6.88")},
        {QStringLiteral("17.0"), QStringLiteral("6.75")},
        {QStringLiteral("18.0"), QStringLiteral("6.75")},
    }};
    return rows;
}
