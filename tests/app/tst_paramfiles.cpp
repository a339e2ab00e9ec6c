// Parameter files through the window: export from the simulated drive,
// import with its checks, clamps and type errors, and files written by
// vexa-cli loading like the window's own.

#include "cli.h"
#include "paramwindowbench.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextStream>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

using Kind = ScriptedDialogs::Kind;

QStringList titles(const ScriptedDialogs &dialogs)
{
    QStringList found;
    for (const ScriptedDialogs::Shown &box : dialogs.shown())
        found << box.title;
    return found;
}

QJsonObject readJson(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    return QJsonDocument::fromJson(file.readAll()).object();
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every value box a parameter file fills, by file key, as the window shows it.
QMap<QString, double> screenValues(ParamWindowBench &bench)
{
    const QStringList integers{"pos0Accel", "pos0Decel", "pos1Accel", "pos1Decel", "homeTorque",
                               "pos0PushTorque", "pos1PushTorque", "smoothMs", "idleCurrent", "runCurrent"};
    const QStringList decimals{"pos0Speed", "pos0Pos", "pos1Speed", "pos1Pos", "softLimitCCW", "softLimitCW"};
    QMap<QString, double> values;
    for (const QString &key : integers)
        values.insert(key, bench.window->findChild<QSpinBox *>(QStringLiteral("spin_") + key)->value());
    for (const QString &key : decimals)
        values.insert(key, bench.window->findChild<QDoubleSpinBox *>(QStringLiteral("spinD_") + key)->value());
    values.insert(QStringLiteral("dynErr"), bench.find<QDoubleSpinBox>("param_spinDynErrMm")->value());
    values.insert(QStringLiteral("staErr"), bench.find<QDoubleSpinBox>("param_spinStaErrMm")->value());
    values.insert(QStringLiteral("pos0PushEnable"), bench.find<QCheckBox>("ckbtn_pos0Push")->isChecked());
    values.insert(QStringLiteral("pos1PushEnable"), bench.find<QCheckBox>("ckbtn_pos1Push")->isChecked());
    return values;
}

// Screen values other than the drive's, set without touching the drive.
void scribble(ParamWindowBench &bench)
{
    bench.find<QSpinBox>("spin_pos0Accel")->setValue(999);
    bench.find<QSpinBox>("spin_smoothMs")->setValue(3);
    bench.find<QSpinBox>("spin_idleCurrent")->setValue(31);
    bench.find<QDoubleSpinBox>("spinD_pos1Pos")->setValue(11.0);
    bench.find<QDoubleSpinBox>("spinD_pos0Speed")->setValue(1.5);
    bench.find<QDoubleSpinBox>("param_spinStaErrMm")->setValue(0.5);
}

}  // namespace

class ParamFilesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void exportWhileDisconnectedIsBlocked();
    void exportReadsTheDriveAndRecordsItsIdentity();
    void exportStopsWithoutAFileOrAYes_data();
    void exportStopsWithoutAFileOrAYes();
    void failedExportKeepsThePreviousFile();

    void exportedFileImportsBackUnchanged();
    void otherFamilyIsBlocked();
    void leadOnlyDifferenceAsksFirst_data();
    void leadOnlyDifferenceAsksFirst();
    void fileWithoutLeadLoadsWithoutAnyCheck();
    void formatVersion_data();
    void formatVersion();
    void positionBeyondTheStrokeIsClampedAfterConsent();
    void typeErrorsAndClampsAreReportedTogether();
    void positionsInTheWrongOrderLoadThenWarn();
    void unusableFilesAreReported_data();
    void unusableFilesAreReported();
    void importedPushSwitchesDoNotWrite();

    void cliExportMatchesTheWindowsAndLoadsUnchanged();

private:
    QString path(const QString &name) const { return dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> dir;
};

void ParamFilesTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void ParamFilesTest::exportWhileDisconnectedIsBlocked()
{
    ParamWindowBench bench;
    const QString skip = bench.build(ParamWindowBench::lead1Drive(), QStringLiteral("zh"));
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    // The tab guard keeps the page closed while disconnected; open it to reach the button.
    bench.find<QTabWidget>("mainTabs")->widget(MainWindow::MotionTab)->setEnabled(true);
    bench.find<QAbstractButton>("btnExportParams")->click();

    QCOMPARE(bench.dialogs->count(), 1);
    QCOMPARE(bench.dialogs->last().kind, Kind::Message);
    QCOMPARE(bench.dialogs->last().icon, QMessageBox::Warning);
    QCOMPARE(bench.dialogs->last().title, QStringLiteral("無法匯出"));
    QCOMPARE(bench.dialogs->last().text, QStringLiteral("請先連線至設備，以確保匯出檔案包含正確的產品資訊。"));
}

