// The parameter file: what an export writes, and the checks and value rules
// of an import, as plain functions.

#include "paramfile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using ParamFile::Compatibility;
using ParamFile::Identity;
using ParamFile::Loaded;

Q_DECLARE_METATYPE(Loaded::Outcome)

namespace {

Identity lxaz16()
{
    Identity id;
    id.family = QStringLiteral("LXAZ");
    id.size = 16;
    id.lead = 10.0;
    id.stroke = 100;
    id.direction = QStringLiteral("BC");
    id.modelStr = QStringLiteral("LXAZ-16L10-100-BC");
    id.logicVersion = 0x4103;
    id.firmware = QStringLiteral("V1.2");
    id.hardware = QStringLiteral("H2");
    return id;
}

ParamFile::Content sampleContent()
{
    ParamFile::Content c;
    c.identity = lxaz16();
    const QStringList ints = ParamFile::integerKeys();
    for (int i = 0; i < ints.size(); ++i)
        c.values.insert(ints[i], 50 + i);
    const QStringList decs = ParamFile::decimalKeys();
    for (int i = 0; i < decs.size(); ++i)
        c.values.insert(decs[i], 1.25 * (i + 1));
    c.pos0PushEnable = true;
    c.pos1PushEnable = false;
    c.exportTime = QDateTime(QDate(2024, 3, 5), QTime(8, 9, 10));
    c.swVersion = QStringLiteral("1.0.0");
    return c;
}

QJsonObject object(const char *json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

}  // namespace

class ParamFileTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void exportRecordsFormatVersionIdentityAndEveryValue();
    void exportWritesIntegersWithoutDecimalsAndKeysInAlphabeticalOrder();
    void directionIsTheModelCodeAfterItsLastDash_data();
    void directionIsTheModelCodeAfterItsLastDash();
    void exportedFileReadsBackUnchanged();
    void everyExportedValueIsAppliedOnImport();

    void parseRefusesWhatItCannotLoad_data();
    void parseRefusesWhatItCannotLoad();
    void parseAcceptsOlderOrUnversionedFiles_data();
    void parseAcceptsOlderOrUnversionedFiles();

    void compatibilityLines_data();
    void compatibilityLines();
    void aFileWithoutLeadIsNotChecked();
    void linesComeInTheDocumentedOrder();
    void blockedMessageListsOtherDifferencesAndTheFileModel_data();
    void blockedMessageListsOtherDifferencesAndTheFileModel();
    void mismatchQuestionInBothLanguages();

    void decimalValues_data();
    void decimalValues();
    void integerValues_data();
    void integerValues();
    void booleanValues_data();
    void booleanValues();

    void savedFileHoldsTheWholeText();
    void failedSaveKeepsTheOldFile();

    void importWarningHasOnlyTheSectionsThatApply_data();
    void importWarningHasOnlyTheSectionsThatApply();
    void positionOrderAndImportedMessages();
};

void ParamFileTest::exportRecordsFormatVersionIdentityAndEveryValue()
{
    const QJsonObject root = ParamFile::toJson(sampleContent());
    QCOMPARE(root.value(QStringLiteral("formatVersion")).toInt(), 1);
    QCOMPARE(root.value(QStringLiteral("family")).toString(), QStringLiteral("LXAZ"));
    QCOMPARE(root.value(QStringLiteral("size")).toInt(), 16);
    QCOMPARE(root.value(QStringLiteral("lead")).toDouble(), 10.0);
    QCOMPARE(root.value(QStringLiteral("stroke")).toInt(), 100);
    QCOMPARE(root.value(QStringLiteral("dir")).toString(), QStringLiteral("BC"));
    QCOMPARE(root.value(QStringLiteral("modelStr")).toString(), QStringLiteral("LXAZ-16L10-100-BC"));
    QCOMPARE(root.value(QStringLiteral("logicVer")).toInt(), 0x4103);
    QCOMPARE(root.value(QStringLiteral("firmware")).toString(), QStringLiteral("V1.2"));
    QCOMPARE(root.value(QStringLiteral("hardware")).toString(), QStringLiteral("H2"));
    QCOMPARE(root.value(QStringLiteral("exportTime")).toString(), QStringLiteral("2024-03-05 08:09:10"));
    QCOMPARE(root.value(QStringLiteral("swVersion")).toString(), QStringLiteral("1.0.0"));
    QCOMPARE(root.value(QStringLiteral("pos0PushEnable")), QJsonValue(true));
    QCOMPARE(root.value(QStringLiteral("pos1PushEnable")), QJsonValue(false));
    for (const QString &key : ParamFile::applyOrder())
        QVERIFY2(root.value(key).isDouble(), qPrintable(key));
    // 18 values, 2 push switches, 9 identity keys, time, version, format.
    QCOMPARE(root.size(), 18 + 2 + 9 + 3);
}

