// The parameter table without a drive: row bindings, display, language,
// and the delayed motion check.

#include "modbusworker.h"
#include "paramrows.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <memory>

class TestParamManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void registerParam_bindsDecimalBoxAndSliderBothWays();
    void registerParam_bindsIntegerBoxAndSliderBothWays();
    void registerParam_storesBilingualTitles();
    void registerParam_writesUpperCaseHexLabels_data();
    void registerParam_writesUpperCaseHexLabels();
    void registerParam_leavesSoftLimitHexLabelsAlone();
    void updateDisplay_showsEachKeyClass_data();
    void updateDisplay_showsEachKeyClass();
    void updateDisplay_labelsSmoothingConstantInCurrentLanguage();
    void updateDisplay_doesNotRestartMotionCheckOrEmitChanges();
    void updateDisplay_ignoresUnknownKey();
    void retranslate_switchesTitlesAndButtons();
    void applyDriveRanges_boundsSpeedsPositionsAndSoftLimits();
    void labelOf_followsManagerLanguage();
    void valueChange_restartsTheTimerOfItsGroup_data();
    void valueChange_restartsTheTimerOfItsGroup();
    void validationTimer_reportsItsGroupOnce();
    void validateMotion_usesBoxValuesAndLead();
    void validateMotion_treatsMissingRowsAsZero();

private:
    std::unique_ptr<ModbusWorker> m_worker;
    std::unique_ptr<ParamManager> m_manager;
    std::unique_ptr<ParamRows> m_rows;
};

void TestParamManager::init()
{
    m_worker = std::make_unique<ModbusWorker>();
    m_manager = std::make_unique<ParamManager>(m_worker.get());
    m_rows = std::make_unique<ParamRows>(*m_manager);
}

void TestParamManager::cleanup()
{
    m_rows.reset();
    m_manager.reset();
    m_worker.reset();
}

void TestParamManager::registerParam_bindsDecimalBoxAndSliderBothWays()
{
    QDoubleSpinBox *box = m_rows->spinD(QStringLiteral("pos0Speed"));
    QSlider *slider = m_rows->slider(QStringLiteral("pos0Speed"));
    QCOMPARE(slider->minimum(), 0);
    QCOMPARE(slider->maximum(), 100000);

    box->setValue(12.34);
    QCOMPARE(slider->value(), 1234);
    slider->setValue(2507);
    QCOMPARE(box->value(), 25.07);

    // A negative soft limit maps onto a negative slider position.
    QSlider *ccw = m_rows->slider(QStringLiteral("softLimitCCW"));
    QCOMPARE(ccw->minimum(), -5000);
    m_rows->spinD(QStringLiteral("softLimitCCW"))->setValue(-1.5);
    QCOMPARE(ccw->value(), -150);
}

void TestParamManager::registerParam_bindsIntegerBoxAndSliderBothWays()
{
    QSpinBox *box = m_rows->spin(QStringLiteral("homeTorque"));
    QSlider *slider = m_rows->slider(QStringLiteral("homeTorque"));
    QCOMPARE(slider->minimum(), 20);
    QCOMPARE(slider->maximum(), 90);
    box->setValue(55);
    QCOMPARE(slider->value(), 55);
    slider->setValue(61);
    QCOMPARE(box->value(), 61);
}

void TestParamManager::registerParam_storesBilingualTitles()
{
    QLabel *title = m_rows->title(QStringLiteral("pos1Speed"));
    QCOMPARE(title->property("zh").toString(), QStringLiteral("移動速度 (mm/s)"));
    QCOMPARE(title->property("en").toString(), QStringLiteral("Speed (mm/s)"));
}

void TestParamManager::registerParam_writesUpperCaseHexLabels_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::newRow("homing torque") << "homeTorque" << "0X0215";
    QTest::newRow("dynamic threshold") << "dynErr" << "0X000B";
    QTest::newRow("position") << "pos1Pos" << "0X023A";
    QTest::newRow("smoothing") << "smoothMs" << "0X000A";
}

void TestParamManager::registerParam_writesUpperCaseHexLabels()
{
    QFETCH(QString, key);
    QFETCH(QString, text);
    QCOMPARE(m_rows->hex(key)->text(), text);
}

