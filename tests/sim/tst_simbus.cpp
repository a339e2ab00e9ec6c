// The simulated bus on its pseudo-terminal, seen by a bare master.

#include "crc16.h"
#include "registers.h"
#include "simbus.h"
#include "simclient.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// Reply lengths: a read of n words, a write echo, an exception.
int readReplyLength(int words)
{
    return 5 + 2 * words;
}
constexpr int EchoLength = 8;
constexpr int ExceptionLength = 5;
// Long enough for any reply on a loaded machine; only a failing test waits it out.
constexpr int ReplyTimeoutMs = 3000;

SimDriveConfig secondDrive()
{
    SimDriveConfig config;
    config.station = 3;
    config.familyCode = 6;
    config.size = 40;
    config.rawLead = 200;
    config.stroke = 350;
    return config;
}

}  // namespace

class TestSimBus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void readReturnsTheDriveRegisters();
    void writeSingleIsEchoedAndStored();
    void writeMultipleIsEchoedAndStored();
    void requestsOutsideTheMapGetExceptionReplies_data();
    void requestsOutsideTheMapGetExceptionReplies();
    void absentStationAndBadCrcGetNoReply();
    void garbageAheadOfARequestIsSkipped();
    void stationChangeIsEchoedFromTheOldAddressThenServedOnTheNew();
    void drivesMoveOnTheBusClock();
    void requestLogRecordsValidRequestsInOrder();
    void qSerialPortTalksToTheBus();

    void silentBusAnswersNothingAndCarriesNothingOut();
    void busFallsSilentAfterTheGivenReplies();
    void badCrcFaultCorruptsEveryReply();
    void noiseBytesPrecedeTheReply();
    void splitRepliesArriveInPieces();
    void exceptionFaultAnswersCodeFourWithoutCarryingOut();
    void replyDelayHoldsTheReplyBack();
    void wireTimeHoldsTheReplyBack();
    void answerAsStationRewritesTheAddressWithAValidCrc();
    void dropEveryNthLosesThoseRepliesButCarriesOutTheRequests();
    void certainDropAndCorruptionAffectEveryReply();

    void aClientThatClosesLeavesNothingForTheNext();
    void closedPortFailsItsClientAndAFreshOneServesAgain();
    void stopIsPromptDuringALongReplyDelay();
    void demoBusServesItsThreeStations();

private:
    std::unique_ptr<SimBus> bus;
    std::unique_ptr<SimClient> client;
};

void TestSimBus::init()
{
    bus = std::make_unique<SimBus>();
    bus->addDrive(SimDriveConfig{});
    bus->addDrive(secondDrive());
    QVERIFY2(bus->start(), qPrintable(bus->errorString()));
    client = std::make_unique<SimClient>(bus->portPath());
    QVERIFY(client->isOpen());
}

void TestSimBus::cleanup()
{
    client.reset();
    bus.reset();
}

void TestSimBus::readReturnsTheDriveRegisters()
{
    const QByteArray reply = client->transact(SimClient::readRequest(3, Reg::LogicVersion, 5), readReplyLength(5));
    QCOMPARE(reply.size(), readReplyLength(5));
    QCOMPARE(reply.left(3), hex("03030A"));
    QVERIFY(hasValidCrc(reply));
    QCOMPARE(SimClient::replyWords(reply), (QVector<quint16>{0x4103, 6, 40, 200, 350}));
}

void TestSimBus::writeSingleIsEchoedAndStored()
{
    const QByteArray request = SimClient::writeRequest(1, Reg::SmoothingConstant, 40);
    QCOMPARE(client->transact(request, EchoLength), request);
    QCOMPARE(bus->registerValue(1, Reg::SmoothingConstant), quint16(40));
}

void TestSimBus::writeMultipleIsEchoedAndStored()
{
    const QByteArray request = SimClient::writeMultipleRequest(1, Reg::ManualSpeed, {12000, 0});
    const QByteArray reply = client->transact(request, EchoLength);
    QCOMPARE(reply.size(), EchoLength);
    QCOMPARE(reply.left(6), request.left(6));
    QVERIFY(hasValidCrc(reply));
    QCOMPARE(bus->registerValue(1, Reg::ManualSpeed), quint16(12000));
    QCOMPARE(bus->registerValue(1, Reg::ManualSpeed + 1), quint16(0));
}

