#include "analysis/onsetalignment.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace onsetalignment {

double snap(double time, const std::vector<Onset>& onsets, double window)
{
    auto it = std::lower_bound(onsets.begin(), onsets.end(), time - window,
                               [](const Onset& o, double t) { return o.time < t; });
    const Onset* best = nullptr;
    for (; it != onsets.end() && it->time <= time + window; ++it) {
        if (!best || it->strength > best->strength ||
            (it->strength == best->strength &&
             std::abs(it->time - time) < std::abs(best->time - time)))
            best = &*it;
    }
    return best ? best->time : time;
}

void keepApart(std::vector<double>& times, double gap)
{
    for (std::size_t i = 0; i < times.size(); ++i)
        times[i] = std::max(times[i], i == 0 ? 0.0 : times[i - 1] + gap);
}

namespace {

// Entries never share a time after an alignment: of entries with one time only the last
// is ever shown.
constexpr double kSmallestGap = 0.01;
constexpr float kNone = std::numeric_limits<float>::infinity();
// Entries closer than this count as this far apart when the tempo is taken: clicks that
// close together carry no tempo.
constexpr double kShortestStep = 0.1;
// Steps whose tempo is further than this factor from the entries' own are not considered.
const double kLargestLogTempo = std::log(16.0);

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
class Aligner {
public:
    Aligner(const std::vector<double>& t, const std::vector<Onset>& onsets,
            const AlignmentCosts& costs, double reach, double perSecondOff)
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
        std::vector<double> strengths;
        for (const Onset& o : onsets)
            strengths.push_back(o.strength);
        std::nth_element(strengths.begin(), strengths.begin() + m_m / 2, strengths.end());
        const double median = std::max(strengths[static_cast<std::size_t>(m_m / 2)], 1e-12);
        m_skipBefore.assign(static_cast<std::size_t>(m_m) + 1, 0.0);
        int inside = 0;
        for (int j = 0; j < m_m; ++j) {
            const bool in = m_u[j] >= m_t.front() - 0.5 && m_u[j] <= m_t.back() + 0.5;
            inside += in ? 1 : 0;
            const double relative = std::min(onsets[j].strength / median, 3.0);
            const double weight = relative * relative;
            m_skipBefore[j + 1] = m_skipBefore[j] + (in ? m_c.leftOverOnset * weight : 0.0);
        }

        // How far back a step may reach: a few onsets more than there are per entry, a few
        // entries more than there are per onset.
        const double perEntry = static_cast<double>(std::max(inside, 1)) / m_n;
        m_P = std::clamp(static_cast<int>(std::ceil(2 * perEntry)) + 2, 4, 24);
        m_Q = std::clamp(static_cast<int>(std::ceil(2 / perEntry)) + 1, 2, 8);
        m_states = m_Q * m_P + 1;
        // ln of the gap from each onset back to the P onsets before it.
        m_logGap.assign(static_cast<std::size_t>(m_m) * m_P, 0.0);
        for (int j = 0; j < m_m; ++j)
            for (int p = 1; p <= std::min(m_P, j); ++p)
                m_logGap[static_cast<std::size_t>(j) * m_P + p - 1] =
                    std::log(std::max(m_u[j] - m_u[j - p], 1e-9));

        m_lo.resize(static_cast<std::size_t>(m_n));
        m_hi.resize(static_cast<std::size_t>(m_n));
        m_offset.resize(static_cast<std::size_t>(m_n) + 1, 0);
        int width = 0;
        for (int i = 0; i < m_n; ++i) {
            m_lo[i] = static_cast<int>(std::lower_bound(m_u.begin(), m_u.end(), m_t[i] - reach) -
                                       m_u.begin());
            m_hi[i] = static_cast<int>(std::upper_bound(m_u.begin(), m_u.end(), m_t[i] + reach) -
                                       m_u.begin());
            width = std::max(width, m_hi[i] - m_lo[i]);
            m_offset[i + 1] = m_offset[i] + static_cast<std::size_t>(m_hi[i] - m_lo[i]) *
                                                static_cast<std::size_t>(m_states);
        }
        m_back.assign(m_offset.back(), 0);
        m_rowSize = static_cast<std::size_t>(width) * static_cast<std::size_t>(m_states);
        m_cost.assign(static_cast<std::size_t>(m_Q + 1) * m_rowSize, kNone);
        m_tempo.assign(m_cost.size(), 0.0f);
    }

