#include "engineeringfixture.h"

#include <QMouseEvent>
#include <QStackedWidget>
#include <QTimer>

using namespace EngFixture;

namespace {

// The engineer extras of the parameter tabs.
const char *const positionWarningRow[] = {"lblTitle_posWarn", "cur_posWarn",      "raw_posWarn",
                                          "param_spinPosWarnMm", "param_lblPosWarn", "btnWrite_posWarn",
                                          "btnRead_posWarn"};
const char *const rawAndHexWidgets[] = {
    "param_lblDynErr",       "param_lblStaErr",     "raw_dynErr",          "raw_staErr",
    "raw_homeTorque",        "lblHex_homeTorque",   "raw_pos0PushTorque",  "lblHex_pos0PushTorque",
    "raw_pos1PushTorque",    "lblHex_pos1PushTorque", "lblHex_softLimitCCW", "lblHex_softLimitCW",
    "raw_pos0Speed",         "raw_pos1Speed",       "lblHex_pos0Accel",    "lblHex_pos0Decel",
    "lblHex_pos0Speed",      "lblHex_pos0Pos",      "lblHex_pos1Accel",    "lblHex_pos1Decel",
    "lblHex_pos1Speed",      "lblHex_pos1Pos",      "raw_idleCurrent",     "raw_runCurrent",
    "raw_smoothMs",          "lblHex_dynErr",       "lblHex_staErr",       "lblHex_posWarn",
    "lblHex_idleCurrent",    "lblHex_runCurrent",   "lblHex_smoothMs",
};

void sendMouse(QWidget *target, QEvent::Type type)
{
    QMouseEvent event(type, QPointF(2, 2), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

}  // namespace

class EngAccessTest : public QObject
{
    Q_OBJECT

    // True when every extra is shown (and the warning row enabled), false
    // when every one is hidden (and the row disabled); fails on a mixture.
    static void verifyExtras(const Window &w, bool unlocked)
    {
        for (const char *name : positionWarningRow) {
            auto *widget = w.widget<QWidget>(name);
            QVERIFY2(widget->isHidden() == !unlocked, name);
            QVERIFY2(widget->isEnabled() == unlocked, name);
        }
        for (const char *name : rawAndHexWidgets)
            QVERIFY2(w.widget<QWidget>(name)->isHidden() == !unlocked, name);
    }

private Q_SLOTS:
    void init() { forgetSettings(); }

    void elevenTapsShowNothing()
    {
        Window w = makeWindow();
        tap(w, 11);
        QVERIFY(w.widget<QLabel>("label_SwVersion_Count")->text().isEmpty());
        QVERIFY(!w.tabs()->isTabVisible(MainWindow::EngineeringTab));
        QCOMPARE(w.dialogs->count(), 0);
    }

    void countdownFromTheTwelfthTap_data()
    {
        QTest::addColumn<int>("languageIndex");
        QTest::addColumn<QString>("twelfth");
        QTest::addColumn<QString>("sixteenth");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("enabled");
        QTest::newRow("zh") << 0 << "再點 5 次啟用工程模式" << "再點 1 次啟用工程模式" << "工程模式" << "工程模式已啟用";
        QTest::newRow("en") << 1 << "Tap 5 more time(s) to enable engineer mode"
                            << "Tap 1 more time(s) to enable engineer mode" << "Engineer Mode"
                            << "Engineer mode enabled";
    }
    void countdownFromTheTwelfthTap()
    {
        QFETCH(int, languageIndex);
        QFETCH(QString, twelfth);
        QFETCH(QString, sixteenth);
        QFETCH(QString, title);
        QFETCH(QString, enabled);

        Window w = makeWindow();
        w.widget<QComboBox>("cbLanguage")->setCurrentIndex(languageIndex);
        auto *count = w.widget<QLabel>("label_SwVersion_Count");

        tap(w, 12);
        QCOMPARE(count->text(), twelfth);
        tap(w, 4);
        QCOMPARE(count->text(), sixteenth);
        QCOMPARE(w.dialogs->count(), 0);
        QVERIFY(!w.tabs()->isTabVisible(MainWindow::EngineeringTab));

        bool tabVisibleWhenTold = false;
        w.dialogs->onShow = [&](const ScriptedDialogs::Shown &) {
            tabVisibleWhenTold = w.tabs()->isTabVisible(MainWindow::EngineeringTab);
        };
        tap(w, 1);
        QCOMPARE(w.dialogs->count(), 1);
        QCOMPARE(w.dialogs->last().icon, QMessageBox::Information);
        QCOMPARE(w.dialogs->last().title, title);
        QCOMPARE(w.dialogs->last().text, enabled);
        QVERIFY(tabVisibleWhenTold);
        QCOMPARE(w.access()->tapCount(), 0);
    }

    void countdownTextGoesAwayByItself()
    {
        Window w = makeWindow();
        auto *count = w.widget<QLabel>("label_SwVersion_Count");
        tap(w, 12);
        QVERIFY(!count->text().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(count->text().isEmpty(), 10000);
    }

    void withEngineerModeOnTheCountdownSaysExit()
    {
        Window w = makeWindow();
        toggleEngineerMode(w);
        tap(w, 12);
        QCOMPARE(w.widget<QLabel>("label_SwVersion_Count")->text(), QStringLiteral("再點 5 次退出工程模式"));
        tap(w, 5);
        QVERIFY(!w.tabs()->isTabVisible(MainWindow::EngineeringTab));
        QCOMPARE(w.dialogs->last().text, QStringLiteral("工程模式已退出"));
    }

    void pressesAndDoubleClicksCountOtherMouseEventsDoNot()
    {
        Window w = makeWindow();
        auto *label = w.widget<QLabel>("label_SwVersion");
        for (int i = 0; i < 40; ++i) {
            sendMouse(label, QEvent::MouseButtonRelease);
            sendMouse(label, QEvent::MouseMove);
        }
        QCOMPARE(w.access()->tapCount(), 0);
        for (int i = 0; i < 8; ++i)
            sendMouse(label, QEvent::MouseButtonPress);
        for (int i = 0; i < 8; ++i)
            sendMouse(label, QEvent::MouseButtonDblClick);
        QVERIFY(!w.tabs()->isTabVisible(MainWindow::EngineeringTab));
        sendMouse(label, QEvent::MouseButtonPress);
        QVERIFY(w.tabs()->isTabVisible(MainWindow::EngineeringTab));
    }

    void tapsOnOtherWidgetsDoNotCount()
    {
        Window w = makeWindow();
        for (int i = 0; i < 20; ++i)
            QTest::mouseClick(w.widget<QLabel>("label_SwVersion_Count"), Qt::LeftButton);
        QCOMPARE(w.access()->tapCount(), 0);
    }

    void aPauseOfFiveSecondsStartsTheCountAgain()
    {
        Window w = makeWindow();
        tap(w, 10);
        QTimer *reset = w.access()->tapResetTimer();
        QVERIFY(reset->isActive());
        QCOMPARE(reset->interval(), 5000);
        QVERIFY(reset->isSingleShot());

        // What the timer does when five seconds pass without a tap.
        reset->stop();
        QMetaObject::invokeMethod(reset, "timeout");

        tap(w, 16);
        QVERIFY(!w.tabs()->isTabVisible(MainWindow::EngineeringTab));
        QCOMPARE(w.dialogs->count(), 0);
        tap(w, 1);
        QVERIFY(w.tabs()->isTabVisible(MainWindow::EngineeringTab));
    }

    void eachTapRestartsTheFiveSeconds()
    {
        Window w = makeWindow();
        QTimer *reset = w.access()->tapResetTimer();
        tap(w, 1);
        reset->stop();
        tap(w, 1);
        QVERIFY(reset->isActive());
        QCOMPARE(w.access()->tapCount(), 2);
    }

    void wrongOrEmptyPasswordShowsTheErrorAndStaysLocked_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("empty") << "";
        QTest::newRow("wrong") << "not-the-password";
        QTest::newRow("trailing blank") << Password + QLatin1Char(' ');
    }
    void wrongOrEmptyPasswordShowsTheErrorAndStaysLocked()
    {
        QFETCH(QString, password);
        Window w = makeWindow();
        openWithoutDrive(w);
        toggleEngineerMode(w);
        auto *error = w.widget<QLabel>("engPwdError");
        QVERIFY(error->isHidden());

        typePassword(w, password);

        QVERIFY(!error->isHidden());
        QCOMPARE(error->text(), QStringLiteral("密碼錯誤或權限不足"));
        QCOMPARE(w.widget<QStackedWidget>("engStack")->currentIndex(), 0);
        QCOMPARE(w.widget<QLineEdit>("engPassword")->text(), password);
        verifyExtras(w, false);
        QTRY_VERIFY_WITH_TIMEOUT(error->isHidden(), 10000);
    }

    void rightPasswordOpensTheContentPageAndTheExtras()
    {
        Window w = makeWindow();
        openWithoutDrive(w);
        toggleEngineerMode(w);
        verifyExtras(w, false);

        w.widget<QLineEdit>("engPassword")->setText(Password);
        QTest::keyClick(w.widget<QLineEdit>("engPassword"), Qt::Key_Return);

        QCOMPARE(w.widget<QStackedWidget>("engStack")->currentWidget()->objectName(), QStringLiteral("pageContent"));
        QVERIFY(w.widget<QLabel>("engPwdError")->isHidden());
        verifyExtras(w, true);
        QCOMPARE(w.widget<QTableWidget>("cmpTable")->rowCount(), 128);
    }

    void switchingEngineerModeOffForgetsTheLogin()
    {
        Window w = makeWindow();
        openWithoutDrive(w);
        toggleEngineerMode(w);
        typePassword(w, Password);
        verifyExtras(w, true);

        toggleEngineerMode(w);
        verifyExtras(w, false);
        QCOMPARE(w.widget<QStackedWidget>("engStack")->currentIndex(), 0);
        QVERIFY(w.widget<QLineEdit>("engPassword")->text().isEmpty());

        toggleEngineerMode(w);
        QCOMPARE(w.widget<QStackedWidget>("engStack")->currentIndex(), 0);
        verifyExtras(w, false);
    }

    void extrasStayHiddenWithoutEngineerModeWhateverThePage()
    {
        Window w = makeWindow();
        openWithoutDrive(w);
        // The page cannot be reached without the tab; even a correct password
        // typed into it unlocks nothing while engineer mode is off.
        typePassword(w, Password);
        verifyExtras(w, false);
        toggleEngineerMode(w);
        verifyExtras(w, false);
    }

    void leavingTheTabLocksThePageButKeepsTheExtras()
    {
        SimBus bus;
        SimDriveConfig drive;
        drive.station = 3;
        bus.addDrive(drive);
        if (!bus.start())
            QSKIP("no pseudo-terminal for the simulated bus");
        Window w = makeWindow();
        QVERIFY(connectTo(w, bus, 3));
        toggleEngineerMode(w);
        w.tabs()->setCurrentIndex(MainWindow::EngineeringTab);
        QCOMPARE(w.tabs()->currentIndex(), int(MainWindow::EngineeringTab));
        typePassword(w, Password);
        QCOMPARE(w.widget<QStackedWidget>("engStack")->currentIndex(), 1);

        w.tabs()->setCurrentIndex(MainWindow::MonitorTab);
        QCOMPARE(w.widget<QStackedWidget>("engStack")->currentIndex(), 0);
        QVERIFY(w.widget<QLineEdit>("engPassword")->text().isEmpty());
        verifyExtras(w, true);

        QApplication::setActiveWindow(w.window.get());
        w.widget<QAbstractButton>("btnLogin")->setFocus();
        w.tabs()->setCurrentIndex(MainWindow::EngineeringTab);
        QCOMPARE(w.widget<QStackedWidget>("engStack")->currentIndex(), 0);
        QTRY_VERIFY(w.widget<QLineEdit>("engPassword")->hasFocus());
    }

    void switchingOffOnTheEngineeringTabGoesToTheFirstTab()
    {
        SimBus bus;
        SimDriveConfig drive;
        drive.station = 3;
        bus.addDrive(drive);
        if (!bus.start())
            QSKIP("no pseudo-terminal for the simulated bus");
        Window w = makeWindow();
        QVERIFY(connectTo(w, bus, 3));
        toggleEngineerMode(w);
        w.tabs()->setCurrentIndex(MainWindow::EngineeringTab);
        typePassword(w, Password);

        int tabWhenTold = -1;
        w.dialogs->onShow = [&](const ScriptedDialogs::Shown &) { tabWhenTold = w.tabs()->currentIndex(); };
        toggleEngineerMode(w);

        QCOMPARE(w.dialogs->last().text, QStringLiteral("工程模式已退出"));
        QCOMPARE(tabWhenTold, int(MainWindow::ConnectionTab));
        QCOMPARE(w.tabs()->currentIndex(), int(MainWindow::ConnectionTab));
        QVERIFY(!w.tabs()->isTabVisible(MainWindow::EngineeringTab));
        // A recognised drive stays connected.
        QVERIFY(w.widget<QAbstractButton>("btnDisconnect")->isEnabled());
        QVERIFY(w.worker()->isRunning());
    }

    void unrecognisedScanRowsAreSelectableOnlyInEngineerMode()
    {
        SimBus bus;
        SimDriveConfig known;
        known.station = 1;
        bus.addDrive(known);
        SimDriveConfig foreign;
        foreign.station = 5;
        foreign.familyCode = 9;
        bus.addDrive(foreign);
        if (!bus.start())
            QSKIP("no pseudo-terminal for the simulated bus");
        Window w = makeWindow();
        QVERIFY(scan(w, bus, 5));
        auto *table = w.widget<QTableWidget>("tableScan");
        const int row = scanRowOf(w, 5);
        QCOMPARE(table->item(row, 0)->flags() & Qt::ItemIsSelectable, Qt::ItemFlags());
        QCOMPARE(table->item(row, 0)->foreground().color(), QColor(0x99, 0x99, 0x99));

        toggleEngineerMode(w);
        for (int column = 0; column < table->columnCount(); ++column) {
            QVERIFY(table->item(row, column)->flags() & Qt::ItemIsSelectable);
            QVERIFY(table->item(row, column)->flags() & Qt::ItemIsEnabled);
        }
        // The recognised row keeps its look.
        QCOMPARE(table->item(scanRowOf(w, 1), 0)->foreground().color(), QColor(0, 0, 0));

        clickScanRow(w, row);
        auto *active = w.widget<QLabel>("lblActiveStation");
        QVERIFY(!active->isHidden());
        QVERIFY(active->text().contains("(5)"));

        toggleEngineerMode(w);
        QCOMPARE(table->item(row, 0)->flags() & Qt::ItemIsSelectable, Qt::ItemFlags());
        QVERIFY(active->isHidden());
        QVERIFY(!w.widget<QAbstractButton>("btnConnect")->isEnabled());
        QVERIFY(table->selectedItems().isEmpty());
    }

    void leavingEngineerModeKeepsARecognisedSelection()
    {
        SimBus bus;
        SimDriveConfig known;
        known.station = 1;
        bus.addDrive(known);
        if (!bus.start())
            QSKIP("no pseudo-terminal for the simulated bus");
        Window w = makeWindow();
        QVERIFY(scan(w, bus, 1));
        toggleEngineerMode(w);
        toggleEngineerMode(w);
        QVERIFY(!w.widget<QLabel>("lblActiveStation")->isHidden());
        QVERIFY(w.widget<QAbstractButton>("btnConnect")->isEnabled());
    }

    void leavingEngineerModeDisconnectsAnUnrecognisedDrive()
    {
        SimBus bus;
        SimDriveConfig foreign;
        foreign.station = 5;
        foreign.familyCode = 9;
        bus.addDrive(foreign);
        if (!bus.start())
            QSKIP("no pseudo-terminal for the simulated bus");
        Window w = makeWindow();
        toggleEngineerMode(w);
        QVERIFY(connectTo(w, bus, 5));
        w.tabs()->setCurrentIndex(MainWindow::EngineeringTab);

        toggleEngineerMode(w);

        QTRY_VERIFY(!w.widget<QAbstractButton>("btnDisconnect")->isEnabled());
        QTRY_VERIFY(!w.worker()->isRunning());
        QCOMPARE(w.tabs()->currentIndex(), int(MainWindow::ConnectionTab));
        QCOMPARE(w.dialogs->last().text, QStringLiteral("工程模式已退出"));
    }
};

int main(int argc, char *argv[])
{
    return EngFixture::runIsolated<EngAccessTest>(argc, argv);
}

#include "tst_engaccess.moc"
