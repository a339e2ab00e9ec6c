// What the event log costs the polling cycle. The window polls the simulated
// drive at its real wire time while the drive raises or clears an alarm after
// every state, so every cycle leaves a record (far more than a real drive
// would): once with "Keep an event log" off, once with it on (a line written
// and flushed per cycle). Prints the polling cycle in both cases and, apart,
// what one record costs in memory and on disk.
//
// Usage: bench_events [cycles]   (default 300)

#include "benchstats.h"
#include "benchwindow.h"
#include "devicestate.h"
#include "eventlog.h"
#include "mainwindow.h"
#include "modbusworker.h"
#include "registers.h"
#include "scripteddialogs.h"
#include "simbus.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace {

constexpr quint8 Station = 1;
constexpr int RecordRuns = 5000;

// The intervals between the states the window receives over `cycles` cycles,
// the drive's alarm toggled after each.
QVector<double> pollCycles(MainWindow &window, SimBus &bus, int cycles)
{
    QVector<double> intervals;
    QElapsedTimer clock;
    clock.start();
    qint64 last = -1;
    const QMetaObject::Connection watch = QObject::connect(
        window.modbusWorker(), &ModbusWorker::stateUpdated, &window, [&](const DeviceState &state) {
            const qint64 now = clock.nsecsElapsed();
            if (last >= 0)
                intervals << (now - last) / 1e6;
            last = now;
            if (state.alarmCode == 0)
                bus.raiseAlarm(Station, 6);
            else
                bus.setRegisterValue(Station, Reg::AlarmWord, bus.registerValue(Station, Reg::AlarmWord) & 0xFFF0);
        });
    waitFor([&] { return intervals.size() >= cycles; }, cycles * 200);
    QObject::disconnect(watch);
    return intervals;
}

// Microseconds per record, kept in memory only or also appended to a file.
double recordCostUs(const QString &folder)
{
    EventLog log;
    log.setDailyFolder(folder);
    log.setDrive({QStringLiteral("/dev/ttyUSB0"), Station, QStringLiteral("LXAZ-16L01-50-BC"), QStringLiteral("1.00"),
                  QStringLiteral("1.0"), QStringLiteral("A1")});
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < RecordRuns; ++i)
        log.record(QStringLiteral("alarm raised"), {{QStringLiteral("code"), 6}});
    return clock.nsecsElapsed() / 1e3 / RecordRuns;
}

}  // namespace

int main(int argc, char *argv[])
{
    BenchApplication app(argc, argv);
    if (!app.ready())
        return 1;
    const int cycles = argc > 1 ? std::max(10, QString::fromLocal8Bit(argv[1]).toInt()) : 300;

    SimBus bus;
    std::unique_ptr<MainWindow> window = connectedWindow(bus, Station);
    if (!window)
        return 1;
    auto *keep = find<QCheckBox>(*window, "chkKeepEventLog");
    std::printf("Polling cycle with one event record per cycle, %d cycles each\n", cycles);
    keep->setChecked(false);
    const SampleSummary off = summarize(pollCycles(*window, bus, cycles));
    keep->setChecked(true);
    const SampleSummary on = summarize(pollCycles(*window, bus, cycles));
    keep->setChecked(false);
    printSummary("poll cycle, event log kept in memory", off, "ms");
    printSummary("poll cycle, event log also on disk", on, "ms");
    std::printf("difference of the means: %+.3f ms\n", on.mean - off.mean);

    QTemporaryDir folder;
    std::printf("one record: %.1f us in memory, %.1f us with its line written and flushed (%d records)\n",
                recordCostUs(QString()), recordCostUs(folder.path()), RecordRuns);
    return off.count >= cycles - 1 && on.count >= cycles - 1 ? 0 : 1;
}
