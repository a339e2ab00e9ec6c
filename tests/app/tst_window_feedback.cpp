// What the window shows: round trend ticks, a Monitor tab that fits its width, link counters
// per connection, the ROM notice cleared by the engineering save, a drive's alarm and its reset.

#include "registers.h"
#include "testmain.h"
#include "trendchart.h"
#include "windowfixture.h"

#include <QLabel>
#include <QScrollArea>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>

class WindowFeedbackTest : public QObject
{
    Q_OBJECT

    static constexpr quint8 Station = 1;
    WindowFixture fx;

    bool shows(const char *label, const char *text) const { return fx.find<QLabel>(label)->text().contains(text); }
    quint64 linkRequests() const { return fx.find<QLabel>("lblLinkHealth")->text().section(' ', 2, 2).toULongLong(); }

private Q_SLOTS:
    void initTestCase()
    {
        VEXA_REQUIRE(fx.startBus({WindowFixture::drive(Station)}), "no pseudo-terminal for the simulated bus");
        QVERIFY2(fx.showWindow(QStringLiteral("en")), qPrintable(fx.failure()));
        QVERIFY2(fx.connectTo(Station), qPrintable(fx.failure()));
    }
    void init() { fx.chooseLanguage(QStringLiteral("en")); }

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
        fx.showTab(MainWindow::MonitorTab);
        auto *area = fx.find<QScrollArea>("scrollArea");
        const int room = fx.window->maximumWidth() - (fx.window->width() - area->width())
                         - area->style()->pixelMetric(QStyle::PM_ScrollBarExtent) - 2 * area->frameWidth();
        for (const char *lang : {"zh", "en"}) {
            fx.chooseLanguage(QLatin1String(lang));
            QCoreApplication::processEvents();
            // With 4 % to spare, for fonts that set the same text a little wider.
            QVERIFY2(area->widget()->minimumSizeHint().width() + room / 25 <= room, lang);
        }
    }

    void linkCountersStartAfreshOnEachConnection()
    {
        QVERIFY(QTest::qWaitFor([this] { return linkRequests() > 40; }, 10000));
        QVERIFY2(fx.disconnectWindow() && fx.connectTo(Station), qPrintable(fx.failure()));
        QVERIFY(fx.waitPolls(1));
        QVERIFY2(linkRequests() < 40, qPrintable(fx.find<QLabel>("lblLinkHealth")->text()));
    }

    void engineeringSaveClearsTheRomNotice()
    {
        QVERIFY2(fx.click("btnWrite_smoothMs"), qPrintable(fx.failure()));
        QVERIFY(!fx.find<QLabel>("lblUnsavedRom")->isHidden());
        fx.find<QSpinBox>("cmpSlaveId")->setValue(Station);
        const int mark = fx.mark();
        QVERIFY2(fx.click("btnCmpSave"), qPrintable(fx.failure()));
        QCOMPARE(fx.writes(mark), QStringList{QStringLiteral("1 06 00DC = 0001")});
        QVERIFY(fx.find<QLabel>("lblUnsavedRom")->isHidden());
    }

    void driveAlarmReachesTheMonitorTab()
    {
        fx.bus.raiseAlarm(Station, 6);
        QVERIFY(QTest::qWaitFor([this] { return shows("lblAlarm", "(6)"); }, 10000));
        QVERIFY(shows("lblAlarmHist1", "(6)"));
        QVERIFY2(fx.click("btnClearAlarm"), qPrintable(fx.failure()));
        QCOMPARE(fx.reg(Reg::AlarmWord), quint16(0x0060));
        QVERIFY(fx.window->statusBar()->currentMessage().startsWith("Alarm reset sent; current Normal"));
        QVERIFY(QTest::qWaitFor([this] { return shows("lblAlarm", "(0)"); }, 10000));
    }
};

VEXA_TEST_CLASS(WindowFeedbackTest);
#include "tst_window_feedback.moc"
