#pragma once

// A job on one bus away from the caller's thread, for a window that must stay
// responsive: each station's record comes back by value, in the caller's
// thread, as the station ends; cancel() stops the job after the current station.

#include "stationjob.h"

#include <QObject>

#include <atomic>
#include <memory>

class QThread;

class LineJob : public QObject
{
    Q_OBJECT

public:
    LineJob(JobKind kind, const JobSettings &settings, const BusOutput &output, QObject *parent = nullptr);
    // Cancels and waits for the station that runs.
    ~LineJob() override;

    // Runs every station of the settings on their first port.
    void start();
    void cancel();
    bool isRunning() const;

signals:
    void stationFinished(const StationRecord &record);
    // Every station's record, the cancelled ones too.
    void finished(const QVector<StationRecord> &records);

private:
    const JobKind m_kind;
    const JobSettings m_settings;
    const BusOutput m_output;
    std::atomic_bool m_cancelled{false};
    std::unique_ptr<QThread> m_thread;
};
