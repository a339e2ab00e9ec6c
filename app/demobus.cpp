#include "demobus.h"

#include "simbus.h"

#include <QTimer>

const QString DemoBus::Option = QStringLiteral("--demo");
const QString DemoBus::AlarmOption = QStringLiteral("--demo-alarm");

bool DemoBus::requestedBy(const QStringList &arguments)
{
    // The first argument is the program itself.
    return arguments.mid(1).contains(Option);
}

DemoBus::DemoBus() : m_bus(std::make_unique<SimBus>())
{
    configureDemoBus(*m_bus);
}

DemoBus::~DemoBus() = default;

bool DemoBus::start()
{
    return m_bus->start();
}

QString DemoBus::portPath() const
{
    return m_bus->portPath();
}

QString DemoBus::errorString() const
{
    return m_bus->errorString();
}

bool DemoBus::scheduleAlarm(const QStringList &arguments, QString *error)
{
    const int at = arguments.indexOf(AlarmOption);
    if (at < 0)
        return true;
    SimAlarmPlan plan;
    if (!parseSimAlarmPlan(arguments.value(at + 1), &plan, error))
        return false;
    SimBus *bus = m_bus.get();
    QTimer::singleShot(plan.afterMs, [bus, plan] { bus->raiseAlarm(0, plan.code); });
    return true;
}
