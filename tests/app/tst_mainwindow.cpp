#include "alarmtext.h"
#include "mainwindow.h"
#include "modbusworker.h"
#include "scripteddialogs.h"
#include "simbus.h"
#include "steppeddoublespinbox.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSerialPortInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <memory>

namespace {

const QString LampOff = QStringLiteral("background-color:#d1d5db;border-radius:8px;border:1px solid #9ca3af;");
const QString LampAlarm = QStringLiteral("background-color:#ef4444;border-radius:8px;border:1px solid #b91c1c;");
const QString LampOn = QStringLiteral("background-color:#10b981;border-radius:8px;border:1px solid #047857;");
const QString AlarmRed = QStringLiteral("font-weight:bold; color:#dc2626; padding:2px 8px;");
const QString AlarmGreen = QStringLiteral("font-weight:bold; color:#16a34a; padding:2px 8px;");

const char *const lampNames[] = {"ledConnection", "ledAlarm", "ledX0", "ledX1", "ledX2",
                                 "ledX7",         "ledY0",    "ledY1", "ledY2"};

}  // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

public:
    explicit MainWindowTest(const QString &settingsFile) : settingsFile(settingsFile) {}

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void titleCarriesTheVersionAfterTwoBlanks();
    void startsDisconnectedOnTheConnectionTab();
    void engineeringPagesStartLocked();
    void jogSpeedBoxIsSteppedInTheDesignedSlot();
    void designedJogSpeedBoxIsGoneAfterStartUp();
    void allLampsStartGrey();
    void tablesAreReadOnly();
    void portListHoldsThePlatformPortsInOrder();
    void workerIsCreatedBeforeEveryWidget();

    void lampPainterColours_data();
    void lampPainterColours();
    void lampPainterIgnoresAMissingLabel();
    void tabsOneToFourFollowTheConnectionTogether();

    void otherTabWhileDisconnectedWarnsAndReturns_data();
    void otherTabWhileDisconnectedWarnsAndReturns();
    void returningToTheConnectionTabLocksTheEngineeringPage();
    void warningFollowsTheLanguage();
    void installedDialogsReplaceTheDefaultOnes();

    void alarmHistoryTexts_data();
    void alarmHistoryTexts();
    void alarmHistoryShowsEachCodeInItsColour();

    void destroyingAnIdleWindowEndsItsWorker();
    void closingWhileConnectedWaitsForTheWorkerBeforeTheWidgetsGo();

private:
    template <typename T> T *find(MainWindow &window, const char *name)
    {
        return window.findChild<T *>(QLatin1String(name));
    }
    std::unique_ptr<MainWindow> makeWindow();

    const QString settingsFile;
    ScriptedDialogs *dialogs = nullptr;
};

void MainWindowTest::initTestCase()
{
    // Refuse to run against the user's real settings.
    QSettings settings(QStringLiteral("Torvane"), QStringLiteral("TorvaneVexaElectricActuator"));
    QCOMPARE(QFileInfo(settings.fileName()).absoluteFilePath(),
             QFileInfo(settingsFile).absoluteFilePath());
}

void MainWindowTest::init()
{
    QFile::remove(settingsFile);
}

void MainWindowTest::cleanup()
{
    dialogs = nullptr;
}

std::unique_ptr<MainWindow> MainWindowTest::makeWindow()
{
    auto window = std::make_unique<MainWindow>();
    auto scripted = std::make_unique<ScriptedDialogs>();
    dialogs = scripted.get();
    window->setDialogs(std::move(scripted));
    return window;
}

void MainWindowTest::titleCarriesTheVersionAfterTwoBlanks()
{
    auto window = makeWindow();
    QCOMPARE(window->windowTitle(), QStringLiteral("Torvane Vexa Electric Actuator  v1.0.0"));
    QCOMPARE(find<QLabel>(*window, "label_SwVersion")->text(), QStringLiteral("v1.0.0"));
}

void MainWindowTest::startsDisconnectedOnTheConnectionTab()
{
    auto window = makeWindow();
    auto *tabs = find<QTabWidget>(*window, "mainTabs");
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 5);
    QCOMPARE(tabs->currentIndex(), 0);
    QVERIFY(tabs->isTabEnabled(0));
    for (int i = 1; i < 5; ++i)
        QVERIFY2(!tabs->isTabEnabled(i), qPrintable(QStringLiteral("tab %1").arg(i)));
    QVERIFY(tabs->isTabVisible(0));
    QVERIFY(!tabs->isTabVisible(4));
    QCOMPARE(tabs->widget(4)->objectName(), QStringLiteral("tabEngineering"));

    QVERIFY(!find<QWidget>(*window, "btnConnect")->isEnabled());
    QVERIFY(!find<QWidget>(*window, "btnDisconnect")->isEnabled());
    QCOMPARE(dialogs->count(), 0);
}

