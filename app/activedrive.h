#pragma once

#include "adapterlocator.h"
#include "productidentity.h"
#include "registerport.h"
#include "stopdelivery.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class ConnectionManager;
class QJsonObject;
class QTimer;
class EventLog;
class ModbusWorker;
struct DeviceInfo;
struct DeviceState;

// The drive the window works with: the station picked on the scan list, the
// connected drive's identity, the worker that owns the link and its nested
// polling pause, and what the drive holds that is not yet saved to its ROM.
// It is the one place that state lives: the pages read it, ask it for changes,
// and hear from it when a drive connected, went away, sent a state or was
// described anew. It also remembers whether motion may still be running, and
// when a connection ends while it may, delivers the stop on a fresh port before
// anyone is told that the drive went away.
class ActiveDrive : public QObject
{
    Q_OBJECT

public:
    explicit ActiveDrive(QObject *parent);

    ModbusWorker *worker() const { return m_worker; }
    ConnectionManager *connections() const { return m_connections; }
    // The record of who changed what; it records the connection's own events
    // (connect, disconnect, link lost, alarms seen by polling), the pages the rest.
    EventLog *events() const { return m_events; }
    bool workerRunning() const;

    bool isConnected() const { return m_connected; }
    // The station picked on the scan list, then the connected one; 0 for none.
    quint8 station() const { return m_station; }
    void selectStation(quint8 station) { m_station = station; }
    const ProductIdentity &product() const { return m_product; }
    // The connected drive's model code; "---" while none is connected.
    QString model() const { return m_model; }
    // A drive the catalogue knows is connected: only the drive describes itself then.
    bool recognised() const;

    // While no recognised drive is connected, the engineering form describes
    // the product; these are ignored while one is.
    void describeFamily(const QString &family, int size);
    void describeStroke(int stroke);
    void describeLead(double lead);

    // Polling pauses nest: a handler's pause holds over the pauses and resumes
    // of the operations it calls.
    void pausePolling(bool paused);
    // Polling stays paused while one lives, whichever way its scope is left.
    class PollingPause
    {
    public:
        explicit PollingPause(ActiveDrive *drive) : m_drive(drive) { m_drive->pausePolling(true); }
        ~PollingPause() { m_drive->pausePolling(false); }
        PollingPause(const PollingPause &) = delete;
        PollingPause &operator=(const PollingPause &) = delete;

    private:
        ActiveDrive *m_drive;
    };

    // The registers of the drive at station(), through the worker's blocking
    // requests: for the GUI thread, and only while the worker serves.
    WorkerRegisterPort registers() const { return WorkerRegisterPort(m_worker, m_station); }

    // Engineer mode matches drives loosely and lets unrecognised ones be picked.
    bool engineerMode() const { return m_engineerMode; }
    void setEngineerMode(bool on);

    // Values written to the drive and not yet saved to its ROM.
    bool romChangesPending() const { return m_romChangesPending; }
    void setRomChangesPending(bool pending);

    // A line for the engineering log.
    void log(const QString &kind, const QString &text) { emit logged(kind, text); }

    // Ends the connection without asking anything; also ends reconnecting.
    void disconnectDrive();

    // With reconnecting on, a lost link (after its stop is delivered) is tried
    // again with growing pauses for up to limitSeconds, and the drive stays
    // connected for the pages meanwhile: nothing of what they show is lost,
    // nothing reaches the drive. It resumes only when the drive identifies as
    // before; otherwise, or when the time is up, the connection ends.
    void setReconnect(bool on, int limitSeconds);
    bool reconnecting() const { return m_reconnecting; }
    int reconnectTries() const { return m_reconnectTries; }
    qint64 sinceLossMs() const { return m_reconnecting ? m_sinceLoss.elapsed() : 0; }

    // Motion commanded since the last confirmed stop: a jog, a nudge or homing
    // (manual motion, ended by the manual stop), homing or a move to position 1
    // or 2 (by the inputs, ended by the stop input).
    enum class Motion { Manual = 1, Inputs = 2 };
    void noteMotionCommanded(Motion motion);
    void noteStopConfirmed(Motion motion);
    bool motionMayRun() const { return m_motionMayRun != 0; }
    // The stop on a freshly opened port, tried for about 3 s, for use once the
    // worker no longer holds the port. A confirmed stop ends every motion.
    StopDelivery::Outcome deliverStop();

signals:
    // The identity is set before this is emitted.
    void connected(const DeviceInfo &info);
    // The connection ended or could not be made; `error` says why, of
    // Kind::None when the operator (or the window) ended it.
    void disconnected(const ModbusError &error);
    // Live states, only while connected.
    void stateUpdated(const DeviceState &state);
    // An unrecognised drive's lead as the engineering form now describes it.
    void leadDescribed(double lead);
    void engineerModeChanged(bool on);
    void romChangesPendingChanged(bool pending);
    void logged(const QString &kind, const QString &text);
    // A connection ended while motion may run, and the stop delivered on a
    // fresh port was not confirmed; emitted before disconnected().
    void stopUndelivered(const QString &error);
    // Reconnecting began or ended (resumed, given up or ended by the operator);
    // reconnectTried() with each try.
    void reconnectingChanged(bool on);
    void reconnectTried();

private:
    void onConnected(const DeviceInfo &info);
    void onEnded(const ModbusError &error);
    // The state of a connection that ended, cleared; the pages are told.
    void endConnection(const ModbusError &error);
    // The event log's fields for a connection that was lost.
    static QJsonObject lossFields(const ModbusError &error);

    // activedrivereconnect.cpp
    void beginReconnect(const ModbusError &error);
    // A try failed with `error`: the next one, or the end of reconnecting.
    void onTryFailed(const ModbusError &error);
    void retryConnection();
    void resumeConnection(const DeviceInfo &info);
    void giveUpReconnect(const ModbusError &error);
    void stopReconnecting();

    void noteAlarm(qint32 alarmCode);

    ModbusWorker *m_worker;
    ConnectionManager *m_connections;
    EventLog *m_events;
    qint32 m_alarmCode = 0;
    bool m_connected = false;
    quint8 m_station = 0;
    ProductIdentity m_product;
    QString m_model = QStringLiteral("---");
    int m_pollingPauseDepth = 0;
    bool m_engineerMode = false;
    bool m_romChangesPending = false;
    int m_motionMayRun = 0;  // Motion bits
    quint8 m_motionStation = 0;

    bool m_reconnectOn = false;
    int m_reconnectLimitMs = 60000;
    bool m_reconnecting = false;
    int m_reconnectTries = 0;
    ModbusError m_lossError;
    QElapsedTimer m_sinceLoss;
    QTimer *m_retryTimer;
    AdapterIdentity m_adapter;
};
