// Soak: the worker polls the simulated drive for a long time while about one
// reply in a hundred is dropped or corrupted, never in three polling cycles
// running (three failed cycles are a lost connection by design). Checks that
// the connection holds, that every cycle not cut by an injected fault delivers
// its state, that states carry the drive's values, and that memory stays flat.
//
//   bench_soak [seconds]        (or VEXA_SOAK_SECONDS; default 60)
//   VEXA_SOAK_SEED=<n>          another fault sequence (default 1)
//
// Prints the figures and exits 1 when a check fails, 2 on a usage error.

#include "modbusworker.h"
#include "registers.h"
#include "simbus.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

constexpr quint8 Station = 1;
constexpr double DrivePositionMm = 12.345;
constexpr double FaultRate = 0.008;          // per reply
constexpr double RepeatRate = 0.25;          // first reply of the cycle after a faulted one
constexpr int MaxFaultedCyclesInARow = ModbusWorker::FailedCyclesBeforeLoss - 1;
constexpr qint64 RssGrowthLimitKb = 2048;
constexpr int WarmUpLimitS = 10;

qint64 rssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Decides request by request whether the bus drops or corrupts the next
// reply, and counts the cycles as the bus sees them. Runs on the bus's serving
// thread as its request observer: the observer of one request runs before its
// reply leaves, so the fault set there applies to the next request. Read the
// figures only after the bus has stopped.
class FaultPlanner
{
public:
    struct Figures
    {
        qint64 requests = 0;
        qint64 cyclesStarted = 0;
        qint64 cyclesCompleted = 0;   // last reply of the cycle sent intact
        qint64 drops = 0;
        qint64 corruptions = 0;
        qint64 faultedCycles = 0;
        qint64 cutShort = 0;          // cycles that stopped early with no fault injected
        int longestFaultedRun = 0;
    };

    FaultPlanner(SimBus &bus, unsigned seed) : m_bus(bus), m_random(seed) {}

    void onRequest(const SimRequest &request)
    {
        if (request.station != Station || request.function != 0x03)
            return;
        Figures &f = m_figures;
        if (request.address == Reg::ActualPosition) {
            if (f.cyclesStarted > 0) {
                if (!m_cycleFaulted && !m_cycleCompleted)
                    ++f.cutShort;
                m_faultedRun = m_cycleFaulted ? m_faultedRun + 1 : 0;
            }
            ++f.cyclesStarted;
            m_cycleFaulted = false;
            m_cycleCompleted = false;
        }
        ++f.requests;

        const Fault fault = m_armed;
        if (fault != Fault::None) {
            ++(fault == Fault::Drop ? f.drops : f.corruptions);
            if (!m_cycleFaulted) {
                m_cycleFaulted = true;
                ++f.faultedCycles;
                f.longestFaultedRun = std::max(f.longestFaultedRun, m_faultedRun + 1);
            }
        } else if (request.address == Reg::OutputStatus) {
            m_cycleCompleted = true;
            ++f.cyclesCompleted;
        }

        // A failed read ends the worker's cycle, so does its last read.
        const bool nextStartsCycle = fault != Fault::None || request.address == Reg::OutputStatus;
        const int runBeforeNext = nextStartsCycle ? (m_cycleFaulted ? m_faultedRun + 1 : 0) : m_faultedRun;
        const double chance = nextStartsCycle && runBeforeNext > 0 ? RepeatRate : FaultRate;
        Fault next = Fault::None;
        if (runBeforeNext < MaxFaultedCyclesInARow && m_chance(m_random) < chance)
            next = m_chance(m_random) < 0.5 ? Fault::Drop : Fault::Corrupt;
        arm(next);
    }

    Figures figures() const { return m_figures; }

private:
    enum class Fault { None, Drop, Corrupt };

    void arm(Fault fault)
    {
        if (fault == m_armed)
            return;
        SimFaults faults;
        faults.dropEveryNth = fault == Fault::Drop ? 1 : 0;
        faults.badCrc = fault == Fault::Corrupt;
        m_bus.setFaults(faults);
        m_armed = fault;
    }

    SimBus &m_bus;
    std::mt19937 m_random;
    std::uniform_real_distribution<double> m_chance{0.0, 1.0};
    Fault m_armed = Fault::None;
    bool m_cycleFaulted = false;
    bool m_cycleCompleted = false;
    int m_faultedRun = 0;  // faulted cycles right before the current one
    Figures m_figures;
};

struct WorkerCounts
{
    std::atomic<qint64> states{0};
    std::atomic<qint64> wrongStates{0};
    std::atomic<qint64> pollErrors{0};
    std::atomic<int> connectionErrors{0};
    std::atomic<bool> connected{false};
};

int secondsFromArguments(int argc, char *argv[])
{
    QByteArray text = qgetenv("VEXA_SOAK_SECONDS");
    if (argc > 1)
        text = argv[1];
    if (text.isEmpty())
        return 60;
    bool ok = false;
    const int seconds = text.toInt(&ok);
    return ok && seconds > 0 ? seconds : -1;
}