    // The onset each entry takes, or -1.
    std::vector<int> run()
    {
        double bestTotal = std::numeric_limits<double>::infinity();
        int bestI = -1, bestJ = -1, bestK = -1;
        for (int i = 0; i < m_n; ++i) {
            fillRow(i);
            for (int j = m_lo[i]; j < m_hi[i]; ++j) {
                const float* cost = cell(m_cost, i, j);
                const double tail = (m_n - 1 - i) * m_c.entryWithoutOnset +
                                    (m_skipBefore[static_cast<std::size_t>(m_m)] -
                                     m_skipBefore[static_cast<std::size_t>(j) + 1]);
                for (int k = 0; k < m_states; ++k) {
                    if (cost[k] + tail < bestTotal) {
                        bestTotal = cost[k] + tail;
                        bestI = i;
                        bestJ = j;
                        bestK = k;
                    }
                }
            }
        }
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

private:
    float* cell(std::vector<float>& row, int i, int j)
    {
        return row.data() + static_cast<std::size_t>(i % (m_Q + 1)) * m_rowSize +
               static_cast<std::size_t>(j - m_lo[i]) * static_cast<std::size_t>(m_states);
    }
    uint8_t* back(int i, int j)
    {
        return m_back.data() + m_offset[i] +
               static_cast<std::size_t>(j - m_lo[i]) * static_cast<std::size_t>(m_states);
    }

    void fillRow(int i)
    {
        const auto tempoChange = static_cast<float>(m_c.tempoChange);
        const auto firstTempo = static_cast<float>(m_c.firstTempo);
        float through[256]; // a predecessor state's cost plus the tempo change
        for (int j = m_lo[i]; j < m_hi[i]; ++j) {
            float* cost = cell(m_cost, i, j);
            float* tempo = cell(m_tempo, i, j);
            uint8_t* from = back(i, j);
            std::fill(cost, cost + m_states, kNone);
            const double off = m_perSecondOff * std::abs(m_u[j] - m_t[i]);
            // A path starting here: the entries before it have no onset, the onsets before
            // it inside the stretch are left over.
            cost[m_states - 1] = static_cast<float>(
                i * m_c.entryWithoutOnset + m_skipBefore[static_cast<std::size_t>(j)] + off);
            tempo[m_states - 1] = 0.0f;
            for (int q = 1; q <= std::min(m_Q, i); ++q) {
                const int pi = i - q;
                const double logStep = std::log(std::max(m_t[i] - m_t[pi], kShortestStep));
                for (int p = 1; p <= std::min(m_P, j); ++p) {
                    const int pj = j - p;
                    if (pj < m_lo[pi] || pj >= m_hi[pi])
                        continue;
                    const double logTempo =
                        m_logGap[static_cast<std::size_t>(j) * m_P + p - 1] - logStep;
                    if (std::abs(logTempo) > kLargestLogTempo)
                        continue;
                    const float* before = cell(m_cost, pi, pj);
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
                              static_cast<float>((q - 1) * m_c.entryWithoutOnset + level +
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
    int m_P = 0, m_Q = 0, m_states = 0;
    std::vector<double> m_logGap;
    std::vector<int> m_lo, m_hi; // the onsets entry i may take: [lo, hi)
    std::vector<std::size_t> m_offset;
    std::size_t m_rowSize = 0;
    std::vector<float> m_cost;  // the last Q + 1 entries' rows
    std::vector<float> m_tempo; // ln(tempo) of each state's last step
    std::vector<uint8_t> m_back;
};

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

} // namespace

Alignment align(const std::vector<double>& entryTimes, const std::vector<Onset>& onsets,
                const AlignmentCosts& costs)
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
    // A marking close to the notes (by hand, or already aligned) is aligned within the
    // narrow band; one whose path strays far (an even spread over a long recording) again
    // within the wide one.
    const auto offsets = [&](const std::vector<int>& match) {
        std::vector<double> out;
        for (std::size_t i = 0; i < match.size(); ++i)
            if (match[i] >= 0)
                out.push_back(std::abs(onsets[match[i]].time - entryTimes[i]));
        return out;
    };
    double reach = costs.band;
    std::vector<int> match = Aligner(entryTimes, onsets, costs, reach, 0).run();
    std::vector<double> off = offsets(match);
    if (!off.empty() && *std::max_element(off.begin(), off.end()) > reach / 3) {
        reach =
            std::max(2 * costs.band, costs.bandShare * (entryTimes.back() - entryTimes.front()));
        match = Aligner(entryTimes, onsets, costs, reach, 0).run();
        off = offsets(match);
    }
    // Entries that lay close to their notes keep their places: a stretch shifted by one
    // note costs little tempo in a steady rhythm, but moves every entry of it.
    if (!off.empty()) {
        std::nth_element(off.begin(), off.begin() + off.size() / 2, off.end());
        const double typical = off[off.size() / 2];
        if (typical < costs.closeMarking)
            match = Aligner(entryTimes, onsets, costs, reach,
                            costs.displacement / std::max(typical, 0.02))
                        .run();
    }
    if (std::none_of(match.begin(), match.end(), [](int j) { return j >= 0; })) {
        result.error = QStringLiteral("None of the marker entries lies near a note of the "
                                      "recording.");
        return result;
    }
    std::vector<double> u;
    for (const Onset& o : onsets)
        u.push_back(o.time);
    result.times = fillIn(entryTimes, match, u);
    keepApart(result.times, kSmallestGap);
    for (std::size_t i = 0; i < entryTimes.size(); ++i) {
        result.onOnset.push_back(match[i] >= 0);
        result.matched += match[i] >= 0 ? 1 : 0;
        const double move = std::abs(result.times[i] - entryTimes[i]);
        result.moved += move >= 0.005 ? 1 : 0;
        if (move > result.largestMove) {
            result.largestMove = move;
            result.largestMoveEntry = static_cast<int>(i);
        }
    }
    return result;
}

} // namespace onsetalignment
