// The window's command line, run as the installed program is: --help and
// --version answer without a display, and a start without one ends in one
// line naming what to set instead of an abort.

#include "testmain.h"

#include <QProcess>

class WindowCommandLineTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answersWithoutDisplay_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("platform");  // QT_QPA_PLATFORM; DISPLAY and WAYLAND_DISPLAY are always unset
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QString noDisplay = "DISPLAY|QT_QPA_PLATFORM";
        QTest::newRow("help") << QStringList{"--help"} << "" << 0 << "--demo-alarm <CODE[@SECONDS]>" << "";
        QTest::newRow("version") << QStringList{"--version"} << "xcb" << 0 << "vexa-actuator " VEXA_APP_VERSION "\n" << "";
        QTest::newRow("no platform") << QStringList{"--demo"} << "" << 1 << "" << noDisplay;
        QTest::newRow("x11 without DISPLAY") << QStringList{} << "xcb" << 1 << "" << noDisplay;
        QTest::newRow("unknown option") << QStringList{"--dmeo"} << "offscreen" << 1 << "" << "dmeo";
    }
    void answersWithoutDisplay()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, platform);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        environment.remove("QT_QPA_PLATFORM");
        if (!platform.isEmpty())
            environment.insert("QT_QPA_PLATFORM", platform);
        QProcess window;
        window.setProcessEnvironment(environment);
        window.start(VEXA_ACTUATOR, arguments);
        QVERIFY(window.waitForFinished(30000));
        const QString shownOut = QString::fromLocal8Bit(window.readAllStandardOutput());
        const QString shownErr = QString::fromLocal8Bit(window.readAllStandardError());
        QCOMPARE(window.exitStatus(), QProcess::NormalExit);
        QCOMPARE(window.exitCode(), code);
        QVERIFY2(out.isEmpty() ? shownOut.isEmpty() : shownOut.contains(out), qPrintable(shownOut));
        // One line on stderr, naming every word of `err`.
        QVERIFY2(err.isEmpty() ? shownErr.isEmpty() : shownErr.count('\n') == 1, qPrintable(shownErr));
        for (const QString &word : err.split('|', Qt::SkipEmptyParts))
            QVERIFY2(shownErr.contains(word), qPrintable(shownErr));
    }
};

VEXA_TEST_CLASS(WindowCommandLineTest);
#include "tst_window_commandline.moc"
