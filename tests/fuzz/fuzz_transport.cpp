// Arbitrary bytes as the drive's side of one transaction. An accepted reply is
// the first valid frame complete in the pieces offered so far that starts as the
// request does (station and function; a write's echo also its address and value
// or count); every other byte counts as skipped; a write succeeds only with a
// reply, and with its exact echo as that reply it succeeds.
// Input: station, operation, count, piece size, then the reply stream.

#include "crc16.h"
#include "fuzzcheck.h"
#include "modbusframe.h"
#include "modbustransport.h"
#include "scripteddevice.h"

#include <optional>

// Time is not under test and the fuzzer runs thousands of transactions a second.
void QThread::msleep(unsigned long) {}

namespace {

// The stream in pieces, failing at its end so that a transaction ends without a clock.
struct StreamDevice : ScriptedDevice
{
    StreamDevice(const QByteArray &stream, int piece)
    {
        QList<QByteArray> pieces;
        for (int i = 0; i < stream.size(); i += piece)
            pieces << stream.mid(i, piece);
        scriptReply(pieces);
        failWhenDone = true;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    const quint8 station = data[0];
    const int operation = data[1] % 3, count = data[2] % 126, piece = data[3] == 0 ? int(size) : data[3];
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
    FUZZ_CHECK(device.writes == QList<QByteArray>{request}, "the request goes out once, unchanged");
    // The hunt written out plainly: the lowest valid candidate in the first pieces that complete one.
    const int received = qMin(stream.size(), device.released * piece);
    // A read reply repeats station and function and carries its byte count; a write echo repeats the request's head.
    const QByteArray head = operation == 0 ? request.left(2) + char(2 * count) : request.left(6);
    std::optional<QByteArray> expected;
    for (int end = piece; !expected && end < received + piece; end += piece)
        for (int i = 0; !expected && i + length <= qMin(end, received); ++i)
            if (stream.mid(i, head.size()) == head && hasValidCrc(stream.mid(i, length)))
                expected = stream.mid(i, length);
    FUZZ_CHECK(frame == expected, "the hunt accepts exactly the first valid frame");
    const LinkStats stats = transport.stats();
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
