#include "dialogs.h"
#include "dictionary.h"
#include "mainwindow.h"
#include "registers.h"
#include "simbus.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSettings>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString organisation = QStringLiteral("Torvane");
const QString application = QStringLiteral("TorvaneVexaElectricActuator");
const QString languageKey = QStringLiteral("AppLanguage");

// The text a label, button or group box shows.
QString shownText(const QWidget *widget)
{
    if (auto *box = qobject_cast<const QGroupBox *>(widget))
        return box->title();
    if (auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (auto *button = qobject_cast<const QAbstractButton *>(widget)) {
        // As drawn: "&&" is an ampersand, a single "&" marks a shortcut and is not shown.
        QString drawn;
        const QString raw = button->text();
        for (int i = 0; i < raw.size(); ++i) {
            if (raw[i] != QLatin1Char('&'))
                drawn += raw[i];
            else if (i + 1 < raw.size() && raw[i + 1] == QLatin1Char('&'))
                drawn += raw[++i];
        }
        return drawn;
    }
    return QString();
}

// Answers every box with its default, so no modal loop can stall a test.
class DefaultAnswers : public Dialogs
{
public:
    QMessageBox::StandardButton message(QMessageBox::Icon, const QString &, const QString &,
                                        QMessageBox::StandardButtons,
                                        QMessageBox::StandardButton defaultButton) override
    {
        return defaultButton;
    }
    bool confirm(const QString &, const QString &, const QString &, const QString &) override
    {
        return false;
    }
    QString saveFileName(const QString &, const QString &, const QString &) override
    {
        return QString();
    }
    QString openFileName(const QString &, const QString &, const QString &) override
    {
        return QString();
    }
};

QImage normalised(const QImage &image)
{
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace

class LanguageTest : public QObject
{
    Q_OBJECT

public:
    explicit LanguageTest(const QString &settingsFile) : settingsFile(settingsFile) {}

private Q_SLOTS:
    void initTestCase();
    void init();

    void dictionaryHoldsExactly132Entries();
    void translateKeyGivesTheExactTextOfEachLanguage_data();
    void translateKeyGivesTheExactTextOfEachLanguage();
    void onlyTheExactCodeZhSelectsChinese_data();
    void onlyTheExactCodeZhSelectsChinese();
    void unknownKeyComesBackUnchanged_data();
    void unknownKeyComesBackUnchanged();

    void compiledInPicturesAreRegistered_data();
    void compiledInPicturesAreRegistered();

    void firstRunComesUpChineseWithoutWritingTheSetting();
    void storedEnglishIsRestoredWithoutRewritingTheSetting();
    void unknownStoredLanguageShowsEnglishTextsUnderChineseChoice();
    void choosingALanguageSavesItAtOnce();

    void widgetsShowTheirTextInBothLanguages_data();
    void widgetsShowTheirTextInBothLanguages();
    void everyWidgetNamedAfterAKeyShowsThatKeysText_data();
    void everyWidgetNamedAfterAKeyShowsThatKeysText();
    void tabTitlesScanHeadersAndPasswordHintFollowTheLanguage();
    void jogTextsFollowTheLanguageInNudgeMode();
    void jogTextsFollowTheLanguageInJogMode();
    void alarmHistoryValuesStayWhileDisconnectedWithoutAlarms();
    void alarmHistoryOfAConnectedDriveIsRewrittenInTheNewLanguage();
    void actuatorPicturesFollowTheLanguage();

private:
    void storeLanguage(const QString &code);
    QString languageOnDisk() const;
    std::unique_ptr<MainWindow> makeWindow();
    void chooseLanguage(MainWindow &window, const QString &code);
    template <typename T> T *widget(MainWindow &window, const char *name);

    const QString settingsFile;
};

void LanguageTest::initTestCase()
{
    // Refuse to run against the user's real settings.
    QSettings settings(organisation, application);
    QCOMPARE(QFileInfo(settings.fileName()).absoluteFilePath(),
             QFileInfo(settingsFile).absoluteFilePath());
}

void LanguageTest::init()
{
    QFile::remove(settingsFile);
}

void LanguageTest::storeLanguage(const QString &code)
{
    QSettings settings(organisation, application);
    settings.setValue(languageKey, code);
    settings.sync();
    QCOMPARE(settings.status(), QSettings::NoError);
}

// Read from the file itself: settings objects of one process share a cache, which would
// show a value that was never written out.
QString LanguageTest::languageOnDisk() const
{
    QFile file(settingsFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    const QByteArray prefix = languageKey.toLatin1() + '=';
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith(prefix))
            return QString::fromUtf8(line.mid(prefix.size()));
    }
    return QString();
}

std::unique_ptr<MainWindow> LanguageTest::makeWindow()
{
    auto window = std::make_unique<MainWindow>();
    window->setDialogs(std::make_unique<DefaultAnswers>());
    return window;
}

void LanguageTest::chooseLanguage(MainWindow &window, const QString &code)
{
    auto *combo = widget<QComboBox>(window, "cbLanguage");
    QVERIFY(combo);
    combo->setCurrentIndex(code == QLatin1String("zh") ? 0 : 1);
}

template <typename T> T *LanguageTest::widget(MainWindow &window, const char *name)
{
    return window.findChild<T *>(QLatin1String(name));
}

void LanguageTest::dictionaryHoldsExactly132Entries()
{
    QCOMPARE(dictionary().size(), 132);
}

void LanguageTest::translateKeyGivesTheExactTextOfEachLanguage_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("chinese");
    QTest::addColumn<QString>("english");

    QTest::newRow("tab title") << "tab_connection" << "裝置連線" << "Connection";
    QTest::newRow("full-width colon") << "lblProdTitle" << "產品資訊：" << "Product Info：";
    QTest::newRow("trailing blank") << "err_connect_fail" << "連線失敗: " << "Connection failed: ";
    QTest::newRow("full-width exclamation") << "warn_connect_first" << "請先建立連線！"
                                            << "Please connect first!";
    QTest::newRow("corner brackets") << "cmp_noConnect" << "請先於「裝置連線」頁面建立硬體連線！"
                                     << "Please connect the device first!";
    QTest::newRow("rich text") << "lblScanTitle" << "<b>掃描結果列表</b>" << "<b>Scan Results</b>";
    QTest::newRow("same Chinese in both") << "lblLoginTitle" << "工程模式" << "工程模式";
    QTest::newRow("same English in both") << "btnScan_scanning" << "Scanning..." << "Scanning...";
    QTest::newRow("last alarm") << "alarm_10" << "編碼器錯誤" << "Encoder Err";
    QTest::newRow("first alarm") << "alarm_0" << "正常" << "Normal";
    QTest::newRow("placeholder") << "cmp_read_start" << "開始讀取：合併為 %1 個請求"
                                 << "Read started: merged into %1 requests";
    QTest::newRow("symbol") << "cmp_error" << "✖ 錯誤" << "✖ Error";
    QTest::newRow("engineering label") << "l_exo" << "執行力矩:偏移脈衝" << "Exec Torque: Offset";
    QTest::newRow("last in table") << "lblNewStation" << "新站號:" << "New Addr.:";
    QTest::newRow("warning") << "lblAdvWarning"
                             << "⚠ 進階參數影響控制特性與保護機制，無特殊需求建議維持預設值。"
                                "詳細說明請參閱使用手冊。"
                             << "⚠ Advanced parameters affect control and protection. Keep "
                                "default settings unless needed. See the user manual for details.";
}

