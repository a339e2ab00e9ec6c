// Measures the operator's connection workflow in the real window, offscreen,
// against the simulated drive bus: a bus scan of an empty bus and of one with
// two drives, and the time from pressing Connect to the first drive state on
// screen. Prints figures; asserts nothing.

#include "benchstats.h"
#include "connectionmanager.h"
#include "mainwindow.h"
#include "modbusworker.h"
#include "scripteddialogs.h"
#include "simbus.h"

#include <QAbstractButton>
#include "benchapp.h"
#include <QComboBox>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>

namespace {

constexpr int WaitMs = 10000;
constexpr double EmptyScanTargetMs = 16 * 130.0;

std::unique_ptr<MainWindow> makeWindow(const SimBus &bus)
{
    auto window = std::make_unique<MainWindow>();
    // A failure must not open a modal box nobody can close.
    window->setDialogs(std::make_unique<ScriptedDialogs>());
    window->findChild<QComboBox *>(QStringLiteral("cbPorts"))->setEditText(bus.portPath());
    return window;
}

QAbstractButton *button(MainWindow &window, const char *name)
{
    return window.findChild<QAbstractButton *>(QLatin1String(name));
}

double scanMs(MainWindow &window)
{
    QElapsedTimer timer;
    timer.start();
    button(window, "btnScan")->click();
    return timer.nsecsElapsed() / 1e6;
}

void benchScan(const char *what, const QVector<quint8> &stations, int runs)
{
    SimBus bus;
    for (quint8 station : stations) {
        SimDriveConfig drive;
        drive.station = station;
        bus.addDrive(drive);
    }
    if (!bus.start()) {
        std::printf("%s: cannot start the simulated bus: %s\n", what, qPrintable(bus.errorString()));
        return;
    }
    auto window = makeWindow(bus);
    QVector<double> samples;
    for (int i = 0; i < runs; ++i)
        samples << scanMs(*window);
    printSummary(what, summarize(samples), "ms");

    // The same scan without the window's progress and cancel callbacks: what the window adds.
    QVector<double> bare;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        window->connections()->scanBus(bus.portPath());
        bare << timer.nsecsElapsed() / 1e6;
    }
    printSummary("  the connection manager's scan alone", summarize(bare), "ms");
}

void benchConnect(int runs)
{
    SimBus bus;
    SimDriveConfig drive;
    drive.station = 3;
    bus.addDrive(drive);
    if (!bus.start()) {
        std::printf("connect: cannot start the simulated bus: %s\n", qPrintable(bus.errorString()));
        return;
    }
    auto window = makeWindow(bus);
    ModbusWorker *worker = window->modbusWorker();

    // Connected after the window's own handler, so it runs once the state is on screen.
    QElapsedTimer sincePress;
    double shownAfterMs = -1;
    QObject::connect(worker, &ModbusWorker::stateUpdated, window.get(), [&](const DeviceState &) {
        if (shownAfterMs < 0 && sincePress.isValid())
            shownAfterMs = sincePress.nsecsElapsed() / 1e6;
    });

    QVector<double> samples;
    for (int i = 0; i < runs; ++i) {
        // Every disconnect empties the scan table, so each attempt scans first.
        scanMs(*window);
        shownAfterMs = -1;
        sincePress.start();
        button(*window, "btnConnect")->click();
        if (!QTest::qWaitFor([&] { return shownAfterMs >= 0; }, WaitMs)) {
            std::printf("connect: no state shown within %d ms\n", WaitMs);
            return;
        }
        samples << shownAfterMs;
        sincePress.invalidate();
        button(*window, "btnDisconnect")->click();
        if (!QTest::qWaitFor([&] { return !worker->isRunning(); }, WaitMs)) {
            std::printf("connect: the worker did not stop within %d ms\n", WaitMs);
            return;
        }
    }
    printSummary("Connect pressed -> first state shown", summarize(samples), "ms");
}

}  // namespace

int main(int argc, char *argv[])
{
    BenchApplication app(argc, argv);
    if (!app.ready())
        return 1;
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    setvbuf(stdout, nullptr, _IOLBF, 0);

    std::printf("bench_connection: %d runs each, window offscreen, simulated bus\n", runs);
    std::printf("empty-bus scan target: %.0f ms (16 x 130 ms), within 5%%: %.0f to %.0f ms\n", EmptyScanTargetMs,
                EmptyScanTargetMs * 0.95, EmptyScanTargetMs * 1.05);
    benchScan("Scan, empty bus", {}, runs);
    benchScan("Scan, drives at 3 and 7", {3, 7}, runs);
    benchConnect(runs);
    return 0;
}