void ParamFileTest::exportWritesIntegersWithoutDecimalsAndKeysInAlphabeticalOrder()
{
    ParamFile::Content c = sampleContent();
    c.values[QStringLiteral("pos0Accel")] = 200;
    c.values[QStringLiteral("pos0Pos")] = 12.35;
    const QByteArray text = ParamFile::toFileText(c);
    QVERIFY(text.contains("\"pos0Accel\": 200,"));
    QVERIFY(text.contains("\"pos0Pos\": 12.35,"));
    QVERIFY(text.contains("\"formatVersion\": 1,"));
    QVERIFY2(text.contains("\n    \""), "indented");

    QStringList keysInText;
    QRegularExpression keyPattern(QStringLiteral("^\\s+\"(\\w+)\":"), QRegularExpression::MultilineOption);
    for (auto it = keyPattern.globalMatch(QString::fromUtf8(text)); it.hasNext();)
        keysInText << it.next().captured(1);
    QStringList sorted = keysInText;
    sorted.sort();
    QCOMPARE(keysInText, sorted);
}

void ParamFileTest::directionIsTheModelCodeAfterItsLastDash_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("direction");
    QTest::newRow("four sections") << "LXAZ-16L01-50-BC" << "BC";
    QTest::newRow("other option") << "LXB-20L05-100-BA" << "BA";
    QTest::newRow("no dash") << "LXAZ" << "LXAZ";
    QTest::newRow("trailing dash") << "LXAZ-" << "";
    QTest::newRow("empty") << "" << "";
}

void ParamFileTest::directionIsTheModelCodeAfterItsLastDash()
{
    QFETCH(QString, model);
    QFETCH(QString, direction);
    QCOMPARE(ParamFile::directionOf(model), direction);
}

void ParamFileTest::exportedFileReadsBackUnchanged()
{
    const ParamFile::Parsed parsed = ParamFile::parse(ParamFile::toFileText(sampleContent()), QStringLiteral("en"));
    QVERIFY(parsed.ok);
    const Identity id = ParamFile::identityOf(parsed.root);
    const Identity expected = lxaz16();
    QCOMPARE(id.family, expected.family);
    QCOMPARE(id.size, expected.size);
    QCOMPARE(id.lead, expected.lead);
    QCOMPARE(id.stroke, expected.stroke);
    QCOMPARE(id.direction, expected.direction);
    QCOMPARE(id.modelStr, expected.modelStr);
    QCOMPARE(id.logicVersion, expected.logicVersion);
    QCOMPARE(id.firmware, expected.firmware);
    QCOMPARE(id.hardware, expected.hardware);
    QCOMPARE(ParamFile::exportTimeOf(parsed.root), QStringLiteral("2024-03-05 08:09:10"));
    const Compatibility same = ParamFile::checkCompatibility(parsed.root, expected, QStringLiteral("en"));
    QVERIFY(same.blocking.isEmpty());
    QVERIFY(same.other.isEmpty());
}

