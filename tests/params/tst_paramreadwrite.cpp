// Reading and writing parameters against the simulated drive bus, with the
// real worker in between; what reached the wire comes from the bus's log.

#include "modbusworker.h"
#include "paramrows.h"
#include "registers.h"
#include "simbus.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

constexpr quint8 Station = 3;
constexpr double Lead = 10.0;
constexpr quint8 ReadHolding = 0x03;

// A bus with one drive at station 3 and a worker connected to it, polling paused.
class DriveBench
{
public:
    QString start()
    {
        SimDriveConfig config;
        config.station = Station;
        bus.addDrive(config);
        if (!bus.start())
            return QStringLiteral("the simulated bus could not open a pseudo-terminal: %1").arg(bus.errorString());
        worker.setPortName(bus.portPath());
        worker.setStation(Station);
        QSignalSpy connected(&worker, &ModbusWorker::connectedSuccessfully);
        worker.start();
        if (!connected.wait(10000))
            return QStringLiteral("the worker did not connect to the simulated bus");
        quiesce();
        return QString();
    }

    // Pauses polling and returns once a poll cycle in flight has ended: the
    // worker serves a request only between cycles.
    void quiesce()
    {
        worker.setPollingPaused(true);
        worker.syncRead(Station, Reg::HomeTorque, 1);
        bus.clearRequests();
    }

    QVector<SimRequest> writes() const
    {
        QVector<SimRequest> found;
        for (const SimRequest &r : bus.requests()) {
            if (r.function != ReadHolding)
                found.append(r);
        }
        return found;
    }

    // "03 0215/1", "06 0215=1A55", "10 0237=EA60,0000": the log in short.
    QStringList wire() const
    {
        QStringList lines;
        for (const SimRequest &r : bus.requests()) {
            QString line = QStringLiteral("%1 %2").arg(r.function, 2, 16, QLatin1Char('0')).arg(r.address, 4, 16, QLatin1Char('0'));
            if (r.function == ReadHolding) {
                line += QStringLiteral("/%1").arg(r.count);
            } else {
                QStringList values;
                for (quint16 v : r.values)
                    values << QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0'));
                line += QLatin1Char('=') + values.join(QLatin1Char(','));
            }
            lines << line.toUpper();
        }
        return lines;
    }

    quint16 reg(quint16 address) const { return bus.registerValue(Station, address); }
    void setReg(quint16 address, quint16 value) { bus.setRegisterValue(Station, address, value); }
    void setReg32(quint16 address, qint32 value)
    {
        setReg(address, quint16(quint32(value) & 0xFFFF));
        setReg(address + 1, quint16(quint32(value) >> 16));
    }

    void setFaults(const std::function<void(SimFaults &)> &change)
    {
        SimFaults f;
        change(f);
        bus.setFaults(f);
    }

    SimBus bus;
    ModbusWorker worker;  // declared last: stops before the bus goes away
};

// Every signal of the manager, in the order it came.
class Recorder
{
public:
    explicit Recorder(ParamManager &manager)
    {
        QObject::connect(&manager, &ParamManager::pauseWorker, &manager,
                         [this](bool paused) { events << (paused ? QStringLiteral("pause") : QStringLiteral("resume")); });
        QObject::connect(&manager, &ParamManager::validationError, &manager,
                         [this](const QString &m) { events << QStringLiteral("error:") + m; });
        QObject::connect(&manager, &ParamManager::pos0PushModeRead, &manager,
                         [this](bool on) { events << QStringLiteral("push0:%1").arg(on); });
        QObject::connect(&manager, &ParamManager::pos1PushModeRead, &manager,
                         [this](bool on) { events << QStringLiteral("push1:%1").arg(on); });
        QObject::connect(&manager, &ParamManager::motionValidated, &manager,
                         [this](const QString &g, const MotionValidationResult &r) {
                             events << QStringLiteral("motion:%1:%2").arg(g).arg(r.status);
                         });
        // Answers the way the window's Yes/No box does: before the emit returns.
        QObject::connect(&manager, &ParamManager::triangularProfileWarning, &manager,
                         [this, &manager](const QString &m) {
                             events << QStringLiteral("triangular:") + m;
                             manager.setConfirmTriangular(answerYes);
                         });
        QObject::connect(&manager, &ParamManager::liftForceWarning, &manager,
                         [this](const QString &m) { events << QStringLiteral("lift:") + m; });
    }

    QStringList errors() const
    {
        QStringList found;
        for (const QString &e : events) {
            if (e.startsWith(QLatin1String("error:")))
                found << e.mid(6);
        }
        return found;
    }

    QStringList events;
    bool answerYes = true;
};

}  // namespace

