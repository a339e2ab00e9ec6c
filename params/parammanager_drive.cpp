// ParamManager: reading parameters from the drive and writing one back.

#include "parammanager.h"

#include "modbusworker.h"
#include "paramconversions.h"
#include "paramsnapshot.h"
#include "paramwriterules.h"
#include "registers.h"

#include <QDoubleSpinBox>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

#include <cmath>

namespace {

using namespace ParamSnapshot::Layout;

bool isTorqueKey(const QString &key)
{
    return key == QLatin1String("homeTorque") || key == QLatin1String("pos0PushTorque")
           || key == QLatin1String("pos1PushTorque");
}

bool isTimeKey(const QString &key)
{
    return key == QLatin1String("pos0Accel") || key == QLatin1String("pos0Decel")
           || key == QLatin1String("pos1Accel") || key == QLatin1String("pos1Decel");
}

}  // namespace

bool ParamManager::readBlock(uchar station, quint16 address, int count, QVector<quint16> *words)
{
    *words = m_worker->syncRead(station, address, static_cast<quint16>(count), ReadTimeoutMs);
    if (words->size() == count)
        return true;
    ++m_readAllFailures;
    return false;
}

void ParamManager::readSingle(QString key, uchar station, double lead)
{
    const auto it = m_params.constFind(key);
    if (it == m_params.constEnd())
        return;
    Q_EMIT pauseWorker(true);
    const int count = it->singleWord ? 1 : 2;
    QVector<quint16> words;
    if (readBlock(station, it->address, count, &words)) {
        quint32 raw = it->singleWord ? words[0] : ParamConv::join32(words[0], words[1]);
        if (isTorqueKey(key))
            raw &= 0xFF;  // the high byte belongs to another setting
        updateDisplay(key, raw, lead);
    }
    Q_EMIT pauseWorker(false);
}

void ParamManager::readAll(uchar station, double lead, int stroke)
{
    Q_EMIT pauseWorker(true);
    m_readAllFailures = 0;
    m_stroke = stroke;
    m_lead = lead;

    // The position boxes take the stroke's range before the read values go
    // in, so a position beyond an older, shorter range is not clipped.
    for (const QString &key : {QStringLiteral("pos0Pos"), QStringLiteral("pos1Pos")}) {
        const auto it = m_params.constFind(key);
        if (it == m_params.constEnd() || !it->spinD)
            continue;
        if (it->slider)
            it->slider->setRange(0, static_cast<int>(ParamConv::roundHalfUp(stroke * 100.0)));
        it->spinD->setRange(0.0, stroke);
    }

    QVector<quint16> w;
    if (readBlock(station, Reg::HomeTorque, 1, &w))
        updateDisplay(QStringLiteral("homeTorque"), w[0] & 0xFF, lead);
    const struct
    {
        QString group;
        quint16 address;
    } blocks[] = {{QStringLiteral("pos0"), Reg::Pos0Accel}, {QStringLiteral("pos1"), Reg::Pos1Accel}};
    for (const auto &block : blocks) {
        if (!readBlock(station, block.address, BlockWords, &w))
            continue;
        updateDisplay(block.group + QLatin1String("Accel"), w[AccelOffset], lead);
        updateDisplay(block.group + QLatin1String("Decel"), w[DecelOffset], lead);
        updateDisplay(block.group + QLatin1String("Speed"), ParamConv::join32(w[SpeedOffset], w[SpeedOffset + 1]),
                      lead);
        updateDisplay(block.group + QLatin1String("Pos"),
                      ParamConv::join32(w[PositionOffset], w[PositionOffset + 1]), lead);
    }

    if (readBlock(station, Reg::Pos0MotionMode, 1, &w))
        Q_EMIT pos0PushModeRead(w[0] == Reg::PushMode::Pos0On);
    if (readBlock(station, Reg::Pos1MotionMode, 1, &w))
        Q_EMIT pos1PushModeRead(w[0] == Reg::PushMode::Pos1On);

    if (readBlock(station, Reg::SoftLimitCCW, 2, &w))
        updateDisplay(QStringLiteral("softLimitCCW"), ParamConv::join32(w[0], w[1]), lead);
    if (readBlock(station, Reg::SoftLimitCW, 2, &w))
        updateDisplay(QStringLiteral("softLimitCW"), ParamConv::join32(w[0], w[1]), lead);

    if (readBlock(station, Reg::DynamicErrorThreshold, ThresholdWords, &w)) {
        updateDisplay(QStringLiteral("dynErr"), w[0], lead);
        updateDisplay(QStringLiteral("staErr"), w[1], lead);
        updateDisplay(QStringLiteral("posWarn"), w[PosWarnOffset], lead);
    }

    Q_EMIT pauseWorker(false);
    m_validateTimer0->start();
    m_validateTimer1->start();
}

