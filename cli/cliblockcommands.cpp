#include "cli.h"
#include "clicommands.h"
#include "cmpengine.h"
#include "modbustransport.h"
#include "registeraccess.h"

#include <QFile>
#include <QTextStream>

namespace {

constexpr int ReadTimeoutMs = 300;

QString hex4(int value)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(value & 0xFFFF, 4, 16, QLatin1Char('0')).toUpper();
}

QString hexBytes(const QByteArray &bytes)
{
    QStringList parts;
    for (char byte : bytes)
        parts << QStringLiteral("%1").arg(quint8(byte), 2, 16, QLatin1Char('0')).toUpper();
    return parts.join(QLatin1Char(' '));
}

// The engine's register access on a port this thread owns. It remembers whether
// the drive refused any request, so the exit code can tell a refusal from silence.
class TransportRegisterAccess : public RegisterAccess
{
public:
    explicit TransportRegisterAccess(ModbusTransport &link) : m_link(link) {}

    QVector<quint16> readRegisters(quint8 slave, quint16 address, quint16 count) override
    {
        try {
            return m_link.readRegisters(slave, address, count, ReadTimeoutMs);
        } catch (const ModbusError &e) {
            m_refused = m_refused || e.kind() == ModbusError::Kind::Refused;
            throw;
        }
    }
    bool writeRegisters(quint8 slave, quint16 address, const QVector<quint16> &values) override
    {
        return noteWrite(m_link.writeRegisters(slave, address, values));
    }
    bool writeRegister(quint8 slave, quint16 address, quint16 value) override
    {
        return noteWrite(m_link.writeRegister(slave, address, value));
    }
    bool refused() const { return m_refused; }

private:
    bool noteWrite(bool confirmed)
    {
        m_refused = m_refused || (!confirmed && m_link.lastWriteError().kind() == ModbusError::Kind::Refused);
        return confirmed;
    }

    ModbusTransport &m_link;
    bool m_refused = false;
};

struct BlockJob
{
    QString port;
    quint8 station = 1;
    QVector<CmpTask> tasks;
};

// Reads and checks the listing before anything goes on the wire, so a broken
// file never leaves a drive half written.
bool loadListing(const CliContext &ctx, const QString &path, QVector<CmpTask> &tasks, int &code)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        code = ctx.fail(CliExit::Usage, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        return false;
    }
    QTextStream in(&file);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)  // Qt 6 streams are UTF-8 already
    in.setCodec("UTF-8");
#endif
    const ListingParse parsed = parseListing(in.readAll(), QStringLiteral("en"));
    if (parsed.badLine > 0) {
        code = ctx.fail(CliExit::Usage, QStringLiteral("%1: line %2: %3").arg(path).arg(parsed.badLine).arg(parsed.reason));
        return false;
    }
    tasks = parsed.tasks;
    if (tasks.isEmpty()) {
        code = ctx.fail(CliExit::Usage, QStringLiteral("%1 holds no register runs").arg(path));
        return false;
    }
    return true;
}

bool parseJob(const CliContext &ctx, CliOptions &options, BlockJob &job, int &code)
{
    qint64 station = 0;
    if (!options.parse(ctx.arguments.mid(1))) {
        code = ctx.usage(options.error());
        return false;
    }
    for (const char *name : {"port", "file"}) {
        if (!options.has(QLatin1String(name))) {
            code = ctx.usage(QStringLiteral("missing --%1").arg(QLatin1String(name)));
            return false;
        }
    }
    if (!options.number(QStringLiteral("station"), 1, 247, station)) {
        code = ctx.usage(options.error());
        return false;
    }
    job.port = options.value(QStringLiteral("port"));
    job.station = quint8(station);
    return loadListing(ctx, options.value(QStringLiteral("file")), job.tasks, code);
}

void logTo(QTextStream &stream, CmpEngine &engine)
{
    engine.setLanguage(QStringLiteral("en"));
    engine.setLogSink([&stream](const QString &, const QString &text) {
        stream << text << '\n';
        stream.flush();
    });
}

int blockCompare(const CliContext &ctx)
{
    CliOptions options({"port", "station", "file"}, {});
    BlockJob job;
    int code = CliExit::Ok;
    if (!parseJob(ctx, options, job, code))
        return code;
    auto port = openCliPort(ctx, job.port);
    if (!port)
        return CliExit::PortUnavailable;

    ModbusTransport link(ModbusTransport::Pacing::FixedSleep, port.get());
    ctx.traceLink(link);
    TransportRegisterAccess access(link);
    CmpEngine engine(access);
    logTo(ctx.err, engine);
    engine.readAll(job.tasks, job.station);

    bool unread = false;
    bool differs = false;
    for (const CmpTask &task : qAsConst(job.tasks)) {
        ctx.out << hex4(task.address) << ' ' << task.wordCount << ' ' << task.status;
        if (task.status == CmpStatus::Mismatch) {
            differs = true;
            ctx.out << "  expected " << hexBytes(task.expected) << "  device " << hexBytes(task.device);
        } else if (task.status != CmpStatus::Match) {
            unread = true;
        }
        ctx.out << '\n';
    }
    ctx.out.flush();
    // An unread run is not known to differ: the comparison itself is incomplete.
    if (unread)
        return access.refused() ? CliExit::Refused : CliExit::NoReply;
    return differs ? CliExit::Differs : CliExit::Ok;
}

int blockWrite(const CliContext &ctx)
{
    CliOptions options({"port", "station", "file"}, {"save"});
    BlockJob job;
    int code = CliExit::Ok;
    if (!parseJob(ctx, options, job, code))
        return code;
    auto port = openCliPort(ctx, job.port);
    if (!port)
        return CliExit::PortUnavailable;

    ModbusTransport link(ModbusTransport::Pacing::FixedSleep, port.get());
    ctx.traceLink(link);
    probeForEcho(link, job.station);
    TransportRegisterAccess access(link);
    CmpEngine engine(access);
    logTo(ctx.err, engine);
    engine.writeAll(job.tasks, job.station);

    bool allWritten = true;
    for (const CmpGroup &group : mergeTasks(job.tasks)) {
        bool written = true;
        for (int index : group.taskIndices)
            written = written && job.tasks[index].status == CmpStatus::Match;
        allWritten = allWritten && written;
        ctx.out << hex4(group.address) << ' ' << group.wordCount << " words "
                << (written ? "written" : "FAILED") << '\n';
    }

    bool saved = true;
    if (options.has(QStringLiteral("save"))) {
        // A partly written block must not become the drive's power-on state.
        if (!allWritten) {
            ctx.out << "save skipped: the block was not fully written\n";
        } else {
            saved = engine.saveEeprom(job.station);
            ctx.out << (saved ? "saved\n" : "save FAILED\n");
        }
    }
    ctx.out.flush();
    if (allWritten && saved)
        return CliExit::Ok;
    return access.refused() ? CliExit::Refused : CliExit::Failure;
}

}  // namespace

int cmdBlock(const CliContext &ctx)
{
    const QString action = ctx.arguments.value(0);
    if (action == QLatin1String("compare"))
        return blockCompare(ctx);
    if (action == QLatin1String("write"))
        return blockWrite(ctx);
    if (action.isEmpty())
        return ctx.usage(QStringLiteral("block needs compare or write"));
    return ctx.usage(QStringLiteral("unknown block action '%1'").arg(action));
}
