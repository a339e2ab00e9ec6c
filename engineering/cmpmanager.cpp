#include "cmpmanager.h"

#include "cmpengine.h"
#include "listingfile.h"
#include "productconfig.h"
#include "registertemplate.h"

#include <QBrush>
#include <QColor>
#include <QFileInfo>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QTime>

#include <algorithm>
#include <tuple>

namespace {

constexpr int ColumnCount = 5;

QString hexBytes(const QByteArray &bytes)
{
    QStringList parts;
    parts.reserve(bytes.size());
    for (char byte : bytes)
        parts << QStringLiteral("%1").arg(quint8(byte), 2, 16, QLatin1Char('0')).toUpper();
    return parts.join(QLatin1Char(' '));
}

QTableWidgetItem *centredItem(const QString &text, const QColor &colour = QColor())
{
    auto *item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignCenter);
    if (colour.isValid())
        item->setForeground(QBrush(colour));
    return item;
}

}  // namespace

CmpManager::CmpManager(ModbusWorker *worker, QObject *parent) : QObject(parent), m_access(worker) {}

QString CmpManager::text(const char *english, const char *chinese) const
{
    return m_language == QLatin1String("zh") ? QString::fromUtf8(chinese) : QString::fromUtf8(english);
}

void CmpManager::setLanguage(const QString &language)
{
    m_language = language;
    renderTable();
}

void CmpManager::setTasks(const QVector<CmpTask> &tasks)
{
    m_tasks = tasks;
    renderTable();
    Q_EMIT tasksChanged();
}

void CmpManager::applyProductConfig(const ProductConfig &config)
{
    // An imported block stays as imported until the form is changed.
    if (!m_listingName.isEmpty())
        return;
    const bool refilled = m_tasks.isEmpty();
    if (refilled)
        m_tasks = RegisterTemplate::tasks();
    patchExpectedData(m_tasks, config);
    renderTable();
    if (refilled)
        Q_EMIT tasksChanged();
}

bool CmpManager::importFile(const QString &path, QString *error)
{
    const ListingFile::Contents listing = ListingFile::read(path, m_language);
    if (!listing.error.isEmpty()) {
        if (error)
            *error = listing.error;
        return false;
    }
    m_tasks = listing.tasks;
    m_listingName = QFileInfo(path).fileName();
    Q_EMIT listingChanged(m_listingName);
    renderTable();
    addLog(QStringLiteral("info"),
           text("Loaded %1 records from file", "已從檔案載入 %1 筆資料").arg(m_tasks.size()));
    Q_EMIT tasksChanged();
    return true;
}

void CmpManager::releaseListing()
{
    if (m_listingName.isEmpty())
        return;
    m_listingName.clear();
    // The form's block starts again from the template.
    m_tasks.clear();
    Q_EMIT listingChanged(QString());
}

void CmpManager::afterGroup()
{
    showResults();
    QThread::msleep(GroupPauseMs);
}

void CmpManager::showResults()
{
    if (!m_table)
        return;
    if (m_table->rowCount() != m_tasks.size() || m_table->columnSpan(0, 0) > 1) {
        renderTable();
        return;
    }
    // Only the read-back and status cells change during an operation; cells
    // that already show the right text are left alone, and the table repaints
    // once at the end instead of once per cell.
    m_table->setUpdatesEnabled(false);
    for (int r = 0; r < m_tasks.size(); ++r) {
        const RowLook look = rowLook(m_tasks[r]);
        for (const auto &[column, shown, colour] :
             {std::tuple(3, look.deviceText, look.deviceColour), std::tuple(4, look.statusText, look.statusColour)}) {
            QTableWidgetItem *item = m_table->item(r, column);
            const QBrush brush = colour.isValid() ? QBrush(colour) : QBrush();
            if (!item) {
                m_table->setItem(r, column, centredItem(shown, colour));
            } else if (item->text() != shown || item->foreground() != brush) {
                item->setText(shown);
                item->setForeground(brush);
            }
        }
    }
    m_table->setUpdatesEnabled(true);
}

CmpManager::RowLook CmpManager::rowLook(const CmpTask &task) const
{
    RowLook look;
    look.deviceText = task.device.isEmpty() ? QStringLiteral("--") : hexBytes(task.device);
    look.statusText = QStringLiteral("-");
    look.statusColour = QColor(QStringLiteral("#94a3b8"));
    if (task.status == CmpStatus::Match) {
        look.statusText = text("✔ Match", "✔ 吻合");
        look.statusColour = QColor(QStringLiteral("#15803d"));
        look.deviceColour = QColor(QStringLiteral("#16a34a"));
    } else if (task.status == CmpStatus::Mismatch) {
        look.statusText = text("⚠ Mismatch", "⚠ 差異");
        look.statusColour = QColor(QStringLiteral("#b91c1c"));
        look.deviceColour = QColor(QStringLiteral("#dc2626"));
    } else if (task.status == CmpStatus::Error) {
        look.statusText = text("✖ Error", "✖ 錯誤");
        look.statusColour = QColor(QStringLiteral("#b45309"));
    }
    return look;
}

auto CmpManager::pausedPolling() -> PollingPause
{
    Q_EMIT pauseWorker(true);
    return PollingPause(this);
}

