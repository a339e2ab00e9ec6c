#pragma once

#include "paramdiff.h"
#include "paramsnapshot.h"

#include <QString>
#include <QVector>
#include <QtGlobal>

class RegisterPort;

// The differences of a parameter file written into a drive, through the
// writer of the window's single Write and by its rules, judged on the values
// the drive will hold (the file's where it has them, the drive's elsewhere);
// a file value outside its box's range is refused, never held to the range.
// `vexa-cli params apply` and a line job write through here.
namespace ParamApply {

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

// One result per differing row of the comparison, in its order. Once a write
// (or the read it needs) goes unanswered, the rows after it are not written.
QVector<Result> writeDifferences(const ParamDiff::Comparison &comparison, double lead, int stroke,
                                 RegisterPort &port, const QString &lang);

}  // namespace ParamApply
