#include "cli.h"
#include "registers.h"
#include "registertemplate.h"
#include "simbus.h"

#include <QFile>
#include <QTemporaryDir>
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

// The shipped block in the compare table's import format.
QString templateListing()
{
    QString text;
    for (const RegisterTemplate::Row &row : RegisterTemplate::rows())
        text += row.line() + QLatin1Char('\n');
    return text;
}

QVector<quint16> templateWords()
{
    QVector<quint16> words;
    for (const CmpTask &task : RegisterTemplate::tasks()) {
        for (int i = 0; i < task.wordCount; ++i)
            words << quint16((quint8(task.expected[2 * i]) << 8) | quint8(task.expected[2 * i + 1]));
    }
    return words;
}

QVector<SimRequest> requestsOf(const SimBus &bus, quint8 function)
{
    QVector<SimRequest> found;
    for (const SimRequest &request : bus.requests()) {
        if (request.function == function)
            found << request;
    }
    return found;
}

constexpr quint8 Station = 2;

}  // namespace

class CliBlockTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<SimBus> m_bus;

    QString writeFile(const QString &name, const QString &text)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
            return QString();
        file.write(text.toUtf8());
        return path;
    }

    QStringList block(const QString &action, const QString &file, int station = Station) const
    {
        return {"block", action, "--port", m_bus->portPath(), "--station", QString::number(station), "--file", file};
    }

    void setDriveBlock(const QVector<quint16> &words)
    {
        for (int i = 0; i < words.size(); ++i)
            m_bus->setRegisterValue(Station, quint16(Reg::PowerOnBlockStart + i), words[i]);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void init()
    {
        m_bus = std::make_unique<SimBus>();
        SimDriveConfig drive;
        drive.station = Station;
        m_bus->addDrive(drive);
        if (!m_bus->start())
            QSKIP("no pseudo-terminal for the simulated bus");
    }

    void cleanup() { m_bus.reset(); }

    void compareOfAMatchingDrivePrintsEveryRunAndSucceeds()
    {
        setDriveBlock(templateWords());
        const QString listing = writeFile("template.txt", templateListing());

        const CliRun run = runCommand(block("compare", listing));

        QCOMPARE(run.code, 0);
        const QStringList lines = run.out.trimmed().split('\n');
        QCOMPARE(lines.size(), RegisterTemplate::RowCount);
        QCOMPARE(lines.first(), QString("0x012C 2 match"));
        QCOMPARE(lines.last(), QString("0x0257 1 match"));
        // Read back in the four merged requests, nothing written.
        const QVector<SimRequest> reads = requestsOf(*m_bus, 0x03);
        QCOMPARE(reads.size(), 4);
        QCOMPARE(reads[0].address, quint16(0x012C));
        QCOMPARE(reads[0].count, quint16(98));
        QCOMPARE(reads[3].address, quint16(0x0255));
        QCOMPARE(reads[3].count, quint16(3));
        QVERIFY(requestsOf(*m_bus, 0x10).isEmpty());
        QVERIFY(requestsOf(*m_bus, 0x06).isEmpty());
    }

    void compareShowsWhereTheDriveDiffersAndExitsSix()
    {
        QVector<quint16> words = templateWords();
        words[1] = 0x0065;  // rated current of the first run
        setDriveBlock(words);
        const QString listing = writeFile("template.txt", templateListing());

        const CliRun run = runCommand(block("compare", listing));

        QCOMPARE(run.code, 6);
        const QStringList lines = run.out.trimmed().split('\n');
        QCOMPARE(lines.first(), QString("0x012C 2 mismatch  expected 00 0D 00 64  device 00 0D 00 65"));
        QCOMPARE(lines.filter(" mismatch").size(), 1);
    }

    void compareOfASilentStationIsIncompleteNotDifferent()
    {
        const QString listing = writeFile("template.txt", templateListing());

        const CliRun run = runCommand(block("compare", listing, 9));

        QCOMPARE(run.code, 3);
        QCOMPARE(run.out.trimmed().split('\n').filter(" error").size(), RegisterTemplate::RowCount);
        QVERIFY2(run.err.contains("Read error"), qPrintable(run.err));
    }

    void writePutsTheListingIntoTheDriveInMergedRequests()
    {
        const QString listing = writeFile("template.txt", templateListing());

        const CliRun run = runCommand(block("write", listing));

        QCOMPARE(run.code, 0);
        QCOMPARE(run.out.trimmed().split('\n'),
                 (QStringList{"0x012C 98 words written", "0x018E 100 words written",
                              "0x01F2 99 words written", "0x0255 3 words written"}));
        const QVector<SimRequest> writes = requestsOf(*m_bus, 0x10);
        QCOMPARE(writes.size(), 4);
        QCOMPARE(writes[1].address, quint16(0x018E));
        QCOMPARE(writes[1].values.size(), 100);
        const QVector<quint16> expected = templateWords();
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(m_bus->registerValue(Station, quint16(Reg::PowerOnBlockStart + i)), expected[i]);
        // Without --save nothing is stored.
        QVERIFY(requestsOf(*m_bus, 0x06).isEmpty());

        QCOMPARE(runCommand(block("compare", listing)).code, 0);
    }

    void saveFollowsACompleteWrite()
    {
        SimDriveConfig longer;
        longer.station = Station;
        longer.stroke = 100;  // the listing says 50 mm
        m_bus->addDrive(longer);
        const QString listing = writeFile("template.txt", templateListing());

        const CliRun run = runCommand(block("write", listing) << "--save");

        QCOMPARE(run.code, 0);
        QVERIFY(run.out.endsWith("saved\n"));
        const QVector<SimRequest> all = m_bus->requests();
        QCOMPARE(all.last().function, quint8(0x06));
        QCOMPARE(all.last().address, Reg::StoreCommand);
        QCOMPARE(all.last().values, QVector<quint16>{Reg::StoreValue::SaveToRom});
        // The written block, not the factory one, survives a power cycle.
        const quint16 strokeWord = 0x015D;
        QCOMPARE(m_bus->registerValue(Station, strokeWord), quint16(50));
        m_bus->powerCycle(Station);
        QCOMPARE(m_bus->registerValue(Station, strokeWord), quint16(50));
    }

    void aWriteThatStopsHalfwayFailsAndIsNotSaved()
    {
        const QString listing = writeFile("template.txt", templateListing());
        SimFaults faults;
        faults.silentAfterReplies = 2;
        m_bus->setFaults(faults);

        const CliRun run = runCommand(block("write", listing) << "--save");

        QCOMPARE(run.code, 1);
        QCOMPARE(run.out.trimmed().split('\n'),
                 (QStringList{"0x012C 98 words written", "0x018E 100 words written",
                              "0x01F2 99 words FAILED", "0x0255 3 words FAILED",
                              "save skipped: the block was not fully written"}));
        QVERIFY(requestsOf(*m_bus, 0x06).isEmpty());
    }

    void aSaveTheDriveDoesNotConfirmFails()
    {
        const QString listing = writeFile("template.txt", templateListing());
        SimFaults faults;
        faults.silentAfterReplies = 4;
        m_bus->setFaults(faults);

        const CliRun run = runCommand(block("write", listing) << "--save");

        QCOMPARE(run.code, 1);
        QVERIFY(run.out.endsWith("save FAILED\n"));
        QVERIFY(run.err.contains("EEPROM save failed"));
    }

    void unusableListingsAreRefusedBeforeTheBusIsTouched_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << "" << "holds no register runs";
        QTest::newRow("no hex run") << "just words\n" << "holds no register runs";
        QTest::newRow("short data") << "01 2C 00 02 04 00 0D 00 64\n01 2E 00 02 04 00 0E\n"
                                    << "record 2 (0x012E, 2 words) holds 2 of 4 data bytes";
    }
    void unusableListingsAreRefusedBeforeTheBusIsTouched()
    {
        QFETCH(QString, content);
        QFETCH(QString, message);
        const QString listing = writeFile("bad.txt", content);

        for (const char *action : {"compare", "write"}) {
            const CliRun run = runCommand(block(action, listing));
            QCOMPARE(run.code, 2);
            QVERIFY2(run.err.contains(message), qPrintable(run.err));
        }
        QVERIFY(m_bus->requests().isEmpty());
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("no action") << QStringList{"block"} << 2 << "compare or write";
        QTest::newRow("unknown action") << QStringList{"block", "erase"} << 2 << "unknown block action 'erase'";
        QTest::newRow("missing file") << QStringList{"block", "compare", "--port", "x", "--station", "1"} << 2
                                      << "missing --file";
        QTest::newRow("save on compare") << QStringList{"block", "compare", "--save"} << 2 << "--save";
        QTest::newRow("bad station")
            << QStringList{"block", "write", "--port", "x", "--station", "0", "--file", "f"} << 2 << "--station";
        QTest::newRow("unreadable file")
            << QStringList{"block", "write", "--port", "x", "--station", "1", "--file", "/no/such/listing.txt"}
            << 2 << "cannot read /no/such/listing.txt";
    }
    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QString, message);
        const CliRun run = runCommand(arguments);
        QCOMPARE(run.code, code);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
    }

    void aMissingPortIsReportedAsSuch()
    {
        const QString listing = writeFile("template.txt", templateListing());
        const CliRun run = runCommand(
            {"block", "compare", "--port", "/dev/no-such-adapter", "--station", "1", "--file", listing});
        QCOMPARE(run.code, 4);
        QVERIFY(run.err.contains("cannot open port"));
    }

    void helpDescribesBothActions()
    {
        const CliRun run = runCommand({"--help"});
        QVERIFY(run.out.contains("block compare"));
        QVERIFY(run.out.contains("block write"));
        QVERIFY(run.out.contains("--save"));
    }
};

QTEST_GUILESS_MAIN(CliBlockTest)
#include "tst_cliblock.moc"
