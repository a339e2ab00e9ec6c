#include "mainwindow.h"
#include "manualmotion.h"
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
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString LampOff = QStringLiteral("background-color:#d1d5db;border-radius:8px;border:1px solid #9ca3af;");
const QString LampAlarm = QStringLiteral("background-color:#ef4444;border-radius:8px;border:1px solid #b91c1c;");
const QString LampOn = QStringLiteral("background-color:#10b981;border-radius:8px;border:1px solid #047857;");
const QString HistoryRed = QStringLiteral("font-weight:bold; color:#dc2626; padding:2px 8px;");
const QString HistoryGreen = QStringLiteral("font-weight:bold; color:#16a34a; padding:2px 8px;");

constexpr quint8 Station = 3;
constexpr int LinkWaitMs = 10000;

// LXGZ-40L05-300-BC: lead 5 mm, jog limit 50 mm/s.
SimDriveConfig lxgz40(quint8 station)
{
    SimDriveConfig config;
    config.station = station;
    config.familyCode = 6;
    config.size = 40;
    config.rawLead = 5;
    config.stroke = 300;
    return config;
}

// "06 00C8=1", "10 00D8=12000,0", "03 006C": one request as the drive saw it.
QString describe(const SimRequest &r)
{
    QString text = QStringLiteral("%1 %2").arg(r.function, 2, 16, QLatin1Char('0')).arg(r.address, 4, 16, QLatin1Char('0')).toUpper();
    if (r.function == 0x03)
        return text;
    QStringList values;
    for (quint16 v : r.values)
        values << QString::number(v);
    return text + QLatin1Char('=') + values.join(QLatin1Char(','));
}

QStringList writes(const SimBus &bus)
{
    QStringList list;
    const QVector<SimRequest> requests = bus.requests();
    for (const SimRequest &r : requests) {
        if (r.function == 0x06 || r.function == 0x10)
            list << describe(r);
    }
    return list;
}

QStringList requestsAt(const SimBus &bus, quint16 address)
{
    QStringList list;
    const QVector<SimRequest> requests = bus.requests();
    for (const SimRequest &r : requests) {
        if (r.address == address)
            list << describe(r);
    }
    return list;
}

}  // namespace

class MonitorTabTest : public QObject
{
    Q_OBJECT

public:
    explicit MonitorTabTest(const QString &settingsFile) : settingsFile(settingsFile) {}

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void positionIsShownRounded_data();
    void positionIsShownRounded();
    void currentAndTrackingErrorFollowTheDrive();
    void alarmWithoutANameShowsUnknown();
    void alarmWordShowsCurrentAndHistoryInEnglish();
    void inputLampsFollowTheDrive();

    void jogPressAndReleaseWriteInOrder_data();
    void jogPressAndReleaseWriteInOrder();
    void unconfirmedJogStopIsSentAgainAndTheSpeedIsNotRaised();
    void nudgeMinusWritesTwosComplementAndReleaseSendsNothing();
    void homingPulsesTheFirstInputAfterTheCommand();
    void inputSimulationPulsesOneBit_data();
    void inputSimulationPulsesOneBit();
    void inputPulseEndsEvenWhenTheReadBackFails();
    void servoSwitchWritesAndShowsTheNewState();
    void servoLabelIsKeptAfterAFailedSwitch();
    void clearAlarmWritesThenReadsTheHistory();
    void manualMotionWithoutALeadIsNotStarted();

    void nudgeModeSetsTheStepListAndDefaultStep();
    void nudgeBoxAndSliderFollowEachOther();
    void jogModeTakesTheConnectedDrivesLimit();

private:
    template <typename T> T *find(MainWindow &window, const char *name)
    {
        T *widget = window.findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }
    std::unique_ptr<MainWindow> makeWindow();
    // Connects to the station through the Connect button and waits for the first
    // state on screen; the request log then starts empty.
    bool connectWindow(MainWindow &window, SimBus &bus, quint8 station);
    void showMonitorTab(MainWindow &window);
    void press(MainWindow &window, const char *button);
    void release(MainWindow &window, const char *button);
    void chooseEnglish(MainWindow &window);
    void typeInto(QDoubleSpinBox *box, const QString &text);
    // Waits for a few more polling cycles to reach the window.
    void waitForPolls(MainWindow &window);

