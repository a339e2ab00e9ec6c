#pragma once

#include "page.h"

#include <QString>

class CmpManager;
struct DeviceInfo;
struct ProductConfig;

// The Engineering tab's product configuration form: the choices the product
// allows, its defaults by lead and stroke, the threshold angles, and the
// expected register block it shapes in the compare table (and exports).
class ProductForm : public WindowPart
{
public:
    ProductForm(WindowContext &context, CmpManager *cmpManager);

    void retranslate();
    // The form offers the connected drive's leads and strokes until its own choices are used.
    void showDrive(const DeviceInfo &info);
    // The lead and stroke defaults.
    void applyDefaults();
    // The offered leads and strokes for the product the form describes.
    void refreshChoices();
    void updateExpectedData();
    // False, with the status bar naming the box, while a box of the form
    // holds an entry Write All would not send as typed.
    bool entriesAccepted() const;

private:
    ProductConfig formConfig() const;
    double checkedFormLead() const;
    int checkedFormStroke() const;
    void onLeadChanged();
    void onStrokeChanged();
    // An operator's change of the form ends the hold of an imported listing.
    void releaseListingOnEdit();
    void refreshFormThresholdAngles();
    void refreshLeadChoices();
    void refreshStrokeChoices();
    // The same steps as the Advanced tab's threshold boxes, at the form's lead.
    void applyFormThresholdStep(double lead);
    void showSmoothingConstant();
    void exportGenParams();

    CmpManager *m_cmpManager;
    // Radio switches and form refreshes re-enter updateExpectedData; the outer call does the work.
    bool updatingExpectedData = false;
    // The choices are being refreshed: the buttons they check are no edits.
    bool refreshingForm = false;
    // What the form describes; the product identity is the drive's while a recognised drive is connected.
    QString formFamily;
    int formSize = 16;
    int formStroke = 30;
};
