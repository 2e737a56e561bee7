#include "analysis/onsetalignment.h"

#include "analysis/alignmentfill.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace onsetalignment {

namespace {

constexpr float kNone = std::numeric_limits<float>::infinity();
constexpr float kNoStep = std::numeric_limits<float>::quiet_NaN();
// Entries closer than this count as this far apart when the tempo is taken: clicks that
// close together carry no tempo.
constexpr double kShortestStep = 0.1;
// How often a path that runs along an edge of its band is found again around itself.
constexpr int kRefinements = 6;
// The most onsets an entry's band holds.
constexpr int kWidestBand = 256;
// Clicks by hand scatter by a reaction time: typically this far from their notes at least.
constexpr double kClickScatter = 0.02;
// And typically no further than this from an onset (in the median): a hand scattering by
// up to 0.16 s lands that near. Clicks further from every onset are not near their notes.
// (On the corpus's tuning half, with clicks scattered by 0.08 s, anything from 0.1 to
// 0.15 s aligns alike within a point.)
constexpr double kHandNearOnsets = 0.12;
// Steps whose tempo is further than this factor from the entries' own are not considered.
const double kLargestLogTempo = std::log(16.0);

// Thrown out of a search when the caller's progress report asks to stop.
struct Cancelled {};

// The work of one alignment, reported as thousandths of an estimate: each search over the
// entries counts their number, and four searches are expected (two to find the path, two
// to weigh it); further ones report the last thousandth.
struct Work {
    const AlignmentProgress& report;
    long long total = 1;
    long long done = 0;
    void rows(int count)
    {
        done += count;
        if (report && !report(static_cast<int>(std::min(done * 1000 / total, 999LL)), 1000))
            throw Cancelled{};
    }
};

// The index of the smallest of values[0 .. count), the first of equals. Four running minima
// instead of one chain of comparisons: this is the alignment's innermost loop.
int smallest(float* values, int count)
{
    float m[4] = {kNone, kNone, kNone, kNone};
    int k = 0;
    for (; k + 4 <= count; k += 4)
        for (int l = 0; l < 4; ++l)
            m[l] = std::min(m[l], values[k + l]);
    for (; k < count; ++k)
        m[0] = std::min(m[0], values[k]);
    const float least = std::min(std::min(m[0], m[1]), std::min(m[2], m[3]));
    return static_cast<int>(std::find(values, values + count, least) - values);
}

// The dynamic programme over (entry i, onset j, how the path came there). The path's last
// step came from entry i - q and onset j - p (q in 1..Q, p in 1..P): state (q - 1) * P +
// (p - 1); state Q * P is a path that starts at (i, j). The tempo of the last step travels
// with the state, so the cost of a tempo change between neighbouring steps is exact.
//
// Entry i may take only the onsets of its band (see placeBand): at first between where its
// time and its place in the list point, then around a path found before. A path that runs
// along a band's edge is found again around itself, so the bands follow the path however
// far the entries' times lie from the notes, and the work and memory grow with the entries
// alone (times the band's width and the states).
class Aligner {
public:
    // guide: an onset for every entry that its band is centred on (one path found before),
    // or empty for the first band of each entry (see placeBand).
    Aligner(const std::vector<double>& t, const std::vector<Onset>& onsets,
            const AlignmentCosts& costs, bool spread, double perSecondOff,
            const std::vector<int>& guide = {}, bool keepCosts = false)
        : m_t(t)
        , m_c(costs)
        , m_n(static_cast<int>(t.size()))
        , m_m(static_cast<int>(onsets.size()))
        , m_perSecondOff(perSecondOff)
    {
        for (const Onset& o : onsets)
            m_u.push_back(o.time);

        // Onsets left over inside the marked stretch cost by the square of their strength
        // against the recording's median: a soft accompaniment note or a noise is cheap to
        // leave over, a loud melody note dear. Those outside the stretch are none of the
        // marking's business.
        const double median = medianStrength(onsets);
        m_skipBefore.assign(static_cast<std::size_t>(m_m) + 1, 0.0);
        int inside = 0;
        for (int j = 0; j < m_m; ++j) {
            const bool in = m_u[j] >= m_t.front() - 0.5 && m_u[j] <= m_t.back() + 0.5;
            if (in && inside++ == 0)
                m_firstInside = j;
            const double relative = std::min(onsets[j].strength / median, 3.0);
            const double weight = relative * relative;
            m_skipBefore[j + 1] = m_skipBefore[j] + (in ? m_c.leftOverOnset * weight : 0.0);
        }

        // How far back a step may reach: a few onsets more than there are per entry, a few
        // entries more than there are per onset; and at least as many onsets as lie densest
        // within two of the entries' steps, so that a step can pass a crowd of soft noises
        // (a breath, a reed's release in a rest) rather than spend an entry on one of them.
        const double perEntry = static_cast<double>(std::max(inside, 1)) / m_n;
        const double twoSteps = 2 * (m_t.back() - m_t.front()) / std::max(m_n - 1, 1);
        int densest = 0;
        for (int j = m_firstInside, first = m_firstInside;
             inside > 0 && j < m_m && m_u[j] <= m_t.back() + 0.5; ++j) {
            while (first < j && m_u[first] <= m_u[j] - twoSteps)
                ++first;
            densest = std::max(densest, j - first + 1);
        }
        m_P = std::clamp(std::max(static_cast<int>(std::ceil(2 * perEntry)) + 2, densest), 4, 24);
        m_Q = std::clamp(static_cast<int>(std::ceil(2 / perEntry)) + 1, 2, 8);
        m_states = m_Q * m_P + 1;
        // ln of the gap from each onset back to the P onsets before it.
        m_logGap.assign(static_cast<std::size_t>(m_m) * m_P, 0.0);
        for (int j = 0; j < m_m; ++j)
            for (int p = 1; p <= std::min(m_P, j); ++p)
                m_logGap[static_cast<std::size_t>(j) * m_P + p - 1] =
                    std::log(std::max(m_u[j] - m_u[j - p], 1e-9));

        // The band holds the onsets of `band` seconds either side at the stretch's mean
        // density, and enough for a step of P onsets in either direction.
        const double stretch = std::max(m_t.back() - m_t.front() + 1.0, 1.0);
        const double density = std::max(inside, 1) / stretch;
        m_width = std::clamp(static_cast<int>(std::ceil(2 * m_c.band * density)) + 2 * m_P, 4 * m_P,
                             kWidestBand);
        m_inside = inside;
        m_spread = spread || evenSteps(m_t);
        m_lo.assign(static_cast<std::size_t>(m_n), 0);
        m_hi.assign(static_cast<std::size_t>(m_n), 0);
        m_offset.assign(static_cast<std::size_t>(m_n) + 1, 0);
        int widest = 0;
        for (int i = 0; i < m_n; ++i) {
            placeBand(i, guide);
            widest = std::max(widest, m_hi[i] - m_lo[i]);
            m_offset[i + 1] = m_offset[i] + static_cast<std::size_t>(m_hi[i] - m_lo[i]);
        }
        m_rowSize = static_cast<std::size_t>(widest) * static_cast<std::size_t>(m_states);
        m_back.assign(m_offset.back() * static_cast<std::size_t>(m_states), 0);
        m_keepCosts = keepCosts;
        m_cost.assign(keepCosts ? m_back.size() : static_cast<std::size_t>(m_Q + 1) * m_rowSize,
                      kNone);
        m_tempo.assign(static_cast<std::size_t>(m_Q + 1) * m_rowSize, 0.0f);
        m_least.assign(m_offset.back(), kNone);
        m_leastTempo.assign(m_offset.back(), 0.0f);
    }

