// Behaviour of one simulated drive, driven directly (no bus, no clock).

#include "registers.h"
#include "simdrive.h"

#include <QtTest>

Q_DECLARE_METATYPE(SimDriveConfig)

namespace {

constexpr int TickMs = 10;

SimDriveConfig lxaz()
{
    return SimDriveConfig{};  // LXAZ-16L01-50-BC at station 1
}

SimDriveConfig lxgz()
{
    SimDriveConfig config;
    config.station = 3;
    config.familyCode = 6;
    config.size = 40;
    config.rawLead = 200;
    config.stroke = 350;
    return config;
}

quint8 write(SimDrive &drive, quint16 address, quint16 value)
{
    return drive.writeRegisters(address, {value});
}

quint8 write32(SimDrive &drive, quint16 address, qint32 value)
{
    const quint32 bits = quint32(value);
    return drive.writeRegisters(address, {quint16(bits & 0xFFFF), quint16(bits >> 16)});
}

qint32 read32(const SimDrive &drive, quint16 address)
{
    return qint32(quint32(drive.registerValue(address)) | (quint32(drive.registerValue(address + 1)) << 16));
}

void run(SimDrive &drive, int ms)
{
    for (int t = 0; t < ms; t += TickMs)
        drive.tick(TickMs);
}

// Runs until the drive stands still; false if it still moves after maxMs.
bool runUntilStill(SimDrive &drive, int maxMs = 60000)
{
    for (int t = 0; t < maxMs && drive.isMoving(); t += TickMs)
        drive.tick(TickMs);
    return !drive.isMoving();
}

bool homed(const SimDrive &drive)
{
    return drive.registerValue(Reg::InputStatus) & 0x0080;
}

}  // namespace

class TestSimDrive : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void identificationRegistersDescribeTheConfiguredDrive_data();
    void identificationRegistersDescribeTheConfiguredDrive();
    void versionTextsAreStoredLowByteFirst();
    void factoryParametersAreTheRecommendedSet();
    void readsOutsideTheMapOrTooLongAreRefused_data();
    void readsOutsideTheMapOrTooLongAreRefused();
    void writesOutsideTheMapAreRefusedAndChangeNothing();
    void busWritesCannotOverwriteLiveStateOrIdentity();
    void positionRegistersHoldTwosComplementMicrometres();
    void jogRunsAtTheManualSpeed_data();
    void jogRunsAtTheManualSpeed();
    void jogStopsAtEachSoftLimitAndHoldsThere();
    void jogStopCommandHaltsTheRod();
    void motionNeedsServoOnAndManualMode();
    void servoOffHaltsAMove();
    void nudgeMovesByTheSignedDistanceOnceBothWordsAreWritten();
    void nudgeIsHeldInsideTheSoftLimits();
    void homingReturnsToZeroAndReportsCompletionOnArrival();
    void homingIgnoresThePositionInputPulseThatFollowsIt();
    void commandInputsMoveToTheStoredPositionsAndSignalArrival();
    void onlyANewlyRaisedInputActs();
    void inputThreeStopsMotionAndResetsTheAlarm();
    void alarmStopsMotionAndSetsOutputThree();
    void alarmClearKeepsTheHistory();
    void trackingErrorAndSpeedFollowTheDirectionOfMotion();
    void motorCurrentFollowsServoMotionAndPush();
    void stationChangeTakesEffectAtOnceAndIsChecked();
    void powerCycleForgetsWhatWasNotStored();
    void storeKeepsValuesOverAPowerCycle();
    void factoryRestoreBringsBackTheCreationValues();
    void powerOnBlockCopiesWinOverWorkingValues();
    void powerCycleKeepsPositionButLosesHoming();
};

void TestSimDrive::identificationRegistersDescribeTheConfiguredDrive_data()
{
    QTest::addColumn<SimDriveConfig>("config");
    SimDriveConfig ba = lxaz();
    ba.motorDirection = 1;
    ba.logicVersion = 0x4201;
    QTest::newRow("LXAZ-16L01-50-BC") << lxaz();
    QTest::newRow("LXGZ-40L20-350-BC") << lxgz();
    QTest::newRow("BA direction, logic B1") << ba;
}

