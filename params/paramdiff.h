#pragma once

#include "paramsnapshot.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

#include <functional>

// A parameter file against the drive, value by value, judged by the register
// value a write would send: the file's number goes through the conversion a
// write uses and is compared with the drive's register value, so a number
// that writes what the drive holds is equal however it is rounded, and a raw
// value outside a box's range (a push torque of 0) equals itself.
//
// Plain functions: the window's restore table and `vexa-cli params diff`
// and `params apply` share them.
namespace ParamDiff {

// "mm", "mm/s", "ms" or "%".
QString unitOf(const QString &key);

struct Range
{
    double minimum;
    double maximum;
};
// The range the window's value box of key holds on a drive of this lead and
// stroke: what an operator may enter, and so what a file may change a value to.
Range fileRange(const QString &key, double lead, int stroke);
using RangeOf = std::function<Range(const QString &key)>;

struct Row
{
    QString key;
    bool inFile = false;  // the file holds a usable value for key
    bool differs = false;
    bool outsideRange = false;  // differs, and the file's value lies outside the range: never written
    quint32 fileRaw = 0;  // what writing the file's value sends (push switches: 1 on, 0 off)
    quint32 driveRaw = 0;
    QString fileValue;    // as the file writes it; "—" when it lacks the key
    QString driveValue;
    QString unit;         // empty for the push switches
};

struct Comparison
{
    QVector<Row> rows;        // every value key in import order, then the two push switches
    QStringList unreadable;   // keys the file holds with a value of the wrong type
    QStringList outsideLines; // "key (file value, minimum … maximum)" for the rows outsideRange
    QVector<Row> differences() const;
};

// `drive` must be complete; `lead` is the drive's.
Comparison compare(const QJsonObject &root, const ParamSnapshot::Snapshot &drive, double lead,
                   const RangeOf &rangeOf);

// A number as a file or a table shows it: the shortest text that reads back
// the same, with at least minDecimals decimals.
QString numberText(double value, int minDecimals = 0);
// A value of key as the comparison shows it: decimal parameters with at least 2 decimals.
QString valueText(const QString &key, double value);

}  // namespace ParamDiff
