#include "analysis/engravedrhythm.h"
#include "analysis/onsetalignment.h"

#include <gtest/gtest.h>

using engravedrhythm::BoxPlace;
using engravedrhythm::timesFromPlaces;

namespace {

// Boxes of notes lasting `eighths` each, engraved with space growing as the duration's
// 1/1.5th power, `perSystem` to a system, three systems to a page.
std::vector<BoxPlace> engraved(const std::vector<int>& eighths, int perSystem)
{
    std::vector<BoxPlace> out;
    double x = 0.1;
    for (std::size_t i = 0; i < eighths.size(); ++i) {
        const auto system = static_cast<long long>(i) / perSystem;
        if (static_cast<long long>(i) % perSystem == 0)
            x = 0.1;
        out.push_back({x, 0.2 + 0.3 * static_cast<double>(system % 3), system / 3});
        x += 0.03 * std::pow(eighths[i], 1 / 1.5);
    }
    return out;
}

} // namespace

TEST(EngravedRhythm, DurationsFollowTheSpacingWithinEachSystem)
{
    // A quarter, two eighths, a half; then a new system, then a new page.
    const std::vector<BoxPlace> places{{0.10, 0.2, 0}, {0.16, 0.2, 0}, {0.20, 0.2, 0},
                                       {0.24, 0.2, 0}, {0.10, 0.5, 0}, {0.30, 0.5, 0},
                                       {0.12, 0.2, 1}, {0.13, 0.2, 1}};
    EXPECT_TRUE(engravedrhythm::startsSystem(places, 4));
    EXPECT_TRUE(engravedrhythm::startsSystem(places, 6));
    EXPECT_FALSE(engravedrhythm::startsSystem(places, 5));
    EXPECT_FALSE(engravedrhythm::startsSystem({{0.1, 0.2, 0}, {0.15, 0.23, 0}}, 1));

    const auto times = timesFromPlaces(places, 10, 30);
    ASSERT_EQ(times.size(), places.size());
    EXPECT_DOUBLE_EQ(times.front(), 10);
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    const auto length = [&](std::size_t i) {
        return times[i + 1] - times[i];
    };
    EXPECT_NEAR(length(1), length(2), 1e-9); // equal steps, equal durations
    EXPECT_NEAR(length(0), length(1) * std::pow(1.5, 1.5), 1e-9);
    EXPECT_NEAR(length(3), length(1), 1e-9);         // a system's last: its typical step
    EXPECT_GT(length(4), 4 * length(1));             // a wide step in the second system
    EXPECT_NEAR(30 - times.back(), length(6), 1e-9); // the last box lasts to the end

    EXPECT_TRUE(timesFromPlaces({{0.5, 0.5, 0}}, 0, 1).empty());
}

TEST(EngravedRhythm, TellsTheMelodyFromAccompanimentOnsetsNearlyAsStrong)
{
    // A melody over an accompaniment heard on every eighth between its notes, nearly as
    // strong as the melody, in a swaying tempo: an even spread cannot tell which onsets are
    // the melody's (and is not sure of them); the boxes' spacing can.
    const int pattern[] = {2, 1, 1, 2, 4, 1, 1, 3, 1, 2, 2, 3};
    std::vector<int> eighths;
    std::vector<double> notes;
    std::vector<Onset> onsets;
    double t = 0.5;
    for (int i = 0; i < 72; ++i) {
        eighths.push_back(pattern[i % 12]);
        notes.push_back(t);
        const double eighth = 0.25 * (1 + 0.2 * std::sin(i / 9.0));
        for (int e = 0; e < eighths.back(); ++e)
            onsets.push_back({t + e * eighth, e == 0 ? 1.0 : 0.8});
        t += eighths.back() * eighth;
    }
    const auto onNotes = [&](const onsetalignment::Alignment& aligned) {
        int count = 0;
        for (std::size_t i = 0; i < notes.size(); ++i)
            count += std::abs(aligned.times[i] - notes[i]) < 0.001 ? 1 : 0;
        return count;
    };
    const auto byPlaces = onsetalignment::align(
        timesFromPlaces(engraved(eighths, 12), notes.front(), t), onsets, {}, true);
    ASSERT_TRUE(byPlaces.ok());
    EXPECT_GE(onNotes(byPlaces), 70);
    EXPECT_GE(byPlaces.matched, 70);

    std::vector<double> even;
    for (std::size_t i = 0; i < notes.size(); ++i)
        even.push_back(notes.front() + static_cast<double>(i) * (t - notes.front()) / 72);
    const auto evenly = onsetalignment::align(even, onsets);
    ASSERT_TRUE(evenly.ok());
    EXPECT_LT(onNotes(evenly), 36);
    EXPECT_LT(evenly.matched, 36);
}
