// Motion and Advanced tabs: parameter rows, read/write, save to ROM, push
// mode, error thresholds and current limits.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "dialogs.h"
#include "dictionary.h"
#include "modbusworker.h"
#include "motioncheck.h"
#include "paramconversions.h"
#include "paramfile.h"
#include "parammanager.h"
#include "registers.h"

#include <QScopeGuard>
#include <QSignalBlocker>
#include <QStatusBar>

#include <algorithm>
#include <cmath>

namespace {

constexpr int CurrentReadTimeoutMs = 300;
constexpr double StepsPerRev = 200.0;
constexpr double DegreesPerStep = 1.8;
constexpr double SmallAngleDeg = 5.0;
// Recommended values of the Advanced tab; thresholds in encoder steps.
constexpr int DefaultSmoothMs = 40;
constexpr int DefaultIdleCurrent = 50;
constexpr int DefaultRunCurrent = 50;
constexpr int DefaultDynErrSteps = 25;
constexpr int DefaultStaErrSteps = 20;
constexpr int DefaultPosWarnSteps = 15;
constexpr int PositionDecimals = 3;

// The threshold boxes of the Advanced tab, by parameter key.
QString thresholdBoxName(const QString &key)
{
    if (key == QLatin1String("dynErr"))
        return QStringLiteral("param_spinDynErrMm");
    if (key == QLatin1String("staErr"))
        return QStringLiteral("param_spinStaErrMm");
    if (key == QLatin1String("posWarn"))
        return QStringLiteral("param_spinPosWarnMm");
    return QString();
}

struct PushGroup
{
    quint16 modeRegister;
    quint16 onWord;
    quint16 offWord;
    const char *checkBox;
    const char *torqueKey;
};

const PushGroup pushGroups[] = {
    {Reg::Pos0MotionMode, Reg::PushMode::Pos0On, Reg::PushMode::Pos0Off, "ckbtn_pos0Push", "pos0PushTorque"},
    {Reg::Pos1MotionMode, Reg::PushMode::Pos1On, Reg::PushMode::Pos1Off, "ckbtn_pos1Push", "pos1PushTorque"},
};

}  // namespace

void MainWindow::setupParamTabs()
{
    registerParamRows();
    connectParamManager();

    connect(ui->btnReadAllParams, &QPushButton::clicked, this, &MainWindow::onReadAllParams);
    connect(ui->btnSaveParams, &QPushButton::clicked, this, &MainWindow::onSaveParams);
    connect(ui->btnSaveParams_adv, &QPushButton::clicked, this, &MainWindow::onSaveParams);
    connect(ui->ckbtn_pos0Push, &QCheckBox::toggled, this, [this](bool on) { onPushToggled(0, on); });
    connect(ui->ckbtn_pos1Push, &QCheckBox::toggled, this, [this](bool on) { onPushToggled(1, on); });
    connect(ui->btnExportParams, &QPushButton::clicked, this, &MainWindow::onExportParams);
    connect(ui->btnImportParams, &QPushButton::clicked, this, &MainWindow::onImportParams);
    // Beside Import: a file compared with the drive before anything is written.
    btnCompareParams = new QPushButton(ui->btnImportParams->parentWidget());
    btnCompareParams->setObjectName(QStringLiteral("btnCompareParams"));
    btnCompareParams->setMinimumWidth(ui->btnImportParams->minimumWidth());
    ui->horizontalLayout_paramTop->insertWidget(ui->horizontalLayout_paramTop->indexOf(ui->btnImportParams) + 1,
                                                btnCompareParams);
    connect(btnCompareParams, &QPushButton::clicked, this, &MainWindow::onCompareParams);
    connect(ui->btnChangeStation, &QPushButton::clicked, this, &MainWindow::onChangeStationClicked);

    for (QDoubleSpinBox *box : {ui->param_spinDynErrMm, ui->param_spinStaErrMm, ui->param_spinPosWarnMm})
        connect(box, qOverload<double>(&QDoubleSpinBox::valueChanged), this, &MainWindow::refreshParamThresholdAngles);

    connect(ui->btnRead_idleCurrent, &QPushButton::clicked, this, &MainWindow::onReadAdvCurrent);
    connect(ui->btnRead_runCurrent, &QPushButton::clicked, this, &MainWindow::onReadAdvCurrent);
    connect(ui->btnWrite_idleCurrent, &QPushButton::clicked, this, &MainWindow::onWriteIdleCurrent);
    connect(ui->btnWrite_runCurrent, &QPushButton::clicked, this, &MainWindow::onWriteRunCurrent);
    connect(ui->btnRestoreAdvDefaults, &QPushButton::clicked, this, &MainWindow::onRestoreAdvDefaults);
    setupUnsavedTracking();
}

