#include "modbusworker.h"

#include "modbustransport.h"
#include "registers.h"
#include "serialport.h"

#include <QElapsedTimer>
#include <QIODevice>
#include <QSerialPort>

#include <algorithm>
#include <iterator>

namespace {
constexpr int SettleAfterOpenMs = 50;
constexpr int AfterQueuedWriteMs = 20;
constexpr int PausedIdleMs = 30;
constexpr int AfterPollCycleMs = 25;
constexpr int StopLockWaitMs = 200;
}  // namespace

ModbusWorker::ModbusWorker(QObject *parent)
    : QThread(parent), m_portFactory(openDrivePort)
{
    registerLinkMetaTypes();
    qRegisterMetaType<ModbusError>();
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

void ModbusWorker::followTracing(ModbusTransport &transport, bool &observing)
{
    const bool wanted = m_tracing.load();
    if (wanted == observing)
        return;
    observing = wanted;
    if (wanted)
        transport.setExchangeObserver([this](const ExchangeRecord &record) { Q_EMIT exchangeRecorded(record); });
    else
        transport.setExchangeObserver(nullptr);
}

void ModbusWorker::setPollingPaused(bool paused)
{
    m_pollingPaused.store(paused);
}

void ModbusWorker::enqueueWrite(quint16 address, quint16 value, QueuedWrite kind)
{
    if (!m_serving.load())
        return;
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_queue.append({address, value, kind});
}

void ModbusWorker::dropQueuedMotion()
{
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(),
                                 [](const QueueEntry &e) { return e.kind == QueuedWrite::Motion; }),
                  m_queue.end());
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

void ModbusWorker::clearQueue()
{
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_queue.clear();
}

void ModbusWorker::stop()
{
    requestInterruption();
    clearQueue();
    if (tryLockRequest(StopLockWaitMs)) {
        if (m_slot.pending) {
            m_slot.pending = false;
            m_slot.done = true;
            m_slot.error = ModbusError(QStringLiteral("Connection closed"));
            m_requestDone.notify_all();
        }
        m_requestPosted.notify_all();
        m_requestMutex.unlock();
    }
}

void ModbusWorker::endServing(const ModbusError &reason)
{
    {
        std::lock_guard<std::mutex> lock(m_requestMutex);
        m_serving.store(false);
        if (m_slot.pending) {
            m_slot.pending = false;
            m_slot.done = true;
            m_slot.error = reason;
            m_requestDone.notify_all();
        }
    }
    // Writes queued while the link failed must not go out on the next connection.
    clearQueue();
}

bool ModbusWorker::requestPending()
{
    std::lock_guard<std::mutex> lock(m_requestMutex);
    return m_slot.pending;
}

void ModbusWorker::restFor(int ms)
{
    std::unique_lock<std::mutex> lock(m_requestMutex);
    m_requestPosted.wait_for(lock, std::chrono::milliseconds(ms),
                             [this] { return m_slot.pending || isInterruptionRequested(); });
}

ModbusWorker::RequestSlot ModbusWorker::postAndWait(const std::function<void(RequestSlot &)> &fill, int waitMs)
{
    std::unique_lock<std::mutex> lock(m_requestMutex);
    m_slot = RequestSlot();
    if (!m_serving.load() || isInterruptionRequested()) {
        m_slot.error = ModbusError(QStringLiteral("Not connected"));
    } else {
        fill(m_slot);
        m_slot.pending = true;
        m_requestPosted.notify_all();
        m_requestDone.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return m_slot.done; });
        if (!m_slot.done) {
            // Abandoned: the worker must not serve it later.
            m_slot.pending = false;
            m_slot.done = true;
            m_slot.result.clear();
            m_slot.success = false;
            m_slot.error = ModbusError::noReply();
        }
    }
    m_lastSyncError = m_slot.error;
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
                   s.readTimeoutMs = qMin(timeoutMs, SyncReadTransactionMs);
               },
               timeoutMs + SyncReadExtraWaitMs)
        .result;
}

bool ModbusWorker::syncWrite(quint8 slave, quint16 address, quint16 value)
{
    return postWrite(slave, address, value, false);
}

bool ModbusWorker::syncStopWrite(quint8 slave, quint16 address, quint16 value)
{
    return postWrite(slave, address, value, true);
}

bool ModbusWorker::postWrite(quint8 slave, quint16 address, quint16 value, bool dropMotionFirst)
{
    return postAndWait(
               [&](RequestSlot &s) {
                   // Under the request lock, with the stop not yet posted: the worker
                   // can take no queued write between the drop and the post.
                   if (dropMotionFirst)
                       dropQueuedMotion();
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
                                                    m_slot.readTimeoutMs);
        } catch (const ModbusError &e) {
            m_slot.result.clear();
            m_slot.error = e;
        }
        break;
    case RequestKind::Write:
    case RequestKind::WriteMulti:
        m_slot.success = m_slot.kind == RequestKind::Write
                             ? transport.writeRegister(m_slot.slave, m_slot.address, m_slot.countOrValue)
                             : transport.writeRegisters(m_slot.slave, m_slot.address, m_slot.values);
        if (!m_slot.success)
            m_slot.error = transport.lastWriteError();
        break;
    case RequestKind::None:
        break;
    }
    transport.setTrafficLogging(false);
    m_slot.pending = false;
    m_slot.done = true;
    m_requestDone.notify_all();
}

