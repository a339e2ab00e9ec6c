// Cutting the received byte stream into requests.

#include "crc16.h"
#include "simframer.h"

#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

const QByteArray ReadRequest = hex("010300040002 85CA");  // station 1, 0x0004, 2 words

QByteArray writeMultiple()
{
    return withCrc(hex("011000D800020400007530"));
}

}  // namespace

class TestSimFramer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wholeFrameIsTakenOnce();
    void frameArrivingInPiecesIsAssembled();
    void writeMultipleLengthComesFromItsByteCount();
    void garbageAheadOfAFrameIsSkipped_data();
    void garbageAheadOfAFrameIsSkipped();
    void frameWithBadCrcIsIgnored();
    void backToBackFramesAreTakenInOrder();
    void validFrameBehindUnfinishedGarbageIsNotHeldBack();
};

void TestSimFramer::wholeFrameIsTakenOnce()
{
    SimFramer framer;
    framer.append(ReadRequest);
    QCOMPARE(framer.takeFrame(), ReadRequest);
    QVERIFY(framer.takeFrame().isEmpty());
    QCOMPARE(framer.pendingBytes(), 0);
}

void TestSimFramer::frameArrivingInPiecesIsAssembled()
{
    SimFramer framer;
    framer.append(ReadRequest.left(1));
    QVERIFY(framer.takeFrame().isEmpty());
    framer.append(ReadRequest.mid(1, 4));
    QVERIFY(framer.takeFrame().isEmpty());
    framer.append(ReadRequest.mid(5));
    QCOMPARE(framer.takeFrame(), ReadRequest);
}

void TestSimFramer::writeMultipleLengthComesFromItsByteCount()
{
    const QByteArray frame = writeMultiple();
    QCOMPARE(frame.size(), 13);
    SimFramer framer;
    framer.append(frame.left(12));
    QVERIFY(framer.takeFrame().isEmpty());
    framer.append(frame.mid(12));
    QCOMPARE(framer.takeFrame(), frame);
}

void TestSimFramer::garbageAheadOfAFrameIsSkipped_data()
{
    QTest::addColumn<QByteArray>("garbage");
    QTest::newRow("one stray byte") << hex("FF");
    QTest::newRow("a station byte") << hex("01");
    QTest::newRow("looks like a read") << hex("0503");
    QTest::newRow("looks like a long write") << hex("0110");
    QTest::newRow("a truncated request") << ReadRequest.left(5);
}

void TestSimFramer::garbageAheadOfAFrameIsSkipped()
{
    QFETCH(QByteArray, garbage);
    SimFramer framer;
    framer.append(garbage + ReadRequest);
    QCOMPARE(framer.takeFrame(), ReadRequest);
}

void TestSimFramer::frameWithBadCrcIsIgnored()
{
    QByteArray bad = ReadRequest.left(6);
    bad.append(ReadRequest[7]);
    bad.append(ReadRequest[6]);  // CRC bytes swapped
    SimFramer framer;
    framer.append(bad);
    QVERIFY(framer.takeFrame().isEmpty());
    framer.append(writeMultiple());
    QCOMPARE(framer.takeFrame(), writeMultiple());
}

void TestSimFramer::backToBackFramesAreTakenInOrder()
{
    SimFramer framer;
    framer.append(writeMultiple() + ReadRequest);
    QCOMPARE(framer.takeFrame(), writeMultiple());
    QCOMPARE(framer.takeFrame(), ReadRequest);
}

void TestSimFramer::validFrameBehindUnfinishedGarbageIsNotHeldBack()
{
    SimFramer framer;
    // Claims 255 data bytes that never come.
    framer.append(hex("01100000007FFF"));
    QVERIFY(framer.takeFrame().isEmpty());
    framer.append(ReadRequest);
    QCOMPARE(framer.takeFrame(), ReadRequest);
    QCOMPARE(framer.pendingBytes(), 0);
}

QTEST_GUILESS_MAIN(TestSimFramer)
#include "tst_simframer.moc"
