// vexa-cli params diff: a parameter file against the simulated drive.

#include "cli.h"
#include "registers.h"
#include "simbus.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <functional>
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

QJsonObject readJson(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}

bool writeJson(const QString &path, const QJsonObject &root)
{
    QFile file(path);
    const QByteArray text = QJsonDocument(root).toJson();
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

bool writeText(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

// Output lines without their padding: "pos0Speed file 12.5 drive 10.00 mm/s".
QStringList squeezedLines(const QString &text)
{
    QStringList lines;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        lines << line.simplified();
    return lines;
}

}  // namespace

class CliParamsDiffTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimBus> m_bus;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_port;
    static constexpr quint8 Station = 3;

    QString path(const QString &name) const { return m_dir->filePath(name); }
    QStringList diffWith(const QString &file) const
    {
        return {"params", "diff", "--port", m_port, "--station", QString::number(Station), "--file", file};
    }
    void set(quint16 address, quint16 value) { m_bus->setRegisterValue(Station, address, value); }
    void set32(quint16 address, quint32 value)
    {
        set(address, quint16(value & 0xFFFF));
        set(address + 1, quint16(value >> 16));
    }
    // The drive exported, then changed by `change` in the file only.
    QString exportedFile(const std::function<void(QJsonObject &)> &change = {})
    {
        const QString file = path(QStringLiteral("p.json"));
        const CliRun exported = runCommand(
            {"params", "export", "--port", m_port, "--station", QString::number(Station), "--out", file});
        if (exported.code != CliExit::Ok)
            qFatal("export failed: %s", qPrintable(exported.err));
        if (change) {
            QJsonObject root = readJson(file);
            change(root);
            writeJson(file, root);
        }
        return file;
    }

private Q_SLOTS:
    void init();

    void anExportOfTheDriveDoesNotDiffer();
    void valuesTheBoxesCannotShowExactlyDoNotDiffer();
    void aChangedValueIsListedWithItsUnit_data();
    void aChangedValueIsListedWithItsUnit();
    void everyDifferingValueHasItsLine();
    void aChangedDriveDiffersFromItsOldExport();
    void valuesTheFileLacksOrCannotHoldAreNotCompared();
    void failuresHaveTheirExitCodes_data();
    void failuresHaveTheirExitCodes();
    void helpDocumentsTheDiff();
};

void CliParamsDiffTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_bus = std::make_unique<SimBus>();
    m_bus->setTiming(SimTiming{0.0, 0});
    // LXGZ-40L05: lead 5 mm, where an encoder step is 0.025 mm.
    SimDriveConfig drive;
    drive.station = Station;
    drive.familyCode = 6;
    drive.size = 40;
    drive.rawLead = 5;
    drive.stroke = 300;
    m_bus->addDrive(drive);
    SimDriveConfig foreign;
    foreign.station = 5;
    foreign.familyCode = 7;
    m_bus->addDrive(foreign);
    if (!m_bus->start())
        QSKIP(qPrintable(QStringLiteral("no pseudo-terminal for the simulated bus: %1").arg(m_bus->errorString())));
    m_port = m_bus->portPath();
}

void CliParamsDiffTest::anExportOfTheDriveDoesNotDiffer()
{
    const CliRun run = runCommand(diffWith(exportedFile()));

    QCOMPARE(run.code, int(CliExit::Ok));
    QVERIFY2(run.out.isEmpty(), qPrintable(run.out));
    QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
}

void CliParamsDiffTest::valuesTheBoxesCannotShowExactlyDoNotDiffer()
{
    // 25 steps are 0.625 mm, which the file holds as 0.63 (26 steps written back);
    // 12001 hundredths of an rpm are 10.0008 mm/s, held as 10.00 (12000).
    set(Reg::DynamicErrorThreshold, 25);
    set(Reg::StaticErrorThreshold, 21);
    set32(Reg::Pos0Speed, 12001);
    set32(Reg::Pos1Position, 123457);

    const CliRun run = runCommand(diffWith(exportedFile()));

    QCOMPARE(run.code, int(CliExit::Ok));
    QVERIFY2(run.out.isEmpty(), qPrintable(run.out));
}

void CliParamsDiffTest::aChangedValueIsListedWithItsUnit_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QJsonValue>("fileValue");
    QTest::addColumn<QString>("line");

    // The drive holds the simulator's defaults, Position 1 speed, Position 2 and the static threshold as set below.
    QTest::newRow("speed") << "pos0Speed" << QJsonValue(12.5) << "pos0Speed file 12.5 drive 20.00 mm/s";
    QTest::newRow("position") << "pos1Pos" << QJsonValue(30.001) << "pos1Pos file 30.001 drive 25.00 mm";
    QTest::newRow("time") << "pos0Accel" << QJsonValue(250) << "pos0Accel file 250 drive 200 ms";
    QTest::newRow("torque") << "homeTorque" << QJsonValue(60) << "homeTorque file 60 drive 50 %";
    QTest::newRow("current") << "runCurrent" << QJsonValue(70) << "runCurrent file 70 drive 50 %";
    QTest::newRow("one encoder step more") << "staErr" << QJsonValue(0.525) << "staErr file 0.525 drive 0.50 mm";
    QTest::newRow("push switch") << "pos1PushEnable" << QJsonValue(true) << "pos1PushEnable file on drive off";
}

