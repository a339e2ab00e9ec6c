#include "linkstats.h"

QString LinkStats::summary() const
{
    return QStringLiteral("requests %1, replies %2, timeouts %3, bad CRC %4, exceptions %5, noise %6 B, "
                          "latency %7 / %8 ms")
        .arg(requests)
        .arg(replies)
        .arg(timeouts)
        .arg(badCrcFrames)
        .arg(exceptionReplies)
        .arg(skippedBytes)
        .arg(latencyMeanMs(), 0, 'f', 1)
        .arg(latencyMaxMs, 0, 'f', 1);
}
