// Exact round trips through the window (screen and file to Write), the restore table, exports that cannot read, and the
// engineering block: lead-1 thresholds, listings imported back, the form's lead.

#include "oddparams.h"
#include "testmain.h"
#include "windowfixture.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTableWidget>
#include <QTemporaryDir>

namespace {

// One recognised drive per catalogue lead, at stations 1 to 7.
struct LeadDrive { const char *name; quint16 family, size, rawLead, stroke, direction; };
const LeadDrive LeadDrives[] = {{"lead 1", 0, 16, 1, 50, 0},   {"lead 1.5", 5, 32, 15, 20, 1},
                                {"lead 2", 0, 20, 2, 50, 0},   {"lead 5", 6, 40, 5, 100, 0},
                                {"lead 8", 2, 25, 8, 50, 1},   {"lead 10", 6, 40, 100, 100, 0},
                                {"lead 20", 6, 40, 200, 100, 0}};

// The write of a row's register value as the wire log shows it.
QString writeLine(const OddRow &row, int stroke, int station)
{
    const auto hex4 = [](quint32 v) { return QStringLiteral("%1").arg(v & 0xFFFF, 4, 16, QLatin1Char('0')).toUpper(); };
    const quint32 v = quint32(oddValue(row, stroke));
    return row.words == 2 ? QStringLiteral("%1 10 %2 = %3 %4").arg(station).arg(hex4(row.address), hex4(v), hex4(v >> 16))
                          : QStringLiteral("%1 06 %2 = %3").arg(station).arg(hex4(row.address), hex4(v));
}

void writeText(const QString &path, const QByteArray &text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
}

}  // namespace

class WindowRestoreTest : public QObject
{
    Q_OBJECT

    WindowFixture fx;
    QTemporaryDir dir;

    void connectStation(quint8 station)
    {
        if (fx.connected() && fx.station != station)
            QVERIFY2(fx.disconnectWindow(), qPrintable(fx.failure()));
        if (!fx.connected())
            QVERIFY2(fx.connectTo(station), qPrintable(fx.failure()));
        fx.quiesce();
    }
    // Clicks Write on each row; every row must send the odd value.
    void writeEveryRow(int stroke, const char *what)
    {
        for (const OddRow &row : oddRows()) {
            const int from = fx.mark();
            QVERIFY2(fx.click(qPrintable(QStringLiteral("btnWrite_%1").arg(QLatin1String(row.key)))), qPrintable(fx.failure()));
            QVERIFY2(fx.writes(from).contains(writeLine(row, stroke, fx.station)),
                     qPrintable(QStringLiteral("%1 %2: %3").arg(what, row.key, fx.writes(from).join(QLatin1String("; ")))));
        }
    }
    QTableWidget *cmpTable() const { return fx.find<QTableWidget>("cmpTable"); }
    // Clicks a button whose file dialog gets path and whose question gets Yes.
    void press(const char *button, const QString &path = QString(), bool yes = false)
    {
        if (!path.isEmpty())
            fx.dialogs->queueFileName(path);
        if (yes)
            fx.dialogs->queueAnswer(QMessageBox::Yes);
        QVERIFY2(fx.click(button), qPrintable(fx.failure()));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QVector<SimDriveConfig> drives;
        for (const LeadDrive &d : LeadDrives) {
            SimDriveConfig c = WindowFixture::drive(quint8(drives.size() + 1), d.family);
            c.size = d.size, c.rawLead = d.rawLead, c.stroke = d.stroke, c.motorDirection = d.direction;
            drives << c;
        }
        VEXA_REQUIRE(fx.startBus(drives), "no pseudo-terminal for the simulated bus");
        QVERIFY2(fx.showWindow(QStringLiteral("en")), qPrintable(fx.failure()));
        QVERIFY2(fx.connectTo(1), qPrintable(fx.failure()));
        // The position warning row is written by engineers only.
        QVERIFY2(fx.openEngineeringPage(), qPrintable(fx.failure()));
    }

    // Every lead's exactness is the model's (tst_param_model); here the window's
    // path through its boxes, on the smallest, the odd and the largest lead.
    void screenAndFileWriteTheDrivesValues_data()
    {
        QTest::addColumn<int>("index");
        for (int i : {0, 1, 6})
            QTest::newRow(LeadDrives[i].name) << i;
    }
    void screenAndFileWriteTheDrivesValues()
    {
        QFETCH(int, index);
        const LeadDrive &d = LeadDrives[index];
        connectStation(quint8(index + 1));
        setOddValues(fx.bus, fx.station, d.stroke);
        fx.showTab(MainWindow::AdvancedTab);  // the tabs read every row
        fx.showTab(MainWindow::MotionTab);
        writeEveryRow(d.stroke, "screen");

        const QString path = dir.filePath(QStringLiteral("%1.json").arg(index));
        press("btnExportParams", path, true);
        QVERIFY(QFile::exists(path));
        setOddValues(fx.bus, fx.station, d.stroke, 1);  // the drive moves off the file's values
        press("btnReadAllParams");
        press("btnImportParams", path);
        fx.showTab(MainWindow::AdvancedTab);  // the tabs' reads keep the values not yet written
        fx.showTab(MainWindow::MotionTab);
        writeEveryRow(d.stroke, "file");
    }

