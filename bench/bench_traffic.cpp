// The polling cycle with the traffic view closed, and open while it fills,
// on the simulated drive over a pseudo-terminal and over TCP. The phases
// alternate so that drift of the machine falls on both alike.

#include "benchstats.h"
#include "connectionmanager.h"
#include "dialogs.h"
#include "modbusworker.h"
#include "simbus.h"
#include "trafficview.h"

#include "benchapp.h"
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

// No boxes in a bench.
class NoDialogs : public Dialogs
{
public:
    QMessageBox::StandardButton message(QMessageBox::Icon, const QString &, const QString &,
                                        QMessageBox::StandardButtons, QMessageBox::StandardButton) override
    {
        return QMessageBox::Ok;
    }
    bool confirm(const QString &, const QString &, const QString &, const QString &) override { return false; }
    QString saveFileName(const QString &, const QString &, const QString &) override { return {}; }
    QString openFileName(const QString &, const QString &, const QString &) override { return {}; }
};

struct CycleClock
{
    std::mutex mutex;
    QVector<double> periods;
    Clock::time_point last;
    bool counting = false;
};

void runFor(int cycles, CycleClock &clock)
{
    {
        std::lock_guard<std::mutex> lock(clock.mutex);
        clock.counting = false;
    }
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        std::lock_guard<std::mutex> lock(clock.mutex);
        if (clock.periods.size() >= cycles)
            loop.quit();
    });
    poll.start(20);
    loop.exec();
}

void bench(bool tcp, int cycles, int rounds)
{
    SimBus bus;
    bus.addDrive(SimDriveConfig());
    if (!(tcp ? bus.startTcp(0) : bus.start())) {
        std::printf("cannot start the simulated bus: %s\n", qPrintable(bus.errorString()));
        return;
    }
    ModbusWorker worker;
    ConnectionManager connections(&worker);
    NoDialogs dialogs;
    TrafficView view(&worker, &connections, [&dialogs]() -> Dialogs & { return dialogs; });
    CycleClock clock;
    QObject::connect(
        &worker, &ModbusWorker::stateUpdated, &worker,
        [&clock](const DeviceState &) {
            std::lock_guard<std::mutex> lock(clock.mutex);
            const auto now = Clock::now();
            if (clock.counting)
                clock.periods.append(std::chrono::duration<double, std::milli>(now - clock.last).count());
            clock.counting = true;
            clock.last = now;
        },
        Qt::DirectConnection);
    worker.setPortName(bus.portPath());
    worker.start();

    QVector<double> closed;
    QVector<double> open;
    for (int round = 0; round < rounds; ++round) {
        for (const bool shown : {false, true}) {
            view.setVisible(shown);
            {
                std::lock_guard<std::mutex> lock(clock.mutex);
                clock.periods.clear();
            }
            runFor(cycles, clock);
            std::lock_guard<std::mutex> lock(clock.mutex);
            (shown ? open : closed) += clock.periods;
        }
    }
    worker.stop();
    worker.wait();
    const char *over = tcp ? "TCP" : "pty";
    const SampleSummary c = summarize(closed);
    const SampleSummary o = summarize(open);
    printSummary(qPrintable(QStringLiteral("poll cycle, %1, traffic view closed").arg(QLatin1String(over))), c, "ms");
    printSummary(qPrintable(QStringLiteral("poll cycle, %1, traffic view open, filling").arg(QLatin1String(over))), o,
                 "ms");
    std::printf("%-44s %+.2f %% (mean), %+.2f %% (p50), %d exchanges listed\n", "  open against closed",
                (o.mean - c.mean) / c.mean * 100.0, (o.p50 - c.p50) / c.p50 * 100.0, view.model()->rowCount());
}

}  // namespace

int main(int argc, char *argv[])
{
    BenchApplication app(argc, argv);
    if (!app.ready())
        return 1;
    const int cycles = argc > 1 ? QByteArray(argv[1]).toInt() : 50;
    const int rounds = argc > 2 ? QByteArray(argv[2]).toInt() : 3;
    bench(false, cycles, rounds);
    bench(true, cycles, rounds);
    return 0;
}
