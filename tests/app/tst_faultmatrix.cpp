// The connected window against a simulated drive with one fault on the wire
// at a time, during each kind of exchange the operator can start: polling, a
// parameter row's Read and Write, Read All, and the engineering compare read
// and block write. Every cell states its outcome: recovered with the drive's
// values, the message the operator sees, or a clean disconnect after three
// failed polling cycles. Never a hang beyond the bounded waits, and never a
// value shown as written that the drive did not confirm.

#include "paramwindowbench.h"

#include "cmpengine.h"
#include "cmpmanager.h"
#include "dictionary.h"
#include "engineeringaccess.h"
#include "linkstats.h"

#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableWidget>
#include <QTextEdit>

#include <functional>
#include <memory>

Q_DECLARE_METATYPE(SimFaults)

namespace {

using Kind = ScriptedDialogs::Kind;

constexpr quint8 Station = 3;
// Longer than every transaction timeout and than any whole operation below,
// so a held-back reply lands only after the operation ended and cannot pass
// for the reply to a later request of it.
constexpr int LongDelayMs = 3000;
constexpr int QuietMs = 250;
const QString EngineerPassword = QStringLiteral("bench-and-test-only");

enum class Fault { Silent, BadCrc, Noise, Split, Exception, LongDelay, OtherStation, DropEvery };

SimFaults faultOf(Fault fault, int every = 0)
{
    SimFaults f;
    switch (fault) {
    case Fault::Silent: f.silent = true; break;
    case Fault::BadCrc: f.badCrc = true; break;
    case Fault::Noise: f.noiseBytes = 7; break;
    case Fault::Split:
        f.splitPieces = 4;
        f.splitGapMs = 5;
        break;
    case Fault::Exception: f.exceptionReplies = true; break;
    case Fault::LongDelay: f.replyDelayMs = LongDelayMs; break;
    case Fault::OtherStation: f.answerAsStation = 9; break;
    case Fault::DropEvery: f.dropEveryNth = every; break;
    }
    return f;
}

// The link counter that shows the fault reached the window's link.
quint64 counter(const LinkStats &s, const QString &name)
{
    if (name == QLatin1String("timeouts"))
        return s.timeouts;
    if (name == QLatin1String("badCrcFrames"))
        return s.badCrcFrames;
    if (name == QLatin1String("exceptionReplies"))
        return s.exceptionReplies;
    if (name == QLatin1String("skippedBytes"))
        return s.skippedBytes;
    return s.replies;
}

QString notConfirmed(const QString &label)
{
    return QStringLiteral("Write failed: %1 was not confirmed by the device.\n\n"
                          "Please check the connection and retry.")
        .arg(label);
}

const QString ScriptSyncFailed =
    QStringLiteral("Written, but script sync failed.\n\nValue will revert after power cycle. Please retry.");

QString hex4(quint16 value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

QStringList boxTexts(const ScriptedDialogs &dialogs)
{
    QStringList texts;
    for (const ScriptedDialogs::Shown &box : dialogs.shown())
        texts << box.title + QLatin1String(": ") + box.text;
    return texts;
}

// Generous: twice the worker's wait limits of the operation plus two seconds.
int boundFor(int reads, int writes, int multiWrites, int readWaitMs = ModbusWorker::SyncReadTransactionMs)
{
    const int limits = reads * (readWaitMs + ModbusWorker::SyncReadExtraWaitMs)
                       + writes * ModbusWorker::SyncWriteWaitMs + multiWrites * ModbusWorker::SyncWriteMultiWaitMs;
    return 2 * limits + 2000;
}

}  // namespace

class FaultMatrixTest : public QObject
{
    Q_OBJECT

    // One connected window per operation, reused by its cells.
    std::unique_ptr<ParamWindowBench> m_bench;
    QString m_benchFor;
    int m_generation = 0;
    int m_heldBackMs = 0;

