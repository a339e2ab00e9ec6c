#include "modbustransport.h"

#include "crc16.h"
#include "modbusframe.h"

#include <QAbstractSocket>
#include <QDateTime>
#include <QIODevice>
#include <QSerialPort>
#include <QThread>

ModbusTransport::ModbusTransport(Pacing pacing, QIODevice *device) : m_pacing(pacing), m_device(device)
{
    m_sinceLastTransmission.start();
}

void ModbusTransport::keepInterFrameGap()
{
    if (!m_hasTransmitted)
        return;
    if (m_pacing == Pacing::FixedSleep) {
        QThread::msleep(InterFrameGapMs);
        return;
    }
    const qint64 elapsed = m_sinceLastTransmission.elapsed();
    if (elapsed < InterFrameGapMs)
        QThread::msleep(static_cast<unsigned long>(InterFrameGapMs - elapsed));
}

void ModbusTransport::discardStaleInput()
{
    // Also pull what the OS holds but the device has not buffered yet, so a late
    // reply to an earlier request cannot pass for the answer to this one. Bounded,
    // so a port flooded with noise cannot keep us here.
    for (int round = 0; round < 4; ++round) {
        m_device->readAll();
        if (!m_device->waitForReadyRead(0))
            break;
    }
    m_device->readAll();
}

void ModbusTransport::awaitQuietLine()
{
    if (m_lateReplyWindowMs <= 0)
        return;
    const int windowMs = m_lateReplyWindowMs;
    m_lateReplyWindowMs = 0;
    QElapsedTimer quiet;
    bool heard = false;
    while (m_sinceTimeout.elapsed() < windowMs && m_device->isOpen() && !socketLost()) {
        const QByteArray late = m_device->readAll();
        if (!late.isEmpty()) {
            m_stats.skippedBytes += quint64(late.size());
            heard = true;
            quiet.restart();
            continue;
        }
        if (heard && quiet.elapsed() >= QuietLineMs)
            return;
        QElapsedTimer waited;
        waited.start();
        // A device in error returns at once; do not spin on it.
        if (!m_device->waitForReadyRead(1) && waited.elapsed() < 1)
            QThread::msleep(1);
    }
}

bool ModbusTransport::waitForBytes()
{
    QElapsedTimer waited;
    waited.start();
    if (m_device->waitForReadyRead(PollStepMs))
        return true;
    // A device in error returns at once; do not spin on it.
    const qint64 left = PollStepMs - waited.elapsed();
    if (left > 0)
        QThread::msleep(static_cast<unsigned long>(left));
    return false;
}

void ModbusTransport::log(const QString &type, const QByteArray &bytes)
{
    if (m_logging && m_sink)
        m_sink(type, ModbusFrame::toHex(bytes));
}

QByteArray ModbusTransport::transact(const QByteArray &request, int replyLength, int timeoutMs)
{
    if (!m_device || !m_device->isOpen())
        throw ModbusError(QStringLiteral("Port not open"));
    if (socketLost())
        throw ModbusError::portLost();

    keepInterFrameGap();
    awaitQuietLine();
    discardStaleInput();
    log(QStringLiteral("tx"), request);

    const qint64 sentAtMs = m_observer ? QDateTime::currentMSecsSinceEpoch() : 0;
    m_device->write(request);
    if (!socketLost())
        m_device->waitForBytesWritten(timeoutMs);
    m_sinceLastTransmission.restart();
    m_hasTransmitted = true;

    const QByteArray expectedStart = ModbusFrame::expectedReplyStart(request);
    const char slave = request.at(0);
    const char function = request.at(1);
    const char exceptionFunction = static_cast<char>(function | ModbusFrame::ExceptionFlag);
    const bool isRead = function == char(ModbusFrame::ReadHoldingRegisters);
    bool echoPending = m_echoRemoval;
    bool echoRemoved = false;
    ++m_stats.requests;
    QByteArray buffer;
    QElapsedTimer timer;
    timer.start();
    const auto fail = [&](ExchangeRecord::Result result, const QByteArray &reply = QByteArray()) {
        const quint64 badCrcBefore = m_stats.badCrcFrames;
        countUnaccepted(buffer, -1, replyLength, slave, function);
        if (result == ExchangeRecord::Result::Timeout && m_stats.badCrcFrames > badCrcBefore)
            result = ExchangeRecord::Result::BadCrc;
        if (m_observer)
            observe(request, reply, result, sentAtMs, timer.nsecsElapsed() / 1e6, echoRemoved);
    };
    for (;;) {
        if (timer.elapsed() >= timeoutMs) {
            ++m_stats.timeouts;
            m_lateReplyWindowMs = timeoutMs;
            m_sinceTimeout.start();
            fail(ExchangeRecord::Result::Timeout);
            throw ModbusError::noReply();
        }
        if (m_device->bytesAvailable() <= 0 && !waitForBytes()) {
            if (takeDeviceFailure()) {
                fail(ExchangeRecord::Result::PortLost);
                throw ModbusError::portLost();
            }
            continue;
        }
        buffer.append(m_device->readAll());
        if (echoPending || (isRead && !echoRemoved)) {
            // The reply is hunted only past the echo: the echo of a write is
            // byte for byte the reply that would confirm it. A read's own
            // bytes can only be an echo, so they reveal an echoing adapter.
            const int echoAt = buffer.indexOf(request);
            if (echoAt >= 0) {
                buffer.remove(echoAt, request.size());
                echoPending = false;
                echoRemoved = true;
                m_echoRemoval = true;
            } else if (echoPending) {
                continue;
            }
        }
        // Offsets in order; the first valid frame, reply or refusal, decides.
        for (int i = 0; i + ModbusFrame::exceptionReplyLength <= buffer.size(); ++i) {
            const QByteArray candidate = buffer.mid(i, replyLength);
            if (candidate.size() == replyLength && candidate.startsWith(expectedStart) && hasValidCrc(candidate)) {
                ++m_stats.replies;
                const double latency = timer.nsecsElapsed() / 1e6;
                m_stats.latencySumMs += latency;
                m_stats.latencyMaxMs = qMax(m_stats.latencyMaxMs, latency);
                countUnaccepted(buffer, i, replyLength, slave, function);
                log(QStringLiteral("rx"), candidate);
                if (m_observer)
                    observe(request, candidate, ExchangeRecord::Result::Ok, sentAtMs, latency, echoRemoved);
                return candidate;
            }
            const QByteArray refusal = buffer.mid(i, ModbusFrame::exceptionReplyLength);
            if (refusal.at(0) == slave && refusal.at(1) == exceptionFunction && hasValidCrc(refusal)) {
                log(QStringLiteral("rx"), refusal);
                fail(ExchangeRecord::Result::Exception, refusal);
                const auto code = static_cast<quint8>(refusal.at(2));
                throw ModbusError::refused(code, ModbusFrame::exceptionText(code));
            }
        }
    }
}

