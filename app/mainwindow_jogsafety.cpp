// Monitor tab: a jog never keeps running because its button missed the
// release. Every way the hold can end sends the release's stop; Esc and the
// Stop button stop manual motion from anywhere in the window.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "jogguard.h"
#include "modbusworker.h"

#include <QPushButton>
#include <QTabWidget>

namespace {

constexpr quint16 StopInput = 0x0004;  // X2: stop / alarm reset
constexpr quint16 MoveInputs = 0x0003;  // X0, X1: move to position 1 / 2
constexpr int StopButtonHeight = 40;

const QString StopButtonStyle = QStringLiteral(
    "QPushButton { background-color:#dc2626; color:white; font-weight:bold; font-size:16px;"
    " border:1px solid #991b1b; border-radius:6px; padding:4px 12px; }"
    "QPushButton:hover { background-color:#b91c1c; }"
    "QPushButton:pressed { background-color:#7f1d1d; }");

}  // namespace

void MainWindow::setupJogSafety()
{
    btnStopMotion = new QPushButton(ui->tabOperation);
    btnStopMotion->setObjectName(QStringLiteral("btnStopMotion"));
    btnStopMotion->setStyleSheet(StopButtonStyle);
    btnStopMotion->setMinimumHeight(StopButtonHeight);
    // Right under the jog buttons, where the hand already is.
    ui->verticalLayout_4->insertWidget(ui->verticalLayout_4->indexOf(ui->groupBox_PosADJ) + 1, btnStopMotion);
    connect(btnStopMotion, &QPushButton::clicked, this, &MainWindow::onStopMotionClicked);

    auto *jogGuard = new JogGuard(this);
    jogGuard->watchButton(ui->btnJogP);
    jogGuard->watchButton(ui->btnJogM);
    connect(jogGuard, &JogGuard::holdLost, this, &MainWindow::stopHeldJog);
    // Whether or not the window holds a jog: Esc is the operator's own stop.
    connect(jogGuard, &JogGuard::escapePressed, this, [this] {
        sendJogStop();
        jogHoldStopped = true;
    });
    connect(ui->mainTabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (index != MonitorTab)
            stopHeldJog();
    });
}

void MainWindow::stopHeldJog()
{
    if (!jogActive)
        return;
    sendJogStop();
    jogHoldStopped = true;
}

void MainWindow::stopForLeaving()
{
    // Queued motion must not go out while the window asks about unsaved changes.
    worker->dropQueuedMotion();
    stopHeldJog();
}

void MainWindow::onStopMotionClicked()
{
    if (!isConnected)
        return;
    sendJogStop();
    jogHoldStopped = true;
    // The stop input also ends a move to position 1 or 2, which the manual stop does not reach.
    // The move inputs go low with it: a word read before a queued lowering went out
    // must not raise them again after the stop.
    pulseCommandInput(StopInput, MoveInputs);
}
