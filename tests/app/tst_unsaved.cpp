// Unsaved changes: a parameter row whose box differs from the drive's value is
// marked until it is written or read again; a write leaves the drive with
// changes not yet saved to ROM, which the window shows and asks about before
// disconnecting or closing.

#include "paramwindowbench.h"
#include "parammanager.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>

namespace {

constexpr int WaitMs = 10000;
const QString SaveToRom = QStringLiteral("06 00DC=0001 @3");
const QString MarkColour = QStringLiteral("#f59e0b");
const QString UnsavedText = QStringLiteral("⚠ Written to the drive, not yet saved to ROM");

bool marked(const QWidget *card)
{
    return card->styleSheet().contains(MarkColour);
}

// The box of a row, decimal or integer, stepped by n of its steps.
void stepBox(QWidget *box, int n)
{
    if (auto *decimal = qobject_cast<QDoubleSpinBox *>(box))
        decimal->stepBy(n);
    else if (auto *integer = qobject_cast<QSpinBox *>(box))
        integer->stepBy(n);
}

QString boxText(const QWidget *box)
{
    if (auto *decimal = qobject_cast<const QDoubleSpinBox *>(box))
        return QString::number(decimal->value(), 'f', decimal->decimals());
    return QString::number(qobject_cast<const QSpinBox *>(box)->value());
}

}  // namespace

class UnsavedChangesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void editingMarksTheRowUntilItHoldsTheDrivesValueAgain_data();
    void editingMarksTheRowUntilItHoldsTheDrivesValueAgain();
    void readingTheRowClearsItsMark_data();
    void readingTheRowClearsItsMark();
    void writingClearsTheMarkUntilSavedToRom_data();
    void writingClearsTheMarkUntilSavedToRom();
    void readsLeaveNoMarkOnValuesTheBoxesRound();
    void pushModeSwitchIsAWrite();
    void importingAFileMarksRowsButWritesNothing();

    void disconnectAsksAboutUnsavedWrites_data();
    void disconnectAsksAboutUnsavedWrites();
    void closingAsksAboutUnsavedWrites_data();
    void closingAsksAboutUnsavedWrites();
    void aFailedSaveKeepsTheDriveConnected();
    void nothingWrittenNothingAsked();
    void aLostConnectionClearsTheStateWithoutAsking();
    void marksAndNoticeFollowTheLanguage();

private:
    QString prepare(ParamWindowBench &bench, int tab, const SimDriveConfig &drive = ParamWindowBench::lead1Drive());
    // The tab is shown and its reads are done.
    void showTab(ParamWindowBench &bench, int tab);
    // Writes homeTorque one step up, which leaves the ROM unsaved.
    void writeAParameter(ParamWindowBench &bench);
    QLabel *notice(ParamWindowBench &bench) { return bench.find<QLabel>("lblUnsavedRom"); }
};

QString UnsavedChangesTest::prepare(ParamWindowBench &bench, int tab, const SimDriveConfig &drive)
{
    const QString started = bench.start(drive);
    if (!started.isEmpty())
        return started;
    bench.window->show();
    if (!QTest::qWaitForWindowExposed(bench.window.get()))
        return QStringLiteral("the window was not exposed");
    showTab(bench, tab);
    return QString();
}

void UnsavedChangesTest::showTab(ParamWindowBench &bench, int tab)
{
    const ParamManager *params = bench.window->params();
    bench.find<QTabWidget>("mainTabs")->setCurrentIndex(tab);
    const QString readLast = tab == MainWindow::MotionTab ? QStringLiteral("softLimitCW") : QStringLiteral("posWarn");
    QTRY_VERIFY_WITH_TIMEOUT(params->hasDriveValue(readLast), WaitMs);
}

void UnsavedChangesTest::writeAParameter(ParamWindowBench &bench)
{
    stepBox(bench.find<QSpinBox>("spin_homeTorque"), 1);
    bench.find<QPushButton>("btnWrite_homeTorque")->click();
    QVERIFY(notice(bench)->isVisible());
    bench.bus.clearRequests();
    bench.dialogs->clear();
}

void UnsavedChangesTest::editingMarksTheRowUntilItHoldsTheDrivesValueAgain_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("card");  // empty: the frame the box sits in
    QTest::addColumn<QString>("unit");

    QTest::newRow("speed") << int(MainWindow::MotionTab) << "spinD_pos0Speed" << "frame_pos0Speed" << "mm/s";
    QTest::newRow("home torque") << int(MainWindow::MotionTab) << "spin_homeTorque" << "frame_homeTorque" << "%";
    QTest::newRow("soft limit") << int(MainWindow::MotionTab) << "spinD_softLimitCW" << "" << "mm";
    QTest::newRow("smoothing") << int(MainWindow::AdvancedTab) << "spin_smoothMs" << "lblTitle_smoothMs" << "ms";
    QTest::newRow("threshold") << int(MainWindow::AdvancedTab) << "param_spinDynErrMm" << "lblTitle_dynErr" << "mm";
    QTest::newRow("idle current") << int(MainWindow::AdvancedTab) << "spin_idleCurrent" << "lblTitle_idleCurrent"
                                  << "%";
}