bool ModbusTransport::socketLost() const
{
    // A converter that closed the connection leaves the socket open but unconnected.
    const auto *socket = qobject_cast<const QAbstractSocket *>(m_device);
    return socket && socket->state() != QAbstractSocket::ConnectedState;
}

void ModbusTransport::observe(const QByteArray &request, const QByteArray &reply, ExchangeRecord::Result result,
                              qint64 sentAtMs, double latencyMs, bool echoRemoved) const
{
    const auto word = [](const QByteArray &bytes, int at) {
        return quint16((quint8(bytes.at(at)) << 8) | quint8(bytes.at(at + 1)));
    };
    ExchangeRecord record;
    record.timeMs = sentAtMs;
    record.station = quint8(request.at(0));
    record.function = quint8(request.at(1));
    record.address = word(request, 2);
    record.latencyMs = latencyMs;
    record.result = result;
    record.echoRemoved = echoRemoved;
    if (result == ExchangeRecord::Result::Exception)
        record.exceptionCode = quint8(reply.at(2));
    switch (record.function) {
    case ModbusFrame::ReadHoldingRegisters:
        record.count = word(request, 4);
        if (result == ExchangeRecord::Result::Ok)
            record.values = ModbusFrame::readReplyWords(reply, record.count);
        break;
    case ModbusFrame::WriteSingleRegister:
        record.count = 1;
        record.values = {word(request, 4)};
        break;
    default:
        record.count = word(request, 4);
        for (int at = 7; at + 4 <= request.size(); at += 2)
            record.values.append(word(request, at));
        break;
    }
    m_observer(record);
}

bool ModbusTransport::takeDeviceFailure()
{
    if (!m_device->isOpen() || socketLost())
        return true;
    auto *serial = qobject_cast<QSerialPort *>(m_device);
    if (!serial)
        return false;
    // A vanished adapter reports a resource error; a hung-up tty reads as a
    // read error on every attempt. Cleared, so that a single glitch costs one
    // exchange and a dead port keeps failing.
    const QSerialPort::SerialPortError error = serial->error();
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return false;
    serial->clearError();
    return true;
}

void ModbusTransport::countUnaccepted(const QByteArray &buffer, int acceptedAt, int replyLength, char slave,
                                      char function)
{
    const int end = acceptedAt >= 0 ? acceptedAt : buffer.size();
    m_stats.skippedBytes += static_cast<quint64>(buffer.size() - (acceptedAt >= 0 ? replyLength : 0));
    const char exceptionFunction = static_cast<char>(function | ModbusFrame::ExceptionFlag);
    constexpr int ExceptionLength = ModbusFrame::exceptionReplyLength;
    for (int i = 0; i + 1 < end; ++i) {
        if (buffer.at(i) != slave)
            continue;
        if (buffer.at(i + 1) == function && i + replyLength <= buffer.size()
            && !hasValidCrc(buffer.mid(i, replyLength)))
            ++m_stats.badCrcFrames;
        else if (buffer.at(i + 1) == exceptionFunction && i + ExceptionLength <= buffer.size()
                 && hasValidCrc(buffer.mid(i, ExceptionLength)))
            ++m_stats.exceptionReplies;
    }
}

QVector<quint16> ModbusTransport::readRegisters(quint8 slave, quint16 address, quint16 count, int timeoutMs)
{
    const QByteArray reply = transact(ModbusFrame::readRequest(slave, address, count),
                                      ModbusFrame::readReplyLength(count), timeoutMs);
    return ModbusFrame::readReplyWords(reply, count);
}

bool ModbusTransport::writeRegister(quint8 slave, quint16 address, quint16 value, int timeoutMs)
{
    try {
        transact(ModbusFrame::writeRequest(slave, address, value), ModbusFrame::writeReplyLength, timeoutMs);
        m_lastWriteError = ModbusError();
        return true;
    } catch (const ModbusError &e) {
        m_lastWriteError = e;
        return false;
    }
}

bool ModbusTransport::writeRegisters(quint8 slave, quint16 address, const QVector<quint16> &values,
                                     int timeoutMs)
{
    try {
        transact(ModbusFrame::writeMultiRequest(slave, address, values), ModbusFrame::writeReplyLength,
                 timeoutMs);
        m_lastWriteError = ModbusError();
        return true;
    } catch (const ModbusError &e) {
        m_lastWriteError = e;
        return false;
    }
}
