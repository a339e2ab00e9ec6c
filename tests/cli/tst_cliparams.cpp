// vexa-cli params export and show against the simulated bus.

#include "cli.h"
#include "registers.h"
#include "simbus.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <memory>

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

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// A line of `show` output without its padding: "Lead 1 mm", "Pos1 Speed pos0Speed 10 mm/s".
QStringList squeezedLines(const QString &text)
{
    QStringList lines;
    for (const QString &line : text.split(QLatin1Char('\n')))
        lines << line.simplified();
    return lines;
}

}  // namespace

class CliParamsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimBus> m_bus;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_port;

    QString path(const QString &name) const { return m_dir->filePath(name); }
    QStringList exportTo(const QString &file, int station = 1) const
    {
        return {"params", "export", "--port", m_port, "--station", QString::number(station), "--out", file};
    }
    void set(quint8 station, quint16 address, quint16 value) { m_bus->setRegisterValue(station, address, value); }
    void set32(quint8 station, quint16 address, qint32 value)
    {
        set(station, address, quint16(quint32(value) & 0xFFFF));
        set(station, address + 1, quint16(quint32(value) >> 16));
    }

private Q_SLOTS:
    void init();

    void exportWritesTheDrivesValuesAndIdentity();
    void exportConvertsAtTheDrivesLead();
    void exportHoldsValuesAsTheWindowsBoxesWould();
    void failedReadsLeaveAnOlderFileAlone();
    void exportFailuresHaveTheirExitCodes_data();
    void exportFailuresHaveTheirExitCodes();

    void showPrintsIdentityAndValues();
    void showMarksMissingAndInvalidValues();
    void showRefusesUnusableFiles_data();
    void showRefusesUnusableFiles();
    void paramsNeedsAKnownAction_data();
    void paramsNeedsAKnownAction();
    void helpDocumentsTheParamsCommands();
};

void CliParamsTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_bus = std::make_unique<SimBus>();
    m_bus->setTiming(SimTiming{0.0, 0});
    SimDriveConfig lead1;
    lead1.station = 1;
    m_bus->addDrive(lead1);
    SimDriveConfig lead10;
    lead10.station = 2;
    lead10.familyCode = 6;
    lead10.size = 40;
    lead10.rawLead = 100;
    lead10.stroke = 100;
    lead10.motorDirection = 1;
    m_bus->addDrive(lead10);
    SimDriveConfig foreign;
    foreign.station = 5;
    foreign.familyCode = 7;
    m_bus->addDrive(foreign);
    if (!m_bus->start())
        QSKIP(qPrintable(QStringLiteral("no pseudo-terminal for the simulated bus: %1").arg(m_bus->errorString())));
    m_port = m_bus->portPath();
}

