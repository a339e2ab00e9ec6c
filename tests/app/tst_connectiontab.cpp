#include "cmpmanager.h"
#include "demobus.h"
#include "mainwindow.h"
#include "modbusworker.h"
#include "registers.h"
#include "scripteddialogs.h"
#include "simbus.h"
#include "steppeddoublespinbox.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

const QString LampOff = QStringLiteral("background-color:#d1d5db;border-radius:8px;border:1px solid #9ca3af;");
const QString LampOn = QStringLiteral("background-color:#10b981;border-radius:8px;border:1px solid #047857;");
const QString StatusOkStyle = QStringLiteral("font-size:20px;font-weight:bold;color:#16a34a;");
const QString StatusErrStyle = QStringLiteral("font-size:20px;font-weight:bold;color:red;");
const QColor Grey(0x99, 0x99, 0x99);

// Long enough for the worker to start and for three silent polling cycles.
constexpr int LinkWaitMs = 10000;

SimDriveConfig lxaz16(quint8 station)
{
    SimDriveConfig config;  // LXAZ-16L01-50-BC
    config.station = station;
    return config;
}

SimDriveConfig lxgz40(quint8 station)
{
    SimDriveConfig config;  // LXGZ-40L05-300-BC
    config.station = station;
    config.familyCode = 6;
    config.size = 40;
    config.rawLead = 5;
    config.stroke = 300;
    return config;
}

SimDriveConfig unknownFamily(quint8 station)
{
    SimDriveConfig config;
    config.station = station;
    config.familyCode = 7;
    config.size = 25;
    config.rawLead = 5;
    config.stroke = 100;
    return config;
}

// Stations whose identification block was read during a scan, in order.
QVector<int> probedStations(const SimBus &bus)
{
    QVector<int> stations;
    const QVector<SimRequest> requests = bus.requests();
    for (const SimRequest &r : requests) {
        if (r.function == 0x03 && r.address == Reg::LogicVersion)
            stations << r.station;
    }
    return stations;
}

}  // namespace

class ConnectionTabTest : public QObject
{
    Q_OBJECT

public:
    explicit ConnectionTabTest(const QString &settingsFile) : settingsFile(settingsFile) {}

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void scanListsEachAnsweringStationAndSelectsTheFirst();
    void unrecognisedRowIsGreyWithTooltipAndCannotBeSelected();
    void unrecognisedRowIsSelectableInEngineerMode();
    void unrecognisedRowTextsFollowTheLanguage();
    void scanOfAPortThatCannotBeOpenedSaysSo();
    void connectDuringScanEndsTheScanAfterTheCurrentStationThenConnects();

    void connectingPutsTheWindowInItsConnectedState();
    void servoStateIsReadOnConnection_data();
    void servoStateIsReadOnConnection();
    void jogSpeedLimitFollowsTheConnectedDrive_data();
    void jogSpeedLimitFollowsTheConnectedDrive();
    void disconnectReturnsToTheConnectionTabWithoutAMessage();
    void lossAfterThreeSilentCyclesShowsTheTranslatedMessage();
    void driveGoneSinceTheScanShowsTheManagersTextAndClearsTheTable();
    void statusTextsFollowTheLanguageWhileConnected();

    void demoOptionIsRecognised_data();
    void demoOptionIsRecognised();
    void demoBusPortIsListedFirstAlsoAfterARefresh();
    void demoBusOffersTwoRecognisedDrivesAndOneUnknown();
    void emptyPortListPointsToTheDemo();

private:
    template <typename T> T *find(MainWindow &window, const char *name)
    {
        T *widget = window.findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }
    std::unique_ptr<MainWindow> makeWindow();
    void choosePort(MainWindow &window, const QString &path);
    void scan(MainWindow &window);
    void clickRow(MainWindow &window, int row);
    bool connectAndWait(MainWindow &window);
    void chooseEnglish(MainWindow &window);

    const QString settingsFile;
    ScriptedDialogs *dialogs = nullptr;
};

void ConnectionTabTest::initTestCase()
{
    // Refuse to run against the user's real settings.
    QSettings settings(QStringLiteral("Torvane"), QStringLiteral("TorvaneVexaElectricActuator"));
    QCOMPARE(QFileInfo(settings.fileName()).absoluteFilePath(), QFileInfo(settingsFile).absoluteFilePath());
}