void ParamFilesTest::exportReadsTheDriveAndRecordsItsIdentity()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.setReg(Reg::Pos0Accel, 321);
    bench.setReg32(Reg::Pos1Speed, 90000);  // 15 mm/s at lead 1
    bench.setReg(Reg::Pos0MotionMode, Reg::PushMode::Pos0On);
    bench.setReg(Reg::Pos0PushTorque, 0x0144);  // 40 %
    bench.setReg(Reg::CurrentLimits, 0x4B3C);
    bench.setReg(Reg::SmoothingConstant, 20);
    bench.find<QSpinBox>("spin_pos0Accel")->setValue(999);  // an unsaved edit
    const QString file = path(QStringLiteral("out.json"));
    bench.dialogs->queueFileName(file);
    bench.dialogs->queueAnswer(QMessageBox::Yes);

    bench.find<QAbstractButton>("btnExportParams")->click();

    const QList<ScriptedDialogs::Shown> shown = bench.dialogs->shown();
    QCOMPARE(shown.size(), 3);
    QCOMPARE(shown[0].kind, Kind::SaveFile);
    QCOMPARE(shown[0].title, QStringLiteral("Export Parameters"));
    QCOMPARE(shown[0].text, QStringLiteral("LXAZ_16L01_50_BC_params.json"));
    QCOMPARE(shown[0].filter, QStringLiteral("JSON Files (*.json);;All Files (*)"));
    QCOMPARE(shown[1].icon, QMessageBox::Question);
    QCOMPARE(shown[1].title, QStringLiteral("Export Parameters"));
    QCOMPARE(shown[1].buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(shown[2].icon, QMessageBox::Information);
    QCOMPARE(shown[2].title, QStringLiteral("OK"));
    QCOMPARE(shown[2].text, QStringLiteral("Device parameters exported to:\n%1").arg(file));

    const QJsonObject json = readJson(file);
    QCOMPARE(json.value(QStringLiteral("formatVersion")).toInt(), 1);
    QCOMPARE(json.value(QStringLiteral("modelStr")).toString(), QStringLiteral("LXAZ-16L01-50-BC"));
    QCOMPARE(json.value(QStringLiteral("dir")).toString(), QStringLiteral("BC"));
    QCOMPARE(json.value(QStringLiteral("family")).toString(), QStringLiteral("LXAZ"));
    QCOMPARE(json.value(QStringLiteral("size")).toInt(), 16);
    QCOMPARE(json.value(QStringLiteral("lead")).toDouble(), 1.0);
    QCOMPARE(json.value(QStringLiteral("stroke")).toInt(), 50);
    QCOMPARE(json.value(QStringLiteral("logicVer")).toInt(), 0x4103);
    QCOMPARE(json.value(QStringLiteral("firmware")).toString(), QStringLiteral("V1.2"));
    QCOMPARE(json.value(QStringLiteral("hardware")).toString(), QStringLiteral("H2"));
    QCOMPARE(json.value(QStringLiteral("swVersion")).toString(), QStringLiteral("1.0.0"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"))
                .match(json.value(QStringLiteral("exportTime")).toString())
                .hasMatch());
    // The drive's values, not the screen's unsaved edit.
    QCOMPARE(json.value(QStringLiteral("pos0Accel")), QJsonValue(321));
    QCOMPARE(json.value(QStringLiteral("pos1Speed")).toDouble(), 15.0);
    QCOMPARE(json.value(QStringLiteral("pos0PushEnable")), QJsonValue(true));
    QCOMPARE(json.value(QStringLiteral("pos0PushTorque")), QJsonValue(40));
    QCOMPARE(json.value(QStringLiteral("idleCurrent")), QJsonValue(60));
    QCOMPARE(json.value(QStringLiteral("runCurrent")), QJsonValue(75));
    QCOMPARE(json.value(QStringLiteral("smoothMs")), QJsonValue(50));
    QVERIFY(!json.contains(QStringLiteral("posWarn")));
}

void ParamFilesTest::exportStopsWithoutAFileOrAYes_data()
{
    QTest::addColumn<bool>("chooseFile");
    QTest::newRow("no file chosen") << false;
    QTest::newRow("question declined") << true;
}

void ParamFilesTest::exportStopsWithoutAFileOrAYes()
{
    QFETCH(bool, chooseFile);
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.quiesce();
    const QString file = path(QStringLiteral("out.json"));
    if (chooseFile)
        bench.dialogs->queueFileName(file);
    bench.find<QAbstractButton>("btnExportParams")->click();  // the question's default is No

    QCOMPARE(bench.dialogs->count(), chooseFile ? 2 : 1);
    QVERIFY(!QFile::exists(file));
    QCOMPARE(bench.wire(), QStringList());
}

void ParamFilesTest::failedExportKeepsThePreviousFile()
{
#ifndef Q_OS_UNIX
    QSKIP("needs a file size limit to make the write fail");
#else
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    const QString file = path(QStringLiteral("kept.json"));
    const QByteArray previous = QByteArray("{\"previous\": true}\n").repeated(20);
    QVERIFY(writeFile(file, previous));
    bench.dialogs->queueFileName(file);
    bench.dialogs->queueAnswer(QMessageBox::Yes);

    // A disk that fills up after 100 bytes, even for root.
    rlimit saved{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 100;
    if (setrlimit(RLIMIT_FSIZE, &small) != 0)
        QSKIP("the file size limit cannot be lowered here");
    bench.find<QAbstractButton>("btnExportParams")->click();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(bench.dialogs->last().icon, QMessageBox::Critical);
    QCOMPARE(bench.dialogs->last().title, QStringLiteral("Export Failed"));
    QCOMPARE(bench.dialogs->last().text, QStringLiteral("Cannot write file:\n%1").arg(file));
    QCOMPARE(readFile(file), previous);
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("kept.json")});
#endif
}

