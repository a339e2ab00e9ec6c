#pragma once

#include "dialogs.h"

#include <QObject>
#include <QSettings>
#include <QString>

#include <memory>

class ActiveDrive;
class ModbusWorker;
class QAbstractSpinBox;
class QLabel;
class QMainWindow;

namespace Ui {
class MainWindow;
}

// Where the window keeps what it remembers between runs (language, converter addresses).
QSettings appSettings();

// The tabs of the window, in order.
struct WindowTabs
{
    enum Tab { ConnectionTab = 0, MonitorTab, MotionTab, AdvancedTab, EngineeringTab };
};

// What the window shares with its pages: the generated widgets, the connected
// drive, the dialogs seam, the window itself (status bar, dialog parent) and
// the language the texts are in.
struct WindowContext
{
    Ui::MainWindow *ui = nullptr;
    ActiveDrive *drive = nullptr;
    QMainWindow *window = nullptr;
    std::unique_ptr<Dialogs> dialogs;
    QString lang = QStringLiteral("zh");
};

// A part of the window with the window's shared means: the widgets, the
// drive, the dialogs seam, texts in the window's language and the status bar.
class WindowPart : public QObject, public WindowTabs
{
public:
    explicit WindowPart(WindowContext &context);

protected:
    ModbusWorker *worker() const;
    Dialogs &dialogs() const { return *m_context.dialogs; }
    const QString &lang() const { return m_context.lang; }
    bool chinese() const { return m_context.lang == QLatin1String("zh"); }
    // The dictionary's text for `key` in the window's language.
    QString text(const QString &key) const;
    QMainWindow *window() const { return m_context.window; }
    void showStatus(const QString &message) const;
    // False when box holds a typed entry it cannot send (out of range or not a
    // number): the status bar then names the parameter and the box's range,
    // and the caller sends nothing. The parameter's name defaults to the label
    // of the box's form row. True for no box.
    bool entryAccepted(const QAbstractSpinBox *box, QString parameter = QString()) const;
    // A question answered Yes or No, No by default; true only for Yes.
    bool askYesNo(const QString &title, const QString &question) const;
    // "Write Failed" with the text of the window's language.
    void showWriteFailed(const QString &zh, const QString &en) const;
    // Paints a round status lamp: grey when off, red when on with an alarm, else green.
    static void setLed(QLabel *label, bool on, bool alarm);
    // Amber: the link is being restored.
    static void setLedWaiting(QLabel *label);
    // A threshold of this many encoder steps as a motor angle; "---" when steps < 0 (no lead).
    static void showThresholdAngle(QLabel *label, qint64 steps);

    Ui::MainWindow *const ui;
    ActiveDrive *const drive;

private:
    WindowContext &m_context;
};

// One tab of the window: its handlers, timers and texts. A page talks to the
// others only through the connected drive or the window; the parts of a tab
// that have a job of their own are WindowParts it owns.
class Page : public WindowPart
{
public:
    using WindowPart::WindowPart;

    // Re-applies the page's texts in the window's language.
    virtual void retranslate() = 0;
    // The window switched to tab `index` (after its guard let it).
    virtual void tabChanged(int index);
    // Asked before the drive is left by Disconnect or by closing; false keeps it.
    virtual bool mayLeaveDrive();
};
