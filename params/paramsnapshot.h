#pragma once

#include "paramfile.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

#include <functional>

class RegisterPort;

// Everything a parameter file records, read from the drive as register
// values. The window's export and compare and every vexa-cli params command
// read through here, so a file always holds what the drive holds.
namespace ParamSnapshot {

// Offsets inside the nine words read from a position block (Accel register
// first), and the six threshold words 0x000B..0x0010 (dynamic, static, ...,
// position warning).
namespace Layout {
constexpr int BlockWords = 9;
constexpr int AccelOffset = 0;
constexpr int DecelOffset = 2;
constexpr int SpeedOffset = 4;
constexpr int PositionOffset = 7;
constexpr int ThresholdWords = 6;
constexpr int PosWarnOffset = 5;
}  // namespace Layout

// Reads count registers from address; fewer words than asked is a failure.
using ReadWords = std::function<QVector<quint16>(quint16 address, quint16 count)>;

struct Snapshot
{
    // Every parameter row's register value (torques: the low byte), and
    // "idleCurrent" and "runCurrent" (the bytes of register 0x000E).
    QMap<QString, quint32> raw;
    bool pos0PushEnable = false;
    bool pos1PushEnable = false;
    // Keys whose registers did not answer, in file order; the push switches
    // by "pos0PushEnable" and "pos1PushEnable".
    QStringList unreadable;
    bool complete() const { return unreadable.isEmpty(); }
};

// Reads every value, push torques whatever the push mode; a failed read
// only adds its keys to unreadable.
Snapshot read(const ReadWords &read);
Snapshot read(RegisterPort &port);

// The values of a complete snapshot as a file holds them: each the number
// with the fewest decimals that converts back to the drive's register value.
void fillContent(const Snapshot &snapshot, double lead, ParamFile::Content *content);

// "Pos1 Speed, Soft Limit CW" for the keys, in lang.
QString namesOf(const QStringList &keys, const QString &lang);

}  // namespace ParamSnapshot
