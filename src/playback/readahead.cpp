#include "playback/readahead.h"

#include "playback/followlogic.h"

#include <algorithm>
#include <limits>

namespace readahead {

std::vector<Row> rowsOf(const std::vector<Entry>& entries, long long page, int pageHeight,
                        int markerHeight)
{
    std::vector<int> ys;
    for (const Entry& e : entries)
        if (e.page == page)
            ys.push_back(followlogic::placeToPixels(e.y, pageHeight));
    std::sort(ys.begin(), ys.end());
    // Boxes of one system lie within a staff or two of each other; systems lie further
    // apart than two marker heights and a twenty-fifth of the page.
    const int apart = std::max(2 * markerHeight, pageHeight / 25);
    std::vector<Row> rows;
    for (int y : ys) {
        if (rows.empty() || y - rows.back().lastY > apart)
            rows.push_back(Row{y, y, 0, 0});
        else
            rows.back().lastY = y;
    }
    if (rows.empty())
        return rows;
    std::vector<int> gaps;
    for (size_t i = 0; i + 1 < rows.size(); ++i) {
        const int gap = std::max(0, rows[i + 1].firstY - (rows[i].lastY + markerHeight));
        gaps.push_back(gap);
        rows[i].bottom = rows[i].lastY + markerHeight + gap / 2;
        rows[i + 1].top = rows[i].bottom;
    }
    int half = pageHeight / 10;
    if (!gaps.empty()) {
        std::vector<int> sorted = gaps;
        std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
        half = sorted[sorted.size() / 2] / 2;
    }
    rows.front().top = std::max(0, rows.front().firstY - half);
    rows.back().bottom = std::max(rows.back().lastY + markerHeight,
                                  std::min(pageHeight, rows.back().lastY + markerHeight + half));
    return rows;
}

int rowAt(const std::vector<Row>& rows, int y)
{
    for (size_t i = 0; i < rows.size(); ++i)
        if (y >= rows[i].firstY && y <= rows[i].lastY)
            return static_cast<int>(i);
    return -1;
}

int nextBreak(const std::vector<Entry>& entries, int current)
{
    if (current < 0 || current >= static_cast<int>(entries.size()))
        return -1;
    const long long page = entries[current].page;
    for (size_t i = static_cast<size_t>(current) + 1; i < entries.size(); ++i)
        if (entries[i].page != page)
            return static_cast<int>(i);
    return -1;
}

double forcedFrom(const std::vector<Entry>& entries, int nextEntry, double rate)
{
    if (nextEntry <= 0 || nextEntry >= static_cast<int>(entries.size()))
        return std::numeric_limits<double>::infinity();
    return std::min(entries[nextEntry].time - (kLeadSeconds + kMarginSeconds) * rate,
                    entries[nextEntry - 1].time);
}

Turn decide(const std::vector<Entry>& entries, int current, double position, double rate,
            const Geometry& g)
{
    const int next = nextBreak(entries, current);
    if (next < 0 || !(rate > 0) || g.viewHeight <= 0 || g.pageHeight <= 0 ||
        g.nextPageHeight <= 0 || entries[next].page < 0)
        return {};
    const long long page = entries[current].page;
    const long long nextPage = entries[next].page;
    const std::vector<Row> rows = rowsOf(entries, page, g.pageHeight, g.markerHeight);
    const std::vector<Row> nextRows = rowsOf(entries, nextPage, g.nextPageHeight, g.markerHeight);
    const int first =
        rowAt(nextRows, followlogic::placeToPixels(entries[next].y, g.nextPageHeight));
    if (first < 0)
        return {};
    const int need = nextRows[first].bottom + kRuleHeight;

    // The rows still to be played before the break, from the current one on, as many as
    // fit below a band that holds the next page's first system.
    Turn turn;
    int top = std::numeric_limits<int>::max();
    int bottom = std::numeric_limits<int>::min();
    bool all = true;
    for (int i = current; i < next; ++i) {
        const int r = rowAt(rows, followlogic::placeToPixels(entries[i].y, g.pageHeight));
        if (r < 0)
            return {};
        const int t = std::min(top, rows[r].top);
        const int b = std::max(bottom, rows[r].bottom);
        const int scroll = std::max(0, b - g.viewHeight);
        if (t - scroll < need || b - t > g.viewHeight) {
            if (i == current)
                return {}; // the current row would not stay whole below the band
            all = false;
            break;
        }
        top = t;
        bottom = b;
        turn.scroll = scroll;
        turn.band = t - scroll;
    }
    const bool due = (entries[next].time - position) / rate <= kLeadSeconds + kMarginSeconds ||
                     current == next - 1;
    if (!all && !due)
        return {};
    turn.nextEntry = next;
    turn.nextPage = nextPage;
    turn.needTop = top;
    turn.needBottom = bottom;
    return turn;
}

} // namespace readahead
