#include "analysis/pitchtrack.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr int kRate = 22050;

// A tone with its octave whose pitch steps from one MIDI note to the next every second with
// no attack, the louder by each note's factor: a slur.
std::vector<float> slurred(const std::vector<std::pair<double, double>>& keys)
{
    std::vector<float> samples;
    double phase = 0;
    for (const auto& [key, loudness] : keys) {
        const double hz = 440 * std::pow(2.0, (key - 69) / 12);
        for (int i = 0; i < kRate; ++i) {
            phase += 2 * M_PI * hz / kRate;
            samples.push_back(static_cast<float>(
                loudness * (0.15 * std::sin(phase) + 0.05 * std::sin(2 * phase))));
        }
    }
    return samples;
}

} // namespace

TEST(PitchTrack, ASlurredStepIsAnOnsetAndAnAttackUnderAHeldNoteIsNot)
{
    // The step to 72 swells; a fifth of a semitone higher is the same note still.
    const std::vector<float> samples = slurred({{69, 1}, {72, 2}, {72.2, 2}});
    pitchtrack::Tracker track(kRate);
    ASSERT_TRUE(track.ok());
    for (std::size_t at = 0; at < samples.size(); at += 100) // blocks of no hop's size
        track.feed(samples.data() + at, std::min<std::size_t>(100, samples.size() - at));

    const auto notes = pitchtrack::notesOf(track.pitches());
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_NEAR(notes[0].pitch, 69, 0.3);
    EXPECT_NEAR(notes[1].pitch, 72.1, 0.3);
    EXPECT_NEAR(track.frameTime(notes[1].first), 1.0, 0.06);

    // The attacks the energy found: the first note's, and two of an accompaniment under
    // the held notes.
    std::vector<Onset> onsets{{0.0, 1.0}, {0.5, 1.0}, {1.5, 1.0}};
    pitchtrack::weighOnsets(onsets, track, 0.5, 0.25);
    ASSERT_EQ(onsets.size(), 4u);
    EXPECT_FALSE(onsets[0].underHeldNote);
    EXPECT_DOUBLE_EQ(onsets[0].strength, 1.0);
    EXPECT_TRUE(onsets[1].underHeldNote);
    EXPECT_DOUBLE_EQ(onsets[1].strength, 0.5);
    EXPECT_NEAR(onsets[2].time, 1.0, 0.06); // the slurred step, added
    EXPECT_FALSE(onsets[2].underHeldNote);
    EXPECT_DOUBLE_EQ(onsets[2].strength, 0.25);
    EXPECT_TRUE(onsets[3].underHeldNote);
}

TEST(PitchTrack, TheHeldNotePlayedAgainIsNotUnderItButAnotherSoundIs)
{
    // A held A, played again three times as loud at 1 s; at 2 s a soft C starts under it.
    std::vector<float> samples;
    double a = 0, c = 0;
    const double aHz = 440, cHz = 440 * std::pow(2.0, -9.0 / 12);
    for (int i = 0; i < 3 * kRate; ++i) {
        const double t = static_cast<double>(i) / kRate;
        a += 2 * M_PI * aHz / kRate;
        c += 2 * M_PI * cHz / kRate;
        double v = (t < 1 ? 0.1 : 0.3) * (std::sin(a) + 0.3 * std::sin(2 * a));
        if (t >= 2)
            v += 0.05 * (std::sin(c) + 0.3 * std::sin(2 * c));
        samples.push_back(static_cast<float>(v));
    }
    pitchtrack::Tracker track(kRate);
    track.feed(samples.data(), samples.size());
    std::vector<Onset> onsets{{0.0, 1.0}, {0.5, 1.0}, {1.0, 4.0}, {1.5, 1.0}, {2.0, 4.0}};
    pitchtrack::weighOnsets(onsets, track, 1.0, 0.25);
    ASSERT_EQ(onsets.size(), 5u);
    EXPECT_TRUE(onsets[1].underHeldNote);
    EXPECT_FALSE(onsets[2].underHeldNote); // the A again
    EXPECT_TRUE(onsets[4].underHeldNote);  // the C
}

TEST(PitchTrack, WhereANoteStopsBeforeARestIsNoOnset)
{
    // A note, a rest of a second (silence), a softer note: the energy finds both starts and
    // the stop of the first. Only the stop is taken out, also where the next note is soft.
    std::vector<float> samples = slurred({{69, 2}, {69, 0}, {72, 0.5}});
    pitchtrack::Tracker track(kRate);
    track.feed(samples.data(), samples.size());
    std::vector<Onset> onsets{{0.0, 1.0}, {1.0, 1.0}, {2.0, 1.0}};
    pitchtrack::dropNoteEnds(onsets, track, 10);
    ASSERT_EQ(onsets.size(), 2u);
    EXPECT_DOUBLE_EQ(onsets[0].time, 0.0);
    EXPECT_DOUBLE_EQ(onsets[1].time, 2.0);
}
