// Align to Recording and Snap to Recording over any marking and any onsets: the marker
// times a project file holds (in hundredths, in order or not, evenly spread as Finish
// writes them or clicked by hand), the boxes' places on the pages, and the onsets an
// analysis found (in time order, any strength, some under a held note). Whatever they
// are, an alignment that succeeds keeps every entry, in order, a hundredth apart, and a
// snapped click lands on its own time or on an onset within the window.
#include "analysis/baralignment.h"
#include "analysis/engravedrhythm.h"
#include "analysis/onsetalignment.h"
#include "fuzzinput.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>

namespace {

using fuzzinput::require;

constexpr int kMostEntries = 96;
constexpr int kMostOnsets = 400;

double hundredths(FuzzedDataProvider& in, int most)
{
    return in.ConsumeIntegralInRange(0, most) / 100.0;
}

std::vector<double> markingOf(FuzzedDataProvider& in)
{
    const int n = in.ConsumeIntegralInRange(0, kMostEntries);
    const double start = hundredths(in, 60000);
    std::vector<double> times;
    switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0: { // evenly spread, as Finish writes it
        const double step = hundredths(in, 500);
        for (int i = 0; i < n; ++i)
            times.push_back(std::round((start + i * step) * 100) / 100);
        break;
    }
    case 1: { // clicked by hand, in order
        double t = start;
        for (int i = 0; i < n; ++i)
            times.push_back(t += hundredths(in, 400));
        break;
    }
    default: // anything a file may hold
        for (int i = 0; i < n; ++i)
            times.push_back(hundredths(in, 60000));
    }
    return times;
}

std::vector<Onset> onsetsOf(FuzzedDataProvider& in)
{
    const int n = in.ConsumeIntegralInRange(0, kMostOnsets);
    std::vector<Onset> onsets;
    double t = in.ConsumeIntegralInRange(0, 60000) / 1000.0;
    for (int i = 0; i < n && in.remaining_bytes() > 0; ++i) {
        t += in.ConsumeIntegralInRange(0, 3000) / 1000.0;
        onsets.push_back({t, in.ConsumeIntegralInRange(1, 10000) / 100.0, in.ConsumeBool()});
    }
    return onsets;
}

std::vector<engravedrhythm::BoxPlace> placesOf(FuzzedDataProvider& in, std::size_t n)
{
    std::vector<engravedrhythm::BoxPlace> places;
    for (std::size_t i = 0; i < n; ++i)
        places.push_back({in.ConsumeIntegralInRange(0, 1000) / 1000.0,
                          in.ConsumeIntegralInRange(0, 1000) / 1000.0,
                          in.ConsumeIntegralInRange(0, 3)});
    return places;
}

void requireSound(const onsetalignment::Alignment& a, const std::vector<double>& times,
                  const std::vector<Onset>& onsets)
{
    if (!a.ok())
        return;
    require(a.times.size() == times.size() && a.onOnset.size() == times.size() &&
            a.onset.size() == times.size());
    int matched = 0;
    for (std::size_t i = 0; i < times.size(); ++i) {
        require(std::isfinite(a.times[i]) && a.times[i] >= 0);
        if (i > 0)
            require(a.times[i] >= a.times[i - 1] + 0.01 - 1e-9);
        require(a.onset[i] >= -1 && a.onset[i] < static_cast<int>(onsets.size()));
        require(!a.onOnset[i] || a.onset[i] >= 0);
        matched += a.onOnset[i] ? 1 : 0;
    }
    require(a.matched == matched);
    require(a.moved >= 0 && a.moved <= static_cast<int>(times.size()));
    require(std::isfinite(a.largestMove) && std::isfinite(a.tempoJumps));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const int kind = in.ConsumeIntegralInRange(0, 3);
    const std::vector<double> times = markingOf(in);
    const std::vector<Onset> onsets = onsetsOf(in);
    switch (kind) {
    case 0: // a marking aligned on its own times
        requireSound(onsetalignment::align(times, onsets), times, onsets);
        break;
    case 1: { // a spread by the boxes' places
        const auto places = placesOf(in, times.size());
        // As Align takes it: a spread in order, from its first time to one step after its last.
        const bool inOrder = std::is_sorted(times.begin(), times.end());
        const std::vector<double> rhythm =
            times.size() < 2 || !inOrder
                ? std::vector<double>()
                : engravedrhythm::timesFromPlaces(places, times.front(), times.back() + 1);
        for (std::size_t i = 1; i < rhythm.size(); ++i)
            require(std::isfinite(rhythm[i]) && rhythm[i] >= rhythm[i - 1]);
        if (!rhythm.empty())
            requireSound(onsetalignment::align(rhythm, onsets, {}, true), rhythm, onsets);
        break;
    }
    case 2: // bars
        requireSound(baralignment::align(times, onsets), times, onsets);
        break;
    default:
        for (const double t : times) {
            const double snapped = onsetalignment::snap(t, onsets);
            bool onOne = snapped == t;
            for (const Onset& o : onsets)
                onOne = onOne || (snapped == o.time && std::abs(o.time - t) <= 0.2 + 1e-9);
            require(onOne);
        }
    }
    return 0;
}
