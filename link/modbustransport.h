#pragma once

#include "linkstats.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QVector>

#include <functional>
#include <stdexcept>

class QIODevice;

// A failure of the link, carrying the short text the callers show or relay
// ("Timeout", "Port not open", ...).
class ModbusError : public std::runtime_error
{
public:
    explicit ModbusError(const QString &text) : std::runtime_error(text.toStdString()), m_text(text) {}
    QString text() const { return m_text; }

private:
    QString m_text;
};

// One request, one validated reply of known length, on any byte stream.
//
// The two owners of a port differ only in pacing: the worker keeps 30 ms since
// its previous transmission, the connection manager always sleeps 30 ms first.
// Replies are hunted in the receive buffer, so noise or another station's
// frame ahead of the expected one is skipped and a split reply is assembled.
class ModbusTransport
{
public:
    enum class Pacing { SinceLastTransmission, FixedSleep };
    using TrafficSink = std::function<void(const QString &type, const QString &text)>;

    static constexpr int InterFrameGapMs = 30;
    static constexpr int PollStepMs = 5;
    static constexpr int WriteTimeoutMs = 200;
    static constexpr int WriteMultiTimeoutMs = 500;

    explicit ModbusTransport(Pacing pacing, QIODevice *device = nullptr);

    void setDevice(QIODevice *device) { m_device = device; }
    QIODevice *device() const { return m_device; }

    // tx/rx lines go to the sink only while traffic logging is on.
    void setTrafficSink(TrafficSink sink) { m_sink = std::move(sink); }
    void setTrafficLogging(bool on) { m_logging = on; }

    // Counters since construction or the last reset.
    LinkStats stats() const { return m_stats; }
    void resetStats() { m_stats = LinkStats(); }

    // Throws ModbusError("Port not open"), ModbusError("Port lost") when the
    // device reports that it failed (an unplugged adapter), or ModbusError("Timeout").
    QByteArray transact(const QByteArray &request, int replyLength, int timeoutMs);
    QVector<quint16> readRegisters(quint8 slave, quint16 address, quint16 count, int timeoutMs);

    // False when no echo arrived in time or the port is closed.
    bool writeRegister(quint8 slave, quint16 address, quint16 value, int timeoutMs = WriteTimeoutMs);
    bool writeRegisters(quint8 slave, quint16 address, const QVector<quint16> &values,
                        int timeoutMs = WriteMultiTimeoutMs);

private:
    void keepInterFrameGap();
    void discardStaleInput();
    bool waitForBytes();
    bool takeDeviceFailure();
    void countUnaccepted(const QByteArray &buffer, int acceptedAt, int replyLength, char slave, char function);
    void log(const QString &type, const QByteArray &bytes);

    Pacing m_pacing;
    QIODevice *m_device;
    QElapsedTimer m_sinceLastTransmission;
    TrafficSink m_sink;
    bool m_logging = false;
    LinkStats m_stats;
};
