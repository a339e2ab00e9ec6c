// Connection tab additions: converter addresses remembered in the port box,
// adapters named by description and serial number, what to do when a port
// cannot be opened, the echo removal note, the traffic view and the link
// counters of the current connection, kept on screen after it ends until the
// next one is asked for.

#include "connectionpage.h"
#include "ui_mainwindow.h"

#include "activedrive.h"
#include "actuatorcatalogue.h"
#include "connectionmanager.h"
#include "linkstats.h"
#include "modbusworker.h"
#include "serialport.h"
#include "trafficview.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSettings>
#include <QTimer>

namespace {

constexpr int RecentTcpAddresses = 5;
constexpr int LinkHealthIntervalMs = 500;
const QString RecentTcpKey = QStringLiteral("RecentTcpAddresses");

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

void ConnectionPage::setupBusAdditions()
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
            trafficView = new TrafficView(worker(), drive->connections(), [this]() -> Dialogs & { return dialogs(); },
                                          window());
            trafficView->retranslate(lang());
        }
        trafficView->show();
        trafficView->raise();
        trafficView->activateWindow();
    });
}

void ConnectionPage::retranslateBusAdditions()
{
    btnTraffic->setText(text(QStringLiteral("btnTraffic")));
    lblEchoRemoval->setText(text(QStringLiteral("echo_removal_on")));
    if (trafficView)
        trafficView->retranslate(lang());
}

void ConnectionPage::addPortEntries()
{
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
        ui->cbPorts->addItem(adapterText(port), port.portName());
        ui->cbPorts->setItemData(ui->cbPorts->count() - 1, port.systemLocation(), Qt::ToolTipRole);
    }
    for (const QString &address : appSettings().value(RecentTcpKey).toStringList())
        ui->cbPorts->addItem(address, address);
}

QString ConnectionPage::portInBox() const
{
    // A listed adapter's text carries its description; what opens it is its name.
    const int index = ui->cbPorts->currentIndex();
    const QString text = ui->cbPorts->currentText().trimmed();
    if (index >= 0 && text == ui->cbPorts->itemText(index).trimmed() && ui->cbPorts->itemData(index).isValid())
        return ui->cbPorts->itemData(index).toString();
    return text;
}

void ConnectionPage::rememberTcpAddress(const QString &portName)
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

void ConnectionPage::showEchoRemoval()
{
    lblEchoRemoval->setVisible(drive->connections()->echoRemoval());
}

QString ConnectionPage::portFailureText(const PortOpenError &error, bool namePort) const
{
    const QString cannotOpen = text(QStringLiteral("err_port_open"));
    switch (error.kind) {
    case PortOpenError::Kind::TcpConnect:
        return text(QStringLiteral("err_tcp_connect")).arg(error.port, error.detail);
    case PortOpenError::Kind::NoPermission:
#ifdef Q_OS_LINUX
        return QStringLiteral("%1: %2").arg(cannotOpen,
                                            text(QStringLiteral("err_port_dialout")).arg(error.port));
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

QString ConnectionPage::lostConnectionText() const
{
    const DriveAddress address = DriveAddress::parse(worker()->portName());
    if (address.tcp)
        return text(QStringLiteral("err_tcp_lost")).arg(address.hostAndPort());
    return text(QStringLiteral("err_port_lost"));
}

void ConnectionPage::setupLinkHealth()
{
    lblLinkHealth = new QLabel(ui->tabConnection);
    lblLinkHealth->setObjectName(QStringLiteral("lblLinkHealth"));
    lblLinkHealth->setStyleSheet(QStringLiteral("color:#475569;"));
    lblLinkHealth->setWordWrap(true);
    lblLinkHealth->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Nothing to show before the first connection.
    lblLinkHealth->hide();
    ui->verticalLayout_tab1->addWidget(lblLinkHealth);

    linkHealthTimer = new QTimer(this);
    linkHealthTimer->setInterval(LinkHealthIntervalMs);
    connect(linkHealthTimer, &QTimer::timeout, this, &ConnectionPage::showLinkHealth);
    // A new connection's counters start from nothing: the last one's go as soon
    // as the next is asked for, also when it then fails.
    connect(ui->btnConnect, &QPushButton::clicked, lblLinkHealth, &QLabel::hide);
}

void ConnectionPage::showLinkHealth()
{
    const LinkStats stats = worker()->linkStats();
    const auto count = [](quint64 n) { return QString::number(n); };
    lblLinkHealth->setText(text(QStringLiteral("link_health"))
                               .arg(count(stats.requests), count(stats.replies), count(stats.timeouts),
                                    count(stats.badCrcFrames), count(stats.exceptionReplies),
                                    count(stats.skippedBytes), QString::number(stats.latencyMeanMs(), 'f', 1),
                                    QString::number(stats.latencyMaxMs, 'f', 1)));
    lblLinkHealth->show();
}

QString ConnectionPage::driveDiffersText() const
{
    const DeviceInfo before = drive->connections()->deviceInfo();
    const DeviceInfo now = drive->connections()->foundInfo();
    QStringList parts;
    for (const QString &field : drive->connections()->differences()) {
        QString was;
        QString found;
        if (field == QLatin1String("model")) {
            was = before.model;
            found = now.model;
        } else if (field == QLatin1String("firmware")) {
            was = before.fwVersion;
            found = now.fwVersion;
        } else if (field == QLatin1String("hardware")) {
            was = before.hwVersion;
            found = now.hwVersion;
        } else {
            was = ActuatorCatalogue::logicVersionText(before.logicVersion);
            found = ActuatorCatalogue::logicVersionText(now.logicVersion);
        }
        parts << QStringLiteral("%1: %2 → %3").arg(text(QStringLiteral("differs_") + field), was, found);
    }
    return text(QStringLiteral("err_drive_differs")).arg(connectedStation).arg(parts.join(QStringLiteral("; ")));
}
