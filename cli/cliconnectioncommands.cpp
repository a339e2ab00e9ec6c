#include "actuatorcatalogue.h"
#include "cli.h"
#include "clicommands.h"
#include "connectionmanager.h"
#include "deviceinfo.h"
#include "modbusworker.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

namespace {

constexpr int IdentifyWaitMs = 5000;

QString modelOrUnknown(const QString &model)
{
    return model.isEmpty() ? QStringLiteral("Unrecognized Device") : model;
}

}  // namespace

int cmdScan(const CliContext &ctx)
{
    CliOptions options({"port"}, {"json"});
    if (!options.parse(ctx.arguments))
        return ctx.usage(options.error());
    if (!options.has(QStringLiteral("port")))
        return ctx.usage(QStringLiteral("missing --port"));
    const bool json = options.has(QStringLiteral("json"));

    // Opened once on its own first, so a port that cannot be used is reported with the reason.
    if (!openCliPort(ctx, options.value(QStringLiteral("port"))))
        return CliExit::PortUnavailable;

    ModbusWorker worker;
    ConnectionManager manager(&worker);
    ctx.traceManager(manager);
    int found = 0;
    QObject::connect(&manager, &ConnectionManager::deviceFound, [&](const ScanResult &r) {
        ++found;
        if (json) {
            const QJsonObject line{{QStringLiteral("station"), r.station},
                                   {QStringLiteral("model"), r.model},
                                   {QStringLiteral("recognized"), !r.model.isEmpty()},
                                   {QStringLiteral("fwVersion"), r.fwVersion},
                                   {QStringLiteral("hwVersion"), r.hwVersion},
                                   {QStringLiteral("logicVersion"), ActuatorCatalogue::logicVersionText(r.logicVersion)},
                                   {QStringLiteral("logicVersionRaw"), r.logicVersion}};
            ctx.out << QJsonDocument(line).toJson(QJsonDocument::Compact) << '\n';
        } else {
            ctx.out << r.station << '\t' << modelOrUnknown(r.model) << '\t'
                    << r.fwVersion << '\t' << r.hwVersion << '\t'
                    << ActuatorCatalogue::logicVersionText(r.logicVersion) << '\n';
        }
        ctx.out.flush();
    });
    if (!manager.scanBus(options.value(QStringLiteral("port"))))
        return ctx.fail(CliExit::PortUnavailable, manager.lastOpenError().text());
    if (found == 0)
        return ctx.fail(CliExit::NoReply, QStringLiteral("no drive answered on stations 1 to 16"));
    return CliExit::Ok;
}

int cmdIdentify(const CliContext &ctx)
{
    CliOptions options({"port", "station"}, {"engineering"});
    qint64 station = 0;
    if (!options.parse(ctx.arguments) || !options.number(QStringLiteral("station"), 1, 247, station))
        return ctx.usage(options.error());
    if (!options.has(QStringLiteral("port")))
        return ctx.usage(QStringLiteral("missing --port"));

    ModbusWorker worker;
    ConnectionManager manager(&worker);
    ctx.traceManager(manager);
    ctx.traceWorker(worker);
    QEventLoop loop;
    int code = CliExit::Ok;
    QObject::connect(&manager, &ConnectionManager::connected, &loop, [&](const DeviceInfo &info) {
        const QJsonObject json{{QStringLiteral("station"), int(station)},
                               {QStringLiteral("model"), info.model},
                               {QStringLiteral("family"), info.family},
                               {QStringLiteral("size"), info.size},
                               {QStringLiteral("lead"), info.lead},
                               {QStringLiteral("stroke"), info.stroke},
                               {QStringLiteral("logicVersion"), ActuatorCatalogue::logicVersionText(info.logicVersion)},
                               {QStringLiteral("logicVersionRaw"), info.logicVersion},
                               {QStringLiteral("fwVersion"), info.fwVersion},
                               {QStringLiteral("hwVersion"), info.hwVersion}};
        ctx.out << QJsonDocument(json).toJson(QJsonDocument::Indented);
        ctx.out.flush();
        loop.quit();
    });
    QObject::connect(&manager, &ConnectionManager::connectionError, &loop, [&](const ModbusError &error) {
        if (error.kind() == ModbusError::Kind::NotRecognised)
            code = ctx.fail(CliExit::NotRecognised,
                            QStringLiteral("%1; --engineering accepts drives outside the catalogue").arg(error.text()));
        else
            code = ctx.failExchange(error, options.value(QStringLiteral("port")), quint8(station),
                                    ConnectionManager::IdentifyTimeoutMs);
        loop.quit();
    });
    QTimer::singleShot(IdentifyWaitMs, &loop, [&] {
        code = CliExit::NoReply;
        ctx.fail(code, QStringLiteral("Timeout"));
        loop.quit();
    });
    // connectToDevice reports failures of identification synchronously, before the loop runs.
    manager.connectToDevice(options.value(QStringLiteral("port")), quint8(station),
                            !options.has(QStringLiteral("engineering")));
    if (code == CliExit::Ok)
        loop.exec();
    manager.disconnectDevice();
    worker.wait();
    return code;
}
