// vexa-cli params: export a drive's parameters to the window's JSON file
// format, show what a parameter file holds, and compare a file with a drive.

#include "actuatorcatalogue.h"
#include "cli.h"
#include "clicommands.h"
#include "connectionmanager.h"
#include "deviceinfo.h"
#include "modbustransport.h"
#include "modbusworker.h"
#include "paramconversions.h"
#include "paramdiff.h"
#include "paramfile.h"
#include "registers.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonValue>
#include <QLocale>
#include <QTimer>

namespace {

constexpr int IdentifyWaitMs = 5000;
constexpr int ReadTimeoutMs = 300;
constexpr int PositionBlockWords = 9;  // accel at +0, decel +2, speed +4/+5, position +7/+8
constexpr int ThresholdWords = 2;      // dynamic, static error thresholds

bool isRecognitionFailure(const QString &reason)
{
    return reason == QLatin1String("Unknown device family") || reason == QLatin1String("Device spec not recognized");
}

bool isPortFailure(const QString &reason)
{
    return reason == QLatin1String("Cannot open COM port") || reason == QStringLiteral("無法開啟通訊埠");
}

// Identifies the drive as the window does on connecting, then hands the port
// back. Ok with info filled, or the exit code after reporting why.
int identifyDrive(const CliContext &ctx, const QString &port, quint8 station, DeviceInfo *info)
{
    ModbusWorker worker;
    ConnectionManager manager(&worker);
    ctx.traceManager(manager);
    QEventLoop loop;
    int code = CliExit::Ok;
    QObject::connect(&manager, &ConnectionManager::connected, &loop, [&](const DeviceInfo &identified) {
        *info = identified;
        loop.quit();
    });
    QObject::connect(&manager, &ConnectionManager::connectionError, &loop, [&](const QString &reason) {
        if (isRecognitionFailure(reason) || isPortFailure(reason))
            code = ctx.fail(isPortFailure(reason) ? CliExit::PortUnavailable : CliExit::NotRecognised, reason);
        else
            code = ctx.failExchange(linkErrorFromReason(reason), port, station, ConnectionManager::IdentifyTimeoutMs);
        loop.quit();
    });
    QTimer::singleShot(IdentifyWaitMs, &loop, [&] {
        code = CliExit::NoReply;
        ctx.fail(code, QStringLiteral("Timeout"));
        loop.quit();
    });
    // Failures of identification arrive synchronously, before the loop runs.
    manager.connectToDevice(port, station, true);
    if (code == CliExit::Ok)
        loop.exec();
    manager.disconnectDevice();
    worker.wait();
    return code;
}

// An integer parameter as its value box would hold it: within the box's range.
int boxedInteger(const QString &key, quint32 raw)
{
    const int value = ParamConv::integerFromRaw(key, raw);
    const ParamConv::ParamDefinition *def = ParamConv::findParamDefinition(key);
    return def ? qBound(def->minValue, value, def->maxValue) : value;
}

// Reads everything a file records; throws ModbusError when a read fails.
ParamFile::Content readContent(ModbusTransport &link, quint8 station, const DeviceInfo &info)
{
    const auto read = [&](quint16 address, int count) {
        return link.readRegisters(station, address, static_cast<quint16>(count), ReadTimeoutMs);
    };
    const double lead = info.lead;
    ParamFile::Content c;

    c.integers.insert(QStringLiteral("homeTorque"), boxedInteger(QStringLiteral("homeTorque"), read(Reg::HomeTorque, 1)[0] & 0xFF));
    const struct
    {
        QString group;
        quint16 block;
        quint16 mode;
        quint16 pushOn;
        quint16 pushTorque;
    } groups[] = {
        {QStringLiteral("pos0"), Reg::Pos0Accel, Reg::Pos0MotionMode, Reg::PushMode::Pos0On, Reg::Pos0PushTorque},
        {QStringLiteral("pos1"), Reg::Pos1Accel, Reg::Pos1MotionMode, Reg::PushMode::Pos1On, Reg::Pos1PushTorque},
    };
    for (const auto &g : groups) {
        const QVector<quint16> w = read(g.block, PositionBlockWords);
        c.integers.insert(g.group + QLatin1String("Accel"), boxedInteger(g.group + QLatin1String("Accel"), w[0]));
        c.integers.insert(g.group + QLatin1String("Decel"), boxedInteger(g.group + QLatin1String("Decel"), w[2]));
        const QString speed = g.group + QLatin1String("Speed");
        const QString position = g.group + QLatin1String("Pos");
        c.decimals.insert(speed, ParamDiff::asShown(ParamConv::decimalFromRaw(speed, ParamConv::join32(w[4], w[5]), lead)));
        c.decimals.insert(position, ParamDiff::asShown(ParamConv::decimalFromRaw(position, ParamConv::join32(w[7], w[8]), lead)));
        const QString torque = g.group + QLatin1String("PushTorque");
        c.integers.insert(torque, boxedInteger(torque, read(g.pushTorque, 1)[0] & 0xFF));
    }
    c.pos0PushEnable = read(Reg::Pos0MotionMode, 1)[0] == Reg::PushMode::Pos0On;
    c.pos1PushEnable = read(Reg::Pos1MotionMode, 1)[0] == Reg::PushMode::Pos1On;

    for (const auto &limit : {std::make_pair(QStringLiteral("softLimitCCW"), Reg::SoftLimitCCW),
                              std::make_pair(QStringLiteral("softLimitCW"), Reg::SoftLimitCW)}) {
        const QVector<quint16> w = read(limit.second, 2);
        c.decimals.insert(limit.first, ParamDiff::asShown(ParamConv::decimalFromRaw(limit.first, ParamConv::join32(w[0], w[1]), lead)));
    }
    const QVector<quint16> thresholds = read(Reg::DynamicErrorThreshold, ThresholdWords);
    c.decimals.insert(QStringLiteral("dynErr"), ParamDiff::asShown(ParamConv::decimalFromRaw(QStringLiteral("dynErr"), thresholds[0], lead)));
    c.decimals.insert(QStringLiteral("staErr"), ParamDiff::asShown(ParamConv::decimalFromRaw(QStringLiteral("staErr"), thresholds[1], lead)));

    const quint16 currents = read(Reg::CurrentLimits, 1)[0];
    c.integers.insert(QStringLiteral("idleCurrent"), qBound(ParamFile::IdleCurrentMin, currents & 0xFF, ParamFile::IdleCurrentMax));
    c.integers.insert(QStringLiteral("runCurrent"), qBound(ParamFile::RunCurrentMin, currents >> 8, ParamFile::RunCurrentMax));
    c.integers.insert(QStringLiteral("smoothMs"), boxedInteger(QStringLiteral("smoothMs"), read(Reg::SmoothingConstant, 1)[0]));

    ParamFile::Identity &id = c.identity;
    id.family = info.family;
    id.size = info.size;
    id.lead = info.lead;
    id.stroke = info.stroke;
    id.direction = ParamFile::directionOf(info.model);
    id.modelStr = info.model;
    id.logicVersion = info.logicVersion;
    id.firmware = info.fwVersion;
    id.hardware = info.hwVersion;
    c.exportTime = QDateTime::currentDateTime();
    c.swVersion = QStringLiteral(VEXA_APP_VERSION);
    return c;
}

// Identifies the drive, then reads what a parameter file records from it.
// Ok with both filled, or the exit code after reporting why.
int readDrive(const CliContext &ctx, const QString &portName, quint8 station, DeviceInfo *info,
              ParamFile::Content *content)
{
    const int identified = identifyDrive(ctx, portName, station, info);
    if (identified != CliExit::Ok)
        return identified;

    auto port = openCliPort(ctx, portName);
    if (!port)
        return CliExit::PortUnavailable;
    ModbusTransport link(ModbusTransport::Pacing::FixedSleep, port.get());
    ctx.traceLink(link);
    try {
        *content = readContent(link, station, *info);
    } catch (const ModbusError &e) {
        return ctx.failExchange(e, portName, station, ReadTimeoutMs);
    }
    return CliExit::Ok;
}

// The options of a command that talks to one drive: --station in range and
// --port and the option named `required` present; false after reporting the
// usage error, with its exit code in *code.
bool parseDriveOptions(const CliContext &ctx, CliOptions &options, const char *required, qint64 *station,
                       int *code)
{
    if (!options.parse(ctx.arguments.mid(1)) || !options.number(QStringLiteral("station"), 1, 247, *station)) {
        *code = ctx.usage(options.error());
        return false;
    }
    for (const QString &name : {QStringLiteral("port"), QString::fromLatin1(required)}) {
        if (!options.has(name)) {
            *code = ctx.usage(QStringLiteral("missing --%1").arg(name));
            return false;
        }
    }
    return true;
}

int paramsExport(const CliContext &ctx)
{
    CliOptions options({"port", "station", "out"}, {});
    qint64 station = 0;
    int code = CliExit::Ok;
    if (!parseDriveOptions(ctx, options, "out", &station, &code))
        return code;
    const QString portName = options.value(QStringLiteral("port"));
    const QString outPath = options.value(QStringLiteral("out"));

    DeviceInfo info;
    ParamFile::Content content;
    code = readDrive(ctx, portName, quint8(station), &info, &content);
    if (code != CliExit::Ok)
        return code;

    // A failure leaves an older file of the same name intact.
    QString error;
    if (!ParamFile::saveFile(outPath, ParamFile::toFileText(content), &error))
        return ctx.fail(CliExit::Failure, QStringLiteral("cannot write %1: %2").arg(outPath, error));
    ctx.out << "exported " << info.model << " (station " << station << ") to " << outPath << '\n';
    ctx.out.flush();
    return CliExit::Ok;
}

QString shownValue(const QJsonValue &value, const QString &unit)
{
    if (value.isUndefined())
        return QStringLiteral("(missing)");
    if (value.isBool())
        return value.toBool() ? QStringLiteral("on") : QStringLiteral("off");
    if (!value.isDouble())
        return QStringLiteral("(not a number)");
    const QString number = QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    return unit.isEmpty() ? number : number + QLatin1Char(' ') + unit;
}

// The root object of the parameter file at path; false after reporting why
// it cannot be used in *code.
bool loadParamFile(const CliContext &ctx, const QString &path, QJsonObject *root, int *code)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *code = ctx.usage(QStringLiteral("cannot open %1: %2").arg(path, file.errorString()));
        return false;
    }
    // A device node or a huge file would never finish reading.
    QByteArray text;
    if (!ParamFile::readLimited(file, &text)) {
        *code = ctx.usage(ParamFile::tooLargeMessage(path, QStringLiteral("en")));
        return false;
    }
    const ParamFile::Parsed parsed = ParamFile::parse(text, QStringLiteral("en"));
    if (!parsed.ok) {
        *code = ctx.usage(QStringLiteral("%1: %2").arg(path, parsed.error));
        return false;
    }
    *root = parsed.root;
    return true;
}