    // The onset each entry takes, or -1.
    std::vector<int> run()
    {
        double bestTotal = std::numeric_limits<double>::infinity();
        int bestI = -1, bestJ = -1, bestK = -1;
        for (int i = 0; i < m_n; ++i) {
            if (m_work && (i % 64 == 63 || i == m_n - 1))
                m_work->rows(i % 64 + 1);
            fillRow(i);
            for (int j = m_lo[i]; j < m_hi[i]; ++j) {
                const float* cost = stateCosts(i, j);
                const double tail = (m_n - 1 - i) * m_c.entryWithoutOnset +
                                    (m_skipBefore[static_cast<std::size_t>(m_m)] -
                                     m_skipBefore[static_cast<std::size_t>(j) + 1]);
                const int k = smallest(const_cast<float*>(cost), m_states);
                least(i, j) = cost[k];
                m_leastTempo[m_offset[i] + static_cast<std::size_t>(j - m_lo[i])] =
                    k == m_states - 1 ? kNoStep : cell(m_tempo, i, j)[k];
                if (cost[k] + tail < bestTotal) {
                    bestTotal = cost[k] + tail;
                    bestI = i;
                    bestJ = j;
                    bestK = k;
                }
            }
        }
        m_total = bestTotal;
        std::vector<int> match(static_cast<std::size_t>(m_n), -1);
        for (int i = bestI, j = bestJ, k = bestK; i >= 0;) {
            match[static_cast<std::size_t>(i)] = j;
            if (k == m_states - 1)
                break;
            const int previous = back(i, j)[k];
            i -= k / m_P + 1;
            j -= k % m_P + 1;
            k = previous;
        }
        return match;
    }

