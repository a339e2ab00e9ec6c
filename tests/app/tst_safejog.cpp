// A jog never keeps running because its button missed the release: every way
// the hold can end sends the release's stop, seen on the simulated drive's
// wire, and the rod stops. Esc and the Stop button stop from anywhere.

#include "paramwindowbench.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

namespace {

constexpr int WaitMs = 10000;
const QString Stop = QStringLiteral("06 00C8=0000 @3");
const QString DefaultSpeed = QStringLiteral("10 00D8=7530,0000 @3");  // 30000: 300 rpm

enum Trigger {
    Release,
    PointerLeaves,
    GrabLost,
    FocusMoves,
    WindowDeactivated,
    WindowMinimised,
    TabSwitched,
    EscOnTheButton,
};

}  // namespace

Q_DECLARE_METATYPE(Trigger)

class SafeJogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyEndOfTheHoldStopsTheJog_data();
    void everyEndOfTheHoldStopsTheJog();
    void disconnectingStopsTheJogBeforeTheLinkCloses();
    void escStopsAJogFromAnyWidget_data();
    void escStopsAJogFromAnyWidget();
    void stopButtonStopsTheJogAndPulsesTheStopInput();
    void stopButtonEndsAMoveToAPosition();
    void focusAndTabChangesWithoutAJogSendNothing();
    void tipsAndStopTextFollowTheLanguage();

private:
    // Connected, the Monitor tab shown in an active window, the rod at 20 mm.
    QString prepare(ParamWindowBench &bench);
    // Presses Jog + and waits until the rod moves; the log then starts empty.
    void startJog(ParamWindowBench &bench);
    // Waits for a few polls and checks the rod stands still over them.
    void expectStandstill(ParamWindowBench &bench);
    int count(const QStringList &lines, const QString &line) const { return lines.count(line); }
};

QString SafeJogTest::prepare(ParamWindowBench &bench)
{
    const QString started = bench.start(ParamWindowBench::lead1Drive());
    if (!started.isEmpty())
        return started;
    bench.bus.setPositionMm(bench.station, 20.0);
    MainWindow *window = bench.window.get();
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        return QStringLiteral("the window was not exposed");
    QApplication::setActiveWindow(window);
    if (!QTest::qWaitFor([window] { return window->isActiveWindow(); }, WaitMs))
        return QStringLiteral("the window could not be activated");
    bench.find<QTabWidget>("mainTabs")->setCurrentIndex(MainWindow::MonitorTab);
    return QString();
}

