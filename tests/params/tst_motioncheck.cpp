#include "motioncheck.h"

#include <QtTest>

using namespace MotionCheck;

namespace {

MotionInputs inputs(double lead, double pos0, double pos1, double speed, int accelMs, int decelMs,
                    const QString &lang = QStringLiteral("en"))
{
    MotionInputs in;
    in.group = QStringLiteral("pos1");
    in.lead = lead;
    in.pos0 = pos0;
    in.pos1 = pos1;
    in.speed = speed;
    in.accelMs = accelMs;
    in.decelMs = decelMs;
    in.lang = lang;
    return in;
}

}  // namespace

class TestMotionCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void positionsCloserThanOneLead_areRefused_data();
    void positionsCloserThanOneLead_areRefused();
    void positionsOneLeadApart_pass();
    void speedLimit_allowsTheToleranceAndRefusesAbove_data();
    void speedLimit_allowsTheToleranceAndRefusesAbove();
    void distanceRule_comesBeforeSpeedRule();
    void missingSpeedOrRamp_isNotEvaluated_data();
    void missingSpeedOrRamp_isNotEvaluated();
    void trapezoid_givesCycleTimeWithConstantPhase();
    void trapezoid_isReportedInChinese();
    void triangular_givesPeakSpeedAndCycleTime();
    void rampsFillingTheDistanceExactly_countAsTriangular();
    void accelerationAbove03G_appendsWarningLine();
    void accelerationRoundingTo03G_addsNoWarning();
    void verticalLoad_estimatesLiftForceAndTorque();
    void horizontalMounting_leavesLiftForceZero();
    void impactNote_namesParameterAndValues();
    void impactNote_isSilentAtOrBelow03G_data();
    void impactNote_isSilentAtOrBelow03G();
    void constantSpeedNote_namesProfileAndShare_data();
    void constantSpeedNote_namesProfileAndShare();
    void constantSpeedNote_isSilentWithEnoughConstantSpeed();
    void triangularQuestion_showsPeakAndCycleTime();
};

void TestMotionCheck::positionsCloserThanOneLead_areRefused_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<double>("pos0");
    QTest::addColumn<double>("pos1");
    QTest::addColumn<QString>("message");
    QTest::newRow("en") << "en" << 0.0 << 5.0 << "✗ Distance must be ≥ 10.00 mm (current 5.00 mm)";
    QTest::newRow("zh") << "zh" << 0.0 << 5.0 << "✗ 位置間距須 ≥ 10.00 mm（目前 5.00 mm）";
    QTest::newRow("reversed positions use the distance") << "en" << 5.0 << 0.0
                                                         << "✗ Distance must be ≥ 10.00 mm (current 5.00 mm)";
    QTest::newRow("equal positions") << "en" << 20.0 << 20.0 << "✗ Distance must be ≥ 10.00 mm (current 0.00 mm)";
}

void TestMotionCheck::positionsCloserThanOneLead_areRefused()
{
    QFETCH(QString, lang);
    QFETCH(double, pos0);
    QFETCH(double, pos1);
    QFETCH(QString, message);
    const MotionValidationResult r = checkMotion(inputs(10.0, pos0, pos1, 100.0, 100, 100, lang));
    QCOMPARE(r.status, StatusTooClose);
    QCOMPARE(r.message, message);
    QCOMPARE(r.cycleTime, 0.0);
}

void TestMotionCheck::positionsOneLeadApart_pass()
{
    const MotionValidationResult r = checkMotion(inputs(10.0, 0.0, 10.0, 10.0, 100, 100));
    QVERIFY(r.status != StatusTooClose);
}

void TestMotionCheck::speedLimit_allowsTheToleranceAndRefusesAbove_data()
{
    QTest::addColumn<double>("speed");
    QTest::addColumn<bool>("refused");
    QTest::newRow("at the limit") << 500.0 << false;
    QTest::newRow("inside the tolerance") << 500.0009 << false;
    QTest::newRow("above the tolerance") << 500.01 << true;
}

