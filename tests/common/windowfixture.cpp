#include "windowfixture.h"

#include "engineeringaccess.h"
#include "registers.h"
#include "wirelog.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTimer>

namespace {

constexpr int ConnectWaitMs = 15000;

// The worker's live-state reads, left out of wire().
bool isPoll(const SimRequest &r)
{
    if (r.function != 0x03 || r.count > 2)
        return false;
    switch (r.address) {
    case Reg::ActualPosition:
    case Reg::MotorCurrent:
    case Reg::TrackingError:
    case Reg::AlarmWord:
    case Reg::InputStatus:
    case Reg::OutputStatus:
        return true;
    default:
        return false;
    }
}

int scanRowOf(const QTableWidget *table, int station)
{
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *cell = table->item(row, 0);
        if (cell && cell->data(Qt::UserRole).toInt() == station)
            return row;
    }
    return -1;
}

}  // namespace

const QString WindowFixture::TestPassword = QStringLiteral("bench-and-test-only");

SimDriveConfig WindowFixture::drive(quint8 station, quint16 familyCode)
{
    SimDriveConfig config;
    config.station = station;
    config.familyCode = familyCode;
    return config;
}

bool WindowFixture::fail(const QString &why)
{
    m_failure = why;
    return false;
}

bool WindowFixture::startBus(const QVector<SimDriveConfig> &drives)
{
    for (const SimDriveConfig &config : drives)
        bus.addDrive(config);
    bus.setTiming(SimTiming{0.0, 0});
    return bus.start();
}

bool WindowFixture::showWindow(const QString &lang)
{
    window.reset();
    window = std::make_unique<MainWindow>();
    auto scripted = std::make_unique<ScriptedDialogs>();
    dialogs = scripted.get();
    window->setDialogs(std::move(scripted));
    window->setEngineeringPasswordDigest(EngineeringAccess::sha256Hex(TestPassword));
    chooseLanguage(lang);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        return fail(QStringLiteral("the window was not exposed"));
    QApplication::setActiveWindow(window.get());
    if (!QTest::qWaitFor([this] { return window->isActiveWindow(); }))
        return fail(QStringLiteral("the window could not be activated"));
    return true;
}

void WindowFixture::chooseLanguage(const QString &lang)
{
    find<QComboBox>("cbLanguage")->setCurrentIndex(lang == QLatin1String("zh") ? 0 : 1);
}

bool WindowFixture::connectTo(quint8 wanted)
{
    station = wanted;
    auto *table = find<QTableWidget>("tableScan");
    auto *connectButton = find<QAbstractButton>("btnConnect");
    const auto pickAndConnect = [&] {
        const int row = scanRowOf(table, wanted);
        if (row < 0)
            return false;
        const QRect cell = table->visualItemRect(table->item(row, 0));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        if (!connectButton->isEnabled())
            return false;
        connectButton->click();
        return true;
    };
    find<QComboBox>("cbPorts")->setEditText(bus.portPath());
    // Connect pressed while the scan runs ends the scan there.
    bool pressed = false;
    QTimer watch;
    watch.setInterval(2);
    QObject::connect(&watch, &QTimer::timeout, [&] { pressed = pressed || pickAndConnect(); });
    watch.start();
    find<QAbstractButton>("btnScan")->click();
    watch.stop();
    if (!pressed && !pickAndConnect())
        return fail(QStringLiteral("the scan did not offer station %1").arg(wanted));
    // A box instead of the connection says why it failed.
    const int boxes = dialogs->count();
    if (!QTest::qWaitFor([&] { return connected() || dialogs->count() > boxes; }, ConnectWaitMs) || !connected())
        return fail(QStringLiteral("the window did not connect to station %1: %2").arg(wanted).arg(dialogs->last().text));
    return true;
}

bool WindowFixture::connected() const
{
    return tabs()->isTabEnabled(MainWindow::MotionTab) && find<QAbstractButton>("btnDisconnect")->isEnabled();
}

bool WindowFixture::disconnectWindow(QMessageBox::StandardButton answer)
{
    dialogs->queueAnswer(answer);
    find<QAbstractButton>("btnDisconnect")->click();
    if (!QTest::qWaitFor([this] { return !worker()->isRunning(); }, ConnectWaitMs))
        return fail(QStringLiteral("the worker kept running after Disconnect"));
    return true;
}

bool WindowFixture::openEngineeringPage()
{
    if (!tabs()->isTabVisible(MainWindow::EngineeringTab)) {
        auto *label = find<QLabel>("label_SwVersion");
        for (int i = 0; i < EngineeringAccess::TapsToToggle; ++i)
            QTest::mouseClick(label, Qt::LeftButton);
    }
    tabs()->setCurrentIndex(MainWindow::EngineeringTab);
    auto *stack = find<QStackedWidget>("engStack");
    if (stack->currentIndex() == 0) {
        find<QLineEdit>("engPassword")->setText(TestPassword);
        find<QAbstractButton>("btnLogin")->click();
    }
    if (tabs()->currentIndex() != MainWindow::EngineeringTab || stack->currentIndex() != 1)
        return fail(QStringLiteral("the engineering content page did not open"));
    return true;
}

