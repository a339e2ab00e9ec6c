#include "engineeringaccess.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

namespace {

void tapTimes(EngineeringAccess &access, int times)
{
    for (int i = 0; i < times; ++i)
        access.tap();
}

// What the timer does when five seconds pass without a tap.
void letFiveSecondsPass(EngineeringAccess &access)
{
    QVERIFY(access.tapResetTimer()->isActive());
    QMetaObject::invokeMethod(access.tapResetTimer(), "timeout");
}

}  // namespace

class EngineeringAccessTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void elevenTapsShowNothing()
    {
        EngineeringAccess access;
        QSignalSpy countdown(&access, &EngineeringAccess::countdown);
        QSignalSpy toggled(&access, &EngineeringAccess::engineerModeChanged);
        tapTimes(access, 11);
        QCOMPARE(countdown.count(), 0);
        QCOMPARE(toggled.count(), 0);
        QCOMPARE(access.tapCount(), 11);
    }

    void countdownRunsFromTheTwelfthTapAndTheSeventeenthToggles()
    {
        EngineeringAccess access;
        QSignalSpy countdown(&access, &EngineeringAccess::countdown);
        QSignalSpy toggled(&access, &EngineeringAccess::engineerModeChanged);
        tapTimes(access, 16);
        QCOMPARE(countdown.count(), 5);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(countdown.at(i).at(0).toInt(), 5 - i);
            QCOMPARE(countdown.at(i).at(1).toBool(), false);
        }
        QCOMPARE(toggled.count(), 0);
        access.tap();
        QCOMPARE(toggled.count(), 1);
        QCOMPARE(toggled.at(0).at(0).toBool(), true);
        QVERIFY(access.engineerMode());
        QCOMPARE(access.tapCount(), 0);
        QCOMPARE(countdown.count(), 5);
    }

    void withEngineerModeOnTheCountdownSaysExitAndTheToggleSwitchesOff()
    {
        EngineeringAccess access;
        tapTimes(access, 17);
        QSignalSpy countdown(&access, &EngineeringAccess::countdown);
        QSignalSpy toggled(&access, &EngineeringAccess::engineerModeChanged);
        tapTimes(access, 12);
        QCOMPARE(countdown.count(), 1);
        QCOMPARE(countdown.at(0).at(1).toBool(), true);
        tapTimes(access, 5);
        QCOMPARE(toggled.count(), 1);
        QCOMPARE(toggled.at(0).at(0).toBool(), false);
        QVERIFY(!access.engineerMode());
    }

    void pauseOfFiveSecondsStartsTheCountAgain()
    {
        EngineeringAccess access;
        QSignalSpy toggled(&access, &EngineeringAccess::engineerModeChanged);
        QCOMPARE(access.tapResetTimer()->interval(), 5000);
        QVERIFY(access.tapResetTimer()->isSingleShot());
        tapTimes(access, 10);
        letFiveSecondsPass(access);
        QCOMPARE(access.tapCount(), 0);
        tapTimes(access, 16);
        QCOMPARE(toggled.count(), 0);
        access.tap();
        QCOMPARE(toggled.count(), 1);
    }

    void everyTapRestartsTheResetTimer()
    {
        EngineeringAccess access;
        QVERIFY(!access.tapResetTimer()->isActive());
        access.tap();
        QVERIFY(access.tapResetTimer()->isActive());
        access.tapResetTimer()->stop();
        tapTimes(access, 12);
        QVERIFY(access.tapResetTimer()->isActive());
        access.tapResetTimer()->stop();
        tapTimes(access, 4);
        QVERIFY(access.tapResetTimer()->isActive());
    }

    void countdownText_data()
    {
        QTest::addColumn<int>("remaining");
        QTest::addColumn<bool>("exiting");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("text");
        QTest::newRow("en enable") << 5 << false << "en" << "Tap 5 more time(s) to enable engineer mode";
        QTest::newRow("en exit") << 1 << true << "en" << "Tap 1 more time(s) to exit engineer mode";
        QTest::newRow("zh enable") << 5 << false << "zh" << "再點 5 次啟用工程模式";
        QTest::newRow("zh exit") << 2 << true << "zh" << "再點 2 次退出工程模式";
        QTest::newRow("other language is English") << 3 << false << "de"
                                                   << "Tap 3 more time(s) to enable engineer mode";
    }
    void countdownText()
    {
        QFETCH(int, remaining);
        QFETCH(bool, exiting);
        QFETCH(QString, language);
        QFETCH(QString, text);
        QCOMPARE(EngineeringAccess::countdownText(remaining, exiting, language), text);
    }

    void password_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("right") << "VexaEng-2026" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("wrong") << "vexaeng-2026" << false;
        QTest::newRow("trailing space") << "VexaEng-2026 " << false;
        QTest::newRow("prefix") << "VexaEng-202" << false;
        QTest::newRow("the digest itself") << "c94e0153de4e193860b315d572bb0db6d24d458e40244a9b3bdc94691c2c5f52"
                                           << false;
    }
    void password()
    {
        QFETCH(QString, password);
        QFETCH(bool, accepted);
        QCOMPARE(EngineeringAccess::passwordAccepted(password), accepted);
    }
};

QTEST_GUILESS_MAIN(EngineeringAccessTest)
#include "tst_engineeringaccess.moc"
