// Monitor tab: live state, alarms, servo, jog and nudge, homing, input simulation.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "alarmtext.h"
#include "cmpmanager.h"
#include "connectionmanager.h"
#include "devicestate.h"
#include "dialogs.h"
#include "dictionary.h"
#include "manualmotion.h"
#include "modbusworker.h"
#include "registers.h"
#include "staterecorder.h"
#include "steppeddoublespinbox.h"
#include "trendchart.h"

#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int ReadTimeoutMs = 300;
constexpr int HomingPulseMs = 5;
constexpr int InputPulseMs = 1;
constexpr quint16 ServoOnValue = 0;
constexpr quint16 ServoOffValue = 1;
constexpr quint16 InputX0 = 0x0001;
constexpr quint16 InputX1 = 0x0002;
constexpr quint16 InputX2 = 0x0004;
// Index of 0.1 mm in the nudge step list: the step a fresh nudge mode starts with.
constexpr int DefaultNudgeStepIndex = 2;
// An unconfirmed stop is sent again this many times; each try waits at most
// the 200 ms write timeout, so all of them end within about a second.
constexpr int StopRetries = 3;

const QString ServoOnStyle = QStringLiteral("color: #16a34a; font-weight: bold;");
const QString ServoOffStyle = QStringLiteral("color: #dc2626; font-weight: bold;");

bool isChinese(const QString &lang)
{
    return lang == QLatin1String("zh");
}

}  // namespace

void MainWindow::setupMonitorTab()
{
    connect(worker, &ModbusWorker::stateUpdated, this, &MainWindow::onStateUpdated);

    connect(ui->btnServoOn, &QPushButton::clicked, this, [this] { onServoToggle(true); });
    connect(ui->btnServoOff, &QPushButton::clicked, this, [this] { onServoToggle(false); });
    connect(ui->btnClearAlarm, &QPushButton::clicked, this, &MainWindow::onClearAlarm);
    connect(ui->btnReadAlarmHistory, &QPushButton::clicked, this, [this] {
        if (!isConnected)
            return;
        statusBar()->showMessage(onReadAlarmHistory()
                                     ? translateKey(QStringLiteral("status_alarm_read"), currentLang)
                                           .arg(alarmHistoryText(lastAlarmHist & 0xF, currentLang))
                                     : translateKey(QStringLiteral("status_alarm_unread"), currentLang));
    });

    // Jog acts while the button is held: pressed and released, not clicked.
    connect(ui->btnJogP, &QPushButton::pressed, this, &MainWindow::jogPlusPressed);
    connect(ui->btnJogP, &QPushButton::released, this, &MainWindow::jogPlusReleased);
    connect(ui->btnJogM, &QPushButton::pressed, this, &MainWindow::jogMinusPressed);
    connect(ui->btnJogM, &QPushButton::released, this, &MainWindow::jogMinusReleased);
    connect(ui->btnHome, &QPushButton::clicked, this, &MainWindow::homeClicked);
    connect(ui->btnSimX0, &QPushButton::clicked, this, &MainWindow::simX0Clicked);
    connect(ui->btnSimX1, &QPushButton::clicked, this, &MainWindow::simX1Clicked);
    connect(ui->btnSimX2, &QPushButton::clicked, this, &MainWindow::simX2Clicked);

    connect(ui->rbJogMove, &QRadioButton::toggled, this, &MainWindow::onJogModeSelected);
    connect(ui->rbJogNudge, &QRadioButton::toggled, this, &MainWindow::onNudgeModeSelected);
    connect(ui->slideJogSpeed, &QSlider::valueChanged, this, &MainWindow::onJogSliderMoved);
    connect(jogSpeedBox, qOverload<double>(&QDoubleSpinBox::valueChanged), this,
            &MainWindow::onJogSpeedBoxChanged);

    setupTrend();
    setupJogSafety();
    setupLinkHealth();
    // After the connection tab's own handlers, which read the drive first.
    connect(connectionManager, &ConnectionManager::connected, this, &MainWindow::onMonitoringStarted);
    connect(connectionManager, &ConnectionManager::disconnected, this, &MainWindow::onMonitoringEnded);
    connect(connectionManager, &ConnectionManager::connectionError, this, &MainWindow::onMonitoringEnded);
}

