#include "bars/barfinder.h"

#include "bars/barlines.h"
#include "bars/pageraster.h"
#include "bars/staves.h"

#include <algorithm>
#include <cmath>

namespace bars {

namespace {

bool stop(const CancelFlag* cancel)
{
    return cancel && cancel->load(std::memory_order_relaxed);
}

PageBars cancelledResult()
{
    PageBars result;
    result.cancelled = true;
    return result;
}

int rounded(double value)
{
    return int(std::lround(value));
}

} // namespace

PageBars findBars(const QImage& page, const CancelFlag* cancel)
{
    PageBars result;
    if (page.isNull() || page.width() < 16 || page.height() < 16)
        return result;
    const int shrink =
        std::max(1, int(std::ceil(double(std::max(page.width(), page.height())) / maxWorkingSide)));
    Raster raster = inkOf(page, shrink);
    if (stop(cancel))
        return cancelledResult();
    LineMetrics metrics = lineMetrics(raster);
    // Small staves (about 100 dpi) are drawn in grey: read again with faint lines as ink.
    if (metrics.distance < 9) {
        raster = inkOf(page, shrink, true);
        metrics = lineMetrics(raster);
    }
    if (metrics.distance < 4)
        return result;
    const double skew = skewOf(raster, metrics);
    if (stop(cancel))
        return cancelledResult();
    raster = straightened(raster, skew);
    if (stop(cancel))
        return cancelledResult();
    const std::vector<Staff> staves = findStaves(raster, metrics);
    if (staves.empty())
        return result;
    if (stop(cancel))
        return cancelledResult();
    const std::vector<std::vector<int>> systems = groupSystems(raster, staves);

    Turn turn;
    turn.degrees = skew;
    turn.cx = raster.width / 2.0;
    turn.cy = raster.height / 2.0;
    turn.scale = shrink;
    result.skewDegrees = skew;
    result.staffSpace = staves.front().space * shrink;

    for (const std::vector<int>& members : systems) {
        if (stop(cancel))
            return cancelledResult();
        const Staff& first = staves[size_t(members.front())];
        const Staff& last = staves[size_t(members.back())];
        const double top = first.lines[0];
        const double bottom = last.lines[4];
        const double middle = (top + bottom) / 2;
        const SystemLines found = readSystem(raster, staves, members, metrics);

        System system;
        system.staves = int(members.size());
        double x = 0;
        double y = 0;
        const double centre = (first.left + first.right) / 2.0;
        turn.toPage(centre, top, &x, &y);
        system.top = rounded(y);
        turn.toPage(centre, bottom, &x, &y);
        system.bottom = rounded(y);
        turn.toPage(first.left, middle, &x, &y);
        system.left = rounded(x);
        turn.toPage(first.right, middle, &x, &y);
        system.right = rounded(x);
        const int index = int(result.systems.size());
        result.systems << system;

        // Bars between consecutive bar lines; the first one from the end of the signatures
        // unless a bar line stands right there.
        std::vector<BarLine> edges;
        if (found.contentStart >= 0)
            edges.push_back({found.contentStart, found.contentStart, 0, false, false});
        edges.insert(edges.end(), found.lines.begin(), found.lines.end());
        const int firstBar = int(result.bars.size());
        for (size_t i = 1; i < edges.size(); ++i) {
            const BarLine& open = edges[i - 1];
            const BarLine& close = edges[i];
            Bar bar;
            bar.system = index;
            const double mid = (open.right + close.left) / 2.0;
            turn.toPage(open.right + 1, middle, &x, &y);
            bar.left = rounded(x);
            turn.toPage(close.left, middle, &x, &y);
            bar.right = rounded(x);
            turn.toPage(mid, top, &x, &y);
            bar.top = rounded(y);
            turn.toPage(mid, bottom, &x, &y);
            bar.bottom = rounded(y);
            bar.startRepeat = open.dotsRight;
            bar.endRepeat = close.dotsLeft;
            bar.doubleBar = close.strokes >= 2;
            result.bars << bar;
        }
        // An ending's bracket starts at the bar line that opens its first bar; over the first
        // bar of a system, which no bar line opens, it may start over the clef and the key.
        const double space = first.space;
        for (const int hook : found.endingHooks) {
            for (int i = firstBar; i < int(result.bars.size()); ++i) {
                const BarLine& open = edges[size_t(i - firstBar)];
                const BarLine& close = edges[size_t(i - firstBar) + 1];
                const double from = open.strokes == 0 ? first.left : open.left - space;
                if (hook >= from && hook < close.left - space) {
                    Bar& bar = result.bars[i];
                    const bool afterRepeat = i > 0 && result.bars[i - 1].endRepeat;
                    bar.ending = afterRepeat ? 2 : 1;
                    break;
                }
            }
        }
    }
    return result;
}

} // namespace bars
