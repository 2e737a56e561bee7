#include "bars/repeatsigns.h"

#include <algorithm>
#include <cmath>

namespace bars {

// Rows of the staff's lines, thickness and a pixel of blur included.
std::vector<bool> staffLineRows(const Raster& raster, const Staff& staff, double thickness)
{
    std::vector<bool> lineRow(size_t(raster.height), false);
    const int reach = std::max(1, int(thickness / 2 + 0.5));
    for (const double line : staff.lines)
        for (int dy = -reach; dy <= reach; ++dy) {
            const int y = int(std::lround(line)) + dy;
            if (y >= 0 && y < raster.height)
                lineRow[size_t(y)] = true;
        }
    return lineRow;
}

namespace {

struct Blob {
    int left = 0;
    int right = 0;
};

// Ink in rows [centre - half, centre + half] of column x, staff lines left out.
int inkAcross(const Raster& raster, const std::vector<bool>& lineRow, int x, int centre, int half)
{
    int count = 0;
    for (int y = centre - half; y <= centre + half; ++y)
        count += raster.at(x, y) && !lineRow[size_t(y)] ? 1 : 0;
    return count;
}

} // namespace

bool repeatDots(const Raster& raster, const Staff& staff, double thickness, int from, int to,
                int lineSide)
{
    const std::vector<bool> lineRow = staffLineRows(raster, staff, thickness);
    const double space = staff.space;
    const double centres[2] = {(staff.lines[1] + staff.lines[2]) / 2,
                               (staff.lines[2] + staff.lines[3]) / 2};
    const int outer[2] = {int(std::lround((staff.lines[0] + staff.lines[1]) / 2)),
                          int(std::lround((staff.lines[3] + staff.lines[4]) / 2))};
    const int half = std::max(1, int(0.4 * space));
    const int outerHalf = std::max(1, int(0.25 * space));
    const int tallest = int(std::ceil(0.75 * space));
    const int least = std::max(1, int(0.2 * space));
    std::vector<Blob> blobs[2];
    for (int k = 0; k < 2; ++k) {
        const int cy = int(std::lround(centres[k]));
        int runStart = -1;
        int runMax = 0;
        for (int x = from; x <= to + 1; ++x) {
            const int count = x <= to ? inkAcross(raster, lineRow, x, cy, half) : 0;
            if (count >= least) {
                if (runStart < 0)
                    runStart = x;
                runMax = std::max(runMax, count);
                continue;
            }
            if (runStart < 0)
                continue;
            // A whole blob, not cut by the ends of the searched columns, as small as a dot
            // and alone in its column: a stem or a thick line fills the outer spaces too.
            const int width = x - runStart;
            int crossing = 0;
            for (int c = runStart; c < x; ++c)
                crossing += inkAcross(raster, lineRow, c, outer[0], outerHalf) > 0 ||
                            inkAcross(raster, lineRow, c, outer[1], outerHalf) > 0;
            if (width >= 0.2 * space && width <= 0.9 * space && runMax <= tallest &&
                (runStart > from || lineSide < 0) && (x <= to || lineSide > 0) &&
                2 * crossing < width)
                blobs[k].push_back({runStart, x - 1});
            runStart = -1;
            runMax = 0;
        }
    }
    // The two dots stand above each other.
    for (const Blob& upper : blobs[0])
        for (const Blob& lower : blobs[1])
            if (upper.left <= lower.right && lower.left <= upper.right)
                return true;
    return false;
}

// Where the bracket of an ending starts above the staff: a long thin horizontal line with
// a hook down at its left end.
std::vector<int> endingHooks(const Raster& raster, const Staff& staff)
{
    std::vector<int> hooks;
    const double space = staff.space;
    const int from = std::max(0, int(staff.lines[0] - 6 * space));
    const int to = std::max(0, int(staff.lines[0] - 1.2 * space));
    const int minLength = int(3 * space);
    const int hookLength = std::max(2, int(0.8 * space));
    const int thin = std::max(2, int(0.3 * space));
    const int thickest = std::max(thin, int(0.4 * space));
    for (int y = from; y <= to; ++y) {
        int x = std::max(0, staff.left);
        while (x <= staff.right) {
            if (!raster.at(x, y)) {
                ++x;
                continue;
            }
            const int start = x;
            while (x <= staff.right && raster.at(x, y))
                ++x;
            if (x - start < minLength)
                continue;
            // Thin: paper a little above and below most of its length (a beam is thick).
            const auto inkAt = [&](int row) {
                int n = 0;
                const int skip = start + int(0.5 * space);
                for (int c = skip; c < x; ++c)
                    n += raster.at(c, row) ? 1 : 0;
                return double(n) / std::max(1, x - skip);
            };
            if (inkAt(y - thin) > 0.3 || inkAt(y + thin + 1) > 0.3)
                continue;
            // Columns along the line where the ink is as thick as a beam (half a space): a
            // bracket's line is a fraction of that, however a blurred copy broadens it.
            int thick = 0;
            for (int k = 1; k <= 5; ++k) {
                const int c = start + (x - start) * k / 6;
                int up = 0;
                int down = 0;
                while (up <= thickest && raster.at(c, y - up - 1))
                    ++up;
                while (down <= thickest && raster.at(c, y + down + 1))
                    ++down;
                thick += up + down + 1 > thickest ? 1 : 0;
            }
            if (thick >= 2)
                continue;
            bool hook = false;
            for (int c = start; c <= start + std::max(1, int(0.3 * space)) && !hook; ++c) {
                int depth = 0;
                while (raster.at(c, y + depth + 1) || raster.at(c, y + depth + 2))
                    ++depth;
                // Inside the bracket, under its line, paper in at least one of its first
                // spaces: the ending's number may stand in another.
                bool open = false;
                for (int k = 1; k <= 3 && !open; ++k)
                    open = !raster.at(c + int(k * space), y + thin + 1);
                hook = depth >= hookLength && raster.at(c, y + thin) && open;
            }
            if (!hook)
                continue;
            const bool known = std::any_of(hooks.begin(), hooks.end(),
                                           [&](int h) { return std::abs(h - start) < space; });
            if (!known)
                hooks.push_back(start);
        }
    }
    std::sort(hooks.begin(), hooks.end());
    return hooks;
}

} // namespace bars
