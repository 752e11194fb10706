#pragma once
// The settings file config.ini in the working directory: the serial-line choices of the
// "COM Port" group and the position of the main window, as decimal integers. Read once at
// start, written once at the end.

#include <QString>
#include <functional>
#include <optional>

class IniFile;

/// The eight keys of config.ini in the order in which they are read and written. The five
/// serial-line values are item indexes of their boxes; -1 (no item selected) is stored like any
/// other index.
struct ConfigValues
{
    int Port = 0;       ///< [Schnittstelle] Port: serial port number
    int Baudrate = 0;   ///< [Schnittstelle] Baudrate: 0 "110" .. 7 "19200"
    int Bits = 0;       ///< [Schnittstelle] Bits: 0 "7", 1 "8"
    int HandShake = 0;  ///< [Schnittstelle] HandShake: 0 "keine", 1 "DTR/RTS", 2 "Software"
    int Parity = 0;     ///< [Schnittstelle] Parität: 0 "keine", 1 "ungerade", 2 "gerade"
    int StopBits = 0;   ///< [Schnittstelle] StopBits: 0 "1", 1 "2"
    int Top = 0;        ///< [Fenster] Top: top edge of the main window, screen pixels
    int Left = 0;       ///< [Fenster] Left: left edge of the main window, screen pixels

    bool operator==(const ConfigValues &) const = default;
};

/// ".\config.ini": the file in the current working directory, not the program's directory.
QString ConfigFilePath();

// What every section of the file shares.

/// The file's keys, or none when it does not exist or cannot be read (every key missing, as
/// the Windows profile functions have it).
IniFile LoadSettings(const QString &path);
/// Reads the file, lets `change` write its keys and saves it atomically; false, with a message
/// naming the file and the reason, when it cannot be saved.
bool SaveSettings(const QString &path, const std::function<void(IniFile &)> &change, QString *errorMessage);
/// An integer key within [low, high]; `fallback` when it is missing, not a number or outside.
int ReadIntegerIn(const IniFile &ini, const QString &section, const QString &key, int low, int high, int fallback);
/// [History] Path=: where the history database was moved to, empty when it was not.
QString HistoryPathSetting(const QString &path = ConfigFilePath());

/// Nothing when the file does not exist. Otherwise every key, each 0 when it is missing or not
/// a whole 32-bit number (a file that exists but cannot be read gives all 0, as an empty one).
std::optional<ConfigValues> ReadConfig(const QString &path = ConfigFilePath());

/// The eight keys as `ini` holds them, each 0 when it is missing or not a whole 32-bit number.
ConfigValues ReadConfigValues(const IniFile &ini);

/// Sets the eight keys in `ini`, keeping every other line.
void WriteConfigValues(IniFile &ini, const ConfigValues &values);

/// Writes the eight keys into the file, creating it if absent and keeping any other lines.
/// Returns false with an operator-readable `errorMessage` when the file cannot be written;
/// never throws, so that the program can still close.
bool WriteConfig(const ConfigValues &values, QString *errorMessage,
                 const QString &path = ConfigFilePath());

/// The analyser over the LAN, kept in a section [Ethernet] of its own. A file without it means
/// the serial line, so every older config.ini reads as before; a program that never used the
/// LAN does not add the section.
struct LanConfig
{
    int Interface = 0;   ///< Interface: 0 the serial line, 1 Ethernet
    QString Host;        ///< Host: name or address of the analyser
    int TcpPort = 5025;  ///< TcpPort: the analyser's SCPI socket, 1 to 65535
    bool Vxi11 = false;  ///< Protocol: "Socket" (the raw socket) or "VXI-11"
    QString LanDevice = QStringLiteral("inst0");  ///< LanDevice: the VXI-11 device name

    bool operator==(const LanConfig &) const = default;
};

/// The analyser on GPIB behind a "++" adapter, kept in a section [GPIB] of its own, written
/// only once GPIB was chosen: a file without it reads as these defaults.
struct GpibConfig
{
    bool Selected = false;  ///< Selected: GPIB is the chosen port
    bool OnLan = false;     ///< Adapter: "Serial" or "LAN"
    int Address = 20;       ///< Address: the analyser's GPIB address, 0 to 30
    QString Host;           ///< Host: the LAN adapter's name or address
    int TcpPort = 1234;     ///< TcpPort: the LAN adapter's port

    bool operator==(const GpibConfig &) const = default;
};

GpibConfig ReadGpibConfig(const IniFile &ini);
GpibConfig ReadGpibConfig(const QString &path = ConfigFilePath());
/// Writes the section when GPIB was used or the file has it already.
bool WriteGpibConfig(const GpibConfig &gpib, QString *errorMessage, const QString &path = ConfigFilePath());

LanConfig ReadLanConfig(const IniFile &ini);
LanConfig ReadLanConfig(const QString &path = ConfigFilePath());
/// Writes the section when the LAN was used or the file has it already; false, with an
/// operator-readable `errorMessage`, when the file cannot be written.
bool WriteLanConfig(const LanConfig &lan, QString *errorMessage, const QString &path = ConfigFilePath());

/// The inputs of the uncertainty of each step's noise figure, kept in a section [Uncertainty]
/// of their own. A file without it, or a key that is missing or out of bounds, reads as the
/// defaults; a program whose inputs never left the defaults does not add the section.
struct UncertaintyInputs;
UncertaintyInputs ReadUncertaintyConfig(const IniFile &ini);
UncertaintyInputs ReadUncertaintyConfig(const QString &path = ConfigFilePath());
/// Writes the section when the inputs differ from the defaults or the file has it already;
/// false, with an operator-readable `errorMessage`, when the file cannot be written.
bool WriteUncertaintyConfig(const UncertaintyInputs &inputs, QString *errorMessage,
                            const QString &path = ConfigFilePath());
