// What the window shows: round trend ticks, link counters per connection, the ROM notice
// cleared by the engineering save, a drive's alarm and its reset in the status bar.

#include "connectionmanager.h"
#include "mainwindow.h"
#include "modbusworker.h"
#include "registers.h"
#include "scripteddialogs.h"
#include "simbus.h"
#include "testmain.h"
#include "trendchart.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>

class WindowFeedbackTest : public QObject
{
    Q_OBJECT

    static constexpr int WaitMs = 10000;
    SimBus bus;
    std::unique_ptr<MainWindow> window;

    template <typename T = QLabel>
    T *part(const char *name) const
    {
        T *widget = window->findChild<T *>(QLatin1String(name));
        return widget ? widget : (qFatal("no widget %s", name), nullptr);
    }
    void click(const char *button) { part<QPushButton>(button)->click(); }
    bool shows(const char *label, const char *text) const { return part(label)->text().contains(text); }
    quint64 linkRequests() const { return part("lblLinkHealth")->text().section(' ', 2, 2).toULongLong(); }
    // A scan, a click on the drive's row and Connect, as after every disconnection.
    bool connectWindow()
    {
        auto *scan = part<QTableWidget>("tableScan");
        click("btnScan");
        if (!QTest::qWaitFor([scan] { return scan->rowCount() == 1; }, WaitMs))
            return false;
        Q_EMIT scan->cellClicked(0, 0);
        QSignalSpy connected(window->connections(), &ConnectionManager::connected);
        QSignalSpy states(window->modbusWorker(), &ModbusWorker::stateUpdated);
        click("btnConnect");
        return QTest::qWaitFor([&] { return !connected.isEmpty() && !states.isEmpty(); }, WaitMs);
    }

private Q_SLOTS:
    void initTestCase()
    {
        bus.addDrive(SimDriveConfig{});
        VEXA_REQUIRE(bus.start(), "no pseudo-terminal for the simulated bus");
        window = std::make_unique<MainWindow>();
        window->setDialogs(std::make_unique<ScriptedDialogs>());
        window->setDemoPort(bus.portPath());
        QVERIFY(connectWindow());
    }

    void init() { part<QComboBox>("cbLanguage")->setCurrentIndex(1); }

    // Worked by hand: 4 % of the span as room each side, at most six round steps.
    void axisScales_data()
    {
        QTest::addColumn<QVector<double>>("input");     // lo, hi, minimum span, nonNegative
        QTest::addColumn<QVector<double>>("expected");  // lo, hi, step, ticks, decimals
        QTest::newRow("motor at rest: floor at 0") << QVector<double>{0, 0, 50, 1} << QVector<double>{0, 60, 10, 7, 0};
        QTest::newRow("current 500 to 700") << QVector<double>{500, 700, 50, 1} << QVector<double>{450, 750, 50, 7, 0};
        QTest::newRow("stroke 12.3 to 47.9") << QVector<double>{12.3, 47.9, 1, 1} << QVector<double>{10, 50, 10, 5, 0};
        QTest::newRow("negative position kept") << QVector<double>{-3, 9, 1, 1} << QVector<double>{-5, 10, 5, 4, 0};
        QTest::newRow("tracking error") << QVector<double>{-0.013, 0.004, 0.02, 0}
                                        << QVector<double>{-0.02, 0.01, 0.005, 7, 3};
    }
    void axisScales()
    {
        QFETCH(QVector<double>, input);
        QFETCH(QVector<double>, expected);
        const AxisScale s = roundAxisScale(input[0], input[1], input[2], input[3] != 0);
        const double got[] = {s.lo, s.hi, s.step, double(s.ticks), double(s.decimals)};
        for (int i = 0; i < 5; ++i)
            QCOMPARE(got[i], expected[i]);
        QCOMPARE(roundTickStep(1.0) + roundTickStep(0.3) + roundTickStep(0.013), 1.52);
    }

    void monitorTabNeedsNoSidewaysScrollingInEitherLanguage()
    {
        window->show();
        part<QTabWidget>("mainTabs")->setCurrentIndex(MainWindow::MonitorTab);
        auto *area = part<QScrollArea>("scrollArea");
        const int room = window->maximumWidth() - (window->width() - area->width())
                         - area->style()->pixelMetric(QStyle::PM_ScrollBarExtent) - 2 * area->frameWidth();
        for (int language : {0, 1}) {
            part<QComboBox>("cbLanguage")->setCurrentIndex(language);
            // With 4 % to spare, for fonts that set the same text a little wider.
            QVERIFY(area->widget()->minimumSizeHint().width() + room / 25 <= room);
        }
    }

    void linkCountersStartAfreshOnEachConnection()
    {
        QVERIFY(QTest::qWaitFor([this] { return linkRequests() > 40; }, WaitMs));
        click("btnDisconnect");
        QVERIFY(connectWindow());
        QVERIFY2(linkRequests() < 40, qPrintable(part("lblLinkHealth")->text()));
    }

    void engineeringSaveClearsTheRomNotice()
    {
        click("btnWrite_smoothMs");
        QVERIFY(!part("lblUnsavedRom")->isHidden());
        part<QSpinBox>("cmpSlaveId")->setValue(1);
        bus.clearRequests();
        click("btnCmpSave");
        const QVector<SimRequest> sent = bus.requests();
        QVERIFY(std::any_of(sent.cbegin(), sent.cend(), [](const SimRequest &r) {
            return r.address == Reg::StoreCommand && r.values == QVector<quint16>{Reg::StoreValue::SaveToRom};
        }));
        QVERIFY(part("lblUnsavedRom")->isHidden());
    }

    void driveAlarmReachesTheMonitorTab()
    {
        bus.raiseAlarm(1, 6);
        QVERIFY(QTest::qWaitFor([this] { return shows("lblAlarm", "(6)"); }, WaitMs));
        QVERIFY(shows("lblAlarmHist1", "(6)"));
        click("btnClearAlarm");
        QCOMPARE(bus.registerValue(1, Reg::AlarmWord), quint16(0x0060));
        QVERIFY(window->statusBar()->currentMessage().startsWith("Alarm reset sent; current Normal"));
        QVERIFY(QTest::qWaitFor([this] { return shows("lblAlarm", "(0)"); }, WaitMs));
    }
};

VEXA_TEST_MAIN(WindowFeedbackTest)
#include "tst_window_feedback.moc"
