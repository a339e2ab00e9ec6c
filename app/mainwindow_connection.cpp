// Connection tab: port list, bus scan, connect and disconnect, connection state.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "actuatorcatalogue.h"
#include "cmpmanager.h"
#include "connectionmanager.h"
#include "dialogs.h"
#include "dictionary.h"
#include "manualmotion.h"
#include "modbusworker.h"
#include "parammanager.h"
#include "registers.h"
#include "steppeddoublespinbox.h"

#include <QComboBox>
#include <QLineEdit>
#include <QStatusBar>
#include <QTableWidget>

namespace {

constexpr int StationRole = Qt::UserRole;
constexpr int RecognisedRole = Qt::UserRole + 1;
constexpr int ScanColumns = 5;
constexpr int ServoReadTimeoutMs = 300;

const QString StatusOkStyle = QStringLiteral("font-size:20px;font-weight:bold;color:#16a34a;");
const QString StatusErrStyle = QStringLiteral("font-size:20px;font-weight:bold;color:red;");
const QString ServoOnStyle = QStringLiteral("color:#16a34a;font-weight:bold;padding:0 8px;");
const QString ServoOffStyle = QStringLiteral("color:#dc2626;font-weight:bold;padding:0 8px;");
const QColor RecognisedText(0, 0, 0);
const QColor UnrecognisedText(0x99, 0x99, 0x99);

// Status bar notes about the port list; not part of the shared dictionary.
struct PortNote
{
    const char *key;
    const char *zh;
    const char *en;
};

const PortNote portNotes[] = {
    {"noPorts", "找不到任何序列埠。以 --demo 啟動程式可連線到模擬驅動器。",
     "No serial port found. Start the program with --demo to try a simulated drive."},
    {"demoPort", "示範模式：模擬驅動器匯流排位於 %1（站號 1、3，以及無法識別的 5）。",
     "Demo mode: simulated drive bus on %1 (stations 1, 3 and an unrecognised 5)."},
};

QString portNote(const QString &key, const QString &lang)
{
    for (const PortNote &note : portNotes) {
        if (key == QLatin1String(note.key))
            return QString::fromUtf8(lang == QLatin1String("zh") ? note.zh : note.en);
    }
    return QString();
}

QString unrecognisedTooltip(const QString &lang)
{
    return lang == QLatin1String("zh")
               ? QStringLiteral("此站號有裝置回應，但規格無法識別，可能非本系列產品。")
               : QStringLiteral("Device responded but its spec is not recognized.");
}

// The part of a model code after its last "-": the option ("BC", "BA") or,
// for families without one in the code, the stroke.
QString directionText(const QString &model)
{
    return model.section(QLatin1Char('-'), -1);
}

}  // namespace

void MainWindow::setupConnectionTab()
{
    // A technician may type any device path: a udev link, a pseudo-terminal.
    ui->cbPorts->setEditable(true);
    ui->cbPorts->setInsertPolicy(QComboBox::NoInsert);
    ui->lblActiveStation->hide();

    connect(ui->btnRefresh, &QPushButton::clicked, this, &MainWindow::refreshPortList);
    connect(ui->btnScan, &QPushButton::clicked, this, &MainWindow::onScanClicked);
    connect(ui->btnConnect, &QPushButton::clicked, this, &MainWindow::onConnectClicked);
    // Stops a held jog and asks about unsaved writes before it disconnects.
    connect(ui->btnDisconnect, &QPushButton::clicked, this, &MainWindow::onDisconnectClicked);
    connect(ui->tableScan, &QTableWidget::cellClicked, this,
            [this](int row, int) { onScanCellClicked(row); });

    connect(connectionManager, &ConnectionManager::deviceFound, this, &MainWindow::onDeviceFound);
    connect(connectionManager, &ConnectionManager::connected, this, &MainWindow::onConnected);
    connect(connectionManager, &ConnectionManager::disconnected, this, &MainWindow::onDisconnected);
    connect(connectionManager, &ConnectionManager::connectionError, this,
            &MainWindow::onConnectionError);
    setupBusAdditions();
}

