#include "connectionmanager.h"
#include "modbusframe.h"
#include "modbusworker.h"
#include "registers.h"
#include "simbus.h"

#include <QtTest>

#include <memory>

namespace {

// Generous: the machine is shared, only the order of events is asserted.
constexpr int EventWaitMs = 10000;
const QString MissingPort = QStringLiteral("/dev/vexa-no-such-port");

SimDriveConfig drive(quint8 station)
{
    SimDriveConfig c;
    c.station = station;
    c.familyCode = 0;
    c.size = 16;
    c.rawLead = 1;
    c.stroke = 50;
    c.motorDirection = 0;
    c.logicVersion = 0x4103;
    c.firmware = QStringLiteral("V1.2");
    c.hardware = QStringLiteral("H2A1");
    return c;
}

// Destroyed in reverse order: the manager, then the worker (which waits for
// its thread), then the bus the worker was talking to.
struct Rig
{
    SimBus bus;
    ModbusWorker worker;
    ConnectionManager manager{&worker};
    int states = 0;
    int connections = 0;
    QStringList errors;

    // Empty once the next connection is confirmed, else what went wrong.
    QString awaitConnection()
    {
        const int target = connections + 1;
        const bool settled =
            QTest::qWaitFor([&] { return connections >= target || !errors.isEmpty(); }, EventWaitMs);
        if (!errors.isEmpty())
            return errors.join(QLatin1Char(','));
        return settled ? QString() : QStringLiteral("no connection confirmed");
    }
};

struct Read
{
    quint8 station;
    quint16 address;
    quint16 count;
};

QVector<Read> readsOf(const QVector<SimRequest> &requests)
{
    QVector<Read> reads;
    for (const SimRequest &r : requests) {
        if (r.function == ModbusFrame::ReadHoldingRegisters)
            reads.append({r.station, r.address, r.count});
    }
    return reads;
}

QString describe(const QVector<Read> &reads)
{
    QStringList parts;
    for (const Read &r : reads)
        parts << QStringLiteral("%1:%2x%3").arg(r.station).arg(r.address, 4, 16, QLatin1Char('0')).arg(r.count);
    return parts.join(QLatin1Char(' '));
}

}  // namespace

class TestConnectionManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void unopenablePortReportsCannotOpen();
    void disconnectWhileIdleStillReportsDisconnected();
    void scanOfUnopenablePortReturnsFalseWithoutResults();

    void recognisedDriveConnectsAndWorkerPolls();
    void silentStationTimesOutWithoutStartingWorker();
    void unknownFamilyRefusedWhenStrictAcceptedOtherwise();
    void unlistedStrokeRefusedWhenStrict();
    void unknownDirectionRefusedWhenStrict();
    void unansweredVersionReadsStillConnect();
    void lostDriveRelayedAsTimeoutError();
    void disconnectStopsWorkerAndSilencesItsLateSignals();
    void reconnectRightAfterDisconnectGetsThePort();
    void staleConfirmationDoesNotPassForTheNextConnection();
    void connectingAnotherStationReplacesTheConnection();

    void scanFindsDrivesInStationOrder();
    void scanStopsAtCancelAndReportsProgressFirst();
    void scanRefusedWhileConnected();

private:
    std::unique_ptr<Rig> startRig(const QVector<SimDriveConfig> &drives);
};

void TestConnectionManager::initTestCase()
{
    registerConnectionMetaTypes();
    registerLinkMetaTypes();
}

std::unique_ptr<Rig> TestConnectionManager::startRig(const QVector<SimDriveConfig> &drives)
{
    auto rig = std::make_unique<Rig>();
    for (const SimDriveConfig &c : drives)
        rig->bus.addDrive(c);
    if (!rig->bus.start())
        return nullptr;
    Rig *r = rig.get();
    connect(&rig->worker, &ModbusWorker::stateUpdated, this, [r] { ++r->states; });
    connect(&rig->manager, &ConnectionManager::connected, this, [r] { ++r->connections; });
    connect(&rig->manager, &ConnectionManager::connectionError, this, [r](const QString &e) { r->errors << e; });
    return rig;
}