    // The cost of the best path found.
    double total() const { return m_total; }
    // The onsets of entry i's band: [bandStart, bandEnd).
    int bandStart(int i) const { return m_lo[i]; }
    int bandEnd(int i) const { return m_hi[i]; }
    // The least cost of a path from the first entry that ends with entry i on onset j, or
    // infinity when j is outside entry i's band.
    // Reports this search's progress to work (and stops it when work is cancelled).
    void watch(Work& work) { m_work = &work; }
    int states() const { return m_states; }
    // Every entry of the path, not only where it starts, pays for its distance from its
    // onset (a marking by hand, see alignWatched). Before run().
    void holdEachEntry() { m_each = true; }
    // The costs of the states of (i, j); only with the costs kept, j inside i's band.
    const float* stateCosts(int i, int j) const
    {
        return m_cost.data() + (m_offset[i] + static_cast<std::size_t>(j - m_lo[i])) *
                                   static_cast<std::size_t>(m_states);
    }
    // ln(tempo) of the last step of state k of (i, j), or kNoStep for a path starting there.
    float stateTempo(int i, int j, int k) const
    {
        if (k == m_states - 1)
            return kNoStep;
        const int q = k / m_P + 1, p = k % m_P + 1;
        if (q > i || p > j)
            return kNoStep;
        return static_cast<float>(m_logGap[static_cast<std::size_t>(j) * m_P + p - 1] -
                                  std::log(std::max(m_t[i] - m_t[i - q], kShortestStep)));
    }
    // ln(tempo) of the last step of that path, or kNoStep when the path starts there.
    float tempoTo(int i, int j) const
    {
        return m_leastTempo[m_offset[i] + static_cast<std::size_t>(j - m_lo[i])];
    }
    float leastTo(int i, int j) const
    {
        if (j < m_lo[i] || j >= m_hi[i])
            return kNone;
        return m_least[m_offset[i] + static_cast<std::size_t>(j - m_lo[i])];
    }

