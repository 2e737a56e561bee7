#pragma once

#include <cstddef>
#include <vector>

// The rhythm an automatic marking's boxes show. The user clicks every note box in playing
// order on the engraved page; within one system (one line of music) the distance from a
// note to the next grows with the note's written duration, as engravers space music. At
// the end of a system the distance says nothing and the system's typical step stands in.
namespace engravedrhythm {

struct BoxPlace {
    double x = 0; // share of the page's width, 0 ... 1
    double y = 0; // share of the page's height, 0 ... 1
    long long page = 0;
};

// Whether box i starts a new system: the first box, a box on another page, one that lies
// not to the right of the box before it or clearly lower or higher on the page.
bool startsSystem(const std::vector<BoxPlace>& places, std::size_t i);

// The time of every box, from start to end as automatic marking spreads them (the first
// box at start, end where a box after the last would begin), but in proportion to the
// durations the boxes' spacing shows rather than evenly. Empty when there are fewer than
// two boxes.
std::vector<double> timesFromPlaces(const std::vector<BoxPlace>& places, double start, double end);

} // namespace engravedrhythm