bool check(bool passed, const char *what)
{
    std::printf("  %-6s %s\n", passed ? "ok" : "FAILED", what);
    return passed;
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const int seconds = secondsFromArguments(argc, argv);
    if (seconds < 0) {
        std::fprintf(stderr, "usage: bench_soak [seconds]   (a whole number above 0)\n");
        return 2;
    }
    const unsigned seed =
        qEnvironmentVariableIsSet("VEXA_SOAK_SEED") ? unsigned(qEnvironmentVariableIntValue("VEXA_SOAK_SEED")) : 1;

    SimBus bus;
    SimDriveConfig config;
    config.station = Station;
    bus.addDrive(config);
    if (!bus.start()) {
        std::printf("bench_soak: cannot start the simulated bus: %s\n", qPrintable(bus.errorString()));
        return 1;
    }
    bus.setPositionMm(Station, DrivePositionMm);
    FaultPlanner planner(bus, seed);
    bus.setRequestObserver([&planner](const SimRequest &request) { planner.onRequest(request); });

    ModbusWorker worker;
    worker.setPortName(bus.portPath());
    worker.setStation(Station);
    WorkerCounts counts;
    // Direct connections: counted on the worker's thread, no event loop needed.
    QObject::connect(&worker, &ModbusWorker::connectedSuccessfully, &worker, [&] { counts.connected = true; },
                     Qt::DirectConnection);
    QObject::connect(&worker, &ModbusWorker::stateUpdated, &worker, [&](const DeviceState &state) {
        ++counts.states;
        if (std::fabs(state.positionMm - DrivePositionMm) > 1e-9)
            ++counts.wrongStates;
    }, Qt::DirectConnection);
    QObject::connect(&worker, &ModbusWorker::logMessage, &worker, [&](const QString &, const QString &text) {
        if (text.startsWith(QLatin1String("Poll error")))
            ++counts.pollErrors;
    }, Qt::DirectConnection);
    QObject::connect(&worker, &ModbusWorker::connectionError, &worker, [&](const ModbusError &error) {
        ++counts.connectionErrors;
        std::printf("connection lost: %s\n", qPrintable(error.text()));
    }, Qt::DirectConnection);

    std::printf("bench_soak: %d s of polling station %d on %s, about 1%% of replies dropped or corrupted, seed %u\n",
                seconds, Station, qPrintable(bus.portPath()), seed);
    const qint64 rssStart = rssKb();
    worker.start();

    const qint64 durationMs = qint64(seconds) * 1000;
    const qint64 warmUpMs = std::min<qint64>(WarmUpLimitS * 1000, durationMs / 6);
    qint64 rssWarm = -1;
    qint64 rssMax = 0;
    QElapsedTimer clock;
    clock.start();
    qint64 nextReportMs = 60 * 1000;
    while (clock.elapsed() < durationMs && counts.connectionErrors.load() == 0) {
        QThread::msleep(500);
        // The bus's request log would grow with the run and pass for our memory.
        bus.clearRequests();
        if (clock.elapsed() >= warmUpMs) {
            const qint64 rss = rssKb();
            if (rssWarm < 0)
                rssWarm = rss;
            rssMax = std::max(rssMax, rss);
        }
        if (clock.elapsed() >= nextReportMs) {
            std::printf("  %4lld s: %lld states, %lld poll errors, RSS %lld kB\n", clock.elapsed() / 1000,
                        counts.states.load(), counts.pollErrors.load(), rssKb());
            nextReportMs += 60 * 1000;
        }
    }
    const qint64 rssEnd = rssKb();
    const double ranS = clock.elapsed() / 1000.0;
    worker.stop();
    worker.wait();
    bus.stop();  // the planner's figures are final from here on

    const FaultPlanner::Figures f = planner.figures();
    const LinkStats link = worker.linkStats();
    const qint64 states = counts.states.load();
    const qint64 pollErrors = counts.pollErrors.load();
    const qint64 lostStates = f.cyclesStarted - f.faultedCycles - states;
    // A loaded machine may let a reply miss its 100 ms now and then.
    const qint64 lossAllowance = std::max<qint64>(3, f.cyclesStarted / 200);
    const qint64 unaccounted = f.cyclesStarted - states - pollErrors;

    std::printf("%-44s %.1f s\n", "ran", ranS);
    std::printf("%-44s %lld (%.2f per s)\n", "poll cycles started", f.cyclesStarted, f.cyclesStarted / ranS);
    std::printf("%-44s %lld\n", "poll reads", f.requests);
    std::printf("%-44s %lld dropped, %lld corrupted (%.2f %% of reads)\n", "faults injected", f.drops,
                f.corruptions, f.requests ? 100.0 * (f.drops + f.corruptions) / f.requests : 0.0);
    std::printf("%-44s %lld, longest run %d\n", "cycles hit by a fault", f.faultedCycles, f.longestFaultedRun);
    std::printf("%-44s %lld (%lld with a wrong position)\n", "states received", states, counts.wrongStates.load());
    std::printf("%-44s %lld (reported by the worker: %lld)\n", "failed cycles", f.cyclesStarted - states,
                pollErrors);
    std::printf("%-44s %lld (allowed %lld), cut short at the bus %lld\n", "states lost beyond the faults",
                lostStates, lossAllowance, f.cutShort);
    std::printf("%-44s %s\n", "link counters", qPrintable(link.summary()));
    std::printf("%-44s start %lld, after warm-up %lld, end %lld, max %lld kB\n", "RSS", rssStart, rssWarm,
                rssEnd, rssMax);

    bool passed = true;
    passed &= check(counts.connected.load(), "the worker connected");
    passed &= check(counts.connectionErrors.load() == 0, "the connection never ended");
    passed &= check(f.longestFaultedRun <= MaxFaultedCyclesInARow, "faults never hit three cycles running");
    passed &= check(states > 0 && counts.wrongStates.load() == 0, "every state carries the drive's position");
    passed &= check(lostStates >= 0, "no cycle hit by a fault delivered a state");
    passed &= check(lostStates <= lossAllowance, "no state lost beyond the faulted cycles");
    passed &= check(unaccounted == 0 || unaccounted == 1, "every cycle gave a state or a poll error");
    passed &= check(rssWarm > 0 && rssEnd - rssWarm <= RssGrowthLimitKb, "memory stayed flat after warm-up");
    std::printf("bench_soak: %s\n", passed ? "PASSED" : "FAILED");
    return passed ? 0 : 1;
}