void ConnectionTabTest::init()
{
    QFile::remove(settingsFile);
}

void ConnectionTabTest::cleanup()
{
    dialogs = nullptr;
}

std::unique_ptr<MainWindow> ConnectionTabTest::makeWindow()
{
    auto window = std::make_unique<MainWindow>();
    auto scripted = std::make_unique<ScriptedDialogs>();
    dialogs = scripted.get();
    window->setDialogs(std::move(scripted));
    return window;
}

void ConnectionTabTest::choosePort(MainWindow &window, const QString &path)
{
    find<QComboBox>(window, "cbPorts")->setEditText(path);
}

void ConnectionTabTest::scan(MainWindow &window)
{
    // The scan runs to its end inside the click.
    find<QPushButton>(window, "btnScan")->click();
}

void ConnectionTabTest::clickRow(MainWindow &window, int row)
{
    auto *table = find<QTableWidget>(window, "tableScan");
    const QRect cell = table->visualItemRect(table->item(row, 0));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
}

bool ConnectionTabTest::connectAndWait(MainWindow &window)
{
    find<QPushButton>(window, "btnConnect")->click();
    return QTest::qWaitFor([&] { return window.isConnected; }, LinkWaitMs);
}

void ConnectionTabTest::chooseEnglish(MainWindow &window)
{
    find<QComboBox>(window, "cbLanguage")->setCurrentIndex(1);
}

