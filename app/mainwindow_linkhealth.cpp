// Connection tab: the link counters of the current connection, kept on screen
// after it ends until the next one is asked for.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "dictionary.h"
#include "linkstats.h"
#include "modbusworker.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr int LinkHealthIntervalMs = 500;

}  // namespace

void MainWindow::setupLinkHealth()
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
    connect(linkHealthTimer, &QTimer::timeout, this, &MainWindow::showLinkHealth);
    // A new connection's counters start from nothing: the last one's go as soon
    // as the next is asked for, also when it then fails.
    connect(ui->btnConnect, &QPushButton::clicked, lblLinkHealth, &QLabel::hide);
}

void MainWindow::showLinkHealth()
{
    const LinkStats stats = worker->linkStats();
    const auto count = [](quint64 n) { return QString::number(n); };
    lblLinkHealth->setText(translateKey(QStringLiteral("link_health"), currentLang)
                               .arg(count(stats.requests), count(stats.replies), count(stats.timeouts),
                                    count(stats.badCrcFrames), count(stats.exceptionReplies),
                                    count(stats.skippedBytes), QString::number(stats.latencyMeanMs(), 'f', 1),
                                    QString::number(stats.latencyMaxMs, 'f', 1)));
    lblLinkHealth->show();
}
