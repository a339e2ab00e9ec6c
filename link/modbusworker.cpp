#include "modbusworker.h"

#include "modbustransport.h"
#include "registers.h"
#include "serialport.h"

#include <QElapsedTimer>
#include <QIODevice>
#include <QSerialPort>

namespace {
constexpr int SettleAfterOpenMs = 50;
constexpr int AfterQueuedWriteMs = 20;
constexpr int PausedIdleMs = 30;
constexpr int AfterPollCycleMs = 25;
constexpr int StopLockWaitMs = 200;
}  // namespace

ModbusWorker::ModbusWorker(QObject *parent) : QThread(parent), m_portFactory(openDrivePort)
{
    registerLinkMetaTypes();
}

ModbusWorker::~ModbusWorker()
{
    stop();
    wait();
}

LinkStats ModbusWorker::linkStats() const
{
    std::lock_guard<std::mutex> lock(m_statsMutex);
    return m_linkStats;
}

void ModbusWorker::publishStats(const ModbusTransport &transport)
{
    std::lock_guard<std::mutex> lock(m_statsMutex);
    m_linkStats = transport.stats();
}

void ModbusWorker::setPollingPaused(bool paused)
{
    m_pollingPaused.store(paused);
}

void ModbusWorker::enqueueWrite(quint16 address, quint16 value)
{
    if (!isRunning())
        return;
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_queue.append({address, value});
}

bool ModbusWorker::tryLockRequest(int waitMs)
{
    // Polled rather than a timed lock: ThreadSanitizer cannot follow timed locks.
    QElapsedTimer waited;
    waited.start();
    while (!m_requestMutex.try_lock()) {
        if (waited.elapsed() >= waitMs)
            return false;
        QThread::msleep(1);
    }
    return true;
}

void ModbusWorker::stop()
{
    requestInterruption();
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_queue.clear();
    }
    if (tryLockRequest(StopLockWaitMs)) {
        if (m_slot.pending) {
            m_slot.pending = false;
            m_slot.done = true;
            m_requestDone.notify_all();
        }
        m_requestMutex.unlock();
    }
}

ModbusWorker::RequestSlot ModbusWorker::postAndWait(const std::function<void(RequestSlot &)> &fill, int waitMs)
{
    std::unique_lock<std::mutex> lock(m_requestMutex);
    m_slot = RequestSlot();
    if (!isRunning() || isInterruptionRequested())
        return m_slot;
    fill(m_slot);
    m_slot.pending = true;
    m_requestDone.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return m_slot.done; });
    if (!m_slot.done) {
        // Abandoned: the worker must not serve it later.
        m_slot.pending = false;
        m_slot.done = true;
        m_slot.result.clear();
        m_slot.success = false;
    }
    return m_slot;
}

QVector<quint16> ModbusWorker::syncRead(quint8 slave, quint16 address, quint16 count, int timeoutMs)
{
    return postAndWait(
               [&](RequestSlot &s) {
                   s.kind = RequestKind::Read;
                   s.slave = slave;
                   s.address = address;
                   s.countOrValue = count;
               },
               timeoutMs + SyncReadExtraWaitMs)
        .result;
}

bool ModbusWorker::syncWrite(quint8 slave, quint16 address, quint16 value)
{
    return postAndWait(
               [&](RequestSlot &s) {
                   s.kind = RequestKind::Write;
                   s.slave = slave;
                   s.address = address;
                   s.countOrValue = value;
               },
               SyncWriteWaitMs)
        .success;
}

bool ModbusWorker::syncWriteMulti(quint8 slave, quint16 address, const QVector<quint16> &values)
{
    return postAndWait(
               [&](RequestSlot &s) {
                   s.kind = RequestKind::WriteMulti;
                   s.slave = slave;
                   s.address = address;
                   s.values = values;
               },
               SyncWriteMultiWaitMs)
        .success;
}