void UnsavedChangesTest::editingMarksTheRowUntilItHoldsTheDrivesValueAgain()
{
    QFETCH(int, tab);
    QFETCH(QString, box);
    QFETCH(QString, card);
    QFETCH(QString, unit);
    ParamWindowBench bench;
    const QString prepared = prepare(bench, tab);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    QWidget *valueBox = bench.window->findChild<QWidget *>(box);
    QWidget *rowCard = card.isEmpty() ? valueBox->parentWidget() : bench.window->findChild<QWidget *>(card);
    QVERIFY(valueBox && rowCard);
    QVERIFY(!marked(rowCard));
    const QString cleanStyle = rowCard->styleSheet();
    const QString cleanTip = rowCard->toolTip();
    const QString driveValue = boxText(valueBox) + QLatin1Char(' ') + unit;

    stepBox(valueBox, -1);

    QVERIFY(marked(rowCard));
    const QString tip = QStringLiteral("Not written yet; drive value: %1").arg(driveValue);
    QCOMPARE(rowCard->toolTip(), tip);
    QCOMPARE(valueBox->toolTip(), tip);

    stepBox(valueBox, 1);

    QVERIFY(!marked(rowCard));
    QCOMPARE(rowCard->styleSheet(), cleanStyle);
    QCOMPARE(rowCard->toolTip(), cleanTip);
    QVERIFY(bench.writes().isEmpty());
    QVERIFY(notice(bench)->isHidden());
}

void UnsavedChangesTest::readingTheRowClearsItsMark_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("card");
    QTest::addColumn<QString>("readButton");

    QTest::newRow("acceleration") << int(MainWindow::MotionTab) << "spin_pos0Accel" << "frame_pos0Accel"
                                  << "btnRead_pos0Accel";
    QTest::newRow("run current") << int(MainWindow::AdvancedTab) << "spin_runCurrent" << "lblTitle_runCurrent"
                                 << "btnRead_runCurrent";
}

void UnsavedChangesTest::readingTheRowClearsItsMark()
{
    QFETCH(int, tab);
    QFETCH(QString, box);
    QFETCH(QString, card);
    QFETCH(QString, readButton);
    ParamWindowBench bench;
    const QString prepared = prepare(bench, tab);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    QWidget *valueBox = bench.window->findChild<QWidget *>(box);
    QWidget *rowCard = bench.window->findChild<QWidget *>(card);
    const QString driveValue = boxText(valueBox);
    stepBox(valueBox, 3);
    QVERIFY(marked(rowCard));

    bench.find<QPushButton>(qPrintable(readButton))->click();

    QCOMPARE(boxText(valueBox), driveValue);
    QVERIFY(!marked(rowCard));
}

void UnsavedChangesTest::writingClearsTheMarkUntilSavedToRom_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("card");
    QTest::addColumn<QString>("writeButton");

    QTest::newRow("home torque") << int(MainWindow::MotionTab) << "spin_homeTorque" << "frame_homeTorque"
                                 << "btnWrite_homeTorque";
    QTest::newRow("smoothing") << int(MainWindow::AdvancedTab) << "spin_smoothMs" << "lblTitle_smoothMs"
                               << "btnWrite_smoothMs";
    QTest::newRow("run current") << int(MainWindow::AdvancedTab) << "spin_runCurrent" << "lblTitle_runCurrent"
                                 << "btnWrite_runCurrent";
}

void UnsavedChangesTest::writingClearsTheMarkUntilSavedToRom()
{
    QFETCH(int, tab);
    QFETCH(QString, box);
    QFETCH(QString, card);
    QFETCH(QString, writeButton);
    ParamWindowBench bench;
    const QString prepared = prepare(bench, tab);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    QWidget *valueBox = bench.window->findChild<QWidget *>(box);
    QWidget *rowCard = bench.window->findChild<QWidget *>(card);
    stepBox(valueBox, 2);
    const QString written = boxText(valueBox);
    QVERIFY(marked(rowCard));
    QVERIFY(notice(bench)->isHidden());

    bench.find<QPushButton>(qPrintable(writeButton))->click();

    QCOMPARE(boxText(valueBox), written);
    QVERIFY(!marked(rowCard));
    QVERIFY(notice(bench)->isVisible());
    QCOMPARE(notice(bench)->text(), UnsavedText);

    bench.bus.clearRequests();
    bench.find<QPushButton>(tab == MainWindow::MotionTab ? "btnSaveParams" : "btnSaveParams_adv")->click();

    QCOMPARE(bench.writes(), QStringList{SaveToRom});
    QVERIFY(notice(bench)->isHidden());
}

