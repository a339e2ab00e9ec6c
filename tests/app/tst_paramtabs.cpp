// The Motion and Advanced tabs driven through their widgets against a
// simulated drive: reads, writes on the wire, push mode, thresholds, current
// limits, Save, and the boxes that carry the parameter manager's messages.

#include "paramwindowbench.h"
#include "parammanager.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

namespace {

using Kind = ScriptedDialogs::Kind;

void click(ParamWindowBench &bench, const char *button)
{
    auto *b = bench.find<QAbstractButton>(button);
    QVERIFY2(b, button);
    QVERIFY2(b->isEnabled(), button);
    b->click();
}

QStringList titles(const ScriptedDialogs &dialogs)
{
    QStringList found;
    for (const ScriptedDialogs::Shown &box : dialogs.shown())
        found << box.title;
    return found;
}

}  // namespace

class ParamTabsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rowsCarryTheirRangesAddressesAndTitles();
    void readAllFillsEveryRowFromTheDrive();
    void readAllWithPartialAnswersLeavesTheOtherRows();
    void writeButtonsPutTheConvertedValueOnTheWire_data();
    void writeButtonsPutTheConvertedValueOnTheWire();
    void torqueWriteKeepsTheDrivesHighByte();

    void pushSwitchWritesTheModeWordAndFollowsWithTheRow_data();
    void pushSwitchWritesTheModeWordAndFollowsWithTheRow();
    void pushModeReadFromTheDriveSetsTheSwitchWithoutWriting_data();
    void pushModeReadFromTheDriveSetsTheSwitchWithoutWriting();
    void unconfirmedPushSwitchIsReportedAndUndone();

    void thresholdAngleLabels_data();
    void thresholdAngleLabels();
    void thresholdBoxStepsFollowTheLead_data();
    void thresholdBoxStepsFollowTheLead();

    void currentLimitsAreTheTwoBytesOfOneRegister();
    void currentWriteKeepsTheOtherByte_data();
    void currentWriteKeepsTheOtherByte();
    void currentWriteWithoutPreReadWritesNothing();
    void unconfirmedCurrentWriteIsReported();

    void restoreDefaultsOnlyChangesTheScreen();
    void declinedRestoreChangesNothing();
    void saveToRomShowsTheOutcome_data();
    void saveToRomShowsTheOutcome();

    void motionTabShownReadsItsParameters();
    void advancedTabShownReadsItsParameters();
    void refusedWriteShowsTheManagersMessage();
    void triangularQuestionDecidesTheWrite_data();
    void triangularQuestionDecidesTheWrite();
    void motionCheckResultIsShownBesideEachGroup();
    void pollingRunsAgainAfterEveryParameterAction();
};

void ParamTabsTest::rowsCarryTheirRangesAddressesAndTitles()
{
    ParamWindowBench bench;
    const QString skip = bench.build(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));

    QCOMPARE(bench.find<QLabel>("lblHex_homeTorque")->text(), QStringLiteral("0X0215"));
    QCOMPARE(bench.find<QLabel>("lblHex_smoothMs")->text(), QStringLiteral("0X000A"));
    QCOMPARE(bench.find<QLabel>("lblHex_softLimitCCW")->text(), QStringLiteral("0x006E (2W)"));
    QCOMPARE(bench.find<QLabel>("lblHex_softLimitCW")->text(), QStringLiteral("0x0070 (2W)"));
    for (const char *key : {"pos0Accel", "pos0Decel", "pos1Accel", "pos1Decel"}) {
        auto *spin = bench.window->findChild<QSpinBox *>(QStringLiteral("spin_%1").arg(QLatin1String(key)));
        auto *slider = bench.window->findChild<QSlider *>(QStringLiteral("slide_%1").arg(QLatin1String(key)));
        QCOMPARE(spin->minimum(), 50);
        QCOMPARE(spin->maximum(), 1000);
        QCOMPARE(slider->minimum(), 50);
        QCOMPARE(slider->maximum(), 1000);
    }
    QCOMPARE(bench.find<QSpinBox>("spin_smoothMs")->minimum(), 1);
    QCOMPARE(bench.find<QSpinBox>("spin_smoothMs")->maximum(), 1000);
    QCOMPARE(bench.window->params()->params().size(), 17);

    QCOMPARE(bench.find<QLabel>("lblTitle_pos0Speed")->text(), QStringLiteral("Speed (mm/s)"));
    QCOMPARE(bench.find<QLabel>("lblTitle_smoothMs")->text(), QStringLiteral("Smooth Time (ms)"));
    QCOMPARE(bench.find<QPushButton>("btnWrite_pos1Pos")->text(), QStringLiteral("Write"));
    bench.find<QComboBox>("cbLanguage")->setCurrentIndex(0);
    QCOMPARE(bench.find<QLabel>("lblTitle_pos0Speed")->text(), QStringLiteral("移動速度 (mm/s)"));
    QCOMPARE(bench.find<QPushButton>("btnRead_pos1Pos")->text(), QStringLiteral("讀取"));
}

