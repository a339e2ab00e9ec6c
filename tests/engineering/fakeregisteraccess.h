#pragma once

#include "modbustransport.h"
#include "registeraccess.h"

#include <QHash>
#include <QSet>
#include <QVector>

// A register map in memory that records every request and can be told to
// fail reads or writes at given start addresses.
class FakeRegisterAccess : public RegisterAccess
{
public:
    struct Call
    {
        char kind;  // 'r' read, 'm' multiple write, 'w' single write
        quint8 slave;
        quint16 address;
        int count;
        QVector<quint16> values;
    };

    QHash<quint16, quint16> registers;
    QVector<Call> calls;
    QSet<quint16> silentReads;        // start addresses answered with nothing
    QHash<quint16, int> shortReads;   // start address -> words actually returned
    QSet<quint16> throwingReads;      // start addresses that raise ModbusError("Timeout")
    QSet<quint16> failingWrites;      // start addresses whose write reports false
    QSet<quint16> throwingWrites;
    bool failSingleWrites = false;

    QVector<quint16> readRegisters(quint8 slave, quint16 address, quint16 count) override
    {
        calls.append({'r', slave, address, count, {}});
        if (throwingReads.contains(address))
            throw ModbusError(QStringLiteral("Timeout"));
        if (silentReads.contains(address))
            return {};
        const int served = shortReads.value(address, count);
        QVector<quint16> words;
        for (int i = 0; i < served; ++i)
            words.append(registers.value(quint16(address + i)));
        return words;
    }

    bool writeRegisters(quint8 slave, quint16 address, const QVector<quint16> &values) override
    {
        calls.append({'m', slave, address, values.size(), values});
        if (throwingWrites.contains(address))
            throw ModbusError(QStringLiteral("Port not open"));
        if (failingWrites.contains(address))
            return false;
        for (int i = 0; i < values.size(); ++i)
            registers.insert(quint16(address + i), values[i]);
        return true;
    }

    bool writeRegister(quint8 slave, quint16 address, quint16 value) override
    {
        calls.append({'w', slave, address, 1, {value}});
        if (failSingleWrites)
            return false;
        registers.insert(address, value);
        return true;
    }
};
