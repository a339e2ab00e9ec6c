#include "simclient.h"

#include "crc16.h"

#include <QElapsedTimer>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

void appendWord(QByteArray &bytes, quint16 value)
{
    bytes.append(char(value >> 8));
    bytes.append(char(value & 0xFF));
}

QByteArray header(quint8 station, quint8 function, quint16 address)
{
    QByteArray frame;
    frame.append(char(station));
    frame.append(char(function));
    appendWord(frame, address);
    return frame;
}

}  // namespace

SimClient::SimClient(const QString &portPath)
{
    m_fd = ::open(portPath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return;
    termios settings{};
    tcgetattr(m_fd, &settings);
    cfmakeraw(&settings);
    cfsetispeed(&settings, B115200);
    cfsetospeed(&settings, B115200);
    tcsetattr(m_fd, TCSANOW, &settings);
}

SimClient::~SimClient()
{
    close();
}

void SimClient::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool SimClient::send(const QByteArray &bytes)
{
    return m_fd >= 0 && ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
}

QList<QByteArray> SimClient::receivePieces(int count, int timeoutMs)
{
    QList<QByteArray> pieces;
    int received = 0;
    QElapsedTimer timer;
    timer.start();
    while (m_fd >= 0 && received < count) {
        const qint64 left = timeoutMs - timer.elapsed();
        if (left <= 0)
            break;
        pollfd fd{m_fd, POLLIN, 0};
        if (poll(&fd, 1, int(left)) <= 0 || !(fd.revents & POLLIN))
            continue;
        char chunk[512];
        const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
        if (n <= 0)
            break;
        pieces.append(QByteArray(chunk, int(n)));
        received += int(n);
    }
    return pieces;
}

QByteArray SimClient::receive(int count, int timeoutMs)
{
    QByteArray bytes;
    for (const QByteArray &piece : receivePieces(count, timeoutMs))
        bytes.append(piece);
    return bytes;
}

QByteArray SimClient::transact(const QByteArray &request, int replyLength, int timeoutMs)
{
    if (!send(request))
        return {};
    return receive(replyLength, timeoutMs);
}

QByteArray SimClient::readRequest(quint8 station, quint16 address, quint16 count)
{
    QByteArray frame = header(station, 0x03, address);
    appendWord(frame, count);
    return withCrc(frame);
}

QByteArray SimClient::writeRequest(quint8 station, quint16 address, quint16 value)
{
    QByteArray frame = header(station, 0x06, address);
    appendWord(frame, value);
    return withCrc(frame);
}

QByteArray SimClient::writeMultipleRequest(quint8 station, quint16 address, const QVector<quint16> &values)
{
    QByteArray frame = header(station, 0x10, address);
    appendWord(frame, quint16(values.size()));
    frame.append(char(2 * values.size()));
    for (quint16 value : values)
        appendWord(frame, value);
    return withCrc(frame);
}

QVector<quint16> SimClient::replyWords(const QByteArray &reply)
{
    QVector<quint16> words;
    for (int offset = 3; offset + 1 < reply.size() - 2; offset += 2)
        words.append(quint16((quint8(reply[offset]) << 8) | quint8(reply[offset + 1])));
    return words;
}
