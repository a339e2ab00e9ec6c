#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QMap>
#include <QThread>
#include <QVector>

#include <functional>
#include <mutex>

// A minimal in-memory Modbus slave behind a QIODevice, for worker tests that
// need exact control over which request goes unanswered. Replies are
// available at once; `answer` decides per request number (0-based) whether
// the drive replies. Thread-safe: the worker uses it, the test inspects it.
class FakeDriveDevice : public QIODevice
{
public:
    struct Request
    {
        quint8 function;
        quint16 address;
        quint16 countOrValue;
    };

    explicit FakeDriveDevice(quint8 station = 1) : m_station(station) { open(QIODevice::ReadWrite); }

    void setRegister(quint16 address, quint16 value)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_registers[address] = value;
    }
    quint16 registerValue(quint16 address) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_registers.value(address);
    }
    void setAnswerRule(std::function<bool(int requestNumber)> answer)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_answer = std::move(answer);
    }
    QVector<Request> requests() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_ready.size() + QIODevice::bytesAvailable();
    }
    bool waitForReadyRead(int msecs) override
    {
        if (bytesAvailable() > 0)
            return true;
        QThread::msleep(static_cast<unsigned long>(msecs));
        return bytesAvailable() > 0;
    }
    bool waitForBytesWritten(int) override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const qint64 n = qMin<qint64>(maxSize, m_ready.size());
        memcpy(data, m_ready.constData(), static_cast<size_t>(n));
        m_ready.remove(0, static_cast<int>(n));
        return n;
    }

    qint64 writeData(const char *data, qint64 size) override
    {
        const QByteArray frame(data, static_cast<int>(size));
        std::lock_guard<std::mutex> lock(m_mutex);
        if (frame.size() < 8 || quint8(frame[0]) != m_station)
            return size;
        const quint8 function = quint8(frame[1]);
        const quint16 address = word(frame, 2);
        const quint16 countOrValue = word(frame, 4);
        const int number = m_requests.size();
        m_requests.append({function, address, countOrValue});
        if (function == 0x10) {
            for (int i = 0; i < countOrValue; ++i)
                m_registers[quint16(address + i)] = word(frame, 7 + 2 * i);
        } else if (function == 0x06) {
            m_registers[address] = countOrValue;
        }
        if (m_answer && !m_answer(number))
            return size;
        QByteArray reply;
        if (function == 0x03) {
            reply.append(char(m_station)).append(char(0x03)).append(char(2 * countOrValue));
            for (int i = 0; i < countOrValue; ++i) {
                const quint16 v = m_registers.value(quint16(address + i));
                reply.append(char(v >> 8)).append(char(v & 0xFF));
            }
        } else {
            reply = frame.left(6);
        }
        quint16 crc = 0xFFFF;
        for (char c : reply) {
            crc ^= quint8(c);
            for (int b = 0; b < 8; ++b)
                crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
        }
        reply.append(char(crc & 0xFF)).append(char(crc >> 8));
        m_ready.append(reply);
        return size;
    }

private:
    static quint16 word(const QByteArray &f, int i) { return quint16(quint8(f[i]) << 8 | quint8(f[i + 1])); }

    mutable std::mutex m_mutex;
    quint8 m_station;
    QMap<quint16, quint16> m_registers;
    std::function<bool(int)> m_answer;
    QVector<Request> m_requests;
    QByteArray m_ready;
};
