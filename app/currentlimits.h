#pragma once

#include "page.h"

// The two current limits of the Advanced tab, which share register 0x000E:
// read, shown, written (the other byte kept as the drive holds it) and marked
// while a box differs from the drive.
class CurrentLimits : public WindowPart
{
public:
    explicit CurrentLimits(WindowContext &context);

    void read();
    // Register 0x000E as read.
    void show(quint16 word);
    void write(bool running);
    // Nothing is known of another drive's limits.
    void forget();
    void refreshMarks();

private:
    // Register 0x000E as last read or written; -1 while unknown.
    int m_driveWord = -1;
};
