// Engineering tab: the access gate (version-label taps, password page, engineer
// extras of the parameter tabs), the compare-and-write buttons and the wiring
// of the whole tab. The product form lives in mainwindow_engform.cpp, the
// maintenance commands in mainwindow_maintenance.cpp.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "cmpmanager.h"
#include "connectionmanager.h"
#include "dialogs.h"
#include "engineeringaccess.h"
#include "modbusworker.h"

#include <QDir>
#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>
#include <QTimer>

namespace {

constexpr int CountdownShownMs = 2000;
constexpr int PasswordErrorShownMs = 2000;
// Scan rows keep whether the catalogue recognised the drive in column 0.
constexpr int StationRole = Qt::UserRole;
constexpr int RecognisedRole = Qt::UserRole + 1;

QString byLanguage(const QString &lang, const char *english, const char *chinese)
{
    return lang == QLatin1String("zh") ? QString::fromUtf8(chinese) : QString::fromUtf8(english);
}

}  // namespace

void MainWindow::setupEngineeringTab()
{
    engAccess = new EngineeringAccess(this);
    connect(engAccess, &EngineeringAccess::countdown, this, &MainWindow::onTapCountdown);
    connect(engAccess, &EngineeringAccess::engineerModeChanged, this, &MainWindow::onEngineerModeChanged);

    connect(ui->btnLogin, &QPushButton::clicked, this, &MainWindow::engLogin);
    connect(ui->engPassword, &QLineEdit::returnPressed, this, &MainWindow::engLogin);

    connect(ui->btnCmpRead, &QPushButton::clicked, this, [this] {
        if (compareStationConfirmed())
            cmpManager->readAll(uchar(ui->cmpSlaveId->value() & 0xFF));
    });
    connect(ui->btnCmpWrite, &QPushButton::clicked, this, [this] {
        if (compareStationConfirmed())
            cmpManager->writeAll(uchar(ui->cmpSlaveId->value() & 0xFF));
    });
    connect(ui->btnCmpSave, &QPushButton::clicked, this, [this] {
        if (!compareStationConfirmed())
            return;
        // The parameter tabs' writes went to the connected station; only its save stores them.
        const uchar slave = uchar(ui->cmpSlaveId->value());
        if (cmpManager->saveEeprom(slave) && slave == stationId)
            setRomChangesPending(false);
    });
    connect(ui->btnClrLog, &QPushButton::clicked, cmpManager, &CmpManager::clearLog);
    connect(ui->btnCmpImp, &QPushButton::clicked, this, &MainWindow::importCompareFile);
    // Direct: the engine's requests must not be interleaved with polls.
    connect(cmpManager, &CmpManager::pauseWorker, this, &MainWindow::pausePolling, Qt::DirectConnection);
    connect(cmpManager, &CmpManager::tasksChanged, this, &MainWindow::updateCompareButtons);
    connect(worker, &ModbusWorker::logMessage, cmpManager, &CmpManager::addLog);

    setupProductForm();
    setupMaintenanceCommands();

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

    applyEngineerPrivileges();
    cmpManager->setTable(ui->cmpTable);
    cmpManager->setLog(ui->cmpLogs);
    cmpManager->setLanguage(currentLang);
}

void MainWindow::setEngineeringPasswordDigest(const QByteArray &hexDigest)
{
    engAccess->setPasswordDigest(hexDigest);
}

void MainWindow::retranslateEngineeringTab()
{
    cmpManager->setLanguage(currentLang);
    showSmoothingConstant();
    showCompareSource();
}

bool MainWindow::handleVersionLabelEvent(QEvent *event)
{
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonDblClick)
        return false;
    engAccess->tap();
    return true;
}

void MainWindow::onTapCountdown(int remaining, bool exiting)
{
    ui->label_SwVersion_Count->setText(EngineeringAccess::countdownText(remaining, exiting, currentLang));
    QTimer::singleShot(CountdownShownMs, ui->label_SwVersion_Count, &QLabel::clear);
}

void MainWindow::onEngineerModeChanged(bool on)
{
    engineerMode = on;
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

    QTableWidget *scan = ui->tableScan;
    for (int row = 0; row < scan->rowCount(); ++row) {
        const QTableWidgetItem *cell = scan->item(row, 0);
        styleScanRow(row, cell && cell->data(RecognisedRole).toBool());
    }
    if (!on && !isConnected && stationId != 0) {
        for (int row = 0; row < scan->rowCount(); ++row) {
            const QTableWidgetItem *cell = scan->item(row, 0);
            if (!cell || cell->data(StationRole).toInt() != stationId)
                continue;
            if (!cell->data(RecognisedRole).toBool()) {
                stationId = 0;
                ui->lblActiveStation->hide();
                ui->btnConnect->setEnabled(false);
                scan->clearSelection();
            }
            break;
        }
    }
    applyEngineerPrivileges();

    const QString title = byLanguage(currentLang, "Engineer Mode", "工程模式");
    if (on) {
        m_dialogs->message(QMessageBox::Information, title,
                           byLanguage(currentLang, "Engineer mode enabled", "工程模式已啟用"));
        return;
    }
    const QString product = ui->lblProductInfo->text();
    const bool unrecognised = product.isEmpty() || product == QLatin1String("---")
                              || product.startsWith(QStringLiteral("⚠"));
    if (isConnected && unrecognised)
        connectionManager->disconnectDevice();
    m_dialogs->message(QMessageBox::Information, title,
                       byLanguage(currentLang, "Engineer mode exited", "工程模式已退出"));
}