    // The window for the operation, connected (and on the engineering
    // content page when asked); empty, or why it is not.
    QString prepare(const QString &operation, bool engineering)
    {
        if (m_benchFor != operation)
            m_bench.reset();
        m_benchFor = operation;
        if (!m_bench) {
            m_bench = std::make_unique<ParamWindowBench>();
            const QString built = m_bench->build(ParamWindowBench::lead1Drive(Station));
            if (!built.isEmpty()) {
                m_bench.reset();
                return built;
            }
        }
        ParamWindowBench &b = *m_bench;
        if (!b.connected()) {
            const QString failed = b.connect();
            if (!failed.isEmpty())
                return failed;
        }
        if (engineering && !enterEngineeringPage(b))
            return QStringLiteral("the engineering content page did not open");
        settle();
        ++m_generation;
        return QString();
    }

    static bool enterEngineeringPage(ParamWindowBench &b)
    {
        auto *tabs = b.find<QTabWidget>("mainTabs");
        auto *access = b.window->findChild<EngineeringAccess *>();
        if (!access->engineerMode()) {
            for (int i = 0; i < EngineeringAccess::TapsToToggle; ++i)
                access->tap();
        }
        tabs->setCurrentIndex(MainWindow::EngineeringTab);
        b.window->setEngineeringPasswordDigest(EngineeringAccess::sha256Hex(EngineerPassword));
        b.find<QLineEdit>("engPassword")->setText(EngineerPassword);
        b.find<QAbstractButton>("btnLogin")->click();
        return tabs->currentIndex() == MainWindow::EngineeringTab && b.window->compare()->taskCount() > 0;
    }

    // Faults for the cell's operation; a held-back reply is remembered, so
    // the cell ends (or the next one starts) only after it has landed.
    void inject(const SimFaults &faults)
    {
        m_heldBackMs = qMax(m_heldBackMs, faults.replyDelayMs);
        m_bench->bus.setFaults(faults);
    }

    // Right after the operation: the faults go and polling waits, so a drive
    // still holding a reply back cannot also cost the connection.
    void release()
    {
        m_bench->bus.setFaults(SimFaults());
        m_bench->worker()->setPollingPaused(true);
    }

    // Clears the faults, holds polling and waits until the bus has been quiet
    // for longer than any reply still held back, so the next cell starts
    // clean. Returns the requests of the cell other than polling.
    QStringList settle()
    {
        ParamWindowBench &b = *m_bench;
        release();
        int seen = -1;
        QElapsedTimer quiet;
        const int quietMs = m_heldBackMs + QuietMs;
        const bool settled = QTest::qWaitFor([&] {
            const int now = b.bus.requests().size();
            if (now != seen) {
                seen = now;
                quiet.restart();
            }
            return quiet.elapsed() > quietMs;
        }, quietMs + 10000);
        if (!settled)
            qWarning("the bus did not go quiet");
        m_heldBackMs = 0;
        const QStringList wire = b.wire();
        b.bus.clearRequests();
        b.dialogs->clear();
        return wire;
    }

    static QString pressed(ParamWindowBench &b, const char *button, qint64 *elapsedMs)
    {
        auto *widget = b.find<QAbstractButton>(button);
        if (!widget)
            return QStringLiteral("no button %1").arg(QLatin1String(button));
        if (!widget->isEnabled())
            return QStringLiteral("%1 is disabled").arg(QLatin1String(button));
        QElapsedTimer clock;
        clock.start();
        widget->click();
        *elapsedMs = clock.elapsed();
        return QString();
    }

    // The compare rows back to unread, so a row that shows device data now got it from this cell.
    static void forgetCompareReads(ParamWindowBench &b)
    {
        QVector<CmpTask> tasks = b.window->compare()->tasks();
        for (CmpTask &task : tasks) {
            task.device.clear();
            task.status = CmpStatus::Pending;
        }
        b.window->compare()->setTasks(tasks);
        b.find<QTextEdit>("cmpLogs")->clear();
    }

    static quint16 expectedWord(const CmpTask &task, int i)
    {
        return quint16((quint8(task.expected[2 * i]) << 8) | quint8(task.expected[2 * i + 1]));
    }

    static QVector<quint16> driveWords(const ParamWindowBench &b, const CmpTask &task)
    {
        QVector<quint16> words;
        for (int i = 0; i < task.wordCount; ++i)
            words << b.reg(quint16(task.address + i));
        return words;
    }

    static QVector<quint16> bytesToWords(const QByteArray &bytes)
    {
        QVector<quint16> words;
        for (int i = 0; i + 1 < bytes.size(); i += 2)
            words << quint16((quint8(bytes[i]) << 8) | quint8(bytes[i + 1]));
        return words;
    }

