#pragma once

#include "exchangerecord.h"
#include "linkstats.h"
#include "modbuserror.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QVector>

#include <functional>

class QIODevice;

// One request, one validated reply of known length, on any byte stream.
//
// The two owners of a port differ only in pacing: the worker keeps 30 ms since
// its previous transmission, the connection manager always sleeps 30 ms first.
// Replies are hunted in the receive buffer, so noise or another station's
// frame ahead of the expected one is skipped and a split reply is assembled.
// A write counts only by its own echo: a late echo of an earlier write is
// skipped like noise. An exception reply of the addressed station ends the
// exchange at once. The first request on a freshly opened port goes out
// without the gap; there is nothing on the wire to keep apart from yet.
//
// A reply belongs to its request. A read reply must carry the byte count of
// its request. After a timeout the reply may still come, late enough to pass
// for the answer to the next request of the same shape: before sending again
// the transport listens for up to the timeout it gave up on, and once bytes
// came, until the line has been quiet for the RTU 3.5-character time; what
// arrived is discarded (and counted as skipped).
//
// An adapter that echoes what it sends is recognised by a read request's own
// bytes coming back (a read reply never equals its request). From then on the
// exact echo of each request is taken out of the received bytes before the
// reply is hunted, so a write is confirmed only by the drive.
class ModbusTransport
{
public:
    enum class Pacing { SinceLastTransmission, FixedSleep };
    using TrafficSink = std::function<void(const QString &type, const QString &text)>;
    using ExchangeObserver = std::function<void(const ExchangeRecord &record)>;

    static constexpr int InterFrameGapMs = 30;
    static constexpr int PollStepMs = 5;
    static constexpr int WriteTimeoutMs = 200;
    static constexpr int WriteMultiTimeoutMs = 500;
    // At least 3.5 characters: Modbus RTU fixes 1.75 ms from 19200 baud up.
    static constexpr int QuietLineMs = 2;

    explicit ModbusTransport(Pacing pacing, QIODevice *device = nullptr);

    void setDevice(QIODevice *device)
    {
        m_device = device;
        portOpened();
    }
    // The port was (re)opened: its first request needs no gap, and whether its
    // adapter echoes is not known yet.
    void portOpened()
    {
        m_hasTransmitted = false;
        m_echoRemoval = false;
        m_lateReplyWindowMs = 0;
    }
    QIODevice *device() const { return m_device; }

    // tx/rx lines go to the sink only while traffic logging is on.
    void setTrafficSink(TrafficSink sink) { m_sink = std::move(sink); }
    void setTrafficLogging(bool on) { m_logging = on; }

    // Every exchange, decoded, to the observer; nothing is built while there is none.
    void setExchangeObserver(ExchangeObserver observer) { m_observer = std::move(observer); }

    // On once a read request came back as an echo, or when told that the
    // adapter of this port echoes (it was found by another owner of the port).
    bool echoRemoval() const { return m_echoRemoval; }
    void setEchoRemoval(bool on) { m_echoRemoval = on; }

    // Counters since construction or the last reset.
    LinkStats stats() const { return m_stats; }
    void resetStats() { m_stats = LinkStats(); }

    // Throws ModbusError("Port not open"), ModbusError::portLost() when the
    // device reports that it failed (an unplugged adapter), a Refused error
    // with its exception code, or ModbusError::noReply().
    QByteArray transact(const QByteArray &request, int replyLength, int timeoutMs);
    QVector<quint16> readRegisters(quint8 slave, quint16 address, quint16 count, int timeoutMs);

    // False when no echo arrived in time, the drive refused, or the port is
    // closed; lastWriteError() then says which.
    bool writeRegister(quint8 slave, quint16 address, quint16 value, int timeoutMs = WriteTimeoutMs);
    bool writeRegisters(quint8 slave, quint16 address, const QVector<quint16> &values,
                        int timeoutMs = WriteMultiTimeoutMs);
    const ModbusError &lastWriteError() const { return m_lastWriteError; }

private:
    void keepInterFrameGap();
    void discardStaleInput();
    void awaitQuietLine();
    bool waitForBytes();
    bool takeDeviceFailure();
    void countUnaccepted(const QByteArray &buffer, int acceptedAt, int replyLength, char slave, char function);
    void log(const QString &type, const QByteArray &bytes);
    bool socketLost() const;
    void observe(const QByteArray &request, const QByteArray &reply, ExchangeRecord::Result result,
                 qint64 sentAtMs, double latencyMs, bool echoRemoved) const;

    Pacing m_pacing;
    QIODevice *m_device;
    QElapsedTimer m_sinceLastTransmission;
    TrafficSink m_sink;
    bool m_logging = false;
    bool m_hasTransmitted = false;
    bool m_echoRemoval = false;
    // After a timeout: how long its reply may still arrive, from m_sinceTimeout.
    int m_lateReplyWindowMs = 0;
    QElapsedTimer m_sinceTimeout;
    ExchangeObserver m_observer;
    ModbusError m_lastWriteError;
    LinkStats m_stats;
};
