#pragma once

#include <QMap>
#include <QPair>
#include <QString>

// One entry of the text table: Chinese first, English second.
using DictionaryEntry = QPair<QString, QString>;

// The whole bilingual text table, built on first use and never changed afterwards.
const QMap<QString, DictionaryEntry> &dictionary();

// Texts of the tool's own additions (live trend, recorder, jog stop, link health,
// unsaved changes), kept apart from the table above.
const QMap<QString, DictionaryEntry> &extraTexts();

// Text of `key` in `lang`, from either table: Chinese exactly when lang is "zh", English for any other code.
// A key that is not in the table comes back unchanged, so callers can tell it is missing.
QString translateKey(const QString &key, const QString &lang);