#define AWAIT_CONNECTION(rig)                                               \
    do {                                                                    \
        const QString failure = rig->awaitConnection();                     \
        QVERIFY2(failure.isEmpty(), qPrintable(failure));                   \
    } while (false)

#define START_RIG(rig, ...)                                                 \
    auto rig = startRig(__VA_ARGS__);                                       \
    if (!rig)                                                               \
        QSKIP("The simulated bus could not open a pseudo-terminal here")

void TestConnectionManager::unopenablePortReportsCannotOpen()
{
    ModbusWorker worker;
    ConnectionManager manager(&worker);
    QSignalSpy errors(&manager, &ConnectionManager::connectionError);
    QSignalSpy connected(&manager, &ConnectionManager::connected);

    manager.connectToDevice(MissingPort, 1, true);

    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Cannot open COM port"));
    QVERIFY(!worker.isRunning());
    QVERIFY(!manager.isConnected());
    QCoreApplication::processEvents();
    QCOMPARE(connected.count(), 0);
}

void TestConnectionManager::disconnectWhileIdleStillReportsDisconnected()
{
    ModbusWorker worker;
    ConnectionManager manager(&worker);
    QSignalSpy disconnected(&manager, &ConnectionManager::disconnected);

    manager.disconnectDevice();

    QCOMPARE(disconnected.count(), 1);
    QCOMPARE(disconnected.at(0).at(0).toString(), QString());
    QVERIFY(!manager.isConnected());
}

void TestConnectionManager::scanOfUnopenablePortReturnsFalseWithoutResults()
{
    ModbusWorker worker;
    ConnectionManager manager(&worker);
    QSignalSpy found(&manager, &ConnectionManager::deviceFound);
    int progressCalls = 0;

    QVERIFY(!manager.scanBus(MissingPort, [&](int) { ++progressCalls; }, {}));

    QCOMPARE(found.count(), 0);
    QCOMPARE(progressCalls, 0);
}

void TestConnectionManager::recognisedDriveConnectsAndWorkerPolls()
{
    START_RIG(rig, {drive(3)});
    QSignalSpy connected(&rig->manager, &ConnectionManager::connected);

    rig->manager.connectToDevice(rig->bus.portPath(), 3, true);
    AWAIT_CONNECTION(rig);

    const DeviceInfo info = connected.at(0).at(0).value<DeviceInfo>();
    QCOMPARE(info.model, QStringLiteral("LXAZ-16L01-50-BC"));
    QCOMPARE(info.family, QStringLiteral("LXAZ"));
    QCOMPARE(info.size, 16);
    QCOMPARE(info.lead, 1.0);
    QCOMPARE(info.stroke, 50);
    QCOMPARE(info.logicVersion, quint16(0x4103));
    QCOMPARE(info.fwVersion, QStringLiteral("V1.2"));
    QCOMPARE(info.hwVersion, QStringLiteral("H2"));
    QVERIFY(rig->manager.isConnected());
    QCOMPARE(rig->manager.deviceInfo().model, info.model);

    QTRY_VERIFY_WITH_TIMEOUT(rig->states > 0, EventWaitMs);
    QCOMPARE(rig->worker.station(), quint8(3));
    QCOMPARE(rig->worker.portName(), rig->bus.portPath());

    // Identification first, in this order, then the worker's polling.
    const QVector<Read> reads = readsOf(rig->bus.requests());
    QVERIFY2(reads.size() > 4, qPrintable(describe(reads)));
    const QVector<Read> expected{{3, Reg::LogicVersion, 5},
                                 {3, Reg::MotorDirection, 1},
                                 {3, Reg::FirmwareVersion, 2},
                                 {3, Reg::HardwareVersion, 2}};
    for (int i = 0; i < expected.size(); ++i) {
        QVERIFY2(reads.at(i).station == expected.at(i).station && reads.at(i).address == expected.at(i).address
                     && reads.at(i).count == expected.at(i).count,
                 qPrintable(describe(reads)));
    }
    QCOMPARE(reads.at(4).address, Reg::ActualPosition);
}

