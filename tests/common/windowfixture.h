#pragma once

// The main window on the in-process simulated bus, driven as an operator
// would: through the widgets of mainwindow.ui, the dialogs seam and the wire
// log. Helpers that can fail return false and say why in failure(); a test
// wraps them in QVERIFY2, so a fixture that cannot connect fails the test.

#include "mainwindow.h"
#include "modbusworker.h"
#include "scripteddialogs.h"
#include "simbus.h"

#include <QStringList>
#include <QTabWidget>
#include <QtTest>

#include <functional>
#include <memory>

class WindowFixture
{
public:
    // Tests and benches log in with this password; the window is handed its digest.
    static const QString TestPassword;

    // LXAZ-16L01-50-BC (lead 1 mm, stroke 50 mm) unless the family says otherwise.
    static SimDriveConfig drive(quint8 station, quint16 familyCode = 0);

    // Starts the bus with zero wire time; false only when no pseudo-terminal opens.
    bool startBus(const QVector<SimDriveConfig> &drives);
    // A fresh shown window in "en" or "zh", answering its boxes from `dialogs`.
    bool showWindow(const QString &lang);
    void chooseLanguage(const QString &lang);
    // Scans through the connection tab only until the station answers, then connects;
    // false as soon as a box shows instead.
    bool connectTo(quint8 station);
    bool connected() const;
    // Disconnect button; an unsaved-changes question gets `answer`.
    bool disconnectWindow(QMessageBox::StandardButton answer = QMessageBox::Discard);
    // Engineer mode by the version-label taps, then the test password.
    bool openEngineeringPage();
    // Selects the tab and waits until the reads it starts are over.
    void showTab(int tab);

    // Polling held, the bus quiet, faults, wire log and dialogs cleared.
    void quiesce();
    // Waits until no request other than polling came for quietMs.
    void waitQuiet(int quietMs = 80);
    // Runs the action with the faults on the bus, then clears them and holds polling.
    void withFaults(const SimFaults &faults, const std::function<void()> &action);
    // Waits for n more polling cycles.
    bool waitPolls(int n);

    int mark() const { return bus.requests().size(); }
    // The requests other than live-state polling since a mark, one line each
    // as wirelog.h writes them: "1 03 0215 x1", "1 06 0215 = 1A55".
    QStringList wire(int from = 0, bool writesOnly = false) const;
    QStringList writes(int from = 0) const { return wire(from, true); }

    QWidget *widget(const char *name) const;
    template <typename T> T *find(const char *name) const
    {
        T *found = qobject_cast<T *>(widget(name));
        if (!found)
            qFatal("widget %s is not of the type asked for", name);
        return found;
    }
    // Clicks an enabled button; false (with the reason) when it is disabled.
    bool click(const char *button);
    QTabWidget *tabs() const { return find<QTabWidget>("mainTabs"); }
    ModbusWorker *worker() const { return window->modbusWorker(); }

    quint16 reg(quint16 address) const { return bus.registerValue(station, address); }
    void setReg(quint16 address, quint16 value) { bus.setRegisterValue(station, address, value); }
    void setReg32(quint16 address, qint32 value);
    qint32 reg32(quint16 address) const;

    QString failure() const { return m_failure; }

    SimBus bus;
    std::unique_ptr<MainWindow> window;  // after the bus: its worker stops first
    ScriptedDialogs *dialogs = nullptr;
    quint8 station = 0;

private:
    bool fail(const QString &why);
    void waitUntilQuiet(int quietMs, bool polls);
    QString m_failure;
};

// Faults by name, for test data: "silence", "bad CRC", "exception", "slow" (replies held back
// beyond any wait), "foreign" (another station answers), "noise", "split", "drop N" (one reply
// in N lost), "answers N" (silent after N more replies), "late MS[@ADDR]" (replies, or those
// to reads of ADDR, held back MS ms), "none".
SimFaults faultsOf(const char *name);
