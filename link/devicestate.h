#pragma once

#include <QMetaType>
#include <QVector>
#include <QtGlobal>

// One polling cycle of the connected drive, decoded.
struct DeviceState
{
    double positionMm = 0.0;
    qint32 currentMa = 0;
    qint32 trackErrUm = 0;
    qint32 alarmCode = 0;
    bool x0 = false;
    bool x1 = false;
    bool x2 = false;
    bool x7 = false;
    bool y0 = false;
    bool y1 = false;
    bool y2 = false;
    quint16 inputsRaw = 0;
    quint16 outputsRaw = 0;
    quint16 alarmHistRaw = 0;
};
Q_DECLARE_METATYPE(DeviceState)

// The raw words of one polling cycle, in the order the worker reads them.
struct PollWords
{
    QVector<quint16> position;  // 2 words from 0x0004, low word first
    quint16 current = 0;        // 0x001A
    quint16 trackingError = 0;  // 0x0011
    quint16 alarm = 0;          // 0x00A3
    quint16 inputs = 0;         // 0x0006
    quint16 outputs = 0;        // 0x00A2
};

DeviceState decodeDeviceState(const PollWords &words);

// Two consecutive registers, low word first, as a signed 32-bit value.
qint32 signed32(quint16 low, quint16 high);
// A signed 32-bit value as [low word, high word].
QVector<quint16> words32(qint64 value);

void registerLinkMetaTypes();