void TestConnectionManager::silentStationTimesOutWithoutStartingWorker()
{
    START_RIG(rig, {drive(3)});
    QSignalSpy errors(&rig->manager, &ConnectionManager::connectionError);
    QSignalSpy connected(&rig->manager, &ConnectionManager::connected);

    rig->manager.connectToDevice(rig->bus.portPath(), 4, true);

    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Timeout"));
    QVERIFY(!rig->worker.isRunning());
    QCOMPARE(rig->manager.deviceInfo().model, QString());
    QCOMPARE(rig->manager.deviceInfo().stroke, 30);

    // Only the first identification read went out.
    const QVector<Read> reads = readsOf(rig->bus.requests());
    QCOMPARE(reads.size(), 1);
    QCOMPARE(reads.at(0).station, quint8(4));
    QCOMPARE(reads.at(0).address, Reg::LogicVersion);
    QCOMPARE(reads.at(0).count, quint16(5));

    QCoreApplication::processEvents();
    QCOMPARE(connected.count(), 0);
}

void TestConnectionManager::unknownFamilyRefusedWhenStrictAcceptedOtherwise()
{
    SimDriveConfig c = drive(2);
    c.familyCode = 7;
    START_RIG(rig, {c});
    QSignalSpy errors(&rig->manager, &ConnectionManager::connectionError);
    QSignalSpy connected(&rig->manager, &ConnectionManager::connected);

    rig->manager.connectToDevice(rig->bus.portPath(), 2, true);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Unknown device family"));
    QVERIFY(!rig->worker.isRunning());
    // Refused before the version registers were read.
    QCOMPARE(readsOf(rig->bus.requests()).size(), 2);
    rig->errors.clear();

    rig->manager.connectToDevice(rig->bus.portPath(), 2, false);
    AWAIT_CONNECTION(rig);
    const DeviceInfo info = connected.at(0).at(0).value<DeviceInfo>();
    QCOMPARE(info.model, QString());
    QCOMPARE(info.family, QString());
    QCOMPARE(info.size, 16);
    QCOMPARE(info.stroke, 50);
    QCOMPARE(info.fwVersion, QStringLiteral("V1.2"));
}

void TestConnectionManager::unlistedStrokeRefusedWhenStrict()
{
    SimDriveConfig c = drive(1);
    c.stroke = 60;
    START_RIG(rig, {c});
    QSignalSpy errors(&rig->manager, &ConnectionManager::connectionError);

    rig->manager.connectToDevice(rig->bus.portPath(), 1, true);

    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Device spec not recognized"));
    QVERIFY(!rig->worker.isRunning());
    QCOMPARE(rig->manager.deviceInfo().stroke, 30);
}

void TestConnectionManager::unknownDirectionRefusedWhenStrict()
{
    SimDriveConfig c = drive(1);
    c.motorDirection = 2;
    START_RIG(rig, {c});
    QSignalSpy errors(&rig->manager, &ConnectionManager::connectionError);

    rig->manager.connectToDevice(rig->bus.portPath(), 1, true);

    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Device spec not recognized"));
}

void TestConnectionManager::unansweredVersionReadsStillConnect()
{
    START_RIG(rig, {drive(5)});
    SimFaults faults;
    faults.silentAfterReplies = 2;  // the two identification reads, nothing after
    rig->bus.setFaults(faults);
    QSignalSpy connected(&rig->manager, &ConnectionManager::connected);

    rig->manager.connectToDevice(rig->bus.portPath(), 5, true);
    AWAIT_CONNECTION(rig);

    const DeviceInfo info = connected.at(0).at(0).value<DeviceInfo>();
    QCOMPARE(info.model, QStringLiteral("LXAZ-16L01-50-BC"));
    QCOMPARE(info.fwVersion, QString());
    QCOMPARE(info.hwVersion, QString());
    QCOMPARE(info.logicVersion, quint16(0x4103));
}

void TestConnectionManager::lostDriveRelayedAsTimeoutError()
{
    START_RIG(rig, {drive(3)});
    QSignalSpy connected(&rig->manager, &ConnectionManager::connected);
    QSignalSpy errors(&rig->manager, &ConnectionManager::connectionError);
    rig->manager.connectToDevice(rig->bus.portPath(), 3, true);
    AWAIT_CONNECTION(rig);
    QTRY_VERIFY_WITH_TIMEOUT(rig->states > 0, EventWaitMs);

    SimFaults faults;
    faults.silent = true;
    rig->bus.setFaults(faults);

    QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, EventWaitMs);
    QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("ERR_TIMEOUT"));
    QVERIFY(!rig->manager.isConnected());
    QVERIFY(rig->worker.wait(EventWaitMs));
}

