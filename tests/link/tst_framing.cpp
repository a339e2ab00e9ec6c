#include "crc16.h"
#include "modbusframe.h"
#include "modbustransport.h"
#include "scripteddevice.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QByteArray readReply(quint8 slave, const QVector<quint16> &words)
{
    QByteArray frame;
    frame.append(static_cast<char>(slave));
    frame.append(char(0x03));
    frame.append(static_cast<char>(2 * words.size()));
    for (quint16 w : words) {
        frame.append(static_cast<char>(w >> 8));
        frame.append(static_cast<char>(w & 0xFF));
    }
    return withCrc(frame);
}

QString failureOf(ModbusTransport &link, const QByteArray &request, int length, int timeoutMs)
{
    try {
        link.transact(request, length, timeoutMs);
    } catch (const ModbusError &e) {
        return e.text();
    }
    return QString();
}

}  // namespace

Q_DECLARE_METATYPE(QList<ScriptedDevice::Piece>)

class FramingTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void crcMatchesPublishedValues_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("crc");
        QTest::newRow("empty") << QByteArray() << 0xFFFF;
        QTest::newRow("check string") << QByteArray("123456789") << 0x4B37;
        // Widely quoted Modbus examples: read 10 registers from 0, write 3 to register 1.
        QTest::newRow("read example") << hex("01 03 00 00 00 0A") << 0xCDC5;
        QTest::newRow("write example") << hex("01 06 00 01 00 03") << 0x0B98;
    }
    void crcMatchesPublishedValues()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, crc);
        QCOMPARE(int(crc16(bytes)), crc);
    }

    void requestsHaveTheWireLayout_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("read position") << ModbusFrame::readRequest(1, 0x0004, 2) << hex("01 03 00 04 00 02 85 CA");
        QTest::newRow("write single") << ModbusFrame::writeRequest(1, 0x0001, 3) << hex("01 06 00 01 00 03 98 0B");
        QTest::newRow("write multi")
            << ModbusFrame::writeMultiRequest(3, 0x00D8, {0x7530, 0x0000})
            << withCrc(hex("03 10 00 D8 00 02 04 75 30 00 00"));
    }
    void requestsHaveTheWireLayout()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, expected);
        QCOMPARE(frame, expected);
    }

    void writeMultiCarriesByteCountAndLength()
    {
        const QByteArray frame = ModbusFrame::writeMultiRequest(1, 0x00D8, {1, 2});
        QCOMPARE(frame.size(), 13);
        QCOMPARE(int(quint8(frame[6])), 4);
        QVERIFY(hasValidCrc(frame));
    }

    void hexTextIsUpperCaseSpaced()
    {
        QCOMPARE(ModbusFrame::toHex(hex("01 03 00 04 00 02 85 ca")), QString("01 03 00 04 00 02 85 CA"));
    }

    void replyIsHuntedInTheReceiveBuffer_data()
    {
        QTest::addColumn<QList<ScriptedDevice::Piece>>("pieces");
        const QByteArray reply = readReply(1, {0x1234, 0xABCD});
        QTest::newRow("whole") << QList<ScriptedDevice::Piece>{{2, reply}};
        QTest::newRow("two stray bytes first") << QList<ScriptedDevice::Piece>{{2, hex("FF 00") + reply}};
        QTest::newRow("three pieces") << QList<ScriptedDevice::Piece>{
            {2, reply.left(3)}, {15, reply.mid(3, 3)}, {30, reply.mid(6)}};
        QTest::newRow("another station's valid reply first")
            << QList<ScriptedDevice::Piece>{{2, readReply(2, {0x5555, 0x6666})}, {10, reply}};
        QTest::newRow("bad frame then good one") << QList<ScriptedDevice::Piece>{
            {2, reply.left(7) + char(reply[7] ^ 0x01)}, {10, reply}};
    }
    void replyIsHuntedInTheReceiveBuffer()
    {
        QFETCH(QList<ScriptedDevice::Piece>, pieces);
        ScriptedDevice device;
        device.scriptReply(pieces);
        ModbusTransport link(ModbusTransport::Pacing::FixedSleep, &device);
        QCOMPARE(link.readRegisters(1, 0x0004, 2, 300), (QVector<quint16>{0x1234, 0xABCD}));
        QCOMPARE(device.writes(), QList<QByteArray>{ModbusFrame::readRequest(1, 0x0004, 2)});
    }

    void invalidRepliesEndInTimeout_data()
    {
        QTest::addColumn<QByteArray>("reply");
        const QByteArray good = readReply(1, {0x0001});
        QByteArray swapped = good;
        swapped[5] = good[6];
        swapped[6] = good[5];
        QTest::newRow("crc bytes swapped") << swapped;
        QTest::newRow("exception reply") << withCrc(hex("01 83 02"));
        QTest::newRow("other station only") << readReply(7, {0x0001});
        QTest::newRow("too short") << good.left(6);
        QTest::newRow("silence") << QByteArray();
    }
    void invalidRepliesEndInTimeout()
    {
        QFETCH(QByteArray, reply);
        ScriptedDevice device;
        device.scriptReply({{2, reply}});
        ModbusTransport link(ModbusTransport::Pacing::FixedSleep, &device);
        QElapsedTimer t;
        t.start();
        QCOMPARE(failureOf(link, ModbusFrame::readRequest(1, 0x001A, 1), ModbusFrame::readReplyLength(1), 100),
                 QString("Timeout"));
        QVERIFY(t.elapsed() >= 100);
    }

    void staleInputIsDiscardedBeforeSending()
    {
        ScriptedDevice device;
        device.preload(readReply(1, {0x0BAD}));
        device.scriptReply({{5, readReply(1, {0x0600})}});
        ModbusTransport link(ModbusTransport::Pacing::FixedSleep, &device);
        QCOMPARE(link.readRegisters(1, 0x0006, 1, 300), QVector<quint16>{0x0600});
    }

    void byteCountFieldIsNotTrusted()
    {
        QByteArray reply = readReply(1, {0x0102, 0x0304});
        reply[2] = char(0x7F);
        reply = withCrc(reply.left(reply.size() - 2));
        ScriptedDevice device;
        device.scriptReply({{1, reply}});
        ModbusTransport link(ModbusTransport::Pacing::FixedSleep, &device);
        QCOMPARE(link.readRegisters(1, 0x0000, 2, 300), (QVector<quint16>{0x0102, 0x0304}));
    }

    void closedPortFailsWithoutSending()
    {
        ScriptedDevice device;
        device.close();
        ModbusTransport link(ModbusTransport::Pacing::FixedSleep, &device);
        QCOMPARE(failureOf(link, ModbusFrame::readRequest(1, 0x02BC, 5), 15, 300), QString("Port not open"));
        QVERIFY(device.writes().isEmpty());
        QVERIFY(!link.writeRegister(1, 0x00A4, 0));
    }

    void writesSucceedOnlyOnTheirEcho()
    {
        ScriptedDevice device;
        const QByteArray single = ModbusFrame::writeRequest(1, 0x00A4, 0);
        const QByteArray multi = ModbusFrame::writeMultiRequest(1, 0x0227, {0x2710, 0x0000});
        device.scriptReply({{2, single}});
        device.scriptReply({{2, withCrc(multi.left(6))}});
        device.scriptReply({});
        ModbusTransport link(ModbusTransport::Pacing::FixedSleep, &device);
        QVERIFY(link.writeRegister(1, 0x00A4, 0));
        QVERIFY(link.writeRegisters(1, 0x0227, {0x2710, 0x0000}));
        QVERIFY(!link.writeRegister(1, 0x00A4, 0, 50));
    }

    void trafficIsLoggedOnlyWhileLoggingIsOn()
    {
        ScriptedDevice device;
        const QByteArray reply = readReply(1, {0x0001, 0x0002});
        device.scriptReply({{1, reply}});
        device.scriptReply({{1, reply}});
        ModbusTransport link(ModbusTransport::Pacing::FixedSleep, &device);
        QStringList lines;
        link.setTrafficSink([&](const QString &type, const QString &text) { lines << type + ": " + text; });
        link.readRegisters(1, 0x0004, 2, 300);
        QVERIFY(lines.isEmpty());
        link.setTrafficLogging(true);
        link.readRegisters(1, 0x0004, 2, 300);
        QCOMPARE(lines, (QStringList{"tx: 01 03 00 04 00 02 85 CA", "rx: " + ModbusFrame::toHex(reply)}));
    }

    void statsCountWhatTheLinkSaw()
    {
        ScriptedDevice device;
        const QByteArray good = readReply(1, {0x0001});
        QByteArray corrupt = good;
        corrupt[6] = char(corrupt[6] ^ 0x55);
        device.scriptReply({{1, hex("00 FF 7E") + good}});                  // noise, then a reply
        device.scriptReply({{1, corrupt}});                                 // bad CRC only
        device.scriptReply({{1, withCrc(hex("01 83 04"))}});                // exception reply
        device.scriptReply({{1, corrupt + good}});                          // bad frame, then a reply
        ModbusTransport link(ModbusTransport::Pacing::FixedSleep, &device);
        const QByteArray request = ModbusFrame::readRequest(1, 0x001A, 1);
        QVERIFY(failureOf(link, request, 7, 200).isEmpty());
        QCOMPARE(failureOf(link, request, 7, 60), QString("Timeout"));
        QCOMPARE(failureOf(link, request, 7, 60), QString("Timeout"));
        QVERIFY(failureOf(link, request, 7, 200).isEmpty());

        const LinkStats stats = link.stats();
        QCOMPARE(stats.requests, quint64(4));
        QCOMPARE(stats.replies, quint64(2));
        QCOMPARE(stats.timeouts, quint64(2));
        QCOMPARE(stats.badCrcFrames, quint64(2));
        QCOMPARE(stats.exceptionReplies, quint64(1));
        QCOMPARE(stats.skippedBytes, quint64(3 + 7 + 5 + 7));
        QVERIFY(stats.latencyMaxMs >= stats.latencyMeanMs());
        QVERIFY(stats.summary().startsWith("requests 4, replies 2, timeouts 2, bad CRC 2, exceptions 1, noise 22 B"));
        link.resetStats();
        QCOMPARE(link.stats().requests, quint64(0));
    }

    void workerPacingKeepsTheGapFromTheLastTransmission()
    {
        ScriptedDevice device;
        for (int i = 0; i < 3; ++i)
            device.scriptReply({{1, readReply(1, {quint16(i)})}});
        ModbusTransport link(ModbusTransport::Pacing::SinceLastTransmission, &device);
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 3; ++i)
            link.readRegisters(1, 0x001A, 1, 300);
        // Two gaps of at least 30 ms between three back-to-back requests.
        QVERIFY2(t.elapsed() >= 60, qPrintable(QString::number(t.elapsed())));
    }
};


QTEST_GUILESS_MAIN(FramingTest)
#include "tst_framing.moc"
