// Reconnecting after a lost link: the drive silent for a while, another drive
// at the station, the TCP converter restarted, the time limit run out; and
// how a USB adapter that came back under another name is found.

#include "adapterlocator.h"
#include "dictionary.h"
#include "serialport.h"
#include "testmain.h"
#include "windowfixture.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QJsonObject>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>

namespace {
constexpr quint8 Station = 1;
constexpr int LossWaitMs = 15000;  // three failed polling cycles, then the first try
const QString En = QStringLiteral("en");
}  // namespace

class WindowReconnectTest : public QObject
{
    Q_OBJECT

    WindowFixture fx;

    QTableWidget *events() const { return fx.window->findChild<QTableWidget *>(QStringLiteral("tableEvents")); }
    // "event" or "event (reason)" for each record of the Events view from row on.
    QStringList eventsSince(int row) const
    {
        QStringList shown;
        for (; row < events()->rowCount(); ++row) {
            const QJsonObject record = events()->item(row, 0)->data(Qt::UserRole).toJsonObject();
            const QString reason = record.value(QStringLiteral("reason")).toString();
            shown << record.value(QStringLiteral("event")).toString() + (reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason));
        }
        return shown;
    }
    QString status() const { return fx.find<QLabel>("lblConnectionStatus")->text(); }
    // Connected with reconnecting on and the given limit, polling running.
    void connectWithReconnect(int limitSeconds)
    {
        fx.bus.setFaults(SimFaults());
        if (!fx.connected())
            QVERIFY2(fx.connectTo(Station), qPrintable(fx.failure()));
        fx.find<QSpinBox>("spinReconnectLimit")->setValue(limitSeconds);
        fx.find<QCheckBox>("chkReconnect")->setChecked(true);
        fx.quiesce();
        fx.worker()->setPollingPaused(false);
    }
    // The link lost: the window says so, keeps every tab visible and takes no input on them.
    void expectReconnecting()
    {
        QTRY_COMPARE_WITH_TIMEOUT(status(), translateKey(QStringLiteral("lblStatus_reconnecting"), En), LossWaitMs);
        QVERIFY(fx.tabs()->isTabEnabled(MainWindow::MotionTab));
        QVERIFY(!fx.tabs()->widget(MainWindow::MotionTab)->isEnabled());
        QCOMPARE(fx.window->statusBar()->currentMessage(), translateKey(QStringLiteral("reconnect_refused"), En));
        QCOMPARE(fx.dialogs->count(), 0);
    }
    void expectResumed()
    {
        QTRY_COMPARE_WITH_TIMEOUT(status(), translateKey(QStringLiteral("lblStatus_ok"), En), LossWaitMs);
        QVERIFY(fx.tabs()->widget(MainWindow::MotionTab)->isEnabled());
        QVERIFY(fx.waitPolls(2));
        QCOMPARE(fx.dialogs->count(), 0);
    }
    void expectDisconnectedBox(const QString &text)
    {
        QTRY_VERIFY_WITH_TIMEOUT(!fx.connected(), LossWaitMs);
        QCOMPARE(fx.dialogs->count(), 1);
        QCOMPARE(fx.dialogs->last().title, QStringLiteral("Disconnected"));
        QCOMPARE(fx.dialogs->last().text, text);
        QCOMPARE(status(), translateKey(QStringLiteral("lblStatus_err"), En));
        QVERIFY(!fx.tabs()->isTabEnabled(MainWindow::MotionTab));
    }