void ConnectionTabTest::scanListsEachAnsweringStationAndSelectsTheFirst()
{
    SimBus bus;
    bus.addDrive(lxaz16(3));
    bus.addDrive(lxgz40(7));
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    auto window = makeWindow();
    choosePort(*window, bus.portPath());

    scan(*window);

    QCOMPARE(probedStations(bus), QVector<int>({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
    auto *table = find<QTableWidget>(*window, "tableScan");
    QCOMPARE(table->rowCount(), 2);
    const QStringList first = {"0X0003 (3)", "LXAZ-16L01-50-BC", "V1.2", "H2", "A3"};
    const QStringList second = {"0X0007 (7)", "LXGZ-40L05-300-BC", "V1.2", "H2", "A3"};
    for (int column = 0; column < 5; ++column) {
        QCOMPARE(table->item(0, column)->text(), first.at(column));
        QCOMPARE(table->item(1, column)->text(), second.at(column));
        QCOMPARE(table->item(0, column)->textAlignment(), int(Qt::AlignCenter));
        QVERIFY(table->item(1, column)->flags() & Qt::ItemIsSelectable);
    }
    QCOMPARE(table->item(1, 0)->data(Qt::UserRole).toInt(), 7);
    QVERIFY(table->item(1, 0)->data(Qt::UserRole + 1).toBool());

    QVERIFY(table->item(0, 0)->isSelected());
    QVERIFY(!table->item(1, 0)->isSelected());
    auto *selected = find<QLabel>(*window, "lblActiveStation");
    QVERIFY(!selected->isHidden());
    QCOMPARE(selected->text(), QStringLiteral("SELECTED ID: 0X03 (3)"));
    QVERIFY(find<QPushButton>(*window, "btnConnect")->isEnabled());
    auto *scanButton = find<QPushButton>(*window, "btnScan");
    QVERIFY(scanButton->isEnabled());
    QCOMPARE(scanButton->text(), QStringLiteral("掃描總線裝置"));
    QVERIFY(!window->isScanning);

    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    clickRow(*window, 1);
    QCOMPARE(selected->text(), QStringLiteral("SELECTED ID: 0X07 (7)"));
    QCOMPARE(window->stationId, quint8(7));
}

void ConnectionTabTest::unrecognisedRowIsGreyWithTooltipAndCannotBeSelected()
{
    SimBus bus;
    bus.addDrive(unknownFamily(2));
    bus.addDrive(lxaz16(5));
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    choosePort(*window, bus.portPath());

    scan(*window);

    auto *table = find<QTableWidget>(*window, "tableScan");
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("0X0002 (2)"));
    QCOMPARE(table->item(0, 1)->text(), QStringLiteral("未識別裝置"));
    QCOMPARE(table->item(0, 1)->toolTip(),
             QStringLiteral("此站號有裝置回應，但規格無法識別，可能非本系列產品。"));
    QVERIFY(!table->item(0, 0)->data(Qt::UserRole + 1).toBool());
    for (int column = 0; column < 5; ++column) {
        QCOMPARE(table->item(0, column)->foreground().color(), Grey);
        QCOMPARE(table->item(0, column)->flags(), Qt::NoItemFlags);
        QCOMPARE(table->item(1, column)->foreground().color(), QColor(Qt::black));
    }
    QCOMPARE(find<QLabel>(*window, "lblActiveStation")->text(), QStringLiteral("SELECTED ID: 0X05 (5)"));

    clickRow(*window, 0);

    QCOMPARE(window->stationId, quint8(5));
    QCOMPARE(find<QLabel>(*window, "lblActiveStation")->text(), QStringLiteral("SELECTED ID: 0X05 (5)"));
    QVERIFY(!table->item(0, 0)->isSelected());
}

void ConnectionTabTest::unrecognisedRowIsSelectableInEngineerMode()
{
    SimBus bus;
    bus.addDrive(unknownFamily(2));
    bus.addDrive(lxaz16(5));
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    choosePort(*window, bus.portPath());
    scan(*window);
    auto *table = find<QTableWidget>(*window, "tableScan");

    // What switching engineer mode on does to the rows.
    window->engineerMode = true;
    for (int row = 0; row < table->rowCount(); ++row)
        window->styleScanRow(row, table->item(row, 0)->data(Qt::UserRole + 1).toBool());

    QCOMPARE(table->item(0, 1)->foreground().color(), Grey);
    QCOMPARE(table->item(0, 1)->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    clickRow(*window, 0);
    QCOMPARE(window->stationId, quint8(2));
    QCOMPARE(find<QLabel>(*window, "lblActiveStation")->text(), QStringLiteral("SELECTED ID: 0X02 (2)"));
    QVERIFY(table->item(0, 0)->isSelected());

    // Connected without strict matching: no catalogue model, but a connection.
    QVERIFY(connectAndWait(*window));
    QCOMPARE(dialogs->count(), 0);
    QCOMPARE(find<QLabel>(*window, "lblProductInfo")->text(), QString());
}

void ConnectionTabTest::unrecognisedRowTextsFollowTheLanguage()
{
    SimBus bus;
    bus.addDrive(unknownFamily(4));
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    auto window = makeWindow();
    choosePort(*window, bus.portPath());
    scan(*window);
    auto *table = find<QTableWidget>(*window, "tableScan");
    QCOMPARE(table->rowCount(), 1);
    QVERIFY(find<QLabel>(*window, "lblActiveStation")->isHidden());
    QVERIFY(!find<QPushButton>(*window, "btnConnect")->isEnabled());

    chooseEnglish(*window);

    QCOMPARE(table->item(0, 1)->text(), QStringLiteral("Unrecognized Device"));
    QCOMPARE(table->item(0, 1)->toolTip(), QStringLiteral("Device responded but its spec is not recognized."));
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("0X0004 (4)"));
}

void ConnectionTabTest::scanOfAPortThatCannotBeOpenedSaysSo()
{
    auto window = makeWindow();
    choosePort(*window, QStringLiteral("/nonexistent/ttyVexa"));

    scan(*window);

    QCOMPARE(find<QTableWidget>(*window, "tableScan")->rowCount(), 0);
    QCOMPARE(dialogs->count(), 0);
    QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("無法開啟通訊埠: /nonexistent/ttyVexa"));
    QVERIFY(find<QPushButton>(*window, "btnScan")->isEnabled());
    QCOMPARE(find<QPushButton>(*window, "btnScan")->text(), QStringLiteral("掃描總線裝置"));
}

void ConnectionTabTest::connectDuringScanEndsTheScanAfterTheCurrentStationThenConnects()
{
    SimBus bus;
    bus.addDrive(lxaz16(3));
    bus.addDrive(lxgz40(7));
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    auto window = makeWindow();
    choosePort(*window, bus.portPath());
    auto *scanButton = find<QPushButton>(*window, "btnScan");
    auto *connectButton = find<QPushButton>(*window, "btnConnect");

    // Runs inside the scan's event processing, as the user's click would.
    QString scanTextAfterConnect;
    bool connectEnabledAfterConnect = true;
    QTimer watcher;
    watcher.setInterval(0);
    connect(&watcher, &QTimer::timeout, this, [&] {
        if (scanButton->text() != QLatin1String("Scanning... (9/16)"))
            return;
        watcher.stop();
        connectButton->click();
        scanTextAfterConnect = scanButton->text();
        connectEnabledAfterConnect = connectButton->isEnabled();
    });
    watcher.start();

    scan(*window);

    QVERIFY2(!watcher.isActive(), "the scan never reached station 9");
    QCOMPARE(scanTextAfterConnect, QStringLiteral("Scanning..."));
    QVERIFY(!connectEnabledAfterConnect);
    // Stations 10 to 16 are never probed; the identification of station 3 follows.
    QCOMPARE(probedStations(bus), QVector<int>({1, 2, 3, 4, 5, 6, 7, 8, 9, 3}));
    QTRY_VERIFY_WITH_TIMEOUT(window->isConnected, LinkWaitMs);
    QCOMPARE(window->stationId, quint8(3));
    QCOMPARE(find<QLabel>(*window, "lblProductInfo")->text(), QStringLiteral("LXAZ-16L01-50-BC"));
    QVERIFY(!connectButton->isEnabled());
    QCOMPARE(scanButton->text(), QStringLiteral("掃描總線裝置"));
    QCOMPARE(dialogs->count(), 0);
}

void ConnectionTabTest::connectingPutsTheWindowInItsConnectedState()
{
    SimBus bus;
    bus.addDrive(lxgz40(3));
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    auto window = makeWindow();
    choosePort(*window, bus.portPath());
    scan(*window);

    QVERIFY(connectAndWait(*window));

    QCOMPARE(dialogs->count(), 0);
    QCOMPARE(find<QLabel>(*window, "ledConnection")->styleSheet(), LampOn);
    auto *status = find<QLabel>(*window, "lblConnectionStatus");
    QCOMPARE(status->text(), QStringLiteral("連線成功"));
    QCOMPARE(status->styleSheet(), StatusOkStyle);
    QCOMPARE(find<QLabel>(*window, "lblProductInfo")->text(), QStringLiteral("LXGZ-40L05-300-BC"));
    QCOMPARE(find<QLabel>(*window, "lblHeaderProduct")->text(), QStringLiteral("LXGZ-40L05-300-BC"));
    QVERIFY(!find<QPushButton>(*window, "btnConnect")->isEnabled());
    QVERIFY(find<QPushButton>(*window, "btnDisconnect")->isEnabled());
    QVERIFY(!find<QPushButton>(*window, "btnScan")->isEnabled());
    QVERIFY(!find<QComboBox>(*window, "cbPorts")->isEnabled());
    auto *table = find<QTableWidget>(*window, "tableScan");
    QVERIFY(!table->isEnabled());
    QCOMPARE(table->selectionMode(), QAbstractItemView::NoSelection);
    auto *tabs = find<QTabWidget>(*window, "mainTabs");
    for (int i = 0; i < tabs->count(); ++i)
        QVERIFY(tabs->isTabEnabled(i));
    const bool hasCompareTasks = window->compare()->taskCount() > 0;
    QCOMPARE(find<QPushButton>(*window, "btnCmpRead")->isEnabled(), hasCompareTasks);
    QCOMPARE(find<QPushButton>(*window, "btnCmpWrite")->isEnabled(), hasCompareTasks);
    QVERIFY(find<QPushButton>(*window, "btnCmpSave")->isEnabled());
    QCOMPARE(find<QSpinBox>(*window, "cmpSlaveId")->value(), 3);

    QCOMPARE(window->product.family, QStringLiteral("LXGZ"));
    QCOMPARE(window->product.size, 40);
    QCOMPARE(window->product.lead, 5.0);
    QCOMPARE(window->product.stroke, 300);
    QCOMPARE(window->product.direction, QStringLiteral("BC"));
    QCOMPARE(window->product.logicVersion, quint16(0x4103));
    QCOMPARE(window->product.firmware, QStringLiteral("V1.2"));
    QCOMPARE(window->product.hardware, QStringLiteral("H2"));

    // The alarm history and the servo state are read once, with polling paused.
    bool historyRead = false;
    bool servoRead = false;
    const QVector<SimRequest> requests = bus.requests();
    for (const SimRequest &r : requests) {
        historyRead = historyRead || (r.function == 0x03 && r.address == Reg::AlarmWord);
        servoRead = servoRead || (r.function == 0x03 && r.address == Reg::ServoOff && r.count == 1);
    }
    QVERIFY(historyRead);
    QVERIFY(servoRead);
    QVERIFY(!window->modbusWorker()->isPollingPaused());
    QTRY_VERIFY_WITH_TIMEOUT(find<QLabel>(*window, "ledAlarm")->styleSheet() == LampOn, LinkWaitMs);
}

void ConnectionTabTest::servoStateIsReadOnConnection_data()
{
    QTest::addColumn<quint16>("servoOffWord");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("style");

    QTest::newRow("on") << quint16(0x0000) << "Servo ON" << "color:#16a34a;font-weight:bold;padding:0 8px;";
    QTest::newRow("off") << quint16(0x0001) << "Servo OFF" << "color:#dc2626;font-weight:bold;padding:0 8px;";
}

void ConnectionTabTest::servoStateIsReadOnConnection()
{
    QFETCH(quint16, servoOffWord);
    QFETCH(QString, text);
    QFETCH(QString, style);

    SimBus bus;
    bus.addDrive(lxaz16(1));
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    bus.setRegisterValue(1, Reg::ServoOff, servoOffWord);
    auto window = makeWindow();
    choosePort(*window, bus.portPath());
    scan(*window);

    QVERIFY(connectAndWait(*window));

    auto *servo = find<QLabel>(*window, "lblServoStatus");
    QCOMPARE(servo->text(), text);
    QCOMPARE(servo->styleSheet(), style);
}

void ConnectionTabTest::jogSpeedLimitFollowsTheConnectedDrive_data()
{
    QTest::addColumn<int>("familyCode");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("rawLead");
    QTest::addColumn<int>("stroke");
    QTest::addColumn<double>("speedBefore");
    QTest::addColumn<int>("limit");
    QTest::addColumn<double>("speedAfter");

    QTest::newRow("LXGZ-40 raises the limit") << 6 << 40 << 5 << 300 << 5.0 << 50 << 5.0;
    QTest::newRow("LXAZ-16 lowers 12 to 10") << 0 << 16 << 1 << 50 << 12.0 << 10 << 10.0;
    QTest::newRow("no catalogue entry") << 7 << 25 << 5 << 100 << 12.0 << 15 << 12.0;
}

void ConnectionTabTest::jogSpeedLimitFollowsTheConnectedDrive()
{
    QFETCH(int, familyCode);
    QFETCH(int, size);
    QFETCH(int, rawLead);
    QFETCH(int, stroke);
    QFETCH(double, speedBefore);
    QFETCH(int, limit);
    QFETCH(double, speedAfter);

    SimDriveConfig drive;
    drive.station = 2;
    drive.familyCode = quint16(familyCode);
    drive.size = quint16(size);
    drive.rawLead = quint16(rawLead);
    drive.stroke = quint16(stroke);
    SimBus bus;
    bus.addDrive(drive);
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    auto window = makeWindow();
    // Only engineer mode lets a drive outside the catalogue be selected and connected.
    window->engineerMode = true;
    choosePort(*window, bus.portPath());
    scan(*window);
    auto *box = find<SteppedDoubleSpinBox>(*window, "spinJogSpeed");
    box->setValue(speedBefore);
    window->selectStation(2);

    QVERIFY(connectAndWait(*window));

    QCOMPARE(box->minimum(), 1.0);
    QCOMPARE(box->maximum(), double(limit));
    QCOMPARE(box->value(), speedAfter);
    auto *slider = find<QSlider>(*window, "slideJogSpeed");
    QCOMPARE(slider->minimum(), 1);
    QCOMPARE(slider->maximum(), limit);
    QCOMPARE(slider->value(), int(speedAfter));
}

void ConnectionTabTest::disconnectReturnsToTheConnectionTabWithoutAMessage()
{
    SimBus bus;
    bus.addDrive(lxaz16(3));
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    auto window = makeWindow();
    choosePort(*window, bus.portPath());
    scan(*window);
    QVERIFY(connectAndWait(*window));
    auto *tabs = find<QTabWidget>(*window, "mainTabs");
    tabs->setCurrentIndex(MainWindow::MonitorTab);
    QCOMPARE(tabs->currentIndex(), int(MainWindow::MonitorTab));

    find<QPushButton>(*window, "btnDisconnect")->click();

    QCOMPARE(dialogs->count(), 0);
    QVERIFY(!window->isConnected);
    QCOMPARE(tabs->currentIndex(), int(MainWindow::ConnectionTab));
    for (int i = 1; i < tabs->count(); ++i)
        QVERIFY(!tabs->isTabEnabled(i));
    QCOMPARE(find<QLabel>(*window, "ledConnection")->styleSheet(), LampOff);
    auto *status = find<QLabel>(*window, "lblConnectionStatus");
    QCOMPARE(status->text(), QStringLiteral("連線中斷"));
    QCOMPARE(status->styleSheet(), StatusErrStyle);
    auto *table = find<QTableWidget>(*window, "tableScan");
    QCOMPARE(table->rowCount(), 0);
    QVERIFY(table->isEnabled());
    QCOMPARE(table->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(window->stationId, quint8(0));
    QVERIFY(find<QLabel>(*window, "lblActiveStation")->isHidden());
    QCOMPARE(find<QLabel>(*window, "lblProductInfo")->text(), QStringLiteral("---"));
    QCOMPARE(find<QLabel>(*window, "lblHeaderProduct")->text(), QStringLiteral("---"));
    QVERIFY(find<QPushButton>(*window, "btnScan")->isEnabled());
    QVERIFY(find<QComboBox>(*window, "cbPorts")->isEnabled());
    QVERIFY(!find<QPushButton>(*window, "btnDisconnect")->isEnabled());
    QVERIFY(!find<QPushButton>(*window, "btnConnect")->isEnabled());
    QVERIFY(!find<QPushButton>(*window, "btnCmpSave")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!window->modbusWorker()->isRunning(), LinkWaitMs);

    // The bus is free again: a new scan finds the drive.
    scan(*window);
    QCOMPARE(table->rowCount(), 1);
}

void ConnectionTabTest::lossAfterThreeSilentCyclesShowsTheTranslatedMessage()
{
    SimBus bus;
    bus.addDrive(lxaz16(3));
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    auto window = makeWindow();
    chooseEnglish(*window);
    choosePort(*window, bus.portPath());
    scan(*window);
    QVERIFY(connectAndWait(*window));
    bool connectedAtMessage = true;
    dialogs->onShow = [&](const ScriptedDialogs::Shown &) { connectedAtMessage = window->isConnected; };

    SimFaults faults;
    faults.silent = true;
    bus.setFaults(faults);

    QTRY_COMPARE_WITH_TIMEOUT(dialogs->count(), 1, LinkWaitMs);
    const ScriptedDialogs::Shown box = dialogs->last();
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.title, QStringLiteral("Disconnected"));
    QCOMPARE(box.text, QStringLiteral("Continuous communication timeout or device unresponsive"));
    QVERIFY(!connectedAtMessage);
    QVERIFY(!window->isConnected);
    QCOMPARE(find<QLabel>(*window, "lblConnectionStatus")->text(), QStringLiteral("Disconnected"));
    QCOMPARE(find<QTableWidget>(*window, "tableScan")->rowCount(), 0);
    QVERIFY(!find<QTabWidget>(*window, "mainTabs")->isTabEnabled(MainWindow::MonitorTab));
}

void ConnectionTabTest::driveGoneSinceTheScanShowsTheManagersTextAndClearsTheTable()
{
    SimBus bus;
    bus.addDrive(lxaz16(3));
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    auto window = makeWindow();
    choosePort(*window, bus.portPath());
    scan(*window);
    bus.removeDrive(3);

    find<QPushButton>(*window, "btnConnect")->click();

    QCOMPARE(dialogs->count(), 1);
    QCOMPARE(dialogs->last().title, QStringLiteral("Disconnected"));
    QCOMPARE(dialogs->last().text, QStringLiteral("Timeout"));
    QVERIFY(!window->isConnected);
    QVERIFY(!window->modbusWorker()->isRunning());
    QCOMPARE(find<QTableWidget>(*window, "tableScan")->rowCount(), 0);
    QVERIFY(find<QLabel>(*window, "lblActiveStation")->isHidden());
}

void ConnectionTabTest::statusTextsFollowTheLanguageWhileConnected()
{
    SimBus bus;
    bus.addDrive(lxaz16(3));
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    auto window = makeWindow();
    choosePort(*window, bus.portPath());
    scan(*window);
    QVERIFY(connectAndWait(*window));

    chooseEnglish(*window);

    QCOMPARE(find<QLabel>(*window, "lblConnectionStatus")->text(), QStringLiteral("Connected"));
    QCOMPARE(find<QLabel>(*window, "lblConnectionStatus")->styleSheet(), StatusOkStyle);
    QCOMPARE(find<QPushButton>(*window, "btnScan")->text(), QStringLiteral("Scan Bus"));
}

void ConnectionTabTest::demoOptionIsRecognised_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("demo");

    QTest::newRow("no option") << QStringList{"vexa-actuator"} << false;
    QTest::newRow("demo") << QStringList{"vexa-actuator", "--demo"} << true;
    QTest::newRow("demo among others") << QStringList{"vexa-actuator", "-style", "fusion", "--demo"} << true;
    QTest::newRow("program named like the option") << QStringList{"--demo"} << false;
    QTest::newRow("similar option") << QStringList{"vexa-actuator", "--demos"} << false;
}