    const QString settingsFile;
    ScriptedDialogs *dialogs = nullptr;
};

void MonitorTabTest::initTestCase()
{
    // Refuse to run against the user's real settings.
    QSettings settings(QStringLiteral("Torvane"), QStringLiteral("TorvaneVexaElectricActuator"));
    QCOMPARE(QFileInfo(settings.fileName()).absoluteFilePath(), QFileInfo(settingsFile).absoluteFilePath());
}

void MonitorTabTest::init()
{
    QFile::remove(settingsFile);
}

void MonitorTabTest::cleanup()
{
    dialogs = nullptr;
}

std::unique_ptr<MainWindow> MonitorTabTest::makeWindow()
{
    auto window = std::make_unique<MainWindow>();
    auto scripted = std::make_unique<ScriptedDialogs>();
    dialogs = scripted.get();
    window->setDialogs(std::move(scripted));
    return window;
}

bool MonitorTabTest::connectWindow(MainWindow &window, SimBus &bus, quint8 station)
{
    find<QComboBox>(window, "cbPorts")->setEditText(bus.portPath());
    // What a click on the station's scan row does, without the two seconds of a scan.
    window.selectStation(station);
    QSignalSpy states(window.modbusWorker(), &ModbusWorker::stateUpdated);
    find<QPushButton>(window, "btnConnect")->click();
    if (!QTest::qWaitFor([&] { return window.isConnected && !states.isEmpty(); }, LinkWaitMs))
        return false;
    // Lets the first state reach the labels.
    QCoreApplication::processEvents();
    bus.clearRequests();
    return true;
}

void MonitorTabTest::showMonitorTab(MainWindow &window)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qFatal("window not exposed");
    find<QTabWidget>(window, "mainTabs")->setCurrentIndex(MainWindow::MonitorTab);
}

void MonitorTabTest::press(MainWindow &window, const char *button)
{
    QTest::mousePress(find<QPushButton>(window, button), Qt::LeftButton);
}

void MonitorTabTest::release(MainWindow &window, const char *button)
{
    QTest::mouseRelease(find<QPushButton>(window, button), Qt::LeftButton);
}

void MonitorTabTest::chooseEnglish(MainWindow &window)
{
    find<QComboBox>(window, "cbLanguage")->setCurrentIndex(1);
}

void MonitorTabTest::typeInto(QDoubleSpinBox *box, const QString &text)
{
    box->findChild<QLineEdit *>()->selectAll();
    QTest::keyClicks(box, text);
    QTest::keyClick(box, Qt::Key_Return);
}

void MonitorTabTest::waitForPolls(MainWindow &window)
{
    QSignalSpy states(window.modbusWorker(), &ModbusWorker::stateUpdated);
    QVERIFY(QTest::qWaitFor([&] { return states.size() >= 3; }, LinkWaitMs));
}

// ---- live state

void MonitorTabTest::positionIsShownRounded_data()
{
    QTest::addColumn<double>("mm");
    QTest::addColumn<QString>("text");

    QTest::newRow("-0.004 without minus") << -0.004 << "0.00";
    QTest::newRow("-0.006 keeps its sign") << -0.006 << "-0.01";
    QTest::newRow("12.346") << 12.346 << "12.35";
    QTest::newRow("-250.5") << -250.5 << "-250.50";
}

void MonitorTabTest::positionIsShownRounded()
{
    QFETCH(double, mm);
    QFETCH(QString, text);

    SimBus bus;
    bus.addDrive(lxgz40(Station));
    auto window = makeWindow();
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    QVERIFY(connectWindow(*window, bus, Station));

    bus.setPositionMm(Station, mm);

    QTRY_COMPARE_WITH_TIMEOUT(find<QLabel>(*window, "lblPos")->text(), text, LinkWaitMs);
}

void MonitorTabTest::currentAndTrackingErrorFollowTheDrive()
{
    SimBus bus;
    bus.addDrive(lxgz40(Station));
    auto window = makeWindow();
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    QVERIFY(connectWindow(*window, bus, Station));
    const quint16 idleCurrent = bus.registerValue(Station, Reg::MotorCurrent);
    QVERIFY(idleCurrent != 0);

    QTRY_COMPARE_WITH_TIMEOUT(find<QLabel>(*window, "lblCurrent")->text(), QString::number(idleCurrent),
                              LinkWaitMs);
    QCOMPARE(find<QLabel>(*window, "lblPosTracErr")->text(), QStringLiteral("0.00"));

    // Servo off: no current at all.
    bus.setRegisterValue(Station, Reg::ServoOff, 1);
    QTRY_COMPARE_WITH_TIMEOUT(find<QLabel>(*window, "lblCurrent")->text(), QStringLiteral("0"), LinkWaitMs);
}

