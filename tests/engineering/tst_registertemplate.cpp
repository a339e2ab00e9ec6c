#include "cmpengine.h"
#include "registers.h"
#include "registertemplate.h"

#include <QSet>
#include <QtTest>

class RegisterTemplateTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rowsCoverThePowerOnBlockWithoutGaps()
    {
        const QVector<RegisterTemplate::Row> &rows = RegisterTemplate::rows();
        QCOMPARE(rows.size(), RegisterTemplate::RowCount);
        int address = Reg::PowerOnBlockStart;
        for (const RegisterTemplate::Row &row : rows) {
            QCOMPARE(int(row.address), address);
            address += row.wordCount;
        }
        QCOMPARE(address - Reg::PowerOnBlockStart, Reg::PowerOnBlockWords);
    }

    void everyRowCarriesOneDataWordPerRegister()
    {
        for (const RegisterTemplate::Row &row : RegisterTemplate::rows()) {
            const QByteArray data = QByteArray::fromHex(QByteArray(row.data));
            QCOMPARE(data.size(), 2 * int(row.wordCount));
            QCOMPARE(int(row.byteCount()), data.size());
        }
    }

    void rows_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("words");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("key");

        QTest::newRow("0") << 0 << 0x012C << 2 << "00 0D 00 64" << "額定電流" << "current";
        QTest::newRow("2") << 2 << 0x0130 << 3 << "10 24 03 E8 00 00" << "解析度 (PPR)" << "ppr";
        QTest::newRow("7") << 7 << 0x013D << 3 << "10 70 C3 50 00 00" << "軟限位 CW" << "softCw";
        QTest::newRow("18") << 18 << 0x0154 << 2 << "02 BC 41 01" << "動作邏輯版次 A1" << "";
        QTest::newRow("24") << 24 << 0x0160 << 1 << "20 14" << "" << "";
        QTest::newRow("25") << 25 << 0x0161 << 5 << "00 00 00 20 00 04 00 20 00 99" << "" << "";
        QTest::newRow("33") << 33 << 0x0189 << 5 << "30 D0 00 00 37 D0 00 20 00 C9" << "" << "";
        QTest::newRow("34") << 34 << 0x018E << 5 << "03 A8 00 00 57 A8 00 20 00 A0" << "" << "";
        QTest::newRow("71") << 71 << 0x01F1 << 1 << "30 34" << "" << "";
        QTest::newRow("72") << 72 << 0x01F2 << 2 << "00 A0 00 02" << "" << "";
        QTest::newRow("74") << 74 << 0x01F5 << 2 << "00 C8 00 00" << "推到負限位-減速停止" << "";
        QTest::newRow("91") << 91 << 0x0214 << 2 << "00 9E 01 55" << "力矩模式與力度" << "tqMode";
        QTest::newRow("92") << 92 << 0x0216 << 2 << "00 CB 83 E9" << "執行力矩(+方向)" << "execTq";
        QTest::newRow("103") << 103 << 0x0226 << 3 << "10 D8 D4 C0 00 01" << "位置0 轉速" << "pos0Spd";
        QTest::newRow("112") << 112 << 0x0239 << 3 << "10 D0 61 A8 00 00" << "位置1 脈衝" << "pos1Pls";
        QTest::newRow("119") << 119 << 0x0247 << 2 << "00 9E 02 55" << "位置0 Push 力矩" << "pos0PushForce";
        QTest::newRow("125") << 125 << 0x0253 << 2 << "00 9E 02 55" << "位置1 Push 力矩" << "pos1PushForce";
        QTest::newRow("126") << 126 << 0x0255 << 2 << "00 CB 00 01" << "" << "";
        QTest::newRow("127") << 127 << 0x0257 << 1 << "30 34" << "" << "";
    }
    void rows()
    {
        QFETCH(int, row);
        QFETCH(int, address);
        QFETCH(int, words);
        QFETCH(QString, data);
        QFETCH(QString, name);
        QFETCH(QString, key);
        const RegisterTemplate::Row &r = RegisterTemplate::rows().at(row);
        QCOMPARE(int(r.address), address);
        QCOMPARE(int(r.wordCount), words);
        QCOMPARE(QString::fromLatin1(r.data), data);
        QCOMPARE(r.displayName(), name);
        QCOMPARE(QString::fromLatin1(r.key), key);
    }

    void rowLineStartsWithAddressWordsAndByteCount()
    {
        QCOMPARE(RegisterTemplate::rows().at(0).line(), QStringLiteral("01 2C 00 02 04 00 0D 00 64"));
        QCOMPARE(RegisterTemplate::rows().at(25).line(),
                 QStringLiteral("01 61 00 05 0A 00 00 00 20 00 04 00 20 00 99"));
    }

    void rowIndex_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("index");
        QTest::newRow("current") << "current" << 0;
        QTest::newRow("posWarn") << "posWarn" << 10;
        QTest::newRow("motorDir") << "motorDir" << 23;
        QTest::newRow("accel") << "accel" << 88;
        QTest::newRow("pos1PushEnable") << "pos1PushEnable" << 114;
        QTest::newRow("pos1PushForce") << "pos1PushForce" << 125;
        QTest::newRow("unknown") << "homeTorque" << -1;
        QTest::newRow("empty key never matches unnamed rows") << "" << -1;
        QTest::newRow("case matters") << "Current" << -1;
    }
    void rowIndex()
    {
        QFETCH(QString, key);
        QFETCH(int, index);
        QCOMPARE(RegisterTemplate::rowIndex(key), index);
    }

    void keysAreUniqueAndComplete()
    {
        QSet<QString> keys;
        for (const RegisterTemplate::Row &row : RegisterTemplate::rows()) {
            const QString key = QString::fromLatin1(row.key);
            if (key.isEmpty())
                continue;
            QVERIFY2(!keys.contains(key), qPrintable(key));
            keys.insert(key);
        }
        QCOMPARE(keys.size(), 37);
    }

    void tasksCarryRowIndexNameAndTemplateData()
    {
        const QVector<CmpTask> tasks = RegisterTemplate::tasks();
        QCOMPARE(tasks.size(), RegisterTemplate::RowCount);
        for (int i = 0; i < tasks.size(); ++i) {
            const RegisterTemplate::Row &row = RegisterTemplate::rows().at(i);
            QCOMPARE(tasks[i].rowIndex, i);
            QCOMPARE(tasks[i].name, row.displayName());
            QCOMPARE(tasks[i].address, row.address);
            QCOMPARE(tasks[i].wordCount, row.wordCount);
            QCOMPARE(tasks[i].byteCount, row.byteCount());
            QCOMPARE(tasks[i].expected, QByteArray::fromHex(QByteArray(row.data)));
            QCOMPARE(tasks[i].status, CmpStatus::Pending);
            QCOMPARE(tasks[i].line, row.line());
        }
    }

    void templateMergesIntoFourRequests()
    {
        const QVector<CmpGroup> groups = mergeTasks(RegisterTemplate::tasks());
        QCOMPARE(groups.size(), 4);
        const int expected[4][3] = {{0x012C, 98, 34}, {0x018E, 100, 38}, {0x01F2, 99, 54}, {0x0255, 3, 2}};
        for (int g = 0; g < 4; ++g) {
            QCOMPARE(int(groups[g].address), expected[g][0]);
            QCOMPARE(groups[g].wordCount, expected[g][1]);
            QCOMPARE(groups[g].taskIndices.size(), expected[g][2]);
        }
    }
};

QTEST_GUILESS_MAIN(RegisterTemplateTest)
#include "tst_registertemplate.moc"
