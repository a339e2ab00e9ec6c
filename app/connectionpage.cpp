// Connection tab: port list, bus scan, connect and disconnect, connection state.

#include "connectionpage.h"
#include "ui_mainwindow.h"

#include "activedrive.h"
#include "actuatorcatalogue.h"
#include "connectionmanager.h"
#include "modbusworker.h"
#include "pagetext.h"
#include "reconnectcontrols.h"
#include "stationsjob.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMainWindow>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>

namespace {

constexpr int StationRole = Qt::UserRole;
constexpr int RecognisedRole = Qt::UserRole + 1;
constexpr int ScanColumns = 5;

const QString StatusErrStyle = QStringLiteral("font-size:20px;font-weight:bold;color:red;");
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

}  // namespace

ConnectionPage::ConnectionPage(WindowContext &context) : Page(context)
{
    QHeaderView *scanHeader = ui->tableScan->horizontalHeader();
    scanHeader->setSectionResizeMode(QHeaderView::Stretch);
    scanHeader->setDefaultAlignment(Qt::AlignCenter);
    ui->tableScan->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->tableScan->setEditTriggers(QAbstractItemView::NoEditTriggers);
    setLed(ui->ledConnection, false, false);

    // A technician may type any device path: a udev link, a pseudo-terminal.
    ui->cbPorts->setEditable(true);
    ui->cbPorts->setInsertPolicy(QComboBox::NoInsert);
    ui->lblActiveStation->hide();

    connect(ui->btnRefresh, &QPushButton::clicked, this, &ConnectionPage::refreshPortList);
    connect(ui->btnScan, &QPushButton::clicked, this, &ConnectionPage::onScanClicked);
    connect(ui->btnConnect, &QPushButton::clicked, this, &ConnectionPage::onConnectClicked);
    connect(ui->btnDisconnect, &QPushButton::clicked, this, &ConnectionPage::disconnectRequested);
    connect(ui->tableScan, &QTableWidget::cellClicked, this, [this](int row, int) { onScanCellClicked(row); });

    connect(drive->connections(), &ConnectionManager::deviceFound, this, &ConnectionPage::onDeviceFound);
    connect(drive, &ActiveDrive::connected, this, &ConnectionPage::onDriveConnected);
    connect(drive, &ActiveDrive::disconnected, this, &ConnectionPage::onDriveDisconnected);
    connect(drive, &ActiveDrive::engineerModeChanged, this, &ConnectionPage::onEngineerModeChanged);
    setupBusAdditions();
    setupLinkHealth();
    reconnect = new ReconnectControls(context);
    stationsJob = new StationsJob(context, {[this] { return portInBox(); }, [this] { return isScanning; }});
}

void ConnectionPage::retranslate()
{
    translateByName(window(), {"groupBox_comm", "groupBox_status", "lblPort", "btnRefresh", "btnConnect",
                               "btnDisconnect", "lblScanTitle", "lblProdTitle"},
                    lang());
    ui->btnScan->setText(text(isScanning ? QStringLiteral("btnScan_scanning") : QStringLiteral("btnScan")));
    ui->lblConnectionStatus->setText(
        text(drive->isConnected() ? QStringLiteral("lblStatus_ok") : QStringLiteral("lblStatus_err")));
    QStringList scanHeaders;
    for (const char *key : {"scanHeader_id", "scanHeader_model", "scanHeader_fw", "scanHeader_hw",
                            "scanHeader_logicVer"})
        scanHeaders << text(QLatin1String(key));
    ui->tableScan->setHorizontalHeaderLabels(scanHeaders);

    showPortStatus();
    retranslateBusAdditions();
    const QString unknown = text(QStringLiteral("scan_unknownDevice"));
    for (int row = 0; row < ui->tableScan->rowCount(); ++row) {
        const QTableWidgetItem *station = ui->tableScan->item(row, 0);
        QTableWidgetItem *model = ui->tableScan->item(row, 1);
        if (!station || !model || station->data(RecognisedRole).toBool())
            continue;
        model->setText(unknown);
        model->setToolTip(unrecognisedTooltip(lang()));
    }
    if (!silentScanPort.isEmpty())
        showNoDriveAnswered();
    if (!lblLinkHealth->isHidden())
        showLinkHealth();
    reconnect->retranslate();
    stationsJob->retranslate();
}

void ConnectionPage::setDemoPort(const QString &portPath)
{
    demoPortPath = portPath;
    refreshPortList();
}

void ConnectionPage::refreshPortList()
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

void ConnectionPage::showPortStatus()
{
    if (portStatusKey.isEmpty()) {
        // No status bar is created just to say nothing.
        if (auto *bar = window()->findChild<QStatusBar *>())
            bar->clearMessage();
        return;
    }
    QString note = portNote(portStatusKey, lang());
    if (note.contains(QLatin1String("%1")))
        note = note.arg(demoPortPath);
    showStatus(note);
}

