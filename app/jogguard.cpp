#include "jogguard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

JogGuard::JogGuard(QWidget *window) : QObject(window), m_window(window)
{
    // One application filter sees the window's events, the buttons' and the
    // keys, and a key before any widget can take it: a window shortcut would
    // lose Esc to a widget that claims it, such as a table's cell editor.
    qApp->installEventFilter(this);
}

void JogGuard::watchButton(QAbstractButton *button)
{
    m_buttons.append(button);
    connect(button, &QObject::destroyed, this, [this](QObject *gone) { m_buttons.removeAll(gone); });
}

bool JogGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (isEscapeInWindow(watched, event)) {
        Q_EMIT escapePressed();
        return false;
    }
    if (watched == m_window) {
        if (windowLostHold(event))
            Q_EMIT holdLost();
        return false;
    }
    if (m_buttons.contains(watched)) {
        switch (event->type()) {
        case QEvent::Leave:
        case QEvent::UngrabMouse:
        case QEvent::FocusOut:
        case QEvent::Hide:
            Q_EMIT holdLost();
            break;
        default:
            break;
        }
    }
    return false;
}

bool JogGuard::isEscapeInWindow(QObject *watched, QEvent *event) const
{
    // Every key press is first offered as a shortcut override to the focus
    // widget (or the window when nothing has the focus); reacting there alone
    // counts each press once, although the event then travels to the parents.
    if (event->type() != QEvent::ShortcutOverride || !m_window)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Escape || key->isAutoRepeat())
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != m_window)
        return false;
    QWidget *focus = QApplication::focusWidget();
    return widget == focus || (!focus && widget == m_window);
}

bool JogGuard::windowLostHold(QEvent *event) const
{
    switch (event->type()) {
    case QEvent::ActivationChange:
        return !m_window->isActiveWindow();
    case QEvent::WindowStateChange:
        return m_window->isMinimized();
    case QEvent::Hide:
        return true;
    default:
        return false;
    }
}
