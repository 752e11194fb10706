#pragma once
// The noise source's ENR choice and the two ENR tables held in memory. The operator chooses
// the constant ENR or one of two 20-row tables; while a table is shown, the grid of the
// "Noise Source" page is its working copy, copied back into the store whenever the choice is
// applied again. The store is kept across runs in default.tbl (noise/enr_files.h).

#include "noise/enr_source.h"

#include <QChar>
#include <QString>
#include <array>
#include <cstdint>

inline constexpr int kEnrCellLimit = 32;          ///< characters a table keeps per cell
inline constexpr int kEnrFileNameLimit = 255;     ///< characters a table keeps of its path
inline constexpr int kNoiseSourceTextLimit = 32;  ///< characters of NoiseSourceText

/// One ENR table: 20 rows of frequency text (GHz) and ENR text (dB), held as text exactly as
/// the grid shows them, and the full path of the file it was last loaded from or saved to.
struct EnrTable
{
    QString FileName;
    EnrRows Rows = DefaultEnrRows();
};

/// Both tables and the mode applied last (0 after a switch to the constant, 1 or 2 while a
/// table is shown).
struct EnrTableStore
{
    int32_t ShownTable = EnrAll;
    std::array<EnrTable, 2> Tables;

    /// Table `number`, 1 or 2.
    EnrTable &Table(int number) { return Tables[size_t(number - 1)]; }
    const EnrTable &Table(int number) const { return Tables[size_t(number - 1)]; }
};

bool operator==(const EnrTable &a, const EnrTable &b);
bool operator==(const EnrTableStore &a, const EnrTableStore &b);

/// The rows as a table keeps them: every text cut to its first 32 characters.
EnrRows LimitEnrRows(const EnrRows &rows);
/// A path as a table keeps it: cut to its first 255 characters.
QString LimitEnrFileName(const QString &path);

/// The path without its directories; both "/" and "\" separate directories, since paths kept
/// in default.tbl may come from either kind of system.
QString FileNameWithoutDirectories(const QString &path);

/// "Table " followed by the table number: the caption of l_NoiseSource in a table mode.
QString EnrTableCaption(int number);

/// NoiseSourceText for the constant: "const. (" + the e_ENRall text + ")", cut to 32 characters.
QString NoiseSourceTextForConstant(const QString &enrAllText);
/// NoiseSourceText for table `number`: its caption, " (", the file name without directories
/// and ")", cut to 32 characters; "Table 1 ()" for a table that never touched a file.
QString NoiseSourceTextForTable(int number, const QString &fileName);
