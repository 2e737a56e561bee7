#pragma once

#include <QTime>
#include <optional>

// The arithmetic of a pedal stroke: times of day as fractions of a day, the interval
// between two strokes, and the playback rate that the interval asks for.
namespace pedallogic {

constexpr double kMsPerDay = 86400000.0;

// A time of day as a fraction of a day (midnight is 0).
double dayFraction(const QTime& time);

// The interval from previous to current in whole milliseconds: the clock reading of the
// difference (hours, minutes, seconds and milliseconds; whole days dropped). Empty when
// the difference is negative (a pair of strokes on either side of midnight).
std::optional<long long> intervalMs(double previous, double current);

// The time one stroke takes at the recording's own tempo: beats * 60000 / bpm
// milliseconds. Empty when bpm is 0 (no duration can be measured against it).
std::optional<double> expectedMs(double beats, double bpm);

// The rate for a stroke interval, rounded to thousandths: expected / interval, or, when
// averaging with a last rate that is not 0, the mean of that ratio and the last rate.
// Empty when the interval is not positive or the result is not a positive finite number:
// such a stroke sets no rate.
std::optional<double> strokeRate(double expected, long long interval, double lastRate,
                                 bool average);

} // namespace pedallogic
