// Arbitrary text as an imported compare file, then read back and written
// through the compare engine against registers in memory.
//
// A line gives a task exactly when it holds 10 or more hexadecimal digits;
// the task's address, word count, byte count and data are those digits taken
// in pairs; row indices count the non-empty lines. The engine never reads a
// reply or a task's data beyond its end, never asks for more than one request
// can carry, writes exactly the tasks' expected words, and calls a row a match
// only when the drive holds its expected data.

#include "cmpengine.h"
#include "fuzzcheck.h"
#include "registeraccess.h"

#include <QHash>
#include <QStringList>

#include <optional>

namespace {

int hexValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// The bytes a line stands for: its hex digits in pairs, a last odd digit alone.
QByteArray lineBytes(const QString &line, int &digitCount)
{
    QVector<int> digits;
    for (QChar c : line) {
        if (hexValue(c) >= 0)
            digits.append(hexValue(c));
    }
    digitCount = digits.size();
    QByteArray bytes;
    for (int i = 0; i < digits.size(); i += 2)
        bytes.append(char(i + 1 < digits.size() ? digits[i] * 16 + digits[i + 1] : digits[i]));
    return bytes;
}

void checkTask(const std::optional<CmpTask> &task, const QString &line, int rowIndex)
{
    int digitCount = 0;
    const QByteArray bytes = lineBytes(line, digitCount);
    FUZZ_CHECK(task.has_value() == (digitCount >= 10), "a line gives a task exactly when it has 10 hex digits");
    if (!task)
        return;
    FUZZ_CHECK(task->rowIndex == rowIndex, "row index as given");
    FUZZ_CHECK(task->name.isEmpty(), "file tasks have no name");
    FUZZ_CHECK(task->address == quint16(quint8(bytes[0]) << 8 | quint8(bytes[1])), "address is bytes 0 and 1");
    FUZZ_CHECK(task->wordCount == quint16(quint8(bytes[2]) << 8 | quint8(bytes[3])), "word count is bytes 2 and 3");
    FUZZ_CHECK(task->byteCount == quint8(bytes[4]), "byte count is byte 4");
    FUZZ_CHECK(task->expected == bytes.mid(5), "expected data is the rest");
    FUZZ_CHECK(task->expected.size() == (digitCount - 10 + 1) / 2, "expected data length follows the digits");
    FUZZ_CHECK(task->device.isEmpty(), "nothing read yet");
    FUZZ_CHECK(task->status == CmpStatus::Pending, "a new task is pending");
    FUZZ_CHECK(task->line == line, "the source line is kept unchanged");
}

// Registers in memory; reads starting at some addresses come back short, as
// from a drive that answers badly, so the engine's guards are exercised too.
class MemoryAccess : public RegisterAccess
{
public:
    QHash<quint16, quint16> registers;
    QVector<QVector<quint16>> writes;

    QVector<quint16> readRegisters(quint8, quint16 address, quint16 count) override
    {
        FUZZ_CHECK(count <= CmpEngine::MaxReadWords, "a read fits one request");
        const int served = address % 7 == 3 ? count / 2 : count;
        QVector<quint16> words;
        for (int i = 0; i < served; ++i)
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

QByteArray drivesContents(const MemoryAccess &access, const CmpTask &task)
{
    QByteArray bytes;
    for (int i = 0; i < task.wordCount; ++i) {
        const quint16 word = access.registers.value(quint16(task.address + i));
        bytes.append(char(word >> 8));
        bytes.append(char(word & 0xFF));
    }
    return bytes;
}

void checkAfterRead(const QVector<CmpTask> &tasks, const MemoryAccess &access)
{
    for (const CmpTask &task : tasks) {
        const bool compared = task.status == CmpStatus::Match || task.status == CmpStatus::Mismatch;
        FUZZ_CHECK(compared || task.status == CmpStatus::Error, "a read settles every task");
        if (!task.hasFullExpectedData())
            FUZZ_CHECK(task.status == CmpStatus::Error, "a task without all its data cannot be compared");
        if (!compared)
            continue;
        FUZZ_CHECK(task.device.size() == 2 * task.wordCount, "device data holds the task's words");
        FUZZ_CHECK(task.device == drivesContents(access, task), "device data is what the drive holds");
        const bool same = task.device == task.expected.left(2 * task.wordCount);
        FUZZ_CHECK((task.status == CmpStatus::Match) == same, "match exactly when the drive holds the data");
    }
}

// Every write is one merged group's expected words, in task order.
void checkWrites(const QVector<CmpTask> &tasks, const MemoryAccess &access)
{
    QVector<QVector<quint16>> groupWords;
    for (const CmpGroup &group : mergeTasks(tasks)) {
        QVector<quint16> words;
        bool complete = true;
        for (int index : group.taskIndices) {
            const CmpTask &task = tasks[index];
            complete = complete && task.hasFullExpectedData();
            for (int i = 0; complete && i < task.wordCount; ++i)
                words.append(quint16(quint8(task.expected[2 * i]) << 8 | quint8(task.expected[2 * i + 1])));
        }
        if (complete && !words.isEmpty() && words.size() <= CmpEngine::MaxWriteWords)
            groupWords.append(words);
    }
    FUZZ_CHECK(access.writes == groupWords, "writes carry the groups' expected words");
    for (const CmpTask &task : tasks) {
        if (task.status == CmpStatus::Match)
            FUZZ_CHECK(task.device == task.expected, "a written task shows its expected data");
        else
            FUZZ_CHECK(task.status == CmpStatus::Error, "a task that was not written is marked as an error");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));

    QVector<CmpTask> expected;
    int index = 0;
    for (const QString &raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.isEmpty())
            continue;
        const std::optional<CmpTask> task = parseTaskLine(line, index);
        checkTask(task, line, index);
        if (task)
            expected.append(*task);
        ++index;
    }

    QVector<CmpTask> tasks = parseTaskText(text);
    FUZZ_CHECK(tasks.size() == expected.size(), "the text gives one task per line that gives one");
    for (int i = 0; i < tasks.size(); ++i) {
        FUZZ_CHECK(tasks[i].rowIndex == expected[i].rowIndex && tasks[i].line == expected[i].line,
                   "tasks of the text are its lines' tasks, in order");
    }

    int covered = 0;
    for (const CmpGroup &group : mergeTasks(tasks)) {
        int words = 0;
        for (int i : group.taskIndices) {
            FUZZ_CHECK(i == covered, "groups take the tasks in order, each once");
            FUZZ_CHECK(int(tasks[i].address) == group.address + words, "a group's tasks follow each other");
            words += tasks[i].wordCount;
            ++covered;
        }
        FUZZ_CHECK(words == group.wordCount, "a group's word count is its tasks' sum");
        FUZZ_CHECK(words <= CmpEngine::MaxMergedWords || group.taskIndices.size() == 1,
                   "only a single task goes past the merge limit");
    }
    FUZZ_CHECK(covered == tasks.size(), "every task is in a group");

    MemoryAccess access;
    CmpEngine engine(access);
    engine.readAll(tasks, 1);
    checkAfterRead(tasks, access);
    engine.writeAll(tasks, 1);
    checkWrites(tasks, access);
    return 0;
}
