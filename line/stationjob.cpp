#include "stationjob.h"

#include "actuatorcatalogue.h"
#include "drivesession.h"
#include "eventlog.h"
#include "paramapply.h"
#include "registerport.h"
#include "registers.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QTextStream>

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
int takeSnapshot(const JobSink &sink, const JobSettings &settings, const QString &port, int station,
                 const DriveComparison &compared, StationRecord *record)
{
    const DeviceInfo &info = compared.session.info;
    const QString name = QStringLiteral("%1_%2.json")
                             .arg(driveFileStem(info.model, port, station),
                                  QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QString path = QDir(settings.snapshotDir).absoluteFilePath(name);
    const FileError error = ParamFile::saveFile(path, ParamFile::toFileText(contentOf(compared.drive, info)));
    if (error.failed())
        return sink.fail(JobExit::Failure, QStringLiteral("cannot write the snapshot %1: %2; nothing written")
                                              .arg(path, error.reason(QStringLiteral("en"))));
    record->snapshot = path;
    sink.out << "snapshot " << path << '\n';
    return JobExit::Ok;
}

// Identify, check the file against the drive, snapshot, write what differs,
// read everything back and with --save store it: the station's exit code.
int applyStation(const JobSink &sink, const JobSettings &settings, const QString &port, int station,
                 StationRecord *record)
{
    DriveComparison compared;
    int code = compareWithDrive(sink, port, quint8(station), settings.root, settings.filePath, true,
                                settings.allowReversed, &compared);
    DriveSession &session = compared.session;
    if (!session.info.model.isEmpty()) {
        record->model = session.info.model;
        record->versions = {{QStringLiteral("firmware"), session.info.fwVersion},
                            {QStringLiteral("hardware"), session.info.hwVersion},
                            {QStringLiteral("logic"), ActuatorCatalogue::logicVersionText(session.info.logicVersion)}};
    }
    if (code != JobExit::Ok)
        return code;
    const ParamDiff::Comparison &comparison = compared.comparison;
    const QVector<ParamDiff::Row> differences = comparison.differences();
    if (settings.dryRun) {
        for (const ParamDiff::Row &row : differences) {
            record->changes << changeOf(row, QStringLiteral("not written (dry run)"));
            sink.out << row.key.leftJustified(16) << "drive " << row.driveValue << " -> file " << row.fileValue << ' '
                    << row.unit << '\n';
        }
        return differences.isEmpty() && comparison.unreadable.isEmpty() ? JobExit::Ok : JobExit::Differs;
    }
    if (!settings.snapshotDir.isEmpty()) {
        code = takeSnapshot(sink, settings, port, station, compared, record);
        if (code != JobExit::Ok)
            return code;
    }
    ModbusTransport &link = *session.link;
    const quint8 slave = quint8(station);
    RefusalNotingPort access(link, slave);
    sink.logDrive(port, slave, &session.info);
    sink.logEvent(QStringLiteral("file apply"), EventLog::fileFields(settings.filePath));
    const QVector<ParamApply::Result> results =
        ParamApply::writeDifferences(comparison, session.info.lead, session.info.stroke, access, QStringLiteral("en"));

    // Confirmed only by what the drive holds afterwards.
    const ParamSnapshot::Snapshot after = readSnapshot(link, slave);
    // Every row of the file is read back, the equal ones too, before a save may follow.
    bool unconfirmed = !after.complete();
    if (!after.complete())
        sink.err << "not read back: " << ParamSnapshot::namesOf(after.unreadable, QStringLiteral("en")) << '\n';
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
        sink.out << row.key.leftJustified(16) << value.leftJustified(16) << outcome << '\n';
        record->changes << changeOf(row, outcome);
        QJsonObject written = EventLog::writeFields(row.key, EventLog::value(row.driveRaw, row.driveValue, row.unit),
                                                    EventLog::value(row.fileRaw, row.fileValue, row.unit),
                                                    result.outcome == ParamApply::Outcome::Written);
        written.insert(QStringLiteral("outcome"), outcome);
        sink.logEvent(QStringLiteral("parameter write"), written);
    }

    if (settings.save) {
        if (unconfirmed || notApplied) {
            sink.err << "not saved: not every value was written and read back\n";
        } else {
            record->saved = access.write(Reg::StoreCommand, Reg::StoreValue::SaveToRom);
            sink.logEvent(QStringLiteral("save to ROM"), {{QStringLiteral("result"), EventLog::resultOf(record->saved)}});
            unconfirmed = !record->saved;
            if (record->saved)
                sink.out << "saved to ROM\n";
            else
                sink.err << "save to ROM not confirmed\n";
        }
    }
    for (const QString &refusal : qAsConst(access.refusals))
        sink.err << refusal << '\n';
    record->link = linkStatsJson(link.stats());
    return !access.refusals.isEmpty() ? JobExit::Refused
           : unconfirmed       ? JobExit::Failure
           : notApplied        ? JobExit::Differs
                               : JobExit::Ok;
}

