#pragma once

#include "page.h"

class FileError;
class StateRecorder;
class TrendChart;
struct DeviceState;

// The Monitor tab's live trend of position, current and tracking error, and
// the recorder that writes every state to a CSV file.
class TrendRecording : public WindowPart
{
public:
    explicit TrendRecording(WindowContext &context);

    void retranslate();
    void addState(const DeviceState &state);
    // A new drive starts an empty chart.
    void clear();
    // A recording ends with its connection.
    void driveDisconnected();

private:
    void onRecordToggled(bool on);
    // Ends a recording and says in the status bar where it went and how many rows it has.
    void stopRecording();
    void setRecordButtonChecked(bool checked);
    void onRecordingFailed(const FileError &error);

    TrendChart *trendChart = nullptr;
    StateRecorder *stateRecorder = nullptr;
};
