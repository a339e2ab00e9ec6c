// Arbitrary bytes as a parameter file, taken through the steps the window's
// import takes: parse, compatibility with the connected drive, then every
// value on its way into its value box.
//
// A refused file says why. A file is checked against the drive only when it
// records a lead above 0, and refused only when its family, size or stroke
// really differ; the lines quote the file's and the drive's texts verbatim.
// Every applied value is finite and inside its box's range, comes with a clamp
// line exactly when it differs from the file's, and a value of the wrong type
// is a type error, never applied. What was loaded, exported again from the
// same drive, loads back unchanged without any question, clamp or type error.

#include "fuzzcheck.h"
#include "paramconversions.h"
#include "paramfile.h"

#include <QDateTime>
#include <QJsonValue>

#include <cmath>

namespace {

using Outcome = ParamFile::Loaded::Outcome;

const QString En = QStringLiteral("en");
const QString Zh = QStringLiteral("zh");

// The connected drive: LXAZ-16L01-50-BC.
ParamFile::Identity connectedDrive()
{
    ParamFile::Identity drive;
    drive.family = QStringLiteral("LXAZ");
    drive.size = 16;
    drive.lead = 1.0;
    drive.stroke = 50;
    drive.direction = QStringLiteral("BC");
    drive.modelStr = QStringLiteral("LXAZ-16L01-50-BC");
    drive.logicVersion = 0x4103;
    drive.firmware = QStringLiteral("V1.20");
    drive.hardware = QStringLiteral("H2");
    return drive;
}

struct Range
{
    double minimum;
    double maximum;
};

// The value boxes' ranges as the window sets them for this drive: integer
// rows from the parameter table, positions up to the stroke, speeds up to the
// speed limit of the lead.
Range rangeOf(const QString &key, const ParamFile::Identity &drive)
{
    if (key == QLatin1String("idleCurrent"))
        return {double(ParamFile::IdleCurrentMin), double(ParamFile::IdleCurrentMax)};
    if (key == QLatin1String("runCurrent"))
        return {double(ParamFile::RunCurrentMin), double(ParamFile::RunCurrentMax)};
    if (ParamFile::isIntegerKey(key)) {
        const ParamConv::ParamDefinition *definition = ParamConv::findParamDefinition(key);
        FUZZ_CHECK(definition, "every integer key of a file is a parameter row");
        return {double(definition->minValue), double(definition->maxValue)};
    }
    if (key.contains(QLatin1String("Speed")))
        return {0.0, 50.0 * drive.lead};
    if (key.contains(QLatin1String("Pos")) || key.startsWith(QLatin1String("softLimit")))
        return {0.0, double(drive.stroke)};
    return {0.0, 10.0};
}

ParamFile::Loaded load(const QJsonObject &root, const QString &key, const Range &range)
{
    if (ParamFile::isIntegerKey(key))
        return ParamFile::loadInteger(root, key, int(range.minimum), int(range.maximum));
    return ParamFile::loadDecimal(root, key, range.minimum, range.maximum);
}

void checkCompatibility(const QJsonObject &root, const ParamFile::Identity &drive)
{
    const ParamFile::Compatibility en = ParamFile::checkCompatibility(root, drive, En);
    const ParamFile::Compatibility zh = ParamFile::checkCompatibility(root, drive, Zh);
    FUZZ_CHECK(en.blocking.size() == zh.blocking.size() && en.other.size() == zh.other.size(),
               "both languages find the same differences");

    const ParamFile::Identity file = ParamFile::identityOf(root);
    if (!(file.lead > 0)) {
        FUZZ_CHECK(en.blocking.isEmpty() && en.other.isEmpty(), "a file without a lead is not checked");
        return;
    }
    const bool familyDiffers = !file.family.isEmpty() && file.family != drive.family;
    const bool sizeDiffers = file.size > 0 && file.size != drive.size;
    const bool strokeDiffers = file.stroke > 0 && file.stroke != drive.stroke;
    FUZZ_CHECK(en.blocking.size() == int(familyDiffers) + int(sizeDiffers) + int(strokeDiffers),
               "a file is blocked for each of family, size and stroke that differs, and only then");
    if (familyDiffers) {
        FUZZ_CHECK(en.blocking.first() == QStringLiteral("Family: %1 → %2").arg(file.family, drive.family),
                   "the family line quotes both families verbatim");
    }
    if (!file.direction.isEmpty() && file.direction != drive.direction) {
        FUZZ_CHECK(en.other.contains(QStringLiteral("Direction: %1 → %2 (position meaning reversed)")
                                         .arg(file.direction, drive.direction)),
                   "the direction line quotes both directions verbatim");
    }
    if (!en.blocking.isEmpty()) {
        const QString message = ParamFile::blockedMessage(en, file.modelStr, En);
        FUZZ_CHECK(message.endsWith(QStringLiteral("\n\nFile: ")
                                    + (file.modelStr.isEmpty() ? QStringLiteral("—") : file.modelStr)),
                   "the refusal ends with the file's model verbatim");
        ParamFile::blockedMessage(zh, file.modelStr, Zh);
    }
    if (!en.other.isEmpty()) {
        FUZZ_CHECK(ParamFile::mismatchQuestion(en, En).contains(en.other.join(QLatin1Char('\n'))),
                   "the question lists every difference verbatim");
        ParamFile::mismatchQuestion(zh, Zh);
    }
}

// Loads every value as the window does; fills what an export would then write.
ParamFile::Content loadValues(const QJsonObject &root, const ParamFile::Identity &drive)
{
    ParamFile::Content content;
    QStringList typeErrors;
    QStringList clampLines;

    const ParamFile::Loaded push0 = ParamFile::loadBoolean(root, QStringLiteral("pos0PushEnable"));
    const ParamFile::Loaded push1 = ParamFile::loadBoolean(root, QStringLiteral("pos1PushEnable"));
    for (const auto &[key, loaded] : {std::pair{"pos0PushEnable", push0}, std::pair{"pos1PushEnable", push1}}) {
        const QJsonValue value = root.value(QLatin1String(key));
        FUZZ_CHECK((loaded.outcome == Outcome::Missing) == value.isUndefined(), "a missing switch is skipped");
        FUZZ_CHECK((loaded.outcome == Outcome::Applied) == value.isBool(), "only a boolean sets a switch");
        if (loaded.outcome == Outcome::Applied)
            FUZZ_CHECK(loaded.value == (value.toBool() ? 1.0 : 0.0), "a switch takes the file's state");
        if (loaded.outcome == Outcome::TypeError)
            typeErrors << QLatin1String(key);
    }
    content.pos0PushEnable = push0.value != 0.0;
    content.pos1PushEnable = push1.value != 0.0;

    for (const QString &key : ParamFile::applyOrder()) {
        const Range range = rangeOf(key, drive);
        const ParamFile::Loaded loaded = load(root, key, range);
        const QJsonValue value = root.value(key);
        FUZZ_CHECK((loaded.outcome == Outcome::Missing) == value.isUndefined(), "a missing value is skipped");
        const bool number = value.isDouble() && std::isfinite(value.toDouble());
        FUZZ_CHECK((loaded.outcome == Outcome::TypeError) == (!value.isUndefined() && !number),
                   "a value that is not a finite number is a type error");
        double applied = range.minimum;
        if (loaded.outcome == Outcome::Applied) {
            applied = loaded.value;
            FUZZ_CHECK(std::isfinite(applied), "an applied value is finite");
            FUZZ_CHECK(applied >= range.minimum && applied <= range.maximum, "an applied value fits its box");
            if (ParamFile::isIntegerKey(key))
                FUZZ_CHECK(applied == std::floor(applied), "an integer box gets an integer");
            FUZZ_CHECK(loaded.clampLine.isEmpty() == !ParamFile::differs(applied, value.toDouble()),
                       "a clamp line exactly when the applied value differs from the file's");
            FUZZ_CHECK(loaded.clampLine.isEmpty() || loaded.clampLine.startsWith(key + QStringLiteral(" (")),
                       "a clamp line names its key");
        } else {
            FUZZ_CHECK(loaded.clampLine.isEmpty(), "nothing applied, nothing clamped");
        }
        if (loaded.outcome == Outcome::TypeError)
            typeErrors << key;
        if (!loaded.clampLine.isEmpty())
            clampLines << loaded.clampLine;
        if (ParamFile::isIntegerKey(key))
            content.integers.insert(key, int(applied));
        else
            content.decimals.insert(key, applied);
    }

    const QString warning = ParamFile::importWarning(typeErrors, clampLines, En);
    FUZZ_CHECK(warning.isEmpty() == (typeErrors.isEmpty() && clampLines.isEmpty()),
               "a warning exactly when something was skipped or adjusted");
    ParamFile::importWarning(typeErrors, clampLines, Zh);
    ParamFile::positionOrderWarning(content.decimals.value(QStringLiteral("pos0Pos")),
                                    content.decimals.value(QStringLiteral("pos1Pos")), En);
    ParamFile::importedMessage(ParamFile::identityOf(root).modelStr, ParamFile::exportTimeOf(root), Zh);

    content.identity = drive;
    content.exportTime = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9));
    content.swVersion = QStringLiteral("1.0.0");
    return content;
}

