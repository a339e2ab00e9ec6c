// Stops win on the wire; motion starts only at a confirmed speed; an unconfirmed
// stop is retried and reported; the servo-off notice; no station address conflicts.

#include "dictionary.h"
#include "registers.h"
#include "testmain.h"
#include "windowfixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QThread>
#include <QSpinBox>
#include <QStatusBar>

#include <algorithm>
#include <atomic>

namespace {

constexpr quint8 Station = 1;
const QString Stop = QStringLiteral("1 06 00C8 = 0000");

}  // namespace

class WindowStopTest : public QObject
{
    Q_OBJECT

    WindowFixture fx;
    quint16 inputsAtStart = 0;

    QAbstractButton *button(const QString &name) const { return fx.find<QAbstractButton>(qPrintable(name)); }
    QString text(const char *key) const { return translateKey(QLatin1String(key), fx.window->currentLanguage()); }
    QString statusText() const { return fx.window->statusBar()->currentMessage(); }
    void runWith(const char *fault, const std::function<void()> &action)
    {
        fx.bus.setFaults(faultsOf(fault));
        action();
        fx.bus.setFaults(SimFaults());
    }
    // The last write that starts or stops manual motion: "stop", "start C8=100", "start CE", or
    // "start 6C=1" for a rising edge of input 1 or 2.
    QString lastMotionWrite() const
    {
        QString last;
        quint16 inputs = inputsAtStart;
        for (const SimRequest &r : fx.bus.requests()) {
            const quint16 value = r.values.value(0);
            if (r.function == 0x10 && r.address == Reg::NudgeDistance)
                last = QStringLiteral("start CE");
            if (r.function == 0x06 && r.address == Reg::ManualCommand)
                last = value == Reg::ManualCommandValue::Stop ? QStringLiteral("stop")
                                                              : QStringLiteral("start C8=%1").arg(value, 0, 16);
            if (r.function == 0x06 && r.address == Reg::CommandInputs) {
                if (value & ~inputs & 0x0003)
                    last = QStringLiteral("start 6C=%1").arg(value, 0, 16);
                inputs = value;
            }
        }
        return last;
    }

private Q_SLOTS:
    void initTestCase()
    {
        VEXA_REQUIRE(fx.startBus({WindowFixture::drive(Station)}), "no pseudo-terminal for the simulated bus");
        QVERIFY2(fx.showWindow(QStringLiteral("en")), qPrintable(fx.failure()));
        QVERIFY2(fx.connectTo(Station), qPrintable(fx.failure()));
        fx.tabs()->setCurrentIndex(MainWindow::MonitorTab);
    }

    void init()
    {
        button("rbJogMove")->click();
        fx.quiesce();
        fx.worker()->setPollingPaused(false);  // a stop must also overtake polling
        QVERIFY(fx.waitPolls(1));
        fx.bus.clearRequests();
        inputsAtStart = fx.reg(Reg::CommandInputs);
        fx.window->statusBar()->clearMessage();
    }

    void stopWinsOverQueuedMotion_data()
    {
        QTest::addColumn<QString>("motion");
        QTest::addColumn<int>("delayMs");
        for (int delay : {0, 20, 45, 80})
            QTest::addRow("home, STOP after %d ms", delay) << "btnHome" << delay;
        QTest::newRow("input 1, STOP") << "btnSimX0" << 0;
        QTest::newRow("jog held, Esc") << "btnJogP" << 30;
    }
    void stopWinsOverQueuedMotion()
    {
        QFETCH(QString, motion);
        QFETCH(int, delayMs);
        const bool jog = motion == QLatin1String("btnJogP");
        jog ? QTest::mousePress(button(motion), Qt::LeftButton) : button(motion)->click();
        QTest::qWait(delayMs);
        if (jog) {
            QTest::keyClick(button(motion), Qt::Key_Escape);
            QTest::mouseRelease(button(motion), Qt::LeftButton);
        } else {
            button("btnStopMotion")->click();
        }
        fx.waitQuiet(300);  // anything still queued would be on the wire by now
        QCOMPARE(lastMotionWrite(), QStringLiteral("stop"));
        QCOMPARE(fx.dialogs->count(), 0);
    }

