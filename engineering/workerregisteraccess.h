#pragma once

#include "registeraccess.h"

class ModbusWorker;

// Register access through the connected worker's synchronous requests.
class WorkerRegisterAccess : public RegisterAccess
{
public:
    // The caller's share of a read's wait; the worker adds its own margin.
    static constexpr int ReadTimeoutMs = 1000;

    explicit WorkerRegisterAccess(ModbusWorker *worker) : m_worker(worker) {}

    QVector<quint16> readRegisters(quint8 slave, quint16 address, quint16 count) override;
    bool writeRegisters(quint8 slave, quint16 address, const QVector<quint16> &values) override;
    bool writeRegister(quint8 slave, quint16 address, quint16 value) override;

private:
    ModbusWorker *m_worker;
};
