#pragma once

#include "bars/staves.h"

#include <vector>

// The signs beside and above the bar lines of a straightened page that tell how the bars
// are repeated: the dots of repeat signs and the brackets of first and second endings.
namespace bars {

// Rows of the staff's lines, thickness and a pixel of blur included.
std::vector<bool> staffLineRows(const Raster& raster, const Staff& staff, double thickness);

// Whether columns [from, to] hold a repeat sign's dots: one small round blob in each of
// the two middle spaces of the staff, above each other, with paper in the outer spaces at
// their columns (a stem or a stroke through the staff is not a pair of dots). A blob cut
// by the ends of the columns is not a dot, except at the side of `lineSide` (-1: left of
// `from`, 1: right of `to`), where the bar line stands that the blur may join it to.
bool repeatDots(const Raster& raster, const Staff& staff, double thickness, int from, int to,
                int lineSide = 0);

// Where the brackets of endings start above the staff, left to right.
std::vector<int> endingHooks(const Raster& raster, const Staff& staff);

} // namespace bars
