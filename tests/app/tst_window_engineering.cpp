// The engineering tab through its widgets: the password digest and the gate,
// the compare read, write and save on the wire, under faults, the listing
// import, and the maintenance commands.

#include "engineeringaccess.h"
#include "registers.h"
#include "testmain.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>

namespace {

constexpr quint8 Station = 1;
constexpr quint8 OtherStation = 2;
const QStringList BlockReads{"1 03 012C x98", "1 03 018E x100", "1 03 01F2 x99", "1 03 0255 x3"};

QVector<quint16> blockWords(const SimBus &bus)
{
    QVector<quint16> words;
    for (int i = 0; i < Reg::PowerOnBlockWords; ++i)
        words << bus.registerValue(Station, quint16(Reg::PowerOnBlockStart + i));
    return words;
}

}  // namespace

class WindowEngineeringTest : public QObject
{
    Q_OBJECT

    WindowFixture fx;

    QTableWidget *table() const { return fx.find<QTableWidget>("cmpTable"); }
    // The status column's sign: '+' match, '!' differs, 'x' error, '?' not read.
    QString statuses() const
    {
        QString signs;
        for (int row = 0; row < table()->rowCount(); ++row) {
            const QString status = table()->item(row, 4) ? table()->item(row, 4)->text() : QString();
            signs += status.startsWith(QChar(0x2714))   ? '+'
                     : status.startsWith(QChar(0x26A0)) ? '!'
                     : status.startsWith(QChar(0x2716)) ? 'x'
                                                        : '?';
        }
        return signs;
    }
    // The block the other way round from what a write would put there.
    void invertBlock()
    {
        for (int i = 0; i < Reg::PowerOnBlockWords; ++i) {
            const quint16 address = quint16(Reg::PowerOnBlockStart + i);
            fx.bus.setRegisterValue(Station, address, quint16(~fx.bus.registerValue(Station, address)));
        }
    }

private Q_SLOTS:
    void digestIsSha256OfTheUtf8Text_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("digest");
        QTest::newRow("abc") << "abc" << QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        QTest::newRow("empty") << "" << QByteArray("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
        QTest::newRow("two blocks")
            << "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"
            << QByteArray("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    }
    void digestIsSha256OfTheUtf8Text()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, digest);
        QCOMPARE(EngineeringAccess::sha256Hex(text), digest);
    }

    void shippedCheckRejectsTheTestPassword()
    {
        EngineeringAccess shipped;
        QVERIFY(!shipped.passwordAccepted(WindowFixture::TestPassword));
        QVERIFY(!shipped.passwordAccepted(QString::fromLatin1(EngineeringAccess::factoryPasswordDigest())));
        shipped.setPasswordDigest(EngineeringAccess::sha256Hex(WindowFixture::TestPassword).toUpper());
        QVERIFY(shipped.passwordAccepted(WindowFixture::TestPassword));
        QVERIFY(!shipped.passwordAccepted(WindowFixture::TestPassword + QLatin1Char(' ')));
    }

    void initTestCase()
    {
        VEXA_REQUIRE(fx.startBus({WindowFixture::drive(Station), WindowFixture::drive(OtherStation)}),
                     "no pseudo-terminal for the simulated bus");
        QVERIFY2(fx.showWindow(QStringLiteral("en")), qPrintable(fx.failure()));
        QVERIFY2(fx.connectTo(Station), qPrintable(fx.failure()));
    }

    void init() { fx.quiesce(); }

