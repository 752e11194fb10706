#pragma once
// Byte-level helpers shared by every file the program reads or writes.

#include <QByteArray>
#include <QString>

/// Windows-1252 bytes to text. Every byte maps to one character (the five bytes the code page
/// leaves undefined map to the control characters of the same number), so text read here is
/// written back byte for byte.
QString FromWindows1252(const QByteArray &bytes);
/// Text to Windows-1252 bytes; a character the code page does not hold becomes "?".
QByteArray ToWindows1252(const QString &text);

/// Writes `bytes` to `path` through a temporary file in the same folder that is renamed over
/// the old file only when every byte is written, so a full disk or a crash never destroys the
/// previous file. False, with the reason in `error`, when that fails.
bool WriteFileAtomically(const QString &path, const QByteArray &bytes, QString *error);
