#pragma once

#include "clioptions.h"
#include "jobsink.h"
#include "modbustransport.h"

#include <QIODevice>
#include <QTextStream>

#include <memory>

class ConnectionManager;
class EventLog;
class ModbusWorker;
class QJsonObject;
struct DeviceInfo;

// What every command gets: its own arguments, the two output streams,
// whether --trace asked for every exchange on stderr, and the event log that
// --log FILE appends to (none without it: then nothing goes to disk).
struct CliContext
{
    QStringList arguments;
    QTextStream &out;
    QTextStream &err;
    bool trace = false;
    EventLog *events = nullptr;
    QString logPath;  // the file of --log, for a command that logs from several threads

    bool logging() const { return events != nullptr; }
    // The same streams, trace and log for a station job; its failure lines start "vexa-cli: ".
    JobSink sink() const { return JobSink{out, err, trace, events, QStringLiteral("vexa-cli: ")}; }
    // With --log, the drive the following records are about; `info` is null when it was not identified.
    void logDrive(const QString &port, quint8 station, const DeviceInfo *info) const;
    // With --log, one record of a write command.
    void logEvent(const QString &event, const QJsonObject &fields) const;

    // With --trace, each exchange of these as one decoded line on stderr.
    void traceLink(ModbusTransport &link) const;
    void traceManager(ConnectionManager &manager) const;
    void traceWorker(ModbusWorker &worker) const;

    int usage(const QString &reason) const;
    int fail(int code, const QString &reason) const;
    // A failed exchange or identification with `station` on `port`, by its kind:
    // exit 7 naming the exception when the drive refused, 4 when the port could
    // not be opened, 5 for a drive the catalogue does not know, else 3 (naming
    // what did not answer within `waitMs` when nothing did).
    int failExchange(const ModbusError &error, const QString &port, quint8 station, int waitMs) const;
};

// Opens --port (a serial device or tcp://HOST:PORT) for a short exchange on
// this thread; null after reporting why.
std::unique_ptr<QIODevice> openCliPort(const CliContext &ctx, const QString &portName);

// One read of `station` before a write command: an adapter that echoes gives
// itself away, so the write that follows is confirmed only by the drive.
void probeForEcho(ModbusTransport &link, quint8 station);

int cmdRead(const CliContext &ctx);
int cmdWrite(const CliContext &ctx);
int cmdWriteMulti(const CliContext &ctx);
int cmdPoll(const CliContext &ctx);
int cmdScan(const CliContext &ctx);
int cmdIdentify(const CliContext &ctx);
// block compare | block write: the engineering register block against a listing file.
int cmdBlock(const CliContext &ctx);
// params export | show | diff | apply: the JSON parameter file the window exports and imports.
int cmdParams(const CliContext &ctx);
