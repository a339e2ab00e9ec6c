#include "actuatorcatalogue.h"

#include <QtTest>

using namespace ActuatorCatalogue;

class TestCatalogue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void modelCodeFromIdentification_data();
    void modelCodeFromIdentification();
    void modelCodeNeedsEnoughWords_data();
    void modelCodeNeedsEnoughWords();
    void strokeRangeAcceptsOnlyWholeSteps_data();
    void strokeRangeAcceptsOnlyWholeSteps();
    void leadFromRawRegister_data();
    void leadFromRawRegister();
    void leadTextPadsWholeLeadsAndKeepsFractions_data();
    void leadTextPadsWholeLeadsAndKeepsFractions();
    void leadsCompareWithinRelativeTolerance();
    void familiesKeepTheirOrderAndCodes();
    void everyFamilySizeHasItsSpec_data();
    void everyFamilySizeHasItsSpec();
    void unknownFamilyOrSizeFindsNothing();
    void strokeChoicesExpandRanges();
    void malformedRangeAllowsNoStroke();
    void registerTextSkipsZeroBytes_data();
    void registerTextSkipsZeroBytes();
    void logicVersionText_data();
    void logicVersionText();
    void stationTexts_data();
    void stationTexts();
};

using Words = QVector<quint16>;

void TestCatalogue::modelCodeFromIdentification_data()
{
    QTest::addColumn<Words>("ident");
    QTest::addColumn<quint16>("option");
    QTest::addColumn<QString>("model");

    // ident: family code, size, raw lead, stroke
    QTest::newRow("LXAZ lead and option in model") << Words{0, 16, 1, 50} << quint16(0) << "LXAZ-16L01-50-BC";
    QTest::newRow("LXC2Z lead without option") << Words{2, 25, 8, 75} << quint16(1) << "LXC2Z-25L08-75";
    QTest::newRow("LXFZ neither lead nor option") << Words{5, 32, 15, 20} << quint16(1) << "LXFZ-32-20";
    QTest::newRow("LXGZ lead in tenths") << Words{6, 40, 200, 350} << quint16(0) << "LXGZ-40L20-350-BC";
    QTest::newRow("LXGZ lead 10 from raw 100") << Words{6, 63, 100, 1000} << quint16(1) << "LXGZ-63L10-1000-BA";
    QTest::newRow("LXAZ option BA") << Words{0, 20, 2, 100} << quint16(1) << "LXAZ-20L02-100-BA";
    QTest::newRow("family 7 unknown") << Words{7, 16, 1, 50} << quint16(0) << "";
    QTest::newRow("size not in family") << Words{0, 25, 1, 50} << quint16(0) << "";
    QTest::newRow("lead not allowed") << Words{0, 16, 2, 50} << quint16(0) << "";
    QTest::newRow("stroke 60 not listed") << Words{0, 16, 1, 60} << quint16(0) << "";
    QTest::newRow("option word 2") << Words{0, 16, 1, 50} << quint16(2) << "";
    QTest::newRow("option not offered by spec") << Words{1, 16, 1, 50} << quint16(1) << "";
    QTest::newRow("option checked even when not in model") << Words{2, 25, 8, 75} << quint16(0) << "";
    QTest::newRow("raw lead 10 is 1 mm, not 10") << Words{6, 40, 10, 350} << quint16(0) << "";
}

void TestCatalogue::modelCodeFromIdentification()
{
    QFETCH(Words, ident);
    QFETCH(quint16, option);
    QFETCH(QString, model);
    QCOMPARE(buildModelCode(ident, {option}), model);
}

void TestCatalogue::modelCodeNeedsEnoughWords_data()
{
    QTest::addColumn<Words>("ident");
    QTest::addColumn<Words>("options");

    QTest::newRow("three ident words") << Words{0, 16, 1} << Words{0};
    QTest::newRow("no option word") << Words{0, 16, 1, 50} << Words{};
    QTest::newRow("nothing") << Words{} << Words{};
}

