#include "playback/followlogic.h"

#include "project/numbertext.h"

#include <algorithm>

#include <cmath>

namespace followlogic {

int findCurrent(int n, const std::function<double(int)>& time, double p)
{
    if (n <= 0)
        return -1;
    int i = 0;
    while (i < n && !(time(i) > p))
        ++i;
    return findCurrentFrom(n, time, p, i);
}

int findCurrentFrom(int n, const std::function<double(int)>& time, double p, int i)
{
    if (n <= 0)
        return -1;
    const bool moved = i > 0;
    if (i > 0) {
        if (time(i - 1) == p)
            i = i - 1;
        else if (i == n) {
            if (time(i - 1) < p)
                i = i - 1;
        } else if (time(i) != p) {
            i = i - 1;
        }
    }
    if (i == n || !moved)
        return -1;
    return i;
}

QColor markerColor(int c, int n, const std::function<double(int)>& time, double p)
{
    if (c < 0 || c >= n - 1)
        return kRed;
    const double next = time(c + 1);
    const double current = time(c);
    const double gap = numbertext::roundHundredths(next - p);
    const double lead = numbertext::roundHundredths((next - current) * 10.0 / 39.0);
    return (lead > gap && gap > 0.01) ? kSpringGreen : kRed;
}

std::optional<double> nextEntryTime(int n, const std::function<double(int)>& time, double p,
                                    int stop)
{
    if (stop >= 0)
        return stop < n ? std::optional<double>(time(stop)) : std::nullopt;
    std::optional<double> next;
    for (int i = 0; i < n; ++i) {
        const double t = time(i);
        if (t > p && (!next || t < *next))
            next = t;
    }
    return next;
}

std::optional<double> nextChange(int c, int n, const std::function<double(int)>& time, double p,
                                 std::optional<double> nextTime)
{
    // In whole hundredths, the unit every compared time is rounded to.
    const auto hundredths = [](double v) {
        return std::llround(v * 100);
    };
    const long long at = hundredths(p);
    std::optional<long long> change;
    if (nextTime)
        change = hundredths(*nextTime);
    // Green while lead > gap > 1 (gap = next - position): from next - lead + 1 up to
    // next - 2; red again at next - 1.
    if (c >= 0 && c < n - 1) {
        const long long next = hundredths(time(c + 1));
        const long long lead =
            hundredths(numbertext::roundHundredths((time(c + 1) - time(c)) * 10.0 / 39.0));
        const long long greenFrom = next - lead + 1;
        const long long redFrom = next - 1;
        for (const long long q : {greenFrom, redFrom})
            if (greenFrom < redFrom && q > at && (!change || q < *change))
                change = q;
    }
    if (!change || *change <= at)
        return std::nullopt;
    return static_cast<double>(*change) / 100.0;
}

int placeToPixels(long long millionths, int displayed)
{
    const double v = static_cast<double>(displayed) * static_cast<double>(millionths) * 0.000001;
    // A place from a damaged or hostile file can lie far beyond any page: it is held at the
    // largest distance a widget can be placed at, never wrapped round to another place.
    constexpr long long farthest = 16777210; // QWIDGETSIZE_MAX in whole tens
    return static_cast<int>(std::clamp(numbertext::roundTens(v), -farthest, farthest));
}

QPoint scrollFor(const ScrollView& s, int xp, int yp, bool keepTopLeft)
{
    double v = s.vertical;
    double h = s.horizontal;
    if (keepTopLeft) {
        v = std::trunc(yp - 0.15 * s.outerHeight);
        h = std::trunc(xp - 0.15 * s.outerWidth);
    } else {
        if (s.outerHeight + v < yp + 0.3 * s.clientHeight)
            v = std::trunc(yp - 0.7 * s.clientHeight);
        if (s.clientWidth + h < xp + 2 + 0.4 * s.clientWidth)
            h = std::trunc(xp + 2 - 0.6 * s.clientWidth);
        if (v > yp)
            v = std::trunc(yp - 0.3 * s.clientHeight);
        if (h > xp)
            h = std::trunc(xp - 0.3 * s.clientWidth);
    }
    return {static_cast<int>(h), static_cast<int>(v)};
}

} // namespace followlogic
