#pragma once

#include "analysis/onsetdetector.h"

#include <functional>
#include <vector>

// Following the beats of a recording from a known start to a known end: exactly `count`
// beats lie between them, each on an onset or, where a note is held over it, silent
// (evenly between the beats heard around it). Of all such counts the one chosen keeps the
// most steady beat and puts the strongest onsets on beats, the strongest of all on every
// k-th beat (the downbeats). Counting beats rather than bars keeps the downbeats apart from
// the other beats where every beat sounds alike: a bar of five beats, or of three, cannot
// pass for a slower or faster bar of four. Pure functions of their arguments.
namespace beattrack {

// A start set by hand, by ear, lies up to this long (seconds) after the music's first note:
// a reaction time and its scatter. The first beat is looked for from this long before the
// start (at most a beat). Chosen on the corpus's tuning half with the start set from 0.05 to
// 0.35 s after the first note, before it, or at the recording's start, and the end set early,
// late or at the recording's end: at 0.15 s 79 of 836 bars sure of a downbeat were sure of
// the wrong one, and four pieces ended further from their downbeats than they started; at
// 0.4 s, 7 of 865 and none. Where the start was set at the music's start nothing changes.
constexpr double kHandLag = 0.4;

struct BeatCosts {
    // Per unit of |ln(ratio)| between two neighbouring beats' lengths.
    double tempoChange = 4.0;
    // The share of that paid where the change falls on a downbeat: tempo is changed at a
    // bar line rather than within a bar.
    double atBarLine = 0.3;
    // Per unit of |ln(ratio)| of the first beat's length against the even spread's.
    double firstTempo = 2.0;
    // Per unit of |ln(ratio)| of a beat's length against the even spread's.
    double tempoLevel = 0.3;
    // Taken off for an onset on a beat, times its strength against the recording's median
    // (at most `strongest`: a beat is told by an onset being there, not by how loud it
    // is, where runs of even notes differ by chance); on a downbeat, downbeat times that.
    double beat = 1.0;
    double downbeat = 2.0;
    double strongest = 1.0;
    // Per beat heard on no onset.
    double silent = 0.5;
    // Per tenth of a second that the first beat lies after the start (which was set by hand),
    // or that the music ends after the end set by hand (offStart); and that the first beat
    // lies before the start (offStartBefore): a hand sets a start by ear a reaction late far
    // more often than early.
    // (On the corpus's tuning half, with the start and end set in twelve ways, the price
    // before the start a quarter of that after it: 39 more bars sure of the right onset, 5
    // more of 660 alignments taken, none more sure of a wrong onset; lower still, alike.)
    double offStart = 0.5;
    double offStartBefore = 0.125;
    // Onsets considered for a beat: this many bars either side of its place in an even
    // spread of the beats from the start to the end.
    double band = 1.0;
    // A downbeat is sure when every count that puts it more than 50 ms away costs at least
    // this much more than the best one.
    double sureMargin = 1.5;
    // Bars whose lengths change by more than this on average (|ln(ratio)| from one sure bar
    // to the next, Alignment::tempoJumps) follow no tempo: the count went through the wrong
    // onsets, and the bars are not aligned. Measured on the corpus's tuning half, right
    // counts stay below 0.35 with the start and end set at the music or at the recording's
    // ends; a bar half again as long as the one before, every bar, is no piece's tempo.
    double doubtfulJumps = 0.6;
};

struct Beats {
    std::vector<double> times; // every beat's time, count + 1 of them: the last is the end
    std::vector<int> onset;    // the onset each beat is heard on, or -1 for a silent beat
    // For every beat: how much more the best count that moves it by more than 50 ms costs
    // than the best (infinity when no count moves it; only computed for downbeats).
    std::vector<double> margin;
    double cost = 0; // the best count's cost; infinity when none fits
    bool cancelled = false;
};

// Called with (done, total), rising; stops the work when it returns false.
using Progress = std::function<bool(int, int)>;

// The best count of `count` beats from `start` to an end between `endFrom` and `end` (exactly
// `end` when endFrom is not before it), or up to a quarter of a bar after `end` at a price,
// over the onsets (in time order), every `perBar`-th of them a downbeat (beat 0 is one). The
// first beat lies on the start or on an onset up to kHandLag before it or a little after it.
Beats track(double start, double endFrom, double end, int count, int perBar,
            const std::vector<Onset>& onsets, const BeatCosts& costs = {},
            const Progress& progress = {});

} // namespace beattrack