void TestCatalogue::modelCodeNeedsEnoughWords()
{
    QFETCH(Words, ident);
    QFETCH(Words, options);
    QVERIFY(buildModelCode(ident, options).isEmpty());
}

void TestCatalogue::strokeRangeAcceptsOnlyWholeSteps_data()
{
    QTest::addColumn<quint16>("stroke");
    QTest::addColumn<bool>("recognised");

    QTest::newRow("375 between steps") << quint16(375) << false;
    QTest::newRow("600 the maximum") << quint16(600) << true;
    QTest::newRow("650 past the maximum") << quint16(650) << false;
    QTest::newRow("100 the minimum") << quint16(100) << true;
    QTest::newRow("50 below the minimum") << quint16(50) << false;
}

void TestCatalogue::strokeRangeAcceptsOnlyWholeSteps()
{
    QFETCH(quint16, stroke);
    QFETCH(bool, recognised);
    QCOMPARE(!buildModelCode({6, 40, 50, stroke}, {0}).isEmpty(), recognised);
}

void TestCatalogue::leadFromRawRegister_data()
{
    QTest::addColumn<quint16>("raw");
    QTest::addColumn<double>("lead");

    QTest::newRow("9 is millimetres") << quint16(9) << 9.0;
    QTest::newRow("10 is tenths") << quint16(10) << 1.0;
    QTest::newRow("15 is tenths") << quint16(15) << 1.5;
    QTest::newRow("1 is millimetres") << quint16(1) << 1.0;
    QTest::newRow("200 is 20 mm") << quint16(200) << 20.0;
}

void TestCatalogue::leadFromRawRegister()
{
    QFETCH(quint16, raw);
    QFETCH(double, lead);
    QCOMPARE(leadFromRaw(raw), lead);
}

void TestCatalogue::leadTextPadsWholeLeadsAndKeepsFractions_data()
{
    QTest::addColumn<double>("lead");
    QTest::addColumn<QString>("text");

    QTest::newRow("1") << 1.0 << "01";
    QTest::newRow("10") << 10.0 << "10";
    QTest::newRow("20") << 20.0 << "20";
    QTest::newRow("2.5") << 2.5 << "2.5";
    QTest::newRow("1.5") << 1.5 << "1.5";
    QTest::newRow("three significant digits") << 1.234 << "1.23";
}

void TestCatalogue::leadTextPadsWholeLeadsAndKeepsFractions()
{
    QFETCH(double, lead);
    QFETCH(QString, text);
    QCOMPARE(leadText(lead), text);
}

void TestCatalogue::leadsCompareWithinRelativeTolerance()
{
    QVERIFY(leadsEqual(1.5, 15 / 10.0));
    QVERIFY(leadsEqual(0.1 + 0.2, 0.3));
    QVERIFY(!leadsEqual(1.5, 1.5001));
    QVERIFY(!leadsEqual(0.0, 1.0));
}

void TestCatalogue::familiesKeepTheirOrderAndCodes()
{
    const QStringList expected{"LXAZ", "LXBZ", "LXC2Z", "LXD2Z", "LXE2Z", "LXFZ", "LXGZ"};
    QCOMPARE(families().size(), expected.size());
    for (int code = 0; code < expected.size(); ++code) {
        QCOMPARE(families().at(code).name, expected.at(code));
        QCOMPARE(families().at(code).code, quint16(code));
        const ActuatorFamily *byCode = findFamilyByCode(quint16(code));
        QVERIFY(byCode);
        QCOMPARE(byCode->name, expected.at(code));
        QCOMPARE(findFamilyByName(expected.at(code)), byCode);
    }
    QVERIFY(!findFamilyByCode(7));
    QVERIFY(!findFamilyByName("LXA"));
    QVERIFY(!findFamilyByName("lxaz"));
}

