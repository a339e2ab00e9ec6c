// The adapter unplugged, or its device path gone, while the window is
// connected: the worker ends, the window goes back to its disconnected state
// with a message that says what happened, and a later scan and connection on
// another adapter work without restarting the program.

#include "engineeringfixture.h"

#include "dictionary.h"
#include "registers.h"

#include <QDir>
#include <QSpinBox>
#include <QStatusBar>

using namespace EngFixture;

namespace {

constexpr quint8 Station = 3;
// The worker's three failed cycles, plus a generous margin for a loaded machine.
constexpr int LossWaitMs = 10000;

std::unique_ptr<SimBus> startBus()
{
    auto bus = std::make_unique<SimBus>();
    SimDriveConfig drive;
    drive.station = Station;
    bus->addDrive(drive);
    bus->setTiming(SimTiming{0.0, 0});
    if (!bus->start())
        return nullptr;
    return bus;
}

// Scans the port typed into the port box; true when the drive was offered.
bool scanPort(const Window &w, const QString &port)
{
    w.widget<QComboBox>("cbPorts")->setEditText(port);
    w.widget<QAbstractButton>("btnScan")->click();
    return scanRowOf(w, Station) >= 0 && w.widget<QAbstractButton>("btnConnect")->isEnabled();
}

bool connectPort(const Window &w, const QString &port)
{
    if (!scanPort(w, port))
        return false;
    w.widget<QAbstractButton>("btnConnect")->click();
    return QTest::qWaitFor([&] { return w.tabs()->isTabEnabled(MainWindow::MotionTab); }, LossWaitMs)
           && w.worker()->isRunning();
}

bool disconnectedState(const Window &w)
{
    return !w.tabs()->isTabEnabled(MainWindow::MonitorTab) && w.tabs()->currentIndex() == MainWindow::ConnectionTab
           && w.widget<QAbstractButton>("btnScan")->isEnabled() && w.widget<QComboBox>("cbPorts")->isEnabled()
           && !w.widget<QAbstractButton>("btnDisconnect")->isEnabled()
           && w.widget<QLabel>("lblProductInfo")->text() == QLatin1String("---");
}

void chooseLanguage(const Window &w, const QString &lang)
{
    w.widget<QComboBox>("cbLanguage")->setCurrentIndex(lang == QLatin1String("zh") ? 0 : 1);
}

}  // namespace

class UnplugTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { forgetSettings(); }

    void unpluggedAdapterEndsTheConnectionWithItsOwnMessage_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::newRow("English") << "en";
        QTest::newRow("Chinese") << "zh";
    }

    void unpluggedAdapterEndsTheConnectionWithItsOwnMessage()
    {
        QFETCH(QString, lang);
        std::unique_ptr<SimBus> bus = startBus();
        if (!bus)
            QSKIP("no pseudo-terminal for the simulated bus");
        Window w = makeWindow(false);
        chooseLanguage(w, lang);
        QVERIFY(connectPort(w, bus->portPath()));
        QSignalSpy states(w.worker(), &ModbusWorker::stateUpdated);
        QVERIFY(states.wait(LossWaitMs));
        w.dialogs->clear();

        bus->closePort();

        QTRY_VERIFY_WITH_TIMEOUT(!w.worker()->isRunning(), LossWaitMs);
        QTRY_VERIFY(disconnectedState(w));
        QCOMPARE(w.dialogs->count(), 1);
        QCOMPARE(w.dialogs->last().icon, QMessageBox::Warning);
        QCOMPARE(w.dialogs->last().title, QStringLiteral("Disconnected"));
        QCOMPARE(w.dialogs->last().text, translateKey(QStringLiteral("err_port_lost"), lang));
        // Told apart from a drive that stopped answering.
        QVERIFY(w.dialogs->last().text != translateKey(QStringLiteral("err_timeout"), lang));
        QCOMPARE(w.widget<QLabel>("lblConnectionStatus")->text(), translateKey(QStringLiteral("lblStatus_err"), lang));
    }

    void unplugWhileReadingAllParametersEndsBoundedThenDisconnects()
    {
        std::unique_ptr<SimBus> bus = startBus();
        if (!bus)
            QSKIP("no pseudo-terminal for the simulated bus");
        Window w = makeWindow(false);
        chooseLanguage(w, QStringLiteral("en"));
        QVERIFY(connectPort(w, bus->portPath()));
        bus->setRegisterValue(Station, Reg::Pos0Accel, 321);
        w.widget<QAbstractButton>("btnReadAllParams")->click();
        QCOMPARE(w.widget<QSpinBox>("spin_pos0Accel")->value(), 321);
        bus->setRegisterValue(Station, Reg::Pos0Accel, 654);
        w.dialogs->clear();

        bus->closePort();
        QElapsedTimer clock;
        clock.start();
        w.widget<QAbstractButton>("btnReadAllParams")->click();
        // Eight reads, each within the worker's wait limit.
        QVERIFY2(clock.elapsed() < 8 * (ModbusWorker::SyncReadTransactionMs + ModbusWorker::SyncReadExtraWaitMs),
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(w.widget<QSpinBox>("spin_pos0Accel")->value(), 321);

        QTRY_VERIFY_WITH_TIMEOUT(!w.worker()->isRunning(), LossWaitMs);
        QTRY_VERIFY(disconnectedState(w));
        QCOMPARE(w.dialogs->count(), 1);
        QCOMPARE(w.dialogs->last().text, translateKey(QStringLiteral("err_port_lost"), QStringLiteral("en")));
    }

    void vanishedDevicePathIsReportedAndANewAdapterWorks()
    {
        std::unique_ptr<SimBus> first = startBus();
        if (!first)
            QSKIP("no pseudo-terminal for the simulated bus");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        // A stable name for the adapter, as a udev rule gives one.
        const QString link = dir.filePath(QStringLiteral("ttyVexa0"));
        QVERIFY(QFile::link(first->portPath(), link));

        Window w = makeWindow(false);
        chooseLanguage(w, QStringLiteral("en"));
        QVERIFY(connectPort(w, link));
        w.dialogs->clear();

        // The adapter goes, and with it its device node.
        QVERIFY(QFile::remove(link));
        first->closePort();
        QTRY_VERIFY_WITH_TIMEOUT(!w.worker()->isRunning(), LossWaitMs);
        QTRY_VERIFY(disconnectedState(w));
        QCOMPARE(w.dialogs->count(), 1);
        QCOMPARE(w.dialogs->last().title, QStringLiteral("Disconnected"));
        QCOMPARE(w.dialogs->last().text, translateKey(QStringLiteral("err_port_lost"), QStringLiteral("en")));
        w.dialogs->clear();

        // A scan of the vanished path says the port cannot be opened, not "no drive".
        QVERIFY(!scanPort(w, link));
        QCOMPARE(w.widget<QTableWidget>("tableScan")->rowCount(), 0);
        QCOMPARE(w->statusBar()->currentMessage(), QStringLiteral("Cannot open COM port: %1").arg(link));
        QVERIFY(w.widget<QAbstractButton>("btnScan")->isEnabled());
        QCOMPARE(w.dialogs->count(), 0);

        // A drive found on an adapter that goes away before Connect is pressed.
        std::unique_ptr<SimBus> second = startBus();
        QVERIFY(second);
        QVERIFY(QFile::link(second->portPath(), link));
        QVERIFY(scanPort(w, link));
        QVERIFY(QFile::remove(link));
        second->closePort();
        w.widget<QAbstractButton>("btnConnect")->click();
        QTRY_COMPARE(w.dialogs->count(), 1);
        QCOMPARE(w.dialogs->last().title, QStringLiteral("Disconnected"));
        QCOMPARE(w.dialogs->last().text, translateKey(QStringLiteral("err_port_open"), QStringLiteral("en")));
        QVERIFY(disconnectedState(w));
        QVERIFY(!w.worker()->isRunning());
        w.dialogs->clear();

        // A new adapter on a new path: scan and connect as after a fresh start.
        std::unique_ptr<SimBus> third = startBus();
        QVERIFY(third);
        QVERIFY(third->portPath() != link);
        third->setRegisterValue(Station, Reg::Pos0Accel, 432);
        QVERIFY(connectPort(w, third->portPath()));
        QSignalSpy states(w.worker(), &ModbusWorker::stateUpdated);
        QVERIFY(states.wait(LossWaitMs));
        QCOMPARE(w.widget<QLabel>("lblConnectionStatus")->text(), QStringLiteral("Connected"));
        w.widget<QAbstractButton>("btnReadAllParams")->click();
        QCOMPARE(w.widget<QSpinBox>("spin_pos0Accel")->value(), 432);
        QCOMPARE(w.dialogs->count(), 0);
    }
};

int main(int argc, char *argv[])
{
    return runIsolated<UnplugTest>(argc, argv);
}

#include "tst_unplug.moc"