void MainWindow::onMonitoringStarted()
{
    trendChart->clear();
    linkHealthTimer->start();
    showLinkHealth();
}

void MainWindow::onMonitoringEnded()
{
    jogActive = false;
    servoKnownOff = false;
    if (stateRecorder->isRecording())
        stopRecording();
    // The counters of the connection that ended stay on screen until the next one.
    if (linkHealthTimer->isActive()) {
        linkHealthTimer->stop();
        showLinkHealth();
    }
}

void MainWindow::retranslateMonitorAdditions()
{
    trendChart->retranslate(currentLang);
    btnStopMotion->setText(translateKey(QStringLiteral("btnStopMotion"), currentLang));
    btnStopMotion->setToolTip(translateKey(QStringLiteral("btnStopMotion_tip"), currentLang));
    const QString jogTip = translateKey(QStringLiteral("jog_tip"), currentLang);
    ui->btnJogP->setToolTip(jogTip);
    ui->btnJogM->setToolTip(jogTip);
    if (!lblLinkHealth->isHidden())
        showLinkHealth();
    retranslateUnsavedMarks();
}

void MainWindow::onStateUpdated(const DeviceState &state)
{
    // A state polled just before a disconnect may arrive after it; the tab keeps
    // what it showed while connected.
    if (!isConnected)
        return;

    trendChart->addState(state);
    stateRecorder->record(state);

    ui->lblPos->setText(ManualMotion::fixedTwo(state.positionMm));
    ui->lblCurrent->setText(QString::number(state.currentMa));
    ui->lblPosTracErr->setText(ManualMotion::fixedTwo(state.trackErrUm / 1000.0));

    const QString key = QStringLiteral("alarm_%1").arg(state.alarmCode);
    QString alarm = translateKey(key, currentLang);
    if (alarm == key)
        alarm = QStringLiteral("Unknown Err");
    ui->lblAlarm->setText(QStringLiteral("%1 (%2)").arg(alarm).arg(state.alarmCode));
    setLed(ui->ledAlarm, true, state.alarmCode != 0);

    setLed(ui->ledX0, state.x0, false);
    setLed(ui->ledX1, state.x1, false);
    setLed(ui->ledX2, state.x2, false);
    setLed(ui->ledX7, state.x7, false);
    setLed(ui->ledY0, state.y0, false);
    setLed(ui->ledY1, state.y1, false);
    setLed(ui->ledY2, state.y2, false);

    if (state.alarmHistRaw != lastAlarmHist)
        updateAlarmHistory(state.alarmHistRaw);
}

void MainWindow::onServoToggle(bool on)
{
    if (!isConnected)
        return;
    pausePolling(true);
    const bool switched = worker->syncWrite(stationId, Reg::ServoOff, on ? ServoOnValue : ServoOffValue);
    worker->syncWrite(stationId, Reg::ManualMode, Reg::ManualModeValue);
    worker->syncWrite(stationId, Reg::CommandInputs, 0);
    pausePolling(false);

    if (!switched)
        return;
    servoKnownOff = !on;
    ui->lblServoStatus->setText(on ? QStringLiteral("Servo ON") : QStringLiteral("Servo OFF"));
    ui->lblServoStatus->setStyleSheet(on ? ServoOnStyle : ServoOffStyle);
}

void MainWindow::onClearAlarm()
{
    if (!isConnected)
        return;
    pausePolling(true);
    const bool cleared = worker->syncWrite(stationId, Reg::AlarmClear, 0);
    pausePolling(false);
    onReadAlarmHistory();
    if (!cleared)
        statusBar()->showMessage(translateKey(QStringLiteral("status_alarm_clear_failed"), currentLang));
    else if (isConnected)
        statusBar()->showMessage(translateKey(QStringLiteral("status_alarm_cleared"), currentLang)
                                     .arg(alarmHistoryText(lastAlarmHist & 0xF, currentLang)));
}

