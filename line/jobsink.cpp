#include "jobsink.h"

#include "actuatorcatalogue.h"
#include "connectionmanager.h"
#include "eventlog.h"
#include "exchangerecord.h"
#include "linkstats.h"
#include "serialport.h"

#include <QJsonObject>

void JobSink::logDrive(const QString &port, quint8 station, const DeviceInfo *info) const
{
    if (!events)
        return;
    EventDrive drive{port, station, QString(), QString(), QString(), QString()};
    if (info)
        drive = {port, station, info->model, info->fwVersion, info->hwVersion,
                 ActuatorCatalogue::logicVersionText(info->logicVersion)};
    events->setDrive(drive);
}

void JobSink::logEvent(const QString &event, const QJsonObject &fields) const
{
    if (events)
        events->record(event, fields);
}

void JobSink::traceLink(ModbusTransport &link) const
{
    // The stream, not this sink: a sink may be a temporary made for one call.
    QTextStream *stream = &err;
    if (trace)
        link.setExchangeObserver([stream](const ExchangeRecord &record) { *stream << record.line() << '\n'; stream->flush(); });
}

void JobSink::traceManager(ConnectionManager &manager) const
{
    QTextStream *stream = &err;
    if (trace)
        manager.setExchangeObserver([stream](const ExchangeRecord &record) { *stream << record.line() << '\n'; stream->flush(); });
}

int JobSink::fail(int code, const QString &reason) const
{
    err << failPrefix << reason << "\n";
    err.flush();
    return code;
}

int JobSink::failExchange(const ModbusError &error, const QString &port, quint8 station, int waitMs) const
{
    switch (error.kind()) {
    case ModbusError::Kind::Refused:
        return fail(JobExit::Refused, QStringLiteral("station %1 refused the request: %2").arg(station).arg(error.text()));
    case ModbusError::Kind::NoReply:
        return fail(JobExit::NoReply,
                    QStringLiteral("no reply from station %1 on %2 within %3 ms").arg(station).arg(port).arg(waitMs));
    case ModbusError::Kind::PortOpen:
        return fail(JobExit::PortUnavailable, error.text());
    case ModbusError::Kind::NotRecognised:
        return fail(JobExit::NotRecognised, error.text());
    case ModbusError::Kind::None:
    case ModbusError::Kind::PortLost:
    case ModbusError::Kind::DriveDiffers:
    case ModbusError::Kind::Other:
        break;
    }
    return fail(JobExit::NoReply, error.text());
}

std::unique_ptr<QIODevice> JobSink::openPort(const QString &portName) const
{
    PortOpenError error;
    std::unique_ptr<QIODevice> port = openDrivePort(portName, &error);
    if (!port)
        fail(JobExit::PortUnavailable, error.text());
    return port;
}

QJsonObject linkStatsJson(const LinkStats &s)
{
    return QJsonObject{{QStringLiteral("requests"), double(s.requests)},
                       {QStringLiteral("replies"), double(s.replies)},
                       {QStringLiteral("timeouts"), double(s.timeouts)},
                       {QStringLiteral("badCrcFrames"), double(s.badCrcFrames)},
                       {QStringLiteral("exceptionReplies"), double(s.exceptionReplies)},
                       {QStringLiteral("skippedBytes"), double(s.skippedBytes)},
                       {QStringLiteral("latencyMeanMs"), s.latencyMeanMs()},
                       {QStringLiteral("latencyMaxMs"), s.latencyMaxMs}};
}

