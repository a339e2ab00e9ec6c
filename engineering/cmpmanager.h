#pragma once

#include "cmptask.h"
#include "workerregisteraccess.h"

#include <QColor>
#include <QObject>
#include <QString>
#include <QVector>

class ModbusWorker;
class QTableWidget;
class QTextEdit;
struct ProductConfig;

// Owns the compare table of the engineering page: the expected register runs,
// their read-back and write into the drive, and the communication log.
//
// Every operation runs on the GUI thread through the worker's synchronous
// requests, with polling paused (pauseWorker) around the whole operation.
class CmpManager : public QObject
{
    Q_OBJECT

public:
    static constexpr int GroupPauseMs = 50;
    static constexpr int MaxLogBlocks = 500;
    static constexpr int TrimmedLogBlocks = 100;

    explicit CmpManager(ModbusWorker *worker, QObject *parent = nullptr);

    // Not owned; either may be null, which skips drawing or logging.
    void setTable(QTableWidget *table) { m_table = table; }
    void setLog(QTextEdit *log) { m_log = log; }

    // "zh" selects Chinese texts, anything else English; redraws the table.
    void setLanguage(const QString &language);
    QString language() const { return m_language; }

    const QVector<CmpTask> &tasks() const { return m_tasks; }
    int taskCount() const { return m_tasks.size(); }
    void setTasks(const QVector<CmpTask> &tasks);

    // Fills an empty list from the template, patches it from the form and redraws.
    void applyProductConfig(const ProductConfig &config);

    // Replaces the list with the runs of a listing file. False, with the list
    // untouched and the reason in error, when ListingFile::read refuses it
    // (the error names the line of a line that does not fit).
    bool importFile(const QString &path, QString *error = nullptr);
    // The file name of an imported listing: while there is one, the form does
    // not patch the rows; empty for the form's own block.
    QString listingName() const { return m_listingName; }
    // The form was changed: its block replaces the imported rows at the next refresh.
    void releaseListing();
    // False after a Write All that left a row unconfirmed, until a Read &
    // Compare finds every row matching: Save EEPROM would store a half-written block.
    bool saveAllowed() const { return m_saveAllowed; }

Q_SIGNALS:
    void pauseWorker(bool paused);
    void tasksChanged();
    // An imported listing came or went; name is empty for the form's block.
    void listingChanged(const QString &name);
    void saveAllowedChanged(bool allowed);

public Q_SLOTS:
    void readAll(uchar slaveId);
    void writeAll(uchar slaveId);
    // True when the drive confirmed the store command.
    bool saveEeprom(uchar slaveId);
    void clearLog();
    void renderTable();
    void addLog(const QString &type, const QString &data);

private:
    // Asks for polling to pause; it resumes when the returned guard goes, however the operation ends.
    class PollingPause
    {
    public:
        explicit PollingPause(CmpManager *manager) : m_manager(manager) {}
        ~PollingPause() { Q_EMIT m_manager->pauseWorker(false); }
        PollingPause(const PollingPause &) = delete;
        PollingPause &operator=(const PollingPause &) = delete;

    private:
        CmpManager *m_manager;
    };
    PollingPause pausedPolling();

    QString text(const char *english, const char *chinese) const;
    void afterGroup();
    void setSaveAllowed(bool allowed);
    // The read-back and status cells brought up to date, changed cells only.
    void showResults();
    void renderRows();
    struct RowLook
    {
        QString deviceText;
        QColor deviceColour;
        QString statusText;
        QColor statusColour;
    };
    RowLook rowLook(const CmpTask &task) const;

    WorkerRegisterAccess m_access;
    QTableWidget *m_table = nullptr;
    QTextEdit *m_log = nullptr;
    QString m_language = QStringLiteral("zh");
    QVector<CmpTask> m_tasks;
    QString m_listingName;
    bool m_saveAllowed = true;
};
