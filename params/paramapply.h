#pragma once

#include "paramdiff.h"
#include "paramsnapshot.h"

#include <QString>
#include <QVector>
#include <QtGlobal>

#include <functional>

// The differences of a parameter file written into a drive without a window,
// by the rules of the window's single Write: the motion check and the
// position, soft-limit and threshold rules, judged on the values the drive
// will hold (the file's where it has them, the drive's elsewhere); torque
// codes keep the register's high byte; thresholds and soft limits also go to
// their power-on script copies; a file value outside its box's range is
// refused, never held to the range. `vexa-cli params apply` writes through here.
namespace ParamApply {

struct Access
{
    ParamSnapshot::ReadWords read;
    std::function<bool(quint16 address, quint16 value)> write;
    std::function<bool(quint16 address, const QVector<quint16> &words)> writeMulti;
};

enum class Outcome {
    Written,       // the drive confirmed every write of the value
    Refused,       // a rule kept the value from being written
    NotConfirmed,  // a write, or the read it needed, went unanswered
};

struct Result
{
    QString key;
    Outcome outcome = Outcome::Written;
    QString message;  // why it was refused or not confirmed; a note for a written triangular profile
};

// One result per differing row of the comparison, in its order.
QVector<Result> writeDifferences(const ParamDiff::Comparison &comparison, double lead, int stroke,
                                 const Access &access, const QString &lang);

}  // namespace ParamApply
