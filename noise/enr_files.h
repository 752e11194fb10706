#pragma once
// The files of the ENR tables.
//
// default.tbl keeps the whole store between runs: one 3156-byte image, little-endian,
// with texts as short strings (one length byte, then a fixed slot of Windows-1252 bytes):
//
//   offset    0  int32  ShownTable (0, 1 or 2)
//   offset    4         table 1 (1576 bytes)
//   offset 1580         table 2 (1576 bytes)
//
// and within a table:
//
//   offset   0  FileName: length byte (0..255) and 255 bytes
//   offset 256  FrequencyText of rows 1..20: 20 slots of 33 bytes (length byte 0..32, 32 bytes)
//   offset 916  EnrText of rows 1..20, the same form
//
// Bytes after a text's length are written as zeros and ignored on reading.
//
// A *.tab file holds one table as 40 Windows-1252 text lines ended by CR LF: for each row the
// frequency line, then the ENR line, exactly as the grid shows them. Reading takes LF line ends
// as well, cuts lines to the 32 characters a cell keeps, leaves the cells of missing lines
// empty and ignores lines after the 40th.
//
// Writes go to a temporary file in the same folder that is renamed over the old file, so a
// crash or a full disk never destroys the previous file. Failures throw EFileError with a text
// that names the file and the reason.

#include "base/files.h"
#include "noise/enr_store.h"

#include <QByteArray>
#include <QString>
#include <optional>

inline constexpr int kEnrStoreSize = 3156;
inline constexpr int kEnrTableImageSize = 1576;
inline constexpr int kEnrTableOffset1 = 4;
inline constexpr int kEnrTableOffset2 = 1580;
inline constexpr int kEnrFileNameOffset = 0;
inline constexpr int kEnrFrequencyOffset = 256;
inline constexpr int kEnrEnrOffset = 916;
inline constexpr int kEnrCellSlotSize = 33;
inline constexpr int kEnrTabLines = 2 * kEnrRows;

/// The name of the store in the working directory.
inline QString DefaultTblName() { return QStringLiteral("default.tbl"); }

/// The 3156-byte image of `store`. Texts are cut to their slots and written in Windows-1252.
QByteArray EncodeEnrStore(const EnrTableStore &store);

/// The store held by an image of at least 3156 bytes (bytes beyond are ignored). Throws
/// EFileError when the image is shorter, ShownTable lies outside 0 to 2, or a length byte
/// exceeds its slot; the text names the fault.
EnrTableStore DecodeEnrStore(const QByteArray &image);

/// Reads the store from `path`: nothing when the file does not exist; EFileError when it
/// exists but cannot be read or does not hold a valid store.
std::optional<EnrTableStore> ReadEnrStoreFile(const QString &path);

/// Writes the store to `path` safely (temporary file renamed into place); EFileError on failure.
void WriteEnrStoreFile(const QString &path, const EnrTableStore &store);

/// The 40 lines of a *.tab file for `rows`, each ended by CR LF, in Windows-1252.
QByteArray FormatEnrTab(const EnrRows &rows);

/// The rows a *.tab content gives (see above). Never fails.
EnrRows ParseEnrTab(const QByteArray &content);

/// Reads a *.tab file; reads only as far as the 40 lines it needs, whatever the file's size.
/// EFileError when it cannot be opened or read.
EnrRows ReadEnrTabFile(const QString &path);

/// Writes `rows` as a *.tab file safely; EFileError on failure.
void WriteEnrTabFile(const QString &path, const EnrRows &rows);