    void tapsAndPasswordOpenThePageAndTheExtras()
    {
        auto *label = fx.find<QLabel>("label_SwVersion");
        auto *countdown = fx.find<QLabel>("label_SwVersion_Count");
        auto *extra = fx.widget("param_spinPosWarnMm");
        for (int i = 1; i < EngineeringAccess::TapsToToggle; ++i) {
            QTest::mouseClick(label, Qt::LeftButton);
            QCOMPARE(countdown->text().isEmpty(), i < EngineeringAccess::CountdownFromTap);
        }
        QVERIFY(countdown->text().contains(QLatin1String("1")));
        QVERIFY(!fx.tabs()->isTabVisible(MainWindow::EngineeringTab));
        QTest::mouseClick(label, Qt::LeftButton);
        QVERIFY(fx.tabs()->isTabVisible(MainWindow::EngineeringTab));
        QCOMPARE(fx.dialogs->last().text, QStringLiteral("Engineer mode enabled"));

        fx.tabs()->setCurrentIndex(MainWindow::EngineeringTab);
        auto *password = fx.find<QLineEdit>("engPassword");
        for (const QString &wrong : {QString(), WindowFixture::TestPassword.toUpper()}) {
            password->setText(wrong);
            QTest::keyClick(password, Qt::Key_Return);
            QVERIFY(fx.find<QLabel>("engPwdError")->isVisible());
            QCOMPARE(fx.find<QStackedWidget>("engStack")->currentIndex(), 0);
            QVERIFY(extra->isHidden());
        }
        password->setText(WindowFixture::TestPassword);
        QTest::keyClick(password, Qt::Key_Return);
        QCOMPARE(fx.find<QStackedWidget>("engStack")->currentIndex(), 1);
        QVERIFY(!extra->isHidden());
        QVERIFY(table()->rowCount() > 0);

        // Seventeen taps more close the mode and forget the login.
        for (int i = 0; i < EngineeringAccess::TapsToToggle; ++i)
            QTest::mouseClick(label, Qt::LeftButton);
        QVERIFY(!fx.tabs()->isTabVisible(MainWindow::EngineeringTab));
        QVERIFY(extra->isHidden());
        QCOMPARE(fx.dialogs->last().text, QStringLiteral("Engineer mode exited"));
        QVERIFY(fx.connected());
        QVERIFY2(fx.openEngineeringPage(), qPrintable(fx.failure()));
    }

    void compareReadWriteAndSaveOnTheWire()
    {
        QVERIFY2(fx.openEngineeringPage(), qPrintable(fx.failure()));
        QCOMPARE(fx.find<QSpinBox>("cmpSlaveId")->value(), int(Station));
        invertBlock();
        const QVector<quint16> before = blockWords(fx.bus);

        QVERIFY2(fx.click("btnCmpRead"), qPrintable(fx.failure()));
        QCOMPARE(fx.wire(), BlockReads);
        QVERIFY(!statuses().contains('+') && !statuses().contains('?') && !statuses().contains('x'));
        QCOMPARE(blockWords(fx.bus), before);

        fx.quiesce();
        QVERIFY2(fx.click("btnCmpWrite"), qPrintable(fx.failure()));
        QStringList heads;
        for (const QString &line : fx.wire())
            heads << line.left(9);
        // Each group is read back after its write.
        QCOMPARE(heads, (QStringList{"1 10 012C", "1 03 012C", "1 10 018E", "1 03 018E", "1 10 01F2", "1 03 01F2",
                                     "1 10 0255", "1 03 0255"}));
        QCOMPARE(statuses(), QString(table()->rowCount(), '+'));

        // What was written reads back as a match, word for word.
        const QVector<quint16> written = blockWords(fx.bus);
        QVERIFY(written != before);
        fx.quiesce();
        QVERIFY2(fx.click("btnCmpRead"), qPrintable(fx.failure()));
        QCOMPARE(statuses(), QString(table()->rowCount(), '+'));
        QCOMPARE(blockWords(fx.bus), written);

        fx.quiesce();
        QVERIFY2(fx.click("btnCmpSave"), qPrintable(fx.failure()));
        QCOMPARE(fx.writes(), QStringList{"1 06 00DC = 0001"});
        QVERIFY(!fx.worker()->isPollingPaused());
        QVERIFY(fx.find<QTextEdit>("cmpLogs")->toPlainText().contains(QLatin1String("TX > ")));
    }

