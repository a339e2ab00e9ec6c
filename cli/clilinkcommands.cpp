#include "actuatorcatalogue.h"
#include "cli.h"
#include "clicommands.h"
#include "devicestate.h"
#include "eventlog.h"
#include "modbustransport.h"
#include "modbusworker.h"
#include "connectionmanager.h"
#include "registers.h"
#include "serialport.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

namespace {

constexpr int ReadTimeoutMs = 300;
constexpr int MaxReadWords = 125;
constexpr int MaxWriteWords = 123;
constexpr int EchoProbeTimeoutMs = 100;

QString statsLine(const ModbusTransport &link)
{
    QString line = QStringLiteral("link: ") + link.stats().summary();
    if (link.echoRemoval())
        line += QStringLiteral(", echo removal on");
    return line;
}

QString hexWord(quint32 value)
{
    return QStringLiteral("0x") + QString::number(value, 16).rightJustified(4, QLatin1Char('0')).toUpper();
}

struct Target
{
    QString port;
    quint8 station = 1;
    quint16 address = 0;
};

bool parseTarget(CliOptions &options, Target &target, bool needAddress)
{
    qint64 station = 0;
    qint64 address = 0;
    if (!options.has(QStringLiteral("port"))) {
        options.number(QStringLiteral("port"), 0, 0, station);  // sets "missing --port"
        return false;
    }
    target.port = options.value(QStringLiteral("port"));
    if (!options.number(QStringLiteral("station"), 1, 247, station))
        return false;
    target.station = static_cast<quint8>(station);
    if (needAddress) {
        if (!options.number(QStringLiteral("address"), 0, 0xFFFF, address))
            return false;
        target.address = static_cast<quint16>(address);
    }
    return true;
}


QJsonObject stateToJson(const DeviceState &s)
{
    return QJsonObject{{QStringLiteral("positionMm"), s.positionMm},
                       {QStringLiteral("currentMa"), s.currentMa},
                       {QStringLiteral("trackErrUm"), s.trackErrUm},
                       {QStringLiteral("alarmCode"), s.alarmCode},
                       {QStringLiteral("x0"), s.x0},
                       {QStringLiteral("x1"), s.x1},
                       {QStringLiteral("x2"), s.x2},
                       {QStringLiteral("x7"), s.x7},
                       {QStringLiteral("y0"), s.y0},
                       {QStringLiteral("y1"), s.y1},
                       {QStringLiteral("y2"), s.y2},
                       {QStringLiteral("inputsRaw"), s.inputsRaw},
                       {QStringLiteral("outputsRaw"), s.outputsRaw},
                       {QStringLiteral("alarmHistRaw"), s.alarmHistRaw}};
}

}  // namespace

int CliContext::usage(const QString &reason) const
{
    err << "vexa-cli: " << reason << " (see vexa-cli --help)\n";
    err.flush();
    return CliExit::Usage;
}

void CliContext::logDrive(const QString &port, quint8 station, const DeviceInfo *info) const
{
    sink().logDrive(port, station, info);
}

void CliContext::logEvent(const QString &event, const QJsonObject &fields) const
{
    sink().logEvent(event, fields);
}

int CliContext::fail(int code, const QString &reason) const
{
    return sink().fail(code, reason);
}

int CliContext::failExchange(const ModbusError &error, const QString &port, quint8 station, int waitMs) const
{
    return sink().failExchange(error, port, station, waitMs);
}

std::unique_ptr<QIODevice> openCliPort(const CliContext &ctx, const QString &portName)
{
    return ctx.sink().openPort(portName);
}

void probeForEcho(ModbusTransport &link, quint8 station)
{
    try {
        link.readRegisters(station, Reg::LogicVersion, 1, EchoProbeTimeoutMs);
    } catch (const ModbusError &) {
        // Silence or a refusal says nothing about the adapter; its echo would have.
    }
}

void CliContext::traceLink(ModbusTransport &link) const
{
    sink().traceLink(link);
}

void CliContext::traceManager(ConnectionManager &manager) const
{
    sink().traceManager(manager);
}

void CliContext::traceWorker(ModbusWorker &worker) const
{
    if (!trace)
        return;
    worker.setExchangeTracing(true);
    QObject::connect(&worker, &ModbusWorker::exchangeRecorded, &worker, [this](const ExchangeRecord &record) {
        err << record.line() << '\n';
        err.flush();
    }, Qt::QueuedConnection);
}

int cmdRead(const CliContext &ctx)
{
    CliOptions options({"port", "station", "address", "count"}, {"stats"});
    Target target;
    qint64 count = 0;
    if (!options.parse(ctx.arguments) || !parseTarget(options, target, true)
        || !options.number(QStringLiteral("count"), 1, MaxReadWords, count))
        return ctx.usage(options.error());
    auto port = openCliPort(ctx, target.port);
    if (!port)
        return CliExit::PortUnavailable;
    ModbusTransport link(ModbusTransport::Pacing::FixedSleep, port.get());
    ctx.traceLink(link);
    const bool withStats = options.has(QStringLiteral("stats"));
    QVector<quint16> words;
    try {
        words = link.readRegisters(target.station, target.address, static_cast<quint16>(count), ReadTimeoutMs);
    } catch (const ModbusError &e) {
        if (withStats)
            ctx.out << statsLine(link) << '\n';
        return ctx.failExchange(e, target.port, target.station, ReadTimeoutMs);
    }
    for (int i = 0; i < words.size(); ++i)
        ctx.out << hexWord(target.address + i) << ' ' << hexWord(words[i]) << '\n';
    if (withStats)
        ctx.out << statsLine(link) << '\n';
    ctx.out.flush();
    return CliExit::Ok;
}

