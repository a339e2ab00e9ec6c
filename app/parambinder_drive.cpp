// ParamBinder: reading parameters from the drive and writing one back.

#include "parambinder.h"

#include "paramconversions.h"
#include "paramsnapshot.h"
#include "registerport.h"

#include <QDoubleSpinBox>
#include <QSlider>
#include <QTimer>

void ParamBinder::readSingle(RegisterPort &port, const QString &key, double lead)
{
    quint32 raw = 0;
    if (m_rows.contains(key) && ParamWriter::readValue(port, key, &raw, ReadTimeoutMs))
        showDriveValue(key, raw, lead);
}

int ParamBinder::readAll(RegisterPort &port, double lead, int stroke)
{
    int failures = 0;
    m_stroke = stroke;
    m_lead = lead;

    // The position boxes take the stroke's range before the read values go
    // in, so a position beyond an older, shorter range is not clipped.
    for (const QString &key : {QStringLiteral("pos0Pos"), QStringLiteral("pos1Pos")}) {
        const auto it = m_rows.constFind(key);
        if (it == m_rows.constEnd() || !it->spinD)
            continue;
        if (it->slider)
            it->slider->setRange(0, static_cast<int>(ParamConv::roundHalfUp(stroke * 100.0)));
        it->spinD->setRange(0.0, stroke);
    }

    using Run = ParamSnapshot::Run;
    for (Run run : {Run::HomeTorque, Run::Pos0Block, Run::Pos1Block, Run::Pos0Mode, Run::Pos1Mode, Run::SoftLimitCCW,
                    Run::SoftLimitCW, Run::Thresholds}) {
        ParamSnapshot::Snapshot read;
        if (!ParamSnapshot::readRun(port, run, &read, ReadTimeoutMs)) {
            ++failures;
            continue;
        }
        for (auto value = read.raw.constBegin(); value != read.raw.constEnd(); ++value)
            showDriveValue(value.key(), value.value(), lead);
        // A push switch's torque row follows it (and may be read by the receiver at once).
        if (run == Run::Pos0Mode)
            Q_EMIT pushModeRead(0, read.pos0PushEnable);
        else if (run == Run::Pos1Mode)
            Q_EMIT pushModeRead(1, read.pos1PushEnable);
    }
    m_validateTimer0->start();
    m_validateTimer1->start();
    return failures;
}

ParamBinder::PreparedWrite ParamBinder::prepareWrite(const QString &key, double lead) const
{
    PreparedWrite prepared;
    if (!m_model.rawToWrite(key, lead, &prepared.raw)) {
        prepared.verdict.refusal =
            (chinese() ? QStringLiteral("%1 無法換算為設備單位（導程 %2 mm）。\n（參數未寫入）")
                       : QStringLiteral("%1 cannot be converted to device units (lead %2 mm).\n(Not written)"))
                .arg(labelOf(key), QString::number(lead));
        return prepared;
    }
    prepared.verdict = ParamWriter::check(key, prepared.raw, shownValues(), m_lead, m_stroke, m_lang, m_verticalLoad);
    return prepared;
}

void ParamBinder::write(RegisterPort &port, const QString &key, quint32 raw, double lead)
{
    const bool oldKnown = m_model.hasDriveValue(key);
    const quint32 oldRaw = m_model.driveValue(key);
    const ParamWriter::Outcome outcome = ParamWriter::writeValue(port, key, raw);
    if (outcome == ParamWriter::Outcome::CurrentUnreadable) {
        Q_EMIT validationError(
            (chinese() ? QStringLiteral("無法讀取設備目前的%1設定，參數未寫入。\n\n請確認連線後重試。")
                       : QStringLiteral("Could not read the current %1 setting from the device.\n\n"
                                        "Not written; please check the connection and retry."))
                .arg(labelOf(key)));
        return;
    }
    const bool confirmed = ParamWriter::valueWritten(outcome);
    Q_EMIT parameterWriteTried(key, oldKnown, oldRaw, raw, lead, confirmed);
    if (confirmed)
        noteWritten(key, raw, lead);
    if (outcome == ParamWriter::Outcome::ScriptCopyFailed) {
        Q_EMIT validationError(
            chinese() ? QStringLiteral("參數已寫入，但腳本同步失敗。\n\n重新上電後將回復舊值，請重新寫入。")
                      : QStringLiteral("Written, but script sync failed.\n\nValue will revert after power cycle. Please retry."));
        return;
    }
    readSingle(port, key, lead);
    if (!confirmed)
        Q_EMIT validationError((chinese() ? QStringLiteral("寫入失敗：%1，設備未確認。\n\n請確認連線後重試。")
                                          : QStringLiteral("Write failed: %1 was not confirmed by the device.\n\n"
                                                           "Please check the connection and retry."))
                                   .arg(labelOf(key)));
}

void ParamBinder::noteWritten(const QString &key, quint32 raw, double lead)
{
    // Known even when the read-back that follows fails.
    m_model.setDriveValue(key, raw, lead);
    Q_EMIT parameterWritten(key);
}
