#include "app/core/limits_config.h"

#include "app/core/config.h"
#include "app/core/entry_rules.h"
#include "base/inifile.h"

#include <QFile>
#include <QFileInfo>

namespace {

const QString kLimitsSection = QStringLiteral("Limits");
const QString kFileKey = QStringLiteral("File");
constexpr qint64 kLimitsFileLimit = 1024 * 1024;

}  // namespace

LimitsFileResult ReadLimitsFile(const QString &path)
{
    LimitsFileResult result;
    if (!QFileInfo(path).isFile()) {
        result.error = QStringLiteral("File do not exists !");
        return result;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        result.error = f.errorString();
        return result;
    }
    if (f.size() > kLimitsFileLimit) {
        result.error = QStringLiteral("the file is larger than 1 MiB, too large for a limits file");
        return result;
    }
    const LimitsParseResult parsed = ParseLimits(f.readAll(), ReadTypedFrequencyHz);
    if (!parsed.limits)
        result.error = parsed.error;
    else if (parsed.limits->empty())
        result.error = QStringLiteral("the file holds no limit");
    else
        result.limits = parsed.limits;
    return result;
}

QString ReadLimitsConfig(const QString &path)
{
    return LoadSettings(path).readString(kLimitsSection, kFileKey, QString()).trimmed();
}

bool WriteLimitsConfig(const QString &limitsFile, QString *errorMessage, const QString &path)
{
    // Limits never loaded leave the file as it always was.
    if (limitsFile.isEmpty() && !LoadSettings(path).value(kLimitsSection, kFileKey).has_value())
        return true;
    return SaveSettings(path, [&](IniFile &ini) { ini.writeString(kLimitsSection, kFileKey, limitsFile); }, errorMessage);
}
