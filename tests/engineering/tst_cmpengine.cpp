#include "cmpengine.h"
#include "fakeregisteraccess.h"
#include "registers.h"

#include <QtTest>

namespace {

// A task as a compare line would give it: address, words, byte count, data.
CmpTask makeTask(quint16 address, quint16 words, const QByteArray &expectedHex = QByteArray())
{
    const QString line = QStringLiteral("%1 %2 %3 %4")
                             .arg(address, 4, 16, QLatin1Char('0'))
                             .arg(words, 4, 16, QLatin1Char('0'))
                             .arg(2 * words & 0xFF, 2, 16, QLatin1Char('0'))
                             .arg(QString::fromLatin1(expectedHex));
    std::optional<CmpTask> task = parseTaskLine(line, 0);
    Q_ASSERT(task);
    return *task;
}

// Expected data of `words` words counting up from `first`.
QByteArray countingWords(quint16 first, int words)
{
    QByteArray hex;
    for (int i = 0; i < words; ++i)
        hex += QByteArray::number(first + i, 16).rightJustified(4, '0') + ' ';
    return hex;
}

struct LogLine
{
    QString type;
    QString text;
};

struct EngineRig
{
    FakeRegisterAccess bus;
    CmpEngine engine{bus};
    QVector<LogLine> log;
    int groupsDone = 0;

    explicit EngineRig(const QString &language = QStringLiteral("en"))
    {
        engine.setLanguage(language);
        engine.setLogSink([this](const QString &type, const QString &text) { log.append({type, text}); });
        engine.setGroupDone([this] { ++groupsDone; });
    }
    QStringList texts() const
    {
        QStringList out;
        for (const LogLine &l : log)
            out << l.text;
        return out;
    }
};

}  // namespace

class CmpEngineTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parseTaskLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("parsed");
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("words");
        QTest::addColumn<int>("byteCount");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("template row") << "01 2C 00 02 04 00 0D 00 64" << true << 0x012C << 2 << 4
                                      << QByteArray::fromHex("000D0064");
        QTest::newRow("exactly ten digits gives empty data") << "0100000102" << true << 0x0100 << 1 << 2
                                                             << QByteArray();
        QTest::newRow("nine digits gives nothing") << "010000010" << false << 0 << 0 << 0 << QByteArray();
        QTest::newRow("any spacing and separators") << "01,2C;00-02 | 04:000d:0064" << true << 0x012C << 2
                                                    << 4 << QByteArray::fromHex("000D0064");
        // Letters of a comment that are hexadecimal become data.
        QTest::newRow("comment letters become data") << "01 2C 00 01 02 00 0D # bad" << true << 0x012C << 1 << 2
                                                     << QByteArray::fromHex("000DBA0D");
        QTest::newRow("last single digit is a byte of its own") << "01 2C 00 01 02 00 0D 7" << true << 0x012C << 1
                                                                << 2 << QByteArray::fromHex("000D07");
        QTest::newRow("empty line") << "" << false << 0 << 0 << 0 << QByteArray();
    }
    void parseTaskLine()
    {
        QFETCH(QString, line);
        QFETCH(bool, parsed);
        const std::optional<CmpTask> task = ::parseTaskLine(line, 7);
        QCOMPARE(bool(task), parsed);
        if (!task)
            return;
        QFETCH(int, address);
        QFETCH(int, words);
        QFETCH(int, byteCount);
        QFETCH(QByteArray, expected);
        QCOMPARE(int(task->address), address);
        QCOMPARE(int(task->wordCount), words);
        QCOMPARE(int(task->byteCount), byteCount);
        QCOMPARE(task->expected, expected);
        QCOMPARE(task->rowIndex, 7);
        QCOMPARE(task->status, CmpStatus::Pending);
        QCOMPARE(task->line, line);
        QVERIFY(task->device.isEmpty());
        QVERIFY(task->name.isEmpty());
    }

    void importCountsEveryNonEmptyLineInTheRowIndex()
    {
        const QString text = QStringLiteral("\n  01 2C 00 01 02 00 0D  \r\n\n010000010\nnot a line\n"
                                            "01 2D 00 01 02 00 0E\n   \n");
        const QVector<CmpTask> tasks = parseTaskText(text);
        QCOMPARE(tasks.size(), 2);
        QCOMPARE(tasks[0].rowIndex, 0);
        QCOMPARE(tasks[0].line, QStringLiteral("01 2C 00 01 02 00 0D"));
        // The 9-digit line and the text line were counted though they gave nothing.
        QCOMPARE(tasks[1].rowIndex, 3);
        QCOMPARE(int(tasks[1].address), 0x012D);
    }

    void mergeTasks_data()
    {
        QTest::addColumn<QVector<int>>("runs");  // address, words pairs
        QTest::addColumn<QVector<int>>("groups");  // address, words, task count triples

        QTest::newRow("gap is not merged") << QVector<int>{0x0100, 2, 0x0103, 1}
                                           << QVector<int>{0x0100, 2, 1, 0x0103, 1, 1};
        QTest::newRow("adjacent runs merge") << QVector<int>{0x0100, 2, 0x0102, 1} << QVector<int>{0x0100, 3, 2};
        QTest::newRow("exactly 100 words is one request")
            << QVector<int>{0x0100, 60, 0x013C, 40} << QVector<int>{0x0100, 100, 2};
        QTest::newRow("101 words start a new request")
            << QVector<int>{0x0100, 60, 0x013C, 40, 0x0164, 1} << QVector<int>{0x0100, 100, 2, 0x0164, 1, 1};
        QTest::newRow("one word too many splits") << QVector<int>{0x0100, 60, 0x013C, 41}
                                                  << QVector<int>{0x0100, 60, 1, 0x013C, 41, 1};
        QTest::newRow("going backwards is not merged") << QVector<int>{0x0102, 1, 0x0100, 2}
                                                       << QVector<int>{0x0102, 1, 1, 0x0100, 2, 1};
        QTest::newRow("zero-word run joins at its address")
            << QVector<int>{0x0100, 2, 0x0102, 0, 0x0102, 1} << QVector<int>{0x0100, 3, 3};
        QTest::newRow("no tasks") << QVector<int>{} << QVector<int>{};
    }
    void mergeTasks()
    {
        QFETCH(QVector<int>, runs);
        QFETCH(QVector<int>, groups);
        QVector<CmpTask> tasks;
        for (int i = 0; i < runs.size(); i += 2)
            tasks << makeTask(quint16(runs[i]), quint16(runs[i + 1]));
        const QVector<CmpGroup> merged = ::mergeTasks(tasks);
        QCOMPARE(merged.size(), groups.size() / 3);
        int next = 0;
        for (int g = 0; g < merged.size(); ++g) {
            QCOMPARE(int(merged[g].address), groups[3 * g]);
            QCOMPARE(merged[g].wordCount, groups[3 * g + 1]);
            QCOMPARE(merged[g].taskIndices.size(), groups[3 * g + 2]);
            for (int index : merged[g].taskIndices)
                QCOMPARE(index, next++);
        }
    }

    void readMarksMatchAndMismatchPerTask()
    {
        EngineRig rig;
        QVector<CmpTask> tasks{makeTask(0x0100, 2, "0001 0002"), makeTask(0x0102, 1, "0003")};
        rig.bus.registers = {{0x0100, 0x0001}, {0x0101, 0x0002}, {0x0102, 0x0A03}};
        rig.engine.readAll(tasks, 3);

        QCOMPARE(rig.bus.calls.size(), 1);
        QCOMPARE(rig.bus.calls[0].kind, 'r');
        QCOMPARE(int(rig.bus.calls[0].slave), 3);
        QCOMPARE(int(rig.bus.calls[0].address), 0x0100);
        QCOMPARE(rig.bus.calls[0].count, 3);
        QCOMPARE(tasks[0].status, CmpStatus::Match);
        QCOMPARE(tasks[0].device, QByteArray::fromHex("00010002"));
        QCOMPARE(tasks[1].status, CmpStatus::Mismatch);
        // A mismatch still shows every word read.
        QCOMPARE(tasks[1].device, QByteArray::fromHex("0A03"));
        QCOMPARE(rig.texts(), QStringList{QStringLiteral("Read started: merged into 1 requests")});
        QCOMPARE(rig.log[0].type, QStringLiteral("info"));
        QCOMPARE(rig.groupsDone, 1);
    }

    void readComparesTheLowByteToo()
    {
        EngineRig rig;
        QVector<CmpTask> tasks{makeTask(0x0100, 1, "1234")};
        rig.bus.registers = {{0x0100, 0x1235}};
        rig.engine.readAll(tasks, 1);
        QCOMPARE(tasks[0].status, CmpStatus::Mismatch);
    }

    void zeroWordTaskMatchesAndTakesNoReplyWords()
    {
        EngineRig rig;
        QVector<CmpTask> tasks{makeTask(0x0100, 1, "0011"), makeTask(0x0101, 0), makeTask(0x0101, 1, "0022")};
        rig.bus.registers = {{0x0100, 0x0011}, {0x0101, 0x0022}};
        rig.engine.readAll(tasks, 1);
        QCOMPARE(rig.bus.calls.size(), 1);
        QCOMPARE(rig.bus.calls[0].count, 2);
        QCOMPARE(tasks[1].status, CmpStatus::Match);
        QVERIFY(tasks[1].device.isEmpty());
        QCOMPARE(tasks[2].status, CmpStatus::Match);
        QCOMPARE(tasks[2].device, QByteArray::fromHex("0022"));
    }

    void aGroupOfNothingButZeroWordsSendsNoRequest()
    {
        EngineRig rig;
        QVector<CmpTask> tasks{makeTask(0x0200, 0)};
        rig.engine.readAll(tasks, 1);
        rig.engine.writeAll(tasks, 1);
        QVERIFY(rig.bus.calls.isEmpty());
        QCOMPARE(tasks[0].status, CmpStatus::Match);
    }

    void withNoTasksReadAndWriteLogZeroRequestsAndSendNothing()
    {
        EngineRig rig(QStringLiteral("zh"));
        QVector<CmpTask> tasks;
        rig.engine.readAll(tasks, 1);
        rig.engine.writeAll(tasks, 1);
        QVERIFY(rig.bus.calls.isEmpty());
        QCOMPARE(rig.texts(), (QStringList{QStringLiteral("開始讀取：合併為 0 個請求"),
                                           QStringLiteral("開始寫入：合併為 0 個請求")}));
        QCOMPARE(rig.groupsDone, 0);
    }

    void silentGroupIsAnErrorAndLaterGroupsStillRun()
    {
        EngineRig rig;
        QVector<CmpTask> tasks{makeTask(0x0100, 1, "0001"), makeTask(0x0102, 1, "0002")};
        tasks[0].device = QByteArray::fromHex("0001");
        rig.bus.registers = {{0x0100, 0x0001}, {0x0102, 0x0002}};
        rig.bus.silentReads = {0x0100};
        rig.engine.readAll(tasks, 1);

        QCOMPARE(tasks[0].status, CmpStatus::Error);
        QCOMPARE(tasks[1].status, CmpStatus::Match);
        QCOMPARE(rig.bus.calls.size(), 2);
        QCOMPARE(rig.log.size(), 2);
        QVERIFY(rig.log[1].text.startsWith(QStringLiteral("Read error: ")));
        QVERIFY2(rig.log[1].text.contains(QStringLiteral("0x0100")), qPrintable(rig.log[1].text));
        QCOMPARE(rig.groupsDone, 2);
    }

    void shortReplyIsNeverComparedPastItsEnd()
    {
        EngineRig rig;
        QVector<CmpTask> tasks{makeTask(0x0100, 2, "0001 0002"), makeTask(0x0102, 2, "0003 0004")};
        rig.bus.registers = {{0x0100, 1}, {0x0101, 2}, {0x0102, 3}, {0x0103, 4}};
        rig.bus.shortReads = {{0x0100, 3}};
        rig.engine.readAll(tasks, 1);

        QCOMPARE(tasks[0].status, CmpStatus::Error);
        QCOMPARE(tasks[1].status, CmpStatus::Error);
        QCOMPARE(rig.log.last().text, QStringLiteral("Read error: reply holds 3 of 4 words at 0x0100"));
    }

    void readErrorCarriesTheAccessText()
    {
        EngineRig rig;
        QVector<CmpTask> tasks{makeTask(0x0100, 1, "0001")};
        rig.bus.throwingReads = {0x0100};
        rig.engine.readAll(tasks, 1);
        QCOMPARE(tasks[0].status, CmpStatus::Error);
        QCOMPARE(rig.log.last().text, QStringLiteral("Read error: Timeout"));
    }

    void taskWithShortExpectedDataIsAnErrorButItsNeighboursCompare()
    {
        EngineRig rig;
        QVector<CmpTask> tasks{makeTask(0x0100, 1, "0001"), makeTask(0x0101, 2, "0002 00"),
                               makeTask(0x0103, 1, "0004")};
        rig.bus.registers = {{0x0100, 1}, {0x0101, 2}, {0x0102, 3}, {0x0103, 4}};
        rig.engine.readAll(tasks, 1);

        QCOMPARE(tasks[0].status, CmpStatus::Match);
        QCOMPARE(tasks[1].status, CmpStatus::Error);
        QCOMPARE(tasks[1].device, QByteArray::fromHex("00020003"));
        QCOMPARE(tasks[2].status, CmpStatus::Match);
        QCOMPARE(rig.log.last().text, QStringLiteral("Read error: expected data of 0x0101 holds 3 of 4 bytes"));
    }

    void writeSendsExpectedWordsHighByteFirstAndMarksMatch()
    {
        EngineRig rig;
        QVector<CmpTask> tasks{makeTask(0x0100, 2, "12 34 AB CD"), makeTask(0x0102, 1, "00 07")};
        tasks[0].device = QByteArray::fromHex("00000000");
        tasks[0].status = CmpStatus::Mismatch;
        rig.engine.writeAll(tasks, 9);

        QCOMPARE(rig.bus.calls.size(), 1);
        QCOMPARE(rig.bus.calls[0].kind, 'm');
        QCOMPARE(int(rig.bus.calls[0].slave), 9);
        QCOMPARE(int(rig.bus.calls[0].address), 0x0100);
        QCOMPARE(rig.bus.calls[0].values, (QVector<quint16>{0x1234, 0xABCD, 0x0007}));
        for (const CmpTask &task : tasks) {
            QCOMPARE(task.status, CmpStatus::Match);
            QCOMPARE(task.device, task.expected);
        }
        QCOMPARE(rig.texts(), QStringList{QStringLiteral("Write started: merged into 1 requests")});
    }

    void failedWriteIsReportedAndNoLongerShowsAMatch()
    {
        EngineRig rig;
        QVector<CmpTask> tasks{makeTask(0x0100, 1, "0001"), makeTask(0x0200, 1, "0002")};
        tasks[0].status = CmpStatus::Match;
        tasks[0].device = QByteArray::fromHex("0009");
        rig.bus.failingWrites = {0x0100};
        rig.engine.writeAll(tasks, 1);

        QCOMPARE(tasks[0].status, CmpStatus::Error);
        QCOMPARE(tasks[0].device, QByteArray::fromHex("0009"));
        QCOMPARE(tasks[1].status, CmpStatus::Match);
        QCOMPARE(rig.log[1].text, QStringLiteral("Write error: no reply to the write of 1 words at 0x0100"));
    }

    void writeErrorCarriesTheAccessText()
    {
        EngineRig rig;
        QVector<CmpTask> tasks{makeTask(0x0100, 1, "0001")};
        rig.bus.throwingWrites = {0x0100};
        rig.engine.writeAll(tasks, 1);
        QCOMPARE(tasks[0].status, CmpStatus::Error);
        QCOMPARE(rig.log.last().text, QStringLiteral("Write error: Port not open"));
    }

    void groupWithShortExpectedDataIsNotWritten()
    {
        EngineRig rig;
        QVector<CmpTask> tasks{makeTask(0x0100, 1, "0001"), makeTask(0x0101, 2, "0002"),
                               makeTask(0x0200, 1, "0003")};
        rig.engine.writeAll(tasks, 1);

        QCOMPARE(rig.bus.calls.size(), 1);
        QCOMPARE(int(rig.bus.calls[0].address), 0x0200);
        QCOMPARE(tasks[0].status, CmpStatus::Error);
        QCOMPARE(tasks[1].status, CmpStatus::Error);
        QCOMPARE(tasks[2].status, CmpStatus::Match);
        QCOMPARE(rig.log[1].text,
                 QStringLiteral("Write error: expected data of 0x0101 holds 2 of 4 bytes; group at 0x0100 not written"));
        QCOMPARE(rig.groupsDone, 2);
    }

    void expectedDataLongerThanTheRunWritesOnlyTheRun()
    {
        EngineRig rig;
        QVector<CmpTask> tasks{makeTask(0x0100, 1, "0001 FFFF")};
        rig.engine.writeAll(tasks, 1);
        QCOMPARE(rig.bus.calls[0].values, QVector<quint16>{0x0001});
    }

    void runTooLongForOneRequestIsNeverSent()
    {
        EngineRig rig;
        // A listing line read back as a compare line claims 0x2C00 words.
        QVector<CmpTask> tasks{*::parseTaskLine(QStringLiteral("01 01 2C 00 02 04 00 0D 00 64"), 0)};
        QCOMPARE(int(tasks[0].wordCount), 0x2C00);
        rig.engine.readAll(tasks, 1);
        rig.engine.writeAll(tasks, 1);
        QVERIFY(rig.bus.calls.isEmpty());
        QCOMPARE(tasks[0].status, CmpStatus::Error);

        EngineRig full;
        QVector<CmpTask> wide{makeTask(0x0100, 124, countingWords(1, 124))};
        full.engine.readAll(wide, 1);
        full.engine.writeAll(wide, 1);
        QCOMPARE(full.bus.calls.size(), 1);
        QCOMPARE(full.bus.calls[0].kind, 'r');
        QCOMPARE(full.log.last().text,
                 QStringLiteral("Write error: 0x0100 spans 124 words, more than one request can carry"));
    }

    void saveEepromWritesTheStoreCommandAndLogsTheOutcome_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("fails");
        QTest::addColumn<QString>("line");
        QTest::newRow("en ok") << "en" << false << "EEPROM save OK!";
        QTest::newRow("en failed") << "en" << true << "EEPROM save failed";
        QTest::newRow("zh ok") << "zh" << false << "斷電保存成功！";
        QTest::newRow("zh failed") << "zh" << true << "斷電保存失敗";
    }
    void saveEepromWritesTheStoreCommandAndLogsTheOutcome()
    {
        QFETCH(QString, language);
        QFETCH(bool, fails);
        QFETCH(QString, line);
        EngineRig rig(language);
        rig.bus.failSingleWrites = fails;
        QCOMPARE(rig.engine.saveEeprom(4), !fails);
        QCOMPARE(rig.bus.calls.size(), 1);
        QCOMPARE(rig.bus.calls[0].kind, 'w');
        QCOMPARE(int(rig.bus.calls[0].slave), 4);
        QCOMPARE(int(rig.bus.calls[0].address), int(Reg::StoreCommand));
        QCOMPARE(rig.bus.calls[0].values, QVector<quint16>{Reg::StoreValue::SaveToRom});
        QCOMPARE(rig.texts(), QStringList{line});
    }
};

QTEST_GUILESS_MAIN(CmpEngineTest)
#include "tst_cmpengine.moc"
