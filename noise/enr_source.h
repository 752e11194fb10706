#pragma once
// The ENR in use as one value: the operator's choice (the constant or one of the two tables)
// together with the data it reads, so that whoever evaluates a step looks the ENR up the same
// way without reaching back into the page that edits it.

#include "noise/enr_lookup.h"

#include <QString>
#include <cstdint>

/// The selected item of rg_ENR: the constant or one of the two tables.
enum EnrMode : int32_t {
    EnrAll = 0,     ///< "ENR all": the constant of e_ENRall
    EnrTable1 = 1,  ///< "ENR table 1"
    EnrTable2 = 2,  ///< "ENR table 2"
};

/// The ENR choice and its data. `mode` is the item of rg_ENR as it stands; any mode other than
/// EnrAll reads the rows, as LookupEnr does.
struct EnrSource
{
    int mode = EnrAll;
    QString enrAllText = QStringLiteral("5.52 dB");  ///< the constant as e_ENRall shows it
    EnrRows rows = DefaultEnrRows();                 ///< the shown table's rows, GHz and dB text
    /// Per row, the ENR uncertainty of the data file the rows came from; nothing where it gives
    /// none (a table typed or read from a *.tab file gives none).
    EnrUncertainties uncertaintyDb{};
    /// The rows a noise source's data file filled, when the rows came from one; 0: a table
    /// typed or read from a *.tab file, which reads all 20 rows.
    int dataFileRows = 0;

    /// True when the ENR comes from the rows rather than the constant.
    bool isTable() const { return mode != EnrAll; }
    /// The linear ENR at `frequencyHz`; throws as LookupEnr does.
    double lookup(double frequencyHz) const
    {
        return LookupEnr(frequencyHz, mode, enrAllText, rows, EnrRowsInUse(rows, dataFileRows));
    }
    /// The ENR uncertainty of the rows at `frequencyHz`, dB, where a data file gave it.
    std::optional<double> uncertaintyAt(double frequencyHz) const
    {
        return isTable() ? EnrUncertaintyAt(frequencyHz, rows, uncertaintyDb) : std::nullopt;
    }
};

inline bool operator==(const EnrSource &a, const EnrSource &b)
{
    return a.mode == b.mode && a.enrAllText == b.enrAllText && a.rows == b.rows && a.uncertaintyDb == b.uncertaintyDb
           && a.dataFileRows == b.dataFileRows;
}
