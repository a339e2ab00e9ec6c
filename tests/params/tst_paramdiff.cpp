// Whether a value differs from the drive's, judged as a write would send it.

#include "paramdiff.h"

#include <QJsonDocument>
#include <QtTest>

namespace {

// What an export of a lead-5 drive records: the boxes' rounding applied.
ParamFile::Content driveAtLead5()
{
    ParamFile::Content c;
    c.identity.lead = 5.0;
    c.integers = {{"pos0Accel", 200}, {"pos0Decel", 300},   {"pos1Accel", 200},      {"pos1Decel", 200},
                  {"homeTorque", 50}, {"pos0PushTorque", 40}, {"pos1PushTorque", 40}, {"smoothMs", 40},
                  {"idleCurrent", 50}, {"runCurrent", 60}};
    c.decimals = {{"pos0Speed", 10.0},   {"pos0Pos", 12.35},     {"pos1Speed", 20.0}, {"pos1Pos", 100.0},
                  {"softLimitCCW", 0.0}, {"softLimitCW", 150.0}, {"dynErr", 0.63},    {"staErr", 0.5}};
    c.pos0PushEnable = true;
    c.pos1PushEnable = false;
    return c;
}

QJsonObject fileOf(const ParamFile::Content &content)
{
    return ParamFile::toJson(content);
}

QStringList keysOf(const QVector<ParamDiff::Difference> &differences)
{
    QStringList keys;
    for (const ParamDiff::Difference &d : differences)
        keys << d.key;
    return keys;
}

}  // namespace

class ParamDiffTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decimalsAreTheSameWhenAWriteSendsTheSameWord_data();
    void decimalsAreTheSameWhenAWriteSendsTheSameWord();
    void integersAreTheSameWhenAWriteSendsTheSameWord_data();
    void integersAreTheSameWhenAWriteSendsTheSameWord();
    void shownValuesStayInTheBoxRange();

    void anExportedFileDoesNotDiffer();
    void changedValuesAreListedWithBothValuesAndUnits();
    void fileValuesBelowTheWriteResolutionAreEqual();
    void missingKeysAreSkippedAndWrongTypesReported();
};

void ParamDiffTest::decimalsAreTheSameWhenAWriteSendsTheSameWord_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<double>("a");
    QTest::addColumn<double>("b");
    QTest::addColumn<double>("lead");
    QTest::addColumn<bool>("same");

    QTest::newRow("speeds within one 0.01 rpm") << "pos0Speed" << 10.0 << 10.0004 << 5.0 << true;
    QTest::newRow("speeds 0.01 rpm apart") << "pos0Speed" << 10.0 << 10.001 << 5.0 << false;
    QTest::newRow("positions on one micrometre") << "pos1Pos" << 12.3454 << 12.3446 << 5.0 << true;
    QTest::newRow("positions a micrometre apart") << "pos1Pos" << 12.345 << 12.346 << 5.0 << false;
    QTest::newRow("soft limits below zero") << "softLimitCCW" << -1.5 << -1.5004 << 5.0 << true;
    QTest::newRow("thresholds inside one encoder step") << "dynErr" << 0.61 << 0.62 << 5.0 << true;
    QTest::newRow("thresholds a step apart") << "staErr" << 0.62 << 0.63 << 5.0 << false;
    QTest::newRow("no lead: speeds as numbers") << "pos0Speed" << 10.0 << 10.0 << 0.0 << true;
    QTest::newRow("no lead: different speeds") << "pos0Speed" << 10.0 << 10.0004 << 0.0 << false;
}

void ParamDiffTest::decimalsAreTheSameWhenAWriteSendsTheSameWord()
{
    QFETCH(QString, key);
    QFETCH(double, a);
    QFETCH(double, b);
    QFETCH(double, lead);
    QFETCH(bool, same);

    QCOMPARE(ParamDiff::sameDecimal(key, a, b, lead), same);
    QCOMPARE(ParamDiff::sameDecimal(key, b, a, lead), same);
}

void ParamDiffTest::integersAreTheSameWhenAWriteSendsTheSameWord_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<bool>("same");

    QTest::newRow("times") << "pos0Accel" << 300 << 301 << false;
    // 1000 / 100 and 1000 / 101 both give the filter constant 10.
    QTest::newRow("smoothing times of one constant") << "smoothMs" << 100 << 101 << true;
    QTest::newRow("smoothing times of two constants") << "smoothMs" << 40 << 41 << false;
    QTest::newRow("torques") << "homeTorque" << 50 << 51 << false;
}

