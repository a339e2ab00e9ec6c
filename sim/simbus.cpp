#include "simbus.h"

#include "crc16.h"
#include "simdrive.h"
#include "simframer.h"
#include "simpty.h"
#include "simtcp.h"

#include <QStringList>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds TickPeriod{10};
// A reply the client does not take within this time is given up.
constexpr int WriteTimeoutMs = 200;

quint16 word(const QByteArray &frame, int offset)
{
    return quint16((quint8(frame[offset]) << 8) | quint8(frame[offset + 1]));
}

void appendWord(QByteArray &bytes, quint16 value)
{
    bytes.append(char(value >> 8));
    bytes.append(char(value & 0xFF));
}

SimRequest parseRequest(const QByteArray &frame, qint64 receivedAtMs)
{
    SimRequest request;
    request.station = quint8(frame[0]);
    request.function = quint8(frame[1]);
    request.address = word(frame, 2);
    request.raw = frame;
    request.receivedAtMs = receivedAtMs;
    switch (request.function) {
    case SimFunction::ReadHolding:
        request.count = word(frame, 4);
        break;
    case SimFunction::WriteSingle:
        request.count = 1;
        request.values = {word(frame, 4)};
        break;
    case SimFunction::WriteMultiple:
        request.count = word(frame, 4);
        for (int offset = 7; offset + 1 < frame.size() - 2; offset += 2)
            request.values.append(word(frame, offset));
        break;
    default:
        break;
    }
    return request;
}

// The reply without its CRC.
QByteArray exceptionReply(const SimRequest &request, quint8 code)
{
    QByteArray reply;
    reply.append(char(request.station));
    reply.append(char(request.function | 0x80));
    reply.append(char(code));
    return reply;
}

QByteArray execute(SimDrive &drive, const SimRequest &request)
{
    quint8 code = SimException::None;
    if (request.function == SimFunction::ReadHolding) {
        QVector<quint16> values;
        code = drive.readRegisters(request.address, request.count, &values);
        if (code != SimException::None)
            return exceptionReply(request, code);
        QByteArray reply = request.raw.left(2);
        reply.append(char(2 * values.size()));
        for (quint16 value : values)
            appendWord(reply, value);
        return reply;
    }
    const int byteCount = request.function == SimFunction::WriteMultiple ? quint8(request.raw[6]) : 2;
    if (request.count != request.values.size() || byteCount != 2 * request.values.size())
        code = SimException::IllegalValue;
    else
        code = drive.writeRegisters(request.address, request.values);
    if (code != SimException::None)
        return exceptionReply(request, code);
    return request.raw.left(6);
}

// Splits bytes into `pieces` runs of nearly equal length.
QVector<QByteArray> splitIntoPieces(const QByteArray &bytes, int pieces)
{
    pieces = std::clamp(pieces, 1, std::max(1, int(bytes.size())));
    QVector<QByteArray> result;
    int offset = 0;
    for (int i = 0; i < pieces; ++i) {
        const int length = (bytes.size() - offset) / (pieces - i);
        result.append(bytes.mid(offset, length));
        offset += length;
    }
    return result;
}

}  // namespace

struct SimBus::Impl
{
    // Everything below up to `lifecycle` is guarded by `mutex`.
    mutable std::mutex mutex;
    std::vector<std::unique_ptr<SimDrive>> drives;
    SimFaults faults;
    int dropCounter = 0;
    QByteArray previousWriteEcho;
    SimTiming timing;
    std::deque<SimRequest> log;
    int replies = 0;
    std::function<void(const SimRequest &)> observer;
    std::mt19937 random{0x5EED};  // fixed seed: a run with random faults can be repeated
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
    int wake[2] = {-1, -1};  // a byte in the pipe tells the serving thread to stop
    const Clock::time_point created = Clock::now();

    // One reply on its way out, decided under the lock, sent without it.
    struct Outgoing
    {
        QByteArray bytes;
        int pieces = 1;
        int gapMs = 0;
        int delayMs = 0;
        SimTiming timing;
    };

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

    bool stopRequested() const { return !pauseFor(std::chrono::microseconds(0)); }

