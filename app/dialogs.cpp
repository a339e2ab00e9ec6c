#include "dialogs.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QPushButton>
#include <QUrl>

int Dialogs::exec(QDialog *dialog)
{
    Q_UNUSED(dialog)
    return QDialog::Rejected;
}

WidgetDialogs::WidgetDialogs(QWidget *parent) : m_parent(parent) {}

QMessageBox::StandardButton WidgetDialogs::message(QMessageBox::Icon icon, const QString &title,
                                                   const QString &text,
                                                   QMessageBox::StandardButtons buttons,
                                                   QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, title, text, buttons, m_parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

bool WidgetDialogs::confirm(const QString &title, const QString &text, const QString &acceptText,
                            const QString &rejectText)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::NoButton, m_parent);
    QPushButton *accept = box.addButton(acceptText, QMessageBox::AcceptRole);
    accept->setStyleSheet(QStringLiteral("background-color:#dc2626;color:white;padding:4px 12px;"));
    QPushButton *reject = box.addButton(rejectText, QMessageBox::RejectRole);
    box.setDefaultButton(reject);
    box.setEscapeButton(reject);
    box.exec();
    return box.clickedButton() == accept;
}

QString WidgetDialogs::saveFileName(const QString &title, const QString &proposedPath,
                                    const QString &filter)
{
    return QFileDialog::getSaveFileName(m_parent, title, proposedPath, filter);
}

QString WidgetDialogs::openFileName(const QString &title, const QString &directory,
                                    const QString &filter)
{
    return QFileDialog::getOpenFileName(m_parent, title, directory, filter);
}

int WidgetDialogs::exec(QDialog *dialog)
{
    return dialog->exec();
}

bool Dialogs::openFolder(const QString &path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