void ParamDiffTest::integersAreTheSameWhenAWriteSendsTheSameWord()
{
    QFETCH(QString, key);
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(bool, same);

    QCOMPARE(ParamDiff::sameInteger(key, a, b), same);
}

void ParamDiffTest::shownValuesStayInTheBoxRange()
{
    // A position beyond the box's range is shown at its end, as the box holds it.
    QCOMPARE(ParamDiff::shownDecimal(QStringLiteral("pos1Pos"), 400000, 5.0, 2, 0.0, 300.0), 300.0);
    QCOMPARE(ParamDiff::shownInteger(QStringLiteral("pos0Accel"), 5, 10, 3000), 10);
    QCOMPARE(ParamDiff::shownInteger(QStringLiteral("homeTorque"), 0x55, 20, 90), 50);
}

void ParamDiffTest::anExportedFileDoesNotDiffer()
{
    const ParamFile::Content drive = driveAtLead5();
    QStringList unreadable;

    QVERIFY(ParamDiff::compareFile(fileOf(drive), drive, 5.0, &unreadable).isEmpty());
    QVERIFY(unreadable.isEmpty());
}

void ParamDiffTest::changedValuesAreListedWithBothValuesAndUnits()
{
    const ParamFile::Content drive = driveAtLead5();
    QJsonObject file = fileOf(drive);
    file.insert(QStringLiteral("pos0Speed"), 12.5);
    file.insert(QStringLiteral("homeTorque"), 60);
    file.insert(QStringLiteral("runCurrent"), 70);
    file.insert(QStringLiteral("pos1PushEnable"), true);

    const QVector<ParamDiff::Difference> differences = ParamDiff::compareFile(file, drive, 5.0);

    // In the order an import applies them, the push switches last.
    QCOMPARE(keysOf(differences), QStringList({"pos0Speed", "homeTorque", "runCurrent", "pos1PushEnable"}));
    QCOMPARE(differences[0].fileValue, QStringLiteral("12.5"));
    QCOMPARE(differences[0].driveValue, QStringLiteral("10.00"));
    QCOMPARE(differences[0].unit, QStringLiteral("mm/s"));
    QCOMPARE(differences[1].fileValue, QStringLiteral("60"));
    QCOMPARE(differences[1].driveValue, QStringLiteral("50"));
    QCOMPARE(differences[1].unit, QStringLiteral("%"));
    QCOMPARE(differences[3].fileValue, QStringLiteral("on"));
    QCOMPARE(differences[3].driveValue, QStringLiteral("off"));
    QVERIFY(differences[3].unit.isEmpty());
}

void ParamDiffTest::fileValuesBelowTheWriteResolutionAreEqual()
{
    const ParamFile::Content drive = driveAtLead5();
    QJsonObject file = fileOf(drive);
    file.insert(QStringLiteral("pos0Pos"), 12.3504);   // the box shows 12.35
    file.insert(QStringLiteral("dynErr"), 0.626);      // 0.63, the same 26 steps
    file.insert(QStringLiteral("pos0Accel"), 200.4);   // an import rounds it to 200
    file.insert(QStringLiteral("homeTorque"), 95);     // held to 90 by the box...
    ParamFile::Content atLimit = drive;
    atLimit.integers.insert(QStringLiteral("homeTorque"), 90);  // ...which the drive holds

    QVERIFY(ParamDiff::compareFile(file, atLimit, 5.0).isEmpty());
}

void ParamDiffTest::missingKeysAreSkippedAndWrongTypesReported()
{
    const ParamFile::Content drive = driveAtLead5();
    QJsonObject file = fileOf(drive);
    file.remove(QStringLiteral("pos1Speed"));
    file.insert(QStringLiteral("staErr"), QStringLiteral("0.5"));
    file.insert(QStringLiteral("pos0PushEnable"), 1);
    QStringList unreadable;

    QVERIFY(ParamDiff::compareFile(file, drive, 5.0, &unreadable).isEmpty());
    QCOMPARE(unreadable, QStringList({"staErr", "pos0PushEnable"}));
}

QTEST_APPLESS_MAIN(ParamDiffTest)

#include "tst_paramdiff.moc"
