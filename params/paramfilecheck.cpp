// ParamFile: the checks a parameter file passes before its values are used,
// and before they are written into a drive.

#include "paramfile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonValue>

#include <cmath>

namespace ParamFile {

namespace {

QString pickText(const QString &lang, const char *zh, const char *en)
{
    return QString::fromUtf8(lang == QLatin1String("zh") ? zh : en);
}

}  // namespace

QStringList missingIdentity(const QJsonObject &root)
{
    const Identity file = identityOf(root);
    QStringList missing;
    if (file.family.isEmpty())
        missing << QStringLiteral("family");
    if (file.size <= 0)
        missing << QStringLiteral("size");
    if (file.stroke <= 0)
        missing << QStringLiteral("stroke");
    if (!(file.lead > 0))
        missing << QStringLiteral("lead");
    return missing;
}

Compatibility checkWriteCompatibility(const QJsonObject &root, const Identity &drive, const QString &lang)
{
    Compatibility result = compareIdentity(root, drive, lang);
    result.other.removeAll(result.reversed);
    const QStringList missing = missingIdentity(root);
    if (!missing.isEmpty())
        result.blocking.prepend(pickText(lang, "檔案未記錄產品的 %1，不能寫入設備", "The file does not record the product's %1; "
                                                                          "it cannot be written to a drive")
                                    .arg(missing.join(QStringLiteral(", "))));
    return result;
}

QString contentProblem(const QJsonObject &root, const QString &lang)
{
    QStringList keys = applyOrder();
    keys << QStringLiteral("pos0PushEnable") << QStringLiteral("pos1PushEnable");
    bool anyParameter = false;
    for (const QString &key : qAsConst(keys)) {
        if (!root.contains(key))
            continue;
        anyParameter = true;
        const QJsonValue value = root.value(key);
        const bool push = key.endsWith(QLatin1String("PushEnable"));
        const bool fits = push ? value.isBool() : value.isDouble() && std::isfinite(value.toDouble());
        if (!fits)
            return (push ? pickText(lang, "「%1」的值不是 true 或 false", "the value of \"%1\" is not true or false")
                         : pickText(lang, "「%1」的值不是數字", "the value of \"%1\" is not a number"))
                .arg(key);
    }
    if (!anyParameter)
        return pickText(lang, "檔案中沒有任何參數（例如「pos0Pos」）", "the file holds no parameter (such as \"pos0Pos\")");
    return QString();
}

Parsed load(const QString &path, const QString &lang)
{
    Parsed parsed;
    const auto fail = [&parsed, &path](const QString &reason) {
        parsed.error = QStringLiteral("%1: %2").arg(path, reason);
        return parsed;
    };
    // A pipe would wait for a writer and a device node never ends.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return fail(pickText(lang, "不是一般檔案", "not a regular file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    QByteArray text;
    if (!readLimited(file, &text)) {
        parsed.error = tooLargeMessage(path, lang);
        return parsed;
    }
    parsed = parse(text, lang);
    if (!parsed.ok)
        return fail(parsed.error);
    const QString problem = contentProblem(parsed.root, lang);
    if (!problem.isEmpty()) {
        parsed.ok = false;
        parsed.root = QJsonObject();
        return fail(problem);
    }
    return parsed;
}

}  // namespace ParamFile
