// The link counters on the Connection tab: shown live while connected, with
// the simulator's injected faults in their own counters, and kept after the
// connection ends until the next one starts.

#include "paramwindowbench.h"

#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>

namespace {

constexpr int CounterWaitMs = 15000;

// A counter of the English line, e.g. counter(text, "bad CRC"); -1 when absent.
qint64 counter(const QString &text, const QString &name)
{
    const QRegularExpression pattern(QRegularExpression::escape(name) + QStringLiteral(" (\\d+)"));
    const QRegularExpressionMatch match = pattern.match(text);
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

}  // namespace

class LinkHealthTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void countersAppearOnConnectingAndFollowTheLink();
    void injectedFaultsShowInTheirCounters_data();
    void injectedFaultsShowInTheirCounters();
    void countersOutliveTheConnectionUntilTheNextOne();
    void theLineFollowsTheLanguage();

private:
    QLabel *line(ParamWindowBench &bench) { return bench.find<QLabel>("lblLinkHealth"); }
};

void LinkHealthTest::countersAppearOnConnectingAndFollowTheLink()
{
    ParamWindowBench bench;
    const QString built = bench.build(ParamWindowBench::lead1Drive());
    if (!built.isEmpty())
        QSKIP(qPrintable(built));
    QLabel *health = line(bench);
    QVERIFY(health);
    QVERIFY(health->isHidden());

    QCOMPARE(bench.connect(), QString());

    QVERIFY(!health->isHidden());
    QTRY_VERIFY_WITH_TIMEOUT(counter(health->text(), QStringLiteral("replies")) > 0, CounterWaitMs);
    const qint64 requests = counter(health->text(), QStringLiteral("requests"));
    // Polling goes on, and so does the line.
    QTRY_VERIFY_WITH_TIMEOUT(counter(health->text(), QStringLiteral("requests")) > requests, CounterWaitMs);
    for (const char *fault : {"timeouts", "bad CRC", "exceptions", "noise"})
        QCOMPARE(counter(health->text(), QLatin1String(fault)), qint64(0));
    QVERIFY(health->text().contains(QRegularExpression(QStringLiteral("latency \\d+\\.\\d / \\d+\\.\\d ms"))));
}

void LinkHealthTest::injectedFaultsShowInTheirCounters_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("name");

    QTest::newRow("noise before replies") << 0 << "noise";
    QTest::newRow("corrupted CRC") << 1 << "bad CRC";
    QTest::newRow("exception replies") << 2 << "exceptions";
    QTest::newRow("silent drive") << 3 << "timeouts";
}

void LinkHealthTest::injectedFaultsShowInTheirCounters()
{
    QFETCH(int, fault);
    QFETCH(QString, name);
    ParamWindowBench bench;
    const QString started = bench.start(ParamWindowBench::lead1Drive());
    if (!started.isEmpty())
        QSKIP(qPrintable(started));
    QLabel *health = line(bench);
    QTRY_VERIFY_WITH_TIMEOUT(counter(health->text(), QStringLiteral("replies")) > 0, CounterWaitMs);
    QCOMPARE(counter(health->text(), name), qint64(0));

    bench.setFaults([fault](SimFaults &f) {
        f.noiseBytes = fault == 0 ? 7 : 0;
        f.badCrc = fault == 1;
        f.exceptionReplies = fault == 2;
        f.silent = fault == 3;
    });

    // Faults that fail every poll end the connection; the line keeps what it counted.
    QTRY_VERIFY_WITH_TIMEOUT(counter(health->text(), name) > 0, CounterWaitMs);
    bench.setFaults([](SimFaults &) {});
    QVERIFY(!health->isHidden());
}

void LinkHealthTest::countersOutliveTheConnectionUntilTheNextOne()
{
    ParamWindowBench bench;
    const QString started = bench.start(ParamWindowBench::lead1Drive());
    if (!started.isEmpty())
        QSKIP(qPrintable(started));
    QLabel *health = line(bench);
    constexpr qint64 Plenty = 60;
    QTRY_VERIFY_WITH_TIMEOUT(counter(health->text(), QStringLiteral("requests")) >= Plenty, CounterWaitMs);

    bench.find<QPushButton>("btnDisconnect")->click();
    QVERIFY(!bench.connected());
    const QString kept = health->text();
    QVERIFY(counter(kept, QStringLiteral("requests")) >= Plenty);
    QTest::qWait(1200);  // past two refreshes of a running line
    QCOMPARE(health->text(), kept);

    QCOMPARE(bench.connect(), QString());
    // The new connection counts from zero.
    QVERIFY2(counter(health->text(), QStringLiteral("requests")) < Plenty, qPrintable(health->text()));
}

void LinkHealthTest::theLineFollowsTheLanguage()
{
    ParamWindowBench bench;
    const QString started = bench.start(ParamWindowBench::lead1Drive());
    if (!started.isEmpty())
        QSKIP(qPrintable(started));
    QLabel *health = line(bench);
    QVERIFY(health->text().startsWith(QLatin1String("Link: requests ")));

    bench.find<QComboBox>("cbLanguage")->setCurrentIndex(0);

    QVERIFY2(health->text().startsWith(QStringLiteral("通訊：請求 ")), qPrintable(health->text()));
    QVERIFY(health->text().contains(QStringLiteral("CRC 錯誤 ")));
}

int main(int argc, char *argv[])
{
    return runWindowTest<LinkHealthTest>(argc, argv);
}

#include "tst_linkhealth.moc"