void ParamFilesTest::exportedFileImportsBackUnchanged()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.setReg(Reg::Pos1MotionMode, Reg::PushMode::Pos1On);
    bench.setReg(Reg::Pos1PushTorque, 0x0166);  // 60 %
    const QString file = path(QStringLiteral("roundtrip.json"));
    bench.dialogs->queueFileName(file);
    bench.dialogs->queueAnswer(QMessageBox::Yes);
    bench.find<QAbstractButton>("btnExportParams")->click();
    const QMap<QString, double> exported = screenValues(bench);
    QCOMPARE(exported.value(QStringLiteral("pos1PushTorque")), 60.0);

    scribble(bench);
    bench.quiesce();
    bench.dialogs->queueFileName(file);
    bench.find<QAbstractButton>("btnImportParams")->click();

    QCOMPARE(screenValues(bench), exported);
    QCOMPARE(bench.dialogs->count(), 2);
    QCOMPARE(bench.dialogs->shown().first().kind, Kind::OpenFile);
    QCOMPARE(bench.dialogs->shown().first().title, QStringLiteral("Import Parameters"));
    QCOMPARE(bench.dialogs->last().icon, QMessageBox::Information);
    QCOMPARE(bench.dialogs->last().title, QStringLiteral("OK"));
    QCOMPARE(bench.dialogs->last().text,
             QStringLiteral("Imported (not yet written to device).\n\nFrom: LXAZ-16L01-50-BC\nExported: %1")
                 .arg(readJson(file).value(QStringLiteral("exportTime")).toString()));
    QCOMPARE(bench.writes(), QStringList());
}

void ParamFilesTest::otherFamilyIsBlocked()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive(), QStringLiteral("zh"));
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    const QString file = path(QStringLiteral("lxb.json"));
    QVERIFY(writeFile(file, R"({"lead": 2, "family": "LXBZ", "size": 20, "modelStr": "LXBZ-20L02-50-BC",
                                "pos0Accel": 555})"));
    const QMap<QString, double> before = screenValues(bench);
    bench.dialogs->queueFileName(file);
    bench.find<QAbstractButton>("btnImportParams")->click();

    QCOMPARE(bench.dialogs->count(), 2);
    QCOMPARE(bench.dialogs->last().icon, QMessageBox::Critical);
    QCOMPARE(bench.dialogs->last().title, QStringLiteral("無法匯入"));
    QCOMPARE(bench.dialogs->last().text,
             QStringLiteral("檔案與目前機台不相容，無法匯入。\n\n【不相容項目】\n型號系列：LXBZ → LXAZ\n缸徑：20 → 16"
                            "\n\n【其他差異】\n導程：2 → 1 mm（速度與誤差閾值換算基準不同）\n\n檔案型號：LXBZ-20L02-50-BC"));
    QCOMPARE(screenValues(bench), before);
}

