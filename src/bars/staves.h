#pragma once

#include "bars/pageraster.h"

#include <array>
#include <vector>

// Staves and systems of a straightened page, in raster pixels.
namespace bars {

struct Staff {
    std::array<double, 5> lines{}; // the five lines' middles, top down
    int left = 0;                  // where the lines start and end
    int right = 0;
    double space = 0; // distance of two lines in this staff
    int top() const { return int(std::lround(lines[0])); }
    int bottom() const { return int(std::lround(lines[4])); }
};

// The five-line groups of the page, top down. `metrics` gives the expected line distance
// and thickness; staves shorter than a few bars' width are left out.
std::vector<Staff> findStaves(const Raster& raster, const LineMetrics& metrics);

// The staves grouped into systems: a staff joins the one above it when a brace, a bracket
// or a line at their left ends connects them. Each system is a list of staff indexes.
std::vector<std::vector<int>> groupSystems(const Raster& raster, const std::vector<Staff>& staves);

} // namespace bars
