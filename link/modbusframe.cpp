#include "modbusframe.h"

#include "crc16.h"

namespace ModbusFrame {
namespace {

void appendWord(QByteArray &frame, quint16 word)
{
    frame.append(static_cast<char>(word >> 8));
    frame.append(static_cast<char>(word & 0xFF));
}

QByteArray header(quint8 slave, quint8 function, quint16 address)
{
    QByteArray frame;
    frame.append(static_cast<char>(slave));
    frame.append(static_cast<char>(function));
    appendWord(frame, address);
    return frame;
}

}  // namespace

QByteArray readRequest(quint8 slave, quint16 address, quint16 count)
{
    QByteArray frame = header(slave, ReadHoldingRegisters, address);
    appendWord(frame, count);
    return withCrc(frame);
}

QByteArray writeRequest(quint8 slave, quint16 address, quint16 value)
{
    QByteArray frame = header(slave, WriteSingleRegister, address);
    appendWord(frame, value);
    return withCrc(frame);
}

QByteArray writeMultiRequest(quint8 slave, quint16 address, const QVector<quint16> &values)
{
    QByteArray frame = header(slave, WriteMultipleRegisters, address);
    appendWord(frame, static_cast<quint16>(values.size()));
    frame.append(static_cast<char>((2 * values.size()) & 0xFF));
    for (quint16 v : values)
        appendWord(frame, v);
    return withCrc(frame);
}

QVector<quint16> readReplyWords(const QByteArray &reply, int count)
{
    QVector<quint16> words;
    if (reply.size() < readReplyLength(count))
        return words;
    words.reserve(count);
    for (int i = 0; i < count; ++i) {
        const quint8 hi = static_cast<quint8>(reply[3 + 2 * i]);
        const quint8 lo = static_cast<quint8>(reply[4 + 2 * i]);
        words.append(static_cast<quint16>(hi << 8 | lo));
    }
    return words;
}

QByteArray expectedReplyStart(const QByteArray &request)
{
    const quint8 function = static_cast<quint8>(request.at(1));
    if (function == WriteSingleRegister || function == WriteMultipleRegisters)
        return request.left(6);
    // A read's byte count: two for each word asked for.
    const int count = (quint8(request.at(4)) << 8) | quint8(request.at(5));
    return request.left(2) + char((2 * count) & 0xFF);
}

QString exceptionText(quint8 code)
{
    const char *name = nullptr;
    switch (code) {
    case 0x01: name = "illegal function"; break;
    case 0x02: name = "illegal data address"; break;
    case 0x03: name = "illegal data value"; break;
    case 0x04: name = "server device failure"; break;
    case 0x06: name = "server device busy"; break;
    case 0x0B: name = "gateway target device failed to respond"; break;
    default: break;
    }
    const QString number = QStringLiteral("Exception %1").arg(QString::number(code, 16).rightJustified(2, QLatin1Char('0')).toUpper());
    return name ? QStringLiteral("%1 (%2)").arg(number, QLatin1String(name)) : number;
}

QString toHex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ')).toUpper();
}

}  // namespace ModbusFrame
