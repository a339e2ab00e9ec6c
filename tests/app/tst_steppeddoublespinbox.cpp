#include "steppeddoublespinbox.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

namespace {

// The nudge step sizes of the monitor tab.
const QVector<double> nudgeSteps = {0.01, 0.05, 0.1, 0.5, 1.0, 5.0};

void setUpNudgeBox(SteppedDoubleSpinBox &box)
{
    box.setDecimals(2);
    box.setSuffix(QStringLiteral(" mm"));
    box.setStepList(nudgeSteps);
}

}  // namespace

class SteppedDoubleSpinBoxTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stepListBecomesTheRange();
    void unsortedStepListIsUsedInAscendingOrder();
    void emptyStepListLeavesTheRangeAlone();

    void arrowsMoveToTheNeighbouringListEntry_data();
    void arrowsMoveToTheNeighbouringListEntry();
    void withoutAListArrowsUseTheSingleStep();

    void anyNumberIsAcceptedWhileTyping_data();
    void anyNumberIsAcceptedWhileTyping();
    void withoutAListTypingIsValidatedLikeAPlainBox();

    void fixupSnapsANumberToTheNearestEntry_data();
    void fixupSnapsANumberToTheNearestEntry();

    void typedValueIsKeptUnsnapped();
    void typedValueIsHeldToTheRangeAndTheShownDecimals_data();
    void typedValueIsHeldToTheRangeAndTheShownDecimals();
};

void SteppedDoubleSpinBoxTest::stepListBecomesTheRange()
{
    SteppedDoubleSpinBox box;
    setUpNudgeBox(box);
    QCOMPARE(box.minimum(), 0.01);
    QCOMPARE(box.maximum(), 5.0);
}

void SteppedDoubleSpinBoxTest::unsortedStepListIsUsedInAscendingOrder()
{
    SteppedDoubleSpinBox box;
    box.setDecimals(2);
    box.setStepList({1.0, 0.01, 5.0, 0.1});
    QCOMPARE(box.minimum(), 0.01);
    QCOMPARE(box.maximum(), 5.0);

    box.setValue(0.1);
    box.stepBy(1);
    QCOMPARE(box.value(), 1.0);
}

void SteppedDoubleSpinBoxTest::emptyStepListLeavesTheRangeAlone()
{
    SteppedDoubleSpinBox box;
    box.setRange(1, 15);
    box.setStepList({});
    QCOMPARE(box.minimum(), 1.0);
    QCOMPARE(box.maximum(), 15.0);
}

void SteppedDoubleSpinBoxTest::arrowsMoveToTheNeighbouringListEntry_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<int>("steps");
    QTest::addColumn<double>("expected");

    QTest::newRow("between entries, up from the nearest") << 0.07 << 1 << 0.1;
    QTest::newRow("between entries, down from the nearest") << 0.07 << -1 << 0.01;
    QTest::newRow("on an entry, up") << 0.5 << 1 << 1.0;
    QTest::newRow("on an entry, down") << 0.5 << -1 << 0.1;
    QTest::newRow("many steps stop at the last entry") << 1.0 << 10 << 5.0;
    QTest::newRow("down from the first entry stays") << 0.01 << -1 << 0.01;
    QTest::newRow("many steps down stop at the first entry") << 1.0 << -10 << 0.01;
    QTest::newRow("equal distances: the lower entry wins, up") << 0.75 << 1 << 1.0;
    QTest::newRow("equal distances: the lower entry wins, down") << 0.75 << -1 << 0.1;
    QTest::newRow("zero steps snap to the nearest") << 3.2 << 0 << 5.0;
}

void SteppedDoubleSpinBoxTest::arrowsMoveToTheNeighbouringListEntry()
{
    QFETCH(double, start);
    QFETCH(int, steps);
    QFETCH(double, expected);

    SteppedDoubleSpinBox box;
    setUpNudgeBox(box);
    box.setValue(start);
    QCOMPARE(box.value(), start);

    box.stepBy(steps);
    QCOMPARE(box.value(), expected);
}

void SteppedDoubleSpinBoxTest::withoutAListArrowsUseTheSingleStep()
{
    SteppedDoubleSpinBox box;
    box.setDecimals(0);
    box.setRange(1, 15);
    box.setSingleStep(1);
    box.setValue(5);

    box.stepBy(1);
    QCOMPARE(box.value(), 6.0);
    box.stepBy(-3);
    QCOMPARE(box.value(), 3.0);
}

