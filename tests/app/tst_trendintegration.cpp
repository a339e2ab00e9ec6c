// The live trend and the recorder in the window: the simulated drive's states
// reach the chart, each connection starts a fresh trend, and the recorder
// writes its header and one flushed row per state, stops on a write failure
// with a message, and stops when the drive is disconnected.

#include "paramwindowbench.h"
#include "trendchart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QStandardPaths>
#include <QTemporaryDir>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

constexpr int WaitMs = 10000;
constexpr int ColumnCount = 16;
const QString ColumnHeader = QStringLiteral(
    "elapsed_ms,time,position_mm,current_ma,tracking_error_mm,alarm_code,x0,x1,x2,x7,y0,y1,y2,inputs_raw,"
    "outputs_raw,alarm_word");

QStringList fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The state rows of a recording: neither the metadata block nor the column header.
QStringList dataRows(const QString &path)
{
    QStringList rows;
    for (const QString &line : fileLines(path)) {
        if (!line.startsWith(QLatin1Char('#')) && line != ColumnHeader)
            rows << line;
    }
    return rows;
}

#ifdef Q_OS_UNIX
// Files of this process may not grow past `bytes` until the guard goes.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = rlim_t(bytes);
        m_active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool active() const { return m_active; }

private:
    rlimit m_saved{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_active = false;
};
#endif

}  // namespace

class TrendIntegrationTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void statesFromTheDriveReachTheChart();
    void chartAndControlsFitTheDefaultWindow();
    void aNewConnectionStartsAFreshTrend();

    void recordingProposesADocumentsFileAndWritesTheHeader();
    void everyStateIsOneFlushedRow();
    void stoppingTheRecordingEndsTheFile();
    void cancelledSaveDialogRecordsNothing();
    void unusableFilesAreReportedOnce_data();
    void unusableFilesAreReportedOnce();
    void aWriteFailureStopsTheRecordingWithItsReason();
    void disconnectingStopsTheRecording();