bool MainWindow::onReadAlarmHistory()
{
    if (!isConnected)
        return false;
    pausePolling(true);
    const QVector<quint16> words = worker->syncRead(stationId, Reg::AlarmWord, 1, ReadTimeoutMs);
    if (!words.isEmpty())
        updateAlarmHistory(words.first());
    pausePolling(false);
    return !words.isEmpty();
}

void MainWindow::jogPlusPressed()
{
    onJogPressed(true);
}

void MainWindow::jogMinusPressed()
{
    onJogPressed(false);
}

void MainWindow::jogPlusReleased()
{
    onJogReleased();
}

void MainWindow::jogMinusReleased()
{
    onJogReleased();
}

bool MainWindow::manualSpeedUsable()
{
    if (ManualMotion::isUsableLead(product.lead))
        return true;
    statusBar()->showMessage(isChinese(currentLang)
                                 ? QStringLiteral("驅動器未回報導程，無法換算手動速度，未送出動作。")
                                 : QStringLiteral("The drive reports no screw lead, so no manual speed "
                                                  "can be set; nothing was sent."));
    return false;
}

void MainWindow::onJogPressed(bool forward)
{
    jogHoldStopped = false;
    if (!isConnected || !manualSpeedUsable())
        return;
    noteIfServoOff();
    worker->enqueueWrite(Reg::ManualMode, Reg::ManualModeValue);
    if (!worker->isRunning())
        return;

    // The move starts only at a speed the drive confirmed: a start after a lost
    // speed write would run at whatever the register held (30000 between jogs).
    QString notConfirmedKey;
    pausePolling(true);
    if (!worker->syncWriteMulti(stationId, Reg::ManualSpeed,
                                words32(nudgeMode ? ManualMotion::nudgeSpeedValue(product.lead)
                                                  : ManualMotion::jogSpeedValue(jogSpeedBox->value(),
                                                                                product.lead)))) {
        notConfirmedKey = QStringLiteral("motion_speed_unconfirmed");
    } else if (nudgeMode) {
        const qint32 distance = ManualMotion::nudgeDistance(nudgeStepMm, forward);
        if (!worker->syncWriteMulti(stationId, Reg::NudgeDistance, words32(distance)))
            notConfirmedKey = QStringLiteral("motion_distance_unconfirmed");
    } else {
        // Held from here: even an unconfirmed start may have reached the drive.
        jogActive = true;
        // Synchronous, not queued: the worker serves a waiting request before its
        // queue, so the start goes out at once, right after its speed.
        if (!worker->syncWrite(stationId, Reg::ManualCommand,
                               forward ? Reg::ManualCommandValue::JogPlus : Reg::ManualCommandValue::JogMinus))
            notConfirmedKey = QStringLiteral("motion_start_unconfirmed");
    }
    pausePolling(false);
    if (notConfirmedKey.isEmpty())
        return;
    // Nothing was started that the release would have to stop.
    jogHoldStopped = !jogActive;
    statusBar()->showMessage(translateKey(notConfirmedKey, currentLang).arg(worker->lastSyncError()));
}

void MainWindow::onJogReleased()
{
    if (!isConnected || nudgeMode)
        return;
    if (jogHoldStopped) {
        jogHoldStopped = false;
        return;
    }
    sendJogStop();
}

void MainWindow::sendJogStop()
{
    jogActive = false;
    if (!isConnected || !worker->isRunning())
        return;
    pausePolling(true);
    // Each try drops the motion still queued (homing, a jog start) as it is
    // posted, so nothing queued before the stop can follow it on the wire.
    bool confirmed = false;
    for (int attempt = 0; attempt <= StopRetries && !confirmed; ++attempt)
        confirmed = worker->syncStopWrite(stationId, Reg::ManualCommand, Reg::ManualCommandValue::Stop);
    // The speed register is raised back to its default only after a confirmed
    // stop: the other way round the rod would briefly jog at that speed.
    if (confirmed)
        worker->syncWriteMulti(stationId, Reg::ManualSpeed, words32(Reg::DefaultManualSpeed));
    pausePolling(false);
    if (!confirmed)
        reportUnconfirmedStop();
}

