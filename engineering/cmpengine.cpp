#include "cmpengine.h"

#include "modbustransport.h"
#include "registeraccess.h"
#include "registers.h"

#include <QRegularExpression>

#include <algorithm>
#include <exception>
#include <numeric>

namespace {

constexpr int PowerOnBlockLast = Reg::PowerOnBlockStart + Reg::PowerOnBlockWords - 1;

QString hex4(int value)
{
    return QStringLiteral("%1").arg(value & 0xFFFF, 4, 16, QLatin1Char('0')).toUpper();
}

QVector<quint16> expectedWords(const CmpTask &task)
{
    QVector<quint16> words;
    words.reserve(task.wordCount);
    for (int i = 0; i < task.wordCount; ++i)
        words.append(quint16((quint8(task.expected[2 * i]) << 8) | quint8(task.expected[2 * i + 1])));
    return words;
}

QString shortExpectedDetail(const CmpTask &task)
{
    return QStringLiteral("expected data of 0x%1 holds %2 of %3 bytes")
        .arg(hex4(task.address))
        .arg(task.expected.size())
        .arg(2 * int(task.wordCount));
}

QString oversizeDetail(const CmpGroup &group)
{
    return QStringLiteral("0x%1 spans %2 words, more than one request can carry")
        .arg(hex4(group.address))
        .arg(group.wordCount);
}

}  // namespace

std::optional<CmpTask> parseTaskLine(const QString &line, int rowIndex)
{
    static const QRegularExpression nonHex(QStringLiteral("[^0-9A-Fa-f]"));
    QString digits = line;
    digits.remove(nonHex);
    if (digits.size() < 10)
        return std::nullopt;

    QByteArray bytes;
    bytes.reserve((digits.size() + 1) / 2);
    for (int i = 0; i < digits.size(); i += 2)
        bytes.append(char(digits.mid(i, 2).toUInt(nullptr, 16)));

    CmpTask task;
    task.rowIndex = rowIndex;
    task.address = quint16((quint8(bytes[0]) << 8) | quint8(bytes[1]));
    task.wordCount = quint16((quint8(bytes[2]) << 8) | quint8(bytes[3]));
    task.byteCount = quint8(bytes[4]);
    task.expected = bytes.mid(5);
    task.status = CmpStatus::Pending;
    task.line = line;
    return task;
}

QVector<CmpTask> parseTaskText(const QString &text)
{
    QVector<CmpTask> tasks;
    int index = 0;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty())
            continue;
        if (std::optional<CmpTask> task = parseTaskLine(line, index))
            tasks.append(*task);
        ++index;
    }
    return tasks;
}

namespace {

struct LineFit
{
    bool fits = false;
    int wordCount = 0;
    int byteCount = 0;
    int dataBytes = 0;
};

// The line read with its address at byte `offset` (0, or 1 after a station field).
LineFit fitAt(const QByteArray &bytes, int offset)
{
    LineFit fit;
    if (bytes.size() < offset + 5)
        return fit;
    fit.wordCount = (quint8(bytes[offset + 2]) << 8) | quint8(bytes[offset + 3]);
    fit.byteCount = quint8(bytes[offset + 4]);
    fit.dataBytes = bytes.size() - offset - 5;
    fit.fits = fit.wordCount >= 1 && fit.wordCount <= CmpEngine::MaxMergedWords && fit.byteCount == 2 * fit.wordCount
               && fit.dataBytes == fit.byteCount;
    return fit;
}

QString misfitReason(const QString &digits, const LineFit &fit, const QString &language)
{
    const bool zh = language == QLatin1String("zh");
    if (digits.size() % 2 != 0 || digits.size() < 10)
        return zh ? QStringLiteral("十六進位數字個數 %1 不成位元組或少於 5 個位元組").arg(digits.size())
                  : QStringLiteral("%1 hex digits do not make whole bytes, or fewer than 5 bytes").arg(digits.size());
    if (fit.wordCount < 1 || fit.wordCount > CmpEngine::MaxMergedWords)
        return zh ? QStringLiteral("字數 %1 不在 1 至 100 之間").arg(fit.wordCount)
                  : QStringLiteral("word count %1 is not between 1 and 100").arg(fit.wordCount);
    if (fit.byteCount != 2 * fit.wordCount)
        return zh ? QStringLiteral("位元組數 %1 不等於字數 %2 的兩倍").arg(fit.byteCount).arg(fit.wordCount)
                  : QStringLiteral("byte count %1 is not twice the word count %2").arg(fit.byteCount).arg(fit.wordCount);
    return zh ? QStringLiteral("資料有 %1 個位元組，位元組數為 %2").arg(fit.dataBytes).arg(fit.byteCount)
              : QStringLiteral("%1 data bytes where the byte count says %2").arg(fit.dataBytes).arg(fit.byteCount);
}

}  // namespace