void ParamFilesTest::leadOnlyDifferenceAsksFirst_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("Yes loads") << true;
    QTest::newRow("No keeps the screen") << false;
}

void ParamFilesTest::leadOnlyDifferenceAsksFirst()
{
    QFETCH(bool, yes);
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.find<QAbstractButton>("btnReadAllParams")->click();  // positions 0 and 25 mm on screen
    const QString file = path(QStringLiteral("lead2.json"));
    QVERIFY(writeFile(file, R"({"lead": 2, "family": "LXAZ", "size": 16, "stroke": 50, "pos0Accel": 555})"));
    bench.dialogs->queueFileName(file);
    if (yes)
        bench.dialogs->queueAnswer(QMessageBox::Yes);
    bench.find<QAbstractButton>("btnImportParams")->click();

    const ScriptedDialogs::Shown question = bench.dialogs->shown().value(1);
    QCOMPARE(question.icon, QMessageBox::Warning);
    QCOMPARE(question.title, QStringLiteral("Spec Mismatch"));
    QCOMPARE(question.text, QStringLiteral("Spec differs:\n\nLead: 2 → 1 mm (conversion basis differs)\n\nContinue?"));
    QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(bench.find<QSpinBox>("spin_pos0Accel")->value() == 555, yes);
    QCOMPARE(bench.dialogs->count(), yes ? 3 : 2);
}

void ParamFilesTest::fileWithoutLeadLoadsWithoutAnyCheck()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.find<QAbstractButton>("btnReadAllParams")->click();
    const QString file = path(QStringLiteral("nolead.json"));
    QVERIFY(writeFile(file, R"({"family": "LXGZ", "size": 63, "stroke": 800, "pos0Accel": 555})"));
    bench.dialogs->queueFileName(file);
    bench.find<QAbstractButton>("btnImportParams")->click();
    QCOMPARE(titles(*bench.dialogs), (QStringList{"Import Parameters", "OK"}));
    QCOMPARE(bench.find<QSpinBox>("spin_pos0Accel")->value(), 555);
    QCOMPARE(bench.dialogs->last().text,
             QStringLiteral("Imported (not yet written to device).\n\nFrom: —\nExported: —"));
}

void ParamFilesTest::formatVersion_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("loads");
    QTest::newRow("version 2 is refused") << QByteArray(R"({"formatVersion": 2, "pos0Accel": 555})") << false;
    QTest::newRow("version 1 loads") << QByteArray(R"({"formatVersion": 1, "pos0Accel": 555})") << true;
    QTest::newRow("no version loads") << QByteArray(R"({"pos0Accel": 555})") << true;
}

void ParamFilesTest::formatVersion()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, loads);
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    const QString file = path(QStringLiteral("version.json"));
    QVERIFY(writeFile(file, content));
    bench.dialogs->queueFileName(file);
    bench.find<QAbstractButton>("btnImportParams")->click();
    QCOMPARE(bench.find<QSpinBox>("spin_pos0Accel")->value() == 555, loads);
    if (!loads) {
        QCOMPARE(bench.dialogs->last().title, QStringLiteral("Error"));
        QCOMPARE(bench.dialogs->last().text, QStringLiteral("File format version 2 is newer than supported (1)."));
    }
}

void ParamFilesTest::positionBeyondTheStrokeIsClampedAfterConsent()
{
    ParamWindowBench bench;
    SimDriveConfig drive = ParamWindowBench::lead1Drive();
    drive.stroke = 100;
    const QString skip = bench.start(drive);
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    const QString file = path(QStringLiteral("long.json"));
    QVERIFY(writeFile(file, R"({"lead": 1, "stroke": 100, "pos0Pos": 120, "pos1Pos": 130})"));
    bench.dialogs->queueFileName(file);
    bench.dialogs->queueAnswer(QMessageBox::Yes);
    bench.find<QAbstractButton>("btnImportParams")->click();

    QCOMPARE(titles(*bench.dialogs),
             (QStringList{"Import Parameters", "Spec Mismatch", "Import Warning", "Import Warning", "OK"}));
    const QList<ScriptedDialogs::Shown> shown = bench.dialogs->shown();
    QVERIFY(shown[1].text.contains(QLatin1String("Position 1: 120.00 mm exceeds device stroke 100 mm\n"
                                                  "Position 2: 130.00 mm exceeds device stroke 100 mm")));
    QCOMPARE(shown[2].text,
             QStringLiteral("Out of range, clamped:\npos0Pos (120.00→100.00)\npos1Pos (130.00→100.00)"));
    QCOMPARE(shown[3].text, QStringLiteral("Position 1 (100.00 mm) >= Position 2 (100.00 mm) in file.\n"
                                           "This cannot be written; please correct before writing."));
    QCOMPARE(bench.find<QDoubleSpinBox>("spinD_pos0Pos")->value(), 100.0);
}

