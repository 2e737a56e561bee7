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
// their columns (a stem or a stroke through the staff is not a pair of dots).
bool repeatDots(const Raster& raster, const Staff& staff, double thickness, int from, int to);

// Where the brackets of endings start above the staff, left to right.
std::vector<int> endingHooks(const Raster& raster, const Staff& staff);

} // namespace bars
