// The connection tab's "Apply file to stations…": after a scan, with no drive
// connected, the ticked stations (and only they) get the file's values, each
// with a snapshot, and the report says so; Cancel stops after the current
// station and the rest stay untouched on the wire.

#include "oddparams.h"
#include "paramfile.h"
#include "paramsnapshot.h"
#include "registerport.h"
#include "registers.h"
#include "testmain.h"
#include "windowfixture.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTableWidget>
#include <QTemporaryDir>

namespace {

constexpr int Stroke = 50;
constexpr quint8 Source = 1;  // holds the file's values; never ticked

// The parameter file of the source drive, made from the simulator's registers.
QByteArray sourceFile(const SimBus &bus)
{
    // The simulator's registers of the source drive, read without the wire.
    struct SimRegisters : RegisterPort
    {
        const SimBus &bus;
        explicit SimRegisters(const SimBus &simBus) : RegisterPort(Source), bus(simBus) {}
        QVector<quint16> read(quint16 address, quint16 count, int) override
        {
            QVector<quint16> words;
            for (quint16 i = 0; i < count; ++i)
                words << bus.registerValue(Source, quint16(address + i));
            return words;
        }
        bool write(quint16, quint16) override { return false; }
        bool writeMulti(quint16, const QVector<quint16> &) override { return false; }
    } registers(bus);
    const ParamSnapshot::Snapshot snapshot = ParamSnapshot::read(registers);
    ParamFile::Content content;
    ParamSnapshot::fillContent(snapshot, 1.0, &content);
    content.identity.family = QStringLiteral("LXAZ");
    content.identity.size = 16;
    content.identity.lead = 1.0;
    content.identity.stroke = Stroke;
    content.identity.modelStr = QStringLiteral("LXAZ-16L01-50-BC");
    content.identity.direction = ParamFile::directionOf(content.identity.modelStr);
    content.exportTime = QDateTime::currentDateTime();
    return ParamFile::toFileText(content);
}

}  // namespace

class WindowLineJobTest : public QObject
{
    Q_OBJECT

    WindowFixture fx;
    QTemporaryDir dir;

