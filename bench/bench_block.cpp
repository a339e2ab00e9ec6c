// Measures the engineering block against the simulated drive: how long a
// read-and-compare and a write of the whole 300-register block take through
// the window's path (CmpManager on the connected worker) and through the
// command line's (CmpEngine on a port of its own), and how long the GUI
// thread goes without serving its event loop meanwhile.

#include "benchstats.h"
#include "cmpengine.h"
#include "cmpmanager.h"
#include "modbustransport.h"
#include "modbusworker.h"
#include "registeraccess.h"
#include "registers.h"
#include "registertemplate.h"
#include "serialport.h"
#include "simbus.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHeaderView>
#include <QSerialPort>
#include <QTableWidget>
#include <QTextEdit>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace {

constexpr quint8 Station = 1;
constexpr int TickMs = 10;

// Bytes on the wire at 115200 8N1, both directions, for the four merged requests.
double wireMs(bool write)
{
    double bytes = 0;
    for (const CmpGroup &group : mergeTasks(RegisterTemplate::tasks())) {
        const int data = 2 * group.wordCount;
        bytes += write ? (9 + data) + 8 : 8 + (5 + data);
    }
    return bytes * 10.0 / 115200.0 * 1000.0;
}

bool allMatch(const QVector<CmpTask> &tasks)
{
    for (const CmpTask &task : tasks) {
        if (task.status != CmpStatus::Match)
            return false;
    }
    return true;
}

// Runs `operation` from the event loop while a 10 ms timer measures the gaps
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
    QTimer::singleShot(100, [&] {
        QElapsedTimer clock;
        clock.start();
        operation();
        took = clock.nsecsElapsed() / 1e6;
        QTimer::singleShot(100, &loop, &QEventLoop::quit);
    });
    loop.exec();
    return took;
}

void benchWindowPath(SimBus &bus, int runs)
{
    ModbusWorker worker;
    worker.setPortName(bus.portPath());
    worker.setStation(Station);
    QEventLoop connected;
    QObject::connect(&worker, &ModbusWorker::connectedSuccessfully, &connected, &QEventLoop::quit);
    QTimer::singleShot(5000, &connected, &QEventLoop::quit);
    worker.start();
    connected.exec();
    if (!worker.isRunning()) {
        std::printf("the worker did not connect\n");
        return;
    }

    // The table and log as the engineering tab shows them: on screen, rows as
    // tall as their wrapped text, the name and hex columns sharing the width.
    QTableWidget table(0, 5);
    table.verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    for (int column : {0, 2, 3})
        table.horizontalHeader()->setSectionResizeMode(column, QHeaderView::Stretch);
    table.setWordWrap(true);
    table.resize(900, 500);
    table.show();
    QTextEdit log;
    log.resize(900, 200);
    log.show();
    CmpManager manager(&worker);
    manager.setTable(&table);
    manager.setLog(&log);
    QObject::connect(&manager, &CmpManager::pauseWorker, &worker, &ModbusWorker::setPollingPaused,
                     Qt::DirectConnection);
    QObject::connect(&worker, &ModbusWorker::logMessage, &manager, &CmpManager::addLog);
    manager.setTasks(RegisterTemplate::tasks());

    QVector<double> reads, readGaps, writes, writeGaps;
    bool ok = true;
    for (int i = 0; i < runs; ++i) {
        double gap = 0;
        writes << timedOnGuiThread([&] { manager.writeAll(Station); }, gap);
        writeGaps << gap;
        ok = ok && allMatch(manager.tasks());
        reads << timedOnGuiThread([&] { manager.readAll(Station); }, gap);
        readGaps << gap;
        ok = ok && allMatch(manager.tasks());
    }
    std::printf("window path (worker thread, 50 ms pause per request, table redrawn)%s\n",
                ok ? "" : "  -- SOME RUNS DID NOT MATCH");
    printSummary("  read and compare 300 registers", summarize(reads), "ms");
    printSummary("  longest GUI-thread gap during the read", summarize(readGaps), "ms");
    printSummary("  write 300 registers", summarize(writes), "ms");
    printSummary("  longest GUI-thread gap during the write", summarize(writeGaps), "ms");

    worker.stop();
    worker.wait();
}

class PortAccess : public RegisterAccess
{
public:
    explicit PortAccess(ModbusTransport &link) : m_link(link) {}
    QVector<quint16> readRegisters(quint8 slave, quint16 address, quint16 count) override
    {
        return m_link.readRegisters(slave, address, count, 300);
    }
    bool writeRegisters(quint8 slave, quint16 address, const QVector<quint16> &values) override
    {
        return m_link.writeRegisters(slave, address, values);
    }
    bool writeRegister(quint8 slave, quint16 address, quint16 value) override
    {
        return m_link.writeRegister(slave, address, value);
    }

private:
    ModbusTransport &m_link;
};

void benchCommandLinePath(SimBus &bus, int runs)
{
    QSerialPort port;
    configureDrivePort(port, bus.portPath());
    if (!port.open(QIODevice::ReadWrite)) {
        std::printf("cannot open %s\n", qPrintable(bus.portPath()));
        return;
    }
    ModbusTransport link(ModbusTransport::Pacing::FixedSleep, &port);
    PortAccess access(link);
    CmpEngine engine(access);
    QVector<CmpTask> tasks = RegisterTemplate::tasks();

    QVector<double> reads, writes;
    bool ok = true;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        engine.writeAll(tasks, Station);
        writes << clock.nsecsElapsed() / 1e6;
        ok = ok && allMatch(tasks);
        clock.restart();
        engine.readAll(tasks, Station);
        reads << clock.nsecsElapsed() / 1e6;
        ok = ok && allMatch(tasks);
    }
    std::printf("command-line path (own port, 30 ms before each request)%s\n",
                ok ? "" : "  -- SOME RUNS DID NOT MATCH");
    printSummary("  read and compare 300 registers", summarize(reads), "ms");
    printSummary("  write 300 registers", summarize(writes), "ms");
}

}  // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    setvbuf(stdout, nullptr, _IOLBF, 0);

    SimBus bus;
    SimDriveConfig drive;
    drive.station = Station;
    bus.addDrive(drive);
    if (!bus.start()) {
        std::printf("cannot start the simulated bus: %s\n", qPrintable(bus.errorString()));
        return 1;
    }
    std::printf("bench_block: the 300-register block in 4 merged requests, %d runs each\n", runs);
    std::printf("%-44s read %.1f ms, write %.1f ms\n", "wire time alone at 115200 baud", wireMs(false), wireMs(true));
    benchWindowPath(bus, runs);
    benchCommandLinePath(bus, runs);
    return 0;
}