private:
    // Connected and the Monitor tab shown.
    QString prepare(ParamWindowBench &bench);
    // Starts a recording into path through the record button.
    void startRecording(ParamWindowBench &bench, const QString &path);
    TrendChart *chart(ParamWindowBench &bench) { return bench.find<TrendChart>("trendChart"); }
    QPushButton *recordButton(ParamWindowBench &bench) { return bench.find<QPushButton>("btnTrendRecord"); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TrendIntegrationTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TrendIntegrationTest::prepare(ParamWindowBench &bench)
{
    const QString started = bench.start(ParamWindowBench::lead1Drive());
    if (!started.isEmpty())
        return started;
    bench.find<QTabWidget>("mainTabs")->setCurrentIndex(MainWindow::MonitorTab);
    return QString();
}

void TrendIntegrationTest::startRecording(ParamWindowBench &bench, const QString &path)
{
    bench.dialogs->queueFileName(path);
    recordButton(bench)->click();
    QVERIFY(recordButton(bench)->isChecked());
}

void TrendIntegrationTest::statesFromTheDriveReachTheChart()
{
    ParamWindowBench bench;
    const QString prepared = prepare(bench);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    TrendChart *trend = chart(bench);
    QVERIFY(trend);

    bench.bus.setPositionMm(bench.station, 12.5);

    const auto newest = [trend] {
        const QVector<TrendSample> samples = trend->buffer().window(TrendBuffer::LongestWindowSeconds);
        return samples.isEmpty() ? TrendSample{} : samples.last();
    };
    QTRY_COMPARE_WITH_TIMEOUT(newest().positionMm, 12.5, WaitMs);
    QCOMPARE(newest().currentMa, double(bench.reg(Reg::MotorCurrent)));
    QVERIFY(trend->buffer().size() >= 2);
}

void TrendIntegrationTest::chartAndControlsFitTheDefaultWindow()
{
    ParamWindowBench bench;
    const QString prepared = prepare(bench);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    MainWindow *window = bench.window.get();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(window->size(), QSize(1024, 860));

    // Wholly on screen, none of them scrolled or squeezed out of sight.
    QWidget *viewport = bench.find<QScrollArea>("scrollArea")->viewport();
    for (const char *name : {"trendChart", "btnTrendRecord", "btnTrendPause", "cbTrendWindow", "btnStopMotion",
                             "groupBox_cylStatus", "groupBox_io", "groupBox_alarmHistory", "groupBox_Servo",
                             "groupBox_PosADJ", "groupBox_Home", "groupBox_InSim", "lblTitle_cylinder2"}) {
        auto *widget = bench.find<QWidget>(name);
        QVERIFY2(widget && widget->isVisible(), name);
        const QRect shown(widget->mapTo(viewport, QPoint(0, 0)), widget->size());
        QVERIFY2(viewport->rect().contains(shown), name);
    }
    QVERIFY(bench.find<QWidget>("trendChart")->height() >= 200);
}

void TrendIntegrationTest::aNewConnectionStartsAFreshTrend()
{
    ParamWindowBench bench;
    const QString prepared = prepare(bench);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    TrendChart *trend = chart(bench);
    bench.bus.setPositionMm(bench.station, 5.0);
    QTRY_VERIFY_WITH_TIMEOUT(trend->buffer().size() >= 3 && trend->buffer().window(1e9).last().positionMm == 5.0,
                             WaitMs);

    bench.find<QPushButton>("btnDisconnect")->click();
    bench.bus.setPositionMm(bench.station, 40.0);
    QCOMPARE(bench.connect(), QString());
    QTRY_VERIFY_WITH_TIMEOUT(trend->buffer().size() >= 2, WaitMs);

    // Nothing of the first connection is left.
    for (const TrendSample &sample : trend->buffer().window(1e9))
        QCOMPARE(sample.positionMm, 40.0);
}

void TrendIntegrationTest::recordingProposesADocumentsFileAndWritesTheHeader()
{
    ParamWindowBench bench;
    const QString prepared = prepare(bench);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    const QString path = m_dir->filePath(QStringLiteral("run.csv"));

    startRecording(bench, path);

    const ScriptedDialogs::Shown asked = bench.dialogs->last();
    QCOMPARE(asked.kind, ScriptedDialogs::Kind::SaveFile);
    QCOMPARE(asked.title, QStringLiteral("Record Live Data"));
    QCOMPARE(asked.filter, QStringLiteral("CSV Files (*.csv)"));
    const QFileInfo proposed(asked.text);
    QCOMPARE(proposed.absolutePath(),
             QFileInfo(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).absoluteFilePath());
    QVERIFY2(QRegularExpression(QStringLiteral("^LXAZ-16L01-50-BC_\\d{8}_\\d{6}\\.csv$")).match(proposed.fileName()).hasMatch(),
             qPrintable(proposed.fileName()));
    QCOMPARE(recordButton(bench)->text(), QStringLiteral("Stop Recording"));

    const QStringList lines = fileLines(path);
    const QStringList expected = {
        QStringLiteral("# model,LXAZ-16L01-50-BC"), QStringLiteral("# firmware,V1.2"),
        QStringLiteral("# hardware,H2"),            QStringLiteral("# logic_version,A3"),
        QStringLiteral("# lead_mm,1"),              QStringLiteral("# station,3"),
        QStringLiteral("# app_version,%1").arg(QStringLiteral(VEXA_APP_VERSION)),
    };
    for (const QString &line : expected)
        QVERIFY2(lines.contains(line), qPrintable(line + QLatin1String(" in ") + lines.join(QLatin1Char('|'))));
    QVERIFY(lines.contains(ColumnHeader));

    // The button reads in the chosen language while it records.
    bench.find<QComboBox>("cbLanguage")->setCurrentIndex(0);
    QCOMPARE(recordButton(bench)->text(), QStringLiteral("停止記錄"));
}

void TrendIntegrationTest::everyStateIsOneFlushedRow()
{
    ParamWindowBench bench;
    const QString prepared = prepare(bench);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    const QString path = m_dir->filePath(QStringLiteral("rows.csv"));
    bench.quiesce();
    QCoreApplication::processEvents();  // the last state polled before the pause
    startRecording(bench, path);
    bench.bus.setPositionMm(bench.station, 7.25);
    QSignalSpy states(bench.worker(), &ModbusWorker::stateUpdated);

    bench.worker()->setPollingPaused(false);
    QVERIFY(QTest::qWaitFor([&] { return states.size() >= 5; }, WaitMs));
    // Read while recording: each row is on disk as soon as its state arrived.
    QTRY_VERIFY_WITH_TIMEOUT(dataRows(path).size() >= 5, WaitMs);
    bench.quiesce();
    QCoreApplication::processEvents();

    const QStringList rows = dataRows(path);
    QCOMPARE(rows.size(), states.size());
    qint64 previousElapsed = -1;
    for (const QString &row : rows) {
        const QStringList fields = row.split(QLatin1Char(','));
        QCOMPARE(fields.size(), ColumnCount);
        QVERIFY(fields[0].toLongLong() >= previousElapsed);
        previousElapsed = fields[0].toLongLong();
        QVERIFY(QDateTime::fromString(fields[1], Qt::ISODateWithMs).isValid());
        QCOMPARE(fields[2], QStringLiteral("7.250"));
        QCOMPARE(fields[3], QString::number(bench.reg(Reg::MotorCurrent)));
    }
}

void TrendIntegrationTest::stoppingTheRecordingEndsTheFile()
{
    ParamWindowBench bench;
    const QString prepared = prepare(bench);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    const QString path = m_dir->filePath(QStringLiteral("stop.csv"));
    startRecording(bench, path);
    QTRY_VERIFY_WITH_TIMEOUT(dataRows(path).size() >= 2, WaitMs);

    recordButton(bench)->click();

    QVERIFY(!recordButton(bench)->isChecked());
    QCOMPARE(recordButton(bench)->text(), QStringLiteral("Record"));
    const int rows = dataRows(path).size();
    QSignalSpy states(bench.worker(), &ModbusWorker::stateUpdated);
    QVERIFY(QTest::qWaitFor([&] { return states.size() >= 3; }, WaitMs));
    QCoreApplication::processEvents();
    QCOMPARE(dataRows(path).size(), rows);
}

void TrendIntegrationTest::cancelledSaveDialogRecordsNothing()
{
    ParamWindowBench bench;
    const QString prepared = prepare(bench);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));

    recordButton(bench)->click();  // no file name queued: the dialog is cancelled

    QCOMPARE(bench.dialogs->count(), 1);
    QVERIFY(!recordButton(bench)->isChecked());
    QCOMPARE(recordButton(bench)->text(), QStringLiteral("Record"));
    QVERIFY(QDir(m_dir->path()).isEmpty());
}

