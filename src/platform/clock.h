#pragma once

#include <QTime>
#include <functional>

// The local time of day with milliseconds; tests replace it.
using Clock = std::function<QTime()>;

inline Clock systemClock()
{
    return [] {
        return QTime::currentTime();
    };
}
