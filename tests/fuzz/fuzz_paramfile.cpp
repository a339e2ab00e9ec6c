// Arbitrary bytes as a parameter file through an import: a refused file says
// why, both languages find the same differences, an applied value fits its box
// with a clamp line exactly when it differs from the file's, a value of the
// wrong type is never applied, and what was loaded exports and loads back exactly.

#include "fuzzcheck.h"
#include "paramconversions.h"
#include "paramfile.h"

#include <QJsonValue>

#include <cmath>

namespace {

// The boxes of the drive LXAZ-16L01-50-BC: integer rows from the table, positions and speeds to 50.
ParamFile::Loaded load(const QJsonObject &root, const QString &key, double *minimum, double *maximum)
{
    const ParamConv::ParamDefinition *d = ParamConv::findParamDefinition(key);
    const bool idle = key == QLatin1String("idleCurrent"), run = key == QLatin1String("runCurrent");
    *minimum = idle ? ParamFile::IdleCurrentMin : run ? ParamFile::RunCurrentMin : d && d->maxValue ? d->minValue : 0;
    *maximum = idle ? ParamFile::IdleCurrentMax : run ? ParamFile::RunCurrentMax : d && d->maxValue ? d->maxValue : 50;
    return ParamFile::isIntegerKey(key) ? ParamFile::loadInteger(root, key, int(*minimum), int(*maximum))
                                        : ParamFile::loadDecimal(root, key, *minimum, *maximum);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const ParamFile::Parsed parsed = ParamFile::parse(QByteArray(reinterpret_cast<const char *>(data), int(size)), "zh");
    FUZZ_CHECK(parsed.ok == parsed.error.isEmpty(), "a refused file says why");
    if (!parsed.ok)
        return 0;
    ParamFile::Content content;
    content.identity = {QStringLiteral("LXAZ"), 16, 1.0, 50, QStringLiteral("BC"), QStringLiteral("LXAZ-16L01-50-BC"),
                        0x4103, QStringLiteral("V1.2"), QStringLiteral("H2")};
    const auto en = ParamFile::checkCompatibility(parsed.root, content.identity, QStringLiteral("en"));
    const auto zh = ParamFile::checkCompatibility(parsed.root, content.identity, QStringLiteral("zh"));
    FUZZ_CHECK(en.blocking.size() == zh.blocking.size() && en.other.size() == zh.other.size(), "same in both languages");
    FUZZ_CHECK(ParamFile::identityOf(parsed.root).lead > 0 || (en.blocking.isEmpty() && en.other.isEmpty()),
               "a file without a lead is not checked");
    ParamFile::blockedMessage(en, ParamFile::identityOf(parsed.root).modelStr, QStringLiteral("en"));

    double minimum = 0, maximum = 0;
    for (const QString &key : ParamFile::applyOrder()) {
        const ParamFile::Loaded loaded = load(parsed.root, key, &minimum, &maximum);
        const QJsonValue value = parsed.root.value(key);
        const bool number = value.isDouble() && std::isfinite(value.toDouble());
        FUZZ_CHECK((loaded.outcome == ParamFile::Loaded::Outcome::Missing) == value.isUndefined(), "missing: skipped");
        FUZZ_CHECK((loaded.outcome == ParamFile::Loaded::Outcome::TypeError) == (!value.isUndefined() && !number),
                   "not a finite number: a type error");
        const bool applied = loaded.outcome == ParamFile::Loaded::Outcome::Applied;
        FUZZ_CHECK(!applied || (loaded.value >= minimum && loaded.value <= maximum), "an applied value fits its box");
        FUZZ_CHECK(!applied || loaded.clampLine.isEmpty() == !ParamFile::differs(loaded.value, value.toDouble()),
                   "a clamp line exactly when the applied value differs from the file's");
        content.values.insert(key, applied ? loaded.value : minimum);
    }
    const ParamFile::Parsed again = ParamFile::parse(ParamFile::toFileText(content), QStringLiteral("en"));
    const auto fits = ParamFile::checkCompatibility(again.root, content.identity, QStringLiteral("en"));
    FUZZ_CHECK(again.ok && fits.blocking.isEmpty() && fits.other.isEmpty(), "an export fits its drive");
    for (const QString &key : ParamFile::applyOrder()) {
        const ParamFile::Loaded loaded = load(again.root, key, &minimum, &maximum);
        const double written = content.values.value(key);
        FUZZ_CHECK(loaded.outcome == ParamFile::Loaded::Outcome::Applied && loaded.value == written
                       && loaded.clampLine.isEmpty(), "every exported value reads back exactly");
    }
    return 0;
}