void TestMotionCheck::speedLimit_allowsTheToleranceAndRefusesAbove()
{
    QFETCH(double, speed);
    QFETCH(bool, refused);
    const MotionValidationResult r = checkMotion(inputs(10.0, 0.0, 1000.0, speed, 1000, 1000));
    QCOMPARE(r.status == StatusSpeedTooHigh, refused);
    if (refused) {
        QCOMPARE(r.message, QStringLiteral("✗ Speed 500.01 mm/s > limit 500.00 mm/s"));
        QCOMPARE(checkMotion(inputs(10.0, 0.0, 1000.0, speed, 1000, 1000, QStringLiteral("zh"))).message,
                 QStringLiteral("✗ 速度 500.01 mm/s 超過上限 500.00 mm/s"));
    }
}

void TestMotionCheck::distanceRule_comesBeforeSpeedRule()
{
    const MotionValidationResult r = checkMotion(inputs(10.0, 0.0, 5.0, 9999.0, 100, 100));
    QCOMPARE(r.status, StatusTooClose);
}

void TestMotionCheck::missingSpeedOrRamp_isNotEvaluated_data()
{
    QTest::addColumn<double>("speed");
    QTest::addColumn<int>("accelMs");
    QTest::addColumn<int>("decelMs");
    QTest::newRow("speed 0") << 0.0 << 100 << 100;
    QTest::newRow("acceleration 0 ms") << 100.0 << 0 << 100;
    QTest::newRow("deceleration 0 ms") << 100.0 << 100 << 0;
}

void TestMotionCheck::missingSpeedOrRamp_isNotEvaluated()
{
    QFETCH(double, speed);
    QFETCH(int, accelMs);
    QFETCH(int, decelMs);
    const MotionValidationResult r = checkMotion(inputs(10.0, 0.0, 100.0, speed, accelMs, decelMs));
    QCOMPARE(r.status, StatusOk);
    QCOMPARE(r.message, QStringLiteral("--"));
    QCOMPARE(r.cycleTime, 0.0);
    QVERIFY(!r.triangular);
}

void TestMotionCheck::trapezoid_givesCycleTimeWithConstantPhase()
{
    const MotionValidationResult r = checkMotion(inputs(10.0, 0.0, 100.0, 100.0, 100, 100));
    QCOMPARE(r.status, StatusOk);
    QVERIFY(!r.triangular);
    QVERIFY(qAbs(r.cycleTime - 1.1) < 1e-9);
    QCOMPARE(r.peakSpeed, 100.0);
    QCOMPARE(r.accel, 1000.0);
    QCOMPARE(r.decel, 1000.0);
    QCOMPARE(r.message, QStringLiteral("✓ Trapezoid 1.10 s"));
}

void TestMotionCheck::trapezoid_isReportedInChinese()
{
    const MotionValidationResult r =
        checkMotion(inputs(10.0, 0.0, 100.0, 100.0, 100, 100, QStringLiteral("zh")));
    QCOMPARE(r.message, QStringLiteral("✓ 梯形曲線 1.10 s"));
}

void TestMotionCheck::triangular_givesPeakSpeedAndCycleTime()
{
    const MotionValidationResult r = checkMotion(inputs(5.0, 0.0, 10.0, 200.0, 100, 100));
    QCOMPARE(r.status, StatusTriangular);
    QVERIFY(r.triangular);
    QCOMPARE(QString::number(r.peakSpeed, 'f', 2), QStringLiteral("141.42"));
    QCOMPARE(QString::number(r.cycleTime, 'f', 3), QStringLiteral("0.141"));
    QCOMPARE(r.message, QStringLiteral("⚠ Triangular, peak=141.42 mm/s, 0.141 s"));
    QCOMPARE(checkMotion(inputs(5.0, 0.0, 10.0, 200.0, 100, 100, QStringLiteral("zh"))).message,
             QStringLiteral("⚠ 三角形曲線，實際峰值 141.42 mm/s，0.141 s"));
}

