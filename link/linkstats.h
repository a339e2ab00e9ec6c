#pragma once

#include <QString>
#include <QtGlobal>

// Health of one connection's link, counted by the transaction.
struct LinkStats
{
    quint64 requests = 0;
    quint64 replies = 0;
    quint64 timeouts = 0;
    quint64 badCrcFrames = 0;   // frames with the right station and function but a wrong CRC
    quint64 exceptionReplies = 0;
    quint64 skippedBytes = 0;   // received bytes that were not part of an accepted reply
    double latencySumMs = 0;    // request sent to reply accepted
    double latencyMaxMs = 0;

    double latencyMeanMs() const { return replies ? latencySumMs / replies : 0.0; }

    // "requests 120, replies 118, timeouts 2, bad CRC 0, exceptions 0, noise 0 B, latency 1.2 / 3.4 ms"
    QString summary() const;
};
