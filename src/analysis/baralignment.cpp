#include "analysis/baralignment.h"

#include "analysis/alignmentfill.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <limits>
#include <thread>

namespace baralignment {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kSmallestGap = 0.01;
// The counts of beats to a bar tried.
constexpr int kFewestBeats = 2, kMostBeats = 4;
// A start set by hand this much (seconds) before the music's first onset, or an end set this
// much after the latest the music can end, is still taken as it is: a hand lags a little.
constexpr double kLateStart = 0.15;
constexpr double kLateEnd = 0.25;
// In the second reading of the bars (see align), an onset on a beat weighs this many times
// as much as the costs say, and one on a downbeat this much (BeatCosts::downbeat): a little
// less than on any other beat, where the costs weigh it twice as much.
constexpr double kEvenBeatWeight = 1.5;
constexpr double kEvenDownbeat = 1.25;
// A bar one reading is this sure of (see BeatCosts::sureMargin) stands where the other reading
// is sure of no onset for it. Chosen on the corpus's tuning half: at 3, 26 more bars sure of
// the wrong onset for 35 more right ones; at 5, 12 fewer right ones and no fewer wrong.
constexpr double kVerySure = 4.0;
// The bars are aligned a second time as if the start had been set this much earlier and the
// end this much later (seconds), both well within how a hand sets them; a bar whose downbeat
// moves then was not sure of it (see align).
constexpr double kEarlierStart = 0.1;
constexpr double kLaterEnd = 0.3;
// Where the onsets' strengths lead the count astray (fewer than half of the bars sure of
// their downbeats, or none that fits), the beats are counted again with no onset weighing
// more than this share of the median one: a steady pulse of even notes (runs, a soft bass
// under loud chords) is followed by the onsets being there. Chosen on the corpus's tuning
// half, with the start and end set in twelve ways: from 0.15 to 0.35, 10 or 11 more of 660
// alignments taken, 53 to 58 more bars sure of the right onset, none more of a wrong one.
constexpr double kPlainStrength = 0.25;

// The bars before the first sure one and after the last keep their own times too, where
// these fit in order (settle shifts them with their sure neighbour): a bar that is not
// sure of its downbeat is not moved.
void keepEnds(const std::vector<double>& t, const std::vector<int>& placed,
              onsetalignment::Alignment& result)
{
    const auto n = static_cast<int>(t.size());
    int first = 0, last = n - 1;
    while (first < n && placed[first] < 0)
        ++first;
    while (last >= 0 && placed[last] < 0)
        --last;
    if (first == n)
        return;
    if (first > 0 && t[first - 1] <= result.times[first] - kSmallestGap)
        std::copy(t.begin(), t.begin() + first, result.times.begin());
    if (last < n - 1 && t[last + 1] >= result.times[last] + kSmallestGap)
        std::copy(t.begin() + last + 1, t.end(), result.times.begin() + last + 1);
}

// How many bars move from their times `t`, and which the most.
void countMoves(const std::vector<double>& t, onsetalignment::Alignment& result)
{
    const auto n = static_cast<int>(t.size());
    result.moved = 0;
    result.largestMove = 0;
    result.largestMoveEntry = -1;
    for (int i = 0; i < n; ++i) {
        const double move = std::abs(result.times[i] - t[i]);
        result.moved += move >= 0.005 ? 1 : 0;
        if (move > result.largestMove) {
            result.largestMove = move;
            result.largestMoveEntry = i;
        }
    }
}

// Where the music starts: the start set by hand, or, where the recording is silent for a
// while after it (the start left at the recording's start, before its lead-in), the first
// onset after it, however soft (a quiet first note is the music's too). A note up to a
// reaction time before the start (set by ear, a little late) is the music's start: the
// first beat is looked for there too (see beattrack::kHandLag).
double musicStart(double start, double end, const std::vector<Onset>& onsets)
{
    for (const Onset& o : onsets) {
        if (o.time >= end)
            break;
        if (o.time >= start - beattrack::kHandLag)
            return o.time > start + kLateStart ? o.time : start;
    }
    return start;
}

// When the music of n bars from `start` ends: from `from` to `to`. The last onset heard
// lies in the last bar, so the bars last at most (last onset - start) / (n - 1) each and
// the music ends at most one such bar after that onset. An end set by hand later than this
// (on the recording's last echo, say, or its very end) is not the music's: it ends
// somewhere after its last onset, up to that bound. Else it ends where it was set.
struct Span {
    double from, to;
};
Span musicEnd(double start, double end, int n, const std::vector<Onset>& onsets)
{
    const double last = lastMusicOnset(onsets, end);
    if (!(last > start))
        return {end, end};
    const double latest = last + (last - start) / (n - 1);
    const double to = end <= latest + kLateEnd ? end : latest;
    return {std::min(to, last + kSmallestGap), to};
}

// One reading of the bars: the onset each bar is sure of (-1 where none), how sure (the
// margin, 0 where not sure), the onset the best count puts it on, sure or not (-1 for a
// silent downbeat), and the times the others keep (`own`). An error or a cancel is left in
// result. checked: the best count is read a second time with changes of tempo three times
// as cheap (see below).
struct Reading {
    std::vector<int> placed;
    std::vector<double> margin;
    std::vector<int> onset;
    std::vector<double> own;
};
Reading read(const std::vector<double>& barTimes, const std::vector<Onset>& onsets,
             const BarCosts& costs, bool checked, const onsetalignment::AlignmentProgress& progress,
             onsetalignment::Alignment& result)
{
    Reading reading;
    const auto n = static_cast<int>(barTimes.size());
    const double step = (barTimes.back() - barTimes.front()) / (n - 1);
    const double start = musicStart(barTimes.front(), barTimes.back(), onsets);
    const Span end = musicEnd(start, barTimes.back() + step, n, onsets);
    // Each count of beats to a bar is followed, and where checked the best one is read a
    // second time with changes of tempo three times as cheap: a count through the wrong
    // onsets moves when the price of its tempo's turns does, the right one holds. A bar is
    // sure only where both readings put it on the same onset and the best is sure of it. (On
    // the corpus's tuning half this is sure of more bars than a check by the count of half or
    // twice as many beats, and wrong no more often.)
    BarCosts looser = costs;
    looser.tempoChange /= 3;
    const int tries = kMostBeats - kFewestBeats + (checked ? 3 : 2);
    Span ends = end;
    const auto follow = [&](int k, int done, const BarCosts& c, beattrack::Beats& beats) {
        beats = beattrack::track(
            start, ends.from, ends.to, n * k, k, onsets, c, [&](int part, int whole) {
                return !progress || progress(done * whole + part, tries * whole);
            });
        return !beats.cancelled;
    };
    std::vector<beattrack::Beats> counts(kMostBeats + 1);
    int perBar = 0;
    for (int k = kFewestBeats; k <= kMostBeats; ++k) {
        if (!follow(k, k - kFewestBeats, costs, counts[k])) {
            result.cancelled = true;
            return reading;
        }
        if (counts[k].cost < (perBar == 0 ? kInf : counts[perBar].cost))
            perBar = k;
    }
    if (perBar == 0) {
        result.error = QStringLiteral("The bars could not be matched to the recording: their "
                                      "lengths would change too much.");
        return reading;
    }
    // Where the music ends is read off the best count; how sure each bar is, with that end.
    beattrack::Beats best = counts[perBar], check;
    if (end.from < end.to) {
        ends = {best.times.back(), best.times.back()};
        beattrack::Beats again;
        if (!follow(perBar, kMostBeats - kFewestBeats + 1, costs, again)) {
            result.cancelled = true;
            return reading;
        }
        // (The count may find no way to that end once its candidates are pruned anew, with
        // only a few onsets to go by: the first reading stands then.)
        if (!again.onset.empty())
            best = again;
    }
    if (!checked)
        check = best;
    else if (!follow(perBar, tries - 1, looser, check)) {
        result.cancelled = true;
        return reading;
    }
    reading.placed.assign(n, -1);
    reading.margin.assign(n, 0.0);
    reading.onset.assign(n, -1);
    for (int i = 0; i < n; ++i) {
        const int j = i * perBar;
        reading.onset[i] = best.onset[j];
        if (best.onset[j] >= 0 && best.margin[j] >= costs.sureMargin && !check.onset.empty() &&
            check.onset[j] == best.onset[j]) {
            reading.placed[i] = best.onset[j];
            reading.margin[i] = best.margin[j];
        }
    }
    // A bar that is not sure of its downbeat keeps its time, but not in the silence before
    // the music or after it: where the music's start or end was found elsewhere, the bars
    // are spread evenly between the two instead.
    reading.own = barTimes;
    const double found = best.times.back();
    if (start != barTimes.front() || found != barTimes.back() + step)
        for (int i = 0; i < n; ++i)
            reading.own[i] = start + i * (found - start) / n;
    return reading;
}

// Whether the bars beside bar i (the one beside it, at either end) are sure of an onset.
bool betweenSure(const std::vector<int>& placed, int i)
{
    const auto n = static_cast<int>(placed.size());
    return n > 1 && (i == 0 || placed[i - 1] >= 0) && (i == n - 1 || placed[i + 1] >= 0);
}

// Where the first two readings are sure of the same onset, a bar goes there. Where each is
// sure of another, a third reading that weighs an onset on a downbeat like one on any other
// beat decides: the bar goes onto the onset of the two that it takes too, else onto none.
// Where one reading is very sure of an onset and the other of none, the bar goes there.
// False when the third reading was cancelled.
bool agree(const std::vector<double>& barTimes, const std::vector<Onset>& onsets,
           const BarCosts& costs, const Reading& first, const Reading& second,
           const onsetalignment::AlignmentProgress& progress, std::vector<int>& placed,
           std::vector<char>& byCount)
{
    const auto n = static_cast<int>(barTimes.size());
    placed.assign(n, -1);
    bool differ = false;
    for (int i = 0; i < n; ++i) {
        const int a = first.placed[i], b = second.placed[i];
        if (a >= 0 && b >= 0)
            differ |= a != b;
        if (a == b)
            placed[i] = a;
        else if (a >= 0 && b < 0 && first.margin[i] >= kVerySure)
            placed[i] = a;
        else if (b >= 0 && a < 0 && second.margin[i] >= kVerySure)
            placed[i] = b;
    }
    // A bar only one reading is sure of stands where the other's count puts it on the same
    // onset and the bars on either side of it are sure (see betweenSure): a start set by hand
    // a reaction late, past the first note, leaves the count fewer onsets before its first
    // downbeat to be sure by, and a soft downbeat between two clear ones is no less where
    // both counts put it. (On the corpus's tuning half, with the start and end set in twelve
    // ways, 99 more bars sure of the right onset and none more of a wrong one.)
    byCount.assign(n, 0);
    const std::vector<int> clear = placed;
    for (int i = 0; i < n; ++i)
        if (clear[i] < 0 && first.onset[i] >= 0 && first.onset[i] == second.onset[i] &&
            (first.placed[i] >= 0 || second.placed[i] >= 0) && betweenSure(clear, i)) {
            placed[i] = first.onset[i];
            byCount[i] = 1;
        }
    if (!differ)
        return true;
    BarCosts alike = costs;
    alike.downbeat = costs.beat;
    onsetalignment::Alignment outcome;
    const Reading third =
        read(barTimes, onsets, alike, false, onsetalignment::partOf(progress, 2, 3), outcome);
    if (outcome.cancelled)
        return false;
    for (int i = 0; i < n; ++i) {
        const int a = first.placed[i], b = second.placed[i];
        if (a >= 0 && b >= 0 && a != b && outcome.ok())
            placed[i] = third.onset[i] == a ? a : (third.onset[i] == b ? b : -1);
    }
    return true;
}

// What one alignment of the bars is sure of: the onset of each bar that both readings are
// sure of, agreed as `agree` says, and the first reading (whose times the unsure bars keep).
// An error of the first reading, or a cancel, is left in `result`.
struct Outcome {
    Reading first;
    std::vector<int> placed;
    onsetalignment::Alignment result;
    std::vector<char> byCount; // the bars placed by the counts agreeing (see agree)
};
Outcome sureOf(const std::vector<double>& barTimes, const std::vector<Onset>& onsets,
               const BarCosts& costs, const onsetalignment::AlignmentProgress& progress)
{
    // The bars are read twice: as the costs say, and with an onset on a beat weighing half
    // again as much and one on a downbeat a little less than that (instead of twice as much):
    // the count of beats and where the music ends are chosen afresh. A count led by its
    // loudest onsets onto the wrong beat (a melody's upbeat sung out over the
    // accompaniment's downbeat) moves once they weigh no more as downbeats than as beats;
    // the right one holds. A bar is sure where both readings are sure of the same onset.
    // Where they are sure of different ones (a waltz whose bass on the downbeat sounds
    // softer than the chords after it draws the first reading a beat late for the rest of
    // the piece, at the price of one long first bar), a third reading, with every beat's
    // onset weighing alike, decides (see agree). Each reading is reported as a third of the
    // work (where the third is not read, the work ends at two thirds).
    Outcome out;
    out.first =
        read(barTimes, onsets, costs, true, onsetalignment::partOf(progress, 0, 3), out.result);
    if (!out.result.ok())
        return out;
    BarCosts evenBeats = costs;
    evenBeats.beat *= kEvenBeatWeight;
    evenBeats.downbeat = kEvenDownbeat;
    onsetalignment::Alignment other;
    const Reading second =
        read(barTimes, onsets, evenBeats, false, onsetalignment::partOf(progress, 1, 3), other);
    if (other.cancelled)
        out.result.cancelled = true;
    else if (!other.ok())
        out.placed.assign(barTimes.size(), -1);
    else if (!agree(barTimes, onsets, costs, out.first, second, progress, out.placed, out.byCount))
        out.result.cancelled = true;
    return out;
}

// Whether an outcome's bar i was placed only by the counts agreeing on it.
bool byCount(const Outcome& o, int i)
{
    return static_cast<std::size_t>(i) < o.byCount.size() && o.byCount[i] != 0;
}

// The bar times as if the start had been set kEarlierStart sooner and the end kLaterEnd
// later, spread in proportion between them.
std::vector<double> setByAnotherHand(const std::vector<double>& barTimes)
{
    std::vector<double> moved = barTimes;
    const auto last = static_cast<double>(moved.size() - 1);
    for (std::size_t i = 0; i < moved.size(); ++i)
        moved[i] += -kEarlierStart + (kLaterEnd + kEarlierStart) * static_cast<double>(i) / last;
    return moved;
}

// The bars aligned as given (`here`) and as if set by another hand (`there`, see
// setByAnotherHand), the second on a thread of its own; progress is the two together, never
// falling back. `cancelled` where a progress report asked to stop.
struct BothHands {
    Outcome here, there;
    bool cancelled = false;
};
BothHands byBothHands(const std::vector<double>& barTimes, const std::vector<Onset>& onsets,
                      const BarCosts& costs, const onsetalignment::AlignmentProgress& progress)
{
    constexpr int kWhole = 1000;
    std::atomic<bool> stop{false};
    std::atomic<int> thereDone{0};
    int hereDone = 0;
    const auto caller = std::this_thread::get_id();
    const auto share = [](int done, int total) {
        return total > 0 ? static_cast<int>(static_cast<long long>(kWhole) * done / total) : 0;
    };
    const auto report = [&] {
        if (progress && !progress(hereDone + thereDone.load(), 2 * kWhole))
            stop = true;
        return !stop.load();
    };
    // (Where no thread can be started, the second alignment runs here when it is waited for.)
    auto again = std::async(std::launch::async | std::launch::deferred, [&] {
        return sureOf(setByAnotherHand(barTimes), onsets, costs, [&](int done, int total) {
            thereDone = std::max(thereDone.load(), share(done, total));
            return std::this_thread::get_id() == caller ? report() : !stop.load();
        });
    });
    BothHands both;
    both.here = sureOf(barTimes, onsets, costs, [&](int done, int total) {
        hereDone = std::max(hereDone, share(done, total));
        return report();
    });
    if (!both.here.result.ok())
        stop = true;
    while (again.wait_for(std::chrono::milliseconds(50)) == std::future_status::timeout)
        report();
    both.there = again.get();
    // The second alignment may have finished between two reports: its last share is reported
    // here, and a Cancel pressed on it counts.
    report();
    both.cancelled = stop.load() && both.here.result.ok();
    return both;
}

// Which bars both hands are sure of, on the same onset. A bar placed only by the counts
// agreeing on it (see agree) needs the bars beside it sure in the end, and such bars do not
// tip the bars into being taken (see taken): they stand only where the others would be taken
// without them.
std::vector<int> sureOfBoth(const BothHands& both)
{
    std::vector<int> placed = both.here.placed;
    const auto n = static_cast<int>(placed.size());
    for (int i = 0; i < n; ++i)
        if (!both.there.result.ok() || both.there.placed[i] != placed[i])
            placed[i] = -1;
    std::vector<int> clear = placed;
    for (int i = 0; i < n; ++i)
        if (byCount(both.here, i) || byCount(both.there, i))
            clear[i] = -1;
    const bool enough =
        2 * std::count_if(clear.begin(), clear.end(), [](int p) { return p >= 0; }) >= n;
    for (int i = 0; i < n; ++i)
        if (placed[i] >= 0 && clear[i] < 0 && (!enough || !betweenSure(clear, i)))
            placed[i] = -1;
    return placed;
}

// The bars aligned with the costs given (see align), the times checked already.
onsetalignment::Alignment alignWith(const std::vector<double>& barTimes,
                                    const std::vector<Onset>& onsets, const BarCosts& costs,
                                    const onsetalignment::AlignmentProgress& progress)
{
    // A downbeat is sure only where the bars, aligned again as if the start had been set a
    // tenth of a second sooner and the end 0.3 s later (see setByAnotherHand), land on it
    // too: a count that the hand's slack can tip onto other onsets was not sure of them.
    // (Measured on the corpus's tuning half, 55 pieces, with the start and end set in twelve
    // ways, at the music, early, late, at the recording's ends: of 660 alignments, 1 ended
    // further from the downbeats than the even spread, against 3 without the second
    // alignment; 27 bars were sure of the wrong onset, against 81, and 1687 of the right
    // one, against 1776.)
    const BothHands both = byBothHands(barTimes, onsets, costs, progress);
    onsetalignment::Alignment result = both.here.result;
    if (!result.ok())
        return result;
    if (both.cancelled) {
        result.cancelled = true;
        return result;
    }
    const Reading& first = both.here.first;
    const std::vector<int> placed = sureOfBoth(both);
    onsetalignment::settle(first.own, placed, onsets, kSmallestGap, result);
    keepEnds(first.own, placed, result);
    countMoves(barTimes, result);
    if (result.tempoJumps > costs.doubtfulJumps) {
        onsetalignment::Alignment doubtful;
        doubtful.tempoJumps = result.tempoJumps;
        doubtful.error = QStringLiteral("The bars could not be matched to the recording's "
                                        "downbeats with confidence: the bars' lengths would jump "
                                        "from bar to bar.\nThe markers stay as they are.");
        return doubtful;
    }
    return result;
}

// Whether Align takes the bars: it refuses them where fewer than half are sure.
bool taken(const onsetalignment::Alignment& a, std::size_t bars)
{
    return a.ok() && 2 * static_cast<std::size_t>(a.matched) >= bars;
}

} // namespace

onsetalignment::Alignment align(const std::vector<double>& barTimes,
                                const std::vector<Onset>& onsets, const BarCosts& costs,
                                const onsetalignment::AlignmentProgress& progress)
{
    onsetalignment::Alignment result;
    const auto n = static_cast<int>(barTimes.size());
    if (onsets.empty()) {
        result.error = QStringLiteral("No notes were found in the recording.");
        return result;
    }
    if (n < 2) {
        result.error = QStringLiteral("There are too few bars to align.");
        return result;
    }
    for (int i = 1; i < n; ++i)
        if (!(barTimes[i] > barTimes[i - 1])) {
            result.error = QStringLiteral("The marker entries' times go backwards.");
            return result;
        }
    result = alignWith(barTimes, onsets, costs, onsetalignment::partOf(progress, 0, 2));
    if (result.cancelled || taken(result, barTimes.size()))
        return result;
    BarCosts plain = costs;
    plain.strongest = std::min(costs.strongest, kPlainStrength);
    onsetalignment::Alignment again =
        alignWith(barTimes, onsets, plain, onsetalignment::partOf(progress, 1, 2));
    return again.cancelled || taken(again, barTimes.size()) ? again : result;
}

} // namespace baralignment
