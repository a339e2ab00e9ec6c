#include "trendbuffer.h"

void TrendBuffer::append(double seconds, const DeviceState &state)
{
    m_samples.push_back({seconds, state.positionMm, double(state.currentMa), state.trackErrUm / 1000.0});
    while (int(m_samples.size()) > m_capacity)
        m_samples.pop_front();
    while (!m_samples.empty() && m_samples.front().seconds < seconds - LongestWindowSeconds)
        m_samples.pop_front();
}

QVector<TrendSample> TrendBuffer::window(double windowSeconds) const
{
    QVector<TrendSample> out;
    if (m_samples.empty())
        return out;
    const double from = m_samples.back().seconds - windowSeconds;
    auto it = m_samples.end();
    while (it != m_samples.begin() && std::prev(it)->seconds >= from)
        --it;
    out.reserve(int(std::distance(it, m_samples.end())));
    for (; it != m_samples.end(); ++it)
        out.append(*it);
    return out;
}