void TestParamManager::registerParam_leavesSoftLimitHexLabelsAlone()
{
    QCOMPARE(m_rows->hex(QStringLiteral("softLimitCCW"))->text(), QStringLiteral("0x006E (2W)"));
    QCOMPARE(m_rows->hex(QStringLiteral("softLimitCW"))->text(), QStringLiteral("0x0070 (2W)"));
    QVERIFY(!m_manager->params().value(QStringLiteral("softLimitCCW")).hexLabel);
}

void TestParamManager::updateDisplay_showsEachKeyClass_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<quint32>("raw");
    QTest::addColumn<double>("lead");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("sliderValue");  // rows without a slider ignore it
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("rawText");
    QTest::newRow("negative position") << "softLimitCCW" << quint32(0xFFFFFA24) << 10.0 << -1.5 << -150 << "-1.50"
                                       << "(4294965796)";
    QTest::newRow("position") << "pos1Pos" << quint32(40000) << 10.0 << 40.0 << 4000 << "40.00" << "(40000)";
    QTest::newRow("speed at 5 mm") << "pos0Speed" << quint32(60000) << 5.0 << 50.0 << 5000 << "50.00" << "(60000)";
    QTest::newRow("threshold steps") << "dynErr" << quint32(6) << 10.0 << 0.3 << -1 << "0.30" << "6 steps";
    QTest::newRow("position warning steps") << "posWarn" << quint32(15) << 2.0 << 0.15 << -1 << "0.15"
                                            << "15 steps";
    QTest::newRow("homing torque zero") << "homeTorque" << quint32(0) << 10.0 << 20.0 << 20 << "20" << "(0)";
    QTest::newRow("homing torque") << "homeTorque" << quint32(85) << 10.0 << 50.0 << 50 << "50" << "(85)";
    QTest::newRow("push torque above range") << "pos0PushTorque" << quint32(255) << 10.0 << 70.0 << 70 << "70"
                                             << "(255)";
    QTest::newRow("time") << "pos1Decel" << quint32(250) << 10.0 << 250.0 << 250 << "250" << "(250)";
    QTest::newRow("smoothing zero") << "smoothMs" << quint32(0) << 10.0 << 1000.0 << -1 << "1000" << "(常數 0)";
}

void TestParamManager::updateDisplay_showsEachKeyClass()
{
    QFETCH(QString, key);
    QFETCH(quint32, raw);
    QFETCH(double, lead);
    QFETCH(double, value);
    QFETCH(int, sliderValue);
    QFETCH(QString, current);
    QFETCH(QString, rawText);

    m_manager->updateDisplay(key, raw, lead);

    if (QDoubleSpinBox *box = m_rows->spinD(key))
        QCOMPARE(box->value(), value);
    else
        QCOMPARE(m_rows->spin(key)->value(), int(value));
    if (m_rows->slider(key))
        QCOMPARE(m_rows->slider(key)->value(), sliderValue);
    QCOMPARE(m_rows->cur(key)->text(), current);
    QCOMPARE(m_rows->raw(key)->text(), rawText);
}

void TestParamManager::updateDisplay_labelsSmoothingConstantInCurrentLanguage()
{
    m_manager->setLang(QStringLiteral("en"));
    m_manager->updateDisplay(QStringLiteral("smoothMs"), 25, 10.0);
    QCOMPARE(m_rows->spin(QStringLiteral("smoothMs"))->value(), 40);
    QCOMPARE(m_rows->raw(QStringLiteral("smoothMs"))->text(), QStringLiteral("(const 25)"));

    m_manager->setLang(QStringLiteral("zh"));
    m_manager->updateDisplay(QStringLiteral("smoothMs"), 25, 10.0);
    QCOMPARE(m_rows->raw(QStringLiteral("smoothMs"))->text(), QStringLiteral("(常數 25)"));
}

void TestParamManager::updateDisplay_doesNotRestartMotionCheckOrEmitChanges()
{
    QSignalSpy changed(m_rows->spinD(QStringLiteral("pos0Pos")), qOverload<double>(&QDoubleSpinBox::valueChanged));
    m_manager->updateDisplay(QStringLiteral("pos0Pos"), 12000, 10.0);
    m_manager->updateDisplay(QStringLiteral("pos1Accel"), 300, 10.0);
    QCOMPARE(m_rows->spinD(QStringLiteral("pos0Pos"))->value(), 12.0);
    QCOMPARE(changed.count(), 0);
    QVERIFY(!m_manager->validateTimer0()->isActive());
    QVERIFY(!m_manager->validateTimer1()->isActive());
}

