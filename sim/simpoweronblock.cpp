#include "simpoweronblock.h"

#include "registers.h"

#include <QStringList>

namespace {

// The shipped script, one row per string, words in hexadecimal. The leading
// rows are register assignments (tag word = register, then the value; tag
// 0x10xx carries a 32-bit value, low word first); the rest is the drive's
// motion program, kept as shipped.
const char *const ShippedRows[] = {
    "000D 0064", "000E 3232", "1024 03E8 0000", "0098 00C8", "0099 00C8", "10D8 7530 0000",
    "106E 0000 0000", "1070 C350 0000", "000B 0019", "000C 0014", "0010 000F", "006C 0000",
    "00A1 0003", "00A5 0003", "00A6 0000", "00A7 0000", "00AD 0210", "00AE 0000", "02BC 4101",
    "02BD 0000", "02BE 0010", "02BF 000A", "02C0 0032", "006B 0000", "2014",
    "0000 0020 0004 0020 0099", "0004 0020 0004 0020 00AA", "030C 0000 030C 0020 00BB",
    "0314 0000 0314 0020 00B3", "0304 0000 0304 0020 00A3", "0200 0000 0300 0020 00A0",
    "03D0 0000 37D0 0020 00A0", "07D0 0000 37D0 0020 00C3", "30D0 0000 37D0 0020 00C9",
    "03A8 0000 57A8 0020 00A0", "07A8 0000 57A8 0020 00C6", "50A8 0000 57A8 0020 00D0",
    "10C0 0000 13D0 0020 00D7", "00D0 0000 03D0 0020 0114", "10A0 0000 13A8 0020 00DC",
    "00A8 0000 03A8 0020 0120", "1001 0000 1381 0021 00E1", "1002 0000 1382 0021 00E1",
    "0081 0000 0381 0021 00F4", "0082 0000 0382 0021 0104", "00C8 0000", "00A1 0003", "006C 0080",
    "3034", "00A1 0003", "3034", "00C8 0000", "00A1 0003", "006C 0080", "3034", "00C8 0000",
    "00A1 0003", "006C 0080", "00A4 0000", "3034", "00CB 8000", "6032", "00C8 0000", "006C 0090",
    "3034", "00CB 0000", "6032", "00C8 0000", "006C 0088", "3034", "00A0 0001", "3034",
    "00A0 0002", "3034", "00C8 0000", "00A1 0003", "006C 0090", "3034", "00C8 0000", "00A1 0003",
    "006C 0088", "3034", "00A0 0001", "006C 0080", "3034", "00A0 0002", "006C 0080", "3034",
    "0098 0032", "0099 0032", "10D8 7530 0000", "009E 0155", "00CB 83E9", "6000", "6000", "6000",
    "6000", "006C 0080", "50FA", "3034", "00A1 0003", "0098 00C8", "0099 00C8", "10D8 D4C0 0001",
    "10D0 0000 0000", "5005", "006C 00C0", "3034", "00A1 0003", "0098 00C8", "0099 00C8",
    "10D8 D4C0 0001", "10D0 61A8 0000", "5005", "006C 00A0", "3034", "0098 0032", "0099 0032",
    "10D8 7530 0000", "009E 0255", "00CB 8001", "3034", "0098 0032", "0099 0032", "10D8 7530 0000",
    "009E 0255", "00CB 0001", "3034",
};

void setAssignment(QVector<quint16> &block, quint16 target, quint32 value)
{
    for (const PowerOnAssignment &a : powerOnAssignments(block)) {
        if (a.target != target)
            continue;
        block[a.valueIndex] = static_cast<quint16>(value & 0xFFFF);
        if (a.twoWords)
            block[a.valueIndex + 1] = static_cast<quint16>(value >> 16);
        return;
    }
}

}  // namespace

QVector<PowerOnAssignment> powerOnAssignments(const QVector<quint16> &block)
{
    QVector<PowerOnAssignment> assignments;
    int i = 0;
    while (i < block.size()) {
        const quint16 tag = block[i];
        const quint16 kind = tag >> 8;
        if (kind == 0x10 && i + 2 < block.size()) {
            assignments.append({static_cast<quint16>(tag & 0x00FF), i + 1, true});
            i += 3;
        } else if (tag != 0 && (kind == 0x00 || kind == 0x02) && i + 1 < block.size()) {
            assignments.append({tag, i + 1, false});
            i += 2;
        } else {
            break;
        }
    }
    return assignments;
}

QVector<quint16> factoryPowerOnBlock(const SimDriveConfig &config)
{
    QVector<quint16> block;
    block.reserve(Reg::PowerOnBlockWords);
    for (const char *row : ShippedRows) {
        for (const QString &word : QString::fromLatin1(row).split(QLatin1Char(' ')))
            block.append(static_cast<quint16>(word.toUInt(nullptr, 16)));
    }
    Q_ASSERT(block.size() == Reg::PowerOnBlockWords);

    const quint32 strokeUm = quint32(config.stroke) * 1000;
    setAssignment(block, Reg::SoftLimitCCW, 0);
    setAssignment(block, Reg::SoftLimitCW, strokeUm);
    setAssignment(block, Reg::LogicVersion, config.logicVersion);
    setAssignment(block, Reg::FamilyCode, config.familyCode);
    setAssignment(block, Reg::SizeCode, config.size);
    setAssignment(block, Reg::ScrewLead, config.rawLead);
    setAssignment(block, Reg::Stroke, config.stroke);
    setAssignment(block, Reg::MotorDirection, config.motorDirection);

    const int position2 = Reg::Pos1Position - Reg::PowerOnBlockStart;
    block[position2] = static_cast<quint16>((strokeUm / 2) & 0xFFFF);
    block[position2 + 1] = static_cast<quint16>((strokeUm / 2) >> 16);
    return block;
}
