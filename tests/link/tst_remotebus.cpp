// The bus reached over TCP and through an adapter that echoes: the link rig,
// vexa-cli and the window against the simulator served on the loopback.

#include "clifixture.h"
#include "linkrig.h"
#include "mainwindow.h"
#include "registers.h"
#include "scripteddialogs.h"
#include "testmain.h"
#include "trafficview.h"
#include "windowfixture.h"

#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>

namespace {

// The listing block compare reads: one run of two words at 0x0200, in the power-on block.
QByteArray blockListing(quint16 low, quint16 high)
{
    const auto hex = [](quint16 word) {
        return QStringLiteral("%1 %2").arg(word >> 8, 2, 16, QLatin1Char('0')).arg(word & 0xFF, 2, 16, QLatin1Char('0'));
    };
    return QStringLiteral("02 00 00 02 04 %1 %2\n").arg(hex(low), hex(high)).toUpper().toUtf8();
}

SimFaults echoing()
{
    SimFaults faults;
    faults.echoRequests = true;
    return faults;
}

}  // namespace

class RemoteBusTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void linkRigOverTcp()
    {
        LinkRig rig({driveAt(1), driveAt(3)});
        QVERIFY(rig.bus.startTcp(0));
        QVERIFY(rig.port().startsWith(QLatin1String("tcp://127.0.0.1:")));
        QList<int> found;
        QObject::connect(&rig.manager, &ConnectionManager::deviceFound, [&](const ScanResult &r) { found << r.station; });
        QVERIFY(rig.manager.scanBus(rig.port()));
        QCOMPARE(found, QList<int>({1, 3}));

        rig.bus.setPositionMm(3, 12.345);
        QCOMPARE(rig.connectTo(3), QString());
        QVERIFY(rig.awaitStates(2));
        QCOMPARE(qRound(rig.states.last().positionMm * 1000), 12345);
        rig.bus.clearRequests();
        QVERIFY(rig.worker.syncWrite(3, Reg::AlarmClear, 1));
        QCOMPARE(rig.wire(0x06), QStringList{"3 06 00A4 = 0001"});
        QVERIFY(!rig.manager.echoRemoval());
    }

    void peerClosingEndsTheConnection()
    {
        LinkRig rig;
        QVERIFY(rig.bus.startTcp(0));
        QCOMPARE(rig.connectTo(1), QString());
        QVERIFY(rig.awaitStates(1));
        rig.bus.closePort();  // the converter goes away
        QVERIFY(QTest::qWaitFor([&] { return !rig.errors.isEmpty(); }, LinkRig::WaitMs));
        QVERIFY(rig.errorKinds == QList<ModbusError::Kind>{ModbusError::Kind::PortLost});
        QVERIFY(!rig.manager.isConnected());
        QVERIFY(QTest::qWaitFor([&] { return rig.worker.isFinished(); }, LinkRig::WaitMs));
    }

    void cliOverTcp()
    {
        CliFixture cli({driveAt(1)});
        QVERIFY(cli.dir.isValid() && cli.bus.startTcp(0));
        const QString address = cli.bus.portPath().mid(int(qstrlen("tcp://")));  // HOST:PORT works too
        CliRun run = CliFixture::run({"scan", "--port", address});
        QCOMPARE(run.code, int(CliExit::Ok));
        QCOMPARE(run.out.count('\n'), 1);

        run = CliFixture::run(cli.at({"write-multi"}) << "--address" << "0xD8" << "--values" << "0x1234,0x0002"
                                                      << "--trace");
        QCOMPARE(run.code, int(CliExit::Ok));
        QCOMPARE(cli.wire(0x10), QStringList{"1 10 00D8 = 1234 0002"});
        QVERIFY2(run.err.contains(QRegularExpression(" st 1 fc 10 0x00D8 ManualSpeed x2 = 4660 \\(0x1234\\) "
                                                     "2 \\(0x0002\\) [0-9.]+ ms ok\n")),
                 qPrintable(run.err));

        cli.bus.setRegisterValue(1, 0x0200, 0x1234);
        cli.bus.setRegisterValue(1, 0x0201, 0x0002);
        const QString same = cli.writeFile("same.txt", blockListing(0x1234, 0x0002));
        const QString other = cli.writeFile("other.txt", blockListing(0x1234, 0x0003));
        QCOMPARE(CliFixture::run(cli.at({"block", "compare"}) << "--file" << same).code, int(CliExit::Ok));
        QCOMPARE(CliFixture::run(cli.at({"block", "compare"}) << "--file" << other).code, int(CliExit::Differs));

        run = CliFixture::run({"read", "--port", "tcp://127.0.0.1:1", "--station", "1", "--address", "4",
                               "--count", "1"});
        QCOMPARE(run.code, int(CliExit::PortUnavailable));
        QVERIFY2(run.err.contains("cannot connect to 127.0.0.1:1"), qPrintable(run.err));
    }

    void echoingAdapter_data()
    {
        QTest::addColumn<bool>("overTcp");
        QTest::newRow("pty") << false;
        QTest::newRow("tcp") << true;
    }
    void echoingAdapter()
    {
        QFETCH(bool, overTcp);
        LinkRig rig({driveAt(1)});
        QVERIFY(overTcp ? rig.bus.startTcp(0) : rig.start());
        rig.bus.setFaults(echoing());
        rig.bus.setRegisterValue(1, Reg::PositionWarningThreshold, 321);
        QCOMPARE(rig.connectTo(1), QString());
        QVERIFY(rig.manager.echoRemoval());
        QVERIFY(rig.awaitStates(1));
        rig.worker.setPollingPaused(true);

        QCOMPARE(rig.worker.syncRead(1, Reg::PositionWarningThreshold, 1), QVector<quint16>{321});
        QVERIFY(!rig.worker.syncWrite(7, Reg::AlarmClear, 1));  // only the adapter heard it
        QVERIFY(rig.worker.lastSyncError().kind() == ModbusError::Kind::NoReply);
        QVERIFY(rig.worker.syncWrite(1, Reg::AlarmClear, 1));
        QCOMPARE(rig.wire(0x06), QStringList({"7 06 00A4 = 0001", "1 06 00A4 = 0001"}));
    }

    void echoingAdapterInTheCli()
    {
        CliFixture cli({driveAt(1)});
        VEXA_START_BUS(cli);
        CliRun run = CliFixture::run(cli.at({"read"}) << "--address" << "0x2BE" << "--count" << "1" << "--stats");
        QVERIFY2(!run.out.contains("echo removal"), qPrintable(run.out));
        cli.bus.setFaults(echoing());
        run = CliFixture::run(cli.at({"read"}) << "--address" << "0x2BE" << "--count" << "1" << "--stats");
        QVERIFY2(run.out.startsWith("0x02BE 0x0010\n") && run.out.contains(", echo removal on\n"),
                 qPrintable(run.out));
        cli.bus.clearRequests();
        QCOMPARE(CliFixture::run(cli.at({"write"}, 9) << "--address" << "0xA4" << "--value" << "1").code,
                 int(CliExit::NoReply));
        QCOMPARE(CliFixture::run(cli.at({"write"}, 1) << "--address" << "0xA4" << "--value" << "1").code,
                 int(CliExit::Ok));
        // The probe read goes out before each write.
        QCOMPARE(cli.wire(), QStringList({"9 03 02BC x1", "9 06 00A4 = 0001", "1 03 02BC x1", "1 06 00A4 = 0001"}));
    }

    void windowOverTcp()
    {
        WindowFixture fx;
        fx.bus.addDrive(WindowFixture::drive(1));
        fx.bus.addDrive(WindowFixture::drive(2));
        QVERIFY(fx.bus.startTcp(0));
        QVERIFY2(fx.showWindow("en") && fx.connectTo(1), qPrintable(fx.failure()));
        MainWindow &window = *fx.window;
        ScriptedDialogs *dialogs = fx.dialogs;
        auto *ports = fx.find<QComboBox>("cbPorts");

        window.findChild<QPushButton *>("btnTraffic")->click();
        auto *view = window.findChild<TrafficView *>();
        QVERIFY(view && view->isVisible());
        auto *table = view->findChild<QTableView *>("tableTraffic");
        QVERIFY(QTest::qWaitFor([&] { return table->model()->rowCount() >= 12; }, LinkRig::WaitMs));
        QStringList registers;
        for (int row = 0; row < 6; ++row)
            registers << table->model()->index(row, TrafficModel::Register).data().toString();
        QVERIFY2(registers.contains("0x0004 ActualPosition") && registers.contains("0x00A3 AlarmWord"),
                 qPrintable(registers.join(',')));
        view->findChild<QSpinBox *>("spinTrafficStation")->setValue(2);
        QCOMPARE(table->model()->rowCount(), 0);

        QTemporaryDir dir;
        dialogs->queueFileName(dir.filePath("traffic.csv"));
        view->findChild<QPushButton *>("btnTrafficExport")->click();
        QFile csv(dir.filePath("traffic.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(csv.readAll(), QByteArray("time,station,function,address,register,count,values,latency_ms,result\n"));

        view->close();
        QTest::qWait(300);  // the cycle under way when it closed
        std::atomic<int> recorded{0};
        QObject::connect(window.modbusWorker(), &ModbusWorker::exchangeRecorded, [&] { ++recorded; });
        QTest::qWait(400);  // two polling cycles
        QCOMPARE(recorded.load(), 0);

        const QStringList remembered = [&] {
            QStringList items;
            window.findChild<QPushButton *>("btnRefresh")->click();
            for (int i = 0; i < ports->count(); ++i)
                items << ports->itemText(i);
            return items;
        }();
        QVERIFY(remembered.contains(fx.bus.portPath()));

        dialogs->clear();
        const QString address = fx.bus.portPath().mid(int(qstrlen("tcp://")));
        fx.bus.closePort();
        QVERIFY(QTest::qWaitFor([&] { return dialogs->count() > 0; }, LinkRig::WaitMs));
        QCOMPARE(dialogs->last().text, QStringLiteral("the connection to %1 was lost").arg(address));
        QVERIFY(!window.connections()->isConnected());
    }
};

VEXA_TEST_CLASS(RemoteBusTest);
#include "tst_remotebus.moc"
