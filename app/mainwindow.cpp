#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "alarmtext.h"
#include "cmpmanager.h"
#include "connectionmanager.h"
#include "dialogs.h"
#include "dictionary.h"
#include "modbusworker.h"
#include "parammanager.h"
#include "steppeddoublespinbox.h"

#include <QHeaderView>
#include <QLabel>
#include <QSettings>
#include <QTimer>

namespace {

const QString LampOff = QStringLiteral("background-color:#d1d5db;border-radius:8px;border:1px solid #9ca3af;");
const QString LampAlarm = QStringLiteral("background-color:#ef4444;border-radius:8px;border:1px solid #b91c1c;");
const QString LampOn = QStringLiteral("background-color:#10b981;border-radius:8px;border:1px solid #047857;");

constexpr int FocusDelayMs = 10;

}  // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent),
      ui(new Ui::MainWindow),
      // The first child, so that on destruction its thread has ended before any widget goes.
      worker(new ModbusWorker(this)),
      connectionManager(new ConnectionManager(worker, this)),
      paramManager(new ParamManager(worker, this)),
      cmpManager(new CmpManager(worker, this)),
      m_dialogs(std::make_unique<WidgetDialogs>(this))
{
    ui->setupUi(this);
    qRegisterMetaType<QVector<quint16>>("QVector<quint16>");
    setWindowTitle(QStringLiteral("Torvane Vexa Electric Actuator  v%1").arg(QStringLiteral(VEXA_APP_VERSION)));

    restoreLanguage();
    installSteppedJogSpeedBox();

    statusLamps = {ui->ledConnection, ui->ledAlarm, ui->ledX0, ui->ledX1, ui->ledX2,
                   ui->ledX7,         ui->ledY0,    ui->ledY1, ui->ledY2};
    for (QLabel *lamp : qAsConst(statusLamps))
        setLed(lamp, false, false);

    setupTables();
    setupConnections();

    ui->mainTabs->setCurrentIndex(ConnectionTab);
    ui->engPwdError->hide();
    ui->engSplitter->setSizes({460, 650});
    ui->cmpLogs->setReadOnly(true);
    setTabsEnabled(false);
    applyLanguage();
    refreshPortList();
    onLeadChanged();
    onStrokeChanged();

    ui->mainTabs->setTabVisible(EngineeringTab, false);
    ui->label_SwVersion->setText(QStringLiteral("v%1").arg(QStringLiteral(VEXA_APP_VERSION)));
    ui->label_SwVersion->installEventFilter(this);
    ui->engStack->setCurrentIndex(0);
    ui->engPassword->clear();
    ui->engPwdError->hide();
}

MainWindow::~MainWindow()
{
    // The loop is told to end (queued writes dropped) before anything is torn down;
    // the worker, the first child, then waits for its thread before any widget goes.
    worker->stop();
    delete ui;
    ui = nullptr;
}