int paramsShow(const CliContext &ctx)
{
    CliOptions options({}, {});
    if (!options.parse(ctx.arguments.mid(1)))
        return ctx.usage(options.error());
    if (options.positional().size() != 1)
        return ctx.usage(QStringLiteral("params show needs one FILE"));
    QJsonObject root;
    int code = CliExit::Ok;
    if (!loadParamFile(ctx, options.positional().first(), &root, &code))
        return code;

    const ParamFile::Identity id = ParamFile::identityOf(root);
    const auto line = [&](const char *name, const QString &value) {
        ctx.out << QString::fromLatin1(name).leftJustified(12) << value << '\n';
    };
    line("Model", id.modelStr);
    line("Family", id.family);
    line("Size", QString::number(id.size));
    line("Lead", QStringLiteral("%1 mm").arg(QString::number(id.lead, 'g', QLocale::FloatingPointShortest)));
    line("Stroke", QStringLiteral("%1 mm").arg(id.stroke));
    line("Direction", id.direction);
    line("Logic", ActuatorCatalogue::logicVersionText(id.logicVersion));
    line("Firmware", id.firmware);
    line("Hardware", id.hardware);
    line("Exported", QStringLiteral("%1 by %2").arg(ParamFile::exportTimeOf(root),
                                                     root.value(QStringLiteral("swVersion")).toString()));
    line("Format", shownValue(root.value(QStringLiteral("formatVersion")), QString()));
    ctx.out << '\n';

    ctx.out << QStringLiteral("Parameter").leftJustified(20) << QStringLiteral("Key").leftJustified(16) << "Value\n";
    QStringList keys = ParamFile::applyOrder();
    keys << QStringLiteral("pos0PushEnable") << QStringLiteral("pos1PushEnable");
    for (const QString &key : keys) {
        const bool push = key.endsWith(QLatin1String("PushEnable"));
        const QString label = push ? (key.startsWith(QLatin1String("pos0")) ? QStringLiteral("Pos1 Push")
                                                                             : QStringLiteral("Pos2 Push"))
                                   : ParamConv::labelOf(key, QStringLiteral("en"));
        ctx.out << label.leftJustified(20) << key.leftJustified(16)
                << shownValue(root.value(key), push ? QString() : ParamDiff::unitOf(key)) << '\n';
    }
    ctx.out.flush();
    return CliExit::Ok;
}

