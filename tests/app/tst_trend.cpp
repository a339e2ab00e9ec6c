#include "staterecorder.h"
#include "trendbuffer.h"
#include "trendchart.h"

#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

DeviceState stateAt(double mm, int ma = 120, int errUm = -15)
{
    DeviceState s;
    s.positionMm = mm;
    s.currentMa = ma;
    s.trackErrUm = errUm;
    return s;
}

QStringList readLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

}  // namespace

class TrendTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bufferIsBoundedByCountAndAge()
    {
        TrendBuffer buffer(100);
        for (int i = 0; i < 250; ++i)
            buffer.append(i * 0.2, stateAt(i));
        QCOMPARE(buffer.size(), 100);
        QCOMPARE(buffer.window(1e9).first().positionMm, 150.0);

        TrendBuffer aged;
        for (int i = 0; i <= 400; ++i)
            aged.append(i, stateAt(i));  // one state a second for 400 s
        QCOMPARE(aged.window(1e9).first().seconds, 100.0);
    }

    void windowHoldsOnlyTheRecentSamples()
    {
        TrendBuffer buffer;
        for (int i = 0; i < 100; ++i)
            buffer.append(i * 0.5, stateAt(i, 0, 2500));
        const QVector<TrendSample> last10 = buffer.window(10);
        QCOMPARE(last10.size(), 21);  // 39.5 s back to 49.5 s, both ends included
        QCOMPARE(last10.first().seconds, 39.5);
        QCOMPARE(last10.last().trackErrMm, 2.5);
        QVERIFY(TrendBuffer().window(10).isEmpty());
    }

    void aBurstOfStatesCostsOneRedraw()
    {
        TrendChart chart;
        chart.redrawTimer()->stop();  // the test fires the timer itself
        for (int i = 0; i < 500; ++i)
            chart.addState(stateAt(i * 0.01));
        QCOMPARE(chart.redrawCount(), 0);
        QMetaObject::invokeMethod(chart.redrawTimer(), "timeout");
        QCOMPARE(chart.redrawCount(), 1);
        QMetaObject::invokeMethod(chart.redrawTimer(), "timeout");
        QCOMPARE(chart.redrawCount(), 1);  // nothing new, nothing drawn
        QCOMPARE(chart.buffer().size(), 500);
    }

    void pauseHoldsTheDrawingButKeepsCollecting()
    {
        TrendChart chart;
        chart.redrawTimer()->stop();
        auto *pause = chart.findChild<QPushButton *>("btnTrendPause");
        QVERIFY(pause);
        pause->click();
        QVERIFY(chart.isPaused());
        chart.addState(stateAt(1));
        QMetaObject::invokeMethod(chart.redrawTimer(), "timeout");
        QCOMPARE(chart.redrawCount(), 0);
        QCOMPARE(chart.buffer().size(), 1);
        pause->click();
        QMetaObject::invokeMethod(chart.redrawTimer(), "timeout");
        QCOMPARE(chart.redrawCount(), 1);
    }

    void windowChoiceOffersTenSecondsToFiveMinutes()
    {
        TrendChart chart;
        auto *choice = chart.findChild<QComboBox *>("cbTrendWindow");
        QVERIFY(choice);
        QCOMPARE(choice->count(), 3);
        choice->setCurrentIndex(2);
        QCOMPARE(chart.windowSeconds(), 300.0);
        chart.setWindowSeconds(10);
        QCOMPARE(choice->currentIndex(), 0);
    }

    void recordingHasAHeaderBlockAndOneFlushedRowPerState()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("rec.csv");
        StateRecorder recorder;
        RecordingInfo info;
        info.model = "LXAZ-16L01-50-BC";
        info.firmware = "V1.2";
        info.hardware = "H2";
        info.logicVersion = "A3";
        info.leadMm = 1;
        info.station = 3;
        info.appVersion = "1.0.0";
        QString error;
        QVERIFY2(recorder.start(path, info, &error), qPrintable(error));
        DeviceState s = stateAt(-1.5, 230, -120);
        s.x7 = true;
        s.y1 = true;
        s.alarmHistRaw = 0x0312;
        recorder.record(s);
        recorder.record(stateAt(2.25));

        // Flushed as written: readable while the recording is still open.
        const QStringList lines = readLines(path);
        QCOMPARE(lines.size(), 12);
        QCOMPARE(lines[1], QString("# model,LXAZ-16L01-50-BC"));
        QVERIFY(lines.contains("# station,3"));
        QVERIFY(lines.contains("# lead_mm,1"));
        QVERIFY(lines.contains("# app_version,1.0.0"));
        QVERIFY(lines[9].startsWith("elapsed_ms,time,position_mm"));
        const QStringList row = lines[10].split(',');
        QCOMPARE(row.size(), 16);
        QVERIFY(QDateTime::fromString(row[1], Qt::ISODateWithMs).isValid());
        QCOMPARE(row.mid(2, 4), (QStringList{"-1.500", "230", "-0.120", "0"}));
        QCOMPARE(row.mid(6, 7), (QStringList{"0", "0", "0", "1", "0", "1", "0"}));
        QCOMPARE(row.last(), QString("0x0312"));
        QCOMPARE(recorder.rowsWritten(), qint64(2));
        recorder.stop();
        recorder.record(s);
        QCOMPARE(readLines(path).size(), 12);
    }

    void aRecordingThatCannotBeWrittenSaysWhy()
    {
        StateRecorder recorder;
        QString error;
        QVERIFY(!recorder.start("/nonexistent-dir/rec.csv", RecordingInfo(), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!recorder.isRecording());

        if (!QFile::exists("/dev/full"))
            QSKIP("/dev/full is not available to simulate a full disk");
        QSignalSpy failed(&recorder, &StateRecorder::failed);
        QVERIFY(!recorder.start("/dev/full", RecordingInfo(), &error));
        QCOMPARE(failed.size(), 1);
        QVERIFY(!recorder.isRecording());
    }

    void proposedNameComesFromModelAndTime()
    {
        const QDateTime when(QDate(2026, 12, 6), QTime(8, 5, 9));
        QCOMPARE(StateRecorder::proposedFileName("LXAZ-16L01-50-BC", when),
                 QString("LXAZ-16L01-50-BC_20261206_080509.csv"));
        QCOMPARE(StateRecorder::proposedFileName("", when), QString("drive_20261206_080509.csv"));
        QCOMPARE(StateRecorder::proposedFileName("a/b c", when), QString("a_b_c_20261206_080509.csv"));
    }
};

QTEST_MAIN(TrendTest)
#include "tst_trend.moc"
