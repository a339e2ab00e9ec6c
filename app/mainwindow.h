#pragma once

#include "paramdiff.h"
#include "paramfile.h"
#include "paramsnapshot.h"
#include "productidentity.h"

#include <QMainWindow>
#include <QString>
#include <QVector>
#include <QtGlobal>

#include <memory>

class CmpManager;
class ConnectionManager;
class Dialogs;
class EngineeringAccess;
class ModbusWorker;
class ParamManager;
class ParamRestoreDialog;
class QCloseEvent;
class QEvent;
class QLabel;
class QPushButton;
class QTimer;
class StateRecorder;
class SteppedDoubleSpinBox;
class TrafficView;
class TrendChart;
struct DeviceInfo;
struct DeviceState;
struct ScanResult;
struct MotionValidationResult;
struct ProductConfig;

namespace Ui {
class MainWindow;
}

// The one window of the program. It owns the worker thread and the widget tree,
// keeps the state that several tabs read, and guards tab switching while no
// drive is connected. The tabs' own handlers live in mainwindow_<tab>.cpp files.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    enum Tab { ConnectionTab = 0, MonitorTab, MotionTab, AdvancedTab, EngineeringTab };

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Re-applies every text of the window in the current language.
    void applyLanguage();
    // The language chosen in cbLanguage: 0 Chinese, anything else English; saved at once.
    void changeLanguage(int index);
    QString currentLanguage() const { return currentLang; }

    // The objects the window owns, for the tab handlers and for tests.
    ModbusWorker *modbusWorker() const { return worker; }
    ConnectionManager *connections() const { return connectionManager; }
    ParamManager *params() const { return paramManager; }
    CmpManager *compare() const { return cmpManager; }

    // The engineering page accepts the password with this SHA-256 digest (lower-case
    // hexadecimal) instead of the factory one. Only for programs that link the window
    // (tests, benches): nothing a user can set reaches it.
    void setEngineeringPasswordDigest(const QByteArray &hexDigest);

    // Every modal box and file dialog of the window goes through this object.
    void setDialogs(std::unique_ptr<Dialogs> dialogs);
    Dialogs *dialogs() const { return m_dialogs.get(); }

    // Paints a round status lamp: grey when off, red when on with an alarm, else green.
    void setLed(QLabel *label, bool on, bool alarm);
    // Tabs 1 to 4 together; the Connection tab always stays enabled.
    void setTabsEnabled(bool enabled);

    // Shows the four 4-bit codes of the alarm word in the history grid.
    void updateAlarmHistory(ushort alarmHistRaw);

protected:
    // Installed on label_SwVersion: its presses are the engineering taps.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void restoreLanguage();
    void installSteppedJogSpeedBox();
    void setupTables();
    void setupConnections();
    void refreshPortList();
    void onMainTabChanged(int index);

    // Each tab's wiring and handlers live in its own file; each block below
    // belongs to that file. Called from setupConnections().

    // ---- Connection tab, scan and connection state (mainwindow_connection.cpp)
public:
    // The simulated bus of --demo: its port is listed first, also after a refresh.
    void setDemoPort(const QString &portPath);