void CliParamsTest::exportWritesTheDrivesValuesAndIdentity()
{
    set(1, Reg::HomeTorque, 0x1A55);
    set(1, Reg::Pos0Accel, 300);
    set(1, Reg::Pos0Decel, 400);
    set32(1, Reg::Pos0Speed, 60000);
    set32(1, Reg::Pos0Position, 12340);
    set32(1, Reg::Pos1Position, 40000);
    set(1, Reg::Pos0MotionMode, Reg::PushMode::Pos0On);
    set(1, Reg::Pos1MotionMode, Reg::PushMode::Pos1Off);
    set(1, Reg::Pos0PushTorque, 0x0144);
    set(1, Reg::Pos1PushTorque, 0x0166);
    set32(1, Reg::SoftLimitCCW, -1500);
    set(1, Reg::DynamicErrorThreshold, 30);
    set(1, Reg::StaticErrorThreshold, 20);
    set(1, Reg::CurrentLimits, 0x4B3C);
    set(1, Reg::SmoothingConstant, 20);
    const QString file = path(QStringLiteral("p.json"));

    const CliRun run = runCommand(exportTo(file));

    QVERIFY2(run.code == CliExit::Ok, qPrintable(run.err));
    QCOMPARE(run.out, QStringLiteral("exported LXAZ-16L01-50-BC (station 1) to %1\n").arg(file));
    const QJsonObject json = QJsonDocument::fromJson(readFile(file)).object();
    QCOMPARE(json.value("formatVersion"), QJsonValue(1));
    QCOMPARE(json.value("modelStr").toString(), QStringLiteral("LXAZ-16L01-50-BC"));
    QCOMPARE(json.value("dir").toString(), QStringLiteral("BC"));
    QCOMPARE(json.value("family").toString(), QStringLiteral("LXAZ"));
    QCOMPARE(json.value("size"), QJsonValue(16));
    QCOMPARE(json.value("lead").toDouble(), 1.0);
    QCOMPARE(json.value("stroke"), QJsonValue(50));
    QCOMPARE(json.value("logicVer"), QJsonValue(0x4103));
    QCOMPARE(json.value("firmware").toString(), QStringLiteral("V1.2"));
    QCOMPARE(json.value("swVersion").toString(), QStringLiteral("1.0.0"));
    QCOMPARE(json.value("homeTorque"), QJsonValue(50));
    QCOMPARE(json.value("pos0Accel"), QJsonValue(300));
    QCOMPARE(json.value("pos0Decel"), QJsonValue(400));
    QCOMPARE(json.value("pos0Speed").toDouble(), 10.0);
    QCOMPARE(json.value("pos0Pos").toDouble(), 12.34);
    QCOMPARE(json.value("pos1Pos").toDouble(), 40.0);
    QCOMPARE(json.value("pos0PushEnable"), QJsonValue(true));
    QCOMPARE(json.value("pos1PushEnable"), QJsonValue(false));
    QCOMPARE(json.value("pos0PushTorque"), QJsonValue(40));
    QCOMPARE(json.value("pos1PushTorque"), QJsonValue(60));
    QCOMPARE(json.value("softLimitCCW").toDouble(), -1.5);
    QCOMPARE(json.value("softLimitCW").toDouble(), 50.0);
    QCOMPARE(json.value("dynErr").toDouble(), 0.15);
    QCOMPARE(json.value("staErr").toDouble(), 0.1);
    QCOMPARE(json.value("idleCurrent"), QJsonValue(60));
    QCOMPARE(json.value("runCurrent"), QJsonValue(75));
    QCOMPARE(json.value("smoothMs"), QJsonValue(50));
    QVERIFY(!json.contains("posWarn"));
}

void CliParamsTest::exportConvertsAtTheDrivesLead()
{
    set32(2, Reg::Pos1Speed, 60000);
    set(2, Reg::DynamicErrorThreshold, 33);
    const QString file = path(QStringLiteral("lead10.json"));
    const CliRun run = runCommand(exportTo(file, 2));
    QVERIFY2(run.code == CliExit::Ok, qPrintable(run.err));
    const QJsonObject json = QJsonDocument::fromJson(readFile(file)).object();
    QCOMPARE(json.value("lead").toDouble(), 10.0);
    QCOMPARE(json.value("dir").toString(), QStringLiteral("BA"));
    QCOMPARE(json.value("pos1Speed").toDouble(), 100.0);
    QCOMPARE(json.value("dynErr").toDouble(), 1.65);
}

void CliParamsTest::exportHoldsValuesAsTheWindowsBoxesWould()
{
    set(1, Reg::Pos0Accel, 20);           // below the 50 ms of the box
    set(1, Reg::Pos1Decel, 5000);         // above its 1000 ms
    set(1, Reg::SmoothingConstant, 0);    // no filter: the longest time
    set(1, Reg::Pos0PushTorque, 0x12FF);  // high byte is another setting; 255 is past 70 %
    set(1, Reg::CurrentLimits, 0xFF10);   // running above 100 %, idle below 30 %
    set32(1, Reg::Pos0Position, 12345);   // two decimals, as the box shows
    const QString file = path(QStringLiteral("boxed.json"));
    const CliRun run = runCommand(exportTo(file));
    QVERIFY2(run.code == CliExit::Ok, qPrintable(run.err));
    const QJsonObject json = QJsonDocument::fromJson(readFile(file)).object();
    QCOMPARE(json.value("pos0Accel"), QJsonValue(50));
    QCOMPARE(json.value("pos1Decel"), QJsonValue(1000));
    QCOMPARE(json.value("smoothMs"), QJsonValue(1000));
    QCOMPARE(json.value("pos0PushTorque"), QJsonValue(70));
    QCOMPARE(json.value("runCurrent"), QJsonValue(100));
    QCOMPARE(json.value("idleCurrent"), QJsonValue(30));
    QCOMPARE(json.value("pos0Pos").toDouble(), QString::number(12.345, 'f', 2).toDouble());
}

