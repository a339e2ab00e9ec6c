// Monitor tab: jog and nudge. A jog never keeps running because its button
// missed the release: every way the hold can end sends the release's stop;
// Esc and the Stop button stop manual motion from anywhere in the window.

#include "jogcontrol.h"
#include "ui_mainwindow.h"

#include "activedrive.h"
#include "eventlog.h"
#include "jogguard.h"
#include "manualmotion.h"
#include "modbusworker.h"
#include "productconfig.h"
#include "registers.h"
#include "steppeddoublespinbox.h"

#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

// Index of 0.1 mm in the nudge step list: the step a fresh nudge mode starts with.
constexpr int DefaultNudgeStepIndex = 2;
// An unconfirmed stop is sent again this many times; each try waits at most
// the 200 ms write timeout, so all of them end within about a second.
constexpr int StopRetries = 3;
constexpr int StopButtonHeight = 40;

const QString StopButtonStyle = QStringLiteral(
    "QPushButton { background-color:#dc2626; color:white; font-weight:bold; font-size:16px;"
    " border:1px solid #991b1b; border-radius:6px; padding:4px 12px; }"
    "QPushButton:hover { background-color:#b91c1c; }"
    "QPushButton:pressed { background-color:#7f1d1d; }");

}  // namespace

JogControl::JogControl(WindowContext &context, std::function<void()> noteIfServoOff)
    : WindowPart(context), m_noteIfServoOff(std::move(noteIfServoOff))
{
    installSteppedJogSpeedBox();
    setupJog();
    connect(drive, &ActiveDrive::leadDescribed, this, &JogControl::onLeadDescribed);
}

void JogControl::installSteppedJogSpeedBox()
{
    QDoubleSpinBox *designed = ui->spinJogSpeed;
    QWidget *parent = designed->parentWidget();

    jogSpeedBox = new SteppedDoubleSpinBox(parent);
    jogSpeedBox->setMinimumSize(designed->minimumSize());
    jogSpeedBox->setMaximumSize(designed->maximumSize());
    jogSpeedBox->setSizePolicy(designed->sizePolicy());
    // The old box gives up its name at once: until its deferred deletion it would
    // otherwise still be found under it.
    const QString name = designed->objectName();
    designed->setObjectName(QString());
    jogSpeedBox->setObjectName(name);

    delete parent->layout()->replaceWidget(designed, jogSpeedBox);
    designed->hide();
    designed->deleteLater();
    ui->spinJogSpeed = jogSpeedBox;

    jogSpeedBox->setDecimals(0);
    jogSpeedBox->setRange(1, 15);
    jogSpeedBox->setSingleStep(1);
    jogSpeedBox->setSuffix(QStringLiteral(" mm/s"));
    jogSpeedBox->setValue(5);
}

void JogControl::retranslate()
{
    showJogRowTexts();
    btnStopMotion->setText(text(QStringLiteral("btnStopMotion")));
    btnStopMotion->setToolTip(text(QStringLiteral("btnStopMotion_tip")));
    const QString jogTip = text(QStringLiteral("jog_tip"));
    ui->btnJogP->setToolTip(jogTip);
    ui->btnJogM->setToolTip(jogTip);
}

void JogControl::driveConnected()
{
    if (!nudgeMode)
        applyJogSpeedLimit();
}

void JogControl::driveDisconnected()
{
    jogActive = false;
}

