// Arbitrary bytes as the drive's side of one transaction. Whatever arrives, an
// accepted reply has the expected length, the request's slave and function and
// a valid CRC, and it is the frame the hunt must pick: the lowest offset among
// the valid frames complete in the first piece of the stream that holds one.
// A stream without such a frame is never accepted, and every byte received is
// either part of the accepted frame or counted as skipped.
//
// Input: slave, operation, count, piece size, then the reply stream.

#include "crc16.h"
#include "fuzzcheck.h"
#include "modbusframe.h"
#include "modbustransport.h"

#include <QIODevice>
#include <QThread>

#include <cstring>
#include <optional>

// The transaction keeps 30 ms after the previous request and sleeps between
// looks at the port. Time is not under test here, and the fuzzer runs thousands
// of transactions a second, so in this program a sleep returns at once.
void QThread::msleep(unsigned long) {}

namespace {

constexpr quint16 Address = 0x0004;
constexpr int NoTimeoutMs = 60 * 1000;  // the end of the stream ends the transaction, not the clock

// Hands out the reply stream piece by piece, one piece each time the
// transaction waits for data and only after the request went out. With nothing
// left the device closes, as an unplugged adapter would, which ends the
// transaction at once: every byte has been offered without waiting for a clock.
class ReplyStreamDevice : public QIODevice
{
public:
    ReplyStreamDevice(const QByteArray &stream, int pieceSize) : m_stream(stream), m_pieceSize(pieceSize)
    {
        open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    }

    QByteArray written() const { return m_written; }
    QVector<int> pieceEnds() const { return m_pieceEnds; }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_released - m_read + QIODevice::bytesAvailable(); }

    bool waitForReadyRead(int) override
    {
        if (m_written.isEmpty())
            return false;
        if (m_released >= m_stream.size()) {
            close();
            return false;
        }
        m_released = qMin(m_stream.size(), m_released + m_pieceSize);
        m_pieceEnds.append(m_released);
        return true;
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = qMin<qint64>(maxSize, m_released - m_read);
        std::memcpy(data, m_stream.constData() + m_read, size_t(n));
        m_read += int(n);
        return n;
    }
    qint64 writeData(const char *data, qint64 size) override
    {
        m_written.append(data, int(size));
        return size;
    }

private:
    QByteArray m_stream;
    int m_pieceSize;
    int m_released = 0;
    int m_read = 0;
    QByteArray m_written;
    QVector<int> m_pieceEnds;
};

// The hunt written out plainly: the answer appears with the first piece after
// which some complete candidate is valid, and it is the lowest such offset.
std::optional<QByteArray> expectedReply(const QByteArray &stream, const QVector<int> &pieceEnds, char slave,
                                        char function, int length)
{
    for (int end : pieceEnds) {
        for (int i = 0; i + length <= end; ++i) {
            if (stream[i] != slave || stream[i + 1] != function)
                continue;
            const QByteArray candidate = stream.mid(i, length);
            if (hasValidCrc(candidate))
                return candidate;
        }
    }
    return std::nullopt;
}

void checkAcceptedFrame(const QByteArray &frame, const QByteArray &request, int length)
{
    FUZZ_CHECK(frame.size() == length, "accepted frame has the reply length");
    FUZZ_CHECK(frame[0] == request[0], "accepted frame carries the request's slave");
    FUZZ_CHECK(frame[1] == request[1], "accepted frame carries the request's function");
    FUZZ_CHECK(hasValidCrc(frame), "accepted frame has a valid CRC");
}

// Runs one transaction on the stream; none when the stream ran out first.
std::optional<QByteArray> runTransact(const QByteArray &request, int length, const QByteArray &stream,
                                      int pieceSize, QVector<int> &pieceEnds)
{
    ReplyStreamDevice device(stream, pieceSize);
    ModbusTransport transport(ModbusTransport::Pacing::SinceLastTransmission, &device);
    std::optional<QByteArray> frame;
    try {
        frame = transport.transact(request, length, NoTimeoutMs);
    } catch (const ModbusError &e) {
        FUZZ_CHECK(e.text() == QLatin1String("Port lost"), "only the end of the stream ends a transaction");
    }
    FUZZ_CHECK(device.written() == request, "the request goes out once, unchanged");
    pieceEnds = device.pieceEnds();

    const LinkStats stats = transport.stats();
    const int received = pieceEnds.isEmpty() ? 0 : pieceEnds.last();
    FUZZ_CHECK(stats.requests == 1, "one request counted");
    FUZZ_CHECK(stats.replies == (frame ? 1u : 0u), "a reply is counted when one is accepted");
    FUZZ_CHECK(stats.skippedBytes == quint64(received - (frame ? length : 0)),
               "received bytes are the accepted frame plus the skipped ones");
    return frame;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    const quint8 slave = data[0];
    const int operation = data[1] % 3;
    const int countByte = data[2];
    const int pieceSize = data[3] == 0 ? int(size) : data[3];
    const QByteArray stream(reinterpret_cast<const char *>(data) + 4, int(size) - 4);

    QByteArray request;
    int length = ModbusFrame::writeReplyLength;
    quint16 count = 0;
    QVector<quint16> values;
    switch (operation) {
    case 0:
        count = quint16(countByte % 126);
        request = ModbusFrame::readRequest(slave, Address, count);
        length = ModbusFrame::readReplyLength(count);
        break;
    case 1:
        request = ModbusFrame::writeRequest(slave, Address, quint16(countByte));
        break;
    default:
        values.fill(quint16(0xA5A5), 1 + countByte % 123);
        request = ModbusFrame::writeMultiRequest(slave, Address, values);
        break;
    }

    QVector<int> pieceEnds;
    const std::optional<QByteArray> frame = runTransact(request, length, stream, pieceSize, pieceEnds);
    const std::optional<QByteArray> expected = expectedReply(stream, pieceEnds, request[0], request[1], length);
    FUZZ_CHECK(frame.has_value() == expected.has_value(), "a reply is accepted exactly when the stream holds one");
    if (frame) {
        checkAcceptedFrame(*frame, request, length);
        FUZZ_CHECK(*frame == *expected, "the hunt picks the first valid frame");
    }

    // The operations the worker calls, on the same stream.
    ReplyStreamDevice device(stream, pieceSize);
    ModbusTransport transport(ModbusTransport::Pacing::SinceLastTransmission, &device);
    if (operation != 0) {
        const bool echoed = operation == 1 ? transport.writeRegister(slave, Address, quint16(countByte), NoTimeoutMs)
                                           : transport.writeRegisters(slave, Address, values, NoTimeoutMs);
        FUZZ_CHECK(echoed == frame.has_value(), "a write succeeds exactly when the stream holds its echo");
    } else if (frame) {
        const QVector<quint16> words = transport.readRegisters(slave, Address, count, NoTimeoutMs);
        FUZZ_CHECK(words.size() == count, "a read returns exactly the words asked for");
        for (int i = 0; i < count; ++i) {
            const quint16 onWire = quint16(quint8(frame->at(3 + 2 * i)) << 8 | quint8(frame->at(4 + 2 * i)));
            FUZZ_CHECK(words[i] == onWire, "read words are the frame's data, high byte first");
        }
    }
    return 0;
}
