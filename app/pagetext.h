#pragma once

// Texts set by widget name. Dictionary keys are the object names of the
// widgets that show them, so most of a page is retranslated from plain lists.

#include <QString>

#include <initializer_list>

class QWidget;

// A widget whose dictionary key is not its own name.
struct KeyedWidget
{
    const char *widget;
    const char *key;
};

// Texts that live only in the code, not in the dictionary.
struct FixedText
{
    const char *widget;
    const char *zh;
    const char *en;
};

// A group box shows its text as a title; labels and buttons as their text.
// A widget the window does not have is skipped, as a missing label would be.
void setShownText(const QWidget *window, const char *name, const QString &text);
void translateByName(const QWidget *window, std::initializer_list<const char *> names, const QString &lang);
void translateByKey(const QWidget *window, std::initializer_list<KeyedWidget> widgets, const QString &lang);
void applyFixedTexts(const QWidget *window, std::initializer_list<FixedText> texts, const QString &lang);
