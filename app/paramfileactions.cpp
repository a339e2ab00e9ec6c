#include "paramfileactions.h"
#include "ui_mainwindow.h"

#include "activedrive.h"
#include "currentlimits.h"
#include "eventlog.h"
#include "registerport.h"
#include "paramconversions.h"
#include "paramdiff.h"
#include "paramfile.h"
#include "paramsnapshot.h"
#include "parambinder.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QSignalBlocker>

namespace {

// The value box a file key goes into: the parameter rows' own boxes, and the
// two current-limit boxes, which are not parameter rows.
QSpinBox *integerBox(const Ui::MainWindow *ui, const ParamBinder *params, const QString &key)
{
    if (key == QLatin1String("idleCurrent"))
        return ui->spin_idleCurrent;
    if (key == QLatin1String("runCurrent"))
        return ui->spin_runCurrent;
    return params->rows().value(key).spin;
}

// Restores the cursor on every way out of the drive reads.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

}  // namespace

ParamFileActions::ParamFileActions(WindowContext &context, ParamBinder *binder, CurrentLimits *currentLimits)
    : WindowPart(context), m_binder(binder), m_currentLimits(currentLimits)
{
    connect(ui->btnExportParams, &QPushButton::clicked, this, &ParamFileActions::onExportParams);
    connect(ui->btnImportParams, &QPushButton::clicked, this, &ParamFileActions::onImportParams);
}

void ParamFileActions::onExportParams()
{
    const bool zh = chinese();
    if (!drive->isConnected()) {
        dialogs().message(QMessageBox::Warning, zh ? QStringLiteral("無法匯出") : QStringLiteral("Export Blocked"),
                           zh ? QStringLiteral("請先連線至設備，以確保匯出檔案包含正確的產品資訊。")
                              : QStringLiteral("Please connect first so the file records correct product info."));
        return;
    }
    const QString model = drive->model();
    const QString path = dialogs().saveFileName(
        zh ? QStringLiteral("匯出參數檔") : QStringLiteral("Export Parameters"),
        QString(model).replace(QLatin1Char('-'), QLatin1Char('_')) + QStringLiteral("_params.json"), ParamFile::DialogFilter);
    if (path.isEmpty())
        return;
    if (!askYesNo(zh ? QStringLiteral("匯出參數") : QStringLiteral("Export Parameters"),
                  zh ? QStringLiteral("將讀取設備現值後匯出。\n\n畫面上未寫入的修改將被覆蓋，確定要繼續嗎？")
                     : QStringLiteral("Device values will be read and exported.\nUnsaved on-screen changes will be "
                                      "overwritten. Continue?")))
        return;

    // Every value from the drive, push torques too; a value that cannot be
    // read leaves no file rather than one holding what the screen showed.
    ParamSnapshot::Snapshot snapshot;
    {
        const WaitCursor wait;
        snapshot = readDriveSnapshot();
    }
    showDriveSnapshot(snapshot);
    if (!snapshot.complete()) {
        dialogs().message(QMessageBox::Critical, zh ? QStringLiteral("匯出失敗") : QStringLiteral("Export Failed"),
                           (zh ? QStringLiteral("無法從設備讀取：%1\n\n未寫入任何檔案。")
                               : QStringLiteral("Could not read from the device: %1\n\nNo file was written."))
                               .arg(ParamSnapshot::namesOf(snapshot.unreadable, lang())));
        return;
    }

    ParamFile::Content content;
    ParamSnapshot::fillContent(snapshot, drive->product().lead, &content);
    content.identity = driveIdentity();
    content.exportTime = QDateTime::currentDateTime();
    content.swVersion = QStringLiteral(VEXA_APP_VERSION);

    // A failed write leaves an older file of the same name as it was.
    const FileError error = ParamFile::saveFile(path, ParamFile::toFileText(content));
    if (error.failed()) {
        dialogs().message(QMessageBox::Critical, zh ? QStringLiteral("匯出失敗") : QStringLiteral("Export Failed"),
                           (zh ? QStringLiteral("無法寫入檔案：\n%1\n\n%2") : QStringLiteral("Cannot write file:\n%1\n\n%2"))
                               .arg(path, error.reason(lang())));
        return;
    }
    drive->events()->record(QStringLiteral("file export"), EventLog::fileFields(path));
    dialogs().message(QMessageBox::Information, QStringLiteral("OK"),
                       (zh ? QStringLiteral("設備參數已匯出至：\n%1") : QStringLiteral("Device parameters exported to:\n%1"))
                           .arg(path));
}