void SafeJogTest::startJog(ParamWindowBench &bench)
{
    QTest::mousePress(bench.find<QPushButton>("btnJogP"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(bench.bus.positionMm(bench.station) > 20.05, WaitMs);
    QVERIFY(bench.writes().contains(QStringLiteral("06 00C8=0001 @3")));
    bench.bus.clearRequests();
}

void SafeJogTest::expectStandstill(ParamWindowBench &bench)
{
    QSignalSpy states(bench.worker(), &ModbusWorker::stateUpdated);
    QVERIFY(QTest::qWaitFor([&] { return states.size() >= 2; }, WaitMs));
    const double stoppedAt = bench.bus.positionMm(bench.station);
    QVERIFY(QTest::qWaitFor([&] { return states.size() >= 5; }, WaitMs));
    QCOMPARE(bench.bus.positionMm(bench.station), stoppedAt);
}

void SafeJogTest::everyEndOfTheHoldStopsTheJog_data()
{
    QTest::addColumn<Trigger>("trigger");

    QTest::newRow("button released") << Release;
    QTest::newRow("pointer leaves the held button") << PointerLeaves;
    QTest::newRow("button loses the mouse grab") << GrabLost;
    QTest::newRow("keyboard focus moves away") << FocusMoves;
    QTest::newRow("window deactivated") << WindowDeactivated;
    QTest::newRow("window minimised") << WindowMinimised;
    QTest::newRow("another tab selected") << TabSwitched;
    QTest::newRow("Esc on the held button") << EscOnTheButton;
}

void SafeJogTest::everyEndOfTheHoldStopsTheJog()
{
    QFETCH(Trigger, trigger);
    ParamWindowBench bench;
    const QString prepared = prepare(bench);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    startJog(bench);
    auto *jog = bench.find<QPushButton>("btnJogP");
    QWidget other;

    switch (trigger) {
    case Release:
        QTest::mouseRelease(jog, Qt::LeftButton);
        break;
    case PointerLeaves: {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(jog, &leave);
        break;
    }
    case GrabLost: {
        QEvent ungrab(QEvent::UngrabMouse);
        QApplication::sendEvent(jog, &ungrab);
        break;
    }
    case FocusMoves:
        bench.find<QWidget>("spinJogSpeed")->setFocus(Qt::TabFocusReason);
        break;
    case WindowDeactivated:
        other.show();
        QApplication::setActiveWindow(&other);
        break;
    case WindowMinimised:
        bench.window->showMinimized();
        break;
    case TabSwitched:
        bench.find<QTabWidget>("mainTabs")->setCurrentIndex(MainWindow::AdvancedTab);
        break;
    case EscOnTheButton:
        QTest::keyClick(jog, Qt::Key_Escape);
        break;
    }

    QTRY_VERIFY_WITH_TIMEOUT(bench.writes().contains(Stop), WaitMs);
    expectStandstill(bench);
    const QStringList sent = bench.writes();
    // The release's stop, once, and the speed register back to its default after it.
    QCOMPARE(count(sent, Stop), 1);
    QVERIFY2(sent.indexOf(DefaultSpeed) > sent.indexOf(Stop), qPrintable(sent.join(QLatin1String("; "))));
    QVERIFY(!bench.worker()->isPollingPaused());
}

void SafeJogTest::disconnectingStopsTheJogBeforeTheLinkCloses()
{
    ParamWindowBench bench;
    const QString prepared = prepare(bench);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    startJog(bench);

    // Clicked from the code, with the jog button still down.
    bench.find<QPushButton>("btnDisconnect")->click();

    QVERIFY(!bench.connected());
    QCOMPARE(count(bench.writes(), Stop), 1);
    const double stoppedAt = bench.bus.positionMm(bench.station);
    QTest::qWait(300);  // a drive still jogging moves 1.5 mm in this time
    QCOMPARE(bench.bus.positionMm(bench.station), stoppedAt);
}

void SafeJogTest::escStopsAJogFromAnyWidget_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("widget");

    QTest::newRow("jog speed box") << int(MainWindow::MonitorTab) << "spinJogSpeed";
    QTest::newRow("language list in the header") << int(MainWindow::MonitorTab) << "cbLanguage";
    QTest::newRow("a box on the Motion tab") << int(MainWindow::MotionTab) << "spinD_pos0Speed";
    QTest::newRow("a button on the Advanced tab") << int(MainWindow::AdvancedTab) << "btnReadAllParams";
}

void SafeJogTest::escStopsAJogFromAnyWidget()
{
    QFETCH(int, tab);
    QFETCH(QString, widget);
    ParamWindowBench bench;
    const QString prepared = prepare(bench);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    bench.find<QTabWidget>("mainTabs")->setCurrentIndex(tab);
    QTest::qWait(300);  // the tab's own reads
    auto *target = bench.window->findChild<QWidget *>(widget);
    QVERIFY(target);
    target->setFocus(Qt::OtherFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), target);
    // A jog the window does not hold a button for: started on the drive directly.
    const quint8 station = bench.station;
    QVERIFY(bench.worker()->syncWrite(station, Reg::ManualMode, Reg::ManualModeValue));
    QVERIFY(bench.worker()->syncWrite(station, Reg::ManualCommand, Reg::ManualCommandValue::JogPlus));
    QTRY_VERIFY_WITH_TIMEOUT(bench.bus.positionMm(station) > 20.05, WaitMs);
    bench.bus.clearRequests();

    QTest::keyClick(target, Qt::Key_Escape);

    QCOMPARE(count(bench.writes(), Stop), 1);
    expectStandstill(bench);
}

