// Engineering tab: the access gate (version-label taps, password page, engineer
// extras of the parameter tabs), the compare-and-write buttons and the wiring
// of the whole tab.

#include "engineeringpage.h"
#include "ui_mainwindow.h"

#include "activedrive.h"
#include "cmpmanager.h"
#include "deviceinfo.h"
#include "eventlog.h"
#include "pagetext.h"
#include "engineeringaccess.h"
#include "maintenancecommands.h"
#include "modbusworker.h"
#include "productform.h"

#include <QDir>
#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int CountdownShownMs = 2000;
constexpr int PasswordErrorShownMs = 2000;
constexpr int PasswordFocusDelayMs = 10;

QString byLanguage(const QString &lang, const char *english, const char *chinese)
{
    return lang == QLatin1String("zh") ? QString::fromUtf8(chinese) : QString::fromUtf8(english);
}

}  // namespace

EngineeringPage::EngineeringPage(WindowContext &context)
    : Page(context), cmpManager(new CmpManager(worker(), this)), engAccess(new EngineeringAccess(this))
{
    connect(engAccess, &EngineeringAccess::countdown, this, &EngineeringPage::onTapCountdown);
    connect(engAccess, &EngineeringAccess::engineerModeChanged, this, &EngineeringPage::onEngineerModeChanged);

    connect(ui->btnLogin, &QPushButton::clicked, this, &EngineeringPage::engLogin);
    connect(ui->engPassword, &QLineEdit::returnPressed, this, &EngineeringPage::engLogin);

    connect(ui->btnCmpRead, &QPushButton::clicked, this, [this] {
        if (entryAccepted(ui->cmpSlaveId, ui->lblCmpSlave->text()) && compareStationConfirmed())
            cmpManager->readAll(uchar(ui->cmpSlaveId->value() & 0xFF));
    });
    connect(ui->btnCmpWrite, &QPushButton::clicked, this, [this] {
        if (!form->entriesAccepted() || !entryAccepted(ui->cmpSlaveId, ui->lblCmpSlave->text())
            || !compareStationConfirmed())
            return;
        const uchar slave = uchar(ui->cmpSlaveId->value() & 0xFF);
        cmpManager->writeAll(slave);
        const auto &tasks = cmpManager->tasks();
        const auto failed = std::count_if(tasks.cbegin(), tasks.cend(),
                                          [](const CmpTask &task) { return task.status != CmpStatus::Match; });
        drive->events()->record(QStringLiteral("block write"),
                                {{QStringLiteral("target"), slave},
                                 {QStringLiteral("listing"), cmpManager->listingName()},
                                 {QStringLiteral("runs"), tasks.size()},
                                 {QStringLiteral("result"), EventLog::resultOf(failed == 0)}});
    });
    connect(ui->btnCmpSave, &QPushButton::clicked, this, [this] {
        if (!entryAccepted(ui->cmpSlaveId, ui->lblCmpSlave->text()) || !compareStationConfirmed())
            return;
        // The parameter tabs' writes went to the connected station; only its save stores them.
        const uchar slave = uchar(ui->cmpSlaveId->value());
        const bool saved = cmpManager->saveEeprom(slave);
        drive->events()->record(QStringLiteral("block save"),
                                {{QStringLiteral("target"), slave}, {QStringLiteral("result"), EventLog::resultOf(saved)}});
        if (saved && slave == drive->station())
            drive->setRomChangesPending(false);
    });
    connect(ui->btnClrLog, &QPushButton::clicked, cmpManager, &CmpManager::clearLog);
    connect(ui->btnCmpImp, &QPushButton::clicked, this, &EngineeringPage::importCompareFile);
    // Direct: the engine's requests must not be interleaved with polls.
    connect(cmpManager, &CmpManager::pauseWorker, drive, &ActiveDrive::pausePolling, Qt::DirectConnection);
    connect(cmpManager, &CmpManager::tasksChanged, this, &EngineeringPage::updateCompareButtons);
    connect(cmpManager, &CmpManager::saveAllowedChanged, this, &EngineeringPage::updateCompareButtons);
    connect(worker(), &ModbusWorker::logMessage, cmpManager, &CmpManager::addLog);
    connect(drive, &ActiveDrive::logged, cmpManager, &CmpManager::addLog);
    connect(drive, &ActiveDrive::connected, this, &EngineeringPage::onDriveConnected);
    connect(drive, &ActiveDrive::disconnected, this, &EngineeringPage::onDriveDisconnected);

    form = new ProductForm(context, cmpManager);
    connect(cmpManager, &CmpManager::listingChanged, this, &EngineeringPage::showCompareSource);
    maintenance = new MaintenanceCommands(context);
    setupCompareTable();

    cmpManager->setTable(ui->cmpTable);
    cmpManager->setLog(ui->cmpLogs);
    cmpManager->setLanguage(lang());

    ui->engPwdError->hide();
    ui->engSplitter->setSizes({460, 650});
    ui->mainTabs->setTabVisible(EngineeringTab, false);
    ui->label_SwVersion->installEventFilter(this);
    ui->engStack->setCurrentIndex(0);
    ui->engPassword->clear();
}