    // The costs of the states of (i, j): kept for every entry when asked for, else for the
    // last Q + 1.
    float* stateCosts(int i, int j)
    {
        if (!m_keepCosts)
            return cell(m_cost, i, j);
        return m_cost.data() + (m_offset[i] + static_cast<std::size_t>(j - m_lo[i])) *
                                   static_cast<std::size_t>(m_states);
    }
    float* cell(std::vector<float>& row, int i, int j)
    {
        return row.data() + static_cast<std::size_t>(i % (m_Q + 1)) * m_rowSize +
               static_cast<std::size_t>(j - m_lo[i]) * static_cast<std::size_t>(m_states);
    }
    uint8_t* back(int i, int j)
    {
        return m_back.data() + (m_offset[i] + static_cast<std::size_t>(j - m_lo[i])) *
                                   static_cast<std::size_t>(m_states);
    }
    float& least(int i, int j)
    {
        return m_least[m_offset[i] + static_cast<std::size_t>(j - m_lo[i])];
    }

    // Whether the path runs along an edge of its band, which may have kept it from the
    // notes: it is then found again with the bands centred on it.
    bool touchesEdge(const std::vector<int>& match) const
    {
        const int margin = std::max(2, m_width / 8);
        for (int i = 0; i < m_n; ++i) {
            const int j = match[static_cast<std::size_t>(i)];
            if (j >= 0 && ((m_lo[i] > 0 && j - m_lo[i] < margin) ||
                           (m_hi[i] < m_m && m_hi[i] - 1 - j < margin)))
                return true;
        }
        return false;
    }

private:
    // Entry i's band, at first, reaches from where its own time points to where its place
    // in the list points (the onset as far into the stretch's onsets as the entry is into
    // the entries), with half the band's width around each. The first is right for a
    // marking close to the notes, the second for an even spread over a recording whose
    // tempo changes: the share of the notes played does not depend on the tempo. With a
    // guide the band is centred on the guide's onset.
    void placeBand(int i, const std::vector<int>& guide)
    {
        int lo = 0, hi = 0;
        if (!guide.empty()) {
            lo = guide[static_cast<std::size_t>(i)] - m_width / 2;
            hi = lo + m_width;
        } else {
            const int byTime =
                static_cast<int>(std::lower_bound(m_u.begin(), m_u.end(), m_t[i]) - m_u.begin());
            const int byCount =
                m_firstInside +
                static_cast<int>(std::lround(static_cast<double>(i) * m_inside / m_n));
            lo = std::min(byTime, byCount) - m_width / 2;
            hi = std::max(byTime, byCount) + m_width / 2;
            if (hi - lo > kWidestBand) {
                // Too far apart for one band: an even spread says nothing but the count,
                // other markings are taken at their times.
                lo = (m_spread ? byCount : byTime) - kWidestBand / 2;
                hi = lo + kWidestBand;
            }
        }
        m_lo[i] = std::clamp(lo, 0, m_m);
        m_hi[i] = std::clamp(hi, m_lo[i], m_m);
    }

