#include "demobus.h"

#include "simbus.h"

const QString DemoBus::Option = QStringLiteral("--demo");

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
