#include "paramdiff.h"

#include "paramconversions.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace ParamDiff {

namespace {

// Numbers that differ only in binary noise are one value.
constexpr double SameNumberTolerance = 1e-9;

struct IntegerRange
{
    int minimum;
    int maximum;
};

IntegerRange integerRange(const QString &key)
{
    if (key == QLatin1String("idleCurrent"))
        return {ParamFile::IdleCurrentMin, ParamFile::IdleCurrentMax};
    if (key == QLatin1String("runCurrent"))
        return {ParamFile::RunCurrentMin, ParamFile::RunCurrentMax};
    if (const ParamConv::ParamDefinition *def = ParamConv::findParamDefinition(key))
        return {def->minValue, def->maxValue};
    return {std::numeric_limits<int>::min(), std::numeric_limits<int>::max()};
}

QString fileNumber(const QJsonObject &root, const QString &key)
{
    return QString::number(root.value(key).toDouble(), 'g', QLocale::FloatingPointShortest);
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

double asShown(double value, int decimals)
{
    return QString::number(value, 'f', decimals).toDouble();
}

double shownDecimal(const QString &key, quint32 raw, double lead, int decimals, double minimum, double maximum)
{
    return qBound(minimum, asShown(ParamConv::decimalFromRaw(key, raw, lead), decimals), maximum);
}

int shownInteger(const QString &key, quint32 raw, int minimum, int maximum)
{
    return qBound(minimum, ParamConv::integerFromRaw(key, raw), maximum);
}

bool sameDecimal(const QString &key, double a, double b, double lead)
{
    quint32 rawA = 0;
    quint32 rawB = 0;
    if (ParamConv::rawFromDecimal(key, a, lead, &rawA) && ParamConv::rawFromDecimal(key, b, lead, &rawB)
        && ParamConv::decimalClassOf(key) != ParamConv::DecimalClass::None)
        return rawA == rawB;
    return std::fabs(a - b) <= SameNumberTolerance;
}

bool sameInteger(const QString &key, int a, int b)
{
    return ParamConv::rawFromInteger(key, a) == ParamConv::rawFromInteger(key, b);
}

QVector<Difference> compareFile(const QJsonObject &root, const ParamFile::Content &drive, double lead,
                                QStringList *unreadable)
{
    using Outcome = ParamFile::Loaded::Outcome;
    QVector<Difference> differences;
    const auto noteUnreadable = [unreadable](const QString &key) {
        if (unreadable)
            unreadable->append(key);
    };

    for (const QString &key : ParamFile::applyOrder()) {
        if (ParamFile::isIntegerKey(key)) {
            const IntegerRange range = integerRange(key);
            const ParamFile::Loaded loaded = ParamFile::loadInteger(root, key, range.minimum, range.maximum);
            if (loaded.outcome == Outcome::TypeError)
                noteUnreadable(key);
            if (loaded.outcome != Outcome::Applied || !drive.integers.contains(key))
                continue;
            const int driveValue = drive.integers.value(key);
            if (!sameInteger(key, static_cast<int>(loaded.value), driveValue))
                differences.append({key, fileNumber(root, key), QString::number(driveValue), unitOf(key)});
            continue;
        }
        const ParamFile::Loaded loaded = ParamFile::loadDecimal(root, key, std::numeric_limits<double>::lowest(),
                                                                std::numeric_limits<double>::max());
        if (loaded.outcome == Outcome::TypeError)
            noteUnreadable(key);
        if (loaded.outcome != Outcome::Applied || !drive.decimals.contains(key))
            continue;
        const double driveValue = drive.decimals.value(key);
        if (!sameDecimal(key, asShown(loaded.value), driveValue, lead))
            differences.append(
                {key, fileNumber(root, key), QString::number(driveValue, 'f', ShownDecimals), unitOf(key)});
    }

    const struct
    {
        const char *key;
        bool driveOn;
    } pushSwitches[] = {{"pos0PushEnable", drive.pos0PushEnable}, {"pos1PushEnable", drive.pos1PushEnable}};
    for (const auto &push : pushSwitches) {
        const QString key = QLatin1String(push.key);
        const ParamFile::Loaded loaded = ParamFile::loadBoolean(root, key);
        if (loaded.outcome == Outcome::TypeError)
            noteUnreadable(key);
        const bool fileOn = loaded.value != 0.0;
        if (loaded.outcome == Outcome::Applied && fileOn != push.driveOn)
            differences.append({key, onOff(fileOn), onOff(push.driveOn), QString()});
    }
    return differences;
}

}  // namespace ParamDiff
