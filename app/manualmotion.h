#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

// The numbers behind the monitor tab's manual motion and live display: speeds
// in the drive's 0.01 rpm unit at a given screw lead, nudge distances in
// 0.001 mm, the nudge step list and the jog speed limit of a drive.
namespace ManualMotion {

constexpr int DefaultJogLimit = 15;        // mm/s, a drive without a catalogue entry
constexpr int DisconnectedJogLimit = 50;   // mm/s, the jog row before any drive is known
constexpr int NudgeSpeedMmPerS = 5;

// 0.01, 0.05, 0.1, 0.5, 1.0 and 5.0 mm.
const QVector<double> &nudgeSteps();
// Index of the step nearest to mm; the lower index wins a tie.
int nearestNudgeStep(double mm);

// The catalogue's maximum jog speed for the family and size, else DefaultJogLimit.
int jogSpeedLimit(const QString &family, int size);

// A lead of zero (an unprogrammed drive) or less cannot turn mm/s into rpm.
bool isUsableLead(double lead);

// mm/s at the box (fraction cut off, at least 1) as 0.01 rpm, at least 1.
// The lead must be usable.
quint32 jogSpeedValue(double mmPerS, double lead);
// The fixed nudge speed as 0.01 rpm. The lead must be usable.
quint32 nudgeSpeedValue(double lead);
// The signed nudge distance in 0.001 mm: at least 1 forward, the negated step backward.
qint32 nudgeDistance(double stepMm, bool forward);

// Two decimals in fixed notation; a value that would round to zero reads
// "0.00", never "-0.00".
QString fixedTwo(double value);

}  // namespace ManualMotion