void CliParamsTest::failedReadsLeaveAnOlderFileAlone()
{
    const QString file = path(QStringLiteral("older.json"));
    const QByteArray older("{\"older\": true}\n");
    QVERIFY(writeFile(file, older));
    // Identification succeeds; the drive falls silent after the first parameter read.
    SimBus *bus = m_bus.get();
    m_bus->setRequestObserver([bus](const SimRequest &r) {
        if (r.address == Reg::HomeTorque) {
            SimFaults silent;
            silent.silent = true;
            bus->setFaults(silent);
        }
    });
    const CliRun run = runCommand(exportTo(file));
    m_bus->setRequestObserver({});
    QCOMPARE(run.code, int(CliExit::NoReply));
    QVERIFY2(run.err.contains(QLatin1String("Timeout")), qPrintable(run.err));
    QCOMPARE(readFile(file), older);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("older.json")});
}

void CliParamsTest::exportFailuresHaveTheirExitCodes_data()
{
    QTest::addColumn<QStringList>("arguments");  // "PORT" and "OUT" are filled in
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing --out") << QStringList{"params", "export", "--port", "PORT", "--station", "1"}
                                   << int(CliExit::Usage) << "missing --out";
    QTest::newRow("missing --port") << QStringList{"params", "export", "--station", "1", "--out", "OUT"}
                                    << int(CliExit::Usage) << "missing --port";
    QTest::newRow("station 0") << QStringList{"params", "export", "--port", "PORT", "--station", "0", "--out", "OUT"}
                               << int(CliExit::Usage) << "--station";
    QTest::newRow("silent station") << QStringList{"params", "export", "--port", "PORT", "--station", "9", "--out", "OUT"}
                                    << int(CliExit::NoReply) << "Timeout";
    QTest::newRow("unknown family") << QStringList{"params", "export", "--port", "PORT", "--station", "5", "--out", "OUT"}
                                    << int(CliExit::NotRecognised) << "Unknown device family";
    QTest::newRow("no such port")
        << QStringList{"params", "export", "--port", "/dev/no-such-adapter", "--station", "1", "--out", "OUT"}
        << int(CliExit::PortUnavailable) << "Cannot open COM port";
    QTest::newRow("unwritable output")
        << QStringList{"params", "export", "--port", "PORT", "--station", "1", "--out", "OUT/missing/p.json"}
        << int(CliExit::Failure) << "cannot write";
}

void CliParamsTest::exportFailuresHaveTheirExitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, message);
    const QString out = path(QStringLiteral("p.json"));
    for (QString &a : arguments)
        a.replace(QLatin1String("PORT"), m_port).replace(QLatin1String("OUT"), out);
    const CliRun run = runCommand(arguments);
    QCOMPARE(run.code, code);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
    QVERIFY(run.out.isEmpty());
    QVERIFY(QDir(m_dir->path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
}

void CliParamsTest::showPrintsIdentityAndValues()
{
    set32(1, Reg::Pos0Speed, 60000);
    set(1, Reg::Pos0MotionMode, Reg::PushMode::Pos0On);
    const QString file = path(QStringLiteral("p.json"));
    QCOMPARE(runCommand(exportTo(file)).code, int(CliExit::Ok));

    const CliRun run = runCommand({"params", "show", file});
    QCOMPARE(run.code, int(CliExit::Ok));
    QVERIFY(run.err.isEmpty());
    const QStringList lines = squeezedLines(run.out);
    for (const char *expected :
         {"Model LXAZ-16L01-50-BC", "Family LXAZ", "Size 16", "Lead 1 mm", "Stroke 50 mm", "Direction BC", "Logic A3",
          "Firmware V1.2", "Hardware H2", "Format 1", "Parameter Key Value", "Pos1 Speed pos0Speed 10 mm/s",
          "Pos1 Accel pos0Accel 200 ms", "Home Torque homeTorque 50 %", "Soft Limit CW softLimitCW 50 mm",
          "Dyn Error dynErr 0.13 mm", "Smooth Time smoothMs 40 ms", "Idle Current idleCurrent 50 %",
          "Pos1 Push pos0PushEnable on", "Pos2 Push pos1PushEnable off"})
        QVERIFY2(lines.contains(QLatin1String(expected)), expected);
    // Every value of the file has its line.
    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^.+ (pos[01]\\w+|homeTorque|softLimit\\w+|dynErr|"
                                                            "staErr|smoothMs|idleCurrent|runCurrent) .+$")))
                 .size(),
             20);
}

