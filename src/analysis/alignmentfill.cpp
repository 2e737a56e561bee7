#include "analysis/alignmentfill.h"

#include "analysis/onsetalignment.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace onsetalignment {

namespace {

// The steps in one stretch of Alignment::tempoDrift.
constexpr int kDriftSteps = 4;

// The mean change of ln(tempo) (the onsets' gap against the entries' own) from one stretch
// of `steps` steps between the sure entries to the next; 0 with fewer than two stretches.
double tempoChange(const std::vector<double>& t, const std::vector<int>& placed,
                   const std::vector<double>& u, const std::vector<int>& sure, int steps)
{
    const auto stride = static_cast<std::size_t>(steps);
    double change = 0, last = 0;
    int count = 0;
    for (std::size_t k = 0; k + stride < sure.size(); k += stride) {
        const int from = sure[k], to = sure[k + stride];
        const double tempo = std::log(std::max(u[placed[to]] - u[placed[from]], 1e-3) /
                                      std::max(t[to] - t[from], 1e-3));
        if (k > 0) {
            change += std::abs(tempo - last);
            ++count;
        }
        last = tempo;
    }
    return count > 0 ? change / count : 0;
}

} // namespace

bool tempoDoubtful(const Alignment& a, const AlignmentCosts& costs)
{
    return a.tempoJumps > costs.doubtfulJumps && a.tempoDrift > costs.doubtfulDrift;
}

void keepApart(std::vector<double>& times, double gap)
{
    for (std::size_t i = 0; i < times.size(); ++i)
        times[i] = std::max(times[i], i == 0 ? 0.0 : times[i - 1] + gap);
}

// Times for the entries that took no onset: between two aligned neighbours in proportion
// to the entries' own spacing, before the first and after the last shifted with it.
std::vector<double> fillIn(const std::vector<double>& t, const std::vector<int>& match,
                           const std::vector<double>& u)
{
    std::vector<int> known;
    for (int i = 0; i < static_cast<int>(t.size()); ++i)
        if (match[i] >= 0)
            known.push_back(i);
    std::vector<double> out(t);
    if (known.empty())
        return out;
    for (const int i : known)
        out[i] = u[match[i]];
    const int first = known.front(), last = known.back();
    // Shifted with the first aligned entry; squeezed in their proportions between the
    // recording's start and that entry where the shift would take them before the start.
    const double lowest = std::max(0.0, t[0] + out[first] - t[first]);
    for (int k = 0; k < first; ++k) {
        const double share =
            t[first] > t[0] ? (t[k] - t[0]) / (t[first] - t[0]) : static_cast<double>(k) / first;
        out[k] = lowest + share * (out[first] - lowest);
    }
    for (int k = last + 1; k < static_cast<int>(t.size()); ++k)
        out[k] = t[k] + out[last] - t[last];
    for (std::size_t n = 1; n < known.size(); ++n) {
        const int a = known[n - 1], b = known[n];
        const double span = t[b] - t[a];
        for (int k = a + 1; k < b; ++k) {
            const double share =
                span > 0 ? (t[k] - t[a]) / span : static_cast<double>(k - a) / (b - a);
            out[k] = out[a] + share * (out[b] - out[a]);
        }
    }
    return out;
}

// An onset for every entry: its own, or one interpolated by entry between the onsets of
// its neighbours (held at either end).
std::vector<int> guideFrom(const std::vector<int>& match)
{
    std::vector<int> guide(match);
    int last = -1;
    for (int i = 0; i < static_cast<int>(match.size()); ++i) {
        if (match[i] < 0)
            continue;
        for (int k = last + 1; k < i; ++k)
            guide[k] =
                last < 0 ? match[i]
                         : match[last] +
                               static_cast<int>(std::lround(static_cast<double>(k - last) *
                                                            (match[i] - match[last]) / (i - last)));
        last = i;
    }
    for (int k = last + 1; k < static_cast<int>(match.size()); ++k)
        guide[k] = last < 0 ? 0 : match[last];
    return guide;
}

// Entries that are not placed keep their own times where these fit, in order, between the
// new times of the placed entries around them.
void keepOwnTimes(const std::vector<double>& t, const std::vector<int>& placed,
                  std::vector<double>& times, double gap)
{
    const int n = static_cast<int>(t.size());
    for (int a = 0; a < n;) {
        if (placed[a] >= 0) {
            ++a;
            continue;
        }
        int b = a;
        while (b < n && placed[b] < 0)
            ++b;
        // Entries a .. b - 1 are not placed.
        const double low = a > 0 ? times[a - 1] + gap : 0.0;
        const double high = b < n ? times[b] - gap : std::numeric_limits<double>::infinity();
        if (a > 0 && b < n && t[a] >= low && t[b - 1] <= high)
            std::copy(t.begin() + a, t.begin() + b, times.begin() + a);
        a = b;
    }
}