    void fillRow(int i)
    {
        const auto tempoChange = static_cast<float>(m_c.tempoChange);
        const auto firstTempo = static_cast<float>(m_c.firstTempo);
        float through[256]; // a predecessor state's cost plus the tempo change
        // ln of the entries' step back to each of the Q entries before this one.
        double logSteps[9];
        for (int q = 1; q <= std::min(m_Q, i); ++q)
            logSteps[q] = std::log(std::max(m_t[i] - m_t[i - q], kShortestStep));
        for (int j = m_lo[i]; j < m_hi[i]; ++j) {
            float* cost = stateCosts(i, j);
            float* tempo = cell(m_tempo, i, j);
            uint8_t* from = back(i, j);
            std::fill(cost, cost + m_states, kNone);
            const double off = m_perSecondOff * std::abs(m_u[j] - m_t[i]);
            // Each entry of a marking by hand stays near its own time; others only where a
            // path starts.
            const double each = m_each ? off : 0.0;
            // A path starting here: the entries before it have no onset, the onsets before
            // it inside the stretch are left over.
            cost[m_states - 1] = static_cast<float>(
                i * m_c.entryWithoutOnset + m_skipBefore[static_cast<std::size_t>(j)] + off);
            tempo[m_states - 1] = 0.0f;
            for (int q = 1; q <= std::min(m_Q, i); ++q) {
                const int pi = i - q;
                const double logStep = logSteps[q];
                for (int p = 1; p <= std::min(m_P, j); ++p) {
                    const int pj = j - p;
                    if (pj < m_lo[pi] || pj >= m_hi[pi])
                        continue;
                    const double logTempo =
                        m_logGap[static_cast<std::size_t>(j) * m_P + p - 1] - logStep;
                    if (std::abs(logTempo) > kLargestLogTempo)
                        continue;
                    const float* before = stateCosts(pi, pj);
                    const float* beforeTempo = cell(m_tempo, pi, pj);
                    const auto lt = static_cast<float>(logTempo);
                    const double level = m_c.tempoLevel * std::abs(logTempo);
                    const int last = m_states - 1;
                    for (int k = 0; k < last; ++k)
                        through[k] = before[k] + tempoChange * std::abs(lt - beforeTempo[k]);
                    through[last] = before[last] + firstTempo * std::abs(lt);
                    const int arg = smallest(through, m_states);
                    if (through[arg] == kNone)
                        continue;
                    const int k = (q - 1) * m_P + (p - 1);
                    cost[k] = through[arg] +
                              static_cast<float>((q - 1) * m_c.entryWithoutOnset + level + each +
                                                 m_skipBefore[static_cast<std::size_t>(j)] -
                                                 m_skipBefore[static_cast<std::size_t>(pj) + 1]);
                    tempo[k] = lt;
                    from[k] = static_cast<uint8_t>(arg);
                }
            }
        }
    }