void ParamManager::writeSingle(QString key, uchar station, double lead)
{
    const auto it = m_params.constFind(key);
    if (it == m_params.constEnd())
        return;
    const ParamEntry entry = *it;
    Q_EMIT pauseWorker(true);

    quint32 raw = 0;
    if (entry.spinD || entry.spin) {
        if (!rawToWrite(key, lead, &raw)) {
            Q_EMIT validationError(
                (isZh() ? QStringLiteral("%1 無法換算為設備單位（導程 %2 mm）。\n（參數未寫入）")
                        : QStringLiteral("%1 cannot be converted to device units (lead %2 mm).\n(Not written)"))
                    .arg(labelOf(key), QString::number(lead)));
            Q_EMIT pauseWorker(false);
            return;
        }
    }

    if (passesMotionChecks(key, raw) && passesScreenRules(key))
        writeToDrive(key, entry, raw, station, lead);
    Q_EMIT pauseWorker(false);
}

bool ParamManager::passesMotionChecks(const QString &key, quint32 raw)
{
    if (!key.startsWith(QLatin1String("pos0")) && !key.startsWith(QLatin1String("pos1")))
        return true;
    const QString group = key.startsWith(QLatin1String("pos0")) ? QStringLiteral("pos0") : QStringLiteral("pos1");
    const double speed = decimalValue(group + QLatin1String("Speed"));

    // Notes only: the operator sees them, the write goes on.
    if (isTimeKey(key)) {
        const int timeMs = static_cast<int>(raw);
        const QString impact = MotionCheck::impactNote(labelOf(key), speed, timeMs, m_lead, m_lang);
        if (!impact.isEmpty())
            Q_EMIT validationError(impact);

        const auto p0 = m_params.constFind(QStringLiteral("pos0Pos"));
        const auto p1 = m_params.constFind(QStringLiteral("pos1Pos"));
        if (p0 != m_params.constEnd() && p1 != m_params.constEnd() && p0->spinD && p1->spinD) {
            const auto groupTime = [&](const QString &suffix) {
                if (key.contains(suffix))
                    return timeMs;
                const auto row = m_params.constFind(group + suffix);
                return row != m_params.constEnd() && row->spin ? row->spin->value() : 100;
            };
            const double distance = std::fabs(p1->spinD->value() - p0->spinD->value());
            const QString note = MotionCheck::constantSpeedNote(speed, distance, groupTime(QStringLiteral("Accel")),
                                                                groupTime(QStringLiteral("Decel")), m_lang);
            if (!note.isEmpty())
                Q_EMIT validationError(note);
        }
    }

    const MotionValidationResult r = validateMotion(group);
    Q_EMIT motionValidated(group, r);
    if (r.status == MotionCheck::StatusSpeedTooHigh || r.status == MotionCheck::StatusTooClose) {
        Q_EMIT validationError(r.message);
        return false;
    }
    if (r.status == MotionCheck::StatusTriangular) {
        // The receiver asks the operator and answers through setConfirmTriangular before the emit returns.
        m_confirmTriangular = false;
        Q_EMIT triangularProfileWarning(MotionCheck::triangularQuestion(r, m_lang));
        if (!m_confirmTriangular)
            return false;
    }
    if (r.liftForce > 0)
        Q_EMIT liftForceWarning(MotionCheck::liftForceMessage(r, m_verticalLoad.loadKg, m_lang));
    return true;
}

