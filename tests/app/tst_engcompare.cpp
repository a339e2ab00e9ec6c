#include "engineeringfixture.h"
#include "registers.h"
#include "registertemplate.h"

#include <QScrollBar>
#include <QSpinBox>
#include <QTextEdit>

using namespace EngFixture;

namespace {

constexpr quint8 Station = 3;
constexpr quint8 OtherStation = 4;

QString hexOf(const QByteArray &bytes)
{
    QStringList parts;
    for (char byte : bytes)
        parts << QStringLiteral("%1").arg(quint8(byte), 2, 16, QLatin1Char('0')).toUpper();
    return parts.join(QLatin1Char(' '));
}

QVector<quint16> wordsOf(const QByteArray &bytes)
{
    QVector<quint16> words;
    for (int i = 0; i + 1 < bytes.size(); i += 2)
        words << quint16((quint8(bytes[i]) << 8) | quint8(bytes[i + 1]));
    return words;
}

// The requests of the compare engine: everything in the power-on block.
QVector<SimRequest> blockRequests(const SimBus &bus, int from = 0)
{
    QVector<SimRequest> found;
    const QVector<SimRequest> all = bus.requests();
    for (int i = from; i < all.size(); ++i) {
        if (all[i].address >= Reg::PowerOnBlockStart)
            found << all[i];
    }
    return found;
}

QString cellText(const Window &w, int row, int column)
{
    const QTableWidgetItem *item = w.widget<QTableWidget>("cmpTable")->item(row, column);
    return item ? item->text() : QString();
}

QColor cellColour(const Window &w, int row, int column)
{
    return w.widget<QTableWidget>("cmpTable")->item(row, column)->foreground().color();
}

void click(const Window &w, const char *button)
{
    QTest::mouseClick(w.widget<QAbstractButton>(button), Qt::LeftButton);
}

}  // namespace

class EngCompareTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimBus> m_bus;

    // Connected to the station, engineer mode on, the content page open.
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

    quint16 driveWord(int index) const
    {
        return m_bus->registerValue(Station, quint16(Reg::PowerOnBlockStart + index));
    }

