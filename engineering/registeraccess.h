#pragma once

#include <QVector>
#include <QtGlobal>

// Register reads and writes on one bus, as the compare engine needs them.
// Implementations may report a failure either by their result (an empty or
// short read, a false write) or by throwing ModbusError with a short text.
class RegisterAccess
{
public:
    virtual ~RegisterAccess() = default;

    virtual QVector<quint16> readRegisters(quint8 slave, quint16 address, quint16 count) = 0;
    virtual bool writeRegisters(quint8 slave, quint16 address, const QVector<quint16> &values) = 0;
    virtual bool writeRegister(quint8 slave, quint16 address, quint16 value) = 0;
};
