// Engineering tab, top row: one-shot maintenance commands for the connected
// drive. Their texts are fixed Chinese texts, not dictionary entries.

#include "maintenancecommands.h"
#include "ui_mainwindow.h"

#include "activedrive.h"
#include "customsettings.h"
#include "modbusworker.h"
#include "registers.h"

#include <QSignalBlocker>

#include <initializer_list>

namespace {

struct RegisterWrite
{
    quint16 address;
    quint16 value;
};

// With polling paused; stops at the first write the drive does not confirm.
bool writeInOrder(ActiveDrive &drive, std::initializer_list<RegisterWrite> writes)
{
    const ActiveDrive::PollingPause pause(&drive);
    WorkerRegisterPort port = drive.registers();
    for (const RegisterWrite &write : writes) {
        if (!port.write(write.address, write.value))
            return false;
    }
    return true;
}

const QString DoneTitle = QStringLiteral("完成");
const QString FailedTitle = QStringLiteral("執行失敗");
const QString CancelText = QStringLiteral("取消");

}  // namespace

MaintenanceCommands::MaintenanceCommands(WindowContext &context) : WindowPart(context)
{
    connect(ui->btnFactoryReset, &QPushButton::clicked, this, &MaintenanceCommands::onFactoryResetClicked);
    connect(ui->btnClearInvert, &QPushButton::clicked, this, &MaintenanceCommands::onClearInvertClicked);
    connect(ui->btnClearOutFunc, &QPushButton::clicked, this, &MaintenanceCommands::onClearOutFuncClicked);
    connect(ui->btnApplyCustomReg, &QPushButton::clicked, this, &MaintenanceCommands::onApplyCustomRegClicked);
}

bool MaintenanceCommands::maintenanceAllowed()
{
    if (drive->isConnected() && worker()->isRunning())
        return true;
    dialogs().message(QMessageBox::Warning, QStringLiteral("無法執行"), QStringLiteral("請先連線到設備。"));
    return false;
}

void MaintenanceCommands::onClearInvertClicked()
{
    if (!maintenanceAllowed())
        return;
    const bool ok = writeInOrder(*drive, {{Reg::CommandInputs, 0}});
    if (ok)
        dialogs().message(QMessageBox::Information, DoneTitle, QStringLiteral("已取消所有輸入反轉。"));
    else
        dialogs().message(QMessageBox::Critical, FailedTitle, QStringLiteral("取消輸入反轉失敗，請重試。"));
}

void MaintenanceCommands::onClearOutFuncClicked()
{
    if (!maintenanceAllowed())
        return;
    const bool ok = writeInOrder(*drive, {{Reg::OutputFunction1, 0},
                                          {Reg::OutputFunction2, 0},
                                          {Reg::OutputFunction3, 0},
                                          {Reg::OutputFunction4, 0x0210},
                                          {Reg::OutputFunction5, 0},
                                          {Reg::OutputFunction6, 0}});
    if (ok)
        dialogs().message(QMessageBox::Information, DoneTitle,
                           QStringLiteral("已取消全部輸出功能（警報/運行/到位/急停/原點完成/位置預警）。\n"
                                          "如需永久保存，請按斷電保存。"));
    else
        dialogs().message(QMessageBox::Critical, FailedTitle, QStringLiteral("取消輸出功能失敗，請重試。"));
}

void MaintenanceCommands::onFactoryResetClicked()
{
    if (!maintenanceAllowed())
        return;
    if (!dialogs().confirm(QStringLiteral("確認恢復原廠"),
                            QStringLiteral("即將將驅動器恢復出廠設置，所有記憶參數（含站號）將被清除。\n\n"
                                           "注意：清除有壽命限制（約 10 萬次），過程中馬達輸出會關閉。\n"
                                           "確定要繼續嗎？"),
                            QStringLiteral("確認恢復"), CancelText))
        return;
    const bool ok = writeInOrder(*drive, {{Reg::StoreCommand, Reg::StoreValue::FactoryRestore}});
    if (ok)
        dialogs().message(QMessageBox::Information, DoneTitle,
                           QStringLiteral("已送出恢復原廠指令。建議斷電重啟設備後重新連線確認。"));
    else
        dialogs().message(QMessageBox::Critical, FailedTitle, QStringLiteral("恢復原廠失敗，請重試。"));
}

