#include "paramjob.h"

#include "actuatorcatalogue.h"
#include "eventlog.h"
#include "paramapply.h"
#include "paramdrive.h"
#include "registerport.h"
#include "registers.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QTextStream>
#include <QThread>

#include <memory>

namespace {

// The drive's registers for the writes of an apply, keeping each refusal the
// drive answered with, to be named in the station's result.
class RefusalNotingPort : public TransportRegisterPort
{
public:
    using TransportRegisterPort::TransportRegisterPort;
    QStringList refusals;

    bool write(quint16 address, quint16 value) override { return note(address, TransportRegisterPort::write(address, value)); }
    bool writeMulti(quint16 address, const QVector<quint16> &words) override
    {
        return note(address, TransportRegisterPort::writeMulti(address, words));
    }

private:
    bool note(quint16 address, bool confirmed)
    {
        if (!confirmed && lastError().kind() == ModbusError::Kind::Refused)
            refusals << QStringLiteral("the drive refused the write of 0x%1 (%2)")
                            .arg(address, 4, 16, QLatin1Char('0')).arg(lastError().text());
        return confirmed;
    }
};

QJsonObject changeOf(const ParamDiff::Row &row, const QString &outcome)
{
    const auto shown = [&row](const QString &value) {
        return row.unit.isEmpty() ? value : value + QLatin1Char(' ') + row.unit;
    };
    return {{QStringLiteral("key"), row.key}, {QStringLiteral("before"), shown(row.driveValue)},
            {QStringLiteral("after"), shown(row.fileValue)}, {QStringLiteral("outcome"), outcome}};
}

// The drive's values before anything is written, as an ordinary parameter
// file: applying it puts the drive back. Ok, or Failure after saying why.
int takeSnapshot(const CliContext &ctx, const JobSettings &settings, const QString &port, int station,
                 const DriveComparison &compared, StationRecord *record)
{
    const DeviceInfo &info = compared.session.info;
    const QString name = QStringLiteral("%1_%2.json")
                             .arg(driveFileStem(info.model, port, station),
                                  QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QString path = QDir(settings.snapshotDir).absoluteFilePath(name);
    const FileError error = ParamFile::saveFile(path, ParamFile::toFileText(contentOf(compared.drive, info)));
    if (error.failed())
        return ctx.fail(CliExit::Failure, QStringLiteral("cannot write the snapshot %1: %2; nothing written")
                                              .arg(path, error.reason(QStringLiteral("en"))));
    record->snapshot = path;
    ctx.out << "snapshot " << path << '\n';
    return CliExit::Ok;
}

// Identify, check the file against the drive, snapshot, write what differs,
// read everything back and with --save store it: the station's exit code.
int applyStation(const CliContext &ctx, const JobSettings &settings, const QString &port, int station,
                 StationRecord *record)
{
    DriveComparison compared;
    int code = compareWithDrive(ctx, port, quint8(station), settings.root, settings.filePath, true,
                                settings.allowReversed, &compared);
    DriveSession &session = compared.session;
    if (!session.info.model.isEmpty()) {
        record->model = session.info.model;
        record->versions = {{QStringLiteral("firmware"), session.info.fwVersion},
                            {QStringLiteral("hardware"), session.info.hwVersion},
                            {QStringLiteral("logic"), ActuatorCatalogue::logicVersionText(session.info.logicVersion)}};
    }
    if (code != CliExit::Ok)
        return code;
    const ParamDiff::Comparison &comparison = compared.comparison;
    const QVector<ParamDiff::Row> differences = comparison.differences();
    if (settings.dryRun) {
        for (const ParamDiff::Row &row : differences) {
            record->changes << changeOf(row, QStringLiteral("not written (dry run)"));
            ctx.out << row.key.leftJustified(16) << "drive " << row.driveValue << " -> file " << row.fileValue << ' '
                    << row.unit << '\n';
        }
        return differences.isEmpty() && comparison.unreadable.isEmpty() ? CliExit::Ok : CliExit::Differs;
    }
    if (!settings.snapshotDir.isEmpty()) {
        code = takeSnapshot(ctx, settings, port, station, compared, record);
        if (code != CliExit::Ok)
            return code;
    }
    ModbusTransport &link = *session.link;
    const quint8 slave = quint8(station);
    RefusalNotingPort access(link, slave);
    ctx.logDrive(port, slave, &session.info);
    ctx.logEvent(QStringLiteral("file apply"), EventLog::fileFields(settings.filePath));
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
        record->changes << changeOf(row, outcome);
        QJsonObject written = EventLog::writeFields(row.key, EventLog::value(row.driveRaw, row.driveValue, row.unit),
                                                    EventLog::value(row.fileRaw, row.fileValue, row.unit),
                                                    result.outcome == ParamApply::Outcome::Written);
        written.insert(QStringLiteral("outcome"), outcome);
        ctx.logEvent(QStringLiteral("parameter write"), written);
    }

    if (settings.save) {
        if (unconfirmed || notApplied) {
            ctx.err << "not saved: not every value was written and read back\n";
        } else {
            record->saved = access.write(Reg::StoreCommand, Reg::StoreValue::SaveToRom);
            ctx.logEvent(QStringLiteral("save to ROM"), {{QStringLiteral("result"), EventLog::resultOf(record->saved)}});
            unconfirmed = !record->saved;
            if (record->saved)
                ctx.out << "saved to ROM\n";
            else
                ctx.err << "save to ROM not confirmed\n";
        }
    }
    for (const QString &refusal : qAsConst(access.refusals))
        ctx.err << refusal << '\n';
    record->link = linkStatsJson(link.stats());
    return !access.refusals.isEmpty() ? CliExit::Refused
           : unconfirmed       ? CliExit::Failure
           : notApplied        ? CliExit::Differs
                               : CliExit::Ok;
}

// Reads the drive whole and writes its file; a value that cannot be read
// leaves no file rather than one that is not the drive's.
int exportStation(const CliContext &ctx, const JobSettings &settings, const QString &port, int station,
                  StationRecord *record)
{
    DriveSession session;
    int code = openDrive(ctx, port, quint8(station), &session);
    if (code != CliExit::Ok)
        return code;
    record->model = session.info.model;
    ParamSnapshot::Snapshot snapshot;
    code = readWhole(ctx, session, quint8(station), &snapshot);
    record->link = linkStatsJson(session.link->stats());
    if (code != CliExit::Ok)
        return code;
    const QString path = settings.outDir.isEmpty()
                             ? settings.outPath
                             : QDir(settings.outDir).absoluteFilePath(driveFileStem(session.info.model, port, station) + ".json");
    // A failure leaves an older file of the same name intact.
    const FileError error = ParamFile::saveFile(path, ParamFile::toFileText(contentOf(snapshot, session.info)));
    if (error.failed())
        return ctx.fail(CliExit::Failure, QStringLiteral("cannot write %1: %2").arg(path, error.reason(QStringLiteral("en"))));
    record->snapshot = path;
    ctx.out << "exported " << session.info.model << " (station " << station << ") to " << path << '\n';
    return CliExit::Ok;
}

// The stations of one bus, one after another, each with its own output so
// that buses running at once do not mix their lines.
void runBus(const CliContext &ctx, JobKind kind, const JobSettings &settings, const QString &port,
            QVector<StationRecord> *records)
{
    // One log file per thread, appended line by line, so records never interleave within a line.
    std::unique_ptr<EventLog> log;
    FileError logOpened;
    if (ctx.logging()) {
        log = std::make_unique<EventLog>();
        logOpened = log->setFile(ctx.logPath);
    }
    for (int station : settings.stations) {
        StationRecord record;
        record.port = port;
        record.station = station;
        QTextStream out(&record.out);
        QTextStream err(&record.err);
        const CliContext stationCtx{ctx.arguments, out, err, ctx.trace, log.get(), ctx.logPath};
        if (logOpened.failed())
            err << "vexa-cli: cannot open the event log " << ctx.logPath << ": " << logOpened.reason(QStringLiteral("en")) << '\n';
        QMetaObject::Connection failed;
        if (log) {
            failed = QObject::connect(log.get(), &EventLog::writeFailed, [&err](const QString &path, const FileError &error) {
                err << "vexa-cli: cannot append to the event log " << path << ": " << error.reason(QStringLiteral("en")) << '\n';
            });
        }
        record.exit = kind == JobKind::Apply ? applyStation(stationCtx, settings, port, station, &record)
                                             : exportStation(stationCtx, settings, port, station, &record);
        QObject::disconnect(failed);
        out.flush();
        err.flush();
        if (record.exit != CliExit::Ok)
            record.message = record.err.trimmed();
        *records << record;
    }
}

}  // namespace