void TestSimBus::requestsOutsideTheMapGetExceptionReplies_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("read past the map") << SimClient::readRequest(1, 0x0300, 1) << withCrc(hex("018302"));
    QTest::newRow("read running off the map") << SimClient::readRequest(1, 0x02FE, 3) << withCrc(hex("018302"));
    QTest::newRow("read of 126 words") << SimClient::readRequest(1, 0x0000, 126) << withCrc(hex("018303"));
    QTest::newRow("write past the map") << SimClient::writeRequest(3, 0x0300, 1) << withCrc(hex("038602"));
    QTest::newRow("station 0") << SimClient::writeRequest(1, Reg::StationAddress, 0) << withCrc(hex("018603"));
    QTest::newRow("multiple write past the map")
        << SimClient::writeMultipleRequest(1, 0x02FF, {1, 2}) << withCrc(hex("019002"));
    QTest::newRow("count and byte count disagree") << withCrc(hex("0110000A0002020001")) << withCrc(hex("019003"));
}

void TestSimBus::requestsOutsideTheMapGetExceptionReplies()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QCOMPARE(client->transact(request, ExceptionLength), reply);
}

void TestSimBus::absentStationAndBadCrcGetNoReply()
{
    QByteArray badCrc = SimClient::readRequest(1, Reg::ActualPosition, 2);
    badCrc[badCrc.size() - 1] = char(badCrc[badCrc.size() - 1] ^ 0x01);
    client->send(SimClient::readRequest(9, Reg::ActualPosition, 2));
    client->send(badCrc);
    // A request that is answered proves the two before it were seen and passed over.
    const QByteArray reply = client->transact(SimClient::readRequest(1, Reg::Stroke, 1), readReplyLength(1));
    QCOMPARE(reply, withCrc(hex("0103020032")));
    const QVector<SimRequest> log = bus->requests();
    QCOMPARE(log.size(), 2);
    QCOMPARE(log[0].station, quint8(9));
    QCOMPARE(log[1].address, Reg::Stroke);
    QCOMPARE(bus->replyCount(), 1);
}

void TestSimBus::garbageAheadOfARequestIsSkipped()
{
    const QByteArray request = SimClient::readRequest(1, Reg::Stroke, 1);
    QCOMPARE(client->transact(hex("FF0103") + request, readReplyLength(1)), withCrc(hex("0103020032")));
}

void TestSimBus::stationChangeIsEchoedFromTheOldAddressThenServedOnTheNew()
{
    const QByteArray change = SimClient::writeRequest(1, Reg::StationAddress, 5);
    QCOMPARE(client->transact(change, EchoLength), change);
    QVERIFY(!bus->hasDrive(1));
    QVERIFY(client->transact(SimClient::readRequest(1, Reg::Stroke, 1), 1, 300).isEmpty());
    QCOMPARE(client->transact(SimClient::readRequest(5, Reg::Stroke, 1), readReplyLength(1)),
             withCrc(hex("0503020032")));
    const QByteArray save = SimClient::writeRequest(5, Reg::StoreCommand, Reg::StoreValue::SaveToRom);
    QCOMPARE(client->transact(save, EchoLength), save);
    bus->powerCycle(5);
    QVERIFY(bus->hasDrive(5));
}

void TestSimBus::drivesMoveOnTheBusClock()
{
    const QByteArray speed = SimClient::writeMultipleRequest(1, Reg::ManualSpeed, {0xD4C0, 0x0001});  // 20 mm/s
    QCOMPARE(client->transact(speed, EchoLength).size(), EchoLength);
    const QByteArray jog = SimClient::writeRequest(1, Reg::ManualCommand, Reg::ManualCommandValue::JogPlus);
    QCOMPARE(client->transact(jog, EchoLength), jog);
    QTRY_VERIFY_WITH_TIMEOUT(bus->positionMm(1) > 1.0, 10000);
    const QByteArray stop = SimClient::writeRequest(1, Reg::ManualCommand, Reg::ManualCommandValue::Stop);
    QCOMPARE(client->transact(stop, EchoLength), stop);

    const QByteArray read = client->transact(SimClient::readRequest(1, Reg::ActualPosition, 2), readReplyLength(2));
    const QVector<quint16> words = SimClient::replyWords(read);
    QCOMPARE(words.size(), 2);
    const double stoppedAt = (words[0] | (words[1] << 16)) / 1000.0;
    QVERIFY(stoppedAt > 1.0 && stoppedAt < 50.0);
    QTest::qWait(100);
    QCOMPARE(bus->positionMm(1), stoppedAt);
}