private Q_SLOTS:
    void initTestCase()
    {
        VEXA_REQUIRE(fx.startBus({WindowFixture::drive(Station)}), "no pseudo-terminal for the simulated bus");
        QVERIFY2(fx.showWindow(En), qPrintable(fx.failure()));
    }
    // Later classes of the program expect today's behaviour.
    void cleanupTestCase() { fx.find<QCheckBox>("chkReconnect")->setChecked(false); }

    void choiceIsOffAtFirstAndRemembered()
    {
        QVERIFY(!fx.find<QCheckBox>("chkReconnect")->isChecked());
        QCOMPARE(fx.find<QSpinBox>("spinReconnectLimit")->value(), 60);
        fx.find<QCheckBox>("chkReconnect")->setChecked(true);
        fx.find<QSpinBox>("spinReconnectLimit")->setValue(25);
        QVERIFY2(fx.showWindow(En), qPrintable(fx.failure()));
        QVERIFY(fx.find<QCheckBox>("chkReconnect")->isChecked());
        QCOMPARE(fx.find<QSpinBox>("spinReconnectLimit")->value(), 25);
    }

    void silentDriveResumesWithItsRomNoticeAndNothingReplayed()
    {
        connectWithReconnect(30);
        fx.showTab(MainWindow::MotionTab);
        qobject_cast<QAbstractSpinBox *>(fx.widget("spin_homeTorque"))->stepBy(1);
        QVERIFY2(fx.click("btnWrite_homeTorque"), qPrintable(fx.failure()));
        QVERIFY(fx.widget("lblUnsavedRom")->isVisible());
        const int from = fx.mark();
        const int firstEvent = events()->rowCount();

        SimFaults silent;
        silent.silent = true;
        fx.bus.setFaults(silent);
        expectReconnecting();
        QVERIFY(!fx.widget("lblReconnectProgress")->isHidden());
        QTest::qWait(2000);
        fx.bus.setFaults(SimFaults());
        expectResumed();
        QVERIFY(fx.widget("lblUnsavedRom")->isVisible());
        QCOMPARE(fx.tabs()->currentIndex(), int(MainWindow::MotionTab));
        // Identification and polling only: the write is not sent again, nor anything else.
        QCOMPARE(fx.writes(from), QStringList());
        QCOMPARE(eventsSince(firstEvent), QStringList({"link lost (ERR_TIMEOUT)", "reconnected"}));
        QVERIFY(fx.click("btnSaveParams"));
    }

    void anotherDriveAtTheStationIsNotResumed()
    {
        connectWithReconnect(30);
        const int firstEvent = events()->rowCount();
        SimFaults silent;
        silent.silent = true;
        fx.bus.setFaults(silent);
        expectReconnecting();
        SimDriveConfig other = WindowFixture::drive(Station);
        other.hardware = QStringLiteral("H3");
        fx.bus.addDrive(other);
        fx.bus.setFaults(SimFaults());
        expectDisconnectedBox(translateKey(QStringLiteral("err_drive_differs"), En)
                                  .arg(Station)
                                  .arg(QStringLiteral("hardware version: H2 → H3")));
        QCOMPARE(eventsSince(firstEvent),
                 QStringList({"link lost (ERR_TIMEOUT)", "reconnect given up (ERR_DRIVE_DIFFERS)"}));
        fx.bus.addDrive(WindowFixture::drive(Station));
    }

    void timeLimitRunOutEndsWithTheDisconnectedBox()
    {
        connectWithReconnect(1);
        const int firstEvent = events()->rowCount();
        SimFaults silent;
        silent.silent = true;
        fx.bus.setFaults(silent);
        expectReconnecting();
        expectDisconnectedBox(translateKey(QStringLiteral("err_timeout"), En));
        QCOMPARE(eventsSince(firstEvent), QStringList({"link lost (ERR_TIMEOUT)", "reconnect given up (ERR_TIMEOUT)"}));
        fx.bus.setFaults(SimFaults());
    }

    void restartedTcpConverterReconnects()
    {
        fx.bus.stop();
        QVERIFY(fx.bus.startTcp(0));
        connectWithReconnect(30);
        const quint16 port = DriveAddress::parse(fx.bus.portPath()).port;
        fx.bus.closePort();
        expectReconnecting();
        QVERIFY(fx.bus.startTcp(port));
        expectResumed();
    }

    void movedAdapterIsFoundByItsSerialNumberOrElseItsKind_data()
    {
        QTest::addColumn<QString>("wantedSerial");
        QTest::addColumn<QString>("found");
        QTest::newRow("still there") << QStringLiteral("A1") << QStringLiteral("ttyUSB0");
        QTest::newRow("by serial number") << QStringLiteral("B2") << QStringLiteral("ttyUSB3");
        QTest::newRow("serial number gone") << QStringLiteral("C3") << QString();
        QTest::newRow("no serial: VID:PID and description") << QString() << QStringLiteral("ttyUSB4");
    }
    void movedAdapterIsFoundByItsSerialNumberOrElseItsKind()
    {
        QFETCH(QString, wantedSerial);
        QFETCH(QString, found);
        const AdapterIdentity wanted{wantedSerial == QLatin1String("A1") ? QStringLiteral("ttyUSB0")
                                                                          : QStringLiteral("ttyUSB1"),
                                     wantedSerial, 0x0403, 0x6001, QStringLiteral("FT232R")};
        const QVector<AdapterIdentity> present = {
            {QStringLiteral("ttyUSB0"), QStringLiteral("A1"), 0x0403, 0x6001, QStringLiteral("FT232R")},
            {QStringLiteral("ttyUSB2"), QString(), 0x0403, 0x6001, QStringLiteral("FT232R other")},
            {QStringLiteral("ttyUSB3"), QStringLiteral("B2"), 0x1a86, 0x7523, QStringLiteral("CH340")},
            {QStringLiteral("ttyUSB4"), QString(), 0x0403, 0x6001, QStringLiteral("FT232R")},
        };
        QCOMPARE(AdapterLocator::pick(wanted, present), found);
    }
};

VEXA_TEST_CLASS(WindowReconnectTest);
#include "tst_window_reconnect.moc"
