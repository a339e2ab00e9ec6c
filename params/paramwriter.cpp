#include "paramwriter.h"

#include "paramconversions.h"
#include "paramwriterules.h"
#include "registerport.h"
#include "registers.h"

#include <cmath>

namespace ParamWriter {

namespace {

bool isRampKey(const QString &key)
{
    return key.endsWith(QLatin1String("Accel")) || key.endsWith(QLatin1String("Decel"));
}

// The notes on a ramp time about to be written: its acceleration, and a move too short to reach its speed.
QStringList rampNotes(const QString &key, int timeMs, const QString &group, const Values &values, double lead,
                      const QString &lang)
{
    QStringList notes;
    const double speed = values.value(group + QLatin1String("Speed"));
    const QString impact = MotionCheck::impactNote(ParamConv::labelOf(key, lang), speed, timeMs, lead, lang);
    if (!impact.isEmpty())
        notes << impact;
    if (!values.contains(QStringLiteral("pos0Pos")) || !values.contains(QStringLiteral("pos1Pos")))
        return notes;
    const auto groupTime = [&](const QString &suffix) {
        if (key.endsWith(suffix))
            return timeMs;
        return static_cast<int>(values.value(group + suffix, 100.0));
    };
    const double distance = std::fabs(values.value(QStringLiteral("pos1Pos")) - values.value(QStringLiteral("pos0Pos")));
    const QString note = MotionCheck::constantSpeedNote(speed, distance, groupTime(QStringLiteral("Accel")),
                                                        groupTime(QStringLiteral("Decel")), lang);
    if (!note.isEmpty())
        notes << note;
    return notes;
}

}  // namespace

MotionValidationResult checkMove(const QString &group, const Values &values, double lead, const QString &lang,
                                 const MotionCheck::VerticalLoad &load)
{
    MotionCheck::MotionInputs in;
    in.group = group;
    in.speed = values.value(group + QLatin1String("Speed"));
    in.accelMs = static_cast<int>(values.value(group + QLatin1String("Accel")));
    in.decelMs = static_cast<int>(values.value(group + QLatin1String("Decel")));
    in.pos0 = values.value(QStringLiteral("pos0Pos"));
    in.pos1 = values.value(QStringLiteral("pos1Pos"));
    in.lead = lead;
    in.lang = lang;
    in.load = load;
    return MotionCheck::checkMotion(in);
}

Verdict check(const QString &key, quint32 raw, const Values &values, double lead, int stroke, const QString &lang,
              const MotionCheck::VerticalLoad &load)
{
    Verdict verdict;
    if (key.startsWith(QLatin1String("pos0")) || key.startsWith(QLatin1String("pos1"))) {
        const QString group = key.left(4);
        if (isRampKey(key))
            verdict.notes = rampNotes(key, static_cast<int>(raw), group, values, lead, lang);
        verdict.motionChecked = true;
        verdict.motion = checkMove(group, values, lead, lang, load);
        const MotionValidationResult &r = verdict.motion;
        if (r.status == MotionCheck::StatusSpeedTooHigh || r.status == MotionCheck::StatusTooClose) {
            verdict.refusal = r.message;
            return verdict;
        }
        if (r.status == MotionCheck::StatusTriangular)
            verdict.triangularQuestion = MotionCheck::triangularQuestion(r, lang);
        if (r.liftForce > 0)
            verdict.liftForce = MotionCheck::liftForceMessage(r, load.loadKg, lang);
    }
    ParamWriteRules::ScreenValues s;
    s.bothPositions = values.contains(QStringLiteral("pos0Pos")) && values.contains(QStringLiteral("pos1Pos"));
    s.pos0 = values.value(QStringLiteral("pos0Pos"));
    s.pos1 = values.value(QStringLiteral("pos1Pos"));
    s.softLimitCCW = values.value(QStringLiteral("softLimitCCW"));
    s.hasSoftLimitCW = values.contains(QStringLiteral("softLimitCW"));
    s.softLimitCW = values.value(QStringLiteral("softLimitCW"));
    s.dynErr = values.value(QStringLiteral("dynErr"));
    s.staErr = values.value(QStringLiteral("staErr"));
    s.posWarn = values.value(QStringLiteral("posWarn"));
    s.stroke = stroke;
    verdict.refusal = ParamWriteRules::firstBrokenRule(key, s, lang);
    return verdict;
}

Outcome writeValue(RegisterPort &port, const QString &key, quint32 raw)
{
    const ParamConv::ParamDefinition *def = ParamConv::findParamDefinition(key);
    if (!def)
        return Outcome::NotConfirmed;
    if (def->words == 2) {
        const QVector<quint16> words = ParamConv::split32(raw);
        if (!port.writeMulti(def->address, words))
            return Outcome::NotConfirmed;
        return def->scriptCopy == 0 || port.writeMulti(def->scriptCopy, words) ? Outcome::Written
                                                                                : Outcome::ScriptCopyFailed;
    }
    quint16 value = raw & 0xFFFF;
    if (def->unit == ParamConv::ParamUnit::Torque) {
        // The high byte belongs to another setting and stays as the drive holds it.
        const QVector<quint16> current = port.read(def->address, 1);
        if (current.size() != 1)
            return Outcome::CurrentUnreadable;
        value = ParamConv::mergeTorqueByte(current[0], static_cast<quint16>(raw));
    }
    if (!port.write(def->address, value))
        return Outcome::NotConfirmed;
    return def->scriptCopy == 0 || port.write(def->scriptCopy, value) ? Outcome::Written : Outcome::ScriptCopyFailed;
}

bool readValue(RegisterPort &port, const QString &key, quint32 *raw, int timeoutMs)
{
    const ParamConv::ParamDefinition *def = ParamConv::findParamDefinition(key);
    if (!def)
        return false;
    const QVector<quint16> words = port.read(def->address, static_cast<quint16>(def->words), timeoutMs);
    if (words.size() != def->words)
        return false;
    *raw = def->words == 2 ? ParamConv::join32(words[0], words[1]) : words[0];
    if (def->unit == ParamConv::ParamUnit::Torque)
        *raw &= 0xFF;  // the high byte belongs to another setting
    return true;
}

CurrentLimitWrite writeCurrentLimit(RegisterPort &port, bool running, int percent, int readTimeoutMs)
{
    CurrentLimitWrite result;
    const QVector<quint16> words = port.read(Reg::CurrentLimits, 1, readTimeoutMs);
    if (words.size() != 1)
        return result;
    result.read = true;
    result.before = words[0];
    const quint16 byte = static_cast<quint16>(percent) & 0xFF;
    result.after = running ? quint16((byte << 8) | (words[0] & 0x00FF)) : quint16((words[0] & 0xFF00) | byte);
    result.confirmed = port.write(Reg::CurrentLimits, result.after);
    return result;
}

bool writePushMode(RegisterPort &port, int group, bool on)
{
    if (group == 0)
        return port.write(Reg::Pos0MotionMode, on ? Reg::PushMode::Pos0On : Reg::PushMode::Pos0Off);
    return port.write(Reg::Pos1MotionMode, on ? Reg::PushMode::Pos1On : Reg::PushMode::Pos1Off);
}

}  // namespace ParamWriter