void MainWindow::setDialogs(std::unique_ptr<Dialogs> dialogs)
{
    m_dialogs = std::move(dialogs);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (ui && watched == ui->label_SwVersion && handleVersionLabelEvent(event))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::setLed(QLabel *label, bool on, bool alarm)
{
    if (!label)
        return;
    label->setStyleSheet(!on ? LampOff : (alarm ? LampAlarm : LampOn));
}

void MainWindow::setTabsEnabled(bool enabled)
{
    for (int tab = MonitorTab; tab <= EngineeringTab; ++tab)
        ui->mainTabs->setTabEnabled(tab, enabled);
}

void MainWindow::updateAlarmHistory(ushort alarmHistRaw)
{
    lastAlarmHist = alarmHistRaw;
    QLabel *const fields[] = {ui->lblAlarmCurrent, ui->lblAlarmHist1, ui->lblAlarmHist2,
                              ui->lblAlarmHist3};
    for (int i = 0; i < 4; ++i) {
        const int code = (alarmHistRaw >> (4 * i)) & 0xF;
        fields[i]->setText(alarmHistoryText(code, currentLang));
        fields[i]->setStyleSheet(code != 0
                                     ? QStringLiteral("font-weight:bold; color:#dc2626; padding:2px 8px;")
                                     : QStringLiteral("font-weight:bold; color:#16a34a; padding:2px 8px;"));
    }
}

void MainWindow::restoreLanguage()
{
    QSettings settings(QStringLiteral("Torvane"), QStringLiteral("TorvaneVexaElectricActuator"));
    // Any other stored code is kept as it is: the texts then fall back to English
    // while the combo box shows Chinese, until the user picks a language.
    currentLang = settings.value(QStringLiteral("AppLanguage"), QStringLiteral("zh")).toString();

    const QSignalBlocker blocker(ui->cbLanguage);
    ui->cbLanguage->setCurrentIndex(currentLang == QLatin1String("en") ? 1 : 0);
    cmpManager->setLanguage(currentLang);
    paramManager->setLang(currentLang);
}

void MainWindow::installSteppedJogSpeedBox()
{
    QDoubleSpinBox *designed = ui->spinJogSpeed;
    QWidget *parent = designed->parentWidget();

    jogSpeedBox = new SteppedDoubleSpinBox(parent);
    jogSpeedBox->setMinimumSize(designed->minimumSize());
    jogSpeedBox->setMaximumSize(designed->maximumSize());
    jogSpeedBox->setSizePolicy(designed->sizePolicy());
    // The old box gives up its name at once: until its deferred deletion it would
    // otherwise still be found under it.
    const QString name = designed->objectName();
    designed->setObjectName(QString());
    jogSpeedBox->setObjectName(name);

    delete parent->layout()->replaceWidget(designed, jogSpeedBox);
    designed->hide();
    designed->deleteLater();
    ui->spinJogSpeed = jogSpeedBox;

    jogSpeedBox->setDecimals(0);
    jogSpeedBox->setRange(1, 15);
    jogSpeedBox->setSingleStep(1);
    jogSpeedBox->setSuffix(QStringLiteral(" mm/s"));
    jogSpeedBox->setValue(5);
}

void MainWindow::setupTables()
{
    QHeaderView *scanHeader = ui->tableScan->horizontalHeader();
    scanHeader->setSectionResizeMode(QHeaderView::Stretch);
    scanHeader->setDefaultAlignment(Qt::AlignCenter);
    ui->tableScan->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->tableScan->setEditTriggers(QAbstractItemView::NoEditTriggers);

    QHeaderView *cmpHeader = ui->cmpTable->horizontalHeader();
    cmpHeader->setSectionResizeMode(QHeaderView::ResizeToContents);
    cmpHeader->setStretchLastSection(true);
    cmpHeader->setDefaultAlignment(Qt::AlignCenter);
    ui->cmpTable->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->cmpTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void MainWindow::setupConnections()
{
    connect(ui->cbLanguage, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &MainWindow::changeLanguage);
    connect(ui->mainTabs, &QTabWidget::currentChanged, this, &MainWindow::onMainTabChanged);
    setupConnectionTab();
    setupMonitorTab();
    setupParamTabs();
    setupEngineeringTab();
}

void MainWindow::onMainTabChanged(int index)
{
    if (!isConnected && index != ConnectionTab) {
        m_dialogs->message(QMessageBox::Warning, QStringLiteral("Warning"),
                           translateKey(QStringLiteral("warn_connect_first"), currentLang));
        ui->mainTabs->setCurrentIndex(ConnectionTab);
        return;
    }
    if (index == EngineeringTab) {
        QTimer::singleShot(FocusDelayMs, this, [this] { ui->engPassword->setFocus(); });
        refreshLeadChoices();
        refreshStrokeChoices();
        return;
    }
    // Leaving the Engineering tab always locks it again.
    ui->engStack->setCurrentIndex(0);
    ui->engPassword->clear();
    ui->engPwdError->hide();
    refreshLeadChoices();
    refreshStrokeChoices();
    if (isConnected && (index == MotionTab || index == AdvancedTab))
        QTimer::singleShot(FocusDelayMs, this, [this, index] { onParamTabShown(index); });
}