void TestSimDrive::identificationRegistersDescribeTheConfiguredDrive()
{
    QFETCH(SimDriveConfig, config);
    const SimDrive drive(config);
    QCOMPARE(drive.station(), config.station);
    QVector<quint16> words;
    QCOMPARE(drive.readRegisters(Reg::LogicVersion, 5, &words), SimException::None);
    const QVector<quint16> expected{config.logicVersion, config.familyCode, config.size, config.rawLead, config.stroke};
    QCOMPARE(words, expected);
    QCOMPARE(drive.registerValue(Reg::MotorDirection), config.motorDirection);
}

void TestSimDrive::versionTextsAreStoredLowByteFirst()
{
    SimDriveConfig config;
    config.hardware = QStringLiteral("H2");
    config.firmware = QStringLiteral("V1.20");
    const SimDrive drive(config);
    QVector<quint16> words;
    QCOMPARE(drive.readRegisters(Reg::HardwareVersion, 4, &words), SimException::None);
    // "H2", then "V1.2": the fifth character has no room.
    QCOMPARE(words, (QVector<quint16>{0x3248, 0x0000, 0x3156, 0x322E}));
}

void TestSimDrive::factoryParametersAreTheRecommendedSet()
{
    const SimDrive drive(lxgz());
    QCOMPARE(drive.registerValue(Reg::CurrentLimits), quint16(0x3232));
    QCOMPARE(drive.registerValue(Reg::SmoothingConstant), quint16(25));
    QCOMPARE(drive.registerValue(Reg::DynamicErrorThreshold), quint16(25));
    QCOMPARE(drive.registerValue(Reg::StaticErrorThreshold), quint16(20));
    QCOMPARE(drive.registerValue(Reg::PositionWarningThreshold), quint16(15));
    QCOMPARE(drive.registerValue(Reg::Pos0MotionMode), Reg::PushMode::Pos0Off);
    QCOMPARE(drive.registerValue(Reg::Pos1MotionMode), Reg::PushMode::Pos1Off);
    for (quint16 time : {Reg::Pos0Accel, Reg::Pos0Decel, Reg::Pos1Accel, Reg::Pos1Decel})
        QCOMPARE(drive.registerValue(time), quint16(200));
    QCOMPARE(drive.registerValue(Reg::HomeTorque) & 0xFF, 85);  // 50 % x 1.7
    QCOMPARE(drive.registerValue(Reg::Pos0PushTorque) & 0xFF, 85);
    QCOMPARE(drive.registerValue(Reg::Pos1PushTorque) & 0xFF, 85);
    QCOMPARE(read32(drive, Reg::Pos0Position), 0);
    QCOMPARE(read32(drive, Reg::Pos1Position), 175000);
    QVERIFY(read32(drive, Reg::Pos0Speed) > 0);
    QVERIFY(read32(drive, Reg::Pos1Speed) > 0);
    QCOMPARE(read32(drive, Reg::SoftLimitCCW), 0);
    QCOMPARE(read32(drive, Reg::SoftLimitCW), 350000);
    // The power-on copies agree with the working registers.
    QCOMPARE(read32(drive, Reg::ScriptSoftLimitCCW), 0);
    QCOMPARE(read32(drive, Reg::ScriptSoftLimitCW), 350000);
    QCOMPARE(drive.registerValue(Reg::ScriptDynamicErrorThreshold), quint16(25));
    QCOMPARE(drive.registerValue(Reg::ScriptStaticErrorThreshold), quint16(20));
    QCOMPARE(drive.registerValue(Reg::ScriptPositionWarningThreshold), quint16(15));
    QCOMPARE(quint32(read32(drive, Reg::ManualSpeed)), Reg::DefaultManualSpeed);
    QCOMPARE(drive.registerValue(Reg::ServoOff), quint16(0));
    QCOMPARE(drive.registerValue(Reg::ManualMode), Reg::ManualModeValue);
    QCOMPARE(drive.registerValue(Reg::AlarmWord), quint16(0));
}