bool ModbusWorker::takeQueuedWrite(QueueEntry &write)
{
    std::lock_guard<std::mutex> lock(m_queueMutex);
    if (m_queue.isEmpty())
        return false;
    write = m_queue.takeFirst();
    return true;
}

ModbusWorker::PollResult ModbusWorker::pollOnce(ModbusTransport &transport, quint8 station, ModbusError &error)
{
    struct PollRead
    {
        quint16 address;
        quint16 count;
    };
    constexpr PollRead reads[] = {{Reg::ActualPosition, 2}, {Reg::MotorCurrent, 1}, {Reg::TrackingError, 1},
                                  {Reg::AlarmWord, 1},      {Reg::InputStatus, 1},  {Reg::OutputStatus, 1}};
    constexpr int ReadCount = int(std::size(reads));
    QVector<quint16> words[ReadCount];
    try {
        for (int i = 0; i < ReadCount; ++i) {
            // A waiting request (a stop, above all) goes before the rest of the cycle.
            if (requestPending())
                return PollResult::Yielded;
            words[i] = transport.readRegisters(station, reads[i].address, reads[i].count, PollReadTimeoutMs);
        }
    } catch (const ModbusError &e) {
        error = e;
        return PollResult::Failed;
    }
    PollWords poll;
    poll.position = words[0];
    poll.current = words[1].value(0);
    poll.trackingError = words[2].value(0);
    poll.alarm = words[3].value(0);
    poll.inputs = words[4].value(0);
    poll.outputs = words[5].value(0);
    m_state = decodeDeviceState(poll);
    return PollResult::Done;
}

void ModbusWorker::run()
{
    const QString portName = m_portName;
    const quint8 station = m_station;
    {
        std::lock_guard<std::mutex> lock(m_statsMutex);
        m_linkStats = LinkStats();
    }
    // Whatever was queued before this connection belongs to none.
    clearQueue();

    PortOpenError openError;
    std::shared_ptr<QIODevice> port = m_portFactory ? m_portFactory(portName, &openError) : nullptr;
    if (!port || !port->isOpen()) {
        Q_EMIT connectionError(ModbusError::portOpen(openError));
        return;
    }
    if (auto *serial = qobject_cast<QSerialPort *>(port.get()))
        serial->clear(QSerialPort::AllDirections);
    else
        port->readAll();
    msleep(SettleAfterOpenMs);
    {
        std::lock_guard<std::mutex> lock(m_requestMutex);
        m_serving.store(true);
    }
    Q_EMIT connectedSuccessfully();

    ModbusTransport transport(ModbusTransport::Pacing::SinceLastTransmission, port.get());
    transport.setTrafficSink([this](const QString &type, const QString &text) { Q_EMIT logMessage(type, text); });
    transport.setEchoRemoval(m_echoRemoval);
    bool observing = false;
    m_state = DeviceState();
    int failedCycles = 0;

    while (!isInterruptionRequested()) {
        publishStats(transport);
        followTracing(transport, observing);
        serveRequest(transport);

        QueueEntry write;
        if (takeQueuedWrite(write)) {
            transport.writeRegister(station, write.address, write.value);
            restFor(AfterQueuedWriteMs);
            continue;
        }
        if (m_pollingPaused.load()) {
            restFor(PausedIdleMs);
            continue;
        }

        ModbusError error;
        const PollResult result = pollOnce(transport, station, error);
        if (result == PollResult::Yielded)
            continue;
        if (result == PollResult::Done) {
            Q_EMIT stateUpdated(m_state);
            failedCycles = 0;
            restFor(AfterPollCycleMs);
            continue;
        }
        if (isInterruptionRequested())
            break;
        if (++failedCycles >= FailedCyclesBeforeLoss) {
            // A port that failed under us (adapter unplugged) and a drive that
            // refuses the reads are told apart from a silent drive.
            const bool toldApart =
                error.kind() == ModbusError::Kind::PortLost || error.kind() == ModbusError::Kind::Refused;
            Q_EMIT connectionError(toldApart ? error : ModbusError::noReply());
            break;
        }
        Q_EMIT logMessage(QStringLiteral("info"), QStringLiteral("Poll error: %1").arg(error.text()));
        restFor(AfterPollCycleMs);
    }
    endServing(ModbusError(QStringLiteral("Connection lost")));
    publishStats(transport);
    port->close();
}