void ParamFileTest::everyExportedValueIsAppliedOnImport()
{
    const ParamFile::Content c = sampleContent();
    const QJsonObject root = ParamFile::parse(ParamFile::toFileText(c), QStringLiteral("en")).root;
    for (const QString &key : ParamFile::applyOrder()) {
        const bool integer = ParamFile::isIntegerKey(key);
        const Loaded loaded = integer ? ParamFile::loadInteger(root, key, -100000, 100000)
                                      : ParamFile::loadDecimal(root, key, -100000.0, 100000.0);
        QCOMPARE(loaded.outcome, Loaded::Outcome::Applied);
        QVERIFY2(loaded.clampLine.isEmpty(), qPrintable(loaded.clampLine));
        QCOMPARE(loaded.value, c.values.value(key));
    }
    QCOMPARE(ParamFile::loadBoolean(root, QStringLiteral("pos0PushEnable")).value, 1.0);
    QCOMPARE(ParamFile::loadBoolean(root, QStringLiteral("pos1PushEnable")).value, 0.0);
}

void ParamFileTest::parseRefusesWhatItCannotLoad_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("messageStart");
    QTest::newRow("not json, en") << QByteArray("{\"a\": ") << "en" << "JSON parse error: ";
    QTest::newRow("not json, zh") << QByteArray("hello") << "zh" << "JSON 解析失敗：";
    QTest::newRow("array, en") << QByteArray("[1, 2]") << "en" << "Invalid format: root is not a JSON object.";
    QTest::newRow("array, zh") << QByteArray("[]") << "zh" << "檔案格式錯誤：根節點不是 JSON 物件。";
    QTest::newRow("version 2, en") << QByteArray("{\"formatVersion\": 2}") << "en"
                                   << "File format version 2 is newer than supported (1).";
    QTest::newRow("version 3, zh") << QByteArray("{\"formatVersion\": 3}") << "zh"
                                   << "檔案格式版本 3 高於本程式支援的版本 1，請更新軟體。";
    QTest::newRow("version 2.5") << QByteArray("{\"formatVersion\": 2.5}") << "en"
                                 << "File format version 2.5 is newer than supported (1).";
}

void ParamFileTest::parseRefusesWhatItCannotLoad()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, lang);
    QFETCH(QString, messageStart);
    const ParamFile::Parsed parsed = ParamFile::parse(text, lang);
    QVERIFY(!parsed.ok);
    QVERIFY2(parsed.error.startsWith(messageStart), qPrintable(parsed.error));
    QVERIFY(parsed.root.isEmpty());
}

void ParamFileTest::parseAcceptsOlderOrUnversionedFiles_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("version 1") << QByteArray("{\"formatVersion\": 1, \"lead\": 5}");
    QTest::newRow("no version") << QByteArray("{\"lead\": 5}");
    QTest::newRow("version 0") << QByteArray("{\"formatVersion\": 0, \"lead\": 5}");
    QTest::newRow("version as text") << QByteArray("{\"formatVersion\": \"1\", \"lead\": 5}");
}

void ParamFileTest::parseAcceptsOlderOrUnversionedFiles()
{
    QFETCH(QByteArray, text);
    const ParamFile::Parsed parsed = ParamFile::parse(text, QStringLiteral("en"));
    QVERIFY2(parsed.ok, qPrintable(parsed.error));
    QCOMPARE(parsed.root.value(QStringLiteral("lead")).toDouble(), 5.0);
}