void WindowFixture::showTab(int tab)
{
    const int from = mark();
    const bool reads = tabs()->currentIndex() != tab
                       && (tab == MainWindow::MotionTab || tab == MainWindow::AdvancedTab);
    tabs()->setCurrentIndex(tab);
    if (reads && !QTest::qWaitFor([&] { return !wire(from).isEmpty(); }, 2000))
        qWarning("the tab read nothing");
    waitQuiet();
}

void WindowFixture::waitQuiet(int quietMs)
{
    waitUntilQuiet(quietMs, false);
}

void WindowFixture::waitUntilQuiet(int quietMs, bool polls)
{
    int seen = -1;
    QElapsedTimer quiet;
    const bool settled = QTest::qWaitFor([&] {
        const int now = polls ? bus.requests().size() : wire().size();
        if (now != seen) {
            seen = now;
            quiet.restart();
        }
        return quiet.elapsed() > quietMs;
    }, quietMs + 10000);
    if (!settled)
        qWarning("the bus did not go quiet");
}

void WindowFixture::quiesce()
{
    bus.setFaults(SimFaults());
    if (worker()->isRunning()) {
        worker()->setPollingPaused(true);
        waitUntilQuiet(80, true);
    }
    bus.clearRequests();
    // Fresh boxes: no answer queued for one test is left for the next.
    auto scripted = std::make_unique<ScriptedDialogs>();
    dialogs = scripted.get();
    window->setDialogs(std::move(scripted));
}

void WindowFixture::withFaults(const SimFaults &faults, const std::function<void()> &action)
{
    quiesce();
    bus.setFaults(faults);
    action();
    bus.setFaults(SimFaults());
    if (worker()->isRunning())
        worker()->setPollingPaused(true);
    // A reply held back lands before the next step looks at the drive.
    waitQuiet(faults.replyDelayMs + faults.lateReplyMs + 80);
}

bool WindowFixture::waitPolls(int n)
{
    QSignalSpy states(worker(), &ModbusWorker::stateUpdated);
    return QTest::qWaitFor([&] { return states.size() >= n; }, 10000);
}

QStringList WindowFixture::wire(int from, bool writesOnly) const
{
    QStringList lines;
    const QVector<SimRequest> all = bus.requests();
    for (int i = from; i < all.size(); ++i) {
        if (!isPoll(all[i]) && !(writesOnly && all[i].function == 0x03))
            lines << wireText(all[i]);
    }
    return lines;
}

QWidget *WindowFixture::widget(const char *name) const
{
    auto *found = window->findChild<QWidget *>(QLatin1String(name));
    if (!found)
        qFatal("the window has no widget named %s", name);
    return found;
}

bool WindowFixture::click(const char *button)
{
    auto *found = find<QAbstractButton>(button);
    if (!found->isEnabled())
        return fail(QStringLiteral("%1 is disabled").arg(QLatin1String(button)));
    found->click();
    return true;
}

void WindowFixture::setReg32(quint16 address, qint32 value)
{
    setReg(address, quint16(quint32(value) & 0xFFFF));
    setReg(quint16(address + 1), quint16(quint32(value) >> 16));
}

qint32 WindowFixture::reg32(quint16 address) const
{
    return qint32(quint32(reg(address)) | (quint32(reg(quint16(address + 1))) << 16));
}

SimFaults faultsOf(const char *name)
{
    const QByteArray fault(name);
    SimFaults f;
    if (fault == "silence")
        f.silent = true;
    else if (fault == "bad CRC")
        f.badCrc = true;
    else if (fault == "exception")
        f.exceptionReplies = true;
    else if (fault == "slow")
        f.replyDelayMs = 1300;  // beyond the longest single wait of any request
    else if (fault == "foreign")
        f.answerAsStation = 9;
    else if (fault == "noise")
        f.noiseBytes = 7;
    else if (fault == "split") {
        f.splitPieces = 4;
        f.splitGapMs = 5;
    }
    else if (fault.startsWith("drop "))
        f.dropEveryNth = fault.mid(5).toInt();
    else if (fault.startsWith("answers "))
        f.silentAfterReplies = fault.mid(8).toInt();
    else if (fault.startsWith("late ")) {
        QString error;
        if (!parseSimLateReplies(QString::fromLatin1(fault.mid(5)), &f, &error))
            qFatal("%s", qPrintable(error));
    }
    else if (fault != "none")
        qFatal("unknown fault %s", name);
    return f;
}
