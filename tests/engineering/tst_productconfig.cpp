#include "actuatorcatalogue.h"
#include "cmpengine.h"
#include "productconfig.h"
#include "registertemplate.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

QVector<CmpTask> patchedTemplate(const ProductConfig &config)
{
    QVector<CmpTask> tasks = RegisterTemplate::tasks();
    patchExpectedData(tasks, config);
    return tasks;
}

const CmpTask &taskFor(const QVector<CmpTask> &tasks, const char *key)
{
    return tasks.at(RegisterTemplate::rowIndex(QLatin1String(key)));
}

quint16 wordOf(const QVector<CmpTask> &tasks, const char *key)
{
    const QByteArray &e = taskFor(tasks, key).expected;
    return quint16((quint8(e[2]) << 8) | quint8(e[3]));
}

quint32 dwordOf(const QVector<CmpTask> &tasks, const char *key)
{
    const QByteArray &e = taskFor(tasks, key).expected;
    return (quint32((quint8(e[4]) << 8) | quint8(e[5])) << 16) | ((quint8(e[2]) << 8) | quint8(e[3]));
}

ProductConfig startUpConfig()
{
    ProductConfig config;
    applyLeadDefaults(config, 1.0);
    applyStrokeDefaults(config, 30);
    return config;
}

CmpTask taskFromLine(const char *line)
{
    return *parseTaskLine(QLatin1String(line), 0);
}

}  // namespace

class ProductConfigTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startUpValuesPatchTheTemplate()
    {
        const QVector<CmpTask> tasks = patchedTemplate(startUpConfig());
        QCOMPARE(wordOf(tasks, "ecLead"), quint16(0x000A));
        QCOMPARE(wordOf(tasks, "ecStroke"), quint16(0x001E));
        QCOMPARE(taskFor(tasks, "softCw").expected, QByteArray::fromHex("107075300000"));
        QCOMPARE(dwordOf(tasks, "pos0PushSpd"), 30000u);
        QCOMPARE(dwordOf(tasks, "tqSpeed"), 30000u);
        QCOMPARE(wordOf(tasks, "execTq"), quint16(0x83E9));
        QCOMPARE(wordOf(tasks, "tqMode"), quint16(0x0155));
        QCOMPARE(quint8(taskFor(tasks, "pos0PushForce").expected[3]), quint8(0x33));
        QCOMPARE(wordOf(tasks, "current"), quint16(100));
        QCOMPARE(wordOf(tasks, "currentPct"), quint16(0x3232));
        QCOMPARE(dwordOf(tasks, "ppr"), 1000u);
        QCOMPARE(dwordOf(tasks, "speed"), 30000u);
        QCOMPARE(dwordOf(tasks, "pos1Pls"), 30000u);
        QCOMPARE(wordOf(tasks, "dynErr"), quint16(25));
        QCOMPARE(wordOf(tasks, "staErr"), quint16(20));
        QCOMPARE(wordOf(tasks, "posWarn"), quint16(15));
        QCOMPARE(wordOf(tasks, "accel"), quint16(50));
        QCOMPARE(wordOf(tasks, "pos1PushDec"), quint16(50));
        QCOMPARE(quint8(taskFor(tasks, "pos0PushEnable").expected[3]), quint8(0xC0));
        QCOMPARE(quint8(taskFor(tasks, "pos1PushEnable").expected[3]), quint8(0xA0));
    }

    void patchesKeepTagWordsAndUnkeyedRows()
    {
        ProductConfig config = startUpConfig();
        config.familyCode = 6;
        config.size = 63;
        applyLeadDefaults(config, 20.0);
        applyStrokeDefaults(config, 1000);
        config.pos0PushEnable = true;
        const QVector<CmpTask> original = RegisterTemplate::tasks();
        const QVector<CmpTask> tasks = patchedTemplate(config);
        for (int i = 0; i < tasks.size(); ++i) {
            QCOMPARE(tasks[i].expected.size(), original[i].expected.size());
            QCOMPARE(tasks[i].expected.left(2), original[i].expected.left(2));
            if (QByteArray(RegisterTemplate::rows().at(i).key).isEmpty())
                QCOMPARE(tasks[i].expected, original[i].expected);
            QCOMPARE(tasks[i].status, CmpStatus::Pending);
            QVERIFY(tasks[i].device.isEmpty());
        }
    }

    void leadDrivesPulsesSpeedsAndCodes_data()
    {
        QTest::addColumn<double>("lead");
        QTest::addColumn<int>("ppr");
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("ecLead");
        QTest::addColumn<int>("pushSpeed");
        QTest::newRow("1 mm") << 1.0 << 1000 << 30000 << 10 << 30000;
        QTest::newRow("1.5 mm") << 1.5 << 1500 << 20000 << 15 << 20000;
        QTest::newRow("2 mm") << 2.0 << 2000 << 15000 << 20 << 15000;
        QTest::newRow("8 mm") << 8.0 << 8000 << 3750 << 80 << 3750;
        QTest::newRow("20 mm") << 20.0 << 20000 << 1500 << 200 << 1500;
    }
    void leadDrivesPulsesSpeedsAndCodes()
    {
        QFETCH(double, lead);
        QFETCH(int, ppr);
        QFETCH(int, speed);
        QFETCH(int, ecLead);
        QFETCH(int, pushSpeed);
        ProductConfig config = startUpConfig();
        applyLeadDefaults(config, lead);
        QCOMPARE(config.ppr, ppr);
        QCOMPARE(config.speed, speed);
        QCOMPARE(config.posSpeed, 150000);
        QCOMPARE(config.pos1Speed, 150000);
        const QVector<CmpTask> tasks = patchedTemplate(config);
        QCOMPARE(dwordOf(tasks, "ppr"), quint32(ppr));
        QCOMPARE(dwordOf(tasks, "speed"), quint32(speed));
        QCOMPARE(int(wordOf(tasks, "ecLead")), ecLead);
        QCOMPARE(dwordOf(tasks, "pos0PushSpd"), quint32(pushSpeed));
        QCOMPARE(dwordOf(tasks, "pos1PushSpd"), quint32(pushSpeed));
        QCOMPARE(dwordOf(tasks, "pos0Spd"), 150000u);
        // The default thresholds are 25, 20 and 15 encoder steps whatever the lead.
        QCOMPARE(wordOf(tasks, "dynErr"), quint16(25));
        QCOMPARE(wordOf(tasks, "staErr"), quint16(20));
        QCOMPARE(wordOf(tasks, "posWarn"), quint16(15));
    }

    void torqueSpeedFollowsTheLead_data()
    {
        QTest::addColumn<int>("tqSpeed");
        QTest::addColumn<double>("lead");
        QTest::addColumn<int>("word");
        QTest::newRow("5 mm/s, 1.5 mm") << 5 << 1.5 << 20000;
        QTest::newRow("5 mm/s, 8 mm") << 5 << 8.0 << 3750;
        QTest::newRow("1 mm/s, 20 mm") << 1 << 20.0 << 300;
        QTest::newRow("3 mm/s, 1 mm") << 3 << 1.0 << 18000;
    }
    void torqueSpeedFollowsTheLead()
    {
        QFETCH(int, tqSpeed);
        QFETCH(double, lead);
        QFETCH(int, word);
        ProductConfig config = startUpConfig();
        config.lead = lead;
        config.tqSpeed = tqSpeed;
        QCOMPARE(dwordOf(patchedTemplate(config), "tqSpeed"), quint32(word));
    }

    void forceByteClampsTheTorque_data()
    {
        QTest::addColumn<int>("percent");
        QTest::addColumn<int>("byte");
        QTest::newRow("30") << 30 << 0x33;
        QTest::newRow("50") << 50 << 0x55;
        QTest::newRow("70") << 70 << 0x77;
        QTest::newRow("100 clamps to 70") << 100 << 0x77;
        QTest::newRow("20") << 20 << 0x22;
        QTest::newRow("5 clamps to 20") << 5 << 0x22;
    }
    void forceByteClampsTheTorque()
    {
        QFETCH(int, percent);
        QFETCH(int, byte);
        QCOMPARE(int(forceByte(percent)), byte);
        ProductConfig config = startUpConfig();
        config.pos1PushTorque = percent;
        const QVector<CmpTask> tasks = patchedTemplate(config);
        QCOMPARE(int(quint8(taskFor(tasks, "pos1PushForce").expected[3])), byte);
        // Only the low byte is the force; the high byte stays as shipped.
        QCOMPARE(quint8(taskFor(tasks, "pos1PushForce").expected[2]), quint8(0x02));
    }

    void execTorqueWord_data()
    {
        QTest::addColumn<bool>("forward");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("word");
        QTest::newRow("start values") << false << 500 << 0x83E9;
        QTest::newRow("forward, 1000") << true << 1000 << 0x07D1;
        QTest::newRow("reverse, 0") << false << 0 << 0x8001;
        QTest::newRow("forward, 0") << true << 0 << 0x0001;
    }
    void execTorqueWord()
    {
        QFETCH(bool, forward);
        QFETCH(int, offset);
        QFETCH(int, word);
        ProductConfig config = startUpConfig();
        config.execDirForward = forward;
        config.execOffset = offset;
        QCOMPARE(int(wordOf(patchedTemplate(config), "execTq")), word);
    }

    void torqueModeWordPutsModeHighAndForceLow()
    {
        ProductConfig config = startUpConfig();
        config.tqMode = 2;
        config.tqForce = 170;
        QCOMPARE(wordOf(patchedTemplate(config), "tqMode"), quint16(0x02AA));
        config.tqMode = 0;
        config.tqForce = 34;
        QCOMPARE(wordOf(patchedTemplate(config), "tqMode"), quint16(0x0022));
    }

    void thresholdSteps_data()
    {
        QTest::addColumn<double>("mm");
        QTest::addColumn<double>("lead");
        QTest::addColumn<int>("steps");
        QTest::newRow("0.05 mm at 10 mm") << 0.05 << 10.0 << 1;
        QTest::newRow("0.125 mm at 1 mm") << 0.125 << 1.0 << 25;
        QTest::newRow("0.13 mm at 1 mm") << 0.13 << 1.0 << 26;
        QTest::newRow("half a step rounds up") << 0.0025 << 1.0 << 1;
        QTest::newRow("0.35 mm at 1.5 mm") << 0.35 << 1.5 << 47;
        QTest::newRow("5 mm at 1 mm") << 5.0 << 1.0 << 1000;
        QTest::newRow("no lead counts as 1 mm") << 0.1 << 0.0 << 20;
    }
    void thresholdSteps()
    {
        QFETCH(double, mm);
        QFETCH(double, lead);
        QFETCH(int, steps);
        QCOMPARE(int(::thresholdSteps(mm, lead)), steps);
    }

    void formChoicesLandInTheirRows()
    {
        ProductConfig config = startUpConfig();
        config.familyCode = 5;
        config.size = 32;
        config.ratedCurrent = 180;
        config.motorDirCcw = true;
        config.accel = 123;
        config.decel = 456;
        config.pos0 = 1500;
        config.pos1Accel = 7;
        config.pos1Decel = 8;
        config.pos1Speed = 300000;
        config.pos1Pos = 1000000;
        config.pos0PushEnable = true;
        config.pos1PushEnable = true;
        config.ppr = 100000;
        const QVector<CmpTask> tasks = patchedTemplate(config);
        QCOMPARE(wordOf(tasks, "ecModel"), quint16(5));
        QCOMPARE(wordOf(tasks, "ecSize"), quint16(32));
        QCOMPARE(wordOf(tasks, "current"), quint16(180));
        QCOMPARE(wordOf(tasks, "motorDir"), quint16(1));
        QCOMPARE(wordOf(tasks, "pos0Acc"), quint16(123));
        QCOMPARE(wordOf(tasks, "pos0Dec"), quint16(456));
        QCOMPARE(dwordOf(tasks, "pos0Pls"), 1500u);
        QCOMPARE(wordOf(tasks, "pos1Acc"), quint16(7));
        QCOMPARE(wordOf(tasks, "pos1Dec"), quint16(8));
        QCOMPARE(dwordOf(tasks, "pos1Spd"), 300000u);
        QCOMPARE(taskFor(tasks, "pos1Pls").expected, QByteArray::fromHex("10D04240000F"));
        QCOMPARE(dwordOf(tasks, "ppr"), 100000u);
        QCOMPARE(dwordOf(tasks, "softCcw"), 0u);
        QCOMPARE(quint8(taskFor(tasks, "pos0PushEnable").expected[3]), quint8(0xD0));
        QCOMPARE(quint8(taskFor(tasks, "pos1PushEnable").expected[3]), quint8(0xA8));
    }

    void strokeDefaultsFollowTheStroke()
    {
        ProductConfig config = startUpConfig();
        config.pos0 = 777;
        applyStrokeDefaults(config, 75);
        QCOMPARE(config.stroke, 75);
        QCOMPARE(config.pos0, 0);
        QCOMPARE(config.pos1Pos, 75000);
        const QVector<CmpTask> tasks = patchedTemplate(config);
        QCOMPARE(wordOf(tasks, "ecStroke"), quint16(75));
        QCOMPARE(dwordOf(tasks, "softCw"), 75000u);
    }

    void patchOperationsIgnoreBadIndicesAndShortData()
    {
        QVector<CmpTask> tasks{taskFromLine("0100 0001 02 00"), taskFromLine("0100 0002 04 0011 00"),
                               taskFromLine("0100 0002 04 0011 0022")};
        tasks[2].status = CmpStatus::Mismatch;
        tasks[2].device = QByteArray::fromHex("00110099");
        const QVector<CmpTask> before = tasks;

        setTaskWord(tasks, -1, 0xFFFF);
        setTaskWord(tasks, 3, 0xFFFF);
        setTaskWord(tasks, 0, 0xFFFF);
        setTaskByteChoice(tasks, 0, true, 0xD0, 0xC0);
        setTaskForceByte(tasks, 0, 50);
        setTaskDword(tasks, 1, 0xFFFFFFFF);
        setTaskDword(tasks, 2, 0xFFFFFFFF);
        for (int i = 0; i < tasks.size(); ++i)
            QCOMPARE(tasks[i].expected, before[i].expected);

        setTaskWord(tasks, 2, 0xBEEF);
        QCOMPARE(tasks[2].expected, QByteArray::fromHex("0011BEEF"));
        setTaskByteChoice(tasks, 2, false, 0xA8, 0xA0);
        QCOMPARE(tasks[2].expected, QByteArray::fromHex("0011BEA0"));
        setTaskForceByte(tasks, 2, 70);
        QCOMPARE(tasks[2].expected, QByteArray::fromHex("0011BE77"));
        QCOMPARE(tasks[2].status, CmpStatus::Mismatch);
        QCOMPARE(tasks[2].device, QByteArray::fromHex("00110099"));
    }

    void importedRowsArePatchedByRowIndex()
    {
        // Rows 0 to 2 of the template are current, currentPct and ppr.
        QVector<CmpTask> tasks = parseTaskText(QStringLiteral("0300 0002 04 AAAA BBBB\n"
                                                              "0302 0002 04 CCCC DDDD\n"
                                                              "0304 0003 06 EEEE 1111 2222\n"
                                                              "0307 0001 02 3333\n"));
        ProductConfig config = startUpConfig();
        config.ratedCurrent = 400;
        config.ppr = 0x00012345;
        patchExpectedData(tasks, config);
        QCOMPARE(tasks[0].expected, QByteArray::fromHex("AAAA0190"));
        QCOMPARE(tasks[1].expected, QByteArray::fromHex("CCCC3232"));
        QCOMPARE(tasks[2].expected, QByteArray::fromHex("EEEE23450001"));
        QCOMPARE(tasks[3].expected, QByteArray::fromHex("3333"));
    }

    void familyNames()
    {
        QCOMPARE(familyChoices().size(), 7);
        for (const FamilyChoice &family : familyChoices()) {
            const ActuatorFamily *known = ActuatorCatalogue::findFamilyByName(QLatin1String(family.catalogueName));
            QVERIFY2(known, family.catalogueName);
            QCOMPARE(int(known->code), family.code);
        }
        QCOMPARE(familyNameForCode(5), QStringLiteral("LXFZ"));
        QCOMPARE(familyNameForCode(9), QStringLiteral("LXAZ"));
        QCOMPARE(QLatin1String(familyChoices().at(2).caption), QLatin1String("LXC2(2)"));
    }

    void familyWithoutSize16OffersItsOwnSizes()
    {
        const ActuatorFamily *lxf = ActuatorCatalogue::findFamilyByName(QStringLiteral("LXFZ"));
        QVERIFY(lxf);
        const QVector<int> shown = sizeChoices(*lxf);
        QCOMPARE(shown, (QVector<int>{32, 50, 63, 80}));
        QCOMPARE(chooseSize(16, shown), 32);
        QCOMPARE(chooseSize(63, shown), 63);
        QCOMPARE(chooseSize(40, {}), 40);
        QCOMPARE(sizeChoices(*ActuatorCatalogue::findFamilyByName(QStringLiteral("LXC2Z"))), (QVector<int>{16, 25}));
    }

    void ratedCurrentComesFromTheCatalogue()
    {
        QCOMPARE(ratedCurrentOf(ActuatorCatalogue::findSpec(QStringLiteral("LXFZ"), 80)), 500);
        QCOMPARE(ratedCurrentOf(ActuatorCatalogue::findSpec(QStringLiteral("LXAZ"), 20)), 200);
        QCOMPARE(ratedCurrentOf(ActuatorCatalogue::findSpec(QStringLiteral("LXAZ"), 80)), 100);
    }

    void leadChoices_data()
    {
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("changes");
        QTest::addColumn<QVector<double>>("leads");
        QTest::newRow("LXAZ 16") << "LXAZ" << 16 << true << QVector<double>{1.0};
        QTest::newRow("LXC2Z 25") << "LXC2Z" << 25 << true << QVector<double>{2.0, 8.0};
        QTest::newRow("LXFZ 50") << "LXFZ" << 50 << true << QVector<double>{1.5};
        QTest::newRow("LXGZ 32") << "LXGZ" << 32 << true << QVector<double>{1.0, 2.0};
        QTest::newRow("LXGZ 63") << "LXGZ" << 63 << true << QVector<double>{5.0, 10.0, 20.0};
        QTest::newRow("no catalogue entry leaves the leads") << "LXAZ" << 63 << false << QVector<double>{};
    }
    void leadChoices()
    {
        QFETCH(QString, family);
        QFETCH(int, size);
        QFETCH(bool, changes);
        QFETCH(QVector<double>, leads);
        const std::optional<QVector<double>> shown = ::leadChoices(ActuatorCatalogue::findSpec(family, size));
        QCOMPARE(bool(shown), changes);
        if (shown)
            QCOMPARE(*shown, leads);
    }

    void entryWithoutLeadsLeavesTheLeads()
    {
        ActuatorSpec entry;
        entry.size = 16;
        QVERIFY(!::leadChoices(&entry));
        entry.leads = {3.0};
        QCOMPARE(*::leadChoices(&entry), QVector<double>{});
    }

    void strokeChoices_data()
    {
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("range");
        QTest::addColumn<QVector<int>>("values");
        QTest::newRow("LXAZ 16 buttons") << "LXAZ" << 16 << false << QVector<int>{30, 50, 75, 100};
        QTest::newRow("LXE2Z 25 buttons") << "LXE2Z" << 25 << false << QVector<int>{30, 50};
        QTest::newRow("LXFZ 32 buttons") << "LXFZ" << 32 << false << QVector<int>{20};
        QTest::newRow("LXGZ 32 range") << "LXGZ" << 32 << true << QVector<int>{100, 150, 200, 250, 300, 350, 400};
        QTest::newRow("no catalogue entry hides every button") << "LXAZ" << 40 << false << QVector<int>{};
    }
    void strokeChoices()
    {
        QFETCH(QString, family);
        QFETCH(int, size);
        QFETCH(bool, range);
        QFETCH(QVector<int>, values);
        const StrokeChoices choices = ::strokeChoices(ActuatorCatalogue::findSpec(family, size));
        QCOMPARE(choices.range, range);
        QCOMPARE(choices.values, values);
    }

    void malformedRangeOffersNoStrokes()
    {
        ActuatorSpec entry;
        entry.strokeIsRange = true;
        entry.strokeMin = 100;
        entry.strokeMax = 400;
        entry.strokeStep = 0;
        QVERIFY(::strokeChoices(&entry).range);
        QVERIFY(::strokeChoices(&entry).values.isEmpty());
        entry.strokeStep = 50;
        entry.strokeMax = 50;
        QVERIFY(::strokeChoices(&entry).values.isEmpty());
        entry.strokeMax = 180;
        QCOMPARE(::strokeChoices(&entry).values, (QVector<int>{100, 150}));
    }

    void rangeSelectionKeepsTheRememberedStroke()
    {
        const QVector<int> items{100, 150, 200, 250};
        QCOMPARE(rangeStrokeIndex(items, 200), 2);
        QCOMPARE(rangeStrokeIndex(items, 175), 0);
        QCOMPARE(rangeStrokeIndex({100, 200, 200}, 200), 2);
        QCOMPARE(rangeStrokeIndex({}, 200), 0);
    }

    void jogSpeedLimit_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("size");
        QTest::addColumn<double>("lead");
        QTest::addColumn<int>("limit");
        QTest::newRow("offline 1 mm") << false << "LXGZ" << 40 << 1.0 << 8;
        QTest::newRow("offline 2 mm") << false << "LXGZ" << 40 << 2.0 << 15;
        QTest::newRow("connected, no family") << true << "" << 16 << 1.0 << 8;
        QTest::newRow("connected LXGZ 40") << true << "LXGZ" << 40 << 10.0 << 50;
        QTest::newRow("connected LXAZ 16") << true << "LXAZ" << 16 << 1.0 << 10;
        QTest::newRow("connected, no catalogue entry") << true << "LXAZ" << 80 << 1.0 << 15;
    }
    void jogSpeedLimit()
    {
        QFETCH(bool, connected);
        QFETCH(QString, family);
        QFETCH(int, size);
        QFETCH(double, lead);
        QFETCH(int, limit);
        QCOMPARE(::jogSpeedLimit(connected, family, size, lead), limit);
    }

    void listingLineFormat()
    {
        const QVector<CmpTask> tasks = RegisterTemplate::tasks();
        const QStringList lines = registerListing(tasks).split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), tasks.size() + 1);
        QVERIFY(lines.last().isEmpty());
        QCOMPARE(lines[0], QStringLiteral("01 01 2C 00 02 04 00 0D 00 64"));
        QCOMPARE(lines[25], QStringLiteral("01 01 61 00 05 0A 00 00 00 20 00 04 00 20 00 99"));
        QCOMPARE(lines[127], QStringLiteral("01 02 57 00 01 02 30 34"));
        for (int i = 0; i < tasks.size(); ++i)
            QCOMPARE(lines[i], QStringLiteral("01 ") + RegisterTemplate::rows().at(i).line());
    }

    void listingShowsPatchedDataAndTheLinesByteCountField()
    {
        QVector<CmpTask> tasks{taskFromLine("00 10 00 02 07 ab cd")};
        QCOMPARE(registerListing(tasks), QStringLiteral("01 00 10 00 02 07 AB CD\n"));
        tasks = patchedTemplate(startUpConfig());
        QVERIFY(registerListing(tasks).contains(QStringLiteral("\n01 01 3D 00 03 06 10 70 75 30 00 00\n")));
    }

    void listingReimportsOnlyWithoutItsLeadingField()
    {
        const QVector<CmpTask> tasks = patchedTemplate(startUpConfig());
        const QString listing = registerListing(tasks);

        // Read as it is, the "01 " field becomes the address high byte.
        const QVector<CmpTask> shifted = parseTaskText(listing);
        QCOMPARE(shifted.size(), tasks.size());
        QCOMPARE(int(shifted[0].address), 0x0101);
        QCOMPARE(int(shifted[0].wordCount), 0x2C00);
        QCOMPARE(int(shifted[0].byteCount), 0x02);

        QStringList stripped;
        for (const QString &line : listing.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            QVERIFY(line.startsWith(QLatin1String("01 ")));
            stripped << line.mid(3);
        }
        const QVector<CmpTask> again = parseTaskText(stripped.join(QLatin1Char('\n')));
        QCOMPARE(again.size(), tasks.size());
        for (int i = 0; i < tasks.size(); ++i) {
            QCOMPARE(again[i].rowIndex, i);
            QCOMPARE(again[i].address, tasks[i].address);
            QCOMPARE(again[i].wordCount, tasks[i].wordCount);
            QCOMPARE(again[i].byteCount, tasks[i].byteCount);
            QCOMPARE(again[i].expected, tasks[i].expected);
        }
    }

    void savedListingHoldsTheListing()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("modbus_params.txt"));
        const QVector<CmpTask> tasks = patchedTemplate(startUpConfig());
        QString error;
        QVERIFY(saveRegisterListing(path, tasks, &error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        QCOMPARE(QString::fromLatin1(file.readAll()), registerListing(tasks));
    }

    void unwritableListingReportsAndLeavesNoFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("missing/modbus_params.txt"));
        QString error;
        QVERIFY(!saveRegisterListing(path, RegisterTemplate::tasks(), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_GUILESS_MAIN(ProductConfigTest)
#include "tst_productconfig.moc"