void MainWindow::reportUnconfirmedStop()
{
    const QString text = translateKey(QStringLiteral("stop_unconfirmed"), currentLang).arg(worker->lastSyncError());
    qCritical("%s", qUtf8Printable(text));
    cmpManager->addLog(QStringLiteral("info"), text);
    m_dialogs->message(QMessageBox::Critical, translateKey(QStringLiteral("stop_unconfirmed_title"), currentLang),
                       text);
}

void MainWindow::noteIfServoOff()
{
    if (servoKnownOff)
        statusBar()->showMessage(translateKey(QStringLiteral("servo_off_notice"), currentLang));
}

void MainWindow::homeClicked()
{
    if (!isConnected)
        return;
    noteIfServoOff();
    worker->enqueueWrite(Reg::ManualCommand, Reg::ManualCommandValue::Homing);
    worker->enqueueWrite(Reg::ManualMode, Reg::ManualModeValue);
    worker->enqueueWrite(Reg::CommandInputs, InputX0);
    // Lowering the input starts nothing, so a stop leaves it in the queue.
    QTimer::singleShot(HomingPulseMs, this, [this] {
        if (isConnected)
            worker->enqueueWrite(Reg::CommandInputs, 0, ModbusWorker::QueuedWrite::Settling);
    });
}

void MainWindow::simX0Clicked()
{
    noteIfServoOff();
    pulseCommandInput(InputX0);
}

void MainWindow::simX1Clicked()
{
    noteIfServoOff();
    pulseCommandInput(InputX1);
}

void MainWindow::simX2Clicked()
{
    noteIfServoOff();
    pulseCommandInput(InputX2);
}

void MainWindow::pulseCommandInput(quint16 bit, quint16 lowered)
{
    if (!isConnected)
        return;
    const quint8 station = stationId;
    const QVector<quint16> before = worker->syncRead(station, Reg::CommandInputs, 1, ReadTimeoutMs);
    if (before.isEmpty())
        return;
    const quint16 raised = static_cast<quint16>((before.first() & ~lowered) | bit);
    worker->syncWrite(station, Reg::CommandInputs, raised);

    QTimer::singleShot(InputPulseMs, this, [this, station, bit, raised] {
        if (!isConnected)
            return;
        const QVector<quint16> now = worker->syncRead(station, Reg::CommandInputs, 1, ReadTimeoutMs);
        // Without a fresh word the input is lowered from the word that raised it:
        // left high, it would never give the drive another rising edge.
        const quint16 word = now.isEmpty() ? raised : now.first();
        worker->syncWrite(station, Reg::CommandInputs, static_cast<quint16>(word & ~bit));
    });
}

void MainWindow::onJogModeSelected(bool checked)
{
    if (!checked)
        return;
    nudgeMode = false;
    ui->lblJogSpeedTitle->setText(isChinese(currentLang) ? QStringLiteral("Jog 速度：")
                                                         : QStringLiteral("Jog Speed:"));
    ui->btnJogP->setText(QStringLiteral("Jog +"));
    ui->btnJogM->setText(QStringLiteral("Jog -"));

    const int limit = !isConnected || product.family.isEmpty()
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

void MainWindow::onNudgeModeSelected(bool checked)
{
    if (!checked)
        return;
    nudgeMode = true;
    const bool zh = isChinese(currentLang);
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

void MainWindow::onJogSliderMoved(int value)
{
    const QSignalBlocker blocker(jogSpeedBox);
    if (!nudgeMode) {
        jogSpeedBox->setValue(value);
        return;
    }
    const QVector<double> &steps = ManualMotion::nudgeSteps();
    nudgeStepMm = steps.at(std::clamp(value, 0, steps.size() - 1));
    jogSpeedBox->setValue(nudgeStepMm);
}

void MainWindow::onJogSpeedBoxChanged(double value)
{
    const QSignalBlocker blocker(ui->slideJogSpeed);
    if (!nudgeMode) {
        ui->slideJogSpeed->setValue(static_cast<int>(value));
        return;
    }
    nudgeStepMm = value;
    ui->slideJogSpeed->setValue(ManualMotion::nearestNudgeStep(value));
}
