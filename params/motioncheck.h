#pragma once

#include <QMetaType>
#include <QString>

// Outcome of the motion check of one position group.
struct MotionValidationResult
{
    // 0 constant-speed phase reached (or not evaluated), 1 triangular,
    // 3 speed above the limit, 4 positions too close; 2 only has a display style.
    int status = 0;
    double cycleTime = 0.0;    // s, 0 when not computed
    double peakSpeed = 0.0;    // mm/s
    double accel = 0.0;        // mm/s²
    double decel = 0.0;        // mm/s²
    double liftForce = 0.0;    // N, only with a vertical load
    double motorTorque = 0.0;  // N·m, only with a vertical load
    bool triangular = false;
    QString message;           // one-line summary in the current language
};
Q_DECLARE_METATYPE(MotionValidationResult)

namespace MotionCheck {

constexpr int StatusOk = 0;
constexpr int StatusTriangular = 1;
constexpr int StatusSpeedTooHigh = 3;
constexpr int StatusTooClose = 4;

constexpr double StandardGravity = 9806.65;  // mm/s²
constexpr double ImpactLimitG = 0.3;
constexpr double SpeedLimitRevPerS = 50.0;  // speed limit in mm/s per mm of lead: 3000 rev/min of the screw

// Mounting of the actuator; the estimate of the lifting force runs only for
// a vertical mounting (mode 1) with a load.
struct VerticalLoad
{
    int mountingMode = 0;       // 1 = vertical
    int mountingDirection = 0;  // non-zero: the pos1 side points down
    double loadKg = 0.0;

    bool active() const { return mountingMode == 1 && loadKg > 0; }
};

// The values of one position group as they stand on screen.
struct MotionInputs
{
    QString group;       // "pos0" or "pos1"
    double speed = 0.0;  // mm/s of the group
    int accelMs = 0;
    int decelMs = 0;
    double pos0 = 0.0;   // mm
    double pos1 = 0.0;   // mm
    double lead = 0.0;   // mm per revolution
    QString lang;        // "zh" or anything else for English
    VerticalLoad load;
};

MotionValidationResult checkMotion(const MotionInputs &in);

// Acceleration of speed over time in g, to two decimals.
double accelInG(double speed, int timeMs);

// The note shown before writing an acceleration or deceleration time whose
// ramp exceeds 0.3 g; empty when there is none. label names the parameter.
QString impactNote(const QString &label, double speed, int timeMs, double lead, const QString &lang);

// The note shown before writing a time that leaves less than a tenth of the
// move at constant speed; empty when there is none.
QString constantSpeedNote(double speed, double distance, int accelMs, int decelMs, const QString &lang);

// The Yes/No question asked before writing a triangular profile.
QString triangularQuestion(const MotionValidationResult &result, const QString &lang);

// The warning about the force a vertical load needs.
QString liftForceMessage(const MotionValidationResult &result, double loadKg, const QString &lang);

}  // namespace MotionCheck
