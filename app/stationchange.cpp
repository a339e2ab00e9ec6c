#include "stationchange.h"
#include "ui_mainwindow.h"

#include "activedrive.h"
#include "connectionmanager.h"
#include "devicestate.h"
#include "eventlog.h"
#include "registerport.h"
#include "registers.h"

#include <QThread>

#include <cstdlib>

namespace {

constexpr int FirstStation = 1;
constexpr int LastStation = 16;
constexpr int SpeedReadTimeoutMs = 500;
// Raw actual-speed value from which the motor counts as moving.
constexpr qint64 MovingSpeed = 500;
// The drive needs a moment on its new address before it takes the save.
constexpr unsigned long SettleAfterAddressMs = 100;

}  // namespace

StationChange::StationChange(WindowContext &context) : WindowPart(context)
{
    connect(ui->btnChangeStation, &QPushButton::clicked, this, &StationChange::onChangeStationClicked);
}

void StationChange::onChangeStationClicked()
{
    if (!drive->isConnected() || !drive->workerRunning()) {
        dialogs().message(QMessageBox::Warning, QStringLiteral("無法修改站號"), QStringLiteral("請先連線到設備。"));
        return;
    }
    if (!entryAccepted(ui->spinNewStation, ui->lblNewStation->text()))
        return;
    const int newStation = ui->spinNewStation->value();
    if (newStation < FirstStation || newStation > LastStation) {
        dialogs().message(QMessageBox::Warning, QStringLiteral("站號錯誤"), QStringLiteral("站號必須在 1~16 範圍內。"));
        return;
    }
    if (newStation == drive->station()) {
        dialogs().message(QMessageBox::Information, QStringLiteral("無需修改"),
                           QStringLiteral("新站號與目前站號相同。"));
        return;
    }
    const bool confirmed = dialogs().confirm(
        QStringLiteral("確認修改站號"),
        QStringLiteral("即將把驅動器站號從 %1 變更為 %2。\n\n完成後將自動斷線，下次連線必須使用新站號。\n確定要繼續嗎？")
            .arg(drive->station())
            .arg(newStation),
        QStringLiteral("確認修改"), QStringLiteral("取消"));
    if (!confirmed)
        return;

    const Outcome outcome = changeOnDrive(static_cast<quint8>(newStation));
    const QString writeFailedText = QStringLiteral("變更站號失敗，請重試。\n\n若站號已變更但未保存，斷電後將回復原站號。");
    switch (outcome) {
    case Outcome::StationTaken:
        dialogs().message(QMessageBox::Warning, text(QStringLiteral("station_taken_title")),
                          text(QStringLiteral("station_taken")).arg(newStation));
        return;
    case Outcome::SpeedUnreadable:
        // A failed read is refused with its reason, not blamed on a moving motor.
        dialogs().message(QMessageBox::Critical, QStringLiteral("讀取失敗"),
                          QStringLiteral("無法讀取即時速度，請確認連線後重試。"));
        return;
    case Outcome::Moving:
        dialogs().message(QMessageBox::Warning, QStringLiteral("馬達運轉中"), QStringLiteral("變更站號前必須先停止馬達。"));
        return;
    case Outcome::NotWritten:
        dialogs().message(QMessageBox::Critical, QStringLiteral("寫入失敗"), writeFailedText);
        return;
    case Outcome::Changed:
        break;
    }
    drive->disconnectDrive();
    dialogs().message(QMessageBox::Information, QStringLiteral("修改完成"),
                      QStringLiteral("站號已變更為 %1 並斷電保存。\n即將自動斷線，請以新站號重新連線。").arg(newStation));
}

StationChange::Outcome StationChange::changeOnDrive(quint8 newStation)
{
    // No poll may go out between the address write and the save.
    const ActiveDrive::PollingPause pause(drive);
    WorkerRegisterPort port = drive->registers();
    // Two drives on one address would garble each other's replies for good.
    WorkerRegisterPort newAddress(worker(), newStation);
    if (!newAddress.read(Reg::LogicVersion, 1, ConnectionManager::ScanTimeoutMs).isEmpty()
        || newAddress.lastError().kind() == ModbusError::Kind::Refused)
        return Outcome::StationTaken;
    const QVector<quint16> speedWords = port.read(Reg::ActualSpeed, 2, SpeedReadTimeoutMs);
    if (speedWords.size() < 2)
        return Outcome::SpeedUnreadable;
    if (std::llabs(signed32(speedWords[0], speedWords[1])) >= MovingSpeed)
        return Outcome::Moving;

    const auto recordChange = [this, newStation](bool confirmed) {
        drive->events()->record(QStringLiteral("station change"),
                                EventLog::writeFields(QStringLiteral("station"), int(drive->station()), int(newStation),
                                                      confirmed));
    };
    if (!port.write(Reg::StationAddress, newStation)) {
        recordChange(false);
        return Outcome::NotWritten;
    }
    QThread::msleep(SettleAfterAddressMs);
    const bool saved = newAddress.write(Reg::StoreCommand, Reg::StoreValue::SaveToRom);
    recordChange(saved);
    return saved ? Outcome::Changed : Outcome::NotWritten;
}
