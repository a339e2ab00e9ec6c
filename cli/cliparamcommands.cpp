// vexa-cli params: export a drive's parameters to the window's JSON file
// format, show what a parameter file holds, compare a file with a drive and
// write its differences into the drive; export and apply also over many
// stations on several buses at once, with a report.

#include "actuatorcatalogue.h"
#include "cli.h"
#include "clicommands.h"
#include "fileoutput.h"
#include "paramconversions.h"
#include "paramdiff.h"
#include "drivesession.h"
#include "paramfile.h"
#include "paramjob.h"
#include "jobreport.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonValue>
#include <QLocale>

namespace {

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

// One line per value that differs, as the window would see it: a file value
// that only differs from the drive's below the resolution a write sends is equal.
int paramsDiff(const CliContext &ctx)
{
    CliOptions options({"port", "station", "file"}, {});
    qint64 station = 0;
    if (!options.parse(ctx.arguments.mid(1)) || !options.number(QStringLiteral("station"), 1, 247, station))
        return ctx.usage(options.error());
    for (const char *name : {"port", "file"}) {
        if (!options.has(QString::fromLatin1(name)))
            return ctx.usage(QStringLiteral("missing --%1").arg(QString::fromLatin1(name)));
    }
    const QString path = options.value(QStringLiteral("file"));
    QJsonObject root;
    int code = CliExit::Ok;
    if (!loadParamFile(ctx, path, &root, &code))
        return code;
    DriveComparison compared;
    code = compareWithDrive(ctx.sink(), options.value(QStringLiteral("port")), quint8(station), root, path, false, false, &compared);
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

// --port once or more and --station N or --stations LIST; false after the
// usage error, with its exit code in *code.
bool parseTargets(const CliContext &ctx, CliOptions &options, JobSettings *settings, int *code)
{
    const auto refuse = [&](const QString &reason) {
        *code = ctx.usage(reason);
        return false;
    };
    if (!options.parse(ctx.arguments.mid(1)))
        return refuse(options.error());
    settings->ports = options.values(QStringLiteral("port"));
    if (settings->ports.isEmpty())
        return refuse(QStringLiteral("missing --port"));
    if (settings->ports.removeDuplicates() > 0)
        return refuse(QStringLiteral("a --port is given twice"));
    const bool one = options.has(QStringLiteral("station"));
    if (one == options.has(QStringLiteral("stations")))
        return refuse(QStringLiteral("give either --station N or --stations LIST"));
    if (one) {
        qint64 station = 0;
        if (!options.number(QStringLiteral("station"), 1, 247, station))
            return refuse(options.error());
        settings->stations = {int(station)};
        return true;
    }
    const ParsedStations list = parseStationList(options.value(QStringLiteral("stations")), 1, 247);
    if (!list.ok)
        return refuse(QStringLiteral("--stations: ") + list.error);
    settings->stations = list.stations;
    return true;
}

// An output file named by `option`, refused before any drive is touched when it could never be written.
bool outputTarget(const CliContext &ctx, const CliOptions &options, const char *option, QString *path, int *code)
{
    *path = options.value(QString::fromLatin1(option));
    const FileError refused = path->isEmpty() ? FileError() : FileOutput::checkTarget(*path);
    if (refused.failed())
        *code = ctx.fail(CliExit::Failure, QStringLiteral("cannot write %1: %2").arg(*path, refused.reason(QStringLiteral("en"))));
    return !refused.failed();
}

// A folder the job writes into, made when missing; false after saying why.
bool outputFolder(const CliContext &ctx, const QString &folder, int *code)
{
    if (QDir().mkpath(folder))
        return true;
    *code = ctx.fail(CliExit::Failure, QStringLiteral("cannot make the folder %1").arg(folder));
    return false;
}

int paramsExport(const CliContext &ctx)
{
    CliOptions options({"port", "station", "stations", "out", "out-dir"}, {});
    JobSettings settings;
    int code = CliExit::Ok;
    if (!parseTargets(ctx, options, &settings, &code))
        return code;
    const bool toFolder = options.has(QStringLiteral("out-dir"));
    if (toFolder == options.has(QStringLiteral("out")))
        return ctx.usage(QStringLiteral("give either --out FILE or --out-dir FOLDER"));
    if (!toFolder && settings.ports.size() * settings.stations.size() > 1)
        return ctx.usage(QStringLiteral("--out takes one drive; --out-dir writes one file per drive"));
    settings.outDir = options.value(QStringLiteral("out-dir"));
    if (toFolder ? !outputFolder(ctx, settings.outDir, &code) : !outputTarget(ctx, options, "out", &settings.outPath, &code))
        return code;
    return jobExitCode(runParamJob(ctx, JobKind::Export, settings));
}

// Writes what differs on every station, reads everything back and says per
// value what became of it; with a report, snapshots and a sign-off page.
int paramsApply(const CliContext &ctx)
{
    CliOptions options({"port", "station", "stations", "file", "report", "html", "lang", "operator", "snapshot-dir"},
                       {"save", "allow-reversed", "dry-run"});
    JobSettings settings;
    int code = CliExit::Ok;
    if (!parseTargets(ctx, options, &settings, &code))
        return code;
    if (!options.has(QStringLiteral("file")))
        return ctx.usage(QStringLiteral("missing --file"));
    const QString lang = options.has(QStringLiteral("lang")) ? options.value(QStringLiteral("lang")) : QStringLiteral("en");
    if (lang != QLatin1String("en") && lang != QLatin1String("zh"))
        return ctx.usage(QStringLiteral("--lang is zh or en"));
    settings.filePath = options.value(QStringLiteral("file"));
    if (!loadParamFile(ctx, settings.filePath, &settings.root, &code))
        return code;
    settings.save = options.has(QStringLiteral("save"));
    settings.allowReversed = options.has(QStringLiteral("allow-reversed"));
    settings.dryRun = options.has(QStringLiteral("dry-run"));
    QString reportPath;
    QString htmlPath;
    if (!outputTarget(ctx, options, "report", &reportPath, &code) || !outputTarget(ctx, options, "html", &htmlPath, &code))
        return code;
    // A job keeps a way back for every drive: its values before the write, beside the report.
    const bool job = settings.ports.size() * settings.stations.size() > 1 || !reportPath.isEmpty()
                     || !htmlPath.isEmpty() || options.has(QStringLiteral("snapshot-dir"));
    if (job && !settings.dryRun) {
        settings.snapshotDir = options.has(QStringLiteral("snapshot-dir")) ? options.value(QStringLiteral("snapshot-dir"))
                               : !reportPath.isEmpty() ? QFileInfo(reportPath).absolutePath()
                               : !htmlPath.isEmpty()   ? QFileInfo(htmlPath).absolutePath()
                                                       : QDir::currentPath();
        if (!outputFolder(ctx, settings.snapshotDir, &code))
            return code;
    }
    JobReportHeader header;
    header.operatorName = options.has(QStringLiteral("operator")) ? options.value(QStringLiteral("operator")) : loginName();
    header.filePath = QFileInfo(settings.filePath).absoluteFilePath();
    header.save = settings.save;
    header.dryRun = settings.dryRun;
    header.start = QDateTime::currentDateTime();
    const QVector<StationRecord> records = runParamJob(ctx, JobKind::Apply, settings);
    header.end = QDateTime::currentDateTime();
    code = jobExitCode(records);

    const QJsonObject report = jobReportJson(header, records);
    const QVector<QPair<QString, QByteArray>> outputs{
        {reportPath, QJsonDocument(report).toJson()}, {htmlPath, htmlPath.isEmpty() ? QByteArray() : jobReportHtml(report, lang)}};
    for (const auto &output : outputs) {
        if (output.first.isEmpty())
            continue;
        // A report that cannot be kept fails a job that otherwise passed.
        const FileError error = FileOutput::writeWhole(output.first, output.second);
        if (error.failed()) {
            const int failed = ctx.fail(CliExit::Failure, QStringLiteral("cannot write %1: %2")
                                                              .arg(output.first, error.reason(QStringLiteral("en"))));
            code = code == CliExit::Ok ? failed : code;
        }
    }
    return code;
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
