#include "paramfile.h"

#include "paramconversions.h"

#include <QIODevice>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <QLocale>

#include <cmath>

namespace ParamFile {

namespace {

const QString DateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString NoText = QStringLiteral("—");

bool isZh(const QString &lang)
{
    return lang == QLatin1String("zh");
}

QString pick(const QString &lang, const QString &zh, const QString &en)
{
    return isZh(lang) ? zh : en;
}

QString shortest(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString orNoText(const QString &text)
{
    return text.isEmpty() ? NoText : text;
}

}  // namespace

QString directionOf(const QString &modelCode)
{
    return modelCode.section(QLatin1Char('-'), -1);
}

const QStringList &integerKeys()
{
    static const QStringList keys = {
        QStringLiteral("pos0Accel"),      QStringLiteral("pos0Decel"),      QStringLiteral("pos1Accel"),
        QStringLiteral("pos1Decel"),      QStringLiteral("homeTorque"),     QStringLiteral("pos0PushTorque"),
        QStringLiteral("pos1PushTorque"), QStringLiteral("smoothMs"),       QStringLiteral("idleCurrent"),
        QStringLiteral("runCurrent"),
    };
    return keys;
}

const QStringList &decimalKeys()
{
    static const QStringList keys = {
        QStringLiteral("pos0Speed"),    QStringLiteral("pos0Pos"),     QStringLiteral("pos1Speed"),
        QStringLiteral("pos1Pos"),      QStringLiteral("softLimitCCW"), QStringLiteral("softLimitCW"),
        QStringLiteral("dynErr"),       QStringLiteral("staErr"),       QStringLiteral("posWarn"),
    };
    return keys;
}

const QStringList &applyOrder()
{
    static const QStringList keys = {
        QStringLiteral("pos0Accel"),    QStringLiteral("pos0Decel"),      QStringLiteral("pos0Speed"),
        QStringLiteral("pos0Pos"),      QStringLiteral("pos1Accel"),      QStringLiteral("pos1Decel"),
        QStringLiteral("pos1Speed"),    QStringLiteral("pos1Pos"),        QStringLiteral("homeTorque"),
        QStringLiteral("softLimitCCW"), QStringLiteral("softLimitCW"),    QStringLiteral("pos0PushTorque"),
        QStringLiteral("pos1PushTorque"), QStringLiteral("smoothMs"),     QStringLiteral("idleCurrent"),
        QStringLiteral("runCurrent"),   QStringLiteral("dynErr"),         QStringLiteral("staErr"),
        QStringLiteral("posWarn"),
    };
    return keys;
}

bool isIntegerKey(const QString &key)
{
    return integerKeys().contains(key);
}

bool differs(double a, double b)
{
    return std::fabs(a - b) * 1e12 > std::min(std::fabs(a), std::fabs(b));
}

QJsonObject toJson(const Content &content)
{
    QJsonObject root;
    for (auto it = content.values.constBegin(); it != content.values.constEnd(); ++it) {
        const double value = it.value();
        if (isIntegerKey(it.key()) && value == std::floor(value) && std::fabs(value) < 1e9)
            root.insert(it.key(), static_cast<qint64>(value));
        else
            root.insert(it.key(), value);
    }
    root.insert(QStringLiteral("pos0PushEnable"), content.pos0PushEnable);
    root.insert(QStringLiteral("pos1PushEnable"), content.pos1PushEnable);

    const Identity &id = content.identity;
    root.insert(QStringLiteral("family"), id.family);
    root.insert(QStringLiteral("size"), id.size);
    root.insert(QStringLiteral("lead"), id.lead);
    root.insert(QStringLiteral("stroke"), id.stroke);
    root.insert(QStringLiteral("dir"), id.direction);
    root.insert(QStringLiteral("modelStr"), id.modelStr);
    root.insert(QStringLiteral("logicVer"), int(id.logicVersion));
    root.insert(QStringLiteral("firmware"), id.firmware);
    root.insert(QStringLiteral("hardware"), id.hardware);

    root.insert(QStringLiteral("exportTime"), content.exportTime.toString(DateFormat));
    root.insert(QStringLiteral("swVersion"), content.swVersion);
    root.insert(QStringLiteral("formatVersion"), FormatVersion);
    return root;
}

QByteArray toFileText(const Content &content)
{
    return QJsonDocument(toJson(content)).toJson(QJsonDocument::Indented);
}

FileError saveFile(const QString &path, const QByteArray &text)
{
    return FileOutput::writeWhole(path, text);
}

bool readLimited(QIODevice &file, QByteArray *text)
{
    *text = file.read(MaxFileBytes + 1);
    return text->size() <= MaxFileBytes;
}

QString tooLargeMessage(const QString &path, const QString &lang)
{
    const QString megabytes = QString::number(MaxFileBytes / (1024 * 1024));
    return pick(lang, QStringLiteral("檔案過大（超過 %1 MB），不是參數檔，未匯入：\n%2"),
                QStringLiteral("The file is too large for a parameter file (over %1 MB) and was not loaded:\n%2"))
        .arg(megabytes, path);
}

Parsed parse(const QByteArray &text, const QString &lang)
{
    Parsed parsed;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        parsed.error = pick(lang, QStringLiteral("JSON 解析失敗：%1"), QStringLiteral("JSON parse error: %1"))
                           .arg(error.errorString());
        return parsed;
    }
    if (!document.isObject()) {
        parsed.error = pick(lang, QStringLiteral("檔案格式錯誤：根節點不是 JSON 物件。"),
                            QStringLiteral("Invalid format: root is not a JSON object."));
        return parsed;
    }
    const QJsonValue version = document.object().value(QStringLiteral("formatVersion"));
    // Any version from 2 on, fractions included, may mean keys this program would misread.
    if (version.isDouble() && version.toDouble() >= FormatVersion + 1) {
        parsed.error = pick(lang, QStringLiteral("檔案格式版本 %1 高於本程式支援的版本 1，請更新軟體。"),
                            QStringLiteral("File format version %1 is newer than supported (1)."))
                           .arg(shortest(version.toDouble()));
        return parsed;
    }
    parsed.ok = true;
    parsed.root = document.object();
    return parsed;
}

Identity identityOf(const QJsonObject &root)
{
    Identity id;
    id.modelStr = root.value(QStringLiteral("modelStr")).toString();
    id.lead = root.value(QStringLiteral("lead")).toDouble(0.0);
    id.stroke = root.value(QStringLiteral("stroke")).toInt(0);
    id.family = root.value(QStringLiteral("family")).toString();
    id.size = root.value(QStringLiteral("size")).toInt(0);
    id.direction = root.value(QStringLiteral("dir")).toString();
    id.logicVersion = static_cast<quint16>(root.value(QStringLiteral("logicVer")).toInt(0));
    id.firmware = root.value(QStringLiteral("firmware")).toString();
    id.hardware = root.value(QStringLiteral("hardware")).toString();
    return id;
}

QString exportTimeOf(const QJsonObject &root)
{
    return root.value(QStringLiteral("exportTime")).toString();
}

Compatibility checkCompatibility(const QJsonObject &root, const Identity &drive, const QString &lang)
{
    if (!(identityOf(root).lead > 0))
        return Compatibility();
    return compareIdentity(root, drive, lang);
}

Compatibility compareIdentity(const QJsonObject &root, const Identity &drive, const QString &lang)
{
    Compatibility result;
    const Identity file = identityOf(root);
    if (file.lead > 0 && differs(file.lead, drive.lead))
        result.other << pick(lang, QStringLiteral("導程：%1 → %2 mm（速度與誤差閾值換算基準不同）"),
                             QStringLiteral("Lead: %1 → %2 mm (conversion basis differs)"))
                            .arg(shortest(file.lead), shortest(drive.lead));
    if (!file.direction.isEmpty() && file.direction != drive.direction)
        result.reversed = pick(lang, QStringLiteral("方向：%1 → %2（位置的物理意義相反）"),
                             QStringLiteral("Direction: %1 → %2 (position meaning reversed)"))
                            .arg(file.direction, drive.direction);
    if (!result.reversed.isEmpty())
        result.other << result.reversed;

    const struct
    {
        const char *key;
        QString zh;
        QString en;
    } positions[] = {
        {"pos0Pos", QStringLiteral("位置1 目標"), QStringLiteral("Position 1")},
        {"pos1Pos", QStringLiteral("位置2 目標"), QStringLiteral("Position 2")},
        {"softLimitCCW", QStringLiteral("負向軟限位"), QStringLiteral("Soft Limit CCW")},
        {"softLimitCW", QStringLiteral("正向軟限位"), QStringLiteral("Soft Limit CW")},
    };
    for (const auto &p : positions) {
        const double value = root.value(QLatin1String(p.key)).toDouble(-1.0);
        if (value > drive.stroke)
            result.other << pick(lang, QStringLiteral("%1：%2 mm 超出設備行程 %3 mm"),
                                 QStringLiteral("%1: %2 mm exceeds device stroke %3 mm"))
                                .arg(pick(lang, p.zh, p.en), QString::number(value, 'f', 2),
                                     QString::number(drive.stroke));
    }

    if (!file.family.isEmpty() && file.family != drive.family)
        result.blocking << pick(lang, QStringLiteral("型號系列：%1 → %2"), QStringLiteral("Family: %1 → %2"))
                               .arg(file.family, drive.family);
    if (file.size > 0 && file.size != drive.size)
        result.blocking << pick(lang, QStringLiteral("缸徑：%1 → %2"), QStringLiteral("Size: %1 → %2"))
                               .arg(file.size)
                               .arg(drive.size);
    if (file.stroke > 0 && file.stroke != drive.stroke)
        result.blocking << pick(lang, QStringLiteral("行程：%1 → %2 mm"), QStringLiteral("Stroke: %1 → %2 mm"))
                               .arg(file.stroke)
                               .arg(drive.stroke);
    return result;
}

QString blockedMessage(const Compatibility &compatibility, const QString &fileModel, const QString &lang)
{
    const QString newline = QStringLiteral("\n");
    QString text = pick(lang, QStringLiteral("檔案與目前機台不相容，無法匯入。\n\n【不相容項目】\n%1"),
                        QStringLiteral("Incompatible file.\n\n[Blocking]\n%1"))
                       .arg(compatibility.blocking.join(newline));
    if (!compatibility.other.isEmpty())
        text += pick(lang, QStringLiteral("\n\n【其他差異】\n%1"), QStringLiteral("\n\n[Other differences]\n%1"))
                    .arg(compatibility.other.join(newline));
    text += pick(lang, QStringLiteral("\n\n檔案型號：%1"), QStringLiteral("\n\nFile: %1")).arg(orNoText(fileModel));
    return text;
}

QString mismatchQuestion(const Compatibility &compatibility, const QString &lang)
{
    return pick(lang, QStringLiteral("檔案與目前機台規格不同：\n\n%1\n\n超出範圍的設定將被自動調整。\n確定要繼續匯入嗎？"),
                QStringLiteral("Spec differs:\n\n%1\n\nContinue?"))
        .arg(compatibility.other.join(QLatin1Char('\n')));
}

Loaded loadDecimal(const QJsonObject &root, const QString &key, double minimum, double maximum)
{
    Loaded loaded;
    if (!root.contains(key))
        return loaded;
    const QJsonValue value = root.value(key);
    if (!value.isDouble() || !std::isfinite(value.toDouble())) {
        loaded.outcome = Loaded::Outcome::TypeError;
        return loaded;
    }
    const double fileValue = value.toDouble();
    loaded.outcome = Loaded::Outcome::Applied;
    loaded.value = qBound(minimum, fileValue, maximum);
    // Whole-number keys name their values as whole numbers, as they always have.
    const auto text = [&key](double v) { return isIntegerKey(key) ? shortest(v) : QString::number(v, 'f', 2); };
    if (differs(loaded.value, fileValue))
        loaded.clampLine = QStringLiteral("%1 (%2→%3)").arg(key, text(fileValue), text(loaded.value));
    return loaded;
}

Loaded loadInteger(const QJsonObject &root, const QString &key, int minimum, int maximum)
{
    Loaded loaded;
    if (!root.contains(key))
        return loaded;
    const QJsonValue value = root.value(key);
    if (!value.isDouble() || !std::isfinite(value.toDouble())) {
        loaded.outcome = Loaded::Outcome::TypeError;
        return loaded;
    }
    const double fileValue = value.toDouble();
    // Bounded before rounding so that a huge number cannot overflow the conversion.
    const qint64 applied = fileValue <= minimum   ? minimum
                           : fileValue >= maximum ? maximum
                                                  : qBound(qint64(minimum), ParamConv::roundHalfUp(fileValue), qint64(maximum));
    loaded.outcome = Loaded::Outcome::Applied;
    loaded.value = double(applied);
    if (differs(loaded.value, fileValue))
        loaded.clampLine = QStringLiteral("%1 (%2→%3)").arg(key, shortest(fileValue), QString::number(applied));
    return loaded;
}

Loaded loadBoolean(const QJsonObject &root, const QString &key)
{
    Loaded loaded;
    if (!root.contains(key))
        return loaded;
    const QJsonValue value = root.value(key);
    if (!value.isBool()) {
        loaded.outcome = Loaded::Outcome::TypeError;
        return loaded;
    }
    loaded.outcome = Loaded::Outcome::Applied;
    loaded.value = value.toBool() ? 1.0 : 0.0;
    return loaded;
}

QString importWarning(const QStringList &typeErrors, const QStringList &clampLines, const QString &lang)
{
    QString text;
    if (!typeErrors.isEmpty())
        text += pick(lang, QStringLiteral("以下欄位型別錯誤，已略過：\n%1\n\n"), QStringLiteral("Invalid type, skipped:\n%1\n\n"))
                    .arg(typeErrors.join(QStringLiteral(", ")));
    if (!clampLines.isEmpty())
        text += pick(lang, QStringLiteral("以下欄位超出範圍，已自動調整：\n%1"), QStringLiteral("Out of range, clamped:\n%1"))
                    .arg(clampLines.join(QLatin1Char('\n')));
    return text;
}

QString positionOrderWarning(double pos0, double pos1, const QString &lang)
{
    return pick(lang, QStringLiteral("檔案中的位置 1（%1 mm）大於或等於位置 2（%2 mm）。\n此設定無法寫入設備，請修正後再寫入。"),
                QStringLiteral("Position 1 (%1 mm) >= Position 2 (%2 mm) in file.\n"
                               "This cannot be written; please correct before writing."))
        .arg(QString::number(pos0, 'f', 2), QString::number(pos1, 'f', 2));
}

QString importedMessage(const QString &fileModel, const QString &exportTime, const QString &lang)
{
    return pick(lang, QStringLiteral("參數已匯入（尚未寫入設備，請確認後逐項寫入）。\n\n檔案來源：%1\n匯出時間：%2"),
                QStringLiteral("Imported (not yet written to device).\n\nFrom: %1\nExported: %2"))
        .arg(orNoText(fileModel), orNoText(exportTime));
}

}  // namespace ParamFile