class TestParamReadWrite : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void readSingle_showsTwoWordValueFromDrive();
    void readSingle_keepsOnlyTorqueLowByte();
    void readSingle_leavesRowAloneWhenDriveIsSilent();
    void readSingle_ignoresUnknownKey();
    void readAll_fillsEveryRowInReadOrder();
    void readAll_reportsPushModeOnlyForTheOnWord_data();
    void readAll_reportsPushModeOnlyForTheOnWord();
    void readAll_withOnlyFirstTwoAnswers_updatesThoseRowsAndStartsChecks();

    void writeSingle_refusesBrokenRulesWithoutTouchingDrive_data();
    void writeSingle_refusesBrokenRulesWithoutTouchingDrive();
    void writeSingle_reportsMotionResultBeforeRefusing();
    void writeSingle_acceptsCcwSoftLimitEqualToLowerPosition();
    void writeSingle_boundsPositionsByStrokeWithoutCwSoftLimitRow();
    void writeSingle_sendsTwoWordValuesLowWordFirst_data();
    void writeSingle_sendsTwoWordValuesLowWordFirst();
    void writeSingle_copiesThresholdToScriptAndShowsDriveSteps();
    void writeSingle_keepsTorqueHighByteOfDrive();
    void writeSingle_reportsFailedScriptCopyWithoutRefresh_data();
    void writeSingle_reportsFailedScriptCopyWithoutRefresh();
    void writeSingle_triangularAnsweredNo_leavesDriveUnchanged();
    void writeSingle_triangularAnsweredYes_writes();
    void writeSingle_notesDoNotStopTheWrite();
    void writeSingle_reportsUnconfirmedWrite_data();
    void writeSingle_reportsUnconfirmedWrite();
    void writeSingle_refusesTorqueWhenDriveByteCannotBeRead();
    void writeSingle_refusesValueItCannotConvert();
    void writeSingle_warnsAboutLiftForceOnlyWithVerticalLoad();

private:
    // A consistent screen: positions 10 and 40 mm, 100 mm/s, 100 ms ramps.
    void setBaseline();
    void edit(const QVariantMap &values);

    std::unique_ptr<DriveBench> m_bench;
    std::unique_ptr<ParamManager> m_manager;
    std::unique_ptr<ParamRows> m_rows;
    std::unique_ptr<Recorder> m_recorder;
};

void TestParamReadWrite::init()
{
    m_bench = std::make_unique<DriveBench>();
    const QString failure = m_bench->start();
    if (!failure.isEmpty())
        QSKIP(qPrintable(failure));
    m_manager = std::make_unique<ParamManager>(&m_bench->worker);
    m_manager->setLang(QStringLiteral("en"));
    m_manager->setLead(Lead);
    m_manager->setStroke(ParamRows::Stroke);
    m_rows = std::make_unique<ParamRows>(*m_manager);
    m_recorder = std::make_unique<Recorder>(*m_manager);
}

void TestParamReadWrite::cleanup()
{
    m_recorder.reset();
    m_rows.reset();
    m_manager.reset();
    m_bench.reset();
}

void TestParamReadWrite::setBaseline()
{
    edit({{QStringLiteral("pos0Pos"), 10.0},
          {QStringLiteral("pos1Pos"), 40.0},
          {QStringLiteral("pos0Speed"), 100.0},
          {QStringLiteral("pos1Speed"), 100.0},
          {QStringLiteral("pos0Accel"), 100},
          {QStringLiteral("pos0Decel"), 100},
          {QStringLiteral("pos1Accel"), 100},
          {QStringLiteral("pos1Decel"), 100},
          {QStringLiteral("softLimitCCW"), 0.0},
          {QStringLiteral("softLimitCW"), 50.0},
          {QStringLiteral("dynErr"), 1.0},
          {QStringLiteral("staErr"), 0.8},
          {QStringLiteral("posWarn"), 0.6},
          {QStringLiteral("homeTorque"), 50},
          {QStringLiteral("pos0PushTorque"), 50},
          {QStringLiteral("pos1PushTorque"), 50}});
}

void TestParamReadWrite::edit(const QVariantMap &values)
{
    for (auto it = values.constBegin(); it != values.constEnd(); ++it)
        m_rows->set(it.key(), it.value().toDouble());
    // The delayed checks would only add noise to the recorded signals.
    m_manager->validateTimer0()->stop();
    m_manager->validateTimer1()->stop();
    m_bench->bus.clearRequests();
    m_recorder->events.clear();
}

void TestParamReadWrite::readSingle_showsTwoWordValueFromDrive()
{
    m_bench->setReg32(Reg::SoftLimitCCW, -1500);
    m_manager->readSingle(QStringLiteral("softLimitCCW"), Station, Lead);
    QCOMPARE(m_bench->wire(), QStringList{QStringLiteral("03 006E/2")});
    QCOMPARE(m_rows->spinD(QStringLiteral("softLimitCCW"))->value(), -1.5);
    QCOMPARE(m_rows->cur(QStringLiteral("softLimitCCW"))->text(), QStringLiteral("-1.50"));
    QCOMPARE(m_recorder->events, (QStringList{QStringLiteral("pause"), QStringLiteral("resume")}));
}

