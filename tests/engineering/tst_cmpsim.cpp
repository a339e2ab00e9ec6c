#include "cmpengine.h"
#include "cmpmanager.h"
#include "modbusworker.h"
#include "productconfig.h"
#include "registers.h"
#include "registertemplate.h"
#include "simbus.h"

#include <QSignalSpy>
#include <QTableWidget>
#include <QTextEdit>
#include <QtTest>

#include <memory>

namespace {

constexpr quint8 Station = 3;
constexpr quint8 WriteMultiple = 0x10;
constexpr quint8 ReadHolding = 0x03;
constexpr quint8 WriteSingle = 0x06;

QVector<SimRequest> requestsOf(const SimBus &bus, quint8 function)
{
    QVector<SimRequest> out;
    for (const SimRequest &r : bus.requests()) {
        if (r.function == function && r.station == Station)
            out << r;
    }
    return out;
}

QVector<quint16> wordsOf(const QByteArray &bytes)
{
    QVector<quint16> words;
    for (int i = 0; i + 1 < bytes.size(); i += 2)
        words << quint16((quint8(bytes[i]) << 8) | quint8(bytes[i + 1]));
    return words;
}

ProductConfig startUpConfig()
{
    ProductConfig config;
    applyLeadDefaults(config, 1.0);
    applyStrokeDefaults(config, 30);
    return config;
}

}  // namespace

// The compare manager on a running worker, talking to a simulated drive.
class CmpSimTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimBus> bus;
    std::unique_ptr<ModbusWorker> worker;
    std::unique_ptr<CmpManager> manager;
    std::unique_ptr<QTableWidget> table;
    std::unique_ptr<QTextEdit> log;

    QStringList logLines() const { return log->toPlainText().split(QLatin1Char('\n')); }

    // Returns once the worker serves requests only: polling is paused and
    // no polling cycle is still on the wire.
    void quietWorker()
    {
        worker->setPollingPaused(true);
        QVERIFY(!worker->syncRead(Station, Reg::StoreCommand, 1).isEmpty());
    }

