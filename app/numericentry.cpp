#include "numericentry.h"

#include "dictionary.h"

#include <QAbstractSpinBox>
#include <QLocale>

QString NumericEntry::rangeText(const QAbstractSpinBox *box, const QString &lang)
{
    QString low;
    QString high;
    QString suffix;
    if (const auto *decimal = qobject_cast<const QDoubleSpinBox *>(box)) {
        // As the box shows numbers: without group separators.
        const auto shown = [box, decimal](double value) {
            return box->locale().toString(value, 'f', decimal->decimals()).remove(box->locale().groupSeparator());
        };
        low = shown(decimal->minimum());
        high = shown(decimal->maximum());
        suffix = decimal->suffix();
    } else if (const auto *whole = qobject_cast<const QSpinBox *>(box)) {
        low = QString::number(whole->minimum());
        high = QString::number(whole->maximum());
        suffix = whole->suffix();
    }
    return translateKey(QStringLiteral("entry_range"), lang).arg(low, high + suffix);
}

void NumericEntry::setLanguage(QWidget *root, const QString &lang)
{
    for (EntryMark *mark : root->findChildren<EntryMark *>())
        mark->setLanguage(lang);
}

EntryMark::EntryMark(QAbstractSpinBox *box, QLineEdit *edit) : QObject(box), m_box(box)
{
    connect(edit, &QLineEdit::textChanged, this, &EntryMark::refresh);
}

void EntryMark::setLanguage(const QString &lang)
{
    m_lang = lang;
}

QString EntryMark::tip() const
{
    return NumericEntry::rangeText(m_box, m_lang);
}

void EntryMark::refresh()
{
    const bool marked = !m_box->hasAcceptableInput();
    if (marked == m_marked)
        return;
    m_marked = marked;
    m_box->setProperty("entryMarked", marked);
    m_box->update();
}