void ParamTabsTest::readAllFillsEveryRowFromTheDrive()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.setReg(Reg::HomeTorque, 0x1A55);
    bench.setReg(Reg::Pos0Accel, 300);
    bench.setReg(Reg::Pos0Decel, 400);
    bench.setReg32(Reg::Pos0Speed, 60000);
    bench.setReg32(Reg::Pos0Position, 12340);
    bench.setReg(Reg::Pos1Accel, 500);
    bench.setReg(Reg::Pos1Decel, 600);
    bench.setReg32(Reg::Pos1Speed, 120000);
    bench.setReg32(Reg::Pos1Position, 40000);
    bench.setReg(Reg::Pos0MotionMode, Reg::PushMode::Pos0On);
    bench.setReg(Reg::Pos1MotionMode, Reg::PushMode::Pos1Off);
    bench.setReg(Reg::Pos0PushTorque, 0x0144);
    bench.setReg32(Reg::SoftLimitCCW, -1500);
    bench.setReg32(Reg::SoftLimitCW, 45000);
    bench.setReg(Reg::DynamicErrorThreshold, 30);
    bench.setReg(Reg::StaticErrorThreshold, 20);
    bench.setReg(Reg::PositionWarningThreshold, 10);

    click(bench, "btnReadAllParams");

    QCOMPARE(bench.find<QSpinBox>("spin_homeTorque")->value(), 50);
    QCOMPARE(bench.find<QSpinBox>("spin_pos0Accel")->value(), 300);
    QCOMPARE(bench.find<QSpinBox>("spin_pos0Decel")->value(), 400);
    QCOMPARE(bench.find<QDoubleSpinBox>("spinD_pos0Speed")->value(), 10.0);
    QCOMPARE(bench.find<QDoubleSpinBox>("spinD_pos0Pos")->value(), 12.34);
    QCOMPARE(bench.find<QLabel>("cur_pos0Pos")->text(), QStringLiteral("12.34"));
    QCOMPARE(bench.find<QSpinBox>("spin_pos1Accel")->value(), 500);
    QCOMPARE(bench.find<QSpinBox>("spin_pos1Decel")->value(), 600);
    QCOMPARE(bench.find<QDoubleSpinBox>("spinD_pos1Speed")->value(), 20.0);
    QCOMPARE(bench.find<QDoubleSpinBox>("spinD_pos1Pos")->value(), 40.0);
    QCOMPARE(bench.find<QDoubleSpinBox>("spinD_softLimitCCW")->value(), -1.5);
    QCOMPARE(bench.find<QDoubleSpinBox>("spinD_softLimitCW")->value(), 45.0);
    QCOMPARE(bench.find<QDoubleSpinBox>("param_spinDynErrMm")->value(), 0.15);
    QCOMPARE(bench.find<QDoubleSpinBox>("param_spinStaErrMm")->value(), 0.1);
    QCOMPARE(bench.find<QDoubleSpinBox>("param_spinPosWarnMm")->value(), 0.05);
    QCOMPARE(bench.find<QLabel>("raw_dynErr")->text(), QStringLiteral("30 steps"));

    // Push on for Position 1 only: its torque is read, its row usable.
    QVERIFY(bench.find<QCheckBox>("ckbtn_pos0Push")->isChecked());
    QVERIFY(!bench.find<QCheckBox>("ckbtn_pos1Push")->isChecked());
    QCOMPARE(bench.find<QSpinBox>("spin_pos0PushTorque")->value(), 40);
    QVERIFY(bench.find<QSpinBox>("spin_pos0PushTorque")->isEnabled());
    QVERIFY(!bench.find<QSpinBox>("spin_pos1PushTorque")->isEnabled());
    QVERIFY(!bench.find<QPushButton>("btnWrite_pos1PushTorque")->isEnabled());

    // The positions' boxes span the stroke.
    QCOMPARE(bench.find<QDoubleSpinBox>("spinD_pos1Pos")->maximum(), 50.0);
    QCOMPARE(bench.find<QSlider>("slide_pos1Pos")->maximum(), 5000);
}

