// A line job over parallel buses against one bus: `params apply --save` of one
// file into four drives on one bus, then into four drives on each of four
// buses (16 drives), with the wire time of 115200 baud emulated. Buses run in
// their own threads, so four should take about the time of one.

#include "cli.h"
#include "oddparams.h"
#include "simbus.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int Stroke = 100;
constexpr int DrivesPerBus = 4;

SimDriveConfig lineDrive(quint8 station)
{
    SimDriveConfig c;
    c.station = station;
    c.familyCode = 6;
    c.stroke = Stroke;
    c.size = 40;
    c.rawLead = 5;
    return c;
}

int runCliQuietly(const QStringList &arguments)
{
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    const int code = runCli(arguments, outStream, errStream);
    errStream.flush();
    if (code != 0)
        std::fprintf(stderr, "%s", qPrintable(err));
    return code;
}

// Milliseconds of one job over `busCount` buses, every drive given other values first; -1 when it failed.
double timeJob(int busCount, const QString &file, const QString &snapshots)
{
    std::vector<std::unique_ptr<SimBus>> buses;
    QStringList arguments{"params", "apply"};
    for (int b = 0; b < busCount; ++b) {
        buses.push_back(std::make_unique<SimBus>());
        for (int s = 1; s <= DrivesPerBus; ++s)
            buses.back()->addDrive(lineDrive(quint8(s)));
        if (!buses.back()->start())
            return -1;
        for (int s = 1; s <= DrivesPerBus; ++s)
            setOddValues(*buses.back(), quint8(s), Stroke, s);
        arguments << "--port" << buses.back()->portPath();
    }
    arguments << "--stations" << QStringLiteral("1-%1").arg(DrivesPerBus) << "--file" << file << "--save"
              << "--snapshot-dir" << snapshots;
    QElapsedTimer timer;
    timer.start();
    return runCliQuietly(arguments) == 0 ? double(timer.elapsed()) : -1.0;
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    SimBus source;
    source.addDrive(lineDrive(1));
    if (!dir.isValid() || !source.start()) {
        std::fprintf(stderr, "bench_line: no pseudo-terminal or temporary folder\n");
        return 1;
    }
    setOddValues(source, 1, Stroke);
    const QString file = dir.filePath(QStringLiteral("line.json"));
    if (runCliQuietly({"params", "export", "--port", source.portPath(), "--station", "1", "--out", file}) != 0)
        return 1;
    const double one = timeJob(1, file, dir.path());
    const double four = timeJob(4, file, dir.path());
    if (one <= 0 || four <= 0) {
        std::fprintf(stderr, "bench_line: a job failed\n");
        return 1;
    }
    std::printf("line job, %d drives a bus, apply --save with snapshots (115200 baud emulated)\n", DrivesPerBus);
    std::printf("  1 bus  (%2d drives): %8.0f ms\n", DrivesPerBus, one);
    std::printf("  4 buses (%2d drives): %8.0f ms\n", 4 * DrivesPerBus, four);
    std::printf("  ratio 4 buses / 1 bus: %.2f (expected <= 1.3)\n", four / one);
    return 0;
}