    void anotherStationOnlyAfterYes_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }
    void anotherStationOnlyAfterYes()
    {
        QFETCH(bool, yes);
        QVERIFY2(fx.openEngineeringPage(), qPrintable(fx.failure()));
        auto *slave = fx.find<QSpinBox>("cmpSlaveId");
        slave->setValue(OtherStation);
        fx.dialogs->queueAnswer(yes ? QMessageBox::Yes : QMessageBox::No);
        QVERIFY2(fx.click("btnCmpRead"), qPrintable(fx.failure()));
        slave->setValue(Station);

        QCOMPARE(fx.dialogs->count(), 1);
        QCOMPARE(fx.dialogs->last().title, QStringLiteral("Station Mismatch"));
        QCOMPARE(fx.dialogs->last().buttons, QMessageBox::Yes | QMessageBox::No);
        QStringList expected;
        if (yes) {
            for (const QString &read : BlockReads)
                expected << QLatin1Char('2') + read.mid(1);
        }
        QCOMPARE(fx.wire(), expected);
    }

    void compareUnderFaults_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("outcome");  // a sign per listing row, as statuses()
        QTest::addColumn<bool>("driveWritten");
        QTest::newRow("read, silence") << "btnCmpRead" << "silence" << "xxx" << false;
        QTest::newRow("read, bad CRC") << "btnCmpRead" << "bad CRC" << "xxx" << false;
        QTest::newRow("read, exception") << "btnCmpRead" << "exception" << "xxx" << false;
        QTest::newRow("read, 2nd reply dropped") << "btnCmpRead" << "drop 2" << "!!x" << false;
        QTest::newRow("write, silence") << "btnCmpWrite" << "silence" << "xxx" << false;
        QTest::newRow("write, exception") << "btnCmpWrite" << "exception" << "xxx" << false;
        // Carried out, but never shown as a match without the drive's echo.
        QTest::newRow("write, bad CRC") << "btnCmpWrite" << "bad CRC" << "xxx" << true;
        // Every second reply lost: each write's read-back, so no group is confirmed.
        QTest::newRow("write, 2nd reply dropped") << "btnCmpWrite" << "drop 2" << "xxx" << true;
    }
    void compareUnderFaults()
    {
        QFETCH(QString, button);
        QFETCH(QString, fault);
        QFETCH(QString, outcome);
        QFETCH(bool, driveWritten);
        QVERIFY2(fx.openEngineeringPage(), qPrintable(fx.failure()));
        // Three rows in two requests; the drive holds each word the other way round.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("listing.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("012C 0001 02 1234\n012D 0001 02 5678\n0200 0001 02 9ABC\n");
        file.close();
        fx.dialogs->queueFileName(path);
        QVERIFY2(fx.click("btnCmpImp"), qPrintable(fx.failure()));
        const QVector<quint16> addresses{0x012C, 0x012D, 0x0200};
        const QVector<quint16> listed{0x1234, 0x5678, 0x9ABC};
        for (int i = 0; i < 3; ++i)
            fx.setReg(addresses[i], quint16(~listed[i]));
        QVERIFY2(fx.click("btnCmpRead"), qPrintable(fx.failure()));
        QCOMPARE(statuses(), QStringLiteral("!!!"));

        fx.withFaults(faultsOf(qPrintable(fault)), [&] { QVERIFY(fx.click(qPrintable(button))); });

        QCOMPARE(statuses(), outcome);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(fx.reg(addresses[i]), driveWritten ? listed[i] : quint16(~listed[i]));
        QCOMPARE(fx.dialogs->count(), 0);
        QVERIFY(fx.connected());
    }

    void importRefusesAListingItCannotUse_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("binary") << QByteArray("\x00\x01\x02\xff", 4).repeated(1000) << "NUL";
        QTest::newRow("over 1 MB") << QByteArray(2 * 1024 * 1024, 'A') << "1024 KB";
        QTest::newRow("2049 lines") << QByteArray("012C 0001 02 00 01\n").repeated(2049) << "2048 lines";
        QTest::newRow("outside the block") << QByteArray("012C 0001 02 0001\n00C8 0001 02 0001\n")
                                           << "Line 2: registers 0x00C8 to 0x00C8 lie outside";
        QTest::newRow("overlapping runs") << QByteArray("01 2C 00 02 04 AA AA BB BB\n01 2D 00 02 04 11 11 22 22\n")
                                          << "lines 1 and 2 both write register 0x012D";
        QTest::newRow("empty") << QByteArray() << "holds no register runs";
        QTest::newRow("blank lines") << QByteArray(" \n\t\n") << "holds no register runs";
    }
    void importRefusesAListingItCannotUse()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        QVERIFY2(fx.openEngineeringPage(), qPrintable(fx.failure()));
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("listing.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        const int rows = table()->rowCount();
        const QString firstExpected = table()->item(0, 2)->text();
        fx.dialogs->queueFileName(file.fileName());

        QVERIFY2(fx.click("btnCmpImp"), qPrintable(fx.failure()));

        QCOMPARE(fx.dialogs->last().icon, QMessageBox::Critical);
        QCOMPARE(fx.dialogs->last().title, QStringLiteral("Import Failed"));
        QVERIFY2(fx.dialogs->last().text.contains(reason), qPrintable(fx.dialogs->last().text));
        QCOMPARE(table()->rowCount(), rows);
        QCOMPARE(table()->item(0, 2)->text(), firstExpected);
        QVERIFY(fx.find<QAbstractButton>("btnCmpWrite")->isEnabled());
    }

    void maintenanceCommandsOnTheWire_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("confirmed");
        QTest::addColumn<QStringList>("wire");
        QTest::newRow("clear input inversions") << "btnClearInvert" << true << QStringList{"1 06 006C = 0000"};
        QTest::newRow("clear output functions")
            << "btnClearOutFunc" << true
            << QStringList{"1 06 00A5 = 0000", "1 06 00A6 = 0000", "1 06 00A7 = 0000",
                           "1 06 00AD = 0210", "1 06 00AE = 0000", "1 06 00B9 = 0000"};
        QTest::newRow("factory reset, confirmed") << "btnFactoryReset" << true << QStringList{"1 06 00DC = 0000"};
        QTest::newRow("factory reset, declined") << "btnFactoryReset" << false << QStringList();
        // The drive's top bits 0xA000 kept, dynamic enhancement on; 40 ms is constant 25.
        QTest::newRow("custom settings")
            << "btnApplyCustomReg" << true
            << QStringList{"1 03 0012 x1", "1 06 0012 = A108", "1 06 000A = 0019"};
    }
    void maintenanceCommandsOnTheWire()
    {
        QFETCH(QString, button);
        QFETCH(bool, confirmed);
        QFETCH(QStringList, wire);
        QVERIFY2(fx.openEngineeringPage(), qPrintable(fx.failure()));
        fx.setReg(Reg::CustomSettings, 0xA4F7);
        fx.find<QCheckBox>("gen_ck_DynEnhance")->setChecked(true);
        fx.find<QCheckBox>("gen_ck_MidTqComp")->setChecked(false);
        fx.find<QCheckBox>("gen_ck_MaskUsb")->setChecked(false);
        fx.find<QSpinBox>("gen_SmoothMs")->setValue(40);
        fx.quiesce();
        fx.dialogs->queueConfirm(confirmed);

        QVERIFY2(fx.click(qPrintable(button)), qPrintable(fx.failure()));

        QCOMPARE(fx.wire(), wire);
        QCOMPARE(fx.dialogs->last().icon, confirmed ? QMessageBox::Information : QMessageBox::Warning);
        if (confirmed)
            QVERIFY(!fx.worker()->isPollingPaused());
    }

    void maintenanceStopsAtTheFirstUnconfirmedWrite()
    {
        QVERIFY2(fx.openEngineeringPage(), qPrintable(fx.failure()));
        fx.withFaults(faultsOf("answers 2"), [&] { QVERIFY(fx.click("btnClearOutFunc")); });
        QCOMPARE(fx.writes().size(), 3);
        QCOMPARE(fx.dialogs->last().icon, QMessageBox::Critical);
        QVERIFY(fx.connected());
    }
};

VEXA_TEST_CLASS(WindowEngineeringTest);
#include "tst_window_engineering.moc"
