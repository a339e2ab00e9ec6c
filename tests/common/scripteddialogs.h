#pragma once

#include "dialogs.h"

#include <QDialog>
#include <QList>
#include <QQueue>
#include <QString>

#include <functional>

// Answers the window's boxes from queues and records every box it was asked to show.
// An unqueued message box is answered with its default button, or with its only
// button when it has one; an unqueued confirmation is rejected, as its default
// button would be; an unqueued file dialog is cancelled.
class ScriptedDialogs : public Dialogs
{
public:
    enum class Kind { Message, Confirm, SaveFile, OpenFile, Dialog, Folder };

    struct Shown
    {
        Kind kind = Kind::Message;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title;
        QString text;  // the message, or the proposed path / directory of a file dialog
        QMessageBox::StandardButtons buttons = QMessageBox::NoButton;
        QString acceptText;  // confirmations only
        QString filter;      // file dialogs only
    };

    // Runs while each box is "open", so a test can look at the window behind it.
    std::function<void(const Shown &)> onShow;
    // Works a dialog of the window's own while it is "open" and gives its
    // result; without it the dialog is rejected at once.
    std::function<int(QDialog *)> onDialog;

    void queueAnswer(QMessageBox::StandardButton answer) { m_answers.enqueue(answer); }
    void queueConfirm(bool accept) { m_confirms.enqueue(accept); }
    void queueFileName(const QString &path) { m_fileNames.enqueue(path); }

    QList<Shown> shown() const { return m_shown; }
    int count() const { return m_shown.size(); }
    Shown last() const { return m_shown.isEmpty() ? Shown() : m_shown.last(); }
    void clear() { m_shown.clear(); }

    QMessageBox::StandardButton message(QMessageBox::Icon icon, const QString &title,
                                        const QString &text, QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) override
    {
        Shown box;
        box.kind = Kind::Message;
        box.icon = icon;
        box.title = title;
        box.text = text;
        box.buttons = buttons;
        record(box);
        if (!m_answers.isEmpty())
            return m_answers.dequeue();
        if (defaultButton != QMessageBox::NoButton)
            return defaultButton;
        return onlyButton(buttons);
    }

    bool confirm(const QString &title, const QString &text, const QString &acceptText,
                 const QString &rejectText) override
    {
        Q_UNUSED(rejectText)
        Shown box;
        box.kind = Kind::Confirm;
        box.icon = QMessageBox::Warning;
        box.title = title;
        box.text = text;
        box.acceptText = acceptText;
        record(box);
        return !m_confirms.isEmpty() && m_confirms.dequeue();
    }

    QString saveFileName(const QString &title, const QString &proposedPath,
                         const QString &filter) override
    {
        return fileName(Kind::SaveFile, title, proposedPath, filter);
    }

    QString openFileName(const QString &title, const QString &directory,
                         const QString &filter) override
    {
        return fileName(Kind::OpenFile, title, directory, filter);
    }

    int exec(QDialog *dialog) override
    {
        Shown box;
        box.kind = Kind::Dialog;
        box.title = dialog->windowTitle();
        record(box);
        return onDialog ? onDialog(dialog) : QDialog::Rejected;
    }

    bool openFolder(const QString &path) override
    {
        Shown box;
        box.kind = Kind::Folder;
        box.text = path;
        record(box);
        return true;
    }

private:
    static QMessageBox::StandardButton onlyButton(QMessageBox::StandardButtons buttons)
    {
        const int flags = int(buttons);
        const bool single = flags != 0 && (flags & (flags - 1)) == 0;
        return single ? QMessageBox::StandardButton(flags) : QMessageBox::NoButton;
    }

    void record(const Shown &box)
    {
        m_shown.append(box);
        if (onShow)
            onShow(box);
    }

    QString fileName(Kind kind, const QString &title, const QString &path, const QString &filter)
    {
        Shown box;
        box.kind = kind;
        box.title = title;
        box.text = path;
        box.filter = filter;
        record(box);
        return m_fileNames.isEmpty() ? QString() : m_fileNames.dequeue();
    }

    QQueue<QMessageBox::StandardButton> m_answers;
    QQueue<bool> m_confirms;
    QQueue<QString> m_fileNames;
    QList<Shown> m_shown;
};
