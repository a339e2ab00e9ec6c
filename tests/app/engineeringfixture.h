#pragma once

// What the engineering-tab tests share: a window answering its boxes from a
// script, the version-label taps, the password, and a connection to a drive
// on the simulated bus made through the connection tab's own widgets.

#include "cmpmanager.h"
#include "engineeringaccess.h"
#include "mainwindow.h"
#include "modbusworker.h"
#include "scripteddialogs.h"
#include "simbus.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace EngFixture {

inline const QString Password = QStringLiteral("bench-and-test-only");

template <typename T> T *find(const QWidget &window, const char *name)
{
    return window.findChild<T *>(QLatin1String(name));
}

struct Window
{
    std::unique_ptr<MainWindow> window;
    ScriptedDialogs *dialogs = nullptr;

    MainWindow *operator->() const { return window.get(); }
    template <typename T> T *widget(const char *name) const
    {
        T *found = find<T>(*window, name);
        if (!found)
            qWarning("no widget %s", name);
        return found;
    }
    EngineeringAccess *access() const { return window->findChild<EngineeringAccess *>(); }
    ModbusWorker *worker() const { return window->modbusWorker(); }
    QTabWidget *tabs() const { return widget<QTabWidget>("mainTabs"); }
};

// shown: laid out on the offscreen screen, as the user would see it.
inline Window makeWindow(bool shown = true)
{
    Window w;
    w.window = std::make_unique<MainWindow>();
    auto scripted = std::make_unique<ScriptedDialogs>();
    w.dialogs = scripted.get();
    w.window->setDialogs(std::move(scripted));
    w.window->setEngineeringPasswordDigest(EngineeringAccess::sha256Hex(Password));
    if (shown) {
        w.window->show();
        if (!QTest::qWaitForWindowExposed(w.window.get()))
            qWarning("window not exposed");
    }
    return w;
}

// Each test starts from a first run: no stored language.
inline void forgetSettings()
{
    QSettings(QStringLiteral("Torvane"), QStringLiteral("TorvaneVexaElectricActuator")).clear();
}

// The engineering page without a drive: its tab is enabled as a connection would.
inline void openWithoutDrive(const Window &w)
{
    w->setTabsEnabled(true);
}

inline void tap(const Window &w, int times)
{
    auto *label = w.widget<QLabel>("label_SwVersion");
    for (int i = 0; i < times; ++i)
        QTest::mouseClick(label, Qt::LeftButton);
}

// Seventeen taps; the information box is answered by the script.
inline void toggleEngineerMode(const Window &w)
{
    tap(w, EngineeringAccess::TapsToToggle);
}

inline void typePassword(const Window &w, const QString &password)
{
    auto *field = w.widget<QLineEdit>("engPassword");
    field->setText(password);
    QTest::mouseClick(w.widget<QAbstractButton>("btnLogin"), Qt::LeftButton);
}

inline int scanRowOf(const Window &w, int station)
{
    auto *table = w.widget<QTableWidget>("tableScan");
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *cell = table->item(row, 0);
        if (cell && cell->data(Qt::UserRole).toInt() == station)
            return row;
    }
    return -1;
}

inline void clickScanRow(const Window &w, int row)
{
    auto *table = w.widget<QTableWidget>("tableScan");
    const QRect cell = table->visualItemRect(table->item(row, 0));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
}

// Scans the bus through the connection tab; true when the station answered.
inline bool scan(const Window &w, const SimBus &bus, int station)
{
    w.widget<QComboBox>("cbPorts")->setEditText(bus.portPath());
    QTest::mouseClick(w.widget<QAbstractButton>("btnScan"), Qt::LeftButton);
    return scanRowOf(w, station) >= 0;
}

// Scan, select the station's row, press Connect and wait for the window to say connected.
inline bool connectTo(const Window &w, const SimBus &bus, int station)
{
    if (!scan(w, bus, station))
        return false;
    clickScanRow(w, scanRowOf(w, station));
    QTest::mouseClick(w.widget<QAbstractButton>("btnConnect"), Qt::LeftButton);
    return QTest::qWaitFor([&] { return w.widget<QAbstractButton>("btnDisconnect")->isEnabled(); }, 10000)
           && w.worker()->isRunning();
}

// Stops polling and waits until the bus has been quiet for a while, so a
// fault set next meets the test's own requests first.
inline void quiesce(const Window &w, const SimBus &bus)
{
    w.worker()->setPollingPaused(true);
    int seen = -1;
    QElapsedTimer quiet;
    const bool settled = QTest::qWaitFor([&] {
        const int now = bus.requests().size();
        if (now != seen) {
            seen = now;
            quiet.restart();
        }
        return quiet.elapsed() > 250;
    }, 5000);
    if (!settled)
        qWarning("the bus did not go quiet");
}

inline QVector<SimRequest> writesSince(const SimBus &bus, int from)
{
    QVector<SimRequest> writes;
    const QVector<SimRequest> all = bus.requests();
    for (int i = from; i < all.size(); ++i) {
        if (all[i].function == 0x06 || all[i].function == 0x10)
            writes << all[i];
    }
    return writes;
}

// The settings store goes to a temporary folder before anything can read the real one.
template <typename Test> int runIsolated(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    if (!config.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    QSettings settings(QStringLiteral("Torvane"), QStringLiteral("TorvaneVexaElectricActuator"));
    if (!QFileInfo(settings.fileName()).absoluteFilePath().startsWith(QFileInfo(config.path()).absoluteFilePath()))
        return 1;
    Test test;
    return QTest::qExec(&test, argc, argv);
}

}  // namespace EngFixture
