#include "engineeringfixture.h"
#include "productconfig.h"
#include "registertemplate.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTextEdit>

using namespace EngFixture;

namespace {

const CmpTask &taskOf(const Window &w, const char *key)
{
    static const CmpTask none;
    const int index = RegisterTemplate::rowIndex(QLatin1String(key));
    const QVector<CmpTask> &tasks = w->compare()->tasks();
    return index >= 0 && index < tasks.size() ? tasks[index] : none;
}

QString hexOf(const QByteArray &bytes)
{
    QStringList parts;
    for (char byte : bytes)
        parts << QStringLiteral("%1").arg(quint8(byte), 2, 16, QLatin1Char('0')).toUpper();
    return parts.join(QLatin1Char(' '));
}

QString expectedOf(const Window &w, const char *key)
{
    return hexOf(taskOf(w, key).expected);
}

// The value word after the tag word.
int wordOf(const Window &w, const char *key)
{
    const QByteArray &data = taskOf(w, key).expected;
    return data.size() < 4 ? -1 : (quint8(data[2]) << 8) | quint8(data[3]);
}

// The two value words after the tag word, low word first.
qint64 dwordOf(const Window &w, const char *key)
{
    const QByteArray &data = taskOf(w, key).expected;
    if (data.size() < 6)
        return -1;
    return qint64((quint8(data[4]) << 8) | quint8(data[5])) << 16 | (quint8(data[2]) << 8) | quint8(data[3]);
}

QStringList shownButtons(const Window &w, const QStringList &names)
{
    QStringList shown;
    for (const QString &name : names) {
        if (!w.widget<QWidget>(qPrintable(name))->isHidden())
            shown << name;
    }
    return shown;
}

const QStringList SizeButtons = {"rb_Size_16", "rb_Size_20", "rb_Size_25", "rb_Size_32",
                                 "rb_Size_40", "rb_Size_50", "rb_Size_63", "rb_Size_80"};
const QStringList LeadButtons = {"rb_Lead_1", "rb_Lead_1_5", "rb_Lead_2", "rb_Lead_5",
                                 "rb_Lead_8", "rb_Lead_10",  "rb_Lead_20"};
const QStringList StrokeButtons = {"rb_Stroke_20", "rb_Stroke_30", "rb_Stroke_40",
                                   "rb_Stroke_50", "rb_Stroke_75", "rb_Stroke_100"};

void check(const Window &w, const char *name)
{
    w.widget<QAbstractButton>(name)->setChecked(true);
}

bool isChecked(const Window &w, const char *name)
{
    return w.widget<QAbstractButton>(name)->isChecked();
}

QStringList comboTexts(QComboBox *combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

}  // namespace

class EngFormTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void init() { forgetSettings(); }

    void startUpBlockIsTheTemplatePatchedForTheStartValues()
    {
        Window w = makeWindow(false);
        QCOMPARE(w->compare()->taskCount(), RegisterTemplate::RowCount);
        QCOMPARE(wordOf(w, "ecModel"), 0);
        QCOMPARE(wordOf(w, "ecSize"), 16);
        QCOMPARE(wordOf(w, "ecLead"), 0x000A);
        QCOMPARE(wordOf(w, "ecStroke"), 0x001E);
        QCOMPARE(expectedOf(w, "softCw"), QStringLiteral("10 70 75 30 00 00"));
        QCOMPARE(dwordOf(w, "pos0PushSpd"), 30000);
        QCOMPARE(dwordOf(w, "tqSpeed"), 30000);
        QCOMPARE(wordOf(w, "execTq"), 0x83E9);
        QCOMPARE(wordOf(w, "tqMode"), 0x0155);
        QCOMPARE(expectedOf(w, "pos0PushForce"), QStringLiteral("00 9E 02 33"));
        QCOMPARE(wordOf(w, "current"), 100);
        QCOMPARE(dwordOf(w, "ppr"), 1000);
        // Rows without a key go out as shipped.
        QCOMPARE(hexOf(w->compare()->tasks()[25].expected), QStringLiteral("00 00 00 20 00 04 00 20 00 99"));

        QCOMPARE(w.widget<QLabel>("lblRatedCurrent")->text(), QStringLiteral("1.0 A"));
        QCOMPARE(w.widget<QLabel>("lbl_SoftLimitCW")->text(), QStringLiteral("30000"));
        QCOMPARE(w.widget<QSpinBox>("gen_Pos1Pos")->value(), 30000);
        QCOMPARE(w.widget<QLabel>("lblGenSmoothConst")->text(), QStringLiteral("→ 常數 25（實際 40 ms）"));
        // The form is off screen at start-up; its lead is kept all the same.
        QVERIFY(isChecked(w, "rb_Lead_1"));
        QCOMPARE(w.widget<QTableWidget>("cmpTable")->rowCount(), RegisterTemplate::RowCount);
    }

