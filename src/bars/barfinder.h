#pragma once

#include <QImage>
#include <QList>

#include <atomic>

// Finding the bars of a page of printed music: the staves, the systems they form, and the
// bar lines of each system with their repeat signs and endings. Pure: it reads the page
// as the project loader decodes it and touches nothing else, so a worker thread may run
// it. Every coordinate is in pixels of the page as given.
namespace bars {

// One bar of a page.
struct Bar {
    int system = 0;           // the system on the page, counted from 0 top down
    int left = 0;             // where the bar starts: its bar line, or after the clef, key and
                              // time signature for the first bar of a system
    int right = 0;            // its closing bar line
    int top = 0;              // the system's top staff line, at the bar
    int bottom = 0;           // the system's bottom staff line, at the bar
    bool startRepeat = false; // |: at its left
    bool endRepeat = false;   // :| at its right
    int ending = 0;           // 1 or 2 when a first or second ending starts with it
    bool doubleBar = false;   // its closing line is a double or final bar line
};

// One system of a page: one or more staves joined into one line of music.
struct System {
    int top = 0;    // the top staff line of the first staff, at the system's middle
    int bottom = 0; // the bottom staff line of the last staff, at the system's middle
    int left = 0;
    int right = 0;
    int staves = 0;
};

struct PageBars {
    QList<System> systems; // top down
    QList<Bar> bars;       // reading order: system by system, left to right
    double staffSpace = 0; // distance of two staff lines in pixels (0: no staff found)
    double skewDegrees = 0;
    bool cancelled = false; // the search was cancelled: nothing was found
};

// Checked between the steps of a search; when it turns true the search ends soon with
// `cancelled` set and no bars.
using CancelFlag = std::atomic<bool>;

// The bars of one page in reading order. A page without staves (a blank page, a picture
// that is not music, a null image) gives no bars. Memory is bounded by a few bytes per
// pixel of the page, whatever it shows; very large pages are read at a reduced size.
PageBars findBars(const QImage& page, const CancelFlag* cancel = nullptr);

} // namespace bars