void TestSimBus::requestLogRecordsValidRequestsInOrder()
{
    const QByteArray read = SimClient::readRequest(1, Reg::ActualPosition, 2);
    const QByteArray write = SimClient::writeRequest(3, Reg::AlarmClear, 0);
    const QByteArray multiple = SimClient::writeMultipleRequest(1, Reg::NudgeDistance, {0xFF9C, 0xFFFF});
    QCOMPARE(client->transact(read, readReplyLength(2)).size(), readReplyLength(2));
    QCOMPARE(client->transact(write, EchoLength).size(), EchoLength);
    QCOMPARE(client->transact(multiple, EchoLength).size(), EchoLength);

    const QVector<SimRequest> log = bus->requests();
    QCOMPARE(log.size(), 3);
    QCOMPARE(log[0].station, quint8(1));
    QCOMPARE(log[0].function, quint8(0x03));
    QCOMPARE(log[0].address, Reg::ActualPosition);
    QCOMPARE(log[0].count, quint16(2));
    QVERIFY(log[0].values.isEmpty());
    QCOMPARE(log[0].raw, read);
    QCOMPARE(log[1].station, quint8(3));
    QCOMPARE(log[1].function, quint8(0x06));
    QCOMPARE(log[1].count, quint16(1));
    QCOMPARE(log[1].values, QVector<quint16>{0});
    QCOMPARE(log[2].function, quint8(0x10));
    QCOMPARE(log[2].address, Reg::NudgeDistance);
    QCOMPARE(log[2].values, (QVector<quint16>{0xFF9C, 0xFFFF}));
    QCOMPARE(log[2].raw, multiple);
    QVERIFY(log[0].receivedAtMs <= log[1].receivedAtMs && log[1].receivedAtMs <= log[2].receivedAtMs);
    QCOMPARE(bus->replyCount(), 3);

    bus->clearRequests();
    QVERIFY(bus->requests().isEmpty());
}

void TestSimBus::qSerialPortTalksToTheBus()
{
    client.reset();
    QSerialPort port(bus->portPath());
    port.setBaudRate(QSerialPort::Baud115200);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    port.write(SimClient::readRequest(1, Reg::LogicVersion, 5));
    QByteArray reply;
    QElapsedTimer timer;
    timer.start();
    while (reply.size() < readReplyLength(5) && timer.elapsed() < ReplyTimeoutMs) {
        if (port.waitForReadyRead(100))
            reply += port.readAll();
    }
    QCOMPARE(SimClient::replyWords(reply), (QVector<quint16>{0x4103, 0, 16, 1, 50}));
}

void TestSimBus::silentBusAnswersNothingAndCarriesNothingOut()
{
    SimFaults faults;
    faults.silent = true;
    bus->setFaults(faults);
    QVERIFY(client->transact(SimClient::writeRequest(1, Reg::SmoothingConstant, 40), 1, 300).isEmpty());
    QTRY_COMPARE(bus->requests().size(), 1);
    QCOMPARE(bus->registerValue(1, Reg::SmoothingConstant), quint16(25));
    QCOMPARE(bus->replyCount(), 0);
}

void TestSimBus::busFallsSilentAfterTheGivenReplies()
{
    SimFaults faults;
    faults.silentAfterReplies = 2;
    bus->setFaults(faults);
    const QByteArray request = SimClient::readRequest(1, Reg::Stroke, 1);
    QCOMPARE(client->transact(request, readReplyLength(1)).size(), readReplyLength(1));
    QCOMPARE(client->transact(request, readReplyLength(1)).size(), readReplyLength(1));
    QVERIFY(client->transact(request, 1, 300).isEmpty());
    QCOMPARE(bus->replyCount(), 2);
    QCOMPARE(bus->faults().silentAfterReplies, 0);
}