void ParamTabsTest::readAllWithPartialAnswersLeavesTheOtherRows()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.setReg(Reg::HomeTorque, 0x0066);  // 60 %
    bench.setReg(Reg::Pos0Accel, 333);
    bench.setReg(Reg::Pos1Accel, 444);
    bench.find<QSpinBox>("spin_pos1Accel")->setValue(777);
    bench.find<QDoubleSpinBox>("spinD_softLimitCW")->setValue(33.0);
    bench.quiesce();
    // Only the home torque and the Position 1 block are answered.
    bench.setFaults([](SimFaults &f) { f.silentAfterReplies = 2; });

    click(bench, "btnReadAllParams");

    QCOMPARE(bench.find<QSpinBox>("spin_homeTorque")->value(), 60);
    QCOMPARE(bench.find<QSpinBox>("spin_pos0Accel")->value(), 333);
    QCOMPARE(bench.find<QSpinBox>("spin_pos1Accel")->value(), 777);
    QCOMPARE(bench.find<QDoubleSpinBox>("spinD_softLimitCW")->value(), 33.0);
    QVERIFY(bench.window->params()->validateTimer0()->isActive());
    QVERIFY(bench.window->params()->validateTimer1()->isActive());
    // Every read was still tried, in order.
    QCOMPARE(bench.wire(), (QStringList{"03 0215/1 @3", "03 0223/9 @3", "03 0233/9 @3", "03 022E/1 @3",
                                        "03 023E/1 @3", "03 006E/2 @3", "03 0070/2 @3", "03 000B/6 @3"}));
}

void ParamTabsTest::writeButtonsPutTheConvertedValueOnTheWire_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("writes");
    QTest::newRow("speed 10 mm/s at lead 1") << "spinD_pos1Speed" << 10.0 << "btnWrite_pos1Speed"
                                             << QStringList{"10 0237=EA60,0000 @3"};
    QTest::newRow("position 5.5 mm") << "spinD_pos0Pos" << 5.5 << "btnWrite_pos0Pos"
                                     << QStringList{"10 022A=157C,0000 @3"};
    QTest::newRow("acceleration 300 ms") << "spin_pos0Accel" << 300.0 << "btnWrite_pos0Accel"
                                         << QStringList{"06 0223=012C @3"};
    QTest::newRow("smoothing 20 ms is constant 50") << "spin_smoothMs" << 20.0 << "btnWrite_smoothMs"
                                                    << QStringList{"06 000A=0032 @3"};
    QTest::newRow("dynamic error with script copy") << "param_spinDynErrMm" << 0.2 << "btnWrite_dynErr"
                                                    << QStringList{"06 000B=0028 @3", "06 0141=0028 @3"};
    QTest::newRow("soft limit CW with script copy")
        << "spinD_softLimitCW" << 48.0 << "btnWrite_softLimitCW"
        << QStringList{"10 0070=BB80,0000 @3", "10 013E=BB80,0000 @3"};
}

void ParamTabsTest::writeButtonsPutTheConvertedValueOnTheWire()
{
    QFETCH(QString, box);
    QFETCH(double, value);
    QFETCH(QString, button);
    QFETCH(QStringList, writes);
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.setReg(Reg::DynamicErrorThreshold, 26);
    bench.setReg(Reg::StaticErrorThreshold, 20);
    bench.setReg(Reg::PositionWarningThreshold, 15);
    click(bench, "btnReadAllParams");
    bench.quiesce();

    QWidget *widget = bench.window->findChild<QWidget *>(box);
    if (auto *spinD = qobject_cast<QDoubleSpinBox *>(widget))
        spinD->setValue(value);
    else
        qobject_cast<QSpinBox *>(widget)->setValue(int(value));
    click(bench, qPrintable(button));

    QCOMPARE(bench.writes(), writes);
    QVERIFY2(bench.dialogs->count() == 0, qPrintable(titles(*bench.dialogs).join(QLatin1Char(','))));
}

void ParamTabsTest::torqueWriteKeepsTheDrivesHighByte()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.setReg(Reg::HomeTorque, 0x1A2B);
    bench.quiesce();
    bench.find<QSpinBox>("spin_homeTorque")->setValue(50);
    click(bench, "btnWrite_homeTorque");
    QCOMPARE(bench.wire(), (QStringList{"03 0215/1 @3", "06 0215=1A55 @3", "03 0215/1 @3"}));
    QCOMPARE(bench.reg(Reg::HomeTorque), quint16(0x1A55));
}