void TestSimDrive::readsOutsideTheMapOrTooLongAreRefused_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("code");
    QTest::newRow("last register") << 0x02FF << 1 << int(SimException::None);
    QTest::newRow("runs past the end") << 0x02FF << 2 << int(SimException::IllegalAddress);
    QTest::newRow("starts past the end") << 0x0300 << 1 << int(SimException::IllegalAddress);
    QTest::newRow("125 words") << 0x0000 << 125 << int(SimException::None);
    QTest::newRow("126 words") << 0x0000 << 126 << int(SimException::IllegalValue);
    QTest::newRow("no words") << 0x0000 << 0 << int(SimException::IllegalValue);
}

void TestSimDrive::readsOutsideTheMapOrTooLongAreRefused()
{
    QFETCH(int, address);
    QFETCH(int, count);
    QFETCH(int, code);
    const SimDrive drive(lxaz());
    QVector<quint16> words;
    QCOMPARE(int(drive.readRegisters(quint16(address), count, &words)), code);
    QCOMPARE(words.size(), code == SimException::None ? count : 0);
}

void TestSimDrive::writesOutsideTheMapAreRefusedAndChangeNothing()
{
    SimDrive drive(lxaz());
    QCOMPARE(drive.writeRegisters(0x02FF, {1, 2}), SimException::IllegalAddress);
    QCOMPARE(drive.registerValue(0x02FF), quint16(0));
    QCOMPARE(drive.writeRegisters(0x0300, {1}), SimException::IllegalAddress);
    QCOMPARE(drive.writeRegisters(Reg::SmoothingConstant, {}), SimException::IllegalValue);
}

void TestSimDrive::busWritesCannotOverwriteLiveStateOrIdentity()
{
    SimDrive drive(lxaz());
    drive.setPositionMm(12.0);
    QCOMPARE(write32(drive, Reg::ActualPosition, 0), SimException::None);
    QCOMPARE(write(drive, Reg::FamilyCode, 5), SimException::None);
    QCOMPARE(write(drive, Reg::AlarmWord, 0x0003), SimException::None);
    QCOMPARE(drive.positionMm(), 12.0);
    QCOMPARE(drive.registerValue(Reg::FamilyCode), quint16(0));
    QCOMPARE(drive.registerValue(Reg::AlarmWord), quint16(0));
}

void TestSimDrive::positionRegistersHoldTwosComplementMicrometres()
{
    SimDrive drive(lxaz());
    drive.setPositionMm(-1.0);
    QCOMPARE(drive.registerValue(Reg::ActualPosition), quint16(0xFC18));
    QCOMPARE(drive.registerValue(Reg::ActualPosition + 1), quint16(0xFFFF));
    drive.setPositionMm(100.0);
    QCOMPARE(drive.registerValue(Reg::ActualPosition), quint16(0x86A0));
    QCOMPARE(drive.registerValue(Reg::ActualPosition + 1), quint16(0x0001));
}

void TestSimDrive::jogRunsAtTheManualSpeed_data()
{
    QTest::addColumn<SimDriveConfig>("config");
    QTest::addColumn<int>("speedRaw");
    QTest::addColumn<double>("mmPerSecond");
    QTest::newRow("lead 1 mm, 300 rpm") << lxaz() << 30000 << 5.0;
    QTest::newRow("lead 1 mm, 600 rpm") << lxaz() << 60000 << 10.0;
    QTest::newRow("lead 20.0 mm, 150 rpm") << lxgz() << 15000 << 50.0;
}

