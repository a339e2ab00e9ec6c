#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "cmpmanager.h"
#include "dictionary.h"
#include "parammanager.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QPixmap>
#include <QSettings>
#include <QTranslator>

#include <iterator>
#include <memory>

namespace {

// Dictionary keys are the object names of the widgets that show them, so most of the
// window is retranslated from plain lists of names.
const char *const connectionTabWidgets[] = {
    "groupBox_comm", "groupBox_status", "lblPort", "btnRefresh",
    "btnConnect", "btnDisconnect", "lblScanTitle", "lblProdTitle",
};

// lblJogSpeedTitle is left to the jog row, whose text depends on the mode.
const char *const monitorTabWidgets[] = {
    "groupBox_cylStatus", "groupBox_io", "lblPosTitle", "lblCurTitle",
    "lblPosTracErrTitle", "lblAlmTitle", "btnHome", "btnSimX0",
    "btnSimX1", "btnSimX2", "btnServoOn", "btnServoOff",
    "btnClearAlarm", "btnReadAlarmHistory",
};

const char *const motionTabWidgets[] = {
    "btnSaveParams", "btnReadAllParams", "ckbtn_pos0Push", "ckbtn_pos1Push",
    "btnExportParams", "btnImportParams", "btnCompareParams", "lblNewStation", "btnChangeStation",
};

const char *const engineeringTabWidgets[] = {
    "lblLoginTitle", "btnLogin", "engPwdError", "btnExp",
    "btnCmpImp", "btnCmpRead", "btnCmpWrite", "btnCmpSave",
    "lblCmpLog", "btnClrLog", "groupBox_engLeft", "groupBox_engRight",
    // The product-configuration form, in form order.
    "l_ppr", "l_spd", "l_cur", "l_mod", "l_siz", "l_led", "l_stk",
    "l_dir", "l_tqm", "l_tqf", "l_tqs", "l_exd", "l_exo", "l_acc",
    "l_dec", "l_pss", "l_ps0", "l_p1a", "l_p1d", "l_p1s", "l_p1p",
    // The form's labels kept in the table of the tool's own additions.
    "l_softCcw", "l_softCw", "l_dynErr", "l_staErr", "l_posWarn", "l_pos0Push", "l_pos1Push", "l_smooth",
};

const char *const advancedTabWidgets[] = {
    "btnRestoreAdvDefaults", "lblAdvWarning", "btnSaveParams_adv",
    "lblTitle_idleCurrent", "lblTitle_runCurrent",
    "groupBox_errThreshold", "groupBox_runChar",
};

struct KeyedWidget {
    const char *widget;
    const char *key;
};

const KeyedWidget monitorTabRenamed[] = {
    {"groupBox_InSim", "lblSimTitle"},
    {"groupBox_alarmHistory", "groupBox_alarmHist"},
};

const KeyedWidget motionTabRenamed[] = {
    {"groupBox_paramOrigin", "groupBox_origin"},
    {"groupBox_paramPos0", "groupBox_pos0"},
    {"groupBox_paramPos1", "groupBox_pos1"},
};

// Texts that live only here, not in the dictionary.
struct FixedText {
    const char *widget;
    const char *zh;
    const char *en;
};

const FixedText monitorFixedTexts[] = {
    {"groupBox_Home", "原點復歸", "Homing"},
    {"groupBox_Servo", "伺服電源", "Servo Power"},
    {"groupBox_PosADJ", "位置微調", "Position Adjustment"},
    {"rbJogMove", "Jog 移動", "Jog Move"},
    {"rbJogNudge", "單步微調", "Step Move"},
};

const FixedText advancedFixedTexts[] = {
    {"btnRead_idleCurrent", "讀取", "Read"},
    {"btnRead_runCurrent", "讀取", "Read"},
    {"btnWrite_idleCurrent", "寫入", "Write"},
    {"btnWrite_runCurrent", "寫入", "Write"},
};

const FixedText ioCaptions[] = {
    {"lbl_X0", "Input 1\n移動到位置 1", "Input 1\nMove to Pos 1"},
    {"lbl_X1", "Input 2\n移動到位置 2", "Input 2\nMove to Pos 2"},
    {"lbl_X2", "Input 3\n停止/警報重置", "Input 3\nStop / Alarm Reset"},
    {"lbl_Y0", "Output 1\n位置 1 到位", "Output 1\nPos 1 Reached"},
    {"lbl_Y1", "Output 2\n位置 2 到位", "Output 2\nPos 2 Reached"},
    {"lbl_Y2", "Output 3\n異常警報 (常開)", "Output 3\nAlarm (N.O.)"},
    {"lbl_X7", "原點復歸完成", "Homing Complete"},
};

const FixedText alarmHistoryTitles[] = {
    {"lblTitle_lblAlarmCurrent", "當前", "Current"},
    {"lblTitle_lblAlarmHist1", "第1次", "1st"},
    {"lblTitle_lblAlarmHist2", "第2次", "2nd"},
    {"lblTitle_lblAlarmHist3", "第3次", "3rd"},
};

bool isChinese(const QString &lang)
{
    return lang == QLatin1String("zh");
}

// A group box shows its text as a title; labels and buttons as their text.
// A widget the window does not have is skipped, as a missing label would be.
void setShownText(const QWidget *window, const char *name, const QString &text)
{
    QWidget *widget = window->findChild<QWidget *>(QLatin1String(name));
    if (auto *box = qobject_cast<QGroupBox *>(widget))
        box->setTitle(text);
    else if (auto *label = qobject_cast<QLabel *>(widget))
        label->setText(text);
    else if (auto *button = qobject_cast<QAbstractButton *>(widget))
        button->setText(QString(text).replace(QLatin1Char('&'), QLatin1String("&&")));  // "&" is not a shortcut
}

template <std::size_t N>
void translateByName(const QWidget *window, const char *const (&names)[N], const QString &lang)
{
    for (const char *name : names)
        setShownText(window, name, translateKey(QLatin1String(name), lang));
}

template <std::size_t N>
void translateByKey(const QWidget *window, const KeyedWidget (&widgets)[N], const QString &lang)
{
    for (const KeyedWidget &entry : widgets)
        setShownText(window, entry.widget, translateKey(QLatin1String(entry.key), lang));
}

template <std::size_t N>
void applyFixedTexts(const QWidget *window, const FixedText (&texts)[N], const QString &lang)
{
    for (const FixedText &entry : texts)
        setShownText(window, entry.widget,
                     QString::fromUtf8(isChinese(lang) ? entry.zh : entry.en));
}

// Qt's own texts (standard buttons, file dialogs, context menus) in Traditional
// Chinese while the window speaks Chinese; where Qt's translations are not
// installed they stay English, as they are in English.
void applyQtTranslations(const QString &lang)
{
    static QTranslator *installed = nullptr;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
        installed = nullptr;
    }
    if (!isChinese(lang) || !QCoreApplication::instance())
        return;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_zh_TW"), QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        return;
    installed = translator.release();
    QCoreApplication::installTranslator(installed);
}

}  // namespace

