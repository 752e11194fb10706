#include "app/core/config.h"

#include "app/core/uncertainty_settings.h"
#include "base/inifile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace {

const QString kSerialSection = QStringLiteral("Schnittstelle");
const QString kWindowSection = QStringLiteral("Fenster");
// "Parität": written through the Windows-1252 encoder as 7 bytes, 0xE4 for "ä".
const QString kLanSection = QStringLiteral("Ethernet");
constexpr int kDefaultTcpPort = 5025;
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

IniFile LoadSettings(const QString &path)
{
    IniFile ini;
    if (QFileInfo::exists(path))
        ini.load(path);
    return ini;
}

bool SaveSettings(const QString &path, const std::function<void(IniFile &)> &change, QString *errorMessage)
{
    IniFile ini = LoadSettings(path);
    change(ini);

    QString reason;
    if (ini.save(path, &reason))
        return true;
    if (errorMessage) {
        *errorMessage = QStringLiteral("The settings could not be saved to %1: %2")
                            .arg(QDir::toNativeSeparators(path), reason);
    }
    return false;
}

int ReadIntegerIn(const IniFile &ini, const QString &section, const QString &key, int low, int high, int fallback)
{
    const int v = ini.readInteger(section, key, fallback);
    return v >= low && v <= high ? v : fallback;
}

QString HistoryPathSetting(const QString &path)
{
    return LoadSettings(path).readString(QStringLiteral("History"), QStringLiteral("Path"), QString()).trimmed();
}

bool WriteConfig(const ConfigValues &values, QString *errorMessage, const QString &path)
{
    return SaveSettings(path, [&](IniFile &ini) { WriteConfigValues(ini, values); }, errorMessage);
}

LanConfig ReadLanConfig(const IniFile &ini)
{
    LanConfig lan;
    lan.Interface = ini.readInteger(kLanSection, QStringLiteral("Interface"), 0) == 1 ? 1 : 0;
    lan.Host = ini.readString(kLanSection, QStringLiteral("Host"), QString()).left(255);
    lan.TcpPort = ReadIntegerIn(ini, kLanSection, QStringLiteral("TcpPort"), 1, 65535, kDefaultTcpPort);
    lan.Vxi11 = ini.readString(kLanSection, QStringLiteral("Protocol"), QString()).trimmed()
                    .compare(QStringLiteral("VXI-11"), Qt::CaseInsensitive) == 0;
    const QString device = ini.readString(kLanSection, QStringLiteral("LanDevice"), QString()).trimmed().left(255);
    if (!device.isEmpty())
        lan.LanDevice = device;
    return lan;
}

LanConfig ReadLanConfig(const QString &path)
{
    const IniFile ini = LoadSettings(path);
    return ReadLanConfig(ini);
}

bool WriteLanConfig(const LanConfig &lan, QString *errorMessage, const QString &path)
{
    const IniFile existing = LoadSettings(path);
    // A program that never used the LAN leaves the file as it always was.
    if (lan == LanConfig() && !existing.value(kLanSection, QStringLiteral("Interface")))
        return true;
    return SaveSettings(path, [&](IniFile &ini) {
        ini.writeInteger(kLanSection, QStringLiteral("Interface"), lan.Interface);
        ini.writeString(kLanSection, QStringLiteral("Host"), lan.Host);
        ini.writeInteger(kLanSection, QStringLiteral("TcpPort"), lan.TcpPort);
        // The protocol keys appear once VXI-11 was chosen: a file of the socket alone stays
        // as it was.
        if (lan.Vxi11 || lan.LanDevice != LanConfig().LanDevice || existing.value(kLanSection, QStringLiteral("Protocol"))) {
            ini.writeString(kLanSection, QStringLiteral("Protocol"),
                            lan.Vxi11 ? QStringLiteral("VXI-11") : QStringLiteral("Socket"));
            ini.writeString(kLanSection, QStringLiteral("LanDevice"), lan.LanDevice);
        }
    }, errorMessage);
}

namespace {
const QString kGpibSection = QStringLiteral("GPIB");
}  // namespace

GpibConfig ReadGpibConfig(const IniFile &ini)
{
    GpibConfig g;
    g.Selected = ini.readInteger(kGpibSection, QStringLiteral("Selected"), 0) == 1;
    g.OnLan = ini.readString(kGpibSection, QStringLiteral("Adapter"), QString()).trimmed()
                  .compare(QStringLiteral("LAN"), Qt::CaseInsensitive) == 0;
    g.Address = ReadIntegerIn(ini, kGpibSection, QStringLiteral("Address"), 0, 30, 20);
    g.Host = ini.readString(kGpibSection, QStringLiteral("Host"), QString()).trimmed().left(255);
    g.TcpPort = ReadIntegerIn(ini, kGpibSection, QStringLiteral("TcpPort"), 1, 65535, 1234);
    return g;
}

GpibConfig ReadGpibConfig(const QString &path)
{
    return ReadGpibConfig(LoadSettings(path));
}

bool WriteGpibConfig(const GpibConfig &gpib, QString *errorMessage, const QString &path)
{
    const IniFile existing = LoadSettings(path);
    if (gpib == GpibConfig() && !existing.value(kGpibSection, QStringLiteral("Selected")))
        return true;
    return SaveSettings(path, [&](IniFile &ini) {
        ini.writeInteger(kGpibSection, QStringLiteral("Selected"), gpib.Selected ? 1 : 0);
        ini.writeString(kGpibSection, QStringLiteral("Adapter"), gpib.OnLan ? QStringLiteral("LAN") : QStringLiteral("Serial"));
        ini.writeInteger(kGpibSection, QStringLiteral("Address"), gpib.Address);
        ini.writeString(kGpibSection, QStringLiteral("Host"), gpib.Host);
        ini.writeInteger(kGpibSection, QStringLiteral("TcpPort"), gpib.TcpPort);
    }, errorMessage);
}

namespace {
const QString kUncertaintySection = QStringLiteral("Uncertainty");
}  // namespace

UncertaintyInputs ReadUncertaintyConfig(const IniFile &ini)
{
    UncertaintyInputs inputs;
    for (const UncertaintyField &f : UncertaintyFields()) {
        const std::optional<QString> text = ini.value(kUncertaintySection, QString::fromLatin1(f.key));
        if (!text)
            continue;
        if (const std::optional<double> v = ParseUncertaintyValue(*text, f))
            inputs.*(f.member) = *v;
    }
    return inputs;
}

UncertaintyInputs ReadUncertaintyConfig(const QString &path)
{
    const IniFile ini = LoadSettings(path);
    return ReadUncertaintyConfig(ini);
}

bool WriteUncertaintyConfig(const UncertaintyInputs &inputs, QString *errorMessage, const QString &path)
{
    const IniFile existing = LoadSettings(path);
    const bool hasSection = std::any_of(UncertaintyFields().begin(), UncertaintyFields().end(), [&](const UncertaintyField &f) {
        return existing.value(kUncertaintySection, QString::fromLatin1(f.key)).has_value();
    });
    // Inputs left at their defaults leave the file as it always was.
    if (SameUncertaintyInputs(inputs, UncertaintyInputs()) && !hasSection)
        return true;
    return SaveSettings(path, [&](IniFile &ini) {
        for (const UncertaintyField &f : UncertaintyFields())
            ini.writeString(kUncertaintySection, QString::fromLatin1(f.key), UncertaintyValueText(inputs.*(f.member)));
    }, errorMessage);
}
