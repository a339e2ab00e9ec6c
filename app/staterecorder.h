#pragma once

#include "devicestate.h"
#include "fileoutput.h"

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
// A recording streams, so it cannot be replaced atomically: every write and
// flush is checked, and the first that fails ends it on its last whole row.
class StateRecorder : public QObject
{
    Q_OBJECT

public:
    explicit StateRecorder(QObject *parent = nullptr);
    ~StateRecorder() override;

    // "<model>_<yyyyMMdd_HHmmss>.csv", with characters unsafe in file names replaced.
    static QString proposedFileName(const QString &model, const QDateTime &when);

    // Refuses a target that is not a regular file, like every file output.
    bool start(const QString &path, const RecordingInfo &info, FileError *error = nullptr);
    // Closes the recording; an error when the file is no longer the one
    // written, holding rowsWritten() rows (its folder was removed, say).
    FileError stop();
    bool isRecording() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }
    qint64 rowsWritten() const { return m_rows; }

public Q_SLOTS:
    void record(const DeviceState &state);

Q_SIGNALS:
    // Writing failed (disk full, file removed): the recording has stopped.
    void failed(FileError error);

private:
    // Appends a whole row; on failure cuts the file back to its last whole
    // row and closes it.
    FileError appendRow(const QByteArray &row);
    // The file at the path is still the one written, as long as it is.
    FileError checkOnDisk() const;

    QFile m_file;
    QElapsedTimer m_sinceStart;
    qint64 m_rows = 0;
};
