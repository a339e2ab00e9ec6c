#include "simrequest.h"

#include "simdrive.h"
#include "simframer.h"

namespace {

quint16 frameWord(const QByteArray &frame, int offset)
{
    return quint16((quint8(frame[offset]) << 8) | quint8(frame[offset + 1]));
}

void appendFrameWord(QByteArray &bytes, quint16 value)
{
    bytes.append(char(value >> 8));
    bytes.append(char(value & 0xFF));
}

}  // namespace

SimRequest parseSimRequest(const QByteArray &frame, qint64 receivedAtMs)
{
    SimRequest request;
    request.station = quint8(frame[0]);
    request.function = quint8(frame[1]);
    request.address = frameWord(frame, 2);
    request.raw = frame;
    request.receivedAtMs = receivedAtMs;
    switch (request.function) {
    case SimFunction::ReadHolding:
        request.count = frameWord(frame, 4);
        break;
    case SimFunction::WriteSingle:
        request.count = 1;
        request.values = {frameWord(frame, 4)};
        break;
    case SimFunction::WriteMultiple:
        request.count = frameWord(frame, 4);
        for (int offset = 7; offset + 1 < frame.size() - 2; offset += 2)
            request.values.append(frameWord(frame, offset));
        break;
    default:
        break;
    }
    return request;
}

QByteArray simExceptionReply(const SimRequest &request, quint8 code)
{
    QByteArray reply;
    reply.append(char(request.station));
    reply.append(char(request.function | 0x80));
    reply.append(char(code));
    return reply;
}

QByteArray executeSimRequest(SimDrive &drive, const SimRequest &request)
{
    quint8 code = SimException::None;
    if (request.function == SimFunction::ReadHolding) {
        QVector<quint16> values;
        code = drive.readRegisters(request.address, request.count, &values);
        if (code != SimException::None)
            return simExceptionReply(request, code);
        QByteArray reply = request.raw.left(2);
        reply.append(char(2 * values.size()));
        for (quint16 value : values)
            appendFrameWord(reply, value);
        return reply;
    }
    const int byteCount = request.function == SimFunction::WriteMultiple ? quint8(request.raw[6]) : 2;
    if (request.count != request.values.size() || byteCount != 2 * request.values.size())
        code = SimException::IllegalValue;
    else
        code = drive.writeRegisters(request.address, request.values);
    if (code != SimException::None)
        return simExceptionReply(request, code);
    return request.raw.left(6);
}
