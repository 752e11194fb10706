#include "analyser/transport.h"

#include <cerrno>

QString TransportErrorName(TransportError kind)
{
    switch (kind) {
    case TransportError::None:
        return {};
    case TransportError::NoSuchPort:
        return QStringLiteral("no such port");
    case TransportError::Busy:
        return QStringLiteral("busy");
    case TransportError::NoPermission:
        return QStringLiteral("no permission");
    case TransportError::NotATerminal:
        return QStringLiteral("not a terminal");
    case TransportError::Refused:
        return QStringLiteral("refused");
    case TransportError::UnknownHost:
        return QStringLiteral("unknown host");
    case TransportError::TimedOut:
        return QStringLiteral("timed out");
    case TransportError::HungUp:
        return QStringLiteral("hung up");
    case TransportError::Other:
        break;
    }
    return QStringLiteral("other");
}

TransportError TransportErrorFromErrno(int err)
{
    switch (err) {
    case 0:
        return TransportError::None;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return TransportError::NoSuchPort;
    case EBUSY:
        return TransportError::Busy;
    case EACCES:
    case EPERM:
        return TransportError::NoPermission;
    case ENOTTY:
        return TransportError::NotATerminal;
    case ETIMEDOUT:
        return TransportError::TimedOut;
    case ECONNREFUSED:
        return TransportError::Refused;
    default:
        return TransportError::Other;
    }
}

bool CommandAsksForAnswer(const QByteArray &command)
{
    char quote = 0;
    for (const char c : command) {
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '?') {
            return true;
        }
    }
    return false;
}