ListingParse parseListing(const QString &text, const QString &language)
{
    static const QRegularExpression nonHex(QStringLiteral("[^0-9A-Fa-f]"));
    static const QRegularExpression hexByte(QStringLiteral("^[0-9A-Fa-f]{2}$"));
    const bool zh = language == QLatin1String("zh");
    ListingParse result;
    const auto refuse = [&result](int lineNumber, const QString &reason) {
        result.tasks.clear();
        result.badLine = lineNumber;
        result.reason = reason;
        return result;
    };
    QVector<int> lineNumbers;  // of each task, for naming the lines of a clash
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int n = 0; n < lines.size(); ++n) {
        const QString line = lines[n].trimmed();
        if (line.isEmpty())
            continue;
        QString digits = line;
        digits.remove(nonHex);
        QByteArray bytes;
        if (digits.size() % 2 == 0) {
            for (int i = 0; i < digits.size(); i += 2)
                bytes.append(char(digits.mid(i, 2).toUInt(nullptr, 16)));
        }
        const LineFit plain = fitAt(bytes, 0);
        const int offset = plain.fits ? 0 : fitAt(bytes, 1).fits ? 1 : -1;
        if (offset < 0)
            return refuse(n + 1, misfitReason(digits, plain, language));
        // Only the exported form has a station field, and it is written as one byte.
        const QString station = line.section(QRegularExpression(QStringLiteral("\\s+")), 0, 0);
        if (offset == 1 && !hexByte.match(station).hasMatch())
            return refuse(n + 1, zh ? QStringLiteral("站號欄「%1」不是一個十六進位位元組").arg(station)
                                    : QStringLiteral("the station field \"%1\" is not a hex byte").arg(station));
        CmpTask task;
        task.rowIndex = result.tasks.size();
        task.address = quint16((quint8(bytes[offset]) << 8) | quint8(bytes[offset + 1]));
        task.wordCount = quint16((quint8(bytes[offset + 2]) << 8) | quint8(bytes[offset + 3]));
        task.byteCount = quint8(bytes[offset + 4]);
        task.expected = bytes.mid(offset + 5);
        task.status = CmpStatus::Pending;
        task.line = line;
        // A listing restores the power-on block and nothing else: registers
        // outside it move the rod, restore the factory settings or change the station.
        const int last = int(task.address) + task.wordCount - 1;
        if (task.address < Reg::PowerOnBlockStart || last > PowerOnBlockLast)
            return refuse(n + 1, zh ? QStringLiteral("暫存器 0x%1 至 0x%2 不在上電參數區 0x%3 至 0x%4 內")
                                          .arg(hex4(task.address), hex4(last), hex4(Reg::PowerOnBlockStart),
                                               hex4(PowerOnBlockLast))
                                    : QStringLiteral("registers 0x%1 to 0x%2 lie outside the power-on block 0x%3 to 0x%4")
                                          .arg(hex4(task.address), hex4(last), hex4(Reg::PowerOnBlockStart),
                                               hex4(PowerOnBlockLast)));
        result.tasks.append(task);
        lineNumbers.append(n + 1);
    }
    // Two runs over one register would leave the drive holding neither as written.
    QVector<int> order(result.tasks.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&result](int a, int b) {
        return result.tasks[a].address < result.tasks[b].address;
    });
    int reach = -1;  // the task reaching furthest among those starting lower
    for (int index : order) {
        const CmpTask &task = result.tasks[index];
        if (reach >= 0) {
            const CmpTask &before = result.tasks[reach];
            if (int(task.address) < int(before.address) + before.wordCount) {
                const int first = std::min(lineNumbers[reach], lineNumbers[index]);
                const int second = std::max(lineNumbers[reach], lineNumbers[index]);
                return refuse(second, zh ? QStringLiteral("第 %1 行與第 %2 行都寫入暫存器 0x%3")
                                               .arg(first).arg(second).arg(hex4(task.address))
                                         : QStringLiteral("lines %1 and %2 both write register 0x%3")
                                               .arg(first).arg(second).arg(hex4(task.address)));
            }
        }
        if (reach < 0 || int(task.address) + task.wordCount > int(result.tasks[reach].address) + result.tasks[reach].wordCount)
            reach = index;
    }
    return result;
}

