#pragma once

#include "page.h"

#include <QMainWindow>
#include <QString>

#include <memory>
#include <vector>

class ActiveDrive;
class ConnectionManager;
class ConnectionPage;
class EngineeringPage;
class ModbusWorker;
class QCloseEvent;

// The one window of the program: a shell over one page per tab and the
// connected drive they share. It keeps the start-up order, the language, the
// guard that holds the other tabs shut while no drive is connected, the status
// bar, and asks the pages before the drive is left.
class MainWindow : public QMainWindow, public WindowTabs
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Re-applies every text of the window in the current language.
    void applyLanguage();
    // The language chosen in cbLanguage: 0 Chinese, anything else English; saved at once.
    void changeLanguage(int index);
    QString currentLanguage() const { return m_context.lang; }

    ModbusWorker *modbusWorker() const;
    ConnectionManager *connections() const;

    // The engineering page accepts the password with this SHA-256 digest (lower-case
    // hexadecimal) instead of the factory one. Only for programs that link the window
    // (tests, benches): nothing a user can set reaches it.
    void setEngineeringPasswordDigest(const QByteArray &hexDigest);

    // Every modal box and file dialog of the window goes through this object.
    void setDialogs(std::unique_ptr<Dialogs> dialogs);
    Dialogs *dialogs() const { return m_context.dialogs.get(); }

    // The simulated bus of --demo: its port is listed first, also after a refresh.
    void setDemoPort(const QString &portPath);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void restoreLanguage();
    void onMainTabChanged(int index);
    void onDriveConnected();
    void onDriveDisconnected();
    // Tabs 1 to 4 together; the Connection tab always stays enabled.
    void setTabsEnabled(bool enabled);
    // Each page, in tab order, may keep the drive (unsaved writes); a held jog is stopped first.
    bool pagesMayLeaveDrive();
    void onDisconnectRequested();

    WindowContext m_context;
    ActiveDrive *m_drive;
    ConnectionPage *m_connectionPage = nullptr;
    EngineeringPage *m_engineeringPage = nullptr;
    // Every page in the order it hears of tab changes and is asked before leaving.
    std::vector<Page *> m_pages;
};
