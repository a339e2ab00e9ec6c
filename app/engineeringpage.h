#pragma once

#include "page.h"

#include <QString>

class CmpManager;
class EngineeringAccess;
class QEvent;
class QLabel;
struct DeviceInfo;
struct ProductConfig;

// The hidden Engineering tab: the access gate (version-label taps, password,
// the engineer extras of the parameter tabs), the product configuration form,
// the compare table of the power-on block and the maintenance commands.
class EngineeringPage : public Page
{
    Q_OBJECT

public:
    explicit EngineeringPage(WindowContext &context);

    void retranslate() override;
    // Leaving the tab locks it again.
    void tabChanged(int index) override;
    // The gate accepts the password with this SHA-256 digest instead of the factory one.
    void setPasswordDigest(const QByteArray &hexDigest);
    // The form's lead and stroke defaults, once the window is set up.
    void applyFormDefaults();

signals:
    // Engineer mode and a login together unlock the engineer extras of the parameter tabs.
    void unlockedChanged(bool unlocked);

protected:
    // Presses on label_SwVersion are the engineering taps.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setupCompareTable();
    void onDriveConnected(const DeviceInfo &info);
    void onDriveDisconnected();
    void onTapCountdown(int remaining, bool exiting);
    void onEngineerModeChanged(bool on);
    void engLogin();
    void announceUnlocked();
    // Compare table buttons.
    bool compareStationConfirmed();
    void importCompareFile();
    // False, with the status bar naming the box, while a box of the product
    // form holds an entry Write All would not send as typed.
    bool formEntriesAccepted() const;
    void updateCompareButtons();

    // engineeringform.cpp: product configuration and the expected block.
    void setupProductForm();
    ProductConfig formConfig() const;
    double checkedFormLead() const;
    int checkedFormStroke() const;
    void updateExpectedData();
    void onLeadChanged();
    void onStrokeChanged();
    // An operator's change of the form ends the hold of an imported listing.
    void releaseListingOnEdit();
    void showCompareSource();
    void refreshFormThresholdAngles();
    void refreshLeadChoices();
    void refreshStrokeChoices();
    // The same steps as the Advanced tab's threshold boxes, at the form's lead.
    void applyFormThresholdStep(double lead);
    void showSmoothingConstant();
    void exportGenParams();

    // engineeringmaintenance.cpp
    void setupMaintenanceCommands();
    // True when a command may talk to the drive; otherwise says why.
    bool maintenanceAllowed();
    void onClearInvertClicked();
    void onClearOutFuncClicked();
    void onFactoryResetClicked();
    void onApplyCustomRegClicked();
    void readCustomReg();

    CmpManager *cmpManager;
    EngineeringAccess *engAccess;
    bool engineerLoggedIn = false;
    // Radio switches and form refreshes re-enter updateExpectedData; the outer call does the work.
    bool updatingExpectedData = false;
    // The choices are being refreshed: the buttons they check are no edits.
    bool refreshingForm = false;
    // What the form describes; the product identity is the drive's while a recognised drive is connected.
    QString formFamily;
    int formSize = 16;
    int formStroke = 30;
    QLabel *lblCmpSource = nullptr;
};