void MainWindow::registerParamRows()
{
    for (const ParamConv::ParamDefinition &d : ParamConv::paramDefinitions()) {
        const QString &key = d.key;
        ParamDef def;
        def.key = key;
        def.titleZh = d.titleZh;
        def.titleEn = d.titleEn;
        def.address = d.address;
        def.singleWord = d.words == 1;
        def.title = findChild<QLabel *>(QStringLiteral("lblTitle_") + key);
        // The soft-limit rows keep their designed "(2W)" address texts.
        if (!key.startsWith(QLatin1String("softLimit")))
            def.hexLabel = findChild<QLabel *>(QStringLiteral("lblHex_") + key);
        def.curLabel = findChild<QLabel *>(QStringLiteral("cur_") + key);
        def.rawLabel = findChild<QLabel *>(QStringLiteral("raw_") + key);
        def.slider = findChild<QSlider *>(QStringLiteral("slide_") + key);
        const QString thresholdBox = thresholdBoxName(key);
        if (!thresholdBox.isEmpty())
            def.spinD = findChild<QDoubleSpinBox *>(thresholdBox);
        else
            def.spinD = findChild<QDoubleSpinBox *>(QStringLiteral("spinD_") + key);
        if (!def.spinD)
            def.spin = findChild<QSpinBox *>(QStringLiteral("spin_") + key);
        def.btnRead = findChild<QPushButton *>(QStringLiteral("btnRead_") + key);
        def.btnWrite = findChild<QPushButton *>(QStringLiteral("btnWrite_") + key);
        // The soft limits' script copies are two words, written by key; only single words sync here.
        if (def.singleWord)
            def.syncAddress = d.scriptCopy;

        // Time and smoothing rows take their documented range before the
        // slider is bound, so the slider follows it.
        if (def.spin && (d.unit == ParamConv::ParamUnit::Plain || d.unit == ParamConv::ParamUnit::Smoothing))
            def.spin->setRange(d.minValue, d.maxValue);
        // Positions and soft limits show every 0.001 mm the drive keeps.
        if (def.spinD && d.unit == ParamConv::ParamUnit::Position)
            def.spinD->setDecimals(PositionDecimals);
        paramManager->registerParam(def);

        if (def.btnRead)
            connect(def.btnRead, &QPushButton::clicked, this,
                    [this, key] { paramManager->readSingle(key, stationId, product.lead); });
        if (def.btnWrite)
            connect(def.btnWrite, &QPushButton::clicked, this,
                    [this, key] { paramManager->writeSingle(key, stationId, product.lead); });
    }
}

