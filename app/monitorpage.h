#pragma once

#include "page.h"

#include <QtGlobal>

class JogControl;
class TrendRecording;
struct DeviceState;

// The Monitor tab: live state, alarms, servo, homing and the input buttons.
// Jog and nudge with the STOP button, and the trend with its recorder, are
// parts of their own that the page owns.
class MonitorPage : public Page
{
public:
    explicit MonitorPage(WindowContext &context);

    void retranslate() override;
    void tabChanged(int index) override;
    // Queued motion is dropped and a held jog stopped before anything else is asked.
    bool mayLeaveDrive() override;

private:
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

    JogControl *jog;
    TrendRecording *trend;
    quint16 lastAlarmHist = 0;
    // The servo as last read or switched: off. False while unknown.
    bool servoKnownOff = false;
};
