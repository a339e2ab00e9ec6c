#pragma once

#include "simbus.h"

#include <QByteArray>
#include <QVector>

#include <random>

class SimDrive;

// A reply on its way out: shaped under the bus lock, sent without it.
struct SimOutgoingReply
{
    QByteArray bytes;  // any noise, then the frame with its CRC
    int pieces = 1;    // sent in this many runs (0/1: whole)
    int gapMs = 0;     // pause between runs
    int delayMs = 0;   // extra delay ahead of the turnaround

    // The bytes cut into `pieces` runs of nearly equal length.
    QVector<QByteArray> runs() const;
};

// Applies SimFaults to the bus's replies and keeps what they need to carry
// from one request to the next. Not thread-safe: SimBus serialises every
// call under its lock.
class SimFaultInjector
{
public:
    // Restarts the drop count and forgets a write echo held back.
    void setFaults(const SimFaults &faults);
    // silentAfterReplies as counted down so far.
    const SimFaults &faults() const { return m_faults; }

    // The reply to a request for `drive` as the faults shape it; false when
    // nothing goes out. A silent bus leaves the request undone, as does one
    // answering with exceptions only.
    bool prepareReply(SimDrive &drive, const SimRequest &request, SimOutgoingReply *out);
    // A reply went out: one fewer before the bus goes silent.
    void countReply();

private:
    bool decideDrop();
    bool chance(double probability);

    SimFaults m_faults;
    int m_dropCounter = 0;
    QByteArray m_previousWriteEcho;
    std::mt19937 m_random{0x5EED};  // fixed seed: a run with random faults can be repeated
};