void MainWindow::connectParamManager()
{
    // Direct: the manager's write waits for the operator's answer inside the emit.
    connect(paramManager, &ParamManager::pauseWorker, this, &MainWindow::pausePolling, Qt::DirectConnection);
    connect(paramManager, &ParamManager::validationError, this, [this](const QString &message) {
        const bool zh = currentLang == QLatin1String("zh");
        m_dialogs->message(QMessageBox::Warning, zh ? QStringLiteral("參數錯誤") : QStringLiteral("Parameter Error"),
                           message);
    }, Qt::DirectConnection);
    connect(paramManager, &ParamManager::pos0PushModeRead, this, [this](bool on) { onPushModeRead(0, on); },
            Qt::DirectConnection);
    connect(paramManager, &ParamManager::pos1PushModeRead, this, [this](bool on) { onPushModeRead(1, on); },
            Qt::DirectConnection);
    connect(paramManager, &ParamManager::motionValidated, this, &MainWindow::onMotionValidated, Qt::DirectConnection);
    connect(paramManager, &ParamManager::triangularProfileWarning, this, [this](const QString &message) {
        const bool zh = currentLang == QLatin1String("zh");
        const QMessageBox::StandardButton answer = m_dialogs->message(
            QMessageBox::Question, zh ? QStringLiteral("三角形速度曲線") : QStringLiteral("Triangular Velocity Profile"),
            message, QMessageBox::Yes | QMessageBox::No);
        paramManager->setConfirmTriangular(answer == QMessageBox::Yes);
    }, Qt::DirectConnection);
    connect(paramManager, &ParamManager::liftForceWarning, this, [this](const QString &message) {
        const bool zh = currentLang == QLatin1String("zh");
        m_dialogs->message(QMessageBox::Warning,
                           zh ? QStringLiteral("垂直安裝推力提示") : QStringLiteral("Vertical Lift Force Info"), message);
    }, Qt::DirectConnection);
}

bool MainWindow::workerRunning() const
{
    return worker->isRunning();
}

void MainWindow::pausePolling(bool paused)
{
    if (paused) {
        if (pollingPauseDepth++ == 0 && workerRunning())
            worker->setPollingPaused(true);
        return;
    }
    if (pollingPauseDepth == 0)
        return;
    // Cleared even when the thread has ended meanwhile: a pause left behind
    // would keep the next connection from ever polling.
    if (--pollingPauseDepth == 0)
        worker->setPollingPaused(false);
}

void MainWindow::onParamTabShown(int index)
{
    if (!isConnected)
        return;
    // Opening a tab never throws away values loaded from a file or edited; Read All asks first.
    paramManager->setKeepUnwritten(true);
    const auto replaceAgain = qScopeGuard([this] { paramManager->setKeepUnwritten(false); });
    if (index == MotionTab) {
        paramManager->readAll(stationId, product.lead, product.stroke);
        paramManager->readSingle(QStringLiteral("softLimitCCW"), stationId, product.lead);
        paramManager->readSingle(QStringLiteral("softLimitCW"), stationId, product.lead);
    } else if (index == AdvancedTab) {
        onReadAdvCurrent();
        for (const char *key : {"smoothMs", "dynErr", "staErr", "posWarn"})
            paramManager->readSingle(QLatin1String(key), stationId, product.lead);
    } else {
        return;
    }
    refreshParamThresholdAngles();
}

