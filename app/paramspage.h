#pragma once

#include "page.h"
#include "paramdiff.h"
#include "paramfile.h"
#include "paramsnapshot.h"

#include <QJsonObject>
#include <QVector>

class ParamBinder;
class ParamRestoreDialog;
class QPushButton;
struct DeviceInfo;
struct MotionValidationResult;

// The Motion and Advanced tabs: parameter rows, read/write and save to ROM,
// push mode, error thresholds, current limits, parameter files and their
// restore, the station change, and the marks of unsaved values.
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
    // The reads that got no reply.
    int readAllRows();
    void onDriveConnected(const DeviceInfo &info);
    void onDriveDisconnected();
    void onLeadDescribed(double lead);
    void onParamTabShown(int index);
    void onReadAllParams();
    void onSaveParams();
    // The save-to-ROM command alone; true when the drive confirmed it.
    bool writeSaveCommand();
    void showSaveFailed();
    void showWriteFailed(const QString &zh, const QString &en);
    // group 0: Position 1, group 1: Position 2.
    void onPushToggled(int group, bool on);
    void onPushModeRead(int group, bool on);
    void setPushTorqueRowEnabled(int group, bool enabled);
    void onMotionValidated(const QString &posGroup, const MotionValidationResult &result);

    // paramsadvanced.cpp: thresholds, current limits, recommended values.
    // The three angle labels of the Advanced tab, from what a Write would send.
    void refreshParamThresholdAngles();
    // Steps, decimals and ranges of the threshold boxes at the drive's lead.
    void applyErrSpinStep(double lead);
    void onReadAdvCurrent();
    // Register 0x000E shown in the two current rows.
    void showCurrentLimits(quint16 word);
    void writeCurrentLimit(bool running);
    void onRestoreAdvDefaults();

    // paramsfiles.cpp
    void onExportParams();
    void onImportParams();
    // The root object of a parameter file; false after saying why it cannot be used.
    bool loadParamFile(const QString &path, QJsonObject *root);
    // The file's product against the drive: false when it is refused or the operator declines.
    bool acceptFileIdentity(const QJsonObject &root);
    // The connected drive's identity as a parameter file records it.
    ParamFile::Identity driveIdentity() const;
    // Every value a file records, read from the drive with polling paused.
    ParamSnapshot::Snapshot readDriveSnapshot();
    // The values read into the rows, push switches and current limits.
    void showDriveSnapshot(const ParamSnapshot::Snapshot &snapshot);
    // A file's values into the boxes (never into the drive).
    void applyParamFile(const QJsonObject &root, QStringList *typeErrors, QStringList *clamped);
    // Before Write differences: refuses a file that does not name this drive's
    // product, and asks (No by default) before writing one of the other direction.
    bool mayWriteFile(const QJsonObject &root);

    // paramsrestore.cpp: a file against the drive, and its differences written.
    void onCompareParams();
    void writeFileDifferences(ParamRestoreDialog *dialog, const QJsonObject &root,
                              const QVector<ParamDiff::Row> &differences);
    void writeFileDifference(const ParamDiff::Row &row);

    // paramsstation.cpp
    void onChangeStationClicked();
    enum class ChangeOutcome { Changed, StationTaken, SpeedUnreadable, Moving, NotWritten };
    // The new address written and saved, polling paused throughout.
    ChangeOutcome changeStationOnDrive(quint8 newStation);

    // paramsunsaved.cpp: rows that differ from the drive, and written values not yet saved to ROM.
    void setupUnsavedTracking();
    void showRowDirty(const QString &key, bool dirty);
    void refreshCurrentLimitMarks();
    void retranslateUnsavedMarks();

    ParamBinder *binder;
    QPushButton *btnCompareParams = nullptr;
    QLabel *lblUnsavedRom = nullptr;
    // Register 0x000E as last read or written; -1 while unknown.
    int driveCurrentWord = -1;
};