void TestConnectionManager::disconnectStopsWorkerAndSilencesItsLateSignals()
{
    START_RIG(rig, {drive(3)});
    QSignalSpy connected(&rig->manager, &ConnectionManager::connected);
    QSignalSpy errors(&rig->manager, &ConnectionManager::connectionError);
    QSignalSpy disconnected(&rig->manager, &ConnectionManager::disconnected);

    // Disconnect before the worker's confirmation has been delivered.
    rig->manager.connectToDevice(rig->bus.portPath(), 3, true);
    rig->manager.disconnectDevice();

    QVERIFY(rig->worker.wait(EventWaitMs));
    QCoreApplication::processEvents();
    QCOMPARE(disconnected.count(), 1);
    QCOMPARE(connected.count(), 0);
    QCOMPARE(errors.count(), 0);
    QVERIFY(!rig->manager.isConnected());
}

void TestConnectionManager::reconnectRightAfterDisconnectGetsThePort()
{
    START_RIG(rig, {drive(3)});
    QSignalSpy connected(&rig->manager, &ConnectionManager::connected);
    rig->manager.connectToDevice(rig->bus.portPath(), 3, true);
    AWAIT_CONNECTION(rig);
    QTRY_VERIFY_WITH_TIMEOUT(rig->states > 0, EventWaitMs);

    rig->manager.disconnectDevice();
    rig->manager.connectToDevice(rig->bus.portPath(), 3, true);

    AWAIT_CONNECTION(rig);
    QCOMPARE(connected.count(), 2);
    QVERIFY(rig->manager.isConnected());
    const int before = rig->states;
    QTRY_VERIFY_WITH_TIMEOUT(rig->states > before, EventWaitMs);
}

void TestConnectionManager::staleConfirmationDoesNotPassForTheNextConnection()
{
    START_RIG(rig, {drive(3)});
    QSignalSpy connected(&rig->manager, &ConnectionManager::connected);
    QSignalSpy errors(&rig->manager, &ConnectionManager::connectionError);

    // The first worker confirms after it was told to stop; the second cannot open its port.
    rig->manager.connectToDevice(rig->bus.portPath(), 3, true);
    rig->manager.disconnectDevice();
    QVERIFY(rig->worker.wait(EventWaitMs));
    rig->worker.setPortFactory([](const QString &) { return std::unique_ptr<QIODevice>(); });
    rig->manager.connectToDevice(rig->bus.portPath(), 3, true);

    QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, EventWaitMs);
    QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("無法開啟通訊埠"));
    QVERIFY(rig->worker.wait(EventWaitMs));
    QCoreApplication::processEvents();
    QCOMPARE(connected.count(), 0);
    QVERIFY(!rig->manager.isConnected());
}

void TestConnectionManager::connectingAnotherStationReplacesTheConnection()
{
    SimDriveConfig other = drive(7);
    other.familyCode = 5;
    other.size = 32;
    other.rawLead = 15;
    other.stroke = 20;
    other.motorDirection = 1;
    START_RIG(rig, {drive(3), other});
    QSignalSpy connected(&rig->manager, &ConnectionManager::connected);
    rig->manager.connectToDevice(rig->bus.portPath(), 3, true);
    AWAIT_CONNECTION(rig);

    rig->manager.connectToDevice(rig->bus.portPath(), 7, true);
    AWAIT_CONNECTION(rig);
    QCOMPARE(connected.count(), 2);
    QCOMPARE(connected.at(1).at(0).value<DeviceInfo>().model, QStringLiteral("LXFZ-32-20"));
    QCOMPARE(connected.at(1).at(0).value<DeviceInfo>().lead, 1.5);

    rig->bus.clearRequests();
    const int before = rig->states;
    QTRY_VERIFY_WITH_TIMEOUT(rig->states > before + 1, EventWaitMs);
    for (const Read &r : readsOf(rig->bus.requests()))
        QCOMPARE(r.station, quint8(7));
}

