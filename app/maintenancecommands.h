#pragma once

#include "page.h"

// The Engineering tab's one-shot maintenance commands for the connected
// drive, and the custom settings they write. Their texts are fixed Chinese
// texts, not dictionary entries.
class MaintenanceCommands : public WindowPart
{
public:
    explicit MaintenanceCommands(WindowContext &context);

    // The custom settings read into their check boxes.
    void readCustomReg();

private:
    // True when a command may talk to the drive; otherwise says why.
    bool maintenanceAllowed();
    void onClearInvertClicked();
    void onClearOutFuncClicked();
    void onFactoryResetClicked();
    void onApplyCustomRegClicked();
};
