#pragma once

#include "devicestate.h"
#include "exchangerecord.h"
#include "linkstats.h"
#include "modbuserror.h"

#include <QList>
#include <QString>
#include <QThread>
#include <QVector>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class QIODevice;
class ModbusTransport;
struct PortOpenError;

// The thread that owns the serial port while a station is connected.
//
// Each pass of its loop serves, in this priority: the one synchronous request
// a GUI-thread caller is blocked on, then one queued fire-and-forget write,
// then (unless paused) one polling cycle of six reads that becomes a DeviceState.
// A posted request cuts a polling cycle short and ends the worker's pauses, so
// it waits for one exchange at most (and the quiet line after a timeout).
// A queue never outlives its connection: it is emptied when the thread starts
// and whenever it ends. A request still posted when the worker gives up is
// answered at once as failed ("Connection lost"), never left to wait.
// Its connectionError() carries the kind: PortOpen, NoReply, Refused or PortLost.
class ModbusWorker : public QThread
{
    Q_OBJECT

public:
    // Null (or a closed device) when the port cannot be opened, with the reason in *error.
    using PortFactory = std::function<std::shared_ptr<QIODevice>(const QString &portName, PortOpenError *error)>;

    static constexpr int SyncReadTransactionMs = 300;
    static constexpr int PollReadTimeoutMs = 100;
    static constexpr int SyncWriteWaitMs = 700;
    static constexpr int SyncWriteMultiWaitMs = 1000;
    static constexpr int SyncReadExtraWaitMs = 500;
    static constexpr int FailedCyclesBeforeLoss = 3;

    explicit ModbusWorker(QObject *parent = nullptr);
    ~ModbusWorker() override;

    // Read at thread start only; a change takes effect on the next connection.
    void setPortName(const QString &name) { m_portName = name; }
    QString portName() const { return m_portName; }
    void setStation(quint8 station) { m_station = station; }
    quint8 station() const { return m_station; }

    // The port's adapter echoes every request (found while identifying); read at thread start.
    void setEchoRemoval(bool on) { m_echoRemoval = on; }
    bool echoRemoval() const { return m_echoRemoval; }

    // While on, every exchange is emitted as exchangeRecorded(); while off no
    // record is built. Takes effect before the next exchange.
    void setExchangeTracing(bool on) { m_tracing.store(on); }

    // Lets tests hand the worker a scripted byte stream, or a port that fails to open.
    void setPortFactory(PortFactory factory) { m_portFactory = std::move(factory); }

    // Blocking calls for the GUI thread; empty or false on any failure. A read
    // runs with a 300 ms transaction timeout, or the caller's when shorter.
    QVector<quint16> syncRead(quint8 slave, quint16 address, quint16 count, int timeoutMs = 300);
    bool syncWrite(quint8 slave, quint16 address, quint16 value);
    bool syncWriteMulti(quint8 slave, quint16 address, const QVector<quint16> &values);
    // A stop: drops every queued motion write in the same step as it posts this
    // one, so no motion queued before it reaches the wire after it. A queued
    // write already on the wire finishes first. True when the drive echoed it.
    bool syncStopWrite(quint8 slave, quint16 address, quint16 value);
    // Why the last synchronous request failed (no reply, a refusal, ...); Kind::None
    // after a success. For the thread that posts the requests.
    const ModbusError &lastSyncError() const { return m_lastSyncError; }

    void setPollingPaused(bool paused);
    bool isPollingPaused() const { return m_pollingPaused.load(); }
    // Sent to the worker's station between polls; ignored while the worker is
    // not serving (before its port opened, after it gave up). A motion write is
    // dropped by every stop that finds it still queued; a settling write
    // (lowering an input) is not, since it starts nothing.
    enum class QueuedWrite { Motion, Settling };
    void enqueueWrite(quint16 address, quint16 value, QueuedWrite kind = QueuedWrite::Motion);
    // Drops every motion write still queued.
    void dropQueuedMotion();
    // The link counters of the current (or last) connection, reset when the thread starts.
    LinkStats linkStats() const;

    // Requests the end of the loop, drops queued writes and releases a waiting
    // caller; does not wait for the thread.
    void stop();
    // Between the port's opening and the end of the loop: a posted request will
    // be served. False once the worker gave up, even while its thread still ends.
    bool isServing() const { return m_serving.load(); }

Q_SIGNALS:
    void connectedSuccessfully();
    void connectionError(ModbusError error);
    void stateUpdated(DeviceState state);
    void logMessage(QString type, QString msg);
    void exchangeRecorded(ExchangeRecord record);

protected:
    void run() override;

private:
    enum class RequestKind { None, Read, Write, WriteMulti };
    struct RequestSlot
    {
        RequestKind kind = RequestKind::None;
        quint8 slave = 1;
        quint16 address = 0;
        quint16 countOrValue = 0;
        int readTimeoutMs = 0;
        QVector<quint16> values;
        QVector<quint16> result;
        bool success = false;
        ModbusError error;
        bool pending = false;
        bool done = false;
    };
    struct QueueEntry
    {
        quint16 address;
        quint16 value;
        QueuedWrite kind;
    };

    // Posts the slot filled by `fill` and waits; returns the served slot.
    RequestSlot postAndWait(const std::function<void(RequestSlot &)> &fill, int waitMs);
    bool postWrite(quint8 slave, quint16 address, quint16 value, bool dropMotionFirst);
    bool tryLockRequest(int waitMs);
    void serveRequest(ModbusTransport &transport);
    bool takeQueuedWrite(QueueEntry &write);
    bool requestPending();
    // Sleeps up to `ms`, less when a request is posted or the thread is asked to end.
    void restFor(int ms);
    enum class PollResult { Done, Failed, Yielded };
    PollResult pollOnce(ModbusTransport &transport, quint8 station, ModbusError &error);
    void publishStats(const ModbusTransport &transport);
    void followTracing(ModbusTransport &transport, bool &observing);
    void clearQueue();
    // Stops taking requests; one still posted is answered as failed.
    void endServing(const ModbusError &reason);

    QString m_portName;
    quint8 m_station = 1;
    PortFactory m_portFactory;

    // Standard locks rather than Qt's so that ThreadSanitizer sees them.
    std::mutex m_queueMutex;
    QList<QueueEntry> m_queue;

    std::mutex m_requestMutex;
    std::condition_variable m_requestDone;
    std::condition_variable m_requestPosted;
    RequestSlot m_slot;
    ModbusError m_lastSyncError;

    mutable std::mutex m_statsMutex;
    LinkStats m_linkStats;

    std::atomic<bool> m_pollingPaused{false};
    std::atomic<bool> m_tracing{false};
    std::atomic<bool> m_serving{false};  // written under m_requestMutex
    bool m_echoRemoval = false;
    DeviceState m_state;
};