void ParamTabsTest::pushSwitchWritesTheModeWordAndFollowsWithTheRow_data()
{
    QTest::addColumn<int>("group");
    QTest::addColumn<QString>("onWrite");
    QTest::addColumn<QString>("torqueRead");
    QTest::addColumn<QString>("offWrite");
    QTest::newRow("Position 1") << 0 << "06 022E=00D0 @3" << "03 0248/1 @3" << "06 022E=00C0 @3";
    QTest::newRow("Position 2") << 1 << "06 023E=00A8 @3" << "03 0254/1 @3" << "06 023E=00A0 @3";
}

void ParamTabsTest::pushSwitchWritesTheModeWordAndFollowsWithTheRow()
{
    QFETCH(int, group);
    QFETCH(QString, onWrite);
    QFETCH(QString, torqueRead);
    QFETCH(QString, offWrite);
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.setReg(Reg::Pos0MotionMode, Reg::PushMode::Pos0Off);
    bench.setReg(Reg::Pos1MotionMode, Reg::PushMode::Pos1Off);
    bench.setReg(group == 0 ? Reg::Pos0PushTorque : Reg::Pos1PushTorque, 0x0055);
    click(bench, "btnReadAllParams");
    const QString row = QLatin1String(group == 0 ? "pos0" : "pos1") + QLatin1String("PushTorque");
    auto *box = bench.find<QCheckBox>(group == 0 ? "ckbtn_pos0Push" : "ckbtn_pos1Push");
    auto *torque = bench.window->findChild<QSpinBox *>(QLatin1String("spin_") + row);
    QVERIFY(!box->isChecked());
    QVERIFY(!torque->isEnabled());
    bench.quiesce();

    box->click();
    QCOMPARE(bench.wire(), (QStringList{onWrite, torqueRead}));
    QVERIFY(torque->isEnabled());
    QCOMPARE(torque->value(), 50);
    for (const char *prefixOfRow : {"cur_", "raw_", "slide_", "btnRead_", "btnWrite_"})
        QVERIFY(bench.window->findChild<QWidget *>(QLatin1String(prefixOfRow) + row)->isEnabled());

    bench.bus.clearRequests();
    box->click();
    QCOMPARE(bench.wire(), QStringList{offWrite});
    QVERIFY(!torque->isEnabled());
    QVERIFY(bench.dialogs->shown().isEmpty());
}

void ParamTabsTest::pushModeReadFromTheDriveSetsTheSwitchWithoutWriting_data()
{
    QTest::addColumn<quint16>("word");
    QTest::addColumn<bool>("on");
    QTest::newRow("push on") << quint16(0x00D0) << true;
    QTest::newRow("push off") << quint16(0x00C0) << false;
    QTest::newRow("another mode") << quint16(0x00D1) << false;
    QTest::newRow("position 2's on word") << quint16(0x00A8) << false;
}

void ParamTabsTest::pushModeReadFromTheDriveSetsTheSwitchWithoutWriting()
{
    QFETCH(quint16, word);
    QFETCH(bool, on);
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    // Start from the other state; this writes, so the drive's word is set afterwards.
    bench.find<QCheckBox>("ckbtn_pos0Push")->setChecked(!on);
    bench.setReg(Reg::Pos0MotionMode, word);
    bench.quiesce();

    click(bench, "btnReadAllParams");
    QCOMPARE(bench.find<QCheckBox>("ckbtn_pos0Push")->isChecked(), on);
    QCOMPARE(bench.find<QSpinBox>("spin_pos0PushTorque")->isEnabled(), on);
    QCOMPARE(bench.writes(), QStringList());
    QCOMPARE(bench.reg(Reg::Pos0MotionMode), word);
}

void ParamTabsTest::unconfirmedPushSwitchIsReportedAndUndone()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.setReg(Reg::Pos0MotionMode, Reg::PushMode::Pos0Off);
    click(bench, "btnReadAllParams");
    auto *box = bench.find<QCheckBox>("ckbtn_pos0Push");
    QVERIFY(!box->isChecked());
    bench.quiesce();
    bench.setFaults([](SimFaults &f) { f.silent = true; });

    box->click();

    QCOMPARE(bench.writes(), QStringList{"06 022E=00D0 @3"});
    QVERIFY(bench.dialogs->count() >= 1);
    const ScriptedDialogs::Shown shown = bench.dialogs->shown().first();
    QCOMPARE(shown.icon, QMessageBox::Warning);
    QCOMPARE(shown.title, QStringLiteral("Write Failed"));
    QVERIFY2(shown.text.startsWith(QLatin1String("Push mode was not switched")), qPrintable(shown.text));
    QVERIFY(!box->isChecked());
    QVERIFY(!bench.find<QSpinBox>("spin_pos0PushTorque")->isEnabled());
    QCOMPARE(bench.reg(Reg::Pos0MotionMode), Reg::PushMode::Pos0Off);
}