void EngineeringPage::setupCompareTable()
{
    QHeaderView *cmpHeader = ui->cmpTable->horizontalHeader();
    cmpHeader->setSectionResizeMode(QHeaderView::ResizeToContents);
    cmpHeader->setStretchLastSection(true);
    cmpHeader->setDefaultAlignment(Qt::AlignCenter);
    ui->cmpTable->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->cmpTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->cmpLogs->setReadOnly(true);

    // The name and the two hex columns share the width with the status and wrap
    // between words and bytes, so the status stays in view on a narrow window.
    QHeaderView *columns = ui->cmpTable->horizontalHeader();
    for (int column : {0, 2, 3})
        columns->setSectionResizeMode(column, QHeaderView::Stretch);
    ui->cmpTable->setWordWrap(true);
    // New log lines stay in view.
    connect(ui->cmpLogs, &QTextEdit::textChanged, this, [this] {
        QScrollBar *bar = ui->cmpLogs->verticalScrollBar();
        bar->setValue(bar->maximum());
    });

    // Names the listing file the rows come from while one is loaded.
    lblCmpSource = new QLabel(ui->groupBox_engRight);
    lblCmpSource->setObjectName(QStringLiteral("lblCmpSource"));
    lblCmpSource->setStyleSheet(QStringLiteral("color:#b45309; font-weight:bold;"));
    lblCmpSource->setWordWrap(true);
    lblCmpSource->hide();
    ui->verticalLayout_engRight->insertWidget(ui->verticalLayout_engRight->indexOf(ui->cmpTable), lblCmpSource);
}

void EngineeringPage::setPasswordDigest(const QByteArray &hexDigest)
{
    engAccess->setPasswordDigest(hexDigest);
}

void EngineeringPage::retranslate()
{
    translateByName(window(),
                    {"lblLoginTitle", "btnLogin", "engPwdError", "btnExp", "btnCmpImp", "btnCmpRead", "btnCmpWrite",
                     "btnCmpSave", "lblCmpLog", "btnClrLog", "groupBox_engLeft", "groupBox_engRight",
                     // The product-configuration form, in form order.
                     "l_ppr", "l_spd", "l_cur", "l_mod", "l_siz", "l_led", "l_stk", "l_dir", "l_tqm", "l_tqf",
                     "l_tqs", "l_exd", "l_exo", "l_acc", "l_dec", "l_pss", "l_ps0", "l_p1a", "l_p1d", "l_p1s",
                     "l_p1p",
                     // The form's labels kept in the table of the tool's own additions.
                     "l_softCcw", "l_softCw", "l_dynErr", "l_staErr", "l_posWarn", "l_pos0Push", "l_pos1Push",
                     "l_smooth"},
                    lang());
    ui->engPassword->setPlaceholderText(text(QStringLiteral("engPassword_hint")));
    ui->lblCmpSlave->setText(QStringLiteral("Slave ID:"));
    cmpManager->setLanguage(lang());
    form->retranslate();
    showCompareSource();
}

void EngineeringPage::tabChanged(int index)
{
    if (index == EngineeringTab) {
        QTimer::singleShot(PasswordFocusDelayMs, this, [this] { ui->engPassword->setFocus(); });
    } else {
        // Leaving the Engineering tab always locks it again.
        ui->engStack->setCurrentIndex(0);
        ui->engPassword->clear();
        ui->engPwdError->hide();
    }
    form->refreshChoices();
}

void EngineeringPage::applyFormDefaults()
{
    form->applyDefaults();
}

bool EngineeringPage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != ui->label_SwVersion
        || (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonDblClick))
        return Page::eventFilter(watched, event);
    engAccess->tap();
    return true;
}

void EngineeringPage::onDriveConnected(const DeviceInfo &info)
{
    form->showDrive(info);
    // Compare table buttons and its station.
    const bool hasTasks = cmpManager->taskCount() > 0;
    ui->btnCmpRead->setEnabled(hasTasks);
    ui->btnCmpWrite->setEnabled(hasTasks);
    ui->btnCmpSave->setEnabled(cmpManager->saveAllowed());
    ui->cmpSlaveId->setValue(drive->station());
    // Read once: the custom settings.
    maintenance->readCustomReg();
}

