#include "paramapply.h"

#include "motioncheck.h"
#include "paramconversions.h"
#include "paramwriterules.h"
#include "registers.h"

#include <QMap>

namespace ParamApply {

namespace {

// The values the drive holds once every difference is written, in the rows' units.
QMap<QString, double> targetValues(const ParamDiff::Comparison &comparison, double lead)
{
    QMap<QString, double> values;
    for (const ParamDiff::Row &row : comparison.rows)
        values.insert(row.key, ParamConv::numberFromRaw(row.key, row.inFile ? row.fileRaw : row.driveRaw, lead));
    return values;
}

// The rules of the window's Write for key; the message of the first that fails, else empty.
QString brokenRule(const QString &key, const QMap<QString, double> &v, double lead, int stroke, const QString &lang,
                   QString *note)
{
    if (key.startsWith(QLatin1String("pos0")) || key.startsWith(QLatin1String("pos1"))) {
        MotionCheck::MotionInputs in;
        in.group = key.left(4);
        in.speed = v.value(in.group + QLatin1String("Speed"));
        in.accelMs = static_cast<int>(v.value(in.group + QLatin1String("Accel")));
        in.decelMs = static_cast<int>(v.value(in.group + QLatin1String("Decel")));
        in.pos0 = v.value(QStringLiteral("pos0Pos"));
        in.pos1 = v.value(QStringLiteral("pos1Pos"));
        in.lead = lead;
        in.lang = lang;
        const MotionValidationResult r = MotionCheck::checkMotion(in);
        if (r.status == MotionCheck::StatusSpeedTooHigh || r.status == MotionCheck::StatusTooClose)
            return r.message;
        // The window asks about a triangular profile; a file that ran on a drive needs no question.
        if (r.status == MotionCheck::StatusTriangular)
            *note = r.message;
    }
    ParamWriteRules::ScreenValues s;
    s.bothPositions = true;
    s.pos0 = v.value(QStringLiteral("pos0Pos"));
    s.pos1 = v.value(QStringLiteral("pos1Pos"));
    s.softLimitCCW = v.value(QStringLiteral("softLimitCCW"));
    s.hasSoftLimitCW = true;
    s.softLimitCW = v.value(QStringLiteral("softLimitCW"));
    s.dynErr = v.value(QStringLiteral("dynErr"));
    s.staErr = v.value(QStringLiteral("staErr"));
    s.posWarn = v.value(QStringLiteral("posWarn"));
    s.stroke = stroke;
    return ParamWriteRules::firstBrokenRule(key, s, lang);
}

// Writes one row's register value as the window's Write does; empty when confirmed.
QString writeRow(const QString &key, quint32 raw, const Access &access)
{
    const ParamConv::ParamDefinition *def = ParamConv::findParamDefinition(key);
    const QString noAnswer = QStringLiteral("the drive did not confirm the write");
    if (def->words == 2) {
        const QVector<quint16> words = ParamConv::split32(raw);
        if (!access.writeMulti(def->address, words))
            return noAnswer;
        if (def->scriptCopy != 0 && !access.writeMulti(def->scriptCopy, words))
            return QStringLiteral("written, but its power-on script copy was not confirmed");
        return QString();
    }
    quint16 value = raw & 0xFFFF;
    if (def->unit == ParamConv::ParamUnit::Torque) {
        // The high byte belongs to another setting and stays as the drive holds it.
        const QVector<quint16> current = access.read(def->address, 1);
        if (current.isEmpty())
            return QStringLiteral("the drive's current setting could not be read");
        value = ParamConv::mergeTorqueByte(current[0], static_cast<quint16>(raw));
    }
    if (!access.write(def->address, value))
        return noAnswer;
    if (def->scriptCopy != 0 && !access.write(def->scriptCopy, value))
        return QStringLiteral("written, but its power-on script copy was not confirmed");
    return QString();
}

QString writeOther(const ParamDiff::Row &row, const Access &access)
{
    if (row.key.endsWith(QLatin1String("Current"))) {
        // Both limits share one register: the other byte stays as the drive holds it.
        const QVector<quint16> current = access.read(Reg::CurrentLimits, 1);
        if (current.isEmpty())
            return QStringLiteral("the drive's current limits could not be read");
        const bool running = row.key == QLatin1String("runCurrent");
        const quint16 word = running ? quint16((row.fileRaw << 8) | (current[0] & 0x00FF))
                                     : quint16((current[0] & 0xFF00) | (row.fileRaw & 0xFF));
        return access.write(Reg::CurrentLimits, word) ? QString() : QStringLiteral("the drive did not confirm the write");
    }
    const bool group0 = row.key.startsWith(QLatin1String("pos0"));
    const quint16 word = group0 ? (row.fileRaw ? Reg::PushMode::Pos0On : Reg::PushMode::Pos0Off)
                                : (row.fileRaw ? Reg::PushMode::Pos1On : Reg::PushMode::Pos1Off);
    return access.write(group0 ? Reg::Pos0MotionMode : Reg::Pos1MotionMode, word)
               ? QString()
               : QStringLiteral("the drive did not confirm the write");
}

}  // namespace

QVector<Result> writeDifferences(const ParamDiff::Comparison &comparison, double lead, int stroke,
                                 const Access &access, const QString &lang)
{
    const QMap<QString, double> targets = targetValues(comparison, lead);
    QVector<Result> results;
    for (const ParamDiff::Row &row : comparison.differences()) {
        Result result;
        result.key = row.key;
        if (row.outsideRange) {
            // No stand-in held to the range is ever written in its place.
            result.outcome = Outcome::Refused;
            result.message = QStringLiteral("outside the editable range, not written");
        } else if (ParamConv::findParamDefinition(row.key)) {
            QString note;
            const QString broken = brokenRule(row.key, targets, lead, stroke, lang, &note);
            if (!broken.isEmpty()) {
                result.outcome = Outcome::Refused;
                result.message = broken;
            } else {
                result.message = writeRow(row.key, row.fileRaw, access);
                result.outcome = result.message.isEmpty() ? Outcome::Written : Outcome::NotConfirmed;
                if (result.message.isEmpty())
                    result.message = note;
            }
        } else {
            result.message = writeOther(row, access);
            result.outcome = result.message.isEmpty() ? Outcome::Written : Outcome::NotConfirmed;
        }
        results << result;
    }
    return results;
}

}  // namespace ParamApply
