// Restore to the drive: a parameter file compared with the connected drive in
// one table, and its differences written through the same rules as a single
// Write, each read back, then an offer to save to ROM.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "dialogs.h"
#include "dictionary.h"
#include "paramconversions.h"
#include "paramfile.h"
#include "parammanager.h"
#include "paramrestoredialog.h"

#include <QFileInfo>
#include <QSignalBlocker>

void MainWindow::onCompareParams()
{
    const QString title = translateKey(QStringLiteral("btnCompareParams"), currentLang);
    if (!isConnected) {
        m_dialogs->message(QMessageBox::Warning, title, translateKey(QStringLiteral("restore_connect_first"), currentLang));
        return;
    }
    const QString path = m_dialogs->openFileName(title, QString(), ParamFile::DialogFilter);
    if (path.isEmpty())
        return;
    QJsonObject root;
    if (!loadParamFile(path, &root) || !acceptFileIdentity(root))
        return;
    const ParamSnapshot::Snapshot drive = readDriveSnapshot();
    if (!drive.complete()) {
        m_dialogs->message(QMessageBox::Critical, title,
                           translateKey(QStringLiteral("restore_read_failed"), currentLang)
                               .arg(ParamSnapshot::namesOf(drive.unreadable, currentLang)));
        return;
    }

    // A file's value is held to the range of the box it would go into, as an import does.
    const auto rangeOf = [this](const QString &key) -> ParamDiff::Range {
        if (key == QLatin1String("idleCurrent"))
            return {double(ui->spin_idleCurrent->minimum()), double(ui->spin_idleCurrent->maximum())};
        if (key == QLatin1String("runCurrent"))
            return {double(ui->spin_runCurrent->minimum()), double(ui->spin_runCurrent->maximum())};
        const ParamEntry row = paramManager->params().value(key);
        if (row.spinD)
            return {row.spinD->minimum(), row.spinD->maximum()};
        if (row.spin)
            return {double(row.spin->minimum()), double(row.spin->maximum())};
        return ParamDiff::fileRange(key, product.lead, product.stroke);
    };
    const ParamDiff::Comparison comparison = ParamDiff::compare(root, drive, product.lead, rangeOf);

    ParamRestoreDialog dialog(comparison.rows, QFileInfo(path).fileName(), currentLang, this);
    const QVector<ParamDiff::Row> differences = comparison.differences();
    connect(&dialog, &ParamRestoreDialog::writeDifferencesRequested, this,
            [this, &dialog, &root, &differences] { writeFileDifferences(&dialog, root, differences); });
    m_dialogs->exec(&dialog);
}

void MainWindow::writeFileDifferences(ParamRestoreDialog *dialog, const QJsonObject &root,
                                      const QVector<ParamDiff::Row> &differences)
{
    dialog->setWriteDone();
    // Every file value goes into its box first, so the rules of each write
    // see the file's positions, speeds and thresholds, not the drive's.
    QStringList typeErrors;
    QStringList clamped;
    applyParamFile(root, &typeErrors, &clamped);
    for (const ParamDiff::Row &row : differences)
        writeFileDifference(row);

    const ParamSnapshot::Snapshot after = readDriveSnapshot();
    int confirmed = 0;
    for (const ParamDiff::Row &row : differences) {
        const bool readBack = !after.unreadable.contains(row.key);
        const quint32 now = row.key == QLatin1String("pos0PushEnable")   ? quint32(after.pos0PushEnable)
                            : row.key == QLatin1String("pos1PushEnable") ? quint32(after.pos1PushEnable)
                                                                         : after.raw.value(row.key);
        const bool ok = readBack && now == row.fileRaw;
        confirmed += ok ? 1 : 0;
        dialog->setResult(row.key, ok,
                          !readBack ? translateKey(QStringLiteral("restore_notReadBack"), currentLang)
                          : ok      ? translateKey(QStringLiteral("restore_written"), currentLang)
                                    : translateKey(QStringLiteral("restore_notApplied"), currentLang)
                                     .arg(row.key.endsWith(QLatin1String("PushEnable"))
                                              ? QString(now ? QStringLiteral("on") : QStringLiteral("off"))
                                          : row.key.endsWith(QLatin1String("Current"))
                                              ? QString::number(now)
                                              : ParamDiff::numberText(ParamConv::exactNumber(row.key, now, product.lead))));
    }
    dialog->setSummary(translateKey(QStringLiteral("restore_done"), currentLang).arg(confirmed).arg(differences.size()));

    if (confirmed == 0)
        return;
    const QMessageBox::StandardButton save = m_dialogs->message(
        QMessageBox::Question, translateKey(QStringLiteral("restore_save_title"), currentLang),
        translateKey(QStringLiteral("restore_save_question"), currentLang).arg(confirmed).arg(differences.size()),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (save != QMessageBox::Yes)
        return;
    if (writeSaveCommand())
        m_dialogs->message(QMessageBox::Information, QStringLiteral("OK"),
                           translateKey(QStringLiteral("msg_saved_ok"), currentLang));
    else
        showSaveFailed();
}

void MainWindow::writeFileDifference(const ParamDiff::Row &row)
{
    if (paramManager->params().contains(row.key)) {
        // The row holds the file's exact value: a single Write with all its checks.
        paramManager->writeSingle(row.key, stationId, product.lead);
    } else if (row.key == QLatin1String("idleCurrent")) {
        onWriteIdleCurrent();
    } else if (row.key == QLatin1String("runCurrent")) {
        onWriteRunCurrent();
    } else {
        const int group = row.key.startsWith(QLatin1String("pos0")) ? 0 : 1;
        onPushToggled(group, row.fileRaw != 0);
    }
}
