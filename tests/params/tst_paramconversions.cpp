#include "paramconversions.h"

#include <QSet>
#include <QtTest>

using namespace ParamConv;

class TestParamConversions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundHalfUp_roundsHalvesTowardPositiveInfinity_data();
    void roundHalfUp_roundsHalvesTowardPositiveInfinity();
    void position_convertsToSignedCountsAndTwoWords_data();
    void position_convertsToSignedCountsAndTwoWords();
    void speedToRaw_scalesByLead_data();
    void speedToRaw_scalesByLead();
    void rawToSpeed_scalesByLead_data();
    void rawToSpeed_scalesByLead();
    void errorThreshold_roundsUpToWholeSteps_data();
    void errorThreshold_roundsUpToWholeSteps();
    void torqueCode_clampsPercentIntoKeyRange_data();
    void torqueCode_clampsPercentIntoKeyRange();
    void torquePercent_readsLowByteAndClamps_data();
    void torquePercent_readsLowByteAndClamps();
    void mergeTorqueByte_keepsDriveHighByte();
    void smoothConst_convertsMsToFilterConstant_data();
    void smoothConst_convertsMsToFilterConstant();
    void smoothMsFromConst_convertsFilterConstantToMs_data();
    void smoothMsFromConst_convertsFilterConstantToMs();
    void rawFromDecimal_followsKeyClass_data();
    void rawFromDecimal_followsKeyClass();
    void rawFromDecimal_refusesValuesItCannotConvert_data();
    void rawFromDecimal_refusesValuesItCannotConvert();
    void rawFromInteger_followsKey_data();
    void rawFromInteger_followsKey();
    void decimalFromRaw_followsKeyClass_data();
    void decimalFromRaw_followsKeyClass();
    void join32_readsLowWordFirst();
    void labelOf_givesLanguageColumnOrKey_data();
    void labelOf_givesLanguageColumnOrKey();
    void definitionTable_agreesWithKeyRules();
    void definitionTable_hasDistinctRegistersAndLabels();
};

void TestParamConversions::roundHalfUp_roundsHalvesTowardPositiveInfinity_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("positive half") << 2.5 << qint64(3);
    QTest::newRow("negative half") << -2.5 << qint64(-2);
    QTest::newRow("minus one and a half") << -1.5 << qint64(-1);
    QTest::newRow("minus a half") << -0.5 << qint64(0);
    QTest::newRow("just below minus a half") << -0.6 << qint64(-1);
    QTest::newRow("just above minus a half") << -0.4 << qint64(0);
    QTest::newRow("below positive half") << 1.49 << qint64(1);
    QTest::newRow("negative whole") << -1500.0 << qint64(-1500);
    QTest::newRow("negative whole small") << -2.0 << qint64(-2);
    QTest::newRow("zero") << 0.0 << qint64(0);
}

void TestParamConversions::roundHalfUp_roundsHalvesTowardPositiveInfinity()
{
    QFETCH(double, x);
    QFETCH(qint64, expected);
    QCOMPARE(roundHalfUp(x), expected);
}

void TestParamConversions::position_convertsToSignedCountsAndTwoWords_data()
{
    QTest::addColumn<double>("mm");
    QTest::addColumn<quint16>("low");
    QTest::addColumn<quint16>("high");
    QTest::addColumn<QString>("shown");
    QTest::newRow("negative position") << -1.5 << quint16(0xFA24) << quint16(0xFFFF) << "-1.50";
    QTest::newRow("one count below zero") << -0.001 << quint16(0xFFFF) << quint16(0xFFFF) << "-0.00";
    QTest::newRow("zero") << 0.0 << quint16(0) << quint16(0) << "0.00";
    QTest::newRow("beyond one word") << 100.0 << quint16(0x86A0) << quint16(0x0001) << "100.00";
    QTest::newRow("decimal noise rounds to the count") << 1.005 << quint16(1005) << quint16(0) << "1.00";
}

void TestParamConversions::position_convertsToSignedCountsAndTwoWords()
{
    QFETCH(double, mm);
    QFETCH(quint16, low);
    QFETCH(quint16, high);
    QFETCH(QString, shown);
    quint32 raw = 0;
    QVERIFY(rawFromDecimal(QStringLiteral("pos0Pos"), mm, 10.0, &raw));
    QCOMPARE(split32(raw), (QVector<quint16>{low, high}));
    const double back = decimalFromRaw(QStringLiteral("pos0Pos"), join32(low, high), 10.0);
    QCOMPARE(back, positionToRaw(mm) / 1000.0);
    QCOMPARE(QString::number(back, 'f', 2), shown);
}

