#include "stationsjob.h"
#include "ui_mainwindow.h"

#include "activedrive.h"
#include "eventlog.h"
#include "fileoutput.h"
#include "linejobdialog.h"
#include "paramfile.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTableWidget>

#include <algorithm>

StationsJob::StationsJob(WindowContext &context, Bus bus)
    : WindowPart(context), m_bus(std::move(bus)), btnApplyToStations(new QPushButton(ui->tabConnection))
{
    btnApplyToStations->setObjectName(QStringLiteral("btnApplyToStations"));
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(btnApplyToStations);
    ui->verticalLayout_tab1->insertLayout(ui->verticalLayout_tab1->indexOf(ui->tableScan) + 1, row);
    connect(btnApplyToStations, &QPushButton::clicked, this, &StationsJob::onApplyToStations);
    connect(ui->tableScan, &QTableWidget::itemChanged, this, &StationsJob::refresh);
    refresh();
}

void StationsJob::retranslate()
{
    btnApplyToStations->setText(text(QStringLiteral("btnApplyToStations")));
    btnApplyToStations->setToolTip(text(QStringLiteral("line_tip")));
}

QVector<int> StationsJob::tickedStations() const
{
    QVector<int> stations;
    for (int row = 0; row < ui->tableScan->rowCount(); ++row) {
        const QTableWidgetItem *cell = ui->tableScan->item(row, 0);
        if (cell && (cell->flags() & Qt::ItemIsUserCheckable) && cell->checkState() == Qt::Checked)
            stations << cell->data(Qt::UserRole).toInt();
    }
    std::sort(stations.begin(), stations.end());
    return stations;
}

void StationsJob::refresh()
{
    btnApplyToStations->setEnabled(!drive->isConnected() && !m_bus.scanning() && !tickedStations().isEmpty());
}

void StationsJob::onApplyToStations()
{
    const QVector<int> stations = tickedStations();
    if (stations.isEmpty() || drive->isConnected() || m_bus.scanning())
        return;
    const QString title = text(QStringLiteral("line_title"));
    JobSettings settings;
    settings.ports = QStringList{m_bus.port()};
    settings.stations = stations;
    settings.filePath = dialogs().openFileName(text(QStringLiteral("line_pick_file")), QDir::homePath(),
                                               text(QStringLiteral("line_file_filter")));
    if (settings.filePath.isEmpty())
        return;
    const ParamFile::Parsed parsed = ParamFile::load(settings.filePath, lang());
    if (!parsed.ok) {
        dialogs().message(QMessageBox::Warning, title, parsed.error);
        return;
    }
    settings.root = parsed.root;
    settings.save = askYesNo(title, text(QStringLiteral("line_save_question")));

    const QFileInfo file(settings.filePath);
    const QString proposed = file.dir().absoluteFilePath(
        QStringLiteral("%1_report_%2.json").arg(file.completeBaseName(), QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    QString reportPath = dialogs().saveFileName(text(QStringLiteral("line_report_title")), proposed,
                                                text(QStringLiteral("line_report_filter")));
    if (reportPath.isEmpty())
        return;
    if (QFileInfo(reportPath).suffix().compare(QLatin1String("json"), Qt::CaseInsensitive) != 0)
        reportPath += QStringLiteral(".json");
    const QFileInfo report(reportPath);
    const QString htmlPath = report.dir().absoluteFilePath(report.completeBaseName() + QStringLiteral(".html"));
    // Refused before any drive is touched when the report could never be kept.
    for (const QString &path : {reportPath, htmlPath}) {
        const FileError refused = FileOutput::checkTarget(path);
        if (refused.failed()) {
            dialogs().message(QMessageBox::Warning, title,
                              text(QStringLiteral("line_report_failed")).arg(path, refused.reason(lang())));
            return;
        }
    }
    // The snapshots go beside the report, as with vexa-cli.
    settings.snapshotDir = report.absolutePath();

    JobReportHeader header;
    header.tool = QStringLiteral("vexa-actuator");
    header.operatorName = loginName();
    header.filePath = file.absoluteFilePath();
    header.save = settings.save;
    BusOutput output;
    // The window's event log, when it keeps one, hears of every write as vexa-cli --log does.
    const QString logFolder = drive->events()->dailyFolder();
    if (!logFolder.isEmpty())
        output.logPath = QDir(logFolder).absoluteFilePath(EventLog::dailyFileName(QDate::currentDate()));

    LineJobDialog progress(settings, header, output, report.absoluteFilePath(), htmlPath, dialogs(), lang(), window());
    progress.start();
    dialogs().exec(&progress);
    if (!progress.summary().isEmpty())
        showStatus(progress.summary());
}
