#include "analysis/beattrack.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace beattrack {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr float kInfF = std::numeric_limits<float>::infinity();
// Beats shorter or longer than these shares of the even spread's beat are not considered.
constexpr double kShortest = 0.4, kLongest = 2.5;
// At most this many onsets (the strongest) are considered for one beat. Where a bar holds
// many notes of about the same strength, fewer drop some of the beats' own onsets (runs of
// even notes, say, whose off-beats sound a little louder). The work and the memory grow
// with its square.
constexpr std::size_t kMostCandidates = 24;
// At most this many ways into a beat's candidate (from the beats before it) are followed
// on: the work grows with it.
constexpr int kMostWays = 8;
// At most this many beats are spanned by one step: a held note silences the beats it
// covers but the one it starts on.
constexpr int kLongestStep = 4;
// A downbeat counts as moved when it lies this far from the best count's.
constexpr double kOtherChoice = 0.05;
// The first beat may lie this long (seconds) after the start, which was set a little early.
constexpr double kEarlyStart = 0.15;
// The music may end up to this share of a bar after the end given, at BeatCosts::offStart per
// tenth of a second: an end set by hand a little early, on the last note rather than after
// it. (On the corpus's tuning half, with the start and end set in twelve ways: 81 more bars
// sure of the right onset, 9 more of 660 alignments taken, none more sure of a wrong onset;
// alike from 0.15 to 0.5 of a bar.)
constexpr double kLateMusicEnd = 0.25;

struct Candidate {
    double time = 0;
    double strength = 0; // against the median onset, at most BeatCosts::strongest
    int onset = -1;      // index into the onsets, -1 for the start and the end
};

// The states of beat j: the beat on candidate a after the beat heard before it, `step`
// beats earlier, on candidate b (beat 0 has no earlier one). Index a * width + offset[step]
// + b, where width is the number of earlier choices.
struct Layout {
    int width = 1;
    int offset[kLongestStep + 1] = {};
};

class Search {
public:
    Search(double start, double endFrom, double end, int count, int perBar,
           const std::vector<Onset>& onsets, const BeatCosts& costs)
        : m_costs(costs)
        , m_count(count)
        , m_perBar(perBar)
        , m_beat(((endFrom + end) / 2 - start) / count)
        , m_lnBeat(std::log(m_beat))
    {
        const double median = medianStrength(onsets);
        m_cand.resize(static_cast<std::size_t>(count) + 1);
        // The start was set by hand: up to a reaction time (but no more than a beat) after the
        // first note, or a little before it.
        m_cand[0] = candidates(onsets, start - std::min(kHandLag, m_beat),
                               start + std::min(kEarlyStart, m_beat / 2), median, costs.strongest);
        m_cand[0].push_back({start, 0, -1});
        for (int j = 1; j < count; ++j) {
            const double at = start + j * m_beat, reach = costs.band * m_beat * perBar;
            m_cand[j] = candidates(onsets, at - reach, at + reach, median, costs.strongest);
        }
        // The end: the one given, or where the music stops between endFrom and end, every
        // eighth of a beat.
        const int ends = 1 + static_cast<int>(std::ceil((end - endFrom) / (m_beat / 8)));
        for (int e = 0; e < ends; ++e)
            m_cand[count].push_back(
                {ends == 1 ? end : endFrom + (end - endFrom) * e / (ends - 1), 0, -1});
        m_givenEnds = ends;
        m_end = end;
        for (int e = 1; e <= static_cast<int>(8 * kLateMusicEnd * perBar); ++e)
            m_cand[count].push_back({end + e * m_beat / 8, 0, -1});
        m_layout.resize(m_cand.size());
        for (int j = 1; j <= count; ++j) {
            Layout& l = m_layout[j];
            l.width = 0;
            for (int m = 1; m <= kLongestStep && m <= j; ++m) {
                l.offset[m] = l.width;
                l.width += width(j - m);
            }
        }
    }