void MainWindowTest::engineeringPagesStartLocked()
{
    auto window = makeWindow();
    auto *stack = find<QStackedWidget>(*window, "engStack");
    QCOMPARE(stack->currentWidget()->objectName(), QStringLiteral("pageLogin"));
    QVERIFY(find<QLineEdit>(*window, "engPassword")->text().isEmpty());
    QCOMPARE(find<QLineEdit>(*window, "engPassword")->echoMode(), QLineEdit::Password);
    QVERIFY(find<QLabel>(*window, "engPwdError")->isHidden());
    QVERIFY(find<QTextEdit>(*window, "cmpLogs")->isReadOnly());
}

void MainWindowTest::jogSpeedBoxIsSteppedInTheDesignedSlot()
{
    auto window = makeWindow();
    const QList<QDoubleSpinBox *> named =
        window->findChildren<QDoubleSpinBox *>(QStringLiteral("spinJogSpeed"));
    QCOMPARE(named.size(), 1);
    auto *box = qobject_cast<SteppedDoubleSpinBox *>(named.first());
    QVERIFY2(box, "spinJogSpeed is not a stepped box");

    // Same group and the same place in the jog row: right after the speed slider.
    QCOMPARE(box->parentWidget()->objectName(), QStringLiteral("groupBox_PosADJ"));
    auto *row = window->findChild<QHBoxLayout *>(QStringLiteral("horizontalLayout_jog"));
    QVERIFY(row);
    const int sliderIndex = row->indexOf(find<QSlider>(*window, "slideJogSpeed"));
    QVERIFY(sliderIndex >= 0);
    QCOMPARE(row->indexOf(box), sliderIndex + 1);
    QCOMPARE(row->count(), 3);

    QCOMPARE(box->decimals(), 0);
    QCOMPARE(box->minimum(), 1.0);
    QCOMPARE(box->maximum(), 15.0);
    QCOMPARE(box->singleStep(), 1.0);
    QCOMPARE(box->suffix(), QStringLiteral(" mm/s"));
    QCOMPARE(box->value(), 5.0);
    QVERIFY(box->stepList().isEmpty());
    QVERIFY(!box->isHidden());
}

void MainWindowTest::designedJogSpeedBoxIsGoneAfterStartUp()
{
    auto window = makeWindow();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    auto *group = find<QWidget>(*window, "groupBox_PosADJ");
    const QList<QDoubleSpinBox *> boxes =
        group->findChildren<QDoubleSpinBox *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(boxes.size(), 1);
    QVERIFY(qobject_cast<SteppedDoubleSpinBox *>(boxes.first()));
}

void MainWindowTest::allLampsStartGrey()
{
    auto window = makeWindow();
    for (const char *name : lampNames) {
        auto *lamp = find<QLabel>(*window, name);
        QVERIFY2(lamp, name);
        QCOMPARE(lamp->styleSheet(), LampOff);
        QVERIFY(lamp->text().isEmpty());
        QCOMPARE(lamp->size(), QSize(16, 16));
    }
}