void TestParamReadWrite::readSingle_keepsOnlyTorqueLowByte()
{
    m_bench->setReg(Reg::Pos1PushTorque, 0x1A55);
    m_manager->readSingle(QStringLiteral("pos1PushTorque"), Station, Lead);
    QCOMPARE(m_rows->spin(QStringLiteral("pos1PushTorque"))->value(), 50);
    QCOMPARE(m_rows->raw(QStringLiteral("pos1PushTorque"))->text(), QStringLiteral("(85)"));
}

void TestParamReadWrite::readSingle_leavesRowAloneWhenDriveIsSilent()
{
    edit({{QStringLiteral("pos0Speed"), 123.45}});
    m_bench->setFaults([](SimFaults &f) { f.silent = true; });
    m_manager->readSingle(QStringLiteral("pos0Speed"), Station, Lead);
    QCOMPARE(m_rows->spinD(QStringLiteral("pos0Speed"))->value(), 123.45);
    QCOMPARE(m_recorder->events, (QStringList{QStringLiteral("pause"), QStringLiteral("resume")}));
}

void TestParamReadWrite::readSingle_ignoresUnknownKey()
{
    m_manager->readSingle(QStringLiteral("idleCurrent"), Station, Lead);
    QVERIFY(m_recorder->events.isEmpty());
    QVERIFY(m_bench->bus.requests().isEmpty());
}

void TestParamReadWrite::readAll_fillsEveryRowInReadOrder()
{
    DriveBench &b = *m_bench;
    b.setReg(Reg::HomeTorque, 0x1A55);
    b.setReg(Reg::Pos0Accel, 200);
    b.setReg(Reg::Pos0Decel, 300);
    b.setReg32(Reg::Pos0Speed, 60000);
    b.setReg32(Reg::Pos0Position, 12340);
    b.setReg(Reg::Pos1Accel, 150);
    b.setReg(Reg::Pos1Decel, 250);
    b.setReg32(Reg::Pos1Speed, 120000);
    b.setReg32(Reg::Pos1Position, 45000);
    b.setReg(Reg::Pos0MotionMode, Reg::PushMode::Pos0On);
    b.setReg(Reg::Pos1MotionMode, Reg::PushMode::Pos1Off);
    b.setReg32(Reg::SoftLimitCCW, -1500);
    b.setReg32(Reg::SoftLimitCW, 44000);
    b.setReg(Reg::DynamicErrorThreshold, 20);
    b.setReg(Reg::StaticErrorThreshold, 16);
    b.setReg(Reg::PositionWarningThreshold, 12);

    m_manager->readAll(Station, 5.0, 45);

    QCOMPARE(b.wire(), (QStringList{QStringLiteral("03 0215/1"), QStringLiteral("03 0223/9"),
                                    QStringLiteral("03 0233/9"), QStringLiteral("03 022E/1"),
                                    QStringLiteral("03 023E/1"), QStringLiteral("03 006E/2"),
                                    QStringLiteral("03 0070/2"), QStringLiteral("03 000B/6")}));
    QCOMPARE(m_recorder->events, (QStringList{QStringLiteral("pause"), QStringLiteral("push0:1"),
                                              QStringLiteral("push1:0"), QStringLiteral("resume")}));
    QCOMPARE(m_manager->lead(), 5.0);
    QCOMPARE(m_manager->stroke(), 45);
    QCOMPARE(m_rows->spin(QStringLiteral("homeTorque"))->value(), 50);
    QCOMPARE(m_rows->spin(QStringLiteral("pos0Accel"))->value(), 200);
    QCOMPARE(m_rows->spin(QStringLiteral("pos0Decel"))->value(), 300);
    QCOMPARE(m_rows->spinD(QStringLiteral("pos0Speed"))->value(), 50.0);
    QCOMPARE(m_rows->spinD(QStringLiteral("pos0Pos"))->value(), 12.34);
    QCOMPARE(m_rows->spin(QStringLiteral("pos1Accel"))->value(), 150);
    QCOMPARE(m_rows->spin(QStringLiteral("pos1Decel"))->value(), 250);
    QCOMPARE(m_rows->spinD(QStringLiteral("pos1Speed"))->value(), 100.0);
    QCOMPARE(m_rows->spinD(QStringLiteral("pos1Pos"))->value(), 45.0);
    QCOMPARE(m_rows->spinD(QStringLiteral("softLimitCCW"))->value(), -1.5);
    QCOMPARE(m_rows->spinD(QStringLiteral("softLimitCW"))->value(), 44.0);
    QCOMPARE(m_rows->spinD(QStringLiteral("dynErr"))->value(), 0.5);
    QCOMPARE(m_rows->spinD(QStringLiteral("staErr"))->value(), 0.4);
    QCOMPARE(m_rows->spinD(QStringLiteral("posWarn"))->value(), 0.3);
    QCOMPARE(m_rows->raw(QStringLiteral("posWarn"))->text(), QStringLiteral("12 steps"));

    // The position boxes follow the stroke; the read values then check both groups.
    QCOMPARE(m_rows->spinD(QStringLiteral("pos1Pos"))->maximum(), 45.0);
    QCOMPARE(m_rows->slider(QStringLiteral("pos1Pos"))->maximum(), 4500);
    QCOMPARE(m_rows->slider(QStringLiteral("pos1Pos"))->value(), 4500);
    QVERIFY(m_manager->validateTimer0()->isActive());
    QVERIFY(m_manager->validateTimer1()->isActive());
}

