// Files no export ever wrote, fed to the window's two imports while a drive
// is connected: parameter files that are huge, deeply nested, not UTF-8,
// hold NaN or Infinity or wrong types everywhere; compare listings that are
// binary, huge or have 100 000 lines. Each ends in a clear message or a
// bounded, reported result, leaves what it must not change as it was, and
// never writes to the drive.

#include "paramwindowbench.h"

#include "cmpmanager.h"
#include "engineeringaccess.h"
#include "paramfile.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QTextEdit>

namespace {

constexpr quint8 Station = 3;
// Far more than any of these files may take, far less than a hang.
constexpr int ImportBoundMs = 15000;
const QString EngineerPassword = QStringLiteral("bench-and-test-only");

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, '\0');
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

QByteArray nested(int depth, const QByteArray &inner)
{
    return QByteArray(depth, '[') + inner + QByteArray(depth, ']');
}

// Every key an import reads, each with a value of a type it does not take.
QByteArray wrongTypesEverywhere()
{
    QByteArray json = "{";
    const QStringList keys = ParamFile::applyOrder();
    const QByteArray wrong[] = {"\"500\"", "[1, 2]", "{\"value\": 3}", "null", "true"};
    int i = 0;
    for (const QString &key : keys)
        json += "\"" + key.toUtf8() + "\": " + wrong[i++ % 5] + ", ";
    json += "\"pos0PushEnable\": 1, \"pos1PushEnable\": \"yes\", "
            "\"formatVersion\": \"1\", \"lead\": \"1\", \"stroke\": [50], \"family\": 6, \"size\": {}, "
            "\"dir\": false, \"modelStr\": 7, \"exportTime\": []}";
    return json;
}

QStringList allValueKeysInOrder()
{
    return QStringList{"pos0PushEnable", "pos1PushEnable"} + ParamFile::applyOrder();
}

}  // namespace

class HostileFilesTest : public QObject
{
    Q_OBJECT

    ParamWindowBench m_bench;
    QTemporaryDir m_dir;
    QString m_skip;