void ConnectionPage::onScanClicked()
{
    const QString port = portInBox();
    if (port.isEmpty())
        return;

    isScanning = true;
    ui->btnScan->setEnabled(false);
    ui->tableScan->setRowCount(0);
    ui->tableScan->clearSpans();
    silentScanPort.clear();
    ui->btnConnect->setEnabled(false);
    stationsJob->refresh();
    drive->selectStation(0);
    ui->lblActiveStation->hide();
    showPortStatus();

    const bool opened = drive->connections()->scanBus(
        port,
        [this](int station) {
            ui->btnScan->setText(QStringLiteral("Scanning... (%1/16)").arg(station));
            QCoreApplication::processEvents();
        },
        [this] { return !isScanning; });

    isScanning = false;
    ui->btnScan->setEnabled(true);
    ui->btnScan->setText(text(QStringLiteral("btnScan")));
    stationsJob->refresh();
    if (!opened) {
        // An empty table alone would read as "no drive answered".
        showStatus(portFailureText(drive->connections()->lastOpenError(), true));
    } else {
        rememberTcpAddress(port);
        if (ui->tableScan->rowCount() == 0) {
            silentScanPort = port;
            showNoDriveAnswered();
            showStatus(ui->tableScan->item(0, 0)->text());
        }
    }
    showEchoRemoval();

    const bool connectNow = connectPending && drive->station() != 0;
    connectPending = false;
    if (connectNow)
        drive->connections()->connectToDevice(port, drive->station(), !drive->engineerMode());
}