    void familyOfFewSizesShowsThemAndTakesTheFirst()
    {
        Window w = makeWindow();
        check(w, "rb_Model_LXF");

        QCOMPARE(shownButtons(w, SizeButtons), (QStringList{"rb_Size_32", "rb_Size_50", "rb_Size_63", "rb_Size_80"}));
        QVERIFY(isChecked(w, "rb_Size_32"));
        QCOMPARE(w.widget<QLabel>("lblRatedCurrent")->text(), QStringLiteral("1.8 A"));
        QCOMPARE(shownButtons(w, LeadButtons), QStringList{"rb_Lead_1_5"});
        QVERIFY(isChecked(w, "rb_Lead_1_5"));
        QCOMPARE(shownButtons(w, StrokeButtons), QStringList{"rb_Stroke_20"});
        QVERIFY(isChecked(w, "rb_Stroke_20"));
        // The shown choices close up from the first cell of their grid, in order.
        auto *sizes = w.window->findChild<QGridLayout *>(QStringLiteral("gridLayout_size"));
        const int columns = sizes->columnCount();
        const char *const shownSizes[] = {"rb_Size_32", "rb_Size_50", "rb_Size_63", "rb_Size_80"};
        for (int slot = 0; slot < 4; ++slot) {
            int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
            sizes->getItemPosition(sizes->indexOf(w.widget<QWidget>(shownSizes[slot])), &row, &column, &rowSpan,
                                   &columnSpan);
            QCOMPARE(row * columns + column, slot);
        }

        QCOMPARE(w.widget<QSpinBox>("gen_PPR")->value(), 1500);
        QCOMPARE(w.widget<QSpinBox>("gen_Speed")->value(), 20000);
        QCOMPARE(wordOf(w, "ecModel"), 5);
        QCOMPARE(wordOf(w, "ecSize"), 32);
        QCOMPARE(wordOf(w, "current"), 180);
        QCOMPARE(wordOf(w, "ecLead"), 15);
        QCOMPARE(dwordOf(w, "ppr"), 1500);
        QCOMPARE(dwordOf(w, "pos0PushSpd"), 20000);
        QCOMPARE(dwordOf(w, "tqSpeed"), 20000);
        // The block carries the stroke the form shows.
        QCOMPARE(wordOf(w, "ecStroke"), 20);
        QCOMPARE(dwordOf(w, "softCw"), 20000);
        QCOMPARE(w.widget<QLabel>("lbl_SoftLimitCW")->text(), QStringLiteral("20000"));
    }

    void rangedStrokesComeFromTheComboAndStayWhenOffered()
    {
        Window w = makeWindow();
        check(w, "rb_Model_LXG");

        QCOMPARE(shownButtons(w, SizeButtons), (QStringList{"rb_Size_32", "rb_Size_40", "rb_Size_50", "rb_Size_63"}));
        QVERIFY(isChecked(w, "rb_Size_32"));
        QCOMPARE(shownButtons(w, LeadButtons), (QStringList{"rb_Lead_1", "rb_Lead_2"}));
        QVERIFY(isChecked(w, "rb_Lead_1"));
        auto *stack = w.widget<QStackedWidget>("strokeStack");
        auto *combo = w.widget<QComboBox>("comboStrokeRange");
        QCOMPARE(stack->currentIndex(), 1);
        QCOMPARE(comboTexts(combo), (QStringList{"100 mm", "150 mm", "200 mm", "250 mm", "300 mm", "350 mm",
                                                 "400 mm"}));
        QCOMPARE(combo->currentText(), QStringLiteral("100 mm"));
        QCOMPARE(wordOf(w, "ecStroke"), 100);
        QCOMPARE(w.widget<QSpinBox>("gen_Pos1Pos")->value(), 100000);

        combo->setCurrentIndex(combo->findData(300));
        QCOMPARE(wordOf(w, "ecStroke"), 300);
        QCOMPARE(dwordOf(w, "softCw"), 300000);
        QCOMPARE(dwordOf(w, "pos1Pls"), 300000);

        check(w, "rb_Size_50");
        QCOMPARE(comboTexts(combo).size(), 15);
        QCOMPARE(combo->currentText(), QStringLiteral("300 mm"));
        QCOMPARE(wordOf(w, "ecStroke"), 300);
        // Lead 1 is not made in size 50: the first lead of the group that is.
        QCOMPARE(shownButtons(w, LeadButtons), (QStringList{"rb_Lead_5", "rb_Lead_10", "rb_Lead_20"}));
        QVERIFY(!isChecked(w, "rb_Lead_1"));
        QVERIFY(isChecked(w, "rb_Lead_5"));
        QCOMPARE(wordOf(w, "ecLead"), 50);

        check(w, "rb_Model_LXA");
        QCOMPARE(stack->currentIndex(), 0);
        QVERIFY(isChecked(w, "rb_Size_16"));
        QCOMPARE(shownButtons(w, StrokeButtons),
                 (QStringList{"rb_Stroke_30", "rb_Stroke_50", "rb_Stroke_75", "rb_Stroke_100"}));
        // 300 mm is not made for this family: the first stroke that is replaces it.
        QVERIFY(isChecked(w, "rb_Stroke_30"));
        QCOMPARE(wordOf(w, "ecStroke"), 30);
    }