    QString writeFile(const QString &name, const QByteArray &content)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return QString();
        return path;
    }

    // Polling held and the wire forgotten, so whatever the log shows next
    // comes from the import.
    void quiet()
    {
        m_bench.quiesce();
    }

    struct Snapshot
    {
        int pos0Accel;
        double pos0Speed;
        double pos1Pos;
        bool pos0Push;
        bool operator==(const Snapshot &o) const
        {
            return pos0Accel == o.pos0Accel && pos0Speed == o.pos0Speed && pos1Pos == o.pos1Pos
                   && pos0Push == o.pos0Push;
        }
    };

    Snapshot parameterWidgets() const
    {
        return Snapshot{m_bench.find<QSpinBox>("spin_pos0Accel")->value(),
                        m_bench.find<QDoubleSpinBox>("spinD_pos0Speed")->value(),
                        m_bench.find<QDoubleSpinBox>("spinD_pos1Pos")->value(),
                        m_bench.find<QCheckBox>("ckbtn_pos0Push")->isChecked()};
    }

    qint64 import(const char *button, const QString &path)
    {
        m_bench.dialogs->queueFileName(path);
        QElapsedTimer clock;
        clock.start();
        m_bench.find<QAbstractButton>(button)->click();
        return clock.elapsed();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QSettings(QStringLiteral("Torvane"), QStringLiteral("TorvaneVexaElectricActuator")).clear();
        if (!m_dir.isValid())
            QSKIP("no temporary directory");
        m_skip = m_bench.start(ParamWindowBench::lead1Drive(Station));
        if (!m_skip.isEmpty())
            QSKIP(qPrintable(m_skip));
        auto *access = m_bench.window->findChild<EngineeringAccess *>();
        for (int i = 0; i < EngineeringAccess::TapsToToggle; ++i)
            access->tap();
        m_bench.find<QTabWidget>("mainTabs")->setCurrentIndex(MainWindow::EngineeringTab);
        m_bench.window->setEngineeringPasswordDigest(EngineeringAccess::sha256Hex(EngineerPassword));
        m_bench.find<QLineEdit>("engPassword")->setText(EngineerPassword);
        m_bench.find<QAbstractButton>("btnLogin")->click();
        QVERIFY(m_bench.window->compare()->taskCount() > 0);
        m_bench.find<QTabWidget>("mainTabs")->setCurrentIndex(MainWindow::MotionTab);
    }

    void init()
    {
        if (!m_skip.isEmpty())
            QSKIP(qPrintable(m_skip));
        QVERIFY(m_bench.connected());
        quiet();
    }

    void refusedParameterFileLeavesEverythingAsItWas_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("textStart");
        const QByteArray padding(11 * 1024 * 1024, 'x');
        QTest::newRow("over 10 MB, valid JSON")
            << QByteArray("{\"pos0Accel\": 500, \"padding\": \"" + padding + "\"}") << int(QMessageBox::Critical)
            << "Import Failed" << "The file is too large for a parameter file";
        QTest::newRow("over 10 MB of random bytes")
            << randomBytes(10 * 1024 * 1024 + 1, 7) << int(QMessageBox::Critical) << "Import Failed"
            << "The file is too large for a parameter file";
        QTest::newRow("100 000 nested arrays") << nested(100000, "1") << int(QMessageBox::Warning) << "Error"
                                               << "JSON parse error: ";
        QTest::newRow("100 000 nested objects")
            << QByteArray("{\"a\":").repeated(100000) + "1" + QByteArray(100000, '}') << int(QMessageBox::Warning)
            << "Error" << "JSON parse error: ";
        QTest::newRow("Big5 text, not UTF-8")
            << QTextCodec::codecForName("Big5")->fromUnicode(QStringLiteral("{\"modelStr\": \"電動缸\", \"pos0Accel\": 500}"))
            << int(QMessageBox::Warning) << "Error" << "JSON parse error: ";
        QTest::newRow("UTF-16 with a byte-order mark")
            << QTextCodec::codecForName("UTF-16LE")->fromUnicode(QStringLiteral("\uFEFF{\"pos0Accel\": 500}"))
            << int(QMessageBox::Warning) << "Error" << "JSON parse error: ";
        QTest::newRow("NaN") << QByteArray("{\"pos0Speed\": NaN, \"pos0Accel\": 500}") << int(QMessageBox::Warning)
                             << "Error" << "JSON parse error: ";
        QTest::newRow("Infinity") << QByteArray("{\"pos0Speed\": Infinity, \"pos0Accel\": 500}")
                                  << int(QMessageBox::Warning) << "Error" << "JSON parse error: ";
        QTest::newRow("number beyond a double") << QByteArray("{\"pos0Speed\": 1e999, \"pos0Accel\": 500}")
                                                << int(QMessageBox::Warning) << "Error" << "JSON parse error: ";
        QTest::newRow("random bytes") << randomBytes(4096, 11) << int(QMessageBox::Warning) << "Error"
                                      << "JSON parse error: ";
        QTest::newRow("empty") << QByteArray() << int(QMessageBox::Warning) << "Error" << "JSON parse error: ";
        QTest::newRow("an array of values")
            << QByteArray("[{\"pos0Accel\": 500}]") << int(QMessageBox::Warning) << "Error"
            << "Invalid format: root is not a JSON object.";
    }

    void refusedParameterFileLeavesEverythingAsItWas()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, icon);
        QFETCH(QString, title);
        QFETCH(QString, textStart);
        const QString path = writeFile(QStringLiteral("hostile.json"), content);
        QVERIFY(!path.isEmpty());
        const Snapshot before = parameterWidgets();

        const qint64 took = import("btnImportParams", path);

        QVERIFY2(took < ImportBoundMs, qPrintable(QString::number(took)));
        // The open dialog, then exactly one box.
        const QList<ScriptedDialogs::Shown> shown = m_bench.dialogs->shown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(int(shown[1].icon), icon);
        QCOMPARE(shown[1].title, title);
        QVERIFY2(shown[1].text.startsWith(textStart), qPrintable(shown[1].text.left(200)));
        QVERIFY(shown[1].text.size() < 1000);
        QVERIFY(parameterWidgets() == before);
        QCOMPARE(m_bench.wire(), QStringList());
    }

    void tooLargeParameterFileMessageNamesTheFileInBothLanguages_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("English") << "en" << "Import Failed"
                                 << "The file is too large for a parameter file (over 1 MB) and was not loaded:\n%1";
        QTest::newRow("Chinese") << "zh" << "匯入失敗" << "檔案過大（超過 1 MB），不是參數檔，未匯入：\n%1";
    }

    void tooLargeParameterFileMessageNamesTheFileInBothLanguages()
    {
        QFETCH(QString, lang);
        QFETCH(QString, title);
        QFETCH(QString, text);
        const QString path = writeFile(QStringLiteral("large.json"), QByteArray(int(ParamFile::MaxFileBytes) + 1, ' '));
        QVERIFY(!path.isEmpty());
        m_bench.find<QComboBox>("cbLanguage")->setCurrentIndex(lang == QLatin1String("zh") ? 0 : 1);
        m_bench.dialogs->clear();

        import("btnImportParams", path);
        m_bench.find<QComboBox>("cbLanguage")->setCurrentIndex(1);

        QCOMPARE(m_bench.dialogs->count(), 2);
        QCOMPARE(m_bench.dialogs->last().title, title);
        QCOMPARE(m_bench.dialogs->last().text, text.arg(path));
    }

    void fileAtTheSizeLimitIsStillRead()
    {
        QByteArray content = "{\"pos0Accel\": 432}";
        content += QByteArray(int(ParamFile::MaxFileBytes) - content.size(), ' ');
        const QString path = writeFile(QStringLiteral("limit.json"), content);
        QVERIFY(!path.isEmpty());

        import("btnImportParams", path);

        QCOMPARE(m_bench.find<QSpinBox>("spin_pos0Accel")->value(), 432);
        QCOMPARE(m_bench.dialogs->last().title, QStringLiteral("OK"));
        QCOMPARE(m_bench.wire(), QStringList());
    }

    void valuesOfTheWrongShapeAreSkippedAndListed_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("skipped");
        QTest::newRow("wrong types everywhere") << wrongTypesEverywhere() << allValueKeysInOrder();
        QTest::newRow("a value nested 500 deep")
            << QByteArray("{\"pos0Accel\": " + nested(500, "500") + ", \"pos0Decel\": " + nested(500, "{}") + "}")
            << QStringList{"pos0Accel", "pos0Decel"};
    }

    void valuesOfTheWrongShapeAreSkippedAndListed()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, skipped);
        const QString path = writeFile(QStringLiteral("types.json"), content);
        QVERIFY(!path.isEmpty());
        const Snapshot before = parameterWidgets();

        const qint64 took = import("btnImportParams", path);

        QVERIFY2(took < ImportBoundMs, qPrintable(QString::number(took)));
        const QList<ScriptedDialogs::Shown> shown = m_bench.dialogs->shown();
        QVERIFY(shown.size() >= 3);
        QCOMPARE(shown[1].title, QStringLiteral("Import Warning"));
        QCOMPARE(shown[1].text, QStringLiteral("Invalid type, skipped:\n%1\n\n").arg(skipped.join(QStringLiteral(", "))));
        // Reported as loaded "not yet written": nothing of the file went into a box.
        QCOMPARE(shown.last().title, QStringLiteral("OK"));
        QVERIFY(parameterWidgets() == before);
        QCOMPARE(m_bench.wire(), QStringList());
    }

    void refusedCompareListingLeavesTheTableAsItWas_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("100 000 short lines") << QByteArray("012C 01\n").repeated(100000)
                                             << "The file has more than 2048 lines";
        QTest::newRow("3000 register lines") << QByteArray("012C 0001 02 00 01\n").repeated(3000)
                                             << "The file has more than 2048 lines";
        QTest::newRow("100 000 register lines") << QByteArray("012C 0001 02 00 01\n").repeated(100000)
                                                << "The file is larger than 1024 KB";
        QTest::newRow("binary, 64 KB") << randomBytes(64 * 1024, 3) << "The file is not a text file";
        QTest::newRow("over 10 MB") << QByteArray(11 * 1024 * 1024, 'A') << "The file is larger than 1024 KB";
        QTest::newRow("one line of 2 MB") << QByteArray(2 * 1024 * 1024, 'F') << "The file is larger than 1024 KB";
    }

    void refusedCompareListingLeavesTheTableAsItWas()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        const QString path = writeFile(QStringLiteral("hostile.txt"), content);
        QVERIFY(!path.isEmpty());
        CmpManager *compare = m_bench.window->compare();
        const QVector<CmpTask> before = compare->tasks();
        auto *table = m_bench.find<QTableWidget>("cmpTable");
        const int rows = table->rowCount();

        const qint64 took = import("btnCmpImp", path);

        QVERIFY2(took < ImportBoundMs, qPrintable(QString::number(took)));
        QCOMPARE(m_bench.dialogs->count(), 2);
        const ScriptedDialogs::Shown box = m_bench.dialogs->last();
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.title, QStringLiteral("Import Failed"));
        QVERIFY2(box.text.contains(reason), qPrintable(box.text));
        QVERIFY(box.text.endsWith(QStringLiteral("The compare table is unchanged.")));
        QCOMPARE(compare->taskCount(), before.size());
        for (int i = 0; i < before.size(); ++i)
            QCOMPARE(compare->tasks()[i].line, before[i].line);
        QCOMPARE(table->rowCount(), rows);
        QVERIFY(m_bench.find<QAbstractButton>("btnCmpWrite")->isEnabled());
        QCOMPARE(m_bench.wire(), QStringList());
    }

    void unusualButTextualListingsLoadAndReportTheirCount_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("tasks");
        const QString lines = QStringLiteral("012C 0001 02 00 01\n012D 0001 02 00 02\n");
        QTest::newRow("UTF-16 with a byte-order mark")
            << QTextCodec::codecForName("UTF-16LE")->fromUnicode(QStringLiteral("\uFEFF") + lines) << 2;
        QTest::newRow("Big5 comments")
            << QTextCodec::codecForName("Big5")->fromUnicode(QStringLiteral("// 電動缸參數\n") + lines) << 2;
        QTest::newRow("2048 lines") << QByteArray("012C 0001 02 00 01\n").repeated(2048) << 2048;
    }

    void unusualButTextualListingsLoadAndReportTheirCount()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, tasks);
        const QString path = writeFile(QStringLiteral("listing.txt"), content);
        QVERIFY(!path.isEmpty());
        m_bench.find<QTextEdit>("cmpLogs")->clear();

        const qint64 took = import("btnCmpImp", path);

        QVERIFY2(took < ImportBoundMs, qPrintable(QString::number(took)));
        QCOMPARE(m_bench.dialogs->count(), 1);
        QCOMPARE(m_bench.window->compare()->taskCount(), tasks);
        QVERIFY(m_bench.find<QTextEdit>("cmpLogs")->toPlainText().contains(
            QStringLiteral("Loaded %1 records from file").arg(tasks)));
        QCOMPARE(m_bench.wire(), QStringList());
    }
};

int main(int argc, char *argv[])
{
    return runWindowTest<HostileFilesTest>(argc, argv);
}

#include "tst_hostilefiles.moc"
