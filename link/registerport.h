#pragma once

#include "modbustransport.h"

#include <QVector>
#include <QtGlobal>

class ModbusWorker;

// Register reads and writes with one drive: the station is bound in, so a
// caller cannot address another. A failure is a short read or a false write;
// lastError() then says why (no reply, a refusal with its code, ...).
class RegisterPort
{
public:
    static constexpr int ReadTimeoutMs = 300;

    virtual ~RegisterPort() = default;

    quint8 station() const { return m_station; }
    virtual QVector<quint16> read(quint16 address, quint16 count, int timeoutMs = ReadTimeoutMs) = 0;
    virtual bool write(quint16 address, quint16 value) = 0;
    virtual bool writeMulti(quint16 address, const QVector<quint16> &words) = 0;
    const ModbusError &lastError() const { return m_lastError; }

protected:
    explicit RegisterPort(quint8 station) : m_station(station) {}
    ModbusError m_lastError;

private:
    quint8 m_station;
};

// Through the connected worker's blocking requests, for the GUI thread.
class WorkerRegisterPort : public RegisterPort
{
public:
    WorkerRegisterPort(ModbusWorker *worker, quint8 station) : RegisterPort(station), m_worker(worker) {}

    QVector<quint16> read(quint16 address, quint16 count, int timeoutMs = ReadTimeoutMs) override;
    bool write(quint16 address, quint16 value) override;
    bool writeMulti(quint16 address, const QVector<quint16> &words) override;
    // A write that stops motion: every motion write still queued on the worker
    // is dropped as it is posted, so none of them reaches the wire after it.
    bool stop(quint16 address, quint16 value);

private:
    bool noteResult(bool ok);
    ModbusWorker *m_worker;
};

// Straight on a transport this thread owns (the command line, a line job).
class TransportRegisterPort : public RegisterPort
{
public:
    TransportRegisterPort(ModbusTransport &link, quint8 station) : RegisterPort(station), m_link(link) {}

    QVector<quint16> read(quint16 address, quint16 count, int timeoutMs = ReadTimeoutMs) override;
    bool write(quint16 address, quint16 value) override;
    bool writeMulti(quint16 address, const QVector<quint16> &words) override;

private:
    ModbusTransport &m_link;
};
