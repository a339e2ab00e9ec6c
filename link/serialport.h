#pragma once

#include <QString>

#include <memory>

class QIODevice;
class QSerialPort;

// 115200 baud both ways, 8 data bits, no parity, 1 stop bit, no flow control.
void configureDrivePort(QSerialPort &port, const QString &portName);

// Opens a configured port for reading and writing with both buffers cleared;
// null when it cannot be opened.
std::unique_ptr<QIODevice> openDrivePort(const QString &portName);