void ParamTabsTest::thresholdAngleLabels_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("label");
    QTest::addColumn<double>("mm");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("style");
    const QString red = QStringLiteral("color:#dc2626;font-weight:bold;");
    QTest::newRow("5 steps") << "param_spinPosWarnMm" << "param_lblPosWarn" << 0.25 << " = 9.0°" << "";
    QTest::newRow("2 steps, small") << "param_spinPosWarnMm" << "param_lblPosWarn" << 0.1 << " = 3.6°" << red;
    QTest::newRow("dynamic 25 steps") << "param_spinDynErrMm" << "param_lblDynErr" << 1.25 << " = 45.0°" << "";
    QTest::newRow("static 20 steps") << "param_spinStaErrMm" << "param_lblStaErr" << 1.0 << " = 36.0°" << "";
}

void ParamTabsTest::thresholdAngleLabels()
{
    QFETCH(QString, box);
    QFETCH(QString, label);
    QFETCH(double, mm);
    QFETCH(QString, text);
    QFETCH(QString, style);
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead10Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.window->findChild<QDoubleSpinBox *>(box)->setValue(mm);
    auto *shown = bench.window->findChild<QLabel *>(label);
    QCOMPARE(shown->text(), text);
    QCOMPARE(shown->styleSheet(), style);
}

void ParamTabsTest::thresholdBoxStepsFollowTheLead_data()
{
    QTest::addColumn<bool>("lead10");
    QTest::addColumn<double>("step");
    QTest::addColumn<double>("minimum");
    QTest::newRow("lead 10: one step 0.05 mm") << true << 0.05 << 0.80;
    QTest::newRow("lead 1: one step raised to 0.01 mm") << false << 0.01 << 0.09;
}

void ParamTabsTest::thresholdBoxStepsFollowTheLead()
{
    QFETCH(bool, lead10);
    QFETCH(double, step);
    QFETCH(double, minimum);
    ParamWindowBench bench;
    const QString skip = bench.start(lead10 ? ParamWindowBench::lead10Drive() : ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    for (const char *name : {"spinDynErrMm", "spinStaErrMm", "spinPosWarnMm", "param_spinDynErrMm",
                             "param_spinStaErrMm", "param_spinPosWarnMm"}) {
        auto *box = bench.find<QDoubleSpinBox>(name);
        QVERIFY2(qAbs(box->singleStep() - step) < 1e-9, name);
        QCOMPARE(box->decimals(), 2);
    }
    QVERIFY(qAbs(bench.find<QDoubleSpinBox>("param_spinDynErrMm")->minimum() - minimum) < 1e-9);
    QVERIFY(qAbs(bench.find<QDoubleSpinBox>("param_spinStaErrMm")->minimum() - minimum) < 1e-9);
    QCOMPARE(bench.find<QDoubleSpinBox>("param_spinPosWarnMm")->minimum(), 0.01);
}

void ParamTabsTest::currentLimitsAreTheTwoBytesOfOneRegister()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.setReg(Reg::CurrentLimits, 0x5A3C);
    click(bench, "btnRead_runCurrent");
    QCOMPARE(bench.find<QSpinBox>("spin_runCurrent")->value(), 90);
    QCOMPARE(bench.find<QSpinBox>("spin_idleCurrent")->value(), 60);
    QCOMPARE(bench.find<QLabel>("cur_runCurrent")->text(), QStringLiteral("90"));
    QCOMPARE(bench.find<QLabel>("cur_idleCurrent")->text(), QStringLiteral("60"));
    QCOMPARE(bench.find<QLabel>("raw_runCurrent")->text(), QStringLiteral("(0X5A)"));
    QCOMPARE(bench.find<QLabel>("raw_idleCurrent")->text(), QStringLiteral("(0X3C)"));
}

void ParamTabsTest::currentWriteKeepsTheOtherByte_data()
{
    QTest::addColumn<bool>("running");
    QTest::addColumn<quint16>("driveWord");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("write");
    QTest::newRow("running 100 % beside idle 0x32") << true << quint16(0x3232) << 100 << "06 000E=6432 @3";
    QTest::newRow("idle 40 % beside running 0x64") << false << quint16(0x6432) << 40 << "06 000E=6428 @3";
    QTest::newRow("idle below 30 is raised") << false << quint16(0x6432) << 20 << "06 000E=641E @3";
    QTest::newRow("running below 30 is raised") << true << quint16(0x3232) << 10 << "06 000E=1E32 @3";
}

