#include "manualmotion.h"

#include <QtTest>

#include <limits>

// The numbers behind manual motion and the live display, without a window.
class ManualMotionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void jogSpeedValueIsHundredthsOfRpmAtTheLead_data();
    void jogSpeedValueIsHundredthsOfRpmAtTheLead();
    void nudgeSpeedIsFiveMillimetresPerSecond_data();
    void nudgeSpeedIsFiveMillimetresPerSecond();
    void nudgeDistanceIsSignedMicrometres_data();
    void nudgeDistanceIsSignedMicrometres();
    void nearestNudgeStepPrefersTheLowerIndex_data();
    void nearestNudgeStepPrefersTheLowerIndex();
    void twoDecimalsNeverShowMinusZero_data();
    void twoDecimalsNeverShowMinusZero();
    void jogSpeedLimitComesFromTheCatalogue_data();
    void jogSpeedLimitComesFromTheCatalogue();
    void leadMustBePositiveToConvert_data();
    void leadMustBePositiveToConvert();
};

void ManualMotionTest::jogSpeedValueIsHundredthsOfRpmAtTheLead_data()
{
    QTest::addColumn<double>("mmPerS");
    QTest::addColumn<double>("lead");
    QTest::addColumn<quint32>("value");

    QTest::newRow("10 mm/s at lead 5") << 10.0 << 5.0 << quint32(12000);
    QTest::newRow("fraction cut off") << 10.9 << 5.0 << quint32(12000);
    QTest::newRow("below 1 mm/s counts as 1") << 0.4 << 1.0 << quint32(6000);
    QTest::newRow("LXGZ limit at lead 20") << 50.0 << 20.0 << quint32(15000);
    QTest::newRow("lead in tenths") << 15.0 << 1.5 << quint32(60000);
    QTest::newRow("rounded half up") << 1.0 << 16.0 << quint32(375);
    QTest::newRow("never 0") << 1.0 << 6553.5 << quint32(1);
}

void ManualMotionTest::jogSpeedValueIsHundredthsOfRpmAtTheLead()
{
    QFETCH(double, mmPerS);
    QFETCH(double, lead);
    QFETCH(quint32, value);
    QCOMPARE(ManualMotion::jogSpeedValue(mmPerS, lead), value);
}

void ManualMotionTest::nudgeSpeedIsFiveMillimetresPerSecond_data()
{
    QTest::addColumn<double>("lead");
    QTest::addColumn<quint32>("value");

    QTest::newRow("lead 5") << 5.0 << quint32(6000);
    QTest::newRow("lead 1") << 1.0 << quint32(30000);
    QTest::newRow("lead 1.5") << 1.5 << quint32(20000);
    QTest::newRow("lead 20") << 20.0 << quint32(1500);
}

void ManualMotionTest::nudgeSpeedIsFiveMillimetresPerSecond()
{
    QFETCH(double, lead);
    QFETCH(quint32, value);
    QCOMPARE(ManualMotion::nudgeSpeedValue(lead), value);
}

void ManualMotionTest::nudgeDistanceIsSignedMicrometres_data()
{
    QTest::addColumn<double>("stepMm");
    QTest::addColumn<bool>("forward");
    QTest::addColumn<qint32>("distance");

    QTest::newRow("0.1 forward") << 0.1 << true << 100;
    QTest::newRow("0.1 backward") << 0.1 << false << -100;
    QTest::newRow("smallest step") << 0.01 << true << 10;
    QTest::newRow("largest step backward") << 5.0 << false << -5000;
    QTest::newRow("typed 0.75") << 0.75 << true << 750;
    QTest::newRow("forward at least 1") << 0.0 << true << 1;
    QTest::newRow("backward zero stays zero") << 0.0 << false << 0;
}

void ManualMotionTest::nudgeDistanceIsSignedMicrometres()
{
    QFETCH(double, stepMm);
    QFETCH(bool, forward);
    QFETCH(qint32, distance);
    QCOMPARE(ManualMotion::nudgeDistance(stepMm, forward), distance);
}

void ManualMotionTest::nearestNudgeStepPrefersTheLowerIndex_data()
{
    QTest::addColumn<double>("mm");
    QTest::addColumn<int>("index");

    QTest::newRow("exact 0.01") << 0.01 << 0;
    QTest::newRow("exact 0.1") << 0.1 << 2;
    QTest::newRow("0.75 between 0.5 and 1.0") << 0.75 << 3;
    QTest::newRow("3 nearer 1.0") << 3.0 << 4;
    QTest::newRow("3.5 nearer 5.0") << 3.5 << 5;
    QTest::newRow("beyond the list") << 100.0 << 5;
    QTest::newRow("below the list") << 0.0 << 0;
}

void ManualMotionTest::nearestNudgeStepPrefersTheLowerIndex()
{
    QFETCH(double, mm);
    QFETCH(int, index);
    QCOMPARE(ManualMotion::nearestNudgeStep(mm), index);
}

void ManualMotionTest::twoDecimalsNeverShowMinusZero_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("-0.004") << -0.004 << "0.00";
    QTest::newRow("0.004") << 0.004 << "0.00";
    QTest::newRow("-0.0049") << -0.0049 << "0.00";
    QTest::newRow("-0.006 is not forced") << -0.006 << "-0.01";
    QTest::newRow("zero") << 0.0 << "0.00";
    QTest::newRow("negative zero") << -0.0 << "0.00";
    QTest::newRow("1.5") << 1.5 << "1.50";
    QTest::newRow("-250.126") << -250.126 << "-250.13";
}

void ManualMotionTest::twoDecimalsNeverShowMinusZero()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(ManualMotion::fixedTwo(value), text);
}

void ManualMotionTest::jogSpeedLimitComesFromTheCatalogue_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("limit");

    QTest::newRow("LXGZ-40") << "LXGZ" << 40 << 50;
    QTest::newRow("LXAZ-16") << "LXAZ" << 16 << 10;
    QTest::newRow("LXAZ-20") << "LXAZ" << 20 << 15;
    QTest::newRow("size not listed") << "LXAZ" << 99 << 15;
    QTest::newRow("no family") << "" << 0 << 15;
}

void ManualMotionTest::jogSpeedLimitComesFromTheCatalogue()
{
    QFETCH(QString, family);
    QFETCH(int, size);
    QFETCH(int, limit);
    QCOMPARE(ManualMotion::jogSpeedLimit(family, size), limit);
}

void ManualMotionTest::leadMustBePositiveToConvert_data()
{
    QTest::addColumn<double>("lead");
    QTest::addColumn<bool>("usable");

    QTest::newRow("unprogrammed drive") << 0.0 << false;
    QTest::newRow("negative") << -1.0 << false;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << false;
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << false;
    QTest::newRow("1 mm") << 1.0 << true;
}

void ManualMotionTest::leadMustBePositiveToConvert()
{
    QFETCH(double, lead);
    QFETCH(bool, usable);
    QCOMPARE(ManualMotion::isUsableLead(lead), usable);
}

QTEST_GUILESS_MAIN(ManualMotionTest)

#include "tst_manualmotion.moc"
