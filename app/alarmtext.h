#pragma once

#include <QString>

// The alarm history grid's text for one 4-bit alarm code: "Normal" alone for 0,
// "<name> (<code>)" for a known alarm, "Unknown(<code>)" for a code without a name.
QString alarmHistoryText(int code, const QString &lang);
