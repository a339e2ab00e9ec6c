#include "motioncheck.h"

#include "paramconversions.h"


#include <algorithm>
#include <cmath>

namespace MotionCheck {

namespace {

constexpr double TwoPi = 6.283185307179586;
constexpr double SpeedTolerance = 0.001;    // mm/s
constexpr double MinConstantShare = 0.1;

bool isChinese(const QString &lang)
{
    return lang == QLatin1String("zh");
}

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

// Angular acceleration of the screw for a linear acceleration at a lead.
double revPerS2(double mmPerS2, double lead)
{
    return mmPerS2 / (lead / 1000.0) / TwoPi;
}

void estimateLift(const MotionInputs &in, MotionValidationResult &r)
{
    const double g = StandardGravity;
    const bool up = (in.group == QLatin1String("pos1")) != (in.load.mountingDirection != 0);
    const double fa = (up ? r.accel + g : std::fabs(r.accel - g)) * in.load.loadKg / 1000.0;
    const double fd = (up ? std::fabs(r.decel - g) : r.decel + g) * in.load.loadKg / 1000.0;
    r.liftForce = std::max(fa, fd);
    r.motorTorque = (in.lead / 1000.0) * r.liftForce / TwoPi;
}

}  // namespace

double accelInG(double speed, int timeMs)
{
    const double a = speed / (timeMs / 1000.0);
    return ParamConv::roundHalfUp(a / StandardGravity * 100.0) / 100.0;
}

MotionValidationResult checkMotion(const MotionInputs &in)
{
    MotionValidationResult r;
    const bool zh = isChinese(in.lang);
    const double v = in.speed;
    const double dist = std::fabs(in.pos1 - in.pos0);
    const double lead = in.lead;

    if (dist < lead) {
        r.status = StatusTooClose;
        r.message = (zh ? QStringLiteral("✗ 位置間距須 ≥ %1 mm（目前 %2 mm）")
                        : QStringLiteral("✗ Distance must be ≥ %1 mm (current %2 mm)"))
                        .arg(fixed(lead, 2), fixed(dist, 2));
        return r;
    }

    const double vmax = SpeedLimitRevPerS * lead;
    if (v > vmax + SpeedTolerance) {
        r.status = StatusSpeedTooHigh;
        r.message = (zh ? QStringLiteral("✗ 速度 %1 mm/s 超過上限 %2 mm/s")
                        : QStringLiteral("✗ Speed %1 mm/s > limit %2 mm/s"))
                        .arg(fixed(v, 2), fixed(vmax, 2));
        return r;
    }

    if (v <= 0 || in.accelMs < 1 || in.decelMs < 1) {
        r.message = QStringLiteral("--");
        return r;
    }

    const double ta = in.accelMs / 1000.0;
    const double td = in.decelMs / 1000.0;
    const double a = v / ta;
    const double d = v / td;
    const double ga = accelInG(v, in.accelMs);
    const double gd = accelInG(v, in.decelMs);
    r.accel = a;
    r.decel = d;

    const double sa = ta * v * 0.5;
    const double sd = v * 0.5 * td;
    r.triangular = sa + sd >= dist;
    if (!r.triangular) {
        r.status = StatusOk;
        r.peakSpeed = v;
        r.cycleTime = (dist - sa - sd) / v + ta + td;
        r.message = (zh ? QStringLiteral("✓ 梯形曲線 %1 s") : QStringLiteral("✓ Trapezoid %1 s"))
                        .arg(fixed(r.cycleTime, 2));
    } else {
        const double vp = std::sqrt(2.0 * dist / (1.0 / d + 1.0 / a));
        r.status = StatusTriangular;
        r.peakSpeed = vp;
        r.cycleTime = vp / a + vp / d;
        r.message = (zh ? QStringLiteral("⚠ 三角形曲線，實際峰值 %1 mm/s，%2 s")
                        : QStringLiteral("⚠ Triangular, peak=%1 mm/s, %2 s"))
                        .arg(fixed(vp, 2), fixed(r.cycleTime, 3));
    }

    if (ga > ImpactLimitG || gd > ImpactLimitG) {
        r.message += (zh ? QStringLiteral("\n⚠ 加速 %1G（%2 mm/s², %3 rev/s²）/ 減速 %4G（%5 mm/s², %6 rev/s²）超過 0.3G，衝擊較大")
                         : QStringLiteral("\n⚠ Accel %1G (%2 mm/s², %3 rev/s²) / Decel %4G (%5 mm/s², %6 rev/s²) > 0.3G"))
                         .arg(fixed(ga, 2), fixed(a, 1), fixed(revPerS2(a, lead), 1), fixed(gd, 2), fixed(d, 1),
                              fixed(revPerS2(d, lead), 1));
    }

    if (in.load.active())
        estimateLift(in, r);
    return r;
}

QString impactNote(const QString &label, double speed, int timeMs, double lead, const QString &lang)
{
    if (timeMs <= 0 || speed <= 0)
        return QString();
    const double g = accelInG(speed, timeMs);
    if (!(g > ImpactLimitG))
        return QString();
    const double a = speed / (timeMs / 1000.0);
    const QString text =
        isChinese(lang) ? QStringLiteral("提醒：%1 加減速度超過 0.3G。\n目前 G 值：%2 G\n加速度：%3 mm/s²（%4 rev/s²）\n"
                                    "速度 %5 mm/s，時間 %6 ms\n⚠ 機構衝擊力較大，請確認機構強度與負載條件。")
                   : QStringLiteral("Note: %1 acceleration exceeds 0.3G.\nCurrent: %2 G\nAccel: %3 mm/s² (%4 rev/s²)\n"
                                    "Speed %5 mm/s, Time %6 ms\n⚠ Higher mechanical impact expected. "
                                    "Verify structural strength.");
    return text.arg(label, fixed(g, 2), fixed(a, 1), fixed(revPerS2(a, lead), 1), fixed(speed, 2),
                    QString::number(timeMs));
}

QString constantSpeedNote(double speed, double distance, int accelMs, int decelMs, const QString &lang)
{
    if (!(speed > 0) || !(distance > 0))
        return QString();
    const double total = distance / speed;
    const double constant = total - accelMs / 1000.0 - decelMs / 1000.0;
    if (!(constant < MinConstantShare * total))
        return QString();
    const bool zh = isChinese(lang);
    QString name;
    if (constant <= 0)
        name = zh ? QStringLiteral("三角形加減速（無等速段）") : QStringLiteral("Triangular profile (no constant-speed phase)");
    else
        name = zh ? QStringLiteral("近似三角形加減速") : QStringLiteral("Near-triangular profile");
    const qint64 constantMs = constant > 0 ? static_cast<qint64>(constant * 1000.0) : 0;
    const qint64 share = constant > 0 ? static_cast<qint64>(constant / total * 100.0) : 0;
    // The doubled percent signs are part of the shown text.
    const QString text = zh ? QStringLiteral("提醒：目前為%1。\n等速段時間：%2 ms（占比 %3%%，建議 ≥ 10%%）\n"
                                             "⚠ 可能無法達到目標速度，且機構衝擊較大。")
                            : QStringLiteral("Note: Current profile is %1.\nConstant-speed: %2 ms (%3%% of total, "
                                             "recommend ≥ 10%%)\n⚠ Target speed may not be reached; higher mechanical "
                                             "impact.");
    return text.arg(name, QString::number(constantMs), QString::number(share));
}

QString triangularQuestion(const MotionValidationResult &result, const QString &lang)
{
    const QString text = isChinese(lang) ? QStringLiteral("目前參數將形成三角形速度曲線。\n實際峰值速度：%1 mm/s（低於設定值）\n"
                                                     "Cycle Time：%2 s\n\n確定仍要寫入？")
                                    : QStringLiteral("Current parameters result in a triangular profile.\n"
                                                     "Actual peak speed: %1 mm/s\nCycle Time: %2 s\n\nProceed?");
    return text.arg(fixed(result.peakSpeed, 2), fixed(result.cycleTime, 2));
}

QString liftForceMessage(const MotionValidationResult &result, double loadKg, const QString &lang)
{
    const QString text = isChinese(lang) ? QStringLiteral("垂直安裝 + 負載 %1 kg\n最嚴苛段推力需求：%2 N\n請確認馬達在此速度之扭矩 ≥ %3 Nm")
                                    : QStringLiteral("Vertical + load %1 kg\nMax lift force: %2 N\n"
                                                     "Confirm motor torque ≥ %3 Nm at this speed");
    return text.arg(fixed(loadKg, 1), fixed(result.liftForce, 1), fixed(result.motorTorque, 3));
}

}  // namespace MotionCheck
