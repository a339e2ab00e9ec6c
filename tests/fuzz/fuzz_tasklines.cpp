// Arbitrary text as an imported compare file, then read and written by the
// engine on registers in memory: a task per line with 10 hex digits (address,
// words, bytes, data in pairs), groups in order, requests that fit, writes of
// exactly the expected words, a match only when the drive holds the data.

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
    bool writeRegister(quint8, quint16, quint16) override { return true; }
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
        QString digits = QString(line).remove(notHex);
        if (digits.size() >= 10) {
            FUZZ_CHECK(next < tasks.size() && tasks[next].rowIndex == row && tasks[next].line == line, "one task a line");
            if (digits.size() % 2)
                digits.insert(digits.size() - 1, QLatin1Char('0'));  // a last odd digit stands alone
            const QByteArray b = QByteArray::fromHex(digits.toLatin1());
            const CmpTask &t = tasks[next++];
            FUZZ_CHECK(t.address == wordsOf(b, 1)[0] && t.wordCount == wordsOf(b.mid(2), 1)[0]
                           && t.byteCount == quint8(b[4]) && t.expected == b.mid(5),
                       "the digits in pairs are address, word count, byte count and data");
        }
        row += line.isEmpty() ? 0 : 1;
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
            words += wordsOf(tasks[i].expected, tasks[i].wordCount);
            words.resize(tasks[i].address - group.address + tasks[i].wordCount);
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
        FUZZ_CHECK(!compared || (t.hasFullExpectedData() && (t.status == CmpStatus::Match) == (t.device == t.expected.left(2 * t.wordCount))),
                   "compared whole, a match exactly when the drive holds the data");
    }
    engine.writeAll(tasks, 1);
    FUZZ_CHECK(access.writes == groupWords, "writes carry the groups' expected words");
    return 0;
}
