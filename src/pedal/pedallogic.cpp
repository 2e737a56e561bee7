#include "pedal/pedallogic.h"

#include "project/numbertext.h"

#include <cmath>

namespace pedallogic {

double dayFraction(const QTime& time)
{
    if (!time.isValid())
        return 0;
    return time.msecsSinceStartOfDay() / kMsPerDay;
}

std::optional<long long> intervalMs(double previous, double current)
{
    const double d = current - previous;
    if (!std::isfinite(d) || d < 0)
        return std::nullopt;
    // Whole milliseconds of the difference; whole days do not count.
    const long long ms = std::llround(d * kMsPerDay);
    return ms % static_cast<long long>(kMsPerDay);
}

std::optional<double> expectedMs(double beats, double bpm)
{
    if (bpm == 0 || !std::isfinite(beats) || !std::isfinite(bpm))
        return std::nullopt;
    const double e = beats * 60000.0 / bpm;
    if (!std::isfinite(e))
        return std::nullopt;
    return e;
}

std::optional<double> strokeRate(double expected, long long interval, double lastRate, bool average)
{
    if (interval <= 0)
        return std::nullopt;
    const double i = static_cast<double>(interval);
    const double r =
        (lastRate != 0 && average) ? expected / (2 * i) + lastRate * 0.5 : expected / i;
    if (!std::isfinite(r))
        return std::nullopt;
    const double rounded = numbertext::roundTo(r, 0.001);
    if (!std::isfinite(rounded) || rounded <= 0)
        return std::nullopt;
    return rounded;
}

} // namespace pedallogic