private:
    void setupConnectionTab();
    // Texts of the connection tab that are not plain dictionary lookups.
    void retranslateConnectionTab();
    QString selectedPortName() const;
    void showPortStatus();
    void onScanClicked();
    void onDeviceFound(const ScanResult &result);
    // Black and selectable when recognised; grey, and selectable only in engineer mode, when not.
    void styleScanRow(int row, bool recognised);
    void onScanCellClicked(int row);
    void selectStation(quint8 station);
    void onConnectClicked();
    void onConnected(const DeviceInfo &info);
    void onDisconnected(const QString &reason);
    void onConnectionError(const QString &reason);
    void resetToDisconnected(const QString &reason, bool showMessage);
    void applyJogSpeedLimit();
    void readServoState();
    QString demoPortPath;
    // mainwindow_bus.cpp: converter addresses, adapter descriptions, open
    // failures, echo removal and the traffic view.
    void setupBusAdditions();
    void retranslateBusAdditions();
    void addPortEntries();
    QString portInBox() const;
    void rememberTcpAddress(const QString &portName);
    void showEchoRemoval();
    // Why the last port could not be opened, with what to do about it.
    QString portFailureText(bool namePort) const;
    QString lostConnectionText() const;
    QLabel *lblEchoRemoval = nullptr;
    QPushButton *btnTraffic = nullptr;
    TrafficView *trafficView = nullptr;
    // Which note about the port list the status bar shows; empty for none.
    QString portStatusKey;

    // ---- Monitor tab (mainwindow_monitor.cpp)
    void setupMonitorTab();
    void onStateUpdated(const DeviceState &state);
    void onServoToggle(bool on);
    void onClearAlarm();
    // True when the drive answered; the button's click also says so in the status bar.
    bool onReadAlarmHistory();
    void jogPlusPressed();
    void jogMinusPressed();
    void jogPlusReleased();
    void jogMinusReleased();
    void onJogPressed(bool forward);
    void onJogReleased();
    // False, with a note in the status bar, when the connected drive's lead is unknown.
    bool manualSpeedUsable();
    void homeClicked();
    void simX0Clicked();
    void simX1Clicked();
    void simX2Clicked();
    // Raises `bit` of the command inputs, with the bits of `lowered` cleared in
    // the same write, and lowers it again about a millisecond later.
    void pulseCommandInput(quint16 bit, quint16 lowered = 0);
    void onJogModeSelected(bool checked);
    void onNudgeModeSelected(bool checked);
    void onJogSliderMoved(int value);
    void onJogSpeedBoxChanged(double value);
    // What the monitoring additions do when a connection starts and ends.
    void onMonitoringStarted();
    void onMonitoringEnded();
    // The additions' texts that are not plain dictionary lookups.
    void retranslateMonitorAdditions();
    // mainwindow_trend.cpp: the live trend and its recorder.
    void setupTrend();
    void onRecordToggled(bool on);
    // Ends a recording and says in the status bar where it went and how many rows it has.
    void stopRecording();
    void setRecordButtonChecked(bool checked);
    void onRecordingFailed(const QString &reason);
    TrendChart *trendChart = nullptr;
    StateRecorder *stateRecorder = nullptr;
    // mainwindow_jogsafety.cpp: a jog never outlives its hold; Esc and the Stop button.
    void setupJogSafety();
    // The stop every way of stopping sends (release, Esc, Stop, lost hold,
    // leaving): queued motion is dropped, the stop goes out first and is sent
    // again while unconfirmed; one the drive never confirmed is reported.
    void sendJogStop();
    void reportUnconfirmedStop();
    // Says in the status bar that the drive will not move while its servo is off.
    void noteIfServoOff();
    // Stops a jog started by a button that may not see its release.
    void stopHeldJog();
    // Disconnecting and closing: queued motion is dropped and a held jog stopped.
    void stopForLeaving();
    void onStopMotionClicked();
    QPushButton *btnStopMotion = nullptr;
    // A jog start went out and no stop since.
    bool jogActive = false;
    // The current hold was already ended by a stop (lost focus, Esc, Stop), or
    // never started a move, so the release the button may still emit sends nothing.
    bool jogHoldStopped = false;
    // The servo as last read or switched: off. False while unknown.
    bool servoKnownOff = false;
    // mainwindow_linkhealth.cpp: the link counters on the connection tab.
    void setupLinkHealth();
    void showLinkHealth();
    QLabel *lblLinkHealth = nullptr;
    QTimer *linkHealthTimer = nullptr;

    // ---- Motion and Advanced tabs, parameter files, station change (mainwindow_params.cpp and friends)
    void setupParamTabs();
    void registerParamRows();
    void connectParamManager();
    // Polling pauses nest: a handler's pause holds over the pauses and
    // resumes of the operations it calls.
    void pausePolling(bool paused);
    bool workerRunning() const;
    // The reads run 10 ms after the Motion or Advanced tab was selected.
    void onParamTabShown(int index);
    void onReadAllParams();
    void onSaveParams();
    // group 0: Position 1, group 1: Position 2.
    void onPushToggled(int group, bool on);
    void onPushModeRead(int group, bool on);
    void setPushTorqueRowEnabled(int group, bool enabled);
    // A threshold of this many encoder steps as a motor angle; "---" when steps < 0 (no lead).
    void showThresholdAngle(QLabel *label, qint64 steps);
    // The three angle labels of the Advanced tab, from what a Write would send.
    void refreshParamThresholdAngles();
    // Steps, decimals and ranges of the Advanced tab's threshold boxes at the drive's lead.
    void applyErrSpinStep(double lead);
    // The same for the engineering form's threshold boxes at the form's lead.
    void applyFormThresholdStep(double lead);
    void onReadAdvCurrent();
    // Register 0x000E shown in the two current rows.
    void showCurrentLimits(quint16 word);
    void onWriteIdleCurrent();
    void onWriteRunCurrent();
    void writeCurrentLimit(bool running);
    void onRestoreAdvDefaults();
    void onMotionValidated(const QString &posGroup, const MotionValidationResult &result);
    void showWriteFailed(const QString &zh, const QString &en);
    // mainwindow_paramfiles.cpp
    void onExportParams();
    void onImportParams();
    // The root object of a parameter file; false after saying why it cannot be used.
    bool loadParamFile(const QString &path, QJsonObject *root);
    // The file's product against the drive: false when it is refused or the operator declines.
    bool acceptFileIdentity(const QJsonObject &root);
    // The connected drive's identity as a parameter file records it.
    ParamFile::Identity driveIdentity() const;
    // Every value a file records, read from the drive with polling paused.
    ParamSnapshot::Snapshot readDriveSnapshot();
    // The values read into the rows, push switches and current limits.
    void showDriveSnapshot(const ParamSnapshot::Snapshot &snapshot);
    // A file's values into the boxes (never into the drive).
    void applyParamFile(const QJsonObject &root, QStringList *typeErrors, QStringList *clamped);
    // mainwindow_restore.cpp: a file against the drive, and its differences written.
    void onCompareParams();
    void writeFileDifferences(ParamRestoreDialog *dialog, const QJsonObject &root,
                              const QVector<ParamDiff::Row> &differences);
    void writeFileDifference(const ParamDiff::Row &row);
    QPushButton *btnCompareParams = nullptr;
    // mainwindow_station.cpp
    void onChangeStationClicked();
    int pollingPauseDepth = 0;
    // mainwindow_unsaved.cpp: rows that differ from the drive, and written
    // values not yet saved to ROM.
    void setupUnsavedTracking();
    void showRowDirty(const QString &key, bool dirty);
    void refreshCurrentLimitMarks();
    void retranslateUnsavedMarks();
    void setRomChangesPending(bool pending);
    // The save-to-ROM command alone; true when the drive confirmed it.
    bool writeSaveCommand();
    void showSaveFailed();
    // Asks before the drive is left with unsaved writes; true to go on.
    bool confirmLeavingUnsavedChanges();
    void onDisconnectClicked();
    QLabel *lblUnsavedRom = nullptr;
    bool romChangesPending = false;
    // Register 0x000E as last read or written; -1 while unknown.
    int driveCurrentWord = -1;

