// Every file the tool writes, from the window and from vexa-cli: on a full
// disk, at a FIFO or at a device node nothing claims success, the old file or
// node stays exactly as it was and the message names the reason; a recording
// that cannot go on ends on a whole row and never says "saved".

#include "clifixture.h"
#include "fulldisk.h"
#include "testmain.h"
#include "trafficview.h"
#include "windowfixture.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

enum class Writer { ParamsExport, ListingExport, TrafficExport, Recorder, CliExport };
enum class Target { FullDisk, Fifo, CharDevice, Folder };

struct Outcome
{
    bool succeeded = false;
    QString message;
};

// What a reader of the path would get: a file's bytes, or a node's kind and device number.
QByteArray fingerprint(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return "<missing>";
    if (!S_ISREG(info.st_mode))
        return QByteArray("node ") + QByteArray::number(quint64(info.st_mode)) + ' ' + QByteArray::number(quint64(info.st_rdev));
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QString systemReason(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

}  // namespace

Q_DECLARE_METATYPE(Writer)
Q_DECLARE_METATYPE(Target)

class FileOutputTest : public QObject
{
    Q_OBJECT

    WindowFixture fx;
    CliFixture cli;

    QPushButton *button(const char *name) const { return fx.find<QPushButton>(name); }
    QPushButton *recordButton() const { return button("btnTrendRecord"); }
    QString statusText() const { return fx.window->statusBar()->currentMessage(); }

    Outcome write(Writer writer, const QString &path)
    {
        fx.quiesce();
        fx.window->statusBar()->clearMessage();
        fx.dialogs->queueFileName(path);
        Outcome outcome;
        switch (writer) {
        case Writer::ParamsExport:
            fx.dialogs->queueAnswer(QMessageBox::Yes);
            fx.click("btnExportParams");
            outcome.succeeded = fx.dialogs->last().icon == QMessageBox::Information;
            break;
        case Writer::ListingExport:
            fx.click("btnExp");
            outcome.succeeded = !statusText().isEmpty();
            break;
        case Writer::TrafficExport: {
            button("btnTraffic")->click();
            auto *view = fx.window->findChild<TrafficView *>();
            view->findChild<QPushButton *>("btnTrafficExport")->click();
            view->close();
            outcome.succeeded = fx.dialogs->count() == 1;  // the file dialog alone
            break;
        }
        case Writer::Recorder:
            fx.tabs()->setCurrentIndex(MainWindow::MonitorTab);
            recordButton()->click();
            outcome.succeeded = recordButton()->isChecked();
            if (outcome.succeeded)
                recordButton()->click();
            break;
        case Writer::CliExport: {
            const CliRun run = CliFixture::run(cli.at({"params", "export"}) << "--out" << path);
            outcome.succeeded = run.code != int(CliExit::Failure);  // a write failure is exit 1, nothing else
            outcome.message = run.err + run.out;
            return outcome;
        }
        }
        outcome.message = fx.dialogs->last().text;
        return outcome;
    }

private Q_SLOTS:
    void initTestCase()
    {
        VEXA_REQUIRE(fx.startBus({WindowFixture::drive(1)}) && cli.start(), "no pseudo-terminal for the simulated bus");
        QVERIFY2(fx.showWindow(QStringLiteral("en")), qPrintable(fx.failure()));
        QVERIFY2(fx.connectTo(1), qPrintable(fx.failure()));
        QVERIFY2(fx.openEngineeringPage(), qPrintable(fx.failure()));
    }

    void everyWriterKeepsWhatItWouldReplace_data()
    {
        QTest::addColumn<Writer>("writer");
        QTest::addColumn<Target>("target");
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("reason");
        const QString notRegular = QStringLiteral("device, FIFO or socket, not a regular file");
        const QVector<QPair<const char *, Writer>> writers{{"Export Params", Writer::ParamsExport},
                                                           {"Export TXT", Writer::ListingExport},
                                                           {"traffic CSV", Writer::TrafficExport},
                                                           {"recording", Writer::Recorder},
                                                           {"vexa-cli params export", Writer::CliExport}};
        for (const auto &w : writers) {
            QTest::addRow("%s, full disk", w.first) << w.second << Target::FullDisk << "en" << systemReason(EFBIG);
            if (w.second != Writer::CliExport)  // the command line speaks English only
                QTest::addRow("%s, full disk, zh", w.first) << w.second << Target::FullDisk << "zh" << "檔案過大";
            QTest::addRow("%s, FIFO", w.first) << w.second << Target::Fifo << "en" << notRegular;
            QTest::addRow("%s, character device", w.first) << w.second << Target::CharDevice << "en" << notRegular;
            QTest::addRow("%s, folder", w.first) << w.second << Target::Folder << "en" << "a folder, not a regular file";
        }
    }
    void everyWriterKeepsWhatItWouldReplace()
    {
        QFETCH(Writer, writer);
        QFETCH(Target, target);
        QFETCH(QString, lang);
        QFETCH(QString, reason);
        fx.chooseLanguage(lang);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out"));
        const QByteArray name = QFile::encodeName(path);
        switch (target) {
        case Target::FullDisk: {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("an older file\n") == 14);
            break;
        }
        case Target::Fifo: QCOMPARE(::mkfifo(name.constData(), 0600), 0); break;
        case Target::Folder: QVERIFY(QDir(dir.path()).mkdir("out")); break;
        case Target::CharDevice:
            // The null device's numbers: a broken writer could do no harm through it.
            VEXA_REQUIRE(::mknod(name.constData(), S_IFCHR | 0600, makedev(1, 3)) == 0,
                         "mknod is not permitted here (the tests need root for device nodes)");
            break;
        }
        const QByteArray before = fingerprint(path);

        Outcome outcome;
        {
            // vexa-cli opens its port under the limit, and the port's lock file is a few dozen bytes.
            const rlim_t room = writer == Writer::CliExport ? 400 : 16;
            const FullDisk disk(target == Target::FullDisk ? room : RLIM_INFINITY);
            QVERIFY(disk.active());
            outcome = write(writer, path);
        }
        fx.chooseLanguage(QStringLiteral("en"));

        QVERIFY2(!outcome.succeeded, qPrintable(outcome.message));
        QVERIFY2(outcome.message.contains(reason), qPrintable(outcome.message));
        QCOMPARE(fingerprint(path), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"out"});
    }

    void aRecordingThatCannotGoOnSaysWhyAndEndsOnAWholeRow_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("reason");
        QTest::newRow("disk fills") << "disk fills" << systemReason(EFBIG);
        QTest::newRow("folder removed") << "folder removed" << systemReason(ENOENT);
        QTest::newRow("folder removed, then stopped") << "stopped" << systemReason(ENOENT);
    }
    void aRecordingThatCannotGoOnSaysWhyAndEndsOnAWholeRow()
    {
        QFETCH(QString, cause);
        QFETCH(QString, reason);
        fx.quiesce();
        fx.window->statusBar()->clearMessage();
        fx.tabs()->setCurrentIndex(MainWindow::MonitorTab);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("runs"));
        const QString path = folder + QStringLiteral("/rec.csv");
        QVERIFY(QDir().mkpath(folder));
        fx.dialogs->queueFileName(path);
        recordButton()->click();
        QVERIFY(recordButton()->isChecked());
        fx.worker()->setPollingPaused(false);
        QVERIFY(fx.waitPolls(2));

        const qint64 limit = QFileInfo(path).size() + 40;  // in the middle of a later row
        {
            const FullDisk disk(cause == QLatin1String("disk fills") ? limit : RLIM_INFINITY);
            QVERIFY(disk.active());
            if (cause != QLatin1String("disk fills")) {
                if (cause == QLatin1String("stopped"))
                    fx.quiesce();
                QVERIFY(QDir(folder).removeRecursively());
            }
            if (cause == QLatin1String("stopped"))
                recordButton()->click();
            QTRY_COMPARE(fx.dialogs->last().kind, ScriptedDialogs::Kind::Message);
            fx.worker()->setPollingPaused(true);
        }

        QVERIFY2(fx.dialogs->last().text.contains(reason), qPrintable(fx.dialogs->last().text));
        QVERIFY(!recordButton()->isChecked());
        QVERIFY2(statusText().isEmpty(), qPrintable(statusText()));
        if (cause == QLatin1String("disk fills")) {
            const QByteArray kept = fingerprint(path);
            QVERIFY(kept.size() <= limit && kept.endsWith('\n'));
            const QList<QByteArray> lines = kept.split('\n');
            const int columns = lines[lines.size() - 2].count(',');
            QCOMPARE(columns, 15);
        }
    }
};

VEXA_TEST_CLASS(FileOutputTest);
#include "tst_window_files.moc"
