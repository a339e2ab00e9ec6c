#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>

// A bare Modbus master for talking to the simulated bus in tests: a raw,
// non-blocking tty descriptor and hand-built frames, independent of the
// tool's own transaction code.
class SimClient
{
public:
    explicit SimClient(const QString &portPath);
    ~SimClient();
    SimClient(const SimClient &) = delete;
    SimClient &operator=(const SimClient &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    void close();

    bool send(const QByteArray &bytes);
    // Bytes received until `count` arrived or timeoutMs passed.
    QByteArray receive(int count, int timeoutMs);
    // The same, keeping each read's bytes apart.
    QList<QByteArray> receivePieces(int count, int timeoutMs);
    // Sends the request and waits for a reply of replyLength bytes.
    QByteArray transact(const QByteArray &request, int replyLength, int timeoutMs = 2000);

    // Requests with their CRC.
    static QByteArray readRequest(quint8 station, quint16 address, quint16 count);
    static QByteArray writeRequest(quint8 station, quint16 address, quint16 value);
    static QByteArray writeMultipleRequest(quint8 station, quint16 address, const QVector<quint16> &values);
    // Words of a 0x03 reply (station, 0x03, byte count, data, CRC).
    static QVector<quint16> replyWords(const QByteArray &reply);

private:
    int m_fd = -1;
};