void ModbusWorker::serveRequest(ModbusTransport &transport)
{
    std::lock_guard<std::mutex> lock(m_requestMutex);
    if (!m_slot.pending)
        return;
    transport.setTrafficLogging(true);
    switch (m_slot.kind) {
    case RequestKind::Read:
        try {
            m_slot.result = transport.readRegisters(m_slot.slave, m_slot.address, m_slot.countOrValue,
                                                    SyncReadTransactionMs);
        } catch (const ModbusError &) {
            m_slot.result.clear();
        }
        break;
    case RequestKind::Write:
        m_slot.success = transport.writeRegister(m_slot.slave, m_slot.address, m_slot.countOrValue);
        break;
    case RequestKind::WriteMulti:
        m_slot.success = transport.writeRegisters(m_slot.slave, m_slot.address, m_slot.values);
        break;
    case RequestKind::None:
        break;
    }
    transport.setTrafficLogging(false);
    m_slot.pending = false;
    m_slot.done = true;
    m_requestDone.notify_all();
}

bool ModbusWorker::takeQueuedWrite(QueuedWrite &write)
{
    std::lock_guard<std::mutex> lock(m_queueMutex);
    if (m_queue.isEmpty())
        return false;
    write = m_queue.takeFirst();
    return true;
}

bool ModbusWorker::pollOnce(ModbusTransport &transport, quint8 station, QString &error)
{
    try {
        PollWords words;
        words.position = transport.readRegisters(station, Reg::ActualPosition, 2, PollReadTimeoutMs);
        words.current = transport.readRegisters(station, Reg::MotorCurrent, 1, PollReadTimeoutMs).value(0);
        words.trackingError = transport.readRegisters(station, Reg::TrackingError, 1, PollReadTimeoutMs).value(0);
        words.alarm = transport.readRegisters(station, Reg::AlarmWord, 1, PollReadTimeoutMs).value(0);
        words.inputs = transport.readRegisters(station, Reg::InputStatus, 1, PollReadTimeoutMs).value(0);
        words.outputs = transport.readRegisters(station, Reg::OutputStatus, 1, PollReadTimeoutMs).value(0);
        m_state = decodeDeviceState(words);
        return true;
    } catch (const ModbusError &e) {
        error = e.text();
        return false;
    }
}

void ModbusWorker::run()
{
    const QString portName = m_portName;
    const quint8 station = m_station;
    {
        std::lock_guard<std::mutex> lock(m_statsMutex);
        m_linkStats = LinkStats();
    }

    std::shared_ptr<QIODevice> port = m_portFactory ? m_portFactory(portName) : nullptr;
    if (!port || !port->isOpen()) {
        Q_EMIT connectionError(QStringLiteral("無法開啟通訊埠"));
        return;
    }
    if (auto *serial = qobject_cast<QSerialPort *>(port.get()))
        serial->clear(QSerialPort::AllDirections);
    else
        port->readAll();
    msleep(SettleAfterOpenMs);
    Q_EMIT connectedSuccessfully();

    ModbusTransport transport(ModbusTransport::Pacing::SinceLastTransmission, port.get());
    transport.setTrafficSink([this](const QString &type, const QString &text) { Q_EMIT logMessage(type, text); });
    m_state = DeviceState();
    int failedCycles = 0;

    while (!isInterruptionRequested()) {
        publishStats(transport);
        serveRequest(transport);

        QueuedWrite write;
        if (takeQueuedWrite(write)) {
            transport.writeRegister(station, write.address, write.value);
            msleep(AfterQueuedWriteMs);
            continue;
        }
        if (m_pollingPaused.load()) {
            msleep(PausedIdleMs);
            continue;
        }

        QString error;
        if (pollOnce(transport, station, error)) {
            Q_EMIT stateUpdated(m_state);
            failedCycles = 0;
            msleep(AfterPollCycleMs);
            continue;
        }
        if (isInterruptionRequested())
            break;
        if (++failedCycles >= FailedCyclesBeforeLoss) {
            // A port that failed under us (adapter unplugged) is told apart from a silent drive.
            Q_EMIT connectionError(error == QLatin1String("Port lost") ? QStringLiteral("ERR_PORT_LOST")
                                                                       : QStringLiteral("ERR_TIMEOUT"));
            break;
        }
        Q_EMIT logMessage(QStringLiteral("info"), QStringLiteral("Poll error: %1").arg(error));
        msleep(AfterPollCycleMs);
    }
    publishStats(transport);
    port->close();
}
