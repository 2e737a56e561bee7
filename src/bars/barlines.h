#pragma once

#include "bars/staves.h"

#include <vector>

// The bar lines of one system of a straightened page, in raster pixels.
namespace bars {

struct BarLine {
    int left = 0; // the outer columns of all its strokes
    int right = 0;
    int strokes = 0;        // 1 for a plain bar line, 2 for a double or final one
    bool dotsLeft = false;  // :| (the end of a repeated passage)
    bool dotsRight = false; // |: (its start)
};

struct SystemLines {
    int contentStart = 0;         // after the clef, key and time signature
    std::vector<BarLine> lines;   // left to right
    std::vector<int> endingHooks; // where the brackets of endings start, left to right
};

// The bar lines of the system made of `members` (indexes into `staves`): vertical strokes
// through each of its staves at one place, not reaching on beyond the system, none of them
// within its clef.
SystemLines readSystem(const Raster& raster, const std::vector<Staff>& staves,
                       const std::vector<int>& members, const LineMetrics& metrics);

} // namespace bars
