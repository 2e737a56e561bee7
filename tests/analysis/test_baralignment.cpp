#include "analysis/baralignment.h"

#include <gtest/gtest.h>

#include <cmath>

// Bar entries spread evenly by Finish, aligned to the onsets of four beats a bar.

namespace {

struct Piece {
    std::vector<double> downbeats; // where each bar begins
    std::vector<Onset> onsets;
    double end = 0; // where the last bar ends
};

// Bars whose length runs from `first` to `last` seconds, four beats each; the downbeat
// `accent` times as strong as the other beats.
Piece piece(int bars, double first, double last, double accent)
{
    Piece p;
    double t = 0.5;
    for (int b = 0; b < bars; ++b) {
        const double length = first + (last - first) * b / (bars - 1);
        p.downbeats.push_back(t);
        for (int beat = 0; beat < 4; ++beat)
            p.onsets.push_back({t + beat * length / 4, beat == 0 ? accent : 1.0});
        t += length;
    }
    p.end = t;
    return p;
}

std::vector<double> spread(const Piece& p)
{
    std::vector<double> times;
    const auto n = p.downbeats.size();
    for (std::size_t i = 0; i < n; ++i)
        times.push_back(p.downbeats.front() +
                        static_cast<double>(i) * (p.end - p.downbeats.front()) / n);
    return times;
}

} // namespace

TEST(BarAlignment, EachBarGoesOntoItsDownbeatThroughARitardando)
{
    // Bars slow from 2 s to 3 s: the even spread lies up to most of a bar off.
    const Piece p = piece(16, 2.0, 3.0, 2.0);
    const auto a = baralignment::align(spread(p), p.onsets);
    ASSERT_TRUE(a.ok()) << a.error.toStdString();
    EXPECT_EQ(a.matched, 16);
    for (std::size_t i = 0; i < p.downbeats.size(); ++i)
        EXPECT_NEAR(a.times[i], p.downbeats[i], 0.005) << "bar " << i;
}

TEST(BarAlignment, BarsThatCouldBeCountedEitherWayAreNotSureAndKeepTheirTimes)
{
    // Even beats with no downbeat heard, the bars' lengths drifting: which beat begins a
    // bar cannot be told. Bars that are not sure keep their spread times.
    const Piece p = piece(12, 2.0, 2.6, 1.0);
    const std::vector<double> times = spread(p);
    const auto a = baralignment::align(times, p.onsets);
    ASSERT_TRUE(a.ok());
    EXPECT_LT(a.matched, 6);
    for (std::size_t i = 0; i < times.size(); ++i) {
        if (!a.onOnset[i]) {
            EXPECT_NEAR(a.times[i], times[i], 1e-9) << "bar " << i;
        }
    }

    // Times that go backwards are refused; so is a recording without onsets.
    EXPECT_FALSE(baralignment::align({1.0, 0.5, 2.0}, p.onsets).ok());
    EXPECT_FALSE(baralignment::align(times, {}).ok());
}