void ParamTabsTest::currentWriteKeepsTheOtherByte()
{
    QFETCH(bool, running);
    QFETCH(quint16, driveWord);
    QFETCH(int, value);
    QFETCH(QString, write);
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.setReg(Reg::CurrentLimits, driveWord);
    bench.quiesce();
    auto *box = bench.find<QSpinBox>(running ? "spin_runCurrent" : "spin_idleCurrent");
    box->setMinimum(0);  // a box that lets a lower value through
    box->setValue(value);
    click(bench, running ? "btnWrite_runCurrent" : "btnWrite_idleCurrent");

    QCOMPARE(bench.wire(), (QStringList{"03 000E/1 @3", write, "03 000E/1 @3"}));
    const quint16 written = bench.reg(Reg::CurrentLimits);
    QCOMPARE(bench.find<QSpinBox>("spin_runCurrent")->value(), int(written >> 8));
    QCOMPARE(bench.find<QSpinBox>("spin_idleCurrent")->value(), int(written & 0xFF));
    QCOMPARE(bench.dialogs->count(), 0);
}

void ParamTabsTest::currentWriteWithoutPreReadWritesNothing()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive(), QStringLiteral("en"));
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.quiesce();
    bench.setFaults([](SimFaults &f) { f.silent = true; });
    click(bench, "btnWrite_runCurrent");
    QCOMPARE(bench.writes(), QStringList());
    QVERIFY(bench.dialogs->count() >= 1);
    const ScriptedDialogs::Shown shown = bench.dialogs->shown().first();
    QCOMPARE(shown.icon, QMessageBox::Critical);
    QCOMPARE(shown.title, QStringLiteral("寫入失敗"));
    QCOMPARE(shown.text, QStringLiteral("運轉最小電流寫入失敗。"));
}

void ParamTabsTest::unconfirmedCurrentWriteIsReported()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive(), QStringLiteral("zh"));
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.setReg(Reg::CurrentLimits, 0x3232);
    bench.quiesce();
    // The pre-read is answered, the write is not.
    bench.setFaults([](SimFaults &f) { f.silentAfterReplies = 1; });
    bench.find<QSpinBox>("spin_idleCurrent")->setValue(60);
    click(bench, "btnWrite_idleCurrent");

    QCOMPARE(bench.writes(), QStringList{"06 000E=323C @3"});
    QVERIFY(bench.dialogs->count() >= 1);
    const ScriptedDialogs::Shown shown = bench.dialogs->shown().first();
    QCOMPARE(shown.icon, QMessageBox::Warning);
    QCOMPARE(shown.title, QStringLiteral("寫入失敗"));
    QVERIFY2(shown.text.startsWith(QStringLiteral("停止電流寫入失敗：設備未確認。")), qPrintable(shown.text));
}

void ParamTabsTest::restoreDefaultsOnlyChangesTheScreen()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead10Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.find<QSpinBox>("spin_smoothMs")->setValue(7);
    bench.find<QSpinBox>("spin_idleCurrent")->setValue(33);
    bench.find<QSpinBox>("spin_runCurrent")->setValue(99);
    bench.quiesce();
    bench.dialogs->queueAnswer(QMessageBox::Yes);
    click(bench, "btnRestoreAdvDefaults");

    QCOMPARE(bench.dialogs->count(), 1);
    QCOMPARE(bench.dialogs->last().title, QStringLiteral("Restore Defaults"));
    QCOMPARE(bench.dialogs->last().buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(bench.find<QSpinBox>("spin_smoothMs")->value(), 40);
    QCOMPARE(bench.find<QSpinBox>("spin_idleCurrent")->value(), 50);
    QCOMPARE(bench.find<QSpinBox>("spin_runCurrent")->value(), 50);
    QCOMPARE(bench.find<QDoubleSpinBox>("param_spinDynErrMm")->value(), 1.25);
    QCOMPARE(bench.find<QDoubleSpinBox>("param_spinStaErrMm")->value(), 1.0);
    QCOMPARE(bench.find<QDoubleSpinBox>("param_spinPosWarnMm")->value(), 0.75);
    QCOMPARE(bench.find<QLabel>("param_lblDynErr")->text(), QStringLiteral(" = 45.0°"));
    QCOMPARE(bench.wire(), QStringList());
}