void LanguageTest::translateKeyGivesTheExactTextOfEachLanguage()
{
    QFETCH(QString, key);
    QFETCH(QString, chinese);
    QFETCH(QString, english);

    QCOMPARE(translateKey(key, QStringLiteral("zh")), chinese);
    QCOMPARE(translateKey(key, QStringLiteral("en")), english);
}

void LanguageTest::onlyTheExactCodeZhSelectsChinese_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zh") << "zh" << "連線設定";
    QTest::newRow("en") << "en" << "Connection Settings";
    QTest::newRow("upper case") << "ZH" << "Connection Settings";
    QTest::newRow("region suffix") << "zh_TW" << "Connection Settings";
    QTest::newRow("other language") << "fr" << "Connection Settings";
    QTest::newRow("empty") << "" << "Connection Settings";
}

void LanguageTest::onlyTheExactCodeZhSelectsChinese()
{
    QFETCH(QString, lang);
    QFETCH(QString, expected);

    QCOMPARE(translateKey(QStringLiteral("groupBox_comm"), lang), expected);
}

void LanguageTest::unknownKeyComesBackUnchanged_data()
{
    QTest::addColumn<QString>("key");

    QTest::newRow("alarm code without text") << "alarm_11";
    QTest::newRow("widget without entry") << "lblTitle_cylinder";
    QTest::newRow("wrong case") << "TAB_CONNECTION";
    QTest::newRow("empty") << "";
}