void TestMotionCheck::rampsFillingTheDistanceExactly_countAsTriangular()
{
    // sa = sd = 10 mm over a 20 mm move: no constant-speed phase is left.
    const MotionValidationResult r = checkMotion(inputs(5.0, 0.0, 20.0, 200.0, 100, 100));
    QVERIFY(r.triangular);
    QCOMPARE(r.status, StatusTriangular);
    QCOMPARE(QString::number(r.peakSpeed, 'f', 2), QStringLiteral("200.00"));
}

void TestMotionCheck::accelerationAbove03G_appendsWarningLine()
{
    const MotionValidationResult r = checkMotion(inputs(10.0, 0.0, 100.0, 300.0, 100, 200));
    QCOMPARE(r.status, StatusOk);
    QCOMPARE(r.message, QStringLiteral("✓ Trapezoid 0.48 s\n⚠ Accel 0.31G (3000.0 mm/s², 47746.5 rev/s²) / "
                                       "Decel 0.15G (1500.0 mm/s², 23873.2 rev/s²) > 0.3G"));
    const MotionValidationResult zh =
        checkMotion(inputs(10.0, 0.0, 100.0, 300.0, 100, 200, QStringLiteral("zh")));
    QVERIFY(zh.message.endsWith(QStringLiteral("\n⚠ 加速 0.31G（3000.0 mm/s², 47746.5 rev/s²）/ "
                                               "減速 0.15G（1500.0 mm/s², 23873.2 rev/s²）超過 0.3G，衝擊較大")));
}

void TestMotionCheck::accelerationRoundingTo03G_addsNoWarning()
{
    // 2990 mm/s² is 0.3049 g, which rounds to 0.30 g and so is not above the limit.
    const MotionValidationResult r = checkMotion(inputs(10.0, 0.0, 100.0, 299.0, 100, 100));
    QVERIFY(!r.message.contains(QLatin1Char('\n')));
    QCOMPARE(accelInG(299.0, 100), 0.30);
}

void TestMotionCheck::verticalLoad_estimatesLiftForceAndTorque()
{
    MotionInputs in = inputs(10.0, 0.0, 100.0, 300.0, 100, 200);
    in.load.mountingMode = 1;
    in.load.loadKg = 10.0;
    // Moving to Position 2 with direction 0 lifts: accelerating adds gravity.
    MotionValidationResult up = checkMotion(in);
    QCOMPARE(QString::number(up.liftForce, 'f', 4), QStringLiteral("128.0665"));
    QCOMPARE(QString::number(up.motorTorque, 'f', 4), QStringLiteral("0.2038"));

    // Moving to Position 1 lowers: braking at the end carries gravity.
    in.group = QStringLiteral("pos0");
    const MotionValidationResult down = checkMotion(in);
    QCOMPARE(QString::number(down.liftForce, 'f', 4), QStringLiteral("113.0665"));

    // A reversed mounting swaps the two.
    in.load.mountingDirection = 1;
    QCOMPARE(checkMotion(in).liftForce, up.liftForce);
    QCOMPARE(liftForceMessage(up, 10.0, QStringLiteral("en")),
             QStringLiteral("Vertical + load 10.0 kg\nMax lift force: 128.1 N\nConfirm motor torque ≥ 0.204 Nm at "
                            "this speed"));
}

void TestMotionCheck::horizontalMounting_leavesLiftForceZero()
{
    MotionInputs in = inputs(10.0, 0.0, 100.0, 300.0, 100, 200);
    in.load.loadKg = 10.0;
    const MotionValidationResult r = checkMotion(in);
    QCOMPARE(r.liftForce, 0.0);
    QCOMPARE(r.motorTorque, 0.0);
}

void TestMotionCheck::impactNote_namesParameterAndValues()
{
    QCOMPARE(impactNote(QStringLiteral("Pos2 Accel"), 300.0, 100, 10.0, QStringLiteral("en")),
             QStringLiteral("Note: Pos2 Accel acceleration exceeds 0.3G.\nCurrent: 0.31 G\nAccel: 3000.0 mm/s² "
                            "(47746.5 rev/s²)\nSpeed 300.00 mm/s, Time 100 ms\n⚠ Higher mechanical impact "
                            "expected. Verify structural strength."));
    QCOMPARE(impactNote(QStringLiteral("位置 2 加速"), 300.0, 100, 10.0, QStringLiteral("zh")),
             QStringLiteral("提醒：位置 2 加速 加減速度超過 0.3G。\n目前 G 值：0.31 G\n加速度：3000.0 mm/s²"
                            "（47746.5 rev/s²）\n速度 300.00 mm/s，時間 100 ms\n⚠ 機構衝擊力較大，請確認機構強度與負載條件。"));
}