    void checkEvidence(const QString &evidence, quint64 before)
    {
        if (evidence.isEmpty())
            return;
        // The worker publishes its counters at the start of each loop pass.
        QTRY_VERIFY2_WITH_TIMEOUT(counter(m_bench->worker()->linkStats(), evidence) > before,
                                  qPrintable(QStringLiteral("the link never counted %1").arg(evidence)), 3000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QSettings(QStringLiteral("Torvane"), QStringLiteral("TorvaneVexaElectricActuator")).clear();
    }

    void cleanupTestCase() { m_bench.reset(); }

    void polling_data()
    {
        QTest::addColumn<SimFaults>("faults");
        QTest::addColumn<bool>("disconnects");
        QTest::addColumn<QString>("evidence");
        // Every other cycle loses one reply: the failures never come three in a row.
        QTest::newRow("one reply in 7 dropped: stays") << faultOf(Fault::DropEvery, 7) << false << "timeouts";
        QTest::newRow("leading noise: stays") << faultOf(Fault::Noise) << false << "skippedBytes";
        QTest::newRow("split replies: stays") << faultOf(Fault::Split) << false << "replies";
        QTest::newRow("silence: disconnects") << faultOf(Fault::Silent) << true << "timeouts";
        QTest::newRow("bad CRC: disconnects") << faultOf(Fault::BadCrc) << true << "badCrcFrames";
        QTest::newRow("exception replies: disconnects") << faultOf(Fault::Exception) << true << "exceptionReplies";
        QTest::newRow("long delay: disconnects") << faultOf(Fault::LongDelay) << true << "timeouts";
        QTest::newRow("another station answers: disconnects") << faultOf(Fault::OtherStation) << true << "timeouts";
    }

    void polling()
    {
        QFETCH(SimFaults, faults);
        QFETCH(bool, disconnects);
        QFETCH(QString, evidence);
        const QString skip = prepare(QStringLiteral("polling"), false);
        if (!skip.isEmpty())
            QSKIP(qPrintable(skip));
        ParamWindowBench &b = *m_bench;
        ModbusWorker *worker = b.worker();
        const double positionMm = 10.0 + m_generation;
        b.bus.setPositionMm(Station, positionMm);

        QSignalSpy states(worker, &ModbusWorker::stateUpdated);
        QSignalSpy log(worker, &ModbusWorker::logMessage);
        const quint64 before = counter(worker->linkStats(), evidence);
        inject(faults);
        QElapsedTimer clock;
        clock.start();
        worker->setPollingPaused(false);

        if (disconnects) {
            QTRY_VERIFY_WITH_TIMEOUT(!b.connected(), 10000);
            QVERIFY(clock.elapsed() < 10000);
            QTRY_VERIFY_WITH_TIMEOUT(!worker->isRunning(), 3000);
            QCOMPARE(b.dialogs->count(), 1);
            const ScriptedDialogs::Shown box = b.dialogs->last();
            QCOMPARE(box.icon, QMessageBox::Warning);
            QCOMPARE(box.title, QStringLiteral("Disconnected"));
            QCOMPARE(box.text, translateKey(QStringLiteral("err_timeout"), QStringLiteral("en")));
            QCOMPARE(b.find<QLabel>("lblConnectionStatus")->text(), QStringLiteral("Disconnected"));
            QVERIFY(b.find<QAbstractButton>("btnScan")->isEnabled());
            QVERIFY(!b.find<QAbstractButton>("btnDisconnect")->isEnabled());
            // Three failed cycles: the first two are logged, the third ends the loop.
            int pollErrors = 0;
            for (const QList<QVariant> &line : qAsConst(log)) {
                if (line.at(1).toString().startsWith(QLatin1String("Poll error: ")))
                    ++pollErrors;
            }
            QCOMPARE(pollErrors, ModbusWorker::FailedCyclesBeforeLoss - 1);
            QVERIFY(counter(worker->linkStats(), evidence) > before);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(states.count() >= 12, 15000);
            QVERIFY(b.connected());
            QVERIFY(worker->isRunning());
            QCOMPARE(b.dialogs->count(), 0);
            const DeviceState last = states.last().first().value<DeviceState>();
            QCOMPARE(last.positionMm, positionMm);
            QTRY_COMPARE(b.find<QLabel>("lblPos")->text(), QString::number(positionMm, 'f', 2));
            checkEvidence(evidence, before);
        }
        settle();
    }

    void rowRead_data()
    {
        QTest::addColumn<SimFaults>("faults");
        QTest::addColumn<bool>("fresh");
        QTest::addColumn<QString>("evidence");
        // A failed read leaves the row as it was and shows no box.
        QTest::newRow("leading noise: read") << faultOf(Fault::Noise) << true << "skippedBytes";
        QTest::newRow("split reply: read") << faultOf(Fault::Split) << true << "replies";
        QTest::newRow("its reply dropped: unchanged") << faultOf(Fault::DropEvery, 1) << false << "timeouts";
        QTest::newRow("silence: unchanged") << faultOf(Fault::Silent) << false << "timeouts";
        QTest::newRow("bad CRC: unchanged") << faultOf(Fault::BadCrc) << false << "badCrcFrames";
        QTest::newRow("exception reply: unchanged") << faultOf(Fault::Exception) << false << "exceptionReplies";
        QTest::newRow("long delay: unchanged") << faultOf(Fault::LongDelay) << false << "timeouts";
        QTest::newRow("another station answers: unchanged") << faultOf(Fault::OtherStation) << false << "timeouts";
    }

    void rowRead()
    {
        QFETCH(SimFaults, faults);
        QFETCH(bool, fresh);
        QFETCH(QString, evidence);
        const QString skip = prepare(QStringLiteral("rowRead"), false);
        if (!skip.isEmpty())
            QSKIP(qPrintable(skip));
        ParamWindowBench &b = *m_bench;
        const int shown = 100 + 2 * m_generation;
        b.setReg(Reg::Pos0Accel, quint16(shown));
        qint64 elapsed = 0;
        QCOMPARE(pressed(b, "btnRead_pos0Accel", &elapsed), QString());
        QCOMPARE(b.find<QLabel>("cur_pos0Accel")->text(), QString::number(shown));
        b.setReg(Reg::Pos0Accel, quint16(shown + 1));
        b.bus.clearRequests();

        const quint64 before = counter(b.worker()->linkStats(), evidence);
        inject(faults);
        QCOMPARE(pressed(b, "btnRead_pos0Accel", &elapsed), QString());
        release();

        QVERIFY2(elapsed < boundFor(1, 0, 0), qPrintable(QString::number(elapsed)));
        const int expected = fresh ? shown + 1 : shown;
        QCOMPARE(b.find<QLabel>("cur_pos0Accel")->text(), QString::number(expected));
        QCOMPARE(b.find<QSpinBox>("spin_pos0Accel")->value(), expected);
        QCOMPARE(boxTexts(*b.dialogs), QStringList());
        QVERIFY(b.connected());
        checkEvidence(evidence, before);
        QCOMPARE(settle(), QStringList{"03 0223/1 @3"});
    }

    void rowWrite_data()
    {
        QTest::addColumn<SimFaults>("faults");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("driveWritten");
        QTest::addColumn<bool>("scriptCopied");
        QTest::addColumn<bool>("rowRefreshed");
        QTest::addColumn<QString>("evidence");
        const QString failed = notConfirmed(QStringLiteral("Soft Limit CW"));
        QTest::newRow("leading noise: written") << faultOf(Fault::Noise) << QString() << true << true << true
                                                << "skippedBytes";
        QTest::newRow("split replies: written") << faultOf(Fault::Split) << QString() << true << true << true
                                                << "replies";
        // The drive took the main write and its script copy; the copy's echo was lost.
        QTest::newRow("script copy echo dropped: reported")
            << faultOf(Fault::DropEvery, 2) << ScriptSyncFailed << true << true << false << "timeouts";
        // Both writes confirmed, only the refresh lost: the row keeps the older value.
        QTest::newRow("refresh reply dropped: row kept")
            << faultOf(Fault::DropEvery, 3) << QString() << true << true << false << "timeouts";
        QTest::newRow("silence: reported, not written") << faultOf(Fault::Silent) << failed << false << false
                                                        << false << "timeouts";
        QTest::newRow("exception: reported, not written")
            << faultOf(Fault::Exception) << failed << false << false << false << "exceptionReplies";
        // The drive carried the main write out, but no echo confirmed it: reported,
        // and the script copy is not attempted.
        QTest::newRow("bad CRC: reported") << faultOf(Fault::BadCrc) << failed << true << false << false
                                           << "badCrcFrames";
        QTest::newRow("long delay: reported") << faultOf(Fault::LongDelay) << failed << true << false << false
                                              << "timeouts";
        QTest::newRow("another station answers: reported")
            << faultOf(Fault::OtherStation) << failed << true << false << false << "timeouts";
    }

    void rowWrite()
    {
        QFETCH(SimFaults, faults);
        QFETCH(QString, message);
        QFETCH(bool, driveWritten);
        QFETCH(bool, scriptCopied);
        QFETCH(bool, rowRefreshed);
        QFETCH(QString, evidence);
        const QString skip = prepare(QStringLiteral("rowWrite"), false);
        if (!skip.isEmpty())
            QSKIP(qPrintable(skip));
        ParamWindowBench &b = *m_bench;
        const qint32 oldCounts = 40000;
        const qint32 newCounts = 41000 + 100 * m_generation;
        b.setReg32(Reg::SoftLimitCW, oldCounts);
        b.setReg32(Reg::ScriptSoftLimitCW, oldCounts);
        qint64 elapsed = 0;
        QCOMPARE(pressed(b, "btnRead_softLimitCW", &elapsed), QString());
        QCOMPARE(b.find<QLabel>("cur_softLimitCW")->text(), QStringLiteral("40.00"));
        b.find<QDoubleSpinBox>("spinD_softLimitCW")->setValue(newCounts / 1000.0);
        b.bus.clearRequests();

        const quint64 before = counter(b.worker()->linkStats(), evidence);
        inject(faults);
        QCOMPARE(pressed(b, "btnWrite_softLimitCW", &elapsed), QString());
        release();
        QVERIFY2(elapsed < boundFor(1, 0, 2), qPrintable(QString::number(elapsed)));

        const QStringList boxes = boxTexts(*b.dialogs);
        if (message.isEmpty()) {
            QCOMPARE(boxes, QStringList());
        } else {
            QCOMPARE(boxes, QStringList{QStringLiteral("Parameter Error: ") + message});
            QCOMPARE(b.dialogs->last().icon, QMessageBox::Warning);
        }
        settle();  // a held-back write lands before the drive is checked

        const auto driveValue = [&b](quint16 address) {
            return qint32(quint32(b.reg(address)) | (quint32(b.reg(quint16(address + 1))) << 16));
        };
        QCOMPARE(driveValue(Reg::SoftLimitCW), driveWritten ? newCounts : oldCounts);
        QCOMPARE(driveValue(Reg::ScriptSoftLimitCW), scriptCopied ? newCounts : oldCounts);
        const QString shown = b.find<QLabel>("cur_softLimitCW")->text();
        QCOMPARE(shown, rowRefreshed ? QString::number(newCounts / 1000.0, 'f', 2) : QStringLiteral("40.00"));
        // Whatever the row shows, the drive holds.
        if (shown != QStringLiteral("40.00"))
            QVERIFY(driveWritten);
        QVERIFY(b.connected());
        checkEvidence(evidence, before);
    }

    void readAll_data()
    {
        QTest::addColumn<SimFaults>("faults");
        QTest::addColumn<QStringList>("freshRows");
        QTest::addColumn<QString>("evidence");
        const QStringList all{"homeTorque", "pos0", "pos1", "softLimitCCW", "softLimitCW", "thresholds"};
        QTest::newRow("leading noise: all read") << faultOf(Fault::Noise) << all << "skippedBytes";
        QTest::newRow("split replies: all read") << faultOf(Fault::Split) << all << "replies";
        // The third and sixth of the eight reads lose their replies: Position 2 and the CCW limit.
        QTest::newRow("one reply in 3 dropped: those rows kept")
            << faultOf(Fault::DropEvery, 3)
            << QStringList{"homeTorque", "pos0", "softLimitCW", "thresholds"} << "timeouts";
        // No box: every row keeps what it showed.
        QTest::newRow("silence: rows kept") << faultOf(Fault::Silent) << QStringList() << "timeouts";
        QTest::newRow("bad CRC: rows kept") << faultOf(Fault::BadCrc) << QStringList() << "badCrcFrames";
        QTest::newRow("exception replies: rows kept") << faultOf(Fault::Exception) << QStringList()
                                                      << "exceptionReplies";
        QTest::newRow("long delay: rows kept") << faultOf(Fault::LongDelay) << QStringList() << "timeouts";
        QTest::newRow("another station answers: rows kept") << faultOf(Fault::OtherStation) << QStringList()
                                                            << "timeouts";
    }

    void readAll()
    {
        QFETCH(SimFaults, faults);
        QFETCH(QStringList, freshRows);
        QFETCH(QString, evidence);
        const QString skip = prepare(QStringLiteral("readAll"), false);
        if (!skip.isEmpty())
            QSKIP(qPrintable(skip));
        ParamWindowBench &b = *m_bench;

        // Two sets of drive values, the older one on screen first.
        const auto load = [&b](int set) {
            b.setReg(Reg::HomeTorque, quint16(qRound((40 + set) * 1.7)));
            b.setReg(Reg::Pos0Accel, quint16(100 + set));
            b.setReg(Reg::Pos1Accel, quint16(200 + set));
            b.setReg32(Reg::SoftLimitCCW, 100 * set);
            b.setReg32(Reg::SoftLimitCW, 45000 + 100 * set);
            b.setReg(Reg::DynamicErrorThreshold, quint16(30 + set));
            b.setReg(Reg::Pos0MotionMode, Reg::PushMode::Pos0Off);
            b.setReg(Reg::Pos1MotionMode, Reg::PushMode::Pos1Off);
        };
        const int older = 2 * (m_generation % 5);
        const int newer = older + 1;
        load(older);
        qint64 elapsed = 0;
        QCOMPARE(pressed(b, "btnReadAllParams", &elapsed), QString());
        load(newer);
        b.bus.clearRequests();
        b.dialogs->clear();

        const quint64 before = counter(b.worker()->linkStats(), evidence);
        inject(faults);
        QCOMPARE(pressed(b, "btnReadAllParams", &elapsed), QString());
        release();
        QVERIFY2(elapsed < boundFor(8, 0, 0), qPrintable(QString::number(elapsed)));

        const auto set = [&freshRows, older, newer](const char *row) {
            return freshRows.contains(QLatin1String(row)) ? newer : older;
        };
        QCOMPARE(b.find<QSpinBox>("spin_homeTorque")->value(), 40 + set("homeTorque"));
        QCOMPARE(b.find<QSpinBox>("spin_pos0Accel")->value(), 100 + set("pos0"));
        QCOMPARE(b.find<QSpinBox>("spin_pos1Accel")->value(), 200 + set("pos1"));
        QCOMPARE(b.find<QDoubleSpinBox>("spinD_softLimitCCW")->value(), 0.1 * set("softLimitCCW"));
        QCOMPARE(b.find<QDoubleSpinBox>("spinD_softLimitCW")->value(), 45.0 + 0.1 * set("softLimitCW"));
        QCOMPARE(b.find<QLabel>("raw_dynErr")->text(), QStringLiteral("%1 steps").arg(30 + set("thresholds")));
        QCOMPARE(boxTexts(*b.dialogs), QStringList());
        QVERIFY(b.connected());
        checkEvidence(evidence, before);
        // Every read was still tried, in order, and nothing was written.
        QCOMPARE(settle(), (QStringList{"03 0215/1 @3", "03 0223/9 @3", "03 0233/9 @3", "03 022E/1 @3",
                                        "03 023E/1 @3", "03 006E/2 @3", "03 0070/2 @3", "03 000B/6 @3"}));
    }

    void compareRead_data()
    {
        QTest::addColumn<SimFaults>("faults");
        QTest::addColumn<QList<int>>("failedGroups");
        QTest::addColumn<QString>("evidence");
        const QList<int> all{0, 1, 2, 3};
        QTest::newRow("leading noise: compared") << faultOf(Fault::Noise) << QList<int>() << "skippedBytes";
        QTest::newRow("split replies: compared") << faultOf(Fault::Split) << QList<int>() << "replies";
        QTest::newRow("one reply in 2 dropped: groups 2 and 4 in error")
            << faultOf(Fault::DropEvery, 2) << QList<int>{1, 3} << "timeouts";
        QTest::newRow("silence: all in error") << faultOf(Fault::Silent) << all << "timeouts";
        QTest::newRow("bad CRC: all in error") << faultOf(Fault::BadCrc) << all << "badCrcFrames";
        QTest::newRow("exception replies: all in error") << faultOf(Fault::Exception) << all << "exceptionReplies";
        QTest::newRow("long delay: all in error") << faultOf(Fault::LongDelay) << all << "timeouts";
        QTest::newRow("another station answers: all in error") << faultOf(Fault::OtherStation) << all
                                                               << "timeouts";
    }

    void compareRead()
    {
        QFETCH(SimFaults, faults);
        QFETCH(QList<int>, failedGroups);
        QFETCH(QString, evidence);
        const QString skip = prepare(QStringLiteral("compareRead"), true);
        if (!skip.isEmpty())
            QSKIP(qPrintable(skip));
        ParamWindowBench &b = *m_bench;
        CmpManager *compare = b.window->compare();
        forgetCompareReads(b);
        // Even rows hold what the table expects, odd rows differ in every bit.
        const QVector<CmpTask> tasks = compare->tasks();
        for (int t = 0; t < tasks.size(); ++t) {
            for (int i = 0; i < tasks[t].wordCount; ++i) {
                const quint16 word = expectedWord(tasks[t], i);
                b.setReg(quint16(tasks[t].address + i), t % 2 == 0 ? word : quint16(~word));
            }
        }
        const QVector<CmpGroup> groups = mergeTasks(tasks);
        QCOMPARE(groups.size(), 4);

        const quint64 before = counter(b.worker()->linkStats(), evidence);
        inject(faults);
        qint64 elapsed = 0;
        QCOMPARE(pressed(b, "btnCmpRead", &elapsed), QString());
        release();
        QVERIFY2(elapsed < boundFor(4, 0, 0, 1000), qPrintable(QString::number(elapsed)));

        auto *table = b.find<QTableWidget>("cmpTable");
        const QString log = b.find<QTextEdit>("cmpLogs")->toPlainText();
        for (int g = 0; g < groups.size(); ++g) {
            const bool failed = failedGroups.contains(g);
            const QString readError = QStringLiteral("Read error: no reply for %1 words at 0x%2")
                                          .arg(groups[g].wordCount)
                                          .arg(hex4(groups[g].address));
            QCOMPARE(log.contains(readError), failed);
            for (int t : groups[g].taskIndices) {
                const CmpTask &task = compare->tasks()[t];
                if (failed) {
                    QCOMPARE(task.status, CmpStatus::Error);
                    QVERIFY(task.device.isEmpty());
                    QCOMPARE(table->item(t, 4)->text(), QStringLiteral("✖ Error"));
                    QCOMPARE(table->item(t, 3)->text(), QStringLiteral("--"));
                } else {
                    QCOMPARE(bytesToWords(task.device), driveWords(b, task));
                    QCOMPARE(task.status, t % 2 == 0 ? CmpStatus::Match : CmpStatus::Mismatch);
                    QCOMPARE(table->item(t, 4)->text(),
                             t % 2 == 0 ? QStringLiteral("✔ Match") : QStringLiteral("⚠ Mismatch"));
                }
            }
        }
        QCOMPARE(boxTexts(*b.dialogs), QStringList());
        QVERIFY(b.connected());
        checkEvidence(evidence, before);
        // One read per group, and nothing written.
        QStringList reads;
        for (const CmpGroup &group : groups)
            reads << QStringLiteral("03 %1/%2 @3").arg(hex4(group.address)).arg(group.wordCount);
        QCOMPARE(settle(), reads);
    }

    void compareWrite_data()
    {
        QTest::addColumn<SimFaults>("faults");
        QTest::addColumn<QList<int>>("failedGroups");
        QTest::addColumn<bool>("driveWritten");
        QTest::addColumn<QString>("evidence");
        const QList<int> all{0, 1, 2, 3};
        QTest::newRow("leading noise: written") << faultOf(Fault::Noise) << QList<int>() << true << "skippedBytes";
        QTest::newRow("split replies: written") << faultOf(Fault::Split) << QList<int>() << true << "replies";
        // Every write reached the drive; two echoes were lost and their rows say so.
        QTest::newRow("one reply in 2 dropped: groups 2 and 4 in error")
            << faultOf(Fault::DropEvery, 2) << QList<int>{1, 3} << true << "timeouts";
        QTest::newRow("silence: not written") << faultOf(Fault::Silent) << all << false << "timeouts";
        QTest::newRow("exception replies: not written") << faultOf(Fault::Exception) << all << false
                                                         << "exceptionReplies";
        // Carried out without a valid echo: unconfirmed, so shown in error.
        QTest::newRow("bad CRC: unconfirmed") << faultOf(Fault::BadCrc) << all << true << "badCrcFrames";
        QTest::newRow("long delay: unconfirmed") << faultOf(Fault::LongDelay) << all << true << "timeouts";
        QTest::newRow("another station answers: unconfirmed") << faultOf(Fault::OtherStation) << all << true
                                                              << "timeouts";
    }

    void compareWrite()
    {
        QFETCH(SimFaults, faults);
        QFETCH(QList<int>, failedGroups);
        QFETCH(bool, driveWritten);
        QFETCH(QString, evidence);
        const QString skip = prepare(QStringLiteral("compareWrite"), true);
        if (!skip.isEmpty())
            QSKIP(qPrintable(skip));
        ParamWindowBench &b = *m_bench;
        CmpManager *compare = b.window->compare();
        forgetCompareReads(b);
        // The drive starts with every bit of the block the other way round.
        const QVector<CmpTask> tasks = compare->tasks();
        for (const CmpTask &task : tasks) {
            for (int i = 0; i < task.wordCount; ++i)
                b.setReg(quint16(task.address + i), quint16(~expectedWord(task, i)));
        }
        const QVector<CmpGroup> groups = mergeTasks(tasks);
        QCOMPARE(groups.size(), 4);

        const quint64 before = counter(b.worker()->linkStats(), evidence);
        inject(faults);
        qint64 elapsed = 0;
        QCOMPARE(pressed(b, "btnCmpWrite", &elapsed), QString());
        release();
        QVERIFY2(elapsed < boundFor(0, 0, 4), qPrintable(QString::number(elapsed)));
        const QStringList boxes = boxTexts(*b.dialogs);
        settle();  // a held-back write lands before the drive is checked

        auto *table = b.find<QTableWidget>("cmpTable");
        const QString log = b.find<QTextEdit>("cmpLogs")->toPlainText();
        for (int g = 0; g < groups.size(); ++g) {
            const bool failed = failedGroups.contains(g);
            const QString writeError = QStringLiteral("Write error: no reply to the write of %1 words at 0x%2")
                                           .arg(groups[g].wordCount)
                                           .arg(hex4(groups[g].address));
            QCOMPARE(log.contains(writeError), failed);
            for (int t : groups[g].taskIndices) {
                const CmpTask &task = tasks[t];
                QVector<quint16> expected;
                for (int i = 0; i < task.wordCount; ++i)
                    expected << expectedWord(task, i);
                QVector<quint16> untouched;
                for (quint16 word : expected)
                    untouched << quint16(~word);
                const CmpTask &shown = compare->tasks()[t];
                if (failed) {
                    // Never a match for a write the drive did not confirm.
                    QCOMPARE(shown.status, CmpStatus::Error);
                    QCOMPARE(table->item(t, 4)->text(), QStringLiteral("✖ Error"));
                    QCOMPARE(driveWords(b, task), driveWritten ? expected : untouched);
                } else {
                    QCOMPARE(shown.status, CmpStatus::Match);
                    QCOMPARE(table->item(t, 4)->text(), QStringLiteral("✔ Match"));
                    QCOMPARE(driveWords(b, task), expected);
                }
            }
        }
        QCOMPARE(boxes, QStringList());
        QVERIFY(b.connected());
        checkEvidence(evidence, before);
    }
};

int main(int argc, char *argv[])
{
    return runWindowTest<FaultMatrixTest>(argc, argv);
}

#include "tst_faultmatrix.moc"