void ConnectionTabTest::demoOptionIsRecognised()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, demo);

    QCOMPARE(DemoBus::requestedBy(arguments), demo);
}

void ConnectionTabTest::demoBusPortIsListedFirstAlsoAfterARefresh()
{
    DemoBus demo;
    if (!demo.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    auto window = makeWindow();
    auto *ports = find<QComboBox>(*window, "cbPorts");
    const int platformPorts = ports->count();

    window->setDemoPort(demo.portPath());

    QCOMPARE(ports->count(), platformPorts + 1);
    QCOMPARE(ports->itemText(0), demo.portPath());
    QCOMPARE(ports->currentText(), demo.portPath());
    QVERIFY(window->statusBar()->currentMessage().contains(demo.portPath()));

    ports->setEditText(QStringLiteral("/dev/typed-by-hand"));
    find<QPushButton>(*window, "btnRefresh")->click();

    QCOMPARE(ports->count(), platformPorts + 1);
    QCOMPARE(ports->itemText(0), demo.portPath());
    QCOMPARE(ports->currentText(), demo.portPath());
}

void ConnectionTabTest::demoBusOffersTwoRecognisedDrivesAndOneUnknown()
{
    DemoBus demo;
    if (!demo.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    auto window = makeWindow();
    window->setDemoPort(demo.portPath());

    scan(*window);

    auto *table = find<QTableWidget>(*window, "tableScan");
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("0X0001 (1)"));
    QCOMPARE(table->item(1, 0)->text(), QStringLiteral("0X0003 (3)"));
    QCOMPARE(table->item(2, 0)->text(), QStringLiteral("0X0005 (5)"));
    QVERIFY(table->item(0, 0)->data(Qt::UserRole + 1).toBool());
    QVERIFY(table->item(1, 0)->data(Qt::UserRole + 1).toBool());
    QVERIFY(!table->item(2, 0)->data(Qt::UserRole + 1).toBool());
    QCOMPARE(window->stationId, quint8(1));
    QVERIFY(connectAndWait(*window));
}

void ConnectionTabTest::emptyPortListPointsToTheDemo()
{
    if (!QSerialPortInfo::availablePorts().isEmpty())
        QSKIP("this machine lists serial ports");
    auto window = makeWindow();

    QCOMPARE(find<QComboBox>(*window, "cbPorts")->count(), 0);
    QCOMPARE(dialogs->count(), 0);
    QVERIFY(window->statusBar()->currentMessage().contains(QLatin1String("--demo")));

    chooseEnglish(*window);
    QCOMPARE(window->statusBar()->currentMessage(),
             QStringLiteral("No serial port found. Start the program with --demo to try a simulated drive."));
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The settings store is redirected before anything can read the real one.
    QTemporaryDir config;
    if (!config.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    ConnectionTabTest test(config.filePath(QStringLiteral("Torvane/TorvaneVexaElectricActuator.conf")));
    return QTest::qExec(&test, argc, argv);
}

#include "tst_connectiontab.moc"