void TestCatalogue::everyFamilySizeHasItsSpec_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("size");
    QTest::addColumn<QVector<double>>("leads");
    QTest::addColumn<QVector<int>>("strokes");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("ratedCurrent");
    QTest::addColumn<int>("maxJogSpeed");

    using L = QVector<double>;
    using S = QVector<int>;
    const S s30to100{30, 50, 75, 100};
    const QStringList both{"BC", "BA"};
    QTest::newRow("LXAZ 16") << "LXAZ" << 16 << L{1} << s30to100 << both << 100 << 10;
    QTest::newRow("LXAZ 20") << "LXAZ" << 20 << L{2} << s30to100 << both << 200 << 15;
    QTest::newRow("LXBZ 16") << "LXBZ" << 16 << L{1} << S{30, 50, 75} << QStringList{"BC"} << 100 << 10;
    QTest::newRow("LXBZ 20") << "LXBZ" << 20 << L{2} << S{30, 50, 75} << QStringList{"BC"} << 200 << 15;
    QTest::newRow("LXC2Z 16") << "LXC2Z" << 16 << L{2} << s30to100 << QStringList{"BA"} << 100 << 15;
    QTest::newRow("LXC2Z 25") << "LXC2Z" << 25 << L{2, 8} << s30to100 << QStringList{"BA"} << 100 << 15;
    QTest::newRow("LXD2Z 16") << "LXD2Z" << 16 << L{2} << s30to100 << QStringList{"BC"} << 100 << 15;
    QTest::newRow("LXD2Z 25") << "LXD2Z" << 25 << L{2, 8} << s30to100 << QStringList{"BC"} << 100 << 15;
    QTest::newRow("LXE2Z 16") << "LXE2Z" << 16 << L{2} << S{30, 50} << QStringList{"BC"} << 100 << 15;
    QTest::newRow("LXE2Z 25") << "LXE2Z" << 25 << L{2, 8} << S{30, 50} << QStringList{"BC"} << 100 << 15;
    QTest::newRow("LXFZ 32") << "LXFZ" << 32 << L{1.5} << S{20} << QStringList{"BA"} << 180 << 10;
    QTest::newRow("LXFZ 50") << "LXFZ" << 50 << L{1.5} << S{30} << QStringList{"BA"} << 200 << 10;
    QTest::newRow("LXFZ 63") << "LXFZ" << 63 << L{2} << S{30} << QStringList{"BA"} << 400 << 15;
    QTest::newRow("LXFZ 80") << "LXFZ" << 80 << L{2} << S{40} << QStringList{"BA"} << 500 << 15;
    QTest::newRow("LXGZ 32") << "LXGZ" << 32 << L{1, 2} << S{100, 150, 200, 250, 300, 350, 400} << both << 200 << 50;
    QTest::newRow("LXGZ 40") << "LXGZ" << 40 << L{5, 10, 20} << S{100, 150, 200, 250, 300, 350, 400, 450, 500, 550, 600}
                             << both << 200 << 50;
    QTest::newRow("LXGZ 50") << "LXGZ" << 50 << L{5, 10, 20}
                             << S{100, 150, 200, 250, 300, 350, 400, 450, 500, 550, 600, 650, 700, 750, 800} << both
                             << 400 << 50;
    S to1000;
    for (int s = 100; s <= 1000; s += 50)
        to1000.append(s);
    QTest::newRow("LXGZ 63") << "LXGZ" << 63 << L{5, 10, 20} << to1000 << both << 400 << 50;
}

void TestCatalogue::everyFamilySizeHasItsSpec()
{
    QFETCH(QString, family);
    QFETCH(int, size);
    QFETCH(QVector<double>, leads);
    QFETCH(QVector<int>, strokes);
    QFETCH(QStringList, options);
    QFETCH(int, ratedCurrent);
    QFETCH(int, maxJogSpeed);

    const ActuatorSpec *spec = findSpec(family, size);
    QVERIFY(spec);
    QCOMPARE(spec->size, size);
    QCOMPARE(spec->leads, leads);
    QCOMPARE(spec->strokeChoices(), strokes);
    QCOMPARE(spec->options, options);
    QCOMPARE(spec->ratedCurrent, ratedCurrent);
    QCOMPARE(spec->maxJogSpeed, maxJogSpeed);
    QCOMPARE(spec->strokeIsRange, family == "LXGZ");
}