void MainWindow::engLogin()
{
    if (engAccess->passwordAccepted(ui->engPassword->text())) {
        ui->engStack->setCurrentIndex(1);
        engineerLoggedIn = true;
        applyEngineerPrivileges();
        updateExpectedData();
        return;
    }
    ui->engPwdError->show();
    QTimer::singleShot(PasswordErrorShownMs, ui->engPwdError, &QWidget::hide);
}

void MainWindow::applyEngineerPrivileges()
{
    const bool unlocked = engineerMode && engineerLoggedIn;
    QWidget *const positionWarningRow[] = {
        ui->lblTitle_posWarn, ui->cur_posWarn,       ui->raw_posWarn,     ui->param_spinPosWarnMm,
        ui->param_lblPosWarn, ui->btnWrite_posWarn, ui->btnRead_posWarn,
    };
    for (QWidget *widget : positionWarningRow) {
        widget->setVisible(unlocked);
        widget->setEnabled(unlocked);
    }
    QWidget *const rawAndHex[] = {
        ui->param_lblDynErr,       ui->param_lblStaErr,      ui->raw_dynErr,
        ui->raw_staErr,            ui->raw_homeTorque,       ui->lblHex_homeTorque,
        ui->raw_pos0PushTorque,    ui->lblHex_pos0PushTorque, ui->raw_pos1PushTorque,
        ui->lblHex_pos1PushTorque, ui->lblHex_softLimitCCW,  ui->lblHex_softLimitCW,
        ui->raw_pos0Speed,         ui->raw_pos1Speed,        ui->lblHex_pos0Accel,
        ui->lblHex_pos0Decel,      ui->lblHex_pos0Speed,     ui->lblHex_pos0Pos,
        ui->lblHex_pos1Accel,      ui->lblHex_pos1Decel,     ui->lblHex_pos1Speed,
        ui->lblHex_pos1Pos,        ui->raw_idleCurrent,      ui->raw_runCurrent,
        ui->raw_smoothMs,          ui->lblHex_dynErr,        ui->lblHex_staErr,
        ui->lblHex_posWarn,        ui->lblHex_idleCurrent,   ui->lblHex_runCurrent,
        ui->lblHex_smoothMs,
    };
    for (QWidget *widget : rawAndHex)
        widget->setVisible(unlocked);
}

bool MainWindow::compareStationConfirmed()
{
    const int slave = ui->cmpSlaveId->value();
    if (slave == stationId)
        return true;
    const QString text = byLanguage(currentLang,
                                    "Engineering Slave ID (%1) differs from connected station (%2).\n"
                                    "Wrong station may cause timeout or unexpected behavior.\n\nProceed?",
                                    "工程模式 Slave ID（%1）與目前連線站號（%2）不同。\n"
                                    "操作錯誤的站號可能導致通訊逾時或非預期行為。\n\n確定繼續？")
                             .arg(slave)
                             .arg(stationId);
    return m_dialogs->message(QMessageBox::Warning, byLanguage(currentLang, "Station Mismatch", "站號不一致"), text,
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
           == QMessageBox::Yes;
}

void MainWindow::importCompareFile()
{
    const QString path =
        m_dialogs->openFileName(QStringLiteral("Open"), QString(), QStringLiteral("Text Files (*.txt)"));
    if (path.isEmpty())
        return;
    QString error;
    if (cmpManager->importFile(path, &error))
        return;
    m_dialogs->message(QMessageBox::Critical, byLanguage(currentLang, "Import Failed", "匯入失敗"),
                       byLanguage(currentLang, "Cannot read %1:\n%2\n\nThe compare table is unchanged.",
                                  "無法讀取 %1：\n%2\n\n比對表未變更。")
                           .arg(QDir::toNativeSeparators(path), error));
}

void MainWindow::updateCompareButtons()
{
    const bool haveTasks = cmpManager->taskCount() > 0;
    ui->btnCmpRead->setEnabled(isConnected && haveTasks);
    ui->btnCmpWrite->setEnabled(isConnected && haveTasks);
    ui->btnCmpSave->setEnabled(isConnected);
}
