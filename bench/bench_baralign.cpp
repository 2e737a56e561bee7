// Figures for aligning bar entries (one per bar, as Find Bars places them) to a recording:
// the even spread Finish writes, then Align, against the first onset of every bar of the
// corpus pieces (tests/analysis/data/corpus); then the time and memory an hour of music
// takes. A plain program that prints its figures.
#include "analysis/baralignment.h"
#include "analysis/onsetdetector.h"
#include "analysis/testpieces.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

const QString kCorpus = QStringLiteral(FOLIVANT_SOURCE_DIR "/tests/analysis/data/corpus");

struct Share {
    double in50 = 0, in150 = 0, mean = 0;
};

Share compare(const std::vector<double>& times, const std::vector<double>& truth)
{
    Share s;
    for (std::size_t i = 0; i < truth.size(); ++i) {
        const double e = std::abs(times[i] - truth[i]);
        s.in50 += e <= 0.050 ? 1 : 0;
        s.in150 += e <= 0.150 ? 1 : 0;
        s.mean += e * 1000;
    }
    const auto n = static_cast<double>(truth.size());
    return {s.in50 / n, s.in150 / n, s.mean / n};
}

// An hour of music in 4/4 whose tempo swells and ebbs by a twentieth over every minute: an
// onset on every beat and on every sixteenth between (as dense as the search gets), the
// downbeats stronger. Aligns the
// bars of an even spread over it and prints the time taken and the peak memory.
void hour()
{
    std::vector<Onset> onsets;
    std::vector<double> downbeats;
    const double pi = std::acos(-1.0);
    double t = 1.0;
    for (int beat = 0; t < 3600 || beat % 4 != 0; ++beat) {
        if (beat % 4 == 0)
            downbeats.push_back(t);
        const double length = 0.5 * (1 + 0.05 * std::sin(2 * pi * t / 60));
        onsets.push_back({t, beat % 4 == 0 ? 3.0 : 1.5});
        for (int q = 1; q < 4; ++q)
            onsets.push_back({t + q * length / 4, 1.0 + 0.1 * q});
        t += length;
    }
    const auto n = static_cast<int>(downbeats.size());
    std::vector<double> even;
    for (int i = 0; i < n; ++i)
        even.push_back(downbeats.front() + i * (t - downbeats.front()) / n);
    QElapsedTimer timer;
    timer.start();
    const auto a = baralignment::align(even, onsets);
    const double seconds = static_cast<double>(timer.elapsed()) / 1000;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    int right = 0;
    for (int i = 0; i < n && a.ok(); ++i)
        right += std::abs(a.times[i] - downbeats[i]) <= 0.05 ? 1 : 0;
    std::printf("an hour, %d bars: %.1f s, peak memory %.0f MiB, %d sure, %d within 50 ms\n", n,
                seconds, static_cast<double>(usage.ru_maxrss) / 1024, a.matched, right);
}

} // namespace

int main(int argc, char** argv)
{
    const QDir dir(kCorpus);
    // --whole-recording: the first bar's start set at the recording's start, before its
    // lead-in, and the last bar's end at the recording's end, after the music's last echo
    // (what the new-project wizard takes when its start and end are confirmed as they come),
    // rather than where the music starts and ends.
    const bool whole = argc > 1 && std::strcmp(argv[1], "--whole-recording") == 0;
    // --late-start: the start set by ear, a reaction time (0.25 s) after the first note.
    const bool late = argc > 1 && std::strcmp(argv[1], "--late-start") == 0;
    // --early-end: the end set half a second before the music's end, on its last note
    // rather than after it.
    const bool early = argc > 1 && std::strcmp(argv[1], "--early-end") == 0;
    std::printf("bars: even spread%s -> Align (share within 50 ms, within 150 ms, mean ms; "
                "sure)\n",
                whole   ? " over the whole recording"
                : late  ? " from 0.25 s after the first note"
                : early ? " to 0.5 s before the music's end"
                        : "");
    for (const char* half : {"tune", "test"}) {
        Share sum;
        int sure = 0, sureWrong = 0, worse = 0;
        int pieces = 0;
        for (const QString& table :
             dir.entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name)) {
            const TestPiece piece = loadTestPiece(dir.path(), table.chopped(4));
            if (piece.half != QLatin1String(half))
                continue;
            const std::vector<double> truth = barStarts(dir.filePath(table));
            const auto n = static_cast<int>(truth.size());
            if (n < 2)
                continue;
            const OnsetDetection found = detectOnsets(piece.audio);
            if (!found.ok())
                continue;
            const double start = whole ? 0.0 : piece.start + (late ? 0.25 : 0.0);
            const double end = whole ? found.duration : piece.end - (early ? 0.5 : 0.0);
            std::vector<double> even;
            for (int i = 0; i < n; ++i)
                even.push_back(std::round((start + i * (end - start) / n) * 100) / 100);
            const auto a = baralignment::align(even, found.onsets);
            const bool refused = !a.ok() || 2 * a.matched < n;
            const Share before = compare(even, truth);
            const Share after = compare(refused ? even : a.times, truth);
            int sureRight = 0;
            for (int i = 0; i < n; ++i)
                sureRight += a.ok() && a.onOnset[i] && std::abs(a.times[i] - truth[i]) <= 0.05;
            if (!refused) {
                sure += a.matched;
                sureWrong += a.matched - sureRight;
            }
            // Further off than the spread by more than a hundredth a bar.
            worse += after.mean > before.mean + 10 ? 1 : 0;
            std::printf("%-18s %-4s %3d bars | %3.0f %% %3.0f %% %6.0f | %3.0f %% %3.0f %% %6.0f "
                        "%3d sure, %d of them right, jumps %.2f%s\n",
                        qPrintable(table.chopped(4)), half, n, before.in50 * 100,
                        before.in150 * 100, before.mean, after.in50 * 100, after.in150 * 100,
                        after.mean, a.matched, sureRight, a.tempoJumps, refused ? " refused" : "");
            sum.in50 += after.in50;
            sum.in150 += after.in150;
            ++pieces;
        }
        if (pieces > 0)
            std::printf("%s half: %d pieces, %.1f %% within 50 ms, %.1f %% within 150 ms; of the "
                        "bars sure where taken, %d of %d more than 50 ms off; %d pieces further "
                        "off than the spread\n",
                        half, pieces, sum.in50 / pieces * 100, sum.in150 / pieces * 100, sureWrong,
                        sure, worse);
    }
    if (!whole && !late)
        hour();
    return 0;
}
