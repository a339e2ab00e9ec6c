#include "linejob.h"

#include <QThread>

LineJob::LineJob(JobKind kind, const JobSettings &settings, const BusOutput &output, QObject *parent)
    : QObject(parent), m_kind(kind), m_settings(settings), m_output(output)
{
}

LineJob::~LineJob()
{
    cancel();
    if (m_thread)
        m_thread->wait();
}

void LineJob::start()
{
    if (m_thread)
        return;
    m_thread.reset(QThread::create([this] {
        // The records go back to this object's thread by value; posted there, they
        // are dropped with it if it goes first.
        const QVector<StationRecord> records = runStations(
            m_kind, m_settings, m_settings.ports.value(0), m_output,
            [this](const StationRecord &record) {
                QMetaObject::invokeMethod(this, [this, record] { emit stationFinished(record); }, Qt::QueuedConnection);
            },
            [this] { return m_cancelled.load(); });
        QMetaObject::invokeMethod(this, [this, records] { emit finished(records); }, Qt::QueuedConnection);
    }));
    m_thread->start();
}

void LineJob::cancel()
{
    m_cancelled = true;
}

bool LineJob::isRunning() const
{
    return m_thread && m_thread->isRunning();
}