void TestSimDrive::jogRunsAtTheManualSpeed()
{
    QFETCH(SimDriveConfig, config);
    QFETCH(int, speedRaw);
    QFETCH(double, mmPerSecond);
    SimDrive drive(config);
    QCOMPARE(write32(drive, Reg::ManualSpeed, speedRaw), SimException::None);
    QCOMPARE(write(drive, Reg::ManualCommand, Reg::ManualCommandValue::JogPlus), SimException::None);
    run(drive, 1000);
    QVERIFY(qAbs(drive.positionMm() - mmPerSecond) < 1e-6);
    QVERIFY(drive.isMoving());
}

void TestSimDrive::jogStopsAtEachSoftLimitAndHoldsThere()
{
    SimDrive drive(lxaz());
    write32(drive, Reg::SoftLimitCW, 3000);
    write32(drive, Reg::SoftLimitCCW, -2000);
    write32(drive, Reg::ManualSpeed, 120000);  // 20 mm/s
    write(drive, Reg::ManualCommand, Reg::ManualCommandValue::JogPlus);
    run(drive, 2000);
    QCOMPARE(drive.positionMm(), 3.0);
    QCOMPARE(read32(drive, Reg::ActualSpeed), 0);
    write(drive, Reg::ManualCommand, Reg::ManualCommandValue::JogMinus);
    run(drive, 2000);
    QCOMPARE(drive.positionMm(), -2.0);
}

void TestSimDrive::jogStopCommandHaltsTheRod()
{
    SimDrive drive(lxaz());
    write(drive, Reg::ManualCommand, Reg::ManualCommandValue::JogPlus);
    run(drive, 500);
    write(drive, Reg::ManualCommand, Reg::ManualCommandValue::Stop);
    const double stoppedAt = drive.positionMm();
    run(drive, 500);
    QVERIFY(stoppedAt > 0.0);
    QCOMPARE(drive.positionMm(), stoppedAt);
    QVERIFY(!drive.isMoving());
}

void TestSimDrive::motionNeedsServoOnAndManualMode()
{
    SimDrive drive(lxaz());
    write(drive, Reg::ServoOff, 1);
    write(drive, Reg::ManualCommand, Reg::ManualCommandValue::JogPlus);
    run(drive, 200);
    QCOMPARE(drive.positionMm(), 0.0);

    write(drive, Reg::ServoOff, 0);
    write(drive, Reg::ManualMode, 0);
    write(drive, Reg::ManualCommand, Reg::ManualCommandValue::JogPlus);
    run(drive, 200);
    QCOMPARE(drive.positionMm(), 0.0);

    write(drive, Reg::ManualMode, Reg::ManualModeValue);
    write(drive, Reg::ManualCommand, Reg::ManualCommandValue::JogPlus);
    run(drive, 200);
    QVERIFY(drive.positionMm() > 0.0);
}

void TestSimDrive::servoOffHaltsAMove()
{
    SimDrive drive(lxaz());
    write(drive, Reg::CommandInputs, 0x0002);  // to position 2, 25 mm
    run(drive, 200);
    write(drive, Reg::ServoOff, 1);
    const double stoppedAt = drive.positionMm();
    run(drive, 500);
    QVERIFY(stoppedAt > 0.0 && stoppedAt < 25.0);
    QCOMPARE(drive.positionMm(), stoppedAt);
    QCOMPARE(drive.registerValue(Reg::OutputStatus) & 0x0002, 0);
}

void TestSimDrive::nudgeMovesByTheSignedDistanceOnceBothWordsAreWritten()
{
    SimDrive drive(lxaz());
    drive.setPositionMm(10.0);
    write(drive, Reg::NudgeDistance, 1500);  // low word alone: no move yet
    run(drive, 500);
    QCOMPARE(drive.positionMm(), 10.0);

    write32(drive, Reg::NudgeDistance, 1500);
    QVERIFY(runUntilStill(drive));
    QCOMPARE(drive.positionMm(), 11.5);

    write32(drive, Reg::NudgeDistance, -100);  // 0xFF9C 0xFFFF
    QVERIFY(runUntilStill(drive));
    QCOMPARE(drive.positionMm(), 11.4);
}

