// Measures the parameter manager against the simulated drive (wire time of
// 115200 baud emulated): readAll with a drive that answers and with a silent
// one, and one writeSingle round trip (write, script copy, read-back).

#include "benchstats.h"
#include "modbusworker.h"
#include "paramconversions.h"
#include "parammanager.h"
#include "registers.h"
#include "simbus.h"

#include "benchapp.h"
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr quint8 Station = 1;
constexpr double Lead = 1.0;
constexpr int Stroke = 50;

// One row of widgets per parameter, as the window registers them.
class Rows
{
public:
    explicit Rows(ParamManager &manager)
    {
        for (const ParamConv::ParamDefinition &d : ParamConv::paramDefinitions()) {
            ParamDef def;
            def.key = d.key;
            def.titleZh = d.titleZh;
            def.titleEn = d.titleEn;
            def.address = d.address;
            def.singleWord = d.words == 1;
            def.title = keep(new QLabel);
            def.curLabel = keep(new QLabel);
            def.rawLabel = keep(new QLabel);
            def.hexLabel = keep(new QLabel);
            if (d.unit == ParamConv::ParamUnit::Torque || d.unit == ParamConv::ParamUnit::Plain
                || d.unit == ParamConv::ParamUnit::Smoothing) {
                auto *spin = keep(new QSpinBox);
                spin->setRange(d.minValue, d.maxValue);
                def.spin = spin;
            } else {
                auto *spinD = keep(new QDoubleSpinBox);
                spinD->setRange(-1000, 1000);
                def.spinD = spinD;
            }
            if (d.unit != ParamConv::ParamUnit::ErrorSteps && d.unit != ParamConv::ParamUnit::Smoothing)
                def.slider = keep(new QSlider);
            if (def.singleWord)
                def.syncAddress = d.scriptCopy;
            manager.registerParam(def);
        }
    }

private:
    template <typename W> W *keep(W *widget)
    {
        m_widgets.emplace_back(widget);
        return widget;
    }
    std::vector<std::unique_ptr<QWidget>> m_widgets;
};

double timeMs(const std::function<void()> &action)
{
    QElapsedTimer timer;
    timer.start();
    action();
    return timer.nsecsElapsed() / 1e6;
}

}  // namespace

int main(int argc, char *argv[])
{
    BenchApplication app(argc, argv);
    if (!app.ready())
        return 1;

    SimBus bus;
    SimDriveConfig drive;
    drive.station = Station;
    bus.addDrive(drive);
    if (!bus.start()) {
        std::printf("cannot start the simulated bus: %s\n", qPrintable(bus.errorString()));
        return 1;
    }
    ModbusWorker worker;
    worker.setPortName(bus.portPath());
    worker.setStation(Station);
    QSignalSpy connected(&worker, &ModbusWorker::connectedSuccessfully);
    worker.start();
    if (!connected.wait(10000)) {
        std::printf("the worker did not connect to the simulated bus\n");
        return 1;
    }

    ParamManager manager(&worker);
    manager.setLang(QStringLiteral("en"));
    Rows rows(manager);
    // As the window does: the manager's pause requests reach the worker.
    QObject::connect(&manager, &ParamManager::pauseWorker, &worker, &ModbusWorker::setPollingPaused,
                     Qt::DirectConnection);
    int messages = 0;
    QObject::connect(&manager, &ParamManager::validationError, &manager, [&messages] { ++messages; });

    std::printf("Parameter manager against the simulated drive (115200 baud wire time, polling between runs)\n");

    QVector<double> readAll;
    for (int i = 0; i < 30; ++i)
        readAll << timeMs([&] { manager.readAll(Station, Lead, Stroke); });
    printSummary("readAll, responsive drive (8 reads)", summarize(readAll), "ms");

    QVector<double> writeSmooth;
    QVector<double> writeThreshold;
    for (int i = 0; i < 30; ++i) {
        manager.params().value(QStringLiteral("smoothMs")).spin->setValue(i % 2 ? 40 : 20);
        writeSmooth << timeMs([&] { manager.writeSingle(QStringLiteral("smoothMs"), Station, Lead); });
        manager.params().value(QStringLiteral("dynErr")).spinD->setValue(i % 2 ? 0.15 : 0.2);
        writeThreshold << timeMs([&] { manager.writeSingle(QStringLiteral("dynErr"), Station, Lead); });
    }
    printSummary("writeSingle smoothMs (write, read-back)", summarize(writeSmooth), "ms");
    printSummary("writeSingle dynErr (write, script copy, read-back)", summarize(writeThreshold), "ms");

    // Polling stays paused from here on: a silent drive would otherwise end the connection.
    QObject::disconnect(&manager, &ParamManager::pauseWorker, &worker, &ModbusWorker::setPollingPaused);
    worker.setPollingPaused(true);
    worker.syncRead(Station, Reg::HomeTorque, 1);
    SimFaults silent;
    silent.silent = true;
    bus.setFaults(silent);
    QVector<double> readAllSilent;
    for (int i = 0; i < 3; ++i)
        readAllSilent << timeMs([&] { manager.readAll(Station, Lead, Stroke); });
    printSummary("readAll, silent drive (8 reads time out)", summarize(readAllSilent), "ms");

    std::printf("validation messages during the run: %d\n", messages);
    worker.stop();
    worker.wait();
    return 0;
}
