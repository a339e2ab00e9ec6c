#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

// Request frames of the three function codes this master uses, CRC included,
// and the length of the reply each one expects.
namespace ModbusFrame {

constexpr quint8 ReadHoldingRegisters = 0x03;
constexpr quint8 WriteSingleRegister = 0x06;
constexpr quint8 WriteMultipleRegisters = 0x10;

QByteArray readRequest(quint8 slave, quint16 address, quint16 count);
QByteArray writeRequest(quint8 slave, quint16 address, quint16 value);
QByteArray writeMultiRequest(quint8 slave, quint16 address, const QVector<quint16> &values);

constexpr int readReplyLength(int count) { return 5 + 2 * count; }
constexpr int writeReplyLength = 8;
constexpr int exceptionReplyLength = 5;
constexpr quint8 ExceptionFlag = 0x80;

// The bytes a reply to `request` must begin with: station, function and byte
// count (two per word asked for) of a read; station, function, address and
// value (0x06) or count (0x10) of a write.
QByteArray expectedReplyStart(const QByteArray &request);

// "Exception 02 (illegal data address)"; a code without a usual name prints as a number.
QString exceptionText(quint8 code);

// Data words of a 0x03 reply of known length (its byte count checked by the transport).
QVector<quint16> readReplyWords(const QByteArray &reply, int count);

// "01 03 00 04 00 02 85 CA": upper-case hex, one space between bytes.
QString toHex(const QByteArray &bytes);

}  // namespace ModbusFrame
