#include "customsettings.h"
#include "engineeringfixture.h"
#include "registers.h"

#include <QCheckBox>
#include <QSpinBox>

using namespace EngFixture;

namespace {

constexpr quint8 Station = 3;

// Single-register writes since `from`, as "0xADDR=0xVALUE".
QStringList singleWrites(const SimBus &bus, int from)
{
    QStringList found;
    for (const SimRequest &request : writesSince(bus, from)) {
        if (request.function == 0x06)
            found << QStringLiteral("0x%1=0x%2")
                         .arg(request.address, 4, 16, QLatin1Char('0'))
                         .arg(request.values.value(0), 4, 16, QLatin1Char('0'))
                         .toUpper()
                         .replace(QLatin1String("0X"), QLatin1String("0x"));
    }
    return found;
}

int readsOf(const SimBus &bus, int from, quint16 address)
{
    int count = 0;
    const QVector<SimRequest> all = bus.requests();
    for (int i = from; i < all.size(); ++i)
        count += all[i].function == 0x03 && all[i].address == address ? 1 : 0;
    return count;
}

void setChecks(const Window &w, bool dynamic, bool midSpeed, bool usb)
{
    w.widget<QCheckBox>("gen_ck_DynEnhance")->setChecked(dynamic);
    w.widget<QCheckBox>("gen_ck_MidTqComp")->setChecked(midSpeed);
    w.widget<QCheckBox>("gen_ck_MaskUsb")->setChecked(usb);
}

}  // namespace

class MaintenanceTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimBus> m_bus;

    bool openContentPage(const Window &w)
    {
        if (!connectTo(w, *m_bus, Station))
            return false;
        toggleEngineerMode(w);
        w.tabs()->setCurrentIndex(MainWindow::EngineeringTab);
        typePassword(w, Password);
        w.dialogs->clear();
        return w.tabs()->currentIndex() == MainWindow::EngineeringTab;
    }

    void click(const Window &w, const char *button)
    {
        QTest::mouseClick(w.widget<QAbstractButton>(button), Qt::LeftButton);
    }

    // Runs a command against a bus that stops answering after `replies` more replies.
    void clickWithFaults(const Window &w, const char *button, int replies)
    {
        quiesce(w, *m_bus);
        SimFaults faults;
        faults.silentAfterReplies = replies;
        m_bus->setFaults(faults);
        click(w, button);
        // Answering again at once keeps the resumed polling from losing the drive.
        m_bus->setFaults(SimFaults());
    }