// One line per value that differs, as the window would see it: a file value
// that only differs from the drive's below the resolution a write sends is equal.
int paramsDiff(const CliContext &ctx)
{
    CliOptions options({"port", "station", "file"}, {});
    qint64 station = 0;
    int code = CliExit::Ok;
    if (!parseDriveOptions(ctx, options, "file", &station, &code))
        return code;
    const QString path = options.value(QStringLiteral("file"));
    // The file first: a file that cannot be used needs no trip to the drive.
    QJsonObject root;
    if (!loadParamFile(ctx, path, &root, &code))
        return code;

    DeviceInfo info;
    ParamFile::Content drive;
    code = readDrive(ctx, options.value(QStringLiteral("port")), quint8(station), &info, &drive);
    if (code != CliExit::Ok)
        return code;

    QStringList unreadable;
    const QVector<ParamDiff::Difference> differences = ParamDiff::compareFile(root, drive, info.lead, &unreadable);
    for (const QString &key : qAsConst(unreadable))
        ctx.err << key << ": not a valid value in " << path << ", not compared\n";
    for (const ParamDiff::Difference &d : differences) {
        const QString line = d.key.leftJustified(16) + QStringLiteral("file %1").arg(d.fileValue).leftJustified(16)
                             + QStringLiteral("drive %1").arg(d.driveValue).leftJustified(17) + d.unit;
        ctx.out << line.trimmed() << '\n';
    }
    ctx.out.flush();
    ctx.err.flush();
    return differences.isEmpty() ? CliExit::Ok : CliExit::Differs;
}

}  // namespace

int cmdParams(const CliContext &ctx)
{
    const QString action = ctx.arguments.value(0);
    if (action == QLatin1String("export"))
        return paramsExport(ctx);
    if (action == QLatin1String("show"))
        return paramsShow(ctx);
    if (action == QLatin1String("diff"))
        return paramsDiff(ctx);
    if (action.isEmpty())
        return ctx.usage(QStringLiteral("params needs export, show or diff"));
    return ctx.usage(QStringLiteral("unknown params action '%1'").arg(action));
}