void TestParamManager::updateDisplay_ignoresUnknownKey()
{
    m_manager->updateDisplay(QStringLiteral("pos0PushMode"), 0xD0, 10.0);
    m_manager->updateDisplay(QStringLiteral("idleCurrent"), 50, 10.0);
    QCOMPARE(m_manager->params().size(), 17);
    QVERIFY(!m_manager->params().contains(QStringLiteral("pos0PushMode")));
}

void TestParamManager::retranslate_switchesTitlesAndButtons()
{
    m_manager->retranslate(QStringLiteral("en"));
    QCOMPARE(m_rows->title(QStringLiteral("softLimitCW"))->text(), QStringLiteral("S.L. CW (mm)"));
    QCOMPARE(m_rows->readButton(QStringLiteral("dynErr"))->text(), QStringLiteral("Read"));
    QCOMPARE(m_rows->writeButton(QStringLiteral("smoothMs"))->text(), QStringLiteral("Write"));

    m_manager->retranslate(QStringLiteral("zh"));
    QCOMPARE(m_rows->title(QStringLiteral("softLimitCW"))->text(), QStringLiteral("正向軟限位 (mm)"));
    QCOMPARE(m_rows->readButton(QStringLiteral("dynErr"))->text(), QStringLiteral("讀取"));
    QCOMPARE(m_rows->writeButton(QStringLiteral("smoothMs"))->text(), QStringLiteral("寫入"));
}

void TestParamManager::applyDriveRanges_boundsSpeedsPositionsAndSoftLimits()
{
    m_rows->set(QStringLiteral("pos1Pos"), 45.0);
    m_rows->set(QStringLiteral("pos0Speed"), 700.0);
    m_manager->applyDriveRanges(8.0, 40);

    QCOMPARE(m_rows->spinD(QStringLiteral("pos0Speed"))->maximum(), 400.0);
    QCOMPARE(m_rows->slider(QStringLiteral("pos0Speed"))->maximum(), 40000);
    QCOMPARE(m_rows->spinD(QStringLiteral("pos0Speed"))->value(), 400.0);
    QCOMPARE(m_rows->slider(QStringLiteral("pos0Speed"))->value(), 40000);
    QCOMPARE(m_rows->spinD(QStringLiteral("pos1Pos"))->maximum(), 40.0);
    QCOMPARE(m_rows->spinD(QStringLiteral("pos1Pos"))->value(), 40.0);
    QCOMPARE(m_rows->slider(QStringLiteral("pos1Pos"))->value(), 4000);
    QCOMPARE(m_rows->spinD(QStringLiteral("softLimitCCW"))->maximum(), 40.0);
    QCOMPARE(m_rows->slider(QStringLiteral("softLimitCW"))->maximum(), 4000);
    // Rows without a slider, and integer rows, keep their ranges.
    QCOMPARE(m_rows->spinD(QStringLiteral("dynErr"))->maximum(), 10.0);
    QCOMPARE(m_rows->spin(QStringLiteral("pos0Accel"))->maximum(), 1000);
}

void TestParamManager::labelOf_followsManagerLanguage()
{
    QCOMPARE(m_manager->lang(), QStringLiteral("zh"));
    QCOMPARE(m_manager->labelOf(QStringLiteral("pos0Pos")), QStringLiteral("位置 1"));
    m_manager->setLang(QStringLiteral("en"));
    QCOMPARE(m_manager->labelOf(QStringLiteral("pos0Pos")), QStringLiteral("Position 1"));
    QCOMPARE(m_manager->labelOf(QStringLiteral("mystery")), QStringLiteral("mystery"));
}

void TestParamManager::valueChange_restartsTheTimerOfItsGroup_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("group0");
    QTest::addColumn<bool>("group1");
    QTest::newRow("position 1 acceleration") << "pos0Accel" << 300.0 << true << false;
    QTest::newRow("position 2 speed") << "pos1Speed" << 20.0 << false << true;
    QTest::newRow("position 1 restarts both") << "pos0Pos" << 5.0 << true << true;
    QTest::newRow("position 2 restarts both") << "pos1Pos" << 5.0 << true << true;
    QTest::newRow("push torque is not a motion value") << "pos0PushTorque" << 40.0 << false << false;
    QTest::newRow("soft limit is not a motion value") << "softLimitCW" << 10.0 << false << false;
}

