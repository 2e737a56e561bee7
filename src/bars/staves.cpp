#include "bars/staves.h"

#include <algorithm>
#include <cmath>

namespace bars {

namespace {

// A band whose long runs cover less than this share of those of the band a staff starts
// with is not one of its lines.
constexpr double kShorterBand = 0.5;
// The rows of a band whose long runs cover at least this share of its strongest row's are
// its line.
constexpr double kLineCore = 0.7;

struct Band {
    double middle = 0;
    int first = 0;
    int last = 0;
    double score = 0; // ink in long runs along its strongest row
};

// A row carries staff lines where its long runs cover at least kLongRows of the strongest
// row's. A staff far shorter than the page's longest ones (the last line of a piece, a single
// bar long) is looked for again where no staff was found, among rows at kShortStaffRows, with
// the line distance of the staves found (within kSameSpace of it).
constexpr double kLongRows = 0.2;
constexpr double kShortStaffRows = 0.08;
constexpr double kSameSpace = 0.15;

// How much ink in long horizontal runs each row carries.
std::vector<double> rowScores(const Raster& raster, const LineMetrics& metrics)
{
    const int minRun = std::max(4, int(metrics.distance));
    std::vector<double> score(size_t(raster.height), 0);
    for (int y = 0; y < raster.height; ++y) {
        qint64 sum = 0;
        raster.forEachRun(y, minRun, [&sum](int start, int end) { sum += end - start; });
        score[size_t(y)] = double(sum);
    }
    return score;
}

// Rows that carry long horizontal strokes, merged into bands: candidate staff lines. A row
// counts where its long runs (`score`, see rowScores) cover at least `share` of the
// strongest row's.
std::vector<Band> lineBands(const Raster& raster, const LineMetrics& metrics,
                            const std::vector<double>& score, double share)
{
    const double best = score.empty() ? 0 : *std::max_element(score.begin(), score.end());
    const double threshold = std::max(share * best, 8 * metrics.distance);
    const int maxThickness = std::max(3, int(std::ceil(0.6 * metrics.distance)));
    std::vector<Band> bands;
    int y = 0;
    while (y < raster.height) {
        if (score[size_t(y)] < threshold) {
            ++y;
            continue;
        }
        const int first = y;
        double strongest = 0;
        while (y < raster.height && score[size_t(y)] >= threshold) {
            strongest = std::max(strongest, score[size_t(y)]);
            ++y;
        }
        const int last = y - 1;
        // The lines are the stretch's strongest rows: flat beams lying along a line through bar
        // after bar (chords repeated in eighths) join its stretch with shorter runs, which
        // neither thicken the line nor move its middle; beams lying between two lines on a
        // noisy copy join both lines into one stretch, whose two strongest runs of rows
        // are both lines.
        const double floor = kLineCore * strongest;
        for (int r = first; r <= last;) {
            if (score[size_t(r)] < floor) {
                ++r;
                continue;
            }
            Band band;
            band.first = r;
            while (r <= last && score[size_t(r)] >= floor) {
                band.score = std::max(band.score, score[size_t(r)]);
                ++r;
            }
            band.last = r - 1;
            if (band.last - band.first + 1 > maxThickness)
                continue;
            double weight = 0;
            double sum = 0;
            for (int k = band.first; k <= band.last; ++k) {
                weight += score[size_t(k)];
                sum += score[size_t(k)] * k;
            }
            band.middle = sum / weight;
            bands.push_back(band);
        }
    }
    return bands;
}

// The columns where a staff's lines are drawn: the longest stretch in which at least three
// of the five lines have ink, gaps shorter than a line distance bridged.
void staffExtent(const Raster& raster, Staff& staff, double thickness)
{
    const int reach = int(std::ceil(thickness / 2)) + 1;
    int bestLeft = 0;
    int bestRight = -1;
    int runLeft = -1;
    int lastOn = -1;
    const int bridge = int(std::ceil(staff.space));
    for (int x = 0; x <= raster.width; ++x) {
        bool on = false;
        if (x < raster.width) {
            int count = 0;
            for (const double line : staff.lines) {
                const int y = int(std::lround(line));
                for (int dy = -reach; dy <= reach; ++dy)
                    if (raster.at(x, y + dy)) {
                        ++count;
                        break;
                    }
            }
            on = count >= 3;
        }
        if (on) {
            if (runLeft < 0 || x - lastOn > bridge)
                runLeft = x;
            lastOn = x;
            if (lastOn - runLeft > bestRight - bestLeft) {
                bestLeft = runLeft;
                bestRight = lastOn;
            }
        }
    }
    staff.left = bestLeft;
    staff.right = bestRight;
}

// The staves the bands make: five evenly spaced bands in a row, as long as a few bars at
// least, added to `staves`.
void stavesOf(const Raster& raster, const LineMetrics& metrics, const std::vector<Band>& bands,
              std::vector<Staff>& staves)
{
    std::vector<bool> used(bands.size(), false);
    for (size_t i = 0; i < bands.size(); ++i) {
        if (used[i])
            continue;
        std::vector<size_t> chain{i};
        double space = 0;
        // Up to two more evenly spaced bands are followed: a beam or a ledger line a space
        // beyond the staff is told from the staff's own lines by its shorter strokes.
        for (size_t j = i + 1; j < bands.size() && chain.size() < 7; ++j) {
            // Beams lying flat through bar after bar make bands of their own between the
            // lines, with runs far shorter than the lines': they are passed over.
            if (bands[j].score < kShorterBand * bands[i].score)
                continue;
            const double gap = bands[j].middle - bands[chain.back()].middle;
            const double expected = space > 0 ? space : metrics.distance;
            const double tolerance = space > 0 ? 0.2 : 0.4;
            if (gap < expected * (1 - tolerance))
                continue;
            if (gap > expected * (1 + tolerance))
                break;
            if (space == 0)
                space = gap;
            chain.push_back(j);
        }
        if (chain.size() < 5)
            continue;
        size_t best = 0;
        double bestScore = -1;
        for (size_t k = 0; k + 5 <= chain.size(); ++k) {
            double weakest = bands[chain[k]].score;
            for (size_t m = k; m < k + 5; ++m)
                weakest = std::min(weakest, bands[chain[m]].score);
            if (weakest > bestScore) {
                bestScore = weakest;
                best = k;
            }
        }
        chain = std::vector<size_t>(chain.begin() + long(best), chain.begin() + long(best) + 5);
        // A chain begun on a beam or a ledger line above a staff found already can run on
        // into that staff's own lines and pick them again: a line is one staff's only.
        if (std::any_of(chain.begin(), chain.end(), [&](size_t k) { return bool(used[k]); }))
            continue;
        Staff staff;
        for (size_t k = 0; k < 5; ++k)
            staff.lines[k] = bands[chain[k]].middle;
        staff.space = (staff.lines[4] - staff.lines[0]) / 4;
        staffExtent(raster, staff, metrics.thickness);
        if (staff.right - staff.left < 10 * staff.space)
            continue;
        for (const size_t k : chain)
            used[k] = true;
        staves.push_back(staff);
    }
}

} // namespace

std::vector<Staff> findStaves(const Raster& raster, const LineMetrics& metrics)
{
    std::vector<Staff> staves;
    if (raster.empty() || metrics.distance < 4)
        return staves;
    const std::vector<double> score = rowScores(raster, metrics);
    stavesOf(raster, metrics, lineBands(raster, metrics, score, kLongRows), staves);
    if (staves.empty())
        return staves;
    // Short staves, between and below the long ones, with the long ones' line distance.
    std::vector<double> spaces;
    for (const Staff& staff : staves)
        spaces.push_back(staff.space);
    std::nth_element(spaces.begin(), spaces.begin() + long(spaces.size() / 2), spaces.end());
    const double space = spaces[spaces.size() / 2];
    std::vector<Band> free = lineBands(raster, metrics, score, kShortStaffRows);
    std::erase_if(free, [&](const Band& band) {
        return std::any_of(staves.begin(), staves.end(), [&](const Staff& staff) {
            return band.middle > staff.lines[0] - 1.5 * staff.space &&
                   band.middle < staff.lines[4] + 1.5 * staff.space;
        });
    });
    std::vector<Staff> shorter;
    stavesOf(raster, metrics, free, shorter);
    for (const Staff& staff : shorter)
        if (std::abs(staff.space - space) <= kSameSpace * space)
            staves.push_back(staff);
    std::sort(staves.begin(), staves.end(),
              [](const Staff& a, const Staff& b) { return a.lines[0] < b.lines[0]; });
    return staves;
}

namespace {

// True when ink connects the bottom line of `upper` with the top line of `lower` in the
// columns just left of and at their start (a brace, a bracket or a line). A brace that
// stands within a line distance of the lines reads as where they start (see staffExtent),
// so the line that opens the system may lie up to two and a half distances right of that start: on
// a noisy scan that line may be the only connection left whole, the brace's thin point broken.
bool joinedAtStart(const Raster& raster, const Staff& upper, const Staff& lower)
{
    const double space = (upper.space + lower.space) / 2;
    if (std::abs(upper.left - lower.left) > 2 * space)
        return false;
    const int from = std::max(0, int(std::min(upper.left, lower.left) - 3.5 * space));
    const int to = std::min(raster.width - 1, int(std::max(upper.left, lower.left) + 2.5 * space));
    const int width = to - from + 1;
    if (width <= 0)
        return false;
    std::vector<std::uint8_t> reach(size_t(width), 0);
    std::vector<std::uint8_t> next(size_t(width), 0);
    const int top = upper.bottom();
    const int bottom = lower.top();
    for (int x = 0; x < width; ++x)
        reach[size_t(x)] = raster.at(from + x, top) ? 1 : 0;
    for (int y = top + 1; y <= bottom; ++y) {
        bool any = false;
        for (int x = 0; x < width; ++x) {
            const bool near = reach[size_t(x)] || (x > 0 && reach[size_t(x) - 1]) ||
                              (x + 1 < width && reach[size_t(x) + 1]);
            next[size_t(x)] = near && raster.at(from + x, y) ? 1 : 0;
        }
        // Along a row the ink carries the connection sideways (the curl of a brace).
        for (int x = 1; x < width; ++x)
            if (!next[size_t(x)] && next[size_t(x) - 1] && raster.at(from + x, y))
                next[size_t(x)] = 1;
        for (int x = width - 2; x >= 0; --x)
            if (!next[size_t(x)] && next[size_t(x) + 1] && raster.at(from + x, y))
                next[size_t(x)] = 1;
        for (int x = 0; x < width; ++x)
            any = any || next[size_t(x)];
        if (!any)
            return false;
        reach.swap(next);
    }
    return true;
}

} // namespace

std::vector<std::vector<int>> groupSystems(const Raster& raster, const std::vector<Staff>& staves)
{
    std::vector<std::vector<int>> systems;
    for (int i = 0; i < int(staves.size()); ++i) {
        if (!systems.empty() && joinedAtStart(raster, staves[size_t(i) - 1], staves[size_t(i)]))
            systems.back().push_back(i);
        else
            systems.push_back({i});
    }
    return systems;
}

} // namespace bars