// Reads the drive whole and writes its file; a value that cannot be read
// leaves no file rather than one that is not the drive's.
int exportStation(const JobSink &sink, const JobSettings &settings, const QString &port, int station,
                  StationRecord *record)
{
    DriveSession session;
    int code = openDrive(sink, port, quint8(station), &session);
    if (code != JobExit::Ok)
        return code;
    record->model = session.info.model;
    ParamSnapshot::Snapshot snapshot;
    code = readWhole(sink, session, quint8(station), &snapshot);
    record->link = linkStatsJson(session.link->stats());
    if (code != JobExit::Ok)
        return code;
    const QString path = settings.outDir.isEmpty()
                             ? settings.outPath
                             : QDir(settings.outDir).absoluteFilePath(driveFileStem(session.info.model, port, station) + ".json");
    // A failure leaves an older file of the same name intact.
    const FileError error = ParamFile::saveFile(path, ParamFile::toFileText(contentOf(snapshot, session.info)));
    if (error.failed())
        return sink.fail(JobExit::Failure, QStringLiteral("cannot write %1: %2").arg(path, error.reason(QStringLiteral("en"))));
    record->snapshot = path;
    sink.out << "exported " << session.info.model << " (station " << station << ") to " << path << '\n';
    return JobExit::Ok;
}

}  // namespace

QVector<StationRecord> runStations(JobKind kind, const JobSettings &settings, const QString &port, const BusOutput &output,
                                   const std::function<void(const StationRecord &)> &done,
                                   const std::function<bool()> &stop)
{
    // One log file per thread, appended line by line, so records never interleave within a line.
    std::unique_ptr<EventLog> log;
    FileError logOpened;
    if (!output.logPath.isEmpty()) {
        log = std::make_unique<EventLog>();
        logOpened = log->setFile(output.logPath);
    }
    QVector<StationRecord> records;
    for (int station : settings.stations) {
        StationRecord record;
        record.port = port;
        record.station = station;
        QTextStream out(&record.out);
        QTextStream err(&record.err);
        const JobSink sink{out, err, output.trace, log.get(), output.failPrefix};
        if (stop && stop()) {
            // The result word says it all; a stopped job leaves no line of its own.
            record.exit = JobExit::Cancelled;
        } else {
            if (logOpened.failed())
                err << output.failPrefix << "cannot open the event log " << output.logPath << ": "
                    << logOpened.reason(QStringLiteral("en")) << '\n';
            QMetaObject::Connection failed;
            if (log) {
                const QString prefix = output.failPrefix;
                failed = QObject::connect(log.get(), &EventLog::writeFailed, [&err, prefix](const QString &path, const FileError &error) {
                    err << prefix << "cannot append to the event log " << path << ": " << error.reason(QStringLiteral("en")) << '\n';
                });
            }
            record.exit = kind == JobKind::Apply ? applyStation(sink, settings, port, station, &record)
                                                 : exportStation(sink, settings, port, station, &record);
            QObject::disconnect(failed);
        }
        out.flush();
        err.flush();
        if (record.exit != JobExit::Ok)
            record.message = record.err.trimmed();
        records << record;
        if (done)
            done(record);
    }
    return records;
}

int jobExitCode(const QVector<StationRecord> &records)
{
    for (const StationRecord &record : records) {
        if (record.exit != JobExit::Ok)
            return record.exit;
    }
    return JobExit::Ok;
}

QString resultWord(int exitCode)
{
    static const QStringList words{"passed",           "unconfirmed",    "unusable-file", "no-reply",
                                   "port-unavailable", "not-recognised", "differs",       "refused",
                                   "cancelled"};
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