void TestConnectionManager::scanFindsDrivesInStationOrder()
{
    SimDriveConfig unrecognised = drive(7);
    unrecognised.familyCode = 9;
    unrecognised.logicVersion = 0x0103;
    unrecognised.firmware = QStringLiteral("V2.0");
    unrecognised.hardware = QStringLiteral("H3");
    START_RIG(rig, {drive(3), unrecognised});
    QSignalSpy found(&rig->manager, &ConnectionManager::deviceFound);

    QVERIFY(rig->manager.scanBus(rig->bus.portPath(), {}, {}));

    QCOMPARE(found.count(), 2);
    const ScanResult first = found.at(0).at(0).value<ScanResult>();
    QCOMPARE(first.station, 3);
    QCOMPARE(first.model, QStringLiteral("LXAZ-16L01-50-BC"));
    QCOMPARE(first.fwVersion, QStringLiteral("V1.2"));
    QCOMPARE(first.hwVersion, QStringLiteral("H2"));
    QCOMPARE(first.logicVersion, quint16(0x4103));
    const ScanResult second = found.at(1).at(0).value<ScanResult>();
    QCOMPARE(second.station, 7);
    QCOMPARE(second.model, QString());
    QCOMPARE(second.fwVersion, QStringLiteral("V2.0"));
    QCOMPARE(second.hwVersion, QStringLiteral("H3"));
    QCOMPARE(second.logicVersion, quint16(0x0103));
    QVERIFY(!rig->worker.isRunning());

    // A silent station costs one read; an answering one four.
    QVector<Read> expected;
    for (quint8 station = 1; station <= 16; ++station) {
        expected.append({station, Reg::LogicVersion, 5});
        if (station == 3 || station == 7) {
            expected.append({station, Reg::MotorDirection, 1});
            expected.append({station, Reg::FirmwareVersion, 2});
            expected.append({station, Reg::HardwareVersion, 2});
        }
    }
    const QVector<Read> reads = readsOf(rig->bus.requests());
    QCOMPARE(describe(reads), describe(expected));
}

void TestConnectionManager::scanStopsAtCancelAndReportsProgressFirst()
{
    START_RIG(rig, {drive(3), drive(7)});
    QStringList events;
    connect(&rig->manager, &ConnectionManager::deviceFound, this,
            [&](const ScanResult &r) { events << QStringLiteral("found %1").arg(r.station); });
    int lastProgress = 0;

    const bool finished = rig->manager.scanBus(
        rig->bus.portPath(),
        [&](int station) {
            lastProgress = station;
            events << QStringLiteral("probe %1").arg(station);
        },
        [&] { return lastProgress == 4; });

    QVERIFY(finished);
    QCOMPARE(events, (QStringList{"probe 1", "probe 2", "probe 3", "found 3", "probe 4"}));
    for (const Read &r : readsOf(rig->bus.requests()))
        QVERIFY2(r.station <= 4, qPrintable(describe(readsOf(rig->bus.requests()))));

    // The port was released: a connection can follow at once.
    QSignalSpy connected(&rig->manager, &ConnectionManager::connected);
    rig->manager.connectToDevice(rig->bus.portPath(), 7, true);
    AWAIT_CONNECTION(rig);
}

void TestConnectionManager::scanRefusedWhileConnected()
{
    START_RIG(rig, {drive(3)});
    QSignalSpy connected(&rig->manager, &ConnectionManager::connected);
    QSignalSpy found(&rig->manager, &ConnectionManager::deviceFound);
    rig->manager.connectToDevice(rig->bus.portPath(), 3, true);
    AWAIT_CONNECTION(rig);

    QVERIFY(!rig->manager.scanBus(rig->bus.portPath(), {}, {}));

    QCOMPARE(found.count(), 0);
    QVERIFY(rig->manager.isConnected());
    QVERIFY(rig->worker.isRunning());
}

QTEST_GUILESS_MAIN(TestConnectionManager)
#include "tst_connectionmanager.moc"