void MainWindow::setDemoPort(const QString &portPath)
{
    demoPortPath = portPath;
    refreshPortList();
}

void MainWindow::refreshPortList()
{
    ui->cbPorts->clear();
    if (!demoPortPath.isEmpty())
        ui->cbPorts->addItem(demoPortPath);
    addPortEntries();

    if (!demoPortPath.isEmpty())
        portStatusKey = QStringLiteral("demoPort");
    else if (ui->cbPorts->count() == 0)
        portStatusKey = QStringLiteral("noPorts");
    else
        portStatusKey.clear();
    showPortStatus();
}

void MainWindow::showPortStatus()
{
    if (portStatusKey.isEmpty()) {
        // No status bar is created just to say nothing.
        if (findChild<QStatusBar *>())
            statusBar()->clearMessage();
        return;
    }
    QString note = portNote(portStatusKey, currentLang);
    if (note.contains(QLatin1String("%1")))
        note = note.arg(demoPortPath);
    statusBar()->showMessage(note);
}

void MainWindow::retranslateConnectionTab()
{
    showPortStatus();
    retranslateBusAdditions();
    const QString unknown = translateKey(QStringLiteral("scan_unknownDevice"), currentLang);
    for (int row = 0; row < ui->tableScan->rowCount(); ++row) {
        const QTableWidgetItem *station = ui->tableScan->item(row, 0);
        QTableWidgetItem *model = ui->tableScan->item(row, 1);
        if (!station || !model || station->data(RecognisedRole).toBool())
            continue;
        model->setText(unknown);
        model->setToolTip(unrecognisedTooltip(currentLang));
    }
}

QString MainWindow::selectedPortName() const
{
    return portInBox();
}

void MainWindow::onScanClicked()
{
    const QString port = selectedPortName();
    if (port.isEmpty())
        return;

    isScanning = true;
    ui->btnScan->setEnabled(false);
    ui->tableScan->setRowCount(0);
    ui->btnConnect->setEnabled(false);
    stationId = 0;
    ui->lblActiveStation->hide();
    showPortStatus();

    const bool opened = connectionManager->scanBus(
        port,
        [this](int station) {
            ui->btnScan->setText(QStringLiteral("Scanning... (%1/16)").arg(station));
            QCoreApplication::processEvents();
        },
        [this] { return !isScanning; });

    isScanning = false;
    ui->btnScan->setEnabled(true);
    ui->btnScan->setText(translateKey(QStringLiteral("btnScan"), currentLang));
    if (!opened) {
        // An empty table alone would read as "no drive answered".
        statusBar()->showMessage(portFailureText(true));
    } else {
        rememberTcpAddress(port);
    }
    showEchoRemoval();

    const bool connectNow = connectPending && stationId != 0;
    connectPending = false;
    if (connectNow)
        connectionManager->connectToDevice(port, stationId, !engineerMode);
}

void MainWindow::onDeviceFound(const ScanResult &result)
{
    const bool recognised = !result.model.isEmpty();
    const int row = ui->tableScan->rowCount();
    ui->tableScan->insertRow(row);

    const QString texts[ScanColumns] = {
        ActuatorCatalogue::scanStationText(result.station),
        recognised ? result.model : translateKey(QStringLiteral("scan_unknownDevice"), currentLang),
        result.fwVersion,
        result.hwVersion,
        ActuatorCatalogue::logicVersionText(result.logicVersion),
    };
    for (int column = 0; column < ScanColumns; ++column) {
        auto *item = new QTableWidgetItem(texts[column]);
        item->setTextAlignment(Qt::AlignCenter);
        ui->tableScan->setItem(row, column, item);
    }
    QTableWidgetItem *stationItem = ui->tableScan->item(row, 0);
    stationItem->setData(StationRole, result.station);
    stationItem->setData(RecognisedRole, recognised);
    if (!recognised)
        ui->tableScan->item(row, 1)->setToolTip(unrecognisedTooltip(currentLang));

    styleScanRow(row, recognised);

    if (recognised && stationId == 0) {
        ui->tableScan->selectRow(row);
        selectStation(static_cast<quint8>(result.station));
    }
}