void LanguageTest::unknownKeyComesBackUnchanged()
{
    QFETCH(QString, key);

    QCOMPARE(translateKey(key, QStringLiteral("zh")), key);
    QCOMPARE(translateKey(key, QStringLiteral("en")), key);
}

void LanguageTest::compiledInPicturesAreRegistered_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("Chinese illustration") << ":/cyc_zh.png";
    QTest::newRow("English illustration") << ":/cyc_en.png";
    QTest::newRow("window icon") << ":/icon.png";
}

void LanguageTest::compiledInPicturesAreRegistered()
{
    QFETCH(QString, path);

    QVERIFY2(QFile::exists(path), qPrintable(path));
    const QImage image(path);
    QVERIFY(!image.isNull());
    QVERIFY(image.width() >= 64 && image.height() >= 64);
}

void LanguageTest::firstRunComesUpChineseWithoutWritingTheSetting()
{
    auto window = makeWindow();

    auto *combo = widget<QComboBox>(*window, "cbLanguage");
    QVERIFY(combo);
    QCOMPARE(combo->currentIndex(), 0);
    QCOMPARE(combo->currentText(), QStringLiteral("中文"));
    QCOMPARE(widget<QTabWidget>(*window, "mainTabs")->tabText(0), QStringLiteral("裝置連線"));
    QCOMPARE(widget<QPushButton>(*window, "btnConnect")->text(), QStringLiteral("建立連線"));
    QVERIFY(!QFile::exists(settingsFile));
}

void LanguageTest::storedEnglishIsRestoredWithoutRewritingTheSetting()
{
    storeLanguage(QStringLiteral("en"));
    // An old time stamp shows whether start-up wrote the file again.
    const QDateTime old = QDateTime::currentDateTime().addYears(-3);
    {
        QFile file(settingsFile);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(old, QFileDevice::FileModificationTime));
    }
    QFile before(settingsFile);
    QVERIFY(before.open(QIODevice::ReadOnly));
    const QByteArray contentBefore = before.readAll();
    before.close();

    auto window = makeWindow();

    auto *combo = widget<QComboBox>(*window, "cbLanguage");
    QCOMPARE(combo->currentIndex(), 1);
    QCOMPARE(combo->currentText(), QStringLiteral("English"));
    QCOMPARE(widget<QTabWidget>(*window, "mainTabs")->tabText(0), QStringLiteral("Connection"));
    QCOMPARE(widget<QPushButton>(*window, "btnConnect")->text(), QStringLiteral("Connect"));

    window.reset();
    QCOMPARE(QFileInfo(settingsFile).lastModified().toSecsSinceEpoch(), old.toSecsSinceEpoch());
    QFile after(settingsFile);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), contentBefore);
}

