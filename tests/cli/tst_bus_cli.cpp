// The connection manager's scan and identification over the simulated bus,
// and vexa-cli's output, exit codes and files.

#include "clifixture.h"
#include "registers.h"
#include "registertemplate.h"
#include "testmain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>

#include <sys/stat.h>

namespace {

QByteArray templateListing()
{
    QString text;
    for (const RegisterTemplate::Row &row : RegisterTemplate::rows())
        text += row.line() + '\n';
    return text.toUtf8();
}

}  // namespace

Q_DECLARE_METATYPE(SimDriveConfig)

class BusCliTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void identificationRefusesWhatItCannotTrust_data()
    {
        QTest::addColumn<SimDriveConfig>("drive");
        QTest::addColumn<bool>("strict");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown family") << driveAt(1, 7) << true << "Unknown device family";
        QTest::newRow("unknown family allowed") << driveAt(1, 7) << false << "";
        QTest::newRow("unlisted stroke") << driveAt(1, 0, 60) << true << "Device spec not recognized";
        QTest::newRow("unlisted stroke allowed") << driveAt(1, 0, 60) << false << "";
        QTest::newRow("silent station") << driveAt(2) << true << "*";
    }
    void identificationRefusesWhatItCannotTrust()
    {
        QFETCH(SimDriveConfig, drive);
        QFETCH(bool, strict);
        QFETCH(QString, error);
        LinkRig rig({drive});
        VEXA_START_BUS(rig);
        const QString outcome = rig.connectTo(1, strict);
        QCOMPARE(outcome.isEmpty(), error.isEmpty());
        if (error != "*")
            QCOMPARE(outcome, error);
        QCOMPARE(rig.manager.isConnected(), error.isEmpty());
        if (!error.isEmpty()) {
            QVERIFY(!rig.worker.isRunning());
            QVERIFY(rig.wire().filter("0004 x2").isEmpty());
        }
    }

    void scanFindsStationsInOrderAndStopsWhenCancelled()
    {
        LinkRig rig;
        configureDemoBus(rig.bus);
        VEXA_START_BUS(rig);
        QStringList found;
        QObject::connect(&rig.manager, &ConnectionManager::deviceFound,
                         [&](const ScanResult &r) { found << QStringLiteral("%1 %2").arg(r.station).arg(r.model); });
        QList<int> progress;
        QVERIFY(rig.manager.scanBus(rig.port(), [&](int station) { progress << station; }));
        QCOMPARE(found, QStringList({"1 LXAZ-16L01-50-BC", "3 LXGZ-40L20-350-BC", "5 "}));
        QCOMPARE(progress.size(), 16);
        QCOMPARE(progress.last(), 16);
        found.clear();
        progress.clear();
        QVERIFY(rig.manager.scanBus(rig.port(), [&](int station) { progress << station; },
                                    [&] { return progress.size() >= 3; }));
        QCOMPARE(found, QStringList({"1 LXAZ-16L01-50-BC", "3 LXGZ-40L20-350-BC"}));
        QVERIFY(!rig.manager.scanBus("/dev/vexa-no-such-port"));
    }

    void cliFailuresHaveTheirExitCodes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("refusing");  // every request answered with exception 4
        QTest::newRow("unknown command") << QStringList{"frobnicate"} << int(CliExit::Usage) << "frobnicate" << false;
        QTest::newRow("bad number") << QStringList{"read", "--address", "zz", "--count", "1"} << int(CliExit::Usage)
                                    << "--address" << false;
        QTest::newRow("too many words") << QStringList{"read", "--address", "0", "--count", "126"}
                                        << int(CliExit::Usage) << "--count" << false;
        QTest::newRow("bad word list") << QStringList{"write-multi", "--address", "0", "--values", "1,,2"}
                                       << int(CliExit::Usage) << "--values" << false;
        QTest::newRow("silent station") << QStringList{"read", "--station", "9", "--address", "0", "--count", "1"}
                                        << int(CliExit::NoReply) << "" << false;
        QTest::newRow("silent write") << QStringList{"write", "--station", "9", "--address", "0xA4", "--value", "0"}
                                      << int(CliExit::NoReply) << "" << false;
        QTest::newRow("not recognised") << QStringList{"identify", "--station", "5"} << int(CliExit::NotRecognised)
                                        << "Unknown device family" << false;
        QTest::newRow("no such port") << QStringList{"read", "--port", "/dev/vexa-none", "--station", "1", "--address", "0", "--count", "1"}
                                      << int(CliExit::PortUnavailable) << "/dev/vexa-none" << false;
        QTest::newRow("identify, no such port") << QStringList{"identify", "--port", "/dev/vexa-none", "--station", "1"}
                                                << int(CliExit::PortUnavailable) << "/dev/vexa-none" << false;
        QTest::newRow("poll, no such port") << QStringList{"poll", "--port", "/dev/vexa-none", "--station", "1", "--count", "1"}
                                            << int(CliExit::PortUnavailable) << "/dev/vexa-none" << false;
        QTest::newRow("silent identify") << QStringList{"identify", "--station", "9"} << int(CliExit::NoReply)
                                         << "no reply from station 9" << false;
        QTest::newRow("silent poll") << QStringList{"poll", "--station", "9", "--count", "1"} << int(CliExit::NoReply)
                                     << "stopped answering" << false;
        QTest::newRow("refused identify") << QStringList{"identify", "--station", "1"} << int(CliExit::Refused)
                                          << "Exception 04" << true;
        QTest::newRow("refused poll") << QStringList{"poll", "--station", "1", "--count", "1"} << int(CliExit::Refused)
                                      << "Exception 04" << true;
    }
    void cliFailuresHaveTheirExitCodes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QString, message);
        QFETCH(bool, refusing);
        CliFixture cli({driveAt(1), driveAt(5, 7)});
        VEXA_REQUIRE(cli.start(), "no pseudo-terminal for the simulated bus");
        SimFaults faults;
        faults.exceptionReplies = refusing;
        cli.bus.setFaults(faults);
        if (arguments.size() > 1 && !arguments.contains("--port"))
            arguments = cli.at(arguments.mid(0, 1)) + arguments.mid(1);  // a later --station wins
        const CliRun run = CliFixture::run(arguments);
        QCOMPARE(run.code, code);
        QVERIFY2(run.err.contains(message) && run.err.count('\n') == 1, qPrintable(run.err));
        if (code == CliExit::Usage)
            QVERIFY(cli.wire().isEmpty());
    }

    void cliReadsWritesAndScans()
    {
        CliFixture cli({driveAt(1), driveAt(5, 7)});
        VEXA_REQUIRE(cli.start(), "no pseudo-terminal for the simulated bus");
        CliRun run = CliFixture::run(cli.at({"read"}) << "--address" << "0x02BC" << "--count" << "5");
        QCOMPARE(run.code, int(CliExit::Ok));
        QCOMPARE(run.out.split('\n').mid(0, 5),
                 QStringList({"0x02BC 0x4103", "0x02BD 0x0000", "0x02BE 0x0010", "0x02BF 0x0001", "0x02C0 0x0032"}));
        QCOMPARE(CliFixture::run(cli.at({"write"}) << "--address" << "0x0223" << "--value" << "300").code, 0);
        QCOMPARE(CliFixture::run(cli.at({"write-multi"}) << "--address" << "0x0227" << "--values" << "0x2710,1").code, 0);
        // Each write command first reads the station once, to recognise an echoing adapter.
        QCOMPARE(cli.wire().mid(1),
                 QStringList({"1 03 02BC x1", "1 06 0223 = 012C", "1 03 02BC x1", "1 10 0227 = 2710 0001"}));
        run = CliFixture::run({"scan", "--port", cli.bus.portPath(), "--json"});
        QCOMPARE(run.code, int(CliExit::Ok));
        const QStringList lines = run.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        QCOMPARE(QJsonDocument::fromJson(lines[0].toUtf8()).object()["station"].toInt(), 1);
        QCOMPARE(QJsonDocument::fromJson(lines[1].toUtf8()).object()["recognized"].toBool(), false);
    }

    void paramsExportShowAndDiff()
    {
        CliFixture cli;
        VEXA_REQUIRE(cli.start(), "no pseudo-terminal for the simulated bus");
        cli.bus.setRegisterValue(1, Reg::Pos1Position, 0x61A8);  // 25 000 counts: 25 mm
        cli.bus.setRegisterValue(1, Reg::Pos1Position + 1, 0);
        cli.bus.setRegisterValue(1, Reg::Pos0Speed, 60000);  // 600 rpm of a 1 mm screw: 10 mm/s
        cli.bus.setRegisterValue(1, Reg::Pos0Speed + 1, 0);
        const QString file = cli.path("drive.json");
        CliRun run = CliFixture::run(cli.at({"params", "export"}) << "--out" << file);
        QVERIFY2(run.code == CliExit::Ok, qPrintable(run.err));
        const QJsonObject json = QJsonDocument::fromJson(cli.readFile("drive.json")).object();
        QCOMPARE(json["modelStr"].toString(), QString("LXAZ-16L01-50-BC"));
        QCOMPARE(json["pos1Pos"].toDouble(), 25.0);
        QCOMPARE(json["pos0Speed"].toDouble(), 10.0);
        run = CliFixture::run({"params", "show", file});
        QCOMPARE(run.code, int(CliExit::Ok));
        QVERIFY(run.out.contains("LXAZ-16L01-50-BC"));
        QCOMPARE(CliFixture::run(cli.at({"params", "diff"}) << "--file" << file).code, int(CliExit::Ok));
        cli.bus.setRegisterValue(1, Reg::Pos0Accel, 777);
        run = CliFixture::run(cli.at({"params", "diff"}) << "--file" << file);
        QCOMPARE(run.code, int(CliExit::Differs));
        QVERIFY(run.out.contains("pos0Accel"));
        run = CliFixture::run({"params", "show", cli.writeFile("bad.json", "[1]")});
        QCOMPARE(run.code, int(CliExit::Usage));
    }

    void failedCommandsKeepTheFilesTheyWouldReplace()
    {
        CliFixture cli;
        VEXA_REQUIRE(cli.start(), "no pseudo-terminal for the simulated bus");
        const QByteArray older("{\"older\": true}\n");
        const QString file = cli.writeFile("older.json", older);
        cli.bus.setRequestObserver([&](const SimRequest &r) {  // identification passes, then silence
            if (r.address == Reg::HomeTorque) {
                SimFaults silent;
                silent.silent = true;
                cli.bus.setFaults(silent);
            }
        });
        const CliRun run = CliFixture::run(cli.at({"params", "export"}) << "--out" << file);
        cli.bus.setRequestObserver({});
        QCOMPARE(run.code, int(CliExit::NoReply));
        QCOMPARE(cli.readFile("older.json"), older);
        QCOMPARE(QDir(cli.dir.path()).entryList(QDir::Files), QStringList{"older.json"});
    }

    void blockCompareAndWrite()
    {
        CliFixture cli({driveAt(2)});
        VEXA_REQUIRE(cli.start(), "no pseudo-terminal for the simulated bus");
        const QString listing = cli.writeFile("block.txt", templateListing());
        const QStringList block = QStringList{"--file", listing};
        CliRun run = CliFixture::run(cli.at({"block", "compare"}, 2) + block);
        QCOMPARE(run.code, int(CliExit::Differs));  // a factory drive holds its own identity
        run = CliFixture::run(cli.at({"block", "write"}, 2) + block + QStringList{"--save"});
        QCOMPARE(run.code, int(CliExit::Ok));
        QCOMPARE(cli.wire(0x10).size(), 4);
        QCOMPARE(cli.wire().last(), QString("2 06 00DC = 0001"));
        run = CliFixture::run(cli.at({"block", "compare"}, 2) + block);
        QCOMPARE(run.code, int(CliExit::Ok));
        QCOMPARE(run.out.trimmed().split('\n').filter(" match").size(), RegisterTemplate::RowCount);
        SimFaults faults;
        faults.silentAfterReplies = 2;
        cli.bus.setFaults(faults);
        cli.bus.clearRequests();
        run = CliFixture::run(cli.at({"block", "write"}, 2) + block + QStringList{"--save"});
        QCOMPARE(run.code, int(CliExit::Failure));
        QVERIFY(cli.wire(0x06).isEmpty());  // a block not fully written is not saved
        SimFaults refusing;
        refusing.exceptionReplies = true;
        cli.bus.setFaults(refusing);
        for (const char *verb : {"compare", "write"})
            QCOMPARE(CliFixture::run(cli.at({"block", verb}, 2) + block).code, int(CliExit::Refused));
        cli.bus.setFaults(SimFaults());
        QCOMPARE(CliFixture::run(cli.at({"block", "compare"}, 2) << "--file" << cli.path("none.txt")).code,
                 int(CliExit::Usage));
    }

    void listingOutsideTheBlockWritesNothing()
    {
        CliFixture cli({driveAt(2)});
        VEXA_REQUIRE(cli.start(), "no pseudo-terminal for the simulated bus");
        const quint16 before = cli.bus.registerValue(2, 0x00C8);
        // A run in the block, then one that would start the rod.
        const QString listing = cli.writeFile("move.txt", "012C 0001 02 00 0D\n00C8 0001 02 00 01\n");
        const CliRun run = CliFixture::run(cli.at({"block", "write"}, 2) << "--file" << listing << "--save");
        QCOMPARE(run.code, int(CliExit::Usage));
        QVERIFY2(run.err.contains(QLatin1String("Line 2: registers 0x00C8")), qPrintable(run.err));
        QCOMPARE(cli.wire(), QStringList());
        QCOMPARE(cli.bus.registerValue(2, 0x00C8), before);
    }

    void hostileFilesAreRefusedWithTheirReason_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("source");  // "file", "fifo" or a path used as it is
        QTest::addColumn<QString>("reason");
        const QStringList compare{"block", "compare"};
        const QStringList apply{"params", "apply"};
        QTest::newRow("overlapping runs") << compare << QByteArray("01 2C 00 02 04 AA AA BB BB\n01 2D 00 02 04 11 11 22 22\n")
                                          << "file" << "lines 1 and 2 both write register 0x012D";
        QTest::newRow("repeated run") << compare << QByteArray("012C 0001 02 1234\n0130 0001 02 0000\n012C 0001 02 5678\n")
                                      << "file" << "lines 1 and 3 both write register 0x012C";
        QTest::newRow("bad station field") << compare << QByteArray("Hello, world. 01 2C 00 02 04 AA AA BB BB\n")
                                           << "file" << "station field \"Hello,\" is not a hex byte";
        QTest::newRow("/dev/zero") << compare << QByteArray() << "/dev/zero" << "not a regular file";
        QTest::newRow("a FIFO") << compare << QByteArray() << "fifo" << "not a regular file";
        QTest::newRow("NUL bytes") << compare << QByteArray("012C 0001 02 1234\n\0\n", 20) << "file" << "NUL bytes";
        QTest::newRow("empty listing") << compare << QByteArray() << "file" << "holds no register runs";
        QTest::newRow("over 1 MB") << compare << QByteArray("012C 0001 02 1234\n").repeated(60000) << "file"
                                   << "larger than 1024 KB";
        QTest::newRow("parameter file without parameters")
            << apply << QByteArray(R"({"name":"my-web-app","version":"2.3.1"})") << "file" << "holds no parameter";
        QTest::newRow("parameter of the wrong type")
            << QStringList{"params", "diff"} << QByteArray(R"({"family":"LXAZ","size":16,"lead":1,"stroke":50,"pos1Pos":25,"pos0Pos":"40"})")
            << "file" << "\"pos0Pos\" is not a number";
        QTest::newRow("parameter file from a FIFO") << apply << QByteArray() << "fifo" << "not a regular file";
    }
    void hostileFilesAreRefusedWithTheirReason()
    {
        QFETCH(QStringList, command);
        QFETCH(QByteArray, content);
        QFETCH(QString, source);
        QFETCH(QString, reason);
        CliFixture cli;
        VEXA_REQUIRE(cli.start(), "no pseudo-terminal for the simulated bus");
        QString path = source;
        if (source == QLatin1String("file"))
            path = cli.writeFile("hostile", content);
        else if (source == QLatin1String("fifo"))
            QCOMPARE(mkfifo(QFile::encodeName(path = cli.path("fifo")).constData(), 0600), 0);

        QStringList arguments = cli.at(command) << "--file" << path;
        if (command.last() == QLatin1String("apply"))
            arguments << "--save";
        const CliRun run = CliFixture::run(arguments);

        QCOMPARE(run.code, int(CliExit::Usage));
        QVERIFY2(run.err.contains(reason), qPrintable(run.err));
        QCOMPARE(cli.wire(), QStringList());
    }

    void logLinesSurviveTheProcessBeingKilled()
    {
        CliFixture cli({driveAt(2)});
        VEXA_REQUIRE(cli.start(), "no pseudo-terminal for the simulated bus");
        const QString listing = cli.writeFile("block.txt", templateListing());
        // The save after the block's writes and read-backs goes unanswered: the program waits when it is killed.
        cli.bus.clearRequests();
        QCOMPARE(CliFixture::run(cli.at({"block", "write"}, 2) << "--file" << listing).code, int(CliExit::Ok));
        SimFaults faults;
        faults.silentAfterReplies = cli.bus.requests().size();
        cli.bus.setFaults(faults);
        QProcess process;
        process.start(QStringLiteral(VEXA_CLI),
                      cli.at({"block", "write"}, 2) << "--file" << listing << "--save" << "--log" << cli.path("kill.jsonl"));
        QVERIFY(process.waitForStarted(5000));
        QElapsedTimer waited;
        waited.start();
        while (!cli.readFile("kill.jsonl").contains('\n') && waited.elapsed() < 10000)
            QThread::msleep(5);
        process.kill();
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::CrashExit);
        const QVector<QJsonObject> records = CliFixture::logRecords(cli.readFile("kill.jsonl"));
        QCOMPARE(records.size(), 1);
        QCOMPARE(records[0]["event"].toString(), QStringLiteral("block write"));
        QCOMPARE(records[0]["result"].toString(), QStringLiteral("confirmed"));
        QCOMPARE(records[0]["path"].toString(), listing);
    }
};

VEXA_TEST_CLASS(BusCliTest);
#include "tst_bus_cli.moc"
