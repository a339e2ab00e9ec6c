// Arbitrary text as an imported compare file, then read and written through
// the compare engine against registers in memory. A line gives a task exactly
// when it holds 10 hex digits, taken in pairs as address, word count, byte
// count and data; groups take the tasks in order; the engine never asks for
// more than one request carries, writes exactly the groups' expected words,
// and calls a task a match only when the drive holds its data.

#include "cmpengine.h"
#include "fuzzcheck.h"
#include "registeraccess.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringList>

namespace {

// Registers in memory; reads at some addresses come back short, like a drive answering badly.
struct MemoryAccess : RegisterAccess
{
    QHash<quint16, quint16> registers;
    QVector<QVector<quint16>> writes;

    QVector<quint16> readRegisters(quint8, quint16 address, quint16 count) override
    {
        FUZZ_CHECK(count <= CmpEngine::MaxReadWords, "a read fits one request");
        QVector<quint16> words;
        for (int i = 0; i < (address % 7 == 3 ? count / 2 : count); ++i)
            words.append(registers.value(quint16(address + i)));
        return words;
    }
    bool writeRegisters(quint8, quint16 address, const QVector<quint16> &values) override
    {
        FUZZ_CHECK(!values.isEmpty() && values.size() <= CmpEngine::MaxWriteWords, "a write fits one request");
        writes.append(values);
        for (int i = 0; i < values.size(); ++i)
            registers.insert(quint16(address + i), values[i]);
        return true;
    }
    bool writeRegister(quint8, quint16 address, quint16 value) override
    {
        registers.insert(address, value);
        return true;
    }
};

QVector<quint16> wordsOf(const QByteArray &bytes, int count)
{
    QVector<quint16> words;
    for (int i = 0; i < count && 2 * i + 1 < bytes.size(); ++i)
        words.append(quint16(quint8(bytes[2 * i]) << 8 | quint8(bytes[2 * i + 1])));
    return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    QVector<CmpTask> tasks = parseTaskText(text);
    int row = 0, next = 0;
    static const QRegularExpression notHex(QStringLiteral("[^0-9A-Fa-f]"));
    for (const QString &raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.isEmpty())
            continue;
        QString digits = QString(line).remove(notHex);
        if (digits.size() >= 10) {
            FUZZ_CHECK(next < tasks.size() && tasks[next].rowIndex == row && tasks[next].line == line, "one task a line");
            const CmpTask &t = tasks[next++];
            if (digits.size() % 2)
                digits.insert(digits.size() - 1, QLatin1Char('0'));  // a last odd digit stands alone
            const QByteArray bytes = QByteArray::fromHex(digits.toLatin1());
            FUZZ_CHECK(t.address == wordsOf(bytes, 1)[0] && t.wordCount == wordsOf(bytes.mid(2), 1)[0]
                           && t.byteCount == quint8(bytes[4]) && t.expected == bytes.mid(5),
                       "the digits in pairs are address, word count, byte count and data");
        }
        ++row;
    }
    FUZZ_CHECK(next == tasks.size(), "no task without its line");

    QVector<QVector<quint16>> groupWords;
    int covered = 0;
    for (const CmpGroup &group : mergeTasks(tasks)) {
        QVector<quint16> words;
        bool complete = true;
        for (int i : group.taskIndices) {
            FUZZ_CHECK(i == covered++ && tasks[i].address == group.address + words.size(), "runs in order, each once");
            complete = complete && tasks[i].hasFullExpectedData();
            QVector<quint16> own = wordsOf(tasks[i].expected, tasks[i].wordCount);
            own.resize(tasks[i].wordCount);
            words += own;
        }
        FUZZ_CHECK(words.size() == group.wordCount, "a group's words are its tasks'");
        if (complete && !words.isEmpty() && words.size() <= CmpEngine::MaxWriteWords)
            groupWords.append(words);
    }
    FUZZ_CHECK(covered == tasks.size(), "every task is in a group");

    MemoryAccess access;
    CmpEngine engine(access);
    engine.readAll(tasks, 1);
    for (const CmpTask &t : tasks) {
        const bool compared = t.status == CmpStatus::Match || t.status == CmpStatus::Mismatch;
        FUZZ_CHECK(compared || t.status == CmpStatus::Error, "a read settles every task");
        FUZZ_CHECK(!compared || (t.hasFullExpectedData() && t.device.size() == 2 * t.wordCount), "compared whole");
        FUZZ_CHECK(!compared || (t.status == CmpStatus::Match) == (t.device == t.expected.left(2 * t.wordCount)),
                   "a match exactly when the drive holds the data");
    }
    engine.writeAll(tasks, 1);
    FUZZ_CHECK(access.writes == groupWords, "writes carry the groups' expected words");
    return 0;
}