void MainWindow::styleScanRow(int row, bool recognised)
{
    const bool selectable = recognised || engineerMode;
    for (int column = 0; column < ui->tableScan->columnCount(); ++column) {
        QTableWidgetItem *item = ui->tableScan->item(row, column);
        if (!item)
            continue;
        item->setForeground(recognised ? RecognisedText : UnrecognisedText);
        item->setFlags(selectable ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags);
    }
}

void MainWindow::onScanCellClicked(int row)
{
    if (isConnected)
        return;
    const QTableWidgetItem *stationItem = ui->tableScan->item(row, 0);
    if (!stationItem)
        return;
    if (!stationItem->data(RecognisedRole).toBool() && !engineerMode)
        return;
    selectStation(static_cast<quint8>(stationItem->data(StationRole).toInt()));
}

void MainWindow::selectStation(quint8 station)
{
    stationId = station;
    ui->lblActiveStation->setText(ActuatorCatalogue::selectedStationText(station));
    ui->lblActiveStation->show();
    ui->btnConnect->setEnabled(true);
}

void MainWindow::onConnectClicked()
{
    if (stationId == 0)
        return;
    if (isScanning) {
        // The scan stops before its next station and then connects.
        isScanning = false;
        connectPending = true;
        ui->btnConnect->setEnabled(false);
        ui->btnScan->setText(translateKey(QStringLiteral("btnScan_scanning"), currentLang));
        return;
    }
    connectionManager->connectToDevice(selectedPortName(), stationId, !engineerMode);
}

void MainWindow::onConnected(const DeviceInfo &info)
{
    // The identity the other tabs and the parameter file read.
    isConnected = true;
    product.lead = info.lead;
    product.stroke = info.stroke;
    product.family = info.family;
    product.size = info.size;
    product.logicVersion = info.logicVersion;
    product.firmware = info.fwVersion;
    product.hardware = info.hwVersion;
    product.direction = directionText(info.model);

    // Error thresholds step and read in angles at this lead.
    applyErrSpinStep(product.lead);
    refreshParamThresholdAngles();
    refreshFormThresholdAngles();

    // Lamp, status and product.
    setLed(ui->ledConnection, true, false);
    ui->lblConnectionStatus->setText(translateKey(QStringLiteral("lblStatus_ok"), currentLang));
    ui->lblConnectionStatus->setStyleSheet(StatusOkStyle);
    ui->lblProductInfo->setText(info.model);
    ui->lblHeaderProduct->setText(info.model);

    // The engineering form offers this family's leads and strokes until its own choices are used.
    formFamily = info.family;
    formSize = info.size;
    formStroke = info.stroke;
    refreshLeadChoices();
    refreshStrokeChoices();

    showEchoRemoval();
    rememberTcpAddress(worker->portName());

    // Nothing to pick on the connection tab while connected; the other tabs open.
    ui->btnConnect->setEnabled(false);
    ui->btnDisconnect->setEnabled(true);
    ui->cbPorts->setEnabled(false);
    ui->btnScan->setEnabled(false);
    ui->tableScan->setSelectionMode(QAbstractItemView::NoSelection);
    ui->tableScan->setEnabled(false);
    setTabsEnabled(true);

    // The jog limit of this drive; nudge mode keeps its step list.
    if (!nudgeMode)
        applyJogSpeedLimit();

    // Speed, position and soft-limit rows follow the lead and the stroke.
    paramManager->applyDriveRanges(info.lead, info.stroke);
    paramManager->setLead(info.lead);
    paramManager->setStroke(info.stroke);

    // Compare table buttons and its station.
    const bool hasTasks = cmpManager->taskCount() > 0;
    ui->btnCmpRead->setEnabled(hasTasks);
    ui->btnCmpWrite->setEnabled(hasTasks);
    ui->btnCmpSave->setEnabled(true);
    ui->cmpSlaveId->setValue(stationId);

    // Values read once: alarm history, servo state, custom settings, currents, smoothing.
    onReadAlarmHistory();
    readServoState();
    readCustomReg();
    onReadAdvCurrent();
    paramManager->readSingle(QStringLiteral("smoothMs"), stationId, product.lead);
}

