#pragma once

// The report of a line job: JSON for machines, a printable HTML sign-off
// page of the same content for people.

#include "stationjob.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

struct JobReportHeader
{
    QString tool = QStringLiteral("vexa-cli");  // the program that ran the job
    QString operatorName;
    QDateTime start;
    QDateTime end;
    QString filePath;
    bool save = false;
    bool dryRun = false;
};

QJsonObject jobReportJson(const JobReportHeader &header, const QVector<StationRecord> &records);

// The page of a report made by jobReportJson, in lang ("en" or "zh"); every
// text from the report is escaped.
QByteArray jobReportHtml(const QJsonObject &report, const QString &lang);

// The page's text for `key` (a result word, a column) in lang; the key itself when the page has none.
QString jobReportText(const QString &key, const QString &lang);

// The operator's login name: from the environment, else the account's; empty when neither is known.
QString loginName();