void settle(const std::vector<double>& entryTimes, const std::vector<int>& placed,
            const std::vector<Onset>& onsets, double gap, Alignment& result, bool keepOwn)
{
    std::vector<double> u;
    for (const Onset& o : onsets)
        u.push_back(o.time);
    result.times = fillIn(entryTimes, placed, u);
    if (keepOwn)
        keepOwnTimes(entryTimes, placed, result.times, gap);
    keepApart(result.times, gap);
    for (std::size_t i = 0; i < entryTimes.size(); ++i) {
        result.onOnset.push_back(placed[i] >= 0);
        result.onset.push_back(placed[i]);
        result.matched += placed[i] >= 0 ? 1 : 0;
        const double move = std::abs(result.times[i] - entryTimes[i]);
        result.moved += move >= 0.005 ? 1 : 0;
        if (move > result.largestMove) {
            result.largestMove = move;
            result.largestMoveEntry = static_cast<int>(i);
        }
    }
    // How much the tempo the sure entries follow changes from one step to the next, and from
    // one stretch of four steps to the next: the notes of a recording keep to a tempo, a
    // wrong choice among scattered onsets does not.
    std::vector<int> sure;
    for (int i = 0; i < static_cast<int>(placed.size()); ++i)
        if (placed[i] >= 0)
            sure.push_back(i);
    result.tempoJumps = tempoChange(entryTimes, placed, u, sure, 1);
    // Too few sure entries for two stretches: the steps alone tell.
    result.tempoDrift = sure.size() > 2 * static_cast<std::size_t>(kDriftSteps)
                            ? tempoChange(entryTimes, placed, u, sure, kDriftSteps)
                            : result.tempoJumps;
}

// Whether the steps are equal to a hundredth of a second, as automatic marking spreads the
// entries.
bool evenSteps(const std::vector<double>& t)
{
    for (std::size_t i = 1; i < t.size(); ++i)
        if (std::abs((t[i] - t[i - 1]) - (t[1] - t[0])) > 0.011)
            return false;
    return true;
}

double typicalDistance(const std::vector<double>& t, const std::vector<Onset>& onsets)
{
    std::vector<double> nearest;
    for (const double time : t) {
        const auto it = std::lower_bound(onsets.begin(), onsets.end(), time,
                                         [](const Onset& o, double x) { return o.time < x; });
        double d = std::numeric_limits<double>::infinity();
        if (it != onsets.end())
            d = it->time - time;
        if (it != onsets.begin())
            d = std::min(d, time - std::prev(it)->time);
        nearest.push_back(d);
    }
    if (nearest.empty())
        return 0;
    std::nth_element(nearest.begin(),
                     nearest.begin() + static_cast<std::ptrdiff_t>(nearest.size() / 2),
                     nearest.end());
    return nearest[nearest.size() / 2];
}

std::vector<int> agreedOnsets(const Alignment& result, const Alignment& check)
{
    // Where the even spread is sure of few entries it says little of the others: when it
    // agrees with nearly every entry it is sure of (and so with one entry in ten at
    // least), only the entries it places elsewhere are doubtful; else the two readings
    // of the stretch conflict, or the spread confirms nothing, and only the entries
    // they agree on are kept.
    int sureOfBoth = 0, agreeing = 0;
    for (std::size_t i = 0; i < result.onset.size(); ++i) {
        if (check.onset[i] < 0 || result.onset[i] < 0)
            continue;
        ++sureOfBoth;
        agreeing += check.onset[i] == result.onset[i] ? 1 : 0;
    }
    const bool confirmed =
        10 * agreeing >= 9 * sureOfBoth && 10 * agreeing >= static_cast<int>(result.onset.size());
    std::vector<int> placed(result.onset);
    for (std::size_t i = 0; i < placed.size(); ++i)
        if (check.onset[i] != placed[i] && (!confirmed || check.onset[i] >= 0))
            placed[i] = -1;
    return placed;
}

namespace {

// The moves of the placed entries onto their onsets, seconds.
std::vector<double> movesOf(const std::vector<double>& t, const std::vector<int>& placed,
                            const std::vector<Onset>& onsets)
{
    std::vector<double> moves;
    for (std::size_t i = 0; i < placed.size(); ++i)
        if (placed[i] >= 0)
            moves.push_back(onsets[static_cast<std::size_t>(placed[i])].time - t[i]);
    return moves;
}

// The median of v, reordering it.
double middle(std::vector<double>& v)
{
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

} // namespace

double moveScatter(const std::vector<double>& t, const std::vector<int>& placed,
                   const std::vector<Onset>& onsets)
{
    std::vector<double> moves = movesOf(t, placed, onsets);
    if (moves.size() < 3)
        return 0;
    const double median = middle(moves);
    for (double& m : moves)
        m = std::abs(m - median);
    return 1.4826 * middle(moves);
}

void dropOddMoves(const std::vector<double>& t, const std::vector<Onset>& onsets, double limit,
                  std::vector<int>& placed)
{
    std::vector<double> moves = movesOf(t, placed, onsets);
    if (moves.empty())
        return;
    const double median = middle(moves);
    for (std::size_t i = 0; i < placed.size(); ++i)
        if (placed[i] >= 0 &&
            std::abs(onsets[static_cast<std::size_t>(placed[i])].time - t[i] - median) > limit)
            placed[i] = -1;
}

std::function<bool(int, int)> partOf(const std::function<bool(int, int)>& progress, int part,
                                     int parts)
{
    if (!progress)
        return {};
    return [&progress, part, parts](int done, int total) {
        return progress((part * total + done) / parts, total);
    };
}

} // namespace onsetalignment