    // Stations 2 and 3 hold values of their own, unlike the file's.
    void giveDrivesOtherValues()
    {
        for (quint8 station : {2, 3})
            setOddValues(fx.bus, station, Stroke, 2 * station);
    }
    // Scans, ticks `stations`, answers the file, save to ROM and the report,
    // and runs the job; `whileRunning` works the progress dialog.
    QJsonObject runJob(const QVector<int> &stations, const std::function<void(QDialog *)> &whileRunning)
    {
        fx.find<QComboBox>("cbPorts")->setEditText(fx.bus.portPath());
        if (!fx.click("btnScan"))
            return {};
        auto *table = fx.find<QTableWidget>("tableScan");
        for (int row = 0; row < table->rowCount(); ++row) {
            if (stations.contains(table->item(row, 0)->data(Qt::UserRole).toInt()))
                table->item(row, 0)->setCheckState(Qt::Checked);
        }
        fx.bus.clearRequests();
        fx.dialogs->clear();
        fx.dialogs->queueFileName(dir.filePath("line.json"));
        fx.dialogs->queueAnswer(QMessageBox::Yes);  // save to ROM
        fx.dialogs->queueFileName(dir.filePath("out/report.json"));
        fx.dialogs->onDialog = [&](QDialog *dialog) {
            whileRunning(dialog);
            auto *close = dialog->findChild<QAbstractButton *>("btnLineJobClose");
            if (!QTest::qWaitFor([close] { return close->isEnabled(); }, 60000))
                return int(QDialog::Rejected);
            close->click();
            return dialog->result();
        };
        if (!fx.click("btnApplyToStations"))
            return {};
        fx.dialogs->onDialog = nullptr;
        QFile report(dir.filePath("out/report.json"));
        return report.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(report.readAll()).object() : QJsonObject();
    }
    // What reached the station since the job was asked for.
    QList<SimRequest> requestsTo(quint8 station, bool writesOnly) const
    {
        QList<SimRequest> found;
        for (const SimRequest &request : fx.bus.requests()) {
            if (request.station == station && (!writesOnly || request.function != 0x03))
                found << request;
        }
        return found;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        VEXA_REQUIRE(fx.startBus({WindowFixture::drive(1), WindowFixture::drive(2), WindowFixture::drive(3)}),
                     "no pseudo-terminal for the simulated bus");
        setOddValues(fx.bus, Source, Stroke);
        QFile file(dir.filePath("line.json"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(sourceFile(fx.bus)) > 0);
        file.close();
        QVERIFY(QDir(dir.path()).mkpath("out"));
        QVERIFY2(fx.showWindow(QStringLiteral("en")), qPrintable(fx.failure()));
    }

    void tickedStationsGetTheFileAndTheReport()
    {
        giveDrivesOtherValues();
        const QVector<quint16> sourceBefore = fileRegisters(fx.bus, Source);
        QVERIFY(fileRegisters(fx.bus, 2) != sourceBefore && fileRegisters(fx.bus, 3) != sourceBefore);
        const QJsonObject report = runJob({2, 3}, [](QDialog *) {});

        const QJsonArray stations = report["stations"].toArray();
        QCOMPARE(stations.size(), 2);
        for (int i = 0; i < 2; ++i) {
            const QJsonObject s = stations[i].toObject();
            QCOMPARE(s["station"].toInt(), 2 + i);
            QVERIFY2(s["exit"].toInt() == 0, qPrintable(s["message"].toString()));
            QVERIFY(s["saved"].toBool());
            QVERIFY(QFileInfo(s["snapshot"].toString()).isFile());
            QCOMPARE(QFileInfo(s["snapshot"].toString()).absolutePath(), QFileInfo(dir.filePath("out/report.json")).absolutePath());
            const quint8 station = quint8(2 + i);
            QCOMPARE(fileRegisters(fx.bus, station), sourceBefore);
            const QList<SimRequest> writes = requestsTo(station, true);
            QVERIFY(!writes.isEmpty());
            QCOMPARE(writes.last().address, Reg::StoreCommand);
        }
        QVERIFY(requestsTo(Source, true).isEmpty());
        QVERIFY(QFileInfo(dir.filePath("out/report.html")).isFile());
        const ScriptedDialogs::Shown offer = fx.dialogs->last();
        QCOMPARE(offer.icon, QMessageBox::Question);
        QVERIFY(offer.text.contains(dir.filePath("out/report.html")));
    }

    void cancelStopsAfterTheCurrentStation()
    {
        giveDrivesOtherValues();
        const QVector<quint16> lastBefore = fileRegisters(fx.bus, 3);
        const QJsonObject report = runJob({2, 3}, [this](QDialog *dialog) {
            // Cancel while the first station is being written.
            QVERIFY(QTest::qWaitFor([this] { return !requestsTo(2, true).isEmpty(); }, 30000));
            dialog->findChild<QAbstractButton *>("btnLineJobCancel")->click();
        });

        const QJsonArray stations = report["stations"].toArray();
        QCOMPARE(stations.size(), 2);
        QCOMPARE(stations[0].toObject()["exit"].toInt(), 0);
        QCOMPARE(stations[1].toObject()["result"].toString(), QStringLiteral("cancelled"));
        QVERIFY(stations[1].toObject()["exit"].toInt() != 0);
        QVERIFY(requestsTo(3, false).isEmpty());
        QCOMPARE(fileRegisters(fx.bus, 3), lastBefore);
    }

    void noTicksWhileADriveIsConnected()
    {
        QVERIFY2(fx.connectTo(2), qPrintable(fx.failure()));
        auto *table = fx.find<QTableWidget>("tableScan");
        for (int row = 0; row < table->rowCount(); ++row)
            QVERIFY(!(table->item(row, 0)->flags() & Qt::ItemIsUserCheckable));
        QVERIFY(!fx.find<QAbstractButton>("btnApplyToStations")->isEnabled());
        QVERIFY2(fx.disconnectWindow(), qPrintable(fx.failure()));
    }
};

VEXA_TEST_CLASS(WindowLineJobTest);

#include "tst_window_line.moc"