void MonitorTabTest::alarmWithoutANameShowsUnknown()
{
    SimBus bus;
    bus.addDrive(lxgz40(Station));
    auto window = makeWindow();
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    QVERIFY(connectWindow(*window, bus, Station));
    QTRY_COMPARE_WITH_TIMEOUT(find<QLabel>(*window, "lblAlarm")->text(), QStringLiteral("正常 (0)"), LinkWaitMs);
    QCOMPARE(find<QLabel>(*window, "ledAlarm")->styleSheet(), LampOn);

    bus.setRegisterValue(Station, Reg::AlarmWord, 0x000C);

    QTRY_COMPARE_WITH_TIMEOUT(find<QLabel>(*window, "lblAlarm")->text(), QStringLiteral("Unknown Err (12)"),
                              LinkWaitMs);
    QCOMPARE(find<QLabel>(*window, "ledAlarm")->styleSheet(), LampAlarm);
    QCOMPARE(find<QLabel>(*window, "lblAlarmCurrent")->text(), QStringLiteral("Unknown(12)"));
    QCOMPARE(find<QLabel>(*window, "lblAlarmCurrent")->styleSheet(), HistoryRed);
    QCOMPARE(find<QLabel>(*window, "lblAlarmHist1")->text(), QStringLiteral("正常"));
}

void MonitorTabTest::alarmWordShowsCurrentAndHistoryInEnglish()
{
    SimBus bus;
    bus.addDrive(lxgz40(Station));
    auto window = makeWindow();
    chooseEnglish(*window);
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    QVERIFY(connectWindow(*window, bus, Station));

    bus.setRegisterValue(Station, Reg::AlarmWord, 0x0312);

    QTRY_COMPARE_WITH_TIMEOUT(find<QLabel>(*window, "lblAlarm")->text(), QStringLiteral("Overvoltage (2)"),
                              LinkWaitMs);
    QCOMPARE(find<QLabel>(*window, "ledAlarm")->styleSheet(), LampAlarm);
    const struct {
        const char *label;
        QString text;
        QString style;
    } expected[] = {
        {"lblAlarmCurrent", QStringLiteral("Overvoltage (2)"), HistoryRed},
        {"lblAlarmHist1", QStringLiteral("Overcurrent (1)"), HistoryRed},
        {"lblAlarmHist2", QStringLiteral("Undervoltage (3)"), HistoryRed},
        {"lblAlarmHist3", QStringLiteral("Normal"), HistoryGreen},
    };
    for (const auto &field : expected) {
        QCOMPARE(find<QLabel>(*window, field.label)->text(), field.text);
        QCOMPARE(find<QLabel>(*window, field.label)->styleSheet(), field.style);
    }

    // The current alarm gone, its history kept.
    bus.setRegisterValue(Station, Reg::AlarmWord, 0x0310);
    QTRY_COMPARE_WITH_TIMEOUT(find<QLabel>(*window, "lblAlarm")->text(), QStringLiteral("Normal (0)"), LinkWaitMs);
    QCOMPARE(find<QLabel>(*window, "ledAlarm")->styleSheet(), LampOn);
    QCOMPARE(find<QLabel>(*window, "lblAlarmCurrent")->text(), QStringLiteral("Normal"));
    QCOMPARE(find<QLabel>(*window, "lblAlarmHist1")->text(), QStringLiteral("Overcurrent (1)"));
}

