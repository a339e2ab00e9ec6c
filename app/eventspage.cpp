// The Events view of the status bar: the event log in a table, filtered by
// text and event type, exported as CSV, and kept on disk when asked for.

#include "eventspage.h"

#include "activedrive.h"
#include "eventlog.h"
#include "fileoutput.h"

#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonDocument>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QString KeepLogKey = QStringLiteral("KeepEventLog");
constexpr int RecordRole = Qt::UserRole;
enum Column { TimeColumn, EventColumn, StationColumn, DetailsColumn, ColumnCount };

QString eventKey(const QString &event)
{
    return QStringLiteral("event_") + QString(event).replace(QLatin1Char(' '), QLatin1Char('_'));
}

QString logFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(QStringLiteral("events"));
}

}  // namespace

EventsPage::EventsPage(WindowContext &context) : Page(context), btnEvents(new QPushButton(context.window))
{
    btnEvents->setObjectName(QStringLiteral("btnEvents"));
    btnEvents->setFlat(true);
    window()->statusBar()->addPermanentWidget(btnEvents);
    buildDialog();
    connect(btnEvents, &QPushButton::clicked, this, [this] {
        dialog->show();
        dialog->raise();
    });
    connect(drive->events(), &EventLog::recorded, this, &EventsPage::addRow);
    connect(drive->events(), &EventLog::writeFailed, this,
            [this](const QString &path, const FileError &error) {
                showStatus(text(QStringLiteral("events_write_failed")).arg(path, error.reason(lang())));
            });
    const bool keep = appSettings().value(KeepLogKey, false).toBool();
    chkKeep->setChecked(keep);
    keepLog(keep);
}

void EventsPage::buildDialog()
{
    dialog = new QDialog(window());
    dialog->setObjectName(QStringLiteral("dlgEvents"));
    dialog->resize(900, 480);
    editFilter = new QLineEdit(dialog);
    editFilter->setObjectName(QStringLiteral("editEventFilter"));
    listTypes = new QListWidget(dialog);
    listTypes->setObjectName(QStringLiteral("listEventTypes"));
    listTypes->setMaximumWidth(200);
    for (const QString &event : EventLog::eventNames()) {
        auto *item = new QListWidgetItem(listTypes);
        item->setData(RecordRole, event);
        item->setCheckState(Qt::Checked);
    }
    table = new QTableWidget(0, ColumnCount, dialog);
    table->setObjectName(QStringLiteral("tableEvents"));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->horizontalHeader()->setStretchLastSection(true);
    chkKeep = new QCheckBox(dialog);
    chkKeep->setObjectName(QStringLiteral("chkKeepEventLog"));
    btnOpenFolder = new QPushButton(dialog);
    btnOpenFolder->setObjectName(QStringLiteral("btnOpenEventFolder"));
    btnExport = new QPushButton(dialog);
    btnExport->setObjectName(QStringLiteral("btnExportEvents"));

    auto *lists = new QHBoxLayout;
    lists->addWidget(listTypes);
    lists->addWidget(table, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(chkKeep);
    buttons->addWidget(btnOpenFolder);
    buttons->addStretch(1);
    buttons->addWidget(btnExport);
    auto *layout = new QVBoxLayout(dialog);
    layout->addWidget(editFilter);
    layout->addLayout(lists, 1);
    layout->addLayout(buttons);

    connect(editFilter, &QLineEdit::textChanged, this, &EventsPage::applyFilter);
    connect(listTypes, &QListWidget::itemChanged, this, &EventsPage::applyFilter);
    connect(btnExport, &QPushButton::clicked, this, &EventsPage::exportCsv);
    connect(chkKeep, &QCheckBox::toggled, this, [this](bool on) {
        appSettings().setValue(KeepLogKey, on);
        keepLog(on);
    });
    connect(btnOpenFolder, &QPushButton::clicked, this, [this] {
        QDir().mkpath(logFolder());
        dialogs().openFolder(logFolder());
    });
}

void EventsPage::retranslate()
{
    btnEvents->setText(text(QStringLiteral("events_button")));
    dialog->setWindowTitle(text(QStringLiteral("events_title")));
    editFilter->setPlaceholderText(text(QStringLiteral("events_filter")));
    chkKeep->setText(text(QStringLiteral("events_keep")));
    btnOpenFolder->setText(text(QStringLiteral("events_open_folder")));
    btnExport->setText(text(QStringLiteral("events_export")));
    table->setHorizontalHeaderLabels({text(QStringLiteral("events_header_time")),
                                      text(QStringLiteral("events_header_event")),
                                      text(QStringLiteral("events_header_station")),
                                      text(QStringLiteral("events_header_details"))});
    for (int i = 0; i < listTypes->count(); ++i)
        listTypes->item(i)->setText(text(eventKey(listTypes->item(i)->data(RecordRole).toString())));
    for (int row = 0; row < table->rowCount(); ++row) {
        QTableWidgetItem *event = table->item(row, EventColumn);
        event->setText(text(eventKey(event->data(RecordRole).toString())));
    }
}

void EventsPage::addRow(const QJsonObject &record)
{
    const int row = table->rowCount();
    table->insertRow(row);
    const QString event = record.value(QStringLiteral("event")).toString();
    auto *eventItem = new QTableWidgetItem(text(eventKey(event)));
    eventItem->setData(RecordRole, event);
    table->setItem(row, TimeColumn, new QTableWidgetItem(record.value(QStringLiteral("time")).toString()));
    table->setItem(row, EventColumn, eventItem);
    table->setItem(row, StationColumn, new QTableWidgetItem(QString::number(record.value(QStringLiteral("station")).toInt())));
    table->setItem(row, DetailsColumn, new QTableWidgetItem(EventLog::detailsText(record)));
    table->item(row, TimeColumn)->setData(RecordRole, record);
    table->setRowHidden(row, !passesFilter(row));
}

void EventsPage::applyFilter()
{
    for (int row = 0; row < table->rowCount(); ++row)
        table->setRowHidden(row, !passesFilter(row));
}

bool EventsPage::passesFilter(int row) const
{
    const QString event = table->item(row, EventColumn)->data(RecordRole).toString();
    const QList<QListWidgetItem *> type = listTypes->findItems(text(eventKey(event)), Qt::MatchExactly);
    if (!type.isEmpty() && type.first()->checkState() != Qt::Checked)
        return false;
    const QString filter = editFilter->text().trimmed();
    for (int column = 0; column < ColumnCount && !filter.isEmpty(); ++column) {
        if (table->item(row, column)->text().contains(filter, Qt::CaseInsensitive))
            return true;
    }
    return filter.isEmpty();
}

void EventsPage::exportCsv()
{
    const QString path = dialogs().saveFileName(text(QStringLiteral("events_export")), QStringLiteral("events.csv"),
                                                QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    QVector<QJsonObject> shown;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (!table->isRowHidden(row))
            shown << table->item(row, TimeColumn)->data(RecordRole).toJsonObject();
    }
    const FileError error = FileOutput::writeWhole(path, EventLog::toCsv(shown), FileOutput::Mode::Text);
    if (error.failed())
        dialogs().message(QMessageBox::Critical, text(QStringLiteral("events_export")),
                          text(QStringLiteral("events_export_failed")).arg(path, error.reason(lang())));
}

void EventsPage::keepLog(bool on)
{
    drive->events()->setDailyFolder(on ? logFolder() : QString());
    btnOpenFolder->setEnabled(on);
}
