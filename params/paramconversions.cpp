#include "paramconversions.h"

#include "devicestate.h"
#include "registers.h"

#include <QHash>

#include <cmath>
#include <limits>

namespace ParamConv {

namespace {

constexpr double TorqueCodePerPercent = 1.7;
constexpr double CountsPerMm = 1000.0;
constexpr double SpeedRawPerRevPerS = 6000.0;  // 0.01 rpm per (mm/s) at 1 mm lead
constexpr double StepsPerRev = 200.0;
constexpr int SmoothConstMax = 1000;
// Far below one unit of any register, far above the error of one multiplication.
constexpr double CeilTolerance = 1e-9;

// Values outside this span cannot be represented by any register pair.
bool fitsRegisterPair(double x)
{
    return std::isfinite(x) && x >= double(std::numeric_limits<qint32>::min())
           && x <= double(std::numeric_limits<quint32>::max());
}

}  // namespace

const QVector<ParamDefinition> &paramDefinitions()
{
    using U = ParamUnit;
    static const QVector<ParamDefinition> table = {
        {QStringLiteral("homeTorque"), Reg::HomeTorque, 1, 0, U::Torque, 20, 90,
         QStringLiteral("原點扭力 (%)"), QStringLiteral("Homing TRQ (%)")},
        {QStringLiteral("softLimitCCW"), Reg::SoftLimitCCW, 2, Reg::ScriptSoftLimitCCW, U::Position, 0, 0,
         QStringLiteral("負向軟限位 (mm)"), QStringLiteral("S.L. CCW (mm)")},
        {QStringLiteral("softLimitCW"), Reg::SoftLimitCW, 2, Reg::ScriptSoftLimitCW, U::Position, 0, 0,
         QStringLiteral("正向軟限位 (mm)"), QStringLiteral("S.L. CW (mm)")},
        {QStringLiteral("dynErr"), Reg::DynamicErrorThreshold, 1, Reg::ScriptDynamicErrorThreshold,
         U::ErrorSteps, 0, 0, QStringLiteral("動態誤差 (mm)"), QStringLiteral("Dyn Err (mm)")},
        {QStringLiteral("staErr"), Reg::StaticErrorThreshold, 1, Reg::ScriptStaticErrorThreshold,
         U::ErrorSteps, 0, 0, QStringLiteral("靜態誤差 (mm)"), QStringLiteral("Sta Err (mm)")},
        {QStringLiteral("posWarn"), Reg::PositionWarningThreshold, 1, Reg::ScriptPositionWarningThreshold,
         U::ErrorSteps, 0, 0, QStringLiteral("位置預警 (mm)"), QStringLiteral("Pos Warn (mm)")},
        {QStringLiteral("pos0Accel"), Reg::Pos0Accel, 1, 0, U::Plain, 50, 1000,
         QStringLiteral("加速時間 (ms)"), QStringLiteral("Acc. Time (ms)")},
        {QStringLiteral("pos0Decel"), Reg::Pos0Decel, 1, 0, U::Plain, 50, 1000,
         QStringLiteral("減速時間 (ms)"), QStringLiteral("Dec. Time (ms)")},
        {QStringLiteral("pos0Speed"), Reg::Pos0Speed, 2, 0, U::Speed, 0, 0,
         QStringLiteral("移動速度 (mm/s)"), QStringLiteral("Speed (mm/s)")},
        {QStringLiteral("pos0Pos"), Reg::Pos0Position, 2, 0, U::Position, 0, 0,
         QStringLiteral("目標位置 (mm)"), QStringLiteral("Position (mm)")},
        {QStringLiteral("pos1Accel"), Reg::Pos1Accel, 1, 0, U::Plain, 50, 1000,
         QStringLiteral("加速時間 (ms)"), QStringLiteral("Acc. Time (ms)")},
        {QStringLiteral("pos1Decel"), Reg::Pos1Decel, 1, 0, U::Plain, 50, 1000,
         QStringLiteral("減速時間 (ms)"), QStringLiteral("Dec. Time (ms)")},
        {QStringLiteral("pos1Speed"), Reg::Pos1Speed, 2, 0, U::Speed, 0, 0,
         QStringLiteral("移動速度 (mm/s)"), QStringLiteral("Speed (mm/s)")},
        {QStringLiteral("pos1Pos"), Reg::Pos1Position, 2, 0, U::Position, 0, 0,
         QStringLiteral("目標位置 (mm)"), QStringLiteral("Position (mm)")},
        {QStringLiteral("pos0PushTorque"), Reg::Pos0PushTorque, 1, 0, U::Torque, 30, 70,
         QStringLiteral("推壓扭力 (%)"), QStringLiteral("Pushing TRQ (%)")},
        {QStringLiteral("pos1PushTorque"), Reg::Pos1PushTorque, 1, 0, U::Torque, 30, 70,
         QStringLiteral("推壓扭力 (%)"), QStringLiteral("Pushing TRQ (%)")},
        {QStringLiteral("smoothMs"), Reg::SmoothingConstant, 1, 0, U::Smoothing, 1, 1000,
         QStringLiteral("平滑時間 (ms)"), QStringLiteral("Smooth Time (ms)")},
    };
    return table;
}

const ParamDefinition *findParamDefinition(const QString &key)
{
    for (const ParamDefinition &d : paramDefinitions()) {
        if (d.key == key)
            return &d;
    }
    return nullptr;
}

QString labelOf(const QString &key, const QString &lang)
{
    struct Label
    {
        QString zh;
        QString en;
    };
    static const QHash<QString, Label> labels = {
        {QStringLiteral("homeTorque"), {QStringLiteral("原點扭力"), QStringLiteral("Home Torque")}},
        {QStringLiteral("pos0Accel"), {QStringLiteral("位置 1 加速"), QStringLiteral("Pos1 Accel")}},
        {QStringLiteral("pos0Decel"), {QStringLiteral("位置 1 減速"), QStringLiteral("Pos1 Decel")}},
        {QStringLiteral("pos0Speed"), {QStringLiteral("位置 1 速度"), QStringLiteral("Pos1 Speed")}},
        {QStringLiteral("pos0Pos"), {QStringLiteral("位置 1"), QStringLiteral("Position 1")}},
        {QStringLiteral("pos0PushTorque"), {QStringLiteral("位置 1 推壓扭力"), QStringLiteral("Pos1 Push Torque")}},
        {QStringLiteral("pos1Accel"), {QStringLiteral("位置 2 加速"), QStringLiteral("Pos2 Accel")}},
        {QStringLiteral("pos1Decel"), {QStringLiteral("位置 2 減速"), QStringLiteral("Pos2 Decel")}},
        {QStringLiteral("pos1Speed"), {QStringLiteral("位置 2 速度"), QStringLiteral("Pos2 Speed")}},
        {QStringLiteral("pos1Pos"), {QStringLiteral("位置 2"), QStringLiteral("Position 2")}},
        {QStringLiteral("pos1PushTorque"), {QStringLiteral("位置 2 推壓扭力"), QStringLiteral("Pos2 Push Torque")}},
        {QStringLiteral("softLimitCCW"), {QStringLiteral("負向軟限位"), QStringLiteral("Soft Limit CCW")}},
        {QStringLiteral("softLimitCW"), {QStringLiteral("正向軟限位"), QStringLiteral("Soft Limit CW")}},
        {QStringLiteral("dynErr"), {QStringLiteral("動態誤差"), QStringLiteral("Dyn Error")}},
        {QStringLiteral("staErr"), {QStringLiteral("靜態誤差"), QStringLiteral("Sta Error")}},
        {QStringLiteral("posWarn"), {QStringLiteral("位置預警"), QStringLiteral("Pos Warning")}},
        {QStringLiteral("smoothMs"), {QStringLiteral("指令平滑時間"), QStringLiteral("Smooth Time")}},
        {QStringLiteral("idleCurrent"), {QStringLiteral("停止電流"), QStringLiteral("Idle Current")}},
        {QStringLiteral("runCurrent"), {QStringLiteral("運轉下限電流"), QStringLiteral("Min Run Current")}},
    };
    const auto it = labels.constFind(key);
    if (it == labels.constEnd())
        return key;
    return lang == QLatin1String("zh") ? it->zh : it->en;
}

qint64 roundHalfUp(double x)
{
    if (x >= 0)
        return static_cast<qint64>(x + 0.5);
    // Shift into the positive range first so the truncation rounds a half up, not toward zero.
    const qint64 k = static_cast<qint64>(x - 1);
    return static_cast<qint64>(x - k + 0.5) + k;
}

qint64 ceilTolerant(double x)
{
    return static_cast<qint64>(std::ceil(x - CeilTolerance));
}

int smoothConst(int ms)
{
    if (ms <= 0)
        return SmoothConstMax;
    if (ms > SmoothConstMax)
        return 1;
    return static_cast<int>(qBound(qint64(1), roundHalfUp(1000.0 / ms), qint64(SmoothConstMax)));
}

int smoothMsFromConst(quint32 raw)
{
    const quint16 c = raw & 0xFFFF;
    if (c == 0)
        return SmoothConstMax;
    return static_cast<int>(qBound(qint64(1), roundHalfUp(1000.0 / c), qint64(SmoothConstMax)));
}

int torqueMinPercent(const QString &key)
{
    const ParamDefinition *d = findParamDefinition(key);
    return d && d->unit == ParamUnit::Torque ? d->minValue : 0;
}

int torqueMaxPercent(const QString &key)
{
    const ParamDefinition *d = findParamDefinition(key);
    return d && d->unit == ParamUnit::Torque ? d->maxValue : 0;
}

quint16 torqueCode(const QString &key, int percent)
{
    const int clamped = qBound(torqueMinPercent(key), percent, torqueMaxPercent(key));
    return static_cast<quint16>(roundHalfUp(clamped * TorqueCodePerPercent));
}

int torquePercent(const QString &key, quint32 raw)
{
    const qint64 percent = roundHalfUp(double(raw & 0xFF) / TorqueCodePerPercent);
    return static_cast<int>(qBound(qint64(torqueMinPercent(key)), percent, qint64(torqueMaxPercent(key))));
}

quint16 mergeTorqueByte(quint16 driveWord, quint16 code)
{
    return static_cast<quint16>((driveWord & 0xFF00) | (code & 0x00FF));
}

qint64 positionToRaw(double mm)
{
    return roundHalfUp(mm * CountsPerMm);
}

double rawToPosition(quint32 raw)
{
    return static_cast<qint32>(raw) / CountsPerMm;
}

qint64 speedToRaw(double mmPerS, double leadMm)
{
    return roundHalfUp(mmPerS * SpeedRawPerRevPerS / leadMm);
}

double rawToSpeed(quint32 raw, double leadMm)
{
    return raw * leadMm / SpeedRawPerRevPerS;
}

qint64 errorMmToSteps(double mm, double leadMm)
{
    return ceilTolerant(mm * StepsPerRev / leadMm);
}

double stepsToErrorMm(quint32 steps, double leadMm)
{
    return steps * leadMm / StepsPerRev;
}

quint32 join32(quint16 low, quint16 high)
{
    return static_cast<quint32>(high) << 16 | low;
}

QVector<quint16> split32(quint32 raw)
{
    return words32(raw);
}

DecimalClass decimalClassOf(const QString &key)
{
    if (key.contains(QLatin1String("Pos")) || key.contains(QLatin1String("softLimit")))
        return DecimalClass::Position;
    if (key.contains(QLatin1String("Speed")))
        return DecimalClass::Speed;
    if (key == QLatin1String("dynErr") || key == QLatin1String("staErr") || key == QLatin1String("posWarn"))
        return DecimalClass::ErrorSteps;
    return DecimalClass::None;
}

bool rawFromDecimal(const QString &key, double value, double leadMm, quint32 *raw)
{
    const DecimalClass cls = decimalClassOf(key);
    if (cls == DecimalClass::None) {
        *raw = 0;
        return true;
    }
    // A lead of 0 would turn every speed or threshold into infinity and then into garbage words.
    if (cls != DecimalClass::Position && !(leadMm > 0))
        return false;
    const double scaled = cls == DecimalClass::Position ? value * CountsPerMm
                          : cls == DecimalClass::Speed  ? value * SpeedRawPerRevPerS / leadMm
                                                        : value * StepsPerRev / leadMm;
    if (!fitsRegisterPair(scaled))
        return false;
    const qint64 converted = cls == DecimalClass::Position ? positionToRaw(value)
                             : cls == DecimalClass::Speed  ? speedToRaw(value, leadMm)
                                                           : errorMmToSteps(value, leadMm);
    *raw = static_cast<quint32>(converted);
    return true;
}

quint32 rawFromInteger(const QString &key, int value)
{
    if (key == QLatin1String("smoothMs"))
        return static_cast<quint32>(smoothConst(value));
    if (key == QLatin1String("homeTorque") || key == QLatin1String("pos0PushTorque")
        || key == QLatin1String("pos1PushTorque"))
        return torqueCode(key, value);
    return static_cast<quint32>(value);
}

double decimalFromRaw(const QString &key, quint32 raw, double leadMm)
{
    switch (decimalClassOf(key)) {
    case DecimalClass::Position:
        return rawToPosition(raw);
    case DecimalClass::Speed:
        return rawToSpeed(raw, leadMm);
    case DecimalClass::ErrorSteps:
        return stepsToErrorMm(raw, leadMm);
    case DecimalClass::None:
        break;
    }
    return raw;
}

int integerFromRaw(const QString &key, quint32 raw)
{
    if (key == QLatin1String("smoothMs"))
        return smoothMsFromConst(raw);
    if (key == QLatin1String("homeTorque") || key == QLatin1String("pos0PushTorque")
        || key == QLatin1String("pos1PushTorque"))
        return torquePercent(key, raw);
    return static_cast<int>(raw);
}

bool rawFromNumber(const QString &key, double value, double leadMm, quint32 *raw)
{
    const ParamDefinition *def = findParamDefinition(key);
    if (!def || def->unit == ParamUnit::Position || def->unit == ParamUnit::Speed
        || def->unit == ParamUnit::ErrorSteps)
        return rawFromDecimal(key, value, leadMm, raw);
    if (!std::isfinite(value))
        return false;
    if (def->unit == ParamUnit::Torque) {
        // Not held to the box's range: a drive holding 0 with push mode off keeps its 0.
        const double code = value * TorqueCodePerPercent;
        if (code < 0 || code > 0xFF)
            return false;
        *raw = static_cast<quint32>(roundHalfUp(code));
    } else if (def->unit == ParamUnit::Smoothing) {
        *raw = value <= 0 ? SmoothConstMax
               : value > SmoothConstMax
                   ? 1
                   : static_cast<quint32>(qBound(qint64(1), roundHalfUp(1000.0 / value), qint64(SmoothConstMax)));
    } else {
        if (value < 0 || value > 0xFFFF)
            return false;
        *raw = static_cast<quint32>(roundHalfUp(value));
    }
    return true;
}

double numberFromRaw(const QString &key, quint32 raw, double leadMm)
{
    const ParamDefinition *def = findParamDefinition(key);
    if (!def || def->unit == ParamUnit::Position || def->unit == ParamUnit::Speed
        || def->unit == ParamUnit::ErrorSteps)
        return decimalFromRaw(key, raw, leadMm);
    if (def->unit == ParamUnit::Torque)
        return (raw & 0xFF) / TorqueCodePerPercent;
    if (def->unit == ParamUnit::Smoothing) {
        const quint16 c = raw & 0xFFFF;
        return c == 0 ? SmoothConstMax : 1000.0 / c;
    }
    return raw;
}

double exactNumber(const QString &key, quint32 raw, double leadMm)
{
    const double exact = numberFromRaw(key, raw, leadMm);
    for (int decimals = 0; decimals <= 9; ++decimals) {
        const double shown = QString::number(exact, 'f', decimals).toDouble();
        quint32 back = 0;
        if (rawFromNumber(key, shown, leadMm, &back) && back == raw)
            return shown;
    }
    return exact;
}

int thresholdDecimals(double leadMm)
{
    const double step = leadMm / StepsPerRev;
    int decimals = 2;
    while (decimals < 6 && std::fabs(step * std::pow(10.0, decimals) - std::round(step * std::pow(10.0, decimals))) > 1e-6)
        ++decimals;
    return decimals;
}

}  // namespace ParamConv
