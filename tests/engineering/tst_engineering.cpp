// The engineering register block: template, product configuration, listings,
// and the compare engine on a simulated drive.

#include "cmpengine.h"
#include "linkrig.h"
#include "productconfig.h"
#include "registers.h"
#include "registertemplate.h"
#include "testmain.h"
#include "workerregisteraccess.h"

namespace {

QString dataOf(const CmpTask &task) { return QString(task.expected.toHex(' ').toUpper()); }

int countOf(const QVector<CmpTask> &tasks, const QString &status)
{
    return int(std::count_if(tasks.cbegin(), tasks.cend(), [&](const CmpTask &t) { return t.status == status; }));
}

}  // namespace

class EngineeringTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void templateCoversThePowerOnBlockInFourRequests()
    {
        const QVector<CmpTask> tasks = RegisterTemplate::tasks();
        QCOMPARE(tasks.size(), RegisterTemplate::RowCount);
        int next = Reg::PowerOnBlockStart;
        for (const CmpTask &task : tasks) {
            QCOMPARE(int(task.address), next);
            QCOMPARE(task.expected.size(), 2 * task.wordCount);
            next += task.wordCount;
        }
        QCOMPARE(next, Reg::PowerOnBlockStart + Reg::PowerOnBlockWords);
        QStringList requests;
        for (const CmpGroup &group : mergeTasks(tasks))
            requests << QStringLiteral("%1x%2").arg(group.address, 4, 16, QLatin1Char('0')).arg(group.wordCount);
        QCOMPARE(requests, QStringList({"012cx98", "018ex100", "01f2x99", "0255x3"}));
        QCOMPARE(RegisterTemplate::rows().first().line(), QString("01 2C 00 02 04 00 0D 00 64"));
    }

    // Words worked out by hand for lead 10, stroke 100: 10000 pulses (0x2710),
    // 3000 (0x0BB8) x 0.01 rpm, 0.3 mm = 6 steps, 100 000 pulses (0x0001 86A0),
    // lead register 100 (0x64), torque mode 2 with force 120 (0x0278), 50 % push = 85.
    void productConfigIsWrittenIntoItsRows()
    {
        ProductConfig c;
        applyLeadDefaults(c, 10.0);
        applyStrokeDefaults(c, 100);
        c.dynErrMm = 0.3;
        c.tqMode = 2;
        c.tqForce = 120;
        c.pos0PushEnable = true;
        c.pos1PushTorque = 50;
        QVector<CmpTask> tasks = RegisterTemplate::tasks();
        const QVector<CmpTask> shipped = tasks;
        patchExpectedData(tasks, c);
        const QMap<QString, QString> expected{
            {"ppr", "10 24 27 10 00 00"}, {"speed", "10 D8 0B B8 00 00"}, {"softCw", "10 70 86 A0 00 01"},
            {"dynErr", "00 0B 00 06"},    {"ecLead", "02 BF 00 64"},      {"pos1Pls", "10 D0 86 A0 00 01"},
            {"tqMode", "00 9E 02 78"},    {"ecStroke", "02 C0 00 64"}};
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QCOMPARE(dataOf(tasks[RegisterTemplate::rowIndex(it.key())]), it.value());
        QCOMPARE(quint8(tasks[RegisterTemplate::rowIndex("pos0PushEnable")].expected[3]), quint8(0xD0));
        QCOMPARE(quint8(tasks[RegisterTemplate::rowIndex("pos1PushForce")].expected[3]), quint8(85));
        for (int i = 0; i < tasks.size(); ++i) {
            if (QByteArray(RegisterTemplate::rows()[i].key).isEmpty())
                QCOMPARE(tasks[i].expected, shipped[i].expected);
            QCOMPARE(tasks[i].expected.left(2), shipped[i].expected.left(2));  // the tag words stay
        }
        QCOMPARE(QVector<int>({forceByte(10), forceByte(50), forceByte(80)}), QVector<int>({34, 85, 119}));
        QCOMPARE(thresholdSteps(0.0125, 1.0), quint16(3));  // 2.5 steps, half away from zero
    }

    void listingReimportsAndIsSavedWhole()
    {
        QVector<CmpTask> tasks = RegisterTemplate::tasks();
        const QString listing = registerListing(tasks);
        QStringList withoutStation;
        for (const QString &line : listing.split('\n', Qt::SkipEmptyParts)) {
            QVERIFY(line.startsWith("01 "));
            withoutStation << line.mid(3);
        }
        const QVector<CmpTask> again = parseTaskText(withoutStation.join('\n'));
        QCOMPARE(again.size(), tasks.size());
        for (int i = 0; i < tasks.size(); ++i)
            QCOMPARE(dataOf(again[i]), dataOf(tasks[i]));
        QTemporaryDir dir;
        QVERIFY(!saveRegisterListing(dir.filePath("block.txt"), tasks).failed());
        QFile saved(dir.filePath("block.txt"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(saved.readAll()), listing);
        QVERIFY(saveRegisterListing(dir.filePath("missing/block.txt"), tasks).failed());
        QVERIFY(!QFile::exists(dir.filePath("missing/block.txt")));
    }

    void engineWritesReadsAndSavesTheBlockOnTheWire()
    {
        LinkRig rig({driveAt(2)});
        VEXA_REQUIRE(rig.startWorker(2, true), "no pseudo-terminal for the simulated bus");
        WorkerRegisterAccess access(&rig.worker);
        CmpEngine engine(access);
        QStringList log;
        engine.setLogSink([&](const QString &, const QString &text) { log << text; });
        engine.setLanguage("en");
        QVector<CmpTask> tasks = RegisterTemplate::tasks();
        patchExpectedData(tasks, ProductConfig());

        engine.writeAll(tasks, 2);
        QCOMPARE(rig.wire(0x10).size(), 4);
        QCOMPARE(rig.wire(0x10).first().left(26), QString("2 10 012C = 000D 0064 000E"));
        for (const CmpTask &task : tasks)
            for (int i = 0; i < task.wordCount; ++i)
                QCOMPARE(rig.bus.registerValue(2, quint16(task.address + i)),
                         quint16(quint8(task.expected[2 * i]) << 8 | quint8(task.expected[2 * i + 1])));
        rig.bus.clearRequests();
        engine.readAll(tasks, 2);
        QCOMPARE(rig.wire(), QStringList({"2 03 012C x98", "2 03 018E x100", "2 03 01F2 x99", "2 03 0255 x3"}));
        QCOMPARE(countOf(tasks, CmpStatus::Match), RegisterTemplate::RowCount);

        rig.bus.setRegisterValue(2, 0x0131, 0x1234);
        SimFaults faults;
        faults.silentAfterReplies = 1;  // the first group answers, the rest do not
        rig.bus.setFaults(faults);
        log.clear();
        engine.readAll(tasks, 2);
        QCOMPARE(tasks[2].status, CmpStatus::Mismatch);
        const int firstGroup = int(std::count_if(tasks.cbegin(), tasks.cend(), [](const CmpTask &t) { return t.address < 0x018E; }));
        QCOMPARE(QVector<int>({countOf(tasks, CmpStatus::Match), countOf(tasks, CmpStatus::Mismatch)}),
                 QVector<int>({firstGroup - 1, 1}));
        QCOMPARE(countOf(tasks, CmpStatus::Error), RegisterTemplate::RowCount - firstGroup);
        QCOMPARE(log.filter("Read error").size(), 3);

        rig.bus.setFaults(SimFaults());
        rig.bus.clearRequests();
        QVERIFY(engine.saveEeprom(2));
        QCOMPARE(rig.wire(), QStringList{"2 06 00DC = 0001"});
        faults.silent = true;
        rig.bus.setFaults(faults);
        QVERIFY(!engine.saveEeprom(2));
    }
};

VEXA_TEST_CLASS(EngineeringTest);
#include "tst_engineering.moc"
