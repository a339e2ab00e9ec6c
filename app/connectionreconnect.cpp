// Connection tab: reconnecting after a lost link, opt-in.

#include "connectionpage.h"
#include "ui_mainwindow.h"

#include "activedrive.h"
#include "actuatorcatalogue.h"
#include "connectionmanager.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>

namespace {
const QString ReconnectKey = QStringLiteral("ReconnectAutomatically");
const QString ReconnectLimitKey = QStringLiteral("ReconnectLimitSeconds");
constexpr int DefaultLimitSeconds = 60;
constexpr int ShortestLimitSeconds = 1;
constexpr int LongestLimitSeconds = 3600;
constexpr int ProgressRefreshMs = 500;
const QString StatusWaitingStyle = QStringLiteral("font-size:20px;font-weight:bold;color:#d97706;");
}  // namespace

void ConnectionPage::setupReconnect()
{
    auto *row = new QHBoxLayout;
    chkReconnect = new QCheckBox(ui->tabConnection);
    chkReconnect->setObjectName(QStringLiteral("chkReconnect"));
    lblReconnectLimit = new QLabel(ui->tabConnection);
    lblReconnectLimit->setObjectName(QStringLiteral("lblReconnectLimit"));
    spinReconnectLimit = new QSpinBox(ui->tabConnection);
    spinReconnectLimit->setObjectName(QStringLiteral("spinReconnectLimit"));
    spinReconnectLimit->setRange(ShortestLimitSeconds, LongestLimitSeconds);
    spinReconnectLimit->setSuffix(QStringLiteral(" s"));
    row->addWidget(chkReconnect);
    row->addWidget(lblReconnectLimit);
    row->addWidget(spinReconnectLimit);
    row->addStretch();
    ui->verticalLayout_comm->addLayout(row);

    lblReconnectProgress = new QLabel(ui->tabConnection);
    lblReconnectProgress->setObjectName(QStringLiteral("lblReconnectProgress"));
    lblReconnectProgress->setStyleSheet(QStringLiteral("color:#b45309;"));
    lblReconnectProgress->hide();
    ui->verticalLayout_status->addWidget(lblReconnectProgress);
    reconnectTimer = new QTimer(this);
    reconnectTimer->setInterval(ProgressRefreshMs);
    connect(reconnectTimer, &QTimer::timeout, this, &ConnectionPage::showReconnectProgress);

    const QSettings settings = appSettings();
    chkReconnect->setChecked(settings.value(ReconnectKey, false).toBool());
    spinReconnectLimit->setValue(settings.value(ReconnectLimitKey, DefaultLimitSeconds).toInt());
    drive->setReconnect(chkReconnect->isChecked(), spinReconnectLimit->value());

    connect(chkReconnect, &QCheckBox::toggled, this, [this](bool on) {
        appSettings().setValue(ReconnectKey, on);
        drive->setReconnect(on, spinReconnectLimit->value());
    });
    connect(spinReconnectLimit, qOverload<int>(&QSpinBox::valueChanged), this, [this](int seconds) {
        appSettings().setValue(ReconnectLimitKey, seconds);
        drive->setReconnect(chkReconnect->isChecked(), seconds);
    });
    connect(drive, &ActiveDrive::reconnectingChanged, this, &ConnectionPage::onReconnectingChanged);
    connect(drive, &ActiveDrive::reconnectTried, this, &ConnectionPage::showReconnectProgress);
}

void ConnectionPage::retranslateReconnect()
{
    chkReconnect->setText(text(QStringLiteral("chkReconnect")));
    lblReconnectLimit->setText(text(QStringLiteral("lblReconnectLimit")));
    if (drive->reconnecting()) {
        ui->lblConnectionStatus->setText(text(QStringLiteral("lblStatus_reconnecting")));
        showReconnectProgress();
    }
}

void ConnectionPage::onReconnectingChanged(bool on)
{
    lblReconnectProgress->setVisible(on);
    if (!on) {
        reconnectTimer->stop();
        // Given up: the disconnected state follows at once. Resumed: connected as before.
        setLed(ui->ledConnection, true, false);
        ui->lblConnectionStatus->setText(text(QStringLiteral("lblStatus_ok")));
        ui->lblConnectionStatus->setStyleSheet(StatusOkStyle);
        if (auto *bar = window()->findChild<QStatusBar *>())
            bar->clearMessage();
        return;
    }
    setLedWaiting(ui->ledConnection);
    ui->lblConnectionStatus->setText(text(QStringLiteral("lblStatus_reconnecting")));
    ui->lblConnectionStatus->setStyleSheet(StatusWaitingStyle);
    reconnectTimer->start();
    showReconnectProgress();
}

void ConnectionPage::showReconnectProgress()
{
    if (!drive->reconnecting())
        return;
    lblReconnectProgress->setText(
        text(QStringLiteral("reconnect_progress")).arg(drive->reconnectTries()).arg(drive->sinceLossMs() / 1000));
    showStatus(text(QStringLiteral("reconnect_refused")));
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
