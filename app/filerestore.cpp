#include "filerestore.h"
#include "ui_mainwindow.h"

#include "activedrive.h"
#include "currentlimits.h"
#include "eventlog.h"
#include "paramconversions.h"
#include "paramfile.h"
#include "parambinder.h"
#include "paramfileactions.h"
#include "paramrestoredialog.h"
#include "unsavedtracking.h"

#include <QFileInfo>
#include <QSignalBlocker>

FileRestore::FileRestore(WindowContext &context, ParamBinder *binder, ParamFileActions *files,
                         CurrentLimits *currentLimits, UnsavedTracking *unsaved, Writes writes)
    : WindowPart(context), m_binder(binder), m_files(files), m_currentLimits(currentLimits), m_unsaved(unsaved),
      m_writes(std::move(writes)), m_compare(new QPushButton(ui->btnImportParams->parentWidget()))
{
    // Beside Import: a file compared with the drive before anything is written.
    m_compare->setObjectName(QStringLiteral("btnCompareParams"));
    m_compare->setMinimumWidth(ui->btnImportParams->minimumWidth());
    ui->horizontalLayout_paramTop->insertWidget(ui->horizontalLayout_paramTop->indexOf(ui->btnImportParams) + 1,
                                                m_compare);
    connect(m_compare, &QPushButton::clicked, this, &FileRestore::onCompareParams);
}

void FileRestore::onCompareParams()
{
    const QString title = text(QStringLiteral("btnCompareParams"));
    if (!drive->isConnected()) {
        dialogs().message(QMessageBox::Warning, title, text(QStringLiteral("restore_connect_first")));
        return;
    }
    const QString path = dialogs().openFileName(title, QString(), ParamFile::DialogFilter);
    if (path.isEmpty())
        return;
    QJsonObject root;
    if (!m_files->loadParamFile(path, &root) || !m_files->acceptFileIdentity(root))
        return;
    const ParamSnapshot::Snapshot driveValues = m_files->readDriveSnapshot();
    if (!driveValues.complete()) {
        dialogs().message(QMessageBox::Critical, title,
                           text(QStringLiteral("restore_read_failed"))
                               .arg(ParamSnapshot::namesOf(driveValues.unreadable, lang())));
        return;
    }

    // The range of the box a file's value would go into: a differing value outside it is not written.
    const auto rangeOf = [this](const QString &key) -> ParamDiff::Range {
        if (key == QLatin1String("idleCurrent"))
            return {double(ui->spin_idleCurrent->minimum()), double(ui->spin_idleCurrent->maximum())};
        if (key == QLatin1String("runCurrent"))
            return {double(ui->spin_runCurrent->minimum()), double(ui->spin_runCurrent->maximum())};
        const ParamRow row = m_binder->rows().value(key);
        if (row.spinD)
            return {row.spinD->minimum(), row.spinD->maximum()};
        if (row.spin)
            return {double(row.spin->minimum()), double(row.spin->maximum())};
        return ParamDiff::fileRange(key, drive->product().lead, drive->product().stroke);
    };
    const ParamDiff::Comparison comparison = ParamDiff::compare(root, driveValues, drive->product().lead, rangeOf);

    ParamRestoreDialog dialog(comparison.rows, QFileInfo(path).fileName(), lang(), window());
    const QVector<ParamDiff::Row> differences = comparison.differences();
    connect(&dialog, &ParamRestoreDialog::writeDifferencesRequested, this,
            [this, &dialog, &root, &differences, &path] {
                drive->events()->record(QStringLiteral("file restore"), EventLog::fileFields(path));
                writeFileDifferences(&dialog, root, differences);
            });
    dialogs().exec(&dialog);
}

void FileRestore::writeFileDifferences(ParamRestoreDialog *dialog, const QJsonObject &root,
                                      const QVector<ParamDiff::Row> &differences)
{
    if (!mayWriteFile(root))
        return;
    dialog->setWriteDone();
    // Every file value goes into its box first, so the rules of each write
    // see the file's positions, speeds and thresholds, not the drive's.
    QStringList typeErrors;
    QStringList clamped;
    m_files->applyParamFile(root, &typeErrors, &clamped);
    // A value outside its box's range is never written, nor a stand-in held to the range.
    for (const ParamDiff::Row &row : differences) {
        if (!row.outsideRange)
            writeFileDifference(row);
    }

    const ParamSnapshot::Snapshot after = m_files->readDriveSnapshot();
    int confirmed = 0;
    for (const ParamDiff::Row &row : differences) {
        const bool readBack = !after.unreadable.contains(row.key);
        const quint32 now = row.key == QLatin1String("pos0PushEnable")   ? quint32(after.pos0PushEnable)
                            : row.key == QLatin1String("pos1PushEnable") ? quint32(after.pos1PushEnable)
                                                                         : after.raw.value(row.key);
        const bool ok = readBack && now == row.fileRaw;
        confirmed += ok ? 1 : 0;
        dialog->setResult(row.key, ok,
                          row.outsideRange ? text(QStringLiteral("restore_outsideRange"))
                          : !readBack      ? text(QStringLiteral("restore_notReadBack"))
                          : ok             ? text(QStringLiteral("restore_written"))
                                           : text(QStringLiteral("restore_notApplied"))
                                     .arg(row.key.endsWith(QLatin1String("PushEnable"))
                                              ? QString(now ? QStringLiteral("on") : QStringLiteral("off"))
                                          : row.key.endsWith(QLatin1String("Current"))
                                              ? QString::number(now)
                                              : ParamDiff::numberText(ParamConv::exactNumber(row.key, now, drive->product().lead))));
    }
    dialog->setSummary(text(QStringLiteral("restore_done")).arg(confirmed).arg(differences.size()));

    if (confirmed == 0)
        return;
    const QMessageBox::StandardButton save = dialogs().message(
        QMessageBox::Question, text(QStringLiteral("restore_save_title")),
        text(QStringLiteral("restore_save_question")).arg(confirmed).arg(differences.size()),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (save != QMessageBox::Yes)
        return;
    if (m_unsaved->saveToRom())
        dialogs().message(QMessageBox::Information, QStringLiteral("OK"),
                           text(QStringLiteral("msg_saved_ok")));
    else
        m_unsaved->showSaveFailed();
}

bool FileRestore::mayWriteFile(const QJsonObject &root)
{
    // Comparing shows any file; writing one needs it to name this product.
    const ParamFile::Compatibility compatibility =
        ParamFile::checkWriteCompatibility(root, m_files->driveIdentity(), lang());
    if (!compatibility.blocking.isEmpty()) {
        dialogs().message(QMessageBox::Critical, text(QStringLiteral("restore_write_blocked")),
                           ParamFile::blockedMessage(compatibility, ParamFile::identityOf(root).modelStr, lang()));
        return false;
    }
    return compatibility.reversed.isEmpty()
           || askYesNo(text(QStringLiteral("restore_reversed_title")),
                       text(QStringLiteral("restore_reversed_question")).arg(compatibility.reversed));
}

void FileRestore::writeFileDifference(const ParamDiff::Row &row)
{
    if (m_binder->rows().contains(row.key)) {
        // The row holds the file's exact value: a single Write with all its checks.
        m_writes.row(row.key);
    } else if (row.key == QLatin1String("idleCurrent")) {
        m_currentLimits->write(false);
    } else if (row.key == QLatin1String("runCurrent")) {
        m_currentLimits->write(true);
    } else {
        const int group = row.key.startsWith(QLatin1String("pos0")) ? 0 : 1;
        m_writes.pushMode(group, row.fileRaw != 0);
    }
}
