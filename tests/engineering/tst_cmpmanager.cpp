#include "cmpengine.h"
#include "cmpmanager.h"
#include "modbusworker.h"
#include "productconfig.h"
#include "registertemplate.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QtTest>

namespace {

CmpTask taskFromLine(const char *line, const QString &status = CmpStatus::Pending, const char *deviceHex = "")
{
    CmpTask task = *parseTaskLine(QLatin1String(line), 0);
    task.status = status;
    task.device = QByteArray::fromHex(deviceHex);
    return task;
}

QString colourOf(QTableWidget &table, int row, int column)
{
    const QBrush brush = table.item(row, column)->foreground();
    return brush.style() == Qt::NoBrush ? QStringLiteral("default") : brush.color().name();
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &contents)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(contents);
    return path;
}

}  // namespace

class CmpManagerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void emptyTableShowsThePlaceholder_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("text");
        QTest::newRow("zh") << "zh" << "無資料，請先設定左側參數或載入檔案。";
        QTest::newRow("en") << "en" << "No data. Please configure parameters or load file.";
    }
    void emptyTableShowsThePlaceholder()
    {
        QFETCH(QString, language);
        QFETCH(QString, text);
        ModbusWorker worker;
        CmpManager manager(&worker);
        QTableWidget table(0, 5);
        manager.setTable(&table);
        manager.setLanguage(language);
        QCOMPARE(table.rowCount(), 1);
        QCOMPARE(table.item(0, 0)->text(), text);
        QCOMPARE(table.columnSpan(0, 0), 5);
        QCOMPARE(colourOf(table, 0, 0), QStringLiteral("#94a3b8"));
        QCOMPARE(int(table.item(0, 0)->textAlignment()), int(Qt::AlignCenter));
    }

    void rowsShowTextsAndColoursByStatus_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("statusText");
        QTest::addColumn<QString>("statusColour");
        QTest::addColumn<QString>("deviceColour");
        QTest::newRow("en match") << "en" << "match" << "✔ Match" << "#15803d" << "#16a34a";
        QTest::newRow("zh match") << "zh" << "match" << "✔ 吻合" << "#15803d" << "#16a34a";
        QTest::newRow("en mismatch") << "en" << "mismatch" << "⚠ Mismatch" << "#b91c1c" << "#dc2626";
        QTest::newRow("zh mismatch") << "zh" << "mismatch" << "⚠ 差異" << "#b91c1c" << "#dc2626";
        QTest::newRow("en error") << "en" << "error" << "✖ Error" << "#b45309" << "default";
        QTest::newRow("zh error") << "zh" << "error" << "✖ 錯誤" << "#b45309" << "default";
        QTest::newRow("pending") << "en" << "pending" << "-" << "#94a3b8" << "default";
    }
    void rowsShowTextsAndColoursByStatus()
    {
        QFETCH(QString, language);
        QFETCH(QString, status);
        QFETCH(QString, statusText);
        QFETCH(QString, statusColour);
        QFETCH(QString, deviceColour);
        ModbusWorker worker;
        CmpManager manager(&worker);
        QTableWidget table(0, 5);
        manager.setTable(&table);
        manager.setLanguage(language);
        manager.setTasks({taskFromLine("01 5A 00 02 04 02 bf 00 0a", status, "02BF000B")});
        QCOMPARE(table.rowCount(), 1);
        QCOMPARE(table.columnSpan(0, 0), 1);
        QCOMPARE(table.item(0, 0)->text(), QStringLiteral("0X015A"));
        QCOMPARE(table.item(0, 1)->text(), QStringLiteral("2"));
        QCOMPARE(table.item(0, 2)->text(), QStringLiteral("02 BF 00 0A"));
        QCOMPARE(colourOf(table, 0, 2), QStringLiteral("#2563eb"));
        QCOMPARE(table.item(0, 3)->text(), QStringLiteral("02 BF 00 0B"));
        QCOMPARE(colourOf(table, 0, 3), deviceColour);
        QCOMPARE(table.item(0, 4)->text(), statusText);
        QCOMPARE(colourOf(table, 0, 4), statusColour);
        for (int c = 0; c < 5; ++c)
            QCOMPARE(int(table.item(0, c)->textAlignment()), int(Qt::AlignCenter));
    }

    void namedRowsAreUpperCasedAndUnreadRowsShowDashes()
    {
        ModbusWorker worker;
        CmpManager manager(&worker);
        QTableWidget table(0, 5);
        manager.setTable(&table);
        CmpTask named = taskFromLine("01 5A 00 02 04 02 BF 00 0A");
        named.name = QStringLiteral("EC Lead");
        CmpTask chinese = taskFromLine("01 2C 00 02 04 00 0D 00 64");
        chinese.name = QStringLiteral("額定電流");
        manager.setTasks({named, chinese});
        QCOMPARE(table.rowCount(), 2);
        QCOMPARE(table.item(0, 0)->text(), QStringLiteral("EC LEAD (0X015A)"));
        QCOMPARE(table.item(1, 0)->text(), QStringLiteral("額定電流 (0X012C)"));
        QCOMPARE(table.item(0, 3)->text(), QStringLiteral("--"));
    }

    void languageSwitchRedrawsTheTable()
    {
        ModbusWorker worker;
        CmpManager manager(&worker);
        QTableWidget table(0, 5);
        manager.setTable(&table);
        manager.setTasks({taskFromLine("0100 0001 02 0001", CmpStatus::Match, "0001")});
        QCOMPARE(table.item(0, 4)->text(), QStringLiteral("✔ 吻合"));
        manager.setLanguage(QStringLiteral("en"));
        QCOMPARE(table.item(0, 4)->text(), QStringLiteral("✔ Match"));
    }

    void withoutWidgetsNothingIsDrawnOrLogged()
    {
        ModbusWorker worker;
        CmpManager manager(&worker);
        manager.setTasks({taskFromLine("0100 0001 02 0001")});
        manager.addLog(QStringLiteral("info"), QStringLiteral("x"));
        manager.clearLog();
        manager.renderTable();
        QCOMPARE(manager.taskCount(), 1);
    }

    void logLinesCarryTimeAndColourByType_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("plain");
        QTest::addColumn<QString>("colour");
        QTest::newRow("tx") << "tx" << "TX > 01 03 00 04" << "#2563eb";
        QTest::newRow("rx") << "rx" << "RX < 01 03 00 04" << "#16a34a";
        QTest::newRow("info") << "info" << "** 01 03 00 04" << "#d97706";
        QTest::newRow("error") << "error" << "** 01 03 00 04" << "#d97706";
    }
    void logLinesCarryTimeAndColourByType()
    {
        QFETCH(QString, type);
        QFETCH(QString, plain);
        QFETCH(QString, colour);
        ModbusWorker worker;
        CmpManager manager(&worker);
        QTextEdit log;
        manager.setLog(&log);
        manager.addLog(type, QStringLiteral("01 03 00 04"));
        const QString text = log.toPlainText();
        QVERIFY2(QRegularExpression(QStringLiteral("^\\[\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d\\] ")).match(text).hasMatch(),
                 qPrintable(text));
        QCOMPARE(text.mid(15), plain);
        QVERIFY2(log.toHtml().contains(colour), qPrintable(log.toHtml()));
    }

    void logShowsMarkupAsText()
    {
        ModbusWorker worker;
        CmpManager manager(&worker);
        QTextEdit log;
        manager.setLog(&log);
        manager.addLog(QStringLiteral("info"), QStringLiteral("<b>bold</b> & <img src='x'> %1 %2"));
        manager.addLog(QStringLiteral("rx"), QStringLiteral("</span></div><div>forged"));
        const QStringList lines = log.toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0].mid(15), QStringLiteral("** <b>bold</b> & <img src='x'> %1 %2"));
        QCOMPARE(lines[1].mid(15), QStringLiteral("RX < </span></div><div>forged"));
        QVERIFY(!log.toHtml().contains(QLatin1String("<img")));
    }

    void logPast500BlocksLosesItsFirst100()
    {
        ModbusWorker worker;
        CmpManager manager(&worker);
        QTextEdit log;
        manager.setLog(&log);
        for (int i = 0; i < 501; ++i)
            manager.addLog(QStringLiteral("info"), QStringLiteral("line %1").arg(i));
        QTextDocument *doc = log.document();
        QCOMPARE(doc->blockCount(), 501);
        QVERIFY(doc->firstBlock().text().endsWith(QLatin1String("** line 0")));

        manager.addLog(QStringLiteral("info"), QStringLiteral("line 501"));
        QCOMPARE(doc->blockCount(), 402);
        QVERIFY2(doc->firstBlock().text().endsWith(QLatin1String("** line 100")), qPrintable(doc->firstBlock().text()));
        QVERIFY(doc->lastBlock().text().endsWith(QLatin1String("** line 501")));
    }

    void logOf500BlocksIsNotTrimmed()
    {
        ModbusWorker worker;
        CmpManager manager(&worker);
        QTextEdit log;
        manager.setLog(&log);
        for (int i = 0; i < 500; ++i)
            manager.addLog(QStringLiteral("tx"), QStringLiteral("frame %1").arg(i));
        manager.addLog(QStringLiteral("tx"), QStringLiteral("frame 500"));
        QCOMPARE(log.document()->blockCount(), 501);
        QVERIFY(log.document()->firstBlock().text().endsWith(QLatin1String("frame 0")));
        manager.clearLog();
        QVERIFY(log.toPlainText().isEmpty());
    }

    void productConfigFillsAnEmptyListOnceAndPatchesIt()
    {
        ModbusWorker worker;
        CmpManager manager(&worker);
        QTableWidget table(0, 5);
        manager.setTable(&table);
        QSignalSpy changed(&manager, &CmpManager::tasksChanged);
        ProductConfig config;
        manager.applyProductConfig(config);
        QCOMPARE(manager.taskCount(), RegisterTemplate::RowCount);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(table.rowCount(), RegisterTemplate::RowCount);
        QCOMPARE(table.item(21, 0)->text(), QStringLiteral("EC LEAD (0X015A)"));

        config.lead = 20.0;
        manager.applyProductConfig(config);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(manager.tasks().at(21).expected, QByteArray::fromHex("02BF00C8"));
        QCOMPARE(table.item(21, 2)->text(), QStringLiteral("02 BF 00 C8"));
    }

    void importReplacesTheListAndReportsIt()
    {
        QTemporaryDir dir;
        const QString path = writeFile(dir, QStringLiteral("runs.txt"),
                                       "01 2C 00 02 04 AA AA 00 0D\r\n\r\nshort 12\n01 2E 00 01 02 00 0E\n");
        ModbusWorker worker;
        CmpManager manager(&worker);
        manager.setLanguage(QStringLiteral("en"));
        QTableWidget table(0, 5);
        QTextEdit log;
        manager.setTable(&table);
        manager.setLog(&log);
        manager.applyProductConfig(ProductConfig());
        QSignalSpy changed(&manager, &CmpManager::tasksChanged);

        QVERIFY(manager.importFile(path));
        QCOMPARE(manager.taskCount(), 2);
        QCOMPARE(manager.tasks().at(1).rowIndex, 2);
        QVERIFY(manager.tasks().at(0).name.isEmpty());
        QCOMPARE(table.rowCount(), 2);
        QCOMPARE(changed.count(), 1);
        QVERIFY(log.toPlainText().endsWith(QLatin1String("** Loaded 2 records from file")));

        // The form patches imported rows by row index.
        ProductConfig config;
        config.ratedCurrent = 0x0123;
        manager.applyProductConfig(config);
        QCOMPARE(manager.taskCount(), 2);
        QCOMPARE(manager.tasks().at(0).expected, QByteArray::fromHex("AAAA0123"));
    }

    void emptyImportShowsThePlaceholderAndEmptiesTheList()
    {
        QTemporaryDir dir;
        const QString path = writeFile(dir, QStringLiteral("empty.txt"), "");
        ModbusWorker worker;
        CmpManager manager(&worker);
        QTableWidget table(0, 5);
        QTextEdit log;
        manager.setTable(&table);
        manager.setLog(&log);
        manager.applyProductConfig(ProductConfig());
        QSignalSpy changed(&manager, &CmpManager::tasksChanged);
        QVERIFY(manager.importFile(path));
        QCOMPARE(manager.taskCount(), 0);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(table.rowCount(), 1);
        QCOMPARE(table.columnSpan(0, 0), 5);
        QVERIFY(log.toPlainText().endsWith(QStringLiteral("** 已從檔案載入 0 筆資料")));
    }

    void unreadableImportLeavesTheListAlone()
    {
        QTemporaryDir dir;
        ModbusWorker worker;
        CmpManager manager(&worker);
        manager.applyProductConfig(ProductConfig());
        QSignalSpy changed(&manager, &CmpManager::tasksChanged);
        QString error;
        QVERIFY(!manager.importFile(dir.filePath(QStringLiteral("missing.txt")), &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(manager.taskCount(), RegisterTemplate::RowCount);
        QCOMPARE(changed.count(), 0);
    }

    void operationsPauseThePollingAroundTheirWholeWork()
    {
        // A worker whose thread is not running answers nothing at once.
        ModbusWorker worker;
        CmpManager manager(&worker);
        manager.setLanguage(QStringLiteral("en"));
        QTableWidget table(0, 5);
        QTextEdit log;
        manager.setTable(&table);
        manager.setLog(&log);
        manager.applyProductConfig(ProductConfig());

        QStringList events;
        connect(&manager, &CmpManager::pauseWorker, this, [&](bool paused) {
            events << QStringLiteral("pause %1 after %2 lines")
                          .arg(paused)
                          .arg(log.toPlainText().isEmpty() ? 0 : log.document()->blockCount());
        });
        manager.readAll(1);
        QCOMPARE(events, (QStringList{QStringLiteral("pause 1 after 0 lines"), QStringLiteral("pause 0 after 5 lines")}));
        for (const CmpTask &task : manager.tasks())
            QCOMPARE(task.status, CmpStatus::Error);
        QCOMPARE(table.item(0, 4)->text(), QStringLiteral("✖ Error"));

        events.clear();
        manager.writeAll(1);
        QCOMPARE(events, (QStringList{QStringLiteral("pause 1 after 5 lines"), QStringLiteral("pause 0 after 10 lines")}));
        events.clear();
        manager.saveEeprom(1);
        QCOMPARE(events, (QStringList{QStringLiteral("pause 1 after 10 lines"), QStringLiteral("pause 0 after 11 lines")}));
        QVERIFY(log.toPlainText().endsWith(QLatin1String("** EEPROM save failed")));
    }
};

QTEST_MAIN(CmpManagerTest)
#include "tst_cmpmanager.moc"
