#pragma once
// A small INI file reader and writer in the manner of the Windows profile functions: the file
// is Windows-1252 text of "[Section]" lines and "key=value" lines; sections and keys are found
// case-insensitively (Ä and ä are the same letter); values are read with blanks around them
// removed. Writing changes a key in place, adds a missing key at the end of its section and a
// missing section at the end of the file, and keeps every other line. Lines are written with
// CR LF; LF or CR LF are read. (QSettings cannot be used: it escapes keys such as "Parität".)

#include "base/files.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

class IniFile
{
public:
    /// More than this is not a settings file; the rest of a longer file is not read.
    static constexpr qint64 kMaxReadBytes = 1024 * 1024;

    IniFile() = default;

    /// Reads the file at `path` (at most kMaxReadBytes). False, with the content empty and the
    /// system's reason in `error`, when the file does not exist or cannot be read.
    bool load(const QString &path, QString *error = nullptr);
    /// Writes the content to `path` through a temporary file in the same folder that is renamed
    /// into place. False, with the reason in `error`, when that fails.
    bool save(const QString &path, QString *error = nullptr) const;

    void setBytes(const QByteArray &bytes);
    QByteArray toBytes() const;

    /// The trimmed value of the first `key` in the first section `section`; a value in matching
    /// quotes loses them. Nothing when the section or the key is missing.
    std::optional<QString> value(const QString &section, const QString &key) const;
    QString readString(const QString &section, const QString &key, const QString &defaultValue) const;
    /// The value as a whole 32-bit number: decimal with optional sign, or hexadecimal written
    /// "0x1F" or "$1F"; `defaultValue` for a missing key and for anything else.
    int readInteger(const QString &section, const QString &key, int defaultValue) const;

    void writeString(const QString &section, const QString &key, const QString &value);
    void writeInteger(const QString &section, const QString &key, int value);

private:
    QStringList m_lines;
};

/// Reads a whole 32-bit number as readInteger does; nothing for anything else.
std::optional<int> ParseIniInteger(const QString &text);