void JogControl::setupJog()
{
    // Jog acts while the button is held: pressed and released, not clicked.
    connect(ui->btnJogP, &QPushButton::pressed, this, [this] { onJogPressed(true); });
    connect(ui->btnJogP, &QPushButton::released, this, &JogControl::onJogReleased);
    connect(ui->btnJogM, &QPushButton::pressed, this, [this] { onJogPressed(false); });
    connect(ui->btnJogM, &QPushButton::released, this, &JogControl::onJogReleased);
    connect(ui->rbJogMove, &QRadioButton::toggled, this, &JogControl::onJogModeSelected);
    connect(ui->rbJogNudge, &QRadioButton::toggled, this, &JogControl::onNudgeModeSelected);
    connect(ui->slideJogSpeed, &QSlider::valueChanged, this, &JogControl::onJogSliderMoved);
    connect(jogSpeedBox, qOverload<double>(&QDoubleSpinBox::valueChanged), this, &JogControl::onJogSpeedBoxChanged);

    btnStopMotion = new QPushButton(ui->tabOperation);
    btnStopMotion->setObjectName(QStringLiteral("btnStopMotion"));
    btnStopMotion->setStyleSheet(StopButtonStyle);
    btnStopMotion->setMinimumHeight(StopButtonHeight);
    // Right under the jog buttons, where the hand already is.
    ui->verticalLayout_4->insertWidget(ui->verticalLayout_4->indexOf(ui->groupBox_PosADJ) + 1, btnStopMotion);
    // STOP acts on press (mouse, touch, Space; Enter through auto-default): holding
    // it or sliding off before letting go must not hold the stop back.
    btnStopMotion->setAutoDefault(true);
    connect(btnStopMotion, &QPushButton::pressed, this, &JogControl::onStopMotionPressed);

    auto *jogGuard = new JogGuard(window());
    jogGuard->watchButton(ui->btnJogP);
    jogGuard->watchButton(ui->btnJogM);
    connect(jogGuard, &JogGuard::holdLost, this, &JogControl::stopHeldJog);
    // Whether or not the window holds a jog: Esc is the operator's own stop.
    connect(jogGuard, &JogGuard::escapePressed, this, [this] {
        jogHoldStopped = true;
        sendJogStop();
    });
    connect(drive, &ActiveDrive::stopUndelivered, this, &JogControl::reportUnconfirmedStop);
}

void JogControl::applyJogSpeedLimit()
{
    const ProductIdentity &product = drive->product();
    const int limit = ManualMotion::jogSpeedLimit(product.family, product.size);
    ui->spinJogSpeed->setRange(1.0, limit);
    ui->slideJogSpeed->setRange(1, limit);
    if (ui->spinJogSpeed->value() > limit)
        ui->spinJogSpeed->setValue(limit);
}

void JogControl::onLeadDescribed(double lead)
{
    // Without a drive the tab cannot jog; the connection sets the range from the catalogue.
    if (nudgeMode || !drive->isConnected())
        return;
    const int limit = jogSpeedLimit(true, drive->product().family, drive->product().size, lead);
    jogSpeedBox->setRange(1.0, limit);
    ui->slideJogSpeed->setRange(1, limit);
}

bool JogControl::manualSpeedUsable()
{
    if (ManualMotion::isUsableLead(drive->product().lead))
        return true;
    showStatus(chinese() ? QStringLiteral("驅動器未回報導程，無法換算手動速度，未送出動作。")
                         : QStringLiteral("The drive reports no screw lead, so no manual speed "
                                          "can be set; nothing was sent."));
    return false;
}

void JogControl::onJogPressed(bool forward)
{
    jogHoldStopped = false;
    if (!drive->isConnected() || !manualSpeedUsable() || !entryAccepted(jogSpeedBox, ui->lblJogSpeedTitle->text()))
        return;
    m_noteIfServoOff();
    worker()->enqueueWrite(Reg::ManualMode, Reg::ManualModeValue);
    if (!worker()->isServing())
        return;

    // The move starts only at a speed the drive confirmed: a start after a lost
    // speed write would run at whatever the register held (30000 between jogs).
    const double lead = drive->product().lead;
    WorkerRegisterPort port = drive->registers();
    QString notConfirmedKey;
    {
        const ActiveDrive::PollingPause pause(drive);
        if (!port.writeMulti(Reg::ManualSpeed, words32(nudgeMode ? ManualMotion::nudgeSpeedValue(lead)
                                                                 : ManualMotion::jogSpeedValue(jogSpeedBox->value(), lead)))) {
            notConfirmedKey = QStringLiteral("motion_speed_unconfirmed");
        } else if (nudgeMode) {
            const qint32 distance = ManualMotion::nudgeDistance(nudgeStepMm, forward);
            drive->noteMotionCommanded(ActiveDrive::Motion::Manual);
            if (!port.writeMulti(Reg::NudgeDistance, words32(distance)))
                notConfirmedKey = QStringLiteral("motion_distance_unconfirmed");
        } else {
            // Held from here: even an unconfirmed start may have reached the drive.
            jogActive = true;
            drive->noteMotionCommanded(ActiveDrive::Motion::Manual);
            // Synchronous, not queued: the worker serves a waiting request before its
            // queue, so the start goes out at once, right after its speed.
            if (!port.write(Reg::ManualCommand,
                            forward ? Reg::ManualCommandValue::JogPlus : Reg::ManualCommandValue::JogMinus))
                notConfirmedKey = QStringLiteral("motion_start_unconfirmed");
        }
    }
    if (notConfirmedKey.isEmpty())
        return;
    // Nothing was started that the release would have to stop.
    jogHoldStopped = !jogActive;
    showStatus(text(notConfirmedKey).arg(port.lastError().text()));
}

