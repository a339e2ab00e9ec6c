#pragma once

// Where a station job prints: its result lines and its failure lines, each
// exchange when traced, and the event log it records its writes to.

#include "modbustransport.h"

#include <QIODevice>
#include <QTextStream>

#include <memory>

class ConnectionManager;
class EventLog;
class QJsonObject;
struct DeviceInfo;
struct LinkStats;

// What became of a station (vexa-cli's exit codes).
namespace JobExit {
constexpr int Ok = 0;
constexpr int Failure = 1;        // a write or step the drive did not confirm
constexpr int Usage = 2;          // bad usage, a bad number, a file not for this drive
constexpr int NoReply = 3;        // no valid reply ("Timeout")
constexpr int PortUnavailable = 4;
constexpr int NotRecognised = 5;
constexpr int Differs = 6;        // a comparison found differences
constexpr int Refused = 7;        // the drive answered with an exception reply
constexpr int Cancelled = 8;      // the job was stopped before the station ran
}  // namespace JobExit

struct JobSink
{
    QTextStream &out;
    QTextStream &err;
    bool trace = false;
    EventLog *events = nullptr;
    QString failPrefix;  // before each failure line: "vexa-cli: " on the command line

    // With an event log, the drive the following records are about; `info` is null when it was not identified.
    void logDrive(const QString &port, quint8 station, const DeviceInfo *info) const;
    void logEvent(const QString &event, const QJsonObject &fields) const;

    // With trace, each exchange of these as one decoded line on err.
    void traceLink(ModbusTransport &link) const;
    void traceManager(ConnectionManager &manager) const;

    // One failure line; returns code.
    int fail(int code, const QString &reason) const;
    // A failed exchange or identification with `station` on `port`, by its kind:
    // Refused naming the exception, PortUnavailable or NotRecognised with the
    // reason, else NoReply (naming what did not answer within `waitMs` when nothing did).
    int failExchange(const ModbusError &error, const QString &port, quint8 station, int waitMs) const;

    // Opens the port for a short exchange on this thread; null after saying why.
    std::unique_ptr<QIODevice> openPort(const QString &portName) const;
};

// The link counters as JSON (poll's last line, a job's report).
QJsonObject linkStatsJson(const LinkStats &stats);
