#pragma once
// The Linux side of the serial port component: which device a port number means, which ports
// are there, opening a device exclusively, the termios line settings, and the modem, queue
// and error-counter queries. Plain functions on a file descriptor; none of them keeps state.

#include "serial/pilotypes.h"

#include <QList>
#include <QString>

struct termios;

/// Port n is the link ports/COM<n> in the working directory when it exists (a user points it
/// at any serial device, e.g. a /dev/serial/by-id path). Otherwise COM1-COM32 are
/// /dev/ttyS0-31, COM33-COM64 /dev/ttyUSB0-31 and COM65-COM96 /dev/ttyACM0-31. For any other
/// number the link is the only candidate, so the path names the link that was looked for.
QString DevicePathForPort(int n);

/// The highest port number that EnumComPorts looks at.
constexpr int MaxPortNumber = 256;

/// Whether the device at path is a serial port that is really there. A port held by another
/// program or without permission for this user counts as there; a ttyS node without a UART
/// behind it, a dangling link or anything that is not a terminal does not.
bool SerialDevicePresent(const QString &path);

/// The numbers 1 to MaxPortNumber whose device is present, ascending.
QList<int> PresentComPorts();

/// The operator's text for a system error number, e.g. "the port is in use by another program".
QString SystemErrorText(int err);

/// Line settings as the component holds them.
struct LineSettings
{
    qint32 Baudrate = 9600;
    quint8 ByteSize = 8;
    TParity Parity = ptNone;
    TStopBits StopBits = sbOne;
    quint32 FlowFlags = PiloDcb::Initial;
};

/// Writes the settings into a termios record (raw mode, parity, stop bits, data bits, flow
/// control and, for a standard rate, the speed); fields not named stay as they were.
/// Returns false when the baud rate has no standard constant and needs SetCustomBaudrate.
bool ApplyLineSettings(termios &t, const LineSettings &s);

/// Sets a baud rate that has no standard constant, through termios2. False when the driver
/// refuses it.
bool SetCustomBaudrate(int fd, int baudrate);

/// The rate that the port is set to (standard or custom), or 0 when it cannot be read.
int CurrentBaudrate(int fd);

/// Opens the device for the working port: non-blocking, exclusive and without becoming the
/// controlling terminal. Returns the descriptor, or -1 with err set to the system error.
int OpenPortDevice(const QString &path, int &err);

/// Gives up exclusive use and closes the descriptor.
void ClosePortDevice(int fd);

/// Read-modify-write of the line settings of an open port. DTR and RTS are not touched here:
/// TPiloRxFlow (rxflow.h) moves them. Returns false (errno set) when the driver refuses them.
bool WriteLineSettings(int fd, const LineSettings &s);

/// The modem status word (PiloModem bits). supported is false where the driver has no modem
/// lines (pseudo-terminals).
quint32 ModemStatus(int fd, bool &supported);

/// Bytes waiting in the driver's input queue, or -1 when the port no longer answers.
int InputQueueBytes(int fd);

/// Bytes in the driver's output queue not yet sent, or -1 when unknown.
int OutputQueueBytes(int fd);

/// Counters of line errors kept by the driver.
struct LineErrorCounts
{
    quint64 Frame = 0;
    quint64 Overrun = 0;
    quint64 Parity = 0;
    quint64 Break = 0;
    quint64 BufferOverrun = 0;
};

/// Reads the driver's error counters; false where the driver keeps none.
bool ReadLineErrorCounts(int fd, LineErrorCounts &counts);

/// The PiloError bits of the counters that went up between two readings.
quint32 LineErrorFlags(const LineErrorCounts &before, const LineErrorCounts &after);