    int count() const { return m_count; }
    int width(int j) const { return static_cast<int>(m_cand[j].size()); }
    const Candidate& cand(int j, int a) const { return m_cand[j][a]; }
    const Layout& layout(int j) const { return m_layout[j]; }
    std::size_t states(int j) const
    {
        return static_cast<std::size_t>(width(j)) * m_layout[j].width;
    }
    bool downbeat(int j) const { return j % m_perBar == 0; }

    double startCost(int a) const
    {
        const Candidate& c = m_cand[0][a];
        const double off = c.time - m_cand[0].back().time;
        return (off < 0 ? -m_costs.offStartBefore : m_costs.offStart) * off / 0.1 -
               m_costs.downbeat * c.strength;
    }
    // ln of the beat's length that state s of beat j follows, or NaN at beat 0.
    double lnLength(int j, std::size_t s) const
    {
        if (j == 0)
            return std::numeric_limits<double>::quiet_NaN();
        const Layout& l = m_layout[j];
        const int a = static_cast<int>(s / l.width), rest = static_cast<int>(s % l.width);
        int m = 1;
        while (m < kLongestStep && m + 1 <= j && rest >= l.offset[m + 1])
            ++m;
        const int b = rest - l.offset[m];
        return std::log((m_cand[j][a].time - m_cand[j - m][b].time) / m);
    }
    // The cost of a step from beat j on candidate a to beat j + m on candidate c, without
    // the change of tempo: ln of the beat's length in lnLength, kInf out of reach.
    double stepCost(int j, int a, int m, int c, double& lnLength) const
    {
        const double length = (m_cand[j + m][c].time - m_cand[j][a].time) / m;
        if (length < kShortest * m_beat || length > kLongest * m_beat)
            return kInf;
        lnLength = std::log(length);
        const Candidate& to = m_cand[j + m][c];
        double cost =
            m_costs.tempoLevel * m * std::abs(lnLength - m_lnBeat) + m_costs.silent * (m - 1);
        if (to.onset >= 0)
            cost -= (downbeat(j + m) ? m_costs.downbeat : m_costs.beat) * to.strength;
        if (j + m == m_count && c >= m_givenEnds)
            cost += m_costs.offStart * (to.time - m_end) / 0.1;
        return cost;
    }
    double changeCost(int j, double lnBefore, double lnAfter) const
    {
        if (std::isnan(lnBefore))
            return m_costs.firstTempo * std::abs(lnAfter - m_lnBeat);
        return m_costs.tempoChange * (downbeat(j) ? m_costs.atBarLine : 1.0) *
               std::abs(lnAfter - lnBefore);
    }

private:
    // The onsets from `from` to `to` seconds; the strongest kMostCandidates of them.
    static std::vector<Candidate> candidates(const std::vector<Onset>& onsets, double from,
                                             double to, double median, double strongest)
    {
        std::vector<Candidate> found;
        auto it = std::lower_bound(onsets.begin(), onsets.end(), from,
                                   [](const Onset& o, double t) { return o.time < t; });
        for (; it != onsets.end() && it->time <= to; ++it)
            found.push_back({it->time, std::min(it->strength / median, strongest),
                             static_cast<int>(it - onsets.begin())});
        if (found.size() > kMostCandidates) {
            std::nth_element(
                found.begin(), found.begin() + kMostCandidates, found.end(),
                [](const Candidate& x, const Candidate& y) { return x.strength > y.strength; });
            found.resize(kMostCandidates);
            std::sort(found.begin(), found.end(),
                      [](const Candidate& x, const Candidate& y) { return x.time < y.time; });
        }
        return found;
    }

    const BeatCosts& m_costs;
    int m_count = 0, m_perBar = 1;
    int m_givenEnds = 1; // the end's candidates from endFrom to end; those after cost more
    double m_end = 0;
    double m_beat = 1, m_lnBeat = 0;
    std::vector<std::vector<Candidate>> m_cand;
    std::vector<Layout> m_layout;
};

