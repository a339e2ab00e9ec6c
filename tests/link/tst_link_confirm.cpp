// A write is confirmed by its own echo only; an exception reply ends the
// exchange at once with its code named, and vexa-cli exits 7 on it.

#include "cli.h"
#include "crc16.h"
#include "modbusframe.h"
#include "modbustransport.h"
#include "scripteddevice.h"
#include "serialport.h"
#include "simbus.h"
#include "testmain.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTextStream>

namespace {

QByteArray frame(std::initializer_list<int> bytes)
{
    QByteArray body;
    for (int b : bytes)
        body.append(char(b));
    return withCrc(body);
}

}  // namespace

class LinkConfirmTest : public QObject
{
    Q_OBJECT

    SimBus bus;

    // Runs `exchange` on a fresh port to the simulated bus.
    template <typename Exchange> void onBus(Exchange exchange)
    {
        QSerialPort port;
        configureDrivePort(port, bus.portPath());
        QVERIFY(port.open(QIODevice::ReadWrite));
        ModbusTransport link(ModbusTransport::Pacing::SinceLastTransmission, &port);
        exchange(link);
    }

private Q_SLOTS:
    void initTestCase()
    {
        VEXA_REQUIRE(bus.start(), "no pseudo-terminal for the simulated bus");
        bus.addDrive(SimDriveConfig());
    }
    void init() { bus.setFaults(SimFaults()); }

    void writeIsConfirmedByItsOwnEchoOnly_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("confirmed");
        const QByteArray stop = frame({1, 0x06, 0x00, 0xC8, 0x00, 0x00});
        const QByteArray jogStartEcho = frame({1, 0x06, 0x00, 0xC8, 0x00, 0x01});
        const QByteArray speed = frame({1, 0x10, 0x00, 0xD8, 0x00, 0x02, 0x04, 0x75, 0x30, 0x00, 0x00});
        QTest::newRow("0x06 own echo") << stop << stop << true;
        QTest::newRow("0x06 late echo of an earlier write") << stop << jogStartEcho << false;
        QTest::newRow("0x06 late echo, then its own") << stop << jogStartEcho + stop << true;
        QTest::newRow("0x06 echo of another address") << stop << frame({1, 0x06, 0x00, 0xC9, 0x00, 0x00}) << false;
        QTest::newRow("0x10 own echo") << speed << frame({1, 0x10, 0x00, 0xD8, 0x00, 0x02}) << true;
        QTest::newRow("0x10 echo of another count") << speed << frame({1, 0x10, 0x00, 0xD8, 0x00, 0x01}) << false;
        QTest::newRow("0x10 echo of another start") << speed << frame({1, 0x10, 0x00, 0xCE, 0x00, 0x02}) << false;
    }
    void writeIsConfirmedByItsOwnEchoOnly()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(bool, confirmed);
        ScriptedDevice device;
        device.scriptReply({{2, reply}});
        ModbusTransport link(ModbusTransport::Pacing::SinceLastTransmission, &device);
        bool ok = true;
        try {
            link.transact(request, ModbusFrame::writeReplyLength, 80);
        } catch (const ModbusError &e) {
            ok = false;
            QCOMPARE(e.kind(), ModbusError::Kind::NoReply);
        }
        QCOMPARE(ok, confirmed);
    }

    void exceptionReplyEndsTheExchange_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("error");
        QTest::newRow("02 after noise") << QByteArray("\x7f\x01", 2) + frame({1, 0x83, 0x02})
                                       << "Exception 02 (illegal data address)";
        QTest::newRow("04") << frame({1, 0x83, 0x04}) << "Exception 04 (server device failure)";
        QTest::newRow("0B") << frame({1, 0x83, 0x0B}) << "Exception 0B (gateway target device failed to respond)";
        QTest::newRow("unnamed") << frame({1, 0x83, 0x05}) << "Exception 05";
        QTest::newRow("another station's") << frame({2, 0x83, 0x02}) << "Timeout";
        QTest::newRow("bad CRC") << QByteArray::fromHex("018302c0f0") << "Timeout";
    }
    void exceptionReplyEndsTheExchange()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, error);
        ScriptedDevice device;
        device.scriptReply({{2, reply}});
        ModbusTransport link(ModbusTransport::Pacing::SinceLastTransmission, &device);
        try {
            link.readRegisters(1, 0x0300, 1, 90);
            QFAIL("a reply was accepted");
        } catch (const ModbusError &e) {
            QCOMPARE(e.text(), error);
            QCOMPARE(e.kind() == ModbusError::Kind::Refused, error.startsWith(QLatin1String("Exception")));
        }
    }

    void simulatedRefusalEndsWellBeforeTheTimeout()
    {
        bus.setFaults([] { SimFaults f; f.exceptionReplies = true; return f; }());
        onBus([](ModbusTransport &link) {
            QElapsedTimer clock;
            clock.start();
            QVERIFY(!link.writeRegister(1, 0x00C8, 0, 300));
            QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));
            QCOMPARE(link.lastWriteError().text(), QStringLiteral("Exception 04 (server device failure)"));
        });
    }

    void lateEchoOfAnEarlierWriteConfirmsNothing()
    {
        bus.setFaults([] { SimFaults f; f.staleWriteEchoes = true; return f; }());
        onBus([this](ModbusTransport &link) {
            QVERIFY(!link.writeRegister(1, 0x00C8, 1, 100));  // its echo comes with the next write
            QVERIFY(!link.writeRegister(1, 0x00C8, 0, 100));
            bus.setFaults(SimFaults());
            QVERIFY(link.writeRegister(1, 0x00C8, 0, 100));
        });
    }

    void cliNamesRefusalsAndSilence_data()
    {
        QTest::addColumn<bool>("refusing");
        QTest::addColumn<int>("station");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("error");
        QTest::newRow("refused") << true << 1 << 7 << "Exception 04 (server device failure)";
        QTest::newRow("silent") << false << 9 << 3 << "no reply from station 9 on %1 within 300 ms";
    }
    void cliNamesRefusalsAndSilence()
    {
        QFETCH(bool, refusing);
        QFETCH(int, station);
        QFETCH(int, code);
        QFETCH(QString, error);
        SimFaults faults;
        faults.exceptionReplies = refusing;
        bus.setFaults(faults);
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        QCOMPARE(runCli({"read", "--port", bus.portPath(), "--station", QString::number(station), "--address", "4",
                         "--count", "2"},
                        outStream, errStream),
                 code);
        QVERIFY2(err.contains(error.replace(QLatin1String("%1"), bus.portPath())), qPrintable(err));
    }
};

VEXA_TEST_MAIN(LinkConfirmTest)
#include "tst_link_confirm.moc"
