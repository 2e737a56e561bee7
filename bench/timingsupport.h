#pragma once

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

// Where the recording really was at a moment of wall time, recovered from reads of
// libmpv's own position (time-pos). That position is renewed about every 50 ms, so a read
// is late by up to one step and never early: near any moment, the largest
// (position - rate * wall) over the reads gives the audio's true line. The reads must be
// taken often (every few tens of milliseconds) while the recording plays at one rate.
// Reads at the very end are left out: libmpv reports the end as soon as the last audio
// has been handed to the output, while that audio still plays.
class AudioTruth {
public:
    explicit AudioTruth(double rate)
        : m_rate(rate)
    {
    }

    void add(double wall, double position, double duration)
    {
        if (position > 0 && position < duration - 0.25)
            m_reads.push_back({wall, position});
    }
    bool empty() const { return m_reads.empty(); }

    // The audio's position at a wall time.
    double positionAt(double wall) const { return m_rate * wall + offsetNear(wall); }

    // The wall time at which the audio reached a position.
    double wallAt(double position) const
    {
        // A first guess from the reads, then the envelope around it.
        double guess = m_reads.empty() ? 0 : m_reads.front().wall;
        for (const Read& r : m_reads) {
            guess = r.wall;
            if (r.position >= position)
                break;
        }
        return (position - offsetNear(guess)) / m_rate;
    }

private:
    struct Read {
        double wall;
        double position;
    };

    double offsetNear(double wall) const
    {
        double best = -1e300;
        for (const Read& r : m_reads)
            if (std::abs(r.wall - wall) <= kWindowSeconds)
                best = std::max(best, r.position - m_rate * r.wall);
        return best;
    }

    static constexpr double kWindowSeconds = 1.5;
    double m_rate;
    std::vector<Read> m_reads;
};

inline double percentileOf(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const auto at = static_cast<std::size_t>(std::ceil(p * static_cast<double>(v.size()))) - 1;
    return v[std::min(at, v.size() - 1)];
}

inline double meanOf(const std::vector<double>& v)
{
    return v.empty() ? 0 : std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
}

// The machine's one-minute load average (the benchmarks share the machine).
inline double loadAverage()
{
    std::ifstream f("/proc/loadavg");
    double load = 0;
    f >> load;
    return load;
}
