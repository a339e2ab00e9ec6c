#pragma once

#include "motioncheck.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class RegisterPort;

// The one way a parameter value reaches a drive, for the window's Write, its
// Write differences and `vexa-cli params apply` alike: the rules a value must
// pass first, then the register writes (a torque code merged into the
// drive's high byte, the power-on script copy after the value), and the read
// of a single value back.
namespace ParamWriter {

// Every parameter's number in its unit, as the rules judge a write: the
// values on screen, or the values the drive will hold after a file's write.
using Values = QMap<QString, double>;

// What writing key would do, before anything is written. Questions are
// answered by the caller: nothing here waits for an operator.
struct Verdict
{
    QString refusal;             // the first rule the write breaks; not written
    bool motionChecked = false;  // key belongs to a move (motion is set)
    MotionValidationResult motion;
    QString triangularQuestion;  // the move becomes a triangular profile: ask before writing
    QStringList notes;           // ramps over 0.3 g, no constant-speed phase: shown, not blocking
    QString liftForce;           // the vertical lift force; set only with a vertical load
    bool mayWrite() const { return refusal.isEmpty(); }
};

// The motion check of group "pos0" or "pos1" on these values.
MotionValidationResult checkMove(const QString &group, const Values &values, double lead, const QString &lang,
                                 const MotionCheck::VerticalLoad &load = {});

Verdict check(const QString &key, quint32 raw, const Values &values, double lead, int stroke, const QString &lang,
              const MotionCheck::VerticalLoad &load = {});

enum class Outcome {
    Written,             // the drive confirmed the value and its script copy
    NotConfirmed,        // the value's write went unanswered or was refused
    CurrentUnreadable,   // the register's other byte could not be read first: nothing written
    ScriptCopyFailed,    // the value is written, its power-on copy was not confirmed
};
inline bool valueWritten(Outcome outcome) { return outcome == Outcome::Written || outcome == Outcome::ScriptCopyFailed; }

// Writes a parameter row's register value (no rules: see check).
Outcome writeValue(RegisterPort &port, const QString &key, quint32 raw);
// Reads a parameter row's register value (a torque: its code, the low byte).
bool readValue(RegisterPort &port, const QString &key, quint32 *raw, int timeoutMs);

// The two current limits share register 0x000E: one is written with the
// other byte as the drive holds it, read just before.
struct CurrentLimitWrite
{
    bool read = false;      // the register was read; else nothing was written
    quint16 before = 0;
    quint16 after = 0;
    bool confirmed = false;
};
CurrentLimitWrite writeCurrentLimit(RegisterPort &port, bool running, int percent, int readTimeoutMs);

// Push mode of Position 1 (group 0) or Position 2 (group 1) on or off.
bool writePushMode(RegisterPort &port, int group, bool on);

}  // namespace ParamWriter
