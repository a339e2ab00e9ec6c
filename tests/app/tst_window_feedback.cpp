// What the window shows: round trend ticks, a Monitor tab that fits its width, link counters
// per connection, the ROM notice cleared by the engineering save, a drive's alarm and its reset,
// and the event log of writes, saves and alarms with its filters, CSV export and daily file.

#include "registers.h"
#include "testmain.h"
#include "trendchart.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTableWidget>
#include <QTemporaryDir>
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

    void eventLogRecordsWritesSavesAndAlarms()
    {
        QVERIFY2(fx.click("btnEvents"), qPrintable(fx.failure()));
        fx.find<QCheckBox>("chkKeepEventLog")->setChecked(true);
        QVERIFY2(fx.click("btnOpenEventFolder"), qPrintable(fx.failure()));
        QCOMPARE(fx.dialogs->last().kind, ScriptedDialogs::Kind::Folder);
        const QString folder = fx.dialogs->last().text;

        const quint16 before = fx.reg(Reg::SmoothingConstant);
        auto *smoothing = fx.find<QSpinBox>("spin_smoothMs");
        smoothing->setValue(smoothing->value() == 20 ? 40 : 20);
        QVERIFY2(fx.click("btnWrite_smoothMs"), qPrintable(fx.failure()));
        QVERIFY2(fx.click("btnSaveParams"), qPrintable(fx.failure()));
        fx.bus.raiseAlarm(Station, 6);
        QVERIFY(QTest::qWaitFor([this] { return shows("lblAlarm", "(6)"); }, 10000));
        QVERIFY2(fx.click("btnClearAlarm"), qPrintable(fx.failure()));
        QVERIFY(QTest::qWaitFor([this] { return shows("lblAlarm", "(0)"); }, 10000));

        // Every line of the day's file is one record, there as soon as it happened.
        const QStringList files = QDir(folder).entryList({QStringLiteral("events-*.jsonl")});
        QCOMPARE(files.size(), 1);
        QFile file(QDir(folder).filePath(files.first()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QMap<QString, QJsonObject> last;
        for (const QByteArray &line : file.readAll().split('\n')) {
            QJsonParseError error;
            const QJsonObject record = QJsonDocument::fromJson(line, &error).object();
            QVERIFY2(line.isEmpty() || error.error == QJsonParseError::NoError, line.constData());
            QCOMPARE(record.isEmpty() || record["model"].toString() == QLatin1String("LXAZ-16L01-50-BC"), true);
            last.insert(record["event"].toString(), record);
        }
        const QJsonObject write = last["parameter write"];
        QCOMPARE(write["key"].toString(), QStringLiteral("smoothMs"));
        QCOMPARE(write["old"]["raw"].toInt(), int(before));
        QCOMPARE(write["new"]["raw"].toInt(), int(fx.reg(Reg::SmoothingConstant)));
        QCOMPARE(write["new"]["shown"].toString(), QString::number(smoothing->value()));
        QCOMPARE(write["result"].toString(), QStringLiteral("confirmed"));
        QCOMPARE(last["save to ROM"]["result"].toString(), QStringLiteral("confirmed"));
        QCOMPARE(last["alarm raised"]["code"].toInt(), 6);
        QCOMPARE(last["alarm cleared"]["code"].toInt(), 6);
        QCOMPARE(last["alarm reset"]["result"].toString(), QStringLiteral("confirmed"));

        // The view's filters decide what the CSV export holds.
        fx.find<QLineEdit>("editEventFilter")->setText(QStringLiteral("alarm"));
        auto *types = fx.find<QListWidget>("listEventTypes");
        types->findItems(QStringLiteral("Alarm reset"), Qt::MatchExactly).first()->setCheckState(Qt::Unchecked);
        QTemporaryDir dir;
        fx.dialogs->queueFileName(dir.filePath(QStringLiteral("events.csv")));
        QVERIFY2(fx.click("btnExportEvents"), qPrintable(fx.failure()));
        QFile csv(dir.filePath(QStringLiteral("events.csv")));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        // Since the window started: the alarm of the test before is there too.
        const QList<QByteArray> rows = csv.readAll().trimmed().split('\n');
        QCOMPARE(rows.size() % 2, 1);
        for (int i = 1; i < rows.size(); ++i)
            QVERIFY2(rows[i].contains(i % 2 ? ",alarm raised," : ",alarm cleared,"), rows[i].constData());
        fx.find<QCheckBox>("chkKeepEventLog")->setChecked(false);
    }
};

VEXA_TEST_CLASS(WindowFeedbackTest);
#include "tst_window_feedback.moc"
