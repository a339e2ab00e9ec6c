// Conformance: an independent Modbus master (mbpoll) against the simulated bus.

#include "registers.h"
#include "simbus.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

#include <memory>

namespace {

constexpr int ProcessTimeoutMs = 30000;

struct MbpollRun
{
    bool finished = false;
    int exitCode = -1;
    QString output;
};

// Holding-register values by reference, as mbpoll prints them ("[700]: 0x4103").
QMap<int, int> printedValues(const QString &output)
{
    QMap<int, int> values;
    static const QRegularExpression line(QStringLiteral(R"(^\[(\d+)\]:\s+(0x[0-9A-Fa-f]+|-?\d+))"),
                                         QRegularExpression::MultilineOption);
    auto it = line.globalMatch(output);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        values.insert(m.captured(1).toInt(), m.captured(2).toInt(nullptr, 0));
    }
    return values;
}

}  // namespace

class TestMbpoll : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void readsTheIdentificationRegisters();
    void readsTheVersionTextWords();
    void writesOneRegister();
    void writesSeveralRegistersInOneRequest();
    void findsNoAnswerFromAnAbsentStation();

private:
    MbpollRun mbpoll(const QStringList &arguments);

    QString executable;
    std::unique_ptr<SimBus> bus;
};

void TestMbpoll::initTestCase()
{
    executable = QStandardPaths::findExecutable(QStringLiteral("mbpoll"));
    if (executable.isEmpty())
        QSKIP("mbpoll is not installed (Debian package mbpoll); the conformance checks need it");
}

void TestMbpoll::init()
{
    bus = std::make_unique<SimBus>();
    configureDemoBus(*bus);
    QVERIFY2(bus->start(), qPrintable(bus->errorString()));
}

void TestMbpoll::cleanup()
{
    bus.reset();
}

MbpollRun TestMbpoll::mbpoll(const QStringList &arguments)
{
    // RTU at the drives' settings, PDU addressing, one poll, 1 s timeout.
    QStringList all{QStringLiteral("-m"), QStringLiteral("rtu"), QStringLiteral("-b"), QStringLiteral("115200"),
                    QStringLiteral("-P"), QStringLiteral("none"), QStringLiteral("-d"), QStringLiteral("8"),
                    QStringLiteral("-s"), QStringLiteral("1"), QStringLiteral("-0"), QStringLiteral("-1"),
                    QStringLiteral("-o"), QStringLiteral("1")};
    all += arguments;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(executable, all);
    MbpollRun run;
    run.finished = process.waitForFinished(ProcessTimeoutMs);
    if (!run.finished)
        process.kill();
    run.exitCode = process.exitCode();
    run.output = QString::fromLocal8Bit(process.readAll());
    return run;
}

void TestMbpoll::readsTheIdentificationRegisters()
{
    const MbpollRun run = mbpoll({QStringLiteral("-a"), QStringLiteral("3"), QStringLiteral("-r"),
                                  QString::number(Reg::LogicVersion), QStringLiteral("-c"), QStringLiteral("5"),
                                  QStringLiteral("-t"), QStringLiteral("4:hex"), bus->portPath()});
    QVERIFY2(run.finished && run.exitCode == 0, qPrintable(run.output));
    const QMap<int, int> values = printedValues(run.output);
    QCOMPARE(values.value(Reg::LogicVersion, -1), 0x4103);
    QCOMPARE(values.value(Reg::FamilyCode, -1), 6);
    QCOMPARE(values.value(Reg::SizeCode, -1), 40);
    QCOMPARE(values.value(Reg::ScrewLead, -1), 200);
    QCOMPARE(values.value(Reg::Stroke, -1), 350);
}

void TestMbpoll::readsTheVersionTextWords()
{
    const MbpollRun run = mbpoll({QStringLiteral("-a"), QStringLiteral("1"), QStringLiteral("-r"),
                                  QString::number(Reg::HardwareVersion), QStringLiteral("-c"), QStringLiteral("4"),
                                  QStringLiteral("-t"), QStringLiteral("4:hex"), bus->portPath()});
    QVERIFY2(run.finished && run.exitCode == 0, qPrintable(run.output));
    const QMap<int, int> values = printedValues(run.output);
    QCOMPARE(values.value(0, -1), 0x3248);  // "H2"
    QCOMPARE(values.value(2, -1), 0x3156);  // "V1"
    QCOMPARE(values.value(3, -1), 0x322E);  // ".2"
}

void TestMbpoll::writesOneRegister()
{
    const MbpollRun run = mbpoll({QStringLiteral("-a"), QStringLiteral("1"), QStringLiteral("-r"),
                                  QString::number(Reg::SmoothingConstant), bus->portPath(), QStringLiteral("33")});
    QVERIFY2(run.finished && run.exitCode == 0, qPrintable(run.output));
    QCOMPARE(bus->registerValue(1, Reg::SmoothingConstant), quint16(33));
    const QVector<SimRequest> log = bus->requests();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log[0].function, quint8(0x06));
}

void TestMbpoll::writesSeveralRegistersInOneRequest()
{
    const MbpollRun run = mbpoll({QStringLiteral("-a"), QStringLiteral("3"), QStringLiteral("-r"),
                                  QString::number(Reg::Pos1Position), bus->portPath(), QStringLiteral("4464"),
                                  QStringLiteral("2")});  // 135 mm
    QVERIFY2(run.finished && run.exitCode == 0, qPrintable(run.output));
    QCOMPARE(bus->registerValue(3, Reg::Pos1Position), quint16(4464));
    QCOMPARE(bus->registerValue(3, Reg::Pos1Position + 1), quint16(2));
    const QVector<SimRequest> log = bus->requests();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log[0].function, quint8(0x10));
    QCOMPARE(log[0].values, (QVector<quint16>{4464, 2}));
}

void TestMbpoll::findsNoAnswerFromAnAbsentStation()
{
    const MbpollRun run = mbpoll({QStringLiteral("-a"), QStringLiteral("9"), QStringLiteral("-r"),
                                  QString::number(Reg::Stroke), bus->portPath()});
    QVERIFY(run.finished);
    QVERIFY2(printedValues(run.output).isEmpty(), qPrintable(run.output));
    QVERIFY2(run.output.contains(QStringLiteral("timed out"), Qt::CaseInsensitive), qPrintable(run.output));
    QCOMPARE(bus->replyCount(), 0);
}

QTEST_GUILESS_MAIN(TestMbpoll)
#include "tst_mbpoll.moc"