void TestCatalogue::unknownFamilyOrSizeFindsNothing()
{
    QVERIFY(!findSpec("LXAZ", 25));
    QVERIFY(!findSpec("LXQZ", 16));
    QVERIFY(!findSpec(QString(), 16));
}

void TestCatalogue::strokeChoicesExpandRanges()
{
    const ActuatorSpec *spec = findSpec("LXGZ", 40);
    QVERIFY(spec);
    QCOMPARE(spec->strokeMin, 100);
    QCOMPARE(spec->strokeMax, 600);
    QCOMPARE(spec->strokeStep, 50);
    QVERIFY(spec->allowsStroke(350));
    QVERIFY(!spec->allowsStroke(375));
    QVERIFY(spec->strokes.isEmpty());
}

void TestCatalogue::malformedRangeAllowsNoStroke()
{
    ActuatorSpec spec;
    spec.strokeIsRange = true;
    spec.strokeMin = 100;
    spec.strokeMax = 400;
    spec.strokeStep = 0;
    QVERIFY(!spec.allowsStroke(100));
    QVERIFY(spec.strokeChoices().isEmpty());

    spec.strokeStep = 50;
    spec.strokeMin = 500;
    QVERIFY(spec.strokeChoices().isEmpty());
}

void TestCatalogue::registerTextSkipsZeroBytes_data()
{
    QTest::addColumn<Words>("words");
    QTest::addColumn<QString>("text");

    // Each word gives its low byte first: 0x3156 is "V1".
    QTest::newRow("firmware V1.2") << Words{0x3156, 0x322E} << "V1.2";
    QTest::newRow("hardware H2 padded") << Words{0x3248, 0x0000} << "H2";
    QTest::newRow("zero low byte skipped") << Words{0x4100, 0x0042} << "AB";
    QTest::newRow("all zero") << Words{0, 0} << "";
    QTest::newRow("no words") << Words{} << "";
}

void TestCatalogue::registerTextSkipsZeroBytes()
{
    QFETCH(Words, words);
    QFETCH(QString, text);
    QCOMPARE(registerText(words), text);
}

void TestCatalogue::logicVersionText_data()
{
    QTest::addColumn<quint16>("raw");
    QTest::addColumn<QString>("text");

    QTest::newRow("A3") << quint16(0x4103) << "A3";
    QTest::newRow("zero is a dash") << quint16(0) << "—";
    QTest::newRow("high byte not a letter") << quint16(0x0103) << "?";
    QTest::newRow("lower-case letter") << quint16(0x6103) << "?";
    QTest::newRow("Z255") << quint16(0x5AFF) << "Z255";
    QTest::newRow("letter with number 0") << quint16(0x4200) << "B0";
}

void TestCatalogue::logicVersionText()
{
    QFETCH(quint16, raw);
    QFETCH(QString, text);
    QCOMPARE(ActuatorCatalogue::logicVersionText(raw), text);
}

void TestCatalogue::stationTexts_data()
{
    QTest::addColumn<int>("station");
    QTest::addColumn<QString>("scanText");
    QTest::addColumn<QString>("selectedText");

    QTest::newRow("3") << 3 << "0X0003 (3)" << "SELECTED ID: 0X03 (3)";
    QTest::newRow("10") << 10 << "0X000A (10)" << "SELECTED ID: 0X0A (10)";
    QTest::newRow("16") << 16 << "0X0010 (16)" << "SELECTED ID: 0X10 (16)";
}

void TestCatalogue::stationTexts()
{
    QFETCH(int, station);
    QFETCH(QString, scanText);
    QFETCH(QString, selectedText);
    QCOMPARE(scanStationText(station), scanText);
    QCOMPARE(selectedStationText(station), selectedText);
}

QTEST_APPLESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