private Q_SLOTS:
    void init()
    {
        bus = std::make_unique<SimBus>();
        SimDriveConfig drive;
        drive.station = Station;
        drive.stroke = 30;
        bus->addDrive(drive);
        if (!bus->start())
            QSKIP("no pseudo-terminal available for the simulated bus");

        worker = std::make_unique<ModbusWorker>();
        worker->setPortName(bus->portPath());
        worker->setStation(Station);
        manager = std::make_unique<CmpManager>(worker.get());
        manager->setLanguage(QStringLiteral("en"));
        table = std::make_unique<QTableWidget>(0, 5);
        log = std::make_unique<QTextEdit>();
        manager->setTable(table.get());
        manager->setLog(log.get());
        // As the window forwards it while the worker's thread runs.
        connect(manager.get(), &CmpManager::pauseWorker, worker.get(), &ModbusWorker::setPollingPaused);
        connect(worker.get(), &ModbusWorker::logMessage, manager.get(), &CmpManager::addLog);
        manager->applyProductConfig(startUpConfig());

        QSignalSpy connected(worker.get(), &ModbusWorker::connectedSuccessfully);
        worker->start();
        QVERIFY(connected.wait(5000));
    }

    void cleanup()
    {
        if (worker) {
            worker->stop();
            worker->wait();
        }
        manager.reset();
        worker.reset();
        table.reset();
        log.reset();
        bus.reset();
    }

    void writeAllPutsTheBlockIntoTheDriveInFourRequests()
    {
        bus->clearRequests();
        manager->writeAll(Station);

        const QVector<SimRequest> writes = requestsOf(*bus, WriteMultiple);
        QCOMPARE(writes.size(), 4);
        const int expected[4][2] = {{0x012C, 98}, {0x018E, 100}, {0x01F2, 99}, {0x0255, 3}};
        QVector<quint16> sent;
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(int(writes[i].address), expected[i][0]);
            QCOMPARE(int(writes[i].count), expected[i][1]);
            sent += writes[i].values;
        }
        QVector<quint16> block;
        for (const CmpTask &task : manager->tasks()) {
            QCOMPARE(task.status, CmpStatus::Match);
            block += wordsOf(task.expected);
        }
        QCOMPARE(sent, block);
        for (int i = 0; i < block.size(); ++i)
            QCOMPARE(bus->registerValue(Station, quint16(Reg::PowerOnBlockStart + i)), block[i]);

        // Polling stayed paused from the first write to the last.
        const QVector<SimRequest> all = bus->requests();
        int first = -1;
        int last = -1;
        for (int i = 0; i < all.size(); ++i) {
            if (all[i].function == WriteMultiple) {
                if (first < 0)
                    first = i;
                last = i;
            }
        }
        QCOMPARE(last - first, 3);
        QCOMPARE(logLines().first().mid(15), QStringLiteral("** Write started: merged into 4 requests"));
        QCOMPARE(table->item(0, 4)->text(), QStringLiteral("✔ Match"));
    }

    void readAllAfterAWriteFindsEveryRowMatching()
    {
        manager->writeAll(Station);
        bus->clearRequests();
        manager->readAll(Station);

        QVector<SimRequest> reads;
        for (const SimRequest &r : requestsOf(*bus, ReadHolding)) {
            if (r.address >= Reg::PowerOnBlockStart)
                reads << r;
        }
        QCOMPARE(reads.size(), 4);
        QCOMPARE(int(reads[1].address), 0x018E);
        QCOMPARE(int(reads[1].count), 100);
        for (const CmpTask &task : manager->tasks()) {
            QCOMPARE(task.status, CmpStatus::Match);
            QCOMPARE(task.device, task.expected.left(2 * task.wordCount));
        }
        // The worker's own traffic lines arrive queued, after the operation.
        QTRY_VERIFY(log->toPlainText().contains(QLatin1String("RX < 03 03 C8")));
    }

    void changedRegisterShowsAsAMismatch()
    {
        manager->writeAll(Station);
        const int ecLead = RegisterTemplate::rowIndex(QStringLiteral("ecLead"));
        bus->setRegisterValue(Station, quint16(manager->tasks().at(ecLead).address + 1), 0x0099);
        manager->readAll(Station);

        for (int i = 0; i < manager->taskCount(); ++i)
            QCOMPARE(manager->tasks().at(i).status, i == ecLead ? CmpStatus::Mismatch : CmpStatus::Match);
        QCOMPARE(manager->tasks().at(ecLead).device, QByteArray::fromHex("02BF0099"));
        QCOMPARE(table->item(ecLead, 3)->text(), QStringLiteral("02 BF 00 99"));
        QCOMPARE(table->item(ecLead, 4)->text(), QStringLiteral("⚠ Mismatch"));
    }

    void silentGroupsAreErrorsAndTheRestIsStillRead()
    {
        manager->writeAll(Station);
        quietWorker();
        SimFaults faults;
        faults.silentAfterReplies = 2;
        bus->setFaults(faults);
        bus->clearRequests();
        manager->readAll(Station);

        QCOMPARE(requestsOf(*bus, ReadHolding).size(), 4);
        const QVector<CmpGroup> groups = mergeTasks(manager->tasks());
        for (int g = 0; g < groups.size(); ++g) {
            for (int index : groups[g].taskIndices)
                QCOMPARE(manager->tasks().at(index).status, g < 2 ? CmpStatus::Match : CmpStatus::Error);
        }
        const QString text = log->toPlainText();
        QVERIFY2(text.contains(QLatin1String("** Read error: no reply for 99 words at 0x01F2")), qPrintable(text));
        QVERIFY(text.contains(QLatin1String("** Read error: no reply for 3 words at 0x0255")));
        QVERIFY(!worker->isPollingPaused());
    }

    void saveEepromAsksTheDriveToStore()
    {
        bus->clearRequests();
        manager->saveEeprom(Station);
        const QVector<SimRequest> writes = requestsOf(*bus, WriteSingle);
        QCOMPARE(writes.size(), 1);
        QCOMPARE(int(writes[0].address), int(Reg::StoreCommand));
        QCOMPARE(writes[0].values, QVector<quint16>{Reg::StoreValue::SaveToRom});
        QVERIFY(log->toPlainText().contains(QLatin1String("** EEPROM save OK!")));

        quietWorker();
        SimFaults faults;
        faults.silent = true;
        bus->setFaults(faults);
        manager->saveEeprom(Station);
        QVERIFY(log->toPlainText().contains(QLatin1String("** EEPROM save failed")));
    }
};

QTEST_MAIN(CmpSimTest)
#include "tst_cmpsim.moc"