void ParamFileTest::compatibilityLines_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QStringList>("blocking");
    QTest::addColumn<QStringList>("other");

    QTest::newRow("same drive") << QByteArray(R"({"lead": 10, "family": "LXAZ", "size": 16, "stroke": 100, "dir": "BC"})")
                                << "en" << QStringList() << QStringList();
    QTest::newRow("lead within 1e-12") << QByteArray(R"({"lead": 10.000000000000001})") << "en" << QStringList()
                                       << QStringList();
    QTest::newRow("lead, en") << QByteArray(R"({"lead": 2.5})") << "en" << QStringList()
                              << QStringList{"Lead: 2.5 → 10 mm (conversion basis differs)"};
    QTest::newRow("lead, zh") << QByteArray(R"({"lead": 5})") << "zh" << QStringList()
                              << QStringList{"導程：5 → 10 mm（速度與誤差閾值換算基準不同）"};
    QTest::newRow("direction, en") << QByteArray(R"({"lead": 10, "dir": "BA"})") << "en" << QStringList()
                                   << QStringList{"Direction: BA → BC (position meaning reversed)"};
    QTest::newRow("direction, zh") << QByteArray(R"({"lead": 10, "dir": "BA"})") << "zh" << QStringList()
                                   << QStringList{"方向：BA → BC（位置的物理意義相反）"};
    QTest::newRow("empty direction") << QByteArray(R"({"lead": 10, "dir": ""})") << "en" << QStringList()
                                     << QStringList();
    QTest::newRow("position beyond stroke, en")
        << QByteArray(R"({"lead": 10, "pos0Pos": 120})") << "en" << QStringList()
        << QStringList{"Position 1: 120.00 mm exceeds device stroke 100 mm"};
    QTest::newRow("positions beyond stroke, zh")
        << QByteArray(R"({"lead": 10, "pos1Pos": 100.5, "softLimitCCW": 101, "softLimitCW": 150.126})") << "zh"
        << QStringList()
        << QStringList{"位置2 目標：100.50 mm 超出設備行程 100 mm", "負向軟限位：101.00 mm 超出設備行程 100 mm",
                       "正向軟限位：150.13 mm 超出設備行程 100 mm"};
    QTest::newRow("position at the stroke") << QByteArray(R"({"lead": 10, "pos1Pos": 100})") << "en"
                                            << QStringList() << QStringList();
    QTest::newRow("position as text") << QByteArray(R"({"lead": 10, "pos1Pos": "500"})") << "en" << QStringList()
                                      << QStringList();
    QTest::newRow("family, en") << QByteArray(R"({"lead": 10, "family": "LXB"})") << "en"
                                << QStringList{"Family: LXB → LXAZ"} << QStringList();
    QTest::newRow("size and stroke, zh") << QByteArray(R"({"lead": 10, "size": 20, "stroke": 50})") << "zh"
                                         << QStringList{"缸徑：20 → 16", "行程：50 → 100 mm"} << QStringList();
    QTest::newRow("size, stroke, en") << QByteArray(R"({"lead": 10, "size": 25, "stroke": 30})") << "en"
                                      << QStringList{"Size: 25 → 16", "Stroke: 30 → 100 mm"} << QStringList();
    QTest::newRow("zero size and stroke are not compared") << QByteArray(R"({"lead": 10, "size": 0, "stroke": 0})")
                                                           << "en" << QStringList() << QStringList();
}

void ParamFileTest::compatibilityLines()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, lang);
    QFETCH(QStringList, blocking);
    QFETCH(QStringList, other);
    const Compatibility c = ParamFile::checkCompatibility(QJsonDocument::fromJson(file).object(), lxaz16(), lang);
    QCOMPARE(c.blocking, blocking);
    QCOMPARE(c.other, other);
}

void ParamFileTest::aFileWithoutLeadIsNotChecked()
{
    const QJsonObject root = object(R"({"family": "LXB", "size": 63, "stroke": 400, "pos0Pos": 300, "dir": "BA"})");
    const Compatibility c = ParamFile::checkCompatibility(root, lxaz16(), QStringLiteral("en"));
    QVERIFY(c.blocking.isEmpty());
    QVERIFY(c.other.isEmpty());
}

void ParamFileTest::linesComeInTheDocumentedOrder()
{
    const QJsonObject root = object(
        R"({"lead": 5, "dir": "BA", "pos0Pos": 120, "softLimitCW": 130, "family": "LXB", "size": 20, "stroke": 150})");
    const Compatibility c = ParamFile::checkCompatibility(root, lxaz16(), QStringLiteral("en"));
    QCOMPARE(c.other, (QStringList{"Lead: 5 → 10 mm (conversion basis differs)",
                                   "Direction: BA → BC (position meaning reversed)",
                                   "Position 1: 120.00 mm exceeds device stroke 100 mm",
                                   "Soft Limit CW: 130.00 mm exceeds device stroke 100 mm"}));
    QCOMPARE(c.blocking, (QStringList{"Family: LXB → LXAZ", "Size: 20 → 16", "Stroke: 150 → 100 mm"}));
}