void MainWindow::onReadAllParams()
{
    if (!isConnected)
        return;
    // Values loaded from a file or edited are not lost without a word.
    const bool unwritten = std::any_of(paramManager->params().keyBegin(), paramManager->params().keyEnd(),
                                       [this](const QString &key) { return paramManager->isDirty(key); });
    if (unwritten) {
        const bool zh = currentLang == QLatin1String("zh");
        const QMessageBox::StandardButton answer = m_dialogs->message(
            QMessageBox::Question, zh ? QStringLiteral("讀取全部參數") : QStringLiteral("Read All"),
            zh ? QStringLiteral("部分參數尚未寫入設備，讀取後將以設備值取代。\n確定要讀取嗎？")
               : QStringLiteral("Some values on screen are not written to the drive; reading replaces them with "
                                "the drive's values.\nRead anyway?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
    }
    paramManager->readAll(stationId, product.lead, product.stroke);
    const int failures = paramManager->readAllFailures();
    statusBar()->showMessage(failures == 0 ? translateKey(QStringLiteral("status_read_all"), currentLang)
                                           : translateKey(QStringLiteral("status_read_all_partial"), currentLang)
                                                 .arg(failures));
    refreshParamThresholdAngles();
}

void MainWindow::onSaveParams()
{
    if (!isConnected)
        return;
    if (writeSaveCommand()) {
        m_dialogs->message(QMessageBox::Information, QStringLiteral("OK"),
                           translateKey(QStringLiteral("msg_saved_ok"), currentLang));
        return;
    }
    showSaveFailed();
}

bool MainWindow::writeSaveCommand()
{
    pausePolling(true);
    const bool saved = worker->syncWrite(stationId, Reg::StoreCommand, Reg::StoreValue::SaveToRom);
    pausePolling(false);
    if (saved)
        setRomChangesPending(false);
    return saved;
}

void MainWindow::showSaveFailed()
{
    const bool zh = currentLang == QLatin1String("zh");
    m_dialogs->message(QMessageBox::Warning, zh ? QStringLiteral("保存失敗") : QStringLiteral("Save Failed"),
                       translateKey(QStringLiteral("err_connect_fail"), currentLang)
                           + (zh ? QStringLiteral("設備未確認保存指令。")
                                 : QStringLiteral("the device did not confirm the save command.")));
}

void MainWindow::onPushToggled(int group, bool on)
{
    const PushGroup &g = pushGroups[group];
    if (isConnected) {
        pausePolling(true);
        const bool written = worker->syncWrite(stationId, g.modeRegister, on ? g.onWord : g.offWord);
        pausePolling(false);
        if (!written) {
            // The box shows what the drive still does, not the click that failed.
            auto *box = findChild<QCheckBox *>(QLatin1String(g.checkBox));
            {
                const QSignalBlocker block(box);
                box->setChecked(!on);
            }
            setPushTorqueRowEnabled(group, !on);
            showWriteFailed(QStringLiteral("推壓模式切換失敗：設備未確認。\n\n請確認連線後重試。"),
                            QStringLiteral("Push mode was not switched: the device did not confirm.\n\n"
                                           "Please check the connection and retry."));
            return;
        }
        setRomChangesPending(true);
    }
    setPushTorqueRowEnabled(group, on);
    if (on && isConnected)
        paramManager->readSingle(QLatin1String(g.torqueKey), stationId, product.lead);
}

void MainWindow::onPushModeRead(int group, bool on)
{
    const PushGroup &g = pushGroups[group];
    auto *box = findChild<QCheckBox *>(QLatin1String(g.checkBox));
    {
        const QSignalBlocker block(box);
        box->setChecked(on);
    }
    setPushTorqueRowEnabled(group, on);
    if (on)
        paramManager->readSingle(QLatin1String(g.torqueKey), stationId, product.lead);
}

void MainWindow::setPushTorqueRowEnabled(int group, bool enabled)
{
    const QString key = QLatin1String(pushGroups[group].torqueKey);
    for (const char *prefix : {"cur_", "raw_", "slide_", "spin_", "btnRead_", "btnWrite_"}) {
        if (auto *widget = findChild<QWidget *>(QLatin1String(prefix) + key))
            widget->setEnabled(enabled);
    }
}

void MainWindow::showThresholdAngle(QLabel *label, qint64 steps)
{
    if (!label)
        return;
    if (steps < 0) {
        label->setText(QStringLiteral("---"));
        label->setStyleSheet(QStringLiteral("color:#94a3b8;"));
        return;
    }
    const double angle = static_cast<quint16>(steps) * DegreesPerStep;
    label->setText(QStringLiteral(" = %1°").arg(angle, 0, 'f', 1));
    label->setStyleSheet(angle < SmallAngleDeg ? QStringLiteral("color:#dc2626;font-weight:bold;") : QString());
}

void MainWindow::refreshParamThresholdAngles()
{
    // The steps a Write would send, so the angle never tells another value than the drive gets.
    const std::pair<const char *, QLabel *> rows[] = {
        {"dynErr", ui->param_lblDynErr}, {"staErr", ui->param_lblStaErr}, {"posWarn", ui->param_lblPosWarn}};
    for (const auto &[key, label] : rows) {
        quint32 steps = 0;
        const bool known = product.lead > 0 && paramManager->rawToWrite(QLatin1String(key), product.lead, &steps);
        showThresholdAngle(label, known ? qint64(steps) : -1);
    }
}

void MainWindow::applyErrSpinStep(double lead)
{
    if (!(lead > 0))
        return;
    // One encoder step, shown with the decimals that keep every step exact.
    const double step = lead / StepsPerRev;
    for (QDoubleSpinBox *box : {ui->param_spinDynErrMm, ui->param_spinStaErrMm, ui->param_spinPosWarnMm}) {
        const QSignalBlocker block(box);
        box->setDecimals(ParamConv::thresholdDecimals(lead));
        box->setSingleStep(step);
    }
    // The dynamic and static thresholds stay above the position warning's 15 steps by one step.
    for (QDoubleSpinBox *box : {ui->param_spinDynErrMm, ui->param_spinStaErrMm}) {
        const QSignalBlocker block(box);
        box->setMinimum((DefaultPosWarnSteps + 1) * step);
    }
}

void MainWindow::onReadAdvCurrent()
{
    if (!isConnected || !workerRunning())
        return;
    pausePolling(true);
    const QVector<quint16> words = worker->syncRead(stationId, Reg::CurrentLimits, 1, CurrentReadTimeoutMs);
    if (!words.isEmpty())
        showCurrentLimits(words[0]);
    pausePolling(false);
}

void MainWindow::showCurrentLimits(quint16 word)
{
    {
        const int running = word >> 8;
        const int idle = word & 0xFF;
        {
            const QSignalBlocker blockRun(ui->spin_runCurrent);
            const QSignalBlocker blockIdle(ui->spin_idleCurrent);
            ui->spin_runCurrent->setValue(running);
            ui->spin_idleCurrent->setValue(idle);
        }
        ui->cur_runCurrent->setText(QString::number(running));
        ui->cur_idleCurrent->setText(QString::number(idle));
        ui->raw_idleCurrent->setText(QStringLiteral("(0x%1)").arg(idle, 2, 16, QLatin1Char('0')).toUpper());
        ui->raw_runCurrent->setText(QStringLiteral("(0x%1)").arg(running, 2, 16, QLatin1Char('0')).toUpper());
        driveCurrentWord = word;
        refreshCurrentLimitMarks();
    }
}

void MainWindow::onWriteIdleCurrent()
{
    writeCurrentLimit(false);
}

void MainWindow::onWriteRunCurrent()
{
    writeCurrentLimit(true);
}

void MainWindow::writeCurrentLimit(bool running)
{
    if (!isConnected || !workerRunning())
        return;
    const int percent = running ? ui->spin_runCurrent->value() : ui->spin_idleCurrent->value();
    pausePolling(true);
    // Both limits share one register: the other byte is written back as the drive holds it.
    const QVector<quint16> words = worker->syncRead(stationId, Reg::CurrentLimits, 1, CurrentReadTimeoutMs);
    if (words.isEmpty()) {
        pausePolling(false);
        m_dialogs->message(QMessageBox::Critical, QStringLiteral("寫入失敗"),
                           running ? QStringLiteral("運轉最小電流寫入失敗。") : QStringLiteral("停止電流寫入失敗。"));
        return;
    }
    const int bounded = running ? qBound(ParamFile::RunCurrentMin, percent, ParamFile::RunCurrentMax)
                                : qBound(ParamFile::IdleCurrentMin, percent, ParamFile::IdleCurrentMax);
    const quint16 word = running ? static_cast<quint16>((bounded << 8) | (words[0] & 0x00FF))
                                 : static_cast<quint16>((words[0] & 0xFF00) | bounded);
    const bool written = worker->syncWrite(stationId, Reg::CurrentLimits, word);
    pausePolling(false);
    if (written) {
        // Known even when the read-back fails.
        driveCurrentWord = word;
        refreshCurrentLimitMarks();
        setRomChangesPending(true);
    }
    onReadAdvCurrent();
    if (written)
        return;
    if (running)
        showWriteFailed(QStringLiteral("運轉最小電流寫入失敗：設備未確認。\n\n請確認連線後重試。"),
                        QStringLiteral("Min. run current was not written: the device did not confirm.\n\n"
                                       "Please check the connection and retry."));
    else
        showWriteFailed(QStringLiteral("停止電流寫入失敗：設備未確認。\n\n請確認連線後重試。"),
                        QStringLiteral("Idle current was not written: the device did not confirm.\n\n"
                                       "Please check the connection and retry."));
}

void MainWindow::showWriteFailed(const QString &zh, const QString &en)
{
    const bool chinese = currentLang == QLatin1String("zh");
    m_dialogs->message(QMessageBox::Warning, chinese ? QStringLiteral("寫入失敗") : QStringLiteral("Write Failed"),
                       chinese ? zh : en);
}

void MainWindow::onRestoreAdvDefaults()
{
    const bool zh = currentLang == QLatin1String("zh");
    const QMessageBox::StandardButton answer = m_dialogs->message(
        QMessageBox::Question, zh ? QStringLiteral("恢復建議值") : QStringLiteral("Restore Defaults"),
        zh ? QStringLiteral("將所有進階參數恢復為建議值？\n\n此操作僅更新畫面數值，需逐項按「寫入」才會套用至設備。")
           : QStringLiteral("Restore all advanced parameters to recommended values?\n\n"
                            "This only updates the UI; press Write on each item to apply."),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    const double lead = product.lead;
    ui->spin_smoothMs->setValue(DefaultSmoothMs);
    ui->spin_idleCurrent->setValue(DefaultIdleCurrent);
    ui->spin_runCurrent->setValue(DefaultRunCurrent);
    ui->param_spinDynErrMm->setValue(DefaultDynErrSteps * lead / StepsPerRev);
    ui->param_spinStaErrMm->setValue(DefaultStaErrSteps * lead / StepsPerRev);
    ui->param_spinPosWarnMm->setValue(DefaultPosWarnSteps * lead / StepsPerRev);
}

void MainWindow::onMotionValidated(const QString &posGroup, const MotionValidationResult &result)
{
    const bool group0 = posGroup == QLatin1String("pos0");
    QLabel *status = group0 ? ui->lblMotionStatus0 : ui->lblMotionStatus1;
    QLabel *cycle = group0 ? ui->lblCycleTime0 : ui->lblCycleTime1;
    cycle->setText(result.cycleTime > 0 ? QStringLiteral("%1 s").arg(result.cycleTime, 0, 'f', 2)
                                        : QStringLiteral("-- s"));
    const QString warningStyle = QStringLiteral("color: #d97706; font-weight: bold;");
    switch (result.status) {
    case MotionCheck::StatusOk:
        status->setText(QStringLiteral("✓"));
        status->setStyleSheet(QStringLiteral("color: #16a34a; font-weight: bold;"));
        break;
    case MotionCheck::StatusTriangular:
        status->setText(QStringLiteral("⚠"));
        status->setStyleSheet(warningStyle);
        cycle->setToolTip(result.message);
        break;
    case 2:  // not produced by today's check; styled like a triangular profile
        status->setText(QStringLiteral("⚠"));
        status->setStyleSheet(warningStyle);
        break;
    case MotionCheck::StatusSpeedTooHigh:
    case MotionCheck::StatusTooClose:
        status->setText(QStringLiteral("✗"));
        status->setStyleSheet(QStringLiteral("color: #dc2626; font-weight: bold;"));
        cycle->setText(QStringLiteral("-- s"));
        break;
    default:
        break;
    }
    status->setToolTip(result.message);
}
