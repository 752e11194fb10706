#include "noise/enr_files.h"

#include "base/errors.h"
#include "base/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace {

QString FileText(const QString &path, const QString &reason)
{
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), reason);
}

// ---- Little-endian fields at fixed offsets ------------------------------------------------------

void PutInt32(QByteArray &image, int offset, int32_t value)
{
    const auto u = uint32_t(value);
    for (int i = 0; i < 4; ++i)
        image[offset + i] = char((u >> (8 * i)) & 0xFF);
}

int32_t GetInt32(const QByteArray &image, int offset)
{
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= uint32_t(uchar(image[offset + i])) << (8 * i);
    return int32_t(u);
}

/// A short string: the length byte at `offset`, then `capacity` bytes of which the first
/// `length` count; the rest of the slot stays zero.
void PutShortString(QByteArray &image, int offset, int capacity, const QString &text)
{
    const QByteArray bytes = ToWindows1252(text).left(capacity);
    image[offset] = char(bytes.size());
    std::memcpy(image.data() + offset + 1, bytes.constData(), size_t(bytes.size()));
}

QString GetShortString(const QByteArray &image, int offset, int capacity, const QString &what)
{
    const int length = uchar(image[offset]);
    if (length > capacity) {
        throw EFileError(QStringLiteral("the length %1 of %2 exceeds its slot of %3 characters")
                             .arg(length)
                             .arg(what)
                             .arg(capacity));
    }
    return FromWindows1252(image.mid(offset + 1, length));
}

int TableOffset(int number)
{
    return number == 1 ? kEnrTableOffset1 : kEnrTableOffset2;
}

// ---- *.tab lines -------------------------------------------------------------------------------

/// Collects the first 40 lines of a table file from its bytes in pieces, keeping no more of a
/// line than the cell needs, so that a huge file or a line without end costs no memory.
class TabLines
{
public:
    /// Takes the next piece of the file; false once all 40 lines are complete.
    bool feed(const char *data, qint64 size)
    {
        for (qint64 i = 0; i < size && m_lines < kEnrTabLines; ++i) {
            if (data[i] == '\n') {
                endLine();
            } else if (m_current.size() <= kEnrCellLimit) {
                // One byte beyond the cell is kept: it may be the CR before the LF.
                m_current.append(data[i]);
            }
        }
        return m_lines < kEnrTabLines;
    }

    EnrRows finish()
    {
        if (m_lines < kEnrTabLines && !m_current.isEmpty())
            endLine();  // the last line needs no line end
        return m_rows;
    }

private:
    void endLine()
    {
        if (m_current.endsWith('\r') && m_current.size() <= kEnrCellLimit + 1)
            m_current.chop(1);
        const QString text = FromWindows1252(m_current.left(kEnrCellLimit));
        EnrRow &row = m_rows[size_t(m_lines / 2)];
        (m_lines % 2 == 0 ? row.FrequencyText : row.EnrText) = text;
        ++m_lines;
        m_current.clear();
    }

    EnrRows m_rows{};
    QByteArray m_current;
    int m_lines = 0;
};

/// Only a regular file is read: opening a named pipe blocks until some writer comes, and a
/// device such as /dev/zero never ends, either of which would hang the program.
void RequireRegularFile(const QString &path, const QFileInfo &info)
{
    if (info.isDir())
        throw EFileError(FileText(path, QStringLiteral("is a folder, not a file")));
    if (!info.isFile())
        throw EFileError(FileText(path, QStringLiteral("is not a regular file")));
}

void SaveSafely(const QString &path, const QByteArray &content)
{
    QString reason;
    if (!WriteFileAtomically(path, content, &reason))
        throw EFileError(FileText(path, reason));
}

}  // namespace


