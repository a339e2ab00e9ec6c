// The parameter model's held and dirty values, and the writer's register
// traffic, on an in-memory drive; numbers worked out by hand.

#include "oddparams.h"
#include "parammodel.h"
#include "paramwriter.h"
#include "registerport.h"
#include "testmain.h"

#include <QSignalSpy>

namespace {

// A drive's registers in memory; every request is logged ("r 0215",
// "w 0215=ab55", "m 0070=c346,0000"), and the addresses in `silent` never answer.
class MemoryPort : public RegisterPort
{
public:
    MemoryPort() : RegisterPort(1) {}
    QMap<quint16, quint16> registers;
    QSet<quint16> silent;
    QStringList log;

    QVector<quint16> read(quint16 address, quint16 count, int) override
    {
        log << QStringLiteral("r %1").arg(address, 4, 16, QLatin1Char('0'));
        if (silent.contains(address))
            return {};
        QVector<quint16> words;
        for (int i = 0; i < count; ++i)
            words << registers.value(quint16(address + i));
        return words;
    }
    bool write(quint16 address, quint16 value) override { return writeMulti(address, {value}, QStringLiteral("w")); }
    bool writeMulti(quint16 address, const QVector<quint16> &words) override
    {
        return writeMulti(address, words, QStringLiteral("m"));
    }

private:
    bool writeMulti(quint16 address, const QVector<quint16> &words, const QString &kind)
    {
        QStringList values;
        for (quint16 word : words)
            values << QStringLiteral("%1").arg(word, 4, 16, QLatin1Char('0'));
        log << QStringLiteral("%1 %2=%3").arg(kind).arg(address, 4, 16, QLatin1Char('0')).arg(values.join(QLatin1Char(',')));
        if (silent.contains(address))
            return false;
        for (int i = 0; i < words.size(); ++i)
            registers[quint16(address + i)] = words[i];
        return true;
    }
};

}  // namespace

Q_DECLARE_METATYPE(ParamWriter::Outcome)

class ParamModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void heldValuesWriteExactlyUntilEdited()
    {
        ParamModel model;
        model.addRow(QStringLiteral("pos0Speed"), true);
        model.addRow(QStringLiteral("pos0PushTorque"), false);
        QSignalSpy dirtyChanges(&model, &ParamModel::dirtyChanged);
        const auto toWrite = [&model](const char *key, double lead) {
            quint32 raw = 0;
            return model.rawToWrite(QLatin1String(key), lead, &raw) ? qint64(raw) : -1;
        };

        // 125001 x 0.01 rpm at lead 2 is 41.667 mm/s, shown as 41.67 (which alone converts to 125010).
        model.hold(QStringLiteral("pos0Speed"), 125001, 2.0, 41.67, false);
        model.setDriveValue(QStringLiteral("pos0Speed"), 125001, 2.0);
        QCOMPARE(toWrite("pos0Speed", 2.0), 125001);
        QVERIFY(!model.isDirty(QStringLiteral("pos0Speed")));
        model.setShown(QStringLiteral("pos0Speed"), 41.68);
        QCOMPARE(toWrite("pos0Speed", 2.0), 125040);
        QVERIFY(model.isDirty(QStringLiteral("pos0Speed")));
        QVERIFY(model.holdsUnwritten(QStringLiteral("pos0Speed")));
        model.setShown(QStringLiteral("pos0Speed"), 41.67);
        QCOMPARE(toWrite("pos0Speed", 2.0), 125001);
        QVERIFY(!model.isDirty(QStringLiteral("pos0Speed")));
        // At another lead the held value no longer stands for the number: 41.67 mm/s at lead 5.
        QCOMPARE(toWrite("pos0Speed", 5.0), 50004);

        // A push torque of 0 lies below its 30..70 % box, which shows 30: the model keeps 0.
        model.hold(QStringLiteral("pos0PushTorque"), 0, 2.0, 30, false);
        model.setDriveValue(QStringLiteral("pos0PushTorque"), 0, 2.0);
        QCOMPARE(toWrite("pos0PushTorque", 2.0), 0);
        QVERIFY(!model.anyDirty());
        model.setShown(QStringLiteral("pos0PushTorque"), 31);  // an edit: 31 x 1.7 = 52.7, code 53
        QCOMPARE(toWrite("pos0PushTorque", 2.0), 53);
        QVERIFY(model.isDirty(QStringLiteral("pos0PushTorque")));

        // A file's value is unwritten even while its number equals the box's, and survives a kept read.
        model.hold(QStringLiteral("pos0Speed"), 150001, 2.0, 50.0, true);
        QVERIFY(model.isDirty(QStringLiteral("pos0Speed")));
        model.setKeepUnwritten(true);
        QVERIFY(!model.replacesShown(QStringLiteral("pos0Speed")));
        model.setKeepUnwritten(false);
        QVERIFY(model.replacesShown(QStringLiteral("pos0Speed")));

        dirtyChanges.clear();
        model.forgetDriveValues();
        QVERIFY(!model.anyDirty());
        QCOMPARE(dirtyChanges.size(), 2);
        QCOMPARE(toWrite("pos0Speed", 2.0), 150000);  // 50 mm/s converted: nothing is held any more
    }

    // Every catalogue lead, every row: a drive's value the boxes cannot show is
    // held exactly behind the box's rounded number, a file's number for it
    // converts back to it, and the writer puts it into the register unchanged.
    void everyLeadKeepsEveryOddValue()
    {
        for (double lead : {1.0, 1.5, 2.0, 5.0, 8.0, 10.0, 20.0}) {
            const int stroke = 100;
            for (const OddRow &row : oddRows()) {
                const QString key = QLatin1String(row.key);
                const bool torque = key.endsWith(QLatin1String("Torque"));
                const quint32 raw = quint32(oddValue(row, stroke)) & (torque ? 0xFFu : 0xFFFFFFFFu);
                const bool decimal = ParamConv::decimalClassOf(key) != ParamConv::DecimalClass::None;
                const int decimals = ParamConv::decimalClassOf(key) == ParamConv::DecimalClass::Position ? 3 : 2;
                const double shown = decimal ? QString::number(ParamConv::decimalFromRaw(key, raw, lead), 'f', decimals).toDouble()
                                             : ParamConv::integerFromRaw(key, raw);
                const QByteArray what = QStringLiteral("%1 at lead %2").arg(key).arg(lead).toLatin1();

                ParamModel model;
                model.addRow(key, decimal);
                model.hold(key, raw, lead, shown, true);
                quint32 sent = 0;
                QVERIFY2(model.rawToWrite(key, lead, &sent) && sent == raw, what.constData());
                quint32 fromFile = 0;
                QVERIFY2(ParamConv::rawFromNumber(key, ParamConv::exactNumber(key, raw, lead), lead, &fromFile)
                             && fromFile == raw,
                         what.constData());
                MemoryPort port;
                port.registers[row.address] = 0x5A00;  // another setting in a torque register's high byte
                QVERIFY2(ParamWriter::writeValue(port, key, sent) == ParamWriter::Outcome::Written, what.constData());
                const quint32 held = row.words == 2 ? port.registers[row.address] | quint32(port.registers[quint16(row.address + 1)]) << 16
                                                    : port.registers[row.address];
                QVERIFY2(held == (torque ? (0x5A00 | raw) : raw), what.constData());
            }
        }
    }

    void writerTraffic_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<quint32>("raw");
        QTest::addColumn<int>("silent");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<ParamWriter::Outcome>("outcome");
        using O = ParamWriter::Outcome;
        // Home torque 50 % is code 85 (0x55); the drive's high byte 0xab stays.
        QTest::newRow("torque keeps the high byte")
            << "homeTorque" << 0x55u << -1 << QStringList{"r 0215", "w 0215=ab55"} << O::Written;
        QTest::newRow("torque not read, not written")
            << "homeTorque" << 0x55u << 0x0215 << QStringList{"r 0215"} << O::CurrentUnreadable;
        QTest::newRow("threshold then its script copy")
            << "dynErr" << 40u << -1 << QStringList{"w 000b=0028", "w 0141=0028"} << O::Written;
        QTest::newRow("script copy unanswered")
            << "dynErr" << 40u << 0x0141 << QStringList{"w 000b=0028", "w 0141=0028"} << O::ScriptCopyFailed;
        // 49.990 mm is 49990 = 0xc346 counts, low word first.
        QTest::newRow("two words then their copy")
            << "softLimitCW" << 49990u << -1 << QStringList{"m 0070=c346,0000", "m 013e=c346,0000"} << O::Written;
        QTest::newRow("value unanswered: no copy")
            << "softLimitCW" << 49990u << 0x0070 << QStringList{"m 0070=c346,0000"} << O::NotConfirmed;
    }
    void writerTraffic()
    {
        QFETCH(QString, key);
        QFETCH(quint32, raw);
        QFETCH(int, silent);
        QFETCH(QStringList, log);
        QFETCH(ParamWriter::Outcome, outcome);
        MemoryPort port;
        port.registers[0x0215] = 0xab12;
        if (silent >= 0)
            port.silent << quint16(silent);
        QCOMPARE(ParamWriter::writeValue(port, key, raw), outcome);
        QCOMPARE(port.log, log);
        quint32 back = 0;
        if (ParamWriter::valueWritten(outcome)) {
            QVERIFY(ParamWriter::readValue(port, key, &back, RegisterPort::ReadTimeoutMs));
            QCOMPARE(back, raw);
        }
    }

    void currentLimitsKeepTheOtherByte()
    {
        MemoryPort port;
        port.registers[0x000e] = 0x1e32;  // running 30 %, idle 50 %
        ParamWriter::CurrentLimitWrite running = ParamWriter::writeCurrentLimit(port, true, 60, 300);
        QVERIFY(running.read && running.confirmed);
        QCOMPARE(running.before, quint16(0x1e32));
        QCOMPARE(port.registers[0x000e], quint16(0x3c32));
        ParamWriter::writeCurrentLimit(port, false, 45, 300);
        QCOMPARE(port.registers[0x000e], quint16(0x3c2d));
        port.silent << 0x000e;
        port.log.clear();
        QVERIFY(!ParamWriter::writeCurrentLimit(port, true, 70, 300).read);
        QCOMPARE(port.log, QStringList{"r 000e"});
    }

    // A triangular move is asked about and a position past the soft limit refused, before any write.
    void verdictsComeBackAsValues()
    {
        const ParamWriter::Values screen{{"pos0Pos", 0.0},       {"pos1Pos", 40.0},    {"softLimitCCW", 0.0},
                                         {"softLimitCW", 30.0},  {"pos1Speed", 100.0}, {"pos1Accel", 1000.0},
                                         {"pos1Decel", 1000.0}, {"dynErr", 0.2},      {"staErr", 0.15},
                                         {"posWarn", 0.1}};
        const ParamWriter::Verdict verdict = ParamWriter::check("pos1Pos", 40000, screen, 2.0, 50, "en");
        QVERIFY(verdict.motionChecked);
        QVERIFY(!verdict.triangularQuestion.isEmpty());
        QVERIFY(!verdict.mayWrite());
        QVERIFY(verdict.refusal.contains(QLatin1String("30")));
        QVERIFY(ParamWriter::check("dynErr", 40, screen, 2.0, 50, "en").mayWrite());
    }
};

VEXA_TEST_CLASS(ParamModelTest);
#include "tst_param_model.moc"
