// vexa-cli params: export a drive's parameters to the window's JSON file
// format, show what a parameter file holds, compare a file with a drive and
// write its differences into the drive.

#include "actuatorcatalogue.h"
#include "cli.h"
#include "clicommands.h"
#include "connectionmanager.h"
#include "deviceinfo.h"
#include "eventlog.h"
#include "modbustransport.h"
#include "modbusworker.h"
#include "paramapply.h"
#include "paramconversions.h"
#include "paramdiff.h"
#include "paramfile.h"
#include "paramsnapshot.h"
#include "registers.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonValue>
#include <QLocale>
#include <QTimer>

namespace {

constexpr int IdentifyWaitMs = 5000;
constexpr int ReadTimeoutMs = 300;

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

ParamFile::Identity identityOf(const DeviceInfo &info)
{
    ParamFile::Identity id;
    id.family = info.family;
    id.size = info.size;
    id.lead = info.lead;
    id.stroke = info.stroke;
    id.direction = ParamFile::directionOf(info.model);
    id.modelStr = info.model;
    id.logicVersion = info.logicVersion;
    id.firmware = info.fwVersion;
    id.hardware = info.hwVersion;
    return id;
}

ParamSnapshot::Snapshot readSnapshot(ModbusTransport &link, quint8 station)
{
    return ParamSnapshot::read([&](quint16 address, quint16 count) {
        try {
            return link.readRegisters(station, address, count, ReadTimeoutMs);
        } catch (const ModbusError &) {
            return QVector<quint16>();
        }
    });
}

// A drive opened for a params command: identified, then its port held for the exchange.
struct DriveSession
{
    DeviceInfo info;
    std::unique_ptr<QIODevice> port;
    std::unique_ptr<ModbusTransport> link;
};

// Identifies the drive and opens its port. Ok, or the exit code after reporting why.
int openDrive(const CliContext &ctx, const QString &portName, quint8 station, DriveSession *session)
{
    const int identified = identifyDrive(ctx, portName, station, &session->info);
    if (identified != CliExit::Ok)
        return identified;
    session->port = openCliPort(ctx, portName);
    if (!session->port)
        return CliExit::PortUnavailable;
    session->link = std::make_unique<ModbusTransport>(ModbusTransport::Pacing::FixedSleep, session->port.get());
    ctx.traceLink(*session->link);
    return CliExit::Ok;
}

// Every value a file records; Ok, or NoReply after naming what could not be read.
int readWhole(const CliContext &ctx, DriveSession &session, quint8 station, ParamSnapshot::Snapshot *snapshot)
{
    *snapshot = readSnapshot(*session.link, station);
    if (snapshot->complete())
        return CliExit::Ok;
    return ctx.fail(CliExit::NoReply, QStringLiteral("could not read from the drive: %1")
                                          .arg(ParamSnapshot::namesOf(snapshot->unreadable, QStringLiteral("en"))));
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
    // A target that could never take the file is refused before the drive is read.
    const FileError refused = FileOutput::checkTarget(outPath);
    if (refused.failed())
        return ctx.fail(CliExit::Failure, QStringLiteral("cannot write %1: %2").arg(outPath, refused.reason(QStringLiteral("en"))));

    DriveSession session;
    code = openDrive(ctx, portName, quint8(station), &session);
    if (code != CliExit::Ok)
        return code;
    // A value that cannot be read leaves no file rather than a file that is not the drive's.
    ParamSnapshot::Snapshot snapshot;
    code = readWhole(ctx, session, quint8(station), &snapshot);
    if (code != CliExit::Ok)
        return code;
    const DeviceInfo &info = session.info;
    ParamFile::Content content;
    ParamSnapshot::fillContent(snapshot, info.lead, &content);
    content.identity = identityOf(info);
    content.exportTime = QDateTime::currentDateTime();
    content.swVersion = QStringLiteral(VEXA_APP_VERSION);

    // A failure leaves an older file of the same name intact.
    const FileError error = ParamFile::saveFile(outPath, ParamFile::toFileText(content));
    if (error.failed())
        return ctx.fail(CliExit::Failure, QStringLiteral("cannot write %1: %2").arg(outPath, error.reason(QStringLiteral("en"))));
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
    const ParamFile::Parsed parsed = ParamFile::load(path, QStringLiteral("en"));
    if (!parsed.ok) {
        *code = ctx.usage(parsed.error);
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

// What diff and apply both start from: the file, the identified drive and the two compared.
struct DriveComparison
{
    qint64 station = 0;
    QString path;
    DriveSession session;
    ParamSnapshot::Snapshot drive;
    ParamDiff::Comparison comparison;
};

// The file first (a file that cannot be used needs no trip to the drive), then the
// file against the identified drive as the window's import would take it: a file
// of another product is refused (Usage, with the blocking lines), other
// differences are noted; for writing, the file must also name its product and
// a reversed direction needs --allow-reversed. Ok with the comparison, or the exit code.
int compareWithDrive(const CliContext &ctx, CliOptions &options, bool writing, DriveComparison *out)
{
    int code = CliExit::Ok;
    if (!parseDriveOptions(ctx, options, "file", &out->station, &code))
        return code;
    out->path = options.value(QStringLiteral("file"));
    QJsonObject root;
    if (!loadParamFile(ctx, out->path, &root, &code))
        return code;
    const quint8 station = quint8(out->station);
    const QString &path = out->path;
    DriveSession *session = &out->session;
    ParamSnapshot::Snapshot *drive = &out->drive;
    ParamDiff::Comparison *comparison = &out->comparison;
    code = openDrive(ctx, options.value(QStringLiteral("port")), station, session);
    if (code != CliExit::Ok)
        return code;
    const DeviceInfo &info = session->info;
    // What is written must be meant for this drive: diff compares as an import
    // would, apply needs the file to name the product and to match it.
    const ParamFile::Compatibility compatibility =
        writing ? ParamFile::checkWriteCompatibility(root, identityOf(info), QStringLiteral("en"))
                : ParamFile::checkCompatibility(root, identityOf(info), QStringLiteral("en"));
    if (!compatibility.blocking.isEmpty()) {
        for (const QString &line : compatibility.blocking)
            ctx.err << line << '\n';
        return ctx.fail(CliExit::Usage, QStringLiteral("%1 is not known to be for %2").arg(path, info.model));
    }
    if (writing && !compatibility.reversed.isEmpty()) {
        ctx.err << compatibility.reversed << '\n';
        if (!options.has(QStringLiteral("allow-reversed")))
            return ctx.fail(CliExit::Usage, QStringLiteral("%1 is for the other motor direction; "
                                                           "--allow-reversed writes it anyway").arg(path));
    }
    for (const QString &line : compatibility.other)
        ctx.err << "note: " << line << '\n';
    code = readWhole(ctx, *session, station, drive);
    if (code != CliExit::Ok)
        return code;
    *comparison = ParamDiff::compare(root, *drive, info.lead, [&info](const QString &key) {
        return ParamDiff::fileRange(key, info.lead, info.stroke);
    });
    for (const QString &key : qAsConst(comparison->unreadable))
        ctx.err << key << ": not a valid value in " << path << ", not compared\n";
    for (const QString &line : qAsConst(comparison->outsideLines))
        ctx.err << "note: outside the editable range, never written: " << line << '\n';
    ctx.err.flush();
    return CliExit::Ok;
}

// One line per value that differs, as the window would see it: a file value
// that only differs from the drive's below the resolution a write sends is equal.
int paramsDiff(const CliContext &ctx)
{
    CliOptions options({"port", "station", "file"}, {});
    DriveComparison compared;
    const int code = compareWithDrive(ctx, options, false, &compared);
    if (code != CliExit::Ok)
        return code;
    const ParamDiff::Comparison &comparison = compared.comparison;
    const QVector<ParamDiff::Row> differences = comparison.differences();
    for (const ParamDiff::Row &d : differences) {
        const QString line = d.key.leftJustified(16) + QStringLiteral("file %1").arg(d.fileValue).leftJustified(16)
                             + QStringLiteral("drive %1").arg(d.driveValue).leftJustified(17) + d.unit;
        ctx.out << line.trimmed() << '\n';
    }
    ctx.out.flush();
    ctx.err.flush();
    // A value that could not be compared is not known to be equal.
    return differences.isEmpty() && comparison.unreadable.isEmpty() ? CliExit::Ok : CliExit::Differs;
}

// Writes what differs, reads everything back and says per value what became of it.
int paramsApply(const CliContext &ctx)
{
    CliOptions options({"port", "station", "file"}, {"save", "allow-reversed"});
    DriveComparison compared;
    int code = compareWithDrive(ctx, options, true, &compared);
    if (code != CliExit::Ok)
        return code;
    const qint64 station = compared.station;
    DriveSession &session = compared.session;
    const ParamDiff::Comparison &comparison = compared.comparison;
    ModbusTransport &link = *session.link;
    const quint8 slave = quint8(station);
    ParamApply::Access access;
    access.read = [&](quint16 address, quint16 count) {
        try {
            return link.readRegisters(slave, address, count, ReadTimeoutMs);
        } catch (const ModbusError &) {
            return QVector<quint16>();
        }
    };
    access.write = [&](quint16 address, quint16 value) { return link.writeRegister(slave, address, value); };
    access.writeMulti = [&](quint16 address, const QVector<quint16> &words) {
        return link.writeRegisters(slave, address, words);
    };
    const QVector<ParamDiff::Row> differences = comparison.differences();
    ctx.logDrive(options.value(QStringLiteral("port")), slave, &session.info);
    ctx.logEvent(QStringLiteral("file apply"), EventLog::fileFields(compared.path));
    const QVector<ParamApply::Result> results =
        ParamApply::writeDifferences(comparison, session.info.lead, session.info.stroke, access, QStringLiteral("en"));

    // Confirmed only by what the drive holds afterwards.
    const ParamSnapshot::Snapshot after = readSnapshot(link, slave);
    // Every row of the file is read back, the equal ones too, before a save may follow.
    bool unconfirmed = !after.complete();
    if (!after.complete())
        ctx.err << "not read back: " << ParamSnapshot::namesOf(after.unreadable, QStringLiteral("en")) << '\n';
    bool notApplied = !comparison.unreadable.isEmpty();
    for (int i = 0; i < results.size(); ++i) {
        const ParamDiff::Row &row = differences[i];
        const ParamApply::Result &result = results[i];
        const quint32 now = row.key == QLatin1String("pos0PushEnable")   ? quint32(after.pos0PushEnable)
                            : row.key == QLatin1String("pos1PushEnable") ? quint32(after.pos1PushEnable)
                                                                         : after.raw.value(row.key);
        QString outcome;
        if (result.outcome == ParamApply::Outcome::Refused) {
            notApplied = true;
            outcome = QStringLiteral("refused: ") + QString(result.message).replace(QLatin1Char('\n'), QLatin1Char(' '));
        } else if (result.outcome == ParamApply::Outcome::NotConfirmed) {
            unconfirmed = true;
            outcome = QStringLiteral("not confirmed: ") + result.message;
        } else if (after.unreadable.contains(row.key)) {
            unconfirmed = true;
            outcome = QStringLiteral("written, not read back");
        } else if (now != row.fileRaw) {
            unconfirmed = true;
            outcome = QStringLiteral("written, drive reads back %1").arg(now);
        } else {
            outcome = QStringLiteral("written, read back");
        }
        const QString value = row.unit.isEmpty() ? row.fileValue : row.fileValue + QLatin1Char(' ') + row.unit;
        ctx.out << row.key.leftJustified(16) << value.leftJustified(16) << outcome << '\n';
        QJsonObject written = EventLog::writeFields(row.key, EventLog::value(row.driveRaw, row.driveValue, row.unit),
                                                    EventLog::value(row.fileRaw, row.fileValue, row.unit),
                                                    result.outcome == ParamApply::Outcome::Written);
        written.insert(QStringLiteral("outcome"), outcome);
        ctx.logEvent(QStringLiteral("parameter write"), written);
    }
    ctx.out.flush();

    if (options.has(QStringLiteral("save"))) {
        if (unconfirmed || notApplied) {
            ctx.err << "not saved: not every value was written and read back\n";
        } else {
            const bool saved = link.writeRegister(slave, Reg::StoreCommand, Reg::StoreValue::SaveToRom);
            ctx.logEvent(QStringLiteral("save to ROM"), {{QStringLiteral("result"), EventLog::resultOf(saved)}});
            unconfirmed = !saved;
            if (saved)
                ctx.out << "saved to ROM\n";
            else
                ctx.err << "save to ROM not confirmed\n";
        }
    }
    ctx.out.flush();
    ctx.err.flush();
    return unconfirmed ? CliExit::Failure : notApplied ? CliExit::Differs : CliExit::Ok;
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
    if (action == QLatin1String("apply"))
        return paramsApply(ctx);
    if (action.isEmpty())
        return ctx.usage(QStringLiteral("params needs export, show, diff or apply"));
    return ctx.usage(QStringLiteral("unknown params action '%1'").arg(action));
}