void ParamFilesTest::typeErrorsAndClampsAreReportedTogether()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.find<QAbstractButton>("btnReadAllParams")->click();
    bench.find<QSpinBox>("spin_pos0Accel")->setValue(444);
    const QString file = path(QStringLiteral("types.json"));
    QVERIFY(writeFile(file, R"({"pos0PushEnable": "yes", "pos0Accel": "fast", "pos1Accel": 20,
                                "pos1Decel": 200.6, "smoothMs": 12.4, "dynErr": null})"));
    bench.dialogs->queueFileName(file);
    bench.find<QAbstractButton>("btnImportParams")->click();

    QCOMPARE(titles(*bench.dialogs), (QStringList{"Import Parameters", "Import Warning", "OK"}));
    QCOMPARE(bench.dialogs->shown()[1].text,
             QStringLiteral("Invalid type, skipped:\npos0PushEnable, pos0Accel, dynErr\n\n"
                            "Out of range, clamped:\npos1Accel (20→50)\npos1Decel (200.6→201)\nsmoothMs (12.4→12)"));
    QCOMPARE(bench.find<QSpinBox>("spin_pos0Accel")->value(), 444);
    QCOMPARE(bench.find<QSpinBox>("spin_pos1Accel")->value(), 50);
    // A fraction is rounded, not dropped to 0 and then raised to the minimum.
    QCOMPARE(bench.find<QSpinBox>("spin_pos1Decel")->value(), 201);
    QCOMPARE(bench.find<QSpinBox>("spin_smoothMs")->value(), 12);
}

void ParamFilesTest::positionsInTheWrongOrderLoadThenWarn()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive(), QStringLiteral("zh"));
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    const QString file = path(QStringLiteral("order.json"));
    QVERIFY(writeFile(file, R"({"pos0Pos": 40, "pos1Pos": 20, "modelStr": "LXAZ-16L01-50-BC",
                                "exportTime": "2024-03-05 08:09:10"})"));
    bench.dialogs->queueFileName(file);
    bench.find<QAbstractButton>("btnImportParams")->click();

    QCOMPARE(titles(*bench.dialogs), (QStringList{"匯入參數檔", "匯入警告", "OK"}));
    QCOMPARE(bench.dialogs->shown()[1].text,
             QStringLiteral("檔案中的位置 1（40.00 mm）大於或等於位置 2（20.00 mm）。\n此設定無法寫入設備，請修正後再寫入。"));
    QCOMPARE(bench.dialogs->last().text,
             QStringLiteral("參數已匯入（尚未寫入設備，請確認後逐項寫入）。\n\n檔案來源：LXAZ-16L01-50-BC\n"
                            "匯出時間：2024-03-05 08:09:10"));
    QCOMPARE(bench.find<QDoubleSpinBox>("spinD_pos0Pos")->value(), 40.0);
    QCOMPARE(bench.find<QDoubleSpinBox>("spinD_pos1Pos")->value(), 20.0);
}

void ParamFilesTest::unusableFilesAreReported_data()
{
    QTest::addColumn<QByteArray>("content");  // empty: no such file
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("textStart");
    QTest::newRow("missing") << QByteArray() << int(QMessageBox::Critical) << "Import Failed" << "Cannot open file:\n";
    QTest::newRow("not json") << QByteArray("{\"pos0Accel\": ") << int(QMessageBox::Warning) << "Error"
                              << "JSON parse error: ";
    QTest::newRow("not an object") << QByteArray("[555]") << int(QMessageBox::Warning) << "Error"
                                   << "Invalid format: root is not a JSON object.";
}

