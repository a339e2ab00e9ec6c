#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QAbstractButton;
class QWidget;

// Notices the ways a held jog button can stop being held without the button
// ever seeing its release: the button loses the mouse (the grab moves
// elsewhere, the pointer leaves, it loses the keyboard focus or is hidden),
// or the window is deactivated, minimised or hidden. Also notices Esc pressed
// anywhere in the window, whichever widget has the focus.
//
// It only reports; the window decides what to send to the drive.
class JogGuard : public QObject
{
    Q_OBJECT

public:
    // A child of the window.
    explicit JogGuard(QWidget *window);

    void watchButton(QAbstractButton *button);

Q_SIGNALS:
    // A held jog button may have lost its release.
    void holdLost();
    void escapePressed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool isEscapeInWindow(QObject *watched, QEvent *event) const;
    bool windowLostHold(QEvent *event) const;

    QPointer<QWidget> m_window;
    QList<QObject *> m_buttons;
};