void MainWindowTest::tablesAreReadOnly()
{
    auto window = makeWindow();
    auto *scan = find<QTableWidget>(*window, "tableScan");
    auto *compare = find<QTableWidget>(*window, "cmpTable");
    QCOMPARE(scan->columnCount(), 5);
    QCOMPARE(compare->columnCount(), 5);
    QCOMPARE(scan->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(compare->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(compare->horizontalHeader()->stretchLastSection());
    QCOMPARE(scan->horizontalHeader()->sectionResizeMode(0), QHeaderView::Stretch);
}

void MainWindowTest::portListHoldsThePlatformPortsInOrder()
{
    QStringList expected;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports)
        expected << port.portName();

    auto window = makeWindow();
    auto *combo = find<QComboBox>(*window, "cbPorts");
    QStringList listed;
    for (int i = 0; i < combo->count(); ++i)
        listed << combo->itemText(i);
    QCOMPARE(listed, expected);
}

void MainWindowTest::workerIsCreatedBeforeEveryWidget()
{
    auto window = makeWindow();
    const QObjectList children = window->children();
    int workerIndex = -1;
    int firstWidget = -1;
    for (int i = 0; i < children.size(); ++i) {
        if (workerIndex < 0 && qobject_cast<ModbusWorker *>(children.at(i)))
            workerIndex = i;
        if (firstWidget < 0 && children.at(i)->isWidgetType())
            firstWidget = i;
    }
    QVERIFY(workerIndex >= 0);
    QVERIFY(firstWidget >= 0);
    QVERIFY2(workerIndex < firstWidget, "a widget would be destroyed before the worker's thread ends");
    QVERIFY(!qobject_cast<ModbusWorker *>(children.at(workerIndex))->isRunning());
}

void MainWindowTest::lampPainterColours_data()
{
    QTest::addColumn<bool>("on");
    QTest::addColumn<bool>("alarm");
    QTest::addColumn<QString>("style");

    QTest::newRow("off") << false << false << LampOff;
    QTest::newRow("off wins over alarm") << false << true << LampOff;
    QTest::newRow("on") << true << false << LampOn;
    QTest::newRow("on with alarm") << true << true << LampAlarm;
}

void MainWindowTest::lampPainterColours()
{
    QFETCH(bool, on);
    QFETCH(bool, alarm);
    QFETCH(QString, style);

    auto window = makeWindow();
    auto *lamp = find<QLabel>(*window, "ledAlarm");
    window->setLed(lamp, !on, !alarm);
    window->setLed(lamp, on, alarm);
    QCOMPARE(lamp->styleSheet(), style);
}

void MainWindowTest::lampPainterIgnoresAMissingLabel()
{
    auto window = makeWindow();
    window->setLed(nullptr, true, true);
    for (const char *name : lampNames)
        QCOMPARE(find<QLabel>(*window, name)->styleSheet(), LampOff);
}

void MainWindowTest::tabsOneToFourFollowTheConnectionTogether()
{
    auto window = makeWindow();
    auto *tabs = find<QTabWidget>(*window, "mainTabs");

    window->setTabsEnabled(true);
    for (int i = 0; i < 5; ++i)
        QVERIFY(tabs->isTabEnabled(i));

    window->setTabsEnabled(false);
    QVERIFY(tabs->isTabEnabled(0));
    for (int i = 1; i < 5; ++i)
        QVERIFY(!tabs->isTabEnabled(i));
}

void MainWindowTest::otherTabWhileDisconnectedWarnsAndReturns_data()
{
    QTest::addColumn<int>("tab");

    QTest::newRow("monitor") << 1;
    QTest::newRow("motion") << 2;
    QTest::newRow("advanced") << 3;
    QTest::newRow("engineering") << 4;
}

void MainWindowTest::otherTabWhileDisconnectedWarnsAndReturns()
{
    QFETCH(int, tab);

    auto window = makeWindow();
    auto *tabs = find<QTabWidget>(*window, "mainTabs");
    // Reached even with the tab enabled, as a keyboard or program switch would.
    window->setTabsEnabled(true);
    int tabWhileWarning = -1;
    dialogs->onShow = [&](const ScriptedDialogs::Shown &) { tabWhileWarning = tabs->currentIndex(); };

    tabs->setCurrentIndex(tab);

    QCOMPARE(dialogs->count(), 1);
    const ScriptedDialogs::Shown box = dialogs->last();
    QCOMPARE(box.kind, ScriptedDialogs::Kind::Message);
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.title, QStringLiteral("Warning"));
    QCOMPARE(box.text, QStringLiteral("請先建立連線！"));
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(tabWhileWarning, tab);

    QCOMPARE(tabs->currentIndex(), 0);
}

void MainWindowTest::returningToTheConnectionTabLocksTheEngineeringPage()
{
    auto window = makeWindow();
    auto *stack = find<QStackedWidget>(*window, "engStack");
    auto *password = find<QLineEdit>(*window, "engPassword");
    auto *error = find<QLabel>(*window, "engPwdError");
    stack->setCurrentIndex(1);
    password->setText(QStringLiteral("typed"));
    error->show();
    window->setTabsEnabled(true);

    find<QTabWidget>(*window, "mainTabs")->setCurrentIndex(4);

    QCOMPARE(stack->currentIndex(), 0);
    QVERIFY(password->text().isEmpty());
    QVERIFY(error->isHidden());
}

