// Motion and Advanced tabs: parameter rows, read/write, save to ROM, push
// mode and the motion check.

#include "paramspage.h"
#include "ui_mainwindow.h"

#include "currentlimits.h"
#include "filerestore.h"
#include "paramfileactions.h"
#include "stationchange.h"
#include "unsavedtracking.h"

#include "activedrive.h"
#include "deviceinfo.h"
#include "eventlog.h"
#include "registerport.h"
#include "motioncheck.h"
#include "paramconversions.h"
#include "paramfile.h"
#include "parambinder.h"
#include "pagetext.h"
#include "registers.h"

#include <QScopeGuard>
#include <QSignalBlocker>
#include <QPixmap>
#include <QTimer>

#include <algorithm>
namespace {

constexpr int PositionDecimals = 3;
constexpr int TabReadDelayMs = 10;

// The threshold boxes of the Advanced tab, by parameter key.
QString thresholdBoxName(const QString &key)
{
    if (key == QLatin1String("dynErr"))
        return QStringLiteral("param_spinDynErrMm");
    if (key == QLatin1String("staErr"))
        return QStringLiteral("param_spinStaErrMm");
    if (key == QLatin1String("posWarn"))
        return QStringLiteral("param_spinPosWarnMm");
    return QString();
}

struct PushGroup
{
    const char *checkBox;
    const char *torqueKey;
};

const PushGroup pushGroups[] = {
    {"ckbtn_pos0Push", "pos0PushTorque"},
    {"ckbtn_pos1Push", "pos1PushTorque"},
};

}  // namespace
ParamsPage::ParamsPage(WindowContext &context)
    : Page(context), binder(new ParamBinder(this)), currentLimits(new CurrentLimits(context)),
      unsaved(new UnsavedTracking(context, binder)), files(new ParamFileActions(context, binder, currentLimits))
{
    registerParamRows();
    connectBinder();
    restore = new FileRestore(context, binder, files, currentLimits, unsaved,
                              {[this](const QString &key) { writeRow(key); },
                               [this](int group, bool on) { onPushToggled(group, on); }});
    new StationChange(context);

    connect(ui->btnReadAllParams, &QPushButton::clicked, this, &ParamsPage::onReadAllParams);
    connect(ui->btnSaveParams, &QPushButton::clicked, this, &ParamsPage::onSaveParams);
    connect(ui->btnSaveParams_adv, &QPushButton::clicked, this, &ParamsPage::onSaveParams);
    connect(ui->ckbtn_pos0Push, &QCheckBox::toggled, this, [this](bool on) { onPushToggled(0, on); });
    connect(ui->ckbtn_pos1Push, &QCheckBox::toggled, this, [this](bool on) { onPushToggled(1, on); });
    for (QDoubleSpinBox *box : {ui->param_spinDynErrMm, ui->param_spinStaErrMm, ui->param_spinPosWarnMm})
        connect(box, qOverload<double>(&QDoubleSpinBox::valueChanged), this, &ParamsPage::refreshParamThresholdAngles);
    connect(ui->btnRestoreAdvDefaults, &QPushButton::clicked, this, &ParamsPage::onRestoreAdvDefaults);

    connect(drive, &ActiveDrive::connected, this, &ParamsPage::onDriveConnected);
    connect(drive, &ActiveDrive::disconnected, this, &ParamsPage::onDriveDisconnected);
    connect(drive, &ActiveDrive::leadDescribed, this, &ParamsPage::onLeadDescribed);
    showEngineerExtras(false);
}