void TestParamReadWrite::readAll_reportsPushModeOnlyForTheOnWord_data()
{
    QTest::addColumn<quint16>("word0");
    QTest::addColumn<quint16>("word1");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("both on") << Reg::PushMode::Pos0On << Reg::PushMode::Pos1On
                             << QStringList{QStringLiteral("push0:1"), QStringLiteral("push1:1")};
    QTest::newRow("both off") << Reg::PushMode::Pos0Off << Reg::PushMode::Pos1Off
                              << QStringList{QStringLiteral("push0:0"), QStringLiteral("push1:0")};
    QTest::newRow("the other position's on word") << Reg::PushMode::Pos1On << Reg::PushMode::Pos0On
                                                  << QStringList{QStringLiteral("push0:0"), QStringLiteral("push1:0")};
}

void TestParamReadWrite::readAll_reportsPushModeOnlyForTheOnWord()
{
    QFETCH(quint16, word0);
    QFETCH(quint16, word1);
    QFETCH(QStringList, expected);
    m_bench->setReg(Reg::Pos0MotionMode, word0);
    m_bench->setReg(Reg::Pos1MotionMode, word1);
    m_manager->readAll(Station, Lead, ParamRows::Stroke);
    QCOMPARE(m_recorder->events.mid(1, 2), expected);
}

void TestParamReadWrite::readAll_withOnlyFirstTwoAnswers_updatesThoseRowsAndStartsChecks()
{
    setBaseline();
    m_bench->setReg(Reg::HomeTorque, 0x0033);  // 30 %
    m_bench->setReg(Reg::Pos0Accel, 400);
    m_bench->setReg32(Reg::Pos0Position, 5000);
    m_bench->setReg32(Reg::Pos1Position, 30000);
    m_bench->setReg(Reg::DynamicErrorThreshold, 40);
    m_bench->setFaults([](SimFaults &f) { f.silentAfterReplies = 2; });

    m_manager->readAll(Station, Lead, ParamRows::Stroke);

    QCOMPARE(m_bench->bus.requests().size(), 8);
    QCOMPARE(m_rows->spin(QStringLiteral("homeTorque"))->value(), 30);
    QCOMPARE(m_rows->spin(QStringLiteral("pos0Accel"))->value(), 400);
    QCOMPARE(m_rows->spinD(QStringLiteral("pos0Pos"))->value(), 5.0);
    QCOMPARE(m_rows->spinD(QStringLiteral("pos1Pos"))->value(), 40.0);
    QCOMPARE(m_rows->spinD(QStringLiteral("dynErr"))->value(), 1.0);
    QCOMPARE(m_rows->spinD(QStringLiteral("softLimitCW"))->value(), 50.0);
    QCOMPARE(m_recorder->events, (QStringList{QStringLiteral("pause"), QStringLiteral("resume")}));
    QVERIFY(m_manager->validateTimer0()->isActive());
    QVERIFY(m_manager->validateTimer1()->isActive());
}