void EngineeringPage::onDriveDisconnected()
{
    ui->btnCmpRead->setEnabled(false);
    ui->btnCmpWrite->setEnabled(false);
    ui->btnCmpSave->setEnabled(false);
}

void EngineeringPage::onTapCountdown(int remaining, bool exiting)
{
    ui->label_SwVersion_Count->setText(EngineeringAccess::countdownText(remaining, exiting, lang()));
    QTimer::singleShot(CountdownShownMs, ui->label_SwVersion_Count, &QLabel::clear);
}

void EngineeringPage::onEngineerModeChanged(bool on)
{
    // The connection tab restyles its scan rows and may take back the pick of an unrecognised drive.
    drive->setEngineerMode(on);
    // A login counts only from the moment engineer mode was switched on.
    engineerLoggedIn = false;
    if (!on) {
        ui->engStack->setCurrentIndex(0);
        ui->engPassword->clear();
        // Hiding the current tab would let the tab bar pick a neighbour instead.
        if (ui->mainTabs->currentIndex() == EngineeringTab)
            ui->mainTabs->setCurrentIndex(ConnectionTab);
    }
    ui->mainTabs->setTabVisible(EngineeringTab, on);

    announceUnlocked();

    const QString title = byLanguage(lang(), "Engineer Mode", "工程模式");
    if (on) {
        dialogs().message(QMessageBox::Information, title,
                           byLanguage(lang(), "Engineer mode enabled", "工程模式已啟用"));
        return;
    }
    if (drive->isConnected() && !drive->recognised())
        drive->disconnectDrive();
    dialogs().message(QMessageBox::Information, title,
                       byLanguage(lang(), "Engineer mode exited", "工程模式已退出"));
}

void EngineeringPage::engLogin()
{
    if (engAccess->passwordAccepted(ui->engPassword->text())) {
        ui->engStack->setCurrentIndex(1);
        engineerLoggedIn = true;
        announceUnlocked();
        form->updateExpectedData();
        return;
    }
    ui->engPwdError->show();
    QTimer::singleShot(PasswordErrorShownMs, ui->engPwdError, &QWidget::hide);
}

void EngineeringPage::announceUnlocked()
{
    emit unlockedChanged(drive->engineerMode() && engineerLoggedIn);
}

bool EngineeringPage::compareStationConfirmed()
{
    const int slave = ui->cmpSlaveId->value();
    if (slave == drive->station())
        return true;
    const QString text = byLanguage(lang(),
                                    "Engineering Slave ID (%1) differs from connected station (%2).\n"
                                    "Wrong station may cause timeout or unexpected behavior.\n\nProceed?",
                                    "工程模式 Slave ID（%1）與目前連線站號（%2）不同。\n"
                                    "操作錯誤的站號可能導致通訊逾時或非預期行為。\n\n確定繼續？")
                             .arg(slave)
                             .arg(drive->station());
    return dialogs().message(QMessageBox::Warning, byLanguage(lang(), "Station Mismatch", "站號不一致"), text,
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
           == QMessageBox::Yes;
}

void EngineeringPage::importCompareFile()
{
    const QString path =
        dialogs().openFileName(QStringLiteral("Open"), QString(), QStringLiteral("Text Files (*.txt)"));
    if (path.isEmpty())
        return;
    QString error;
    if (cmpManager->importFile(path, &error))
        return;
    dialogs().message(QMessageBox::Critical, byLanguage(lang(), "Import Failed", "匯入失敗"),
                       byLanguage(lang(), "Cannot read %1:\n%2\n\nThe compare table is unchanged.",
                                  "無法讀取 %1：\n%2\n\n比對表未變更。")
                           .arg(QDir::toNativeSeparators(path), error));
}

void EngineeringPage::updateCompareButtons()
{
    const bool haveTasks = cmpManager->taskCount() > 0;
    ui->btnCmpRead->setEnabled(drive->isConnected() && haveTasks);
    ui->btnCmpWrite->setEnabled(drive->isConnected() && haveTasks);
    ui->btnCmpSave->setEnabled(drive->isConnected() && cmpManager->saveAllowed());
}

void EngineeringPage::showCompareSource()
{
    const QString name = cmpManager->listingName();
    lblCmpSource->setVisible(!name.isEmpty());
    lblCmpSource->setText((chinese() ? QStringLiteral("比對表內容來自檔案：%1（變更左側設定後改用設定產生）")
                                     : QStringLiteral("Rows from file: %1 (a change of the form replaces them)"))
                              .arg(name));
}