void MonitorTabTest::inputLampsFollowTheDrive()
{
    SimBus bus;
    bus.addDrive(lxgz40(Station));
    auto window = makeWindow();
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    QVERIFY(connectWindow(*window, bus, Station));

    bus.setRegisterValue(Station, Reg::InputStatus, 0x0080);      // homed
    bus.setRegisterValue(Station, Reg::CommandInputs, 0x0002);    // X1 held high

    QTRY_COMPARE_WITH_TIMEOUT(find<QLabel>(*window, "ledX7")->styleSheet(), LampOn, LinkWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(find<QLabel>(*window, "ledX1")->styleSheet(), LampOn, LinkWaitMs);
    for (const char *lamp : {"ledX0", "ledX2", "ledY0", "ledY1", "ledY2"})
        QCOMPARE(find<QLabel>(*window, lamp)->styleSheet(), LampOff);
}

// ---- what reaches the wire

void MonitorTabTest::jogPressAndReleaseWriteInOrder_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("command");

    QTest::newRow("plus") << "btnJogP" << "06 00C8=1";
    QTest::newRow("minus") << "btnJogM" << "06 00C8=257";
}

void MonitorTabTest::jogPressAndReleaseWriteInOrder()
{
    QFETCH(QString, button);
    QFETCH(QString, command);
    const QByteArray name = button.toLatin1();

    SimBus bus;
    bus.addDrive(lxgz40(Station));
    auto window = makeWindow();
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    QVERIFY(connectWindow(*window, bus, Station));
    bus.setPositionMm(Station, 100.0);
    showMonitorTab(*window);
    find<SteppedDoubleSpinBox>(*window, "spinJogSpeed")->setValue(10);

    press(*window, name.constData());
    QTRY_COMPARE_WITH_TIMEOUT(writes(bus).size(), 3, LinkWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(bus.positionMm(Station) != 100.0, LinkWaitMs);
    release(*window, name.constData());

    QTRY_COMPARE_WITH_TIMEOUT(writes(bus).size(), 5, LinkWaitMs);
    const QStringList sent = writes(bus);
    // The queued manual mode and the speed may pass each other; both precede the start.
    QStringList beforeStart = sent.mid(0, 2);
    beforeStart.sort();
    QCOMPARE(beforeStart, QStringList({"06 00A1=3", "10 00D8=12000,0"}));
    QCOMPARE(sent.at(2), command);
    // The stop reaches the drive before the speed goes back to 300 rpm.
    QCOMPARE(sent.mid(3), QStringList({"06 00C8=0", "10 00D8=30000,0"}));
    QVERIFY(!window->modbusWorker()->isPollingPaused());

    const double stoppedAt = bus.positionMm(Station);
    waitForPolls(*window);
    QCOMPARE(bus.positionMm(Station), stoppedAt);
}

void MonitorTabTest::unconfirmedJogStopIsSentAgainAndTheSpeedIsNotRaised()
{
    SimBus bus;
    bus.addDrive(lxgz40(Station));
    auto window = makeWindow();
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    QVERIFY(connectWindow(*window, bus, Station));
    showMonitorTab(*window);
    press(*window, "btnJogP");
    QTRY_COMPARE_WITH_TIMEOUT(writes(bus).size(), 3, LinkWaitMs);

    SimFaults faults;
    faults.silent = true;
    bus.setFaults(faults);
    release(*window, "btnJogP");
    bus.setFaults(SimFaults());

    QTRY_COMPARE_WITH_TIMEOUT(writes(bus).size(), 5, LinkWaitMs);
    QCOMPARE(writes(bus).mid(3), QStringList({"06 00C8=0", "06 00C8=0"}));
    waitForPolls(*window);
    QCOMPARE(writes(bus).size(), 5);
    QVERIFY(window->isConnected);
}

void MonitorTabTest::nudgeMinusWritesTwosComplementAndReleaseSendsNothing()
{
    SimBus bus;
    bus.addDrive(lxgz40(Station));
    auto window = makeWindow();
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    QVERIFY(connectWindow(*window, bus, Station));
    bus.setPositionMm(Station, 100.0);
    showMonitorTab(*window);
    find<QRadioButton>(*window, "rbJogNudge")->click();
    QCOMPARE(window->nudgeStepMm, 0.1);

    press(*window, "btnJogM");
    release(*window, "btnJogM");

    QTRY_COMPARE_WITH_TIMEOUT(writes(bus).size(), 3, LinkWaitMs);
    const QStringList sent = writes(bus);
    QVERIFY2(sent.indexOf(QStringLiteral("06 00A1=3")) < 2, qPrintable(sent.join(QLatin1String("; "))));
    QVERIFY(sent.indexOf(QStringLiteral("10 00D8=6000,0")) < 2);
    QCOMPARE(sent.at(2), QStringLiteral("10 00CE=65436,65535"));
    QTRY_COMPARE_WITH_TIMEOUT(bus.positionMm(Station), 99.9, LinkWaitMs);

    waitForPolls(*window);
    QCOMPARE(writes(bus).size(), 3);
}

void MonitorTabTest::homingPulsesTheFirstInputAfterTheCommand()
{
    SimBus bus;
    bus.addDrive(lxgz40(Station));
    auto window = makeWindow();
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    QVERIFY(connectWindow(*window, bus, Station));
    showMonitorTab(*window);

    find<QPushButton>(*window, "btnHome")->click();

    QTRY_COMPARE_WITH_TIMEOUT(writes(bus).size(), 4, LinkWaitMs);
    QCOMPARE(writes(bus), QStringList({"06 00C8=256", "06 00A1=3", "06 006C=1", "06 006C=0"}));
}

void MonitorTabTest::inputSimulationPulsesOneBit_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("bit");

    QTest::newRow("X0") << "btnSimX0" << 1;
    QTest::newRow("X1") << "btnSimX1" << 2;
    QTest::newRow("X2") << "btnSimX2" << 4;
}

