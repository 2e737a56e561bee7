#include "analysis/baralignment.h"

#include "analysis/alignmentfill.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace baralignment {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kSmallestGap = 0.01;
// Bars shorter or longer than these shares of the spread's bar length are not considered.
constexpr double kShortest = 0.4, kLongest = 2.5;
// At most this many onsets (the strongest) are considered for one bar: the work grows with
// the cube of it.
constexpr std::size_t kMostCandidates = 40;
// Another onset for a bar counts as another choice when it lies this far from the chosen.
constexpr double kOtherChoice = 0.05;

struct Candidate {
    double time = 0;
    double strength = 0; // against the median onset, at most 3; 0 for no onset
    int onset = -1;      // index into the onsets, -1 for none
};

class Search {
public:
    Search(const std::vector<double>& bars, const std::vector<Onset>& onsets, const BarCosts& c)
        : m_bars(bars)
        , m_onsets(onsets)
        , m_costs(c)
        , m_n(static_cast<int>(bars.size()))
    {
        m_step = (bars.back() - bars.front()) / (m_n - 1);
        m_end = bars.back() + m_step;
        std::vector<double> s;
        for (const Onset& o : onsets)
            s.push_back(o.strength);
        std::nth_element(s.begin(), s.begin() + s.size() / 2, s.end());
        m_median = std::max(s[s.size() / 2], 1e-12);
        m_cand.resize(m_n + 1);
        for (int i = 0; i < m_n; ++i)
            m_cand[i] = candidates(i);
        m_cand[m_n] = {Candidate{m_end, 0, -1}};
    }

    int bars() const { return m_n; }
    int width(int i) const { return static_cast<int>(m_cand[i].size()); }
    const Candidate& cand(int i, int a) const { return m_cand[i][a]; }

    double startCost(int a) const
    {
        const Candidate& c = m_cand[0][a];
        return m_costs.offStart * std::abs(c.time - m_bars[0]) / 0.1 -
               m_costs.downbeat * c.strength;
    }
    // Bar i on candidate a after bar i-1 on candidate b, without the change of tempo; kInf
    // where the bar's length is out of reach.
    double stepCost(int i, int a, int b) const
    {
        const Candidate& ca = m_cand[i][a];
        const Candidate& cb = m_cand[i - 1][b];
        const double length = ca.time - cb.time;
        if (length < kShortest * m_step || length > kLongest * m_step)
            return kInf;
        const double spread = i < m_n ? m_bars[i] : m_end;
        double cost = m_costs.offSpread * std::abs(ca.time - spread) / m_step -
                      m_costs.downbeat * ca.strength - m_costs.beats * beatsFound(cb.time, length);
        if (i == 1)
            cost += m_costs.firstTempo * std::abs(std::log(length / m_step));
        return cost;
    }
    // The change of tempo from the bar (c to b) to the next (b to a).
    double tempoCost(int i, int a, int b, int c) const
    {
        const double length = m_cand[i][a].time - m_cand[i - 1][b].time;
        const double previous = m_cand[i - 1][b].time - m_cand[i - 2][c].time;
        return m_costs.tempoChange * std::abs(std::log(length / previous));
    }

private:
    std::vector<Candidate> candidates(int i) const
    {
        const double reach = i == 0 ? std::min(0.3, m_step / 2) : m_costs.band * m_step;
        std::vector<Candidate> found;
        auto it = std::lower_bound(m_onsets.begin(), m_onsets.end(), m_bars[i] - reach,
                                   [](const Onset& o, double t) { return o.time < t; });
        for (; it != m_onsets.end() && it->time <= m_bars[i] + reach; ++it)
            found.push_back({it->time, std::min(it->strength / m_median, 3.0),
                             static_cast<int>(it - m_onsets.begin())});
        if (found.size() > kMostCandidates) {
            std::nth_element(
                found.begin(), found.begin() + kMostCandidates, found.end(),
                [](const Candidate& x, const Candidate& y) { return x.strength > y.strength; });
            found.resize(kMostCandidates);
            std::sort(found.begin(), found.end(),
                      [](const Candidate& x, const Candidate& y) { return x.time < y.time; });
        }
        // The bar's own time stands for a downbeat that is not heard (a tie, a rest).
        found.push_back({m_bars[i], 0, -1});
        return found;
    }
    // The strongest onset within tolerance of t, against the median, as a share of 2.
    double strongestNear(double t, double tolerance) const
    {
        auto it = std::lower_bound(m_onsets.begin(), m_onsets.end(), t - tolerance,
                                   [](const Onset& o, double x) { return o.time < x; });
        double best = 0;
        for (; it != m_onsets.end() && it->time <= t + tolerance; ++it)
            best = std::max(best, std::min(it->strength / m_median, 2.0));
        return best / 2;
    }
    // How well onsets fall on an even division of a bar into 2, 3 or 4 beats, 0 ... 1.
    double beatsFound(double from, double length) const
    {
        double best = 0;
        for (int k = 2; k <= 4; ++k) {
            const double tolerance = std::min(0.06, 0.15 * length / k);
            double sum = 0;
            for (int m = 1; m < k; ++m)
                sum += strongestNear(from + m * length / k, tolerance);
            best = std::max(best, sum / (k - 1));
        }
        return best;
    }

