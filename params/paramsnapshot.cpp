#include "paramsnapshot.h"

#include "paramconversions.h"
#include "registerport.h"
#include "registers.h"

namespace ParamSnapshot {

using namespace Layout;

Snapshot read(const ReadWords &read)
{
    Snapshot s;
    // One read per register run; the keys it carries fail together.
    const auto run = [&](quint16 address, int count, const QStringList &keys) {
        const QVector<quint16> words = read(address, static_cast<quint16>(count));
        if (words.size() < count) {
            s.unreadable << keys;
            return QVector<quint16>();
        }
        return words;
    };
    const auto key = [](const char *name) { return QString::fromLatin1(name); };

    QVector<quint16> w = run(Reg::HomeTorque, 1, {key("homeTorque")});
    if (!w.isEmpty())
        s.raw.insert(key("homeTorque"), w[0] & 0xFF);
    const struct
    {
        QString group;
        quint16 block;
        quint16 mode;
        quint16 pushOn;
        quint16 torque;
    } groups[] = {
        {key("pos0"), Reg::Pos0Accel, Reg::Pos0MotionMode, Reg::PushMode::Pos0On, Reg::Pos0PushTorque},
        {key("pos1"), Reg::Pos1Accel, Reg::Pos1MotionMode, Reg::PushMode::Pos1On, Reg::Pos1PushTorque},
    };
    for (const auto &g : groups) {
        const QStringList keys = {g.group + QLatin1String("Accel"), g.group + QLatin1String("Decel"),
                                  g.group + QLatin1String("Speed"), g.group + QLatin1String("Pos")};
        w = run(g.block, BlockWords, keys);
        if (!w.isEmpty()) {
            s.raw.insert(keys[0], w[0]);
            s.raw.insert(keys[1], w[DecelOffset]);
            s.raw.insert(keys[2], ParamConv::join32(w[SpeedOffset], w[SpeedOffset + 1]));
            s.raw.insert(keys[3], ParamConv::join32(w[PositionOffset], w[PositionOffset + 1]));
        }
        const QString torque = g.group + QLatin1String("PushTorque");
        w = run(g.torque, 1, {torque});
        if (!w.isEmpty())
            s.raw.insert(torque, w[0] & 0xFF);
        w = run(g.mode, 1, {g.group + QLatin1String("PushEnable")});
        if (!w.isEmpty())
            (g.group == QLatin1String("pos0") ? s.pos0PushEnable : s.pos1PushEnable) = w[0] == g.pushOn;
    }
    for (const auto &limit : {std::make_pair(key("softLimitCCW"), Reg::SoftLimitCCW),
                              std::make_pair(key("softLimitCW"), Reg::SoftLimitCW)}) {
        w = run(limit.second, 2, {limit.first});
        if (!w.isEmpty())
            s.raw.insert(limit.first, ParamConv::join32(w[0], w[1]));
    }
    w = run(Reg::DynamicErrorThreshold, ThresholdWords, {key("dynErr"), key("staErr"), key("posWarn")});
    if (!w.isEmpty()) {
        s.raw.insert(key("dynErr"), w[0]);
        s.raw.insert(key("staErr"), w[1]);
        s.raw.insert(key("posWarn"), w[PosWarnOffset]);
    }
    w = run(Reg::CurrentLimits, 1, {key("idleCurrent"), key("runCurrent")});
    if (!w.isEmpty()) {
        s.raw.insert(key("idleCurrent"), w[0] & 0xFF);
        s.raw.insert(key("runCurrent"), w[0] >> 8);
    }
    w = run(Reg::SmoothingConstant, 1, {key("smoothMs")});
    if (!w.isEmpty())
        s.raw.insert(key("smoothMs"), w[0]);
    return s;
}

Snapshot read(RegisterPort &port)
{
    return read([&port](quint16 address, quint16 count) { return port.read(address, count); });
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