void TestParamReadWrite::writeSingle_refusesBrokenRulesWithoutTouchingDrive_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QVariantMap>("edits");
    QTest::addColumn<QString>("message");

    QTest::newRow("position 2 equal to position 1 meets the distance rule first")
        << "pos1Pos" << "en" << QVariantMap{{"pos1Pos", 10.0}}
        << "✗ Distance must be ≥ 10.00 mm (current 0.00 mm)";
    QTest::newRow("position 2 more than a lead below position 1")
        << "pos1Pos" << "en" << QVariantMap{{"pos0Pos", 40.0}, {"pos1Pos", 20.0}}
        << "Position 2 (20.00 mm) must exceed Position 1 (40.00 mm).\n\n(Not written)";
    QTest::newRow("position 1 edited past position 2")
        << "pos0Pos" << "en" << QVariantMap{{"pos0Pos", 50.0}}
        << "Position 2 (40.00 mm) must exceed Position 1 (50.00 mm).\n\n(Not written)";
    QTest::newRow("position order in Chinese")
        << "pos1Pos" << "zh" << QVariantMap{{"pos0Pos", 40.0}, {"pos1Pos", 20.0}}
        << "位置 2（20.00 mm）必須大於位置 1（40.00 mm）。\n\n位置 1 為縮回側、位置 2 為伸出側；\n"
           "兩者之間為高速接近區，外側為推壓作用區。\n（參數未寫入）";
    QTest::newRow("CCW soft limit above the lower position")
        << "softLimitCCW" << "en" << QVariantMap{{"softLimitCCW", 10.01}}
        << "Soft Limit CCW (10.01 mm) must be less than Pos0 (10.00 mm) and Pos1 (40.00 mm).";
    QTest::newRow("CCW soft limit in Chinese")
        << "softLimitCCW" << "zh" << QVariantMap{{"softLimitCCW", 10.01}}
        << "負向軟限位（10.01 mm）不可大於位置 1（10.00 mm）及位置 2（40.00 mm）。";
    QTest::newRow("CW soft limit below the upper position")
        << "softLimitCW" << "en" << QVariantMap{{"softLimitCW", 39.99}}
        << "Soft Limit CW (39.99 mm) must be greater than Pos0 (10.00 mm) and Pos1 (40.00 mm).";
    QTest::newRow("CW soft limit in Chinese")
        << "softLimitCW" << "zh" << QVariantMap{{"softLimitCW", 39.99}}
        << "正向軟限位（39.99 mm）必須大於位置 1（10.00 mm）及位置 2（40.00 mm）。";
    QTest::newRow("position 2 beyond the CW soft limit")
        << "pos1Pos" << "en" << QVariantMap{{"softLimitCW", 35.0}}
        << "Position 2 (40.00 mm) is outside soft limits (0.00 ~ 35.00 mm).";
    QTest::newRow("position 1 below the CCW soft limit")
        << "pos0Pos" << "zh" << QVariantMap{{"softLimitCCW", 15.0}}
        << "位置 1（10.00 mm）超出軟限位範圍（負向 15.00 mm ~ 正向 50.00 mm）。";
    QTest::newRow("position warning write checks dynamic against static")
        << "posWarn" << "en" << QVariantMap{{"dynErr", 0.5}, {"staErr", 0.6}}
        << "DynErr must be greater than or equal to StaErr.\n\nCurrent: Dyn 0.500 mm / Sta 0.600 mm\n"
           "(Not written; please correct and retry)";
    QTest::newRow("dynamic below static in Chinese")
        << "dynErr" << "zh" << QVariantMap{{"dynErr", 0.7}}
        << "動態誤差須大於或等於靜態誤差。\n\n目前：動態 0.700 mm／靜態 0.800 mm\n（參數未寫入，請修正後重試）";
    QTest::newRow("static not above position warning")
        << "staErr" << "en" << QVariantMap{{"staErr", 0.6}}
        << "StaErr is below the system minimum (0.600 mm).\n\nThis limit relates to push-mode detection.\n"
           "(Not written)";
    QTest::newRow("position warning raised to the static threshold")
        << "posWarn" << "zh" << QVariantMap{{"posWarn", 0.8}}
        << "靜態誤差低於系統下限（0.800 mm）。\n\n此下限與推壓功能之動作判定相關，請設定較大值。\n（參數未寫入）";
    QTest::newRow("push torque with positions closer than a lead")
        << "pos0PushTorque" << "en" << QVariantMap{{"pos1Pos", 15.0}}
        << "✗ Distance must be ≥ 10.00 mm (current 5.00 mm)";
    QTest::newRow("speed above the limit")
        << "pos0Speed" << "en" << QVariantMap{{"pos0Speed", 500.01}} << "✗ Speed 500.01 mm/s > limit 500.00 mm/s";
}

void TestParamReadWrite::writeSingle_refusesBrokenRulesWithoutTouchingDrive()
{
    QFETCH(QString, key);
    QFETCH(QString, lang);
    QFETCH(QVariantMap, edits);
    QFETCH(QString, message);
    setBaseline();
    edit(edits);
    m_manager->setLang(lang);

    m_manager->writeSingle(key, Station, Lead);

    QCOMPARE(m_recorder->errors(), QStringList{message});
    QVERIFY(m_bench->bus.requests().isEmpty());
    QCOMPARE(m_recorder->events.first(), QStringLiteral("pause"));
    QCOMPARE(m_recorder->events.last(), QStringLiteral("resume"));
    QCOMPARE(m_recorder->events.count(QStringLiteral("pause")), 1);
    QCOMPARE(m_recorder->events.count(QStringLiteral("resume")), 1);
}

void TestParamReadWrite::writeSingle_reportsMotionResultBeforeRefusing()
{
    setBaseline();
    edit({{QStringLiteral("pos1Pos"), 15.0}});
    m_manager->writeSingle(QStringLiteral("pos1Speed"), Station, Lead);
    QCOMPARE(m_recorder->events, (QStringList{QStringLiteral("pause"), QStringLiteral("motion:pos1:4"),
                                              QStringLiteral("error:✗ Distance must be ≥ 10.00 mm (current 5.00 mm)"),
                                              QStringLiteral("resume")}));
}

