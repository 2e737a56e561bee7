#pragma once

#include <QTime>
#include <QtGlobal>
#include <chrono>
#include <functional>

// The local time of day with milliseconds; tests replace it.
using Clock = std::function<QTime()>;

inline Clock systemClock()
{
    return [] {
        return QTime::currentTime();
    };
}

// A monotonic clock in nanoseconds from an arbitrary start: it never jumps when the time of
// day is set, so it measures how long something took or when something is due. Tests
// replace it.
using MonotonicClock = std::function<qint64()>;

inline MonotonicClock steadyClock()
{
    return [] {
        return static_cast<qint64>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                       std::chrono::steady_clock::now().time_since_epoch())
                                       .count());
    };
}
