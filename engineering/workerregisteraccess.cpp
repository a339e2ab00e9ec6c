#include "workerregisteraccess.h"

#include "modbustransport.h"
#include "modbusworker.h"

namespace {

// A refusal is worth naming ("Exception 02 (illegal data address)"); any
// other failure keeps to an empty result or false.
void throwIfRefused(const ModbusWorker &worker)
{
    if (worker.lastSyncError().kind() == ModbusError::Kind::Refused)
        throw worker.lastSyncError();
}

}  // namespace

QVector<quint16> WorkerRegisterAccess::readRegisters(quint8 slave, quint16 address, quint16 count)
{
    if (!m_worker)
        return {};
    const QVector<quint16> words = m_worker->syncRead(slave, address, count, ReadTimeoutMs);
    if (words.isEmpty())
        throwIfRefused(*m_worker);
    return words;
}

bool WorkerRegisterAccess::writeRegisters(quint8 slave, quint16 address, const QVector<quint16> &values)
{
    if (!m_worker)
        return false;
    const bool written = m_worker->syncWriteMulti(slave, address, values);
    if (!written)
        throwIfRefused(*m_worker);
    return written;
}

bool WorkerRegisterAccess::writeRegister(quint8 slave, quint16 address, quint16 value)
{
    return m_worker && m_worker->syncWrite(slave, address, value);
}
