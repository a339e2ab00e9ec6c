// The link: CRC and frames against published vectors, the reply hunt, and on the
// simulated bus the worker's polling, queue, pacing and loss, and its port hand-over.

#include "crc16.h"
#include "linkrig.h"
#include "modbusframe.h"
#include "modbustransport.h"
#include "registers.h"
#include "serialport.h"
#include "testmain.h"

#include <QSerialPort>
#include <QSignalSpy>

#include <atomic>
#include <thread>

namespace {

using Pieces = QList<QByteArray>;

QByteArray hex(const char *text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

// A read reply of station 1 with its CRC, computed apart from the code under test.
const QByteArray Reply = hex("01 03 04 12 34 AB CD 00 20");

// The error of one transaction; empty when a reply was accepted (then in *reply).
QString failureOf(ModbusTransport &link, const QByteArray &request, int length, int timeoutMs, QByteArray *reply = nullptr)
{
    try {
        const QByteArray frame = link.transact(request, length, timeoutMs);
        if (reply)
            *reply = frame;
    } catch (const ModbusError &e) {
        return e.text();
    }
    return QString();
}

SimFaults faultsOfSilence()
{
    SimFaults f;
    f.silent = true;
    return f;
}

// A worker polling the bus's station 1 directly, without the connection manager.
struct PollingRig : LinkRig
{
    QSignalSpy lost{&worker, &ModbusWorker::connectionError};
    QSignalSpy log{&worker, &ModbusWorker::logMessage};
    ModbusError::Kind lostKind() const { return lost.first().first().value<ModbusError>().kind(); }
};

}  // namespace

Q_DECLARE_METATYPE(SimFaults)

class LinkTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void crcMatchesPublishedValues_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("crc");
        QTest::newRow("empty") << QByteArray() << 0xFFFF;
        QTest::newRow("check string") << QByteArray("123456789") << 0x4B37;
        QTest::newRow("read 10 from 0") << hex("01 03 00 00 00 0A") << 0xCDC5;
        QTest::newRow("write 3 to 1") << hex("01 06 00 01 00 03") << 0x0B98;
        QTest::newRow("reply") << hex("01 03 04 12 34 AB CD") << 0x2000;
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
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("read position") << ModbusFrame::readRequest(1, 0x0004, 2) << hex("01 03 00 04 00 02 85 CA");
        QTest::newRow("write") << ModbusFrame::writeRequest(1, 0x0001, 3) << hex("01 06 00 01 00 03 98 0B");
        QTest::newRow("write multi") << ModbusFrame::writeMultiRequest(1, 0x0001, {0x000A, 0x0102})
                                     << hex("01 10 00 01 00 02 04 00 0A 01 02 92 30");
    }
    void requestsHaveTheWireLayout()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, wire);
        QCOMPARE(ModbusFrame::toHex(frame), ModbusFrame::toHex(wire));
        QVERIFY(hasValidCrc(wire));
    }

    // Stale input waits before each request; the reply comes in the pieces given.
    void replyIsHuntedInTheReceiveBuffer_data()
    {
        QTest::addColumn<Pieces>("pieces");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("whole") << Pieces{Reply} << true;
        QTest::newRow("noise ahead") << Pieces{hex("FF 00 01") + Reply} << true;
        QTest::newRow("split in three") << Pieces{Reply.left(3), Reply.mid(3, 3), Reply.mid(6)} << true;
        QTest::newRow("foreign station first") << Pieces{withCrc(hex("02 03 04 55 55 66 66")), Reply} << true;
        QTest::newRow("bad CRC first") << Pieces{Reply.left(8) + char(Reply[8] ^ 1), Reply} << true;
        QTest::newRow("CRC bytes swapped") << Pieces{hex("01 03 04 12 34 AB CD 20 00")} << false;
        QTest::newRow("foreign station only") << Pieces{withCrc(hex("07 03 04 12 34 AB CD"))} << false;
        QTest::newRow("too short") << Pieces{Reply.left(8)} << false;
        QTest::newRow("silence") << Pieces{} << false;
        QTest::newRow("exception") << Pieces{withCrc(hex("01 83 02"))} << false;
    }
    void replyIsHuntedInTheReceiveBuffer()
    {
        QFETCH(Pieces, pieces);
        QFETCH(bool, accepted);
        ScriptedDevice device(Reply);
        device.scriptReply(pieces);
        ModbusTransport link(ModbusTransport::Pacing::FixedSleep, &device);
        QByteArray reply;
        QCOMPARE(failureOf(link, ModbusFrame::readRequest(1, 0x0004, 2), 9, 100, &reply).isEmpty(), accepted);
        QCOMPARE(ModbusFrame::readReplyWords(reply, 2), accepted ? QVector<quint16>({0x1234, 0xABCD}) : QVector<quint16>());
        QCOMPARE(device.writes, QList<QByteArray>{ModbusFrame::readRequest(1, 0x0004, 2)});
    }

    void readReplyMustCarryItsByteCountAndAClosedPortSendsNothing()
    {
        ScriptedDevice device;
        device.scriptReply({withCrc(hex("01 03 7F 01 02 03 04"))});
        device.scriptReply({withCrc(hex("01 03 04 01 02 03 04"))});
        ModbusTransport link(ModbusTransport::Pacing::FixedSleep, &device);
        QCOMPARE(failureOf(link, ModbusFrame::readRequest(1, 0, 2), 9, 50), QString("Timeout"));
        QCOMPARE(link.readRegisters(1, 0x0000, 2, 300), (QVector<quint16>{0x0102, 0x0304}));
        device.close();
        QCOMPARE(failureOf(link, ModbusFrame::readRequest(1, 0, 1), 7, 300), QString("Port not open"));
        QVERIFY(!link.writeRegister(1, Reg::AlarmClear, 0));
        QCOMPARE(device.writes.size(), 2);
    }

    // Reads of equal length in a row, one of them answered after its timeout: every
    // read gives its own register's value or fails, in each pacing of the transport.
    void lateReplyNeverAnswersAnotherRead_data()
    {
        QTest::addColumn<int>("pacing");
        QTest::newRow("worker") << int(ModbusTransport::Pacing::SinceLastTransmission);
        QTest::newRow("connection manager, command line") << int(ModbusTransport::Pacing::FixedSleep);
    }
    void lateReplyNeverAnswersAnotherRead()
    {
        QFETCH(int, pacing);
        LinkRig rig;
        VEXA_START_BUS(rig);
        QString error;
        SimFaults late;
        QVERIFY(parseSimLateReplies(QStringLiteral("150@0x000A"), &late, &error));  // past a 100 ms timeout
        rig.bus.setFaults(late);
        const std::unique_ptr<QIODevice> port = openDrivePort(rig.port());
        QVERIFY(port);
        ModbusTransport link(ModbusTransport::Pacing(pacing), port.get());
        QStringList seen;
        for (int round = 0; round < 2; ++round) {
            for (quint16 address = 0x0009; address <= 0x000C; ++address) {
                rig.bus.setRegisterValue(1, address, 0x1000 + address);
                try {
                    const quint16 word = link.readRegisters(1, address, 1, 100).value(0);
                    seen << (word == 0x1000 + address ? QStringLiteral("right") : QString::number(word, 16));
                } catch (const ModbusError &e) {
                    seen << e.text();
                }
            }
        }
        const QStringList once{"right", "Timeout", "right", "right"};
        QCOMPARE(seen, once + once);
    }

    void writesAreConfirmedByTheirEcho()
    {
        ScriptedDevice device;
        const QByteArray single = ModbusFrame::writeRequest(1, Reg::AlarmClear, 0);
        device.scriptReply({single});
        device.scriptReply({hex("01 10 02 27 00 02 F0 7B")});
        device.scriptReply({});
        ModbusTransport link(ModbusTransport::Pacing::FixedSleep, &device);
        QVERIFY(link.writeRegister(1, Reg::AlarmClear, 0));
        QVERIFY(link.writeRegisters(1, 0x0227, {0x2710, 0x0000}));
        QVERIFY(!link.writeRegister(1, Reg::AlarmClear, 0, 50));
    }

    void statsCountWhatTheLinkSaw()
    {
        ScriptedDevice device;
        QByteArray corrupt = Reply;
        corrupt[8] = char(corrupt[8] ^ 0x55);
        device.scriptReply({hex("00 FF 7E") + Reply});
        device.scriptReply({corrupt});
        device.scriptReply({corrupt + Reply});
        ModbusTransport link(ModbusTransport::Pacing::FixedSleep, &device);
        const QByteArray request = ModbusFrame::readRequest(1, 0x0004, 2);
        QVERIFY(failureOf(link, request, 9, 200).isEmpty());
        QCOMPARE(failureOf(link, request, 9, 60), QString("Timeout"));
        QVERIFY(failureOf(link, request, 9, 200).isEmpty());
        const LinkStats s = link.stats();
        QCOMPARE(QVector<quint64>({s.requests, s.replies, s.timeouts, s.badCrcFrames, s.skippedBytes}), QVector<quint64>({3, 2, 1, 2, 21}));
    }

    void pollingReadsSixGroupsInOrderAtTheFrameGap()
    {
        PollingRig rig;
        VEXA_START_WORKER(rig, false);
        rig.bus.setPositionMm(1, -1.0);
        rig.bus.setRegisterValue(1, Reg::AlarmWord, 0x0312);
        QVERIFY(rig.awaitStates(3));
        const DeviceState s = rig.states.last();
        QCOMPARE(s.positionMm, -1.0);
        QCOMPARE(s.alarmCode, 2);
        QCOMPARE(s.alarmHistRaw, quint16(0x0312));
        const QStringList cycle{"1 03 0004 x2", "1 03 001A x1", "1 03 0011 x1",
                                "1 03 00A3 x1", "1 03 0006 x1", "1 03 00A2 x1"};
        QCOMPARE(rig.wire().mid(0, 12), cycle + cycle);
        // The worker keeps 30 ms after each transmission; the median is immune to the bus thread's jitter.
        const QVector<SimRequest> sent = rig.bus.requests();
        QVector<qint64> gaps;
        for (int i = 2; i < sent.size(); ++i)  // the first request of a fresh port may go at once
            gaps << sent[i].receivedAtMs - sent[i - 1].receivedAtMs;
        std::sort(gaps.begin(), gaps.end());
        QVERIFY2(gaps[gaps.size() / 2] >= ModbusTransport::InterFrameGapMs - 1, qPrintable(QString::number(gaps[0])));
        QVERIFY(rig.log.isEmpty());
    }

    void faultsOnTheWireEndInLossOrNot_data()
    {
        QTest::addColumn<SimFaults>("faults");
        QTest::addColumn<bool>("lost");
        const auto with = [](const std::function<void(SimFaults &)> &set) { SimFaults f; set(f); return f; };
        QTest::newRow("clean") << SimFaults() << false;
        QTest::newRow("noise") << with([](SimFaults &f) { f.noiseBytes = 5; }) << false;
        QTest::newRow("split") << with([](SimFaults &f) { f.splitPieces = 3, f.splitGapMs = 5; }) << false;
        QTest::newRow("late within the timeout") << with([](SimFaults &f) { f.replyDelayMs = 40; }) << false;
        // One reply in seven lost: a good cycle comes between two failed ones.
        QTest::newRow("lost replies") << with([](SimFaults &f) { f.dropEveryNth = 7; }) << false;
        QTest::newRow("silent") << with([](SimFaults &f) { f.silent = true; }) << true;
        QTest::newRow("bad CRC") << with([](SimFaults &f) { f.badCrc = true; }) << true;
        QTest::newRow("foreign station") << with([](SimFaults &f) { f.answerAsStation = 2; }) << true;
        QTest::newRow("exceptions") << with([](SimFaults &f) { f.exceptionReplies = true; }) << true;
    }
    void faultsOnTheWireEndInLossOrNot()
    {
        QFETCH(SimFaults, faults);
        QFETCH(bool, lost);
        PollingRig rig;
        rig.bus.setFaults(faults);
        VEXA_START_WORKER(rig, false);
        if (lost) {
            QVERIFY(rig.lost.wait(LinkRig::WaitMs) || !rig.lost.isEmpty());
            QVERIFY(rig.states.isEmpty());
            QVERIFY(rig.worker.wait(LinkRig::WaitMs));
        } else {
            QVERIFY(rig.awaitStates(6));
            QVERIFY(rig.lost.isEmpty());
        }
    }

    void threeFailedCyclesEndTheConnection()
    {
        PollingRig rig;
        SimFaults silent;
        silent.silentAfterReplies = 6;  // one good cycle, then nothing
        rig.bus.setFaults(silent);
        VEXA_START_WORKER(rig, false);
        QVERIFY(rig.lost.wait(LinkRig::WaitMs) || !rig.lost.isEmpty());
        QVERIFY(rig.lostKind() == ModbusError::Kind::NoReply);
        QVERIFY(rig.worker.wait(LinkRig::WaitMs));
        QCOMPARE(rig.states.size(), 1);
        QCOMPARE(rig.bus.requests().size(), 6 + 3);  // each failed cycle ends at its first read
        QCOMPARE(rig.log.size(), 2);                    // the first two failures are only logged
    }

    // A stop posted during the cycle waits behind one read at most, not the cycle's other five.
    void aPostedStopCutsThePollingCycleShort()
    {
        PollingRig rig;
        VEXA_START_WORKER(rig, false);
        QVERIFY(rig.awaitStates(1));
        std::atomic<bool> cycleStarted{false};
        rig.bus.clearRequests();
        rig.bus.setRequestObserver([&](const SimRequest &r) {
            if (r.address == Reg::ActualPosition)
                cycleStarted = true;
        });
        QElapsedTimer waited;
        waited.start();
        while (!cycleStarted.load() && waited.elapsed() < LinkRig::WaitMs)
            QThread::usleep(200);
        QVERIFY(rig.worker.syncStopWrite(1, Reg::ManualCommand, Reg::ManualCommandValue::Stop));
        rig.bus.setRequestObserver(nullptr);
        const QStringList wire = rig.wire();
        const int stopAt = wire.indexOf("1 06 00C8 = 0000");
        const int cycleAt = wire.lastIndexOf("1 03 0004 x2", stopAt);
        QVERIFY2(cycleAt >= 0 && stopAt - cycleAt <= 2, qPrintable(wire.join("; ")));
    }

    // Writes queued while the link failed, up to the moment the worker gave up,
    // never reach the drive on the next connection; a request still posted then
    // is answered at once.
    void nothingPostedOrQueuedOutlivesTheConnection()
    {
        PollingRig rig;
        rig.bus.setFaults(faultsOfSilence());
        rig.worker.setExchangeTracing(true);
        std::atomic<int> timeouts{0};
        std::atomic<bool> posted{false};
        QObject::connect(&rig.worker, &ModbusWorker::exchangeRecorded, &rig.worker, [&](const ExchangeRecord &r) {
            if (r.result != ExchangeRecord::Result::Timeout || ++timeouts != ModbusWorker::FailedCyclesBeforeLoss)
                return;
            // The last failed cycle: Home pressed, and a stop posted before the worker gives up.
            rig.worker.enqueueWrite(Reg::ManualCommand, Reg::ManualCommandValue::Homing);
            rig.worker.enqueueWrite(Reg::CommandInputs, 0x0001);
            for (int ms = 0; ms < 2000 && !posted.load(); ++ms)
                QThread::msleep(1);
            QThread::msleep(100);  // for the stop to be posted
        }, Qt::DirectConnection);
        VEXA_START_WORKER(rig, false);
        QVERIFY(QTest::qWaitFor([&] { return timeouts.load() >= ModbusWorker::FailedCyclesBeforeLoss; }, LinkRig::WaitMs));
        posted = true;
        // Posted as a plain write: a stop's own post drops the queued motion.
        QVERIFY(!rig.worker.syncWrite(1, Reg::ManualCommand, Reg::ManualCommandValue::Stop));
        QCOMPARE(rig.worker.lastSyncError().text(), QString("Connection lost"));
        QVERIFY(rig.worker.wait(LinkRig::WaitMs));

        rig.bus.setFaults(SimFaults());
        rig.bus.clearRequests();
        rig.worker.setExchangeTracing(false);
        QObject::disconnect(&rig.worker, &ModbusWorker::exchangeRecorded, nullptr, nullptr);
        QSignalSpy connected(&rig.worker, &ModbusWorker::connectedSuccessfully);
        rig.worker.setPollingPaused(true);
        rig.worker.start();
        QTRY_VERIFY_WITH_TIMEOUT(!connected.isEmpty(), LinkRig::WaitMs);
        rig.worker.enqueueWrite(Reg::AlarmClear, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.wire(0x06).isEmpty(), LinkRig::WaitMs);
        QCOMPARE(rig.wire(0x06), QStringList{"1 06 00A4 = 0000"});
    }

    void liveValuesKeepTheirSign()
    {
        PollWords words;
        words.position = {0xFC18, 0xFFFF};  // -1000 um
        words.trackingError = 0xFF9C;       // -100 um
        const DeviceState s = decodeDeviceState(words);
        QCOMPARE(s.positionMm, -1.0);
        QCOMPARE(s.trackErrUm, -100);
    }

    // The settings the port was opened with: a pty carries bytes whatever they are.
    void drivePortOpensAt115200_8N1()
    {
        LinkRig rig;
        VEXA_START_BUS(rig);
        const std::unique_ptr<QIODevice> port = openDrivePort(rig.port());
        auto *serial = qobject_cast<QSerialPort *>(port.get());
        QVERIFY(serial && serial->isOpen());
        QCOMPARE(QVector<int>({serial->baudRate(QSerialPort::Input), serial->baudRate(QSerialPort::Output),
                               serial->dataBits(), serial->parity(), serial->stopBits(), serial->flowControl()}),
                 QVector<int>({115200, 115200, QSerialPort::Data8, QSerialPort::NoParity, QSerialPort::OneStop,
                               QSerialPort::NoFlowControl}));
    }

    void unpluggedAdapterIsPortLost()
    {
        PollingRig rig;
        VEXA_START_WORKER(rig, false);
        QVERIFY(rig.awaitStates(1));
        rig.bus.closePort();
        QVERIFY(rig.lost.wait(LinkRig::WaitMs) || !rig.lost.isEmpty());
        QVERIFY(rig.lostKind() == ModbusError::Kind::PortLost);
        QVERIFY(rig.worker.wait(LinkRig::WaitMs));
    }

    void connectingIdentifiesThenHandsThePortToTheWorker()
    {
        LinkRig rig({driveAt(1), driveAt(3, 6)});
        VEXA_START_BUS(rig);
        QCOMPARE(rig.connectTo(1), QString());
        QCOMPARE(rig.manager.deviceInfo().model, QString("LXAZ-16L01-50-BC"));
        QVERIFY(rig.awaitStates(2));
        const QStringList wire = rig.wire();
        const int firstPoll = wire.indexOf("1 03 0004 x2");
        QVERIFY(firstPoll > 0);
        QVERIFY(wire.mid(0, firstPoll).contains("1 03 02BC x5"));
        QVERIFY(wire.filter(QRegularExpression("^3 ")).isEmpty());
        QVERIFY(!rig.manager.scanBus(rig.port()));  // the worker holds the port

        rig.manager.disconnectDevice();
        QVERIFY(rig.worker.wait(LinkRig::WaitMs));
        rig.bus.clearRequests();
        rig.states.clear();
        QCOMPARE(rig.connectTo(3, false), QString());  // the port comes back at once
        QVERIFY(rig.awaitStates(1));
        QVERIFY(rig.wire().filter(QRegularExpression("^1 ")).isEmpty());

        SimFaults silent;
        silent.silent = true;
        rig.bus.setFaults(silent);
        QVERIFY(QTest::qWaitFor([&] { return !rig.errors.isEmpty(); }, LinkRig::WaitMs));
        QVERIFY(!rig.manager.isConnected());
    }

    void pausedWorkerServesCallsAndQueuedWritesInOrder()
    {
        PollingRig rig;
        VEXA_START_WORKER(rig, true);
        QCOMPARE(rig.worker.syncRead(1, Reg::LogicVersion, 1), QVector<quint16>{0x4103});
        QTRY_COMPARE(rig.log.size(), 2);
        QCOMPARE(rig.log[0], QVariantList({"tx", "01 03 02 BC 00 01 44 56"}));
        QVERIFY(rig.worker.syncWriteMulti(1, Reg::Pos1Speed, {0xEA60, 0x0000}));
        QVERIFY(rig.worker.syncWrite(1, Reg::AlarmClear, 0));
        rig.worker.enqueueWrite(Reg::ManualMode, 3);
        rig.worker.enqueueWrite(Reg::ManualCommand, Reg::ManualCommandValue::JogPlus);
        rig.worker.enqueueWrite(Reg::ManualCommand, Reg::ManualCommandValue::Stop);
        QTRY_COMPARE_WITH_TIMEOUT(rig.wire().size(), 6, LinkRig::WaitMs);
        QCOMPARE(rig.wire(), QStringList({"1 03 02BC x1", "1 10 0237 = EA60 0000", "1 06 00A4 = 0000",
                                          "1 06 00A1 = 0003", "1 06 00C8 = 0001", "1 06 00C8 = 0000"}));
        QVERIFY(rig.states.isEmpty());
    }

    void stopReleasesAWaitingCallerAndDropsTheQueue()
    {
        PollingRig rig;
        SimFaults silent;
        silent.silent = true;
        rig.bus.setFaults(silent);
        VEXA_START_WORKER(rig, true);
        rig.worker.enqueueWrite(Reg::ManualCommand, Reg::ManualCommandValue::JogPlus);
        rig.worker.enqueueWrite(Reg::ManualCommand, Reg::ManualCommandValue::JogMinus);
        std::thread stopper([&] {
            QThread::msleep(50);
            rig.worker.stop();
        });
        QElapsedTimer waited;
        waited.start();
        const QVector<quint16> words = rig.worker.syncRead(1, Reg::LogicVersion, 1, 60000);
        stopper.join();
        QVERIFY(words.isEmpty());
        QVERIFY2(waited.elapsed() < 30000, "the caller is released long before its own wait ends");
        QVERIFY(rig.worker.wait(LinkRig::WaitMs));
        QVERIFY(rig.wire(0x06).size() <= 1);  // at most the write already on the wire
    }
};

VEXA_TEST_CLASS(LinkTest);
#include "tst_link.moc"
