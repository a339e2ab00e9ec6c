// The monitor tab against one drive: live values and the recording, the wire
// order of jog, nudge, homing and the input pulses, and every way a jog hold
// ends stopping the rod once.

#include "registers.h"
#include "testmain.h"
#include "windowfixture.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

namespace {

constexpr quint8 Station = 1;
const QString Stop = QStringLiteral("1 06 00C8 = 0000");
const QString DefaultSpeed = QStringLiteral("1 10 00D8 = 7530 0000");  // 300 rpm
// 2 mm/s at a 1 mm lead: 120 rpm, in 0.01 rpm.
const QString JogSpeed = QStringLiteral("1 10 00D8 = 2EE0 0000");
const QString ManualMode = QStringLiteral("1 06 00A1 = 0003");

enum class HoldEnd { Release, PointerLeaves, FocusMoves, WindowDeactivated, TabSwitched, Esc, StopButton, DisconnectAsked };

}  // namespace

Q_DECLARE_METATYPE(HoldEnd)

class WindowMonitorTest : public QObject
{
    Q_OBJECT

    WindowFixture fx;

    QPushButton *button(const char *name) const { return fx.find<QPushButton>(name); }
    // Polling runs again and the rod stays where it stopped over several cycles.
    void expectStandstill()
    {
        fx.worker()->setPollingPaused(false);
        QVERIFY(fx.waitPolls(1));
        const double stoppedAt = fx.bus.positionMm(Station);
        QVERIFY(fx.waitPolls(2));
        QCOMPARE(fx.bus.positionMm(Station), stoppedAt);
    }
    void startJog()
    {
        QTest::mousePress(button("btnJogP"), Qt::LeftButton);
        QTRY_VERIFY(fx.bus.positionMm(Station) > 20.01);
        QCOMPARE(fx.writes().value(2), QStringLiteral("1 06 00C8 = 0001"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        VEXA_REQUIRE(fx.startBus({WindowFixture::drive(Station)}), "no pseudo-terminal for the simulated bus");
        QVERIFY2(fx.showWindow(QStringLiteral("en")), qPrintable(fx.failure()));
        QVERIFY2(fx.connectTo(Station), qPrintable(fx.failure()));
        fx.find<QDoubleSpinBox>("spinJogSpeed")->setValue(2.0);
    }

    void init()
    {
        fx.find<QRadioButton>("rbJogMove")->setChecked(true);
        fx.tabs()->setCurrentIndex(MainWindow::MonitorTab);
        QApplication::setActiveWindow(fx.window.get());
        fx.quiesce();
        fx.bus.setPositionMm(Station, 20.0);
    }

    void liveStateReachesTheScreenAndTheRecording()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("run.csv"));
        fx.bus.setPositionMm(Station, 12.346);
        fx.dialogs->queueFileName(path);
        auto *record = button("btnTrendRecord");
        record->click();
        QVERIFY(record->isChecked());
        fx.worker()->setPollingPaused(false);
        QVERIFY(fx.waitPolls(3));
        QCOMPARE(fx.find<QLabel>("lblPos")->text(), QStringLiteral("12.35"));
        record->click();
        QVERIFY(!record->isChecked());

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        int header = 0;
        while (header < lines.size() && lines[header].startsWith(QLatin1Char('#')))
            ++header;
        QVERIFY2(header > 0 && header + 2 < lines.size(), qPrintable(lines.join(QLatin1Char('\n'))));
        const QStringList columns = lines[header].split(QLatin1Char(','));
        const int position = columns.indexOf(QStringLiteral("position_mm"));
        QVERIFY(position >= 0);
        for (int i = header + 1; i < lines.size(); ++i) {
            const QStringList fields = lines[i].split(QLatin1Char(','));
            QCOMPARE(fields.size(), columns.size());
            QCOMPARE(fields[position].toDouble(), 12.346);
        }

        // A cancelled file dialog records nothing.
        record->click();
        QVERIFY(!record->isChecked());
    }