void ParamFileActions::onImportParams()
{
    const bool zh = chinese();
    const QString path = dialogs().openFileName(zh ? QStringLiteral("匯入參數檔") : QStringLiteral("Import Parameters"),
                                                 QString(), ParamFile::DialogFilter);
    if (path.isEmpty())
        return;
    QJsonObject root;
    if (!loadParamFile(path, &root) || !acceptFileIdentity(root))
        return;
    const QString fileModel = ParamFile::identityOf(root).modelStr;

    QStringList typeErrors;
    QStringList clamped;
    applyParamFile(root, &typeErrors, &clamped);
    drive->events()->record(QStringLiteral("file import"), EventLog::fileFields(path));

    const QString importTitle = zh ? QStringLiteral("匯入警告") : QStringLiteral("Import Warning");
    if (!typeErrors.isEmpty() || !clamped.isEmpty())
        dialogs().message(QMessageBox::Warning, importTitle,
                           ParamFile::importWarning(typeErrors, clamped, lang()));
    const double pos0 = ui->spinD_pos0Pos->value();
    const double pos1 = ui->spinD_pos1Pos->value();
    if (pos1 <= pos0)
        dialogs().message(QMessageBox::Warning, importTitle, ParamFile::positionOrderWarning(pos0, pos1, lang()));
    dialogs().message(QMessageBox::Information, QStringLiteral("OK"),
                       ParamFile::importedMessage(fileModel, ParamFile::exportTimeOf(root), lang()));
}

ParamFile::Identity ParamFileActions::driveIdentity() const
{
    ParamFile::Identity id;
    id.family = drive->product().family;
    id.size = drive->product().size;
    id.lead = drive->product().lead;
    id.stroke = drive->product().stroke;
    id.direction = drive->product().direction;
    id.modelStr = drive->model();
    id.logicVersion = drive->product().logicVersion;
    id.firmware = drive->product().firmware;
    id.hardware = drive->product().hardware;
    return id;
}

ParamSnapshot::Snapshot ParamFileActions::readDriveSnapshot()
{
    const ActiveDrive::PollingPause pause(drive);
    WorkerRegisterPort port = drive->registers();
    return ParamSnapshot::read(port);
}

void ParamFileActions::showDriveSnapshot(const ParamSnapshot::Snapshot &snapshot)
{
    for (auto it = snapshot.raw.constBegin(); it != snapshot.raw.constEnd(); ++it) {
        if (m_binder->rows().contains(it.key()))
            m_binder->showDriveValue(it.key(), it.value(), drive->product().lead);
    }
    const struct
    {
        const char *key;
        QCheckBox *box;
        bool on;
    } pushSwitches[] = {{"pos0PushEnable", ui->ckbtn_pos0Push, snapshot.pos0PushEnable},
                        {"pos1PushEnable", ui->ckbtn_pos1Push, snapshot.pos1PushEnable}};
    for (int group = 0; group < 2; ++group) {
        const auto &push = pushSwitches[group];
        if (snapshot.unreadable.contains(QLatin1String(push.key)))
            continue;
        {
            const QSignalBlocker block(push.box);
            push.box->setChecked(push.on);
        }
        m_binder->setRowEnabled(QStringLiteral("pos%1PushTorque").arg(group), push.on);
    }
    if (snapshot.raw.contains(QStringLiteral("idleCurrent"))) {
        const int idle = int(snapshot.raw.value(QStringLiteral("idleCurrent")));
        const int running = int(snapshot.raw.value(QStringLiteral("runCurrent")));
        m_currentLimits->show(quint16((running << 8) | idle));
    }
}

