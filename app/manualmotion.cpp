#include "manualmotion.h"

#include "actuatorcatalogue.h"

#include <cmath>

namespace ManualMotion {

namespace {

// 60 s/min and 100 hundredths of an rpm: mm/s x 6000 / lead gives 0.01 rpm.
constexpr double HundredthRpmPerMmPerSPerLead = 6000.0;

// The drive's rounding: add one half and cut the fraction off (values here are not negative).
quint32 roundHalfUp(double value)
{
    return static_cast<quint32>(value + 0.5);
}

}  // namespace

const QVector<double> &nudgeSteps()
{
    static const QVector<double> steps{0.01, 0.05, 0.1, 0.5, 1.0, 5.0};
    return steps;
}

int nearestNudgeStep(double mm)
{
    const QVector<double> &steps = nudgeSteps();
    int best = 0;
    for (int i = 1; i < steps.size(); ++i) {
        if (std::fabs(steps.at(i) - mm) < std::fabs(steps.at(best) - mm))
            best = i;
    }
    return best;
}

int jogSpeedLimit(const QString &family, int size)
{
    const ActuatorSpec *spec = ActuatorCatalogue::findSpec(family, size);
    return spec && spec->maxJogSpeed > 0 ? spec->maxJogSpeed : DefaultJogLimit;
}

bool isUsableLead(double lead)
{
    return std::isfinite(lead) && lead > 0.0;
}

quint32 jogSpeedValue(double mmPerS, double lead)
{
    const double whole = std::max(1.0, std::trunc(mmPerS));
    return std::max<quint32>(1, roundHalfUp(whole * HundredthRpmPerMmPerSPerLead / lead));
}

quint32 nudgeSpeedValue(double lead)
{
    return roundHalfUp(NudgeSpeedMmPerS * HundredthRpmPerMmPerSPerLead / lead);
}

qint32 nudgeDistance(double stepMm, bool forward)
{
    const qint32 distance = static_cast<qint32>(roundHalfUp(std::max(0.0, stepMm) * 1000.0));
    return forward ? std::max(1, distance) : -distance;
}

QString fixedTwo(double value)
{
    // Below half a hundredth the text would be "-0.00" for a negative value.
    if (std::fabs(value) < 0.005)
        value = 0.0;
    return QString::number(value, 'f', 2);
}

}  // namespace ManualMotion
