#include "base/version.h"

QString VersionText()
{
    const int minor = kVersionMinor % 100;  // the rightmost two digits are kept
    return QStringLiteral("V%1.%2%3")
        .arg(kVersionMajor)
        .arg(minor, 2, 10, QLatin1Char('0'))
        .arg(QString::fromLatin1(kVersionSuffix));
}