    const std::vector<double>& m_t;
    const AlignmentCosts& m_c;
    const int m_n;
    const int m_m;
    const double m_perSecondOff;
    std::vector<double> m_u;
    std::vector<double> m_skipBefore; // cost of leaving over onsets 0 .. j-1
    int m_P = 0, m_Q = 0, m_states = 0, m_width = 0;
    int m_firstInside = 0, m_inside = 0; // the onsets inside the marked stretch
    bool m_spread = false;
    std::vector<double> m_logGap;
    std::vector<int> m_lo, m_hi;       // the onsets entry i may take: [lo, hi)
    std::vector<std::size_t> m_offset; // where entry i's band starts in the tables
    std::size_t m_rowSize = 0;
    Work* m_work = nullptr;
    bool m_keepCosts = false;
    bool m_each = false;
    std::vector<float> m_cost;  // the last Q + 1 entries' rows, or all of them
    std::vector<float> m_tempo; // ln(tempo) of each state's last step
    std::vector<uint8_t> m_back;
    std::vector<float> m_least;      // the least cost of each entry's band cells
    std::vector<float> m_leastTempo; // ln(tempo) of that path's last step, or kNoStep
    double m_total = 0;
};

// Whether each entry's onset is clearly its own: the best path that gives the entry any
// other onset of its band costs at least `sureMargin` more than the best path. The cost
// through (entry, onset) is the least cost of the paths to it plus that of the paths from
// it, the latter found by aligning the reversed entries to the reversed onsets. match is
// the path found so far; it becomes the best path of the bands around it, the one weighed.
std::vector<bool> sureEntries(const std::vector<double>& t, const std::vector<Onset>& onsets,
                              const AlignmentCosts& costs, bool spread, double perSecondOff,
                              bool each, std::vector<int>& match, Work& work)
{
    const int n = static_cast<int>(t.size()), m = static_cast<int>(onsets.size());
    Aligner forward(t, onsets, costs, spread, perSecondOff, guideFrom(match), true);
    if (each)
        forward.holdEachEntry();
    forward.watch(work);
    match = forward.run();
    std::vector<double> backT;
    std::vector<Onset> backOnsets;
    std::vector<int> backMatch;
    for (int i = n - 1; i >= 0; --i) {
        backT.push_back(-t[i]);
        backMatch.push_back(match[i] >= 0 ? m - 1 - match[i] : -1);
    }
    for (int j = m - 1; j >= 0; --j)
        backOnsets.push_back({-onsets[j].time, onsets[j].strength});
    Aligner backward(backT, backOnsets, costs, spread, perSecondOff, guideFrom(backMatch), true);
    if (each)
        backward.holdEachEntry();
    backward.watch(work);
    backward.run();
    std::vector<float> outTempo(static_cast<std::size_t>(backward.states()));

    std::vector<bool> sure(static_cast<std::size_t>(n), false);
    for (int i = 0; i < n; ++i) {
        const int own = match[i];
        if (own < 0)
            continue;
        // The two halves meet at (i, j): the tempo changes there from the step into it to
        // the step out of it. Every pair of their states is weighed.
        const auto through = [&](int j) {
            const int bi = n - 1 - i, bj = m - 1 - j;
            if (std::isinf(forward.leastTo(i, j)) || std::isinf(backward.leastTo(bi, bj)))
                return std::numeric_limits<double>::infinity();
            const float* in = forward.stateCosts(i, j);
            const float* out = backward.stateCosts(bi, bj);
            for (int k = 0; k < backward.states(); ++k)
                outTempo[static_cast<std::size_t>(k)] = backward.stateTempo(bi, bj, k);
            double least = std::numeric_limits<double>::infinity();
            for (int k = 0; k < forward.states(); ++k) {
                if (std::isinf(in[k]))
                    continue;
                const float a = forward.stateTempo(i, j, k);
                for (int l = 0; l < backward.states(); ++l) {
                    if (std::isinf(out[l]))
                        continue;
                    const float b = outTempo[static_cast<std::size_t>(l)];
                    double meet = 0;
                    if (!std::isnan(a) && !std::isnan(b))
                        meet = costs.tempoChange * std::abs(a - b);
                    else if (!std::isnan(a) || !std::isnan(b))
                        meet = costs.firstTempo * std::abs(std::isnan(a) ? b : a);
                    least = std::min(least, static_cast<double>(in[k]) + out[l] + meet);
                }
            }
            // Both halves count the entry's own distance from onset j where every entry does.
            return !each ? least : least - perSecondOff * std::abs(onsets[j].time - t[i]);
        };
        const double best = through(own);
        double other = std::numeric_limits<double>::infinity();
        for (int j = forward.bandStart(i); j < forward.bandEnd(i); ++j)
            if (j != own)
                other = std::min(other, through(j));
        sure[i] = other - best >= costs.sureMargin && !onsets[own].underHeldNote;
    }
    return sure;
}

Alignment searchAndWeigh(const std::vector<double>& entryTimes, const std::vector<Onset>& onsets,
                         const AlignmentCosts& costs, bool spread,
                         const AlignmentProgress& progress);

} // namespace

Alignment alignOnce(const std::vector<double>& entryTimes, const std::vector<Onset>& onsets,
                    const AlignmentCosts& costs, bool spread, const AlignmentProgress& progress)
{
    try {
        return searchAndWeigh(entryTimes, onsets, costs, spread, progress);
    } catch (const Cancelled&) {
        Alignment result;
        result.cancelled = true;
        return result;
    }
}

