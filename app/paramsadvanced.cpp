// Advanced tab: error thresholds read as motor angles, the two current
// limits sharing one register, and the recommended values.

#include "paramspage.h"
#include "ui_mainwindow.h"

#include "activedrive.h"
#include "eventlog.h"
#include "paramwriter.h"
#include "registerport.h"
#include "paramconversions.h"
#include "paramfile.h"
#include "parambinder.h"
#include "registers.h"

#include <QSignalBlocker>

namespace {

constexpr int CurrentReadTimeoutMs = 300;
constexpr double StepsPerRev = 200.0;
// Recommended values of the Advanced tab; thresholds in encoder steps.
constexpr int DefaultSmoothMs = 40;
constexpr int DefaultIdleCurrent = 50;
constexpr int DefaultRunCurrent = 50;
constexpr int DefaultDynErrSteps = 25;
constexpr int DefaultStaErrSteps = 20;
constexpr int DefaultPosWarnSteps = 15;

}  // namespace

void ParamsPage::refreshParamThresholdAngles()
{
    // The steps a Write would send, so the angle never tells another value than the drive gets.
    const std::pair<const char *, QLabel *> rows[] = {
        {"dynErr", ui->param_lblDynErr}, {"staErr", ui->param_lblStaErr}, {"posWarn", ui->param_lblPosWarn}};
    for (const auto &[key, label] : rows) {
        quint32 steps = 0;
        const bool known = drive->product().lead > 0 && binder->model().rawToWrite(QLatin1String(key), drive->product().lead, &steps);
        showThresholdAngle(label, known ? qint64(steps) : -1);
    }
}

void ParamsPage::applyErrSpinStep(double lead)
{
    if (!(lead > 0))
        return;
    // One encoder step, shown with the decimals that keep every step exact.
    const double step = lead / StepsPerRev;
    for (QDoubleSpinBox *box : {ui->param_spinDynErrMm, ui->param_spinStaErrMm, ui->param_spinPosWarnMm}) {
        const QSignalBlocker block(box);
        box->setDecimals(ParamConv::thresholdDecimals(lead));
        box->setSingleStep(step);
    }
    // The dynamic and static thresholds stay above the position warning's 15 steps by one step.
    for (QDoubleSpinBox *box : {ui->param_spinDynErrMm, ui->param_spinStaErrMm}) {
        const QSignalBlocker block(box);
        box->setMinimum((DefaultPosWarnSteps + 1) * step);
    }
}

void ParamsPage::onReadAdvCurrent()
{
    if (!drive->isConnected() || !drive->workerRunning())
        return;
    const ActiveDrive::PollingPause pause(drive);
    const QVector<quint16> words = drive->registers().read(Reg::CurrentLimits, 1, CurrentReadTimeoutMs);
    if (!words.isEmpty())
        showCurrentLimits(words[0]);
}

void ParamsPage::showCurrentLimits(quint16 word)
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
        driveCurrentWord = word;
        refreshCurrentLimitMarks();
    }
}

void ParamsPage::writeCurrentLimit(bool running)
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
        driveCurrentWord = word;
        refreshCurrentLimitMarks();
        drive->setRomChangesPending(true);
    }
    onReadAdvCurrent();
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

void ParamsPage::onRestoreAdvDefaults()
{
    const bool zh = chinese();
    if (!askYesNo(zh ? QStringLiteral("恢復建議值") : QStringLiteral("Restore Defaults"),
                  zh ? QStringLiteral("將所有進階參數恢復為建議值？\n\n此操作僅更新畫面數值，需逐項按「寫入」才會套用至設備。")
                     : QStringLiteral("Restore all advanced parameters to recommended values?\n\n"
                                      "This only updates the UI; press Write on each item to apply.")))
        return;
    const double lead = drive->product().lead;
    ui->spin_smoothMs->setValue(DefaultSmoothMs);
    ui->spin_idleCurrent->setValue(DefaultIdleCurrent);
    ui->spin_runCurrent->setValue(DefaultRunCurrent);
    ui->param_spinDynErrMm->setValue(DefaultDynErrSteps * lead / StepsPerRev);
    ui->param_spinStaErrMm->setValue(DefaultStaErrSteps * lead / StepsPerRev);
    ui->param_spinPosWarnMm->setValue(DefaultPosWarnSteps * lead / StepsPerRev);
}
