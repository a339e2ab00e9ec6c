// Parameter files: export the connected drive's parameters to JSON, load a
// file back into the parameter widgets (never into the drive).

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "dialogs.h"
#include "paramfile.h"
#include "parammanager.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QSignalBlocker>

namespace {

const QString FileFilter = QStringLiteral("JSON Files (*.json);;All Files (*)");

// The value box a file key goes into: the parameter rows' own boxes, and the
// two current-limit boxes, which are not parameter rows.
QSpinBox *integerBox(const Ui::MainWindow *ui, const ParamManager *params, const QString &key)
{
    if (key == QLatin1String("idleCurrent"))
        return ui->spin_idleCurrent;
    if (key == QLatin1String("runCurrent"))
        return ui->spin_runCurrent;
    return params->params().value(key).spin;
}

QDoubleSpinBox *decimalBox(const ParamManager *params, const QString &key)
{
    return params->params().value(key).spinD;
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

void MainWindow::onExportParams()
{
    const bool zh = currentLang == QLatin1String("zh");
    if (!isConnected) {
        m_dialogs->message(QMessageBox::Warning, zh ? QStringLiteral("無法匯出") : QStringLiteral("Export Blocked"),
                           zh ? QStringLiteral("請先連線至設備，以確保匯出檔案包含正確的產品資訊。")
                              : QStringLiteral("Please connect first so the file records correct product info."));
        return;
    }
    const QString model = ui->lblProductInfo->text();
    const QString path = m_dialogs->saveFileName(
        zh ? QStringLiteral("匯出參數檔") : QStringLiteral("Export Parameters"),
        QString(model).replace(QLatin1Char('-'), QLatin1Char('_')) + QStringLiteral("_params.json"), FileFilter);
    if (path.isEmpty())
        return;
    const QMessageBox::StandardButton answer = m_dialogs->message(
        QMessageBox::Question, zh ? QStringLiteral("匯出參數") : QStringLiteral("Export Parameters"),
        zh ? QStringLiteral("將讀取設備現值後匯出。\n\n畫面上未寫入的修改將被覆蓋，確定要繼續嗎？")
           : QStringLiteral("Device values will be read and exported.\nUnsaved on-screen changes will be overwritten. "
                            "Continue?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;

    {
        // Values whose read fails keep what the widgets showed.
        const WaitCursor wait;
        pausePolling(true);
        paramManager->readAll(stationId, product.lead, product.stroke);
        onReadAdvCurrent();
        paramManager->readSingle(QStringLiteral("smoothMs"), stationId, product.lead);
        pausePolling(false);
    }

    ParamFile::Content content;
    for (const QString &key : ParamFile::integerKeys())
        content.integers.insert(key, integerBox(ui, paramManager, key)->value());
    for (const QString &key : ParamFile::decimalKeys())
        content.decimals.insert(key, decimalBox(paramManager, key)->value());
    content.pos0PushEnable = ui->ckbtn_pos0Push->isChecked();
    content.pos1PushEnable = ui->ckbtn_pos1Push->isChecked();
    ParamFile::Identity &id = content.identity;
    id.family = product.family;
    id.size = product.size;
    id.lead = product.lead;
    id.stroke = product.stroke;
    id.direction = product.direction;
    id.modelStr = model;
    id.logicVersion = product.logicVersion;
    id.firmware = product.firmware;
    id.hardware = product.hardware;
    content.exportTime = QDateTime::currentDateTime();
    content.swVersion = QStringLiteral(VEXA_APP_VERSION);

    // A failed write leaves an older file of the same name as it was.
    if (!ParamFile::saveFile(path, ParamFile::toFileText(content))) {
        m_dialogs->message(QMessageBox::Critical, zh ? QStringLiteral("匯出失敗") : QStringLiteral("Export Failed"),
                           (zh ? QStringLiteral("無法寫入檔案：\n%1") : QStringLiteral("Cannot write file:\n%1")).arg(path));
        return;
    }
    m_dialogs->message(QMessageBox::Information, QStringLiteral("OK"),
                       (zh ? QStringLiteral("設備參數已匯出至：\n%1") : QStringLiteral("Device parameters exported to:\n%1"))
                           .arg(path));
}

void MainWindow::onImportParams()
{
    const bool zh = currentLang == QLatin1String("zh");
    const QString path = m_dialogs->openFileName(zh ? QStringLiteral("匯入參數檔") : QStringLiteral("Import Parameters"),
                                                 QString(), FileFilter);
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_dialogs->message(QMessageBox::Critical, zh ? QStringLiteral("匯入失敗") : QStringLiteral("Import Failed"),
                           (zh ? QStringLiteral("無法開啟檔案：\n%1") : QStringLiteral("Cannot open file:\n%1")).arg(path));
        return;
    }
    QByteArray text;
    const bool whole = ParamFile::readLimited(file, &text);
    file.close();
    if (!whole) {
        m_dialogs->message(QMessageBox::Critical, zh ? QStringLiteral("匯入失敗") : QStringLiteral("Import Failed"),
                           ParamFile::tooLargeMessage(path, currentLang));
        return;
    }

    const ParamFile::Parsed parsed = ParamFile::parse(text, currentLang);
    if (!parsed.ok) {
        m_dialogs->message(QMessageBox::Warning, QStringLiteral("Error"), parsed.error);
        return;
    }
    const QJsonObject &root = parsed.root;
    const QString fileModel = ParamFile::identityOf(root).modelStr;

    ParamFile::Identity drive;
    drive.family = product.family;
    drive.size = product.size;
    drive.lead = product.lead;
    drive.stroke = product.stroke;
    drive.direction = product.direction;
    const ParamFile::Compatibility compatibility = ParamFile::checkCompatibility(root, drive, currentLang);
    if (!compatibility.blocking.isEmpty()) {
        m_dialogs->message(QMessageBox::Critical, zh ? QStringLiteral("無法匯入") : QStringLiteral("Import Blocked"),
                           ParamFile::blockedMessage(compatibility, fileModel, currentLang));
        return;
    }
    if (!compatibility.other.isEmpty()) {
        const QMessageBox::StandardButton answer = m_dialogs->message(
            QMessageBox::Warning, zh ? QStringLiteral("產品規格不同") : QStringLiteral("Spec Mismatch"),
            ParamFile::mismatchQuestion(compatibility, currentLang), QMessageBox::Yes | QMessageBox::No,
            QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
    }

    using Outcome = ParamFile::Loaded::Outcome;
    QStringList typeErrors;
    QStringList clamped;
    const struct
    {
        const char *key;
        QCheckBox *box;
    } pushSwitches[] = {{"pos0PushEnable", ui->ckbtn_pos0Push}, {"pos1PushEnable", ui->ckbtn_pos1Push}};
    for (const auto &push : pushSwitches) {
        const ParamFile::Loaded loaded = ParamFile::loadBoolean(root, QLatin1String(push.key));
        if (loaded.outcome == Outcome::TypeError) {
            typeErrors << QLatin1String(push.key);
        } else if (loaded.outcome == Outcome::Applied) {
            // Loading a file never writes to the drive.
            const QSignalBlocker block(push.box);
            push.box->setChecked(loaded.value != 0.0);
        }
    }
    setPushTorqueRowEnabled(0, ui->ckbtn_pos0Push->isChecked());
    setPushTorqueRowEnabled(1, ui->ckbtn_pos1Push->isChecked());

    for (const QString &key : ParamFile::applyOrder()) {
        ParamFile::Loaded loaded;
        if (ParamFile::isIntegerKey(key)) {
            QSpinBox *box = integerBox(ui, paramManager, key);
            loaded = ParamFile::loadInteger(root, key, box->minimum(), box->maximum());
            if (loaded.outcome == Outcome::Applied)
                box->setValue(static_cast<int>(loaded.value));
        } else {
            QDoubleSpinBox *box = decimalBox(paramManager, key);
            loaded = ParamFile::loadDecimal(root, key, box->minimum(), box->maximum());
            if (loaded.outcome == Outcome::Applied)
                box->setValue(loaded.value);
        }
        if (loaded.outcome == Outcome::TypeError)
            typeErrors << key;
        if (!loaded.clampLine.isEmpty())
            clamped << loaded.clampLine;
    }

    const QString importTitle = zh ? QStringLiteral("匯入警告") : QStringLiteral("Import Warning");
    if (!typeErrors.isEmpty() || !clamped.isEmpty())
        m_dialogs->message(QMessageBox::Warning, importTitle,
                           ParamFile::importWarning(typeErrors, clamped, currentLang));
    const double pos0 = ui->spinD_pos0Pos->value();
    const double pos1 = ui->spinD_pos1Pos->value();
    if (pos1 <= pos0)
        m_dialogs->message(QMessageBox::Warning, importTitle, ParamFile::positionOrderWarning(pos0, pos1, currentLang));
    m_dialogs->message(QMessageBox::Information, QStringLiteral("OK"),
                       ParamFile::importedMessage(fileModel, ParamFile::exportTimeOf(root), currentLang));
}
