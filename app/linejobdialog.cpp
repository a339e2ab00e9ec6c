#include "linejobdialog.h"

#include "dialogs.h"
#include "dictionary.h"
#include "fileoutput.h"
#include "linejob.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonDocument>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {

enum Column { StationColumn, ModelColumn, ResultColumn, ChangesColumn, Columns };

void setCell(QTableWidget *table, int row, int column, const QString &value, const QString &tip = QString())
{
    auto *item = new QTableWidgetItem(value);
    item->setTextAlignment(Qt::AlignCenter);
    item->setToolTip(tip);
    table->setItem(row, column, item);
}

}  // namespace

LineJobDialog::LineJobDialog(const JobSettings &settings, const JobReportHeader &header, const BusOutput &output,
                             const QString &reportPath, const QString &htmlPath, Dialogs &dialogs, const QString &lang,
                             QWidget *parent)
    : QDialog(parent), m_header(header), m_ports(settings.ports), m_stations(settings.stations),
      m_reportPath(reportPath), m_htmlPath(htmlPath), m_dialogs(dialogs), m_lang(lang)
{
    setObjectName(QStringLiteral("dlgLineJob"));
    setWindowTitle(text(QStringLiteral("line_title")));
    setModal(true);
    resize(640, 420);

    auto *heading = new QLabel(text(QStringLiteral("line_heading"))
                                   .arg(QFileInfo(settings.filePath).fileName(), settings.ports.value(0)),
                               this);
    heading->setObjectName(QStringLiteral("lblLineJobHeading"));
    heading->setWordWrap(true);

    m_table = new QTableWidget(settings.stations.size(), Columns, this);
    m_table->setObjectName(QStringLiteral("tableLineJob"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setFocusPolicy(Qt::NoFocus);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_table->setHorizontalHeaderLabels({text(QStringLiteral("line_col_station")), text(QStringLiteral("line_col_model")),
                                        text(QStringLiteral("line_col_result")), text(QStringLiteral("line_col_changes"))});
    for (int row = 0; row < settings.stations.size(); ++row) {
        setCell(m_table, row, StationColumn, QString::number(settings.stations[row]));
        setCell(m_table, row, ResultColumn, text(QStringLiteral("line_waiting")));
    }

    // Why a station failed, as the report says it.
    m_details = new QPlainTextEdit(this);
    m_details->setObjectName(QStringLiteral("textLineJobDetails"));
    m_details->setReadOnly(true);
    m_details->setMaximumHeight(110);
    m_details->hide();

    m_summaryLabel = new QLabel(this);
    m_summaryLabel->setObjectName(QStringLiteral("lblLineJobSummary"));
    m_summaryLabel->setStyleSheet(QStringLiteral("font-weight:bold;"));
    m_cancel = new QPushButton(text(QStringLiteral("line_cancel")), this);
    m_cancel->setObjectName(QStringLiteral("btnLineJobCancel"));
    m_close = new QPushButton(text(QStringLiteral("line_close")), this);
    m_close->setObjectName(QStringLiteral("btnLineJobClose"));
    m_close->setEnabled(false);
    connect(m_cancel, &QPushButton::clicked, this, &LineJobDialog::reject);
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_summaryLabel, 1);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_details);
    layout->addLayout(buttons);

    m_job = new LineJob(JobKind::Apply, settings, output, this);
    connect(m_job, &LineJob::stationFinished, this, &LineJobDialog::showStation);
    connect(m_job, &LineJob::finished, this, &LineJobDialog::finish);
}

LineJobDialog::~LineJobDialog()
{
    // The job's thread ends (after its current station) before the rows it reports to go.
    delete m_job;
}

QString LineJobDialog::text(const QString &key) const
{
    return translateKey(key, m_lang);
}

void LineJobDialog::start()
{
    m_header.start = QDateTime::currentDateTime();
    markRunning(0);
    m_job->start();
}

void LineJobDialog::reject()
{
    if (m_done) {
        QDialog::reject();
        return;
    }
    m_job->cancel();
    m_cancel->setEnabled(false);
    m_summaryLabel->setText(text(QStringLiteral("line_cancelling")));
}

void LineJobDialog::markRunning(int row)
{
    if (row < m_table->rowCount())
        setCell(m_table, row, ResultColumn, text(QStringLiteral("line_running")));
}

void LineJobDialog::showStation(const StationRecord &record)
{
    const int row = m_finishedRows++;
    if (row >= m_table->rowCount())
        return;
    const bool passed = record.exit == JobExit::Ok;
    setCell(m_table, row, ModelColumn, record.model);
    setCell(m_table, row, ResultColumn, jobReportText(resultWord(record.exit), m_lang), record.message);
    if (record.exit != JobExit::Cancelled)
        setCell(m_table, row, ChangesColumn, QString::number(record.changes.size()));
    if (!record.message.isEmpty()) {
        m_details->appendPlainText(QStringLiteral("%1 %2: %3").arg(text(QStringLiteral("line_col_station"))).arg(record.station).arg(record.message));
        m_details->show();
    }
    m_table->item(row, ResultColumn)->setForeground(passed ? QColor(0x16, 0xa3, 0x4a) : QColor(0xb0, 0, 0));
    if (record.exit != JobExit::Cancelled && m_job->isRunning())
        markRunning(row + 1);
}

void LineJobDialog::finish(const QVector<StationRecord> &records)
{
    m_done = true;
    m_header.end = QDateTime::currentDateTime();
    int passed = 0;
    for (const StationRecord &record : records)
        passed += record.exit == JobExit::Ok ? 1 : 0;
    m_summary = jobReportText(QStringLiteral("summary"), m_lang).arg(passed).arg(records.size());
    m_summaryLabel->setText(m_summary);
    m_summaryLabel->setStyleSheet(passed == records.size() ? QStringLiteral("font-weight:bold;color:#16a34a;")
                                                           : QStringLiteral("font-weight:bold;color:#b00000;"));
    m_cancel->setEnabled(false);
    m_close->setEnabled(true);
    m_close->setDefault(true);
    writeReport(records);
}

void LineJobDialog::writeReport(const QVector<StationRecord> &records)
{
    const QJsonObject report = jobReportJson(m_header, records);
    const QVector<QPair<QString, QByteArray>> outputs{{m_reportPath, QJsonDocument(report).toJson()},
                                                      {m_htmlPath, jobReportHtml(report, m_lang)}};
    for (const auto &output : outputs) {
        const FileError error = FileOutput::writeWhole(output.first, output.second);
        if (error.failed()) {
            m_dialogs.message(QMessageBox::Warning, text(QStringLiteral("line_title")),
                              text(QStringLiteral("line_report_failed")).arg(output.first, error.reason(m_lang)));
            return;
        }
    }
    const QMessageBox::StandardButton open =
        m_dialogs.message(QMessageBox::Question, text(QStringLiteral("line_title")),
                          text(QStringLiteral("line_open_question")).arg(m_htmlPath),
                          QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (open == QMessageBox::Yes && !QDesktopServices::openUrl(QUrl::fromLocalFile(m_htmlPath)))
        m_dialogs.message(QMessageBox::Warning, text(QStringLiteral("line_title")),
                          text(QStringLiteral("line_open_failed")).arg(m_htmlPath));
}
