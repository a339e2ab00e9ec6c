#include "numberparse.h"

#include <QStringList>

ParsedNumber parseNumber(const QString &text, qint64 minimum, qint64 maximum)
{
    ParsedNumber result;
    const QString t = text.trimmed();
    bool ok = false;
    qint64 value = 0;
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        const QString digits = t.mid(2);
        if (!digits.isEmpty() && digits.size() <= 15)
            value = digits.toLongLong(&ok, 16);
    } else if (!t.isEmpty() && t.size() <= 18) {
        value = t.toLongLong(&ok, 10);
    }
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