void ParamFilesTest::unusableFilesAreReported()
{
    QFETCH(QByteArray, content);
    QFETCH(int, icon);
    QFETCH(QString, title);
    QFETCH(QString, textStart);
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    const QString file = path(QStringLiteral("bad.json"));
    if (!content.isEmpty())
        QVERIFY(writeFile(file, content));
    const QMap<QString, double> before = screenValues(bench);
    bench.dialogs->queueFileName(file);
    bench.find<QAbstractButton>("btnImportParams")->click();

    QCOMPARE(bench.dialogs->count(), 2);
    QCOMPARE(int(bench.dialogs->last().icon), icon);
    QCOMPARE(bench.dialogs->last().title, title);
    QVERIFY2(bench.dialogs->last().text.startsWith(textStart), qPrintable(bench.dialogs->last().text));
    QCOMPARE(screenValues(bench), before);
}

void ParamFilesTest::importedPushSwitchesDoNotWrite()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.setReg(Reg::Pos0MotionMode, Reg::PushMode::Pos0Off);
    bench.find<QAbstractButton>("btnReadAllParams")->click();
    QVERIFY(!bench.find<QSpinBox>("spin_pos0PushTorque")->isEnabled());
    bench.quiesce();
    const QString file = path(QStringLiteral("push.json"));
    QVERIFY(writeFile(file, R"({"pos0PushEnable": true, "pos0PushTorque": 65})"));
    bench.dialogs->queueFileName(file);
    bench.find<QAbstractButton>("btnImportParams")->click();

    QVERIFY(bench.find<QCheckBox>("ckbtn_pos0Push")->isChecked());
    QVERIFY(bench.find<QSpinBox>("spin_pos0PushTorque")->isEnabled());
    QCOMPARE(bench.find<QSpinBox>("spin_pos0PushTorque")->value(), 65);
    QCOMPARE(bench.wire(), QStringList());
    QCOMPARE(bench.reg(Reg::Pos0MotionMode), Reg::PushMode::Pos0Off);
}

void ParamFilesTest::cliExportMatchesTheWindowsAndLoadsUnchanged()
{
    ParamWindowBench bench;
    const QString skip = bench.build(ParamWindowBench::lead10Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    // Push on in both groups, so the window reads both push torques too.
    bench.setReg(Reg::Pos0MotionMode, Reg::PushMode::Pos0On);
    bench.setReg(Reg::Pos1MotionMode, Reg::PushMode::Pos1On);
    bench.setReg(Reg::Pos0PushTorque, 0x0144);
    bench.setReg(Reg::Pos1PushTorque, 0x0166);
    bench.setReg32(Reg::Pos0Speed, 123456);
    bench.setReg32(Reg::Pos1Position, 67891);
    bench.setReg32(Reg::SoftLimitCCW, -2500);
    bench.setReg(Reg::DynamicErrorThreshold, 33);
    bench.setReg(Reg::CurrentLimits, 0x5A3C);
    bench.setReg(Reg::SmoothingConstant, 30);

    // The command-line tool uses the port while the window is not connected.
    const QString cliFile = path(QStringLiteral("cli.json"));
    QString outText;
    QString errText;
    QTextStream out(&outText);
    QTextStream err(&errText);
    const int code = runCli({QStringLiteral("params"), QStringLiteral("export"), QStringLiteral("--port"),
                             bench.bus.portPath(), QStringLiteral("--station"), QStringLiteral("3"),
                             QStringLiteral("--out"), cliFile},
                            out, err);
    QVERIFY2(code == CliExit::Ok, qPrintable(errText));

    QVERIFY(bench.connect().isEmpty());
    const QString windowFile = path(QStringLiteral("window.json"));
    bench.dialogs->queueFileName(windowFile);
    bench.dialogs->queueAnswer(QMessageBox::Yes);
    bench.find<QAbstractButton>("btnExportParams")->click();
    const QMap<QString, double> fromDrive = screenValues(bench);

    QJsonObject cliJson = readJson(cliFile);
    QJsonObject windowJson = readJson(windowFile);
    QVERIFY(!cliJson.isEmpty());
    cliJson.remove(QStringLiteral("exportTime"));
    windowJson.remove(QStringLiteral("exportTime"));
    QCOMPARE(cliJson, windowJson);

    scribble(bench);
    bench.dialogs->clear();
    bench.dialogs->queueFileName(cliFile);
    bench.find<QAbstractButton>("btnImportParams")->click();
    QCOMPARE(titles(*bench.dialogs), (QStringList{"Import Parameters", "OK"}));
    QCOMPARE(screenValues(bench), fromDrive);
}

int main(int argc, char *argv[])
{
    return runWindowTest<ParamFilesTest>(argc, argv);
}

#include "tst_paramfiles.moc"
