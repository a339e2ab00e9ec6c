// vexa-cli's help, version, scan reasons and exit codes, identify hint, plain stations; sim alarms.

#include "clifixture.h"
#include "registers.h"
#include "testmain.h"

class CliConventionsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void helpAndVersion_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("absent");
        QTest::newRow("read") << QStringList{"read", "--port", "/x", "-h"} << "Usage: vexa-cli read --port" << "write-multi";
        QTest::newRow("subcommand") << QStringList{"block", "compare", "--help"} << "Usage: vexa-cli block compare"
                                    << "block write";
        QTest::newRow("version") << QStringList{"--version"} << "vexa-cli " VEXA_APP_VERSION "\n" << "Usage";
    }
    void helpAndVersion()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, shown);
        QFETCH(QString, absent);
        const CliRun run = CliFixture::run(arguments);
        QCOMPARE(run.code, 0);
        QVERIFY2(run.out.contains(shown) && !run.out.contains(absent), qPrintable(run.out));
    }

    void scanFailures_data()
    {
        QTest::addColumn<QString>("port");  // empty: a bus where no drive answers
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        // The port, then the system's reason, as read reports it.
        QTest::newRow("no such port") << "/dev/vexa-none" << 4 << "cannot open port /dev/vexa-none: N";
        QTest::newRow("silent bus") << "" << 3 << "no drive answered";
    }
    void scanFailures()
    {
        QFETCH(QString, port);
        QFETCH(int, code);
        QFETCH(QString, message);
        CliFixture cli(QVector<SimDriveConfig>{});
        VEXA_REQUIRE(cli.start(), "no pseudo-terminal for the simulated bus");
        const CliRun run = CliFixture::run(QStringList{"scan", "--port", port.isEmpty() ? cli.bus.portPath() : port, "--json"});
        QCOMPARE(run.code, code);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
    }

    void scanPrintsPlainStationsAndIdentifyNamesTheEngineeringSwitch()
    {
        CliFixture cli({driveAt(1), driveAt(3), driveAt(5, 7)});
        VEXA_REQUIRE(cli.start(), "no pseudo-terminal for the simulated bus");
        const CliRun scan = CliFixture::run({"scan", "--port", cli.bus.portPath()});
        QStringList stations;
        for (const QString &line : scan.out.split('\n', Qt::SkipEmptyParts))
            stations << line.section('\t', 0, 0);
        QCOMPARE(stations, QStringList({"1", "3", "5"}));
        const CliRun identify = CliFixture::run(cli.at({"identify"}, 5));
        QCOMPARE(identify.code, int(CliExit::NotRecognised));
        QVERIFY(identify.err.contains("--engineering accepts"));
    }

    // Alarm word nibbles, low to high: the current alarm, then the history newest first.
    void busWriteOfTheAlarmWordTripsTheDrive()
    {
        CliFixture cli;
        VEXA_REQUIRE(cli.start(), "no pseudo-terminal for the simulated bus");
        const auto write = [&](const char *address, const char *value) {
            return CliFixture::run(cli.at({"write"}) << "--address" << address << "--value" << value).code;
        };
        QCOMPARE(write("0x00A3", "6"), 0);
        QCOMPARE(cli.bus.registerValue(1, Reg::AlarmWord), quint16(0x0066));
        QCOMPARE(cli.bus.registerValue(1, Reg::OutputStatus) & 0x4, 0x4);  // Y2, the alarm output
        QCOMPARE(write("0x00A3", "3"), 0);
        QCOMPARE(cli.bus.registerValue(1, Reg::AlarmWord), quint16(0x0633));
        QCOMPARE(write("0x00A4", "0"), 0);  // alarm clear keeps the history
        cli.bus.raiseAlarm(0, 10);
        QCOMPARE(cli.bus.registerValue(1, Reg::AlarmWord), quint16(0x63AA));
    }

    void alarmPlans()
    {
        SimAlarmPlan plan;
        QString error;
        QVERIFY(parseSimAlarmPlan("10@2.5", &plan, &error) && plan.code == 10 && plan.afterMs == 2500);
        QVERIFY(parseSimAlarmPlan("6", &plan, &error) && plan.code == 6 && plan.afterMs == 0);
        for (const char *refused : {"0", "16", "6@soon", "3@-1"})
            QVERIFY(!parseSimAlarmPlan(refused, &plan, &error) && error.contains(refused));
    }
};

VEXA_TEST_CLASS(CliConventionsTest);
#include "tst_cli_conventions.moc"