bool ParamManager::passesScreenRules(const QString &key)
{
    ParamWriteRules::ScreenValues v;
    v.bothPositions = m_params.contains(QStringLiteral("pos0Pos")) && m_params.contains(QStringLiteral("pos1Pos"));
    v.pos0 = decimalValue(QStringLiteral("pos0Pos"));
    v.pos1 = decimalValue(QStringLiteral("pos1Pos"));
    v.softLimitCCW = decimalValue(QStringLiteral("softLimitCCW"));
    const auto cw = m_params.constFind(QStringLiteral("softLimitCW"));
    v.hasSoftLimitCW = cw != m_params.constEnd() && cw->spinD;
    v.softLimitCW = decimalValue(QStringLiteral("softLimitCW"));
    v.dynErr = decimalValue(QStringLiteral("dynErr"));
    v.staErr = decimalValue(QStringLiteral("staErr"));
    v.posWarn = decimalValue(QStringLiteral("posWarn"));
    v.stroke = m_stroke;
    const QString broken = ParamWriteRules::firstBrokenRule(key, v, m_lang);
    if (broken.isEmpty())
        return true;
    Q_EMIT validationError(broken);
    return false;
}

void ParamManager::writeToDrive(const QString &key, const ParamEntry &entry, quint32 raw, uchar station, double lead)
{
    const QString scriptSyncFailed =
        isZh() ? QStringLiteral("參數已寫入，但腳本同步失敗。\n\n重新上電後將回復舊值，請重新寫入。")
               : QStringLiteral("Written, but script sync failed.\n\nValue will revert after power cycle. Please retry.");
    bool confirmed = false;
    const bool oldKnown = m_driveValues.contains(key);
    const quint32 oldRaw = m_driveValues.value(key).raw;

    if (entry.singleWord) {
        quint16 value = raw & 0xFFFF;
        if (isTorqueKey(key)) {
            // Writing the code without the drive's high byte would wipe the other setting kept there.
            QVector<quint16> current;
            if (!readBlock(station, entry.address, 1, &current)) {
                Q_EMIT validationError(
                    (isZh() ? QStringLiteral("無法讀取設備目前的%1設定，參數未寫入。\n\n請確認連線後重試。")
                            : QStringLiteral("Could not read the current %1 setting from the device.\n\n"
                                             "Not written; please check the connection and retry."))
                        .arg(labelOf(key)));
                return;
            }
            value = ParamConv::mergeTorqueByte(current[0], static_cast<quint16>(raw));
        }
        confirmed = m_worker->syncWrite(station, entry.address, value);
        Q_EMIT parameterWriteTried(key, oldKnown, oldRaw, raw, lead, confirmed);
        if (confirmed)
            noteWritten(key, raw, lead);
        if (confirmed && entry.syncAddress != 0 && !m_worker->syncWrite(station, entry.syncAddress, value)) {
            Q_EMIT validationError(scriptSyncFailed);
            return;
        }
    } else {
        const QVector<quint16> words = ParamConv::split32(raw);
        confirmed = m_worker->syncWriteMulti(station, entry.address, words);
        Q_EMIT parameterWriteTried(key, oldKnown, oldRaw, raw, lead, confirmed);
        if (confirmed)
            noteWritten(key, raw, lead);
        const ParamConv::ParamDefinition *def = ParamConv::findParamDefinition(key);
        // Soft limits keep their power-on copy by key; their rows carry no sync address.
        if (confirmed && def && def->scriptCopy != 0 && !m_worker->syncWriteMulti(station, def->scriptCopy, words)) {
            Q_EMIT validationError(scriptSyncFailed);
            return;
        }
    }

    readSingle(key, station, lead);
    if (!confirmed)
        reportUnconfirmedWrite(key);
}

void ParamManager::noteWritten(const QString &key, quint32 raw, double lead)
{
    // Known even when the read-back that follows fails.
    noteDriveValue(key, raw, lead);
    Q_EMIT parameterWritten(key);
}

void ParamManager::reportUnconfirmedWrite(const QString &key)
{
    Q_EMIT validationError((isZh() ? QStringLiteral("寫入失敗：%1，設備未確認。\n\n請確認連線後重試。")
                                   : QStringLiteral("Write failed: %1 was not confirmed by the device.\n\n"
                                                    "Please check the connection and retry."))
                               .arg(labelOf(key)));
}