// Calls visit(m, c, target, cost, lnLength) for every step from beat j on candidate a to
// beat j + m on candidate c, whose state there is `target`.
template <typename Visit> void eachStep(const Search& s, int j, int a, Visit&& visit)
{
    for (int m = 1; m <= kLongestStep && j + m <= s.count(); ++m) {
        const Layout& to = s.layout(j + m);
        for (int c = 0; c < s.width(j + m); ++c) {
            double ln = 0;
            const double cost = s.stepCost(j, a, m, c, ln);
            if (cost != kInf)
                visit(m, c, static_cast<std::size_t>(c) * to.width + to.offset[m] + a, cost, ln);
        }
    }
}

} // namespace

Beats track(double start, double endFrom, double end, int count, int perBar,
            const std::vector<Onset>& onsets, const BeatCosts& costs, const Progress& progress)
{
    Beats result;
    result.cost = kInf;
    if (count < 1 || perBar < 1 || !(end > start))
        return result;
    endFrom = std::clamp(endFrom, start + (end - start) / 2, end);
    const Search s(start, endFrom, end, count, perBar, onsets, costs);
    const int n = count;
    // forward: the best cost from the start into each state; back: the state before it.
    std::vector<std::vector<float>> forward(n + 1);
    // (A state is reached from one of a beat before the last, of which there are at most
    // kMostCandidates + 1 times kLongestStep times that many: two bytes hold its index.)
    static_assert((kMostCandidates + 1) * kLongestStep * (kMostCandidates + 1) < 0xFFFF);
    std::vector<std::vector<std::uint16_t>> back(n + 1);
    // ln of the beat's length each state of one beat follows.
    std::vector<double> lnOf;
    const auto lengths = [&](int j) {
        lnOf.resize(forward[j].size());
        for (std::size_t st = 0; st < lnOf.size(); ++st)
            lnOf[st] = s.lnLength(j, st);
    };
    for (int j = 0; j <= n; ++j) {
        forward[j].assign(j == 0 ? s.width(0) : s.states(j), kInfF);
        back[j].assign(forward[j].size(), 0xFFFF);
    }
    for (int a = 0; a < s.width(0); ++a)
        forward[0][a] = static_cast<float>(s.startCost(a));
    std::vector<float> kept;
    // The states of candidate a of beat j that a path reaches.
    std::vector<std::size_t> live;
    const auto reached = [&](int j, int a, int before) {
        live.clear();
        for (int p = 0; p < before; ++p) {
            const std::size_t st = static_cast<std::size_t>(a) * before + p;
            if (forward[j][st] != kInfF)
                live.push_back(st);
        }
        return !live.empty();
    };
    for (int j = 0; j < n; ++j) {
        lengths(j);
        const int before = j == 0 ? 1 : s.layout(j).width;
        // Of the ways into each candidate only the cheapest few go on: the others could
        // only win by a change of tempo the cheap ones do not pay.
        for (int a = 0; a < s.width(j) && before > kMostWays; ++a) {
            const auto from = forward[j].begin() + static_cast<std::ptrdiff_t>(a) * before;
            kept.assign(from, from + before);
            std::nth_element(kept.begin(), kept.begin() + kMostWays - 1, kept.end());
            const float worst = kept[kMostWays - 1];
            std::replace_if(
                from, from + before, [&](float f) { return f > worst; }, kInfF);
        }
        for (int a = 0; a < s.width(j); ++a) {
            if (!reached(j, a, before))
                continue;
            eachStep(s, j, a, [&](int m, int, std::size_t target, double cost, double ln) {
                for (const std::size_t st : live) {
                    const double total = forward[j][st] + cost + s.changeCost(j, lnOf[st], ln);
                    if (total < forward[j + m][target]) {
                        forward[j + m][target] = static_cast<float>(total);
                        back[j + m][target] = static_cast<std::uint16_t>(st);
                    }
                }
            });
        }
        if (progress && !progress(j, 2 * n)) {
            result.cancelled = true;
            return result;
        }
    }
    // The best count, from its end.
    std::size_t best = 0;
    for (std::size_t st = 1; st < forward[n].size(); ++st)
        if (forward[n][st] < forward[n][best])
            best = st;
    if (forward[n].empty() || forward[n][best] == kInfF)
        return result;
    result.cost = forward[n][best];
    result.times.assign(n + 1, 0);
    result.onset.assign(n + 1, -1);
    result.margin.assign(n + 1, kInf);
    for (int j = n;;) {
        const int a = j == 0 ? static_cast<int>(best) : static_cast<int>(best / s.layout(j).width);
        result.times[j] = s.cand(j, a).time;
        result.onset[j] = s.cand(j, a).onset;
        if (j == 0)
            break;
        const Layout& l = s.layout(j);
        const int rest = static_cast<int>(best % l.width);
        int m = 1;
        while (m < kLongestStep && m + 1 <= j && rest >= l.offset[m + 1])
            ++m;
        const int b = rest - l.offset[m];
        for (int k = 1; k < m; ++k)
            result.times[j - k] =
                result.times[j] + (s.cand(j - m, b).time - result.times[j]) * k / m;
        best = static_cast<std::size_t>(back[j][best]);
        j -= m;
    }
    // backward: the best cost from each state to the end, kept for the beats a step
    // reaches. Each downbeat's margin: the best total of the counts that move it.
    std::vector<std::vector<float>> backward(n + 1);
    backward[n].assign(forward[n].size(), 0.0F);
    std::vector<double> other(n + 1, kInf);
    for (int j = n - 1; j >= 0; --j) {
        const int before = j == 0 ? 1 : s.layout(j).width;
        lengths(j);
        backward[j].assign(forward[j].size(), kInfF);
        for (int a = 0; a < s.width(j); ++a) {
            if (!reached(j, a, before))
                continue;
            eachStep(s, j, a, [&](int m, int c, std::size_t target, double cost, double ln) {
                const float after = backward[j + m][target];
                if (after == kInfF)
                    return;
                for (const std::size_t st : live) {
                    const double here = cost + s.changeCost(j, lnOf[st], ln) + after;
                    if (here < backward[j][st])
                        backward[j][st] = static_cast<float>(here);
                    // Downbeats that this step passes over silently.
                    for (int k = 1; k < m; ++k) {
                        if (!s.downbeat(j + k))
                            continue;
                        const double t =
                            s.cand(j, a).time + (s.cand(j + m, c).time - s.cand(j, a).time) * k / m;
                        if (std::abs(t - result.times[j + k]) > kOtherChoice)
                            other[j + k] = std::min(other[j + k], forward[j][st] + here);
                    }
                }
            });
        }
        if (s.downbeat(j))
            for (std::size_t st = 0; st < forward[j].size(); ++st) {
                const int a = j == 0 ? static_cast<int>(st) : static_cast<int>(st / before);
                if (std::abs(s.cand(j, a).time - result.times[j]) > kOtherChoice &&
                    forward[j][st] != kInfF && backward[j][st] != kInfF)
                    other[j] =
                        std::min(other[j], static_cast<double>(forward[j][st]) + backward[j][st]);
            }
        if (j + kLongestStep <= n) {
            backward[j + kLongestStep].clear();
            backward[j + kLongestStep].shrink_to_fit();
        }
        if (progress && !progress(2 * n - j, 2 * n)) {
            result.cancelled = true;
            return result;
        }
    }
    for (int j = 0; j < n; ++j)
        if (s.downbeat(j))
            result.margin[j] = other[j] - result.cost;
    return result;
}

} // namespace beattrack
