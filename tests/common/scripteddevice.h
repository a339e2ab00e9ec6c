#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QIODevice>
#include <QList>
#include <QThread>

// A byte stream that answers each write with scripted pieces released after
// given delays, so the transaction's reply hunting can be driven exactly.
class ScriptedDevice : public QIODevice
{
public:
    struct Piece
    {
        int afterMs;      // measured from the write that triggers the reply
        QByteArray bytes;
    };

    ScriptedDevice() { open(QIODevice::ReadWrite); }

    // The reply to the next write (one call per expected write).
    void scriptReply(const QList<Piece> &pieces) { m_replies.append(pieces); }
    // Bytes already waiting before anything is written (stale input).
    void preload(const QByteArray &bytes) { m_ready.append(bytes); }

    QList<QByteArray> writes() const { return m_writes; }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override
    {
        const_cast<ScriptedDevice *>(this)->releaseDue();
        return m_ready.size() + QIODevice::bytesAvailable();
    }

    bool waitForReadyRead(int msecs) override
    {
        QElapsedTimer t;
        t.start();
        for (;;) {
            releaseDue();
            if (!m_ready.isEmpty())
                return true;
            if (t.elapsed() >= msecs)
                return false;
            QThread::msleep(1);
        }
    }
    bool waitForBytesWritten(int) override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        releaseDue();
        const qint64 n = qMin<qint64>(maxSize, m_ready.size());
        memcpy(data, m_ready.constData(), static_cast<size_t>(n));
        m_ready.remove(0, static_cast<int>(n));
        return n;
    }

    qint64 writeData(const char *data, qint64 size) override
    {
        m_writes.append(QByteArray(data, static_cast<int>(size)));
        m_pending = m_replies.isEmpty() ? QList<Piece>() : m_replies.takeFirst();
        m_sinceWrite.start();
        return size;
    }

private:
    void releaseDue()
    {
        while (!m_pending.isEmpty() && m_sinceWrite.isValid() && m_sinceWrite.elapsed() >= m_pending.first().afterMs)
            m_ready.append(m_pending.takeFirst().bytes);
    }

    QList<QList<Piece>> m_replies;
    QList<Piece> m_pending;
    QByteArray m_ready;
    QList<QByteArray> m_writes;
    QElapsedTimer m_sinceWrite;
};
