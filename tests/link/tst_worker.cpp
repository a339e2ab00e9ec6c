#include "devicestate.h"
#include "fakedrivedevice.h"
#include "modbusworker.h"
#include "registers.h"
#include "simbus.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <memory>
#include <thread>

namespace {

// A worker whose port is the given fake drive.
struct WorkerOnFake
{
    std::shared_ptr<FakeDriveDevice> drive = std::make_shared<FakeDriveDevice>(1);
    ModbusWorker worker;

    WorkerOnFake()
    {
        worker.setPortName(QStringLiteral("fake"));
        worker.setStation(1);
        auto port = drive;
        worker.setPortFactory([port](const QString &) -> std::shared_ptr<QIODevice> {
            port->open(QIODevice::ReadWrite);
            return port;
        });
    }
    ~WorkerOnFake()
    {
        worker.stop();
        worker.wait();
    }
    bool start()
    {
        QSignalSpy connected(&worker, &ModbusWorker::connectedSuccessfully);
        worker.start();
        return QTest::qWaitFor([&] { return !connected.isEmpty(); }, 2000);
    }
};

QVector<quint16> addressesOf(const QVector<FakeDriveDevice::Request> &requests, quint8 function)
{
    QVector<quint16> out;
    for (const auto &r : requests)
        if (r.function == function)
            out << r.address;
    return out;
}

}  // namespace

class WorkerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { registerLinkMetaTypes(); }

    void decodesRegisterWords_data()
    {
        QTest::addColumn<quint16>("posLow");
        QTest::addColumn<quint16>("posHigh");
        QTest::addColumn<double>("positionMm");
        QTest::newRow("minus one mm") << quint16(0xFC18) << quint16(0xFFFF) << -1.0;
        QTest::newRow("hundred mm") << quint16(0x86A0) << quint16(0x0001) << 100.0;
        QTest::newRow("zero") << quint16(0) << quint16(0) << 0.0;
    }
    void decodesRegisterWords()
    {
        QFETCH(quint16, posLow);
        QFETCH(quint16, posHigh);
        QFETCH(double, positionMm);
        PollWords w;
        w.position = {posLow, posHigh};
        w.current = 0xFFFF;
        w.trackingError = 0xFF9C;
        w.alarm = 0x0253;
        w.inputs = 0x0085;
        w.outputs = 0x0006;
        const DeviceState s = decodeDeviceState(w);
        QCOMPARE(s.positionMm, positionMm);
        QCOMPARE(s.currentMa, 65535);
        QCOMPARE(s.trackErrUm, -100);
        QCOMPARE(s.alarmCode, 3);
        QCOMPARE(s.alarmHistRaw, quint16(0x0253));
        QVERIFY(s.x0 && !s.x1 && s.x2 && s.x7);
        QVERIFY(!s.y0 && s.y1 && s.y2);
        QCOMPARE(s.inputsRaw, quint16(0x0085));
        QCOMPARE(s.outputsRaw, quint16(0x0006));
    }

    void pollingReadsSixGroupsInOrderAndEmitsTheState()
    {
        WorkerOnFake f;
        f.drive->setRegister(Reg::ActualPosition, 0x86A0);
        f.drive->setRegister(Reg::ActualPosition + 1, 0x0001);
        f.drive->setRegister(Reg::MotorCurrent, 420);
        f.drive->setRegister(Reg::AlarmWord, 0x0312);
        QSignalSpy states(&f.worker, &ModbusWorker::stateUpdated);
        QSignalSpy log(&f.worker, &ModbusWorker::logMessage);
        QVERIFY(f.start());
        QTRY_VERIFY_WITH_TIMEOUT(!states.isEmpty(), 2000);
        const DeviceState s = states.first().first().value<DeviceState>();
        QCOMPARE(s.positionMm, 100.0);
        QCOMPARE(s.currentMa, 420);
        QCOMPARE(s.alarmCode, 2);
        const QVector<quint16> order{Reg::ActualPosition, Reg::MotorCurrent, Reg::TrackingError,
                                     Reg::AlarmWord, Reg::InputStatus, Reg::OutputStatus};
        QCOMPARE(addressesOf(f.drive->requests(), 0x03).mid(0, 6), order);
        QCOMPARE(f.drive->requests().first().countOrValue, quint16(2));
        QVERIFY2(log.isEmpty(), "polling must not produce traffic log lines");
    }

    void synchronousReadWhilePausedIsServedAndLogged()
    {
        WorkerOnFake f;
        f.drive->setRegister(Reg::LogicVersion, 0x4103);
        f.worker.setPollingPaused(true);
        QSignalSpy log(&f.worker, &ModbusWorker::logMessage);
        QVERIFY(f.start());
        const QVector<quint16> words = f.worker.syncRead(1, Reg::LogicVersion, 1);
        QCOMPARE(words, QVector<quint16>{0x4103});
        QTRY_COMPARE(log.size(), 2);
        QCOMPARE(log[0][0].toString(), QString("tx"));
        QCOMPARE(log[0][1].toString(), QString("01 03 02 BC 00 01 44 56"));
        QCOMPARE(log[1][0].toString(), QString("rx"));
        QVERIFY(addressesOf(f.drive->requests(), 0x03) == QVector<quint16>{Reg::LogicVersion});
    }

    void synchronousWritesReportTheEcho()
    {
        WorkerOnFake f;
        f.worker.setPollingPaused(true);
        QVERIFY(f.start());
        QVERIFY(f.worker.syncWrite(1, Reg::AlarmClear, 0));
        QVERIFY(f.worker.syncWriteMulti(1, Reg::Pos1Speed, {0xEA60, 0x0000}));
        QCOMPARE(f.drive->registerValue(Reg::Pos1Speed), quint16(0xEA60));
        f.drive->setAnswerRule([](int) { return false; });
        QElapsedTimer t;
        t.start();
        QVERIFY(!f.worker.syncWrite(1, Reg::AlarmClear, 0));
        QVERIFY(t.elapsed() < 700 + 500);
        QVERIFY(f.worker.syncRead(1, Reg::LogicVersion, 1).isEmpty());
    }

    void queuedWritesGoOutOldestFirstWhilePaused()
    {
        WorkerOnFake f;
        f.worker.setPollingPaused(true);
        QVERIFY(f.start());
        f.worker.enqueueWrite(Reg::ManualMode, 3);
        f.worker.enqueueWrite(Reg::ManualCommand, Reg::ManualCommandValue::JogPlus);
        f.worker.enqueueWrite(Reg::ManualCommand, Reg::ManualCommandValue::Stop);
        QTRY_COMPARE(addressesOf(f.drive->requests(), 0x06).size(), 3);
        const auto requests = f.drive->requests();
        QCOMPARE(requests[0].address, Reg::ManualMode);
        QCOMPARE(requests[1].countOrValue, Reg::ManualCommandValue::JogPlus);
        QCOMPARE(requests[2].countOrValue, Reg::ManualCommandValue::Stop);
        QVERIFY(addressesOf(requests, 0x03).isEmpty());
    }

    void queuedWritesAreIgnoredWhileTheThreadIsNotRunning()
    {
        WorkerOnFake f;
        f.worker.enqueueWrite(Reg::ManualCommand, 1);
        f.worker.setPollingPaused(true);
        QVERIFY(f.start());
        QTest::qWait(150);
        QVERIFY(f.drive->requests().isEmpty());
    }

    void threeFailedCyclesEndTheConnection()
    {
        WorkerOnFake f;
        f.drive->setAnswerRule([](int) { return false; });
        QSignalSpy log(&f.worker, &ModbusWorker::logMessage);
        QSignalSpy error(&f.worker, &ModbusWorker::connectionError);
        QVERIFY(f.start());
        QTRY_VERIFY_WITH_TIMEOUT(!error.isEmpty(), 5000);
        QCOMPARE(error.first().first().toString(), QString("ERR_TIMEOUT"));
        QVERIFY(f.worker.wait(2000));
        QCOMPARE(log.size(), 2);
        for (const auto &line : log) {
            QCOMPARE(line[0].toString(), QString("info"));
            QCOMPARE(line[1].toString(), QString("Poll error: Timeout"));
        }
        QVERIFY(!f.drive->isOpen());
    }

    void aGoodCycleResetsTheFailureCount()
    {
        WorkerOnFake f;
        // Requests 0,1 fail two cycles; 2-7 are one good cycle; 8,9 fail two more.
        f.drive->setAnswerRule([](int n) { return !(n == 0 || n == 1 || n == 8 || n == 9); });
        QSignalSpy states(&f.worker, &ModbusWorker::stateUpdated);
        QSignalSpy error(&f.worker, &ModbusWorker::connectionError);
        QVERIFY(f.start());
        QTRY_VERIFY_WITH_TIMEOUT(states.size() >= 2, 5000);
        QVERIFY(error.isEmpty());
    }

    void stopReleasesAWaitingCallerAndDropsTheQueue()
    {
        WorkerOnFake f;
        f.drive->setAnswerRule([](int) { return false; });
        QVERIFY(f.start());
        f.worker.enqueueWrite(Reg::ManualCommand, Reg::ManualCommandValue::JogPlus);
        std::thread stopper([&] {
            QThread::msleep(50);
            f.worker.stop();
        });
        QElapsedTimer t;
        t.start();
        const QVector<quint16> words = f.worker.syncRead(1, Reg::LogicVersion, 1, 10000);
        stopper.join();
        QVERIFY(words.isEmpty());
        QVERIFY2(t.elapsed() < 5000, "the caller must be released long before its own wait ends");
        QVERIFY(f.worker.wait(3000));
        QVERIFY(addressesOf(f.drive->requests(), 0x06).isEmpty());
    }

    void anUnpluggedAdapterEndsTheConnectionAsPortLost()
    {
        SimBus bus;
        bus.addDrive(SimDriveConfig());
        QVERIFY(bus.start());
        ModbusWorker worker;
        worker.setPortName(bus.portPath());
        QSignalSpy states(&worker, &ModbusWorker::stateUpdated);
        QSignalSpy error(&worker, &ModbusWorker::connectionError);
        worker.start();
        QTRY_VERIFY_WITH_TIMEOUT(!states.isEmpty(), 3000);
        bus.closePort();
        QTRY_VERIFY_WITH_TIMEOUT(!error.isEmpty(), 3000);
        QCOMPARE(error.first().first().toString(), QString("ERR_PORT_LOST"));
        QVERIFY(worker.wait(2000));
        const LinkStats stats = worker.linkStats();
        QVERIFY(stats.replies >= 6);
        QCOMPARE(stats.requests, stats.replies + stats.timeouts + 3);
    }

    void aPortThatCannotOpenIsReported()
    {
        ModbusWorker worker;
        worker.setPortFactory([](const QString &) { return std::shared_ptr<QIODevice>(); });
        QSignalSpy connected(&worker, &ModbusWorker::connectedSuccessfully);
        QSignalSpy error(&worker, &ModbusWorker::connectionError);
        worker.start();
        QTRY_VERIFY_WITH_TIMEOUT(!error.isEmpty(), 2000);
        QCOMPARE(error.first().first().toString(), QString::fromUtf8("無法開啟通訊埠"));
        QVERIFY(worker.wait(2000));
        QVERIFY(connected.isEmpty());
    }
};

QTEST_GUILESS_MAIN(WorkerTest)
#include "tst_worker.moc"