    const std::vector<double>& m_bars;
    const std::vector<Onset>& m_onsets;
    const BarCosts& m_costs;
    int m_n = 0;
    double m_step = 0, m_end = 0, m_median = 1;
    std::vector<std::vector<Candidate>> m_cand;
};

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
    const Search s(barTimes, onsets, costs);
    // State (i, a, b): bar i on candidate a, bar i-1 on b; index a * width(i-1) + b. Bar n
    // is the end of the last bar. forward: the best cost from the start into the state;
    // backward: the best cost from the state to the end.
    std::vector<std::vector<double>> forward(n + 1), backward(n + 1);
    std::vector<std::vector<int>> back(n + 1);
    for (int i = 1; i <= n; ++i) {
        const int wa = s.width(i), wb = s.width(i - 1), wc = i >= 2 ? s.width(i - 2) : 0;
        forward[i].assign(static_cast<std::size_t>(wa) * wb, kInf);
        back[i].assign(static_cast<std::size_t>(wa) * wb, -1);
        for (int a = 0; a < wa; ++a)
            for (int b = 0; b < wb; ++b) {
                const double here = s.stepCost(i, a, b);
                if (here == kInf)
                    continue;
                double best = i == 1 ? s.startCost(b) : kInf;
                int from = -1;
                for (int c = 0; c < wc; ++c) {
                    const double before = forward[i - 1][b * wc + c];
                    if (before == kInf)
                        continue;
                    const double cost = before + s.tempoCost(i, a, b, c);
                    if (cost < best) {
                        best = cost;
                        from = c;
                    }
                }
                forward[i][a * wb + b] = best + here;
                back[i][a * wb + b] = from;
            }
        if (progress && !progress(i, 2 * n + 1)) {
            result.cancelled = true;
            return result;
        }
    }
    backward[n].assign(forward[n].size(), 0.0);
    for (int i = n - 1; i >= 1; --i) {
        const int wa = s.width(i), wb = s.width(i - 1), wx = s.width(i + 1);
        backward[i].assign(static_cast<std::size_t>(wa) * wb, kInf);
        for (int a = 0; a < wa; ++a)
            for (int b = 0; b < wb; ++b) {
                if (forward[i][a * wb + b] == kInf)
                    continue;
                double best = kInf;
                for (int x = 0; x < wx; ++x) {
                    const double after = backward[i + 1][x * wa + a];
                    const double step = s.stepCost(i + 1, x, a);
                    if (after == kInf || step == kInf)
                        continue;
                    best = std::min(best, after + step + s.tempoCost(i + 1, x, a, b));
                }
                backward[i][a * wb + b] = best;
            }
        if (progress && !progress(2 * n - i, 2 * n + 1)) {
            result.cancelled = true;
            return result;
        }
    }
    // The best path, from its end.
    const int w = s.width(n - 1);
    int last = -1;
    for (int b = 0; b < w; ++b)
        if (forward[n][b] != kInf && (last < 0 || forward[n][b] < forward[n][last]))
            last = b;
    if (last < 0) {
        result.error = QStringLiteral("The bars could not be matched to the recording: their "
                                      "lengths would change too much.");
        return result;
    }
    const double total = forward[n][last];
    std::vector<int> choice(n + 1, 0);
    choice[n - 1] = last;
    for (int i = n; i >= 2; --i)
        choice[i - 2] = back[i][choice[i] * s.width(i - 1) + choice[i - 1]];
    // Each bar's best cost on each of its candidates (the best path through it).
    std::vector<int> placed(n, -1);
    for (int i = 0; i < n; ++i) {
        const Candidate& chosen = s.cand(i, choice[i]);
        if (chosen.onset < 0)
            continue;
        const int j = i == 0 ? 1 : i; // the states that hold bar i
        const int wa = s.width(j), wb = s.width(j - 1);
        double other = kInf;
        for (int a = 0; a < wa; ++a)
            for (int b = 0; b < wb; ++b) {
                const Candidate& c = i == 0 ? s.cand(0, b) : s.cand(i, a);
                if (std::abs(c.time - chosen.time) <= kOtherChoice)
                    continue;
                const double f = forward[j][a * wb + b], g = backward[j][a * wb + b];
                if (f != kInf && g != kInf)
                    other = std::min(other, f + g);
            }
        if (other - total >= costs.sureMargin)
            placed[i] = chosen.onset;
    }
    onsetalignment::settle(barTimes, placed, onsets, kSmallestGap, result);
    return result;
}

} // namespace baralignment