void ParamTabsTest::declinedRestoreChangesNothing()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead10Drive(), QStringLiteral("zh"));
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.find<QSpinBox>("spin_smoothMs")->setValue(7);
    bench.find<QDoubleSpinBox>("param_spinPosWarnMm")->setValue(0.3);
    bench.dialogs->clear();
    click(bench, "btnRestoreAdvDefaults");  // unanswered: the default button, No
    QCOMPARE(bench.dialogs->last().title, QStringLiteral("恢復建議值"));
    QCOMPARE(bench.find<QSpinBox>("spin_smoothMs")->value(), 7);
    QCOMPARE(bench.find<QDoubleSpinBox>("param_spinPosWarnMm")->value(), 0.3);
}

void ParamTabsTest::saveToRomShowsTheOutcome_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("saved, en") << "en" << false << "btnSaveParams" << int(QMessageBox::Information) << "OK"
                               << "Saved successfully";
    QTest::newRow("saved from the Advanced tab, zh") << "zh" << false << "btnSaveParams_adv"
                                                     << int(QMessageBox::Information) << "OK" << "保存成功";
    QTest::newRow("not confirmed, en") << "en" << true << "btnSaveParams" << int(QMessageBox::Warning)
                                       << "Save Failed"
                                       << "Connection failed: the device did not confirm the save command.";
    QTest::newRow("not confirmed, zh") << "zh" << true << "btnSaveParams_adv" << int(QMessageBox::Warning)
                                       << "保存失敗" << "連線失敗: 設備未確認保存指令。";
}

void ParamTabsTest::saveToRomShowsTheOutcome()
{
    QFETCH(QString, lang);
    QFETCH(bool, silent);
    QFETCH(QString, button);
    QFETCH(int, icon);
    QFETCH(QString, title);
    QFETCH(QString, text);
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive(), lang);
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.quiesce();
    bench.setFaults([silent](SimFaults &f) { f.silent = silent; });
    click(bench, qPrintable(button));

    QCOMPARE(bench.writes(), QStringList{"06 00DC=0001 @3"});
    QVERIFY(bench.dialogs->count() >= 1);
    const ScriptedDialogs::Shown shown = bench.dialogs->shown().first();
    QCOMPARE(int(shown.icon), icon);
    QCOMPARE(shown.title, title);
    QCOMPARE(shown.text, text);
}

void ParamTabsTest::motionTabShownReadsItsParameters()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.setReg(Reg::Pos0MotionMode, Reg::PushMode::Pos0Off);
    bench.setReg(Reg::Pos1MotionMode, Reg::PushMode::Pos1On);
    bench.setReg(Reg::PositionWarningThreshold, 10);
    bench.quiesce();
    bench.find<QTabWidget>("mainTabs")->setCurrentIndex(MainWindow::MotionTab);
    QVERIFY(bench.wire().isEmpty());  // not before the tab is shown

    const QStringList expected{"03 0215/1 @3", "03 0223/9 @3", "03 0233/9 @3", "03 022E/1 @3", "03 023E/1 @3",
                               "03 0254/1 @3", "03 006E/2 @3", "03 0070/2 @3", "03 000B/6 @3", "03 006E/2 @3",
                               "03 0070/2 @3"};
    QTRY_COMPARE_WITH_TIMEOUT(bench.wire(), expected, 10000);
    QCOMPARE(bench.find<QLabel>("param_lblPosWarn")->text(), QStringLiteral(" = 18.0°"));
}

void ParamTabsTest::advancedTabShownReadsItsParameters()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.setReg(Reg::SmoothingConstant, 50);
    bench.setReg(Reg::CurrentLimits, 0x4641);
    bench.quiesce();
    bench.find<QTabWidget>("mainTabs")->setCurrentIndex(MainWindow::AdvancedTab);

    const QStringList expected{"03 000E/1 @3", "03 000A/1 @3", "03 000B/1 @3", "03 000C/1 @3", "03 0010/1 @3"};
    QTRY_COMPARE_WITH_TIMEOUT(bench.wire(), expected, 10000);
    QCOMPARE(bench.find<QSpinBox>("spin_smoothMs")->value(), 20);
    QCOMPARE(bench.find<QSpinBox>("spin_runCurrent")->value(), 70);
    QCOMPARE(bench.find<QSpinBox>("spin_idleCurrent")->value(), 65);
}

