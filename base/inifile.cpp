#include "base/inifile.h"

#include "base/files.h"

#include <QFile>
#include <QFileInfo>

#include <limits>

namespace {


/// Blanks around names and values; a stray CR (a line ended CR CR LF) counts as one.
bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r';
}

QStringView Trimmed(QStringView s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && IsBlank(s[begin]))
        ++begin;
    while (end > begin && IsBlank(s[end - 1]))
        --end;
    return s.mid(begin, end - begin);
}

/// The name of a "[Section]" line, or nothing for any other line.
std::optional<QStringView> SectionName(QStringView line)
{
    const QStringView t = Trimmed(line);
    if (!t.startsWith(u'['))
        return std::nullopt;
    const qsizetype close = t.indexOf(u']');
    if (close < 0)
        return std::nullopt;
    return Trimmed(t.mid(1, close - 1));
}

/// The key of a "key=value" line, or nothing.
std::optional<QStringView> KeyName(QStringView line)
{
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0)
        return std::nullopt;
    return Trimmed(line.left(equals));
}

bool SameName(QStringView a, QStringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

/// Line indexes of a section: its header and the end (one past its last line).
struct SectionSpan
{
    qsizetype header = -1;
    qsizetype end = -1;
};

SectionSpan FindSection(const QStringList &lines, const QString &section)
{
    SectionSpan span;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const auto name = SectionName(lines[i]);
        if (!name)
            continue;
        if (span.header >= 0) {
            span.end = i;
            return span;
        }
        if (SameName(*name, section))
            span.header = i;
    }
    if (span.header >= 0)
        span.end = lines.size();
    return span;
}

qsizetype FindKey(const QStringList &lines, const SectionSpan &span, const QString &key)
{
    for (qsizetype i = span.header + 1; i < span.end; ++i) {
        const auto name = KeyName(lines[i]);
        if (name && SameName(*name, key))
            return i;
    }
    return -1;
}

}  // namespace

std::optional<int> ParseIniInteger(const QString &text)
{
    const QStringView t = Trimmed(text);
    if (t.isEmpty())
        return std::nullopt;

    qsizetype i = 0;
    bool negative = false;
    if (t[i] == u'+' || t[i] == u'-') {
        negative = t[i] == u'-';
        ++i;
    }
    int base = 10;
    if (t.mid(i).startsWith(u'$')) {
        base = 16;
        i += 1;
    } else if (t.mid(i).startsWith(QStringLiteral("0x"), Qt::CaseInsensitive) && t.size() > i + 2) {
        base = 16;
        i += 2;
    }
    if (i == t.size())
        return std::nullopt;

    // Decimal must fit a signed 32-bit number; hexadecimal may use all 32 bits ($FFFFFFFF is -1).
    const qint64 limit = base == 10 ? qint64(std::numeric_limits<int>::max()) + (negative ? 1 : 0)
                                    : qint64(std::numeric_limits<quint32>::max());
    qint64 value = 0;
    for (; i < t.size(); ++i) {
        const char16_t c = t[i].unicode();
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'f')
            digit = 10 + (c - u'a');
        else if (c >= u'A' && c <= u'F')
            digit = 10 + (c - u'A');
        if (digit < 0 || digit >= base)
            return std::nullopt;
        value = value * base + digit;
        if (value > limit)
            return std::nullopt;
    }
    if (base == 16)
        value = qint64(qint32(quint32(value)));
    return int(negative ? -value : value);
}

bool IniFile::load(const QString &path, QString *error)
{
    m_lines.clear();
    // Opening a named pipe would block until some writer came: only regular files are read.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        if (error)
            *error = QStringLiteral("not a regular file");
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const QByteArray bytes = file.read(kMaxReadBytes);
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return false;
    }
    setBytes(bytes);
    return true;
}

bool IniFile::save(const QString &path, QString *error) const
{
    return WriteFileAtomically(path, toBytes(), error);
}

void IniFile::setBytes(const QByteArray &bytes)
{
    m_lines.clear();
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        const qsizetype next = end < 0 ? bytes.size() : end + 1;
        if (end < 0)
            end = bytes.size();
        qsizetype lineEnd = end;
        if (lineEnd > start && bytes[lineEnd - 1] == '\r')
            --lineEnd;
        m_lines.append(FromWindows1252(bytes.mid(start, lineEnd - start)));
        start = next;
    }
}

QByteArray IniFile::toBytes() const
{
    QByteArray bytes;
    for (const QString &line : m_lines) {
        bytes += ToWindows1252(line);
        bytes += "\r\n";
    }
    return bytes;
}

std::optional<QString> IniFile::value(const QString &section, const QString &key) const
{
    const SectionSpan span = FindSection(m_lines, section);
    if (span.header < 0)
        return std::nullopt;
    const qsizetype line = FindKey(m_lines, span, key);
    if (line < 0)
        return std::nullopt;
    const QString &text = m_lines[line];
    QStringView v = Trimmed(QStringView(text).mid(text.indexOf(u'=') + 1));
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return v.toString();
}

QString IniFile::readString(const QString &section, const QString &key,
                            const QString &defaultValue) const
{
    return value(section, key).value_or(defaultValue);
}

int IniFile::readInteger(const QString &section, const QString &key, int defaultValue) const
{
    const auto text = value(section, key);
    if (!text)
        return defaultValue;
    return ParseIniInteger(*text).value_or(defaultValue);
}

void IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    const SectionSpan span = FindSection(m_lines, section);
    if (span.header < 0) {
        m_lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
        m_lines.append(key + QLatin1Char('=') + value);
        return;
    }
    const qsizetype line = FindKey(m_lines, span, key);
    if (line >= 0) {
        // The key keeps the spelling it has in the file.
        const QString existing = KeyName(m_lines[line])->toString();
        m_lines[line] = existing + QLatin1Char('=') + value;
        return;
    }
    // After the section's last line that is not blank, so that blank lines before the next
    // section stay where they are.
    qsizetype insertAt = span.end;
    while (insertAt - 1 > span.header && Trimmed(m_lines[insertAt - 1]).isEmpty())
        --insertAt;
    m_lines.insert(insertAt, key + QLatin1Char('=') + value);
}

void IniFile::writeInteger(const QString &section, const QString &key, int value)
{
    writeString(section, key, QString::number(value));
}
