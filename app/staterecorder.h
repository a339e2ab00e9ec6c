#pragma once

#include "devicestate.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QString>

// Who was recorded: written as the header block of every recording.
struct RecordingInfo
{
    QString model;
    QString firmware;
    QString hardware;
    QString logicVersion;   // as shown, e.g. "A3"
    double leadMm = 0;
    int station = 0;
    QString appVersion;
};

// Writes every live state to a CSV file, one line per state, flushed as it
// goes so a crash loses at most the line being written. Each line carries the
// time the state arrived: milliseconds since the start and the ISO wall time.
class StateRecorder : public QObject
{
    Q_OBJECT

public:
    explicit StateRecorder(QObject *parent = nullptr);
    ~StateRecorder() override;

    // "<model>_<yyyyMMdd_HHmmss>.csv", with characters unsafe in file names replaced.
    static QString proposedFileName(const QString &model, const QDateTime &when);

    bool start(const QString &path, const RecordingInfo &info, QString *error = nullptr);
    void stop();
    bool isRecording() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }
    qint64 rowsWritten() const { return m_rows; }

public Q_SLOTS:
    void record(const DeviceState &state);

Q_SIGNALS:
    // Writing failed (disk full, file removed): the recording has stopped.
    void failed(QString reason);

private:
    bool writeLine(const QByteArray &line);

    QFile m_file;
    QElapsedTimer m_sinceStart;
    qint64 m_rows = 0;
};