void TestParamManager::valueChange_restartsTheTimerOfItsGroup()
{
    QFETCH(QString, key);
    QFETCH(double, value);
    QFETCH(bool, group0);
    QFETCH(bool, group1);
    m_rows->set(key, value);
    QCOMPARE(m_manager->validateTimer0()->isActive(), group0);
    QCOMPARE(m_manager->validateTimer1()->isActive(), group1);
    QCOMPARE(m_manager->validateTimer0()->interval(), ParamManager::ValidateDelayMs);
    QVERIFY(m_manager->validateTimer0()->isSingleShot());
}

void TestParamManager::validationTimer_reportsItsGroupOnce()
{
    m_manager->setLead(10.0);
    m_manager->setLang(QStringLiteral("en"));
    m_rows->set(QStringLiteral("pos1Pos"), 5.0);  // 0 and 5 mm: closer than one lead
    QSignalSpy spy(m_manager.get(), &ParamManager::motionValidated);
    // A burst of edits postpones the check; each group reports once.
    m_rows->set(QStringLiteral("pos1Speed"), 10.0);
    m_rows->set(QStringLiteral("pos1Speed"), 11.0);
    QTRY_COMPARE(spy.count(), 2);
    QTest::qWait(2 * ParamManager::ValidateDelayMs);
    QCOMPARE(spy.count(), 2);
    QStringList groups;
    for (const QList<QVariant> &args : spy) {
        groups << args.at(0).toString();
        const auto r = args.at(1).value<MotionValidationResult>();
        QCOMPARE(r.status, MotionCheck::StatusTooClose);
        QCOMPARE(r.message, QStringLiteral("✗ Distance must be ≥ 10.00 mm (current 5.00 mm)"));
    }
    groups.sort();
    QCOMPARE(groups, (QStringList{QStringLiteral("pos0"), QStringLiteral("pos1")}));
}

void TestParamManager::validateMotion_usesBoxValuesAndLead()
{
    m_manager->setLead(10.0);
    m_manager->setLang(QStringLiteral("en"));
    m_rows->set(QStringLiteral("pos0Pos"), 0.0);
    m_rows->set(QStringLiteral("pos1Pos"), 50.0);
    m_rows->set(QStringLiteral("pos0Speed"), 100.0);
    m_rows->set(QStringLiteral("pos0Accel"), 100);
    m_rows->set(QStringLiteral("pos0Decel"), 100);
    m_rows->set(QStringLiteral("pos1Speed"), 400.0);
    m_rows->set(QStringLiteral("pos1Accel"), 1000);
    m_rows->set(QStringLiteral("pos1Decel"), 1000);

    const MotionValidationResult slow = m_manager->validateMotion(QStringLiteral("pos0"));
    QCOMPARE(slow.status, MotionCheck::StatusOk);
    QCOMPARE(slow.message, QStringLiteral("✓ Trapezoid 0.60 s"));
    const MotionValidationResult fast = m_manager->validateMotion(QStringLiteral("pos1"));
    QCOMPARE(fast.status, MotionCheck::StatusTriangular);

    m_manager->setLead(20.0);  // 50 mm apart is still more than one lead; the limit is 1000 mm/s
    QCOMPARE(m_manager->validateMotion(QStringLiteral("pos0")).status, MotionCheck::StatusOk);
    m_manager->setLead(60.0);
    QCOMPARE(m_manager->validateMotion(QStringLiteral("pos0")).status, MotionCheck::StatusTooClose);
}

void TestParamManager::validateMotion_treatsMissingRowsAsZero()
{
    ParamManager bare(m_worker.get());
    bare.setLead(10.0);
    bare.setLang(QStringLiteral("en"));
    const MotionValidationResult r = bare.validateMotion(QStringLiteral("pos0"));
    QCOMPARE(r.status, MotionCheck::StatusTooClose);
    QCOMPARE(r.message, QStringLiteral("✗ Distance must be ≥ 10.00 mm (current 0.00 mm)"));
}

QTEST_MAIN(TestParamManager)
#include "tst_parammanager.moc"
