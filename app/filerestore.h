#pragma once

#include "page.h"
#include "paramdiff.h"

#include <QJsonObject>
#include <QVector>

#include <functional>

class CurrentLimits;
class ParamBinder;
class ParamFileActions;
class ParamRestoreDialog;
class QPushButton;
class UnsavedTracking;

// Restore to the drive: a parameter file compared with the connected drive in
// one table, and its differences written through the same rules as a single
// Write, each read back, then an offer to save to ROM.
class FileRestore : public WindowPart
{
public:
    // The page's own writes a difference goes through.
    struct Writes
    {
        std::function<void(const QString &key)> row;       // a parameter row, with its rules
        std::function<void(int group, bool on)> pushMode;  // group 0: Position 1, 1: Position 2
    };
    FileRestore(WindowContext &context, ParamBinder *binder, ParamFileActions *files, CurrentLimits *currentLimits,
                UnsavedTracking *unsaved, Writes writes);

    QPushButton *compareButton() const { return m_compare; }

private:
    void onCompareParams();
    void writeFileDifferences(ParamRestoreDialog *dialog, const QJsonObject &root,
                              const QVector<ParamDiff::Row> &differences);
    void writeFileDifference(const ParamDiff::Row &row);
    // Before Write differences: refuses a file that does not name this drive's
    // product, and asks (No by default) before writing one of the other direction.
    bool mayWriteFile(const QJsonObject &root);

    ParamBinder *m_binder;
    ParamFileActions *m_files;
    CurrentLimits *m_currentLimits;
    UnsavedTracking *m_unsaved;
    Writes m_writes;
    QPushButton *m_compare;
};
