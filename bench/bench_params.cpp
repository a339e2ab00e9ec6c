// Measures the parameter reader and writer against the simulated drive (wire
// time of 115200 baud emulated) through the worker, as the window uses them:
// a complete read with a drive that answers and with a silent one, and one
// write round trip (write, script copy, read-back).

#include "benchstats.h"
#include "modbusworker.h"
#include "paramsnapshot.h"
#include "paramwriter.h"
#include "registerport.h"
#include "registers.h"
#include "simbus.h"

#include "benchapp.h"
#include <QElapsedTimer>
#include <QSignalSpy>

#include <cstdio>
#include <functional>

namespace {

constexpr quint8 Station = 1;

double timeMs(const std::function<void()> &action)
{
    QElapsedTimer timer;
    timer.start();
    action();
    return timer.nsecsElapsed() / 1e6;
}

}  // namespace

int main(int argc, char *argv[])
{
    BenchApplication app(argc, argv);
    if (!app.ready())
        return 1;

    SimBus bus;
    SimDriveConfig drive;
    drive.station = Station;
    bus.addDrive(drive);
    if (!bus.start()) {
        std::printf("cannot start the simulated bus: %s\n", qPrintable(bus.errorString()));
        return 1;
    }
    ModbusWorker worker;
    worker.setPortName(bus.portPath());
    worker.setStation(Station);
    QSignalSpy connected(&worker, &ModbusWorker::connectedSuccessfully);
    worker.start();
    if (!connected.wait(10000)) {
        std::printf("the worker did not connect to the simulated bus\n");
        return 1;
    }
    WorkerRegisterPort port(&worker, Station);
    int failures = 0;
    // As the window does: polling paused for each operation.
    const auto paused = [&worker](const std::function<void()> &action) {
        worker.setPollingPaused(true);
        action();
        worker.setPollingPaused(false);
    };

    std::printf("Parameter reader and writer against the simulated drive (115200 baud wire time, polling between runs)\n");

    QVector<double> readAll;
    for (int i = 0; i < 30; ++i)
        readAll << timeMs([&] { paused([&] { failures += ParamSnapshot::read(port).unreadable.size(); }); });
    printSummary("complete read, responsive drive", summarize(readAll), "ms");

    QVector<double> writeSmooth;
    QVector<double> writeThreshold;
    const auto roundTrip = [&](const QString &key, quint32 raw) {
        paused([&] {
            quint32 back = 0;
            if (!ParamWriter::valueWritten(ParamWriter::writeValue(port, key, raw))
                || !ParamWriter::readValue(port, key, &back, RegisterPort::ReadTimeoutMs) || back != raw)
                ++failures;
        });
    };
    for (int i = 0; i < 30; ++i) {
        writeSmooth << timeMs([&] { roundTrip(QStringLiteral("smoothMs"), i % 2 ? 25 : 50); });
        writeThreshold << timeMs([&] { roundTrip(QStringLiteral("dynErr"), i % 2 ? 30 : 40); });
    }
    printSummary("write smoothMs (write, read-back)", summarize(writeSmooth), "ms");
    printSummary("write dynErr (write, script copy, read-back)", summarize(writeThreshold), "ms");

    // Polling stays paused from here on: a silent drive would otherwise end the connection.
    worker.setPollingPaused(true);
    worker.syncRead(Station, Reg::HomeTorque, 1);
    SimFaults silent;
    silent.silent = true;
    bus.setFaults(silent);
    QVector<double> readAllSilent;
    for (int i = 0; i < 3; ++i)
        readAllSilent << timeMs([&] { ParamSnapshot::read(port); });
    printSummary("complete read, silent drive (every read times out)", summarize(readAllSilent), "ms");

    std::printf("failed reads and writes while the drive answered: %d\n", failures);
    worker.stop();
    worker.wait();
    return 0;
}
