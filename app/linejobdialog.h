#pragma once

// The progress of a parameter file written into several stations of one bus:
// one row per station, filled as each ends, a Cancel that stops after the
// current station, and at the end the JSON report and its sign-off page
// beside it, with an offer to open the page.

#include "jobreport.h"

#include <QDialog>

class Dialogs;
class LineJob;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

class LineJobDialog : public QDialog
{
    Q_OBJECT

public:
    // The report goes to reportPath and the page to htmlPath, in lang.
    LineJobDialog(const JobSettings &settings, const JobReportHeader &header, const BusOutput &output,
                  const QString &reportPath, const QString &htmlPath, Dialogs &dialogs, const QString &lang,
                  QWidget *parent);
    ~LineJobDialog() override;

    // Starts the job; its rows fill while the dialog runs.
    void start();

    // "2 of 3 drives passed" once the job is over; empty before.
    QString summary() const { return m_summary; }

public slots:
    // Closing while the job runs only cancels it.
    void reject() override;

private:
    QString text(const QString &key) const;
    void showStation(const StationRecord &record);
    void markRunning(int row);
    void finish(const QVector<StationRecord> &records);
    void writeReport(const QVector<StationRecord> &records);

    JobReportHeader m_header;
    const QStringList m_ports;
    const QVector<int> m_stations;
    const QString m_reportPath;
    const QString m_htmlPath;
    Dialogs &m_dialogs;
    const QString m_lang;
    LineJob *m_job = nullptr;
    QTableWidget *m_table = nullptr;
    QLabel *m_summaryLabel = nullptr;
    QPlainTextEdit *m_details = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_close = nullptr;
    int m_finishedRows = 0;
    bool m_done = false;
    QString m_summary;
};
