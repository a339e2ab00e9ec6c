#pragma once

// Register values in every parameter row that no two-decimal box shows (µm,
// speeds off 0.01 mm/s, torque codes between percents, smoothing above 500),
// valid under the write rules on any catalogue drive of 20 mm stroke or more.

#include "paramconversions.h"
#include "registers.h"
#include "simbus.h"

#include <QVector>

// value: the register value; fromStroke: stroke x 1000 minus it. Two words: low first.
struct OddRow { const char *key; quint16 address; int words; qint64 value; bool fromStroke = false; };

inline const QVector<OddRow> &oddRows()
{
    static const QVector<OddRow> rows = {
        {"homeTorque", Reg::HomeTorque, 1, 0x124F},       {"softLimitCCW", Reg::SoftLimitCCW, 2, -1234},
        {"softLimitCW", Reg::SoftLimitCW, 2, 7, true},    {"dynErr", Reg::DynamicErrorThreshold, 1, 27},
        {"staErr", Reg::StaticErrorThreshold, 1, 23},     {"posWarn", Reg::PositionWarningThreshold, 1, 17},
        {"pos0Accel", Reg::Pos0Accel, 1, 123},            {"pos0Decel", Reg::Pos0Decel, 1, 457},
        {"pos0Speed", Reg::Pos0Speed, 2, 12345},          {"pos0Pos", Reg::Pos0Position, 2, 2345},
        {"pos1Accel", Reg::Pos1Accel, 1, 211},            {"pos1Decel", Reg::Pos1Decel, 1, 389},
        {"pos1Speed", Reg::Pos1Speed, 2, 23457},          {"pos1Pos", Reg::Pos1Position, 2, 1357, true},
        {"pos0PushTorque", Reg::Pos0PushTorque, 1, 0x0253}, {"pos1PushTorque", Reg::Pos1PushTorque, 1, 0x713A},
        {"smoothMs", Reg::SmoothingConstant, 1, 600},
    };
    return rows;
}

inline qint64 oddValue(const OddRow &row, int stroke)
{
    return row.fromStroke ? stroke * 1000LL - row.value : row.value;
}

// shift is added to every value (torques: their low byte); push modes on.
inline void setOddValues(SimBus &bus, quint8 station, int stroke, int shift = 0)
{
    for (const OddRow &row : oddRows()) {
        const quint32 v = quint32(oddValue(row, stroke) + shift);
        bus.setRegisterValue(station, row.address, quint16(v & 0xFFFF));
        if (row.words == 2)
            bus.setRegisterValue(station, quint16(row.address + 1), quint16(v >> 16));
    }
    bus.setRegisterValue(station, Reg::Pos0MotionMode, Reg::PushMode::Pos0On);
    bus.setRegisterValue(station, Reg::Pos1MotionMode, Reg::PushMode::Pos1On);
}

// Values a drive may hold that no box of the window can enter: push torques
// and the home torque at 0 (push mode off), ramps under 50 ms, a speed above
// 3000 rpm of the screw. The torque registers keep another setting in their
// high byte. Set over setOddValues, push modes off.
inline const QVector<OddRow> &outsideRangeRows()
{
    static const QVector<OddRow> rows = {
        {"homeTorque", Reg::HomeTorque, 1, 0x2100},         {"pos0PushTorque", Reg::Pos0PushTorque, 1, 0x0000},
        {"pos1PushTorque", Reg::Pos1PushTorque, 1, 0x5A00}, {"pos0Accel", Reg::Pos0Accel, 1, 10},
        {"pos1Decel", Reg::Pos1Decel, 1, 0},                {"pos1Speed", Reg::Pos1Speed, 2, 350000},
    };
    return rows;
}

inline void setOutsideRangeValues(SimBus &bus, quint8 station, int stroke)
{
    setOddValues(bus, station, stroke);
    for (const OddRow &row : outsideRangeRows()) {
        bus.setRegisterValue(station, row.address, quint16(row.value & 0xFFFF));
        if (row.words == 2)
            bus.setRegisterValue(station, quint16(row.address + 1), quint16(row.value >> 16));
    }
    bus.setRegisterValue(station, Reg::Pos0MotionMode, Reg::PushMode::Pos0Off);
    bus.setRegisterValue(station, Reg::Pos1MotionMode, Reg::PushMode::Pos1Off);
}

// What the simulator holds in every register a parameter lives in, its
// power-on copies and the shared ones, read from the simulator itself.
inline QVector<quint16> parameterRegisterValues(const SimBus &bus, quint8 station)
{
    QVector<quint16> addresses{Reg::CurrentLimits, Reg::Pos0MotionMode, Reg::Pos1MotionMode};
    for (const ParamConv::ParamDefinition &def : ParamConv::paramDefinitions()) {
        for (int w = 0; w < def.words; ++w) {
            addresses << quint16(def.address + w);
            if (def.scriptCopy != 0)
                addresses << quint16(def.scriptCopy + w);
        }
    }
    QVector<quint16> values;
    for (quint16 address : addresses)
        values << bus.registerValue(station, address);
    return values;
}

// Every register a parameter file carries; torques by their low byte (the high byte is another setting).
inline QVector<quint16> fileRegisters(const SimBus &bus, quint8 station)
{
    QVector<quint16> words;
    for (const OddRow &row : oddRows()) {
        const quint16 mask = QByteArray(row.key).contains("Torque") ? 0x00FF : 0xFFFF;
        for (int w = 0; w < row.words; ++w)
            words << (bus.registerValue(station, quint16(row.address + w)) & mask);
    }
    for (quint16 address : {Reg::CurrentLimits, Reg::Pos0MotionMode, Reg::Pos1MotionMode})
        words << bus.registerValue(station, address);
    return words;
}
