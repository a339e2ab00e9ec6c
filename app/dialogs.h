#pragma once

#include <QMessageBox>
#include <QString>

class QDialog;
class QWidget;

// Every modal box and file dialog of the window goes through this interface, so
// tests can answer them without a screen and read back what was shown.
class Dialogs
{
public:
    virtual ~Dialogs() = default;

    virtual QMessageBox::StandardButton message(
        QMessageBox::Icon icon, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) = 0;

    // A warning that asks before something that cannot be undone: the accept
    // button is drawn red, the reject button is the default, and closing the box
    // counts as rejecting. True only when the accept button was pressed.
    virtual bool confirm(const QString &title, const QString &text, const QString &acceptText,
                         const QString &rejectText) = 0;

    // Empty when the user cancels.
    virtual QString saveFileName(const QString &title, const QString &proposedPath,
                                 const QString &filter) = 0;
    virtual QString openFileName(const QString &title, const QString &directory,
                                 const QString &filter) = 0;

    // Runs a dialog of the window's own (its widgets carry object names) until
    // it closes; the QDialog result code. Answers that show nothing close it
    // unseen, as rejected.
    virtual int exec(QDialog *dialog);

    // Shows the folder in the system's file manager; false when none could be started.
    virtual bool openFolder(const QString &path);
};

// The real boxes, modal and parented to the given window.
class WidgetDialogs : public Dialogs
{
public:
    explicit WidgetDialogs(QWidget *parent);

    QMessageBox::StandardButton message(QMessageBox::Icon icon, const QString &title,
                                        const QString &text, QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) override;
    bool confirm(const QString &title, const QString &text, const QString &acceptText,
                 const QString &rejectText) override;
    QString saveFileName(const QString &title, const QString &proposedPath,
                         const QString &filter) override;
    QString openFileName(const QString &title, const QString &directory,
                         const QString &filter) override;
    int exec(QDialog *dialog) override;

private:
    QWidget *m_parent;
};
