// How long the window's event loop stands still while the operator's longer
// operations run against a drive that does not answer: Read All of the
// parameters, the engineering compare read and block write, and a bus scan.
// A 5 ms timer on the GUI thread records the largest gap between its ticks;
// each figure is set against the longest single wait the design allows for
// one request of that operation.
//
// Usage: bench_responsiveness [runs]   (default 3)

#include "benchstats.h"
#include "benchwindow.h"
#include "cmpengine.h"
#include "cmpmanager.h"
#include "engineeringaccess.h"
#include "mainwindow.h"
#include "modbusworker.h"
#include "registertemplate.h"
#include "scripteddialogs.h"
#include "simbus.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

constexpr quint8 Station = 3;
constexpr int TickMs = 5;
constexpr int ConnectWaitMs = 15000;
// The bench's own password, handed to the window as its digest.
const char *const EngineerPassword = "bench-and-test-only";

// The wait limits of one request in the worker's contract: a read
// waits its 300 ms transaction plus 500 ms, a compare read 1000 + 500 ms,
// a multiple write 1000 ms; the compare engine pauses 50 ms after each group.
// A scan handles events between stations, so one station is its unit:
// the 30 ms gap and the 100 ms scan read.
constexpr double ReadBoundMs = ModbusWorker::SyncReadTransactionMs + ModbusWorker::SyncReadExtraWaitMs;
constexpr double CompareReadBoundMs = 1000 + ModbusWorker::SyncReadExtraWaitMs + CmpManager::GroupPauseMs;
constexpr double CompareWriteBoundMs = ModbusWorker::SyncWriteMultiWaitMs + CmpManager::GroupPauseMs;
constexpr double ScanStationBoundMs = 30 + 100;
// Noise of a shared machine on top of a bound before a figure counts as over it.
constexpr double ToleranceMs = 50;

// Runs `operation` from the event loop while a timer measures the gaps
// between its ticks; returns the operation's time, `longestGap` the worst gap.
double timedOnGuiThread(const std::function<void()> &operation, double &longestGap)
{
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(TickMs);
    tick.setTimerType(Qt::PreciseTimer);
    QElapsedTimer sinceTick;
    longestGap = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (sinceTick.isValid())
            longestGap = std::max(longestGap, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });
    double took = 0;
    tick.start();
    QTimer::singleShot(50, &loop, [&] {
        QElapsedTimer clock;
        clock.start();
        operation();
        took = clock.nsecsElapsed() / 1e6;
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
    });
    loop.exec();
    return took;
}

bool openComparePage(MainWindow &window)
{
    window.setEngineeringPasswordDigest(EngineeringAccess::sha256Hex(QString::fromLatin1(EngineerPassword)));
    auto *access = window.findChild<EngineeringAccess *>();
    if (!access->engineerMode()) {
        for (int i = 0; i < EngineeringAccess::TapsToToggle; ++i)
            access->tap();
    }
    find<QLineEdit>(window, "engPassword")->setText(QString::fromLatin1(EngineerPassword));
    find<QAbstractButton>(window, "btnLogin")->click();
    return find<QTableWidget>(window, "cmpTable")->rowCount() > 0;
}

SimFaults silence()
{
    SimFaults faults;
    faults.silent = true;
    return faults;
}

struct Figure
{
    QString operation;
    SampleSummary took;
    SampleSummary stall;
    double boundMs;
    const char *unit;
};

void print(const Figure &f)
{
    const bool within = f.stall.max <= f.boundMs + ToleranceMs;
    std::printf("%-40s took %8.0f ms  longest stall %8.0f ms  bound %6.0f ms (%s)  %s",
                qPrintable(f.operation), f.took.max, f.stall.max, f.boundMs, f.unit, within ? "within" : "EXCEEDS");
    if (!within)
        std::printf(" (%.1f x)", f.stall.max / f.boundMs);
    std::printf("\n");
}

// One operation of the window, started by its button while the bus is silent.
Figure measure(MainWindow &window, SimBus &bus, const QString &operation, const char *button, double boundMs,
               const char *unit, int runs)
{
    QVector<double> took, stalls;
    auto *widget = find<QAbstractButton>(window, button);
    int states = 0;
    const QMetaObject::Connection counting = QObject::connect(
        window.modbusWorker(), &ModbusWorker::stateUpdated, [&states] { ++states; });
    for (int i = 0; i < runs; ++i) {
        // Two fresh states: a whole polling cycle succeeded, so the failed
        // cycles of the run before do not add up to a lost connection.
        const int seen = states;
        if (window.modbusWorker()->isRunning())
            waitFor([&] { return states >= seen + 2; }, ConnectWaitMs);
        if (!widget->isEnabled()) {
            std::printf("%s: %s is disabled\n", qPrintable(operation), button);
            break;
        }
        double stall = 0;
        took << timedOnGuiThread([&] {
            bus.setFaults(silence());
            widget->click();
            // Answering again at once, so the resumed polling keeps the connection.
            bus.setFaults(SimFaults());
        }, stall);
        stalls << stall;
    }
    QObject::disconnect(counting);
    return Figure{operation, summarize(took), summarize(stalls), boundMs, unit};
}

}  // namespace

int main(int argc, char *argv[])
{
    BenchApplication app(argc, argv);
    if (!app.ready())
        return 1;
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 3;

    SimBus bus;
    std::unique_ptr<MainWindow> window = connectedWindow(bus, Station);
    if (!window)
        return 1;
    if (!openComparePage(*window)) {
        std::printf("the compare page did not open\n");
        return 1;
    }

    std::printf("GUI event loop stalls against a silent drive, %d run(s) each; worst run shown\n", runs);
    QVector<Figure> figures;
    figures << measure(*window, bus, QStringLiteral("Read All parameters (8 reads)"), "btnReadAllParams", ReadBoundMs,
                       "one read", runs);
    const int groups = mergeTasks(RegisterTemplate::tasks()).size();
    figures << measure(*window, bus, QStringLiteral("compare read (%1 groups)").arg(groups),
                       "btnCmpRead", CompareReadBoundMs, "one group", runs);
    figures << measure(*window, bus, QStringLiteral("compare block write (%1 groups)").arg(groups),
                       "btnCmpWrite", CompareWriteBoundMs, "one group", runs);

    find<QAbstractButton>(*window, "btnDisconnect")->click();
    figures << measure(*window, bus, QStringLiteral("bus scan, stations 1 to 16"), "btnScan", ScanStationBoundMs, "one station",
                       runs);
    for (const Figure &f : qAsConst(figures))
        print(f);

    window.reset();
    return 0;
}