void TestSimBus::badCrcFaultCorruptsEveryReply()
{
    SimFaults faults;
    faults.badCrc = true;
    bus->setFaults(faults);
    for (int i = 0; i < 2; ++i) {
        const QByteArray reply = client->transact(SimClient::readRequest(1, Reg::Stroke, 1), readReplyLength(1));
        QCOMPARE(reply.size(), readReplyLength(1));
        QCOMPARE(reply.left(5), hex("0103020032"));
        QVERIFY(!hasValidCrc(reply));
    }
}

void TestSimBus::noiseBytesPrecedeTheReply()
{
    SimFaults faults;
    faults.noiseBytes = 5;
    bus->setFaults(faults);
    const QByteArray reply = client->transact(SimClient::readRequest(1, Reg::Stroke, 1), 5 + readReplyLength(1));
    QCOMPARE(reply.size(), 5 + readReplyLength(1));
    QCOMPARE(reply.mid(5), withCrc(hex("0103020032")));
}

void TestSimBus::splitRepliesArriveInPieces()
{
    SimFaults faults;
    faults.splitPieces = 3;
    faults.splitGapMs = 150;
    bus->setFaults(faults);
    client->send(SimClient::readRequest(3, Reg::LogicVersion, 5));
    const QList<QByteArray> pieces = client->receivePieces(readReplyLength(5), ReplyTimeoutMs);
    QByteArray whole;
    for (const QByteArray &piece : pieces)
        whole += piece;
    QCOMPARE(whole.size(), readReplyLength(5));
    QVERIFY(hasValidCrc(whole));
    // Each gap is far longer than a read takes, so at least two reads were needed.
    QVERIFY2(pieces.size() >= 2, qPrintable(QString::number(pieces.size())));
}

void TestSimBus::exceptionFaultAnswersCodeFourWithoutCarryingOut()
{
    SimFaults faults;
    faults.exceptionReplies = true;
    bus->setFaults(faults);
    QCOMPARE(client->transact(SimClient::writeRequest(1, Reg::SmoothingConstant, 40), ExceptionLength),
             withCrc(hex("018604")));
    QCOMPARE(client->transact(SimClient::readRequest(1, Reg::Stroke, 1), ExceptionLength), withCrc(hex("018304")));
    QCOMPARE(bus->registerValue(1, Reg::SmoothingConstant), quint16(25));
}

void TestSimBus::replyDelayHoldsTheReplyBack()
{
    SimFaults faults;
    faults.replyDelayMs = 400;
    bus->setFaults(faults);
    client->send(SimClient::readRequest(1, Reg::Stroke, 1));
    // Nothing can come before the delay has passed, however slow the machine.
    QVERIFY(client->receive(1, 200).isEmpty());
    QCOMPARE(client->receive(readReplyLength(1), ReplyTimeoutMs), withCrc(hex("0103020032")));
}

void TestSimBus::wireTimeHoldsTheReplyBack()
{
    SimTiming slowWire;
    slowWire.byteTimeUs = 50000;  // 8 bytes: 400 ms
    bus->setTiming(slowWire);
    const QByteArray request = SimClient::writeRequest(1, Reg::SmoothingConstant, 40);
    client->send(request);
    QVERIFY(client->receive(1, 200).isEmpty());
    QCOMPARE(client->receive(EchoLength, ReplyTimeoutMs), request);
}

void TestSimBus::answerAsStationRewritesTheAddressWithAValidCrc()
{
    SimFaults faults;
    faults.answerAsStation = 7;
    bus->setFaults(faults);
    QCOMPARE(client->transact(SimClient::readRequest(1, Reg::Stroke, 1), readReplyLength(1)),
             withCrc(hex("0703020032")));
}

void TestSimBus::dropEveryNthLosesThoseRepliesButCarriesOutTheRequests()
{
    SimFaults faults;
    faults.dropEveryNth = 3;
    bus->setFaults(faults);
    QVector<bool> answered;
    for (quint16 value = 1; value <= 6; ++value) {
        const QByteArray request = SimClient::writeRequest(1, Reg::SmoothingConstant, value);
        answered.append(client->transact(request, EchoLength, 400) == request);
        QCOMPARE(bus->registerValue(1, Reg::SmoothingConstant), value);
    }
    QCOMPARE(answered, (QVector<bool>{true, true, false, true, true, false}));
    QCOMPARE(bus->replyCount(), 4);
}