void MonitorTabTest::inputSimulationPulsesOneBit()
{
    QFETCH(QString, button);
    QFETCH(int, bit);

    SimBus bus;
    bus.addDrive(lxgz40(Station));
    auto window = makeWindow();
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    QVERIFY(connectWindow(*window, bus, Station));
    // Another input already high stays high through the pulse.
    bus.setRegisterValue(Station, Reg::CommandInputs, 0x0100);
    showMonitorTab(*window);

    find<QPushButton>(*window, button.toLatin1().constData())->click();

    QTRY_COMPARE_WITH_TIMEOUT(requestsAt(bus, Reg::CommandInputs).size(), 4, LinkWaitMs);
    QCOMPARE(requestsAt(bus, Reg::CommandInputs),
             QStringList({"03 006C", QStringLiteral("06 006C=%1").arg(0x0100 | bit), "03 006C", "06 006C=256"}));
}

void MonitorTabTest::inputPulseEndsEvenWhenTheReadBackFails()
{
    SimBus bus;
    bus.addDrive(lxgz40(Station));
    auto window = makeWindow();
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    QVERIFY(connectWindow(*window, bus, Station));
    showMonitorTab(*window);
    // The raising write is still answered; then the drive falls silent.
    bus.setRequestObserver([&bus](const SimRequest &r) {
        if (r.function == 0x06 && r.address == Reg::CommandInputs) {
            SimFaults faults;
            faults.silent = true;
            bus.setFaults(faults);
        }
    });

    find<QPushButton>(*window, "btnSimX1")->click();

    QTRY_COMPARE_WITH_TIMEOUT(requestsAt(bus, Reg::CommandInputs).size(), 4, LinkWaitMs);
    QCOMPARE(requestsAt(bus, Reg::CommandInputs), QStringList({"03 006C", "06 006C=2", "03 006C", "06 006C=0"}));
    bus.setRequestObserver({});
    bus.setFaults(SimFaults());
}

void MonitorTabTest::servoSwitchWritesAndShowsTheNewState()
{
    SimBus bus;
    bus.addDrive(lxgz40(Station));
    auto window = makeWindow();
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    QVERIFY(connectWindow(*window, bus, Station));
    showMonitorTab(*window);
    auto *servo = find<QLabel>(*window, "lblServoStatus");

    find<QPushButton>(*window, "btnServoOff")->click();

    QCOMPARE(writes(bus), QStringList({"06 00D4=1", "06 00A1=3", "06 006C=0"}));
    QCOMPARE(servo->text(), QStringLiteral("Servo OFF"));
    QCOMPARE(servo->styleSheet(), QStringLiteral("color: #dc2626; font-weight: bold;"));
    QCOMPARE(bus.registerValue(Station, Reg::ServoOff), quint16(1));
    QVERIFY(!window->modbusWorker()->isPollingPaused());

    chooseEnglish(*window);
    bus.clearRequests();
    find<QPushButton>(*window, "btnServoOn")->click();

    QCOMPARE(writes(bus), QStringList({"06 00D4=0", "06 00A1=3", "06 006C=0"}));
    QCOMPARE(servo->text(), QStringLiteral("Servo ON"));
    QCOMPARE(servo->styleSheet(), QStringLiteral("color: #16a34a; font-weight: bold;"));
}

