#pragma once

#include <QMap>
#include <QPair>
#include <QString>

// One entry of the text table: Chinese first, English second.
using DictionaryEntry = QPair<QString, QString>;

// The whole bilingual text table, built on first use and never changed afterwards.
const QMap<QString, DictionaryEntry> &dictionary();

// Text of `key` in `lang`: Chinese exactly when lang is "zh", English for any other code.
// A key that is not in the table comes back unchanged, so callers can tell it is missing.
QString translateKey(const QString &key, const QString &lang);