    void motionStartsOnlyAtAConfirmedSpeed_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("jog") << "rbJogMove";
        QTest::newRow("nudge") << "rbJogNudge";
    }
    void motionStartsOnlyAtAConfirmedSpeed()
    {
        QFETCH(QString, mode);
        button(mode)->click();
        runWith("exception", [&] { QTest::mousePress(button("btnJogP"), Qt::LeftButton); });
        QTest::mouseRelease(button("btnJogP"), Qt::LeftButton);
        fx.waitQuiet();
        QCOMPARE(fx.writes().filter(QLatin1String(" 00D8 = ")).size(), 1);
        QCOMPARE(lastMotionWrite(), QString());
        QVERIFY2(statusText().contains(QLatin1String("Exception 04")), qPrintable(statusText()));
        QCOMPARE(fx.dialogs->count(), 0);
    }

    void unconfirmedStopIsRetriedThenReported()
    {
        QTest::mousePress(button("btnJogP"), Qt::LeftButton);
        QCOMPARE(lastMotionWrite(), QStringLiteral("start C8=1"));
        runWith("silence", [&] { QTest::mouseRelease(button("btnJogP"), Qt::LeftButton); });
        QCOMPARE(fx.writes().count(Stop), 4);  // the stop and three retries
        QCOMPARE(fx.writes().filter(QLatin1String(" 00D8 = ")).size(), 1);  // the jog's; no default restored
        QCOMPARE(fx.dialogs->count(), 1);
        QCOMPARE(fx.dialogs->last().icon, QMessageBox::Critical);
        QCOMPARE(fx.dialogs->last().title, text("stop_unconfirmed_title"));

        // Confirmed again: the speed register goes back to its default.
        button("btnStopMotion")->click();
        QCOMPARE(fx.writes().filter(QLatin1String(" 00D8 = ")).mid(1), QStringList{"1 10 00D8 = 7530 0000"});
    }

    void servoOffIsNoticedByMotionButtons_data()
    {
        QTest::addColumn<QString>("motion");
        QTest::addColumn<QString>("command");  // still sent: the notice only explains why nothing moves
        QTest::newRow("home") << "btnHome" << "1 06 00C8 = 0100";
        QTest::newRow("input 1") << "btnSimX0" << "1 06 006C = 0001";
        QTest::newRow("jog") << "btnJogP" << "1 06 00C8 = 0001";
    }
    void servoOffIsNoticedByMotionButtons()
    {
        QFETCH(QString, motion);
        QFETCH(QString, command);
        for (bool off : {true, false}) {
            button(off ? "btnServoOff" : "btnServoOn")->click();
            fx.window->statusBar()->clearMessage();
            const int from = fx.mark();
            QTest::mouseClick(button(motion), Qt::LeftButton);
            QCOMPARE(statusText(), off ? text("servo_off_notice") : QString());
            QTRY_VERIFY(fx.writes(from).contains(command));
            button("btnStopMotion")->click();
            fx.waitQuiet();  // the stop input's pulse ends before the next press
        }
    }

    // Held down, the button has already stopped the rod; letting go, even off the button, adds nothing.
    void stopActsOnPress_data()
    {
        QTest::addColumn<int>("key");  // 0: the mouse
        QTest::newRow("mouse held, released off the button") << 0;
        QTest::newRow("Space held") << int(Qt::Key_Space);
        QTest::newRow("Enter") << int(Qt::Key_Return);
    }
    void stopActsOnPress()
    {
        QFETCH(int, key);
        QAbstractButton *stop = button("btnStopMotion");
        stop->setFocus(Qt::OtherFocusReason);
        key ? QTest::keyPress(stop, Qt::Key(key)) : QTest::mousePress(stop, Qt::LeftButton);
        QCOMPARE(fx.writes().mid(0, 2), (QStringList{Stop, "1 06 006C = 0004"}));
        key ? QTest::keyRelease(stop, Qt::Key(key)) : QTest::mouseRelease(stop, Qt::LeftButton, {}, QPoint(-20, -20));
        fx.waitQuiet();
        QCOMPARE(fx.writes().count(Stop), 1);
    }

    void unconfirmedStopPulsesTheStopInputBeforeTheBox()
    {
        QStringList atTheBox;
        fx.dialogs->onShow = [&](const ScriptedDialogs::Shown &) { atTheBox = fx.writes(); };
        runWith("silence", [&] { button("btnStopMotion")->click(); });
        fx.dialogs->onShow = nullptr;
        QCOMPARE(fx.dialogs->count(), 1);
        QCOMPARE(fx.dialogs->last().title, text("stop_unconfirmed_title"));
        QCOMPARE(atTheBox.mid(atTheBox.size() - 2), (QStringList{Stop, "1 06 006C = 0004"}));
    }

    // The link goes silent under a held jog. The stop is delivered on a fresh
    // port before anything is shown; when it cannot be, the emergency stop is
    // asked for first, and the release and Esc try again.
    void linkLossUnderAHeldJogStillStops_data()
    {
        QTest::addColumn<bool>("linkReturns");
        QTest::newRow("link back during the tries") << true;
        QTest::newRow("link gone") << false;
    }
    void linkLossUnderAHeldJogStillStops()
    {
        QFETCH(bool, linkReturns);
        QTest::mousePress(button("btnJogP"), Qt::LeftButton);
        QTRY_COMPARE(lastMotionWrite(), QStringLiteral("start C8=1"));
        fx.bus.setFaults(faultsOf("silence"));
        const int lossAt = fx.mark();
        if (linkReturns) {
            fx.bus.setRequestObserver([this](const SimRequest &r) {
                if (r.function == 0x06 && r.address == Reg::ManualCommand)
                    fx.bus.setFaults(SimFaults());
            });
        }
        QTRY_VERIFY_WITH_TIMEOUT(!fx.connected(), 15000);
        fx.bus.setRequestObserver(nullptr);
        QVERIFY(fx.writes(lossAt).contains(Stop));
        QCOMPARE(lastMotionWrite(), QStringLiteral("stop"));
        QCOMPARE(fx.dialogs->shown().first().icon, linkReturns ? QMessageBox::Warning : QMessageBox::Critical);
        if (!linkReturns)
            QCOMPARE(fx.dialogs->shown().first().title, text("stop_unconfirmed_title"));

        // The jog button, disabled under the hand, released too: it tried once more.
        const QList<ScriptedDialogs::Shown> shown = fx.dialogs->shown();
        QCOMPARE(std::count_if(shown.begin(), shown.end(), [](const auto &box) { return box.icon == QMessageBox::Critical; }),
                 linkReturns ? 0 : 2);
        const int escAt = fx.mark();
        QWidget *focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : fx.window.get(), Qt::Key_Escape);
        QCOMPARE(fx.writes(escAt).contains(Stop), !linkReturns);
        if (linkReturns) {
            const double stoppedAt = fx.bus.positionMm(Station);
            QTest::qWait(200);  // a drive still jogging moves 1 mm in this time
            QCOMPARE(fx.bus.positionMm(Station), stoppedAt);
        }
        fx.bus.setFaults(SimFaults());
        QVERIFY2(fx.connectTo(Station), qPrintable(fx.failure()));
        fx.tabs()->setCurrentIndex(MainWindow::MonitorTab);
        button("btnStopMotion")->click();  // the rod of the lost link stops here at the latest
    }

    // Home pressed while the last polling cycle fails: its writes are queued when
    // the worker gives up, and none of them goes out on the next connection.
    void writesQueuedWhileTheLinkFailedDieWithIt()
    {
        fx.bus.setFaults(faultsOf("silence"));
        fx.worker()->setExchangeTracing(true);
        std::atomic<int> timeouts{0};
        std::atomic<bool> homePressed{false};
        const auto held = QObject::connect(fx.worker(), &ModbusWorker::exchangeRecorded, fx.worker(), [&](const ExchangeRecord &r) {
            if (r.result == ExchangeRecord::Result::Timeout && ++timeouts == ModbusWorker::FailedCyclesBeforeLoss) {
                for (int ms = 0; ms < 5000 && !homePressed.load(); ++ms)
                    QThread::msleep(1);
            }
        }, Qt::DirectConnection);
        QTRY_VERIFY_WITH_TIMEOUT(timeouts.load() >= ModbusWorker::FailedCyclesBeforeLoss, 10000);
        button("btnHome")->click();
        homePressed = true;
        QTRY_VERIFY_WITH_TIMEOUT(!fx.connected(), 15000);
        QObject::disconnect(held);
        fx.worker()->setExchangeTracing(false);

        fx.bus.setFaults(SimFaults());
        const int reconnectAt = fx.mark();
        QVERIFY2(fx.connectTo(Station), qPrintable(fx.failure()));
        fx.tabs()->setCurrentIndex(MainWindow::MonitorTab);
        QVERIFY(fx.waitPolls(3));
        fx.waitQuiet();
        QCOMPARE(fx.writes(reconnectAt), QStringList());
        button("btnStopMotion")->click();  // the homing of the lost link stops here at the latest
    }

    // Last: a broken probe would move the drive to the taken address and end the connection.
    void stationChangeRefusedWhenTheAddressAnswers()
    {
        fx.bus.addDrive(WindowFixture::drive(3));  // answers where the drive would go
        fx.find<QSpinBox>("spinNewStation")->setValue(3);
        fx.dialogs->queueConfirm(true);
        button("btnChangeStation")->click();
        fx.bus.removeDrive(3);
        QCOMPARE(fx.writes().filter(QLatin1String(" 0066 = ")), QStringList());
        QCOMPARE(fx.dialogs->last().icon, QMessageBox::Warning);
        QCOMPARE(fx.dialogs->last().text, text("station_taken").arg(3));
        QVERIFY(fx.connected());
    }
};

VEXA_TEST_CLASS(WindowStopTest);
#include "tst_window_stop.moc"
