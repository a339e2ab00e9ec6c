// The connection tab: the scan, connecting and disconnecting, the link
// counters, polling under each fault of the wire, an adapter unplugged mid-
// session and during Read All, and the language switch over every widget.

#include "dictionary.h"
#include "registers.h"
#include "serialport.h"
#include "testmain.h"
#include "windowfixture.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>

#include <algorithm>

namespace {

constexpr quint8 Station = 1;
constexpr quint8 Unrecognised = 2;

// Han characters; full-width punctuation belongs to some English texts too.
bool hasCjk(const QString &text)
{
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u >= 0x4E00 && u <= 0x9FFF)
            return true;
    }
    return false;
}

// Every text a widget shows: its text or title, tooltip, tab and header texts.
QStringList shownTexts(const QWidget *widget)
{
    QStringList texts{widget->toolTip()};
    if (auto *label = qobject_cast<const QLabel *>(widget))
        texts << label->text();
    if (auto *button = qobject_cast<const QAbstractButton *>(widget))
        texts << button->text();
    if (auto *box = qobject_cast<const QGroupBox *>(widget))
        texts << box->title();
    if (auto *tabs = qobject_cast<const QTabWidget *>(widget)) {
        for (int i = 0; i < tabs->count(); ++i)
            texts << tabs->tabText(i);
    }
    if (auto *table = qobject_cast<const QTableWidget *>(widget)) {
        for (int i = 0; i < table->columnCount(); ++i)
            texts << (table->horizontalHeaderItem(i) ? table->horizontalHeaderItem(i)->text() : QString());
    }
    texts.removeAll(QString());
    return texts;
}

}  // namespace

class WindowConnectionTest : public QObject
{
    Q_OBJECT

    WindowFixture fx;

    void reconnect()
    {
        fx.bus.setFaults(SimFaults());
        if (!fx.connected())
            QVERIFY2(fx.connectTo(Station), qPrintable(fx.failure()));
        fx.quiesce();
    }
    // The window after a lost connection: one warning box, the tab ready to scan.
    void expectDisconnectedWith(const QString &text)
    {
        QTRY_VERIFY_WITH_TIMEOUT(!fx.worker()->isRunning(), 10000);
        QTRY_VERIFY(!fx.connected());
        QCOMPARE(fx.dialogs->count(), 1);
        QCOMPARE(fx.dialogs->last().icon, QMessageBox::Warning);
        QCOMPARE(fx.dialogs->last().title, QStringLiteral("Disconnected"));
        if (!text.isEmpty())
            QCOMPARE(fx.dialogs->last().text, text);
        QCOMPARE(fx.find<QLabel>("lblConnectionStatus")->text(), QStringLiteral("Disconnected"));
        QVERIFY(fx.find<QAbstractButton>("btnScan")->isEnabled());
        QVERIFY(!fx.tabs()->isTabEnabled(MainWindow::MotionTab));
    }
    quint64 linkCounter(const char *name) const
    {
        const QRegularExpression number(QLatin1String(name) + QStringLiteral(" (\\d+)"));
        return number.match(fx.find<QLabel>("lblLinkHealth")->text()).captured(1).toULongLong();
    }

private Q_SLOTS:
    void initTestCase()
    {
        VEXA_REQUIRE(fx.startBus({WindowFixture::drive(Station), WindowFixture::drive(Unrecognised, 7)}),
                     "no pseudo-terminal for the simulated bus");
        QVERIFY2(fx.showWindow(QStringLiteral("en")), qPrintable(fx.failure()));
    }