void LanguageTest::unknownStoredLanguageShowsEnglishTextsUnderChineseChoice()
{
    storeLanguage(QStringLiteral("fr"));

    auto window = makeWindow();

    QCOMPARE(widget<QComboBox>(*window, "cbLanguage")->currentText(), QStringLiteral("中文"));
    QCOMPARE(widget<QTabWidget>(*window, "mainTabs")->tabText(1), QStringLiteral("Monitor"));
    QCOMPARE(widget<QPushButton>(*window, "btnRefresh")->text(), QStringLiteral("Refresh"));
    QCOMPARE(widget<QRadioButton>(*window, "rbJogMove")->text(), QStringLiteral("Jog Move"));

    // Start-up leaves the odd value alone; choosing a language repairs it.
    QCOMPARE(languageOnDisk(), QStringLiteral("fr"));
    chooseLanguage(*window, QStringLiteral("en"));
    QCOMPARE(languageOnDisk(), QStringLiteral("en"));
}

void LanguageTest::choosingALanguageSavesItAtOnce()
{
    auto window = makeWindow();

    chooseLanguage(*window, QStringLiteral("en"));
    // On disk while the window is still open.
    QCOMPARE(languageOnDisk(), QStringLiteral("en"));
    QCOMPARE(widget<QPushButton>(*window, "btnConnect")->text(), QStringLiteral("Connect"));

    chooseLanguage(*window, QStringLiteral("zh"));
    QCOMPARE(languageOnDisk(), QStringLiteral("zh"));
    QCOMPARE(widget<QPushButton>(*window, "btnConnect")->text(), QStringLiteral("建立連線"));

    chooseLanguage(*window, QStringLiteral("en"));
    window.reset();
    auto reopened = makeWindow();
    QCOMPARE(widget<QComboBox>(*reopened, "cbLanguage")->currentIndex(), 1);
    QCOMPARE(widget<QPushButton>(*reopened, "btnConnect")->text(), QStringLiteral("Connect"));
}

void LanguageTest::widgetsShowTheirTextInBothLanguages_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("chinese");
    QTest::addColumn<QString>("english");

    QTest::newRow("group box") << "groupBox_comm" << "連線設定" << "Connection Settings";
    QTest::newRow("label") << "lblPort" << "通訊埠:" << "COM Port:";
    QTest::newRow("status while disconnected") << "lblConnectionStatus" << "連線中斷"
                                               << "Disconnected";
    QTest::newRow("scan button while idle") << "btnScan" << "掃描總線裝置" << "Scan Bus";
    QTest::newRow("ampersand drawn, not a shortcut") << "btnCmpRead" << "讀取比對" << "Read & Compare";
    QTest::newRow("simulation group") << "groupBox_InSim" << "輸入訊號模擬" << "Input Simulation";
    QTest::newRow("alarm history group") << "groupBox_alarmHistory" << "警報履歷" << "Alarm History";
    QTest::newRow("origin group") << "groupBox_paramOrigin" << "原點參數" << "Origin Params";
    QTest::newRow("position 2 group") << "groupBox_paramPos1" << "位置 2" << "Position 2";
    QTest::newRow("push check box") << "ckbtn_pos0Push" << "推壓啟用" << "Pushing Enable";
    QTest::newRow("homing group") << "groupBox_Home" << "原點復歸" << "Homing";
    QTest::newRow("servo group") << "groupBox_Servo" << "伺服電源" << "Servo Power";
    QTest::newRow("jog group") << "groupBox_PosADJ" << "位置微調" << "Position Adjustment";
    QTest::newRow("jog radio") << "rbJogMove" << "Jog 移動" << "Jog Move";
    QTest::newRow("nudge radio") << "rbJogNudge" << "單步微調" << "Step Move";
    QTest::newRow("input caption") << "lbl_X2" << "Input 3\n停止/警報重置"
                                   << "Input 3\nStop / Alarm Reset";
    QTest::newRow("output caption") << "lbl_Y2" << "Output 3\n異常警報 (常開)"
                                    << "Output 3\nAlarm (N.O.)";
    QTest::newRow("homed caption") << "lbl_X7" << "原點復歸完成" << "Homing Complete";
    QTest::newRow("current alarm title") << "lblTitle_lblAlarmCurrent" << "當前" << "Current";
    QTest::newRow("third alarm title") << "lblTitle_lblAlarmHist3" << "第3次" << "3rd";
    QTest::newRow("advanced read") << "btnRead_runCurrent" << "讀取" << "Read";
    QTest::newRow("advanced write") << "btnWrite_idleCurrent" << "寫入" << "Write";
    QTest::newRow("advanced warning") << "lblAdvWarning"
                                      << "⚠ 進階參數影響控制特性與保護機制，無特殊需求建議維持預設值。"
                                         "詳細說明請參閱使用手冊。"
                                      << "⚠ Advanced parameters affect control and protection. "
                                         "Keep default settings unless needed. See the user "
                                         "manual for details.";
    QTest::newRow("login title") << "lblLoginTitle" << "工程模式" << "工程模式";
    QTest::newRow("slave label") << "lblCmpSlave" << "Slave ID:" << "Slave ID:";
    QTest::newRow("form label") << "l_p1p" << "位置2_Pulses" << "Pos2 Pulses";
    QTest::newRow("compare log") << "lblCmpLog" << "<b>通訊底層紀錄</b>" << "<b>Communication Logs</b>";
}

