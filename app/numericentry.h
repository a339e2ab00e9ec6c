#pragma once

#include <QDoubleSpinBox>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QObject>
#include <QPainter>
#include <QSpinBox>
#include <QString>
#include <QToolTip>

#include <utility>

class QAbstractSpinBox;

// Every numeric box of the window keeps what the operator typed: a number
// outside the range, or no number at all, stays in the box instead of being
// cut to a different number, and marks the box (a red frame, the range as
// its tool tip, the property "entryMarked") until it is corrected. Whatever would send the box's value
// checks hasAcceptableInput() first (Page::entryAccepted). Arrows, wheel and
// slider work as before; stepping from a marked entry starts from the last
// accepted value.
namespace NumericEntry {

// "Range: 0.000 to 50.000 mm" for the box, in the language ("zh" Chinese, else English).
QString rangeText(const QAbstractSpinBox *box, const QString &lang);
// The language of the range tips of every box under root.
void setLanguage(QWidget *root, const QString &lang);

}  // namespace NumericEntry

// The mark of one box: follows its text, shown by the box as a red frame and,
// while marked, its tool tip (the range). Kept apart from the box's style sheet
// and tool tip, which other marks of the window (unsaved rows) use.
class EntryMark : public QObject
{
    Q_OBJECT

public:
    EntryMark(QAbstractSpinBox *box, QLineEdit *edit);

    void setLanguage(const QString &lang);
    bool marked() const { return m_marked; }
    QString tip() const;
    // Marks the box when its text is not an accepted value, else clears the mark.
    void refresh();

private:
    QAbstractSpinBox *m_box;
    QString m_lang = QStringLiteral("zh");
    bool m_marked = false;
};

template<class Box>
class GuardedBox : public Box
{
    using Value = decltype(std::declval<const Box &>().value());

public:
    explicit GuardedBox(QWidget *parent = nullptr) : Box(parent), m_mark(new EntryMark(this, this->lineEdit())) {}

    // A keystroke is never refused: what does not fit is held as unfinished (and marked).
    QValidator::State validate(QString &text, int &pos) const override
    {
        const QValidator::State state = Box::validate(text, pos);
        return state == QValidator::Invalid ? QValidator::Intermediate : state;
    }

protected:
    // A value set by the program replaces the text without a signal of the
    // text box; the mark looks again once it is in place.
    QString textFromValue(Value value) const override
    {
        QMetaObject::invokeMethod(m_mark, &EntryMark::refresh, Qt::QueuedConnection);
        return Box::textFromValue(value);
    }
    // Leaving the box or pressing Enter would put the last accepted value
    // back in place of the typed text; the typed text stays instead.
    void focusOutEvent(QFocusEvent *event) override
    {
        const QString typed = unacceptedText();
        Box::focusOutEvent(event);
        keep(typed);
    }
    void keyPressEvent(QKeyEvent *event) override
    {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        const QString typed = enter ? unacceptedText() : QString();
        Box::keyPressEvent(event);
        keep(typed);
    }
    void paintEvent(QPaintEvent *event) override
    {
        Box::paintEvent(event);
        if (!m_mark->marked())
            return;
        QPainter painter(this);
        painter.setPen(QPen(QColor(0xdc, 0x26, 0x26), 2));
        painter.drawRect(this->rect().adjusted(1, 1, -1, -1));
    }
    bool event(QEvent *event) override
    {
        if (event->type() != QEvent::ToolTip || !m_mark->marked())
            return Box::event(event);
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), m_mark->tip(), this);
        return true;
    }

private:
    QString unacceptedText() const { return this->hasAcceptableInput() ? QString() : this->lineEdit()->text(); }
    void keep(const QString &typed)
    {
        if (!typed.isNull() && this->lineEdit()->text() != typed)
            this->lineEdit()->setText(typed);
    }

    EntryMark *m_mark;
};

using GuardedSpinBox = GuardedBox<QSpinBox>;
using GuardedDoubleSpinBox = GuardedBox<QDoubleSpinBox>;
