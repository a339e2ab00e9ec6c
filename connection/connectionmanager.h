#pragma once

#include "deviceinfo.h"

#include "modbustransport.h"
#include "serialport.h"

#include <QIODevice>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>

class ModbusWorker;

// Turns a port name and a station into a running connection, and scans the bus.
//
// Identification and scanning use the manager's own port on the GUI thread;
// the worker thread gets the port only after the manager has closed it. The
// outcome of a connection comes from the worker's signals, relayed here.
class ConnectionManager : public QObject
{
    Q_OBJECT

public:
    using ProgressCallback = std::function<void(int station)>;
    using CancelCallback = std::function<bool()>;

    static constexpr int IdentifyTimeoutMs = 300;
    static constexpr int ScanTimeoutMs = 100;
    static constexpr int FirstScanStation = 1;
    static constexpr int LastScanStation = 16;
    static constexpr quint16 HighestFamilyCode = 6;

    // The worker is not owned; it must outlive the manager's use of it.
    explicit ConnectionManager(ModbusWorker *worker, QObject *parent = nullptr);

    // Identifies the drive, then starts the worker; the outcome arrives as
    // connected() or connectionError(): PortOpen, NoReply, Refused, NotRecognised
    // (strict refuses drives outside the catalogue), then the worker's own.
    void connectToDevice(const QString &portName, quint8 station, bool strict);
    void disconnectDevice();
    // Connects again to the drive of the last connection, on portName (where
    // its adapter is now). A drive that identifies otherwise is not connected:
    // connectionError() of Kind::DriveDiffers, with what differs in differences().
    void resumeDevice(const QString &portName, quint8 station, bool strict);
    // Since the last resumeDevice(): the identity found and where it differs.
    DeviceInfo foundInfo() const { return m_found; }
    QStringList differences() const { return identityDifferences(m_info, m_found); }

    // Probes stations 1 to 16 and emits deviceFound() for each that answers.
    // False when the port cannot be opened or a connection holds it.
    bool scanBus(const QString &portName, const ProgressCallback &progress = {},
                 const CancelCallback &cancel = {});

    bool isConnected() const { return m_state == State::Connected; }
    // Why the last scan or connection could not open its port.
    PortOpenError lastOpenError() const { return m_openError; }
    // The adapter of the last scanned or connected port echoes what it sends;
    // its echoes are taken out of what it receives.
    bool echoRemoval() const { return m_echoRemoval; }
    // Every exchange of scans and identification, decoded; none is built while unset.
    void setExchangeObserver(ModbusTransport::ExchangeObserver observer)
    {
        m_transport.setExchangeObserver(std::move(observer));
    }
    DeviceInfo deviceInfo() const { return m_info; }

Q_SIGNALS:
    void connected(DeviceInfo info);
    void disconnected(QString reason);
    void connectionError(ModbusError error);
    void deviceFound(ScanResult result);

public Q_SLOTS:
    void onWorkerConnected();
    void onWorkerError(const ModbusError &error);

private:
    enum class State { Disconnected, Starting, Connected };

    // The identification registers of one station: logic version, family code,
    // size, raw lead, stroke; and the motor direction word.
    struct IdentWords
    {
        QVector<quint16> block;
        QVector<quint16> direction;

        bool complete() const { return block.size() >= 5 && !direction.isEmpty(); }
        quint16 logicVersion() const { return block.at(0); }
        quint16 familyCode() const { return block.at(1); }
        QVector<quint16> ident() const { return block.mid(1, 4); }
    };

    // The only code that touches the manager's port.
    bool openPort(const QString &portName);
    void closePort();
    IdentWords readIdentWords(quint8 station, int timeoutMs);         // throws ModbusError
    QString readVersionText(quint8 station, quint16 address, int timeoutMs);  // empty on failure

    DeviceInfo identify(quint8 station, bool strict);                 // throws ModbusError
    ScanResult probe(quint8 station);                                 // throws ModbusError
    void takePortFromWorker();
    // Identifies the drive on portName and, when accept() takes it, starts the worker.
    void startConnection(const QString &portName, quint8 station, bool strict,
                         const std::function<bool(const DeviceInfo &)> &accept);

    ModbusWorker *m_worker;
    std::unique_ptr<QIODevice> m_port;
    ModbusTransport m_transport;
    PortOpenError m_openError;
    bool m_echoRemoval = false;
    State m_state = State::Disconnected;
    DeviceInfo m_info;
    DeviceInfo m_found;
};
