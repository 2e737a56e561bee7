#pragma once

#include "analysis/beattrack.h"
#include "analysis/onsetalignment.h"

#include <vector>

// Fitting bar entries (one per bar, as Find Bars places them) to the recording: each bar
// goes onto its downbeat, the onset where the bar's first notes sound. The beats are
// followed from the first bar's time to the end of the last bar (beattrack.h), two, three
// or four of them a bar, whichever count fits best; bar i goes onto beat (i - 1) * k. Pure
// functions of their arguments.
namespace baralignment {

using BarCosts = beattrack::BeatCosts;

// Aligns bar entries (their times in list order, spread evenly over the piece: the first
// at the start of the music, the last one bar before its end) to the onsets. A start set in
// the silence before the music (at the recording's start) is taken to the first onset, one
// set by ear a reaction time after the first note goes back to that note, and
// an end set later than the music's can be (on the recording's end, past the last chord's
// echo) is looked for after the last onset, where the beats' tempo carries on. Bars that are
// not sure of their downbeat keep their times where these fit in order; all stay in order
// and at least a hundredth apart. A bar is sure of its downbeat where a second reading,
// which weighs the onsets on downbeats no more than those on the other beats, puts it there
// too (or where one of the two is very sure and the other sure of none); where the two are
// sure of different onsets, a third reading that weighs every beat alike decides; and only
// where the bars, aligned again as if the start had been set a little sooner and the end a
// little later, land on the same onset (that alignment runs on a second thread). Bars whose sure
// lengths jump from bar to bar (see BeatCosts::doubtfulJumps) are refused with an error, as are too
// few bars. Where fewer than half of the bars are sure (Align refuses them) or none fit, the
// beats are counted again with every onset weighing about alike, and that count is taken
// where Align would take it.
onsetalignment::Alignment align(const std::vector<double>& barTimes,
                                const std::vector<Onset>& onsets, const BarCosts& costs = {},
                                const onsetalignment::AlignmentProgress& progress = {});

} // namespace baralignment
