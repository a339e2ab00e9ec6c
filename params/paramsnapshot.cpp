#include "paramsnapshot.h"

#include "paramconversions.h"
#include "registerport.h"
#include "registers.h"

namespace ParamSnapshot {

namespace {

// Offsets inside the nine words of a position block (accel register first)
// and the six threshold words 0x000B..0x0010.
constexpr int BlockWords = 9;
constexpr int DecelOffset = 2;
constexpr int SpeedOffset = 4;
constexpr int PositionOffset = 7;
constexpr int ThresholdWords = 6;
constexpr int PosWarnOffset = 5;

struct RunLayout
{
    quint16 address;
    int count;
    QStringList keys;
};

QString key(const char *name)
{
    return QString::fromLatin1(name);
}

QStringList blockKeys(const QString &group)
{
    return {group + QLatin1String("Accel"), group + QLatin1String("Decel"), group + QLatin1String("Speed"),
            group + QLatin1String("Pos")};
}

RunLayout layoutOf(Run run)
{
    switch (run) {
    case Run::HomeTorque:
        return {Reg::HomeTorque, 1, {key("homeTorque")}};
    case Run::Pos0Block:
        return {Reg::Pos0Accel, BlockWords, blockKeys(key("pos0"))};
    case Run::Pos0PushTorque:
        return {Reg::Pos0PushTorque, 1, {key("pos0PushTorque")}};
    case Run::Pos0Mode:
        return {Reg::Pos0MotionMode, 1, {key("pos0PushEnable")}};
    case Run::Pos1Block:
        return {Reg::Pos1Accel, BlockWords, blockKeys(key("pos1"))};
    case Run::Pos1PushTorque:
        return {Reg::Pos1PushTorque, 1, {key("pos1PushTorque")}};
    case Run::Pos1Mode:
        return {Reg::Pos1MotionMode, 1, {key("pos1PushEnable")}};
    case Run::SoftLimitCCW:
        return {Reg::SoftLimitCCW, 2, {key("softLimitCCW")}};
    case Run::SoftLimitCW:
        return {Reg::SoftLimitCW, 2, {key("softLimitCW")}};
    case Run::Thresholds:
        return {Reg::DynamicErrorThreshold, ThresholdWords, {key("dynErr"), key("staErr"), key("posWarn")}};
    case Run::CurrentLimits:
        return {Reg::CurrentLimits, 1, {key("idleCurrent"), key("runCurrent")}};
    case Run::Smoothing:
        break;
    }
    return {Reg::SmoothingConstant, 1, {key("smoothMs")}};
}

}  // namespace

bool readRun(RegisterPort &port, Run run, Snapshot *s, int timeoutMs)
{
    const RunLayout layout = layoutOf(run);
    const QVector<quint16> w = port.read(layout.address, quint16(layout.count), timeoutMs);
    if (w.size() < layout.count) {
        s->unreadable << layout.keys;
        return false;
    }
    const QStringList &k = layout.keys;
    switch (run) {
    case Run::Pos0Block:
    case Run::Pos1Block:
        s->raw.insert(k[0], w[0]);
        s->raw.insert(k[1], w[DecelOffset]);
        s->raw.insert(k[2], ParamConv::join32(w[SpeedOffset], w[SpeedOffset + 1]));
        s->raw.insert(k[3], ParamConv::join32(w[PositionOffset], w[PositionOffset + 1]));
        break;
    case Run::HomeTorque:
    case Run::Pos0PushTorque:
    case Run::Pos1PushTorque:
        s->raw.insert(k[0], w[0] & 0xFF);  // the high byte belongs to another setting
        break;
    case Run::Pos0Mode:
        s->pos0PushEnable = w[0] == Reg::PushMode::Pos0On;
        break;
    case Run::Pos1Mode:
        s->pos1PushEnable = w[0] == Reg::PushMode::Pos1On;
        break;
    case Run::SoftLimitCCW:
    case Run::SoftLimitCW:
        s->raw.insert(k[0], ParamConv::join32(w[0], w[1]));
        break;
    case Run::Thresholds:
        s->raw.insert(k[0], w[0]);
        s->raw.insert(k[1], w[1]);
        s->raw.insert(k[2], w[PosWarnOffset]);
        break;
    case Run::CurrentLimits:
        s->raw.insert(k[0], w[0] & 0xFF);
        s->raw.insert(k[1], w[0] >> 8);
        break;
    case Run::Smoothing:
        s->raw.insert(k[0], w[0]);
        break;
    }
    return true;
}

Snapshot read(RegisterPort &port)
{
    Snapshot s;
    for (Run run : {Run::HomeTorque, Run::Pos0Block, Run::Pos0PushTorque, Run::Pos0Mode, Run::Pos1Block,
                    Run::Pos1PushTorque, Run::Pos1Mode, Run::SoftLimitCCW, Run::SoftLimitCW, Run::Thresholds,
                    Run::CurrentLimits, Run::Smoothing})
        readRun(port, run, &s, RegisterPort::ReadTimeoutMs);
    return s;
}

void fillContent(const Snapshot &snapshot, double lead, ParamFile::Content *content)
{
    for (auto it = snapshot.raw.constBegin(); it != snapshot.raw.constEnd(); ++it) {
        const bool current = it.key().endsWith(QLatin1String("Current"));
        content->values.insert(it.key(), current ? double(it.value()) : ParamConv::exactNumber(it.key(), it.value(), lead));
    }
    content->pos0PushEnable = snapshot.pos0PushEnable;
    content->pos1PushEnable = snapshot.pos1PushEnable;
}

QString namesOf(const QStringList &keys, const QString &lang)
{
    const bool zh = lang == QLatin1String("zh");
    QStringList names;
    for (const QString &key : keys) {
        if (key.endsWith(QLatin1String("PushEnable")))
            names << (key.startsWith(QLatin1String("pos0")) ? (zh ? QStringLiteral("位置 1 推壓模式") : QStringLiteral("Pos1 Push Mode"))
                                                            : (zh ? QStringLiteral("位置 2 推壓模式") : QStringLiteral("Pos2 Push Mode")));
        else
            names << ParamConv::labelOf(key, lang);
    }
    return names.join(zh ? QStringLiteral("、") : QStringLiteral(", "));
}

}  // namespace ParamSnapshot