    void leadDefaultsFollowTheLead_data()
    {
        QTest::addColumn<QString>("family");
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("lead");
        QTest::addColumn<int>("ppr");
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("ecLead");
        QTest::addColumn<int>("pushSpeed");
        QTest::addColumn<int>("tqSpeed");
        QTest::newRow("1.5 mm") << "rb_Model_LXF" << "rb_Size_50" << "rb_Lead_1_5" << 1500 << 20000 << 15 << 20000
                                << 20000;
        QTest::newRow("8 mm") << "rb_Model_LXC2" << "rb_Size_25" << "rb_Lead_8" << 8000 << 3750 << 80 << 3750
                              << 3750;
        QTest::newRow("20 mm") << "rb_Model_LXG" << "rb_Size_40" << "rb_Lead_20" << 20000 << 1500 << 200 << 1500
                               << 1500;
    }
    void leadDefaultsFollowTheLead()
    {
        QFETCH(QString, family);
        QFETCH(QString, size);
        QFETCH(QString, lead);
        QFETCH(int, ppr);
        QFETCH(int, speed);
        QFETCH(int, ecLead);
        QFETCH(int, pushSpeed);
        QFETCH(int, tqSpeed);

        Window w = makeWindow();
        check(w, qPrintable(family));
        check(w, qPrintable(size));
        check(w, qPrintable(lead));

        QCOMPARE(w.widget<QSpinBox>("gen_PPR")->value(), ppr);
        QCOMPARE(w.widget<QSpinBox>("gen_Speed")->value(), speed);
        QCOMPARE(wordOf(w, "ecLead"), ecLead);
        QCOMPARE(dwordOf(w, "ppr"), ppr);
        QCOMPARE(dwordOf(w, "speed"), speed);
        QCOMPARE(dwordOf(w, "pos0PushSpd"), pushSpeed);
        QCOMPARE(dwordOf(w, "pos1PushSpd"), pushSpeed);
        QCOMPARE(dwordOf(w, "tqSpeed"), tqSpeed);
    }

