#include "serialport.h"

#include <QRegularExpression>
#include <QSerialPort>
#include <QTcpSocket>

DriveAddress DriveAddress::parse(const QString &portName)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^(?:tcp://)?([A-Za-z0-9.\-_]+):(\d{1,5})$)"));
    DriveAddress address;
    const QRegularExpressionMatch match = pattern.match(portName.trimmed());
    const uint port = match.hasMatch() ? match.captured(2).toUInt() : 0;
    if (port == 0 || port > 65535)
        return address;
    address.tcp = true;
    address.host = match.captured(1);
    address.port = quint16(port);
    return address;
}

QString DriveAddress::hostAndPort() const
{
    return tcp ? QStringLiteral("%1:%2").arg(host).arg(port) : QString();
}

QString PortOpenError::text() const
{
    switch (kind) {
    case Kind::None:
        return QString();
    case Kind::NoPermission:
        return QStringLiteral("no permission to open %1: add your user to the dialout group "
                              "(sudo usermod -aG dialout $USER), then log out and in again")
            .arg(port);
    case Kind::NotFound:
        return QStringLiteral("%1 does not exist (adapter unplugged?)").arg(port);
    case Kind::TcpConnect:
        return QStringLiteral("cannot connect to %1: %2").arg(port, detail);
    case Kind::Other:
        break;
    }
    return QStringLiteral("cannot open %1: %2").arg(port, detail);
}

void configureDrivePort(QSerialPort &port, const QString &portName)
{
    port.setPortName(portName);
    port.setBaudRate(QSerialPort::Baud115200, QSerialPort::AllDirections);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
}

namespace {

std::unique_ptr<QIODevice> openTcp(const DriveAddress &address, PortOpenError *error)
{
    auto socket = std::make_unique<QTcpSocket>();
    // Requests are small and each waits for its reply: send them at once.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->connectToHost(address.host, address.port);
    if (socket->waitForConnected(TcpConnectTimeoutMs))
        return socket;
    if (error) {
        error->kind = PortOpenError::Kind::TcpConnect;
        error->port = address.hostAndPort();
        error->detail = socket->error() == QAbstractSocket::SocketTimeoutError
                            ? QStringLiteral("no answer within %1 s").arg(TcpConnectTimeoutMs / 1000)
                            : socket->errorString();
    }
    return nullptr;
}

}  // namespace

std::unique_ptr<QIODevice> openDrivePort(const QString &portName, PortOpenError *error)
{
    const DriveAddress address = DriveAddress::parse(portName);
    if (address.tcp)
        return openTcp(address, error);
    auto port = std::make_unique<QSerialPort>();
    configureDrivePort(*port, portName);
    if (!port->open(QIODevice::ReadWrite)) {
        if (error) {
            error->port = portName;
            error->detail = port->errorString();
            switch (port->error()) {
            case QSerialPort::PermissionError:
                error->kind = PortOpenError::Kind::NoPermission;
                break;
            case QSerialPort::DeviceNotFoundError:
                error->kind = PortOpenError::Kind::NotFound;
                break;
            default:
                error->kind = PortOpenError::Kind::Other;
                break;
            }
        }
        return nullptr;
    }
    port->clear(QSerialPort::AllDirections);
    return port;
}
