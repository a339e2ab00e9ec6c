#include "connectionmanager.h"

#include "actuatorcatalogue.h"
#include "modbusworker.h"
#include "registers.h"
#include "serialport.h"

#include <QCoreApplication>
#include <QEvent>
#include <QIODevice>
#include <QThread>

namespace {
constexpr int SettleAfterOpenMs = 50;
constexpr int IdentBlockWords = 5;
constexpr int VersionWords = 2;
constexpr int HardwareVersionChars = 2;
}  // namespace

ConnectionManager::ConnectionManager(ModbusWorker *worker, QObject *parent)
    : QObject(parent),
      m_worker(worker),
      m_transport(ModbusTransport::Pacing::FixedSleep)
{
    Q_ASSERT(worker);
    registerConnectionMetaTypes();
    connect(m_worker, &ModbusWorker::connectedSuccessfully, this, &ConnectionManager::onWorkerConnected);
    connect(m_worker, &ModbusWorker::connectionError, this, &ConnectionManager::onWorkerError);
}

bool ConnectionManager::openPort(const QString &portName)
{
    m_openError = PortOpenError();
    m_echoRemoval = false;
    m_port = openDrivePort(portName, &m_openError);
    m_transport.setDevice(m_port.get());
    if (!m_port)
        return false;
    QThread::msleep(SettleAfterOpenMs);
    return true;
}

void ConnectionManager::closePort()
{
    // What the identification reads found out about the adapter, for the worker.
    m_echoRemoval = m_echoRemoval || m_transport.echoRemoval();
    m_transport.setDevice(nullptr);
    m_port.reset();
}

ConnectionManager::IdentWords ConnectionManager::readIdentWords(quint8 station, int timeoutMs)
{
    IdentWords words;
    words.block = m_transport.readRegisters(station, Reg::LogicVersion, IdentBlockWords, timeoutMs);
    words.direction = m_transport.readRegisters(station, Reg::MotorDirection, 1, timeoutMs);
    return words;
}

QString ConnectionManager::readVersionText(quint8 station, quint16 address, int timeoutMs)
{
    try {
        return ActuatorCatalogue::registerText(m_transport.readRegisters(station, address, VersionWords, timeoutMs));
    } catch (const ModbusError &) {
        return {};
    }
}

DeviceInfo ConnectionManager::identify(quint8 station, bool strict)
{
    const IdentWords words = readIdentWords(station, IdentifyTimeoutMs);
    if (!words.complete())
        throw ModbusError(QStringLiteral("Invalid device response length"));
    if (strict && words.familyCode() > HighestFamilyCode)
        throw ModbusError(QStringLiteral("Unknown device family"), ModbusError::Kind::NotRecognised);

    DeviceInfo info;
    info.logicVersion = words.logicVersion();
    info.fwVersion = readVersionText(station, Reg::FirmwareVersion, IdentifyTimeoutMs);
    info.hwVersion = readVersionText(station, Reg::HardwareVersion, IdentifyTimeoutMs).left(HardwareVersionChars);

    const QVector<quint16> ident = words.ident();
    info.lead = ActuatorCatalogue::leadFromRaw(ident.at(2));
    info.stroke = ident.at(3);
    info.model = ActuatorCatalogue::buildModelCode(ident, words.direction);
    if (strict && info.model.isEmpty())
        throw ModbusError(QStringLiteral("Device spec not recognized"), ModbusError::Kind::NotRecognised);
    if (const ActuatorFamily *family = ActuatorCatalogue::findFamilyByCode(words.familyCode()))
        info.family = family->name;
    info.size = ident.at(1);
    return info;
}

void ConnectionManager::takePortFromWorker()
{
    // A worker asked to stop may still hold the port for its last transaction,
    // and start() on a thread that has not yet ended would be ignored.
    if (m_worker->isRunning()) {
        m_worker->stop();
        m_worker->wait();
    }
    m_state = State::Disconnected;
    // Signals the finished thread queued are stale now; deliver them while
    // disconnected so they cannot pass for the outcome of the next connection.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void ConnectionManager::connectToDevice(const QString &portName, quint8 station, bool strict)
{
    startConnection(portName, station, strict, [this](const DeviceInfo &info) {
        m_info = info;
        return true;
    });
}

void ConnectionManager::resumeDevice(const QString &portName, quint8 station, bool strict)
{
    m_found = DeviceInfo();
    startConnection(portName, station, strict, [this](const DeviceInfo &info) {
        m_found = info;
        return identityDifferences(m_info, info).isEmpty();
    });
}

void ConnectionManager::startConnection(const QString &portName, quint8 station, bool strict,
                                        const std::function<bool(const DeviceInfo &)> &accept)
{
    takePortFromWorker();
    if (!openPort(portName)) {
        Q_EMIT connectionError(ModbusError::portOpen(m_openError));
        return;
    }
    DeviceInfo info;
    try {
        info = identify(station, strict);
    } catch (const ModbusError &e) {
        closePort();
        Q_EMIT connectionError(e);
        return;
    }
    closePort();
    if (!accept(info)) {
        Q_EMIT connectionError(ModbusError(QStringLiteral("not the drive connected before"),
                                           ModbusError::Kind::DriveDiffers));
        return;
    }

    m_worker->setPortName(portName);
    m_worker->setStation(station);
    m_worker->setEchoRemoval(m_echoRemoval);
    m_worker->setPollingPaused(false);
    m_state = State::Starting;
    m_worker->start();
}

void ConnectionManager::disconnectDevice()
{
    m_worker->stop();
    m_state = State::Disconnected;
    Q_EMIT disconnected(QString());
}

void ConnectionManager::onWorkerConnected()
{
    if (m_state != State::Starting)
        return;
    m_state = State::Connected;
    Q_EMIT connected(m_info);
}

void ConnectionManager::onWorkerError(const ModbusError &error)
{
    if (m_state == State::Disconnected)
        return;
    m_state = State::Disconnected;
    Q_EMIT connectionError(error);
}

ScanResult ConnectionManager::probe(quint8 station)
{
    const IdentWords words = readIdentWords(station, ScanTimeoutMs);
    if (!words.complete())
        throw ModbusError(QStringLiteral("Invalid device response length"));
    ScanResult result;
    result.station = station;
    result.logicVersion = words.logicVersion();
    result.model = ActuatorCatalogue::buildModelCode(words.ident(), words.direction);
    result.fwVersion = readVersionText(station, Reg::FirmwareVersion, ScanTimeoutMs);
    result.hwVersion = readVersionText(station, Reg::HardwareVersion, ScanTimeoutMs).left(HardwareVersionChars);
    return result;
}

bool ConnectionManager::scanBus(const QString &portName, const ProgressCallback &progress,
                                const CancelCallback &cancel)
{
    // Never take the port away from a live connection.
    if (m_state != State::Disconnected)
        return false;
    takePortFromWorker();
    if (!openPort(portName))
        return false;

    for (int station = FirstScanStation; station <= LastScanStation; ++station) {
        QCoreApplication::processEvents();
        if (cancel && cancel())
            break;
        if (progress)
            progress(station);
        try {
            Q_EMIT deviceFound(probe(static_cast<quint8>(station)));
        } catch (const ModbusError &) {
            // No drive at this station, or one that answers malformed.
        }
    }
    closePort();
    return true;
}
