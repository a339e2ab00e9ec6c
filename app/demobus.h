#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class SimBus;

// The simulated drive bus behind --demo: recognised drives at stations 1 and 3
// and an unrecognised one at 5, served on a pseudo-terminal from the moment
// start() succeeds until the object is destroyed. It must outlive the window
// whose worker talks to it.
class DemoBus
{
public:
    static const QString Option;       // "--demo"
    static const QString AlarmOption;  // "--demo-alarm CODE[@SECONDS]"

    // True when the command line asks for the demo bus.
    static bool requestedBy(const QStringList &arguments);

    DemoBus();
    ~DemoBus();
    DemoBus(const DemoBus &) = delete;
    DemoBus &operator=(const DemoBus &) = delete;

    // False, with errorString() telling why, when no pseudo-terminal could be opened.
    bool start();
    // Raises the alarm the command line asks for with AlarmOption on every
    // drive, at once or after its delay. False, with the reason in error,
    // when the option's value is unusable; true when it is absent.
    bool scheduleAlarm(const QStringList &arguments, QString *error);
    QString portPath() const;
    QString errorString() const;

private:
    std::unique_ptr<SimBus> m_bus;
};