void ParamFileTest::blockedMessageListsOtherDifferencesAndTheFileModel_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QStringList>("other");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("message");
    QTest::newRow("en, blocking only") << "en" << QStringList() << "LXB-20L05-100-BC"
                                       << "Incompatible file.\n\n[Blocking]\nFamily: LXB → LXAZ\nSize: 20 → 16"
                                          "\n\nFile: LXB-20L05-100-BC";
    QTest::newRow("en, with other, no model")
        << "en" << QStringList{"Lead: 5 → 10 mm (conversion basis differs)"} << ""
        << "Incompatible file.\n\n[Blocking]\nFamily: LXB → LXAZ\nSize: 20 → 16"
           "\n\n[Other differences]\nLead: 5 → 10 mm (conversion basis differs)\n\nFile: —";
    QTest::newRow("zh, with other") << "zh" << QStringList{"導程：5 → 10 mm（速度與誤差閾值換算基準不同）"} << "LXB"
                                    << "檔案與目前機台不相容，無法匯入。\n\n【不相容項目】\nFamily: LXB → LXAZ\nSize: 20 → 16"
                                       "\n\n【其他差異】\n導程：5 → 10 mm（速度與誤差閾值換算基準不同）\n\n檔案型號：LXB";
}

void ParamFileTest::blockedMessageListsOtherDifferencesAndTheFileModel()
{
    QFETCH(QString, lang);
    QFETCH(QStringList, other);
    QFETCH(QString, model);
    QFETCH(QString, message);
    Compatibility c;
    c.blocking = QStringList{QStringLiteral("Family: LXB → LXAZ"), QStringLiteral("Size: 20 → 16")};
    c.other = other;
    QCOMPARE(ParamFile::blockedMessage(c, model, lang), message);
}

void ParamFileTest::mismatchQuestionInBothLanguages()
{
    Compatibility c;
    c.other = QStringList{QStringLiteral("A"), QStringLiteral("B")};
    QCOMPARE(ParamFile::mismatchQuestion(c, QStringLiteral("en")), QStringLiteral("Spec differs:\n\nA\nB\n\nContinue?"));
    QCOMPARE(ParamFile::mismatchQuestion(c, QStringLiteral("zh")),
             QStringLiteral("檔案與目前機台規格不同：\n\nA\nB\n\n超出範圍的設定將被自動調整。\n確定要繼續匯入嗎？"));
}

void ParamFileTest::decimalValues_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Loaded::Outcome>("outcome");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("clampLine");
    using O = Loaded::Outcome;
    QTest::newRow("in range") << QByteArray(R"({"pos0Pos": 42.5})") << O::Applied << 42.5 << "";
    QTest::newRow("at the maximum") << QByteArray(R"({"pos0Pos": 100})") << O::Applied << 100.0 << "";
    QTest::newRow("above") << QByteArray(R"({"pos0Pos": 120})") << O::Applied << 100.0 << "pos0Pos (120.00→100.00)";
    QTest::newRow("below") << QByteArray(R"({"pos0Pos": -3.456})") << O::Applied << 0.0 << "pos0Pos (-3.46→0.00)";
    QTest::newRow("missing") << QByteArray(R"({"pos1Pos": 1})") << O::Missing << 0.0 << "";
    QTest::newRow("text") << QByteArray(R"({"pos0Pos": "12"})") << O::TypeError << 0.0 << "";
    QTest::newRow("null") << QByteArray(R"({"pos0Pos": null})") << O::TypeError << 0.0 << "";
    QTest::newRow("boolean") << QByteArray(R"({"pos0Pos": true})") << O::TypeError << 0.0 << "";
    QTest::newRow("array") << QByteArray(R"({"pos0Pos": [1]})") << O::TypeError << 0.0 << "";
}

