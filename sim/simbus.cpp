#include "simbus.h"

#include "simdrive.h"
#include "simfaultinjector.h"
#include "simframer.h"
#include "simpty.h"
#include "simrequest.h"
#include "simtcp.h"
#include "simwakepipe.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds TickPeriod{10};
// A reply the client does not take within this time is given up.
constexpr int WriteTimeoutMs = 200;

// How long the serving loop may wait for bytes before the next tick is due.
int msUntilTick(Clock::time_point nextTick)
{
    const auto untilTick = std::chrono::ceil<std::chrono::milliseconds>(nextTick - Clock::now());
    return int(std::clamp<qint64>(untilTick.count(), 0, TickPeriod.count()));
}

}  // namespace

struct SimBus::Impl
{
    // Everything below up to `lifecycle` is guarded by `mutex`.
    mutable std::mutex mutex;
    std::vector<std::unique_ptr<SimDrive>> drives;
    SimFaultInjector injector;
    SimTiming timing;
    std::deque<SimRequest> log;
    int replies = 0;
    std::function<void(const SimRequest &)> observer;
    QString error;
    QString portPath;
    bool running = false;

    // start() and stop() run one at a time; the pty and the wake pipe change
    // only while the serving thread is not running.
    std::mutex lifecycle;
    std::thread thread;
    SimPty pty;
    bool tcp = false;
    SimTcp tcpServer;
    SimWakePipe wake;  // raised, it tells the serving thread to stop
    const Clock::time_point created = Clock::now();