void JogControl::onJogReleased()
{
    // Also after the connection ended: the release then tries a fresh port.
    if (nudgeMode)
        return;
    if (jogHoldStopped) {
        jogHoldStopped = false;
        return;
    }
    sendJogStop();
}

void JogControl::sendJogStop()
{
    QString error;
    if (!stopMotion(false, &error))
        reportUnconfirmedStop(error);
}

bool JogControl::stopMotion(bool withStopInput, QString *error)
{
    jogActive = false;
    if (drive->isConnected() && worker()->isServing())
        return stopThroughWorker(withStopInput, error);
    // The worker gave up a moment ago: the end of the connection, next in the
    // event queue, delivers the stop on a fresh port and reports it.
    if (drive->isConnected() || !drive->motionMayRun())
        return true;
    const StopDelivery::Outcome outcome = drive->deliverStop();
    *error = outcome.error;
    return outcome.confirmed;
}

bool JogControl::stopThroughWorker(bool withStopInput, QString *error)
{
    WorkerRegisterPort port = drive->registers();
    const ActiveDrive::PollingPause pause(drive);
    // Each try drops the motion still queued (homing, a jog start) as it is
    // posted, so nothing queued before the stop can follow it on the wire.
    bool confirmed = false;
    for (int attempt = 0; attempt <= StopRetries && !confirmed && worker()->isServing(); ++attempt)
        confirmed = port.stop(Reg::ManualCommand, Reg::ManualCommandValue::Stop);
    *error = port.lastError().text();
    if (confirmed)
        drive->noteStopConfirmed(ActiveDrive::Motion::Manual);
    if (withStopInput)
        pulseStopInput(port);
    // The speed register is raised back to its default only after a confirmed
    // stop: the other way round the rod would briefly jog at that speed.
    if (confirmed)
        port.writeMulti(Reg::ManualSpeed, words32(Reg::DefaultManualSpeed));
    return confirmed || !worker()->isServing();
}

void JogControl::pulseStopInput(WorkerRegisterPort port)
{
    // Written, not merged into a word read first: a stop must not wait for a
    // read, and every other input goes low with it, the moves to position 1
    // and 2 above all, so a word read earlier cannot raise them again.
    if (port.stop(Reg::CommandInputs, Reg::CommandInputBit::Stop))
        drive->noteStopConfirmed(ActiveDrive::Motion::Inputs);
    // One write that starts nothing: no pause, which would also end a pause
    // held by whoever paused polling in the meantime.
    QTimer::singleShot(InputPulseMs, this, [this, port]() mutable {
        if (drive->isConnected())
            port.write(Reg::CommandInputs, 0);
    });
}

void JogControl::reportUnconfirmedStop(const QString &error)
{
    const QString message = text(QStringLiteral("stop_unconfirmed")).arg(error);
    qCritical("%s", qUtf8Printable(message));
    drive->events()->record(QStringLiteral("stop unconfirmed"),
                            {{QStringLiteral("reason"), error}, {QStringLiteral("message"), message}});
    drive->log(QStringLiteral("info"), message);
    dialogs().message(QMessageBox::Critical, text(QStringLiteral("stop_unconfirmed_title")), message);
}

