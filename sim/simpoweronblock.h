#pragma once

#include "simbus.h"

#include <QVector>

// The 300-word power-on block (0x012C to 0x0257) a drive leaves the factory
// with: the shipped register script, with the drive's identity, its stroke as
// the CW soft limit and half the stroke as position 2 written in.
QVector<quint16> factoryPowerOnBlock(const SimDriveConfig &config);

// One leading register assignment of a power-on block: the drive copies the
// word(s) at valueIndex (index into the block) to register `target` at start.
struct PowerOnAssignment
{
    quint16 target = 0;
    int valueIndex = 0;
    bool twoWords = false;
};

// The assignments at the head of the block, in order: rows whose tag has high
// byte 0x00 or 0x02 (the register itself, one value word) or 0x10 (register
// 0x00xx, two value words). The first other tag, or a zero tag, ends them.
QVector<PowerOnAssignment> powerOnAssignments(const QVector<quint16> &block);
