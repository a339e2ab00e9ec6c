// Arbitrary bytes as a parameter file, through the steps of an import: parse,
// compatibility with the connected drive, every value into its box. A refused
// file says why; both languages find the same differences; an applied value is
// finite, inside its box, with a clamp line exactly when it differs from the
// file's; a value of the wrong type is never applied. What was loaded, exported
// again, loads back exactly without a clamp or a question.

#include "fuzzcheck.h"
#include "paramconversions.h"
#include "paramfile.h"

#include <QJsonValue>

#include <cmath>

namespace {

using Outcome = ParamFile::Loaded::Outcome;

// The box ranges of the drive LXAZ-16L01-50-BC: integer rows from the table, positions to the stroke.
QPair<double, double> rangeOf(const QString &key)
{
    if (key == QLatin1String("idleCurrent"))
        return {ParamFile::IdleCurrentMin, ParamFile::IdleCurrentMax};
    if (key == QLatin1String("runCurrent"))
        return {ParamFile::RunCurrentMin, ParamFile::RunCurrentMax};
    if (const ParamConv::ParamDefinition *d = ParamConv::findParamDefinition(key); d && ParamFile::isIntegerKey(key))
        return {d->minValue, d->maxValue};
    return {0.0, key.contains(QLatin1String("Speed")) ? 50.0 : key.contains(QLatin1String("Err")) ? 10.0 : 50.0};
}

ParamFile::Loaded load(const QJsonObject &root, const QString &key)
{
    const auto [minimum, maximum] = rangeOf(key);
    return ParamFile::isIntegerKey(key) ? ParamFile::loadInteger(root, key, int(minimum), int(maximum))
                                        : ParamFile::loadDecimal(root, key, minimum, maximum);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), int(size));
    const ParamFile::Parsed parsed = ParamFile::parse(text, QStringLiteral("zh"));
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

    for (const QString &key : ParamFile::applyOrder()) {
        const ParamFile::Loaded loaded = load(parsed.root, key);
        const QJsonValue value = parsed.root.value(key);
        const bool number = value.isDouble() && std::isfinite(value.toDouble());
        FUZZ_CHECK((loaded.outcome == Outcome::Missing) == value.isUndefined(), "a missing value is skipped");
        FUZZ_CHECK((loaded.outcome == Outcome::TypeError) == (!value.isUndefined() && !number), "not a number: a type error");
        const auto [minimum, maximum] = rangeOf(key);
        double applied = minimum;
        if (loaded.outcome == Outcome::Applied) {
            applied = loaded.value;
            FUZZ_CHECK(std::isfinite(applied) && applied >= minimum && applied <= maximum, "an applied value fits its box");
            FUZZ_CHECK(loaded.clampLine.isEmpty() == !ParamFile::differs(applied, value.toDouble()),
                       "a clamp line exactly when the applied value differs from the file's");
        }
        if (ParamFile::isIntegerKey(key))
            content.integers.insert(key, int(applied));
        else
            content.decimals.insert(key, applied);
    }
    const ParamFile::Parsed again = ParamFile::parse(ParamFile::toFileText(content), QStringLiteral("en"));
    FUZZ_CHECK(again.ok, "an export parses");
    const auto fits = ParamFile::checkCompatibility(again.root, content.identity, QStringLiteral("en"));
    FUZZ_CHECK(fits.blocking.isEmpty() && fits.other.isEmpty(), "an export fits its drive without a question");
    for (const QString &key : ParamFile::applyOrder()) {
        const ParamFile::Loaded loaded = load(again.root, key);
        const double written = ParamFile::isIntegerKey(key) ? content.integers.value(key) : content.decimals.value(key);
        FUZZ_CHECK(loaded.outcome == Outcome::Applied && loaded.value == written && loaded.clampLine.isEmpty(),
                   "every exported value reads back exactly");
    }
    return 0;
}
