#include "pagetext.h"

#include "dictionary.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>

void setShownText(const QWidget *window, const char *name, const QString &text)
{
    QWidget *widget = window->findChild<QWidget *>(QLatin1String(name));
    if (auto *box = qobject_cast<QGroupBox *>(widget))
        box->setTitle(text);
    else if (auto *label = qobject_cast<QLabel *>(widget))
        label->setText(text);
    else if (auto *button = qobject_cast<QAbstractButton *>(widget))
        button->setText(QString(text).replace(QLatin1Char('&'), QLatin1String("&&")));  // "&" is not a shortcut
}

void translateByName(const QWidget *window, std::initializer_list<const char *> names, const QString &lang)
{
    for (const char *name : names)
        setShownText(window, name, translateKey(QLatin1String(name), lang));
}

void translateByKey(const QWidget *window, std::initializer_list<KeyedWidget> widgets, const QString &lang)
{
    for (const KeyedWidget &entry : widgets)
        setShownText(window, entry.widget, translateKey(QLatin1String(entry.key), lang));
}

void applyFixedTexts(const QWidget *window, std::initializer_list<FixedText> texts, const QString &lang)
{
    for (const FixedText &entry : texts)
        setShownText(window, entry.widget,
                     QString::fromUtf8(lang == QLatin1String("zh") ? entry.zh : entry.en));
}
