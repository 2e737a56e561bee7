#include "bars/barlines.h"

#include "bars/repeatsigns.h"
#include "bars/signatures.h"

#include <algorithm>
#include <cmath>

namespace bars {

namespace {

struct Stroke {
    int left = 0;
    int right = 0;
    bool clean = true; // no note head at its ends, paper beside it
    int middle() const { return (left + right) / 2; }
};

// Rows [from, to] in which any of columns [left, right] has ink, as a share of the rows.
double inkedRows(const Raster& raster, int left, int right, int from, int to)
{
    if (to < from)
        return 0;
    int count = 0;
    for (int y = from; y <= to; ++y)
        for (int x = left; x <= right; ++x)
            if (raster.at(x, y)) {
                ++count;
                break;
            }
    return double(count) / double(to - from + 1);
}

// Whether a stem's note head may sit beside the stroke's `end` on `side`: a stem up has its
// head at its lower end on its left, a stem down at its upper end on its right (a chord's
// second on the other side comes with one there too). Ink at the other two corners is an
// accidental that follows a bar line closely, joined to it by a copy's blur, or the beam or
// flag of a stem whose head is found. (A ring of ink is looked for at every corner: a blurred
// hollow head is often seen only by the ring its beam closes elsewhere.)
bool headCorner(const Staff& staff, int end, int side)
{
    return (end == staff.top()) == (side > 0);
}

// A hollow note head beside the stroke at one of its ends: paper enclosed by ink in the
// box beside the end, small as the inside of a head. A stem runs from its head's edge, so
// the ring closes against the stroke; paper beside a bar line reaches out of the box.
// Columns in `skip` (another stroke of the bar line) close the box.
bool hollowHeadBeside(const Raster& raster, const Staff& staff, const std::vector<bool>& lineRow,
                      const std::vector<bool>& skip, int left, int right)
{
    const double space = staff.space;
    const int wide = std::max(3, int(1.6 * space));
    const int high = std::max(2, int(1.2 * space));
    const int smallest = std::max(2, int(0.03 * space * space));
    const int largest = std::max(smallest + 1, int(0.5 * space * space));
    for (const int side : {-1, 1}) {
        // Columns of the box outward from the stroke: right of its ink, or from the column
        // of paper left of it.
        const int first = side < 0 ? left : right + 1;
        int columns = 0;
        while (columns < wide) {
            const int x = first + side * columns;
            if (x < 0 || x >= raster.width || skip[size_t(x)])
                break;
            ++columns;
        }
        if (columns < 2)
            continue;
        for (const int end : {staff.top(), staff.bottom()}) {
            const int top = end - high;
            const int rows = 2 * high + 1;
            std::vector<std::uint8_t> seen(size_t(columns) * rows, 0);
            const auto paper = [&](int c, int r) {
                return !raster.at(first + side * c, top + r);
            };
            std::vector<std::pair<int, int>> stack;
            for (int c0 = 0; c0 < columns; ++c0)
                for (int r0 = 0; r0 < rows; ++r0) {
                    if (seen[size_t(r0) * columns + c0] || !paper(c0, r0))
                        continue;
                    // One piece of paper: its size and whether it reaches the box's edge.
                    int size = 0;
                    bool open = false;
                    int rim = 0;           // ink right above and below it
                    int ringed = 0;        // of that, off the staff lines
                    bool attached = false; // ink all the way from the stroke in one of its rows
                    stack.assign(1, {c0, r0});
                    seen[size_t(r0) * columns + c0] = 1;
                    while (!stack.empty()) {
                        const auto [c, r] = stack.back();
                        stack.pop_back();
                        ++size;
                        // (The rows of a line join anything beside the stroke to it.)
                        if (!attached &&
                            !lineRow[size_t(std::clamp(top + r, 0, raster.height - 1))]) {
                            int k = 0;
                            while (k < c && !paper(k, r))
                                ++k;
                            attached = k == c;
                        }
                        for (const int dr : {-1, 1}) {
                            const int y = top + r + dr;
                            if (y < 0 || y >= raster.height || !raster.at(first + side * c, y))
                                continue;
                            ++rim;
                            ringed += lineRow[size_t(y)] ? 0 : 1;
                        }
                        if (r == 0 || r == rows - 1 || c == columns - 1 || top + r < 0 ||
                            top + r >= raster.height)
                            open = true;
                        const std::pair<int, int> next[4] = {
                            {c - 1, r}, {c + 1, r}, {c, r - 1}, {c, r + 1}};
                        for (const auto& [nc, nr] : next)
                            if (nc >= 0 && nc < columns && nr >= 0 && nr < rows &&
                                !seen[size_t(nr) * columns + nc] && paper(nc, nr)) {
                                seen[size_t(nr) * columns + nc] = 1;
                                stack.push_back({nc, nr});
                            }
                    }
                    if (!open && attached && 2 * ringed >= rim && size >= smallest &&
                        size <= largest)
                        return true;
                }
        }
    }
    return false;
}

// A note head touching the stroke at one of its ends, on either side: the box beside the
// end is largely ink between the lines and the ink is fixed to the stroke (a hollow head
// fills less of the box but touches the stem along more of its height). A stem has its
// head there; a bar line has paper or at most the thin strokes of an accidental or the
// small dots of a repeat sign. runsOnAbove, runsOnBelow: the stroke runs on past that end
// of the staff into the next staff of its system.
bool headBeside(const Raster& raster, const Staff& staff, const std::vector<bool>& lineRow,
                const std::vector<bool>& through, int left, int right, bool runsOnAbove,
                bool runsOnBelow)
{
    const int reach = std::max(2, int(0.9 * staff.space));
    const int half = std::max(1, int(0.7 * staff.space));
    // Columns that tell nothing of a head: the other strokes of a double bar line or a
    // repeat sign with a column of blur either side, and the narrow gap between this stroke and
    // such a neighbour, which a blurred copy fills with grey.
    const int gapReach = std::max(2, int(0.6 * staff.space));
    std::vector<bool> skip(size_t(raster.width), false);
    for (int x = 0; x < raster.width; ++x)
        if (through[size_t(x)] && (x < left || x > right))
            for (int c = std::max(0, x - 1); c <= std::min(raster.width - 1, x + 1); ++c)
                skip[size_t(c)] = true; // with its blur
    for (int x = left; x <= right; ++x)
        skip[size_t(x)] = false;
    for (const int side : {-1, 1}) {
        const int edge = side < 0 ? left : right;
        for (int d = 1; d <= gapReach; ++d) {
            const int x = edge + side * d;
            if (x < 0 || x >= raster.width || !skip[size_t(x)])
                continue;
            for (int g = side < 0 ? 0 : 1; g < d; ++g) // left of a stroke its column 0 is paper
                skip[size_t(edge + side * g)] = true;
            break;
        }
    }
    if (hollowHeadBeside(raster, staff, lineRow, skip, left, right))
        return true;
    // Whether column x is inked along at least `share` of the rows from `from` to `to` (the
    // lines left out) with paper beyond it: the stroke's own ink, not a head.
    const auto ownInk = [&](int x, int side, int from, int to, double share) {
        int rows = 0;
        int inked = 0;
        int beyond = 0;
        for (int y = from; y <= to; ++y) {
            if (y < 0 || y >= raster.height || lineRow[size_t(y)])
                continue;
            ++rows;
            inked += raster.at(x, y) ? 1 : 0;
            beyond += raster.at(x + side, y) ? 1 : 0;
        }
        return rows > 0 && inked >= share * rows && beyond <= 0.2 * rows;
    };
    // A bar line turned a little, or blurred, spills a column beyond its run towards one
    // end: a single column of ink along the space at that end with paper beyond it, where
    // a note head beside a stem spreads on. At a lower resolution or a larger turn the
    // column is inked along much of the staff's height: a head beside a stem fills a space
    // or two at one end, never half of the staff. Where the stroke runs on past the end into
    // the next staff, the space beyond the end is looked at too: straightening a turned page
    // can leave such a stroke a step of a column at the staff's end, inked a space or so
    // either side of it, where a head fills about one space.
    const auto ownColumn = [&](int x, int side, int end) {
        const bool top = end == staff.top();
        const int space = int(staff.space);
        const int from = top ? end - (runsOnAbove ? space : 0) : end - space;
        const int to = top ? end + space : end + (runsOnBelow ? space : 0);
        return ownInk(x, side, from, to, 0.8) || ownInk(x, side, staff.top(), staff.bottom(), 0.5);
    };
    // Whether column x's ink through line row y runs on off the lines for a quarter of a
    // space or more into the staff (`inward`: +1 down, -1 up), or three tenths out of it: a
    // head on a line spreads half a space either side of it, and one just outside the staff
    // a whole space beyond its line; a line that a turn or the blur leaves a row thicker
    // along a stretch does not, nor (at 150 dpi and more) the corner of a bar line and an
    // outer line, which the straightening of a turned page smears a row outwards.
    const int offLine = std::max(1, int(0.25 * staff.space));
    const auto inkRunsOffLine = [&](int x, int y, int inward) {
        for (const int dy : {inward, -inward}) {
            const int enough = dy == inward ? offLine : std::max(1, int(0.3 * staff.space));
            int off = 0;
            for (int r = y; r >= 0 && r < raster.height && raster.at(x, r); r += dy)
                if (!lineRow[size_t(r)] && ++off >= enough)
                    return true;
        }
        return false;
    };
    for (const int end : {staff.top(), staff.bottom()}) {
        for (const int side : {-1, 1}) {
            if (!headCorner(staff, end, side))
                continue;
            int edge = side < 0 ? left : right;
            if (ownColumn(side < 0 ? left : right + 1, side, end))
                edge += side;
            int inked = 0;
            int total = 0;
            int touching = 0; // rows where ink touches the stroke: a head is fixed to its stem
            const int touchReach = std::max(2, int(0.15 * staff.space));
            bool touchSeen = false; // whether a column beside the stroke was looked at
            for (int d = 1; d <= reach; ++d) {
                // The stroke's left column is the paper next to its ink.
                const int x = edge + side * d + (side < 0 ? 1 : 0);
                if (x < 0 || x >= raster.width || skip[size_t(x)])
                    continue;
                touchSeen |= d <= touchReach;
                for (int y = end - half; y <= end + half; ++y) {
                    if (y < 0 || y >= raster.height)
                        continue;
                    // A line neither makes nor breaks a head, unless the ink of its rows
                    // runs on into the space beside them: a head on small staves is mostly
                    // on the line's rows.
                    if (lineRow[size_t(y)] && !inkRunsOffLine(x, y, end == staff.top() ? 1 : -1))
                        continue;
                    ++total;
                    const bool ink = raster.ink[size_t(y) * raster.width + x];
                    inked += ink;
                    touching += ink && d <= touchReach;
                }
            }
            if (total > 0 && ((inked >= 0.35 * total && touching >= 0.25 * staff.space) ||
                              (inked >= 0.25 * total && touching >= 0.6 * staff.space)))
                return true;
            // A stem of a blurred copy may go through as two strokes a column or two apart,
            // each taking the columns beside the other: where no column beside the stroke
            // could be looked at, a box mostly inked beyond is the head.
            if (!touchSeen && total >= 2 * staff.space && inked >= 0.5 * total)
                return true;
        }
    }
    // Beside a bar line the staff is mostly paper along its whole height; beside a stroke
    // of a time signature's digits or a clef it is not.
    const int near = std::max(1, int(0.2 * staff.space));
    for (const int side : {-1, 1}) {
        const int edge = side < 0 ? left : right;
        int inked = 0;
        int total = 0;
        for (int d = near; d <= reach; ++d) {
            const int x = edge + side * d;
            if (x < 0 || x >= raster.width || skip[size_t(x)])
                continue;
            for (int y = staff.top(); y <= staff.bottom(); ++y) {
                if (lineRow[size_t(y)])
                    continue;
                ++total;
                inked += raster.ink[size_t(y) * raster.width + x];
            }
        }
        if (total > 0 && inked >= 0.45 * total)
            return true;
    }
    return false;
}

// Vertical strokes that run through the whole staff from its top line to its bottom line
// with no gap worth a fifth of a line distance, and that stop at the staff where the
// system does not go on beyond it. Stems stop short of a line or run on to a note head.
std::vector<Stroke> staffStrokes(const Raster& raster, const Staff& staff, double thickness,
                                 bool openAbove, bool openBelow)
{
    std::vector<Stroke> strokes;
    const int top = staff.top();
    const int bottom = staff.bottom();
    const int height = bottom - top + 1;
    const int maxGap = std::max(1, int(0.2 * staff.space));
    const int maxWidth = int(staff.space) + 3;
    std::vector<bool> through(size_t(raster.width), false);
    for (int x = std::max(1, staff.left); x <= std::min(raster.width - 2, staff.right); ++x) {
        int covered = 0;
        int gap = 0;
        int worstGap = 0;
        for (int y = top; y <= bottom; ++y) {
            const std::uint8_t* row = raster.ink.data() + size_t(y) * raster.width;
            if (row[x] | row[x + 1]) {
                ++covered;
                gap = 0;
            } else {
                worstGap = std::max(worstGap, ++gap);
                if (worstGap > maxGap)
                    break;
            }
        }
        through[size_t(x)] = worstGap <= maxGap && covered >= 0.9 * height;
    }
    // Paper just beyond the outer lines, where a stem runs on to its note head or beam.
    const int near = int(thickness / 2) + std::max(2, int(0.2 * staff.space));
    const int far = std::max(near + 2, int(thickness / 2 + 0.6 * staff.space));
    const std::vector<bool> lineRow = staffLineRows(raster, staff, thickness);
    // Runs of columns that go through; a run too wide for one line may be the thin and
    // the thick line of a repeat sign or a final bar line, which a low resolution leaves a
    // single column of paper apart: it is split at its columns that are paper alone.
    std::vector<Stroke> runs;
    for (int x = 0; x < raster.width;) {
        if (!through[size_t(x)]) {
            ++x;
            continue;
        }
        Stroke run;
        run.left = x;
        while (x < raster.width && through[size_t(x)])
            ++x;
        run.right = x - 1;
        if (run.right - run.left + 1 <= maxWidth) {
            runs.push_back(run);
            continue;
        }
        const auto solid = [&](int column) {
            int covered = 0;
            for (int y = top; y <= bottom; ++y)
                covered += raster.ink[size_t(y) * raster.width + column] ? 1 : 0;
            return covered >= 0.9 * height;
        };
        for (int c = run.left; c <= run.right;) {
            if (!solid(c)) {
                ++c;
                continue;
            }
            Stroke piece;
            piece.left = c;
            while (c <= run.right && solid(c))
                ++c;
            piece.right = c - 1;
            if (piece.left > run.left || piece.right < run.right)
                runs.push_back(piece);
        }
    }
    for (Stroke stroke : runs) {
        if (stroke.right - stroke.left + 1 > maxWidth)
            continue;
        // The stroke's ink, without the column of paper left of it that the test above
        // took in.
        const int inLeft = std::min(stroke.left + 1, stroke.right);
        const int inRight = stroke.right;
        // Only ink joined to the stroke runs it on: words or a tempo mark a little above
        // the staff leave paper between.
        const bool above = inkedRows(raster, inLeft, inRight, top - near, top - 1) == 1.0 &&
                           inkedRows(raster, inLeft, inRight, top - far, top - near) > 0.5;
        const bool below = inkedRows(raster, inLeft, inRight, bottom + 1, bottom + near) == 1.0 &&
                           inkedRows(raster, inLeft, inRight, bottom + near, bottom + far) > 0.5;
        if ((above && !openAbove) || (below && !openBelow))
            continue;
        stroke.clean = !headBeside(raster, staff, lineRow, through, stroke.left, stroke.right,
                                   above && openAbove, below && openBelow);
        strokes.push_back(stroke);
    }
    return strokes;
}

} // namespace

SystemLines readSystem(const Raster& raster, const std::vector<Staff>& staves,
                       const std::vector<int>& members, const LineMetrics& metrics)
{
    SystemLines result;
    if (members.empty())
        return result;
    const Staff& first = staves[size_t(members.front())];
    const double space = first.space;
    const int count = int(members.size());

    // Strokes found at one place in every staff of the system.
    std::vector<std::vector<Stroke>> perStaff;
    for (int i = 0; i < count; ++i)
        perStaff.push_back(staffStrokes(raster, staves[size_t(members[size_t(i)])],
                                        metrics.thickness, i > 0, i + 1 < count));
    const int tolerance = std::max(2, int(0.4 * space));
    // In every staff, and clean in most of them: a note may crowd a bar line in one staff,
    // but stems do not line up through all the staves.
    std::vector<Stroke> common;
    for (const Stroke& stroke : perStaff.front()) {
        Stroke merged = stroke;
        bool everywhere = true;
        int clean = stroke.clean ? 1 : 0;
        for (int i = 1; i < count && everywhere; ++i) {
            const auto& others = perStaff[size_t(i)];
            const auto match = std::find_if(others.begin(), others.end(), [&](const Stroke& o) {
                return std::abs(o.middle() - stroke.middle()) <= tolerance;
            });
            everywhere = match != others.end();
            if (everywhere) {
                merged.left = std::min(merged.left, match->left);
                merged.right = std::max(merged.right, match->right);
                clean += match->clean ? 1 : 0;
            }
        }
        if (everywhere && 2 * clean >= count)
            common.push_back(merged);
    }

    // The clef starts at the first ink after the staff's start (and the line or brace
    // that joins the staves there); the signatures follow with small gaps. Ink narrower
    // than a staff space just after the start is the tip of a brace or the line that
    // opens the system, never a clef.
    int clefStart = 0;
    int headerEnd = 0;
    std::vector<std::vector<bool>> busy;
    for (int i = 0; i < count; ++i) {
        const Staff& staff = staves[size_t(members[size_t(i)])];
        busy.push_back(busyColumns(raster, staff, metrics.thickness));
        const auto& columns = busy.back();
        int x = staff.left + std::max(3, int(0.5 * staff.space));
        for (;;) {
            while (x <= staff.right && !columns[size_t(x)])
                ++x;
            int end = x;
            while (end <= staff.right && columns[size_t(end)])
                ++end;
            if (end - x >= staff.space || end > staff.right || x > staff.left + 2 * staff.space)
                break;
            x = end;
        }
        clefStart = std::max(clefStart, x);
    }
    std::erase_if(common, [&](const Stroke& s) { return s.left < clefStart + 1.5 * space; });

    // Strokes close together are one bar line (double, final, repeat).
    for (const Stroke& stroke : common) {
        if (!result.lines.empty() && stroke.left - result.lines.back().right <= space) {
            BarLine& line = result.lines.back();
            line.right = std::max(line.right, stroke.right);
            ++line.strokes;
            continue;
        }
        result.lines.push_back({stroke.left, stroke.right, 1, false, false});
    }
    for (BarLine& line : result.lines) {
        int left = 0;
        int right = 0;
        const int reach = int(1.1 * space) + 2; // and the blur of the dots and the line
        for (const int member : members) {
            const Staff& staff = staves[size_t(member)];
            left +=
                repeatDots(raster, staff, metrics.thickness, line.left - reach, line.left - 1, 1);
            right += repeatDots(raster, staff, metrics.thickness, line.right + 1,
                                line.right + reach, -1);
        }
        line.dotsLeft = 2 * left > count;
        line.dotsRight = 2 * right > count;
    }

    // The signatures end before the first bar line, unless that line is a stroke of the
    // time signature's digits; a repeat sign stops them.
    int limit = int(clefStart + 16 * space);
    for (const BarLine& line : result.lines)
        if (line.dotsRight || line.dotsLeft || line.strokes > 1) {
            limit = std::min(limit, line.left - 1);
            break;
        }
    for (int i = 0; i < count; ++i) {
        const Staff& staff = staves[size_t(members[size_t(i)])];
        const int last = signaturesEnd(raster, staff, busy[size_t(i)], metrics.thickness, clefStart,
                                       std::min(limit, staff.right));
        headerEnd = std::max(headerEnd, last + 1);
    }
    std::erase_if(result.lines, [&](const BarLine& line) { return line.right < headerEnd; });
    const int firstLine = result.lines.empty() ? first.right : result.lines.front().left;
    result.contentStart = std::min(firstLine, headerEnd + int(0.3 * space));
    // A repeat sign or a double bar line right after the signatures, with nothing before it,
    // begins the first bar (a repeat sign at the start of a line). A single line never does,
    // nor the line that ends the staff: a first bar of a note or two, close after the key,
    // may read as little more than part of the signatures.
    if (!result.lines.empty() && result.lines.front().right < first.right - space &&
        (result.lines.front().dotsRight || result.lines.front().strokes > 1)) {
        const BarLine& line = result.lines.front();
        int content = 0;
        for (int x = result.contentStart; x < line.left; ++x)
            for (const auto& columns : busy)
                if (columns[size_t(x)]) {
                    ++content;
                    break;
                }
        if (content < 0.5 * space)
            result.contentStart = -1;
    }
    result.endingHooks = endingHooks(raster, first);
    return result;
}

} // namespace bars