void MainWindow::applyJogSpeedLimit()
{
    const int limit = ManualMotion::jogSpeedLimit(product.family, product.size);
    ui->spinJogSpeed->setRange(1.0, limit);
    ui->slideJogSpeed->setRange(1, limit);
    if (ui->spinJogSpeed->value() > limit)
        ui->spinJogSpeed->setValue(limit);
}

void MainWindow::readServoState()
{
    pausePolling(true);
    const QVector<quint16> words = worker->syncRead(stationId, Reg::ServoOff, 1, ServoReadTimeoutMs);
    if (!words.isEmpty()) {
        const bool off = (words.first() & 0x00FF) != 0;
        servoKnownOff = off;
        ui->lblServoStatus->setText(off ? QStringLiteral("Servo OFF") : QStringLiteral("Servo ON"));
        ui->lblServoStatus->setStyleSheet(off ? ServoOffStyle : ServoOnStyle);
    }
    pausePolling(false);
}

void MainWindow::onDisconnected(const QString &reason)
{
    resetToDisconnected(reason, false);
}

void MainWindow::onConnectionError(const QString &reason)
{
    QString text = reason;
    if (reason == QLatin1String("ERR_TIMEOUT"))
        text = translateKey(QStringLiteral("err_timeout"), currentLang);
    else if (reason == QLatin1String("ERR_PORT_LOST"))
        text = lostConnectionText();
    else if (reason == QLatin1String("Cannot open COM port"))
        text = portFailureText(false);
    else if (reason == QLatin1String("ERR_REFUSED"))
        text = translateKey(QStringLiteral("err_refused"), currentLang).arg(worker->lastPollError());
    resetToDisconnected(text, true);
}

void MainWindow::resetToDisconnected(const QString &reason, bool showMessage)
{
    isConnected = false;
    setLed(ui->ledConnection, false, false);
    ui->lblConnectionStatus->setText(translateKey(QStringLiteral("lblStatus_err"), currentLang));
    ui->lblConnectionStatus->setStyleSheet(StatusErrStyle);

    // Enabled again once a scan row is selected: with no station it would do nothing.
    ui->btnConnect->setEnabled(false);
    ui->btnDisconnect->setEnabled(false);
    ui->btnScan->setEnabled(true);
    ui->cbPorts->setEnabled(true);

    ui->lblProductInfo->setText(QStringLiteral("---"));
    ui->lblHeaderProduct->setText(QStringLiteral("---"));
    product.family.clear();
    product.size = 0;

    ui->tableScan->setRowCount(0);
    ui->tableScan->setEnabled(true);
    ui->tableScan->setSelectionMode(QAbstractItemView::SingleSelection);
    stationId = 0;
    ui->lblActiveStation->hide();

    ui->btnCmpRead->setEnabled(false);
    ui->btnCmpWrite->setEnabled(false);
    ui->btnCmpSave->setEnabled(false);

    ui->mainTabs->setCurrentIndex(ConnectionTab);
    setTabsEnabled(false);

    if (showMessage && !reason.isEmpty())
        m_dialogs->message(QMessageBox::Warning, QStringLiteral("Disconnected"), reason);
}
