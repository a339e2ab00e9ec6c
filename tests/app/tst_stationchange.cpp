// Changing the connected drive's station address from the Motion tab, against
// the simulated drive: refusals, the confirmation, the order on the wire, the
// save at the new address and the end of the connection.

#include "paramwindowbench.h"

#include <QSpinBox>

namespace {

using Kind = ScriptedDialogs::Kind;

const QString WriteFailedText = QStringLiteral("變更站號失敗，請重試。\n\n若站號已變更但未保存，斷電後將回復原站號。");

void pressChange(ParamWindowBench &bench, int newStation)
{
    bench.find<QSpinBox>("spinNewStation")->setValue(newStation);
    bench.find<QAbstractButton>("btnChangeStation")->click();
}

}  // namespace

class StationChangeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void refusedWhileDisconnected();
    void sameStationNeedsNoChange();
    void cancelledConfirmationLeavesTheBusAlone();
    void motorSpeedDecides_data();
    void motorSpeedDecides();
    void changeSavesAtTheNewAddressThenDisconnects();
    void failedSaveIsReportedAndTheConnectionStays();
    void failedAddressWriteSkipsTheSave();
    void unreadableSpeedRefusesTheChange();
};

void StationChangeTest::refusedWhileDisconnected()
{
    ParamWindowBench bench;
    const QString skip = bench.build(ParamWindowBench::lead1Drive());
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    // The tab guard keeps the page closed while disconnected; open it to reach the button.
    bench.find<QTabWidget>("mainTabs")->widget(MainWindow::MotionTab)->setEnabled(true);
    pressChange(bench, 5);
    QCOMPARE(bench.dialogs->count(), 1);
    QCOMPARE(bench.dialogs->last().icon, QMessageBox::Warning);
    QCOMPARE(bench.dialogs->last().title, QStringLiteral("無法修改站號"));
    QCOMPARE(bench.dialogs->last().text, QStringLiteral("請先連線到設備。"));
    QVERIFY(bench.bus.requests().isEmpty());
}

void StationChangeTest::sameStationNeedsNoChange()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive(3));
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.bus.clearRequests();
    bench.dialogs->clear();
    pressChange(bench, 3);
    QCOMPARE(bench.dialogs->count(), 1);
    QCOMPARE(bench.dialogs->last().icon, QMessageBox::Information);
    QCOMPARE(bench.dialogs->last().title, QStringLiteral("無需修改"));
    QCOMPARE(bench.dialogs->last().text, QStringLiteral("新站號與目前站號相同。"));
    QCOMPARE(bench.wire(), QStringList());
}

void StationChangeTest::cancelledConfirmationLeavesTheBusAlone()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive(3), QStringLiteral("en"));
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.bus.clearRequests();
    bench.dialogs->clear();
    bool pausedWhileAsking = true;
    bench.dialogs->onShow = [&](const ScriptedDialogs::Shown &) {
        pausedWhileAsking = bench.worker()->isPollingPaused();
    };
    pressChange(bench, 5);  // nothing queued: the confirmation is cancelled

    QCOMPARE(bench.dialogs->count(), 1);
    const ScriptedDialogs::Shown confirm = bench.dialogs->last();
    QCOMPARE(confirm.kind, Kind::Confirm);
    QCOMPARE(confirm.title, QStringLiteral("確認修改站號"));
    QCOMPARE(confirm.text,
             QStringLiteral("即將把驅動器站號從 3 變更為 5。\n\n完成後將自動斷線，下次連線必須使用新站號。\n確定要繼續嗎？"));
    QCOMPARE(confirm.acceptText, QStringLiteral("確認修改"));
    QVERIFY(!pausedWhileAsking);
    QVERIFY(!bench.worker()->isPollingPaused());
    QCOMPARE(bench.wire(), QStringList());
    QVERIFY(bench.connected());
}

void StationChangeTest::motorSpeedDecides_data()
{
    QTest::addColumn<quint16>("command");
    QTest::addColumn<quint16>("manualSpeed");
    QTest::addColumn<qint32>("actualSpeed");
    QTest::addColumn<bool>("changed");
    QTest::newRow("-500 is running") << Reg::ManualCommandValue::JogMinus << quint16(500) << -500 << false;
    QTest::newRow("+500 is running") << Reg::ManualCommandValue::JogPlus << quint16(500) << 500 << false;
    QTest::newRow("-499 counts as standing") << Reg::ManualCommandValue::JogMinus << quint16(499) << -499 << true;
}

void StationChangeTest::motorSpeedDecides()
{
    QFETCH(quint16, command);
    QFETCH(quint16, manualSpeed);
    QFETCH(qint32, actualSpeed);
    QFETCH(bool, changed);
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive(3));
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    // Creep along at a constant speed, as the monitor tab's jog would.
    bench.bus.setPositionMm(3, 25.0);
    ModbusWorker *worker = bench.worker();
    QVERIFY(worker->syncWrite(3, Reg::ServoOff, 0));
    QVERIFY(worker->syncWrite(3, Reg::ManualMode, Reg::ManualModeValue));
    QVERIFY(worker->syncWriteMulti(3, Reg::ManualSpeed, {manualSpeed, 0}));
    QVERIFY(worker->syncWrite(3, Reg::ManualCommand, command));
    QTRY_COMPARE(qint32(quint32(bench.reg(Reg::ActualSpeed)) | quint32(bench.reg(Reg::ActualSpeed + 1)) << 16),
                 actualSpeed);
    bench.bus.clearRequests();
    bench.dialogs->clear();
    bench.dialogs->queueConfirm(true);

    pressChange(bench, 5);

    const QStringList wire = bench.wire();
    QVERIFY(!wire.isEmpty());
    QCOMPARE(wire.first(), QStringLiteral("03 00D6/2 @3"));
    if (changed) {
        QCOMPARE(wire, (QStringList{"03 00D6/2 @3", "06 0066=0005 @3", "06 00DC=0001 @5"}));
        QCOMPARE(bench.dialogs->last().title, QStringLiteral("修改完成"));
    } else {
        QCOMPARE(wire, QStringList{"03 00D6/2 @3"});
        QCOMPARE(bench.dialogs->last().icon, QMessageBox::Warning);
        QCOMPARE(bench.dialogs->last().title, QStringLiteral("馬達運轉中"));
        QCOMPARE(bench.dialogs->last().text, QStringLiteral("變更站號前必須先停止馬達。"));
        QVERIFY(bench.connected());
        QVERIFY(!worker->isPollingPaused());
    }
}

