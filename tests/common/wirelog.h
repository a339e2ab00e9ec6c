#pragma once

// One line per request the simulated bus received, for comparing what went
// out on the wire: "1 03 0004 x2", "1 06 00A4 = 0000", "3 10 0227 = 2710 0000".

#include "simbus.h"

#include <QStringList>

inline QString wireText(const SimRequest &r)
{
    const auto hex4 = [](quint16 v) { return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')).toUpper(); };
    QString line = QStringLiteral("%1 %2 %3").arg(r.station).arg(r.function, 2, 16, QLatin1Char('0')).arg(hex4(r.address));
    if (r.function == 0x03)
        return line + QStringLiteral(" x%1").arg(r.count);
    line += QStringLiteral(" =");
    for (quint16 v : r.values)
        line += QLatin1Char(' ') + hex4(v);
    return line;
}

// The bus's request log as lines; only one function code when given.
inline QStringList wireLog(const QVector<SimRequest> &requests, int function = 0)
{
    QStringList lines;
    for (const SimRequest &r : requests)
        if (function == 0 || r.function == function)
            lines << wireText(r);
    return lines;
}
