// The Motion and Advanced tabs against one drive: Read All and the row writes
// on the wire with their script copies, push mode, files (round trip, hostile
// files), unsaved marks and the questions on leaving, the
// faults of a row write and of Read All, and the station change.

#include "registers.h"
#include "testmain.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QSpinBox>
#include <QTemporaryDir>


namespace {

constexpr quint8 Station = 1;
const QString SaveToRom = QStringLiteral("1 06 00DC = 0001");
const QStringList ReadAllWire{"1 03 0215 x1", "1 03 0223 x9", "1 03 0233 x9", "1 03 022E x1",
                              "1 03 023E x1", "1 03 006E x2", "1 03 0070 x2", "1 03 000B x6"};
// The boxes a parameter file carries, enough to see a round trip.
const char *const FileBoxes[] = {"spin_homeTorque", "spin_pos0Accel", "spinD_pos0Speed", "spinD_pos0Pos",
                                 "spin_pos1Decel", "spinD_pos1Pos", "spinD_softLimitCW", "spin_smoothMs"};

double boxValue(QWidget *box)
{
    if (auto *decimal = qobject_cast<QDoubleSpinBox *>(box))
        return decimal->value();
    return qobject_cast<QSpinBox *>(box)->value();
}

void setBoxValue(QWidget *box, double value)
{
    if (auto *decimal = qobject_cast<QDoubleSpinBox *>(box))
        decimal->setValue(value);
    else
        qobject_cast<QSpinBox *>(box)->setValue(qRound(value));
}

void stepBox(QWidget *box, int steps)
{
    qobject_cast<QAbstractSpinBox *>(box)->stepBy(steps);
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

}  // namespace

class WindowParamsTest : public QObject
{
    Q_OBJECT

    WindowFixture fx;
    QTemporaryDir dir;

    QMap<QString, double> fileBoxValues() const
    {
        QMap<QString, double> values;
        for (const char *name : FileBoxes)
            values.insert(QLatin1String(name), boxValue(fx.widget(name)));
        return values;
    }
    void reconnect()
    {
        fx.window->show();
        if (!fx.connected())
            QVERIFY2(fx.connectTo(Station), qPrintable(fx.failure()));
        // Each test starts with the drive's ROM up to date.
        if (fx.widget("lblUnsavedRom")->isVisible())
            QVERIFY2(fx.click("btnSaveParams"), qPrintable(fx.failure()));
        fx.quiesce();
    }
    // A written row: the drive now differs from its ROM.
    void writeHomeTorque()
    {
        stepBox(fx.widget("spin_homeTorque"), 1);
        QVERIFY2(fx.click("btnWrite_homeTorque"), qPrintable(fx.failure()));
        QVERIFY(fx.widget("lblUnsavedRom")->isVisible());
        fx.quiesce();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        VEXA_REQUIRE(fx.startBus({WindowFixture::drive(Station)}), "no pseudo-terminal for the simulated bus");
        QVERIFY2(fx.showWindow(QStringLiteral("en")), qPrintable(fx.failure()));
        QVERIFY2(fx.connectTo(Station), qPrintable(fx.failure()));
        fx.showTab(MainWindow::MotionTab);
    }

    void init() { reconnect(); }

