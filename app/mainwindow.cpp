#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "activedrive.h"
#include "connectionpage.h"
#include "dictionary.h"
#include "engineeringpage.h"
#include "eventspage.h"
#include "modbusworker.h"
#include "monitorpage.h"
#include "paramspage.h"

#include <QCloseEvent>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent),
      // The first child, so that on destruction its worker's thread has ended before any widget goes.
      m_drive(new ActiveDrive(this))
{
    m_context.ui = new Ui::MainWindow;
    m_context.drive = m_drive;
    m_context.window = this;
    m_context.dialogs = std::make_unique<WidgetDialogs>(this);
    Ui::MainWindow *ui = m_context.ui;
    ui->setupUi(this);
    qRegisterMetaType<QVector<quint16>>("QVector<quint16>");
    setWindowTitle(QStringLiteral("Torvane Vexa Electric Actuator  v%1").arg(QStringLiteral(VEXA_APP_VERSION)));
    restoreLanguage();

    connect(ui->cbLanguage, qOverload<int>(&QComboBox::currentIndexChanged), this, &MainWindow::changeLanguage);
    connect(ui->mainTabs, &QTabWidget::currentChanged, this, &MainWindow::onMainTabChanged);
    // Before the pages': the tabs open and close before a page hears of the drive.
    connect(m_drive, &ActiveDrive::connected, this, &MainWindow::onDriveConnected);
    connect(m_drive, &ActiveDrive::disconnected, this, &MainWindow::onDriveDisconnected);
    // While reconnecting, every tab stays visible but takes no input: nothing can reach the drive.
    connect(m_drive, &ActiveDrive::reconnectingChanged, this, [this](bool on) {
        for (int tab = MonitorTab; tab <= EngineeringTab; ++tab)
            m_context.ui->mainTabs->widget(tab)->setEnabled(!on);
    });

    // In this order the pages hear of the drive: the monitor's, the
    // engineering form's and the parameter tabs' reads on connection follow it.
    m_connectionPage = new ConnectionPage(m_context);
    auto *monitorPage = new MonitorPage(m_context);
    m_engineeringPage = new EngineeringPage(m_context);
    auto *paramsPage = new ParamsPage(m_context);
    m_pages = {m_connectionPage, monitorPage, m_engineeringPage, paramsPage, new EventsPage(m_context)};
    connect(m_connectionPage, &ConnectionPage::disconnectRequested, this, &MainWindow::onDisconnectRequested);
    connect(m_engineeringPage, &EngineeringPage::unlockedChanged, paramsPage, &ParamsPage::showEngineerExtras);

    ui->mainTabs->setCurrentIndex(ConnectionTab);
    setTabsEnabled(false);
    applyLanguage();
    m_connectionPage->refreshPortList();
    m_engineeringPage->applyFormDefaults();
    ui->label_SwVersion->setText(QStringLiteral("v%1").arg(QStringLiteral(VEXA_APP_VERSION)));
}

MainWindow::~MainWindow()
{
    // The loop is told to end (queued writes dropped) before anything is torn
    // down; the pages go before the widgets they handle, and the drive, the
    // first child, then waits for its thread before any widget goes.
    m_drive->worker()->stop();
    for (auto page = m_pages.rbegin(); page != m_pages.rend(); ++page)
        delete *page;
    m_pages.clear();
    delete m_context.ui;
    m_context.ui = nullptr;
}

ModbusWorker *MainWindow::modbusWorker() const
{
    return m_drive->worker();
}

ConnectionManager *MainWindow::connections() const
{
    return m_drive->connections();
}

void MainWindow::setEngineeringPasswordDigest(const QByteArray &hexDigest)
{
    m_engineeringPage->setPasswordDigest(hexDigest);
}

void MainWindow::setDialogs(std::unique_ptr<Dialogs> dialogs)
{
    m_context.dialogs = std::move(dialogs);
}

void MainWindow::setDemoPort(const QString &portPath)
{
    m_connectionPage->setDemoPort(portPath);
}

void MainWindow::setTabsEnabled(bool enabled)
{
    for (int tab = MonitorTab; tab <= EngineeringTab; ++tab)
        m_context.ui->mainTabs->setTabEnabled(tab, enabled);
}

void MainWindow::onMainTabChanged(int index)
{
    if (!m_drive->isConnected() && index != ConnectionTab) {
        m_context.dialogs->message(QMessageBox::Warning, QStringLiteral("Warning"),
                                   translateKey(QStringLiteral("warn_connect_first"), m_context.lang));
        m_context.ui->mainTabs->setCurrentIndex(ConnectionTab);
        return;
    }
    for (Page *page : m_pages)
        page->tabChanged(index);
}

void MainWindow::onDriveConnected()
{
    setTabsEnabled(true);
}

void MainWindow::onDriveDisconnected()
{
    m_context.ui->mainTabs->setCurrentIndex(ConnectionTab);
    setTabsEnabled(false);
}

bool MainWindow::pagesMayLeaveDrive()
{
    for (Page *page : m_pages) {
        if (!page->mayLeaveDrive())
            return false;
    }
    return true;
}

void MainWindow::onDisconnectRequested()
{
    // A held jog's stop goes out while the link still runs. While reconnecting
    // the drive cannot be asked anything: the pages are not asked either.
    if (m_drive->reconnecting() || pagesMayLeaveDrive())
        m_drive->disconnectDrive();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!m_drive->reconnecting() && !pagesMayLeaveDrive()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}
