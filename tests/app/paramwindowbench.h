#pragma once

// A main window connected, through its own Connection tab, to one drive on
// the simulated bus; dialogs are answered by ScriptedDialogs. Used by the
// parameter tab, parameter file and station change tests.

#include "mainwindow.h"
#include "modbusworker.h"
#include "registers.h"
#include "scripteddialogs.h"
#include "simbus.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

class ParamWindowBench
{
public:
    static constexpr quint8 ReadHolding = 0x03;
    static constexpr int ConnectWaitMs = 15000;

    // The default drive: LXAZ-16L01-50-BC, lead 1 mm, stroke 50 mm.
    static SimDriveConfig lead1Drive(quint8 station = 3)
    {
        SimDriveConfig c;
        c.station = station;
        return c;
    }
    // LXGZ-40, lead 10 mm, stroke 100 mm.
    static SimDriveConfig lead10Drive(quint8 station = 3)
    {
        SimDriveConfig c;
        c.station = station;
        c.familyCode = 6;
        c.size = 40;
        c.rawLead = 100;  // tenths of a mm above 9
        c.stroke = 100;
        return c;
    }

    // Builds the window in lang ("zh" or "en") with the drive on the bus, not
    // yet connected. Empty, or why the bench cannot run here.
    QString build(const SimDriveConfig &drive, const QString &lang = QStringLiteral("en"))
    {
        station = drive.station;
        bus.addDrive(drive);
        bus.setTiming(SimTiming{0.0, 0});
        if (!bus.start())
            return QStringLiteral("the simulated bus could not open a pseudo-terminal: %1").arg(bus.errorString());
        window = std::make_unique<MainWindow>();
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs = scripted.get();
        window->setDialogs(std::move(scripted));
        find<QComboBox>("cbLanguage")->setCurrentIndex(lang == QLatin1String("zh") ? 0 : 1);
        return QString();
    }

    // Scans, picks the drive and connects, as an operator would; Connect is
    // pressed as soon as the scan offers the drive, which ends the scan there.
    // Empty, or what failed.
    QString connect()
    {
        auto *ports = find<QComboBox>("cbPorts");
        ports->setEditText(bus.portPath());
        auto *connectButton = find<QAbstractButton>("btnConnect");
        bool pressed = false;
        QTimer watch;
        watch.setInterval(10);
        QObject::connect(&watch, &QTimer::timeout, connectButton, [&] {
            if (!pressed && connectButton->isEnabled()) {
                pressed = true;
                connectButton->click();
            }
        });
        watch.start();
        find<QAbstractButton>("btnScan")->click();
        watch.stop();
        if (!pressed) {
            if (!connectButton->isEnabled())
                return QStringLiteral("the scan did not offer the drive");
            connectButton->click();
        }
        auto *tabs = find<QTabWidget>("mainTabs");
        if (!QTest::qWaitFor([&] { return tabs->isTabEnabled(MainWindow::MotionTab); }, ConnectWaitMs))
            return QStringLiteral("the window did not connect");
        return QString();
    }

    QString start(const SimDriveConfig &drive, const QString &lang = QStringLiteral("en"))
    {
        const QString built = build(drive, lang);
        return built.isEmpty() ? connect() : built;
    }

    ModbusWorker *worker() const { return window->modbusWorker(); }
    bool connected() const { return find<QTabWidget>("mainTabs")->isTabEnabled(MainWindow::MotionTab); }

    // Holds polling and waits out a poll cycle in flight, then forgets the
    // traffic so far: what the log shows next comes from the test's action.
    void quiesce()
    {
        worker()->setPollingPaused(true);
        worker()->syncRead(station, Reg::HomeTorque, 1);
        bus.clearRequests();
        dialogs->clear();
    }

    void setFaults(const std::function<void(SimFaults &)> &change)
    {
        SimFaults f;
        change(f);
        bus.setFaults(f);
    }

    // The requests other than the worker's live-state polling, in short:
    // "03 0215/1 @3", "06 0215=1A55 @3", "10 0237=EA60,0000 @3".
    QStringList wire() const
    {
        QStringList lines;
        for (const SimRequest &r : bus.requests()) {
            if (isPoll(r))
                continue;
            QString line = QStringLiteral("%1 %2").arg(r.function, 2, 16, QLatin1Char('0')).arg(r.address, 4, 16, QLatin1Char('0'));
            if (r.function == ReadHolding) {
                line += QStringLiteral("/%1").arg(r.count);
            } else {
                QStringList values;
                for (quint16 v : r.values)
                    values << QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0'));
                line += QLatin1Char('=') + values.join(QLatin1Char(','));
            }
            lines << line.toUpper() + QStringLiteral(" @%1").arg(r.station);
        }
        return lines;
    }

    // Only the writes of wire().
    QStringList writes() const
    {
        QStringList found;
        for (const QString &line : wire()) {
            if (!line.startsWith(QLatin1String("03 ")))
                found << line;
        }
        return found;
    }

    quint16 reg(quint16 address) const { return bus.registerValue(station, address); }
    void setReg(quint16 address, quint16 value) { bus.setRegisterValue(station, address, value); }
    void setReg32(quint16 address, qint32 value)
    {
        setReg(address, quint16(quint32(value) & 0xFFFF));
        setReg(address + 1, quint16(quint32(value) >> 16));
    }

    template <typename T> T *find(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }

    quint8 station = 0;
    SimBus bus;
    std::unique_ptr<MainWindow> window;  // declared after the bus: its worker stops before the bus goes
    ScriptedDialogs *dialogs = nullptr;

private:
    static bool isPoll(const SimRequest &r)
    {
        if (r.function != ReadHolding)
            return false;
        switch (r.address) {
        case Reg::ActualPosition:
        case Reg::MotorCurrent:
        case Reg::TrackingError:
        case Reg::AlarmWord:
        case Reg::InputStatus:
        case Reg::OutputStatus:
            return r.count <= 2;
        default:
            return false;
        }
    }
};

// Points the settings store at a fresh directory before anything reads the
// real one, then runs the test object.
template <typename Test> int runWindowTest(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    if (!config.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    Test test;
    return QTest::qExec(&test, argc, argv);
}