    void readAllFillsEveryRow()
    {
        fx.setReg(Reg::HomeTorque, 0x1A55);  // 0x55 = 50 % x 1.7
        fx.setReg(Reg::Pos0Accel, 300);
        fx.setReg32(Reg::Pos0Speed, 60000);  // 600 rpm at 1 mm: 10 mm/s
        fx.setReg32(Reg::Pos0Position, 12340);
        fx.setReg32(Reg::Pos1Position, 40000);
        fx.setReg(Reg::Pos0MotionMode, Reg::PushMode::Pos0On);
        fx.setReg(Reg::Pos1MotionMode, Reg::PushMode::Pos1Off);
        fx.setReg(Reg::Pos0PushTorque, 0x0144);  // 0x44 = 40 %
        fx.setReg32(Reg::SoftLimitCCW, -1500);
        fx.setReg(Reg::DynamicErrorThreshold, 30);  // 200 steps a mm

        QVERIFY2(fx.click("btnReadAllParams"), qPrintable(fx.failure()));

        QStringList withPushTorque = ReadAllWire;
        withPushTorque.insert(4, QStringLiteral("1 03 0248 x1"));
        QCOMPARE(fx.wire(), withPushTorque);
        const QList<QPair<const char *, double>> expected{
            {"spin_homeTorque", 50},  {"spin_pos0Accel", 300},      {"spinD_pos0Speed", 10.0},
            {"spinD_pos0Pos", 12.34}, {"spinD_pos1Pos", 40.0},      {"spin_pos0PushTorque", 40},
            {"spinD_softLimitCCW", -1.5}, {"param_spinDynErrMm", 0.15}};
        for (const auto &row : expected)
            QVERIFY2(qFuzzyCompare(boxValue(fx.widget(row.first)), row.second), row.first);
        QVERIFY(fx.find<QCheckBox>("ckbtn_pos0Push")->isChecked());
        QVERIFY(!fx.find<QCheckBox>("ckbtn_pos1Push")->isChecked());
        QVERIFY(fx.widget("spin_pos0PushTorque")->isEnabled());
        QVERIFY(!fx.widget("btnWrite_pos1PushTorque")->isEnabled());
        QCOMPARE(fx.dialogs->count(), 0);
    }

    void rowWritesOnTheWire_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QStringList>("writes");
        QTest::newRow("speed 10 mm/s at lead 1") << "spinD_pos1Speed" << 10.0 << "btnWrite_pos1Speed"
                                                 << QStringList{"1 10 0237 = EA60 0000"};
        QTest::newRow("position 5.5 mm") << "spinD_pos0Pos" << 5.5 << "btnWrite_pos0Pos"
                                         << QStringList{"1 10 022A = 157C 0000"};
        QTest::newRow("acceleration") << "spin_pos0Accel" << 300.0 << "btnWrite_pos0Accel"
                                      << QStringList{"1 06 0223 = 012C"};
        QTest::newRow("smoothing 20 ms is constant 50") << "spin_smoothMs" << 20.0 << "btnWrite_smoothMs"
                                                        << QStringList{"1 06 000A = 0032"};
        QTest::newRow("home torque keeps the high byte") << "spin_homeTorque" << 50.0 << "btnWrite_homeTorque"
                                                         << QStringList{"1 06 0215 = 1A55"};
        QTest::newRow("run current keeps the idle byte") << "spin_runCurrent" << 100.0 << "btnWrite_runCurrent"
                                                         << QStringList{"1 06 000E = 6432"};
        QTest::newRow("idle current raised to 30 %") << "spin_idleCurrent" << 20.0 << "btnWrite_idleCurrent"
                                                     << QStringList{"1 06 000E = 321E"};
        QTest::newRow("dynamic error and its script copy")
            << "param_spinDynErrMm" << 0.2 << "btnWrite_dynErr" << QStringList{"1 06 000B = 0028", "1 06 0141 = 0028"};
        QTest::newRow("static error and its script copy")
            << "param_spinStaErrMm" << 0.1 << "btnWrite_staErr" << QStringList{"1 06 000C = 0014", "1 06 0143 = 0014"};
        QTest::newRow("soft limit CW and its script copy")
            << "spinD_softLimitCW" << 48.0 << "btnWrite_softLimitCW"
            << QStringList{"1 10 0070 = BB80 0000", "1 10 013E = BB80 0000"};
        QTest::newRow("soft limit CCW and its script copy")
            << "spinD_softLimitCCW" << -1.5 << "btnWrite_softLimitCCW"
            << QStringList{"1 10 006E = FA24 FFFF", "1 10 013B = FA24 FFFF"};
    }
    void rowWritesOnTheWire()
    {
        QFETCH(QString, box);
        QFETCH(double, value);
        QFETCH(QString, button);
        QFETCH(QStringList, writes);
        fx.setReg(Reg::HomeTorque, 0x1A2B);
        fx.setReg(Reg::CurrentLimits, 0x3232);
        fx.setReg(Reg::DynamicErrorThreshold, 26);
        fx.setReg(Reg::StaticErrorThreshold, 26);
        QVERIFY2(fx.click(qPrintable(QString(button).replace(QLatin1String("Write"), QLatin1String("Read")))),
                 qPrintable(fx.failure()));
        fx.quiesce();

        setBoxValue(fx.widget(qPrintable(box)), value);
        QVERIFY2(fx.click(qPrintable(button)), qPrintable(fx.failure()));

        QCOMPARE(fx.writes(), writes);
        QCOMPARE(fx.dialogs->count(), 0);
        QVERIFY(!fx.worker()->isPollingPaused());
    }