    void jogPressAndReleaseInOrder_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("start");
        QTest::newRow("plus") << "btnJogP" << "1 06 00C8 = 0001";
        QTest::newRow("minus") << "btnJogM" << "1 06 00C8 = 0101";
    }
    void jogPressAndReleaseInOrder()
    {
        QFETCH(QString, button);
        QFETCH(QString, start);
        QPushButton *jog = this->button(qPrintable(button));
        QTest::mousePress(jog, Qt::LeftButton);
        QTRY_VERIFY(fx.bus.positionMm(Station) != 20.0);
        QTest::mouseRelease(jog, Qt::LeftButton);

        QTRY_COMPARE(fx.writes().size(), 5);
        QStringList sent = fx.writes();
        // The queued manual mode and the speed may pass each other; both precede the start.
        QStringList beforeStart = sent.mid(0, 2);
        beforeStart.sort();
        QCOMPARE(beforeStart, (QStringList{ManualMode, JogSpeed}));
        QCOMPARE(sent.mid(2), (QStringList{start, Stop, DefaultSpeed}));
        expectStandstill();
    }

    void nudgeWritesItsDistanceAndReleaseSendsNothing()
    {
        fx.find<QRadioButton>("rbJogNudge")->click();
        QTest::mousePress(button("btnJogM"), Qt::LeftButton);
        QTest::mouseRelease(button("btnJogM"), Qt::LeftButton);

        QTRY_COMPARE(fx.writes().size(), 3);
        QStringList sent = fx.writes();
        QCOMPARE(sent.takeLast(), QStringLiteral("1 10 00CE = FF9C FFFF"));  // -0.1 mm
        QVERIFY(sent.contains(ManualMode));
        QTRY_COMPARE(fx.bus.positionMm(Station), 19.9);
        expectStandstill();
        QCOMPARE(fx.writes().size(), 3);
    }

    void homingAndInputPulsesInOrder_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QStringList>("wire");
        QTest::newRow("home") << "btnHome"
                              << QStringList{"1 06 00C8 = 0100", ManualMode, "1 06 006C = 0001", "1 06 006C = 0000"};
        // The drive's other command bits are kept.
        for (int bit : {1, 2, 4}) {
            QTest::addRow("X%d", bit / 2) << QStringLiteral("btnSimX%1").arg(bit / 2)
                                          << QStringList{"1 03 006C x1", QStringLiteral("1 06 006C = %1").arg(0x0100 | bit, 4, 16, QLatin1Char('0')),
                                                         "1 03 006C x1", "1 06 006C = 0100"};
        }
    }
    void homingAndInputPulsesInOrder()
    {
        QFETCH(QString, button);
        QFETCH(QStringList, wire);
        fx.setReg(Reg::CommandInputs, 0x0100);
        this->button(qPrintable(button))->click();
        QTRY_COMPARE(fx.wire().size(), wire.size());
        QCOMPARE(fx.wire(), wire);
        fx.setReg(Reg::CommandInputs, 0);
    }

    // The alarm word's reply comes after its read gave up, as the input pulse reads
    // the command inputs: the pulse raises its bit in the inputs' own word.
    void inputPulseNeverMergesALateReply()
    {
        fx.setReg(Reg::CommandInputs, 0x0100);
        fx.setReg(Reg::AlarmWord, 0x0320);
        fx.withFaults(faultsOf("late 350@0x00A3"), [&] {
            button("btnReadAlarmHistory")->click();
            button("btnSimX0")->click();
        });
        QCOMPARE(fx.writes(), (QStringList{"1 06 006C = 0101", "1 06 006C = 0100"}));
        fx.setReg(Reg::CommandInputs, 0);
        fx.setReg(Reg::AlarmWord, 0);
        button("btnStopMotion")->click();
    }

    void everyEndOfAHoldStopsOnce_data()
    {
        QTest::addColumn<HoldEnd>("end");
        QTest::newRow("release") << HoldEnd::Release;
        QTest::newRow("pointer leaves") << HoldEnd::PointerLeaves;
        QTest::newRow("focus moves") << HoldEnd::FocusMoves;
        QTest::newRow("window deactivated") << HoldEnd::WindowDeactivated;
        QTest::newRow("tab switched") << HoldEnd::TabSwitched;
        QTest::newRow("Esc") << HoldEnd::Esc;
        QTest::newRow("STOP button") << HoldEnd::StopButton;
        QTest::newRow("Disconnect asking about unsaved writes") << HoldEnd::DisconnectAsked;
    }
    void everyEndOfAHoldStopsOnce()
    {
        QFETCH(HoldEnd, end);
        startJog();
        QPushButton *jog = button("btnJogP");
        QWidget other;
        switch (end) {
        case HoldEnd::Release: QTest::mouseRelease(jog, Qt::LeftButton); break;
        case HoldEnd::PointerLeaves: {
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(jog, &leave);
            break;
        }
        case HoldEnd::FocusMoves: fx.widget("spinJogSpeed")->setFocus(Qt::TabFocusReason); break;
        case HoldEnd::WindowDeactivated:
            other.show();
            QApplication::setActiveWindow(&other);
            break;
        case HoldEnd::TabSwitched: fx.tabs()->setCurrentIndex(MainWindow::AdvancedTab); break;
        case HoldEnd::Esc: QTest::keyClick(jog, Qt::Key_Escape); break;
        case HoldEnd::StopButton: button("btnStopMotion")->click(); break;
        case HoldEnd::DisconnectAsked: {
            // The rod is stopped before the window asks, and stays stopped when the operator stays.
            button("btnWrite_idleCurrent")->click();
            bool stoppedBeforeAsked = false;
            fx.dialogs->onShow = [&](const ScriptedDialogs::Shown &) { stoppedBeforeAsked = fx.writes().contains(Stop); };
            fx.dialogs->queueAnswer(QMessageBox::Cancel);
            button("btnDisconnect")->click();
            fx.dialogs->onShow = nullptr;
            QVERIFY(stoppedBeforeAsked);
            QVERIFY(fx.connected());
            button("btnSaveParams")->click();  // nothing left unsaved for the tests after
            break;
        }
        }
        QTRY_VERIFY(fx.writes().contains(Stop));
        expectStandstill();
        // The button's late release sends nothing more.
        QTest::mouseRelease(jog, Qt::LeftButton);
        fx.worker()->setPollingPaused(true);
        fx.waitQuiet();
        const QStringList sent = fx.writes();
        QCOMPARE(sent.count(Stop), 1);
        QVERIFY2(sent.indexOf(DefaultSpeed) > sent.indexOf(Stop), qPrintable(sent.join(QLatin1String("; "))));
        if (end == HoldEnd::StopButton)
            QVERIFY(sent.indexOf(QStringLiteral("1 06 006C = 0004")) > sent.indexOf(Stop));
    }

    void escStopsADriveJogFromAnotherTab()
    {
        fx.tabs()->setCurrentIndex(MainWindow::MotionTab);
        fx.waitQuiet();
        QWidget *box = fx.widget("spinD_pos0Speed");
        box->setFocus(Qt::OtherFocusReason);
        QVERIFY(fx.worker()->syncWrite(Station, Reg::ManualMode, Reg::ManualModeValue));
        QVERIFY(fx.worker()->syncWrite(Station, Reg::ManualCommand, Reg::ManualCommandValue::JogPlus));
        QTRY_VERIFY(fx.bus.positionMm(Station) > 20.01);
        const int from = fx.mark();
        QTest::keyClick(box, Qt::Key_Escape);
        QCOMPARE(fx.writes(from).count(Stop), 1);
        expectStandstill();
    }

    // Last: it ends the connection.
    void disconnectStopsAJogAndTheRecording()
    {
        QTemporaryDir dir;
        fx.dialogs->queueFileName(dir.filePath(QStringLiteral("run.csv")));
        button("btnTrendRecord")->click();
        startJog();
        button("btnDisconnect")->click();
        QVERIFY(!fx.connected());
        QCOMPARE(fx.writes().count(Stop), 1);
        const double stoppedAt = fx.bus.positionMm(Station);
        QTest::qWait(300);  // a drive still jogging moves 0.6 mm in this time
        QCOMPARE(fx.bus.positionMm(Station), stoppedAt);
        QVERIFY(!button("btnTrendRecord")->isChecked());
    }
};

VEXA_TEST_CLASS(WindowMonitorTest);
#include "tst_window_monitor.moc"
