// The catalogue, conversions and motion check against numbers worked out by
// hand, and parameter files: round trips and hostile input.

#include "actuatorcatalogue.h"
#include "motioncheck.h"
#include "paramconversions.h"
#include "paramdiff.h"
#include "paramfile.h"
#include "paramwriterules.h"
#include "testmain.h"

#include <QBuffer>


namespace {

// The drive LXAZ-16L01-50-BC with a value in every key.
ParamFile::Content sampleContent()
{
    ParamFile::Content c;
    c.identity = {"LXAZ", 16, 1.0, 50, "BC", "LXAZ-16L01-50-BC", 0x4103, "V1.2", "H2"};
    const QList<int> integers{300, 250, 400, 350, 60, 40, 50, 20, 40, 80};
    for (int i = 0; i < integers.size(); ++i)
        c.values.insert(ParamFile::integerKeys().at(i), integers[i]);
    const QList<double> decimals{12.5, 0.25, 49.99, 47.13, 0.0, 50.0, 0.13, 0.1, 0.075};
    for (int i = 0; i < decimals.size(); ++i)
        c.values.insert(ParamFile::decimalKeys().at(i), decimals[i]);
    c.pos0PushEnable = true;
    c.exportTime = QDateTime(QDate(2024, 3, 5), QTime(8, 9, 10));
    c.swVersion = "1.0.0";
    return c;
}

MotionCheck::MotionInputs move(double speed, int accelMs, int decelMs, double distance, double lead)
{
    return {"pos1", speed, accelMs, decelMs, 0.0, distance, lead, "en", {}};
}

}  // namespace

Q_DECLARE_METATYPE(MotionCheck::MotionInputs)

class UnitsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void modelCodeFromIdentification_data()
    {
        QTest::addColumn<QVector<quint16>>("ident");  // family, size, raw lead, stroke, direction
        QTest::addColumn<QString>("model");
        QTest::newRow("LXAZ") << QVector<quint16>{0, 16, 1, 50, 0} << "LXAZ-16L01-50-BC";
        QTest::newRow("LXGZ range") << QVector<quint16>{6, 40, 200, 350, 1} << "LXGZ-40L20-350-BA";
        QTest::newRow("no option in model") << QVector<quint16>{2, 25, 8, 75, 1} << "LXC2Z-25L08-75";
        QTest::newRow("no lead in model") << QVector<quint16>{5, 32, 15, 20, 1} << "LXFZ-32-20";
        QTest::newRow("stroke off the step") << QVector<quint16>{6, 40, 200, 375, 1} << "";
        QTest::newRow("direction not offered") << QVector<quint16>{2, 25, 8, 75, 0} << "";
        QTest::newRow("lead not offered") << QVector<quint16>{0, 16, 2, 50, 0} << "";
        QTest::newRow("unknown family") << QVector<quint16>{7, 25, 5, 100, 0} << "";
    }
    void modelCodeFromIdentification()
    {
        QFETCH(QVector<quint16>, ident);
        QFETCH(QString, model);
        QCOMPARE(ActuatorCatalogue::buildModelCode(ident.mid(0, 4), ident.mid(4)), model);
        QCOMPARE(ActuatorCatalogue::buildModelCode(ident.mid(0, 3), ident.mid(4)), QString());
    }

    void catalogueTexts()
    {
        QCOMPARE(ActuatorCatalogue::leadFromRaw(25), 2.5);
        QCOMPARE(ActuatorCatalogue::leadText(2.5), QString("2.5"));
        QCOMPARE(ActuatorCatalogue::registerText({0x3156, 0x322E, 0x0030}), QString("V1.20"));
        QCOMPARE(ActuatorCatalogue::logicVersionText(0x4103), QString("A3"));
        QCOMPARE(ActuatorCatalogue::findSpec("LXGZ", 32)->strokeChoices(), (QVector<int>{100, 150, 200, 250, 300, 350, 400}));
        QVERIFY(!ActuatorCatalogue::findSpec("LXGZ", 32)->allowsStroke(125));
    }

    // Raw values worked out by hand: 0.001 mm counts, 0.01 rpm of the screw
    // (mm/s / lead x 6000), 200 steps a revolution rounded up, 1000 / ms,
    // 1.7 torque code a percent (the range held first).
    void conversionsBothWays_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("lead");
        QTest::addColumn<quint32>("raw");
        QTest::addColumn<double>("back");
        QTest::newRow("position") << "pos0Pos" << 12.345 << 10.0 << 12345u << 12.345;
        QTest::newRow("negative limit") << "softLimitCCW" << -1.0 << 10.0 << 0xFFFFFC18u << -1.0;
        QTest::newRow("position high word") << "pos1Pos" << 100.0 << 1.0 << 100000u << 100.0;
        QTest::newRow("speed") << "pos0Speed" << 100.0 << 10.0 << 60000u << 100.0;
        QTest::newRow("speed high word") << "pos1Speed" << 100.0 << 5.0 << 120000u << 100.0;
        QTest::newRow("speed fraction") << "pos0Speed" << 12.34 << 2.0 << 37020u << 12.34;
        QTest::newRow("speed to nearest") << "pos0Speed" << 1.2345 << 10.0 << 741u << 1.235;  // 740.7
        QTest::newRow("threshold") << "dynErr" << 0.125 << 1.0 << 25u << 0.125;
        QTest::newRow("threshold up") << "staErr" << 0.626 << 5.0 << 26u << 0.65;
        QTest::newRow("whole steps stay") << "posWarn" << 0.075 << 1.0 << 15u << 0.075;
        QTest::newRow("smoothing") << "smoothMs" << 10.0 << 1.0 << 100u << 10.0;
        QTest::newRow("smoothing rounded") << "smoothMs" << 30.0 << 1.0 << 33u << 30.0;
        QTest::newRow("torque") << "homeTorque" << 50.0 << 1.0 << 85u << 50.0;
        QTest::newRow("torque held to 20") << "homeTorque" << 10.0 << 1.0 << 34u << 20.0;
        QTest::newRow("push held to 70") << "pos0PushTorque" << 80.0 << 1.0 << 119u << 70.0;
        QTest::newRow("ramp") << "pos1Accel" << 300.0 << 1.0 << 300u << 300.0;
    }
    void conversionsBothWays()
    {
        QFETCH(QString, key);
        QFETCH(double, value);
        QFETCH(double, lead);
        QFETCH(quint32, raw);
        QFETCH(double, back);
        using namespace ParamConv;
        if (decimalClassOf(key) == DecimalClass::None) {
            QCOMPARE(rawFromInteger(key, int(value)), raw);
            QCOMPARE(integerFromRaw(key, raw), int(back));
            return;
        }
        quint32 converted = 0;
        QVERIFY(rawFromDecimal(key, value, lead, &converted));
        QCOMPARE(converted, raw);
        QCOMPARE(split32(raw), (QVector<quint16>{quint16(raw & 0xFFFF), quint16(raw >> 16)}));
        QVERIFY(qAbs(decimalFromRaw(key, raw, lead) - back) < 1e-9);
    }

    void unconvertibleValuesAreRefused()
    {
        quint32 raw = 0;
        QVERIFY(!ParamConv::rawFromDecimal("pos0Speed", 10.0, 0.0, &raw));
        QVERIFY(!ParamConv::rawFromDecimal("dynErr", 0.1, -1.0, &raw));
        QVERIFY(!ParamConv::rawFromDecimal("pos0Pos", 5e6, 1.0, &raw));
        QCOMPARE(ParamConv::integerFromRaw("homeTorque", 0x1255), 50);  // the high byte is another setting's
        QCOMPARE(ParamConv::mergeTorqueByte(0x1200, 0x0055), quint16(0x1255));
    }

    // Stroke 50 mm. cw < 0: no CW row, the stroke stands for it. rule: a
    // word of the message of the rule that must stop the write, empty when none may.
    void writeRulesKeepPositionsInsideTheLimitsAndThresholdsInOrder_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVector<double>>("v");  // pos0, pos1, CCW, CW, dyn, sta, warn
        QTest::addColumn<QString>("rule");
        const QVector<double> ok{10, 20, 0, 50, 0.2, 0.1, 0.075};
        const auto with = [&ok](int i, double value) { QVector<double> v = ok; v[i] = value; return v; };
        QTest::newRow("inside") << "pos0Pos" << ok << "";
        QTest::newRow("on both limits") << "pos1Pos" << QVector<double>{0, 50, 0, 50, 0.2, 0.1, 0.075} << "";
        QTest::newRow("below CCW") << "pos0Pos" << with(2, 10.5) << "outside soft limits";
        QTest::newRow("above CW") << "pos1Pos" << with(3, 19.5) << "outside soft limits";
        QTest::newRow("stroke stands for CW") << "pos1Pos" << QVector<double>{10, 50.5, 0, -1, 0.2, 0.1, 0.075}
                                              << "outside soft limits";
        QTest::newRow("order first") << "pos0Pos" << with(0, 20) << "must exceed";
        QTest::newRow("CCW above a position") << "softLimitCCW" << with(2, 10.01) << "Soft Limit CCW";
        QTest::newRow("CCW at a position") << "softLimitCCW" << with(2, 10) << "";
        QTest::newRow("CW below a position") << "softLimitCW" << with(3, 19.99) << "Soft Limit CW";
        QTest::newRow("dynamic below static") << "dynErr" << with(4, 0.095) << "DynErr";
        QTest::newRow("dynamic equal static") << "staErr" << with(4, 0.1) << "";
        QTest::newRow("static at warning") << "staErr" << with(5, 0.075) << "StaErr";
        QTest::newRow("warning above static") << "posWarn" << with(6, 0.125) << "StaErr";
        QTest::newRow("other rows free") << "pos0Speed" << with(6, 0.125) << "";
    }
    void writeRulesKeepPositionsInsideTheLimitsAndThresholdsInOrder()
    {
        QFETCH(QString, key);
        QFETCH(QVector<double>, v);
        QFETCH(QString, rule);
        ParamWriteRules::ScreenValues s{true, v[0], v[1], v[2], v[3] >= 0, v[3], v[4], v[5], v[6], 50};
        const QString broken = ParamWriteRules::firstBrokenRule(key, s, "en");
        QVERIFY2(rule.isEmpty() ? broken.isEmpty() : broken.contains(rule), qPrintable(broken));
        QCOMPARE(ParamWriteRules::firstBrokenRule(key, s, "zh").isEmpty(), rule.isEmpty());
    }

    // Trapezoid: ramps of 10 mm each, 80 mm at 100 mm/s. Triangle: peak
    // sqrt(2 x 40 / (2 / 200)) = 89.4427 mm/s, twice 0.4472 s. Lift: 10 kg x
    // (500 + 9806.65) mm/s² = 103.0665 N, torque 0.01 m x 103.0665 / 2 pi.
    void motionCheck_data()
    {
        QTest::addColumn<MotionCheck::MotionInputs>("in");
        QTest::addColumn<int>("status");
        QTest::addColumn<double>("cycle");
        QTest::addColumn<double>("peak");
        QTest::addColumn<double>("lift");
        QTest::newRow("trapezoid") << move(100, 200, 200, 100, 10) << 0 << 1.2 << 100.0 << 0.0;
        QTest::newRow("triangular") << move(100, 500, 500, 40, 10) << 1 << 0.894427 << 89.4427 << 0.0;
        QTest::newRow("too close") << move(100, 200, 200, 9.99, 10) << 4 << 0.0 << 0.0 << 0.0;
        QTest::newRow("too fast") << move(500.01, 200, 200, 100, 10) << 3 << 0.0 << 0.0 << 0.0;
        QTest::newRow("at the limit") << move(500, 2000, 2000, 3000, 10) << 0 << 8.0 << 500.0 << 0.0;
        MotionCheck::MotionInputs vertical = move(100, 200, 200, 100, 10);
        vertical.load = {1, 0, 10.0};
        QTest::newRow("vertical load") << vertical << 0 << 1.2 << 100.0 << 103.0665;
    }
    void motionCheck()
    {
        QFETCH(MotionCheck::MotionInputs, in);
        QFETCH(int, status);
        QFETCH(double, cycle);
        QFETCH(double, peak);
        QFETCH(double, lift);
        const MotionValidationResult r = MotionCheck::checkMotion(in);
        QCOMPARE(r.status, status);
        QVERIFY2(qAbs(r.cycleTime - cycle) < 1e-5 && qAbs(r.peakSpeed - peak) < 1e-4, qPrintable(r.message));
        QVERIFY(qAbs(r.liftForce - lift) < 1e-9);
        if (lift > 0)
            QVERIFY(qAbs(r.motorTorque - 1.030665 / (2 * 3.141592653589793)) < 1e-9);
        QVERIFY(!r.message.isEmpty());
        QCOMPARE(MotionCheck::accelInG(1000, 100), 1.02);  // 10000 / 9806.65 mm/s²
    }

    void exportedFileReadsBackExactly()
    {
        const ParamFile::Content content = sampleContent();
        const ParamFile::Parsed parsed = ParamFile::parse(ParamFile::toFileText(content), "en");
        QVERIFY(parsed.ok);
        const ParamFile::Identity id = ParamFile::identityOf(parsed.root);
        QCOMPARE(QVariantList({id.family, id.size, id.lead, id.stroke, id.direction, id.modelStr, id.logicVersion}),
                 QVariantList({"LXAZ", 16, 1.0, 50, "BC", "LXAZ-16L01-50-BC", 0x4103}));
        QCOMPARE(ParamFile::exportTimeOf(parsed.root), QString("2024-03-05 08:09:10"));
        for (const QString &key : ParamFile::applyOrder()) {
            const bool integer = ParamFile::isIntegerKey(key);
            const ParamFile::Loaded loaded = integer ? ParamFile::loadInteger(parsed.root, key, 0, 1000)
                                                     : ParamFile::loadDecimal(parsed.root, key, -1e6, 1e6);
            QCOMPARE(int(loaded.outcome), int(ParamFile::Loaded::Outcome::Applied));
            QCOMPARE(loaded.value, content.values.value(key));
            QVERIFY(loaded.clampLine.isEmpty());
        }
        QCOMPARE(ParamFile::loadBoolean(parsed.root, "pos0PushEnable").value, 1.0);
        QCOMPARE(ParamFile::loadBoolean(parsed.root, "pos1PushEnable").value, 0.0);
        ParamSnapshot::Snapshot drive;  // the register values the file was made from
        for (auto it = content.values.cbegin(); it != content.values.cend(); ++it) {
            quint32 raw = quint32(it.value());
            QVERIFY(it.key().endsWith("Current") || ParamConv::rawFromNumber(it.key(), it.value(), 1.0, &raw));
            drive.raw.insert(it.key(), raw);
        }
        drive.pos0PushEnable = true;
        const auto range = [](const QString &key) { return ParamDiff::fileRange(key, 1.0, 50); };
        QVERIFY(ParamDiff::compare(parsed.root, drive, 1.0, range).differences().isEmpty());
        QJsonObject changed = parsed.root;
        changed.insert("pos1Pos", 30.0);
        const auto differences = ParamDiff::compare(changed, drive, 1.0, range).differences();
        QCOMPARE(differences.size(), 1);
        QCOMPARE(differences.first().key, QString("pos1Pos"));
    }

    void hostileFilesAreRefusedWithAReason()
    {
        const QByteArray truncated = ParamFile::toFileText(sampleContent()).left(200);
        for (const QByteArray &text : {QByteArray(), QByteArray("pos0Pos=1"), QByteArray("[1, 2]"),
                                       QByteArray(R"({"formatVersion": 2})"), truncated}) {
            for (const char *lang : {"en", "zh"}) {
                const ParamFile::Parsed parsed = ParamFile::parse(text, lang);
                QVERIFY2(!parsed.ok && !parsed.error.isEmpty(), text.constData());
            }
        }
    }

    void wrongTypesAndHugeFilesAreNotLoaded()
    {
        const QJsonObject root{{"pos0Pos", "12"}, {"pos0Accel", 12.6}, {"smoothMs", 5000}, {"pos0PushEnable", 1}};
        QCOMPARE(int(ParamFile::loadDecimal(root, "pos0Pos", 0, 50).outcome), int(ParamFile::Loaded::Outcome::TypeError));
        QCOMPARE(int(ParamFile::loadBoolean(root, "pos0PushEnable").outcome), int(ParamFile::Loaded::Outcome::TypeError));
        QCOMPARE(ParamFile::loadInteger(root, "pos0Accel", 0, 1000).value, 13.0);
        QVERIFY(!ParamFile::loadInteger(root, "smoothMs", 1, 1000).clampLine.isEmpty());
        QByteArray huge(ParamFile::MaxFileBytes + 1, ' ');
        QBuffer buffer(&huge);
        buffer.open(QIODevice::ReadOnly);
        QByteArray text;
        QVERIFY(!ParamFile::readLimited(buffer, &text));
    }

    void compatibilityBlocksOnlyFamilySizeAndStroke()
    {
        const ParamFile::Identity drive = sampleContent().identity;
        QJsonObject file = ParamFile::toJson(sampleContent());
        auto check = [&] { return ParamFile::checkCompatibility(file, drive, "en"); };
        QVERIFY(check().blocking.isEmpty() && check().other.isEmpty());
        file.insert("dir", "BA");
        QCOMPARE(check().blocking.size(), 0);
        QCOMPARE(check().other.size(), 1);
        file.insert("family", "LXGZ");
        file.insert("stroke", 75);
        QCOMPARE(check().blocking.size(), 2);
        file.insert("lead", 0);  // a file that records no lead is not checked
        QVERIFY(check().blocking.isEmpty() && check().other.isEmpty());
    }
};

VEXA_TEST_CLASS(UnitsTest);
#include "tst_units.moc"
