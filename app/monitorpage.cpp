// Monitor tab: live state, alarms, servo, homing, input simulation.

#include "monitorpage.h"
#include "ui_mainwindow.h"

#include "activedrive.h"
#include "eventlog.h"
#include "alarmtext.h"
#include "devicestate.h"
#include "jogcontrol.h"
#include "manualmotion.h"
#include "modbusworker.h"
#include "pagetext.h"
#include "registers.h"
#include "trendrecording.h"

#include <QPixmap>
#include <QTimer>

namespace {

constexpr int HomingPulseMs = 5;
constexpr quint16 ServoOnValue = 0;
constexpr quint16 ServoOffValue = 1;
constexpr quint16 InputX0 = 0x0001;
constexpr quint16 InputX1 = 0x0002;
constexpr quint16 InputX2 = 0x0004;

// The servo label as read on connection, and as switched by the buttons.
const QString ReadServoOnStyle = QStringLiteral("color:#16a34a;font-weight:bold;padding:0 8px;");
const QString ReadServoOffStyle = QStringLiteral("color:#dc2626;font-weight:bold;padding:0 8px;");
const QString SwitchedServoOnStyle = QStringLiteral("color: #16a34a; font-weight: bold;");
const QString SwitchedServoOffStyle = QStringLiteral("color: #dc2626; font-weight: bold;");

}  // namespace

MonitorPage::MonitorPage(WindowContext &context)
    : Page(context), jog(new JogControl(context, [this] { noteIfServoOff(); })), trend(new TrendRecording(context))
{
    for (QLabel *lamp : {ui->ledAlarm, ui->ledX0, ui->ledX1, ui->ledX2, ui->ledX7, ui->ledY0, ui->ledY1, ui->ledY2})
        setLed(lamp, false, false);

    connect(drive, &ActiveDrive::stateUpdated, this, &MonitorPage::onStateUpdated);
    connect(ui->btnServoOn, &QPushButton::clicked, this, [this] { onServoToggle(true); });
    connect(ui->btnServoOff, &QPushButton::clicked, this, [this] { onServoToggle(false); });
    connect(ui->btnClearAlarm, &QPushButton::clicked, this, &MonitorPage::onClearAlarm);
    connect(ui->btnReadAlarmHistory, &QPushButton::clicked, this, [this] {
        if (!drive->isConnected())
            return;
        showStatus(readAlarmHistory()
                       ? text(QStringLiteral("status_alarm_read")).arg(alarmHistoryText(lastAlarmHist & 0xF, lang()))
                       : text(QStringLiteral("status_alarm_unread")));
    });
    connect(ui->btnHome, &QPushButton::clicked, this, &MonitorPage::homeClicked);
    connect(ui->btnSimX0, &QPushButton::clicked, this, [this] { inputClicked(InputX0); });
    connect(ui->btnSimX1, &QPushButton::clicked, this, [this] { inputClicked(InputX1); });
    connect(ui->btnSimX2, &QPushButton::clicked, this, [this] { inputClicked(InputX2); });

    connect(drive, &ActiveDrive::connected, this, &MonitorPage::onDriveConnected);
    connect(drive, &ActiveDrive::disconnected, this, &MonitorPage::onDriveDisconnected);
}

