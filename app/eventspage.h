#pragma once

#include "page.h"

#include <QJsonObject>

class QCheckBox;
class QDialog;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;

// The Events view: the drive's event log since the window started, opened
// from the status bar, with a text filter, event-type filters, CSV export and
// the opt-in "Keep an event log" that writes one JSON-Lines file per day.
class EventsPage : public Page
{
    Q_OBJECT

public:
    explicit EventsPage(WindowContext &context);

    void retranslate() override;

private:
    void buildDialog();
    void addRow(const QJsonObject &record);
    void applyFilter();
    bool passesFilter(int row) const;
    void exportCsv();
    void keepLog(bool on);

    QPushButton *btnEvents;
    QDialog *dialog = nullptr;
    QLineEdit *editFilter = nullptr;
    QListWidget *listTypes = nullptr;
    QTableWidget *table = nullptr;
    QCheckBox *chkKeep = nullptr;
    QPushButton *btnOpenFolder = nullptr;
    QPushButton *btnExport = nullptr;
};