void TestParamReadWrite::writeSingle_acceptsCcwSoftLimitEqualToLowerPosition()
{
    setBaseline();
    edit({{QStringLiteral("softLimitCCW"), 10.0}});
    m_manager->writeSingle(QStringLiteral("softLimitCCW"), Station, Lead);
    QVERIFY(m_recorder->errors().isEmpty());
    QCOMPARE(m_bench->wire(), (QStringList{QStringLiteral("10 006E=2710,0000"), QStringLiteral("10 013B=2710,0000"),
                                           QStringLiteral("03 006E/2")}));
    QCOMPARE(m_recorder->events, (QStringList{QStringLiteral("pause"), QStringLiteral("pause"),
                                              QStringLiteral("resume"), QStringLiteral("resume")}));
}

void TestParamReadWrite::writeSingle_boundsPositionsByStrokeWithoutCwSoftLimitRow()
{
    ParamManager manager(&m_bench->worker);
    manager.setLang(QStringLiteral("en"));
    manager.setLead(Lead);
    manager.setStroke(45);
    ParamRows rows(manager, {QStringLiteral("softLimitCW")});
    Recorder recorder(manager);
    rows.set(QStringLiteral("pos0Pos"), 10.0);
    rows.set(QStringLiteral("pos1Pos"), 46.0);

    manager.writeSingle(QStringLiteral("pos1Pos"), Station, Lead);
    QCOMPARE(recorder.errors(),
             QStringList{QStringLiteral("Position 2 (46.00 mm) is outside soft limits (0.00 ~ 45.00 mm).")});
    QVERIFY(m_bench->writes().isEmpty());

    rows.set(QStringLiteral("pos1Pos"), 45.0);
    manager.writeSingle(QStringLiteral("pos1Pos"), Station, Lead);
    QCOMPARE(m_bench->writes().size(), 1);
    QCOMPARE(m_bench->reg(Reg::Pos1Position), quint16(45000));
}

void TestParamReadWrite::writeSingle_sendsTwoWordValuesLowWordFirst_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<double>("value");
    QTest::addColumn<QStringList>("wire");
    QTest::addColumn<double>("shownAfter");
    QTest::newRow("speed") << "pos1Speed" << 100.0
                           << QStringList{QStringLiteral("10 0237=EA60,0000"), QStringLiteral("03 0237/2")} << 100.0;
    QTest::newRow("negative soft limit with its script copy")
        << "softLimitCCW" << -1.5
        << QStringList{QStringLiteral("10 006E=FA24,FFFF"), QStringLiteral("10 013B=FA24,FFFF"),
                       QStringLiteral("03 006E/2")}
        << -1.5;
    QTest::newRow("CW soft limit with its script copy")
        << "softLimitCW" << 48.5
        << QStringList{QStringLiteral("10 0070=BD74,0000"), QStringLiteral("10 013E=BD74,0000"),
                       QStringLiteral("03 0070/2")}
        << 48.5;
    QTest::newRow("position") << "pos1Pos" << 32.1
                              << QStringList{QStringLiteral("10 023A=7D64,0000"), QStringLiteral("03 023A/2")} << 32.1;
}

void TestParamReadWrite::writeSingle_sendsTwoWordValuesLowWordFirst()
{
    QFETCH(QString, key);
    QFETCH(double, value);
    QFETCH(QStringList, wire);
    QFETCH(double, shownAfter);
    setBaseline();
    edit({{key, value}});
    m_manager->writeSingle(key, Station, Lead);
    QVERIFY2(m_recorder->errors().isEmpty(), qPrintable(m_recorder->errors().join(QLatin1Char('|'))));
    QCOMPARE(m_bench->wire(), wire);
    QCOMPARE(m_rows->spinD(key)->value(), shownAfter);
}

void TestParamReadWrite::writeSingle_copiesThresholdToScriptAndShowsDriveSteps()
{
    setBaseline();
    // 5.2 steps: the drive gets 6.
    edit({{QStringLiteral("dynErr"), 0.26}, {QStringLiteral("staErr"), 0.2}, {QStringLiteral("posWarn"), 0.1}});
    m_manager->writeSingle(QStringLiteral("dynErr"), Station, Lead);
    QCOMPARE(m_recorder->errors(), QStringList());
    QCOMPARE(m_bench->wire(), (QStringList{QStringLiteral("06 000B=0006"), QStringLiteral("06 0141=0006"),
                                           QStringLiteral("03 000B/1")}));
    QCOMPARE(m_rows->spinD(QStringLiteral("dynErr"))->value(), 0.3);
    QCOMPARE(m_rows->raw(QStringLiteral("dynErr"))->text(), QStringLiteral("6 steps"));
}