void LanguageTest::widgetsShowTheirTextInBothLanguages()
{
    QFETCH(QString, name);
    QFETCH(QString, chinese);
    QFETCH(QString, english);

    auto window = makeWindow();
    QWidget *target = window->findChild<QWidget *>(name);
    QVERIFY2(target, qPrintable(name));

    QCOMPARE(shownText(target), chinese);
    chooseLanguage(*window, QStringLiteral("en"));
    QCOMPARE(shownText(target), english);
    chooseLanguage(*window, QStringLiteral("zh"));
    QCOMPARE(shownText(target), chinese);
}

void LanguageTest::everyWidgetNamedAfterAKeyShowsThatKeysText_data()
{
    QTest::addColumn<QString>("lang");
    QTest::newRow("zh") << "zh";
    QTest::newRow("en") << "en";
}

void LanguageTest::everyWidgetNamedAfterAKeyShowsThatKeysText()
{
    QFETCH(QString, lang);

    // These show a text of their own: the jog title follows the jog mode, the servo status
    // the drive, and the parameter titles are set by the parameter manager.
    const QSet<QString> ownText = {
        QStringLiteral("lblJogSpeedTitle"), QStringLiteral("lblServoStatus"),
        QStringLiteral("lblTitle_smoothMs"), QStringLiteral("lblTitle_dynErr"),
        QStringLiteral("lblTitle_staErr"),   QStringLiteral("lblTitle_posWarn"),
    };

    auto window = makeWindow();
    chooseLanguage(*window, lang);

    int checked = 0;
    const auto keys = dictionary().keys();
    for (const QString &key : keys) {
        if (ownText.contains(key))
            continue;
        const QWidget *target = window->findChild<QWidget *>(key);
        if (!target)
            continue;
        QCOMPARE(shownText(target), translateKey(key, lang));
        ++checked;
    }
    // Guards against a window whose widgets were renamed away from their keys.
    QVERIFY2(checked >= 60, qPrintable(QString::number(checked)));
}