    // Sleeps, but wakes at once when asked to stop; false then.
    bool pauseFor(std::chrono::microseconds duration) const
    {
        const auto deadline = Clock::now() + duration;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now());
            const qint64 ns = std::max<qint64>(0, left.count());
            const timespec timeout{time_t(ns / 1000000000), long(ns % 1000000000)};
            pollfd fd{wake[0], POLLIN, 0};
            const int ready = ppoll(&fd, 1, &timeout, nullptr);
            if (ready > 0)
                return false;
            if (ready == 0 || errno != EINTR)
                return true;
        }
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
            pollfd fds[2] = {{fd, POLLOUT, 0}, {wake[0], POLLIN, 0}};
            if (poll(fds, 2, WriteTimeoutMs) <= 0 || fds[1].revents)
                return false;
        }
        return true;
    }

    // The reply is counted just before its last byte goes out, so a client
    // holding its reply always finds it counted.
    void transmit(const Outgoing &out)
    {
        const auto turnaround = std::chrono::microseconds(qint64(out.delayMs) * 1000 + out.timing.turnaroundUs);
        if (!pauseFor(turnaround))
            return;
        const QVector<QByteArray> pieces = splitIntoPieces(out.bytes, out.pieces);
        for (int i = 0; i < pieces.size(); ++i) {
            const auto wireTime = std::chrono::microseconds(qint64(pieces[i].size() * out.timing.byteTimeUs));
            if (!pauseFor(wireTime))
                return;
            if (i + 1 == pieces.size())
                countReply();
            if (!writeAll(pieces[i]))
                return;
            if (i + 1 < pieces.size() && !pauseFor(std::chrono::milliseconds(out.gapMs)))
                return;
        }
    }

    void countReply()
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++replies;
        if (faults.silentAfterReplies > 0)
            --faults.silentAfterReplies;
    }

    bool decideDrop()
    {
        bool drop = faults.dropEveryNth > 0 && ++dropCounter % faults.dropEveryNth == 0;
        if (faults.dropProbability > 0.0 && std::uniform_real_distribution<double>(0.0, 1.0)(random) < faults.dropProbability)
            drop = true;
        return drop;
    }

    // The reply as the faults shape it; false when nothing goes out.
    bool prepareReply(const SimRequest &request, Outgoing *out)
    {
        SimDrive *target = drive(request.station);
        if (!target || faults.silent || faults.silentAfterReplies == 0)
            return false;
        QByteArray reply = faults.exceptionReplies ? exceptionReply(request, SimException::DeviceFailure)
                                                   : execute(*target, request);
        if (faults.staleWriteEchoes && request.function != SimFunction::ReadHolding) {
            // Carried out now, echoed one write late.
            std::swap(reply, previousWriteEcho);
            if (reply.isEmpty())
                return false;
        }
        if (decideDrop())
            return false;
        if (faults.answerAsStation != 0)
            reply[0] = char(faults.answerAsStation);
        reply = withCrc(reply);
        const bool corrupt = faults.badCrc
            || (faults.corruptProbability > 0.0
                && std::uniform_real_distribution<double>(0.0, 1.0)(random) < faults.corruptProbability);
        if (corrupt)
            reply[reply.size() - 1] = char(reply[reply.size() - 1] ^ 0xFF);

        std::uniform_int_distribution<int> anyByte(0, 255);
        QByteArray noise;
        for (int i = 0; i < faults.noiseBytes; ++i)
            noise.append(char(anyByte(random)));

        out->bytes = noise + reply;
        out->pieces = faults.splitPieces;
        out->gapMs = faults.splitGapMs;
        out->delayMs = faults.replyDelayMs;
        out->timing = timing;
        return true;
    }

    void serveRequest(const QByteArray &frame)
    {
        const SimRequest request = parseRequest(frame, nowMs());
        Outgoing out;
        bool answer = false;
        bool echo = false;
        std::function<void(const SimRequest &)> notify;
        {
            std::lock_guard<std::mutex> lock(mutex);
            log.push_back(request);
            if (log.size() > size_t(RequestLogLimit))
                log.pop_front();
            notify = observer;
            echo = faults.echoRequests;
            answer = prepareReply(request, &out);
        }
        if (notify)
            notify(request);
        // The adapter hears its own transmission, whether or not a drive answers.
        if (echo && !writeAll(frame))
            return;
        if (answer)
            transmit(out);
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
            const auto untilTick = std::chrono::ceil<std::chrono::milliseconds>(nextTick - Clock::now());
            const int waitMs = int(std::clamp<qint64>(untilTick.count(), 0, TickPeriod.count()));
            pollfd fds[3] = {{tcpServer.clientFd(), POLLIN, 0}, {tcpServer.listenFd(), POLLIN, 0}, {wake[0], POLLIN, 0}};
            poll(fds, 3, waitMs);
            if (fds[2].revents)
                break;
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
            for (QByteArray frame = framer.takeFrame(); !frame.isEmpty(); frame = framer.takeFrame()) {
                serveRequest(frame);
                if (stopRequested())
                    return;
            }
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
            const auto untilTick = std::chrono::ceil<std::chrono::milliseconds>(nextTick - Clock::now());
            const int waitMs = int(std::clamp<qint64>(untilTick.count(), 0, TickPeriod.count()));
            pollfd fds[3] = {{pty.masterFd(), POLLIN, 0}, {pty.clientWatchFd(), POLLIN, 0}, {wake[0], POLLIN, 0}};
            poll(fds, 3, waitMs);
            if (fds[2].revents)
                return;
            // Opens and closes first, so the client count is current when a reply goes out.
            if (fds[1].revents & POLLIN)
                pty.handleClientEvents();
            if (fds[0].revents & POLLIN)
                framer.append(pty.readAvailable());
            else if (fds[0].revents & (POLLHUP | POLLERR) && !pauseFor(TickPeriod))
                return;
            for (QByteArray frame = framer.takeFrame(); !frame.isEmpty(); frame = framer.takeFrame()) {
                serveRequest(frame);
                if (stopRequested())
                    return;
            }
            tickDrives(&nextTick);
        }
    }

    void closeEndpoints()
    {
        pty.close();
        tcpServer.close();
    }

    void closeWakePipe()
    {
        for (int &fd : wake) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
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
    if (!d->pty.open(&error)) {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->error = error;
        return false;
    }
    d->tcp = false;
    return startServing(d->pty.slavePath());
}