    void blockFollowsTheForm_data()
    {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("data");
        QTest::newRow("push torque 30") << "gen_Pos0PushTorque" << 30 << "pos0PushForce" << "00 9E 02 33";
        QTest::newRow("push torque 40") << "gen_Pos1PushTorque" << 40 << "pos1PushForce" << "00 9E 02 44";
        QTest::newRow("push torque 70") << "gen_Pos0PushTorque" << 70 << "pos0PushForce" << "00 9E 02 77";
        QTest::newRow("push torque 100") << "gen_Pos0PushTorque" << 100 << "pos0PushForce" << "00 9E 02 77";
        QTest::newRow("push at position 0") << "gen_Pos0PushEnable" << 1 << "pos0PushEnable" << "00 6C 00 D0";
        QTest::newRow("push at position 1") << "gen_Pos1PushEnable" << 1 << "pos1PushEnable" << "00 6C 00 A8";
        QTest::newRow("motor CCW") << "rb_Dir_CCW" << 1 << "motorDir" << "00 6B 00 01";
        QTest::newRow("torque mode") << "gen_TqMode" << 2 << "tqMode" << "00 9E 02 55";
        QTest::newRow("torque force") << "gen_TqForce" << 170 << "tqMode" << "00 9E 01 AA";
        QTest::newRow("exec offset") << "gen_ExecOffset" << 1000 << "execTq" << "00 CB 87 D1";
        QTest::newRow("accel") << "gen_Accel" << 123 << "pos0Acc" << "00 98 00 7B";
        QTest::newRow("decel") << "gen_Pos1Decel" << 1000 << "pos1Dec" << "00 99 03 E8";
        QTest::newRow("speed") << "gen_Pos1Speed" << 250000 << "pos1Spd" << "10 D8 D0 90 00 03";
        QTest::newRow("position") << "gen_Pos0" << 70000 << "pos0Pls" << "10 D0 11 70 00 01";
        QTest::newRow("ppr") << "gen_PPR" << 4000 << "ppr" << "10 24 0F A0 00 00";
        QTest::newRow("initial speed") << "gen_Speed" << 12345 << "speed" << "10 D8 30 39 00 00";
        QTest::newRow("torque speed") << "gen_TqSpeed" << 2 << "tqSpeed" << "10 D8 2E E0 00 00";
    }
    void blockFollowsTheForm()
    {
        QFETCH(QString, widget);
        QFETCH(int, value);
        QFETCH(QString, key);
        QFETCH(QString, data);

        Window w = makeWindow();
        QWidget *input = w.widget<QWidget>(qPrintable(widget));
        if (auto *box = qobject_cast<QSpinBox *>(input))
            box->setValue(value);
        else if (auto *button = qobject_cast<QAbstractButton *>(input))
            button->setChecked(value != 0);
        QCOMPARE(expectedOf(w, qPrintable(key)), data);
    }

    void forwardExecutedTorqueCarriesNoDirectionBit()
    {
        Window w = makeWindow();
        w.widget<QSpinBox>("gen_ExecOffset")->setValue(1000);
        check(w, "rb_ExecDir_0");
        QCOMPARE(wordOf(w, "execTq"), 0x07D1);
    }

    void thresholdsShowTheirAngleAndGoIntoTheBlock()
    {
        Window w = makeWindow();
        w.widget<QDoubleSpinBox>("spinDynErrMm")->setValue(0.5);
        QCOMPARE(wordOf(w, "dynErr"), 100);
        QCOMPARE(w.widget<QLabel>("lbl_DynErrThreshold")->text(), QStringLiteral(" = 180.0°"));
        w.widget<QDoubleSpinBox>("spinStaErrMm")->setValue(0.25);
        QCOMPARE(wordOf(w, "staErr"), 50);
        QCOMPARE(w.widget<QLabel>("lbl_StaErrThreshold")->text(), QStringLiteral(" = 90.0°"));
        w.widget<QDoubleSpinBox>("spinPosWarnMm")->setValue(1.0);
        QCOMPARE(wordOf(w, "posWarn"), 200);
        QCOMPARE(w.widget<QLabel>("lbl_PosWarnThreshold")->text(), QStringLiteral(" = 360.0°"));
    }

    void smoothingLabelShowsTheConstant_data()
    {
        QTest::addColumn<int>("languageIndex");
        QTest::addColumn<int>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("40 ms") << 0 << 40 << "→ 常數 25（實際 40 ms）";
        QTest::newRow("3 ms") << 0 << 3 << "→ 常數 333（實際 3 ms）";
        QTest::newRow("7 ms") << 0 << 7 << "→ 常數 143（實際 7 ms）";
        QTest::newRow("1000 ms") << 0 << 1000 << "→ 常數 1（實際 1000 ms）";
        QTest::newRow("english") << 1 << 40 << "→ const 25 (actual 40 ms)";
    }
    void smoothingLabelShowsTheConstant()
    {
        QFETCH(int, languageIndex);
        QFETCH(int, ms);
        QFETCH(QString, text);
        Window w = makeWindow();
        w.widget<QComboBox>("cbLanguage")->setCurrentIndex(languageIndex);
        w.widget<QSpinBox>("gen_SmoothMs")->setValue(ms);
        QCOMPARE(w.widget<QLabel>("lblGenSmoothConst")->text(), text);
    }