void CliParamsTest::showMarksMissingAndInvalidValues()
{
    const QString file = path(QStringLiteral("hand.json"));
    QVERIFY(writeFile(file, R"({"pos0Accel": "fast", "pos1Pos": 12.5, "pos0PushEnable": 1})"));
    const CliRun run = runCommand({"params", "show", file});
    QCOMPARE(run.code, int(CliExit::Ok));
    const QStringList lines = squeezedLines(run.out);
    QVERIFY(lines.contains(QStringLiteral("Pos1 Accel pos0Accel (not a number)")));
    QVERIFY(lines.contains(QStringLiteral("Position 2 pos1Pos 12.5 mm")));
    QVERIFY(lines.contains(QStringLiteral("Pos2 Accel pos1Accel (missing)")));
    QVERIFY(lines.contains(QStringLiteral("Pos1 Push pos0PushEnable 1")));
    QVERIFY(lines.contains(QStringLiteral("Format (missing)")));
}

void CliParamsTest::showRefusesUnusableFiles_data()
{
    QTest::addColumn<QByteArray>("content");  // empty: no such file
    QTest::addColumn<QString>("message");
    QTest::newRow("no such file") << QByteArray() << "cannot open";
    QTest::newRow("not json") << QByteArray("{\"a\": ") << "JSON parse error";
    QTest::newRow("not an object") << QByteArray("[1]") << "root is not a JSON object";
    QTest::newRow("newer format") << QByteArray("{\"formatVersion\": 2}") << "File format version 2 is newer";
}

void CliParamsTest::showRefusesUnusableFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    const QString file = path(QStringLiteral("bad.json"));
    if (!content.isEmpty())
        QVERIFY(writeFile(file, content));
    const CliRun run = runCommand({"params", "show", file});
    QCOMPARE(run.code, int(CliExit::Usage));
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

void CliParamsTest::paramsNeedsAKnownAction_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("no action") << QStringList{"params"} << "params needs export, show or diff";
    QTest::newRow("unknown action") << QStringList{"params", "import"} << "unknown params action 'import'";
    QTest::newRow("show without file") << QStringList{"params", "show"} << "params show needs one FILE";
    QTest::newRow("show with two files") << QStringList{"params", "show", "a", "b"} << "params show needs one FILE";
    QTest::newRow("show with an option") << QStringList{"params", "show", "a", "--port", "x"} << "--port";
}

void CliParamsTest::paramsNeedsAKnownAction()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const CliRun run = runCommand(arguments);
    QCOMPARE(run.code, int(CliExit::Usage));
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
}

void CliParamsTest::helpDocumentsTheParamsCommands()
{
    const CliRun run = runCommand({"--help"});
    QCOMPARE(run.code, int(CliExit::Ok));
    QVERIFY(run.out.contains(QLatin1String("params export --port P --station N --out FILE")));
    QVERIFY(run.out.contains(QLatin1String("params show FILE")));
}

QTEST_GUILESS_MAIN(CliParamsTest)
#include "tst_cliparams.moc"
