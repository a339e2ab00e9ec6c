#include "activedrive.h"

#include "actuatorcatalogue.h"
#include "connectionmanager.h"
#include "devicestate.h"
#include "eventlog.h"
#include "modbusworker.h"

#include <QJsonObject>
#include <QTimer>

namespace {

// The part of a model code after its last "-": the option ("BC", "BA") or,
// for families without one in the code, the stroke.
QString directionText(const QString &model)
{
    return model.section(QLatin1Char('-'), -1);
}

// A worker asked to stop finishes its exchange on the wire first (a write waits 200 ms at most).
constexpr int WorkerEndWaitMs = 2000;

bool isUnrecognisedModel(const QString &model)
{
    return model.isEmpty() || model == QLatin1String("---") || model.startsWith(QStringLiteral("⚠"));
}

}  // namespace

ActiveDrive::ActiveDrive(QObject *parent)
    : QObject(parent),
      m_worker(new ModbusWorker(this)),
      m_connections(new ConnectionManager(m_worker, this)),
      m_events(new EventLog(this)),
      m_retryTimer(new QTimer(this))
{
    m_retryTimer->setSingleShot(true);
    connect(m_retryTimer, &QTimer::timeout, this, &ActiveDrive::retryConnection);
    connect(m_connections, &ConnectionManager::connected, this, &ActiveDrive::onConnected);
    connect(m_connections, &ConnectionManager::disconnected, this, [this] { onEnded(ModbusError()); });
    connect(m_connections, &ConnectionManager::connectionError, this, &ActiveDrive::onEnded);
    connect(m_worker, &ModbusWorker::stateUpdated, this, [this](const DeviceState &state) {
        // A state polled just before a disconnect may arrive after it.
        if (!m_connected)
            return;
        noteAlarm(state.alarmCode);
        emit stateUpdated(state);
    });
}

bool ActiveDrive::workerRunning() const
{
    return m_worker->isRunning();
}

bool ActiveDrive::recognised() const
{
    return m_connected && !isUnrecognisedModel(m_model);
}

void ActiveDrive::describeFamily(const QString &family, int size)
{
    if (recognised())
        return;
    m_product.family = family;
    m_product.size = size;
}

void ActiveDrive::describeStroke(int stroke)
{
    if (!recognised())
        m_product.stroke = stroke;
}

void ActiveDrive::describeLead(double lead)
{
    if (!recognised())
        emit leadDescribed(lead);
}

void ActiveDrive::pausePolling(bool paused)
{
    if (paused) {
        if (m_pollingPauseDepth++ == 0 && workerRunning())
            m_worker->setPollingPaused(true);
        return;
    }
    if (m_pollingPauseDepth == 0)
        return;
    // Cleared even when the thread has ended meanwhile: a pause left behind
    // would keep the next connection from ever polling.
    if (--m_pollingPauseDepth == 0)
        m_worker->setPollingPaused(false);
}

void ActiveDrive::setEngineerMode(bool on)
{
    m_engineerMode = on;
    emit engineerModeChanged(on);
}

void ActiveDrive::setRomChangesPending(bool pending)
{
    m_romChangesPending = pending;
    emit romChangesPendingChanged(pending);
}

void ActiveDrive::disconnectDrive()
{
    m_connections->disconnectDevice();
}

void ActiveDrive::noteMotionCommanded(Motion motion)
{
    m_motionMayRun |= int(motion);
    m_motionStation = m_station;
}

void ActiveDrive::noteStopConfirmed(Motion motion)
{
    m_motionMayRun &= ~int(motion);
}

StopDelivery::Outcome ActiveDrive::deliverStop()
{
    // Only one owner of the port at a time: the worker's thread may still be closing it.
    if (!m_worker->wait(WorkerEndWaitMs)) {
        StopDelivery::Outcome busy;
        busy.error = QStringLiteral("Port busy");
        return busy;
    }
    const StopDelivery::Outcome outcome = StopDelivery::deliver(m_worker->portName(), m_motionStation);
    if (outcome.confirmed)
        m_motionMayRun = 0;
    return outcome;
}

void ActiveDrive::onConnected(const DeviceInfo &info)
{
    if (m_reconnecting) {
        resumeConnection(info);
        return;
    }
    m_adapter = AdapterLocator::identify(m_worker->portName());
    m_connected = true;
    m_model = info.model;
    m_product.lead = info.lead;
    m_product.stroke = info.stroke;
    m_product.family = info.family;
    m_product.size = info.size;
    m_product.logicVersion = info.logicVersion;
    m_product.firmware = info.fwVersion;
    m_product.hardware = info.hwVersion;
    m_product.direction = directionText(info.model);
    m_events->setDrive({m_worker->portName(), m_station, info.model, info.fwVersion, info.hwVersion,
                        ActuatorCatalogue::logicVersionText(info.logicVersion)});
    m_alarmCode = 0;
    m_events->record(QStringLiteral("connect"));
    emit connected(info);
}

void ActiveDrive::noteAlarm(qint32 alarmCode)
{
    if (alarmCode == m_alarmCode)
        return;
    if (m_alarmCode != 0)
        m_events->record(QStringLiteral("alarm cleared"), {{QStringLiteral("code"), m_alarmCode}});
    if (alarmCode != 0)
        m_events->record(QStringLiteral("alarm raised"), {{QStringLiteral("code"), alarmCode}});
    m_alarmCode = alarmCode;
}

// The event log's reason for a lost connection: a stable name for its kind,
// and a refusal's exception code.
QJsonObject ActiveDrive::lossFields(const ModbusError &error)
{
    switch (error.kind()) {
    case ModbusError::Kind::NoReply:
        return {{QStringLiteral("reason"), QStringLiteral("ERR_TIMEOUT")}};
    case ModbusError::Kind::PortLost:
        return {{QStringLiteral("reason"), QStringLiteral("ERR_PORT_LOST")}};
    case ModbusError::Kind::Refused:
        return {{QStringLiteral("reason"), QStringLiteral("ERR_REFUSED")},
                {QStringLiteral("exceptionCode"), error.exceptionCode()}};
    case ModbusError::Kind::DriveDiffers:
        return {{QStringLiteral("reason"), QStringLiteral("ERR_DRIVE_DIFFERS")}};
    case ModbusError::Kind::None:
    case ModbusError::Kind::PortOpen:
    case ModbusError::Kind::NotRecognised:
    case ModbusError::Kind::Other:
        break;
    }
    return {{QStringLiteral("reason"), error.text()}};
}

void ActiveDrive::onEnded(const ModbusError &error)
{
    if (m_reconnecting) {
        onTryFailed(error);
        return;
    }
    // A connection that could not be made leaves no record; one that ended does.
    if (m_connected)
        m_events->record(error.failed() ? QStringLiteral("link lost") : QStringLiteral("disconnect"),
                         error.failed() ? lossFields(error) : QJsonObject());
    // The stop goes out before any page hears of the end, so no box it shows
    // stands between the loss and the stop.
    if (m_connected && motionMayRun()) {
        const StopDelivery::Outcome outcome = deliverStop();
        if (!outcome.confirmed)
            emit stopUndelivered(outcome.error);
    }
    if (m_connected && error.failed() && m_reconnectOn) {
        beginReconnect(error);
        return;
    }
    endConnection(error);
}

void ActiveDrive::endConnection(const ModbusError &error)
{
    m_connected = false;
    m_model = QStringLiteral("---");
    m_product.family.clear();
    m_product.size = 0;
    m_station = 0;
    // A lost drive cannot be asked about its ROM.
    setRomChangesPending(false);
    emit disconnected(error);
}