    void emptyScanSaysSoInTheTableAndTheStatusBar()
    {
        fx.find<QComboBox>("cbPorts")->setEditText(fx.bus.portPath());
        SimFaults silent;
        silent.silent = true;
        fx.bus.setFaults(silent);
        QVERIFY2(fx.click("btnScan"), qPrintable(fx.failure()));
        fx.bus.setFaults(SimFaults());

        auto *table = fx.find<QTableWidget>("tableScan");
        const QString said = QStringLiteral("No drive answered on %1 (stations 1-16)").arg(fx.bus.portPath());
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(table->item(0, 0)->text(), said);
        QCOMPARE(fx.window->statusBar()->currentMessage(), said);
        // The line is no drive to connect to.
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualItemRect(table->item(0, 0)).center());
        QVERIFY(!fx.find<QAbstractButton>("btnConnect")->isEnabled());
        fx.chooseLanguage(QStringLiteral("zh"));
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("通訊埠 %1 上沒有裝置回應（站號 1-16）").arg(fx.bus.portPath()));
        fx.chooseLanguage(QStringLiteral("en"));
    }

    void scanOffersRecognisedDrivesAndConnects()
    {
        QVERIFY(!fx.tabs()->isTabEnabled(MainWindow::MonitorTab));
        fx.find<QComboBox>("cbPorts")->setEditText(fx.bus.portPath());
        QVERIFY2(fx.click("btnScan"), qPrintable(fx.failure()));

        auto *table = fx.find<QTableWidget>("tableScan");
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(0, 1)->text(), QStringLiteral("LXAZ-16L01-50-BC"));
        QCOMPARE(table->item(1, 1)->text(), translateKey(QStringLiteral("scan_unknownDevice"), QStringLiteral("en")));
        // The first recognised drive is chosen; the unrecognised one cannot be outside engineer mode.
        auto *chosen = fx.find<QLabel>("lblActiveStation");
        const QString first = chosen->text();
        QVERIFY(chosen->isVisible() && first.contains(QLatin1Char('1')));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualItemRect(table->item(1, 0)).center());
        QCOMPARE(chosen->text(), first);

        const int from = fx.mark();
        QVERIFY2(fx.click("btnConnect"), qPrintable(fx.failure()));
        QTRY_VERIFY(fx.connected());
        // After the identification, each tab reads once what it shows (the alarm word passes for a poll).
        fx.waitQuiet();
        const QString reads = fx.wire(from).join(QLatin1String("; "));
        QVERIFY2(reads.endsWith(QLatin1String("1 03 00D4 x1; 1 03 0012 x1; 1 03 000E x1; 1 03 000A x1")),
                 qPrintable(reads));
        QCOMPARE(fx.find<QLabel>("lblConnectionStatus")->text(), QStringLiteral("Connected"));
        QCOMPARE(fx.find<QLabel>("lblProductInfo")->text(), QStringLiteral("LXAZ-16L01-50-BC"));
        QVERIFY(!fx.find<QAbstractButton>("btnScan")->isEnabled());
        for (int tab = MainWindow::MonitorTab; tab <= MainWindow::AdvancedTab; ++tab)
            QVERIFY(fx.tabs()->isTabEnabled(tab));

        QVERIFY2(fx.disconnectWindow(), qPrintable(fx.failure()));
        QCOMPARE(fx.dialogs->count(), 0);
        QVERIFY(!fx.tabs()->isTabEnabled(MainWindow::MonitorTab));
        QCOMPARE(fx.find<QLabel>("lblProductInfo")->text(), QStringLiteral("---"));
        QCOMPARE(fx.tabs()->currentIndex(), int(MainWindow::ConnectionTab));
    }

    void linkCountersShowWhatTheWireDid()
    {
        reconnect();
        fx.bus.setFaults(faultsOf("drop 13"));
        fx.worker()->setPollingPaused(false);
        QTRY_VERIFY_WITH_TIMEOUT(linkCounter("timeouts") >= 2, 10000);
        fx.bus.setFaults(SimFaults());
        QVERIFY(linkCounter("requests") > linkCounter("replies"));
        QVERIFY(fx.connected());
    }

    void pollingUnderFaults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("disconnects");
        QTest::newRow("one reply in 7 dropped") << "drop 7" << false;
        QTest::newRow("noise before each reply") << "noise" << false;
        QTest::newRow("replies in pieces") << "split" << false;
        QTest::newRow("silence") << "silence" << true;
        QTest::newRow("bad CRC") << "bad CRC" << true;
        QTest::newRow("exception replies") << "exception" << true;
        QTest::newRow("late replies") << "slow" << true;
        QTest::newRow("another station answers") << "foreign" << true;
    }
    void pollingUnderFaults()
    {
        QFETCH(QString, fault);
        QFETCH(bool, disconnects);
        reconnect();
        fx.bus.setPositionMm(Station, 12.5);
        fx.bus.setFaults(faultsOf(qPrintable(fault)));
        QElapsedTimer clock;
        clock.start();
        fx.worker()->setPollingPaused(false);
        if (disconnects) {
            expectDisconnectedWith(fault == QLatin1String("silence")
                                       ? translateKey(QStringLiteral("err_timeout"), QStringLiteral("en"))
                                       : QString());
            QVERIFY(clock.elapsed() < 8000);
        } else {
            QVERIFY(fx.waitPolls(10));
            QVERIFY(fx.connected());
            QCOMPARE(fx.dialogs->count(), 0);
            QTRY_COMPARE(fx.find<QLabel>("lblPos")->text(), QStringLiteral("12.50"));
        }
        fx.bus.setFaults(SimFaults());
        fx.waitQuiet(faultsOf(qPrintable(fault)).replyDelayMs + 120);
    }

    void unpluggedAdapterEndsTheSessionWithItsOwnMessage()
    {
        reconnect();
        fx.worker()->setPollingPaused(false);
        const QString port = fx.bus.portPath();
        fx.bus.closePort();
        expectDisconnectedWith(translateKey(QStringLiteral("err_port_lost"), QStringLiteral("en")));
        QVERIFY(fx.dialogs->last().text != translateKey(QStringLiteral("err_timeout"), QStringLiteral("en")));

        // The vanished port cannot be scanned; a new adapter connects as after a fresh start.
        fx.dialogs->clear();
        QVERIFY2(fx.click("btnScan"), qPrintable(fx.failure()));
        QCOMPARE(fx.find<QTableWidget>("tableScan")->rowCount(), 0);
        QVERIFY(fx.window->statusBar()->currentMessage().contains(port));
        QVERIFY(fx.bus.start());
        QVERIFY2(fx.connectTo(Station), qPrintable(fx.failure()));
    }

    // The drive identified, then the worker could not open the port (taken in
    // between): the box says so in the window's language, with the reason.
    void aPortTheWorkerCannotOpenIsNamedInTheWindowsLanguage_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::newRow("English") << "en";
        QTest::newRow("Chinese") << "zh";
    }
    void aPortTheWorkerCannotOpenIsNamedInTheWindowsLanguage()
    {
        QFETCH(QString, lang);
        if (fx.connected())
            QVERIFY2(fx.disconnectWindow(), qPrintable(fx.failure()));
        fx.dialogs->clear();
        fx.chooseLanguage(lang);
        fx.worker()->setPortFactory([](const QString &port, PortOpenError *error) {
            error->kind = PortOpenError::Kind::NoPermission;
            error->port = port;
            return nullptr;
        });
        QVERIFY(!fx.connectTo(Station));
        fx.worker()->setPortFactory(openDrivePort);
        fx.chooseLanguage(QStringLiteral("en"));
        QCOMPARE(fx.dialogs->count(), 1);
        const QString shown = fx.dialogs->last().text;
        QVERIFY2(shown.startsWith(translateKey(QStringLiteral("err_port_open"), lang))
                     && shown.contains(translateKey(QStringLiteral("err_port_dialout"), lang).arg(fx.bus.portPath()))
                     && hasCjk(shown) == (lang == QLatin1String("zh")),
                 qPrintable(shown));
        QVERIFY(!fx.tabs()->isTabEnabled(MainWindow::MotionTab));
        fx.dialogs->clear();
    }

    void unplugDuringReadAllKeepsTheRowsAndDisconnects()
    {
        reconnect();
        fx.showTab(MainWindow::MotionTab);
        fx.setReg(Reg::Pos0Accel, 321);
        QVERIFY2(fx.click("btnReadAllParams"), qPrintable(fx.failure()));
        QCOMPARE(fx.find<QSpinBox>("spin_pos0Accel")->value(), 321);
        fx.setReg(Reg::Pos0Accel, 654);
        fx.quiesce();

        fx.bus.closePort();
        QVERIFY2(fx.click("btnReadAllParams"), qPrintable(fx.failure()));

        QCOMPARE(fx.find<QSpinBox>("spin_pos0Accel")->value(), 321);
        expectDisconnectedWith(translateKey(QStringLiteral("err_port_lost"), QStringLiteral("en")));
        QVERIFY(fx.bus.start());
    }

    void languageSwitchLeavesNoTextInTheOtherLanguage()
    {
        reconnect();
        QVERIFY2(fx.openEngineeringPage(), qPrintable(fx.failure()));
        fx.tabs()->setCurrentIndex(MainWindow::ConnectionTab);
        const QList<QWidget *> widgets = fx.window->findChildren<QWidget *>();
        // Chinese in both languages by design: the brand, a fixed tool tip, and the
        // factory page's captions (its translated texts are checked below).
        QWidget *factoryPage = fx.tabs()->widget(MainWindow::EngineeringTab);
        const QStringList fixedChinese{"lblTitle", "label_CopyRight", "lblJogSpeedTitle"};
        QHash<QWidget *, QStringList> english;
        QStringList left;
        for (QWidget *widget : widgets) {
            english.insert(widget, shownTexts(widget));
            if (fixedChinese.contains(widget->objectName()) || factoryPage->isAncestorOf(widget))
                continue;
            for (const QString &text : english.value(widget)) {
                if (hasCjk(text))
                    left << widget->objectName() + QLatin1String(": ") + text;
            }
        }
        QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char('\n'))));

        fx.chooseLanguage(QStringLiteral("zh"));
        QStringList untranslated;
        for (const char *name : {"btnScan", "btnDisconnect", "lblConnectionStatus", "mainTabs", "btnReadAllParams",
                                 "btnSaveParams", "btnHome", "btnStopMotion", "lblLinkHealth", "btnCmpRead",
                                 "btnCmpWrite", "btnLogin"}) {
            const QStringList texts = shownTexts(fx.widget(name));
            const bool chinese = std::any_of(texts.begin(), texts.end(), hasCjk);
            if (!chinese)
                untranslated << QLatin1String(name);
        }
        QVERIFY2(untranslated.isEmpty(), qPrintable(untranslated.join(QLatin1String(", "))));
        int changed = 0;
        for (QWidget *widget : widgets)
            changed += shownTexts(widget) != english.value(widget) ? 1 : 0;
        QVERIFY2(changed > 100, qPrintable(QString::number(changed)));
        fx.chooseLanguage(QStringLiteral("en"));
    }
};

VEXA_TEST_CLASS(WindowConnectionTest);
#include "tst_window_connection.moc"
