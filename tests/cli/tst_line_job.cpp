// vexa-cli params apply over two buses of two drives each: every drive ends
// with the file's registers, each snapshot puts its drive back exactly, a
// drive that refuses a write fails only its own station, and the report and
// its page say so.

#include "clifixture.h"
#include "oddparams.h"
#include "testmain.h"

#include "eventlog.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

namespace {

constexpr int Stroke = 100;

SimDriveConfig lineDrive(quint8 station, int refusedWriteAddress = -1)
{
    SimDriveConfig c = driveAt(station, 6, Stroke);
    c.size = 40;
    c.rawLead = 5;
    c.refusedWriteAddress = refusedWriteAddress;
    return c;
}

// Two buses, drives at 1 and 2 on each; the file is exported from the first
// drive, then every drive is given other odd values of its own.
struct Line
{
    CliFixture cli;
    QVector<SimBus *> buses{&cli.bus, &cli.otherBus};
    QVector<quint16> fileWords;

    explicit Line(int refusedOnOtherBus = -1) : cli({lineDrive(1), lineDrive(2)})
    {
        if (!cli.start() || !cli.startOtherBus({lineDrive(1, refusedOnOtherBus), lineDrive(2)}))
            return;
        setOddValues(cli.bus, 1, Stroke);
        CliFixture::run(cli.at({"params", "export"}, 1) << "--out" << cli.path("line.json"));
        fileWords = fileRegisters(cli.bus, 1);
        for (int b = 0; b < 2; ++b) {
            for (quint8 station : {1, 2})
                setOddValues(*buses[b], station, Stroke, 1 + 2 * b + station);
        }
    }
    bool ready() const { return cli.otherBus.isRunning() && !fileWords.isEmpty(); }
    QStringList job(const QStringList &options) const
    {
        return QStringList{"params", "apply", "--port", cli.bus.portPath(), "--port", cli.otherBus.portPath(),
                           "--stations", "1-2", "--file", cli.path("line.json")}
               + options;
    }
    QJsonObject report() const { return QJsonDocument::fromJson(cli.readFile("report.json")).object(); }
};

}  // namespace

class LineJobTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void applyReachesEveryDriveAndSnapshotsRevertIt()
    {
        Line line;
        VEXA_REQUIRE(line.ready(), "no pseudo-terminal for the simulated buses");
        QVector<QVector<quint16>> before;
        for (SimBus *bus : line.buses)
            before << fileRegisters(*bus, 1) << fileRegisters(*bus, 2);

        const CliRun run = CliFixture::run(line.job({"--save", "--report", line.cli.path("report.json"), "--html",
                                                     line.cli.path("report.html"), "--operator", "<Lin & Co>",
                                                     "--log", line.cli.path("events.jsonl")}));
        QVERIFY2(run.code == 0, qPrintable(run.err));
        for (SimBus *bus : line.buses) {
            for (quint8 station : {1, 2})
                QCOMPARE(fileRegisters(*bus, station), line.fileWords);
        }

        const QJsonObject report = line.report();
        QCOMPARE(report["operator"].toString(), QStringLiteral("<Lin & Co>"));
        QCOMPARE(report["sha256"].toString(), EventLog::sha256Of(line.cli.path("line.json")));
        const QJsonArray stations = report["stations"].toArray();
        QCOMPARE(stations.size(), 4);
        for (int i = 0; i < 4; ++i) {
            const QJsonObject s = stations[i].toObject();
            QCOMPARE(s["port"].toString(), line.buses[i / 2]->portPath());  // in the order of the --port options
            QCOMPARE(s["station"].toInt(), 1 + i % 2);
            QCOMPARE(s["exit"].toInt(), 0);
            QCOMPARE(s["saved"].toBool(), true);
            QVERIFY(s["changes"].toArray().size() >= oddRows().size());
            QVERIFY(s["link"].toObject()["replies"].toInt() > 0);
            // Revert: the snapshot is an ordinary parameter file.
            const QString snapshot = s["snapshot"].toString();
            QCOMPARE(QFileInfo(snapshot).absolutePath(), QFileInfo(line.cli.path("report.json")).absolutePath());
            const CliRun back = CliFixture::run({"params", "apply", "--port", s["port"].toString(), "--station",
                                                 QString::number(s["station"].toInt()), "--file", snapshot, "--save"});
            QVERIFY2(back.code == 0, qPrintable(back.err));
            QCOMPARE(fileRegisters(*line.buses[i / 2], quint8(1 + i % 2)), before[i]);
        }
        // Every station's writes are logged, each record whole and about its own drive.
        int applies = 0;
        for (const QJsonObject &record : CliFixture::logRecords(line.cli.readFile("events.jsonl"))) {
            QVERIFY(!record["event"].toString().isEmpty() && record["station"].toInt() >= 1);
            applies += record["event"].toString() == QLatin1String("file apply") ? 1 : 0;
        }
        QCOMPARE(applies, 4);
        const QString page = QString::fromUtf8(line.cli.readFile("report.html"));
        QVERIFY(page.contains(QStringLiteral("&lt;Lin &amp; Co&gt;")) && !page.contains(QStringLiteral("<Lin")));
        QCOMPARE(page.count(QStringLiteral("<tr class=\"pass\">")), 4);
    }

    void aRefusingDriveFailsOnlyItsStation_data()
    {
        QTest::addColumn<QString>("stations");
        QTest::addColumn<int>("code");
        QTest::newRow("refused on the second bus") << "1-2" << 7;
        QTest::newRow("a missing drive on the first bus fails first") << "1-2,5" << 3;
    }
    void aRefusingDriveFailsOnlyItsStation()
    {
        QFETCH(QString, stations);
        QFETCH(int, code);
        Line line(Reg::Pos1Speed);
        VEXA_REQUIRE(line.ready(), "no pseudo-terminal for the simulated buses");
        QStringList job = line.job({"--save", "--report", line.cli.path("report.json"), "--html",
                                    line.cli.path("report.html"), "--lang", "zh"});
        job[job.indexOf("--stations") + 1] = stations;

        const CliRun run = CliFixture::run(job);

        QCOMPARE(run.code, code);
        QVERIFY2(run.err.contains(QStringLiteral("the drive refused the write of 0x%1").arg(Reg::Pos1Speed, 4, 16, QLatin1Char('0'))),
                 qPrintable(run.err));
        QCOMPARE(fileRegisters(*line.buses[0], 1), line.fileWords);
        QCOMPARE(fileRegisters(*line.buses[0], 2), line.fileWords);
        QCOMPARE(fileRegisters(*line.buses[1], 2), line.fileWords);
        for (const QJsonValue &value : line.report()["stations"].toArray()) {
            const QJsonObject s = value.toObject();
            const bool refusing = s["port"].toString() == line.cli.otherBus.portPath() && s["station"].toInt() == 1;
            const int expected = refusing ? 7 : s["station"].toInt() == 5 ? 3 : 0;
            QCOMPARE(s["exit"].toInt(), expected);
            QCOMPARE(s["saved"].toBool(), expected == 0);
            QCOMPARE(s["message"].toString().contains(QStringLiteral("refused the write")), refusing);
        }
        const QString page = QString::fromUtf8(line.cli.readFile("report.html"));
        QVERIFY(page.contains(QStringLiteral("簽名")) && page.contains(QStringLiteral("refused the write")));
    }

    void exportWritesOneFileOfEachDrive()
    {
        Line line;
        VEXA_REQUIRE(line.ready(), "no pseudo-terminal for the simulated buses");
        const CliRun run = CliFixture::run({"params", "export", "--port", line.cli.bus.portPath(), "--port",
                                            line.cli.otherBus.portPath(), "--stations", "2,1", "--out-dir",
                                            line.cli.path("backup")});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        const QStringList files = QDir(line.cli.path("backup")).entryList(QDir::Files);
        QCOMPARE(files.size(), 4);
        for (int b = 0; b < 2; ++b) {
            for (int station : {1, 2}) {
                const QString stem = QStringLiteral("_s%1.json").arg(station);
                const QString port = line.buses[b]->portPath().mid(1).replace(QLatin1Char('/'), QLatin1Char('-'));
                const QStringList mine = files.filter(port + stem);
                QCOMPARE(mine.size(), 1);
                const QString file = line.cli.path("backup/" + mine.first());
                QCOMPARE(CliFixture::run({"params", "diff", "--port", line.buses[b]->portPath(), "--station",
                                          QString::number(station), "--file", file})
                             .code,
                         0);
            }
        }
    }

    void usageErrorsTouchNoDrive_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("said");
        QTest::newRow("descending range") << QStringList{"--stations", "4-1"} << "'4-1' is not a station";
        QTest::newRow("station beyond 247") << QStringList{"--stations", "1,248"} << "'248' is not a station";
        QTest::newRow("both station options") << QStringList{"--stations", "1", "--station", "2"} << "either --station";
        QTest::newRow("one port twice") << QStringList{"--stations", "1", "--port", "@bus"} << "given twice";
        QTest::newRow("unknown language") << QStringList{"--stations", "1", "--lang", "fr"} << "--lang is zh or en";
    }
    void usageErrorsTouchNoDrive()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, said);
        CliFixture cli;
        VEXA_REQUIRE(cli.start(), "no pseudo-terminal for the simulated bus");
        options.replaceInStrings(QStringLiteral("@bus"), cli.bus.portPath());
        const CliRun run = CliFixture::run(QStringList{"params", "apply", "--port", cli.bus.portPath(), "--file",
                                                       cli.path("none.json")} + options);
        QCOMPARE(run.code, 2);
        QVERIFY2(run.err.contains(said), qPrintable(run.err));
        QCOMPARE(cli.wire(), QStringList());
    }
};

VEXA_TEST_CLASS(LineJobTest);
#include "tst_line_job.moc"