void TestSimDrive::nudgeIsHeldInsideTheSoftLimits()
{
    SimDrive drive(lxaz());
    drive.setPositionMm(0.5);
    write32(drive, Reg::NudgeDistance, -5000);
    QVERIFY(runUntilStill(drive));
    QCOMPARE(drive.positionMm(), 0.0);
    write32(drive, Reg::NudgeDistance, 80000);
    QVERIFY(runUntilStill(drive));
    QCOMPARE(drive.positionMm(), 50.0);
}

void TestSimDrive::homingReturnsToZeroAndReportsCompletionOnArrival()
{
    SimDrive drive(lxaz());
    drive.setPositionMm(20.0);
    drive.setRegisterValue(Reg::InputStatus, 0x0080);
    write(drive, Reg::ManualCommand, Reg::ManualCommandValue::Homing);
    run(drive, 100);
    QVERIFY(!homed(drive));
    QVERIFY(drive.positionMm() < 20.0);
    QVERIFY(runUntilStill(drive));
    QCOMPARE(drive.positionMm(), 0.0);
    QVERIFY(homed(drive));
}

void TestSimDrive::homingIgnoresThePositionInputPulseThatFollowsIt()
{
    SimDrive drive(lxaz());
    write(drive, Reg::ManualMode, 0);  // a drive fresh from power-on: manual mode not yet selected
    drive.setPositionMm(5.0);
    write32(drive, Reg::Pos0Position, 30000);
    // The sequence the monitor sends for homing.
    write(drive, Reg::ManualCommand, Reg::ManualCommandValue::Homing);
    write(drive, Reg::ManualMode, Reg::ManualModeValue);
    write(drive, Reg::CommandInputs, 0x0001);
    write(drive, Reg::CommandInputs, 0x0000);
    QVERIFY(runUntilStill(drive));
    QCOMPARE(drive.positionMm(), 0.0);
    QVERIFY(homed(drive));
    QCOMPARE(drive.registerValue(Reg::OutputStatus) & 0x0001, 0);
}

void TestSimDrive::commandInputsMoveToTheStoredPositionsAndSignalArrival()
{
    SimDrive drive(lxaz());
    write32(drive, Reg::Pos0Position, 5000);
    write(drive, Reg::CommandInputs, 0x0001);
    QCOMPARE(drive.registerValue(Reg::InputStatus) & 0x0007, 0x0001);
    run(drive, 50);
    QCOMPARE(drive.registerValue(Reg::OutputStatus) & 0x0003, 0);
    QVERIFY(runUntilStill(drive));
    QCOMPARE(drive.positionMm(), 5.0);
    QCOMPARE(drive.registerValue(Reg::OutputStatus) & 0x0003, 0x0001);

    write(drive, Reg::CommandInputs, 0x0000);
    write(drive, Reg::CommandInputs, 0x0002);
    run(drive, 50);
    QCOMPARE(drive.registerValue(Reg::OutputStatus) & 0x0003, 0);  // Y0 drops as the rod leaves
    QVERIFY(runUntilStill(drive));
    QCOMPARE(drive.positionMm(), 25.0);
    QCOMPARE(drive.registerValue(Reg::OutputStatus) & 0x0003, 0x0002);
}

void TestSimDrive::onlyANewlyRaisedInputActs()
{
    SimDrive drive(lxaz());
    write32(drive, Reg::Pos0Position, 5000);
    write(drive, Reg::CommandInputs, 0x0001);
    QVERIFY(runUntilStill(drive));
    // Input 1 is still held when input 2 comes: the rod goes to position 2.
    write(drive, Reg::CommandInputs, 0x0003);
    QVERIFY(runUntilStill(drive));
    QCOMPARE(drive.positionMm(), 25.0);
    // Writing the held inputs again starts nothing.
    drive.setPositionMm(20.0);
    write(drive, Reg::CommandInputs, 0x0003);
    run(drive, 200);
    QCOMPARE(drive.positionMm(), 20.0);
}

