#include "eventlog.h"

#include <QCryptographicHash>
#include <cerrno>
#include <QDateTime>
#include <QDir>
#include <QJsonDocument>

namespace {

const QStringList CommonFields{QStringLiteral("time"),     QStringLiteral("event"),    QStringLiteral("port"),
                               QStringLiteral("station"),  QStringLiteral("model"),    QStringLiteral("firmware"),
                               QStringLiteral("hardware"), QStringLiteral("logicVersion")};

// A CSV field, quoted when it holds a separator, a quote or a line break.
QByteArray csvField(const QString &text)
{
    QByteArray field = text.toUtf8();
    if (field.contains(',') || field.contains('"') || field.contains('\n') || field.contains('\r'))
        field = '"' + field.replace("\"", "\"\"") + '"';
    return field;
}

}  // namespace

EventLog::EventLog(QObject *parent) : QObject(parent) {}

QStringList EventLog::eventNames()
{
    return {QStringLiteral("connect"),       QStringLiteral("disconnect"),       QStringLiteral("link lost"),
            QStringLiteral("parameter write"), QStringLiteral("save to ROM"),    QStringLiteral("alarm raised"),
            QStringLiteral("alarm cleared"), QStringLiteral("alarm reset"),      QStringLiteral("station change"),
            QStringLiteral("file export"),   QStringLiteral("file import"),      QStringLiteral("file apply"),
            QStringLiteral("file restore"),  QStringLiteral("block write"),      QStringLiteral("block save"),
            QStringLiteral("stop unconfirmed"), QStringLiteral("reconnected"), QStringLiteral("reconnect given up")};
}

FileError EventLog::openFile(const QString &path)
{
    m_file.close();
    m_file.setFileName(path);
    const FileError refused = FileOutput::checkTarget(path);
    if (refused.failed())
        return refused;
    // Unbuffered: each line goes to the system as it is written, so a killed process loses none.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return FileError::system(m_file.errorString());
    return FileError();
}

FileError EventLog::setFile(const QString &path)
{
    m_dailyFolder.clear();
    return openFile(path);
}

void EventLog::setDailyFolder(const QString &folder)
{
    m_dailyFolder = folder;
    m_fileDay = QDate();
    m_file.close();
}

QString EventLog::dailyFileName(const QDate &day)
{
    return QStringLiteral("events-%1.jsonl").arg(day.toString(Qt::ISODate));
}

QJsonObject EventLog::record(const QString &event, const QJsonObject &fields)
{
    QDateTime now = QDateTime::currentDateTime();
    // An explicit offset makes the zone part of the text.
    now.setOffsetFromUtc(now.offsetFromUtc());
    QJsonObject record = fields;
    record.insert(QStringLiteral("time"), now.toString(Qt::ISODateWithMs));
    record.insert(QStringLiteral("event"), event);
    record.insert(QStringLiteral("port"), m_drive.port);
    record.insert(QStringLiteral("station"), m_drive.station);
    record.insert(QStringLiteral("model"), m_drive.model);
    record.insert(QStringLiteral("firmware"), m_drive.firmware);
    record.insert(QStringLiteral("hardware"), m_drive.hardware);
    record.insert(QStringLiteral("logicVersion"), m_drive.logicVersion);
    m_records.append(record);

    if (!m_dailyFolder.isEmpty() && m_fileDay != now.date()) {
        m_fileDay = now.date();
        const QString path = QDir(m_dailyFolder).filePath(dailyFileName(m_fileDay));
        const FileError error = QDir().mkpath(m_dailyFolder) ? openFile(path) : FileError::ofCode(errno);
        if (error.failed())
            emit writeFailed(path, error);
    }
    if (m_file.isOpen())
        append(QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n');
    emit recorded(record);
    return record;
}

void EventLog::append(const QByteArray &line)
{
    const FileError error = FileOutput::writeAll(m_file, line);
    if (error.failed())
        emit writeFailed(m_file.fileName(), error);
}

QJsonObject EventLog::value(qint64 raw, const QString &shown, const QString &unit)
{
    return QJsonObject{{QStringLiteral("raw"), raw}, {QStringLiteral("shown"), shown}, {QStringLiteral("unit"), unit}};
}

QString EventLog::sha256Of(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return QString();
    return QString::fromLatin1(hash.result().toHex());
}

QJsonObject EventLog::writeFields(const QString &key, const QJsonValue &old, const QJsonValue &now, bool confirmed)
{
    return QJsonObject{{QStringLiteral("key"), key},
                       {QStringLiteral("old"), old},
                       {QStringLiteral("new"), now},
                       {QStringLiteral("result"), resultOf(confirmed)}};
}

QJsonObject EventLog::fileFields(const QString &path)
{
    return QJsonObject{{QStringLiteral("path"), path}, {QStringLiteral("sha256"), sha256Of(path)}};
}

QString EventLog::resultOf(bool confirmed)
{
    return confirmed ? QStringLiteral("confirmed") : QStringLiteral("not confirmed");
}

QString EventLog::detailsText(const QJsonObject &record)
{
    QJsonObject details = record;
    for (const QString &field : CommonFields)
        details.remove(field);
    return QString::fromUtf8(QJsonDocument(details).toJson(QJsonDocument::Compact));
}

QByteArray EventLog::toCsv(const QVector<QJsonObject> &records)
{
    QByteArray csv = "time,event,port,station,model,firmware,hardware,logicVersion,details\n";
    for (const QJsonObject &record : records) {
        QList<QByteArray> fields;
        for (const QString &field : CommonFields) {
            const QJsonValue value = record.value(field);
            fields << csvField(value.isDouble() ? QString::number(value.toInt()) : value.toString());
        }
        fields << csvField(detailsText(record));
        csv += fields.join(',') + '\n';
    }
    return csv;
}