void TestParamReadWrite::writeSingle_keepsTorqueHighByteOfDrive()
{
    setBaseline();
    m_bench->setReg(Reg::HomeTorque, 0x1A2B);
    m_manager->writeSingle(QStringLiteral("homeTorque"), Station, Lead);
    QVERIFY(m_recorder->errors().isEmpty());
    QCOMPARE(m_bench->wire(),
             (QStringList{QStringLiteral("03 0215/1"), QStringLiteral("06 0215=1A55"), QStringLiteral("03 0215/1")}));
    QCOMPARE(m_bench->reg(Reg::HomeTorque), quint16(0x1A55));
    QCOMPARE(m_rows->spin(QStringLiteral("homeTorque"))->value(), 50);
}

void TestParamReadWrite::writeSingle_reportsFailedScriptCopyWithoutRefresh_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QStringList>("wire");
    QTest::addColumn<QString>("message");
    QTest::newRow("dynamic threshold") << "dynErr" << 1.5 << "en"
                                       << QStringList{QStringLiteral("06 000B=001E"), QStringLiteral("06 0141=001E")}
                                       << "Written, but script sync failed.\n\nValue will revert after power cycle. "
                                          "Please retry.";
    QTest::newRow("soft limit in Chinese")
        << "softLimitCW" << 45.0 << "zh"
        << QStringList{QStringLiteral("10 0070=AFC8,0000"), QStringLiteral("10 013E=AFC8,0000")}
        << "參數已寫入，但腳本同步失敗。\n\n重新上電後將回復舊值，請重新寫入。";
}

void TestParamReadWrite::writeSingle_reportsFailedScriptCopyWithoutRefresh()
{
    QFETCH(QString, key);
    QFETCH(double, value);
    QFETCH(QString, lang);
    QFETCH(QStringList, wire);
    QFETCH(QString, message);
    setBaseline();
    edit({{key, value}});
    m_manager->setLang(lang);
    const quint16 address = ParamConv::findParamDefinition(key)->address;
    const quint16 copy = ParamConv::findParamDefinition(key)->scriptCopy;
    const quint16 copyBefore = m_bench->reg(copy);
    m_bench->setFaults([](SimFaults &f) { f.silentAfterReplies = 1; });

    m_manager->writeSingle(key, Station, Lead);

    QCOMPARE(m_recorder->errors(), QStringList{message});
    QCOMPARE(m_bench->wire(), wire);  // no refresh read after the failed copy
    QCOMPARE(m_bench->reg(address), wire.first().section(QLatin1Char('='), 1).left(4).toUShort(nullptr, 16));
    QCOMPARE(m_bench->reg(copy), copyBefore);
    QCOMPARE(m_recorder->events.last(), QStringLiteral("resume"));
}

void TestParamReadWrite::writeSingle_triangularAnsweredNo_leavesDriveUnchanged()
{
    setBaseline();
    edit({{QStringLiteral("pos1Accel"), 1000}});  // a 50 mm ramp on a 30 mm move
    const quint16 before = m_bench->reg(Reg::Pos1Accel);
    m_recorder->answerYes = false;

    m_manager->writeSingle(QStringLiteral("pos1Accel"), Station, Lead);

    const QStringList &e = m_recorder->events;
    QCOMPARE(e.size(), 5);
    QCOMPARE(e[0], QStringLiteral("pause"));
    QCOMPARE(e[1], QStringLiteral("error:Note: Current profile is Triangular profile (no constant-speed phase).\n"
                                  "Constant-speed: 0 ms (0%% of total, recommend ≥ 10%%)\n⚠ Target speed may not be "
                                  "reached; higher mechanical impact."));
    QCOMPARE(e[2], QStringLiteral("motion:pos1:1"));
    QCOMPARE(e[3], QStringLiteral("triangular:Current parameters result in a triangular profile.\n"
                                  "Actual peak speed: 73.85 mm/s\nCycle Time: 0.81 s\n\nProceed?"));
    QCOMPARE(e[4], QStringLiteral("resume"));
    QVERIFY(m_bench->bus.requests().isEmpty());
    QCOMPARE(m_bench->reg(Reg::Pos1Accel), before);
    QVERIFY(!m_manager->confirmTriangular());
}

void TestParamReadWrite::writeSingle_triangularAnsweredYes_writes()
{
    setBaseline();
    edit({{QStringLiteral("pos1Accel"), 1000}});
    m_manager->writeSingle(QStringLiteral("pos1Accel"), Station, Lead);
    QVERIFY(m_recorder->events.filter(QStringLiteral("triangular:")).size() == 1);
    QCOMPARE(m_bench->wire(), (QStringList{QStringLiteral("06 0233=03E8"), QStringLiteral("03 0233/1")}));
    QCOMPARE(m_recorder->events.last(), QStringLiteral("resume"));
}