private Q_SLOTS:
    void init()
    {
        forgetSettings();
        m_bus = std::make_unique<SimBus>();
        SimDriveConfig drive;
        drive.station = Station;
        m_bus->addDrive(drive);
        if (!m_bus->start())
            QSKIP("no pseudo-terminal for the simulated bus");
    }
    void cleanup() { m_bus.reset(); }

    void customWordKeepsTheTopBitsAndSetsTheChosenOptions_data()
    {
        QTest::addColumn<int>("old");
        QTest::addColumn<bool>("dynamic");
        QTest::addColumn<bool>("midSpeed");
        QTest::addColumn<bool>("usb");
        QTest::addColumn<int>("word");
        QTest::newRow("0xA4F7, enhancement only") << 0xA4F7 << true << false << false << 0xA108;
        QTest::newRow("all options") << 0x0000 << true << true << true << 0x0B08;
        QTest::newRow("none, top bits kept") << 0xFFFF << false << false << false << 0xF008;
        QTest::newRow("usb only") << 0x0800 << false << false << true << 0x0808;
    }
    void customWordKeepsTheTopBitsAndSetsTheChosenOptions()
    {
        QFETCH(int, old);
        QFETCH(bool, dynamic);
        QFETCH(bool, midSpeed);
        QFETCH(bool, usb);
        QFETCH(int, word);
        QCOMPARE(int(CustomSettings::word(quint16(old), dynamic, midSpeed, usb)), word);
    }

    void smoothingConstantAndItsRealTime_data()
    {
        QTest::addColumn<int>("ms");
        QTest::addColumn<int>("constant");
        QTest::addColumn<int>("actual");
        QTest::newRow("40 ms") << 40 << 25 << 40;
        QTest::newRow("3 ms") << 3 << 333 << 3;
        QTest::newRow("7 ms") << 7 << 143 << 7;
        QTest::newRow("1 ms") << 1 << 1000 << 1;
        QTest::newRow("1000 ms") << 1000 << 1 << 1000;
        QTest::newRow("below range") << 0 << 1000 << 1;
        QTest::newRow("above range") << 5000 << 1 << 1000;
        QTest::newRow("rounded") << 600 << 2 << 500;
    }
    void smoothingConstantAndItsRealTime()
    {
        QFETCH(int, ms);
        QFETCH(int, constant);
        QFETCH(int, actual);
        QCOMPARE(CustomSettings::smoothingConstant(ms), constant);
        QCOMPARE(CustomSettings::actualSmoothingMs(constant), actual);
    }

    void withoutAConnectionEveryCommandSaysSoAndSendsNothing_data()
    {
        QTest::addColumn<QString>("button");
        for (const char *button : {"btnClearInvert", "btnClearOutFunc", "btnFactoryReset", "btnApplyCustomReg"})
            QTest::newRow(button) << button;
    }
    void withoutAConnectionEveryCommandSaysSoAndSendsNothing()
    {
        QFETCH(QString, button);
        Window w = makeWindow();
        openWithoutDrive(w);
        w.dialogs->queueConfirm(true);

        click(w, qPrintable(button));

        QCOMPARE(w.dialogs->count(), 1);
        QCOMPARE(w.dialogs->last().kind, ScriptedDialogs::Kind::Message);
        QCOMPARE(w.dialogs->last().icon, QMessageBox::Warning);
        QCOMPARE(w.dialogs->last().title, QStringLiteral("無法執行"));
        QCOMPARE(w.dialogs->last().text, QStringLiteral("請先連線到設備。"));
        QVERIFY(m_bus->requests().isEmpty());
    }

    void clearInversionsWritesTheCommandInputs()
    {
        Window w = makeWindow();
        QVERIFY(openContentPage(w));
        m_bus->setRegisterValue(Station, Reg::CommandInputs, 0);
        const int from = m_bus->requests().size();

        click(w, "btnClearInvert");

        QCOMPARE(singleWrites(*m_bus, from), QStringList{"0x006C=0x0000"});
        QCOMPARE(w.dialogs->last().icon, QMessageBox::Information);
        QCOMPARE(w.dialogs->last().title, QStringLiteral("完成"));
        QCOMPARE(w.dialogs->last().text, QStringLiteral("已取消所有輸入反轉。"));
        QVERIFY(!w.worker()->isPollingPaused());
    }

    void clearOutputFunctionsWritesTheSixRegistersInOrder()
    {
        Window w = makeWindow();
        QVERIFY(openContentPage(w));
        const int from = m_bus->requests().size();

        click(w, "btnClearOutFunc");

        QCOMPARE(singleWrites(*m_bus, from), (QStringList{"0x00A5=0x0000", "0x00A6=0x0000", "0x00A7=0x0000", "0x00AD=0x0210",
                              "0x00AE=0x0000", "0x00B9=0x0000"}));
        QCOMPARE(w.dialogs->last().title, QStringLiteral("完成"));
        QCOMPARE(w.dialogs->last().text,
                 QStringLiteral("已取消全部輸出功能（警報/運行/到位/急停/原點完成/位置預警）。\n如需永久保存，請按斷電保存。"));
        QCOMPARE(m_bus->registerValue(Station, 0x00AD), quint16(0x0210));
    }

    void factoryResetAsksFirstAndSendsNothingWhenDeclined()
    {
        Window w = makeWindow();
        QVERIFY(openContentPage(w));
        const int from = m_bus->requests().size();
        bool pausedWhileAsking = true;
        w.dialogs->onShow = [&](const ScriptedDialogs::Shown &) { pausedWhileAsking = w.worker()->isPollingPaused(); };

        click(w, "btnFactoryReset");

        QCOMPARE(w.dialogs->count(), 1);
        const ScriptedDialogs::Shown box = w.dialogs->last();
        QCOMPARE(box.kind, ScriptedDialogs::Kind::Confirm);
        QCOMPARE(box.title, QStringLiteral("確認恢復原廠"));
        QCOMPARE(box.text, QStringLiteral("即將將驅動器恢復出廠設置，所有記憶參數（含站號）將被清除。\n\n"
                                          "注意：清除有壽命限制（約 10 萬次），過程中馬達輸出會關閉。\n確定要繼續嗎？"));
        QCOMPARE(box.acceptText, QStringLiteral("確認恢復"));
        QVERIFY(!pausedWhileAsking);
        QVERIFY(singleWrites(*m_bus, from).isEmpty());
    }

    void factoryResetWritesTheRestoreCommandWhenConfirmed()
    {
        Window w = makeWindow();
        QVERIFY(openContentPage(w));
        w.dialogs->queueConfirm(true);
        const int from = m_bus->requests().size();

        click(w, "btnFactoryReset");

        QCOMPARE(singleWrites(*m_bus, from), QStringList{"0x00DC=0x0000"});
        QCOMPARE(w.dialogs->last().title, QStringLiteral("完成"));
        QCOMPARE(w.dialogs->last().text, QStringLiteral("已送出恢復原廠指令。建議斷電重啟設備後重新連線確認。"));
    }

    void failedCommandsStopAtTheFirstUnconfirmedWrite_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("replies");
        QTest::addColumn<int>("attempted");
        QTest::addColumn<QString>("text");
        QTest::newRow("inversions") << "btnClearInvert" << 0 << 1 << "取消輸入反轉失敗，請重試。";
        QTest::newRow("outputs, third write") << "btnClearOutFunc" << 2 << 3 << "取消輸出功能失敗，請重試。";
        QTest::newRow("factory reset") << "btnFactoryReset" << 0 << 1 << "恢復原廠失敗，請重試。";
    }
    void failedCommandsStopAtTheFirstUnconfirmedWrite()
    {
        QFETCH(QString, button);
        QFETCH(int, replies);
        QFETCH(int, attempted);
        QFETCH(QString, text);
        Window w = makeWindow();
        QVERIFY(openContentPage(w));
        w.dialogs->queueConfirm(true);
        bool pausedWhenTold = true;
        w.dialogs->onShow = [&](const ScriptedDialogs::Shown &box) {
            if (box.kind == ScriptedDialogs::Kind::Message)
                pausedWhenTold = w.worker()->isPollingPaused();
        };
        const int from = m_bus->requests().size();

        clickWithFaults(w, qPrintable(button), replies);

        QCOMPARE(singleWrites(*m_bus, from).size(), attempted);
        QCOMPARE(w.dialogs->last().icon, QMessageBox::Critical);
        QCOMPARE(w.dialogs->last().title, QStringLiteral("執行失敗"));
        QCOMPARE(w.dialogs->last().text, text);
        QVERIFY(!pausedWhenTold);
    }

    void customRegisterKeepsTheDrivesTopBits()
    {
        Window w = makeWindow();
        QVERIFY(openContentPage(w));
        m_bus->setRegisterValue(Station, Reg::CustomSettings, 0xA4F7);
        setChecks(w, true, false, false);
        const int from = m_bus->requests().size();

        click(w, "btnApplyCustomReg");

        QCOMPARE(readsOf(*m_bus, from, Reg::CustomSettings), 1);
        QCOMPARE(singleWrites(*m_bus, from),
                 (QStringList{"0x0012=0xA108", "0x000A=0x0019"}));
        QCOMPARE(w.dialogs->count(), 1);
        QCOMPARE(w.dialogs->last().icon, QMessageBox::Information);
        QCOMPARE(w.dialogs->last().title, QStringLiteral("完成"));
        QCOMPARE(w.dialogs->last().text, QStringLiteral("工程設定已寫入。\n\n自定義設定：0xa108\n"
                                                        "指令平滑時間：40 ms → 常數 25（實際 40 ms）\n\n"
                                                        "如需永久保存，請按斷電保存。"));
        QVERIFY(!w.worker()->isPollingPaused());
    }

    void customRegisterReportInEnglish()
    {
        Window w = makeWindow();
        QVERIFY(openContentPage(w));
        w.widget<QComboBox>("cbLanguage")->setCurrentIndex(1);
        m_bus->setRegisterValue(Station, Reg::CustomSettings, 0x0000);
        setChecks(w, false, true, false);
        w.widget<QSpinBox>("gen_SmoothMs")->setValue(7);

        click(w, "btnApplyCustomReg");

        QCOMPARE(w.dialogs->last().title, QStringLiteral("完成"));
        QCOMPARE(w.dialogs->last().text, QStringLiteral("Engineering settings written.\n\nCustom reg: 0x0208\n"
                                                        "Smooth time: 7 ms → const 143 (actual 7 ms)"));
        QCOMPARE(m_bus->registerValue(Station, Reg::SmoothingConstant), quint16(143));
    }

    void maskingTheUsbPortIsConfirmedFirst_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("declined") << false;
        QTest::newRow("accepted") << true;
    }
    void maskingTheUsbPortIsConfirmedFirst()
    {
        QFETCH(bool, accept);
        Window w = makeWindow();
        QVERIFY(openContentPage(w));
        m_bus->setRegisterValue(Station, Reg::CustomSettings, 0x0000);
        setChecks(w, false, false, true);
        w.dialogs->queueConfirm(accept);
        const int from = m_bus->requests().size();

        click(w, "btnApplyCustomReg");

        const ScriptedDialogs::Shown confirm = w.dialogs->shown().first();
        QCOMPARE(confirm.kind, ScriptedDialogs::Kind::Confirm);
        QCOMPARE(confirm.title, QStringLiteral("確認屏蔽 USB"));
        QCOMPARE(confirm.text, QStringLiteral("即將屏蔽 USB 除錯埠。\n\n請確認目前非 20 框馬達，且該馬達具有 RS-485 通訊介面。\n"
                                              "屏蔽後將無法透過 USB 連線，僅能使用 RS-485。\n\n確定要繼續嗎？"));
        QCOMPARE(confirm.acceptText, QStringLiteral("確認屏蔽"));
        if (!accept) {
            QCOMPARE(w.dialogs->count(), 1);
            QCOMPARE(readsOf(*m_bus, from, Reg::CustomSettings), 0);
            QVERIFY(singleWrites(*m_bus, from).isEmpty());
            return;
        }
        QCOMPARE(singleWrites(*m_bus, from).value(0), QStringLiteral("0x0012=0x0808"));
    }

    void eachCustomRegisterFailureSaysHowFarItGot_data()
    {
        QTest::addColumn<int>("replies");
        QTest::addColumn<int>("attempted");
        QTest::addColumn<QString>("text");
        QTest::newRow("read fails") << 0 << 0 << "讀取自定義設定（0x0012）失敗，未寫入任何設定，請重試。";
        QTest::newRow("0x0012 write fails") << 1 << 1 << "自定義設定（0x0012）寫入失敗，平滑時間未寫入，請重試。";
        QTest::newRow("0x000A write fails") << 2 << 2 << "設定寫入失敗（0x0012 已寫入，平滑時間失敗），請重試。";
    }
    void eachCustomRegisterFailureSaysHowFarItGot()
    {
        QFETCH(int, replies);
        QFETCH(int, attempted);
        QFETCH(QString, text);
        Window w = makeWindow();
        QVERIFY(openContentPage(w));
        setChecks(w, true, true, false);
        const int from = m_bus->requests().size();

        clickWithFaults(w, "btnApplyCustomReg", replies);

        QCOMPARE(readsOf(*m_bus, from, Reg::CustomSettings), 1);
        QCOMPARE(singleWrites(*m_bus, from).size(), attempted);
        QCOMPARE(w.dialogs->count(), 1);
        QCOMPARE(w.dialogs->last().icon, QMessageBox::Critical);
        QCOMPARE(w.dialogs->last().title, QStringLiteral("執行失敗"));
        QCOMPARE(w.dialogs->last().text, text);
        QVERIFY(!w.worker()->isPollingPaused());
    }

    void connectionShowsTheDrivesCustomOptions_data()
    {
        QTest::addColumn<int>("word");
        QTest::addColumn<bool>("dynamic");
        QTest::addColumn<bool>("midSpeed");
        QTest::addColumn<bool>("usb");
        QTest::newRow("none") << 0xF008 << false << false << false;
        QTest::newRow("mid speed only") << 0x0200 << false << true << false;
        QTest::newRow("enhancement and usb") << 0x0908 << true << false << true;
    }
    void connectionShowsTheDrivesCustomOptions()
    {
        QFETCH(int, word);
        QFETCH(bool, dynamic);
        QFETCH(bool, midSpeed);
        QFETCH(bool, usb);
        m_bus->setRegisterValue(Station, Reg::CustomSettings, quint16(word));
        Window w = makeWindow();
        QVERIFY(connectTo(w, *m_bus, Station));
        QCOMPARE(w.widget<QCheckBox>("gen_ck_DynEnhance")->isChecked(), dynamic);
        QCOMPARE(w.widget<QCheckBox>("gen_ck_MidTqComp")->isChecked(), midSpeed);
        QCOMPARE(w.widget<QCheckBox>("gen_ck_MaskUsb")->isChecked(), usb);
        // Showing them writes nothing.
        QVERIFY(singleWrites(*m_bus, 0).filter(QStringLiteral("0x0012=")).isEmpty());
    }
};

int main(int argc, char *argv[])
{
    return EngFixture::runIsolated<MaintenanceTest>(argc, argv);
}

#include "tst_maintenance.moc"
