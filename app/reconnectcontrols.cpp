#include "reconnectcontrols.h"
#include "ui_mainwindow.h"

#include "activedrive.h"

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

ReconnectControls::ReconnectControls(WindowContext &context) : WindowPart(context)
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
    connect(reconnectTimer, &QTimer::timeout, this, &ReconnectControls::showReconnectProgress);

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
    connect(drive, &ActiveDrive::reconnectingChanged, this, &ReconnectControls::onReconnectingChanged);
    connect(drive, &ActiveDrive::reconnectTried, this, &ReconnectControls::showReconnectProgress);
}

void ReconnectControls::retranslate()
{
    chkReconnect->setText(text(QStringLiteral("chkReconnect")));
    lblReconnectLimit->setText(text(QStringLiteral("lblReconnectLimit")));
    if (drive->reconnecting()) {
        ui->lblConnectionStatus->setText(text(QStringLiteral("lblStatus_reconnecting")));
        showReconnectProgress();
    }
}

void ReconnectControls::onReconnectingChanged(bool on)
{
    lblReconnectProgress->setVisible(on);
    if (!on) {
        reconnectTimer->stop();
        // Given up: the disconnected state follows at once. Resumed: connected as before.
        setLed(ui->ledConnection, true, false);
        ui->lblConnectionStatus->setText(text(QStringLiteral("lblStatus_ok")));
        ui->lblConnectionStatus->setStyleSheet(ConnectionStatusOkStyle);
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

void ReconnectControls::showReconnectProgress()
{
    if (!drive->reconnecting())
        return;
    lblReconnectProgress->setText(
        text(QStringLiteral("reconnect_progress")).arg(drive->reconnectTries()).arg(drive->sinceLossMs() / 1000));
    showStatus(text(QStringLiteral("reconnect_refused")));
}