void TestParamConversions::speedToRaw_scalesByLead_data()
{
    QTest::addColumn<double>("mmPerS");
    QTest::addColumn<double>("lead");
    QTest::addColumn<qint64>("raw");
    QTest::newRow("100 mm/s at 10 mm") << 100.0 << 10.0 << qint64(60000);
    QTest::newRow("100 mm/s at 5 mm needs the high word") << 100.0 << 5.0 << qint64(120000);
    QTest::newRow("12.34 mm/s at 2 mm") << 12.34 << 2.0 << qint64(37020);
}

void TestParamConversions::speedToRaw_scalesByLead()
{
    QFETCH(double, mmPerS);
    QFETCH(double, lead);
    QFETCH(qint64, raw);
    QCOMPARE(speedToRaw(mmPerS, lead), raw);
}

void TestParamConversions::rawToSpeed_scalesByLead_data()
{
    QTest::addColumn<quint32>("raw");
    QTest::addColumn<double>("lead");
    QTest::addColumn<QString>("shown");
    QTest::newRow("60000 at 5 mm") << quint32(60000) << 5.0 << "50.00";
    QTest::newRow("60000 at 10 mm") << quint32(60000) << 10.0 << "100.00";
    QTest::newRow("120000 at 2.5 mm") << quint32(120000) << 2.5 << "50.00";
}

void TestParamConversions::rawToSpeed_scalesByLead()
{
    QFETCH(quint32, raw);
    QFETCH(double, lead);
    QFETCH(QString, shown);
    QCOMPARE(QString::number(decimalFromRaw(QStringLiteral("pos1Speed"), raw, lead), 'f', 2), shown);
}

void TestParamConversions::errorThreshold_roundsUpToWholeSteps_data()
{
    QTest::addColumn<double>("mm");
    QTest::addColumn<double>("lead");
    QTest::addColumn<quint32>("steps");
    QTest::addColumn<QString>("shownBack");
    QTest::newRow("0.26 mm at 10 mm rounds up") << 0.26 << 10.0 << quint32(6) << "0.30";
    QTest::newRow("whole steps stay") << 0.25 << 10.0 << quint32(5) << "0.25";
    QTest::newRow("tiny value is one step") << 0.001 << 10.0 << quint32(1) << "0.05";
    // 0.07 * 200 is 14.000000000000002 in binary; it is still exactly 14 steps.
    QTest::newRow("binary noise does not add a step") << 0.07 << 1.0 << quint32(14) << "0.07";
    QTest::newRow("value just below a step") << 0.29 << 1.0 << quint32(58) << "0.29";
}

void TestParamConversions::errorThreshold_roundsUpToWholeSteps()
{
    QFETCH(double, mm);
    QFETCH(double, lead);
    QFETCH(quint32, steps);
    QFETCH(QString, shownBack);
    quint32 raw = 0;
    QVERIFY(rawFromDecimal(QStringLiteral("dynErr"), mm, lead, &raw));
    QCOMPARE(raw, steps);
    QCOMPARE(QString::number(decimalFromRaw(QStringLiteral("dynErr"), raw, lead), 'f', 2), shownBack);
}

void TestParamConversions::torqueCode_clampsPercentIntoKeyRange_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("percent");
    QTest::addColumn<quint16>("code");
    QTest::newRow("home above range") << "homeTorque" << 95 << quint16(153);
    QTest::newRow("home in range") << "homeTorque" << 50 << quint16(85);
    QTest::newRow("home below range") << "homeTorque" << 10 << quint16(34);
    QTest::newRow("push above range") << "pos0PushTorque" << 80 << quint16(119);
    QTest::newRow("push below range") << "pos1PushTorque" << 25 << quint16(51);
    QTest::newRow("push rounds half up") << "pos1PushTorque" << 45 << quint16(77);  // 76.5
}

void TestParamConversions::torqueCode_clampsPercentIntoKeyRange()
{
    QFETCH(QString, key);
    QFETCH(int, percent);
    QFETCH(quint16, code);
    QCOMPARE(torqueCode(key, percent), code);
    QCOMPARE(rawFromInteger(key, percent), quint32(code));
}

void TestParamConversions::torquePercent_readsLowByteAndClamps_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<quint32>("raw");
    QTest::addColumn<int>("percent");
    QTest::newRow("home zero is the minimum") << "homeTorque" << quint32(0) << 20;
    QTest::newRow("home maximum code") << "homeTorque" << quint32(153) << 90;
    QTest::newRow("home full byte clamps") << "homeTorque" << quint32(255) << 90;
    QTest::newRow("home ignores the high byte") << "homeTorque" << quint32(0x1A55) << 50;
    QTest::newRow("push zero is the minimum") << "pos1PushTorque" << quint32(0) << 30;
    QTest::newRow("push in range") << "pos0PushTorque" << quint32(85) << 50;
}