QVector<StationRecord> runParamJob(const CliContext &ctx, JobKind kind, const JobSettings &settings)
{
    QVector<QVector<StationRecord>> perBus(settings.ports.size());
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < settings.ports.size(); ++i) {
        threads.emplace_back(QThread::create(runBus, std::cref(ctx), kind, std::cref(settings),
                                             settings.ports[i], &perBus[i]));
        threads.back()->start();
    }
    for (const auto &thread : threads)
        thread->wait();

    QVector<StationRecord> records;
    const bool several = settings.ports.size() * settings.stations.size() > 1;
    for (const QVector<StationRecord> &bus : perBus) {
        for (const StationRecord &record : bus) {
            if (several)
                ctx.out << "== " << record.port << " station " << record.station << ": " << resultWord(record.exit) << '\n';
            ctx.out << record.out;
            ctx.err << record.err;
            records << record;
        }
    }
    ctx.out.flush();
    ctx.err.flush();
    return records;
}

int jobExitCode(const QVector<StationRecord> &records)
{
    for (const StationRecord &record : records) {
        if (record.exit != CliExit::Ok)
            return record.exit;
    }
    return CliExit::Ok;
}

QString resultWord(int exitCode)
{
    static const QStringList words{"passed",        "unconfirmed",    "unusable-file", "no-reply",
                                   "port-unavailable", "not-recognised", "differs",      "refused"};
    return words.value(exitCode, QStringLiteral("failed"));
}

QString driveFileStem(const QString &model, const QString &port, int station)
{
    // One per call: the buses name their files at the same time.
    const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9.-]+"));
    QString portPart = QString(port).replace(unsafe, QStringLiteral("-"));
    while (portPart.startsWith(QLatin1Char('-')))
        portPart.remove(0, 1);
    return QStringLiteral("%1_%2_s%3").arg(QString(model).replace(unsafe, QStringLiteral("-")), portPart).arg(station);
}