private Q_SLOTS:
    void init()
    {
        forgetSettings();
        m_bus = std::make_unique<SimBus>();
        SimDriveConfig drive;
        drive.station = Station;
        m_bus->addDrive(drive);
        SimDriveConfig other;
        other.station = OtherStation;
        m_bus->addDrive(other);
        if (!m_bus->start())
            QSKIP("no pseudo-terminal for the simulated bus");
    }
    void cleanup() { m_bus.reset(); }

    void readCompareWriteAndSaveReachTheDrive()
    {
        Window w = makeWindow();
        QVERIFY(openContentPage(w));
        QCOMPARE(w.widget<QSpinBox>("cmpSlaveId")->value(), int(Station));
        const QVector<CmpTask> &tasks = w->compare()->tasks();
        QCOMPARE(tasks.size(), RegisterTemplate::RowCount);

        int from = m_bus->requests().size();
        click(w, "btnCmpRead");
        QVector<SimRequest> reads = blockRequests(*m_bus, from);
        QCOMPARE(reads.size(), 4);
        const quint16 addresses[] = {0x012C, 0x018E, 0x01F2, 0x0255};
        const quint16 counts[] = {98, 100, 99, 3};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(reads[i].function, quint8(0x03));
            QCOMPARE(reads[i].station, Station);
            QCOMPARE(reads[i].address, addresses[i]);
            QCOMPARE(reads[i].count, counts[i]);
        }
        // Polling waits while the engine works: nothing comes between its requests.
        {
            const QVector<SimRequest> all = m_bus->requests();
            int first = -1;
            int last = -1;
            for (int i = from; i < all.size(); ++i) {
                if (all[i].address >= Reg::PowerOnBlockStart) {
                    first = first < 0 ? i : first;
                    last = i;
                }
            }
            QCOMPARE(last - first + 1, 4);
        }
        // Every row shows what the drive holds and whether that is what the form expects.
        int offset = 0;
        for (int row = 0; row < tasks.size(); ++row) {
            QVector<quint16> held;
            for (int i = 0; i < tasks[row].wordCount; ++i)
                held << driveWord(offset + i);
            offset += tasks[row].wordCount;
            QCOMPARE(wordsOf(tasks[row].device), held);
            const bool same = tasks[row].device == tasks[row].expected;
            QCOMPARE(cellText(w, row, 4), same ? QStringLiteral("✔ 吻合") : QStringLiteral("⚠ 差異"));
            QCOMPARE(cellText(w, row, 3), hexOf(tasks[row].device));
        }
        QVERIFY(!w.worker()->isPollingPaused());

        from = m_bus->requests().size();
        click(w, "btnCmpWrite");
        const QVector<SimRequest> writes = blockRequests(*m_bus, from);
        QCOMPARE(writes.size(), 4);
        QVector<quint16> sent;
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(writes[i].function, quint8(0x10));
            QCOMPARE(writes[i].address, addresses[i]);
            sent += writes[i].values;
        }
        QVector<quint16> expected;
        for (const CmpTask &task : tasks)
            expected += wordsOf(task.expected);
        QCOMPARE(sent, expected);
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(driveWord(i), expected[i]);
        for (int row = 0; row < tasks.size(); ++row)
            QCOMPARE(cellText(w, row, 4), QStringLiteral("✔ 吻合"));

        // One register changed behind the tool's back shows as the one difference.
        m_bus->setRegisterValue(Station, 0x012D, 0x0065);
        click(w, "btnCmpRead");
        QCOMPARE(cellText(w, 0, 4), QStringLiteral("⚠ 差異"));
        QCOMPARE(cellColour(w, 0, 4), QColor("#b91c1c"));
        QCOMPARE(cellText(w, 0, 3), QStringLiteral("00 0D 00 65"));
        QCOMPARE(cellColour(w, 0, 3), QColor("#dc2626"));
        QCOMPARE(cellText(w, 0, 2), QStringLiteral("00 0D 00 64"));
        QCOMPARE(cellText(w, 0, 0), QStringLiteral("額定電流 (0X012C)"));
        for (int row = 1; row < tasks.size(); ++row)
            QCOMPARE(cellText(w, row, 4), QStringLiteral("✔ 吻合"));

        from = m_bus->requests().size();
        click(w, "btnCmpSave");
        const QVector<SimRequest> saves = writesSince(*m_bus, from);
        QCOMPARE(saves.size(), 1);
        QCOMPARE(saves[0].address, Reg::StoreCommand);
        QCOMPARE(saves[0].values, QVector<quint16>{Reg::StoreValue::SaveToRom});
        QVERIFY(w.widget<QTextEdit>("cmpLogs")->toPlainText().contains(QStringLiteral("斷電保存成功！")));
        QVERIFY(!w.worker()->isPollingPaused());
        QCOMPARE(w.dialogs->count(), 0);
    }

    void silentGroupsAreMarkedAsErrorsAndTheRestStillRuns()
    {
        Window w = makeWindow();
        QVERIFY(openContentPage(w));
        quiesce(w, *m_bus);
        SimFaults faults;
        faults.silentAfterReplies = 2;
        m_bus->setFaults(faults);

        click(w, "btnCmpRead");
        m_bus->setFaults(SimFaults());

        const QVector<CmpTask> &tasks = w->compare()->tasks();
        // The first two requests cover rows 0 to 71, the last two rows 72 to 127.
        for (int row = 0; row < 72; ++row)
            QVERIFY(cellText(w, row, 4) == QStringLiteral("✔ 吻合") || cellText(w, row, 4) == QStringLiteral("⚠ 差異"));
        for (int row = 72; row < tasks.size(); ++row) {
            QCOMPARE(cellText(w, row, 4), QStringLiteral("✖ 錯誤"));
            QCOMPARE(cellText(w, row, 3), QStringLiteral("--"));
        }
        QCOMPARE(cellColour(w, 72, 4), QColor("#b45309"));
        const QString log = w.widget<QTextEdit>("cmpLogs")->toPlainText();
        QCOMPARE(log.count(QStringLiteral("Read error")), 2);
        QVERIFY(!w.worker()->isPollingPaused());
    }

    void anotherStationIsReachedOnlyAfterYes_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("yes");
        for (const char *button : {"btnCmpRead", "btnCmpWrite", "btnCmpSave"}) {
            QTest::newRow(qPrintable(QStringLiteral("%1 yes").arg(button))) << button << true;
            QTest::newRow(qPrintable(QStringLiteral("%1 no").arg(button))) << button << false;
        }
    }
    void anotherStationIsReachedOnlyAfterYes()
    {
        QFETCH(QString, button);
        QFETCH(bool, yes);
        Window w = makeWindow();
        QVERIFY(openContentPage(w));
        w.widget<QSpinBox>("cmpSlaveId")->setValue(OtherStation);
        w.dialogs->queueAnswer(yes ? QMessageBox::Yes : QMessageBox::No);
        bool pollingPausedWhileAsking = true;
        w.dialogs->onShow = [&](const ScriptedDialogs::Shown &) {
            pollingPausedWhileAsking = w.worker()->isPollingPaused();
        };
        const int from = m_bus->requests().size();

        click(w, qPrintable(button));

        QCOMPARE(w.dialogs->count(), 1);
        const ScriptedDialogs::Shown box = w.dialogs->last();
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(box.title, QStringLiteral("站號不一致"));
        QCOMPARE(box.text, QStringLiteral("工程模式 Slave ID（4）與目前連線站號（3）不同。\n"
                                          "操作錯誤的站號可能導致通訊逾時或非預期行為。\n\n確定繼續？"));
        QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(!pollingPausedWhileAsking);
        int toOther = 0;
        const QVector<SimRequest> all = m_bus->requests();
        for (int i = from; i < all.size(); ++i)
            toOther += all[i].station == OtherStation ? 1 : 0;
        QCOMPARE(toOther > 0, yes);
    }

    void stationQuestionIsInEnglishToo()
    {
        Window w = makeWindow();
        QVERIFY(openContentPage(w));
        w.widget<QComboBox>("cbLanguage")->setCurrentIndex(1);
        w.widget<QSpinBox>("cmpSlaveId")->setValue(12);
        click(w, "btnCmpRead");
        QCOMPARE(w.dialogs->last().title, QStringLiteral("Station Mismatch"));
        QCOMPARE(w.dialogs->last().text,
                 QStringLiteral("Engineering Slave ID (12) differs from connected station (3).\n"
                                "Wrong station may cause timeout or unexpected behavior.\n\nProceed?"));
    }

    void logShowsTheEngineAndTheTrafficAndClears()
    {
        Window w = makeWindow();
        QVERIFY(openContentPage(w));
        auto *log = w.widget<QTextEdit>("cmpLogs");
        click(w, "btnClrLog");
        QVERIFY(log->toPlainText().isEmpty());

        click(w, "btnCmpRead");

        QVERIFY(log->toPlainText().contains(QStringLiteral("** 開始讀取：合併為 4 個請求")));
        QVERIFY(log->toHtml().contains(QStringLiteral("#d97706")));
        // The worker's lines arrive queued, after the engine has returned.
        QTRY_VERIFY(log->toPlainText().contains(QStringLiteral("TX > 03 03 01 2C 00 62")));
        QTRY_VERIFY(log->toPlainText().contains(QStringLiteral("RX < 03 03 C4")));
        QVERIFY(log->toHtml().contains(QStringLiteral("#2563eb")));
        QVERIFY(log->toHtml().contains(QStringLiteral("#16a34a")));
        const QString text = log->toPlainText();
        QVERIFY(text.indexOf(QStringLiteral("開始讀取")) < text.indexOf(QStringLiteral("TX > 03 03 01 2C")));
        // The newest line stays in view.
        QScrollBar *bar = log->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());

        click(w, "btnClrLog");
        QVERIFY(log->toPlainText().isEmpty());
    }

    void compareButtonsFollowTheConnectionAndTheTable()
    {
        Window w = makeWindow();
        const char *const buttons[] = {"btnCmpRead", "btnCmpWrite", "btnCmpSave"};
        for (const char *button : buttons)
            QVERIFY2(!w.widget<QAbstractButton>(button)->isEnabled(), button);
        QVERIFY(openContentPage(w));
        for (const char *button : buttons)
            QVERIFY2(w.widget<QAbstractButton>(button)->isEnabled(), button);

        QTemporaryDir dir;
        const QString empty = dir.filePath("empty.txt");
        QFile file(empty);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        w.dialogs->queueFileName(empty);
        click(w, "btnCmpImp");
        QVERIFY(!w.widget<QAbstractButton>("btnCmpRead")->isEnabled());
        QVERIFY(!w.widget<QAbstractButton>("btnCmpWrite")->isEnabled());
        QVERIFY(w.widget<QAbstractButton>("btnCmpSave")->isEnabled());

        // The form fills the table from the template again.
        w.widget<QSpinBox>("gen_Accel")->setValue(321);
        QVERIFY(w.widget<QAbstractButton>("btnCmpRead")->isEnabled());
        QVERIFY(w.widget<QAbstractButton>("btnCmpWrite")->isEnabled());

        click(w, "btnDisconnect");
        QTRY_VERIFY(!w.worker()->isRunning());
        for (const char *button : buttons)
            QVERIFY2(!w.widget<QAbstractButton>(button)->isEnabled(), button);
    }
};

int main(int argc, char *argv[])
{
    return EngFixture::runIsolated<EngCompareTest>(argc, argv);
}

#include "tst_engcompare.moc"