void TestParamConversions::torquePercent_readsLowByteAndClamps()
{
    QFETCH(QString, key);
    QFETCH(quint32, raw);
    QFETCH(int, percent);
    QCOMPARE(integerFromRaw(key, raw), percent);
}

void TestParamConversions::mergeTorqueByte_keepsDriveHighByte()
{
    QCOMPARE(mergeTorqueByte(0x1A2B, 85), quint16(0x1A55));
    QCOMPARE(mergeTorqueByte(0xFF00, 0x1234), quint16(0xFF34));
}

void TestParamConversions::smoothConst_convertsMsToFilterConstant_data()
{
    QTest::addColumn<int>("ms");
    QTest::addColumn<int>("constant");
    QTest::newRow("zero") << 0 << 1000;
    QTest::newRow("negative") << -5 << 1000;
    QTest::newRow("one ms") << 1 << 1000;
    QTest::newRow("40 ms") << 40 << 25;
    QTest::newRow("7 ms rounds") << 7 << 143;
    QTest::newRow("1000 ms") << 1000 << 1;
    QTest::newRow("above 1000 ms") << 1001 << 1;
}

void TestParamConversions::smoothConst_convertsMsToFilterConstant()
{
    QFETCH(int, ms);
    QFETCH(int, constant);
    QCOMPARE(smoothConst(ms), constant);
    QCOMPARE(rawFromInteger(QStringLiteral("smoothMs"), ms), quint32(constant));
}

void TestParamConversions::smoothMsFromConst_convertsFilterConstantToMs_data()
{
    QTest::addColumn<quint32>("raw");
    QTest::addColumn<int>("ms");
    QTest::newRow("zero means the slowest") << quint32(0) << 1000;
    QTest::newRow("25") << quint32(25) << 40;
    QTest::newRow("1000") << quint32(1000) << 1;
    QTest::newRow("above 1000") << quint32(5000) << 1;
    QTest::newRow("3 rounds") << quint32(3) << 333;
    QTest::newRow("only the low word counts") << quint32(0x10019) << 40;
}

void TestParamConversions::smoothMsFromConst_convertsFilterConstantToMs()
{
    QFETCH(quint32, raw);
    QFETCH(int, ms);
    QCOMPARE(integerFromRaw(QStringLiteral("smoothMs"), raw), ms);
}

void TestParamConversions::rawFromDecimal_followsKeyClass_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("lead");
    QTest::addColumn<quint32>("raw");
    QTest::newRow("soft limit is a position") << "softLimitCW" << 48.5 << 10.0 << quint32(48500);
    QTest::newRow("negative soft limit") << "softLimitCCW" << -0.5 << 10.0 << quint32(0xFFFFFE0C);
    QTest::newRow("speed") << "pos0Speed" << 100.0 << 10.0 << quint32(60000);
    QTest::newRow("position warning is in steps") << "posWarn" << 0.26 << 10.0 << quint32(6);
    QTest::newRow("lower-case pos is not a position") << "pos0PushTorque" << 12.0 << 10.0 << quint32(0);
}

void TestParamConversions::rawFromDecimal_followsKeyClass()
{
    QFETCH(QString, key);
    QFETCH(double, value);
    QFETCH(double, lead);
    QFETCH(quint32, raw);
    quint32 converted = 12345;
    QVERIFY(rawFromDecimal(key, value, lead, &converted));
    QCOMPARE(converted, raw);
}

void TestParamConversions::rawFromDecimal_refusesValuesItCannotConvert_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("lead");
    QTest::newRow("speed at lead 0") << "pos0Speed" << 10.0 << 0.0;
    QTest::newRow("threshold at negative lead") << "staErr" << 0.5 << -2.0;
    QTest::newRow("position beyond 32 bits") << "pos1Pos" << 1.0e10 << 10.0;
    QTest::newRow("not a number") << "pos1Pos" << qQNaN() << 10.0;
}

void TestParamConversions::rawFromDecimal_refusesValuesItCannotConvert()
{
    QFETCH(QString, key);
    QFETCH(double, value);
    QFETCH(double, lead);
    quint32 raw = 0;
    QVERIFY(!rawFromDecimal(key, value, lead, &raw));
}

void TestParamConversions::rawFromInteger_followsKey_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("value");
    QTest::addColumn<quint32>("raw");
    QTest::newRow("time is in ms") << "pos0Accel" << 250 << quint32(250);
    QTest::newRow("smoothing becomes a constant") << "smoothMs" << 40 << quint32(25);
    QTest::newRow("torque becomes a code") << "homeTorque" << 50 << quint32(85);
}