void ParamFileTest::decimalValues()
{
    QFETCH(QByteArray, file);
    QFETCH(Loaded::Outcome, outcome);
    QFETCH(double, value);
    QFETCH(QString, clampLine);
    const Loaded loaded =
        ParamFile::loadDecimal(QJsonDocument::fromJson(file).object(), QStringLiteral("pos0Pos"), 0.0, 100.0);
    QCOMPARE(loaded.outcome, outcome);
    if (outcome == Loaded::Outcome::Applied)
        QCOMPARE(loaded.value, value);
    QCOMPARE(loaded.clampLine, clampLine);
}

void ParamFileTest::integerValues_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Loaded::Outcome>("outcome");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("clampLine");
    using O = Loaded::Outcome;
    QTest::newRow("in range") << QByteArray(R"({"pos0Accel": 200})") << O::Applied << 200.0 << "";
    QTest::newRow("below") << QByteArray(R"({"pos0Accel": 20})") << O::Applied << 50.0 << "pos0Accel (20→50)";
    QTest::newRow("above") << QByteArray(R"({"pos0Accel": 5000})") << O::Applied << 1000.0
                           << "pos0Accel (5000→1000)";
    // A fraction is rounded, not dropped to 0 and then raised to the minimum.
    QTest::newRow("fraction rounds down") << QByteArray(R"({"pos0Accel": 200.4})") << O::Applied << 200.0
                                          << "pos0Accel (200.4→200)";
    QTest::newRow("fraction rounds up") << QByteArray(R"({"pos0Accel": 249.5})") << O::Applied << 250.0
                                        << "pos0Accel (249.5→250)";
    QTest::newRow("fraction below the range") << QByteArray(R"({"pos0Accel": 20.7})") << O::Applied << 50.0
                                              << "pos0Accel (20.7→50)";
    QTest::newRow("huge") << QByteArray(R"({"pos0Accel": 1e300})") << O::Applied << 1000.0
                          << "pos0Accel (1e+300→1000)";
    QTest::newRow("huge negative") << QByteArray(R"({"pos0Accel": -1e300})") << O::Applied << 50.0
                                   << "pos0Accel (-1e+300→50)";
    QTest::newRow("missing") << QByteArray(R"({})") << O::Missing << 0.0 << "";
    QTest::newRow("text") << QByteArray(R"({"pos0Accel": "fast"})") << O::TypeError << 0.0 << "";
    QTest::newRow("boolean") << QByteArray(R"({"pos0Accel": false})") << O::TypeError << 0.0 << "";
}

void ParamFileTest::integerValues()
{
    QFETCH(QByteArray, file);
    QFETCH(Loaded::Outcome, outcome);
    QFETCH(double, value);
    QFETCH(QString, clampLine);
    const Loaded loaded =
        ParamFile::loadInteger(QJsonDocument::fromJson(file).object(), QStringLiteral("pos0Accel"), 50, 1000);
    QCOMPARE(loaded.outcome, outcome);
    if (outcome == Loaded::Outcome::Applied)
        QCOMPARE(loaded.value, value);
    QCOMPARE(loaded.clampLine, clampLine);
}

void ParamFileTest::booleanValues_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Loaded::Outcome>("outcome");
    QTest::addColumn<double>("value");
    using O = Loaded::Outcome;
    QTest::newRow("true") << QByteArray(R"({"pos0PushEnable": true})") << O::Applied << 1.0;
    QTest::newRow("false") << QByteArray(R"({"pos0PushEnable": false})") << O::Applied << 0.0;
    QTest::newRow("number") << QByteArray(R"({"pos0PushEnable": 1})") << O::TypeError << 0.0;
    QTest::newRow("text") << QByteArray(R"({"pos0PushEnable": "true"})") << O::TypeError << 0.0;
    QTest::newRow("missing") << QByteArray(R"({})") << O::Missing << 0.0;
}

void ParamFileTest::booleanValues()
{
    QFETCH(QByteArray, file);
    QFETCH(Loaded::Outcome, outcome);
    QFETCH(double, value);
    const Loaded loaded = ParamFile::loadBoolean(QJsonDocument::fromJson(file).object(), QStringLiteral("pos0PushEnable"));
    QCOMPARE(loaded.outcome, outcome);
    QCOMPARE(loaded.value, value);
}