void MonitorTabTest::servoLabelIsKeptAfterAFailedSwitch()
{
    SimBus bus;
    bus.addDrive(lxgz40(Station));
    auto window = makeWindow();
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    QVERIFY(connectWindow(*window, bus, Station));
    showMonitorTab(*window);
    auto *servo = find<QLabel>(*window, "lblServoStatus");
    const QString textBefore = servo->text();
    const QString styleBefore = servo->styleSheet();
    QCOMPARE(textBefore, QStringLiteral("Servo ON"));

    SimFaults faults;
    faults.exceptionReplies = true;
    bus.setFaults(faults);
    find<QPushButton>(*window, "btnServoOff")->click();
    bus.setFaults(SimFaults());

    QCOMPARE(writes(bus).value(0), QStringLiteral("06 00D4=1"));
    QCOMPARE(servo->text(), textBefore);
    QCOMPARE(servo->styleSheet(), styleBefore);
    QVERIFY(!window->modbusWorker()->isPollingPaused());
}

void MonitorTabTest::clearAlarmWritesThenReadsTheHistory()
{
    SimBus bus;
    bus.addDrive(lxgz40(Station));
    auto window = makeWindow();
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    QVERIFY(connectWindow(*window, bus, Station));
    bus.setRegisterValue(Station, Reg::AlarmWord, 0x0012);
    QTRY_COMPARE_WITH_TIMEOUT(find<QLabel>(*window, "lblAlarmCurrent")->text(), QStringLiteral("過電壓 (2)"),
                              LinkWaitMs);
    showMonitorTab(*window);
    bus.clearRequests();

    find<QPushButton>(*window, "btnClearAlarm")->click();

    QStringList sent;
    const QVector<SimRequest> requests = bus.requests();
    for (const SimRequest &r : requests)
        sent << describe(r);
    const int clear = sent.indexOf(QStringLiteral("06 00A4=0"));
    QVERIFY(clear >= 0);
    QVERIFY(sent.indexOf(QStringLiteral("03 00A3"), clear) > clear);
    // Shown before any polled state could reach the window: the read-back did it.
    QCOMPARE(find<QLabel>(*window, "lblAlarmCurrent")->text(), QStringLiteral("正常"));
    QCOMPARE(find<QLabel>(*window, "lblAlarmCurrent")->styleSheet(), HistoryGreen);
    QCOMPARE(find<QLabel>(*window, "lblAlarmHist1")->text(), QStringLiteral("過電流 (1)"));
}

void MonitorTabTest::manualMotionWithoutALeadIsNotStarted()
{
    SimDriveConfig blank;
    blank.station = Station;
    blank.familyCode = 7;
    blank.rawLead = 0;
    SimBus bus;
    bus.addDrive(blank);
    auto window = makeWindow();
    window->engineerMode = true;
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    QVERIFY(connectWindow(*window, bus, Station));
    showMonitorTab(*window);

    press(*window, "btnJogP");
    release(*window, "btnJogP");
    find<QRadioButton>(*window, "rbJogNudge")->click();
    press(*window, "btnJogM");
    release(*window, "btnJogM");

    waitForPolls(*window);
    // Only the jog release speaks: a stop and the default speed are safe at any lead.
    QCOMPARE(writes(bus), QStringList({"06 00C8=0", "10 00D8=30000,0"}));
    QVERIFY(window->statusBar()->currentMessage().contains(QStringLiteral("導程")));
}

// ---- jog and nudge modes

