#pragma once

#include "fileoutput.h"

#include <QDate>
#include <QFile>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

// The drive a record is about: where it is reached and what it said it is.
struct EventDrive
{
    QString port;
    int station = 0;
    QString model;
    QString firmware;
    QString hardware;
    QString logicVersion;
};

// A record of who changed what: each event is one JSON object carrying the
// time (ISO 8601, milliseconds and zone), the event's name, the drive it is
// about and the event's own fields. Records are kept in memory for the
// window's Events view and, when a file or a folder is set, appended to disk
// one line each, flushed at once so that a crash loses nothing already told.
class EventLog : public QObject
{
    Q_OBJECT

public:
    explicit EventLog(QObject *parent = nullptr);

    // The drive the following records are about.
    void setDrive(const EventDrive &drive) { m_drive = drive; }
    const EventDrive &drive() const { return m_drive; }

    // Every record is appended to this one file (vexa-cli --log); the reason when it cannot be opened.
    FileError setFile(const QString &path);
    // One JSON-Lines file per day in this folder (the window's "Keep an event log"); empty for none.
    void setDailyFolder(const QString &folder);
    QString dailyFolder() const { return m_dailyFolder; }
    static QString dailyFileName(const QDate &day);

    // The events this system records, in the order the Events view lists them.
    static QStringList eventNames();

    QJsonObject record(const QString &event, const QJsonObject &fields = QJsonObject());
    const QVector<QJsonObject> &records() const { return m_records; }

    // A parameter's value as the log writes it: the register value, the value shown and its unit.
    static QJsonObject value(qint64 raw, const QString &shown, const QString &unit);
    // The file's SHA-256 in hex; empty when it cannot be read.
    static QString sha256Of(const QString &path);
    // The fields of a write: `key`, `old` (null when unknown), `new` and `result`.
    static QJsonObject writeFields(const QString &key, const QJsonValue &old, const QJsonValue &now, bool confirmed);
    // The fields of a file read or written: `path` and `sha256`.
    static QJsonObject fileFields(const QString &path);
    // "confirmed" or "not confirmed", as the drive answered.
    static QString resultOf(bool confirmed);

    // The event's own fields of a record as compact JSON, without those every record carries.
    static QString detailsText(const QJsonObject &record);
    // Records as CSV: one header line, then one line per record with the common fields and the details.
    static QByteArray toCsv(const QVector<QJsonObject> &records);

signals:
    void recorded(const QJsonObject &record);
    // A line could not be written to `path`; the record stays in memory.
    void writeFailed(const QString &path, const FileError &error);

private:
    FileError openFile(const QString &path);
    void append(const QByteArray &line);

    EventDrive m_drive;
    QVector<QJsonObject> m_records;
    QFile m_file;
    QString m_dailyFolder;
    QDate m_fileDay;
};