void ParamFileActions::applyParamFile(const QJsonObject &root, QStringList *typeErrors, QStringList *clamped)
{
    using Outcome = ParamFile::Loaded::Outcome;
    const struct
    {
        const char *key;
        QCheckBox *box;
    } pushSwitches[] = {{"pos0PushEnable", ui->ckbtn_pos0Push}, {"pos1PushEnable", ui->ckbtn_pos1Push}};
    for (const auto &push : pushSwitches) {
        const ParamFile::Loaded loaded = ParamFile::loadBoolean(root, QLatin1String(push.key));
        if (loaded.outcome == Outcome::TypeError) {
            *typeErrors << QLatin1String(push.key);
        } else if (loaded.outcome == Outcome::Applied) {
            // Loading a file never writes to the drive.
            const QSignalBlocker block(push.box);
            push.box->setChecked(loaded.value != 0.0);
        }
    }
    m_binder->setRowEnabled(QStringLiteral("pos0PushTorque"), ui->ckbtn_pos0Push->isChecked());
    m_binder->setRowEnabled(QStringLiteral("pos1PushTorque"), ui->ckbtn_pos1Push->isChecked());

    for (const QString &key : ParamFile::applyOrder()) {
        ParamFile::Loaded loaded;
        if (key.endsWith(QLatin1String("Current"))) {
            QSpinBox *box = integerBox(ui, m_binder, key);
            loaded = ParamFile::loadInteger(root, key, box->minimum(), box->maximum());
            if (loaded.outcome == Outcome::Applied)
                box->setValue(static_cast<int>(loaded.value));
        } else {
            // The row keeps the file's exact value: a Write sends what the
            // file's drive held, whatever the box rounds it to.
            const ParamRow row = m_binder->rows().value(key);
            const double minimum = row.spinD ? row.spinD->minimum() : row.spin ? row.spin->minimum() : 0.0;
            const double maximum = row.spinD ? row.spinD->maximum() : row.spin ? row.spin->maximum() : 0.0;
            loaded = ParamFile::loadDecimal(root, key, minimum, maximum);
            quint32 raw = 0;
            if (loaded.outcome == Outcome::Applied) {
                if (ParamConv::rawFromNumber(key, loaded.value, drive->product().lead, &raw))
                    m_binder->loadRaw(key, raw, drive->product().lead);
                else
                    *typeErrors << key;
                // A whole-number setting the drive cannot hold as written (200.6 ms) is named with what it gets.
                const double applied = ParamConv::exactNumber(key, raw, drive->product().lead);
                if (ParamFile::isIntegerKey(key) && loaded.clampLine.isEmpty() && ParamFile::differs(applied, loaded.value))
                    loaded.clampLine = QStringLiteral("%1 (%2→%3)").arg(key, ParamDiff::numberText(loaded.value),
                                                                       ParamDiff::numberText(applied));
            }
        }
        if (loaded.outcome == Outcome::TypeError)
            *typeErrors << key;
        if (!loaded.clampLine.isEmpty())
            *clamped << loaded.clampLine;
    }
}

bool ParamFileActions::loadParamFile(const QString &path, QJsonObject *root)
{
    // A file that is not a parameter file, or holds no parameter, changes nothing.
    const ParamFile::Parsed parsed = ParamFile::load(path, lang());
    if (!parsed.ok) {
        dialogs().message(QMessageBox::Critical, chinese() ? QStringLiteral("匯入失敗") : QStringLiteral("Import Failed"),
                           parsed.error);
        return false;
    }
    *root = parsed.root;
    return true;
}

bool ParamFileActions::acceptFileIdentity(const QJsonObject &root)
{
    const bool zh = chinese();
    const QString fileModel = ParamFile::identityOf(root).modelStr;
    const ParamFile::Identity drive = driveIdentity();
    const ParamFile::Compatibility compatibility = ParamFile::checkCompatibility(root, drive, lang());
    if (!compatibility.blocking.isEmpty()) {
        dialogs().message(QMessageBox::Critical, zh ? QStringLiteral("無法匯入") : QStringLiteral("Import Blocked"),
                           ParamFile::blockedMessage(compatibility, fileModel, lang()));
        return false;
    }
    if (!compatibility.other.isEmpty()) {
        const QMessageBox::StandardButton answer = dialogs().message(
            QMessageBox::Warning, zh ? QStringLiteral("產品規格不同") : QStringLiteral("Spec Mismatch"),
            ParamFile::mismatchQuestion(compatibility, lang()), QMessageBox::Yes | QMessageBox::No,
            QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return false;
    }

    return true;
}