QVector<CmpGroup> mergeTasks(const QVector<CmpTask> &tasks)
{
    QVector<CmpGroup> groups;
    CmpGroup current;
    for (int i = 0; i < tasks.size(); ++i) {
        const CmpTask &task = tasks[i];
        const bool joins = !current.taskIndices.isEmpty()
                           && int(task.address) == int(current.address) + current.wordCount
                           && current.wordCount + int(task.wordCount) <= CmpEngine::MaxMergedWords;
        if (!joins) {
            if (!current.taskIndices.isEmpty())
                groups.append(current);
            current = CmpGroup();
            current.address = task.address;
        }
        current.wordCount += task.wordCount;
        current.taskIndices.append(i);
    }
    if (!current.taskIndices.isEmpty())
        groups.append(current);
    return groups;
}

QString CmpEngine::text(const char *english, const char *chinese) const
{
    return m_language == QLatin1String("zh") ? QString::fromUtf8(chinese) : QString::fromUtf8(english);
}

void CmpEngine::info(const QString &line)
{
    if (m_log)
        m_log(QStringLiteral("info"), line);
}

void CmpEngine::groupDone()
{
    if (m_groupDone)
        m_groupDone();
}

void CmpEngine::markGroup(QVector<CmpTask> &tasks, const CmpGroup &group, const QString &status)
{
    for (int index : group.taskIndices)
        tasks[index].status = status;
}

void CmpEngine::readAll(QVector<CmpTask> &tasks, quint8 slave)
{
    const QVector<CmpGroup> groups = mergeTasks(tasks);
    info(text("Read started: merged into %1 requests", "開始讀取：合併為 %1 個請求").arg(groups.size()));
    for (const CmpGroup &group : groups) {
        readGroup(tasks, group, slave);
        groupDone();
    }
}

void CmpEngine::readGroup(QVector<CmpTask> &tasks, const CmpGroup &group, quint8 slave)
{
    if (group.wordCount == 0) {
        compareGroup(tasks, group, {});
        return;
    }
    if (group.wordCount > MaxReadWords) {
        info(QStringLiteral("Read error: %1").arg(oversizeDetail(group)));
        markGroup(tasks, group, CmpStatus::Error);
        return;
    }
    QVector<quint16> reply;
    try {
        reply = m_access.readRegisters(slave, group.address, quint16(group.wordCount));
    } catch (const ModbusError &e) {
        info(QStringLiteral("Read error: %1").arg(e.text()));
        markGroup(tasks, group, CmpStatus::Error);
        return;
    } catch (const std::exception &e) {
        info(QStringLiteral("Read error: %1").arg(QString::fromLocal8Bit(e.what())));
        markGroup(tasks, group, CmpStatus::Error);
        return;
    }
    // A short reply cannot be told apart word by word: the whole group is unread.
    if (reply.size() < group.wordCount) {
        const QString detail = reply.isEmpty()
                                   ? QStringLiteral("no reply for %1 words at 0x%2")
                                         .arg(group.wordCount)
                                         .arg(hex4(group.address))
                                   : QStringLiteral("reply holds %1 of %2 words at 0x%3")
                                         .arg(reply.size())
                                         .arg(group.wordCount)
                                         .arg(hex4(group.address));
        info(QStringLiteral("Read error: %1").arg(detail));
        markGroup(tasks, group, CmpStatus::Error);
        return;
    }
    compareGroup(tasks, group, reply);
}

