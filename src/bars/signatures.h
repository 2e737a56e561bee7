#pragma once

#include "bars/staves.h"

#include <vector>

// The clef, key and time signature at the start of a staff of a straightened page: where
// they end, the music's first bar begins.
namespace bars {

// Columns with ink between the staff's lines (the lines themselves left out) or just
// beyond them: clefs, signatures, notes.
std::vector<bool> busyColumns(const Raster& raster, const Staff& staff, double thickness);

// Where the clef, key and time signature of a staff end, from the clef's first column: the
// accidentals of the key follow each other closely; a time signature, a little further
// on, fills the staff from its top line to its bottom line in a narrow block, or stands
// about its middle line as a common-time sign.
int signaturesEnd(const Raster& raster, const Staff& staff, const std::vector<bool>& columns,
                  double thickness, int clefStart, int limit);

} // namespace bars
