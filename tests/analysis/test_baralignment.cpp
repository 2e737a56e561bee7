#include "analysis/baralignment.h"
#include "analysis/onsetdetector.h"
#include "analysis/testpieces.h"

#include <QFile>
#include <gtest/gtest.h>

#include <cmath>
#include <map>

// Bar entries spread evenly by Finish, aligned to the onsets of two, three or four beats a
// bar, and to the corpus's recordings.

namespace {

struct Piece {
    std::vector<double> downbeats; // where each bar begins
    std::vector<Onset> onsets;
    double end = 0; // where the last bar ends
};

// Bars whose length runs from `first` to `last` seconds, `beats` beats each (only the
// first `heard` of them sounding: a note held over the others); the downbeat `accent`
// times as strong as the other beats.
Piece piece(int bars, double first, double last, double accent, int beats = 4, int heard = 4)
{
    Piece p;
    double t = 0.5;
    for (int b = 0; b < bars; ++b) {
        const double length = first + (last - first) * b / (bars - 1);
        p.downbeats.push_back(t);
        for (int beat = 0; beat < std::min(beats, heard); ++beat)
            p.onsets.push_back({t + beat * length / beats, beat == 0 ? accent : 1.0});
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
    // The first note played softly.
    Piece p = piece(16, 2.0, 3.0, 2.0);
    p.onsets.front().strength = 0.1;
    // The start and the end set where the music starts and ends; or at the recording's
    // start, half a second before the first note, and on its end four seconds after the
    // music's (past the last chord's echo), which spreads the bars too far; or the start set
    // by ear, a reaction time after the first note.
    for (const double off : {0.0, 0.5, -0.3}) {
        Piece marked = p;
        marked.downbeats.front() -= off;
        marked.end += std::max(8 * off, 0.0);
        const auto a = baralignment::align(spread(marked), p.onsets);
        ASSERT_TRUE(a.ok()) << a.error.toStdString();
        // (The first bar, on the soft first note where the start was set, may keep the start
        // it was given: set a tenth sooner, the start itself is the nearer downbeat.)
        EXPECT_GE(a.matched, 15) << "start " << off << " s early";
        for (std::size_t i = 0; i < p.downbeats.size(); ++i)
            EXPECT_NEAR(a.times[i], p.downbeats[i], 0.005) << "bar " << i;
    }
}

TEST(BarAlignment, BarsAreCountedByTheirBeatsAndThoseWithoutAPulseKeepTheirTimes)
{
    // Even beats with no downbeat heard, the bars' lengths drifting: the bars are told by
    // counting beats from the first bar to the end.
    const Piece even = piece(12, 2.0, 2.6, 1.0);
    auto a = baralignment::align(spread(even), even.onsets);
    ASSERT_TRUE(a.ok());
    EXPECT_GE(a.matched, 11);
    for (std::size_t i = 0; i < even.downbeats.size(); ++i)
        EXPECT_NEAR(a.times[i], even.downbeats[i], 0.005) << "bar " << i;

    // Three beats a bar, a note held over the last two of them, and bars slowing by half:
    // the silent beats are counted too.
    const Piece held = piece(10, 1.5, 2.25, 2.0, 3, 1);
    a = baralignment::align(spread(held), held.onsets);
    ASSERT_TRUE(a.ok());
    EXPECT_GE(a.matched, 8);
    for (std::size_t i = 0; i < held.downbeats.size(); ++i)
        if (a.onOnset[i]) {
            EXPECT_NEAR(a.times[i], held.downbeats[i], 0.005) << "bar " << i;
        }

    // Onsets scattered without a pulse: few bars are sure, the others keep their times.
    Piece scattered;
    const double gaps[] = {0.31, 0.77, 0.19, 0.53, 1.1, 0.37, 0.23, 0.91, 0.43, 0.61, 0.29};
    for (int k = 0; scattered.end < 24; ++k) {
        scattered.onsets.push_back({0.5 + scattered.end, 1.0 + (k % 3) * 0.5});
        scattered.end += gaps[k % 11] * (1 + 0.1 * (k % 7));
    }
    const std::vector<double> times = [] {
        std::vector<double> t;
        for (int i = 0; i < 12; ++i)
            t.push_back(0.5 + 2.0 * i);
        return t;
    }();
    a = baralignment::align(times, scattered.onsets);
    ASSERT_TRUE(a.ok());
    EXPECT_LT(a.matched, 6);
    for (std::size_t i = 0; i < times.size(); ++i)
        if (!a.onOnset[i]) {
            EXPECT_NEAR(a.times[i], times[i], 1e-9) << "bar " << i;
        }

    // Bars of three beats whose lengths alternate between 1 s and 2.4 s: every downbeat is
    // clear, but no piece keeps such a tempo, so the count went through the wrong onsets and
    // the bars are refused rather than moved.
    Piece jumping;
    double t = 1;
    for (int b = 0; b < 8; ++b) {
        const double length = b % 2 != 0 ? 2.4 : 1.0;
        jumping.downbeats.push_back(t);
        for (int beat = 0; beat < 3; ++beat)
            jumping.onsets.push_back({t + beat * length / 3, beat == 0 ? 4.0 : 1.0});
        t += length;
    }
    jumping.end = t;
    jumping.onsets.push_back({t, 4.0});
    a = baralignment::align(spread(jumping), jumping.onsets);
    EXPECT_FALSE(a.ok());
    EXPECT_GT(a.tempoJumps, baralignment::BarCosts{}.doubtfulJumps);

    // Times that go backwards are refused; so is a recording without onsets; a progress
    // report that asks to stop stops it.
    EXPECT_FALSE(baralignment::align({1.0, 0.5, 2.0}, even.onsets).ok());
    EXPECT_FALSE(baralignment::align(times, {}).ok());
    EXPECT_TRUE(baralignment::align(spread(even), even.onsets, {}, [](int, int) {
                    return false;
                }).cancelled);
}

TEST(BarAlignment, AWaltzWhoseBassSoundsSofterThanItsChordsGoesOntoItsDownbeats)
{
    // Oom-pah-pah: the bass on the downbeat half as strong as the chords after it, 32 bars at
    // a steady tempo, the start and the end set at the recording's ends (a second before the
    // music and three after it). Weighing downbeats twice, a count that makes the first bar a
    // beat longer puts every later downbeat on a chord; it must not stand.
    Piece waltz = piece(32, 1.36, 1.36, 0.5, 3, 3);
    Piece marked = waltz;
    marked.downbeats.front() -= 0.5;
    marked.end += 3;
    const auto a = baralignment::align(spread(marked), waltz.onsets);
    ASSERT_TRUE(a.ok()) << a.error.toStdString();
    EXPECT_EQ(a.matched, 32);
    for (std::size_t i = 0; i < waltz.downbeats.size(); ++i)
        EXPECT_NEAR(a.times[i], waltz.downbeats[i], 0.005) << "bar " << i;
    // Where the readings must be weighed against each other, a cancel stops that too.
    bool late = false;
    const auto stopped =
        baralignment::align(spread(marked), waltz.onsets, {}, [&late](int done, int total) {
            late = 3 * done >= total;
            return !late;
        });
    EXPECT_TRUE(late);
    EXPECT_TRUE(stopped.cancelled);
}

TEST(BarAlignment, RecordingsBarsAreSureOnlyOfTheirDownbeats)
{
    // A guitar's even runs of sixteenths, whose loudest notes fall anywhere in the bar,
    // counted by their notes being there once their strengths lead nowhere: taken.
    // A piano study whose tempo changes from bar to bar, a piano piece with a new tempo in
    // every bar over running eighths, a slurred violin whose notes barely show, and an oboe
    // whose bars start on rests (a count a beat off was sure of five of them): every bar
    // that is sure lies on its first note, and the bars' error is not more than the even
    // spread's (give or take a hundredth a bar, where the spread is already right).
    for (const char* name : {"piano-study", "piano-dense", "violin-slurred", "mix06-oboe-rests",
                             "mix04-guitar-runs"}) {
        const QString piece = QString::fromLatin1(name);
        const TestPiece p = loadTestPiece(QStringLiteral(FOLIVANT_ANALYSIS_DATA "/corpus"), piece);
        const std::vector<double> truth = barStarts(
            QStringLiteral(FOLIVANT_ANALYSIS_DATA "/corpus/") + piece + QStringLiteral(".csv"));
        ASSERT_EQ(truth.size(), 8U) << name;
        std::vector<double> times;
        for (int i = 0; i < 8; ++i)
            times.push_back(std::round((p.start + i * (p.end - p.start) / 8) * 100) / 100);
        const OnsetDetection found = detectOnsets(p.audio);
        ASSERT_TRUE(found.ok()) << name;
        const auto a = baralignment::align(times, found.onsets);
        ASSERT_TRUE(a.ok()) << name;
        double before = 0, after = 0;
        for (int i = 0; i < 8; ++i) {
            if (a.onOnset[i]) {
                EXPECT_NEAR(a.times[i], truth[i], 0.05) << name << " bar " << i;
            }
            before += std::abs(times[i] - truth[i]);
            after += std::abs(a.times[i] - truth[i]);
        }
        EXPECT_LE(after, before + 0.01 * 8) << name;
        // The piano's notes are clear: nearly all its bars are told.
        if (piece.startsWith(QLatin1String("piano"))) {
            EXPECT_GE(a.matched, 6);
        }
        if (piece.endsWith(QLatin1String("runs"))) {
            EXPECT_GE(2 * a.matched, 8) << name;
        }
    }
}

TEST(BarAlignment, AStartSetLateOrAnEndSetEarlyByHandStillFindsEveryBar)
{
    // A cello in dotted rhythms, the start set by ear a quarter of a second after its first
    // note: every count puts the first downbeat on that note, and so the first bar goes there
    // with the others, instead of keeping the late start. A guitar, the end set half a second
    // early, on its last note rather than after it: the bars are not squeezed into that end.
    struct Setting {
        const char* name;
        double late, early;
    };
    for (const Setting& set :
         {Setting{"cello-dotted", 0.25, 0.0}, Setting{"guitar-plain", 0.0, 0.5}}) {
        const QString name = QString::fromLatin1(set.name);
        const TestPiece p = loadTestPiece(QStringLiteral(FOLIVANT_ANALYSIS_DATA "/corpus"), name);
        const std::vector<double> truth = barStarts(
            QStringLiteral(FOLIVANT_ANALYSIS_DATA "/corpus/") + name + QStringLiteral(".csv"));
        const OnsetDetection found = detectOnsets(p.audio);
        ASSERT_TRUE(found.ok());
        std::vector<double> times;
        const double start = p.start + set.late, end = p.end - set.early;
        for (int i = 0; i < 8; ++i)
            times.push_back(std::round((start + i * (end - start) / 8) * 100) / 100);
        const auto a = baralignment::align(times, found.onsets);
        ASSERT_TRUE(a.ok()) << set.name << ": " << a.error.toStdString();
        EXPECT_GE(a.matched, 7) << set.name;
        for (int i = 0; i < 8; ++i)
            EXPECT_NEAR(a.times[i], truth[i], 0.05) << set.name << " bar " << i;
    }
}

TEST(BarAlignment, AViolinWithFewOnsetsHeardAndALateStartIsNotACrash)
{
    // A violin alone, seven of its notes heard in eight bars, the start set by ear a
    // quarter of a second late: the count found for the music's end may find no way to
    // that end when followed again. The bars stay in order either way.
    const QString name = QStringLiteral("mix30-violin-plain");
    const TestPiece p = loadTestPiece(QStringLiteral(FOLIVANT_ANALYSIS_DATA "/corpus"), name);
    const OnsetDetection found = detectOnsets(p.audio);
    ASSERT_TRUE(found.ok());
    std::vector<double> times;
    const double start = p.start + 0.25;
    for (int i = 0; i < 8; ++i)
        times.push_back(std::round((start + i * (p.end - start) / 8) * 100) / 100);
    const auto a = baralignment::align(times, found.onsets);
    if (a.ok()) {
        for (int i = 1; i < 8; ++i)
            EXPECT_GE(a.times[i], a.times[i - 1] + 0.0099) << "bar " << i;
    }
}