protected:
    void closeEvent(QCloseEvent *event) override;

private:

    // ---- Engineering tab: access, product configuration, compare, maintenance (mainwindow_engineering.cpp and friends)
    void setupEngineeringTab();
    // Taps on label_SwVersion; true when the event was one (and is consumed).
    bool handleVersionLabelEvent(QEvent *event);
    void onTapCountdown(int remaining, bool exiting);
    void onEngineerModeChanged(bool on);
    void engLogin();
    void applyEngineerPrivileges();
    // Texts of the engineering tab that are not plain dictionary lookups.
    void retranslateEngineeringTab();
    // Compare table buttons.
    bool compareStationConfirmed();
    void importCompareFile();
    void updateCompareButtons();
    // mainwindow_engform.cpp: product configuration and the expected block.
    void setupProductForm();
    ProductConfig formConfig() const;
    double checkedFormLead() const;
    int checkedFormStroke() const;
    void updateExpectedData();
    void onLeadChanged();
    void onStrokeChanged();
    // The connected drive is one the catalogue knows: the form then never touches its identity.
    bool driveRecognised() const;
    // An operator's change of the form ends the hold of an imported listing.
    void releaseListingOnEdit();
    void showCompareSource();
    void refreshFormThresholdAngles();
    void refreshLeadChoices();
    void refreshStrokeChoices();
    void showSmoothingConstant();
    void exportGenParams();
    // mainwindow_maintenance.cpp
    void setupMaintenanceCommands();
    // True when a command may talk to the drive; otherwise says why.
    bool maintenanceAllowed();
    void onClearInvertClicked();
    void onClearOutFuncClicked();
    void onFactoryResetClicked();
    void onApplyCustomRegClicked();
    void readCustomReg();
    EngineeringAccess *engAccess = nullptr;
    // Radio switches and form refreshes re-enter updateExpectedData; the outer call does the work.
    bool updatingExpectedData = false;
    // The choices are being refreshed: the buttons they check are no edits.
    bool refreshingForm = false;
    // What the form describes; the product identity is the drive's while a recognised drive is connected.
    QString formFamily;
    int formSize = 16;
    int formStroke = 30;
    QLabel *lblCmpSource = nullptr;

    // Mirrors engAccess; the connection tab reads it for strict matching and row styles.
    bool engineerMode = false;
    bool engineerLoggedIn = false;
    Ui::MainWindow *ui;
    ModbusWorker *worker;
    ConnectionManager *connectionManager;
    ParamManager *paramManager;
    CmpManager *cmpManager;

    QString currentLang = QStringLiteral("zh");
    bool isConnected = false;
    bool isScanning = false;
    bool connectPending = false;
    quint8 stationId = 0;
    ProductIdentity product;
    quint16 lastAlarmHist = 0;
    // ledConnection, ledAlarm, then the inputs X0 X1 X2 X7 and the outputs Y0 Y1 Y2.
    QVector<QLabel *> statusLamps;
    bool nudgeMode = false;
    double nudgeStepMm = 0.1;

    // The designed jog speed box is replaced by this one at start-up; ui->spinJogSpeed
    // points here too.
    SteppedDoubleSpinBox *jogSpeedBox = nullptr;
    std::unique_ptr<Dialogs> m_dialogs;
};
