#pragma once

#include "page.h"

class ParamBinder;
class QLabel;

// Rows whose box differs from the drive are marked, and values written to the
// drive but not yet saved to its ROM are announced, saved on request and asked
// about before the drive is left. Each parameter write leaves an event record.
class UnsavedTracking : public WindowPart
{
public:
    UnsavedTracking(WindowContext &context, ParamBinder *binder);

    void retranslate();
    // Asks before the drive is left with unsaved writes.
    bool mayLeaveDrive();
    // The save-to-ROM command alone; true when the drive confirmed it.
    bool saveToRom();
    void showSaveFailed();

private:
    void showRowDirty(const QString &key, bool dirty);

    ParamBinder *m_binder;
    QLabel *m_unsavedRom;
};

// A coloured edge on a row's card (a frame all round, a title on its left)
// and the drive's value in the tool tips of the card and the value box; clean
// gives both back their own look.
void markUnsavedRow(QWidget *card, QWidget *box, bool dirty, const QString &tip);