void LanguageTest::tabTitlesScanHeadersAndPasswordHintFollowTheLanguage()
{
    auto window = makeWindow();
    auto *tabs = widget<QTabWidget>(*window, "mainTabs");
    auto *scan = widget<QTableWidget>(*window, "tableScan");
    auto *password = widget<QLineEdit>(*window, "engPassword");
    QVERIFY(tabs && scan && password);
    QCOMPARE(tabs->count(), 5);
    QCOMPARE(scan->columnCount(), 5);

    const auto headers = [scan] {
        QStringList texts;
        for (int column = 0; column < scan->columnCount(); ++column)
            texts << scan->horizontalHeaderItem(column)->text();
        return texts;
    };
    const auto titles = [tabs] {
        QStringList texts;
        for (int i = 0; i < tabs->count(); ++i)
            texts << tabs->tabText(i);
        return texts;
    };

    QCOMPARE(titles(), QStringList({"裝置連線", "運轉監控", "動作設定", "進階參數", "工程模式"}));
    QCOMPARE(headers(), QStringList({"站號", "型號", "韌體版本", "硬體版本", "邏輯版本"}));
    QCOMPARE(password->placeholderText(), QStringLiteral("請輸入密碼"));

    chooseLanguage(*window, QStringLiteral("en"));
    QCOMPARE(titles(), QStringList({"Connection", "Monitor", "Motion", "Advanced", "Engineering"}));
    QCOMPARE(headers(), QStringList({"Station ID", "Model", "Firmware Ver.", "Hardware Ver.",
                                     "Logic Ver."}));
    QCOMPARE(password->placeholderText(), QStringLiteral("Enter Password"));
}

void LanguageTest::jogTextsFollowTheLanguageInNudgeMode()
{
    auto window = makeWindow();
    auto *title = widget<QLabel>(*window, "lblJogSpeedTitle");
    auto *plus = widget<QPushButton>(*window, "btnJogP");
    auto *minus = widget<QPushButton>(*window, "btnJogM");
    auto *nudge = widget<QRadioButton>(*window, "rbJogNudge");
    QVERIFY(title && plus && minus && nudge);

    nudge->setChecked(true);
    chooseLanguage(*window, QStringLiteral("en"));
    QCOMPARE(title->text(), QStringLiteral("Step Size:"));
    QCOMPARE(plus->text(), QStringLiteral("Step +"));
    QCOMPARE(minus->text(), QStringLiteral("Step -"));
    // The replaced box carries the name; the designed one may still await deletion.
    const auto boxes = window->findChildren<QDoubleSpinBox *>(QStringLiteral("spinJogSpeed"));
    QVERIFY(!boxes.isEmpty());
    QCOMPARE(boxes.last()->suffix(), QStringLiteral(" mm"));

    chooseLanguage(*window, QStringLiteral("zh"));
    QCOMPARE(title->text(), QStringLiteral("單步距離："));
    QCOMPARE(plus->text(), QStringLiteral("正向微調 +"));
    QCOMPARE(minus->text(), QStringLiteral("負向微調 -"));
}

void LanguageTest::jogTextsFollowTheLanguageInJogMode()
{
    auto window = makeWindow();
    auto *title = widget<QLabel>(*window, "lblJogSpeedTitle");
    auto *plus = widget<QPushButton>(*window, "btnJogP");
    auto *minus = widget<QPushButton>(*window, "btnJogM");
    QVERIFY(title && plus && minus);

    QCOMPARE(title->text(), QStringLiteral("Jog 速度："));
    QCOMPARE(plus->text(), QStringLiteral("Jog +"));
    QCOMPARE(minus->text(), QStringLiteral("Jog -"));

    widget<QRadioButton>(*window, "rbJogNudge")->setChecked(true);
    widget<QRadioButton>(*window, "rbJogMove")->setChecked(true);
    chooseLanguage(*window, QStringLiteral("en"));
    QCOMPARE(title->text(), QStringLiteral("Jog Speed:"));
    QCOMPARE(plus->text(), QStringLiteral("Jog +"));
    QCOMPARE(minus->text(), QStringLiteral("Jog -"));
    const auto boxes = window->findChildren<QDoubleSpinBox *>(QStringLiteral("spinJogSpeed"));
    QVERIFY(!boxes.isEmpty());
    QCOMPARE(boxes.last()->suffix(), QStringLiteral(" mm/s"));
}

void LanguageTest::alarmHistoryValuesStayWhileDisconnectedWithoutAlarms()
{
    auto window = makeWindow();
    const char *const values[] = {"lblAlarmCurrent", "lblAlarmHist1", "lblAlarmHist2",
                                  "lblAlarmHist3"};
    for (const char *name : values) {
        auto *label = widget<QLabel>(*window, name);
        QVERIFY2(label, name);
        QCOMPARE(label->text(), QStringLiteral("---"));
    }

    chooseLanguage(*window, QStringLiteral("en"));

    for (const char *name : values)
        QCOMPARE(widget<QLabel>(*window, name)->text(), QStringLiteral("---"));
}