void CmpEngine::compareGroup(QVector<CmpTask> &tasks, const CmpGroup &group, const QVector<quint16> &reply)
{
    int offset = 0;
    for (int index : group.taskIndices) {
        CmpTask &task = tasks[index];
        task.device.clear();
        bool same = true;
        for (int i = 0; i < task.wordCount; ++i) {
            const quint16 word = reply[offset + i];
            task.device.append(char(word >> 8));
            task.device.append(char(word & 0xFF));
            if (2 * i + 1 < task.expected.size())
                same = same && quint8(task.expected[2 * i]) == (word >> 8)
                       && quint8(task.expected[2 * i + 1]) == (word & 0xFF);
        }
        offset += task.wordCount;
        if (!task.hasFullExpectedData()) {
            info(QStringLiteral("Read error: %1").arg(shortExpectedDetail(task)));
            task.status = CmpStatus::Error;
            continue;
        }
        task.status = same ? CmpStatus::Match : CmpStatus::Mismatch;
    }
}

bool CmpEngine::writeAll(QVector<CmpTask> &tasks, quint8 slave)
{
    const QVector<CmpGroup> groups = mergeTasks(tasks);
    info(text("Write started: merged into %1 requests", "開始寫入：合併為 %1 個請求").arg(groups.size()));
    QStringList failed;
    for (const CmpGroup &group : groups) {
        writeGroup(tasks, group, slave);
        const bool matched = std::all_of(group.taskIndices.cbegin(), group.taskIndices.cend(),
                                         [&tasks](int index) { return tasks[index].status == CmpStatus::Match; });
        if (!matched)
            failed << QStringLiteral("0x%1 (%2)").arg(hex4(group.address)).arg(group.wordCount);
        groupDone();
    }
    if (!failed.isEmpty())
        info(text("Write incomplete: %1 of %2 groups not confirmed by read-back: %3",
                  "寫入未完成：%2 組中有 %1 組讀回未吻合：%3")
                 .arg(failed.size())
                 .arg(groups.size())
                 .arg(failed.join(QStringLiteral(", "))));
    return failed.isEmpty();
}

void CmpEngine::writeGroup(QVector<CmpTask> &tasks, const CmpGroup &group, quint8 slave)
{
    // Nothing of a group goes out unless every word of it is known: padding
    // would put invented values into the drive.
    for (int index : group.taskIndices) {
        if (!tasks[index].hasFullExpectedData()) {
            info(QStringLiteral("Write error: %1; group at 0x%2 not written")
                     .arg(shortExpectedDetail(tasks[index]), hex4(group.address)));
            markGroup(tasks, group, CmpStatus::Error);
            return;
        }
    }
    if (group.wordCount > MaxWriteWords) {
        info(QStringLiteral("Write error: %1").arg(oversizeDetail(group)));
        markGroup(tasks, group, CmpStatus::Error);
        return;
    }

    QVector<quint16> values;
    values.reserve(group.wordCount);
    for (int index : group.taskIndices)
        values += expectedWords(tasks[index]);

    bool written = values.isEmpty();
    if (!written) {
        try {
            written = m_access.writeRegisters(slave, group.address, values);
        } catch (const ModbusError &e) {
            info(QStringLiteral("Write error: %1").arg(e.text()));
            markGroup(tasks, group, CmpStatus::Error);
            return;
        } catch (const std::exception &e) {
            info(QStringLiteral("Write error: %1").arg(QString::fromLocal8Bit(e.what())));
            markGroup(tasks, group, CmpStatus::Error);
            return;
        }
    }
    if (!written) {
        // A row must not keep showing an earlier match after its write failed.
        info(QStringLiteral("Write error: no reply to the write of %1 words at 0x%2")
                 .arg(group.wordCount)
                 .arg(hex4(group.address)));
        markGroup(tasks, group, CmpStatus::Error);
        return;
    }
    // The echo says the request arrived, not what the drive keeps: the rows
    // show what it holds now, and match only when that is what was written.
    readGroup(tasks, group, slave);
    for (int index : group.taskIndices) {
        if (tasks[index].status == CmpStatus::Mismatch) {
            info(QStringLiteral("Write error: the drive holds other values than written in the group at 0x%1")
                     .arg(hex4(group.address)));
            break;
        }
    }
}

bool CmpEngine::saveEeprom(quint8 slave)
{
    bool saved = false;
    try {
        saved = m_access.writeRegister(slave, Reg::StoreCommand, Reg::StoreValue::SaveToRom);
    } catch (const std::exception &) {
        saved = false;
    }
    info(saved ? text("EEPROM save OK!", "斷電保存成功！") : text("EEPROM save failed", "斷電保存失敗"));
    return saved;
}
