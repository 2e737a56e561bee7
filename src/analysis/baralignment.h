#pragma once

#include "analysis/onsetalignment.h"

#include <vector>

// Fitting bar entries (one per bar, as Find Bars places them) to the recording: each bar
// goes onto its downbeat, the onset where the bar's first notes sound. Between two
// downbeats lie the bar's other notes, on its beats: so a bar is chosen by how steady the
// bars' lengths run, by how strong its downbeat is and by how well onsets fall on an even
// division of it into two, three or four beats. Pure functions of their arguments.
namespace baralignment {

struct BarCosts {
    // Per unit of |ln(ratio)| between the lengths of two neighbouring bars.
    double tempoChange = 3.0;
    // Per unit of |ln(ratio)| of the first bar's length against the spread's.
    double firstTempo = 1.0;
    // Taken off for the downbeat's strength (against the recording's median, at most 3).
    double downbeat = 2.0;
    // Taken off for the share of a bar's beats that have an onset (weighted by strength).
    double beats = 3.0;
    // Per bar length that a bar lies from its spread time.
    double offSpread = 0.3;
    // Per tenth of a second that the first bar lies from its time (the start of the music
    // was set by hand).
    double offStart = 0.5;
    // A bar is sure of its downbeat when every path that gives it another onset (more
    // than 50 ms away) costs at least this much more than the best one.
    double sureMargin = 2.0;
    // Onsets considered for a bar: this many bar lengths either side of its spread time.
    double band = 1.2;
};

// Aligns bar entries (their times in list order, spread evenly over the piece: the first
// at the start of the music, the last one bar before its end) to the onsets. Bars that are
// not sure of their downbeat keep their times where these fit in order; all stay in order
// and at least a hundredth apart.
onsetalignment::Alignment align(const std::vector<double>& barTimes,
                                const std::vector<Onset>& onsets, const BarCosts& costs = {},
                                const onsetalignment::AlignmentProgress& progress = {});

} // namespace baralignment