    qint64 nowMs() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - created).count();
    }

    SimDrive *drive(quint8 station) const
    {
        for (const auto &d : drives) {
            if (d->station() == station)
                return d.get();
        }
        return nullptr;
    }

    // Bytes for a port nobody has open vanish, as they would on the wire.
    bool writeAll(const QByteArray &bytes)
    {
        if (tcp ? tcpServer.clientFd() < 0 : !pty.hasClients())
            return true;
        const int fd = tcp ? tcpServer.clientFd() : pty.masterFd();
        qint64 written = 0;
        while (written < bytes.size()) {
            const ssize_t n = tcp ? ::send(fd, bytes.constData() + written, size_t(bytes.size() - written), MSG_NOSIGNAL)
                                  : ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
            if (n > 0) {
                written += n;
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            pollfd fds[2] = {{fd, POLLOUT, 0}, {wake.readFd(), POLLIN, 0}};
            if (poll(fds, 2, WriteTimeoutMs) <= 0 || fds[1].revents)
                return false;
        }
        return true;
    }

    // The reply is counted just before its last byte goes out, so a client
    // holding its reply always finds it counted.
    void transmit(const SimOutgoingReply &reply, const SimTiming &wire)
    {
        const auto turnaround = std::chrono::microseconds(qint64(reply.delayMs) * 1000 + wire.turnaroundUs);
        if (!wake.pauseFor(turnaround))
            return;
        const QVector<QByteArray> runs = reply.runs();
        for (int i = 0; i < runs.size(); ++i) {
            const auto wireTime = std::chrono::microseconds(qint64(runs[i].size() * wire.byteTimeUs));
            if (!wake.pauseFor(wireTime))
                return;
            if (i + 1 == runs.size())
                countReply();
            if (!writeAll(runs[i]))
                return;
            if (i + 1 < runs.size() && !wake.pauseFor(std::chrono::milliseconds(reply.gapMs)))
                return;
        }
    }

    void countReply()
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++replies;
        injector.countReply();
    }

    void serveRequest(const QByteArray &frame)
    {
        const SimRequest request = parseSimRequest(frame, nowMs());
        SimOutgoingReply reply;
        SimTiming wire;
        bool answer = false;
        bool echo = false;
        std::function<void(const SimRequest &)> notify;
        {
            std::lock_guard<std::mutex> lock(mutex);
            log.push_back(request);
            if (log.size() > size_t(RequestLogLimit))
                log.pop_front();
            notify = observer;
            echo = injector.faults().echoRequests;
            SimDrive *target = drive(request.station);
            answer = target && injector.prepareReply(*target, request, &reply);
            wire = timing;
        }
        if (notify)
            notify(request);
        // The adapter hears its own transmission, whether or not a drive answers.
        if (echo && !writeAll(frame))
            return;
        if (answer)
            transmit(reply, wire);
    }

    // Serves every complete request; false when asked to stop meanwhile.
    bool serveFrames(SimFramer &framer)
    {
        for (QByteArray frame = framer.takeFrame(); !frame.isEmpty(); frame = framer.takeFrame()) {
            serveRequest(frame);
            if (wake.isRaised())
                return false;
        }
        return true;
    }

    void tickDrives(Clock::time_point *nextTick)
    {
        const auto now = Clock::now();
        if (now < *nextTick)
            return;
        const auto late = std::chrono::duration_cast<std::chrono::milliseconds>(now - *nextTick);
        const int ms = int(TickPeriod.count() + late.count() / TickPeriod.count() * TickPeriod.count());
        *nextTick += std::chrono::milliseconds(ms);
        std::lock_guard<std::mutex> lock(mutex);
        for (const auto &d : drives)
            d->tick(ms);
    }

    void serveTcp()
    {
        SimFramer framer;
        auto nextTick = Clock::now() + TickPeriod;
        for (;;) {
            const int waitMs = msUntilTick(nextTick);
            pollfd fds[3] = {{tcpServer.clientFd(), POLLIN, 0}, {tcpServer.listenFd(), POLLIN, 0}, {wake.readFd(), POLLIN, 0}};
            poll(fds, 3, waitMs);
            if (fds[2].revents)
                return;
            QByteArray bytes;
            if (fds[1].revents & POLLIN) {
                // A new client replaces the last; what that one left unsent is dropped.
                if (tcpServer.acceptClient())
                    framer = SimFramer();
            } else if (fds[0].revents & (POLLIN | POLLHUP | POLLERR) && !tcpServer.readAvailable(&bytes)) {
                tcpServer.closeClient();
                framer = SimFramer();
            }
            framer.append(bytes);
            if (!serveFrames(framer))
                return;
            tickDrives(&nextTick);
        }
    }

    void serve()
    {
        if (tcp) {
            serveTcp();
            return;
        }
        SimFramer framer;
        auto nextTick = Clock::now() + TickPeriod;
        for (;;) {
            const int waitMs = msUntilTick(nextTick);
            pollfd fds[3] = {{pty.masterFd(), POLLIN, 0}, {pty.clientWatchFd(), POLLIN, 0}, {wake.readFd(), POLLIN, 0}};
            poll(fds, 3, waitMs);
            if (fds[2].revents)
                return;
            // Opens and closes first, so the client count is current when a reply goes out.
            if (fds[1].revents & POLLIN)
                pty.handleClientEvents();
            if (fds[0].revents & POLLIN)
                framer.append(pty.readAvailable());
            else if (fds[0].revents & (POLLHUP | POLLERR) && !wake.pauseFor(TickPeriod))
                return;
            if (!serveFrames(framer))
                return;
            tickDrives(&nextTick);
        }
    }

    bool failStart(const QString &reason)
    {
        std::lock_guard<std::mutex> lock(mutex);
        error = reason;
        return false;
    }

    void closeEndpoints()
    {
        pty.close();
        tcpServer.close();
    }
};

SimBus::SimBus() : d(std::make_unique<Impl>()) {}

SimBus::~SimBus()
{
    closePort();
}

void SimBus::addDrive(const SimDriveConfig &config)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    auto drive = std::make_unique<SimDrive>(config);
    for (auto &existing : d->drives) {
        if (existing->station() == drive->station()) {
            existing = std::move(drive);
            return;
        }
    }
    d->drives.push_back(std::move(drive));
}

void SimBus::removeDrive(quint8 station)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->drives.erase(std::remove_if(d->drives.begin(), d->drives.end(),
                                   [station](const auto &drive) { return drive->station() == station; }),
                    d->drives.end());
}