void TestSimDrive::inputThreeStopsMotionAndResetsTheAlarm()
{
    SimDrive drive(lxaz());
    write(drive, Reg::CommandInputs, 0x0002);
    run(drive, 200);
    write(drive, Reg::CommandInputs, 0x0006);
    const double stoppedAt = drive.positionMm();
    run(drive, 300);
    QCOMPARE(drive.positionMm(), stoppedAt);

    drive.setRegisterValue(Reg::AlarmWord, 0x0016);
    write(drive, Reg::CommandInputs, 0x0000);
    write(drive, Reg::CommandInputs, 0x0004);
    QCOMPARE(drive.registerValue(Reg::AlarmWord), quint16(0x0010));
}

void TestSimDrive::alarmStopsMotionAndSetsOutputThree()
{
    SimDrive drive(lxaz());
    write(drive, Reg::ManualCommand, Reg::ManualCommandValue::JogPlus);
    run(drive, 200);
    drive.setRegisterValue(Reg::AlarmWord, 0x0006);
    const double stoppedAt = drive.positionMm();
    run(drive, 300);
    QCOMPARE(drive.positionMm(), stoppedAt);
    QCOMPARE(drive.registerValue(Reg::OutputStatus) & 0x0004, 0x0004);

    write(drive, Reg::ManualCommand, Reg::ManualCommandValue::JogPlus);
    run(drive, 300);
    QCOMPARE(drive.positionMm(), stoppedAt);  // no motion while the alarm stands
}

void TestSimDrive::alarmClearKeepsTheHistory()
{
    SimDrive drive(lxaz());
    drive.setRegisterValue(Reg::AlarmWord, 0x0253);
    QCOMPARE(write(drive, Reg::AlarmClear, 0), SimException::None);
    QCOMPARE(drive.registerValue(Reg::AlarmWord), quint16(0x0250));
    QCOMPARE(drive.registerValue(Reg::OutputStatus) & 0x0004, 0);
}

void TestSimDrive::trackingErrorAndSpeedFollowTheDirectionOfMotion()
{
    SimDrive drive(lxaz());
    drive.setPositionMm(25.0);
    write(drive, Reg::ManualCommand, Reg::ManualCommandValue::JogPlus);
    run(drive, 100);
    QVERIFY(qint16(drive.registerValue(Reg::TrackingError)) > 0);
    QCOMPARE(read32(drive, Reg::ActualSpeed), 30000);  // 300 rpm in 0.01 rpm
    write(drive, Reg::ManualCommand, Reg::ManualCommandValue::JogMinus);
    run(drive, 100);
    QVERIFY(qint16(drive.registerValue(Reg::TrackingError)) < 0);
    QVERIFY(read32(drive, Reg::ActualSpeed) <= -500);
    write(drive, Reg::ManualCommand, Reg::ManualCommandValue::Stop);
    run(drive, 20);
    QCOMPARE(drive.registerValue(Reg::TrackingError), quint16(0));
    QCOMPARE(read32(drive, Reg::ActualSpeed), 0);
}

void TestSimDrive::motorCurrentFollowsServoMotionAndPush()
{
    SimDrive drive(lxaz());  // rated 1.00 A, idle 50 %
    run(drive, 20);
    QCOMPARE(drive.registerValue(Reg::MotorCurrent), quint16(500));

    write(drive, Reg::ManualCommand, Reg::ManualCommandValue::JogPlus);
    run(drive, 100);
    QVERIFY(drive.registerValue(Reg::MotorCurrent) > 500);
    write(drive, Reg::ManualCommand, Reg::ManualCommandValue::Stop);

    write(drive, Reg::Pos1MotionMode, Reg::PushMode::Pos1On);
    write(drive, Reg::Pos1PushTorque, 0x0077);  // 70 %
    write(drive, Reg::CommandInputs, 0x0002);
    QVERIFY(runUntilStill(drive));
    run(drive, 20);
    QCOMPARE(drive.registerValue(Reg::MotorCurrent), quint16(700));

    write(drive, Reg::ServoOff, 1);
    run(drive, 20);
    QCOMPARE(drive.registerValue(Reg::MotorCurrent), quint16(0));
}

