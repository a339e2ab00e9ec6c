// The vexa-drive-sim program: what it prints, what it serves, how it ends.

#include "crc16.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int StartTimeoutMs = 10000;

// Reads the stroke register of a station over a raw tty; the whole reply, or empty.
QByteArray readStroke(const QString &port, quint8 station)
{
    const int fd = ::open(port.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {};
    termios settings{};
    tcgetattr(fd, &settings);
    cfmakeraw(&settings);
    tcsetattr(fd, TCSANOW, &settings);
    QByteArray request(1, char(station));
    request = withCrc(request + QByteArray::fromHex("0302C00001"));
    QByteArray reply;
    if (::write(fd, request.constData(), size_t(request.size())) == request.size()) {
        pollfd p{fd, POLLIN, 0};
        while (reply.size() < 7 && poll(&p, 1, 2000) > 0) {
            char chunk[64];
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0)
                break;
            reply.append(chunk, int(n));
        }
    }
    ::close(fd);
    return reply;
}

}  // namespace

class TestDriveSim : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void printsThePortFirstAndServesTheDefaultDrive();
    void servesTheDrivesGivenAndLinksThePort();
    void logsEachRequest();
    void endsCleanlyOnTermination_data();
    void endsCleanlyOnTermination();
    void refusesBadArguments_data();
    void refusesBadArguments();
    void leavesAFileInTheWayOfTheLinkAlone();

private:
    // Starts the program and returns the port it printed; empty on failure.
    QString start(QProcess &process, const QStringList &arguments);
};

QString TestDriveSim::start(QProcess &process, const QStringList &arguments)
{
    process.start(QStringLiteral(VEXA_DRIVE_SIM), arguments);
    if (!process.waitForStarted(StartTimeoutMs))
        return {};
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(StartTimeoutMs))
            return {};
    }
    return QString::fromLocal8Bit(process.readLine()).trimmed();
}

void TestDriveSim::printsThePortFirstAndServesTheDefaultDrive()
{
    QProcess process;
    const QString port = start(process, {});
    QVERIFY2(port.startsWith(QStringLiteral("/dev/pts/")), qPrintable(port));
    QCOMPARE(readStroke(port, 1), withCrc(QByteArray::fromHex("0103020032")));
    QVERIFY(readStroke(port, 3).isEmpty());
    process.terminate();
    QVERIFY(process.waitForFinished(StartTimeoutMs));
}

void TestDriveSim::servesTheDrivesGivenAndLinksThePort()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyVEXA"));
    QProcess process;
    const QString port = start(process, {QStringLiteral("--drive"), QStringLiteral("2:6:40:200:350:BA"),
                                         QStringLiteral("--drive"), QStringLiteral("4:0:16:1:75:0"),
                                         QStringLiteral("--link"), link});
    QVERIFY(!port.isEmpty());
    QCOMPARE(QFileInfo(link).symLinkTarget(), port);
    QCOMPARE(readStroke(link, 2), withCrc(QByteArray::fromHex("020302015E")));
    QCOMPARE(readStroke(link, 4), withCrc(QByteArray::fromHex("040302004B")));
    QVERIFY(readStroke(link, 1).isEmpty());
    process.terminate();
    QVERIFY(process.waitForFinished(StartTimeoutMs));
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestDriveSim::logsEachRequest()
{
    QProcess process;
    const QString port = start(process, {QStringLiteral("--demo"), QStringLiteral("--log")});
    QVERIFY(!port.isEmpty());
    QCOMPARE(readStroke(port, 5).size(), 7);
    QTRY_VERIFY(process.canReadLine());
    const QString line = QString::fromLocal8Bit(process.readLine());
    QVERIFY2(line.contains(QStringLiteral("05 03 02 C0 00 01")), qPrintable(line));
    process.terminate();
    QVERIFY(process.waitForFinished(StartTimeoutMs));
}

void TestDriveSim::endsCleanlyOnTermination_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestDriveSim::endsCleanlyOnTermination()
{
    QFETCH(int, signalNumber);
    QProcess process;
    QVERIFY(!start(process, {QStringLiteral("--demo")}).isEmpty());
    ::kill(pid_t(process.processId()), signalNumber);
    QVERIFY(process.waitForFinished(StartTimeoutMs));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
}

void TestDriveSim::refusesBadArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("short drive") << QStringList{QStringLiteral("--drive"), QStringLiteral("1:0:16")}
                                 << QStringLiteral("station:family:size:rawLead:stroke:dir");
    QTest::newRow("station 0") << QStringList{QStringLiteral("--drive"), QStringLiteral("0:0:16:1:50:0")}
                               << QStringLiteral("\"0\"");
    QTest::newRow("direction") << QStringList{QStringLiteral("--drive"), QStringLiteral("1:0:16:1:50:XY")}
                               << QStringLiteral("direction");
    QTest::newRow("probability") << QStringList{QStringLiteral("--drop-probability"), QStringLiteral("1.5")}
                                 << QStringLiteral("--drop-probability");
    QTest::newRow("count") << QStringList{QStringLiteral("--split"), QStringLiteral("-2")}
                           << QStringLiteral("--split");
}

void TestDriveSim::refusesBadArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QProcess process;
    process.start(QStringLiteral(VEXA_DRIVE_SIM), arguments);
    QVERIFY(process.waitForFinished(StartTimeoutMs));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardOutput().isEmpty());
    const QString error = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(error.contains(message), qPrintable(error));
}

void TestDriveSim::leavesAFileInTheWayOfTheLinkAlone()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("notes.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();

    QProcess process;
    process.start(QStringLiteral(VEXA_DRIVE_SIM), {QStringLiteral("--link"), path});
    QVERIFY(process.waitForFinished(StartTimeoutMs));
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(QString::fromLocal8Bit(process.readAllStandardError()).contains(QStringLiteral("not replacing")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep me"));
}

QTEST_GUILESS_MAIN(TestDriveSim)
#include "tst_drivesim.moc"