void SteppedDoubleSpinBoxTest::anyNumberIsAcceptedWhileTyping_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");

    QTest::newRow("number with suffix") << "0.3 mm" << int(QValidator::Acceptable);
    QTest::newRow("bare number") << "0.3" << int(QValidator::Acceptable);
    QTest::newRow("number beyond the range") << "7 mm" << int(QValidator::Acceptable);
    QTest::newRow("more decimals than shown") << "0.333 mm" << int(QValidator::Acceptable);
    QTest::newRow("blank around the number") << "  1.0   mm" << int(QValidator::Acceptable);
    QTest::newRow("suffix alone") << " mm" << int(QValidator::Intermediate);
    QTest::newRow("empty") << "" << int(QValidator::Intermediate);
    QTest::newRow("minus sign alone") << "-" << int(QValidator::Intermediate);
    QTest::newRow("letters") << "abc mm" << int(QValidator::Intermediate);
}

void SteppedDoubleSpinBoxTest::anyNumberIsAcceptedWhileTyping()
{
    QFETCH(QString, text);
    QFETCH(int, expected);

    SteppedDoubleSpinBox box;
    setUpNudgeBox(box);
    int pos = text.size();
    const QString before = text;
    QCOMPARE(int(box.validate(text, pos)), expected);
    QCOMPARE(text, before);
}

void SteppedDoubleSpinBoxTest::withoutAListTypingIsValidatedLikeAPlainBox()
{
    SteppedDoubleSpinBox box;
    QDoubleSpinBox plain;
    for (QDoubleSpinBox *b : {static_cast<QDoubleSpinBox *>(&box), &plain}) {
        b->setRange(1, 15);
        b->setDecimals(0);
        b->setSuffix(QStringLiteral(" mm/s"));
    }
    for (QString text : {QStringLiteral("abc"), QStringLiteral("99 mm/s"), QStringLiteral("7 mm/s")}) {
        QString copy = text;
        int pos = text.size();
        int plainPos = text.size();
        QCOMPARE(box.validate(text, pos), plain.validate(copy, plainPos));
    }
}

void SteppedDoubleSpinBoxTest::fixupSnapsANumberToTheNearestEntry_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one decimal below 1") << "0.4 mm" << "0.5 mm";
    QTest::newRow("bare number gets the suffix") << "0.4" << "0.5 mm";
    QTest::newRow("two decimals below 0.1") << "0.06 mm" << "0.05 mm";
    QTest::newRow("0.1 itself shows one decimal") << "0.2 mm" << "0.1 mm";
    QTest::newRow("no decimals from 1 up") << "1.2 mm" << "1 mm";
    QTest::newRow("equal distances: the lower entry") << "3 mm" << "1 mm";
    QTest::newRow("far above the list") << "80 mm" << "5 mm";
    QTest::newRow("below the list") << "-2 mm" << "0.01 mm";
    QTest::newRow("not a number is left alone") << "abc mm" << "abc mm";
    QTest::newRow("empty is left alone") << "" << "";
}

void SteppedDoubleSpinBoxTest::fixupSnapsANumberToTheNearestEntry()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);

    SteppedDoubleSpinBox box;
    setUpNudgeBox(box);
    box.fixup(text);
    QCOMPARE(text, expected);
}

void SteppedDoubleSpinBoxTest::typedValueIsKeptUnsnapped()
{
    SteppedDoubleSpinBox box;
    setUpNudgeBox(box);
    box.setValue(0.1);
    box.show();
    QSignalSpy changed(&box, qOverload<double>(&QDoubleSpinBox::valueChanged));

    box.findChild<QLineEdit *>()->selectAll();
    QTest::keyClicks(&box, QStringLiteral("0.3"));
    QTest::keyClick(&box, Qt::Key_Return);

    QCOMPARE(box.value(), 0.3);
    QVERIFY(!changed.isEmpty());
    QCOMPARE(changed.last().at(0).toDouble(), 0.3);
}

void SteppedDoubleSpinBoxTest::typedValueIsHeldToTheRangeAndTheShownDecimals_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("expected");

    QTest::newRow("above the range") << "7" << 5.0;
    QTest::newRow("below the range") << "0.001" << 0.01;
    QTest::newRow("more decimals than shown") << "0.333" << 0.33;
}

void SteppedDoubleSpinBoxTest::typedValueIsHeldToTheRangeAndTheShownDecimals()
{
    QFETCH(QString, typed);
    QFETCH(double, expected);

    SteppedDoubleSpinBox box;
    setUpNudgeBox(box);
    box.setValue(0.5);
    box.show();

    box.findChild<QLineEdit *>()->selectAll();
    QTest::keyClicks(&box, typed);
    QTest::keyClick(&box, Qt::Key_Return);

    QCOMPARE(box.value(), expected);
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SteppedDoubleSpinBoxTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_steppeddoublespinbox.moc"