void CmpManager::readAll(uchar slaveId)
{
    {
        const auto paused = pausedPolling();
        CmpEngine engine(m_access);
        engine.setLanguage(m_language);
        engine.setLogSink([this](const QString &type, const QString &line) { addLog(type, line); });
        engine.setGroupDone([this] { afterGroup(); });
        engine.readAll(m_tasks, slaveId);
    }
    const bool allMatch = std::all_of(m_tasks.cbegin(), m_tasks.cend(),
                                      [](const CmpTask &task) { return task.status == CmpStatus::Match; });
    if (allMatch)
        setSaveAllowed(true);
}

void CmpManager::writeAll(uchar slaveId)
{
    bool written = false;
    {
        const auto paused = pausedPolling();
        CmpEngine engine(m_access);
        engine.setLanguage(m_language);
        engine.setLogSink([this](const QString &type, const QString &line) { addLog(type, line); });
        engine.setGroupDone([this] { afterGroup(); });
        written = engine.writeAll(m_tasks, slaveId);
    }
    // A half-written block must not be saved; only a comparison that finds
    // every row as expected clears the way again.
    if (!written)
        setSaveAllowed(false);
}

void CmpManager::setSaveAllowed(bool allowed)
{
    if (m_saveAllowed == allowed)
        return;
    m_saveAllowed = allowed;
    Q_EMIT saveAllowedChanged(allowed);
}

bool CmpManager::saveEeprom(uchar slaveId)
{
    const auto paused = pausedPolling();
    CmpEngine engine(m_access);
    engine.setLanguage(m_language);
    engine.setLogSink([this](const QString &type, const QString &line) { addLog(type, line); });
    return engine.saveEeprom(slaveId);
}

void CmpManager::clearLog()
{
    if (m_log)
        m_log->clear();
}

void CmpManager::renderTable()
{
    if (!m_table)
        return;
    if (m_table->columnCount() < ColumnCount)
        m_table->setColumnCount(ColumnCount);
    // One repaint for the whole table, not one per cell.
    m_table->setUpdatesEnabled(false);
    renderRows();
    m_table->setUpdatesEnabled(true);
}

void CmpManager::renderRows()
{
    m_table->clearSpans();
    m_table->setRowCount(0);

    if (m_tasks.isEmpty()) {
        m_table->setRowCount(1);
        m_table->setItem(0, 0,
                         centredItem(text("No data. Please configure parameters or load file.",
                                          "無資料，請先設定左側參數或載入檔案。"),
                                     QColor(QStringLiteral("#94a3b8"))));
        m_table->setSpan(0, 0, 1, ColumnCount);
        return;
    }

    m_table->setRowCount(m_tasks.size());
    for (int r = 0; r < m_tasks.size(); ++r) {
        const CmpTask &task = m_tasks[r];
        const QString address = QStringLiteral("%1").arg(task.address, 4, 16, QLatin1Char('0'));
        const QString title = task.name.isEmpty() ? QStringLiteral("0x%1").arg(address)
                                                  : QStringLiteral("%1 (0x%2)").arg(task.name, address);

        const RowLook look = rowLook(task);
        m_table->setItem(r, 0, centredItem(title.toUpper()));
        m_table->setItem(r, 1, centredItem(QString::number(task.wordCount)));
        m_table->setItem(r, 2, centredItem(hexBytes(task.expected), QColor(QStringLiteral("#2563eb"))));
        m_table->setItem(r, 3, centredItem(look.deviceText, look.deviceColour));
        m_table->setItem(r, 4, centredItem(look.statusText, look.statusColour));
    }
}

void CmpManager::addLog(const QString &type, const QString &data)
{
    if (!m_log)
        return;
    const QString time = QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz"));
    // Device replies and file contents are shown as text, never as markup.
    const QString escaped = data.toHtmlEscaped();
    QString html;
    if (type == QLatin1String("tx")) {
        html = QStringLiteral("<div><span style='color:#94a3b8;'>[%1]</span> <span "
                              "style='color:#2563eb;font-weight:bold;'>TX &gt;</span> <span "
                              "style='color:#334155;'>%2</span></div>")
                   .arg(time, escaped);
    } else if (type == QLatin1String("rx")) {
        html = QStringLiteral("<div><span style='color:#94a3b8;'>[%1]</span> <span "
                              "style='color:#16a34a;font-weight:bold;'>RX &lt;</span> <span "
                              "style='color:#334155;'>%2</span></div>")
                   .arg(time, escaped);
    } else {
        html = QStringLiteral("<div><span style='color:#94a3b8;'>[%1]</span> <span "
                              "style='color:#d97706;font-weight:bold;'>** %2</span></div>")
                   .arg(time, escaped);
    }

    QTextDocument *doc = m_log->document();
    if (doc->blockCount() > MaxLogBlocks) {
        QTextCursor cursor(doc);
        cursor.movePosition(QTextCursor::Start);
        for (int i = 0; i < TrimmedLogBlocks; ++i) {
            cursor.select(QTextCursor::BlockUnderCursor);
            cursor.removeSelectedText();
            cursor.deleteChar();
        }
    }
    m_log->append(html);
}
