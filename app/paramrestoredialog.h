#pragma once

#include "paramdiff.h"

#include <QDialog>
#include <QString>
#include <QVector>

class QLabel;
class QPushButton;
class QTableWidget;

// A parameter file against the connected drive: one row per value with the
// file's value, the drive's, the unit and, after "Write differences", what
// became of each written row. Differing rows are marked.
//
// Object names: dlgParamRestore, tblParamRestore (columns parameter, file,
// drive, unit, result), lblRestoreSummary, btnWriteDifferences, btnCloseRestore.
class ParamRestoreDialog : public QDialog
{
    Q_OBJECT

public:
    enum Column { ParameterColumn = 0, FileColumn, DriveColumn, UnitColumn, ResultColumn, ColumnCount };

    ParamRestoreDialog(const QVector<ParamDiff::Row> &rows, const QString &fileName, const QString &lang,
                       QWidget *parent = nullptr);

    // The result of key's row; ok colours it green, else red.
    void setResult(const QString &key, bool ok, const QString &text);
    void setSummary(const QString &text);
    // One pass only: the button is spent once the writes ran.
    void setWriteDone();

Q_SIGNALS:
    void writeDifferencesRequested();

private:
    int rowOf(const QString &key) const;

    QVector<ParamDiff::Row> m_rows;
    QTableWidget *m_table;
    QLabel *m_summary;
    QPushButton *m_write;
};
