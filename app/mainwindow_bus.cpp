// Connection tab additions: converter addresses remembered in the port box,
// adapters named by description and serial number, what to do when a port
// cannot be opened, the echo removal note and the traffic view.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "connectionmanager.h"
#include "dictionary.h"
#include "modbusworker.h"
#include "serialport.h"
#include "trafficview.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSettings>

namespace {

constexpr int RecentTcpAddresses = 5;
const QString RecentTcpKey = QStringLiteral("RecentTcpAddresses");

QSettings appSettings()
{
    return QSettings(QStringLiteral("Torvane"), QStringLiteral("TorvaneVexaElectricActuator"));
}

// "ttyUSB0 — FT232R USB UART, S/N A10KX3Q1"; the bare name when the system tells nothing more.
QString adapterText(const QSerialPortInfo &port)
{
    QStringList about;
    if (!port.description().isEmpty())
        about << port.description();
    if (!port.serialNumber().isEmpty())
        about << QStringLiteral("S/N %1").arg(port.serialNumber());
    return about.isEmpty() ? port.portName()
                           : QStringLiteral("%1 — %2").arg(port.portName(), about.join(QStringLiteral(", ")));
}

}  // namespace

void MainWindow::setupBusAdditions()
{
    lblEchoRemoval = new QLabel(ui->tabConnection);
    lblEchoRemoval->setObjectName(QStringLiteral("lblEchoRemoval"));
    lblEchoRemoval->setStyleSheet(QStringLiteral("color:#b45309;font-weight:bold;"));
    lblEchoRemoval->hide();
    ui->verticalLayout_comm->addWidget(lblEchoRemoval);

    btnTraffic = new QPushButton(ui->tabConnection);
    btnTraffic->setObjectName(QStringLiteral("btnTraffic"));
    ui->horizontalLayout_btns->addWidget(btnTraffic);
    connect(btnTraffic, &QPushButton::clicked, this, [this] {
        if (!trafficView) {
            trafficView = new TrafficView(worker, connectionManager, m_dialogs.get(), this);
            trafficView->retranslate(currentLang);
        }
        trafficView->show();
        trafficView->raise();
        trafficView->activateWindow();
    });
}

void MainWindow::retranslateBusAdditions()
{
    btnTraffic->setText(translateKey(QStringLiteral("btnTraffic"), currentLang));
    lblEchoRemoval->setText(translateKey(QStringLiteral("echo_removal_on"), currentLang));
    if (trafficView)
        trafficView->retranslate(currentLang);
}

void MainWindow::addPortEntries()
{
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
        ui->cbPorts->addItem(adapterText(port), port.portName());
        ui->cbPorts->setItemData(ui->cbPorts->count() - 1, port.systemLocation(), Qt::ToolTipRole);
    }
    for (const QString &address : appSettings().value(RecentTcpKey).toStringList())
        ui->cbPorts->addItem(address, address);
}

QString MainWindow::portInBox() const
{
    // A listed adapter's text carries its description; what opens it is its name.
    const int index = ui->cbPorts->currentIndex();
    const QString text = ui->cbPorts->currentText().trimmed();
    if (index >= 0 && text == ui->cbPorts->itemText(index).trimmed() && ui->cbPorts->itemData(index).isValid())
        return ui->cbPorts->itemData(index).toString();
    return text;
}

void MainWindow::rememberTcpAddress(const QString &portName)
{
    const DriveAddress address = DriveAddress::parse(portName);
    if (!address.tcp)
        return;
    const QString entry = QStringLiteral("tcp://") + address.hostAndPort();
    QSettings settings = appSettings();
    QStringList recent = settings.value(RecentTcpKey).toStringList();
    recent.removeAll(entry);
    recent.prepend(entry);
    settings.setValue(RecentTcpKey, QStringList(recent.mid(0, RecentTcpAddresses)));
}

void MainWindow::showEchoRemoval()
{
    lblEchoRemoval->setVisible(connectionManager->echoRemoval());
}

QString MainWindow::portFailureText(bool namePort) const
{
    const PortOpenError error = connectionManager->lastOpenError();
    const QString cannotOpen = translateKey(QStringLiteral("err_port_open"), currentLang);
    switch (error.kind) {
    case PortOpenError::Kind::TcpConnect:
        return translateKey(QStringLiteral("err_tcp_connect"), currentLang).arg(error.port, error.detail);
    case PortOpenError::Kind::NoPermission:
#ifdef Q_OS_LINUX
        return QStringLiteral("%1: %2").arg(cannotOpen,
                                            translateKey(QStringLiteral("err_port_dialout"), currentLang).arg(error.port));
#else
        return QStringLiteral("%1: %2 (%3)").arg(cannotOpen, error.port, error.detail);
#endif
    case PortOpenError::Kind::NotFound:
        // The path itself says what is missing; the scan names it, the connect box is beside it.
        return namePort ? QStringLiteral("%1: %2").arg(cannotOpen, error.port) : cannotOpen;
    case PortOpenError::Kind::Other:
        return QStringLiteral("%1: %2 (%3)").arg(cannotOpen, error.port, error.detail);
    case PortOpenError::Kind::None:
        break;
    }
    return cannotOpen;
}

QString MainWindow::lostConnectionText() const
{
    const DriveAddress address = DriveAddress::parse(worker->portName());
    if (address.tcp)
        return translateKey(QStringLiteral("err_tcp_lost"), currentLang).arg(address.hostAndPort());
    return translateKey(QStringLiteral("err_port_lost"), currentLang);
}
