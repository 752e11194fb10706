#include "app/core/config.h"

#include "base/inifile.h"

#include <QDir>
#include <QFileInfo>

#include <limits>

namespace {

const QString kSerialSection = QStringLiteral("Schnittstelle");
const QString kWindowSection = QStringLiteral("Fenster");
// "Parität": written through the Windows-1252 encoder as 7 bytes, 0xE4 for "ä".
const QString kParityKey = QStringLiteral("Parit\u00E4t");

}  // namespace

QString ConfigFilePath()
{
    return QDir::current().filePath(QStringLiteral("config.ini"));
}

ConfigValues ReadConfigValues(const IniFile &ini)
{
    ConfigValues v;
    v.Port = ini.readInteger(kSerialSection, QStringLiteral("Port"), 0);
    v.Baudrate = ini.readInteger(kSerialSection, QStringLiteral("Baudrate"), 0);
    v.Bits = ini.readInteger(kSerialSection, QStringLiteral("Bits"), 0);
    v.HandShake = ini.readInteger(kSerialSection, QStringLiteral("HandShake"), 0);
    v.Parity = ini.readInteger(kSerialSection, kParityKey, 0);
    v.StopBits = ini.readInteger(kSerialSection, QStringLiteral("StopBits"), 0);
    v.Top = ini.readInteger(kWindowSection, QStringLiteral("Top"), 0);
    v.Left = ini.readInteger(kWindowSection, QStringLiteral("Left"), 0);
    return v;
}

void WriteConfigValues(IniFile &ini, const ConfigValues &values)
{
    ini.writeInteger(kSerialSection, QStringLiteral("Port"), values.Port);
    ini.writeInteger(kSerialSection, QStringLiteral("Baudrate"), values.Baudrate);
    ini.writeInteger(kSerialSection, QStringLiteral("Bits"), values.Bits);
    ini.writeInteger(kSerialSection, QStringLiteral("HandShake"), values.HandShake);
    ini.writeInteger(kSerialSection, kParityKey, values.Parity);
    ini.writeInteger(kSerialSection, QStringLiteral("StopBits"), values.StopBits);
    ini.writeInteger(kWindowSection, QStringLiteral("Top"), values.Top);
    ini.writeInteger(kWindowSection, QStringLiteral("Left"), values.Left);
}

std::optional<ConfigValues> ReadConfig(const QString &path)
{
    if (!QFileInfo::exists(path))
        return std::nullopt;
    IniFile ini;
    ini.load(path);  // unreadable: every key missing, as the Windows profile functions do
    return ReadConfigValues(ini);
}

bool WriteConfig(const ConfigValues &values, QString *errorMessage, const QString &path)
{
    IniFile ini;
    if (QFileInfo::exists(path))
        ini.load(path);
    WriteConfigValues(ini, values);

    QString reason;
    if (ini.save(path, &reason))
        return true;
    if (errorMessage) {
        *errorMessage = QStringLiteral("The settings could not be saved to %1: %2")
                            .arg(QDir::toNativeSeparators(path), reason);
    }
    return false;
}
