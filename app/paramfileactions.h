#pragma once

#include "page.h"
#include "paramfile.h"
#include "paramsnapshot.h"

#include <QJsonObject>
#include <QStringList>

class CurrentLimits;
class ParamBinder;

// Parameter files on the Motion and Advanced tabs: the connected drive
// exported to a file, a file loaded into the boxes (never into the drive),
// and the reading and checking of a file that the restore shares.
class ParamFileActions : public WindowPart
{
public:
    ParamFileActions(WindowContext &context, ParamBinder *binder, CurrentLimits *currentLimits);

    // The root object of a parameter file; false after saying why it cannot be used.
    bool loadParamFile(const QString &path, QJsonObject *root);
    // The file's product against the drive: false when it is refused or the operator declines.
    bool acceptFileIdentity(const QJsonObject &root);
    // The connected drive's identity as a parameter file records it.
    ParamFile::Identity driveIdentity() const;
    // Every value a file records, read from the drive with polling paused.
    ParamSnapshot::Snapshot readDriveSnapshot();
    // A file's values into the boxes (never into the drive).
    void applyParamFile(const QJsonObject &root, QStringList *typeErrors, QStringList *clamped);

private:
    void onExportParams();
    void onImportParams();
    // The values read into the rows, push switches and current limits.
    void showDriveSnapshot(const ParamSnapshot::Snapshot &snapshot);

    ParamBinder *m_binder;
    CurrentLimits *m_currentLimits;
};
