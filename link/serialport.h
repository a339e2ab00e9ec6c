#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>

class QIODevice;
class QSerialPort;

// Where a port name leads: a serial device path, or "tcp://HOST:PORT" (also
// plain "HOST:PORT"), a converter that carries RTU frames over TCP unchanged.
struct DriveAddress
{
    bool tcp = false;
    QString host;
    quint16 port = 0;

    static DriveAddress parse(const QString &portName);
    // "HOST:PORT"; empty for a serial device.
    QString hostAndPort() const;
};

// Why a port could not be opened; text() is the English message with its
// remedy, the window translates from kind and the two fields.
struct PortOpenError
{
    enum class Kind { None, NoPermission, NotFound, TcpConnect, Other };
    Kind kind = Kind::None;
    QString port;    // device path or HOST:PORT
    QString detail;  // the system's own reason

    QString text() const;
};

// A converter that does not accept the connection within this time is taken as unreachable.
constexpr int TcpConnectTimeoutMs = 2000;

// 115200 baud both ways, 8 data bits, no parity, 1 stop bit, no flow control.
void configureDrivePort(QSerialPort &port, const QString &portName);

// The one place a drive port is opened: a configured serial port with both
// buffers cleared, or a connected TCP socket. Null when it cannot be opened,
// with the reason in *error when given.
std::unique_ptr<QIODevice> openDrivePort(const QString &portName, PortOpenError *error = nullptr);
