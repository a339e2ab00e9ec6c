#include "currentlimits.h"
#include "ui_mainwindow.h"

#include "activedrive.h"
#include "eventlog.h"
#include "paramfile.h"
#include "paramwriter.h"
#include "registerport.h"
#include "registers.h"
#include "unsavedtracking.h"

#include <QSignalBlocker>

namespace {

constexpr int CurrentReadTimeoutMs = 300;

}  // namespace

CurrentLimits::CurrentLimits(WindowContext &context) : WindowPart(context)
{
    connect(ui->btnRead_idleCurrent, &QPushButton::clicked, this, &CurrentLimits::read);
    connect(ui->btnRead_runCurrent, &QPushButton::clicked, this, &CurrentLimits::read);
    connect(ui->btnWrite_idleCurrent, &QPushButton::clicked, this, [this] { write(false); });
    connect(ui->btnWrite_runCurrent, &QPushButton::clicked, this, [this] { write(true); });
    for (QSpinBox *box : {ui->spin_idleCurrent, ui->spin_runCurrent})
        connect(box, qOverload<int>(&QSpinBox::valueChanged), this, &CurrentLimits::refreshMarks);
}

void CurrentLimits::forget()
{
    m_driveWord = -1;
    refreshMarks();
}

void CurrentLimits::read()
{
    if (!drive->isConnected() || !drive->workerRunning())
        return;
    const ActiveDrive::PollingPause pause(drive);
    const QVector<quint16> words = drive->registers().read(Reg::CurrentLimits, 1, CurrentReadTimeoutMs);
    if (!words.isEmpty())
        show(words[0]);
}

void CurrentLimits::show(quint16 word)
{
    {
        const int running = word >> 8;
        const int idle = word & 0xFF;
        {
            const QSignalBlocker blockRun(ui->spin_runCurrent);
            const QSignalBlocker blockIdle(ui->spin_idleCurrent);
            ui->spin_runCurrent->setValue(running);
            ui->spin_idleCurrent->setValue(idle);
        }
        ui->cur_runCurrent->setText(QString::number(running));
        ui->cur_idleCurrent->setText(QString::number(idle));
        ui->raw_idleCurrent->setText(QStringLiteral("(0x%1)").arg(idle, 2, 16, QLatin1Char('0')).toUpper());
        ui->raw_runCurrent->setText(QStringLiteral("(0x%1)").arg(running, 2, 16, QLatin1Char('0')).toUpper());
        m_driveWord = word;
        refreshMarks();
    }
}

void CurrentLimits::write(bool running)
{
    if (!drive->isConnected() || !drive->workerRunning())
        return;
    const QSpinBox *box = running ? ui->spin_runCurrent : ui->spin_idleCurrent;
    if (!entryAccepted(box, (running ? ui->lblTitle_runCurrent : ui->lblTitle_idleCurrent)->text()))
        return;
    const int percent = box->value();
    const int bounded = running ? qBound(ParamFile::RunCurrentMin, percent, ParamFile::RunCurrentMax)
                                : qBound(ParamFile::IdleCurrentMin, percent, ParamFile::IdleCurrentMax);
    ParamWriter::CurrentLimitWrite limit;
    {
        const ActiveDrive::PollingPause pause(drive);
        WorkerRegisterPort port = drive->registers();
        limit = ParamWriter::writeCurrentLimit(port, running, bounded, CurrentReadTimeoutMs);
    }
    if (!limit.read) {
        dialogs().message(QMessageBox::Critical, QStringLiteral("寫入失敗"),
                          running ? QStringLiteral("運轉最小電流寫入失敗。") : QStringLiteral("停止電流寫入失敗。"));
        return;
    }
    const bool written = limit.confirmed;
    const quint16 word = limit.after;
    const int oldPercent = running ? limit.before >> 8 : limit.before & 0x00FF;
    const auto percentValue = [](int value) { return EventLog::value(value, QString::number(value), QStringLiteral("%")); };
    drive->events()->record(QStringLiteral("parameter write"),
                            EventLog::writeFields(running ? QStringLiteral("runCurrent") : QStringLiteral("idleCurrent"),
                                                  percentValue(oldPercent), percentValue(bounded), written));
    if (written) {
        // Known even when the read-back fails.
        m_driveWord = word;
        refreshMarks();
        drive->setRomChangesPending(true);
    }
    read();
    if (written)
        return;
    if (running)
        showWriteFailed(QStringLiteral("運轉最小電流寫入失敗：設備未確認。\n\n請確認連線後重試。"),
                        QStringLiteral("Min. run current was not written: the device did not confirm.\n\n"
                                       "Please check the connection and retry."));
    else
        showWriteFailed(QStringLiteral("停止電流寫入失敗：設備未確認。\n\n請確認連線後重試。"),
                        QStringLiteral("Idle current was not written: the device did not confirm.\n\n"
                                       "Please check the connection and retry."));
}

void CurrentLimits::refreshMarks()
{
    const struct
    {
        QLabel *title;
        QSpinBox *box;
        int driveByte;
    } rows[] = {
        {ui->lblTitle_idleCurrent, ui->spin_idleCurrent, m_driveWord & 0xFF},
        {ui->lblTitle_runCurrent, ui->spin_runCurrent, (m_driveWord >> 8) & 0xFF},
    };
    for (const auto &row : rows) {
        // The box holds the drive's byte within its range, as a read leaves it.
        const int shown = qBound(row.box->minimum(), row.driveByte, row.box->maximum());
        const bool dirty = m_driveWord >= 0 && row.box->value() != shown;
        markUnsavedRow(row.title, row.box, dirty,
                text(QStringLiteral("dirty_tip")).arg(QStringLiteral("%1 %").arg(shown)));
    }
}
