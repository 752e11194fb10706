#pragma once
// Failures are exceptions: a handler that expects one catches it and shows its own message;
// anything else reaches the application's top-level handler, which ends the operator's action
// and shows the text in an error message box.

#include <QByteArray>
#include <QString>
#include <exception>

/// Base of the program's own errors. Carries the operator-visible text.
class AppError : public std::exception
{
public:
    explicit AppError(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

/// A text that is not a number: "'%s' ist kein gültiger Gleitkommawert".
class EConvertError : public AppError
{
public:
    using AppError::AppError;
};

/// An arithmetic failure (division by zero, overflow, no result, log of a non-positive value).
/// C++ floating point raises nothing, so the code that computes detects these itself.
class EMathError : public AppError
{
public:
    using AppError::AppError;
};

/// A file could not be opened, read or written; the text names the file and the system's reason.
class EFileError : public AppError
{
public:
    using AppError::AppError;
};