void TestMotionCheck::impactNote_isSilentAtOrBelow03G_data()
{
    QTest::addColumn<double>("speed");
    QTest::addColumn<int>("timeMs");
    QTest::newRow("rounds to 0.30 g") << 299.0 << 100;
    QTest::newRow("gentle ramp") << 100.0 << 500;
    QTest::newRow("no speed") << 0.0 << 100;
    QTest::newRow("no time") << 300.0 << 0;
}

void TestMotionCheck::impactNote_isSilentAtOrBelow03G()
{
    QFETCH(double, speed);
    QFETCH(int, timeMs);
    QVERIFY(impactNote(QStringLiteral("x"), speed, timeMs, 10.0, QStringLiteral("en")).isEmpty());
}

void TestMotionCheck::constantSpeedNote_namesProfileAndShare_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<int>("accelMs");
    QTest::addColumn<int>("decelMs");
    QTest::addColumn<QString>("note");
    // 200 mm at 100 mm/s: 2 s in all.
    QTest::newRow("near-triangular") << "en" << 900 << 1000
                                     << "Note: Current profile is Near-triangular profile.\nConstant-speed: 100 ms "
                                        "(5%% of total, recommend ≥ 10%%)\n⚠ Target speed may not be reached; "
                                        "higher mechanical impact.";
    QTest::newRow("triangular") << "en" << 1000 << 1000
                                << "Note: Current profile is Triangular profile (no constant-speed phase).\n"
                                   "Constant-speed: 0 ms (0%% of total, recommend ≥ 10%%)\n⚠ Target speed may not "
                                   "be reached; higher mechanical impact.";
    QTest::newRow("ramps longer than the move") << "zh" << 1500 << 1000
                                                << "提醒：目前為三角形加減速（無等速段）。\n等速段時間：0 ms（占比 0%%，建議 ≥ "
                                                   "10%%）\n⚠ 可能無法達到目標速度，且機構衝擊較大。";
}

void TestMotionCheck::constantSpeedNote_namesProfileAndShare()
{
    QFETCH(QString, lang);
    QFETCH(int, accelMs);
    QFETCH(int, decelMs);
    QFETCH(QString, note);
    QCOMPARE(constantSpeedNote(100.0, 200.0, accelMs, decelMs, lang), note);
}

void TestMotionCheck::constantSpeedNote_isSilentWithEnoughConstantSpeed()
{
    QVERIFY(constantSpeedNote(100.0, 200.0, 800, 900, QStringLiteral("en")).isEmpty());
    QVERIFY(constantSpeedNote(0.0, 200.0, 1000, 1000, QStringLiteral("en")).isEmpty());
    QVERIFY(constantSpeedNote(100.0, 0.0, 1000, 1000, QStringLiteral("en")).isEmpty());
}

void TestMotionCheck::triangularQuestion_showsPeakAndCycleTime()
{
    MotionValidationResult r;
    r.peakSpeed = 141.4213;
    r.cycleTime = 0.14142;
    QCOMPARE(triangularQuestion(r, QStringLiteral("en")),
             QStringLiteral("Current parameters result in a triangular profile.\nActual peak speed: 141.42 mm/s\n"
                            "Cycle Time: 0.14 s\n\nProceed?"));
    QCOMPARE(triangularQuestion(r, QStringLiteral("zh")),
             QStringLiteral("目前參數將形成三角形速度曲線。\n實際峰值速度：141.42 mm/s（低於設定值）\nCycle Time：0.14 s\n\n"
                            "確定仍要寫入？"));
}

QTEST_APPLESS_MAIN(TestMotionCheck)
#include "tst_motioncheck.moc"
