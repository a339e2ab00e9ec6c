#pragma once

#include <QByteArray>
#include <QtGlobal>

// CRC-16/MODBUS: init 0xFFFF, reflected polynomial 0xA001, no final XOR.
quint16 crc16(const QByteArray &bytes);

// Appends the CRC low byte first, as it travels on the wire.
QByteArray withCrc(QByteArray frame);

// True when the last two bytes are the CRC (low, high) of everything before them.
bool hasValidCrc(const QByteArray &frame);
