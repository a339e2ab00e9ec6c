// The simulated bus: framing, replies byte for byte, a drive's motion,
// mbpoll as an independent master, and the vexa-drive-sim program.

#include "crc16.h"
#include "registers.h"
#include "serialport.h"
#include "simdrive.h"
#include "simframer.h"
#include "testmain.h"
#include "wirelog.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <csignal>

namespace {

QByteArray hex(const QString &text) { return QByteArray::fromHex(text.toLatin1().replace(' ', "")); }

// Sends one frame and collects what comes back until the line stays quiet.
QByteArray exchange(QIODevice &port, const QByteArray &request)
{
    port.readAll();
    port.write(request);
    QByteArray reply;
    while (port.waitForReadyRead(reply.isEmpty() ? 300 : 60))
        reply += port.readAll();
    return reply;
}

void set32(SimDrive &d, quint16 address, qint32 value)
{
    d.writeRegisters(address, {quint16(value & 0xFFFF), quint16(quint32(value) >> 16)});
}

}  // namespace

class SimTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void framerCutsTheStreamIntoRequests_data()
    {
        QTest::addColumn<QStringList>("pieces");
        QTest::addColumn<QStringList>("frames");
        const QString read = "01 03 02 C0 00 01 85 8E", multi = "01 10 02 27 00 02 04 27 10 00 00 A2 40";
        QTest::newRow("whole") << QStringList{read} << QStringList{read};
        QTest::newRow("in pieces") << QStringList{read.left(8), read.mid(8)} << QStringList{read};
        QTest::newRow("garbage ahead") << QStringList{"FF 00 13 " + read} << QStringList{read};
        QTest::newRow("bad CRC skipped") << QStringList{"01 03 02 C0 00 01 85 8F", read} << QStringList{read};
        QTest::newRow("back to back") << QStringList{read + " " + multi} << QStringList{read, multi};
        QTest::newRow("false start not held") << QStringList{"01 10 00 00 00 7F FE " + read} << QStringList{read};
    }
    void framerCutsTheStreamIntoRequests()
    {
        QFETCH(QStringList, pieces);
        QFETCH(QStringList, frames);
        SimFramer framer;
        QStringList taken;
        for (const QString &piece : pieces) {
            framer.append(hex(piece));
            for (QByteArray f = framer.takeFrame(); !f.isEmpty(); f = framer.takeFrame())
                taken << f.toHex(' ').toUpper();
        }
        QCOMPARE(taken, frames);
    }

    // Request => reply, in order on one bus with station 1; replies written out by hand.
    void busRepliesByteForByte_data()
    {
        QTest::addColumn<QStringList>("exchanges");
        QTest::newRow("read") << QStringList{"01 03 02 C0 00 01 85 8E > 01 03 02 00 32 39 91"};
        QTest::newRow("illegal address") << QStringList{"01 03 03 00 00 01 84 4E > 01 83 02 C0 F1"};
        QTest::newRow("too many words") << QStringList{"01 03 00 00 00 7E C5 EA > 01 83 03 01 31"};
        QTest::newRow("absent station") << QStringList{"09 03 02 C0 00 01 84 C6 > "};
        QTest::newRow("bad CRC") << QStringList{"01 03 02 C0 00 01 85 8F > "};
        QTest::newRow("writes echoed") << QStringList{
            "01 06 00 0A 00 21 69 D0 > 01 06 00 0A 00 21 69 D0",
            "01 10 02 27 00 02 04 27 10 00 00 A2 40 > 01 10 02 27 00 02 F0 7B"};
        QTest::newRow("station change") << QStringList{"01 06 00 66 00 07 28 17 > 01 06 00 66 00 07 28 17",
                                                       "07 03 02 C0 00 01 85 E8 > 07 03 02 00 32 B1 91",
                                                       "01 03 02 C0 00 01 85 8E > "};
    }
    void busRepliesByteForByte()
    {
        QFETCH(QStringList, exchanges);
        SimBus bus;
        bus.addDrive(SimDriveConfig());
        VEXA_REQUIRE(bus.start(), "no pseudo-terminal for the simulated bus");
        const std::unique_ptr<QIODevice> port = openDrivePort(bus.portPath());
        QVERIFY(port);
        for (const QString &line : exchanges) {
            const QStringList parts = line.split('>');
            QCOMPARE(exchange(*port, hex(parts[0])).toHex(' ').toUpper(), parts[1].trimmed().toLatin1());
        }
    }

    void lateRepliesAreParsed_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("ms");       // -1: refused
        QTest::addColumn<int>("address");
        QTest::newRow("every reply") << "310" << 310 << -1;
        QTest::newRow("hex address") << "150@0x000A" << 150 << 10;
        QTest::newRow("decimal address") << "5@12" << 5 << 12;
        for (const char *bad : {"", "x", "0", "10@", "10@0x10000", "1@2@3", "-5"})
            QTest::addRow("refused: '%s'", bad) << bad << -1 << -1;
    }
    void lateRepliesAreParsed()
    {
        QFETCH(QString, text);
        QFETCH(int, ms);
        QFETCH(int, address);
        SimFaults faults;
        QString error;
        QCOMPARE(parseSimLateReplies(text, &faults, &error), ms >= 0);
        QCOMPARE(error.isEmpty(), ms >= 0);
        if (ms >= 0)
            QCOMPARE(QVector<int>({faults.lateReplyMs, faults.lateAddress}), QVector<int>({ms, address}));
    }

    void driveJogsWithinItsSoftLimitsAndHomes()
    {
        SimDrive d{SimDriveConfig()};
        QCOMPARE(d.writeRegisters(Reg::ServoOff, {0}), SimException::None);
        d.writeRegisters(Reg::ManualMode, {Reg::ManualModeValue});
        set32(d, Reg::SoftLimitCCW, -2000);
        set32(d, Reg::SoftLimitCW, 10000);
        for (quint16 command : {Reg::ManualCommandValue::JogPlus, Reg::ManualCommandValue::JogMinus}) {
            d.writeRegisters(Reg::ManualCommand, {command});
            for (int i = 0; i < 3000 && d.isMoving(); ++i)
                d.tick(10);
            QCOMPARE(d.positionMm(), command == Reg::ManualCommandValue::JogPlus ? 10.0 : -2.0);
        }
        d.writeRegisters(Reg::ManualCommand, {Reg::ManualCommandValue::Homing});
        for (int i = 0; i < 3000 && d.isMoving(); ++i)
            d.tick(10);
        QCOMPARE(d.positionMm(), 0.0);
        QVERIFY(d.registerValue(Reg::InputStatus) & 0x80);
    }

    // An independent master: what mbpoll reads and writes, and the bus's request log.
    void mbpollConforms_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("printed");  // "[ref]: value" lines mbpoll must print
        QTest::addColumn<QString>("wire");     // the one request the bus received
        QTest::newRow("identification") << QStringList{"-a", "3", "-r", "700", "-c", "5", "-t", "4:hex", "PORT"}
                                        << "700=0x4103 701=0x0006 702=0x0028 703=0x00C8 704=0x015E" << "3 03 02BC x5";
        QTest::newRow("version text") << QStringList{"-a", "1", "-r", "0", "-c", "4", "-t", "4:hex", "PORT"}
                                      << "0=0x3248 1=0x0000 2=0x3156 3=0x322E" << "1 03 0000 x4";
        QTest::newRow("write one") << QStringList{"-a", "1", "-r", "10", "PORT", "33"} << "" << "1 06 000A = 0021";
        QTest::newRow("write two") << QStringList{"-a", "3", "-r", "570", "PORT", "4464", "2"} << "" << "3 10 023A = 1170 0002";
        QTest::newRow("absent station") << QStringList{"-a", "9", "-r", "704", "PORT"} << "" << "9 03 02C0 x1";
    }
    void mbpollConforms()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, printed);
        QFETCH(QString, wire);
        const QString mbpoll = QStandardPaths::findExecutable("mbpoll");
        VEXA_REQUIRE(!mbpoll.isEmpty(), "mbpoll is not installed (scripts/install-deps.sh installs it)");
        SimBus bus;
        configureDemoBus(bus);
        VEXA_REQUIRE(bus.start(), "no pseudo-terminal for the simulated bus");
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        // RTU at the drives' settings, PDU addressing, one poll, 1 s timeout.
        arguments.replaceInStrings("PORT", bus.portPath());
        process.start(mbpoll, QStringList{"-m", "rtu", "-b", "115200", "-P", "none", "-d", "8", "-s", "1", "-0",
                                          "-1", "-o", "1"} + arguments);
        QVERIFY(process.waitForFinished(30000));
        const QString output = QString::fromLocal8Bit(process.readAll());
        QStringList seen;
        static const QRegularExpression value(R"(^\[(\d+)\]:\s+(\S+))", QRegularExpression::MultilineOption);
        for (auto it = value.globalMatch(output); it.hasNext();) {
            const auto m = it.next();
            seen << m.captured(1) + "=" + m.captured(2);
        }
        QCOMPARE(seen.join(' '), printed);
        QVERIFY2(process.exitCode() == 0 || wire.startsWith('9'), qPrintable(output));
        QCOMPARE(wireLog(bus.requests()), QStringList{wire});
    }

    void driveSimProgramServesUntilTerminated()
    {
        QProcess sim;
        sim.start(VEXA_DRIVE_SIM, {"--drive", "2:6:40:200:350:BA"});
        QVERIFY(sim.waitForReadyRead(10000));
        const QString port = QString::fromLocal8Bit(sim.readLine()).trimmed();
        VEXA_REQUIRE(port.startsWith("/dev/"), "no pseudo-terminal for vexa-drive-sim");
        const std::unique_ptr<QIODevice> device = openDrivePort(port);
        QVERIFY(device);
        QCOMPARE(exchange(*device, withCrc(hex("02 03 02 C0 00 01"))), withCrc(hex("02 03 02 01 5E")));
        QVERIFY(exchange(*device, withCrc(hex("01 03 02 C0 00 01"))).isEmpty());
        ::kill(pid_t(sim.processId()), SIGTERM);
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitCode(), 0);
    }
};

VEXA_TEST_CLASS(SimTest);
#include "tst_sim.moc"
