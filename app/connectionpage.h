#pragma once

#include "page.h"

class QLabel;
class QPushButton;
class QTimer;
class ReconnectControls;
class StationsJob;
class ModbusError;
class TrafficView;
struct DeviceInfo;
struct PortOpenError;
struct ScanResult;

// The Connection tab: port list, bus scan, connect and disconnect, the
// connection state, the link counters and the traffic view; its parts: the
// opt-in reconnect and a parameter file applied to the stations ticked in the scan.
class ConnectionPage : public Page
{
    Q_OBJECT

public:
    explicit ConnectionPage(WindowContext &context);

    void retranslate() override;
    // The simulated bus of --demo: its port is listed first, also after a refresh.
    void setDemoPort(const QString &portPath);
    void refreshPortList();

signals:
    // Disconnect was pressed; the window asks the pages before it disconnects.
    void disconnectRequested();

private:
    void showPortStatus();
    void onScanClicked();
    void onDeviceFound(const ScanResult &result);
    // Black and selectable when recognised; grey, and selectable only in engineer mode, when not.
    void styleScanRow(int row, bool recognised);
    void onScanCellClicked(int row);
    void selectStation(quint8 station);
    void onConnectClicked();
    void onDriveConnected(const DeviceInfo &info);
    void onDriveDisconnected(const ModbusError &error);
    void onEngineerModeChanged(bool on);
    // The one line an empty scan leaves in the table, also in the status bar.
    void showNoDriveAnswered();

    // connectionbus.cpp: converter addresses, adapter descriptions, open
    // failures, echo removal, the traffic view and the link counters.
    void setupBusAdditions();
    void retranslateBusAdditions();
    void addPortEntries();
    QString portInBox() const;
    void rememberTcpAddress(const QString &portName);
    void showEchoRemoval();
    // Why a port could not be opened, with what to do about it.
    QString portFailureText(const PortOpenError &error, bool namePort) const;
    QString lostConnectionText() const;
    // What the box says about a connection that ended or could not be made;
    // `wasConnected` tells the two apart.
    QString failureText(const ModbusError &error, bool wasConnected) const;
    void setupLinkHealth();
    void showLinkHealth();

    // Which of model and versions differ from the drive connected before, with both values.
    QString driveDiffersText() const;

    QString demoPortPath;
    bool isScanning = false;
    bool connectPending = false;
    // The port of the last scan when no drive answered it; empty otherwise.
    QString silentScanPort;
    // Which note about the port list the status bar shows; empty for none.
    QString portStatusKey;
    QLabel *lblEchoRemoval = nullptr;
    QPushButton *btnTraffic = nullptr;
    TrafficView *trafficView = nullptr;
    QLabel *lblLinkHealth = nullptr;
    QTimer *linkHealthTimer = nullptr;
    ReconnectControls *reconnect = nullptr;
    StationsJob *stationsJob = nullptr;
    quint8 connectedStation = 0;
};