    void pushSwitchWritesTheModeThenReadsTheTorque_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QStringList>("on");
        QTest::addColumn<QString>("off");
        QTest::newRow("position 1") << "pos0" << QStringList{"1 06 022E = 00D0", "1 03 0248 x1"} << "1 06 022E = 00C0";
        QTest::newRow("position 2") << "pos1" << QStringList{"1 06 023E = 00A8", "1 03 0254 x1"} << "1 06 023E = 00A0";
    }
    void pushSwitchWritesTheModeThenReadsTheTorque()
    {
        QFETCH(QString, group);
        QFETCH(QStringList, on);
        QFETCH(QString, off);
        fx.setReg(Reg::Pos0MotionMode, Reg::PushMode::Pos0Off);
        fx.setReg(Reg::Pos1MotionMode, Reg::PushMode::Pos1Off);
        QVERIFY2(fx.click("btnReadAllParams"), qPrintable(fx.failure()));
        fx.quiesce();
        auto *push = fx.find<QCheckBox>(qPrintable(QStringLiteral("ckbtn_%1Push").arg(group)));
        QWidget *torque = fx.widget(qPrintable(QStringLiteral("spin_%1PushTorque").arg(group)));

        push->click();
        QCOMPARE(fx.wire(), on);
        QVERIFY(torque->isEnabled());
        fx.quiesce();
        push->click();
        QCOMPARE(fx.wire(), QStringList{off});
        QVERIFY(!torque->isEnabled());
    }

    void exportedFileImportsBackUnchanged()
    {
        const QString file = dir.filePath(QStringLiteral("roundtrip.json"));
        fx.dialogs->queueFileName(file);
        fx.dialogs->queueAnswer(QMessageBox::Yes);
        QVERIFY2(fx.click("btnExportParams"), qPrintable(fx.failure()));
        QCOMPARE(fx.dialogs->last().icon, QMessageBox::Information);
        const QMap<QString, double> exported = fileBoxValues();
        for (const char *name : FileBoxes)
            stepBox(fx.widget(name), 3);
        QVERIFY(fileBoxValues() != exported);
        fx.quiesce();

        fx.dialogs->queueFileName(file);
        QVERIFY2(fx.click("btnImportParams"), qPrintable(fx.failure()));

        QCOMPARE(fileBoxValues(), exported);
        QCOMPARE(fx.dialogs->last().icon, QMessageBox::Information);
        QCOMPARE(fx.writes(), QStringList());
        QVERIFY(fx.widget("lblUnsavedRom")->isHidden());
    }

    void hostileImportsKeepTheRows_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("said");
        const QByteArray big = "{\"pos0Accel\": 555, \"pad\": \"" + QByteArray(2 * 1024 * 1024, 'x') + "\"}";
        QTest::newRow("over 1 MB of valid JSON") << big << "too large";
        QTest::newRow("cut short") << QByteArray("{\"pos0Accel\": ") << "JSON";
        QTest::newRow("an array") << QByteArray("[555]") << "not a JSON object";
        QTest::newRow("NaN") << QByteArray("{\"pos0Speed\": NaN, \"pos0Accel\": 555}") << "JSON";
        QTest::newRow("nested 100000 deep") << QByteArray(100000, '[') << "JSON";
        QTest::newRow("UTF-16") << QByteArray("\xff\xfe{\0\"\0p\0", 8) << "JSON";
        QTest::newRow("format version 2") << QByteArray("{\"formatVersion\": 2, \"pos0Accel\": 555}") << "newer";
        QTest::newRow("no parameter") << QByteArray(R"({"name":"my-web-app","version":"2.3.1"})")
                                      << "holds no parameter";
        QTest::newRow("a value of the wrong type") << QByteArray(R"({"pos0Accel": 555, "pos0Pos": "40"})")
                                                   << "\"pos0Pos\" is not a number";
    }
    void hostileImportsKeepTheRows()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, said);
        const QString file = dir.filePath(QStringLiteral("hostile.json"));
        QVERIFY(writeFile(file, content));
        const QMap<QString, double> before = fileBoxValues();
        fx.dialogs->queueFileName(file);

        QVERIFY2(fx.click("btnImportParams"), qPrintable(fx.failure()));

        QCOMPARE(fx.dialogs->last().icon, QMessageBox::Critical);
        QVERIFY2(fx.dialogs->last().text.contains(said), qPrintable(fx.dialogs->last().text));
        QCOMPARE(fileBoxValues(), before);
        QVERIFY(fx.find<QSpinBox>("spin_pos0Accel")->value() != 555);
        QCOMPARE(fx.writes(), QStringList());
    }

    void editingMarksTheRowUntilItHoldsTheDriveValueAgain_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("card");
        QTest::newRow("speed") << "spinD_pos0Speed" << "frame_pos0Speed";
        QTest::newRow("home torque") << "spin_homeTorque" << "frame_homeTorque";
        QTest::newRow("smoothing") << "spin_smoothMs" << "lblTitle_smoothMs";
        QTest::newRow("run current") << "spin_runCurrent" << "lblTitle_runCurrent";
    }
    void editingMarksTheRowUntilItHoldsTheDriveValueAgain()
    {
        QFETCH(QString, box);
        QFETCH(QString, card);
        fx.showTab(MainWindow::AdvancedTab);
        QWidget *valueBox = fx.widget(qPrintable(box));
        QWidget *rowCard = fx.widget(qPrintable(card));
        const QString clean = rowCard->styleSheet();

        stepBox(valueBox, -1);
        QVERIFY(rowCard->styleSheet() != clean);
        QVERIFY(!valueBox->toolTip().isEmpty());
        stepBox(valueBox, 1);
        QCOMPARE(rowCard->styleSheet(), clean);

        // A read clears the mark, a write too, and the write leaves the ROM notice.
        stepBox(valueBox, 2);
        QVERIFY2(fx.click(qPrintable(QStringLiteral("btnRead_%1").arg(box.mid(box.indexOf(QLatin1Char('_')) + 1)))),
                 qPrintable(fx.failure()));
        QCOMPARE(rowCard->styleSheet(), clean);
        QCOMPARE(fx.writes(), QStringList());
        QVERIFY(fx.widget("lblUnsavedRom")->isHidden());
    }

    void writeLeavesTheRomNoticeUntilSaved()
    {
        writeHomeTorque();
        QVERIFY2(fx.click("btnSaveParams_adv"), qPrintable(fx.failure()));
        QCOMPARE(fx.writes(), QStringList{SaveToRom});
        QVERIFY(fx.widget("lblUnsavedRom")->isHidden());
    }

    void leavingWithUnsavedWritesAsks_data()
    {
        QTest::addColumn<bool>("closing");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<bool>("stays");
        for (bool closing : {false, true}) {
            const char *how = closing ? "close" : "disconnect";
            QTest::addRow("%s, save", how) << closing << int(QMessageBox::Save) << true << false;
            QTest::addRow("%s, discard", how) << closing << int(QMessageBox::Discard) << false << false;
            QTest::addRow("%s, cancel", how) << closing << int(QMessageBox::Cancel) << false << true;
        }
    }
    void leavingWithUnsavedWritesAsks()
    {
        QFETCH(bool, closing);
        QFETCH(int, answer);
        QFETCH(bool, saved);
        QFETCH(bool, stays);
        writeHomeTorque();
        fx.dialogs->queueAnswer(QMessageBox::StandardButton(answer));

        if (closing)
            QCOMPARE(fx.window->close(), !stays);
        else
            fx.find<QAbstractButton>("btnDisconnect")->click();

        QCOMPARE(fx.dialogs->count(), 1);
        QCOMPARE(fx.dialogs->last().buttons, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        QCOMPARE(fx.writes().contains(SaveToRom), saved);
        QCOMPARE(fx.connected(), stays || closing);
        QCOMPARE(fx.window->isVisible(), stays || !closing);
    }

    void nothingWrittenNothingAsked()
    {
        QVERIFY2(fx.disconnectWindow(), qPrintable(fx.failure()));
        QCOMPARE(fx.dialogs->count(), 0);
        QCOMPARE(fx.writes(), QStringList());
    }

    void rowWriteUnderFaults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("reported");
        QTest::addColumn<bool>("written");
        QTest::addColumn<bool>("copied");
        QTest::newRow("silence") << "silence" << true << false << false;
        QTest::newRow("exception") << "exception" << true << false << false;
        // Carried out without a valid echo: reported, and no script copy.
        QTest::newRow("bad CRC") << "bad CRC" << true << true << false;
        QTest::newRow("slow") << "slow" << true << true << false;
        QTest::newRow("another station") << "foreign" << true << true << false;
        // The script copy's echo lost: both taken, the copy reported.
        QTest::newRow("every 2nd reply dropped") << "drop 2" << true << true << true;
    }
    void rowWriteUnderFaults()
    {
        QFETCH(QString, fault);
        QFETCH(bool, reported);
        QFETCH(bool, written);
        QFETCH(bool, copied);
        fx.setReg32(Reg::SoftLimitCW, 40000);
        fx.setReg32(Reg::ScriptSoftLimitCW, 40000);
        QVERIFY2(fx.click("btnRead_softLimitCW"), qPrintable(fx.failure()));
        fx.find<QDoubleSpinBox>("spinD_softLimitCW")->setValue(41.5);

        fx.withFaults(faultsOf(qPrintable(fault)), [&] { QVERIFY(fx.click("btnWrite_softLimitCW")); });

        QCOMPARE(fx.dialogs->count(), reported ? 1 : 0);
        if (reported)
            QCOMPARE(fx.dialogs->last().icon, QMessageBox::Warning);
        QCOMPARE(fx.reg32(Reg::SoftLimitCW), written ? 41500 : 40000);
        QCOMPARE(fx.reg32(Reg::ScriptSoftLimitCW), copied ? 41500 : 40000);
        // The row never shows a value the drive does not hold.
        const QString shown = fx.find<QLabel>("cur_softLimitCW")->text();
        QVERIFY2(shown == QLatin1String("40.00") || (written && shown == QLatin1String("41.50")), qPrintable(shown));
        QVERIFY(fx.connected());
    }

    void readAllUnderFaults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("pos0Fresh");
        QTest::addColumn<bool>("pos1Fresh");
        QTest::newRow("silence") << "silence" << false << false;
        QTest::newRow("bad CRC") << "bad CRC" << false << false;
        QTest::newRow("exception") << "exception" << false << false;
        // The third of the eight reads, Position 2's, loses its reply.
        QTest::newRow("every 3rd reply dropped") << "drop 3" << true << false;
        // Position 1's reply comes after its timeout, just as Position 2's read of the same length goes out.
        QTest::newRow("Position 1 answered late") << "late 350@0x0223" << false << true;
    }
    void readAllUnderFaults()
    {
        QFETCH(QString, fault);
        QFETCH(bool, pos0Fresh);
        QFETCH(bool, pos1Fresh);
        fx.setReg(Reg::Pos0Accel, 101);
        fx.setReg(Reg::Pos1Accel, 201);
        QVERIFY2(fx.click("btnReadAllParams"), qPrintable(fx.failure()));
        fx.setReg(Reg::Pos0Accel, 102);
        fx.setReg(Reg::Pos1Accel, 202);

        fx.withFaults(faultsOf(qPrintable(fault)), [&] { QVERIFY(fx.click("btnReadAllParams")); });

        QCOMPARE(fx.find<QSpinBox>("spin_pos0Accel")->value(), pos0Fresh ? 102 : 101);
        QCOMPARE(fx.find<QSpinBox>("spin_pos1Accel")->value(), pos1Fresh ? 202 : 201);
        QCOMPARE(fx.dialogs->count(), 0);
        QCOMPARE(fx.wire(), ReadAllWire);
        QVERIFY(fx.connected());
    }

    void stationChangeRefusedWhileTheMotorRuns()
    {
        // Creeping at 500, the least speed that counts as running.
        fx.bus.setPositionMm(Station, 25.0);
        QVERIFY(fx.worker()->syncWrite(Station, Reg::ServoOff, 0));
        QVERIFY(fx.worker()->syncWrite(Station, Reg::ManualMode, Reg::ManualModeValue));
        QVERIFY(fx.worker()->syncWriteMulti(Station, Reg::ManualSpeed, {500, 0}));
        QVERIFY(fx.worker()->syncWrite(Station, Reg::ManualCommand, Reg::ManualCommandValue::JogPlus));
        QTRY_COMPARE(fx.reg32(Reg::ActualSpeed), 500);
        fx.quiesce();
        fx.find<QSpinBox>("spinNewStation")->setValue(5);
        fx.dialogs->queueConfirm(true);
        QVERIFY2(fx.click("btnChangeStation"), qPrintable(fx.failure()));
        const QStringList sent = fx.wire();
        QVERIFY(fx.worker()->syncWrite(Station, Reg::ManualCommand, Reg::ManualCommandValue::Stop));
        QCOMPARE(sent, (QStringList{"5 03 02BC x1", "1 03 00D6 x2"}));  // nothing answers on 5
        QCOMPARE(fx.dialogs->last().icon, QMessageBox::Warning);
        QVERIFY(fx.connected());
    }

    // Last: the drive answers on another station afterwards.
    void stationChangeSavesAtTheNewAddressThenDisconnects()
    {
        fx.find<QSpinBox>("spinNewStation")->setValue(5);
        fx.dialogs->queueConfirm(true);
        QVERIFY2(fx.click("btnChangeStation"), qPrintable(fx.failure()));

        QCOMPARE(fx.wire(), (QStringList{"5 03 02BC x1", "1 03 00D6 x2", "1 06 0066 = 0005", "5 06 00DC = 0001"}));
        QCOMPARE(fx.dialogs->last().icon, QMessageBox::Information);
        QTRY_VERIFY(!fx.worker()->isRunning());
        QVERIFY(!fx.connected());
        fx.bus.powerCycle(5);
        QVERIFY(fx.bus.hasDrive(5) && !fx.bus.hasDrive(Station));
        QVERIFY2(fx.connectTo(5), qPrintable(fx.failure()));
    }
};

VEXA_TEST_CLASS(WindowParamsTest);
#include "tst_window_params.moc"
