// vexa-cli: export, apply and diff carry every register exactly between two
// drives; apply's exit codes.

#include "clifixture.h"
#include "oddparams.h"
#include "testmain.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

constexpr int Stroke = 100;

// LXGZ-40L05-100-BC: a lead whose 0.01 rpm are no whole 0.01 mm/s.
SimDriveConfig lead5At(quint8 station)
{
    SimDriveConfig c = driveAt(station, 6, Stroke);
    c.size = 40;
    c.rawLead = 5;
    return c;
}

QByteArray edited(const QByteArray &json, const QString &key, const QJsonValue &value)
{
    QJsonObject root = QJsonDocument::fromJson(json).object();
    root.insert(key, value);
    return QJsonDocument(root).toJson();
}

}  // namespace

class ParamsApplyTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void exportThenApplyCopiesEveryRegister()
    {
        CliFixture cli({lead5At(1), lead5At(2)});
        VEXA_REQUIRE(cli.start(), "no pseudo-terminal for the simulated bus");
        setOddValues(cli.bus, 1, Stroke);
        cli.bus.setRegisterValue(1, Reg::CurrentLimits, 0x3F2D);
        for (quint16 address : {Reg::HomeTorque, Reg::Pos0PushTorque, Reg::Pos1PushTorque})
            cli.bus.setRegisterValue(2, address, 0x5A00);  // another setting in the high byte, kept
        CliRun run = CliFixture::run(cli.at({"params", "export"}, 1) << "--out" << cli.path("one.json"));
        QVERIFY2(run.code == 0, qPrintable(run.err));

        run = CliFixture::run(cli.at({"params", "apply"}, 2) << "--file" << cli.path("one.json") << "--save");
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.takeLast(), QStringLiteral("saved to ROM"));
        QVERIFY(lines.size() >= oddRows().size());
        QCOMPARE(lines.filter(QStringLiteral("written, read back")), lines);
        for (const OddRow &row : oddRows()) {
            const bool torque = QByteArray(row.key).contains("Torque");
            for (int w = 0; w < row.words; ++w) {
                const quint16 address = quint16(row.address + w);
                const quint16 expected = torque ? quint16(0x5A00 | (cli.bus.registerValue(1, address) & 0x00FF))
                                                : cli.bus.registerValue(1, address);
                QCOMPARE(cli.bus.registerValue(2, address), expected);
            }
        }
        for (quint16 address : {Reg::CurrentLimits, Reg::Pos0MotionMode, Reg::Pos1MotionMode})
            QCOMPARE(cli.bus.registerValue(2, address), cli.bus.registerValue(1, address));
        QCOMPARE(cli.bus.registerValue(2, Reg::ScriptDynamicErrorThreshold), quint16(27));  // the power-on copy too
        QCOMPARE(CliFixture::run(cli.at({"params", "diff"}, 2) << "--file" << cli.path("one.json")).code, 0);
    }

    // A drive's values outside the boxes' ranges: export, diff and apply of
    // the same file find nothing to do and write nothing; a file value outside
    // a range that differs is refused, never held to the range and written.
    void valuesOutsideTheRangesRoundTripUnchanged()
    {
        CliFixture cli({lead5At(1)});
        VEXA_REQUIRE(cli.start(), "no pseudo-terminal for the simulated bus");
        setOutsideRangeValues(cli.bus, 1, Stroke);
        const QVector<quint16> before = parameterRegisterValues(cli.bus, 1);
        QCOMPARE(CliFixture::run(cli.at({"params", "export"}, 1) << "--out" << cli.path("one.json")).code, 0);
        const QJsonObject exported = QJsonDocument::fromJson(cli.readFile("one.json")).object();
        QCOMPARE(exported.value("pos0PushTorque").toDouble(), 0.0);
        QCOMPARE(qRound(exported.value("pos1Speed").toDouble() * 6000 / 5), 350000);  // mm/s at lead 5 mm

        CliRun run = CliFixture::run(cli.at({"params", "diff"}, 1) << "--file" << cli.path("one.json"));
        QVERIFY2(run.code == 0 && run.out.isEmpty(), qPrintable(run.out + run.err));
        cli.bus.clearRequests();
        run = CliFixture::run(cli.at({"params", "apply"}, 1) << "--file" << cli.path("one.json") << "--save");
        QVERIFY2(run.code == 0, qPrintable(run.out + run.err));
        QCOMPARE(cli.wire(0x06), QStringList{QStringLiteral("1 06 00DC = 0001")});  // nothing but the save
        QVERIFY(cli.wire(0x10).isEmpty());
        QCOMPARE(parameterRegisterValues(cli.bus, 1), before);

        cli.bus.setRegisterValue(1, Reg::Pos0PushTorque, 0x0055);
        cli.bus.clearRequests();
        run = CliFixture::run(cli.at({"params", "apply"}, 1) << "--file" << cli.path("one.json"));
        QCOMPARE(run.code, 6);
        QVERIFY2(run.out.contains(QRegularExpression("pos0PushTorque +0 % +refused: outside the editable range")),
                 qPrintable(run.out));
        QVERIFY(cli.wire(0x06).isEmpty());
        QCOMPARE(cli.bus.registerValue(1, Reg::Pos0PushTorque), quint16(0x0055));
    }

    void applyExitCodes()
    {
        CliFixture cli({lead5At(1), lead5At(2), driveAt(3)});
        VEXA_REQUIRE(cli.start(), "no pseudo-terminal for the simulated bus");
        setOddValues(cli.bus, 1, Stroke);
        QCOMPARE(CliFixture::run(cli.at({"params", "export"}, 1) << "--out" << cli.path("one.json")).code, 0);
        const QByteArray exported = cli.readFile("one.json");

        // Another product: refused before anything is written, by diff as by apply.
        for (const char *action : {"diff", "apply"}) {
            const CliRun run = CliFixture::run(cli.at({"params", action}, 3) << "--file" << cli.path("one.json"));
            QCOMPARE(run.code, 2);
            QVERIFY2(run.err.contains(QStringLiteral("Family: LXGZ → LXAZ")), qPrintable(run.err));
        }
        QVERIFY(cli.wire(0x06).isEmpty() && cli.wire(0x10).isEmpty());

        // A value the write rules refuse: Position 1 beyond Position 2.
        cli.writeFile("order.json", edited(exported, "pos0Pos", 99.5));
        CliRun run = CliFixture::run(cli.at({"params", "apply"}, 2) << "--file" << cli.path("order.json") << "--save");
        QCOMPARE(run.code, 6);
        QVERIFY2(run.out.contains(QRegularExpression("pos0Pos +99.5 mm +refused")), qPrintable(run.out));
        QVERIFY(!cli.wire(0x06).contains(QStringLiteral("2 06 00DC = 0001")));

        // The drive stops answering after the first write: not confirmed, no save.
        setOddValues(cli.bus, 2, Stroke, 1);
        cli.bus.clearRequests();
        cli.bus.setRequestObserver([&cli](const SimRequest &r) {
            if (r.function != 0x03) {
                SimFaults silent;
                silent.silent = true;
                cli.bus.setFaults(silent);
            }
        });
        run = CliFixture::run(cli.at({"params", "apply"}, 2) << "--file" << cli.path("one.json") << "--save");
        cli.bus.setRequestObserver(nullptr);
        QCOMPARE(run.code, 1);
        QVERIFY(run.out.contains(QStringLiteral("not confirmed")));
        QVERIFY(run.err.contains(QStringLiteral("not saved")));
        // The first write was answered, the second not; a silent drive gets no write after that.
        const QStringList writes = cli.wire(0x06) + cli.wire(0x10);
        QVERIFY2(writes.size() == 2, qPrintable(writes.join(QLatin1String("; "))));
    }

    void applyNeedsTheFileToNameThisProduct_data()
    {
        QTest::addColumn<QStringList>("removed");
        QTest::addColumn<QByteArray>("changed");  // keys set to other values, as JSON
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");
        QTest::newRow("no lead, another family") << QStringList{"lead"}
                                                 << QByteArray(R"({"family": "LXBZ", "size": 32, "stroke": 100})")
                                                 << QStringList() << 2 << "does not record the product's lead";
        QTest::newRow("no family, size or stroke") << QStringList{"family", "size", "stroke"} << QByteArray("{}")
                                                   << QStringList() << 2 << "family, size, stroke";
        QTest::newRow("another stroke") << QStringList() << QByteArray(R"({"stroke": 50})") << QStringList() << 2
                                        << "Stroke: 50 → 100 mm";
        QTest::newRow("reversed direction") << QStringList() << QByteArray(R"({"dir": "BA"})") << QStringList() << 2
                                            << "--allow-reversed";
        QTest::newRow("reversed direction, allowed") << QStringList() << QByteArray(R"({"dir": "BA"})")
                                                     << QStringList{"--allow-reversed"} << 0 << "saved to ROM";
    }
    void applyNeedsTheFileToNameThisProduct()
    {
        QFETCH(QStringList, removed);
        QFETCH(QByteArray, changed);
        QFETCH(QStringList, options);
        QFETCH(int, code);
        QFETCH(QString, said);
        CliFixture cli({lead5At(1), lead5At(2)});
        VEXA_REQUIRE(cli.start(), "no pseudo-terminal for the simulated bus");
        setOddValues(cli.bus, 1, Stroke);
        QCOMPARE(CliFixture::run(cli.at({"params", "export"}, 1) << "--out" << cli.path("one.json")).code, 0);
        QJsonObject root = QJsonDocument::fromJson(cli.readFile("one.json")).object();
        for (const QString &key : removed)
            root.remove(key);
        const QJsonObject values = QJsonDocument::fromJson(changed).object();
        for (auto it = values.begin(); it != values.end(); ++it)
            root.insert(it.key(), it.value());
        cli.writeFile("edited.json", QJsonDocument(root).toJson());
        QVector<quint16> before;
        for (const OddRow &row : oddRows())
            before << cli.bus.registerValue(2, row.address);
        cli.bus.clearRequests();

        const CliRun run = CliFixture::run(cli.at({"params", "apply"}, 2) << "--file" << cli.path("edited.json")
                                                                         << "--save" << options);

        QCOMPARE(run.code, code);
        QVERIFY2((run.err + run.out).contains(said), qPrintable(run.err + run.out));
        QVector<quint16> after;
        for (const OddRow &row : oddRows())
            after << cli.bus.registerValue(2, row.address);
        QCOMPARE(after != before, code == 0);
        if (code != 0)
            QVERIFY(cli.wire(0x06).isEmpty() && cli.wire(0x10).isEmpty());
    }

    void writesLeaveRecordsWithOldAndNewValues()
    {
        CliFixture cli({lead5At(1), lead5At(2)});
        VEXA_REQUIRE(cli.start(), "no pseudo-terminal for the simulated bus");
        setOddValues(cli.bus, 1, Stroke);
        QCOMPARE(CliFixture::run(cli.at({"params", "export"}, 1) << "--out" << cli.path("one.json")).code, 0);
        const QStringList filesBefore = QDir(cli.dir.path()).entryList(QDir::Files);
        QCOMPARE(CliFixture::run(cli.at({"write"}, 2) << "--address" << "0x0223" << "--value" << "300").code, 0);
        QCOMPARE(QDir(cli.dir.path()).entryList(QDir::Files), filesBefore);  // nothing on disk without --log

        const quint16 before = cli.bus.registerValue(2, 0x0223);
        cli.bus.clearRequests();
        QStringList write = cli.at({"write"}, 2) << "--address" << "0x0223" << "--value" << "301";
        QCOMPARE(CliFixture::run(write << "--log" << cli.path("events.jsonl")).code, 0);
        // The old value is read just before the write.
        QCOMPARE(cli.wire().mid(1), QStringList({"2 03 0223 x1", "2 06 0223 = 012D"}));
        QVector<quint16> oldOdd;
        for (const OddRow &row : oddRows())
            oldOdd << cli.bus.registerValue(2, row.address);
        QCOMPARE(CliFixture::run(cli.at({"params", "apply"}, 2) << "--file" << cli.path("one.json") << "--save"
                                                                << "--log" << cli.path("events.jsonl"))
                     .code,
                 0);

        const QVector<QJsonObject> records = CliFixture::logRecords(cli.readFile("events.jsonl"));
        QVERIFY(records.size() > oddRows().size() + 2);
        const QRegularExpression isoTime(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d)$"));
        for (const QJsonObject &record : records) {
            QVERIFY2(isoTime.match(record["time"].toString()).hasMatch(), qPrintable(record["time"].toString()));
            QCOMPARE(record["station"].toInt(), 2);
            QCOMPARE(record["port"].toString(), cli.bus.portPath());
        }
        QCOMPARE(records[0]["event"].toString(), QStringLiteral("parameter write"));
        QCOMPARE(records[0]["key"].toString(), QStringLiteral("0x0223"));
        QCOMPARE(records[0]["old"]["raw"].toInt(), int(before));
        QCOMPARE(records[0]["new"]["raw"].toInt(), 301);
        QCOMPARE(records[0]["result"].toString(), QStringLiteral("confirmed"));

        QCOMPARE(records[1]["event"].toString(), QStringLiteral("file apply"));
        QCOMPARE(records[1]["model"].toString(), QStringLiteral("LXGZ-40L05-100-BC"));
        QFile file(cli.path("one.json"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(records[1]["sha256"].toString(),
                 QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex()));
        QCOMPARE(records.last()["event"].toString(), QStringLiteral("save to ROM"));
        QCOMPARE(records.last()["result"].toString(), QStringLiteral("confirmed"));
        for (int i = 0; i < oddRows().size(); ++i) {
            const OddRow &row = oddRows()[i];
            const auto written = std::find_if(records.cbegin(), records.cend(), [&row](const QJsonObject &r) {
                return r["key"].toString() == QLatin1String(row.key);
            });
            QVERIFY2(written != records.cend(), row.key);
            if (row.words != 1 || QByteArray(row.key).contains("Torque"))
                continue;
            QCOMPARE((*written)["old"]["raw"].toInt(), int(oldOdd[i]));
            QCOMPARE((*written)["new"]["raw"].toInt(), int(cli.bus.registerValue(1, row.address)));
            QVERIFY(!(*written)["new"]["shown"].toString().isEmpty());
        }
    }
};

VEXA_TEST_CLASS(ParamsApplyTest);
#include "tst_params_apply.moc"