void LanguageTest::alarmHistoryOfAConnectedDriveIsRewrittenInTheNewLanguage()
{
    SimBus bus;
    SimDriveConfig drive;  // a catalogue drive on station 1
    bus.addDrive(drive);
    if (!bus.start())
        QSKIP(qPrintable(QStringLiteral("no pseudo-terminal for the simulated bus: ")
                         + bus.errorString()));
    // Current alarm 2; history 1, 3 and none.
    bus.setRegisterValue(drive.station, Reg::AlarmWord, 0x0312);

    auto window = makeWindow();
    widget<QComboBox>(*window, "cbPorts")->setEditText(bus.portPath());
    auto *connectButton = widget<QPushButton>(*window, "btnConnect");
    widget<QPushButton>(*window, "btnScan")->click();
    QTRY_VERIFY_WITH_TIMEOUT(connectButton->isEnabled(), 20000);
    connectButton->click();

    auto *current = widget<QLabel>(*window, "lblAlarmCurrent");
    QTRY_COMPARE_WITH_TIMEOUT(current->text(), QStringLiteral("過電壓 (2)"), 10000);
    QCOMPARE(widget<QLabel>(*window, "lblAlarmHist1")->text(), QStringLiteral("過電流 (1)"));
    QCOMPARE(widget<QLabel>(*window, "lblAlarmHist2")->text(), QStringLiteral("欠電壓 (3)"));
    QCOMPARE(widget<QLabel>(*window, "lblAlarmHist3")->text(), QStringLiteral("正常"));

    // Polling re-renders only a changed word, so the new texts come from the language switch.
    chooseLanguage(*window, QStringLiteral("en"));
    QCOMPARE(current->text(), QStringLiteral("Overvoltage (2)"));
    QCOMPARE(widget<QLabel>(*window, "lblAlarmHist1")->text(), QStringLiteral("Overcurrent (1)"));
    QCOMPARE(widget<QLabel>(*window, "lblAlarmHist2")->text(), QStringLiteral("Undervoltage (3)"));
    QCOMPARE(widget<QLabel>(*window, "lblAlarmHist3")->text(), QStringLiteral("Normal"));
    QCOMPARE(widget<QLabel>(*window, "lblConnectionStatus")->text(), QStringLiteral("Connected"));
}

void LanguageTest::actuatorPicturesFollowTheLanguage()
{
    const QImage chinese = normalised(QImage(QStringLiteral(":/cyc_zh.png")));
    const QImage english = normalised(QImage(QStringLiteral(":/cyc_en.png")));
    QVERIFY(!chinese.isNull() && !english.isNull());
    QVERIFY(chinese != english);

    auto window = makeWindow();
    const char *const pictures[] = {"lblTitle_cylinder", "lblTitle_cylinder2"};
    for (const char *name : pictures) {
        auto *label = widget<QLabel>(*window, name);
        QVERIFY2(label && label->pixmap(Qt::ReturnByValue).toImage().size() == chinese.size(), name);
        QCOMPARE(normalised(label->pixmap(Qt::ReturnByValue).toImage()), chinese);
    }

    chooseLanguage(*window, QStringLiteral("en"));
    for (const char *name : pictures)
        QCOMPARE(normalised(widget<QLabel>(*window, name)->pixmap(Qt::ReturnByValue).toImage()),
                 english);
}

int main(int argc, char *argv[])
{
    // The settings store is redirected before anything can read the real one.
    QTemporaryDir config;
    if (!config.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    LanguageTest test(config.filePath(QStringLiteral("Torvane/TorvaneVexaElectricActuator.conf")));
    return QTest::qExec(&test, argc, argv);
}

#include "tst_language.moc"