void TrendIntegrationTest::unusableFilesAreReportedOnce_data()
{
    QTest::addColumn<QString>("path");  // "DIR" is the test's folder

    QTest::newRow("missing folder") << "DIR/missing/run.csv";
    if (QFileInfo::exists(QStringLiteral("/dev/full")))
        QTest::newRow("full disk") << "/dev/full";
}

void TrendIntegrationTest::unusableFilesAreReportedOnce()
{
    QFETCH(QString, path);
    path.replace(QLatin1String("DIR"), m_dir->path());
    ParamWindowBench bench;
    const QString prepared = prepare(bench);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));

    bench.dialogs->queueFileName(path);
    recordButton(bench)->click();

    QVERIFY(!recordButton(bench)->isChecked());
    QCOMPARE(bench.dialogs->count(), 2);  // the file dialog, then one message
    const ScriptedDialogs::Shown message = bench.dialogs->last();
    QCOMPARE(message.kind, ScriptedDialogs::Kind::Message);
    QCOMPARE(message.icon, QMessageBox::Warning);
    QCOMPARE(message.title, QStringLiteral("Record Live Data"));
    QVERIFY(message.text.startsWith(QLatin1String("Recording stopped: ")));
    QVERIFY(message.text.size() > QStringLiteral("Recording stopped: ").size());
}

void TrendIntegrationTest::aWriteFailureStopsTheRecordingWithItsReason()
{
#ifdef Q_OS_UNIX
    ParamWindowBench bench;
    const QString prepared = prepare(bench);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    const QString path = m_dir->filePath(QStringLiteral("full.csv"));
    startRecording(bench, path);
    QTRY_VERIFY_WITH_TIMEOUT(dataRows(path).size() >= 2, WaitMs);
    bench.dialogs->clear();

    {
        // The disk is full from here on.
        const FileSizeLimit limit(QFileInfo(path).size());
        if (!limit.active())
            QSKIP("the file size limit cannot be lowered here");
        QTRY_VERIFY_WITH_TIMEOUT(bench.dialogs->count() > 0, WaitMs);
    }

    QCOMPARE(bench.dialogs->count(), 1);
    const ScriptedDialogs::Shown message = bench.dialogs->last();
    QCOMPARE(message.title, QStringLiteral("Record Live Data"));
    QVERIFY2(message.text.startsWith(QLatin1String("Recording stopped: ")), qPrintable(message.text));
    QVERIFY(message.text.size() > QStringLiteral("Recording stopped: ").size());
    QVERIFY(!recordButton(bench)->isChecked());
    QCOMPARE(recordButton(bench)->text(), QStringLiteral("Record"));
    // What was written before stays whole.
    const QStringList rows = dataRows(path);
    QVERIFY(rows.size() >= 2);
    for (const QString &row : rows)
        QCOMPARE(row.split(QLatin1Char(',')).size(), ColumnCount);
    QSignalSpy states(bench.worker(), &ModbusWorker::stateUpdated);
    QVERIFY(QTest::qWaitFor([&] { return states.size() >= 3; }, WaitMs));
    QCOMPARE(bench.dialogs->count(), 1);
#else
    QSKIP("needs a per-process file size limit");
#endif
}

void TrendIntegrationTest::disconnectingStopsTheRecording()
{
    ParamWindowBench bench;
    const QString prepared = prepare(bench);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    const QString path = m_dir->filePath(QStringLiteral("ends.csv"));
    startRecording(bench, path);
    QTRY_VERIFY_WITH_TIMEOUT(dataRows(path).size() >= 2, WaitMs);

    bench.find<QPushButton>("btnDisconnect")->click();

    QVERIFY(!recordButton(bench)->isChecked());
    const int rows = dataRows(path).size();
    // States of the next connection are not added to the old file.
    QCOMPARE(bench.connect(), QString());
    QSignalSpy states(bench.worker(), &ModbusWorker::stateUpdated);
    QVERIFY(QTest::qWaitFor([&] { return states.size() >= 3; }, WaitMs));
    QCoreApplication::processEvents();
    QCOMPARE(dataRows(path).size(), rows);
    QVERIFY(!recordButton(bench)->isChecked());
}

int main(int argc, char *argv[])
{
    return runWindowTest<TrendIntegrationTest>(argc, argv);
}

#include "tst_trendintegration.moc"