void MainWindow::changeLanguage(int index)
{
    // Item 0 is "中文", item 1 "English".
    currentLang = index != 0 ? QStringLiteral("en") : QStringLiteral("zh");

    cmpManager->setLanguage(currentLang);
    paramManager->setLang(currentLang);
    paramManager->retranslate(currentLang);

    // Saved at once, so quitting right after still starts in the chosen language.
    QSettings settings(QStringLiteral("Torvane"), QStringLiteral("TorvaneVexaElectricActuator"));
    settings.setValue(QStringLiteral("AppLanguage"), currentLang);
    settings.sync();

    applyLanguage();
}

void MainWindow::applyLanguage()
{
    const QString lang = currentLang;
    applyQtTranslations(lang);

    const char *const tabKeys[] = {"tab_connection", "tab_operation", "tab_params",
                                   "tab_advanced", "tab_engineering"};
    for (int i = 0; i < int(std::size(tabKeys)) && i < ui->mainTabs->count(); ++i)
        ui->mainTabs->setTabText(i, translateKey(QLatin1String(tabKeys[i]), lang));

    translateByName(this, connectionTabWidgets, lang);
    ui->btnScan->setText(translateKey(isScanning ? QStringLiteral("btnScan_scanning")
                                                 : QStringLiteral("btnScan"),
                                      lang));
    ui->lblConnectionStatus->setText(translateKey(
        isConnected ? QStringLiteral("lblStatus_ok") : QStringLiteral("lblStatus_err"), lang));
    const char *const scanHeaderKeys[] = {"scanHeader_id", "scanHeader_model", "scanHeader_fw",
                                          "scanHeader_hw", "scanHeader_logicVer"};
    QStringList scanHeaders;
    for (const char *key : scanHeaderKeys)
        scanHeaders << translateKey(QLatin1String(key), lang);
    ui->tableScan->setHorizontalHeaderLabels(scanHeaders);
    retranslateConnectionTab();

    translateByName(this, monitorTabWidgets, lang);
    translateByKey(this, monitorTabRenamed, lang);

    translateByName(this, motionTabWidgets, lang);
    translateByKey(this, motionTabRenamed, lang);
    paramManager->retranslate(lang);

    translateByName(this, engineeringTabWidgets, lang);
    ui->engPassword->setPlaceholderText(translateKey(QStringLiteral("engPassword_hint"), lang));
    ui->lblCmpSlave->setText(QStringLiteral("Slave ID:"));

    applyFixedTexts(this, monitorFixedTexts, lang);

    translateByName(this, advancedTabWidgets, lang);
    applyFixedTexts(this, advancedFixedTexts, lang);

    // The jog row reads differently by mode; this wording differs from the one the mode
    // switch shows on entering nudge mode.
    const bool zh = isChinese(lang);
    if (nudgeMode) {
        ui->lblJogSpeedTitle->setText(zh ? QStringLiteral("單步距離：") : QStringLiteral("Step Size:"));
        ui->btnJogP->setText(zh ? QStringLiteral("正向微調 +") : QStringLiteral("Step +"));
        ui->btnJogM->setText(zh ? QStringLiteral("負向微調 -") : QStringLiteral("Step -"));
        ui->spinJogSpeed->setSuffix(QStringLiteral(" mm"));
    } else {
        ui->lblJogSpeedTitle->setText(zh ? QStringLiteral("Jog 速度：") : QStringLiteral("Jog Speed:"));
        ui->btnJogP->setText(QStringLiteral("Jog +"));
        ui->btnJogM->setText(QStringLiteral("Jog -"));
        ui->spinJogSpeed->setSuffix(QStringLiteral(" mm/s"));
    }

    applyFixedTexts(this, ioCaptions, lang);

    applyFixedTexts(this, alarmHistoryTitles, lang);
    if (lastAlarmHist != 0 || isConnected)
        updateAlarmHistory(lastAlarmHist);

    // A missing resource gives a null pixmap, which leaves the label empty.
    const QPixmap picture(zh ? QStringLiteral(":/cyc_zh.png") : QStringLiteral(":/cyc_en.png"));
    ui->lblTitle_cylinder->setPixmap(picture);
    ui->lblTitle_cylinder2->setPixmap(picture);

    retranslateEngineeringTab();
    retranslateMonitorAdditions();
}
