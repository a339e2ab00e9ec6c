#pragma once

#include "benchapp.h"
#include "mainwindow.h"
#include "scripteddialogs.h"
#include "simbus.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QTabWidget>

#include <cstdio>
#include <memory>

// A named widget of the window; says so on stderr when there is none.
template <typename T> T *find(const MainWindow &window, const char *name)
{
    T *found = window.findChild<T *>(QLatin1String(name));
    if (!found)
        std::fprintf(stderr, "no widget %s\n", name);
    return found;
}

// A window with scripted dialogs, scanned and connected to the one drive at
// `station` on a simulated bus started here, as an operator would; null (and
// a line saying why) when the bus does not start or the window does not connect.
inline std::unique_ptr<MainWindow> connectedWindow(SimBus &bus, quint8 station)
{
    SimDriveConfig drive;
    drive.station = station;
    bus.addDrive(drive);
    if (!bus.start()) {
        std::printf("the simulated bus could not start: %s\n", qPrintable(bus.errorString()));
        return nullptr;
    }
    auto window = std::make_unique<MainWindow>();
    window->setDialogs(std::make_unique<ScriptedDialogs>());
    find<QComboBox>(*window, "cbPorts")->setEditText(bus.portPath());
    find<QAbstractButton>(*window, "btnScan")->click();
    auto *connectButton = find<QAbstractButton>(*window, "btnConnect");
    auto *tabs = find<QTabWidget>(*window, "mainTabs");
    constexpr int ConnectWaitMs = 15000;
    if (!connectButton->isEnabled()) {
        std::printf("the scan found no drive to connect to\n");
        return nullptr;
    }
    connectButton->click();
    if (!waitFor([&] { return tabs->isTabEnabled(MainWindow::MotionTab); }, ConnectWaitMs)) {
        std::printf("the window did not connect\n");
        return nullptr;
    }
    return window;
}
