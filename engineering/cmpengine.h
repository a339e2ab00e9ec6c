#pragma once

#include "cmptask.h"

#include <QString>
#include <QVector>
#include <QtGlobal>

#include <functional>
#include <optional>

class RegisterAccess;

// A compare line: address, word count, byte count and data in hexadecimal, in
// any spacing; every non-hexadecimal character is ignored. None when fewer
// than 10 hexadecimal digits remain.
std::optional<CmpTask> parseTaskLine(const QString &line, int rowIndex);

// Tasks of an imported text: lines are trimmed, empty lines skipped; every
// other line counts in the running row index, whether it gives a task or not.
QVector<CmpTask> parseTaskText(const QString &text);

// A register listing checked line by line. A line holds address, word count,
// byte count and data in hexadecimal, in any spacing; the engineering form's
// own listing puts a station field before the address, and such a line is
// read without it (the two forms never fit the same line: their lengths
// differ in parity). Each line must hold 1 to 100 words, a byte count of twice
// the word count and exactly that many data bytes. Empty lines are skipped.
struct ListingParse
{
    QVector<CmpTask> tasks;  // empty when a line was refused
    int badLine = 0;         // 1-based line number of the first refused line; 0 when all fit
    QString reason;          // why, in the language asked for ("zh" Chinese, else English)
};
ListingParse parseListing(const QString &text, const QString &language);

// Consecutive runs joined into requests of at most MaxMergedWords words.
QVector<CmpGroup> mergeTasks(const QVector<CmpTask> &tasks);

// Reads, compares, writes and saves the task list through a register access.
// Problems are reported per group in the log; the remaining groups still run.
// A written group counts only when its read-back equals what was written.
class CmpEngine
{
public:
    using LogSink = std::function<void(const QString &type, const QString &text)>;
    using GroupDone = std::function<void()>;

    static constexpr int MaxMergedWords = 100;
    // What one Modbus request can carry (function 0x03 and 0x10).
    static constexpr int MaxReadWords = 125;
    static constexpr int MaxWriteWords = 123;

    explicit CmpEngine(RegisterAccess &access) : m_access(access) {}

    // "zh" selects the Chinese log texts, anything else English.
    void setLanguage(const QString &language) { m_language = language; }
    void setLogSink(LogSink sink) { m_log = std::move(sink); }
    // Runs after every group, processed or skipped.
    void setGroupDone(GroupDone done) { m_groupDone = std::move(done); }

    void readAll(QVector<CmpTask> &tasks, quint8 slave);
    // Writes each group and reads it back; true when every row then matches.
    // The log names the groups that did not.
    bool writeAll(QVector<CmpTask> &tasks, quint8 slave);
    bool saveEeprom(quint8 slave);

private:
    void readGroup(QVector<CmpTask> &tasks, const CmpGroup &group, quint8 slave);
    void writeGroup(QVector<CmpTask> &tasks, const CmpGroup &group, quint8 slave);
    void compareGroup(QVector<CmpTask> &tasks, const CmpGroup &group, const QVector<quint16> &reply);
    void markGroup(QVector<CmpTask> &tasks, const CmpGroup &group, const QString &status);
    QString text(const char *english, const char *chinese) const;
    void info(const QString &text);
    void groupDone();

    RegisterAccess &m_access;
    QString m_language = QStringLiteral("zh");
    LogSink m_log;
    GroupDone m_groupDone;
};
