#include "bars/signatures.h"

#include "bars/repeatsigns.h"

#include <algorithm>
#include <cmath>

namespace bars {

// Columns with ink between the staff's lines (the lines themselves left out) or just
// beyond them: clefs, signatures, notes.
std::vector<bool> busyColumns(const Raster& raster, const Staff& staff, double thickness)
{
    std::vector<bool> busy(size_t(raster.width), false);
    // The lines with their blur are left out, but never so much of them that small staves
    // (a space of five pixels at 100 dpi) keep no rows of their spaces.
    const int reach =
        std::min(int(std::ceil(thickness / 2)) + 1, std::max(1, int(0.3 * staff.space)));
    std::vector<bool> lineRow(size_t(raster.height), false);
    for (const double line : staff.lines)
        for (int dy = -reach; dy <= reach; ++dy) {
            const int y = int(std::lround(line)) + dy;
            if (y >= 0 && y < raster.height)
                lineRow[size_t(y)] = true;
        }
    const int from = std::max(0, int(staff.lines[0] - staff.space));
    const int to = std::min(raster.height - 1, int(staff.lines[4] + staff.space));
    const int needed = std::max(2, int(0.4 * staff.space));
    for (int x = std::max(0, staff.left); x <= std::min(raster.width - 1, staff.right); ++x) {
        int count = 0;
        for (int y = from; y <= to; ++y)
            if (!lineRow[size_t(y)] && raster.ink[size_t(y) * raster.width + x])
                ++count;
        busy[size_t(x)] = count >= needed;
    }
    return busy;
}

// Where the clef, key and time signature of a staff end, from the clef's first column: the
// accidentals of the key follow each other closely; a time signature, a little further
// on, fills the staff from its top line to its bottom line in a narrow block, or stands
// about its middle line as a common-time sign.
int signaturesEnd(const Raster& raster, const Staff& staff, const std::vector<bool>& columns,
                  double thickness, int clefStart, int limit)
{
    const double space = staff.space;
    const int join = std::max(1, int(0.5 * space));
    struct Segment {
        int left, right;
    };
    std::vector<Segment> segments;
    for (int x = clefStart; x <= limit; ++x) {
        if (!columns[size_t(x)])
            continue;
        if (!segments.empty() && x - segments.back().right <= join)
            segments.back().right = x;
        else
            segments.push_back({x, x});
    }
    if (segments.empty())
        return clefStart;
    const auto fillsStaff = [&](const Segment& seg) {
        if (seg.right - seg.left > 3 * space)
            return false;
        int rows = 0;
        for (int y = staff.top(); y <= staff.bottom(); ++y)
            for (int x = seg.left; x <= seg.right; ++x)
                if (raster.at(x, y)) {
                    ++rows;
                    break;
                }
        return rows >= 0.85 * (staff.bottom() - staff.top() + 1);
    };
    std::vector<bool> lineRow;
    // A common-time or cut-time sign: a glyph one to two spaces wide whose ink off the lines
    // reaches as far above the middle line as below it, from half a space to under two (a
    // note's stem reaches further, to one side; a flat's bowl hangs low). Its middle columns
    // are mostly on the lines' rows, so it may read as two pieces; `last` is where it ends.
    // (An engraver may set it further after the key than the key's signs stand apart.)
    const auto commonTime = [&](size_t i, int& last) {
        size_t j = i;
        while (j + 1 < segments.size() && segments[j + 1].left - segments[j].right <= space)
            ++j;
        last = segments[j].right;
        const int width = last - segments[i].left + 1;
        if (width < space || width > 2.2 * space)
            return false;
        if (lineRow.empty())
            lineRow = staffLineRows(raster, staff, thickness);
        int high = -1;
        int low = -1;
        const int from = int(staff.top() - space);
        const int to = int(staff.bottom() + space);
        for (int y = std::max(0, from); y <= std::min(raster.height - 1, to); ++y) {
            if (lineRow[size_t(y)])
                continue;
            int inked = 0;
            for (int x = segments[i].left; x <= last; ++x)
                inked += raster.at(x, y) ? 1 : 0;
            if (inked >= 2) {
                high = high < 0 ? y : high;
                low = y;
            }
        }
        const double middle = staff.lines[2];
        return high >= 0 && middle - high >= 0.55 * space && middle - high <= 1.8 * space &&
               low - middle >= 0.55 * space && low - middle <= 1.8 * space &&
               std::abs((middle - high) - (low - middle)) <= 0.4 * space;
    };
    int end = segments.front().right;
    for (size_t i = 1; i < segments.size(); ++i) {
        const int gap = segments[i].left - end;
        int last = 0;
        const bool fills = gap <= 3 * space && fillsStaff(segments[i]);
        if (fills || (gap <= 3 * space && commonTime(i, last))) {
            // A key of flats that a blurred copy at a low resolution runs together fills the
            // staff like a time signature's digits: a common-time sign right after such a
            // block next to the clef is the time signature.
            int after = 0;
            if (fills && i == 1 && i + 1 < segments.size() &&
                segments[i + 1].left - segments[i].right <= 3 * space && commonTime(i + 1, after)) {
                ++i;
                last = after;
            }
            // The time signature ends the header. Its digits may read as pieces a little
            // apart where their middle columns are thin (a blurred copy's 9/8).
            end = std::max(segments[i].right, last);
            for (size_t j = i + 1; j < segments.size() && segments[j].left - end <= 0.7 * space;
                 ++j)
                end = segments[j].right;
            break;
        }
        if (gap > 1.5 * space)
            break;
        end = segments[i].right;
        // The accidentals of a key stand close together; after the key, a wider gap leads
        // to the time signature (a common-time sign does not fill the staff), and what
        // follows that is music.
        if (i >= 2 && gap > 0.6 * space)
            break;
    }
    return end;
}

} // namespace bars
