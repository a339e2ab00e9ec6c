#pragma once

#include "page.h"

#include <QtGlobal>

class FileError;
class QPushButton;
class StateRecorder;
class SteppedDoubleSpinBox;
class TrendChart;
class WorkerRegisterPort;
struct DeviceInfo;
struct DeviceState;

// The Monitor tab: live state, alarms, servo, jog and nudge with the jog
// guard, homing, the input buttons, the trend and its recorder.
class MonitorPage : public Page
{
public:
    explicit MonitorPage(WindowContext &context);

    void retranslate() override;
    void tabChanged(int index) override;
    // Queued motion is dropped and a held jog stopped before anything else is asked.
    bool mayLeaveDrive() override;

private:
    // An input bit (the stop input among them) is raised for about a millisecond.
    static constexpr int InputPulseMs = 1;

    void installSteppedJogSpeedBox();
    void onDriveConnected();
    void onDriveDisconnected();
    void onStateUpdated(const DeviceState &state);
    void onServoToggle(bool on);
    void readServoState();
    void showServoState(bool off, const QString &onStyle, const QString &offStyle);
    void onClearAlarm();
    // True when the drive answered.
    bool readAlarmHistory();
    // Shows the four 4-bit codes of the alarm word in the history grid.
    void showAlarmHistory(quint16 alarmHistRaw);
    void homeClicked();
    void inputClicked(quint16 bit);
    // Raises `bit` of the command inputs in the word read just before, with
    // polling paused, and lowers it again about a millisecond later; writes
    // nothing when that read fails. True when the drive confirmed the raise.
    bool pulseCommandInput(quint16 bit);
    // Says in the status bar that the drive will not move while its servo is off.
    void noteIfServoOff();

    // monitorjog.cpp: jog and nudge, and a jog that never outlives its hold.
    void setupJog();
    void applyJogSpeedLimit();
    void onLeadDescribed(double lead);
    // False, with a note in the status bar, when the connected drive's lead is unknown.
    bool manualSpeedUsable();
    void onJogPressed(bool forward);
    void onJogReleased();
    void onJogModeSelected(bool checked);
    void onNudgeModeSelected(bool checked);
    void showJogRowTexts();
    void onJogSliderMoved(int value);
    void onJogSpeedBoxChanged(double value);
    // The stop every way of stopping sends (release, Esc, Stop, lost hold,
    // leaving); one the drive never confirmed is reported.
    void sendJogStop();
    // Queued motion is dropped, the stop goes out first and is sent again while
    // unconfirmed; with the stop input, its pulse follows. After the connection
    // ended, while motion may run, both go out on a fresh port. False, with the
    // reason, when a stop was owed and the drive did not confirm it; no box is shown.
    bool stopMotion(bool withStopInput, QString *error);
    bool stopThroughWorker(bool withStopInput, QString *error);
    // On the port of the stop it follows, so its lowering goes to the same station.
    void pulseStopInput(WorkerRegisterPort port);
    void reportUnconfirmedStop(const QString &error);
    // Stops a jog started by a button that may not see its release.
    void stopHeldJog();
    void onStopMotionPressed();

    // monitortrend.cpp: the live trend and its recorder.
    void setupTrend();
    void onRecordToggled(bool on);
    // Ends a recording and says in the status bar where it went and how many rows it has.
    void stopRecording();
    void setRecordButtonChecked(bool checked);
    void onRecordingFailed(const FileError &error);

    // The designed jog speed box is replaced by this one; ui->spinJogSpeed points here too.
    SteppedDoubleSpinBox *jogSpeedBox = nullptr;
    QPushButton *btnStopMotion = nullptr;
    TrendChart *trendChart = nullptr;
    StateRecorder *stateRecorder = nullptr;
    quint16 lastAlarmHist = 0;
    bool nudgeMode = false;
    double nudgeStepMm = 0.1;
    // A jog start went out and no stop since.
    bool jogActive = false;
    // The current hold was already ended by a stop (lost focus, Esc, Stop), or
    // never started a move, so the release the button may still emit sends nothing.
    bool jogHoldStopped = false;
    // The servo as last read or switched: off. False while unknown.
    bool servoKnownOff = false;
};