void TestSimDrive::stationChangeTakesEffectAtOnceAndIsChecked()
{
    SimDrive drive(lxaz());
    QCOMPARE(write(drive, Reg::StationAddress, 7), SimException::None);
    QCOMPARE(drive.station(), quint8(7));
    QCOMPARE(write(drive, Reg::StationAddress, 0), SimException::IllegalValue);
    QCOMPARE(write(drive, Reg::StationAddress, 17), SimException::IllegalValue);
    QCOMPARE(drive.station(), quint8(7));
}

void TestSimDrive::powerCycleForgetsWhatWasNotStored()
{
    SimDrive drive(lxaz());
    write(drive, Reg::SmoothingConstant, 50);
    write(drive, Reg::StationAddress, 9);
    drive.powerCycle();
    QCOMPARE(drive.registerValue(Reg::SmoothingConstant), quint16(25));
    QCOMPARE(drive.station(), quint8(1));
}

void TestSimDrive::storeKeepsValuesOverAPowerCycle()
{
    SimDrive drive(lxaz());
    write(drive, Reg::SmoothingConstant, 50);
    write(drive, Reg::StationAddress, 9);
    write(drive, Reg::StoreCommand, Reg::StoreValue::SaveToRom);
    write(drive, Reg::SmoothingConstant, 60);
    drive.powerCycle();
    QCOMPARE(drive.registerValue(Reg::SmoothingConstant), quint16(50));
    QCOMPARE(drive.station(), quint8(9));
}

void TestSimDrive::factoryRestoreBringsBackTheCreationValues()
{
    SimDrive drive(lxaz());
    write(drive, Reg::SmoothingConstant, 50);
    write(drive, Reg::StationAddress, 9);
    write(drive, Reg::StoreCommand, Reg::StoreValue::SaveToRom);
    write(drive, Reg::StoreCommand, Reg::StoreValue::FactoryRestore);
    QCOMPARE(drive.registerValue(Reg::SmoothingConstant), quint16(25));
    QCOMPARE(drive.station(), quint8(1));
    drive.powerCycle();
    QCOMPARE(drive.registerValue(Reg::SmoothingConstant), quint16(25));
    QCOMPARE(drive.station(), quint8(1));
}

void TestSimDrive::powerOnBlockCopiesWinOverWorkingValues()
{
    SimDrive drive(lxaz());
    write(drive, Reg::DynamicErrorThreshold, 40);  // working register only
    write32(drive, Reg::SoftLimitCW, 30000);
    write32(drive, Reg::ScriptSoftLimitCW, 30000);  // and its copy
    write(drive, Reg::StoreCommand, Reg::StoreValue::SaveToRom);
    drive.powerCycle();
    QCOMPARE(drive.registerValue(Reg::DynamicErrorThreshold), quint16(25));
    QCOMPARE(read32(drive, Reg::SoftLimitCW), 30000);
}

void TestSimDrive::powerCycleKeepsPositionButLosesHoming()
{
    SimDrive drive(lxaz());
    drive.setPositionMm(3.0);
    write(drive, Reg::ManualCommand, Reg::ManualCommandValue::Homing);
    QVERIFY(runUntilStill(drive));
    write32(drive, Reg::NudgeDistance, 2000);
    QVERIFY(runUntilStill(drive));
    QVERIFY(homed(drive));
    drive.setRegisterValue(Reg::AlarmWord, 0x0021);
    drive.powerCycle();
    QVERIFY(!homed(drive));
    QCOMPARE(drive.positionMm(), 2.0);
    QCOMPARE(drive.registerValue(Reg::AlarmWord), quint16(0x0020));
}

QTEST_GUILESS_MAIN(TestSimDrive)
#include "tst_simdrive.moc"
