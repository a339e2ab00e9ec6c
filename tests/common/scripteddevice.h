#pragma once

#include <QIODevice>
#include <QThread>

// Answers each write with its scripted pieces, one piece each time the reader waits for bytes.
class ScriptedDevice : public QIODevice
{
public:
    explicit ScriptedDevice(const QByteArray &stale = {}) : m_ready(stale) { open(QIODevice::ReadWrite); }
    void scriptReply(const QList<QByteArray> &pieces) { m_replies.append(pieces); }
    QList<QByteArray> writes;
    int released = 0;            // pieces handed out
    bool failWhenDone = false;   // fail like an unplugged adapter once a reply is used up

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_ready.size() + QIODevice::bytesAvailable(); }
    bool waitForReadyRead(int msecs) override
    {
        if (m_pending.isEmpty()) {
            if (failWhenDone && !writes.isEmpty())
                close();
            QThread::msleep(ulong(qMin(msecs, 5)));
            return false;
        }
        m_ready += m_pending.takeFirst();
        ++released;
        return true;
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const int n = int(qMin<qint64>(maxSize, m_ready.size()));
        memcpy(data, m_ready.constData(), size_t(n));
        m_ready.remove(0, n);
        return n;
    }
    qint64 writeData(const char *data, qint64 size) override
    {
        writes.append(QByteArray(data, int(size)));
        m_pending = m_replies.isEmpty() ? QList<QByteArray>() : m_replies.takeFirst();
        return size;
    }

private:
    QList<QList<QByteArray>> m_replies;
    QList<QByteArray> m_pending;
    QByteArray m_ready;
};
