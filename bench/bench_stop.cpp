// How soon the window's STOP reaches the wire: from the click on btnStopMotion
// to the stop frame (0x00C8 = 0) arriving at the simulated drive, while a
// homing sequence is still queued (STOP at several delays after Home) and while
// polling runs. Also checks that no motion write follows the stop on the wire.
//
// Usage: bench_stop [runs]   (default 10)

#include "benchstats.h"
#include "mainwindow.h"
#include "modbusworker.h"
#include "registers.h"
#include "scripteddialogs.h"
#include "simbus.h"

#include <QAbstractButton>
#include "benchapp.h"
#include <QComboBox>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

constexpr int ConnectWaitMs = 15000;

// Runs the event loop for `ms`, so queued writes and polls go on meanwhile.
void spin(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::usleep(200);
    }
}

template <typename T> T *widget(const MainWindow &window, const char *name)
{
    return window.findChild<T *>(QLatin1String(name));
}

// A jog or homing command, or a rising edge of input X0 or X1 (`inputs`: the
// command inputs as last written).
bool startsMotion(const SimRequest &r, quint16 &inputs)
{
    if (r.function != 0x06)
        return false;
    const quint16 value = r.values.value(0);
    if (r.address == Reg::ManualCommand)
        return value != Reg::ManualCommandValue::Stop;
    if (r.address != Reg::CommandInputs)
        return false;
    const bool rising = (value & ~inputs & 0x0003) != 0;
    inputs = value;
    return rising;
}

bool isStop(const SimRequest &r)
{
    return r.function == 0x06 && r.address == Reg::ManualCommand && r.values.value(0) == Reg::ManualCommandValue::Stop;
}

}  // namespace

int main(int argc, char *argv[])
{
    BenchApplication app(argc, argv);
    if (!app.ready())
        return 1;
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 10;

    SimBus bus;
    bus.addDrive(SimDriveConfig());
    if (!bus.start()) {
        std::printf("the simulated bus could not start: %s\n", qPrintable(bus.errorString()));
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    std::atomic<qint64> stopSeenNs{-1};
    bus.setRequestObserver([&](const SimRequest &r) {
        qint64 unseen = -1;
        if (isStop(r))
            stopSeenNs.compare_exchange_strong(unseen, clock.nsecsElapsed());
    });

    MainWindow window;
    window.setDialogs(std::make_unique<ScriptedDialogs>());
    widget<QComboBox>(window, "cbPorts")->setEditText(bus.portPath());
    widget<QAbstractButton>(window, "btnScan")->click();
    widget<QAbstractButton>(window, "btnConnect")->click();
    auto *tabs = widget<QTabWidget>(window, "mainTabs");
    if (!waitFor([&] { return tabs->isTabEnabled(MainWindow::MonitorTab); }, ConnectWaitMs)) {
        std::printf("the window did not connect\n");
        return 1;
    }
    tabs->setCurrentIndex(MainWindow::MonitorTab);
    auto *stop = widget<QAbstractButton>(window, "btnStopMotion");
    auto *home = widget<QAbstractButton>(window, "btnHome");

    int lateMotion = 0;
    // One STOP, `homeLeadMs` after a Home click (negative: no Home); its latency in ms.
    auto stopOnce = [&](int homeLeadMs) {
        spin(300);  // polling in full swing again
        bus.clearRequests();
        if (homeLeadMs >= 0) {
            home->click();
            spin(homeLeadMs);
        }
        stopSeenNs = -1;
        const qint64 clickedNs = clock.nsecsElapsed();
        stop->click();
        const double latency = (stopSeenNs.load() - clickedNs) / 1e6;
        spin(200);  // whatever was left would go out now
        const QVector<SimRequest> wire = bus.requests();
        bool stopped = false;
        quint16 inputs = 0;
        for (const SimRequest &r : wire) {
            stopped = stopped || isStop(r);
            if (startsMotion(r, inputs) && stopped)
                ++lateMotion;
        }
        return latency;
    };

    std::printf("STOP click to stop frame at the drive, %d run(s) each (ms)\n", runs);
    for (int lead : {0, 10, 40, 80}) {
        QVector<double> samples;
        for (int i = 0; i < runs; ++i)
            samples << stopOnce(lead);
        printSummary(qPrintable(QStringLiteral("homing queued, STOP %1 ms after Home").arg(lead)), summarize(samples),
                     "ms");
    }
    QVector<double> polling;
    for (int i = 0; i < runs; ++i) {
        spin(17 * i % 60);  // a different phase of the polling cycle each time
        polling << stopOnce(-1);
    }
    printSummary("polling running, no queued motion", summarize(polling), "ms");
    std::printf("motion writes after a stop on the wire: %d\n", lateMotion);
    return lateMotion == 0 ? 0 : 2;
}
