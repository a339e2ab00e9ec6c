// A write is confirmed by its own echo only; an exception reply ends the
// exchange at once with its code named, and vexa-cli exits 7 on it.

#include "clifixture.h"
#include "crc16.h"
#include "modbusframe.h"
#include "modbustransport.h"
#include "serialport.h"
#include "testmain.h"

#include <QSerialPort>

namespace {

QByteArray frame(const char *hexText) { return withCrc(QByteArray::fromHex(hexText)); }

// The error of one exchange on a scripted stream; empty when a reply was accepted.
ModbusError failureOf(const QByteArray &request, const QList<QByteArray> &reply, int length)
{
    ScriptedDevice device;
    device.scriptReply(reply);
    ModbusTransport link(ModbusTransport::Pacing::SinceLastTransmission, &device);
    try {
        link.transact(request, length, 80);
    } catch (const ModbusError &e) {
        return e;
    }
    return ModbusError();
}

}  // namespace

class LinkConfirmTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writeIsConfirmedByItsOwnEchoOnly_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QList<QByteArray>>("reply");
        QTest::addColumn<bool>("confirmed");
        const QByteArray stop = frame("010600C80000");
        const QByteArray speed = frame("011000D800020475300000");
        QTest::newRow("0x06 own echo") << stop << QList<QByteArray>{stop} << true;
        QTest::newRow("0x06 late echo of the jog start") << stop << QList<QByteArray>{frame("010600C80001")} << false;
        QTest::newRow("0x06 late echo, then its own") << stop << QList<QByteArray>{frame("010600C80001"), stop} << true;
        QTest::newRow("0x10 own echo") << speed << QList<QByteArray>{frame("011000D80002")} << true;
        QTest::newRow("0x10 echo of another count") << speed << QList<QByteArray>{frame("011000D80001")} << false;
        QTest::newRow("0x10 echo of another start") << speed << QList<QByteArray>{frame("011000CE0002")} << false;
    }
    void writeIsConfirmedByItsOwnEchoOnly()
    {
        QFETCH(QByteArray, request);
        QFETCH(QList<QByteArray>, reply);
        QFETCH(bool, confirmed);
        const ModbusError error = failureOf(request, reply, ModbusFrame::writeReplyLength);
        QCOMPARE(error.text(), confirmed ? QString() : QStringLiteral("Timeout"));
    }

    void exceptionReplyEndsTheExchange_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("error");
        QTest::newRow("02 after noise") << QByteArray("\x7f\x01", 2) + frame("018302") << "Exception 02 (illegal data address)";
        QTest::newRow("04") << frame("018304") << "Exception 04 (server device failure)";
        QTest::newRow("0B") << frame("01830B") << "Exception 0B (gateway target device failed to respond)";
        QTest::newRow("unnamed") << frame("018305") << "Exception 05";
        QTest::newRow("another station's") << frame("028302") << "Timeout";
    }
    void exceptionReplyEndsTheExchange()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, error);
        const ModbusError e = failureOf(ModbusFrame::readRequest(1, 0x0300, 1), {reply}, ModbusFrame::readReplyLength(1));
        QCOMPARE(e.text(), error);
        QCOMPARE(e.kind() == ModbusError::Kind::Refused, error.startsWith(QLatin1String("Exception")));
    }

    // On the simulated bus: a refusal ends well within the timeout; a late echo confirms nothing.
    void simulatedFaults()
    {
        CliFixture rig;
        VEXA_REQUIRE(rig.start(), "no pseudo-terminal for the simulated bus");
        QSerialPort port;
        configureDrivePort(port, rig.bus.portPath());
        QVERIFY(port.open(QIODevice::ReadWrite));
        ModbusTransport link(ModbusTransport::Pacing::SinceLastTransmission, &port);
        SimFaults faults;
        faults.exceptionReplies = true;
        rig.bus.setFaults(faults);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!link.writeRegister(1, 0x00C8, 0, 300));
        QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(link.lastWriteError().text(), QStringLiteral("Exception 04 (server device failure)"));

        faults = SimFaults();
        faults.staleWriteEchoes = true;
        rig.bus.setFaults(faults);
        QVERIFY(!link.writeRegister(1, 0x00C8, 1, 100));  // its echo comes with the next write
        QVERIFY(!link.writeRegister(1, 0x00C8, 0, 100));
        rig.bus.setFaults(SimFaults());
        QVERIFY(link.writeRegister(1, 0x00C8, 0, 100));
    }

    void cliNamesRefusalsAndSilence()
    {
        CliFixture cli;
        VEXA_REQUIRE(cli.start(), "no pseudo-terminal for the simulated bus");
        const CliRun silent = CliFixture::run(cli.at({"read"}, 9) << "--address" << "4" << "--count" << "2");
        QCOMPARE(silent.code, 3);
        QCOMPARE(silent.err.trimmed(), QStringLiteral("vexa-cli: no reply from station 9 on %1 within 300 ms")
                                           .arg(cli.bus.portPath()));
        SimFaults faults;
        faults.exceptionReplies = true;
        cli.bus.setFaults(faults);
        const CliRun refused = CliFixture::run(cli.at({"read"}) << "--address" << "4" << "--count" << "2");
        QCOMPARE(refused.code, 7);
        QVERIFY2(refused.err.contains(QLatin1String("Exception 04 (server device failure)")), qPrintable(refused.err));
    }
};

VEXA_TEST_CLASS(LinkConfirmTest);
#include "tst_link_confirm.moc"