bool SimBus::hasDrive(quint8 station) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->drive(station) != nullptr;
}

bool SimBus::start()
{
    std::lock_guard<std::mutex> lifecycle(d->lifecycle);
    if (d->thread.joinable())
        return true;
    QString error;
    if (!d->pty.open(&error))
        return d->failStart(error);
    d->tcp = false;
    return startServing(d->pty.slavePath());
}

bool SimBus::startTcp(quint16 port)
{
    std::lock_guard<std::mutex> lifecycle(d->lifecycle);
    if (d->thread.joinable())
        return true;
    QString error;
    if (!d->tcpServer.listen(port, &error))
        return d->failStart(error);
    d->tcp = true;
    return startServing(QStringLiteral("tcp://127.0.0.1:%1").arg(d->tcpServer.port()));
}

bool SimBus::startServing(const QString &portPath)
{
    if (!d->wake.open()) {
        d->closeEndpoints();
        return d->failStart(QStringLiteral("cannot create the wake-up pipe"));
    }
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->error.clear();
        d->portPath = portPath;
        d->running = true;
    }
    d->thread = std::thread([this] { d->serve(); });
    return true;
}

void SimBus::stop()
{
    closePort();
}

void SimBus::closePort()
{
    std::lock_guard<std::mutex> lifecycle(d->lifecycle);
    if (!d->thread.joinable())
        return;
    d->wake.raise();
    d->thread.join();
    d->closeEndpoints();
    d->wake.close();
    std::lock_guard<std::mutex> lock(d->mutex);
    d->running = false;
    d->portPath.clear();
}

bool SimBus::isRunning() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->running;
}

QString SimBus::errorString() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->error;
}

QString SimBus::portPath() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->portPath;
}

quint16 SimBus::registerValue(quint8 station, quint16 address) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    const SimDrive *drive = d->drive(station);
    return drive ? drive->registerValue(address) : 0;
}

void SimBus::setRegisterValue(quint8 station, quint16 address, quint16 value)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (SimDrive *drive = d->drive(station))
        drive->setRegisterValue(address, value);
}

void SimBus::raiseAlarm(quint8 station, quint16 code)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    for (const auto &drive : d->drives) {
        if (station == 0 || drive->station() == station)
            drive->raiseAlarm(code);
    }
}

double SimBus::positionMm(quint8 station) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    const SimDrive *drive = d->drive(station);
    return drive ? drive->positionMm() : 0.0;
}

void SimBus::setPositionMm(quint8 station, double mm)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (SimDrive *drive = d->drive(station))
        drive->setPositionMm(mm);
}

void SimBus::powerCycle(quint8 station)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (SimDrive *drive = d->drive(station))
        drive->powerCycle();
}

void SimBus::setFaults(const SimFaults &faults)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->injector.setFaults(faults);
}

SimFaults SimBus::faults() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->injector.faults();
}

void SimBus::setTiming(const SimTiming &timing)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->timing = timing;
}

SimTiming SimBus::timing() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->timing;
}

QVector<SimRequest> SimBus::requests() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return QVector<SimRequest>(d->log.begin(), d->log.end());
}

void SimBus::clearRequests()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->log.clear();
}

int SimBus::replyCount() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->replies;
}

void SimBus::setRequestObserver(std::function<void(const SimRequest &)> observer)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->observer = std::move(observer);
}

void configureDemoBus(SimBus &bus)
{
    SimDriveConfig lxaz;  // LXAZ-16L01-50-BC
    lxaz.station = 1;
    bus.addDrive(lxaz);

    SimDriveConfig lxgz;  // LXGZ-40L20-350-BC
    lxgz.station = 3;
    lxgz.familyCode = 6;
    lxgz.size = 40;
    lxgz.rawLead = 200;
    lxgz.stroke = 350;
    bus.addDrive(lxgz);

    SimDriveConfig unknown;  // a family the catalogue does not know
    unknown.station = 5;
    unknown.familyCode = 7;
    unknown.size = 25;
    unknown.rawLead = 5;
    unknown.stroke = 100;
    bus.addDrive(unknown);
}
