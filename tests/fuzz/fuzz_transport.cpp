// Arbitrary bytes as the drive's side of one transaction. An accepted reply
// is the first valid frame (length, station, function, CRC) complete in the
// pieces offered so far; a stream without one is never accepted; every byte
// received is the accepted frame or counted as skipped. A write succeeds only
// with a reply, and with its exact echo as the first valid frame it succeeds.
// Input: station, operation, count, piece size, then the reply stream.

#include "crc16.h"
#include "fuzzcheck.h"
#include "modbusframe.h"
#include "modbustransport.h"

#include <QIODevice>
#include <QThread>

#include <cstring>
#include <optional>

// Time is not under test and the fuzzer runs thousands of transactions a second.
void QThread::msleep(unsigned long) {}

namespace {

// One piece of the stream each time the transaction waits; at its end the
// device fails like an unplugged adapter, which ends the transaction at once.
class StreamDevice : public QIODevice
{
public:
    StreamDevice(const QByteArray &stream, int piece) : m_stream(stream), m_piece(piece)
    {
        open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    }
    QByteArray written;
    QVector<int> ends;

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_released - m_read + QIODevice::bytesAvailable(); }
    bool waitForReadyRead(int) override
    {
        if (written.isEmpty() || m_released >= m_stream.size()) {
            close();
            return false;
        }
        m_released = qMin(m_stream.size(), m_released + m_piece);
        ends.append(m_released);
        return true;
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const int n = int(qMin<qint64>(maxSize, m_released - m_read));
        std::memcpy(data, m_stream.constData() + m_read, size_t(n));
        m_read += n;
        return n;
    }
    qint64 writeData(const char *data, qint64 size) override
    {
        written.append(data, int(size));
        return size;
    }

private:
    QByteArray m_stream;
    int m_piece, m_released = 0, m_read = 0;
};

// The hunt written out plainly: the lowest valid candidate after the first piece that completes one.
std::optional<QByteArray> expectedReply(const QByteArray &stream, const QVector<int> &ends, const QByteArray &request,
                                        int length)
{
    for (int end : ends)
        for (int i = 0; i + length <= end; ++i)
            if (stream[i] == request[0] && stream[i + 1] == request[1] && hasValidCrc(stream.mid(i, length)))
                return stream.mid(i, length);
    return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    const quint8 station = data[0];
    const int operation = data[1] % 3, count = data[2] % 126;
    const int piece = data[3] == 0 ? int(size) : data[3];
    const QByteArray stream(reinterpret_cast<const char *>(data) + 4, int(size) - 4);
    const QVector<quint16> values(1 + count % 123, 0xA5A5);
    const QByteArray request = operation == 0 ? ModbusFrame::readRequest(station, 4, quint16(count))
                               : operation == 1 ? ModbusFrame::writeRequest(station, 4, quint16(count))
                                                : ModbusFrame::writeMultiRequest(station, 4, values);
    const int length = operation == 0 ? ModbusFrame::readReplyLength(count) : ModbusFrame::writeReplyLength;

    StreamDevice device(stream, piece);
    ModbusTransport transport(ModbusTransport::Pacing::SinceLastTransmission, &device);
    std::optional<QByteArray> frame;
    try {
        frame = transport.transact(request, length, 60000);
    } catch (const ModbusError &e) {
        FUZZ_CHECK(e.text() == QLatin1String("Port lost") || e.text().startsWith(QLatin1String("Exception")),
                   "only the end of the stream or an exception reply ends a transaction");
        if (e.text() != QLatin1String("Port lost"))
            return 0;
    }
    FUZZ_CHECK(device.written == request, "the request goes out once, unchanged");
    const std::optional<QByteArray> expected = expectedReply(stream, device.ends, request, length);
    FUZZ_CHECK(frame == expected, "the hunt accepts exactly the first valid frame");
    const LinkStats stats = transport.stats();
    const int received = device.ends.isEmpty() ? 0 : device.ends.last();
    FUZZ_CHECK(stats.requests == 1 && stats.replies == (frame ? 1u : 0u), "one request, a reply when accepted");
    FUZZ_CHECK(stats.skippedBytes == quint64(received - (frame ? length : 0)), "every other byte counts as skipped");

    if (operation != 0) {
        StreamDevice again(stream, piece);
        ModbusTransport writer(ModbusTransport::Pacing::SinceLastTransmission, &again);
        const bool echoed = operation == 1 ? writer.writeRegister(station, 4, quint16(count), 60000)
                                           : writer.writeRegisters(station, 4, values, 60000);
        const QByteArray echo = operation == 1 ? request : withCrc(request.left(6));
        FUZZ_CHECK(frame || !echoed, "a write without a reply fails");
        FUZZ_CHECK(!frame || *frame != echo || echoed, "a write whose echo comes first succeeds");
    }
    return 0;
}