    void smoothingLabelFollowsTheLanguage()
    {
        Window w = makeWindow();
        w.widget<QComboBox>("cbLanguage")->setCurrentIndex(1);
        QCOMPARE(w.widget<QLabel>("lblGenSmoothConst")->text(), QStringLiteral("→ const 25 (actual 40 ms)"));
    }

    void importReplacesTheTableAndTheFormPatchesItsRowsByIndex()
    {
        Window w = makeWindow();
        openWithoutDrive(w);
        const QString path = m_dir.filePath("import.txt");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
        file.write("01 2C 00 02 04 00 0D 00 64\n\n  too short  \n01 30 00 03 06 10 24 03 E8 00 00\n");
        file.close();
        w.dialogs->queueFileName(path);

        QTest::mouseClick(w.widget<QAbstractButton>("btnCmpImp"), Qt::LeftButton);

        const ScriptedDialogs::Shown open = w.dialogs->last();
        QCOMPARE(open.kind, ScriptedDialogs::Kind::OpenFile);
        QCOMPARE(open.title, QStringLiteral("Open"));
        QCOMPARE(open.filter, QStringLiteral("Text Files (*.txt)"));
        const QVector<CmpTask> &tasks = w->compare()->tasks();
        QCOMPARE(tasks.size(), 2);
        QCOMPARE(tasks[1].rowIndex, 2);
        QCOMPARE(w.widget<QTableWidget>("cmpTable")->rowCount(), 2);
        QVERIFY(w.widget<QTextEdit>("cmpLogs")->toPlainText().contains(QStringLiteral("已從檔案載入 2 筆資料")));

        // The form patches by position in the list, whatever the rows now are.
        w.widget<QSpinBox>("gen_TqForce")->setValue(100);
        QCOMPARE(hexOf(tasks[0].expected), QStringLiteral("00 0D 00 64"));
        QCOMPARE(hexOf(tasks[1].expected), QStringLiteral("10 24 32 32 00 00"));
        QCOMPARE(tasks.size(), 2);
    }

    void importOfAnEmptyFileEmptiesTheTableUntilTheFormFillsItAgain()
    {
        Window w = makeWindow();
        openWithoutDrive(w);
        const QString path = m_dir.filePath("empty.txt");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        w.dialogs->queueFileName(path);

        QTest::mouseClick(w.widget<QAbstractButton>("btnCmpImp"), Qt::LeftButton);

        auto *table = w.widget<QTableWidget>("cmpTable");
        QCOMPARE(w->compare()->taskCount(), 0);
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("無資料，請先設定左側參數或載入檔案。"));