void MonitorPage::retranslate()
{
    translateByName(window(), {"groupBox_cylStatus", "groupBox_io", "lblPosTitle", "lblCurTitle",
                               "lblPosTracErrTitle", "lblAlmTitle", "btnHome", "btnSimX0", "btnSimX1", "btnSimX2",
                               "btnServoOn", "btnServoOff", "btnClearAlarm", "btnReadAlarmHistory"},
                    lang());
    translateByKey(window(), {{"groupBox_InSim", "lblSimTitle"}, {"groupBox_alarmHistory", "groupBox_alarmHist"}},
                   lang());
    applyFixedTexts(window(),
                    {{"groupBox_Home", "原點復歸", "Homing"},
                     {"groupBox_Servo", "伺服電源", "Servo Power"},
                     {"groupBox_PosADJ", "位置微調", "Position Adjustment"},
                     {"rbJogMove", "Jog 移動", "Jog Move"},
                     {"rbJogNudge", "單步微調", "Step Move"},
                     {"lbl_X0", "Input 1\n移動到位置 1", "Input 1\nMove to Pos 1"},
                     {"lbl_X1", "Input 2\n移動到位置 2", "Input 2\nMove to Pos 2"},
                     {"lbl_X2", "Input 3\n停止/警報重置", "Input 3\nStop / Alarm Reset"},
                     {"lbl_Y0", "Output 1\n位置 1 到位", "Output 1\nPos 1 Reached"},
                     {"lbl_Y1", "Output 2\n位置 2 到位", "Output 2\nPos 2 Reached"},
                     {"lbl_Y2", "Output 3\n異常警報 (常開)", "Output 3\nAlarm (N.O.)"},
                     {"lbl_X7", "原點復歸完成", "Homing Complete"},
                     {"lblTitle_lblAlarmCurrent", "當前", "Current"},
                     {"lblTitle_lblAlarmHist1", "第1次", "1st"},
                     {"lblTitle_lblAlarmHist2", "第2次", "2nd"},
                     {"lblTitle_lblAlarmHist3", "第3次", "3rd"}},
                    lang());
    jog->retranslate();
    if (lastAlarmHist != 0 || drive->isConnected())
        showAlarmHistory(lastAlarmHist);
    // A missing resource gives a null pixmap, which leaves the label empty.
    ui->lblTitle_cylinder2->setPixmap(QPixmap(chinese() ? QStringLiteral(":/cyc_zh.png")
                                                        : QStringLiteral(":/cyc_en.png")));
    trend->retranslate();
}

void MonitorPage::tabChanged(int index)
{
    if (index != MonitorTab)
        jog->stopHeldJog();
}

bool MonitorPage::mayLeaveDrive()
{
    // Queued motion must not go out while the window asks about unsaved changes.
    worker()->dropQueuedMotion();
    jog->stopHeldJog();
    return true;
}

void MonitorPage::onDriveConnected()
{
    jog->driveConnected();
    // Values read once: alarm history and servo state.
    readAlarmHistory();
    readServoState();
    trend->clear();
}

void MonitorPage::onDriveDisconnected()
{
    jog->driveDisconnected();
    servoKnownOff = false;
    trend->driveDisconnected();
}

void MonitorPage::onStateUpdated(const DeviceState &state)
{
    trend->addState(state);

    ui->lblPos->setText(ManualMotion::fixedTwo(state.positionMm));
    ui->lblCurrent->setText(QString::number(state.currentMa));
    ui->lblPosTracErr->setText(ManualMotion::fixedTwo(state.trackErrUm / 1000.0));

    const QString key = QStringLiteral("alarm_%1").arg(state.alarmCode);
    QString alarm = text(key);
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
        showAlarmHistory(state.alarmHistRaw);
}

void MonitorPage::onServoToggle(bool on)
{
    if (!drive->isConnected())
        return;
    WorkerRegisterPort port = drive->registers();
    const ActiveDrive::PollingPause pause(drive);
    const bool switched = port.write(Reg::ServoOff, on ? ServoOnValue : ServoOffValue);
    port.write(Reg::ManualMode, Reg::ManualModeValue);
    port.write(Reg::CommandInputs, 0);
    if (switched)
        showServoState(!on, SwitchedServoOnStyle, SwitchedServoOffStyle);
}

void MonitorPage::readServoState()
{
    const ActiveDrive::PollingPause pause(drive);
    const QVector<quint16> words = drive->registers().read(Reg::ServoOff, 1);
    if (!words.isEmpty())
        showServoState((words.first() & 0x00FF) != 0, ReadServoOnStyle, ReadServoOffStyle);
}

void MonitorPage::showServoState(bool off, const QString &onStyle, const QString &offStyle)
{
    servoKnownOff = off;
    ui->lblServoStatus->setText(off ? QStringLiteral("Servo OFF") : QStringLiteral("Servo ON"));
    ui->lblServoStatus->setStyleSheet(off ? offStyle : onStyle);
}