void UnsavedChangesTest::readsLeaveNoMarkOnValuesTheBoxesRound()
{
    // Lead 5 mm: an encoder step is 0.025 mm, so 25 steps (0.625 mm) show as a
    // two-decimal box value that would write 26; 12001 hundredths of an rpm are
    // 10.0008 mm/s, shown 10.00; 12.345 mm shows with two decimals.
    SimDriveConfig lead5 = ParamWindowBench::lead10Drive();
    lead5.rawLead = 5;
    lead5.stroke = 300;
    ParamWindowBench bench;
    const QString started = bench.start(lead5);
    if (!started.isEmpty())
        QSKIP(qPrintable(started));
    bench.setReg(Reg::DynamicErrorThreshold, 25);
    bench.setReg(Reg::StaticErrorThreshold, 21);
    bench.setReg32(Reg::Pos0Speed, 12001);
    bench.setReg32(Reg::Pos1Position, 12345);
    bench.setReg32(Reg::Pos0Position, 5001);

    showTab(bench, MainWindow::MotionTab);
    showTab(bench, MainWindow::AdvancedTab);

    const ParamManager *params = bench.window->params();
    for (const char *key : {"dynErr", "staErr", "pos0Speed", "pos1Pos", "pos0Pos"})
        QVERIFY2(params->hasDriveValue(QLatin1String(key)), key);
    for (auto it = params->params().constBegin(); it != params->params().constEnd(); ++it)
        QVERIFY2(!params->isDirty(it.key()), qPrintable(it.key()));
    for (const char *card : {"lblTitle_dynErr", "lblTitle_staErr", "frame_pos0Speed", "frame_pos1Pos"})
        QVERIFY2(!marked(bench.find<QWidget>(card)), card);
}

void UnsavedChangesTest::pushModeSwitchIsAWrite()
{
    ParamWindowBench bench;
    const QString prepared = prepare(bench, MainWindow::MotionTab);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));

    bench.find<QCheckBox>("ckbtn_pos1Push")->click();

    QVERIFY(notice(bench)->isVisible());
}

void UnsavedChangesTest::importingAFileMarksRowsButWritesNothing()
{
    ParamWindowBench bench;
    const QString prepared = prepare(bench, MainWindow::MotionTab);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("p.json"));
    bench.dialogs->queueFileName(file);
    bench.dialogs->queueAnswer(QMessageBox::Yes);
    bench.find<QPushButton>("btnExportParams")->click();
    QFile exported(file);
    QVERIFY(exported.open(QIODevice::ReadOnly));
    QJsonObject root = QJsonDocument::fromJson(exported.readAll()).object();
    exported.close();
    root.insert(QStringLiteral("homeTorque"), root.value(QStringLiteral("homeTorque")).toInt() + 10);
    QVERIFY(exported.open(QIODevice::WriteOnly | QIODevice::Truncate));
    exported.write(QJsonDocument(root).toJson());
    exported.close();
    bench.bus.clearRequests();

    bench.dialogs->queueFileName(file);
    bench.find<QPushButton>("btnImportParams")->click();

    QVERIFY(marked(bench.find<QWidget>("frame_homeTorque")));
    QVERIFY(!marked(bench.find<QWidget>("frame_pos0Speed")));
    QVERIFY(bench.writes().isEmpty());
    QVERIFY(notice(bench)->isHidden());
}

void UnsavedChangesTest::disconnectAsksAboutUnsavedWrites_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<bool>("stays");

    QTest::newRow("save") << int(QMessageBox::Save) << true << false;
    QTest::newRow("discard") << int(QMessageBox::Discard) << false << false;
    QTest::newRow("cancel") << int(QMessageBox::Cancel) << false << true;
}