void JogControl::stopHeldJog()
{
    if (!jogActive)
        return;
    jogHoldStopped = true;
    sendJogStop();
}

void JogControl::onStopMotionPressed()
{
    jogHoldStopped = true;
    // The stop input also ends a move to position 1 or 2, which the manual stop
    // does not reach; it goes out before any box about an unconfirmed stop.
    QString error;
    if (!stopMotion(true, &error))
        reportUnconfirmedStop(error);
}

void JogControl::showJogRowTexts()
{
    // The jog row reads differently by mode; this wording differs from the one the mode
    // switch shows on entering nudge mode.
    const bool zh = chinese();
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
}

void JogControl::onJogModeSelected(bool checked)
{
    if (!checked)
        return;
    nudgeMode = false;
    ui->lblJogSpeedTitle->setText(chinese() ? QStringLiteral("Jog 速度：") : QStringLiteral("Jog Speed:"));
    ui->btnJogP->setText(QStringLiteral("Jog +"));
    ui->btnJogM->setText(QStringLiteral("Jog -"));

    const ProductIdentity &product = drive->product();
    const int limit = !drive->isConnected() || product.family.isEmpty()
                          ? ManualMotion::DisconnectedJogLimit
                          : ManualMotion::jogSpeedLimit(product.family, product.size);

    const QSignalBlocker sliderBlocker(ui->slideJogSpeed);
    const QSignalBlocker boxBlocker(jogSpeedBox);
    // Jog speeds step by whole mm/s; the nudge list does not apply to them.
    jogSpeedBox->setStepList({});
    jogSpeedBox->setDecimals(0);
    jogSpeedBox->setRange(1, limit);
    jogSpeedBox->setSingleStep(1);
    jogSpeedBox->setSuffix(QStringLiteral(" mm/s"));
    ui->slideJogSpeed->setRange(1, limit);
    const double speed = std::max(1.0, std::min<double>(limit, jogSpeedBox->value()));
    jogSpeedBox->setValue(speed);
    ui->slideJogSpeed->setValue(static_cast<int>(speed));
}

void JogControl::onNudgeModeSelected(bool checked)
{
    if (!checked)
        return;
    nudgeMode = true;
    const bool zh = chinese();
    ui->lblJogSpeedTitle->setText(zh ? QStringLiteral("微調距離：") : QStringLiteral("Nudge Dist.:"));
    ui->btnJogP->setText(zh ? QStringLiteral("正向微調 +") : QStringLiteral("Nudge +"));
    ui->btnJogM->setText(zh ? QStringLiteral("負向微調 -") : QStringLiteral("Nudge -"));

    // Not blocked: the box and slider handlers keep nudgeStepMm and the slider index in step.
    jogSpeedBox->setStepList(ManualMotion::nudgeSteps());
    jogSpeedBox->setDecimals(2);
    jogSpeedBox->setRange(0.01, 5.0);
    jogSpeedBox->setSingleStep(0.01);
    jogSpeedBox->setSuffix(QStringLiteral(" mm"));
    jogSpeedBox->setValue(0.1);
    ui->slideJogSpeed->setRange(0, ManualMotion::nudgeSteps().size() - 1);
    ui->slideJogSpeed->setValue(DefaultNudgeStepIndex);
    nudgeStepMm = 0.1;
}

void JogControl::onJogSliderMoved(int value)
{
    const QSignalBlocker blocker(jogSpeedBox);
    if (!nudgeMode) {
        jogSpeedBox->setValue(value);
        return;
    }
    const QVector<double> &steps = ManualMotion::nudgeSteps();
    nudgeStepMm = steps.at(std::clamp(value, 0, int(steps.size()) - 1));
    jogSpeedBox->setValue(nudgeStepMm);
}

void JogControl::onJogSpeedBoxChanged(double value)
{
    const QSignalBlocker blocker(ui->slideJogSpeed);
    if (!nudgeMode) {
        ui->slideJogSpeed->setValue(static_cast<int>(value));
        return;
    }
    nudgeStepMm = value;
    ui->slideJogSpeed->setValue(ManualMotion::nearestNudgeStep(value));
}