void ParamsPage::registerParamRows()
{
    for (const ParamConv::ParamDefinition &d : ParamConv::paramDefinitions()) {
        const QString &key = d.key;
        ParamRow row;
        row.key = key;
        row.title = window()->findChild<QLabel *>(QStringLiteral("lblTitle_") + key);
        // The soft-limit rows keep their designed "(2W)" address texts.
        if (!key.startsWith(QLatin1String("softLimit")))
            row.hexLabel = window()->findChild<QLabel *>(QStringLiteral("lblHex_") + key);
        row.curLabel = window()->findChild<QLabel *>(QStringLiteral("cur_") + key);
        row.rawLabel = window()->findChild<QLabel *>(QStringLiteral("raw_") + key);
        row.slider = window()->findChild<QSlider *>(QStringLiteral("slide_") + key);
        const QString thresholdBox = thresholdBoxName(key);
        if (!thresholdBox.isEmpty())
            row.spinD = window()->findChild<QDoubleSpinBox *>(thresholdBox);
        else
            row.spinD = window()->findChild<QDoubleSpinBox *>(QStringLiteral("spinD_") + key);
        if (!row.spinD)
            row.spin = window()->findChild<QSpinBox *>(QStringLiteral("spin_") + key);
        row.btnRead = window()->findChild<QPushButton *>(QStringLiteral("btnRead_") + key);
        row.btnWrite = window()->findChild<QPushButton *>(QStringLiteral("btnWrite_") + key);

        // Time and smoothing rows take their documented range before the
        // slider is bound, so the slider follows it.
        if (row.spin && (d.unit == ParamConv::ParamUnit::Plain || d.unit == ParamConv::ParamUnit::Smoothing))
            row.spin->setRange(d.minValue, d.maxValue);
        // Positions and soft limits show every 0.001 mm the drive keeps.
        if (row.spinD && d.unit == ParamConv::ParamUnit::Position)
            row.spinD->setDecimals(PositionDecimals);
        binder->bindRow(row, d.address);

        if (row.btnRead)
            connect(row.btnRead, &QPushButton::clicked, this, [this, key] { readRow(key); });
        const QAbstractSpinBox *box = row.spinD ? static_cast<QAbstractSpinBox *>(row.spinD) : row.spin;
        if (row.btnWrite)
            connect(row.btnWrite, &QPushButton::clicked, this, [this, key, box] {
                if (entryAccepted(box, binder->labelOf(key)))
                    writeRow(key);
            });
    }
}

void ParamsPage::readRow(const QString &key)
{
    const ActiveDrive::PollingPause pause(drive);
    WorkerRegisterPort port = drive->registers();
    binder->readSingle(port, key, drive->product().lead);
}

int ParamsPage::readAllRows()
{
    const ActiveDrive::PollingPause pause(drive);
    WorkerRegisterPort port = drive->registers();
    return binder->readAll(port, drive->product().lead, drive->product().stroke);
}

void ParamsPage::showParameterError(const QString &message)
{
    dialogs().message(QMessageBox::Warning, chinese() ? QStringLiteral("參數錯誤") : QStringLiteral("Parameter Error"),
                      message);
}