void TestParamConversions::rawFromInteger_followsKey()
{
    QFETCH(QString, key);
    QFETCH(int, value);
    QFETCH(quint32, raw);
    QCOMPARE(rawFromInteger(key, value), raw);
}

void TestParamConversions::decimalFromRaw_followsKeyClass_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<quint32>("raw");
    QTest::addColumn<double>("lead");
    QTest::addColumn<double>("value");
    QTest::newRow("negative soft limit") << "softLimitCCW" << quint32(0xFFFFFA24) << 10.0 << -1.5;
    QTest::newRow("threshold steps at 10 mm") << "staErr" << quint32(6) << 10.0 << 0.3;
    QTest::newRow("threshold steps at 2 mm") << "posWarn" << quint32(15) << 2.0 << 0.15;
    QTest::newRow("unknown class shows raw") << "pos0PushTorque" << quint32(42) << 10.0 << 42.0;
}

void TestParamConversions::decimalFromRaw_followsKeyClass()
{
    QFETCH(QString, key);
    QFETCH(quint32, raw);
    QFETCH(double, lead);
    QFETCH(double, value);
    QCOMPARE(decimalFromRaw(key, raw, lead), value);
}

void TestParamConversions::join32_readsLowWordFirst()
{
    QCOMPARE(join32(0xEA60, 0x0000), quint32(60000));
    QCOMPARE(join32(0xD4C0, 0x0001), quint32(120000));
    QCOMPARE(split32(120000), (QVector<quint16>{0xD4C0, 0x0001}));
}

void TestParamConversions::labelOf_givesLanguageColumnOrKey_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("label");
    QTest::newRow("zh") << "pos1PushTorque" << "zh" << "位置 2 推壓扭力";
    QTest::newRow("en") << "pos1PushTorque" << "en" << "Pos2 Push Torque";
    QTest::newRow("other language is English") << "smoothMs" << "ZH" << "Smooth Time";
    QTest::newRow("smoothing zh") << "smoothMs" << "zh" << "指令平滑時間";
    QTest::newRow("current limit") << "runCurrent" << "zh" << "運轉下限電流";
    QTest::newRow("unknown key") << "noSuchKey" << "zh" << "noSuchKey";
}

void TestParamConversions::labelOf_givesLanguageColumnOrKey()
{
    QFETCH(QString, key);
    QFETCH(QString, lang);
    QFETCH(QString, label);
    QCOMPARE(labelOf(key, lang), label);
}

void TestParamConversions::definitionTable_agreesWithKeyRules()
{
    for (const ParamDefinition &d : paramDefinitions()) {
        const DecimalClass cls = decimalClassOf(d.key);
        switch (d.unit) {
        case ParamUnit::Position:
            QVERIFY2(cls == DecimalClass::Position && d.words == 2, qPrintable(d.key));
            break;
        case ParamUnit::Speed:
            QVERIFY2(cls == DecimalClass::Speed && d.words == 2, qPrintable(d.key));
            break;
        case ParamUnit::ErrorSteps:
            QVERIFY2(cls == DecimalClass::ErrorSteps && d.words == 1, qPrintable(d.key));
            break;
        case ParamUnit::Torque:
        case ParamUnit::Smoothing:
        case ParamUnit::Plain:
            QVERIFY2(cls == DecimalClass::None && d.words == 1, qPrintable(d.key));
            break;
        }
        QCOMPARE(findParamDefinition(d.key), &d);
    }
    QCOMPARE(findParamDefinition(QStringLiteral("pos0PushMode")), nullptr);
    QCOMPARE(paramDefinitions().size(), 17);
    QCOMPARE(paramDefinitions().last().key, QStringLiteral("smoothMs"));
}

void TestParamConversions::definitionTable_hasDistinctRegistersAndLabels()
{
    QSet<quint16> registers;
    for (const ParamDefinition &d : paramDefinitions()) {
        for (int w = 0; w < d.words; ++w)
            QVERIFY2(!registers.contains(d.address + w), qPrintable(d.key));
        for (int w = 0; w < d.words; ++w)
            registers.insert(d.address + w);
        QVERIFY2(labelOf(d.key, QStringLiteral("en")) != d.key, qPrintable(d.key));
        QVERIFY2(!d.titleZh.isEmpty() && !d.titleEn.isEmpty(), qPrintable(d.key));
    }
}

QTEST_APPLESS_MAIN(TestParamConversions)
#include "tst_paramconversions.moc"
