#include "numberparse.h"

#include <QRegularExpression>
#include <QStringList>

ParsedNumber parseNumber(const QString &text, qint64 minimum, qint64 maximum)
{
    ParsedNumber result;
    const QString t = text.trimmed();
    // Checked by pattern first: Qt's conversions also take signs, blanks and a
    // second "0x", which a command line must not.
    static const QRegularExpression hex(QStringLiteral("^0[xX]([0-9A-Fa-f]{1,15})$"));
    static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]{1,18}$"));
    bool ok = false;
    qint64 value = 0;
    const QRegularExpressionMatch hexMatch = hex.match(t);
    if (hexMatch.hasMatch())
        value = hexMatch.captured(1).toLongLong(&ok, 16);
    else if (decimal.match(t).hasMatch())
        value = t.toLongLong(&ok, 10);
    if (!ok) {
        result.error = QStringLiteral("'%1' is not a number (use decimal or 0x hex)").arg(text);
        return result;
    }
    if (value < minimum || value > maximum) {
        result.error = QStringLiteral("%1 is out of range %2..%3").arg(t).arg(minimum).arg(maximum);
        return result;
    }
    result.ok = true;
    result.value = value;
    return result;
}

ParsedWords parseWordList(const QString &text, int maxCount)
{
    ParsedWords result;
    const QStringList parts = text.split(QLatin1Char(','));
    if (text.trimmed().isEmpty() || parts.size() > maxCount) {
        result.error = QStringLiteral("expected 1 to %1 comma-separated values").arg(maxCount);
        return result;
    }
    for (const QString &part : parts) {
        const ParsedNumber n = parseNumber(part, 0, 0xFFFF);
        if (!n.ok) {
            result.error = n.error;
            result.words.clear();
            return result;
        }
        result.words.append(static_cast<quint16>(n.value));
    }
    result.ok = true;
    return result;
}

ParsedStations parseStationList(const QString &text, int minimum, int maximum)
{
    ParsedStations result;
    QVector<bool> listed(maximum + 1, false);
    for (const QString &item : text.split(QLatin1Char(','))) {
        const QStringList ends = item.trimmed().split(QLatin1Char('-'));
        const ParsedNumber first = parseNumber(ends.value(0), minimum, maximum);
        const ParsedNumber last = ends.size() == 2 ? parseNumber(ends.value(1), minimum, maximum) : first;
        if (ends.size() > 2 || !first.ok || !last.ok || last.value < first.value) {
            result.error = QStringLiteral("'%1' is not a station or a range like 1-4 of stations %2 to %3")
                               .arg(item.trimmed()).arg(minimum).arg(maximum);
            return result;
        }
        for (qint64 s = first.value; s <= last.value; ++s)
            listed[int(s)] = true;
    }
    for (int s = minimum; s <= maximum; ++s) {
        if (listed[s])
            result.stations << s;
    }
    result.ok = true;
    return result;
}
