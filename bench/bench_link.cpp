// Measures the link against the simulated drive: polling cycle period, the
// worker thread's CPU use, a synchronous read while paused, how long polling
// takes to come back after one lost reply, and how soon a transaction returns
// after the last byte of its reply arrives.

#include "benchstats.h"
#include "crc16.h"
#include "modbusframe.h"
#include "modbustransport.h"
#include "modbusworker.h"
#include "registers.h"
#include "serialport.h"
#include "simbus.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <pthread.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

double threadCpuMs(pthread_t thread)
{
    clockid_t clock;
    if (pthread_getcpuclockid(thread, &clock) != 0)
        return -1;
    timespec ts{};
    clock_gettime(clock, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Bytes on the wire at 115200 8N1: 10 bits per byte.
double frameMs(int bytes)
{
    return bytes * 10.0 / 115200.0 * 1000.0;
}

// One default drive at station 1 under faults, and a worker set up for it; false after saying why.
bool startBus(SimBus &bus, ModbusWorker &worker, const SimFaults &faults = SimFaults())
{
    bus.addDrive(SimDriveConfig());
    bus.setFaults(faults);
    if (!bus.start()) {
        std::printf("cannot start the simulated bus\n");
        return false;
    }
    worker.setPortName(bus.portPath());
    worker.setStation(1);
    return true;
}

void benchPolling(int cycles)
{
    SimBus bus;
    ModbusWorker worker;
    if (!startBus(bus, worker))
        return;

    std::atomic<pthread_t> workerThread{};
    QVector<Clock::time_point> stamps;
    stamps.reserve(cycles + 1);
    std::atomic<int> received{0};
    QObject::connect(&worker, &ModbusWorker::connectedSuccessfully, &worker,
                     [&] { workerThread = pthread_self(); }, Qt::DirectConnection);
    QObject::connect(&worker, &ModbusWorker::stateUpdated, &worker, [&](const DeviceState &) {
        if (received.load() <= cycles) {
            stamps.append(Clock::now());
            ++received;
        }
    }, Qt::DirectConnection);

    worker.start();
    while (received.load() < 2)
        QThread::msleep(5);
    const double cpuStart = threadCpuMs(workerThread);
    const auto wallStart = Clock::now();
    while (received.load() <= cycles)
        QThread::msleep(20);
    const double cpuMs = threadCpuMs(workerThread) - cpuStart;
    const double wallMs = msBetween(wallStart, Clock::now());

    QVector<double> periods;
    for (int i = 2; i < stamps.size(); ++i)
        periods << msBetween(stamps[i - 1], stamps[i]);
    // Each read waits 30 ms from the previous transmission; the cycle ends with a 25 ms pause.
    const double replyBytes = 9 + 5 * 7;
    const double target = 6 * 30.0 + 25.0 + frameMs(8 + int(replyBytes / 6));
    printSummary("poll cycle period", summarize(periods), "ms");
    std::printf("%-44s %.1f ms (6 x (30 ms + frame times) + 25 ms)\n", "  design figure", target);
    std::printf("%-44s %.3f %% of one core\n", "worker thread CPU while polling", 100.0 * cpuMs / wallMs);

    worker.setPollingPaused(true);
    QThread::msleep(300);
    QVector<double> syncReads;
    for (int i = 0; i < 50; ++i) {
        const auto t0 = Clock::now();
        const QVector<quint16> words = worker.syncRead(1, Reg::LogicVersion, 5);
        syncReads << msBetween(t0, Clock::now());
        if (words.size() != 5)
            std::printf("synchronous read failed\n");
    }
    printSummary("synchronous read of 5 words while paused", summarize(syncReads), "ms");
    worker.stop();
    worker.wait();
}

// One reply in 31 is lost, so the timeouts fall on every read of the cycle in
// turn. A cycle with a timeout fails at that read; the next one starts after
// the line is quiet again. The gap between two states around a lost reply is
// the time polling needs to recover from one timeout.
void benchRecovery(int cycles)
{
    SimBus bus;
    ModbusWorker worker;
    SimFaults faults;
    faults.dropEveryNth = 31;
    if (!startBus(bus, worker, faults))
        return;
    std::atomic<int> failures{0};
    int failuresSeen = 0;
    QVector<double> healthy;
    QVector<double> recovery;
    Clock::time_point last{};
    std::atomic<int> states{0};
    QObject::connect(&worker, &ModbusWorker::logMessage, &worker, [&](const QString &, const QString &) { ++failures; },
                     Qt::DirectConnection);
    QObject::connect(&worker, &ModbusWorker::stateUpdated, &worker, [&](const DeviceState &) {
        const auto now = Clock::now();
        if (states.load() > 0)
            (failures.load() > failuresSeen ? recovery : healthy) << msBetween(last, now);
        failuresSeen = failures.load();
        last = now;
        ++states;
    }, Qt::DirectConnection);
    worker.start();
    while (states.load() <= cycles && worker.isRunning())
        QThread::msleep(20);
    worker.stop();
    worker.wait();
    printSummary("poll period between lost replies", summarize(healthy), "ms");
    printSummary("  across one lost reply (recovery)", summarize(recovery), "ms");
    std::printf("%-44s %d ms read timeout\n", "  design figure", ModbusWorker::PollReadTimeoutMs);
}

// A bare responder on its own pty that stamps the moment its reply is written,
// so the transaction's pick-up delay is measured without the simulator's timing.
void benchReplyPickup(int exchanges)
{
    int master = -1;
    int slave = -1;
    char name[128] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master, &slave, name, &raw, nullptr) != 0) {
        std::printf("openpty failed\n");
        return;
    }
    std::atomic<bool> running{true};
    QVector<Clock::time_point> replyWritten;
    replyWritten.reserve(exchanges);
    std::atomic<int> replies{0};
    std::thread responder([&] {
        const QByteArray reply = withCrc(QByteArray::fromHex("01030400010002"));
        QByteArray buffer;
        char chunk[64];
        while (running.load()) {
            fd_set fds;
            FD_ZERO(&fds);
            FD_SET(master, &fds);
            timeval tv{0, 20000};
            if (select(master + 1, &fds, nullptr, nullptr, &tv) <= 0)
                continue;
            const ssize_t n = read(master, chunk, sizeof chunk);
            if (n <= 0)
                continue;
            buffer.append(chunk, int(n));
            while (buffer.size() >= 8) {
                buffer.remove(0, 8);
                if (write(master, reply.constData(), size_t(reply.size())) == reply.size()) {
                    replyWritten.append(Clock::now());
                    ++replies;
                }
            }
        }
    });

    QSerialPort port;
    configureDrivePort(port, QString::fromLocal8Bit(name));
    if (!port.open(QIODevice::ReadWrite)) {
        std::printf("cannot open %s\n", name);
    } else {
        ModbusTransport link(ModbusTransport::Pacing::SinceLastTransmission, &port);
        QVector<double> pickup;
        for (int i = 0; i < exchanges; ++i) {
            try {
                link.readRegisters(1, 0x0000, 2, 300);
            } catch (const ModbusError &e) {
                std::printf("exchange %d failed: %s\n", i, qPrintable(e.text()));
                break;
            }
            const auto returned = Clock::now();
            while (replies.load() <= i)
                QThread::usleep(50);
            pickup << msBetween(replyWritten[i], returned);
        }
        printSummary("last reply byte to transaction return", summarize(pickup), "ms");
    }
    running = false;
    responder.join();
    close(slave);
    close(master);
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int cycles = argc > 1 ? std::max(100, atoi(argv[1])) : 120;
    setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("bench_link: %d polling cycles against the simulated drive\n", cycles);
    benchPolling(cycles);
    benchRecovery(cycles);
    benchReplyPickup(200);
    return 0;
}
