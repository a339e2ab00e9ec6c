#pragma once

#include "devicestate.h"

#include <QVector>

#include <deque>

struct TrendSample
{
    double seconds;      // since the trend started
    double positionMm;
    double currentMa;
    double trackErrMm;
};

// The live-trend history: bounded by age (the longest window) and by count,
// so a long session never grows memory.
class TrendBuffer
{
public:
    static constexpr double LongestWindowSeconds = 300.0;
    static constexpr int DefaultCapacity = 4000;  // 5 min at about 5 states per second, with room

    explicit TrendBuffer(int capacity = DefaultCapacity) : m_capacity(capacity) {}

    void append(double seconds, const DeviceState &state);
    void clear() { m_samples.clear(); }
    int size() const { return int(m_samples.size()); }
    int capacity() const { return m_capacity; }

    // The samples of the last `windowSeconds` before the newest one, oldest first.
    QVector<TrendSample> window(double windowSeconds) const;

private:
    int m_capacity;
    std::deque<TrendSample> m_samples;
};
