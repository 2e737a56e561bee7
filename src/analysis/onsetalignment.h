#pragma once

#include "analysis/onsetdetector.h"

#include <QString>
#include <functional>
#include <vector>

// Fitting marker entry times to the note onsets of the recording: one click at a time
// (snap) or a whole marking at once (align). Pure functions of their arguments.
namespace onsetalignment {

// The onset within [time - window, time + window] that a click at `time` most likely meant:
// the strongest once each onset's strength is weighed by how often a hand lands that far
// from its note (a normal scatter of `scatter` seconds), so that a loud onset a note away
// does not draw a click off the soft one it landed on. `time` unchanged when there is none.
// `onsets` must be in time order, as detectOnsets() returns them. Measured on the corpus's
// tuning half with clicks scattered by 0.08 s: weighed so, 72.7 % of the clicks land within
// 30 ms of their notes, against 69.8 % for the strongest onset within 0.15 s.
double snap(double time, const std::vector<Onset>& onsets, double window = 0.2,
            double scatter = 0.1);

// What the alignment weighs against each other. Every cost is in the same units; the
// tempo is the ratio of an onset interval to the interval of the entries it replaces. The
// defaults are measured on the test pieces (tests/analysis/data, bench/bench_analysis).
struct AlignmentCosts {
    // Per unit of |ln(tempo ratio)| between two neighbouring steps: a tempo that doubles
    // costs ln 2 times this once, a rubato costs a little at every step.
    double tempoChange = 1.0;
    // The same for the first step, against the entries' own tempo (ratio 1).
    double firstTempo = 0.5;
    // Per unit of |ln(tempo ratio)| of every step: the entries' own tempo is right on the
    // whole, so of two paths that keep their tempo equally well the one nearer to it wins.
    double tempoLevel = 0.2;
    // Per onset left over inside the marked stretch (from the first entry's time less half
    // a second to the last one's plus half a second), for an onset of the recording's
    // median strength; times the square of its strength against the median (at most 9)
    // for others.
    double leftOverOnset = 10.0;
    // Per entry left without an onset (it is interpolated between its neighbours).
    double entryWithoutOnset = 1.0;
    // A marking whose entries lie typically (the median over a first alignment) less than
    // `closeMarking` seconds from their onsets was made by hand or is already aligned: it
    // is aligned again with this cost for each multiple of that typical distance (at least
    // 20 ms) each entry moves. An even spread is left to the tempo: its times say nothing
    // about the rhythm.
    double displacement = 0.5;
    double closeMarking = 0.25;
    // Of a marking that is not spread, an entry is sure of no onset further from its own
    // time than this many times the typical (median) distance of the entries from their
    // nearest onsets: a click lands a reaction time after its note, give or take a little,
    // never a note or two away.
    double farthestMove = 6.0;
    // An entry is sure of its onset when every path that gives it another onset costs at
    // least this much more than the best one.
    double sureMargin = 0.4;
    // Of a marking by hand, an entry is sure of no onset whose move differs from the
    // median move of the sure entries by more than this (seconds): a click lands a
    // reaction time after its note, give or take the hand's scatter (about 0.08 s), so
    // such a move follows another sound. Chosen on the corpus's tuning half: from 0.2 to
    // 0.3 s the clicks aligned land alike, and none is further off on average than the
    // clicks were.
    double oddMove = 0.25;
    // A path whose tempo jumps by more than doubtfulJumps on average from one step to the
    // next (Alignment::tempoJumps) and drifts by more than doubtfulDrift from one stretch of
    // four steps to the next (Alignment::tempoDrift) against entries spread by the boxes'
    // places is doubtful as a whole. Measured on the corpus's tuning half: with the boxes'
    // places as engraved, right paths jump by less than 0.5 and paths through scattered
    // onsets of soft attacks by more than 0.7; with the places scattered as a hand clicks
    // them (by 0.2 % and 0.4 % of the page's width), right paths jump by up to 0.85 but
    // drift by less than 0.35, and the wrong ones drift by more than 0.6. (Against an even
    // spread the tempo changes with every note's length; against clicks by hand with the
    // hand's scatter.)
    double doubtfulJumps = 0.6;
    double doubtfulDrift = 0.45;
    // A marking by hand moves onto its notes by a reaction time, give or take a hand's
    // scatter (a tenth of a second or so). Where the moves of its sure entries scatter by
    // more than this (seconds, their median absolute deviation as a standard deviation),
    // the onsets are not the clicked notes (a soft voice's attacks missed, noises heard):
    // no entry is sure. Measured on the corpus's tuning half with clicks scattered by 0.04
    // to 0.16 s: right paths stay below 0.22, paths through the wrong onsets lie above 0.25.
    double doubtfulMoves = 0.25;
    // Each entry is matched only to the onsets of a band: `band` seconds either side (at
    // the recording's mean density of onsets) of where its time and its place in the list
    // point, then of a path found before. The bands follow the path, so an even spread may
    // lie any distance off; the work and memory grow with the entries times the band's
    // width.
    double band = 6.0;
};

// Moves each time forward as far as needed to lie at least `gap` after the one before it
// (and the first at 0 or later), so that times in order stay in order and distinct.
void keepApart(std::vector<double>& times, double gap);

// Called now and then from the aligning thread with the work done and the work in all;
// returning false cancels the alignment.
using AlignmentProgress = std::function<bool(int done, int total)>;

struct Alignment {
    std::vector<double> times; // the new time of every entry, in seconds, not rounded
    // Whether entry i sits on an onset it is sure of (else it keeps its own time where that
    // fits in order, or is interpolated between its neighbours).
    std::vector<bool> onOnset;
    std::vector<int> onset;    // the index of that onset, or -1
    int matched = 0;           // how many entries sit on an onset they are sure of
    int moved = 0;             // how many entries change by half a hundredth of a second or more
    double largestMove = 0;    // seconds, the largest change of any entry
    int largestMoveEntry = -1; // its index
    QString error;             // why the entries were not aligned; empty on success
    bool cancelled = false;    // the progress report asked to stop: nothing was aligned
    // The mean change of ln(tempo) from one step between sure entries to the next (the
    // tempo: the onsets' gap against the entries' own). See AlignmentCosts::doubtfulJumps.
    double tempoJumps = 0;
    // The same from one stretch of four such steps to the next: the scatter of single steps
    // (a hand's places or clicks) cancels out, a path through the wrong notes keeps drifting.
    // With fewer than nine sure entries, tempoJumps. See AlignmentCosts::doubtfulDrift.
    double tempoDrift = 0;
    bool ok() const { return error.isEmpty() && !cancelled; }
};

// Whether the path of entries spread by the boxes' places is doubtful as a whole: its tempo
// both jumps from step to step and drifts from stretch to stretch (see doubtfulJumps and
// doubtfulDrift).
bool tempoDoubtful(const Alignment& a, const AlignmentCosts& costs = {});

// Moves the entries (their times in list order) onto the onsets by a global alignment that
// keeps the entries' order: each entry either takes an onset (a later entry a later onset)
// or stays without one, and the choice with the least total cost wins (see
// AlignmentCosts). Entries without an onset get times interpolated between their aligned
// neighbours (shifted with the nearest one at either end), so the result is in time order
// whatever the onsets, and no two share a time (they are at least a hundredth of a second
// apart, see keepApart). Entries whose times go backwards are refused with an error, never
// reordered; so is an empty onset list.
//
// spread: the times were spread over the marked stretch (evenly, or by the boxes' spacing),
// not measured one by one, so where they and the entries' count point far apart the count
// is followed, and an entry that is not sure is filled in between its sure neighbours (a
// spread's times say nothing of where it sounds); a marking by hand keeps its own times
// where they fit. An even spread is told as such without it. Spread times are aligned
// again as an even spread over the same stretch: a rhythm read from the page can lead a
// whole path astray, each of its steps cheap; neither reading takes a loud onset under a
// held note (Onset::underHeldNote), an accompaniment's. Where that reading confirms one entry in
// ten or more, an entry is sure where a third reading with tempo changes three times as cheap keeps
// it on its onset; else only where the two agree (see agreedOnsets in alignmentfill.h). An even
// spread without a rhythm is aligned twice too, the second time with tempo changes three times as
// cheap, and an entry is sure only where both readings land it on the same onset.
Alignment align(const std::vector<double>& entryTimes, const std::vector<Onset>& onsets,
                const AlignmentCosts& costs = {}, bool spread = false,
                const AlignmentProgress& progress = {});

} // namespace onsetalignment
