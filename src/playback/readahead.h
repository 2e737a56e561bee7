#pragma once

#include <vector>

// Read ahead: the pure decision of the half-page turn. While the recording plays towards a
// page break, the part of the view that has already been played shows the top of the next
// page, so that the musician reads its first system before it sounds.
//
// Rows: the marker entries of one page whose places lie close together vertically form one
// row (one system of the printed music). A row reaches halfway to its neighbours; the first
// and the last row of a page reach as far beyond their boxes as rows of that page are apart
// on the median, held within the page.
//
// The turn: the entries still to be played on the shown page before the break (from the
// current one on) need the rows they lie in. Those rows go to the bottom of the view and
// the rest of the view above them (the band) shows the next page from its top. The turn is
// shown
// - as soon as all the rows still needed fit below a band that holds the next page's first
//   system (the row of the next page's first entry), and
// - in any case once the break is less than kLeadSeconds of wall time away (plus a margin
//   for the follow tick) or the last entry before the break sounds, with as many of the
//   needed rows as fit, as long as the current row fits whole below the band.
// The current row is always whole within the view below the band.
namespace readahead {

// How long before the next page's first entry sounds its first system shows, in seconds of
// wall time.
constexpr double kLeadSeconds = 2.0;
// The follow tick shows what is due up to a tenth of a second late.
constexpr double kMarginSeconds = 0.3;
// Height of the rule drawn between the next page's part and the shown page.
constexpr int kRuleHeight = 4;

struct Entry {
    double time = 0;
    long long page = -1;
    long long y = 0; // marker top, in millionths of the page's displayed height
};

// A row of one page in displayed pixels: the first marker top, the last marker bottom and
// the extent of its system.
struct Row {
    int firstY = 0;
    int lastY = 0;
    int top = 0;
    int bottom = 0;
};

// The rows of page `page`, top to bottom, for a page displayed pageHeight pixels high.
std::vector<Row> rowsOf(const std::vector<Entry>& entries, long long page, int pageHeight,
                        int markerHeight);
// The row holding marker top y, or -1.
int rowAt(const std::vector<Row>& rows, int y);

// The first entry after `current` on another page than entry current's, or -1.
int nextBreak(const std::vector<Entry>& entries, int current);

struct Geometry {
    int viewHeight = 0;     // the visible height of the sheet
    int pageHeight = 0;     // the shown page, displayed
    int nextPageHeight = 0; // the next page at the same zoom
    int markerHeight = 0;
};

struct Turn {
    int nextEntry = -1; // the next page's first entry; -1: no turn shown
    long long nextPage = -1;
    int band = 0;                    // the view's top part that shows the next page, rule included
    int scroll = 0;                  // the vertical scroll that puts the needed rows below the band
    int needTop = 0, needBottom = 0; // the rows of the shown page kept in view
    bool shown() const { return nextEntry >= 0; }
};

// The turn for heard position `position` (seconds of the recording) at tempo `rate`, with
// entry `current` sounding. Entries are in playing order.
Turn decide(const std::vector<Entry>& entries, int current, double position, double rate,
            const Geometry& geometry);

// The position from which decide() shows the turn before entry nextEntry at the latest by
// time alone (the lead and its margin in wall time at `rate`, or the last entry before it).
double forcedFrom(const std::vector<Entry>& entries, int nextEntry, double rate);

} // namespace readahead