void CliParamsDiffTest::aChangedValueIsListedWithItsUnit()
{
    QFETCH(QString, key);
    QFETCH(QJsonValue, fileValue);
    QFETCH(QString, line);
    set32(Reg::Pos0Speed, 24000);  // 20 mm/s at lead 5
    set32(Reg::Pos1Position, 25000);
    set(Reg::StaticErrorThreshold, 20);

    const CliRun run = runCommand(diffWith(exportedFile([&](QJsonObject &root) { root.insert(key, fileValue); })));

    QCOMPARE(run.code, int(CliExit::Differs));
    QCOMPARE(squeezedLines(run.out), QStringList{line});
    QVERIFY(run.err.isEmpty());
}

void CliParamsDiffTest::everyDifferingValueHasItsLine()
{
    const QString file = exportedFile([](QJsonObject &root) {
        root.insert(QStringLiteral("smoothMs"), 20);
        root.insert(QStringLiteral("pos0Decel"), 500);
        root.insert(QStringLiteral("pos0PushEnable"), true);
    });

    const CliRun run = runCommand(diffWith(file));

    QCOMPARE(run.code, int(CliExit::Differs));
    const QStringList lines = squeezedLines(run.out);
    QCOMPARE(lines.size(), 3);
    // In the order an import applies them.
    QVERIFY(lines[0].startsWith(QLatin1String("pos0Decel ")));
    QVERIFY(lines[1].startsWith(QLatin1String("smoothMs ")));
    QVERIFY(lines[2].startsWith(QLatin1String("pos0PushEnable ")));
}

void CliParamsDiffTest::aChangedDriveDiffersFromItsOldExport()
{
    const QString file = exportedFile();
    // 60 % (code 0x66), the high byte kept.
    set(Reg::HomeTorque, (m_bus->registerValue(Station, Reg::HomeTorque) & 0xFF00) | 0x66);

    const CliRun run = runCommand(diffWith(file));

    QCOMPARE(run.code, int(CliExit::Differs));
    QCOMPARE(squeezedLines(run.out), QStringList{QStringLiteral("homeTorque file 50 drive 60 %")});
}

void CliParamsDiffTest::valuesTheFileLacksOrCannotHoldAreNotCompared()
{
    set32(Reg::Pos0Speed, 30000);
    const QString file = exportedFile([](QJsonObject &root) {
        root.remove(QStringLiteral("pos0Accel"));
        root.insert(QStringLiteral("pos0Speed"), QStringLiteral("fast"));
    });
    set(Reg::Pos0Accel, 900);

    const CliRun run = runCommand(diffWith(file));

    QCOMPARE(run.code, int(CliExit::Ok));
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains(QLatin1String("pos0Speed")), qPrintable(run.err));
    QVERIFY(!run.err.contains(QLatin1String("pos0Accel")));
}

void CliParamsDiffTest::failuresHaveTheirExitCodes_data()
{
    QTest::addColumn<QStringList>("arguments");  // "PORT" and "FILE" are filled in
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");

    QTest::newRow("missing --file") << QStringList{"params", "diff", "--port", "PORT", "--station", "3"}
                                    << int(CliExit::Usage) << "missing --file";
    QTest::newRow("missing --port") << QStringList{"params", "diff", "--station", "3", "--file", "FILE"}
                                    << int(CliExit::Usage) << "missing --port";
    QTest::newRow("no such file")
        << QStringList{"params", "diff", "--port", "PORT", "--station", "3", "--file", "FILE.missing"}
        << int(CliExit::Usage) << "cannot open";
    QTest::newRow("far too large") << QStringList{"params", "diff", "--port", "PORT", "--station", "3", "--file", "HUGE"}
                                   << int(CliExit::Usage) << "too large";
    QTest::newRow("not JSON") << QStringList{"params", "diff", "--port", "PORT", "--station", "3", "--file", "BROKEN"}
                              << int(CliExit::Usage) << "BROKEN";
    QTest::newRow("silent station") << QStringList{"params", "diff", "--port", "PORT", "--station", "9", "--file", "FILE"}
                                    << int(CliExit::NoReply) << "Timeout";
    QTest::newRow("unknown family") << QStringList{"params", "diff", "--port", "PORT", "--station", "5", "--file", "FILE"}
                                    << int(CliExit::NotRecognised) << "Unknown device family";
    QTest::newRow("no such port")
        << QStringList{"params", "diff", "--port", "/dev/no-such-adapter", "--station", "3", "--file", "FILE"}
        << int(CliExit::PortUnavailable) << "Cannot open COM port";
}

void CliParamsDiffTest::failuresHaveTheirExitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, message);
    const QString file = exportedFile();
    const QString broken = path(QStringLiteral("broken.json"));
    QVERIFY(writeText(broken, "{\"pos0Speed\": 10,"));
    const QString huge = path(QStringLiteral("huge.json"));
    QVERIFY(writeText(huge, QByteArray(2 * 1024 * 1024, ' ') + "{}"));
    for (QString &a : arguments) {
        a.replace(QLatin1String("PORT"), m_port);
        a.replace(QLatin1String("FILE"), file);
        a.replace(QLatin1String("BROKEN"), broken);
        a.replace(QLatin1String("HUGE"), huge);
    }
    message.replace(QLatin1String("BROKEN"), broken);

    const CliRun run = runCommand(arguments);

    QCOMPARE(run.code, code);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

void CliParamsDiffTest::helpDocumentsTheDiff()
{
    const CliRun run = runCommand({"--help"});
    QCOMPARE(run.code, int(CliExit::Ok));
    QVERIFY(run.out.contains(QLatin1String("params diff --port P --station N --file FILE")));
}

QTEST_GUILESS_MAIN(CliParamsDiffTest)

#include "tst_cliparamsdiff.moc"