    void restoreTableWritesTheDifferencesAndOffersTheSave()
    {
        connectStation(4);  // lead 5
        setOddValues(fx.bus, fx.station, 100);
        const QString path = dir.filePath(QStringLiteral("restore.json"));
        press("btnExportParams", path, true);
        setOddValues(fx.bus, fx.station, 100, 1);
        fx.bus.setRegisterValue(fx.station, Reg::Pos1MotionMode, Reg::PushMode::Pos1Off);
        press("btnReadAllParams");  // the screen shows the drive's values

        QStringList marked, results;
        fx.dialogs->onDialog = [&](QDialog *dialog) {
            auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("tblParamRestore"));
            for (int r = 0; r < table->rowCount(); ++r) {
                if (table->item(r, 4)->text().startsWith(QStringLiteral("≠")))
                    marked << table->item(r, 0)->data(Qt::UserRole).toString();
            }
            dialog->findChild<QAbstractButton *>(QStringLiteral("btnWriteDifferences"))->click();
            for (int r = 0; r < table->rowCount(); ++r)
                results << table->item(r, 4)->text();
            return int(QDialog::Accepted);
        };
        const int from = fx.mark();
        press("btnCompareParams", path);
        QCOMPARE(marked.size(), oddRows().size() + 1);  // every row and the Position 2 push mode
        QCOMPARE(results.filter(QStringLiteral("✔ written, read back")).size(), marked.size());
        QVERIFY(fx.writes(from).contains(QStringLiteral("4 06 00DC = 0001")));  // Save answered by its default, Yes
        for (const OddRow &row : oddRows())
            QCOMPARE(fx.reg(row.address), quint16(oddValue(row, 100) & 0xFFFF));
        QCOMPARE(fx.reg(Reg::Pos1MotionMode), Reg::PushMode::Pos1On);
    }

    // Values no box can enter: the window's export holds them raw, and
    // Write differences of that file finds nothing to write.
    void valuesOutsideTheBoxesRoundTripUnchanged()
    {
        connectStation(4);  // lead 5
        setOutsideRangeValues(fx.bus, fx.station, 100);
        const QVector<quint16> before = parameterRegisterValues(fx.bus, fx.station);
        press("btnReadAllParams");
        // Shown as the drive holds them and marked; a Write of them is refused.
        const struct { const char *box; const char *shown; } shown[] = {
            {"spin_homeTorque", "0"}, {"spin_pos0Accel", "10"}, {"spin_pos1Decel", "0"}, {"spinD_pos1Speed", "291.67"}};
        for (const auto &row : shown) {
            auto *box = fx.find<QAbstractSpinBox>(row.box);
            QTRY_VERIFY2(box->property("entryMarked").toBool(), row.box);
            QCOMPARE(box->text(), QString::fromLatin1(row.shown));
        }
        int from = fx.mark();
        press("btnWrite_homeTorque");
        QCOMPARE(fx.writes(from), QStringList());
        const QString path = dir.filePath(QStringLiteral("outside.json"));
        press("btnExportParams", path, true);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject exported = QJsonDocument::fromJson(file.readAll()).object();
        for (const char *key : {"homeTorque", "pos0PushTorque", "pos1PushTorque", "pos1Decel"})
            QCOMPARE(exported.value(key).toDouble(), 0.0);
        QCOMPARE(exported.value("pos0Accel").toDouble(), 10.0);
        QCOMPARE(qRound(exported.value("pos1Speed").toDouble() * 6000 / 5), 350000);  // 0.01 rpm at lead 5 mm

        int marked = -1;
        fx.dialogs->onDialog = [&](QDialog *dialog) {
            auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("tblParamRestore"));
            marked = 0;
            for (int r = 0; r < table->rowCount(); ++r)
                marked += table->item(r, 4)->text().startsWith(QStringLiteral("≠")) ? 1 : 0;
            dialog->findChild<QAbstractButton *>(QStringLiteral("btnWriteDifferences"))->click();
            return int(QDialog::Accepted);
        };
        from = fx.mark();
        press("btnCompareParams", path);
        QCOMPARE(marked, 0);
        QCOMPARE(fx.writes(from), QStringList());
        QCOMPARE(parameterRegisterValues(fx.bus, fx.station), before);
    }

    void exportThatCannotReadEverythingWritesNoFile()
    {
        connectStation(1);
        const QString path = dir.filePath(QStringLiteral("unread.json"));
        fx.withFaults(faultsOf("exception"), [&] { press("btnExportParams", path, true); });
        QVERIFY(!QFile::exists(path));
        QCOMPARE(fx.dialogs->last().icon, QMessageBox::Critical);
        QVERIFY2(fx.dialogs->last().text.contains(QStringLiteral("Pos1 Speed")), qPrintable(fx.dialogs->last().text));
    }

    void leadOneBlockCarriesTheTemplateThresholds()
    {
        connectStation(1);
        QVERIFY2(fx.openEngineeringPage(), qPrintable(fx.failure()));
        QVERIFY(fx.find<QAbstractButton>("rb_Lead_1")->isChecked());
        QCOMPARE(cmpTable()->item(8, 2)->text(), QStringLiteral("00 0B 00 19"));   // 25 steps
        QCOMPARE(cmpTable()->item(9, 2)->text(), QStringLiteral("00 0C 00 14"));   // 20
        QCOMPARE(cmpTable()->item(10, 2)->text(), QStringLiteral("00 10 00 0F"));  // 15
    }

    void exportedListingImportsBackAndMatches()
    {
        connectStation(1);
        QVERIFY2(fx.openEngineeringPage(), qPrintable(fx.failure()));
        press("btnCmpWrite");
        const QString path = dir.filePath(QStringLiteral("block.txt"));
        press("btnExp", path);
        press("btnCmpImp", path);
        QVERIFY(fx.widget("lblCmpSource")->isVisible());
        QVERIFY(fx.find<QLabel>("lblCmpSource")->text().contains(QStringLiteral("block.txt")));
        press("btnCmpRead");
        QCOMPARE(cmpTable()->rowCount(), 128);
        for (int r = 0; r < cmpTable()->rowCount(); ++r)
            QCOMPARE(cmpTable()->item(r, 4)->text(), QStringLiteral("✔ Match"));
        // A refresh of the form (a new login) leaves imported rows as they are, even unlike the form's.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        writeText(path, file.readAll().replace("00 0B 00 19", "00 0B 00 1A"));
        press("btnCmpImp", path);
        fx.showTab(MainWindow::ConnectionTab);
        QVERIFY2(fx.openEngineeringPage(), qPrintable(fx.failure()));
        QCOMPARE(cmpTable()->item(8, 2)->text(), QStringLiteral("00 0B 00 1A"));
    }

    void badListingLineIsRefusedWithItsNumber()
    {
        QVERIFY2(fx.openEngineeringPage(), qPrintable(fx.failure()));
        const QString before = cmpTable()->item(0, 2)->text();
        const int rows = cmpTable()->rowCount();
        const QString path = dir.filePath(QStringLiteral("bad.txt"));
        writeText(path, "01 2C 00 02 04 00 0D 00 64\n\n01 01 2E 00 02 04 00 0E 32 32\n01 30 00 03 06 10 24\n");
        press("btnCmpImp", path);
        QCOMPARE(fx.dialogs->last().icon, QMessageBox::Critical);
        QVERIFY2(fx.dialogs->last().text.contains(QStringLiteral("Line 4:")), qPrintable(fx.dialogs->last().text));
        QCOMPARE(cmpTable()->rowCount(), rows);
        QCOMPARE(cmpTable()->item(0, 2)->text(), before);
    }

    void formLeadLeavesARecognisedDrivesConversions()
    {
        connectStation(6);  // lead 10
        fx.bus.setRegisterValue(6, Reg::Pos0Accel, 100);
        fx.bus.setRegisterValue(6, Reg::Pos0Decel, 100);
        QVERIFY2(fx.openEngineeringPage(), qPrintable(fx.failure()));
        for (const char *choice : {"rb_Model_LXG", "rb_Size_40", "rb_Lead_5"})
            fx.find<QAbstractButton>(choice)->click();
        QVERIFY(fx.find<QAbstractButton>("rb_Lead_5")->isChecked());
        QCOMPARE(fx.find<QDoubleSpinBox>("param_spinDynErrMm")->singleStep(), 0.05);  // one step at lead 10
        fx.showTab(MainWindow::MotionTab);
        fx.find<QDoubleSpinBox>("spinD_pos0Speed")->setValue(100.0);
        const int from = fx.mark();
        press("btnWrite_pos0Speed");
        QVERIFY2(fx.writes(from).contains(QStringLiteral("6 10 0227 = EA60 0000")), qPrintable(fx.writes(from).join(';')));
    }
};

VEXA_TEST_CLASS(WindowRestoreTest);
#include "tst_window_restore.moc"
