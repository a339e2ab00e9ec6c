#include "devicestate.h"

#include "exchangerecord.h"

qint32 signed32(quint16 low, quint16 high)
{
    return static_cast<qint32>(static_cast<quint32>(high) << 16 | low);
}

QVector<quint16> words32(qint64 value)
{
    const quint32 raw = static_cast<quint32>(value);
    return {static_cast<quint16>(raw & 0xFFFF), static_cast<quint16>(raw >> 16)};
}

DeviceState decodeDeviceState(const PollWords &words)
{
    DeviceState s;
    if (words.position.size() >= 2)
        s.positionMm = signed32(words.position[0], words.position[1]) / 1000.0;
    s.currentMa = words.current;
    s.trackErrUm = static_cast<qint16>(words.trackingError);
    s.alarmCode = words.alarm & 0x000F;
    s.x0 = words.inputs & 0x01;
    s.x1 = words.inputs & 0x02;
    s.x2 = words.inputs & 0x04;
    s.x7 = words.inputs & 0x80;
    s.y0 = words.outputs & 0x01;
    s.y1 = words.outputs & 0x02;
    s.y2 = words.outputs & 0x04;
    s.inputsRaw = words.inputs;
    s.outputsRaw = words.outputs;
    s.alarmHistRaw = words.alarm;
    return s;
}

void registerLinkMetaTypes()
{
    qRegisterMetaType<DeviceState>("DeviceState");
    qRegisterMetaType<QVector<quint16>>("QVector<quint16>");
    qRegisterMetaType<ExchangeRecord>("ExchangeRecord");
}