void UnsavedChangesTest::disconnectAsksAboutUnsavedWrites()
{
    QFETCH(int, answer);
    QFETCH(bool, saved);
    QFETCH(bool, stays);
    ParamWindowBench bench;
    const QString prepared = prepare(bench, MainWindow::MotionTab);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    writeAParameter(bench);
    bench.dialogs->queueAnswer(QMessageBox::StandardButton(answer));

    bench.find<QPushButton>("btnDisconnect")->click();

    QCOMPARE(bench.dialogs->count(), 1);
    const ScriptedDialogs::Shown asked = bench.dialogs->last();
    QCOMPARE(asked.title, QStringLiteral("Unsaved Changes"));
    QVERIFY(asked.text.contains(QLatin1String("Save them to ROM now?")));
    QCOMPARE(asked.buttons, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    QCOMPARE(bench.writes().contains(SaveToRom), saved);
    QCOMPARE(bench.connected(), stays);
    QCOMPARE(notice(bench)->isVisible(), stays);
}

void UnsavedChangesTest::closingAsksAboutUnsavedWrites_data()
{
    disconnectAsksAboutUnsavedWrites_data();
}

void UnsavedChangesTest::closingAsksAboutUnsavedWrites()
{
    QFETCH(int, answer);
    QFETCH(bool, saved);
    QFETCH(bool, stays);
    ParamWindowBench bench;
    const QString prepared = prepare(bench, MainWindow::AdvancedTab);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    writeAParameter(bench);
    bench.dialogs->queueAnswer(QMessageBox::StandardButton(answer));

    const bool closed = bench.window->close();

    QCOMPARE(bench.dialogs->count(), 1);
    QCOMPARE(bench.dialogs->last().title, QStringLiteral("Unsaved Changes"));
    QCOMPARE(closed, !stays);
    QCOMPARE(bench.window->isVisible(), stays);
    QCOMPARE(bench.writes().contains(SaveToRom), saved);
    QVERIFY(bench.connected());
}

void UnsavedChangesTest::aFailedSaveKeepsTheDriveConnected()
{
    ParamWindowBench bench;
    const QString prepared = prepare(bench, MainWindow::MotionTab);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    writeAParameter(bench);
    // With polling held, the save is the only request the silent drive leaves unanswered.
    bench.quiesce();
    bench.setFaults([](SimFaults &f) { f.silent = true; });
    bench.dialogs->queueAnswer(QMessageBox::Save);

    bench.find<QPushButton>("btnDisconnect")->click();
    bench.setFaults([](SimFaults &) {});

    QVERIFY(bench.writes().contains(SaveToRom));
    QCOMPARE(bench.dialogs->count(), 2);
    QCOMPARE(bench.dialogs->last().title, QStringLiteral("Save Failed"));
    QVERIFY(bench.connected());
    QVERIFY(notice(bench)->isVisible());
}

void UnsavedChangesTest::nothingWrittenNothingAsked()
{
    ParamWindowBench bench;
    const QString prepared = prepare(bench, MainWindow::MotionTab);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    // An edit that was never written leaves nothing on the drive to save.
    stepBox(bench.find<QSpinBox>("spin_homeTorque"), 1);
    bench.dialogs->clear();

    bench.find<QPushButton>("btnDisconnect")->click();
    QVERIFY(!bench.connected());
    QVERIFY(bench.window->close());

    QCOMPARE(bench.dialogs->count(), 0);
}

void UnsavedChangesTest::aLostConnectionClearsTheStateWithoutAsking()
{
    ParamWindowBench bench;
    const QString prepared = prepare(bench, MainWindow::MotionTab);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    stepBox(bench.find<QDoubleSpinBox>("spinD_pos0Speed"), 1);
    QVERIFY(marked(bench.find<QWidget>("frame_pos0Speed")));
    writeAParameter(bench);

    bench.setFaults([](SimFaults &f) { f.silent = true; });

    QTRY_VERIFY_WITH_TIMEOUT(!bench.connected(), WaitMs);
    QVERIFY(notice(bench)->isHidden());
    QVERIFY(!marked(bench.find<QWidget>("frame_pos0Speed")));
    QCOMPARE(bench.dialogs->count(), 1);
    QCOMPARE(bench.dialogs->last().title, QStringLiteral("Disconnected"));
    // Nothing left to ask about on closing.
    QVERIFY(bench.window->close());
    QCOMPARE(bench.dialogs->count(), 1);
}

void UnsavedChangesTest::marksAndNoticeFollowTheLanguage()
{
    ParamWindowBench bench;
    const QString prepared = prepare(bench, MainWindow::MotionTab);
    if (!prepared.isEmpty())
        QSKIP(qPrintable(prepared));
    auto *speed = bench.find<QDoubleSpinBox>("spinD_pos0Speed");
    const QString driveValue = boxText(speed);
    stepBox(speed, 1);
    writeAParameter(bench);

    bench.find<QComboBox>("cbLanguage")->setCurrentIndex(0);

    QCOMPARE(bench.find<QWidget>("frame_pos0Speed")->toolTip(),
             QStringLiteral("尚未寫入；設備值：%1 mm/s").arg(driveValue));
    QCOMPARE(notice(bench)->text(), QStringLiteral("⚠ 參數已寫入設備，尚未斷電保存"));
}

int main(int argc, char *argv[])
{
    return runWindowTest<UnsavedChangesTest>(argc, argv);
}

#include "tst_unsaved.moc"
