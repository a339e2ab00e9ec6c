#pragma once

#include <QVector>

#include <algorithm>
#include <cstdio>
#include <numeric>

// Summary figures of a list of samples, printed by the bench programs.
struct SampleSummary
{
    double mean = 0;
    double p50 = 0;
    double p99 = 0;
    double max = 0;
    int count = 0;
};

inline SampleSummary summarize(QVector<double> samples)
{
    SampleSummary s;
    s.count = samples.size();
    if (samples.isEmpty())
        return s;
    std::sort(samples.begin(), samples.end());
    s.mean = std::accumulate(samples.begin(), samples.end(), 0.0) / samples.size();
    auto at = [&](double q) { return samples[std::min<int>(samples.size() - 1, int(q * samples.size()))]; };
    s.p50 = at(0.50);
    s.p99 = at(0.99);
    s.max = samples.last();
    return s;
}

inline void printSummary(const char *what, const SampleSummary &s, const char *unit)
{
    std::printf("%-44s n=%-4d mean %8.3f  p50 %8.3f  p99 %8.3f  max %8.3f %s\n", what, s.count, s.mean, s.p50,
                s.p99, s.max, unit);
}