void MonitorTabTest::nudgeModeSetsTheStepListAndDefaultStep()
{
    auto window = makeWindow();
    chooseEnglish(*window);
    auto *box = find<SteppedDoubleSpinBox>(*window, "spinJogSpeed");
    auto *slider = find<QSlider>(*window, "slideJogSpeed");

    find<QRadioButton>(*window, "rbJogNudge")->setChecked(true);

    QVERIFY(window->nudgeMode);
    QCOMPARE(window->nudgeStepMm, 0.1);
    QCOMPARE(box->stepList(), ManualMotion::nudgeSteps());
    QCOMPARE(box->decimals(), 2);
    QCOMPARE(box->minimum(), 0.01);
    QCOMPARE(box->maximum(), 5.0);
    QCOMPARE(box->suffix(), QStringLiteral(" mm"));
    QCOMPARE(box->value(), 0.1);
    QCOMPARE(slider->minimum(), 0);
    QCOMPARE(slider->maximum(), 5);
    QCOMPARE(slider->value(), 2);
    QCOMPARE(find<QLabel>(*window, "lblJogSpeedTitle")->text(), QStringLiteral("Nudge Dist.:"));
    QCOMPARE(find<QPushButton>(*window, "btnJogP")->text(), QStringLiteral("Nudge +"));
    QCOMPARE(find<QPushButton>(*window, "btnJogM")->text(), QStringLiteral("Nudge -"));

    // The arrows move through the list.
    box->stepUp();
    QCOMPARE(box->value(), 0.5);
    QCOMPARE(window->nudgeStepMm, 0.5);
    QCOMPARE(slider->value(), 3);

    find<QRadioButton>(*window, "rbJogMove")->setChecked(true);

    QVERIFY(!window->nudgeMode);
    QVERIFY(box->stepList().isEmpty());
    QCOMPARE(box->decimals(), 0);
    QCOMPARE(box->suffix(), QStringLiteral(" mm/s"));
    // Not connected: the jog row allows up to 50 mm/s.
    QCOMPARE(box->minimum(), 1.0);
    QCOMPARE(box->maximum(), 50.0);
    QCOMPARE(slider->maximum(), 50);
    QCOMPARE(box->value(), 1.0);
    QCOMPARE(slider->value(), 1);
    box->stepUp();
    QCOMPARE(box->value(), 2.0);
    QCOMPARE(find<QLabel>(*window, "lblJogSpeedTitle")->text(), QStringLiteral("Jog Speed:"));
    QCOMPARE(find<QPushButton>(*window, "btnJogP")->text(), QStringLiteral("Jog +"));
}

void MonitorTabTest::nudgeBoxAndSliderFollowEachOther()
{
    auto window = makeWindow();
    // The monitor tab's widgets take typing only while the tab is enabled.
    window->setTabsEnabled(true);
    auto *box = find<SteppedDoubleSpinBox>(*window, "spinJogSpeed");
    auto *slider = find<QSlider>(*window, "slideJogSpeed");

    slider->setValue(12);
    QCOMPARE(box->value(), 12.0);
    box->setValue(7);
    QCOMPARE(slider->value(), 7);

    find<QRadioButton>(*window, "rbJogNudge")->setChecked(true);

    typeInto(box, QStringLiteral("0.75"));
    QCOMPARE(window->nudgeStepMm, 0.75);
    QCOMPARE(slider->value(), 3);
    typeInto(box, QStringLiteral("3"));
    QCOMPARE(window->nudgeStepMm, 3.0);
    QCOMPARE(slider->value(), 4);

    slider->setValue(5);
    QCOMPARE(window->nudgeStepMm, 5.0);
    QCOMPARE(box->value(), 5.0);
    slider->setValue(0);
    QCOMPARE(window->nudgeStepMm, 0.01);
    QCOMPARE(box->value(), 0.01);
}

void MonitorTabTest::jogModeTakesTheConnectedDrivesLimit()
{
    SimDriveConfig lxaz;  // LXAZ-16L01-50-BC: 10 mm/s at most
    lxaz.station = Station;
    SimBus bus;
    bus.addDrive(lxaz);
    auto window = makeWindow();
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");
    QVERIFY(connectWindow(*window, bus, Station));
    auto *box = find<SteppedDoubleSpinBox>(*window, "spinJogSpeed");

    find<QRadioButton>(*window, "rbJogNudge")->setChecked(true);
    box->setValue(5.0);
    find<QRadioButton>(*window, "rbJogMove")->setChecked(true);

    QCOMPARE(box->maximum(), 10.0);
    QCOMPARE(find<QSlider>(*window, "slideJogSpeed")->maximum(), 10);
    QCOMPARE(box->value(), 5.0);
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
    MonitorTabTest test(config.filePath(QStringLiteral("Torvane/TorvaneVexaElectricActuator.conf")));
    return QTest::qExec(&test, argc, argv);
}

#include "tst_monitortab.moc"
