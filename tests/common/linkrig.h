#pragma once

// The link without a window: the simulated bus with a worker and a connection manager.

#include "connectionmanager.h"
#include "modbusworker.h"
#include "simbus.h"
#include "scripteddevice.h"
#include "wirelog.h"

#include <QtTest>

// A drive at a station: LXAZ-16L01-50-BC unless the family or the stroke differ.
inline SimDriveConfig driveAt(quint8 station, quint16 family = 0, quint16 stroke = 50)
{
    SimDriveConfig c;
    c.station = station;
    c.familyCode = family;
    c.stroke = stroke;
    return c;
}

// Members go in reverse order: the manager, the worker (waiting for its thread), then the bus.
struct LinkRig
{
    static constexpr int WaitMs = 10000;  // generous: only the order of events is asserted

    SimBus bus;
    ModbusWorker worker;
    ConnectionManager manager{&worker};
    QStringList errors;  // the manager's connection errors: their texts, and their kinds
    QList<ModbusError::Kind> errorKinds;
    int connections = 0;
    QList<DeviceState> states;

    explicit LinkRig(const QVector<SimDriveConfig> &drives = {driveAt(1)})
    {
        registerLinkMetaTypes();
        registerConnectionMetaTypes();
        for (const SimDriveConfig &c : drives)
            bus.addDrive(c);
        QObject::connect(&manager, &ConnectionManager::connected, [this] { ++connections; });
        QObject::connect(&manager, &ConnectionManager::connectionError, [this](const ModbusError &e) {
            errors << e.text();
            errorKinds << e.kind();
        });
        QObject::connect(&worker, &ModbusWorker::stateUpdated, [this](const DeviceState &s) { states << s; });
    }
    ~LinkRig()
    {
        manager.disconnectDevice();
        worker.stop();
        worker.wait();
    }

    bool start() { return bus.start(); }
    // The bus and a worker on it without the manager: the station's polling, or only calls when paused.
    bool startWorker(quint8 station = 1, bool paused = false)
    {
        if (!start())
            return false;
        worker.setPortName(port());
        worker.setStation(station);
        worker.setPollingPaused(paused);
        int connected = 0;
        const auto c = QObject::connect(&worker, &ModbusWorker::connectedSuccessfully, [&connected] { ++connected; });
        worker.start();
        const bool ok = QTest::qWaitFor([&] { return connected > 0; }, WaitMs);
        QObject::disconnect(c);
        return ok;
    }
    QString port() const { return bus.portPath(); }

    // Empty once the connection is confirmed, else the error (or why it never settled).
    QString connectTo(quint8 station, bool strict = true)
    {
        const int target = connections + 1;
        errors.clear();
        errorKinds.clear();
        manager.connectToDevice(port(), station, strict);
        if (!QTest::qWaitFor([&] { return connections >= target || !errors.isEmpty(); }, WaitMs))
            return QStringLiteral("no outcome");
        return errors.join(QLatin1Char(','));
    }
    bool awaitStates(int count)
    {
        const int target = states.size() + count;
        return QTest::qWaitFor([&] { return states.size() >= target; }, WaitMs);
    }
    QStringList wire(int function = 0) const { return wireLog(bus.requests(), function); }
};

// The bus (and the worker on station 1) must start; no pty is the one reason to skip.
#define VEXA_START_BUS(rig) VEXA_REQUIRE((rig).start(), "no pseudo-terminal for the simulated bus")
#define VEXA_START_WORKER(rig, paused) VEXA_REQUIRE((rig).startWorker(1, paused), "no pseudo-terminal for the simulated bus")