void StationChangeTest::changeSavesAtTheNewAddressThenDisconnects()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive(1));
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.bus.clearRequests();
    bench.dialogs->clear();
    bench.dialogs->queueConfirm(true);
    bool disconnectedBehindTheBox = false;
    bench.dialogs->onShow = [&](const ScriptedDialogs::Shown &box) {
        if (box.title == QStringLiteral("修改完成"))
            disconnectedBehindTheBox = !bench.connected();
    };

    pressChange(bench, 5);

    QCOMPARE(bench.wire(), (QStringList{"03 00D6/2 @1", "06 0066=0005 @1", "06 00DC=0001 @5"}));
    QVector<SimRequest> requests;
    for (const SimRequest &r : bench.bus.requests()) {
        if ((r.function == 0x06 && r.address == Reg::StationAddress) || r.address == Reg::StoreCommand)
            requests << r;
    }
    QCOMPARE(requests.size(), 2);
    // The drive gets its moment on the new address before the save.
    QVERIFY(requests[1].receivedAtMs - requests[0].receivedAtMs >= 95);

    QCOMPARE(bench.dialogs->count(), 2);
    QCOMPARE(bench.dialogs->last().icon, QMessageBox::Information);
    QCOMPARE(bench.dialogs->last().text,
             QStringLiteral("站號已變更為 5 並斷電保存。\n即將自動斷線，請以新站號重新連線。"));
    QVERIFY(disconnectedBehindTheBox);
    QCOMPARE(bench.find<QSpinBox>("spinNewStation")->value(), 5);
    QTRY_VERIFY(!bench.worker()->isRunning());
    QVERIFY(!bench.worker()->isPollingPaused());

    // Saved: after a power cycle the drive still answers on the new address.
    QVERIFY(bench.bus.hasDrive(5));
    bench.bus.powerCycle(5);
    QVERIFY(bench.bus.hasDrive(5));
    QVERIFY(!bench.bus.hasDrive(1));
}

void StationChangeTest::failedSaveIsReportedAndTheConnectionStays()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive(3));
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.quiesce();
    // The speed read and the address write are answered, the save is not.
    bench.setFaults([](SimFaults &f) { f.silentAfterReplies = 2; });
    bench.dialogs->queueConfirm(true);

    pressChange(bench, 5);

    QCOMPARE(bench.wire(), (QStringList{"03 00D6/2 @3", "06 0066=0005 @3", "06 00DC=0001 @5"}));
    QCOMPARE(bench.dialogs->count(), 2);
    QCOMPARE(bench.dialogs->last().icon, QMessageBox::Critical);
    QCOMPARE(bench.dialogs->last().title, QStringLiteral("寫入失敗"));
    QCOMPARE(bench.dialogs->last().text, WriteFailedText);
    QVERIFY(bench.connected());
    QVERIFY(!bench.worker()->isPollingPaused());
}

void StationChangeTest::failedAddressWriteSkipsTheSave()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive(3));
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.quiesce();
    bench.setFaults([](SimFaults &f) { f.silentAfterReplies = 1; });
    bench.dialogs->queueConfirm(true);

    pressChange(bench, 7);

    QCOMPARE(bench.wire(), (QStringList{"03 00D6/2 @3", "06 0066=0007 @3"}));
    QCOMPARE(bench.dialogs->last().title, QStringLiteral("寫入失敗"));
    QCOMPARE(bench.dialogs->last().text, WriteFailedText);
    QVERIFY(!bench.worker()->isPollingPaused());
}

void StationChangeTest::unreadableSpeedRefusesTheChange()
{
    ParamWindowBench bench;
    const QString skip = bench.start(ParamWindowBench::lead1Drive(3));
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    bench.quiesce();
    bench.setFaults([](SimFaults &f) { f.silent = true; });
    bench.dialogs->queueConfirm(true);

    pressChange(bench, 5);

    QCOMPARE(bench.wire(), QStringList{"03 00D6/2 @3"});
    QCOMPARE(bench.dialogs->last().icon, QMessageBox::Critical);
    QCOMPARE(bench.dialogs->last().title, QStringLiteral("讀取失敗"));
    QCOMPARE(bench.dialogs->last().text, QStringLiteral("無法讀取即時速度，請確認連線後重試。"));
    QCOMPARE(bench.reg(Reg::StationAddress), quint16(3));
    QVERIFY(!bench.worker()->isPollingPaused());
}

int main(int argc, char *argv[])
{
    return runWindowTest<StationChangeTest>(argc, argv);
}

#include "tst_stationchange.moc"
