#include "paramdiff.h"

#include "motioncheck.h"
#include "paramconversions.h"

#include <QLocale>

#include <limits>

namespace ParamDiff {

namespace {

const QString Missing = QStringLiteral("—");
// The dynamic and static thresholds stay at least one step above the
// position warning's recommended 15 steps.
constexpr int MinimumThresholdSteps = 16;
constexpr double ThresholdMaxMm = 5.0;
constexpr double PositionWarningMinMm = 0.01;
constexpr double SpeedMinMmPerS = 0.1;
constexpr double SoftLimitMinMm = -1000.0;

// The current limits are one byte each of a shared register.
bool fitsByte(double value)
{
    return value >= 0 && value <= 0xFF;
}

QString onOff(bool on)
{
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

}  // namespace

QString unitOf(const QString &key)
{
    if (key.endsWith(QLatin1String("Accel")) || key.endsWith(QLatin1String("Decel"))
        || key == QLatin1String("smoothMs"))
        return QStringLiteral("ms");
    if (key.endsWith(QLatin1String("Speed")))
        return QStringLiteral("mm/s");
    if (key.contains(QLatin1String("Torque")) || key.endsWith(QLatin1String("Current")))
        return QStringLiteral("%");
    return QStringLiteral("mm");
}

QString numberText(double value, int minDecimals)
{
    const QString shortest = QString::number(value, 'g', QLocale::FloatingPointShortest);
    if (shortest.contains(QLatin1Char('e')))
        return shortest;
    const int point = shortest.indexOf(QLatin1Char('.'));
    const int decimals = point < 0 ? 0 : shortest.size() - point - 1;
    return decimals >= minDecimals ? shortest : QString::number(value, 'f', minDecimals);
}

QString valueText(const QString &key, double value)
{
    return numberText(value, ParamFile::isIntegerKey(key) ? 0 : 2);
}

Range fileRange(const QString &key, double lead, int stroke)
{
    if (key == QLatin1String("idleCurrent"))
        return {double(ParamFile::IdleCurrentMin), double(ParamFile::IdleCurrentMax)};
    if (key == QLatin1String("runCurrent"))
        return {double(ParamFile::RunCurrentMin), double(ParamFile::RunCurrentMax)};
    const ParamConv::ParamDefinition *def = ParamConv::findParamDefinition(key);
    if (!def)
        return {std::numeric_limits<double>::lowest(), std::numeric_limits<double>::max()};
    switch (def->unit) {
    case ParamConv::ParamUnit::Speed:
        return {SpeedMinMmPerS, MotionCheck::SpeedLimitRevPerS * lead};
    case ParamConv::ParamUnit::Position:
        return {key.startsWith(QLatin1String("softLimit")) ? SoftLimitMinMm : 0.0, double(stroke)};
    case ParamConv::ParamUnit::ErrorSteps:
        return {key == QLatin1String("posWarn") ? PositionWarningMinMm
                                                : ParamConv::stepsToErrorMm(MinimumThresholdSteps, lead),
                ThresholdMaxMm};
    default:
        return {double(def->minValue), double(def->maxValue)};
    }
}

QVector<Row> Comparison::differences() const
{
    QVector<Row> list;
    for (const Row &row : rows) {
        if (row.differs)
            list << row;
    }
    return list;
}

Comparison compare(const QJsonObject &root, const ParamSnapshot::Snapshot &drive, double lead,
                   const RangeOf &rangeOf)
{
    using Outcome = ParamFile::Loaded::Outcome;
    Comparison result;
    for (const QString &key : ParamFile::applyOrder()) {
        Row row;
        row.key = key;
        row.unit = unitOf(key);
        row.driveRaw = drive.raw.value(key);
        const bool current = key.endsWith(QLatin1String("Current"));
        row.driveValue = current ? QString::number(row.driveRaw)
                                 : valueText(key, ParamConv::exactNumber(key, row.driveRaw, lead));
        row.fileValue = root.contains(key) ? numberText(root.value(key).toDouble()) : Missing;
        // The file's own number, never held to the box's range: a value the
        // drive holds outside that range reads back equal and is not written.
        const ParamFile::Loaded loaded = ParamFile::loadDecimal(root, key, std::numeric_limits<double>::lowest(),
                                                                std::numeric_limits<double>::max());
        quint32 raw = 0;
        const bool converted = current ? fitsByte(loaded.value) && (raw = quint32(ParamConv::roundHalfUp(loaded.value)), true)
                                       : ParamConv::rawFromNumber(key, loaded.value, lead, &raw);
        if (loaded.outcome == Outcome::TypeError || (loaded.outcome == Outcome::Applied && !converted))
            result.unreadable << key;
        row.inFile = loaded.outcome == Outcome::Applied && converted;
        row.fileRaw = raw;
        row.differs = row.inFile && raw != row.driveRaw;
        const Range range = rangeOf(key);
        row.outsideRange = row.differs && (loaded.value < range.minimum || loaded.value > range.maximum);
        if (row.outsideRange)
            result.outsideLines << QStringLiteral("%1 (%2, %3 … %4)")
                                       .arg(key, row.fileValue, valueText(key, range.minimum), valueText(key, range.maximum));
        result.rows << row;
    }
    const struct
    {
        const char *key;
        bool driveOn;
    } pushSwitches[] = {{"pos0PushEnable", drive.pos0PushEnable}, {"pos1PushEnable", drive.pos1PushEnable}};
    for (const auto &push : pushSwitches) {
        Row row;
        row.key = QLatin1String(push.key);
        const ParamFile::Loaded loaded = ParamFile::loadBoolean(root, row.key);
        if (loaded.outcome == Outcome::TypeError)
            result.unreadable << row.key;
        row.inFile = loaded.outcome == Outcome::Applied;
        row.fileRaw = loaded.value != 0.0 ? 1 : 0;
        row.driveRaw = push.driveOn ? 1 : 0;
        row.fileValue = row.inFile ? onOff(row.fileRaw) : Missing;
        row.driveValue = onOff(push.driveOn);
        row.differs = row.inFile && row.fileRaw != row.driveRaw;
        result.rows << row;
    }
    return result;
}

}  // namespace ParamDiff