void ParamTabsTest::refusedWriteShowsTheManagersMessage()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    click(bench, "btnReadAllParams");
    bench.find<QDoubleSpinBox>("spinD_pos0Pos")->setValue(30.0);
    bench.find<QDoubleSpinBox>("spinD_pos1Pos")->setValue(10.0);
    bench.quiesce();
    click(bench, "btnWrite_pos1Pos");

    QCOMPARE(bench.writes(), QStringList());
    QCOMPARE(bench.dialogs->count(), 1);
    QCOMPARE(bench.dialogs->last().icon, QMessageBox::Warning);
    QCOMPARE(bench.dialogs->last().title, QStringLiteral("Parameter Error"));
    QCOMPARE(bench.dialogs->last().text,
             QStringLiteral("Position 2 (10.00 mm) must exceed Position 1 (30.00 mm).\n\n(Not written)"));
}

void ParamTabsTest::triangularQuestionDecidesTheWrite_data()
{
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QStringList>("writes");
    QTest::newRow("Yes writes") << true << QStringList{"10 0237=A980,0003 @3"};
    QTest::newRow("No leaves the drive alone") << false << QStringList();
}

void ParamTabsTest::triangularQuestionDecidesTheWrite()
{
    QFETCH(bool, yes);
    QFETCH(QStringList, writes);
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    click(bench, "btnReadAllParams");
    // 1 s ramps to 40 mm/s need 40 mm; the positions are 25 mm apart.
    bench.find<QSpinBox>("spin_pos1Accel")->setValue(1000);
    bench.find<QSpinBox>("spin_pos1Decel")->setValue(1000);
    bench.find<QDoubleSpinBox>("spinD_pos1Speed")->setValue(40.0);
    bench.quiesce();
    bench.dialogs->queueAnswer(yes ? QMessageBox::Yes : QMessageBox::No);
    click(bench, "btnWrite_pos1Speed");

    QCOMPARE(bench.dialogs->count(), 1);
    QCOMPARE(bench.dialogs->last().icon, QMessageBox::Question);
    QCOMPARE(bench.dialogs->last().title, QStringLiteral("Triangular Velocity Profile"));
    QCOMPARE(bench.dialogs->last().buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY(bench.dialogs->last().text.startsWith(QLatin1String("Current parameters result in a triangular profile.")));
    QCOMPARE(bench.writes(), writes);
}

void ParamTabsTest::motionCheckResultIsShownBesideEachGroup()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    // Positions 0 and 25 mm, 20 mm/s, 200 ms ramps: 21 mm at speed plus 0.4 s.
    click(bench, "btnReadAllParams");
    auto *status0 = bench.find<QLabel>("lblMotionStatus0");
    auto *cycle0 = bench.find<QLabel>("lblCycleTime0");
    QTRY_COMPARE(status0->text(), QStringLiteral("✓"));
    QCOMPARE(status0->styleSheet(), QStringLiteral("color: #16a34a; font-weight: bold;"));
    QCOMPARE(cycle0->text(), QStringLiteral("1.45 s"));
    QTRY_COMPARE(bench.find<QLabel>("lblCycleTime1")->text(), QStringLiteral("1.45 s"));

    bench.find<QDoubleSpinBox>("spinD_pos1Pos")->setValue(0.5);
    QTRY_COMPARE(status0->text(), QStringLiteral("✗"));
    QCOMPARE(status0->styleSheet(), QStringLiteral("color: #dc2626; font-weight: bold;"));
    QCOMPARE(cycle0->text(), QStringLiteral("-- s"));
    QCOMPARE(status0->toolTip(), QStringLiteral("✗ Distance must be ≥ 1.00 mm (current 0.50 mm)"));
    QTRY_COMPARE(bench.find<QLabel>("lblMotionStatus1")->text(), QStringLiteral("✗"));
}

void ParamTabsTest::pollingRunsAgainAfterEveryParameterAction()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    ModbusWorker *worker = bench.worker();
    QVERIFY(!worker->isPollingPaused());
    for (const char *button : {"btnReadAllParams", "btnSaveParams", "btnRead_idleCurrent", "btnWrite_runCurrent",
                               "btnRead_pos0Speed", "btnWrite_smoothMs"}) {
        click(bench, button);
        QVERIFY2(!worker->isPollingPaused(), button);
    }
    bench.find<QCheckBox>("ckbtn_pos1Push")->click();
    QVERIFY(!worker->isPollingPaused());
    QSignalSpy states(worker, &ModbusWorker::stateUpdated);
    QVERIFY(states.wait(5000));
}

int main(int argc, char *argv[])
{
    return runWindowTest<ParamTabsTest>(argc, argv);
}

#include "tst_paramtabs.moc"