void MainWindowTest::warningFollowsTheLanguage()
{
    auto window = makeWindow();
    find<QComboBox>(*window, "cbLanguage")->setCurrentIndex(1);
    QCOMPARE(window->currentLanguage(), QStringLiteral("en"));

    find<QTabWidget>(*window, "mainTabs")->setCurrentIndex(2);

    QCOMPARE(dialogs->count(), 1);
    QCOMPARE(dialogs->last().title, QStringLiteral("Warning"));
    QCOMPARE(dialogs->last().text, QStringLiteral("Please connect first!"));
}

void MainWindowTest::installedDialogsReplaceTheDefaultOnes()
{
    MainWindow window;
    QVERIFY(window.dialogs());
    QVERIFY(!dynamic_cast<ScriptedDialogs *>(window.dialogs()));

    auto scripted = std::make_unique<ScriptedDialogs>();
    ScriptedDialogs *raw = scripted.get();
    window.setDialogs(std::move(scripted));
    QCOMPARE(window.dialogs(), static_cast<Dialogs *>(raw));
}

void MainWindowTest::alarmHistoryTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("text");

    QTest::newRow("normal alone, zh") << 0 << "zh" << "正常";
    QTest::newRow("normal alone, en") << 0 << "en" << "Normal";
    QTest::newRow("named alarm, zh") << 6 << "zh" << "位置超差 (6)";
    QTest::newRow("named alarm, en") << 1 << "en" << "Overcurrent (1)";
    QTest::newRow("last named alarm") << 10 << "en" << "Encoder Err (10)";
    QTest::newRow("no name") << 12 << "en" << "Unknown(12)";
    QTest::newRow("no name, zh") << 15 << "zh" << "Unknown(15)";
}

void MainWindowTest::alarmHistoryTexts()
{
    QFETCH(int, code);
    QFETCH(QString, lang);
    QFETCH(QString, text);

    QCOMPARE(alarmHistoryText(code, lang), text);
}

void MainWindowTest::alarmHistoryShowsEachCodeInItsColour()
{
    auto window = makeWindow();
    find<QComboBox>(*window, "cbLanguage")->setCurrentIndex(1);

    window->updateAlarmHistory(0x0312);

    const struct {
        const char *label;
        QString text;
        QString style;
    } expected[] = {
        {"lblAlarmCurrent", QStringLiteral("Overvoltage (2)"), AlarmRed},
        {"lblAlarmHist1", QStringLiteral("Overcurrent (1)"), AlarmRed},
        {"lblAlarmHist2", QStringLiteral("Undervoltage (3)"), AlarmRed},
        {"lblAlarmHist3", QStringLiteral("Normal"), AlarmGreen},
    };
    for (const auto &field : expected) {
        auto *label = find<QLabel>(*window, field.label);
        QCOMPARE(label->text(), field.text);
        QCOMPARE(label->styleSheet(), field.style);
    }
}

void MainWindowTest::destroyingAnIdleWindowEndsItsWorker()
{
    auto window = makeWindow();
    QPointer<ModbusWorker> worker = window->findChild<ModbusWorker *>();
    QPointer<QWidget> central = window->centralWidget();
    QVERIFY(worker);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    window.reset();

    QVERIFY(worker.isNull());
    QVERIFY(central.isNull());
}

void MainWindowTest::closingWhileConnectedWaitsForTheWorkerBeforeTheWidgetsGo()
{
    SimBus bus;
    SimDriveConfig drive;
    drive.station = 3;
    bus.addDrive(drive);
    if (!bus.start())
        QSKIP("no pseudo-terminal for the simulated bus");

    auto window = makeWindow();
    auto *worker = window->findChild<ModbusWorker *>();
    QVERIFY(worker);
    worker->setPortName(bus.portPath());
    worker->setStation(3);
    QSignalSpy states(worker, &ModbusWorker::stateUpdated);
    QPointer<QWidget> central = window->centralWidget();
    int finished = 0;
    bool widgetsAliveWhenFinished = false;
    connect(worker, &QThread::finished, worker, [&] {
        ++finished;
        widgetsAliveWhenFinished = !central.isNull();
    }, Qt::DirectConnection);

    worker->start();
    QTRY_VERIFY_WITH_TIMEOUT(!states.isEmpty(), 10000);
    QVERIFY(worker->isRunning());

    window.reset();

    QCOMPARE(finished, 1);
    QVERIFY(widgetsAliveWhenFinished);
    QVERIFY(central.isNull());
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
    MainWindowTest test(config.filePath(QStringLiteral("Torvane/TorvaneVexaElectricActuator.conf")));
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
