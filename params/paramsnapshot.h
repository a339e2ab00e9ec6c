#pragma once

#include "paramfile.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

class RegisterPort;

// Everything a parameter file records, read from the drive as register
// values: the one place the registers of the parameters are laid out and
// decoded. The window's reads, export and compare and every vexa-cli params
// command read through here, so a file always holds what the drive holds.
namespace ParamSnapshot {

// The register runs read in one request each; the keys of a run fail together.
enum class Run {
    HomeTorque,
    Pos0Block,  // Position 1: accel, decel, speed, position (nine words from the accel register)
    Pos0PushTorque,
    Pos0Mode,   // the push switch
    Pos1Block,
    Pos1PushTorque,
    Pos1Mode,
    SoftLimitCCW,
    SoftLimitCW,
    Thresholds,  // dynamic, static and position-warning thresholds (six words)
    CurrentLimits,
    Smoothing,
};

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

// Reads one run into snapshot; when it fails, its keys go to unreadable and false is returned.
bool readRun(RegisterPort &port, Run run, Snapshot *snapshot, int timeoutMs);

// Reads every value, push torques whatever the push mode; a failed read
// only adds its keys to unreadable.
Snapshot read(RegisterPort &port);

// The values of a complete snapshot as a file holds them: each the number
// with the fewest decimals that converts back to the drive's register value.
void fillContent(const Snapshot &snapshot, double lead, ParamFile::Content *content);

// "Pos1 Speed, Soft Limit CW" for the keys, in lang.
QString namesOf(const QStringList &keys, const QString &lang);

}  // namespace ParamSnapshot