void TestSimBus::certainDropAndCorruptionAffectEveryReply()
{
    SimFaults faults;
    faults.corruptProbability = 1.0;
    bus->setFaults(faults);
    for (int i = 0; i < 3; ++i) {
        const QByteArray reply = client->transact(SimClient::readRequest(1, Reg::Stroke, 1), readReplyLength(1));
        QCOMPARE(reply.size(), readReplyLength(1));
        QVERIFY(!hasValidCrc(reply));
    }
    faults = SimFaults{};
    faults.dropProbability = 1.0;
    bus->setFaults(faults);
    for (int i = 0; i < 3; ++i)
        QVERIFY(client->transact(SimClient::readRequest(1, Reg::Stroke, 1), 1, 200).isEmpty());
    QCOMPARE(bus->replyCount(), 3);
}

void TestSimBus::aClientThatClosesLeavesNothingForTheNext()
{
    SimFaults faults;
    faults.replyDelayMs = 200;
    bus->setFaults(faults);
    client->send(SimClient::readRequest(1, Reg::Stroke, 1));
    client.reset();  // gives up before the reply comes
    QTRY_COMPARE(bus->replyCount(), 1);

    bus->setFaults(SimFaults{});
    SimClient next(bus->portPath());
    QVERIFY(next.isOpen());
    QVERIFY(next.receive(1, 200).isEmpty());
    QCOMPARE(next.transact(SimClient::readRequest(3, Reg::Stroke, 1), readReplyLength(1)),
             withCrc(hex("030302015E")));
}

void TestSimBus::closedPortFailsItsClientAndAFreshOneServesAgain()
{
    client.reset();
    QSerialPort port(bus->portPath());
    port.setBaudRate(QSerialPort::Baud115200);
    QVERIFY(port.open(QIODevice::ReadWrite));
    qRegisterMetaType<QSerialPort::SerialPortError>();
    QSignalSpy errors(&port, &QSerialPort::errorOccurred);
    bus->setRegisterValue(1, Reg::SmoothingConstant, 77);

    bus->closePort();
    QVERIFY(!bus->isRunning());
    QVERIFY(bus->portPath().isEmpty());
    // A hung-up tty reads as end of file, which QSerialPort reports as a
    // read error; a vanished device node gives a resource error.
    QTRY_VERIFY_WITH_TIMEOUT(!errors.isEmpty(), 5000);
    const auto error = errors.constFirst().at(0).value<QSerialPort::SerialPortError>();
    QVERIFY2(error == QSerialPort::ReadError || error == QSerialPort::ResourceError, qPrintable(port.errorString()));
    port.close();

    QVERIFY(bus->start());
    SimClient fresh(bus->portPath());
    const QByteArray reply = fresh.transact(SimClient::readRequest(1, Reg::SmoothingConstant, 1), readReplyLength(1));
    QCOMPARE(SimClient::replyWords(reply), QVector<quint16>{77});
}

void TestSimBus::stopIsPromptDuringALongReplyDelay()
{
    SimFaults faults;
    faults.replyDelayMs = 60000;
    bus->setFaults(faults);
    client->send(SimClient::readRequest(1, Reg::Stroke, 1));
    QTRY_COMPARE(bus->requests().size(), 1);
    QElapsedTimer timer;
    timer.start();
    bus->stop();
    // Far below the delay: the serving thread was woken, not waited out.
    QVERIFY(timer.elapsed() < 20000);
    QCOMPARE(bus->replyCount(), 0);
}

void TestSimBus::demoBusServesItsThreeStations()
{
    client.reset();
    bus = std::make_unique<SimBus>();
    configureDemoBus(*bus);
    QVERIFY(bus->start());
    SimClient demo(bus->portPath());
    const QVector<QVector<quint16>> identities{{0x4103, 0, 16, 1, 50}, {0x4103, 6, 40, 200, 350}, {0x4103, 7, 25, 5, 100}};
    const quint8 stations[] = {1, 3, 5};
    for (int i = 0; i < 3; ++i) {
        const QByteArray reply = demo.transact(SimClient::readRequest(stations[i], Reg::LogicVersion, 5), readReplyLength(5));
        QCOMPARE(SimClient::replyWords(reply), identities[i]);
    }
}

QTEST_GUILESS_MAIN(TestSimBus)
#include "tst_simbus.moc"