void checkExportedAgain(const ParamFile::Content &content, const ParamFile::Identity &drive)
{
    const ParamFile::Parsed again = ParamFile::parse(ParamFile::toFileText(content), En);
    FUZZ_CHECK(again.ok, "an exported file parses");
    const ParamFile::Compatibility compatibility = ParamFile::checkCompatibility(again.root, drive, En);
    FUZZ_CHECK(compatibility.blocking.isEmpty() && compatibility.other.isEmpty(),
               "a file exported from the drive fits the drive without a question");
    const ParamFile::Identity identity = ParamFile::identityOf(again.root);
    FUZZ_CHECK(identity.family == drive.family && identity.size == drive.size && identity.lead == drive.lead
                   && identity.stroke == drive.stroke && identity.direction == drive.direction
                   && identity.modelStr == drive.modelStr && identity.logicVersion == drive.logicVersion,
               "the exported identity reads back");
    FUZZ_CHECK(ParamFile::exportTimeOf(again.root) == QLatin1String("2024-05-06 07:08:09"),
               "the export time reads back");
    FUZZ_CHECK(ParamFile::loadBoolean(again.root, QStringLiteral("pos0PushEnable")).value == content.pos0PushEnable
                   && ParamFile::loadBoolean(again.root, QStringLiteral("pos1PushEnable")).value
                          == content.pos1PushEnable,
               "the push switches read back");
    for (const QString &key : ParamFile::applyOrder()) {
        const ParamFile::Loaded loaded = load(again.root, key, rangeOf(key, drive));
        const double written = ParamFile::isIntegerKey(key) ? content.integers.value(key) : content.decimals.value(key);
        FUZZ_CHECK(loaded.outcome == Outcome::Applied, "every exported value loads");
        FUZZ_CHECK(loaded.value == written, "every exported value reads back exactly");
        FUZZ_CHECK(loaded.clampLine.isEmpty(), "an exported value needs no clamping");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), int(size));
    const ParamFile::Identity drive = connectedDrive();

    const ParamFile::Parsed parsed = ParamFile::parse(text, size % 2 ? Zh : En);
    if (!parsed.ok) {
        FUZZ_CHECK(!parsed.error.isEmpty(), "a refused file says why");
        FUZZ_CHECK(parsed.root.isEmpty(), "a refused file loads nothing");
        return 0;
    }
    const QJsonValue version = parsed.root.value(QStringLiteral("formatVersion"));
    FUZZ_CHECK(!version.isDouble() || version.toDouble() < ParamFile::FormatVersion + 1,
               "a newer format is refused");

    checkCompatibility(parsed.root, drive);
    checkExportedAgain(loadValues(parsed.root, drive), drive);
    return 0;
}
