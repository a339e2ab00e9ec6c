#pragma once

#include "page.h"

#include <QString>

class CmpManager;
class EngineeringAccess;
class MaintenanceCommands;
class ProductForm;
class QEvent;
class QLabel;
struct DeviceInfo;

// The hidden Engineering tab: the access gate (version-label taps, password,
// the engineer extras of the parameter tabs) and the compare table of the
// power-on block. The product configuration form and the maintenance commands
// are parts of their own that the page owns.
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
    void updateCompareButtons();
    // Names the listing file the rows come from while one is loaded.
    void showCompareSource();

    CmpManager *cmpManager;
    EngineeringAccess *engAccess;
    ProductForm *form = nullptr;
    MaintenanceCommands *maintenance = nullptr;
    bool engineerLoggedIn = false;
    QLabel *lblCmpSource = nullptr;
};
