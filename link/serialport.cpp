#include "serialport.h"

#include <QSerialPort>

void configureDrivePort(QSerialPort &port, const QString &portName)
{
    port.setPortName(portName);
    port.setBaudRate(QSerialPort::Baud115200, QSerialPort::AllDirections);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
}

std::unique_ptr<QIODevice> openDrivePort(const QString &portName)
{
    auto port = std::make_unique<QSerialPort>();
    configureDrivePort(*port, portName);
    if (!port->open(QIODevice::ReadWrite))
        return nullptr;
    port->clear(QSerialPort::AllDirections);
    return port;
}
