#include "workerregisteraccess.h"

#include "modbusworker.h"

QVector<quint16> WorkerRegisterAccess::readRegisters(quint8 slave, quint16 address, quint16 count)
{
    return m_worker ? m_worker->syncRead(slave, address, count, ReadTimeoutMs) : QVector<quint16>();
}

bool WorkerRegisterAccess::writeRegisters(quint8 slave, quint16 address, const QVector<quint16> &values)
{
    return m_worker && m_worker->syncWriteMulti(slave, address, values);
}

bool WorkerRegisterAccess::writeRegister(quint8 slave, quint16 address, quint16 value)
{
    return m_worker && m_worker->syncWrite(slave, address, value);
}