void ParamFileTest::savedFileHoldsTheWholeText()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("p.json"));
    const QByteArray text = ParamFile::toFileText(sampleContent());
    QVERIFY(ParamFile::saveFile(path, "old"));
    QVERIFY(ParamFile::saveFile(path, text));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), text);
}

void ParamFileTest::failedSaveKeepsTheOldFile()
{
#ifndef Q_OS_UNIX
    QSKIP("needs a file size limit to make the write fail");
#else
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("p.json"));
    const QByteArray old = QByteArray("{\"old\": true}\n").repeated(30);
    QVERIFY(ParamFile::saveFile(path, old));

    // A disk that fills up after 100 bytes, even for root: the write comes
    // up short, and a buffered save would still rename the stub into place.
    rlimit saved{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 100;
    if (setrlimit(RLIMIT_FSIZE, &small) != 0)
        QSKIP("the file size limit cannot be lowered here");
    QString error;
    const bool ok = ParamFile::saveFile(path, ParamFile::toFileText(sampleContent()), &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!ok);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("p.json")});
    QVERIFY(!ParamFile::saveFile(dir.filePath(QStringLiteral("missing/p.json")), old, &error));
    QVERIFY(!error.isEmpty());
#endif
}

void ParamFileTest::importWarningHasOnlyTheSectionsThatApply_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QStringList>("typeErrors");
    QTest::addColumn<QStringList>("clamped");
    QTest::addColumn<QString>("text");
    const QStringList types{QStringLiteral("pos0Accel"), QStringLiteral("dynErr")};
    const QStringList clamps{QStringLiteral("pos0Pos (120.00→100.00)"), QStringLiteral("pos1Accel (20→50)")};
    QTest::newRow("nothing") << "en" << QStringList() << QStringList() << "";
    QTest::newRow("types, en") << "en" << types << QStringList() << "Invalid type, skipped:\npos0Accel, dynErr\n\n";
    QTest::newRow("clamps, en") << "en" << QStringList() << clamps
                                << "Out of range, clamped:\npos0Pos (120.00→100.00)\npos1Accel (20→50)";
    QTest::newRow("both, zh") << "zh" << types << clamps
                              << "以下欄位型別錯誤，已略過：\npos0Accel, dynErr\n\n"
                                 "以下欄位超出範圍，已自動調整：\npos0Pos (120.00→100.00)\npos1Accel (20→50)";
}

void ParamFileTest::importWarningHasOnlyTheSectionsThatApply()
{
    QFETCH(QString, lang);
    QFETCH(QStringList, typeErrors);
    QFETCH(QStringList, clamped);
    QFETCH(QString, text);
    QCOMPARE(ParamFile::importWarning(typeErrors, clamped, lang), text);
}

void ParamFileTest::positionOrderAndImportedMessages()
{
    QCOMPARE(ParamFile::positionOrderWarning(80, 40, QStringLiteral("en")),
             QStringLiteral("Position 1 (80.00 mm) >= Position 2 (40.00 mm) in file.\n"
                            "This cannot be written; please correct before writing."));
    QCOMPARE(ParamFile::positionOrderWarning(12.346, 12.346, QStringLiteral("zh")),
             QStringLiteral("檔案中的位置 1（12.35 mm）大於或等於位置 2（12.35 mm）。\n此設定無法寫入設備，請修正後再寫入。"));
    QCOMPARE(ParamFile::importedMessage(QStringLiteral("LXAZ-16L10-100-BC"), QString(), QStringLiteral("en")),
             QStringLiteral("Imported (not yet written to device).\n\nFrom: LXAZ-16L10-100-BC\nExported: —"));
    QCOMPARE(ParamFile::importedMessage(QString(), QStringLiteral("2024-03-05 08:09:10"), QStringLiteral("zh")),
             QStringLiteral("參數已匯入（尚未寫入設備，請確認後逐項寫入）。\n\n檔案來源：—\n匯出時間：2024-03-05 08:09:10"));
}

QTEST_GUILESS_MAIN(ParamFileTest)

#include "tst_paramfile.moc"
