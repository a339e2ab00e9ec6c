// Stops win on the wire; motion starts only at a confirmed speed; an unconfirmed
// stop is retried and reported; the servo-off notice; no station address conflicts.

#include "dictionary.h"
#include "mainwindow.h"
#include "modbusworker.h"
#include "registers.h"
#include "scripteddialogs.h"
#include "simbus.h"
#include "testmain.h"
#include "wirelog.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>

class WindowStopTest : public QObject
{
    Q_OBJECT

    SimBus bus;
    std::unique_ptr<MainWindow> window;  // after the bus: its worker stops first
    ScriptedDialogs *dialogs = nullptr;
    quint16 inputsAtStart = 0;

    template <typename T = QAbstractButton> T *find(const QString &name) const
    {
        T *found = window->findChild<T *>(name);
        if (!found)
            qFatal("no widget %s", qPrintable(name));
        return found;
    }
    QString text(const char *key) const { return translateKey(QLatin1String(key), window->currentLanguage()); }
    void setFaults(bool silent = false, bool refusing = false)
    {
        SimFaults faults;
        faults.silent = silent;
        faults.exceptionReplies = refusing;
        bus.setFaults(faults);
    }
    QStringList wire(const char *part) const { return wireLog(bus.requests()).filter(QLatin1String(part)); }
    // The last write that starts or stops manual motion: "stop", "start C8=100", "start CE", or
    // "start 6C=1" for a rising edge of input 1 or 2.
    QString lastMotionWrite() const
    {
        QString last;
        quint16 inputs = inputsAtStart;
        for (const SimRequest &r : bus.requests()) {
            const quint16 value = r.values.value(0);
            if (r.function == 0x10 && r.address == Reg::NudgeDistance)
                last = QStringLiteral("start CE");
            if (r.function != 0x06)
                continue;
            if (r.address == Reg::ManualCommand)
                last = value == Reg::ManualCommandValue::Stop ? QStringLiteral("stop")
                                                              : QStringLiteral("start C8=%1").arg(value, 0, 16);
            if (r.address == Reg::CommandInputs) {
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
        VEXA_REQUIRE(bus.start(), "no pseudo-terminal for the simulated bus");
        bus.addDrive(SimDriveConfig());
        window = std::make_unique<MainWindow>();
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs = scripted.get();
        window->setDialogs(std::move(scripted));
        find<QComboBox>("cbLanguage")->setCurrentIndex(1);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        find<QComboBox>("cbPorts")->setEditText(bus.portPath());
        find("btnScan")->click();
        find("btnConnect")->click();
        QVERIFY(QTest::qWaitFor([&] { return find<QTabWidget>("mainTabs")->isTabEnabled(MainWindow::MonitorTab); },
                                10000));
        find<QTabWidget>("mainTabs")->setCurrentIndex(MainWindow::MonitorTab);
    }

    void init()
    {
        setFaults();
        QTest::qWait(250);  // polling in full swing
        bus.clearRequests();
        inputsAtStart = bus.registerValue(1, Reg::CommandInputs);
        dialogs->clear();
        window->statusBar()->clearMessage();
    }

    void stopWinsOverQueuedMotion_data()
    {
        QTest::addColumn<QString>("motion");
        QTest::addColumn<int>("delayMs");
        for (int delay : {0, 20, 45, 80, 130})
            QTest::addRow("home, STOP after %d ms", delay) << "btnHome" << delay;
        QTest::newRow("input 1, STOP") << "btnSimX0" << 0;
        QTest::newRow("jog held, Esc") << "btnJogP" << 30;
    }
    void stopWinsOverQueuedMotion()
    {
        QFETCH(QString, motion);
        QFETCH(int, delayMs);
        auto *button = find(motion);
        if (motion == QLatin1String("btnJogP"))
            QTest::mousePress(button, Qt::LeftButton);
        else
            button->click();
        QTest::qWait(delayMs);
        if (motion == QLatin1String("btnJogP")) {
            QTest::keyClick(button, Qt::Key_Escape);
            QTest::mouseRelease(button, Qt::LeftButton);
        } else {
            find("btnStopMotion")->click();
        }
        QTest::qWait(300);  // anything still queued would be on the wire by now
        QCOMPARE(lastMotionWrite(), QStringLiteral("stop"));
        QCOMPARE(dialogs->count(), 0);
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
        find(mode)->click();
        setFaults(false, true);
        QTest::mousePress(find("btnJogP"), Qt::LeftButton);
        setFaults();
        QTest::mouseRelease(find("btnJogP"), Qt::LeftButton);
        find("rbJogMove")->click();
        QCOMPARE(wire(" 00D8 ").size(), 1);
        QCOMPARE(lastMotionWrite(), QString());
        QVERIFY2(window->statusBar()->currentMessage().contains(QLatin1String("Exception 04")),
                 qPrintable(window->statusBar()->currentMessage()));
        QCOMPARE(dialogs->count(), 0);
    }

    void unconfirmedStopIsRetriedThenReported()
    {
        QTest::mousePress(find("btnJogP"), Qt::LeftButton);
        QCOMPARE(lastMotionWrite(), QStringLiteral("start C8=1"));
        setFaults(true);
        QTest::mouseRelease(find("btnJogP"), Qt::LeftButton);
        setFaults();
        QCOMPARE(wire("06 00C8 = 0000").size(), 4);  // the stop and three retries
        QCOMPARE(wire(" 00D8 ").size(), 1);  // the jog's speed; no default restored
        QCOMPARE(dialogs->count(), 1);
        QCOMPARE(dialogs->last().icon, QMessageBox::Critical);
        QCOMPARE(dialogs->last().title, text("stop_unconfirmed_title"));

        // Confirmed again: the speed register goes back to its default.
        find("btnStopMotion")->click();
        QCOMPARE(wire(" 00D8 ").mid(1), QStringList{"1 10 00D8 = 7530 0000"});
    }

    void servoOffIsNoticedByMotionButtons_data()
    {
        QTest::addColumn<QString>("button");
        for (const char *name : {"btnHome", "btnSimX0", "btnJogP"})
            QTest::newRow(name) << name;
    }
    void servoOffIsNoticedByMotionButtons()
    {
        QFETCH(QString, button);
        find("btnServoOff")->click();
        window->statusBar()->clearMessage();
        QTest::mouseClick(find(button), Qt::LeftButton);
        QCOMPARE(window->statusBar()->currentMessage(), text("servo_off_notice"));

        find("btnServoOn")->click();
        window->statusBar()->clearMessage();
        QTest::mouseClick(find(button), Qt::LeftButton);
        QCOMPARE(window->statusBar()->currentMessage(), QString());
        find("btnStopMotion")->click();
    }

    // Last: a broken probe would move the drive to the taken address and end the connection.
    void stationChangeRefusedWhenTheAddressAnswers()
    {
        SimDriveConfig other;
        other.station = 3;  // answers where the drive would go
        bus.addDrive(other);
        find<QSpinBox>("spinNewStation")->setValue(3);
        dialogs->queueConfirm(true);
        find("btnChangeStation")->click();
        bus.removeDrive(3);
        QCOMPARE(wire(" 0066 "), QStringList());
        QCOMPARE(dialogs->last().icon, QMessageBox::Warning);
        QCOMPARE(dialogs->last().text, text("station_taken").arg(3));
        QVERIFY(find<QTabWidget>("mainTabs")->isTabEnabled(MainWindow::MonitorTab));
    }
};

VEXA_TEST_MAIN(WindowStopTest)
#include "tst_window_stop.moc"
