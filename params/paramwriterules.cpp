#include "paramwriterules.h"

#include <algorithm>

namespace ParamWriteRules {

namespace {

// Boxes hold two or three decimals; equal values must compare as equal.
constexpr double Tolerance = 0.000001;

QString fixedText(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString positionOrder(const ScreenValues &v, bool zh)
{
    if (v.pos0 < v.pos1)
        return QString();
    const QString text = zh ? QStringLiteral("位置 2（%2 mm）必須大於位置 1（%1 mm）。\n\n"
                                             "位置 1 為縮回側、位置 2 為伸出側；\n兩者之間為高速接近區，外側為推壓作用區。\n"
                                             "（參數未寫入）")
                            : QStringLiteral("Position 2 (%2 mm) must exceed Position 1 (%1 mm).\n\n(Not written)");
    return text.arg(fixedText(v.pos0, 2), fixedText(v.pos1, 2));
}

QString softLimitCCW(const ScreenValues &v, bool zh)
{
    if (v.softLimitCCW <= std::min(v.pos0, v.pos1) + Tolerance)
        return QString();
    const QString text = zh ? QStringLiteral("負向軟限位（%1 mm）不可大於位置 1（%2 mm）及位置 2（%3 mm）。")
                            : QStringLiteral("Soft Limit CCW (%1 mm) must be less than Pos0 (%2 mm) and Pos1 (%3 mm).");
    return text.arg(fixedText(v.softLimitCCW, 2), fixedText(v.pos0, 2), fixedText(v.pos1, 2));
}

QString softLimitCW(const ScreenValues &v, bool zh)
{
    if (v.softLimitCW >= std::max(v.pos0, v.pos1) - Tolerance)
        return QString();
    const QString text = zh ? QStringLiteral("正向軟限位（%1 mm）必須大於位置 1（%2 mm）及位置 2（%3 mm）。")
                            : QStringLiteral("Soft Limit CW (%1 mm) must be greater than Pos0 (%2 mm) and Pos1 (%3 mm).");
    return text.arg(fixedText(v.softLimitCW, 2), fixedText(v.pos0, 2), fixedText(v.pos1, 2));
}

QString insideSoftLimits(const QString &key, const ScreenValues &v, bool zh)
{
    const bool first = key == QLatin1String("pos0Pos");
    const double value = first ? v.pos0 : v.pos1;
    const double low = v.softLimitCCW;
    const double high = v.hasSoftLimitCW ? v.softLimitCW : double(v.stroke);
    if (value >= low - Tolerance && value <= high + Tolerance)
        return QString();
    const QString name = zh ? (first ? QStringLiteral("位置 1") : QStringLiteral("位置 2"))
                            : (first ? QStringLiteral("Position 1") : QStringLiteral("Position 2"));
    const QString text = zh ? QStringLiteral("%1（%2 mm）超出軟限位範圍（負向 %3 mm ~ 正向 %4 mm）。")
                            : QStringLiteral("%1 (%2 mm) is outside soft limits (%3 ~ %4 mm).");
    return text.arg(name, fixedText(value, 2), fixedText(low, 2), fixedText(high, 2));
}

QString errorThresholds(const ScreenValues &v, bool zh)
{
    if (!(v.dynErr >= v.staErr - Tolerance)) {
        const QString text = zh ? QStringLiteral("動態誤差須大於或等於靜態誤差。\n\n目前：動態 %1 mm／靜態 %2 mm\n"
                                                 "（參數未寫入，請修正後重試）")
                                : QStringLiteral("DynErr must be greater than or equal to StaErr.\n\n"
                                                 "Current: Dyn %1 mm / Sta %2 mm\n(Not written; please correct and retry)");
        return text.arg(fixedText(v.dynErr, 3), fixedText(v.staErr, 3));
    }
    // The position warning threshold is the floor of the static threshold.
    if (!(v.staErr > v.posWarn + Tolerance)) {
        const QString text = zh ? QStringLiteral("靜態誤差低於系統下限（%1 mm）。\n\n此下限與推壓功能之動作判定相關，請設定較大值。\n"
                                                 "（參數未寫入）")
                                : QStringLiteral("StaErr is below the system minimum (%1 mm).\n\n"
                                                 "This limit relates to push-mode detection.\n(Not written)");
        return text.arg(fixedText(v.posWarn, 3));
    }
    return QString();
}

}  // namespace

QString firstBrokenRule(const QString &key, const ScreenValues &values, const QString &lang)
{
    const bool zh = lang == QLatin1String("zh");
    const bool isPosition = key == QLatin1String("pos0Pos") || key == QLatin1String("pos1Pos");
    if (isPosition && values.bothPositions) {
        const QString broken = positionOrder(values, zh);
        if (!broken.isEmpty())
            return broken;
    }
    if (key == QLatin1String("softLimitCCW"))
        return softLimitCCW(values, zh);
    if (key == QLatin1String("softLimitCW"))
        return softLimitCW(values, zh);
    if (isPosition)
        return insideSoftLimits(key, values, zh);
    if (key == QLatin1String("dynErr") || key == QLatin1String("staErr") || key == QLatin1String("posWarn"))
        return errorThresholds(values, zh);
    return QString();
}

}  // namespace ParamWriteRules
