#include "cli.h"
#include "numberparse.h"
#include "registers.h"
#include "simbus.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <QtTest>

namespace {

struct CliRun
{
    int code = -1;
    QString out;
    QString err;
};

CliRun runCommand(const QStringList &arguments)
{
    CliRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.code = runCli(arguments, out, err);
    out.flush();
    err.flush();
    return run;
}

}  // namespace

class CliTest : public QObject
{
    Q_OBJECT

    SimBus m_bus;
    QString m_port;

    QStringList at(const QString &command, int station = 1) const
    {
        return {command, "--port", m_port, "--station", QString::number(station)};
    }

private Q_SLOTS:
    void initTestCase()
    {
        SimDriveConfig drive;
        drive.station = 1;
        m_bus.addDrive(drive);
        SimDriveConfig foreign;
        foreign.station = 5;
        foreign.familyCode = 7;
        m_bus.addDrive(foreign);
        QVERIFY(m_bus.start());
        m_port = m_bus.portPath();
    }

    void numbersAreDecimalOrHex_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<qint64>("value");
        QTest::newRow("decimal") << "700" << true << qint64(700);
        QTest::newRow("hex") << "0x02BC" << true << qint64(0x02BC);
        QTest::newRow("upper hex prefix") << "0X2bc" << true << qint64(0x02BC);
        QTest::newRow("spaces trimmed") << " 12 " << true << qint64(12);
        QTest::newRow("maximum") << "0xFFFF" << true << qint64(0xFFFF);
        QTest::newRow("above range") << "65536" << false << qint64(0);
        QTest::newRow("negative") << "-1" << false << qint64(0);
        QTest::newRow("bare prefix") << "0x" << false << qint64(0);
        QTest::newRow("trailing junk") << "12abc" << false << qint64(0);
        QTest::newRow("empty") << "" << false << qint64(0);
        QTest::newRow("huge") << "99999999999999999999999" << false << qint64(0);
        QTest::newRow("octal-looking is decimal") << "010" << true << qint64(10);
        QTest::newRow("second prefix") << "0x0x11" << false << qint64(0);
        QTest::newRow("blank after prefix") << "0x\t3" << false << qint64(0);
        QTest::newRow("signed hex") << "0x+5" << false << qint64(0);
        QTest::newRow("inner blank") << "1 2" << false << qint64(0);
    }
    void numbersAreDecimalOrHex()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(qint64, value);
        const ParsedNumber n = parseNumber(text, 0, 0xFFFF);
        QCOMPARE(n.ok, ok);
        if (ok)
            QCOMPARE(n.value, value);
        else
            QVERIFY(!n.error.isEmpty());
    }

    void readPrintsOneWordPerLine()
    {
        const CliRun run = runCommand(at("read") << "--address" << "0x02BC" << "--count" << "5");
        QCOMPARE(run.code, 0);
        const QStringList lines = run.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[0], QString("0x02BC 0x4103"));
        QCOMPARE(lines[1], QString("0x02BD 0x0000"));
        QCOMPARE(lines[2], QString("0x02BE 0x0010"));
        QVERIFY(run.err.isEmpty());
    }

    void readStatsReportTheLinkCounters()
    {
        SimFaults noisy;
        noisy.noiseBytes = 4;
        m_bus.setFaults(noisy);
        const CliRun run = runCommand(at("read") << "--address" << "0x0004" << "--count" << "2" << "--stats");
        m_bus.setFaults(SimFaults());
        QCOMPARE(run.code, 0);
        const QStringList lines = run.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[2].left(60), QString("link: requests 1, replies 1, timeouts 0, bad CRC 0, exceptio"));
        QVERIFY2(lines[2].contains("noise 4 B"), qPrintable(lines[2]));
    }

    void writeAndWriteMultiReachTheDrive()
    {
        QCOMPARE(runCommand(at("write") << "--address" << "0x0223" << "--value" << "300").code, 0);
        QCOMPARE(m_bus.registerValue(1, Reg::Pos0Accel), quint16(300));
        QCOMPARE(runCommand(at("write-multi") << "--address" << "0x0227" << "--values" << "0x2710,1").code, 0);
        QCOMPARE(m_bus.registerValue(1, Reg::Pos0Speed), quint16(0x2710));
        QCOMPARE(m_bus.registerValue(1, Reg::Pos0Speed + 1), quint16(1));
        const SimRequest last = m_bus.requests().last();
        QCOMPARE(int(last.function), 0x10);
        QCOMPARE(last.values, (QVector<quint16>{0x2710, 1}));
    }

    void pollPrintsStatesAsJsonLines()
    {
        const CliRun run = runCommand(at("poll") << "--count" << "3");
        QCOMPARE(run.code, 0);
        const QStringList lines = run.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 4);
        for (const QString &line : lines.mid(0, 3)) {
            const QJsonObject state = QJsonDocument::fromJson(line.toUtf8()).object();
            QVERIFY(state.contains("positionMm"));
            QVERIFY(state.contains("alarmHistRaw"));
        }
        const QJsonObject link = QJsonDocument::fromJson(lines[3].toUtf8()).object()["link"].toObject();
        QVERIFY(link["requests"].toInt() >= 18);
        QCOMPARE(link["timeouts"].toInt(), 0);
    }

    void failuresHaveTheirExitCodes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown command") << QStringList{"frobnicate"} << 2 << "unknown command";
        QTest::newRow("bad number") << QStringList{"read", "--port", "x", "--station", "1", "--address", "zz", "--count", "1"}
                                    << 2 << "--address";
        QTest::newRow("count too large") << QStringList{"read", "--port", "x", "--station", "1", "--address", "0", "--count", "126"}
                                         << 2 << "--count";
        QTest::newRow("missing port") << QStringList{"read", "--station", "1", "--address", "0", "--count", "1"} << 2
                                      << "--port";
        QTest::newRow("unknown option") << QStringList{"write", "--bogus"} << 2 << "--bogus";
        QTest::newRow("value list") << QStringList{"write-multi", "--port", "x", "--station", "1", "--address", "0", "--values", "1,,2"}
                                    << 2 << "--values";
        QTest::newRow("port missing on disk")
            << QStringList{"read", "--port", "/dev/no-such-adapter", "--station", "1", "--address", "0", "--count", "1"}
            << 4 << "cannot open port";
    }
    void failuresHaveTheirExitCodes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QString, message);
        const CliRun run = runCommand(arguments);
        QCOMPARE(run.code, code);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QCOMPARE(run.err.count('\n'), 1);
    }

    void aSilentStationTimesOut()
    {
        CliRun run = runCommand(at("read", 9) << "--address" << "0" << "--count" << "1");
        QCOMPARE(run.code, 3);
        QVERIFY(run.err.contains("Timeout"));
        run = runCommand(at("write", 9) << "--address" << "0x00A4" << "--value" << "0");
        QCOMPARE(run.code, 3);
        run = runCommand(at("poll", 9) << "--count" << "1");
        QCOMPARE(run.code, 3);
    }

    void scanListsEveryStationThatAnswers()
    {
        CliRun run = runCommand({"scan", "--port", m_port});
        QCOMPARE(run.code, 0);
        QStringList lines = run.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0].split('\t').mid(0, 2), (QStringList{"0X0001 (1)", "LXAZ-16L01-50-BC"}));
        QCOMPARE(lines[0].split('\t').last(), QString("A3"));
        QCOMPARE(lines[1].split('\t').mid(0, 2), (QStringList{"0X0005 (5)", "Unrecognized Device"}));

        run = runCommand({"scan", "--port", m_port, "--json"});
        lines = run.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        const QJsonObject second = QJsonDocument::fromJson(lines[1].toUtf8()).object();
        QCOMPARE(second["station"].toInt(), 5);
        QCOMPARE(second["recognized"].toBool(), false);
    }

    void identifyPrintsTheDriveOrWhyNot()
    {
        CliRun run = runCommand(at("identify"));
        QCOMPARE(run.code, 0);
        const QJsonObject info = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QCOMPARE(info["model"].toString(), QString("LXAZ-16L01-50-BC"));
        QCOMPARE(info["lead"].toDouble(), 1.0);
        QCOMPARE(info["stroke"].toInt(), 50);

        run = runCommand(at("identify", 5));
        QCOMPARE(run.code, 5);
        QVERIFY(run.err.contains("Unknown device family"));
        run = runCommand(at("identify", 5) << "--engineering");
        QCOMPARE(run.code, 0);
        QCOMPARE(QJsonDocument::fromJson(run.out.toUtf8()).object()["model"].toString(), QString());
        run = runCommand(at("identify", 9));
        QCOMPARE(run.code, 3);
        QVERIFY(run.err.contains("Timeout"));
    }

    void helpDocumentsEveryCommand()
    {
        const CliRun run = runCommand({"--help"});
        QCOMPARE(run.code, 0);
        for (const char *command : {"read", "write", "write-multi", "poll", "scan", "identify", "Exit codes"})
            QVERIFY2(run.out.contains(command), command);
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