QByteArray EncodeEnrStore(const EnrTableStore &store)
{
    QByteArray image(kEnrStoreSize, '\0');
    PutInt32(image, 0, store.ShownTable);
    for (int number = 1; number <= 2; ++number) {
        const EnrTable &table = store.Table(number);
        const int base = TableOffset(number);
        PutShortString(image, base + kEnrFileNameOffset, kEnrFileNameLimit, table.FileName);
        for (int r = 0; r < kEnrRows; ++r) {
            const EnrRow &row = table.Rows[size_t(r)];
            PutShortString(image, base + kEnrFrequencyOffset + r * kEnrCellSlotSize, kEnrCellLimit,
                           row.FrequencyText);
            PutShortString(image, base + kEnrEnrOffset + r * kEnrCellSlotSize, kEnrCellLimit, row.EnrText);
        }
    }
    return image;
}

EnrTableStore DecodeEnrStore(const QByteArray &image)
{
    if (image.size() < kEnrStoreSize) {
        throw EFileError(QStringLiteral("the file holds %1 of the %2 bytes of the ENR tables")
                             .arg(image.size())
                             .arg(kEnrStoreSize));
    }
    EnrTableStore store;
    store.ShownTable = GetInt32(image, 0);
    if (store.ShownTable < EnrAll || store.ShownTable > EnrTable2)
        throw EFileError(QStringLiteral("the shown table %1 is none of 0, 1 and 2").arg(store.ShownTable));
    for (int number = 1; number <= 2; ++number) {
        EnrTable &table = store.Table(number);
        const int base = TableOffset(number);
        const QString name = QStringLiteral("table %1").arg(number);
        table.FileName = GetShortString(image, base + kEnrFileNameOffset, kEnrFileNameLimit,
                                        QStringLiteral("the file name of ") + name);
        for (int r = 0; r < kEnrRows; ++r) {
            EnrRow &row = table.Rows[size_t(r)];
            row.FrequencyText = GetShortString(image, base + kEnrFrequencyOffset + r * kEnrCellSlotSize,
                                               kEnrCellLimit,
                                               QStringLiteral("the frequency of %1, row %2").arg(name).arg(r + 1));
            row.EnrText = GetShortString(image, base + kEnrEnrOffset + r * kEnrCellSlotSize, kEnrCellLimit,
                                         QStringLiteral("the ENR of %1, row %2").arg(name).arg(r + 1));
        }
    }
    return store;
}

std::optional<EnrTableStore> ReadEnrStoreFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    RequireRegularFile(path, info);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EFileError(FileText(path, file.errorString()));
    const QByteArray image = file.read(kEnrStoreSize);
    if (image.size() < kEnrStoreSize && file.error() != QFileDevice::NoError)
        throw EFileError(FileText(path, file.errorString()));
    try {
        return DecodeEnrStore(image);
    } catch (const EFileError &e) {
        throw EFileError(FileText(path, e.message()));
    }
}

void WriteEnrStoreFile(const QString &path, const EnrTableStore &store)
{
    SaveSafely(path, EncodeEnrStore(store));
}

QByteArray FormatEnrTab(const EnrRows &rows)
{
    QByteArray content;
    for (const EnrRow &row : rows) {
        content += ToWindows1252(row.FrequencyText);
        content += "\r\n";
        content += ToWindows1252(row.EnrText);
        content += "\r\n";
    }
    return content;
}

EnrRows ParseEnrTab(const QByteArray &content)
{
    TabLines lines;
    lines.feed(content.constData(), content.size());
    return lines.finish();
}

EnrRows ReadEnrTabFile(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists())
        RequireRegularFile(path, info);  // a missing file is reported by the open below
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EFileError(FileText(path, file.errorString()));
    TabLines lines;
    char buffer[16384];
    for (;;) {
        const qint64 n = file.read(buffer, sizeof buffer);
        if (n < 0)
            throw EFileError(FileText(path, file.errorString()));
        if (n == 0 || !lines.feed(buffer, n))
            break;
    }
    return lines.finish();
}

void WriteEnrTabFile(const QString &path, const EnrRows &rows)
{
    SaveSafely(path, FormatEnrTab(rows));
}
