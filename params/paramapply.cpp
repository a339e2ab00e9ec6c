#include "paramapply.h"

#include "paramconversions.h"
#include "paramwriter.h"
#include "registerport.h"

#include <QMap>

namespace ParamApply {

namespace {

// The values the drive holds once every difference is written, in the rows' units.
ParamWriter::Values targetValues(const ParamDiff::Comparison &comparison, double lead)
{
    ParamWriter::Values values;
    for (const ParamDiff::Row &row : comparison.rows)
        values.insert(row.key, ParamConv::numberFromRaw(row.key, row.inFile ? row.fileRaw : row.driveRaw, lead));
    return values;
}

const QString NoAnswer = QStringLiteral("the drive did not confirm the write");

QString messageOf(ParamWriter::Outcome outcome)
{
    switch (outcome) {
    case ParamWriter::Outcome::Written:
        return QString();
    case ParamWriter::Outcome::CurrentUnreadable:
        return QStringLiteral("the drive's current setting could not be read");
    case ParamWriter::Outcome::ScriptCopyFailed:
        return QStringLiteral("written, but its power-on script copy was not confirmed");
    case ParamWriter::Outcome::NotConfirmed:
        break;
    }
    return NoAnswer;
}

QString writeOther(const ParamDiff::Row &row, RegisterPort &port)
{
    if (row.key.endsWith(QLatin1String("Current"))) {
        const ParamWriter::CurrentLimitWrite written = ParamWriter::writeCurrentLimit(
            port, row.key == QLatin1String("runCurrent"), int(row.fileRaw), RegisterPort::ReadTimeoutMs);
        if (!written.read)
            return QStringLiteral("the drive's current limits could not be read");
        return written.confirmed ? QString() : NoAnswer;
    }
    const int group = row.key.startsWith(QLatin1String("pos0")) ? 0 : 1;
    return ParamWriter::writePushMode(port, group, row.fileRaw != 0) ? QString() : NoAnswer;
}

}  // namespace

QVector<Result> writeDifferences(const ParamDiff::Comparison &comparison, double lead, int stroke,
                                 RegisterPort &port, const QString &lang)
{
    const ParamWriter::Values targets = targetValues(comparison, lead);
    QVector<Result> results;
    // A drive that stopped answering gets no more writes: each would only wait out its timeout.
    bool silent = false;
    for (const ParamDiff::Row &row : comparison.differences()) {
        Result result;
        result.key = row.key;
        if (silent) {
            result.outcome = Outcome::NotConfirmed;
            result.message = QStringLiteral("not written: the drive stopped answering");
        } else if (row.outsideRange) {
            // No stand-in held to the range is ever written in its place.
            result.outcome = Outcome::Refused;
            result.message = QStringLiteral("outside the editable range, not written");
        } else if (ParamConv::findParamDefinition(row.key)) {
            const ParamWriter::Verdict verdict = ParamWriter::check(row.key, row.fileRaw, targets, lead, stroke, lang);
            if (!verdict.mayWrite()) {
                result.outcome = Outcome::Refused;
                result.message = verdict.refusal;
            } else {
                const ParamWriter::Outcome written = ParamWriter::writeValue(port, row.key, row.fileRaw);
                result.message = messageOf(written);
                result.outcome = result.message.isEmpty() ? Outcome::Written : Outcome::NotConfirmed;
                // The window asks about a triangular profile; a file that ran on a drive needs no question.
                if (result.message.isEmpty() && !verdict.triangularQuestion.isEmpty())
                    result.message = verdict.motion.message;
            }
        } else {
            result.message = writeOther(row, port);
            result.outcome = result.message.isEmpty() ? Outcome::Written : Outcome::NotConfirmed;
        }
        silent = silent || (result.outcome == Outcome::NotConfirmed && port.lastError().kind() == ModbusError::Kind::NoReply);
        results << result;
    }
    return results;
}

}  // namespace ParamApply
