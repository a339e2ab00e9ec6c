#include "registerport.h"

#include "modbusworker.h"

bool WorkerRegisterPort::noteResult(bool ok)
{
    m_lastError = ok ? ModbusError() : m_worker->lastSyncError();
    return ok;
}

QVector<quint16> WorkerRegisterPort::read(quint16 address, quint16 count, int timeoutMs)
{
    QVector<quint16> words = m_worker->syncRead(station(), address, count, timeoutMs);
    if (!noteResult(words.size() == count))
        words.clear();
    return words;
}

bool WorkerRegisterPort::write(quint16 address, quint16 value)
{
    return noteResult(m_worker->syncWrite(station(), address, value));
}

bool WorkerRegisterPort::writeMulti(quint16 address, const QVector<quint16> &words)
{
    return noteResult(m_worker->syncWriteMulti(station(), address, words));
}

bool WorkerRegisterPort::stop(quint16 address, quint16 value)
{
    return noteResult(m_worker->syncStopWrite(station(), address, value));
}

QVector<quint16> TransportRegisterPort::read(quint16 address, quint16 count, int timeoutMs)
{
    try {
        QVector<quint16> words = m_link.readRegisters(station(), address, count, timeoutMs);
        m_lastError = ModbusError();
        return words;
    } catch (const ModbusError &error) {
        m_lastError = error;
        return {};
    }
}

bool TransportRegisterPort::write(quint16 address, quint16 value)
{
    const bool ok = m_link.writeRegister(station(), address, value);
    m_lastError = ok ? ModbusError() : m_link.lastWriteError();
    return ok;
}

bool TransportRegisterPort::writeMulti(quint16 address, const QVector<quint16> &words)
{
    const bool ok = m_link.writeRegisters(station(), address, words);
    m_lastError = ok ? ModbusError() : m_link.lastWriteError();
    return ok;
}