void TestParamReadWrite::writeSingle_notesDoNotStopTheWrite()
{
    setBaseline();
    // 300 mm/s reached in 100 ms is 0.31 g; 50 mm at 300 mm/s leaves no constant-speed tenth.
    edit({{QStringLiteral("pos0Pos"), 0.0}, {QStringLiteral("pos1Pos"), 50.0}, {QStringLiteral("pos0Speed"), 300.0}});
    m_manager->writeSingle(QStringLiteral("pos0Accel"), Station, Lead);

    const QStringList errors = m_recorder->errors();
    QCOMPARE(errors.size(), 2);
    QVERIFY(errors[0].startsWith(QStringLiteral("Note: Pos1 Accel acceleration exceeds 0.3G.\nCurrent: 0.31 G\n")));
    QVERIFY(errors[1].startsWith(QStringLiteral("Note: Current profile is Triangular profile")));
    QVERIFY(m_recorder->events.contains(QStringLiteral("motion:pos0:0")));
    QCOMPARE(m_bench->wire(), (QStringList{QStringLiteral("06 0223=0064"), QStringLiteral("03 0223/1")}));
}

void TestParamReadWrite::writeSingle_reportsUnconfirmedWrite_data()
{
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("message");
    QTest::newRow("drive silent") << true << "en"
                                  << "Write failed: Pos2 Speed was not confirmed by the device.\n\n"
                                     "Please check the connection and retry.";
    QTest::newRow("drive refuses, in Chinese") << false << "zh" << "寫入失敗：位置 2 速度，設備未確認。\n\n請確認連線後重試。";
}

void TestParamReadWrite::writeSingle_reportsUnconfirmedWrite()
{
    QFETCH(bool, silent);
    QFETCH(QString, lang);
    QFETCH(QString, message);
    setBaseline();
    edit({{QStringLiteral("pos1Speed"), 123.0}});
    m_manager->setLang(lang);
    const quint16 before = m_bench->reg(Reg::Pos1Speed);
    m_bench->setFaults([silent](SimFaults &f) {
        f.silent = silent;
        f.exceptionReplies = !silent;
    });

    m_manager->writeSingle(QStringLiteral("pos1Speed"), Station, Lead);

    QCOMPARE(m_recorder->errors(), QStringList{message});
    QCOMPARE(m_bench->reg(Reg::Pos1Speed), before);
    // The refresh was tried, found nothing, and left the edit on screen: the message is what tells.
    QCOMPARE(m_bench->wire().last(), QStringLiteral("03 0237/2"));
    QCOMPARE(m_rows->spinD(QStringLiteral("pos1Speed"))->value(), 123.0);
    QCOMPARE(m_recorder->events.last(), QStringLiteral("resume"));
}

void TestParamReadWrite::writeSingle_refusesTorqueWhenDriveByteCannotBeRead()
{
    setBaseline();
    m_bench->setFaults([](SimFaults &f) { f.silent = true; });
    m_manager->writeSingle(QStringLiteral("pos0PushTorque"), Station, Lead);
    QCOMPARE(m_recorder->errors(),
             QStringList{QStringLiteral("Could not read the current Pos1 Push Torque setting from the device.\n\n"
                                        "Not written; please check the connection and retry.")});
    QCOMPARE(m_bench->wire(), QStringList{QStringLiteral("03 0248/1")});
    QCOMPARE(m_recorder->events.last(), QStringLiteral("resume"));
}

void TestParamReadWrite::writeSingle_refusesValueItCannotConvert()
{
    setBaseline();
    m_manager->writeSingle(QStringLiteral("staErr"), Station, 0.0);
    QCOMPARE(m_recorder->errors(),
             QStringList{QStringLiteral("Sta Error cannot be converted to device units (lead 0 mm).\n(Not written)")});
    QVERIFY(m_bench->bus.requests().isEmpty());
    QCOMPARE(m_recorder->events.last(), QStringLiteral("resume"));
}

void TestParamReadWrite::writeSingle_warnsAboutLiftForceOnlyWithVerticalLoad()
{
    setBaseline();
    m_manager->writeSingle(QStringLiteral("pos1Speed"), Station, Lead);
    QVERIFY(m_recorder->events.filter(QStringLiteral("lift:")).isEmpty());

    MotionCheck::VerticalLoad load;
    load.mountingMode = 1;
    load.loadKg = 10.0;
    m_manager->setVerticalLoad(load);
    edit({});
    m_manager->writeSingle(QStringLiteral("pos1Speed"), Station, Lead);
    // Lifting 10 kg while accelerating at 1000 mm/s²: (1000 + 9806.65) x 10 / 1000 N.
    const QStringList &e = m_recorder->events;
    QCOMPARE(e.mid(0, 3), (QStringList{QStringLiteral("pause"), QStringLiteral("motion:pos1:0"),
                                       QStringLiteral("lift:Vertical + load 10.0 kg\nMax lift force: 108.1 N\n"
                                                      "Confirm motor torque ≥ 0.172 Nm at this speed")}));
    QCOMPARE(m_bench->writes().size(), 1);
}

QTEST_MAIN(TestParamReadWrite)
#include "tst_paramreadwrite.moc"
