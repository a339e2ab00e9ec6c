// Reconnecting after a lost link: tries with growing pauses, the drive
// identified again before polling resumes, a time limit.

#include "activedrive.h"

#include "actuatorcatalogue.h"
#include "connectionmanager.h"
#include "eventlog.h"
#include "modbusworker.h"

#include <QTimer>

#include <algorithm>

namespace {
// The pause before the first try, doubled after each failed one up to the longest.
constexpr int FirstRetryPauseMs = 250;
constexpr int LongestRetryPauseMs = 4000;
constexpr int MaxDoublings = 4;
}  // namespace

void ActiveDrive::setReconnect(bool on, int limitSeconds)
{
    m_reconnectOn = on;
    m_reconnectLimitMs = limitSeconds * 1000;
}

void ActiveDrive::beginReconnect(const ModbusError &error)
{
    m_reconnecting = true;
    m_lossError = error;
    m_reconnectTries = 0;
    m_sinceLoss.start();
    emit reconnectingChanged(true);
    m_retryTimer->start(std::min(FirstRetryPauseMs, m_reconnectLimitMs));
}

void ActiveDrive::onTryFailed(const ModbusError &error)
{
    if (!error.failed()) {
        // The operator ended it: a plain disconnect, no box.
        stopReconnecting();
        m_events->record(QStringLiteral("disconnect"));
        endConnection(ModbusError());
        return;
    }
    if (error.kind() == ModbusError::Kind::DriveDiffers) {
        giveUpReconnect(error);
        return;
    }
    const qint64 left = m_reconnectLimitMs - m_sinceLoss.elapsed();
    if (left <= 0) {
        giveUpReconnect(m_lossError);
        return;
    }
    const int pause = std::min(LongestRetryPauseMs,
                               FirstRetryPauseMs << std::min(m_reconnectTries, MaxDoublings));
    m_retryTimer->start(int(std::min<qint64>(pause, left)));
}

void ActiveDrive::retryConnection()
{
    if (m_sinceLoss.elapsed() >= m_reconnectLimitMs) {
        giveUpReconnect(m_lossError);
        return;
    }
    ++m_reconnectTries;
    emit reconnectTried();
    // A USB adapter may come back under another name; a vanished one is tried where it was.
    QString port = AdapterLocator::locate(m_adapter);
    if (port.isEmpty())
        port = m_adapter.portName;
    // Loosely: a drive the catalogue does not know is then told apart by its identity.
    m_connections->resumeDevice(port, m_station, false);
}

void ActiveDrive::resumeConnection(const DeviceInfo &info)
{
    stopReconnecting();
    m_adapter = AdapterLocator::identify(m_worker->portName());
    m_events->setDrive({m_worker->portName(), m_station, info.model, info.fwVersion, info.hwVersion,
                        ActuatorCatalogue::logicVersionText(info.logicVersion)});
    m_events->record(QStringLiteral("reconnected"), {{QStringLiteral("tries"), m_reconnectTries},
                                                      {QStringLiteral("afterMs"), m_sinceLoss.elapsed()}});
}

void ActiveDrive::giveUpReconnect(const ModbusError &error)
{
    stopReconnecting();
    QJsonObject fields = lossFields(error);
    fields.insert(QStringLiteral("tries"), m_reconnectTries);
    if (error.kind() == ModbusError::Kind::DriveDiffers)
        fields.insert(QStringLiteral("differs"), m_connections->differences().join(QLatin1Char(',')));
    m_events->record(QStringLiteral("reconnect given up"), fields);
    endConnection(error);
}

void ActiveDrive::stopReconnecting()
{
    m_retryTimer->stop();
    m_reconnecting = false;
    emit reconnectingChanged(false);
}