namespace {

Alignment searchAndWeigh(const std::vector<double>& entryTimes, const std::vector<Onset>& onsets,
                         const AlignmentCosts& costs, bool spread,
                         const AlignmentProgress& progress)
{
    Alignment result;
    for (std::size_t i = 1; i < entryTimes.size(); ++i) {
        if (entryTimes[i] < entryTimes[i - 1]) {
            result.error = QStringLiteral("The marker entries are not in time order: entry %1 "
                                          "(%2 s) is earlier than entry %3 (%4 s) before it. "
                                          "Put the entries in time order first.")
                               .arg(i + 1)
                               .arg(entryTimes[i], 0, 'f', 2)
                               .arg(i)
                               .arg(entryTimes[i - 1], 0, 'f', 2);
            return result;
        }
    }
    if (entryTimes.empty())
        return result;
    if (onsets.empty()) {
        result.error = QStringLiteral("No notes were found in the recording to align to.");
        return result;
    }
    // The band follows the path, so one pass finds the notes however far an even spread
    // lies from them.
    const auto offsets = [&](const std::vector<int>& match) {
        std::vector<double> out;
        for (std::size_t i = 0; i < match.size(); ++i)
            if (match[i] >= 0)
                out.push_back(std::abs(onsets[match[i]].time - entryTimes[i]));
        return out;
    };
    Work work{progress, 4 * static_cast<long long>(entryTimes.size())};
    Aligner first(entryTimes, onsets, costs, spread, 0);
    first.watch(work);
    std::vector<int> match = first.run();
    for (int pass = 0; pass < kRefinements; ++pass) {
        Aligner again(entryTimes, onsets, costs, spread, 0, guideFrom(match));
        again.watch(work);
        const std::vector<int> better = again.run();
        const bool done = better == match || !again.touchesEdge(better);
        match = better;
        if (done)
            break;
    }
    std::vector<double> off = offsets(match);
    const double scatter = typicalDistance(entryTimes, onsets);
    const bool ownTimes = !spread && !evenSteps(entryTimes);
    // Entries that lay close to their notes keep their places: a stretch shifted by one
    // note costs little tempo in a steady rhythm, but moves every entry of it.
    double perSecondOff = 0;
    if (!off.empty()) {
        std::nth_element(off.begin(), off.begin() + off.size() / 2, off.end());
        double typical = off[off.size() / 2];
        // Times of their own (by hand, typed) that lie near onsets lie about as near their
        // notes, however far the first path lies from them: found without regard to the
        // times, among dense onsets (an accompaniment's beats) it can slide a beat off every
        // click.
        if (ownTimes && typical >= costs.closeMarking && scatter < kHandNearOnsets)
            typical = scatter;
        // (The path is found again with this cost where the entries' confidence is.)
        if (typical < costs.closeMarking)
            perSecondOff = costs.displacement / std::max(typical, 0.02);
    }
    // A marking by hand (not spread) is sure of no onset far from an entry: how far, from
    // how far its entries typically lie from their nearest onsets, whatever path was found.
    // Entries typically closer than a click's scatter were aligned or typed: a far move
    // there is a tempo they did not follow, not a slip of the hand.
    double farthest = std::numeric_limits<double>::infinity();
    const bool byHand = ownTimes && scatter >= kClickScatter;
    if (byHand)
        farthest = costs.farthestMove * scatter;
    if (std::none_of(match.begin(), match.end(), [](int j) { return j >= 0; })) {
        result.error = QStringLiteral("None of the marker entries lies near a note of the "
                                      "recording.");
        return result;
    }
    const std::vector<bool> sure =
        sureEntries(entryTimes, onsets, costs, spread, perSecondOff, byHand, match, work);
    std::vector<int> placed(match);
    for (std::size_t i = 0; i < placed.size(); ++i)
        if (!sure[i] || std::abs(onsets[placed[i]].time - entryTimes[i]) > farthest)
            placed[i] = -1;
    // Times that were not spread (by hand, typed or aligned before) move onto their notes
    // alike, by a reaction time or not at all: moves that scatter widely follow onsets of
    // other sounds.
    if (!spread && !evenSteps(entryTimes) &&
        moveScatter(entryTimes, placed, onsets) > costs.doubtfulMoves)
        std::fill(placed.begin(), placed.end(), -1);
    // A click lands a reaction time after its note, give or take the hand's scatter: an
    // entry whose move differs from the sure entries' typical move by more than that
    // follows another sound (among dense onsets the path may pass near one).
    if (byHand)
        dropOddMoves(entryTimes, onsets, costs.oddMove, placed);
    settle(entryTimes, placed, onsets, kSmallestGap, result);
    return result;
}

} // namespace

} // namespace onsetalignment
