#include "drivesession.h"

#include "registerport.h"

#include "connectionmanager.h"
#include "modbusworker.h"

#include <QEventLoop>
#include <QTimer>

namespace {

constexpr int IdentifyWaitMs = 5000;

// Identifies the drive as the window does on connecting, then hands the port
// back. Ok with info filled, or the exit code after reporting why.
int identifyDrive(const JobSink &sink, const QString &port, quint8 station, DeviceInfo *info)
{
    ModbusWorker worker;
    ConnectionManager manager(&worker);
    sink.traceManager(manager);
    QEventLoop loop;
    int code = JobExit::Ok;
    QObject::connect(&manager, &ConnectionManager::connected, &loop, [&](const DeviceInfo &identified) {
        *info = identified;
        loop.quit();
    });
    QObject::connect(&manager, &ConnectionManager::connectionError, &loop, [&](const ModbusError &error) {
        code = sink.failExchange(error, port, station, ConnectionManager::IdentifyTimeoutMs);
        loop.quit();
    });
    QTimer::singleShot(IdentifyWaitMs, &loop, [&] {
        code = JobExit::NoReply;
        sink.fail(code, QStringLiteral("Timeout"));
        loop.quit();
    });
    // Failures of identification arrive synchronously, before the loop runs.
    manager.connectToDevice(port, station, true);
    if (code == JobExit::Ok)
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
    TransportRegisterPort port(link, station);
    return ParamSnapshot::read(port);
}

int openDrive(const JobSink &sink, const QString &portName, quint8 station, DriveSession *session)
{
    const int identified = identifyDrive(sink, portName, station, &session->info);
    if (identified != JobExit::Ok)
        return identified;
    session->port = sink.openPort(portName);
    if (!session->port)
        return JobExit::PortUnavailable;
    session->link = std::make_unique<ModbusTransport>(ModbusTransport::Pacing::FixedSleep, session->port.get());
    sink.traceLink(*session->link);
    return JobExit::Ok;
}

int readWhole(const JobSink &sink, DriveSession &session, quint8 station, ParamSnapshot::Snapshot *snapshot)
{
    *snapshot = readSnapshot(*session.link, station);
    if (snapshot->complete())
        return JobExit::Ok;
    return sink.fail(JobExit::NoReply, QStringLiteral("could not read from the drive: %1")
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

int compareWithDrive(const JobSink &sink, const QString &port, quint8 station, const QJsonObject &root,
                     const QString &path, bool writing, bool allowReversed, DriveComparison *out)
{
    int code = openDrive(sink, port, station, &out->session);
    if (code != JobExit::Ok)
        return code;
    const DeviceInfo &info = out->session.info;
    // What is written must be meant for this drive: diff compares as an import
    // would, apply needs the file to name the product and to match it.
    const ParamFile::Compatibility compatibility =
        writing ? ParamFile::checkWriteCompatibility(root, identityOf(info), QStringLiteral("en"))
                : ParamFile::checkCompatibility(root, identityOf(info), QStringLiteral("en"));
    if (!compatibility.blocking.isEmpty()) {
        for (const QString &line : compatibility.blocking)
            sink.err << line << '\n';
        return sink.fail(JobExit::Usage, QStringLiteral("%1 is not known to be for %2").arg(path, info.model));
    }
    if (writing && !compatibility.reversed.isEmpty()) {
        sink.err << compatibility.reversed << '\n';
        if (!allowReversed)
            return sink.fail(JobExit::Usage, QStringLiteral("%1 is for the other motor direction; "
                                                           "--allow-reversed writes it anyway").arg(path));
    }
    for (const QString &line : compatibility.other)
        sink.err << "note: " << line << '\n';
    code = readWhole(sink, out->session, station, &out->drive);
    if (code != JobExit::Ok)
        return code;
    out->comparison = ParamDiff::compare(root, out->drive, info.lead, [&info](const QString &key) {
        return ParamDiff::fileRange(key, info.lead, info.stroke);
    });
    for (const QString &key : qAsConst(out->comparison.unreadable))
        sink.err << key << ": not a valid value in " << path << ", not compared\n";
    for (const QString &line : qAsConst(out->comparison.outsideLines))
        sink.err << "note: outside the editable range, never written: " << line << '\n';
    sink.err.flush();
    return JobExit::Ok;
}