void MonitorPage::onClearAlarm()
{
    if (!drive->isConnected())
        return;
    bool cleared = false;
    {
        const ActiveDrive::PollingPause pause(drive);
        cleared = drive->registers().write(Reg::AlarmClear, 0);
    }
    drive->events()->record(QStringLiteral("alarm reset"), {{QStringLiteral("result"), EventLog::resultOf(cleared)}});
    readAlarmHistory();
    if (!cleared)
        showStatus(text(QStringLiteral("status_alarm_clear_failed")));
    else if (drive->isConnected())
        showStatus(text(QStringLiteral("status_alarm_cleared")).arg(alarmHistoryText(lastAlarmHist & 0xF, lang())));
}

bool MonitorPage::readAlarmHistory()
{
    if (!drive->isConnected())
        return false;
    const ActiveDrive::PollingPause pause(drive);
    const QVector<quint16> words = drive->registers().read(Reg::AlarmWord, 1);
    if (!words.isEmpty())
        showAlarmHistory(words.first());
    return !words.isEmpty();
}

void MonitorPage::showAlarmHistory(quint16 alarmHistRaw)
{
    lastAlarmHist = alarmHistRaw;
    QLabel *const fields[] = {ui->lblAlarmCurrent, ui->lblAlarmHist1, ui->lblAlarmHist2, ui->lblAlarmHist3};
    for (int i = 0; i < 4; ++i) {
        const int code = (alarmHistRaw >> (4 * i)) & 0xF;
        fields[i]->setText(alarmHistoryText(code, lang()));
        fields[i]->setStyleSheet(code != 0 ? QStringLiteral("font-weight:bold; color:#dc2626; padding:2px 8px;")
                                           : QStringLiteral("font-weight:bold; color:#16a34a; padding:2px 8px;"));
    }
}

void MonitorPage::noteIfServoOff()
{
    if (servoKnownOff)
        showStatus(text(QStringLiteral("servo_off_notice")));
}

void MonitorPage::homeClicked()
{
    if (!drive->isConnected())
        return;
    noteIfServoOff();
    drive->noteMotionCommanded(ActiveDrive::Motion::Manual);
    drive->noteMotionCommanded(ActiveDrive::Motion::Inputs);
    worker()->enqueueWrite(Reg::ManualCommand, Reg::ManualCommandValue::Homing);
    worker()->enqueueWrite(Reg::ManualMode, Reg::ManualModeValue);
    worker()->enqueueWrite(Reg::CommandInputs, InputX0);
    // Lowering the input starts nothing, so a stop leaves it in the queue.
    QTimer::singleShot(HomingPulseMs, this, [this] {
        if (drive->isConnected())
            worker()->enqueueWrite(Reg::CommandInputs, 0, ModbusWorker::QueuedWrite::Settling);
    });
}

void MonitorPage::inputClicked(quint16 bit)
{
    if (!drive->isConnected())
        return;
    noteIfServoOff();
    if (bit != InputX2)
        drive->noteMotionCommanded(ActiveDrive::Motion::Inputs);
    if (pulseCommandInput(bit) && bit == InputX2)
        drive->noteStopConfirmed(ActiveDrive::Motion::Inputs);
}

bool MonitorPage::pulseCommandInput(quint16 bit)
{
    WorkerRegisterPort port = drive->registers();
    // Read right before the write, with polling paused: the other bits go back
    // as the drive holds them now.
    const ActiveDrive::PollingPause pause(drive);
    const QVector<quint16> before = port.read(Reg::CommandInputs, 1);
    if (before.isEmpty())
        return false;
    const quint16 raised = static_cast<quint16>(before.first() | bit);
    const bool confirmed = port.write(Reg::CommandInputs, raised);

    QTimer::singleShot(JogControl::InputPulseMs, this, [this, port, bit, raised]() mutable {
        if (!drive->isConnected())
            return;
        const ActiveDrive::PollingPause lowering(drive);
        const QVector<quint16> now = port.read(Reg::CommandInputs, 1);
        // Without a fresh word the input is lowered from the word that raised it:
        // left high, it would never give the drive another rising edge.
        const quint16 word = now.isEmpty() ? raised : now.first();
        port.write(Reg::CommandInputs, static_cast<quint16>(word & ~bit));
    });
    return confirmed;
}
