#pragma once

#include "page.h"

#include <QVector>

#include <functional>

class QPushButton;

// One parameter file written into the stations ticked in the scan table, on
// the port in the box, while no drive is connected: "Apply file to
// stations…". The job runs away from the window's thread (LineJobDialog); the
// report and its sign-off page are those of vexa-cli params apply, and each
// drive's values are kept in a snapshot beside the report before the first write.
class StationsJob : public WindowPart
{
public:
    // What the connection page knows: the port in its box, and whether it is scanning.
    struct Bus
    {
        std::function<QString()> port;
        std::function<bool()> scanning;
    };
    StationsJob(WindowContext &context, Bus bus);

    void retranslate();
    // The button follows the ticks, the scan and the connection.
    void refresh();

private:
    QVector<int> tickedStations() const;
    void onApplyToStations();

    Bus m_bus;
    QPushButton *btnApplyToStations;
};
