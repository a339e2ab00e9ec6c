#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

// Unit conversions between the values the operator edits and the drive's
// register words, and the fixed table of the parameters this tool edits.
// Plain functions without widgets: the parameter manager, the parameter
// files and the command-line tool all convert through here.
namespace ParamConv {

// How a parameter's register value relates to the value the operator sees.
enum class ParamUnit {
    Position,    // signed 32-bit counts of 0.001 mm (positions, soft limits)
    Speed,       // unsigned 32-bit, 0.01 rpm of the screw
    ErrorSteps,  // encoder steps, 200 per revolution
    Torque,      // low byte, 1.7 per percent; the high byte belongs to another setting
    Smoothing,   // filter constant c, smoothing time 1000 / c ms
    Plain        // the register holds the shown number (times in ms)
};

struct ParamDefinition
{
    QString key;
    quint16 address;
    int words;              // 1 or 2 (low word first)
    quint16 scriptCopy;     // power-on script register that mirrors the value; 0 = none
    ParamUnit unit;
    int minValue;           // value box range of integer parameters (percent, ms)
    int maxValue;
    QString titleZh;
    QString titleEn;
};

// The editable parameters in the order the window registers their rows.
const QVector<ParamDefinition> &paramDefinitions();
// nullptr for an unknown key.
const ParamDefinition *findParamDefinition(const QString &key);

// The parameter's name in messages: Chinese when lang is "zh", English
// otherwise; an unknown key is returned unchanged.
QString labelOf(const QString &key, const QString &lang);

// Nearest integer, halves toward positive infinity (2.5 -> 3, -2.5 -> -2).
qint64 roundHalfUp(double x);
// Smallest integer not below x, ignoring the last bits of binary noise so that
// a value that is a whole number of units in decimal is not pushed up one.
qint64 ceilTolerant(double x);

// Smoothing time in ms -> filter constant, and back.
int smoothConst(int ms);
int smoothMsFromConst(quint32 raw);

// Torque percent range of a torque key: 20..90 for homing, 30..70 for pushing.
int torqueMinPercent(const QString &key);
int torqueMaxPercent(const QString &key);
// Percent -> torque code, the percent first clamped into the key's range.
quint16 torqueCode(const QString &key, int percent);
// Torque code (low byte of raw) -> percent clamped into the key's range.
int torquePercent(const QString &key, quint32 raw);
// The register word to write: the drive's high byte kept, the code in the low byte.
quint16 mergeTorqueByte(quint16 driveWord, quint16 code);

// mm <-> 0.001 mm counts.
qint64 positionToRaw(double mm);
double rawToPosition(quint32 raw);
// mm/s <-> 0.01 rpm at a screw lead (mm per revolution).
qint64 speedToRaw(double mmPerS, double leadMm);
double rawToSpeed(quint32 raw, double leadMm);
// mm <-> encoder steps (200 per revolution), rounded up to a whole step.
qint64 errorMmToSteps(double mm, double leadMm);
double stepsToErrorMm(quint32 steps, double leadMm);

// 32-bit value from two registers, low word first.
quint32 join32(quint16 low, quint16 high);
// A 32-bit raw value as the [low, high] words a two-register write sends.
QVector<quint16> split32(quint32 raw);

// How a decimal value box of this key converts (key tests are case-sensitive
// substring tests: "Pos" or "softLimit" is a position, else "Speed" a speed).
enum class DecimalClass { Position, Speed, ErrorSteps, None };
DecimalClass decimalClassOf(const QString &key);

// Operator's value -> raw, for a row with a decimal box and a row with an
// integer box. False when the value cannot be converted: a lead that is not
// positive for a speed or a threshold, or a result outside 32 bits.
bool rawFromDecimal(const QString &key, double value, double leadMm, quint32 *raw);
quint32 rawFromInteger(const QString &key, int value);

// Raw -> shown value, for a row with a decimal box and one with an integer box.
double decimalFromRaw(const QString &key, quint32 raw, double leadMm);
int integerFromRaw(const QString &key, quint32 raw);

// Any number in the row's unit -> raw, a fraction included (a torque code
// between two whole percents, a smoothing constant above 500), never held to
// the box's range: the one conversion of values that come from a file. False
// as rawFromDecimal, and for a torque code or a time outside its register.
bool rawFromNumber(const QString &key, double value, double leadMm, quint32 *raw);
// Raw -> the row's unit, unrounded.
double numberFromRaw(const QString &key, quint32 raw, double leadMm);
// Raw -> the number with the fewest decimals (at most 9) that converts back
// to raw, so a file or a box holding it writes the same register value; when
// no number does (a raw outside the row's range), the unrounded number.
double exactNumber(const QString &key, quint32 raw, double leadMm);
// The fewest decimals that show every encoder step of a threshold at this
// lead exactly (lead 5: 0.025 mm a step, 3 decimals); at least 2.
int thresholdDecimals(double leadMm);

}  // namespace ParamConv
