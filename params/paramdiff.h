#pragma once

#include "paramfile.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

// Whether a value on screen or in a parameter file differs from what the
// drive holds, judged as a write would see it: both values go through the
// conversion a write uses, so two values that become the same register word
// are the same. Without this, a drive value that a two-decimal box cannot show
// exactly (25 steps = 0.625 mm at lead 5 shows as 0.63, which writes 26 steps)
// would read as an edit right after it was read.
//
// Plain functions: the window's marks of unwritten edits and
// `vexa-cli params diff` share them.
namespace ParamDiff {

// The decimals of every decimal value box and of the parameter file.
constexpr int ShownDecimals = 2;

// "mm", "mm/s", "ms" or "%".
QString unitOf(const QString &key);

// A number rounded to `decimals` places, as a value box holding it shows it.
double asShown(double value, int decimals = ShownDecimals);

// The drive's raw value as a row's box would show it: converted, rounded to
// the box's decimals (decimal rows) and held within the box's range.
double shownDecimal(const QString &key, quint32 raw, double lead, int decimals, double minimum, double maximum);
int shownInteger(const QString &key, quint32 raw, int minimum, int maximum);

// True when writing a and writing b would send the same register value. A
// value that cannot be converted (no lead) is compared as a number.
bool sameDecimal(const QString &key, double a, double b, double lead);
bool sameInteger(const QString &key, int a, int b);

// One value of a parameter file that differs from the drive.
struct Difference
{
    QString key;
    QString fileValue;   // as the file writes it
    QString driveValue;  // as an export would write it
    QString unit;        // empty for the push switches
};

// The values of a parameter file (its root object) that differ from the
// drive's, in the order an import applies them, then the two push switches.
// `drive` holds the drive's values as an export records them (the value
// boxes' rounding and ranges already applied); `lead` is the drive's.
// File integers are rounded and held to their ranges as an import does.
// Keys the file lacks are not compared, as an import leaves them alone; keys
// it holds with a value of the wrong type go to `unreadable`.
QVector<Difference> compareFile(const QJsonObject &root, const ParamFile::Content &drive, double lead,
                                QStringList *unreadable = nullptr);

}  // namespace ParamDiff
