#pragma once

#include "page.h"

class CurrentLimits;
class FileRestore;
class ParamBinder;
class ParamFileActions;
class UnsavedTracking;
struct DeviceInfo;
struct MotionValidationResult;

// The Motion and Advanced tabs: parameter rows, read/write and save to ROM,
// push mode, the motion check and the error thresholds. The current limits,
// the parameter files, their restore, the station change and the marks of
// unsaved values are parts of their own that the page owns.
class ParamsPage : public Page
{
public:
    explicit ParamsPage(WindowContext &context);

    void retranslate() override;
    // The reads run 10 ms after the Motion or Advanced tab was selected.
    void tabChanged(int index) override;
    // Asks before the drive is left with unsaved writes.
    bool mayLeaveDrive() override;
    // The position-warning row and the raw and hex values, for a logged-in engineer only.
    void showEngineerExtras(bool unlocked);

private:
    void registerParamRows();
    void connectBinder();
    // One row's value from the drive, its Write with the rules and the
    // operator's answers, and every row; each with polling paused.
    void readRow(const QString &key);
    void writeRow(const QString &key);
    // "Parameter Error": a rule's refusal, a note before a write, a write that failed.
    void showParameterError(const QString &message);
    // The reads that got no reply.
    int readAllRows();
    void onDriveConnected(const DeviceInfo &info);
    void onDriveDisconnected();
    void onLeadDescribed(double lead);
    void onParamTabShown(int index);
    void onReadAllParams();
    void onSaveParams();
    // group 0: Position 1, group 1: Position 2.
    void onPushToggled(int group, bool on);
    void onPushModeRead(int group, bool on);
    void setPushTorqueRowEnabled(int group, bool enabled);
    void onMotionValidated(const QString &posGroup, const MotionValidationResult &result);

    // paramsadvanced.cpp: thresholds and recommended values.
    // The three angle labels of the Advanced tab, from what a Write would send.
    void refreshParamThresholdAngles();
    // Steps, decimals and ranges of the threshold boxes at the drive's lead.
    void applyErrSpinStep(double lead);
    void onRestoreAdvDefaults();

    ParamBinder *binder;
    CurrentLimits *currentLimits;
    UnsavedTracking *unsaved;
    ParamFileActions *files;
    FileRestore *restore;
};