bool SimBus::startTcp(quint16 port)
{
    std::lock_guard<std::mutex> lifecycle(d->lifecycle);
    if (d->thread.joinable())
        return true;
    QString error;
    if (!d->tcpServer.listen(port, &error)) {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->error = error;
        return false;
    }
    d->tcp = true;
    return startServing(QStringLiteral("tcp://127.0.0.1:%1").arg(d->tcpServer.port()));
}

bool SimBus::startServing(const QString &portPath)
{
    if (pipe2(d->wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        d->closeEndpoints();
        std::lock_guard<std::mutex> lock(d->mutex);
        d->error = QStringLiteral("cannot create the wake-up pipe");
        return false;
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
    const char stopByte = 1;
    while (::write(d->wake[1], &stopByte, 1) < 0 && errno == EINTR) {
    }
    d->thread.join();
    d->closeEndpoints();
    d->closeWakePipe();
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
    d->faults = faults;
    d->dropCounter = 0;
    d->previousWriteEcho.clear();
}

SimFaults SimBus::faults() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->faults;
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

bool parseSimAlarmPlan(const QString &text, SimAlarmPlan *plan, QString *error)
{
    const QStringList parts = text.split(QLatin1Char('@'));
    bool codeOk = false;
    bool timeOk = parts.size() == 1;
    const uint code = parts.value(0).toUInt(&codeOk);
    const double seconds = parts.size() == 2 ? parts[1].toDouble(&timeOk) : 0.0;
    if (parts.size() > 2 || !codeOk || code < 1 || code > 15 || !timeOk || seconds < 0 || seconds > 86400) {
        *error = QStringLiteral("--alarm %1: expected CODE or CODE@SECONDS, CODE 1 to 15").arg(text);
        return false;
    }
    plan->code = quint16(code);
    plan->afterMs = int(seconds * 1000);
    return true;
}
