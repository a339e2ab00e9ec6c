#include "paramdrive.h"

#include "connectionmanager.h"
#include "modbusworker.h"

#include <QEventLoop>
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
    QObject::connect(&manager, &ConnectionManager::connectionError, &loop, [&](const ModbusError &error) {
        const QString reason = error.text();
        if (isRecognitionFailure(reason) || isPortFailure(reason))
            code = ctx.fail(isPortFailure(reason) ? CliExit::PortUnavailable : CliExit::NotRecognised, reason);
        else
            code = ctx.failExchange(error, port, station, ConnectionManager::IdentifyTimeoutMs);
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

}  // namespace

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

int readWhole(const CliContext &ctx, DriveSession &session, quint8 station, ParamSnapshot::Snapshot *snapshot)
{
    *snapshot = readSnapshot(*session.link, station);
    if (snapshot->complete())
        return CliExit::Ok;
    return ctx.fail(CliExit::NoReply, QStringLiteral("could not read from the drive: %1")
                                          .arg(ParamSnapshot::namesOf(snapshot->unreadable, QStringLiteral("en"))));
}

ParamFile::Content contentOf(const ParamSnapshot::Snapshot &snapshot, const DeviceInfo &info)
{
    ParamFile::Content content;
    ParamSnapshot::fillContent(snapshot, info.lead, &content);
    content.identity = identityOf(info);
    content.exportTime = QDateTime::currentDateTime();
    content.swVersion = QStringLiteral(VEXA_APP_VERSION);
    return content;
}

int compareWithDrive(const CliContext &ctx, const QString &port, quint8 station, const QJsonObject &root,
                     const QString &path, bool writing, bool allowReversed, DriveComparison *out)
{
    int code = openDrive(ctx, port, station, &out->session);
    if (code != CliExit::Ok)
        return code;
    const DeviceInfo &info = out->session.info;
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
        if (!allowReversed)
            return ctx.fail(CliExit::Usage, QStringLiteral("%1 is for the other motor direction; "
                                                           "--allow-reversed writes it anyway").arg(path));
    }
    for (const QString &line : compatibility.other)
        ctx.err << "note: " << line << '\n';
    code = readWhole(ctx, out->session, station, &out->drive);
    if (code != CliExit::Ok)
        return code;
    out->comparison = ParamDiff::compare(root, out->drive, info.lead, [&info](const QString &key) {
        return ParamDiff::fileRange(key, info.lead, info.stroke);
    });
    for (const QString &key : qAsConst(out->comparison.unreadable))
        ctx.err << key << ": not a valid value in " << path << ", not compared\n";
    for (const QString &line : qAsConst(out->comparison.outsideLines))
        ctx.err << "note: outside the editable range, never written: " << line << '\n';
    ctx.err.flush();
    return CliExit::Ok;
}