void MaintenanceCommands::onApplyCustomRegClicked()
{
    if (!maintenanceAllowed())
        return;
    if (ui->gen_ck_MaskUsb->isChecked()
        && !dialogs().confirm(QStringLiteral("確認屏蔽 USB"),
                               QStringLiteral("即將屏蔽 USB 除錯埠。\n\n"
                                              "請確認目前非 20 框馬達，且該馬達具有 RS-485 通訊介面。\n"
                                              "屏蔽後將無法透過 USB 連線，僅能使用 RS-485。\n\n"
                                              "確定要繼續嗎？"),
                               QStringLiteral("確認屏蔽"), CancelText))
        return;

    const int ms = ui->gen_SmoothMs->value();
    const int constant = CustomSettings::smoothingConstant(ms);
    quint16 value = 0;
    // Each failure says how far the command got, so the user knows what the drive now holds.
    QString failure;
    {
        const ActiveDrive::PollingPause pause(drive);
        WorkerRegisterPort port = drive->registers();
        const QVector<quint16> old = port.read(Reg::CustomSettings, 1);
        if (old.isEmpty()) {
            failure = QStringLiteral("讀取自定義設定（0x0012）失敗，未寫入任何設定，請重試。");
        } else {
            value = CustomSettings::word(old.first(), ui->gen_ck_DynEnhance->isChecked(),
                                         ui->gen_ck_MidTqComp->isChecked(), ui->gen_ck_MaskUsb->isChecked());
            if (!port.write(Reg::CustomSettings, value))
                failure = QStringLiteral("自定義設定（0x0012）寫入失敗，平滑時間未寫入，請重試。");
            else if (!port.write(Reg::SmoothingConstant, quint16(constant)))
                failure = QStringLiteral("設定寫入失敗（0x0012 已寫入，平滑時間失敗），請重試。");
        }
    }
    if (!failure.isEmpty()) {
        dialogs().message(QMessageBox::Critical, FailedTitle, failure);
        return;
    }

    const QString text = chinese()
                             ? QStringLiteral("工程設定已寫入。\n\n自定義設定：0x%1\n"
                                              "指令平滑時間：%2 ms → 常數 %3（實際 %4 ms）\n\n"
                                              "如需永久保存，請按斷電保存。")
                             : QStringLiteral("Engineering settings written.\n\nCustom reg: 0x%1\n"
                                              "Smooth time: %2 ms → const %3 (actual %4 ms)");
    dialogs().message(QMessageBox::Information, DoneTitle,
                       text.arg(value, 4, 16, QLatin1Char('0'))
                           .arg(ms)
                           .arg(constant)
                           .arg(CustomSettings::actualSmoothingMs(constant)));
}

void MaintenanceCommands::readCustomReg()
{
    if (!drive->isConnected() || !worker()->isRunning())
        return;
    const ActiveDrive::PollingPause pause(drive);
    const QVector<quint16> reply = drive->registers().read(Reg::CustomSettings, 1);
    if (reply.isEmpty())
        return;
    const quint16 word = reply.first();
    const QSignalBlocker dyn(ui->gen_ck_DynEnhance), mid(ui->gen_ck_MidTqComp), usb(ui->gen_ck_MaskUsb);
    ui->gen_ck_DynEnhance->setChecked(word & CustomSettings::DynamicEnhancement);
    ui->gen_ck_MidTqComp->setChecked(word & CustomSettings::MidSpeedTorqueCompensation);
    ui->gen_ck_MaskUsb->setChecked(word & CustomSettings::UsbMasked);
}