        w.widget<QSpinBox>("gen_Accel")->setValue(300);
        QCOMPARE(w->compare()->taskCount(), RegisterTemplate::RowCount);
        QCOMPARE(wordOf(w, "pos0Acc"), 300);
    }

    void importOfAnUnreadableFileSaysSoAndKeepsTheTable()
    {
        Window w = makeWindow();
        openWithoutDrive(w);
        w.dialogs->queueFileName(QStringLiteral("/no/such/folder/block.txt"));

        QTest::mouseClick(w.widget<QAbstractButton>("btnCmpImp"), Qt::LeftButton);

        const ScriptedDialogs::Shown box = w.dialogs->last();
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.title, QStringLiteral("匯入失敗"));
        QVERIFY2(box.text.contains(QStringLiteral("/no/such/folder/block.txt")), qPrintable(box.text));
        QCOMPARE(w->compare()->taskCount(), RegisterTemplate::RowCount);
    }

    void cancelledImportChangesNothing()
    {
        Window w = makeWindow();
        openWithoutDrive(w);
        QTest::mouseClick(w.widget<QAbstractButton>("btnCmpImp"), Qt::LeftButton);
        QCOMPARE(w.dialogs->count(), 1);
        QCOMPARE(w->compare()->taskCount(), RegisterTemplate::RowCount);
    }

    void exportWritesTheListingOfTheTable()
    {
        Window w = makeWindow();
        openWithoutDrive(w);
        w.widget<QSpinBox>("gen_Pos0PushTorque")->setValue(70);
        const QString path = m_dir.filePath("modbus_params.txt");
        w.dialogs->queueFileName(path);

        QTest::mouseClick(w.widget<QAbstractButton>("btnExp"), Qt::LeftButton);

        const ScriptedDialogs::Shown save = w.dialogs->last();
        QCOMPARE(save.kind, ScriptedDialogs::Kind::SaveFile);
        QCOMPARE(save.title, QStringLiteral("Save Params"));
        QCOMPARE(save.text, QStringLiteral("modbus_params.txt"));
        QCOMPARE(save.filter, QStringLiteral("Text Files (*.txt)"));
        QCOMPARE(w.dialogs->count(), 1);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList lines = QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), RegisterTemplate::RowCount);
        QCOMPARE(lines.first(), QStringLiteral("01 01 2C 00 02 04 00 0D 00 64"));
        QVERIFY(lines.contains(QStringLiteral("01 02 47 00 02 04 00 9E 02 77")));
    }

    void exportThatCannotBeWrittenSaysSoAndLeavesTheTargetAlone()
    {
        Window w = makeWindow();
        openWithoutDrive(w);
        const QString folder = m_dir.filePath("a-folder.txt");
        QVERIFY(QDir().mkpath(folder));
        for (const QString &path : {QStringLiteral("/no/such/folder/modbus_params.txt"), folder}) {
            w.dialogs->clear();
            w.dialogs->queueFileName(path);
            QTest::mouseClick(w.widget<QAbstractButton>("btnExp"), Qt::LeftButton);
            QCOMPARE(w.dialogs->count(), 2);
            const ScriptedDialogs::Shown box = w.dialogs->last();
            QCOMPARE(box.icon, QMessageBox::Critical);
            QCOMPARE(box.title, QStringLiteral("匯出失敗"));
            QVERIFY2(box.text.contains(path), qPrintable(box.text));
        }
        QVERIFY(QFileInfo(folder).isDir());
    }

    void cancelledExportWritesNothing()
    {
        Window w = makeWindow();
        openWithoutDrive(w);
        QTest::mouseClick(w.widget<QAbstractButton>("btnExp"), Qt::LeftButton);
        QCOMPARE(w.dialogs->count(), 1);
        QVERIFY(!QFile::exists(QDir::current().filePath("modbus_params.txt")));
    }

    void connectedDriveChoosesTheFormsChoicesUntilTheFormIsUsed()
    {
        SimBus bus;
        SimDriveConfig drive;
        drive.station = 2;
        drive.familyCode = 6;  // LXGZ
        drive.size = 40;
        drive.rawLead = 100;   // 10 mm
        drive.stroke = 250;
        bus.addDrive(drive);
        if (!bus.start())
            QSKIP("no pseudo-terminal for the simulated bus");
        Window w = makeWindow();
        QVERIFY(connectTo(w, bus, 2));

        // The drive's size, lead choices and stroke, before the form is opened.
        QCOMPARE(shownButtons(w, LeadButtons), (QStringList{"rb_Lead_5", "rb_Lead_10", "rb_Lead_20"}));
        QCOMPARE(w.widget<QStackedWidget>("strokeStack")->currentIndex(), 1);
        QCOMPARE(w.widget<QComboBox>("comboStrokeRange")->currentText(), QStringLiteral("250 mm"));
        // The drive's own lead gives the angles.
        QCOMPARE(w.widget<QLabel>("lbl_DynErrThreshold")->text(),
                 QStringLiteral(" = %1°").arg(std::lround(w.widget<QDoubleSpinBox>("spinDynErrMm")->value() * 20) * 1.8,
                                             0, 'f', 1));

        toggleEngineerMode(w);
        w.tabs()->setCurrentIndex(MainWindow::EngineeringTab);
        typePassword(w, Password);
        check(w, "rb_Model_LXG");
        check(w, "rb_Size_40");
        check(w, "rb_Lead_10");
        QCOMPARE(w.widget<QSpinBox>("gen_PPR")->value(), 10000);
        QCOMPARE(wordOf(w, "ecLead"), 100);

        // Leaving the tab keeps the lead chosen on it.
        w.tabs()->setCurrentIndex(MainWindow::MonitorTab);
        w.tabs()->setCurrentIndex(MainWindow::EngineeringTab);
        QVERIFY(isChecked(w, "rb_Lead_10"));
        typePassword(w, Password);
        w.widget<QSpinBox>("gen_TqForce")->setValue(90);
        QCOMPARE(wordOf(w, "ecLead"), 100);
        QCOMPARE(wordOf(w, "tqMode"), 0x015A);
    }
};

int main(int argc, char *argv[])
{
    return EngFixture::runIsolated<EngFormTest>(argc, argv);
}

#include "tst_engform.moc"
