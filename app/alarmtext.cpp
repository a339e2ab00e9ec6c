#include "alarmtext.h"

#include "dictionary.h"

QString alarmHistoryText(int code, const QString &lang)
{
    const QString key = QStringLiteral("alarm_%1").arg(code);
    const QString name = translateKey(key, lang);
    if (name == key)
        return QStringLiteral("Unknown(%1)").arg(code);
    if (code == 0)
        return name;
    return QStringLiteral("%1 (%2)").arg(name).arg(code);
}
