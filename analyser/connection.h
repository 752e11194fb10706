#pragma once
// Connecting the analyser: the serial settings of the "COM Port" group applied to the port,
// and the command channel's view of the port.

#include "analyser/command_channel.h"
#include "analyser/transport.h"

#include <QString>

class TPiloComPort;

/// The choices of the "COM Port" group as they stand in its boxes.
struct LineChoice
{
    QString portText;      ///< cb_COM, e.g. "1" or "keiner"
    QString baudText;      ///< cb_Baud, e.g. "9600"
    QString bitsText;      ///< cb_Bits, "7" or "8"
    int handshake = 1;     ///< cb_Handshake position: 0 "keine", 1 "DTR/RTS", 2 "Software"
    int parity = 0;        ///< cb_Parity position: 0 "keine", 1 "ungerade", 2 "gerade"
    int stopBits = 0;      ///< cb_StopBits position: 0 "1", 1 "2"
};

/// Sets port number, line settings and flow control of `port` from the group's choices. The
/// numbers are read leniently (leading blanks and a sign, digits up to the first other
/// character; 0 for text that is not a number, as "keiner"). "DTR/RTS" throttles only what the
/// analyser sends: the program's own output is never held back by CTS or DSR.
void ApplyLineChoice(TPiloComPort &port, const LineChoice &choice);

/// The command channel's view of the serial component: open means open and not hung up, so
/// that nothing is sent into, and no wait hangs on, a line whose other end has gone.
class PiloCommandPort : public CommandPort
{
public:
    explicit PiloCommandPort(TPiloComPort *port) : m_port(port) {}
    bool isActive() const override;
    void write(const QByteArray &bytes) override;

private:
    TPiloComPort *m_port;
};

/// The operator's line for a serial port that cannot be opened, the designed words followed by
/// the port and the system's reason: "Could not open FSP ! COM3: no such port",
/// "Could not open FSP ! COM1: the port is in use by another program".
QString CouldNotOpenText(const QString &device, int port, TransportError kind, const QString &reason);
