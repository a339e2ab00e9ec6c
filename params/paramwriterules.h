#pragma once

#include <QString>

// The checks a parameter must pass against the other values on screen
// before it is written: position order, soft limits, error thresholds.
namespace ParamWriteRules {

// The values of the rows the rules compare; a missing row counts as 0,
// except a missing CW soft limit, which stands for the stroke.
struct ScreenValues
{
    bool bothPositions = false;  // rows pos0Pos and pos1Pos both exist
    double pos0 = 0.0;
    double pos1 = 0.0;
    double softLimitCCW = 0.0;
    bool hasSoftLimitCW = false;
    double softLimitCW = 0.0;
    double dynErr = 0.0;
    double staErr = 0.0;
    double posWarn = 0.0;
    int stroke = 0;
};

// The message of the first rule that writing key would break, in lang
// ("zh" Chinese, anything else English); empty when the write may go on.
QString firstBrokenRule(const QString &key, const ScreenValues &values, const QString &lang);

}  // namespace ParamWriteRules