void ConnectionPage::onDeviceFound(const ScanResult &result)
{
    const bool recognised = !result.model.isEmpty();
    const int row = ui->tableScan->rowCount();
    ui->tableScan->insertRow(row);

    const QString texts[ScanColumns] = {
        ActuatorCatalogue::scanStationText(result.station),
        recognised ? result.model : text(QStringLiteral("scan_unknownDevice")),
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
        ui->tableScan->item(row, 1)->setToolTip(unrecognisedTooltip(lang()));

    // A recognised drive can be ticked for a parameter file; the box stays while the row does.
    if (recognised)
        stationItem->setCheckState(Qt::Unchecked);
    styleScanRow(row, recognised);

    if (recognised && drive->station() == 0) {
        ui->tableScan->selectRow(row);
        selectStation(static_cast<quint8>(result.station));
    }
}

void ConnectionPage::styleScanRow(int row, bool recognised)
{
    const bool selectable = recognised || drive->engineerMode();
    // Ticks only while no drive is connected: the job opens the port itself.
    const bool tickable = recognised && !drive->isConnected();
    for (int column = 0; column < ui->tableScan->columnCount(); ++column) {
        QTableWidgetItem *item = ui->tableScan->item(row, column);
        if (!item)
            continue;
        item->setForeground(recognised ? RecognisedText : UnrecognisedText);
        Qt::ItemFlags flags = selectable ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
        if (column == 0 && tickable)
            flags |= Qt::ItemIsUserCheckable;
        item->setFlags(flags);
    }
}

void ConnectionPage::showNoDriveAnswered()
{
    if (ui->tableScan->rowCount() == 0)
        ui->tableScan->insertRow(0);
    // No station data: the line cannot be picked as a drive.
    auto *line = new QTableWidgetItem(text(QStringLiteral("scan_none")).arg(silentScanPort));
    line->setTextAlignment(Qt::AlignCenter);
    line->setFlags(Qt::ItemIsEnabled);
    ui->tableScan->setItem(0, 0, line);
    ui->tableScan->setSpan(0, 0, 1, ScanColumns);
}

void ConnectionPage::onScanCellClicked(int row)
{
    if (drive->isConnected())
        return;
    const QTableWidgetItem *stationItem = ui->tableScan->item(row, 0);
    if (!stationItem || !stationItem->data(StationRole).isValid())
        return;
    if (!stationItem->data(RecognisedRole).toBool() && !drive->engineerMode())
        return;
    selectStation(static_cast<quint8>(stationItem->data(StationRole).toInt()));
}

void ConnectionPage::selectStation(quint8 station)
{
    drive->selectStation(station);
    ui->lblActiveStation->setText(ActuatorCatalogue::selectedStationText(station));
    ui->lblActiveStation->show();
    ui->btnConnect->setEnabled(true);
}

void ConnectionPage::onEngineerModeChanged(bool on)
{
    QTableWidget *scan = ui->tableScan;
    for (int row = 0; row < scan->rowCount(); ++row) {
        const QTableWidgetItem *cell = scan->item(row, 0);
        if (cell && cell->data(StationRole).isValid())
            styleScanRow(row, cell->data(RecognisedRole).toBool());
    }
    if (on || drive->isConnected() || drive->station() == 0)
        return;
    // Leaving engineer mode takes back the pick of a drive the catalogue does not know.
    for (int row = 0; row < scan->rowCount(); ++row) {
        const QTableWidgetItem *cell = scan->item(row, 0);
        if (!cell || cell->data(StationRole).toInt() != drive->station())
            continue;
        if (!cell->data(RecognisedRole).toBool()) {
            drive->selectStation(0);
            ui->lblActiveStation->hide();
            ui->btnConnect->setEnabled(false);
            scan->clearSelection();
        }
        break;
    }
}

void ConnectionPage::onConnectClicked()
{
    if (drive->station() == 0)
        return;
    if (isScanning) {
        // The scan stops before its next station and then connects.
        isScanning = false;
        connectPending = true;
        ui->btnConnect->setEnabled(false);
        ui->btnScan->setText(text(QStringLiteral("btnScan_scanning")));
        return;
    }
    drive->connections()->connectToDevice(portInBox(), drive->station(), !drive->engineerMode());
}

void ConnectionPage::onDriveConnected(const DeviceInfo &info)
{
    setLed(ui->ledConnection, true, false);
    ui->lblConnectionStatus->setText(text(QStringLiteral("lblStatus_ok")));
    ui->lblConnectionStatus->setStyleSheet(ConnectionStatusOkStyle);
    ui->lblProductInfo->setText(info.model);
    ui->lblHeaderProduct->setText(info.model);
    connectedStation = drive->station();

    showEchoRemoval();
    rememberTcpAddress(worker()->portName());

    // Nothing to pick on the connection tab while connected.
    ui->btnConnect->setEnabled(false);
    ui->btnDisconnect->setEnabled(true);
    ui->cbPorts->setEnabled(false);
    ui->btnScan->setEnabled(false);
    ui->tableScan->setSelectionMode(QAbstractItemView::NoSelection);
    ui->tableScan->setEnabled(false);
    for (int row = 0; row < ui->tableScan->rowCount(); ++row) {
        QTableWidgetItem *cell = ui->tableScan->item(row, 0);
        if (cell && cell->data(StationRole).isValid())
            styleScanRow(row, cell->data(RecognisedRole).toBool());
    }
    stationsJob->refresh();

    linkHealthTimer->start();
    showLinkHealth();
}

void ConnectionPage::onDriveDisconnected(const ModbusError &error)
{
    setLed(ui->ledConnection, false, false);
    ui->lblConnectionStatus->setText(text(QStringLiteral("lblStatus_err")));
    ui->lblConnectionStatus->setStyleSheet(StatusErrStyle);

    // Enabled again once a scan row is selected: with no station it would do nothing.
    ui->btnConnect->setEnabled(false);
    ui->btnDisconnect->setEnabled(false);
    ui->btnScan->setEnabled(true);
    ui->cbPorts->setEnabled(true);

    ui->lblProductInfo->setText(QStringLiteral("---"));
    ui->lblHeaderProduct->setText(QStringLiteral("---"));

    ui->tableScan->setRowCount(0);
    ui->tableScan->setEnabled(true);
    ui->tableScan->setSelectionMode(QAbstractItemView::SingleSelection);
    ui->lblActiveStation->hide();
    stationsJob->refresh();

    // The counters of the connection that ended stay on screen until the next one.
    if (linkHealthTimer->isActive()) {
        linkHealthTimer->stop();
        showLinkHealth();
    }
    const QString message = failureText(error, connectedStation != 0);
    connectedStation = 0;
    if (!message.isEmpty())
        dialogs().message(QMessageBox::Warning, QStringLiteral("Disconnected"), message);
}

QString ConnectionPage::failureText(const ModbusError &error, bool wasConnected) const
{
    switch (error.kind()) {
    case ModbusError::Kind::None:
        return QString();
    case ModbusError::Kind::NoReply:
        return text(QStringLiteral("err_timeout"));
    case ModbusError::Kind::PortLost:
        return lostConnectionText();
    case ModbusError::Kind::PortOpen:
        return portFailureText(error.portOpenError(), false);
    case ModbusError::Kind::DriveDiffers:
        return driveDiffersText();
    case ModbusError::Kind::Refused:
        return text(wasConnected ? QStringLiteral("err_refused") : QStringLiteral("err_identify_refused"))
            .arg(error.text());
    case ModbusError::Kind::NotRecognised:
        return text(QStringLiteral("err_not_recognised"));
    case ModbusError::Kind::Other:
        break;
    }
    return error.text();
}
