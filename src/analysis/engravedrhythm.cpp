#include "analysis/engravedrhythm.h"

#include <algorithm>
#include <cmath>

namespace engravedrhythm {

namespace {

// Boxes further apart than this share of the page's height are on different systems.
constexpr double kSystemRise = 0.06;
// Engraving gives a note twice as long about half as much space again (a note's space grows
// with the logarithm of its duration): a duration grows as the space to this power.
constexpr double kSpacingPower = 1.5;
// A step of less than this share of the page's width is taken as this wide (two boxes on
// one chord, or a click that slipped).
constexpr double kNarrowest = 0.005;

double median(std::vector<double> values)
{
    if (values.empty())
        return 1.0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

} // namespace

bool startsSystem(const std::vector<BoxPlace>& places, std::size_t i)
{
    if (i == 0)
        return true;
    const BoxPlace& a = places[i - 1];
    const BoxPlace& b = places[i];
    return b.page != a.page || b.x <= a.x || std::abs(b.y - a.y) > kSystemRise;
}

std::vector<double> timesFromPlaces(const std::vector<BoxPlace>& places, double start, double end)
{
    const std::size_t n = places.size();
    if (n < 2)
        return {};
    // The duration of each box in units of the page's width, before scaling; -1 where the
    // spacing says nothing (the last box of a system).
    std::vector<double> length(n, -1.0);
    std::vector<double> known;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (startsSystem(places, i + 1))
            continue;
        length[i] = std::pow(std::max(places[i + 1].x - places[i].x, kNarrowest), kSpacingPower);
        known.push_back(length[i]);
    }
    // A system's last box lasts as long as that system's typical box; a system of one box
    // as long as the typical box of the whole marking.
    const double overall = median(known);
    for (std::size_t first = 0; first < n;) {
        std::size_t last = first;
        while (last + 1 < n && !startsSystem(places, last + 1))
            ++last;
        std::vector<double> system(length.begin() + static_cast<std::ptrdiff_t>(first),
                                   length.begin() + static_cast<std::ptrdiff_t>(last));
        length[last] = system.empty() ? overall : median(system);
        first = last + 1;
    }
    double total = 0;
    for (const double l : length)
        total += l;
    std::vector<double> times;
    double at = 0;
    for (const double l : length) {
        times.push_back(start + (end - start) * at / total);
        at += l;
    }
    return times;
}

} // namespace engravedrhythm
