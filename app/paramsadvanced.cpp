// Advanced tab: error thresholds read as motor angles, and the recommended values.

#include "paramspage.h"
#include "ui_mainwindow.h"

#include "activedrive.h"
#include "eventlog.h"
#include "paramconversions.h"
#include "paramfile.h"
#include "parambinder.h"
#include "registers.h"

#include <QSignalBlocker>

namespace {

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
