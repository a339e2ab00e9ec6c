#pragma once

#include "page.h"

#include <functional>

class QPushButton;
class SteppedDoubleSpinBox;
class WorkerRegisterPort;

// Jog and nudge on the Monitor tab, with the STOP button and Esc. A jog never
// keeps running because its button missed the release: every way the hold can
// end sends the release's stop.
class JogControl : public WindowPart
{
public:
    // An input bit (the stop input among them) is raised for about a millisecond.
    static constexpr int InputPulseMs = 1;

    // noteIfServoOff: the page says in the status bar that the drive will not
    // move while its servo is off.
    JogControl(WindowContext &context, std::function<void()> noteIfServoOff);

    void retranslate();
    // The jog limit of a newly connected drive; nudge mode keeps its step list.
    void driveConnected();
    // No jog is held once the connection ended.
    void driveDisconnected();
    // Stops a jog started by a button that may not see its release.
    void stopHeldJog();

private:
    void installSteppedJogSpeedBox();
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
    void onStopMotionPressed();

    std::function<void()> m_noteIfServoOff;
    // The designed jog speed box is replaced by this one; ui->spinJogSpeed points here too.
    SteppedDoubleSpinBox *jogSpeedBox = nullptr;
    QPushButton *btnStopMotion = nullptr;
    bool nudgeMode = false;
    double nudgeStepMm = 0.1;
    // A jog start went out and no stop since.
    bool jogActive = false;
    // The current hold was already ended by a stop (lost focus, Esc, Stop), or
    // never started a move, so the release the button may still emit sends nothing.
    bool jogHoldStopped = false;
};