namespace {

// With --log, the words a write is about to replace; empty when they could not be read.
QVector<quint16> wordsBeforeWrite(const CliContext &ctx, ModbusTransport &link, const Target &target, int count)
{
    if (!ctx.logging())
        return {};
    try {
        return link.readRegisters(target.station, target.address, quint16(count), ReadTimeoutMs);
    } catch (const ModbusError &) {
        return {};
    }
}

// One record per register written, keyed by its address.
void logRegisterWrites(const CliContext &ctx, const Target &target, const QVector<quint16> &before,
                       const QVector<quint16> &words, bool written)
{
    if (!ctx.logging())
        return;
    ctx.logDrive(target.port, target.station, nullptr);
    const auto word = [](quint16 raw) { return EventLog::value(raw, QString::number(raw), QString()); };
    for (int i = 0; i < words.size(); ++i) {
        const QJsonValue old = i < before.size() ? QJsonValue(word(before[i])) : QJsonValue();
        ctx.logEvent(QStringLiteral("parameter write"),
                     EventLog::writeFields(hexWord(target.address + i), old, word(words[i]), written));
    }
}

}  // namespace

int cmdWrite(const CliContext &ctx)
{
    CliOptions options({"port", "station", "address", "value"}, {});
    Target target;
    qint64 value = 0;
    if (!options.parse(ctx.arguments) || !parseTarget(options, target, true)
        || !options.number(QStringLiteral("value"), 0, 0xFFFF, value))
        return ctx.usage(options.error());
    auto port = openCliPort(ctx, target.port);
    if (!port)
        return CliExit::PortUnavailable;
    ModbusTransport link(ModbusTransport::Pacing::FixedSleep, port.get());
    ctx.traceLink(link);
    probeForEcho(link, target.station);
    const QVector<quint16> before = wordsBeforeWrite(ctx, link, target, 1);
    const bool written = link.writeRegister(target.station, target.address, static_cast<quint16>(value));
    logRegisterWrites(ctx, target, before, {static_cast<quint16>(value)}, written);
    if (!written)
        return ctx.failExchange(link.lastWriteError(), target.port, target.station,
                                ModbusTransport::WriteTimeoutMs);
    return CliExit::Ok;
}

int cmdWriteMulti(const CliContext &ctx)
{
    CliOptions options({"port", "station", "address", "values"}, {});
    Target target;
    if (!options.parse(ctx.arguments) || !parseTarget(options, target, true))
        return ctx.usage(options.error());
    if (!options.has(QStringLiteral("values")))
        return ctx.usage(QStringLiteral("missing --values"));
    const ParsedWords values = parseWordList(options.value(QStringLiteral("values")), MaxWriteWords);
    if (!values.ok)
        return ctx.usage(QStringLiteral("--values: %1").arg(values.error));
    auto port = openCliPort(ctx, target.port);
    if (!port)
        return CliExit::PortUnavailable;
    ModbusTransport link(ModbusTransport::Pacing::FixedSleep, port.get());
    ctx.traceLink(link);
    probeForEcho(link, target.station);
    const QVector<quint16> before = wordsBeforeWrite(ctx, link, target, values.words.size());
    const bool written = link.writeRegisters(target.station, target.address, values.words);
    logRegisterWrites(ctx, target, before, values.words, written);
    if (!written)
        return ctx.failExchange(link.lastWriteError(), target.port, target.station,
                                ModbusTransport::WriteMultiTimeoutMs);
    return CliExit::Ok;
}

int cmdPoll(const CliContext &ctx)
{
    CliOptions options({"port", "station", "count"}, {});
    Target target;
    qint64 count = 0;
    if (!options.parse(ctx.arguments) || !parseTarget(options, target, false)
        || !options.number(QStringLiteral("count"), 1, 1000000, count))
        return ctx.usage(options.error());

    ModbusWorker worker;
    worker.setPortName(target.port);
    worker.setStation(target.station);
    ctx.traceWorker(worker);
    QEventLoop loop;
    int exitCode = CliExit::Ok;
    qint64 received = 0;
    QObject::connect(&worker, &ModbusWorker::stateUpdated, &loop, [&](const DeviceState &state) {
        if (received >= count)
            return;
        ctx.out << QJsonDocument(stateToJson(state)).toJson(QJsonDocument::Compact) << '\n';
        ctx.out.flush();
        if (++received == count)
            loop.quit();
    });
    QObject::connect(&worker, &ModbusWorker::connectionError, &loop, [&](const ModbusError &error) {
        switch (error.kind()) {
        case ModbusError::Kind::PortOpen:
            exitCode = ctx.fail(CliExit::PortUnavailable, QStringLiteral("cannot open port %1").arg(target.port));
            break;
        case ModbusError::Kind::Refused:
            exitCode = ctx.fail(CliExit::Refused, QStringLiteral("station %1 refused the polling requests: %2")
                                                      .arg(target.station)
                                                      .arg(error.text()));
            break;
        case ModbusError::Kind::NoReply:
            exitCode = ctx.fail(CliExit::NoReply, QStringLiteral("no reply from station %1 on %2 within %3 ms "
                                                                 "(the drive stopped answering)")
                                                      .arg(target.station)
                                                      .arg(target.port)
                                                      .arg(ModbusWorker::PollReadTimeoutMs));
            break;
        default:
            exitCode = ctx.fail(CliExit::NoReply, error.text());
        }
        loop.quit();
    });
    worker.start();
    loop.exec();
    worker.stop();
    worker.wait();
    ctx.out << QJsonDocument(QJsonObject{{QStringLiteral("link"), linkStatsJson(worker.linkStats())}})
                   .toJson(QJsonDocument::Compact)
            << '\n';
    ctx.out.flush();
    return exitCode;
}