void SafeJogTest::stopButtonStopsTheJogAndPulsesTheStopInput()
{
    ParamWindowBench bench;
    const QString prepared = prepare(bench);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    auto *stop = bench.find<QPushButton>("btnStopMotion");
    QVERIFY(stop);
    QVERIFY(stop->isVisible());
    startJog(bench);

    stop->click();

    QTRY_VERIFY_WITH_TIMEOUT(bench.wire().contains(QStringLiteral("06 006C=0000 @3")), WaitMs);
    expectStandstill(bench);
    QCOMPARE(bench.wire(), QStringList({Stop, DefaultSpeed, "03 006C/1 @3", "06 006C=0004 @3", "03 006C/1 @3",
                                        "06 006C=0000 @3"}));
}

void SafeJogTest::stopButtonEndsAMoveToAPosition()
{
    ParamWindowBench bench;
    const QString prepared = prepare(bench);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    // Position 2 far away, approached at 1 mm/s.
    bench.setReg32(Reg::Pos1Position, 45000);
    bench.setReg32(Reg::Pos1Speed, 6000);
    bench.find<QPushButton>("btnSimX1")->click();
    QTRY_VERIFY_WITH_TIMEOUT(bench.bus.positionMm(bench.station) > 20.02, WaitMs);

    bench.find<QPushButton>("btnStopMotion")->click();

    QTRY_VERIFY_WITH_TIMEOUT(bench.writes().contains(QStringLiteral("06 006C=0004 @3")), WaitMs);
    expectStandstill(bench);
    QVERIFY(bench.bus.positionMm(bench.station) < 44.0);
}

void SafeJogTest::focusAndTabChangesWithoutAJogSendNothing()
{
    ParamWindowBench bench;
    const QString prepared = prepare(bench);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    auto *jog = bench.find<QPushButton>("btnJogP");
    // A jog that ended with its release.
    QTest::mousePress(jog, Qt::LeftButton);
    QTest::mouseRelease(jog, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(count(bench.writes(), Stop), 1, WaitMs);
    bench.bus.clearRequests();

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(jog, &leave);
    bench.find<QWidget>("spinJogSpeed")->setFocus(Qt::TabFocusReason);
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QApplication::setActiveWindow(bench.window.get());
    bench.find<QTabWidget>("mainTabs")->setCurrentIndex(MainWindow::ConnectionTab);
    bench.find<QTabWidget>("mainTabs")->setCurrentIndex(MainWindow::MonitorTab);

    QSignalSpy states(bench.worker(), &ModbusWorker::stateUpdated);
    QVERIFY(QTest::qWaitFor([&] { return states.size() >= 3; }, WaitMs));
    QCOMPARE(count(bench.writes(), Stop), 0);
}

void SafeJogTest::tipsAndStopTextFollowTheLanguage()
{
    ParamWindowBench bench;
    const QString built = bench.build(ParamWindowBench::lead1Drive());
    if (!built.isEmpty())
        QSKIP(qPrintable(built));
    auto *stop = bench.find<QPushButton>("btnStopMotion");
    QCOMPARE(stop->text(), QStringLiteral("STOP"));
    QVERIFY(stop->toolTip().contains(QLatin1String("Esc")));
    QCOMPARE(bench.find<QPushButton>("btnJogP")->toolTip(),
             QStringLiteral("Hold to move, release to stop; Esc stops at any time"));

    bench.find<QComboBox>("cbLanguage")->setCurrentIndex(0);

    QCOMPARE(stop->text(), QStringLiteral("停止"));
    QCOMPARE(bench.find<QPushButton>("btnJogM")->toolTip(), QStringLiteral("按住移動，放開即停止；Esc 隨時停止"));
    // Nudge mode keeps the tips and the button.
    bench.find<QRadioButton>("rbJogNudge")->setChecked(true);
    QVERIFY(stop->isEnabledTo(bench.find<QWidget>("tabOperation")));
    QCOMPARE(bench.find<QPushButton>("btnJogP")->toolTip(), QStringLiteral("按住移動，放開即停止；Esc 隨時停止"));
}

int main(int argc, char *argv[])
{
    return runWindowTest<SafeJogTest>(argc, argv);
}

#include "tst_safejog.moc"
