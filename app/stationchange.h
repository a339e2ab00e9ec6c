#pragma once

#include "page.h"

// The station address change of the Advanced tab: the connected drive gets a
// new address, saves it, and the connection ends, since the drive no longer
// answers on the old one.
class StationChange : public WindowPart
{
public:
    explicit StationChange(WindowContext &context);

private:
    void onChangeStationClicked();
    enum class Outcome { Changed, StationTaken, SpeedUnreadable, Moving, NotWritten };
    // The new address written and saved, polling paused throughout.
    Outcome changeOnDrive(quint8 newStation);
};