void ParamsPage::writeRow(const QString &key)
{
    const double lead = drive->product().lead;
    const ParamBinder::PreparedWrite prepared = binder->prepareWrite(key, lead);
    const ParamWriter::Verdict &verdict = prepared.verdict;
    // Notes first, then the move's check, the operator's answer, and the rules.
    for (const QString &note : verdict.notes)
        showParameterError(note);
    if (verdict.motionChecked)
        onMotionValidated(key.left(4), verdict.motion);
    if (!verdict.triangularQuestion.isEmpty()) {
        const QMessageBox::StandardButton answer = dialogs().message(
            QMessageBox::Question,
            chinese() ? QStringLiteral("三角形速度曲線") : QStringLiteral("Triangular Velocity Profile"),
            verdict.triangularQuestion, QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
    }
    if (!verdict.liftForce.isEmpty())
        dialogs().message(QMessageBox::Warning,
                          chinese() ? QStringLiteral("垂直安裝推力提示") : QStringLiteral("Vertical Lift Force Info"),
                          verdict.liftForce);
    if (!verdict.mayWrite()) {
        showParameterError(verdict.refusal);
        return;
    }
    const ActiveDrive::PollingPause pause(drive);
    WorkerRegisterPort port = drive->registers();
    binder->write(port, key, prepared.raw, lead);
}

void ParamsPage::connectBinder()
{
    connect(binder, &ParamBinder::validationError, this, &ParamsPage::showParameterError);
    connect(binder, &ParamBinder::pushModeRead, this, &ParamsPage::onPushModeRead);
    connect(binder, &ParamBinder::motionValidated, this, &ParamsPage::onMotionValidated);
    connect(binder, &ParamBinder::driveValueShown, this, [this](const QString &key) {
        if (key == QLatin1String("dynErr") || key == QLatin1String("staErr") || key == QLatin1String("posWarn"))
            refreshParamThresholdAngles();
    });
}

void ParamsPage::showEngineerExtras(bool unlocked)
{
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

void ParamsPage::retranslate()
{
    translateByName(window(), {"btnSaveParams", "btnReadAllParams", "ckbtn_pos0Push", "ckbtn_pos1Push",
                               "btnExportParams", "btnImportParams", "btnCompareParams", "lblNewStation",
                               "btnChangeStation", "btnRestoreAdvDefaults", "lblAdvWarning", "btnSaveParams_adv",
                               "lblTitle_idleCurrent", "lblTitle_runCurrent", "groupBox_errThreshold",
                               "groupBox_runChar"},
                    lang());
    translateByKey(window(),
                   {{"groupBox_paramOrigin", "groupBox_origin"},
                    {"groupBox_paramPos0", "groupBox_pos0"},
                    {"groupBox_paramPos1", "groupBox_pos1"}},
                   lang());
    applyFixedTexts(window(),
                    {{"btnRead_idleCurrent", "讀取", "Read"},
                     {"btnRead_runCurrent", "讀取", "Read"},
                     {"btnWrite_idleCurrent", "寫入", "Write"},
                     {"btnWrite_runCurrent", "寫入", "Write"}},
                    lang());
    binder->setLang(lang());
    binder->retranslate(lang());
    // A missing resource gives a null pixmap, which leaves the label empty.
    ui->lblTitle_cylinder->setPixmap(QPixmap(chinese() ? QStringLiteral(":/cyc_zh.png")
                                                       : QStringLiteral(":/cyc_en.png")));
    unsaved->retranslate();
    currentLimits->refreshMarks();
}

void ParamsPage::tabChanged(int index)
{
    if (drive->isConnected() && (index == MotionTab || index == AdvancedTab))
        QTimer::singleShot(TabReadDelayMs, this, [this, index] { onParamTabShown(index); });
}

void ParamsPage::onDriveConnected(const DeviceInfo &info)
{
    // Error thresholds step and read in angles at this lead.
    applyErrSpinStep(info.lead);
    refreshParamThresholdAngles();
    // Speed, position and soft-limit rows follow the lead and the stroke.
    binder->applyDriveRanges(info.lead, info.stroke);
    binder->setLead(info.lead);
    binder->setStroke(info.stroke);
    // Values read once: currents and smoothing.
    currentLimits->read();
    readRow(QStringLiteral("smoothMs"));
}

void ParamsPage::onDriveDisconnected()
{
    // What was known of the drive no longer holds.
    binder->model().forgetDriveValues();
    currentLimits->forget();
}

void ParamsPage::onLeadDescribed(double lead)
{
    applyErrSpinStep(lead);
    binder->setLead(lead);
    binder->setStroke(drive->product().stroke);
}

void ParamsPage::onParamTabShown(int index)
{
    if (!drive->isConnected())
        return;
    // Opening a tab never throws away values loaded from a file or edited; Read All asks first.
    binder->model().setKeepUnwritten(true);
    const auto replaceAgain = qScopeGuard([this] { binder->model().setKeepUnwritten(false); });
    if (index == MotionTab) {
        readAllRows();
        readRow(QStringLiteral("softLimitCCW"));
        readRow(QStringLiteral("softLimitCW"));
    } else if (index == AdvancedTab) {
        currentLimits->read();
        for (const char *key : {"smoothMs", "dynErr", "staErr", "posWarn"})
            readRow(QLatin1String(key));
    } else {
        return;
    }
    refreshParamThresholdAngles();
}

void ParamsPage::onReadAllParams()
{
    if (!drive->isConnected())
        return;
    // Values loaded from a file or edited are not lost without a word.
    if (binder->model().anyDirty()) {
        const bool zh = chinese();
        if (!askYesNo(zh ? QStringLiteral("讀取全部參數") : QStringLiteral("Read All"),
                      zh ? QStringLiteral("部分參數尚未寫入設備，讀取後將以設備值取代。\n確定要讀取嗎？")
                         : QStringLiteral("Some values on screen are not written to the drive; reading replaces "
                                          "them with the drive's values.\nRead anyway?")))
            return;
    }
    const int failures = readAllRows();
    showStatus(failures == 0 ? text(QStringLiteral("status_read_all"))
                                           : text(QStringLiteral("status_read_all_partial"))
                                                 .arg(failures));
    refreshParamThresholdAngles();
}

void ParamsPage::onSaveParams()
{
    if (!drive->isConnected())
        return;
    if (unsaved->saveToRom()) {
        dialogs().message(QMessageBox::Information, QStringLiteral("OK"), text(QStringLiteral("msg_saved_ok")));
        return;
    }
    unsaved->showSaveFailed();
}

bool ParamsPage::mayLeaveDrive()
{
    return unsaved->mayLeaveDrive();
}

void ParamsPage::onPushToggled(int group, bool on)
{
    const PushGroup &g = pushGroups[group];
    if (drive->isConnected()) {
        bool written = false;
        {
            const ActiveDrive::PollingPause pause(drive);
            WorkerRegisterPort port = drive->registers();
            written = ParamWriter::writePushMode(port, group, on);
        }
        const auto pushValue = [](bool pushOn) {
            return EventLog::value(pushOn, QLatin1String(pushOn ? "on" : "off"), QString());
        };
        drive->events()->record(QStringLiteral("parameter write"),
                                EventLog::writeFields(QStringLiteral("pos%1PushEnable").arg(group), pushValue(!on),
                                                      pushValue(on), written));
        if (!written) {
            // The box shows what the drive still does, not the click that failed.
            auto *box = window()->findChild<QCheckBox *>(QLatin1String(g.checkBox));
            {
                const QSignalBlocker block(box);
                box->setChecked(!on);
            }
            setPushTorqueRowEnabled(group, !on);
            showWriteFailed(QStringLiteral("推壓模式切換失敗：設備未確認。\n\n請確認連線後重試。"),
                            QStringLiteral("Push mode was not switched: the device did not confirm.\n\n"
                                           "Please check the connection and retry."));
            return;
        }
        drive->setRomChangesPending(true);
    }
    setPushTorqueRowEnabled(group, on);
    if (on && drive->isConnected())
        readRow(QLatin1String(g.torqueKey));
}

void ParamsPage::onPushModeRead(int group, bool on)
{
    const PushGroup &g = pushGroups[group];
    auto *box = window()->findChild<QCheckBox *>(QLatin1String(g.checkBox));
    {
        const QSignalBlocker block(box);
        box->setChecked(on);
    }
    setPushTorqueRowEnabled(group, on);
    if (on)
        readRow(QLatin1String(g.torqueKey));
}

void ParamsPage::setPushTorqueRowEnabled(int group, bool enabled)
{
    binder->setRowEnabled(QLatin1String(pushGroups[group].torqueKey), enabled);
}

void ParamsPage::onMotionValidated(const QString &posGroup, const MotionValidationResult &result)
{
    const bool group0 = posGroup == QLatin1String("pos0");
    QLabel *status = group0 ? ui->lblMotionStatus0 : ui->lblMotionStatus1;
    QLabel *cycle = group0 ? ui->lblCycleTime0 : ui->lblCycleTime1;
    cycle->setText(result.cycleTime > 0 ? QStringLiteral("%1 s").arg(result.cycleTime, 0, 'f', 2)
                                        : QStringLiteral("-- s"));
    const QString warningStyle = QStringLiteral("color: #d97706; font-weight: bold;");
    switch (result.status) {
    case MotionCheck::StatusOk:
        status->setText(QStringLiteral("✓"));
        status->setStyleSheet(QStringLiteral("color: #16a34a; font-weight: bold;"));
        break;
    case MotionCheck::StatusTriangular:
        status->setText(QStringLiteral("⚠"));
        status->setStyleSheet(warningStyle);
        cycle->setToolTip(result.message);
        break;
    case 2:  // not produced by today's check; styled like a triangular profile
        status->setText(QStringLiteral("⚠"));
        status->setStyleSheet(warningStyle);
        break;
    case MotionCheck::StatusSpeedTooHigh:
    case MotionCheck::StatusTooClose:
        status->setText(QStringLiteral("✗"));
        status->setStyleSheet(QStringLiteral("color: #dc2626; font-weight: bold;"));
        cycle->setText(QStringLiteral("-- s"));
        break;
    default:
        break;
    }
    status->setToolTip(result.message);
}
