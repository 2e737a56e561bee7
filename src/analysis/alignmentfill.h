#pragma once

#include <functional>
#include <vector>

struct Onset;

// The steps of an alignment around its path: times for the entries without an onset, the
// guide a path gives the next search, and the checks of how a marking by hand moves onto
// its onsets. Used by align() (onsetalignment.h).
namespace onsetalignment {

struct Alignment;
struct AlignmentCosts;

// Entries never share a time after an alignment: of entries with one time only the last
// is ever shown.
constexpr double kSmallestGap = 0.01;

// Reports part `part` of `parts` (readings or alignments of the same entries) as an equal
// share of the work. Empty when progress is.
std::function<bool(int, int)> partOf(const std::function<bool(int, int)>& progress, int part,
                                     int parts);

// One reading of the entries against the onsets: the path and the entries sure of it, as
// align() describes, without the second reading that confirms them. Cancelled (nothing
// aligned) when the progress report asks to stop.
Alignment alignOnce(const std::vector<double>& entryTimes, const std::vector<Onset>& onsets,
                    const AlignmentCosts& costs, bool spread,
                    const std::function<bool(int, int)>& progress);

// Times for the entries that took no onset (match -1): between two aligned neighbours in
// proportion to the entries' own spacing t; before the first aligned one squeezed between
// the recording's start and it where a shift would take them before the start; after the
// last shifted with it. u: the onsets' times.
std::vector<double> fillIn(const std::vector<double>& t, const std::vector<int>& match,
                           const std::vector<double>& u);

// An onset for every entry: its own, or one interpolated by entry between the onsets of
// its neighbours (held at either end).
std::vector<int> guideFrom(const std::vector<int>& match);

// Entries that are not placed (-1) keep their own times t where these fit, in order and at
// least gap apart, between the new times of the placed entries around them.
void keepOwnTimes(const std::vector<double>& t, const std::vector<int>& placed,
                  std::vector<double>& times, double gap);

// Fills result from the onset each entry is placed on (-1 for none): the times (the others
// filled in, see fillIn, and where keepOwn keeping their own times, see keepOwnTimes; kept
// gap apart), the counts, the largest move and how much the tempo of the placed entries
// jumps and drifts (Alignment::tempoJumps, Alignment::tempoDrift).
void settle(const std::vector<double>& entryTimes, const std::vector<int>& placed,
            const std::vector<Onset>& onsets, double gap, Alignment& result, bool keepOwn = true);

// Whether the steps are equal to a hundredth of a second, as automatic marking spreads the
// entries.
bool evenSteps(const std::vector<double>& t);

// The median distance of the times t from their nearest onsets (in time order).
double typicalDistance(const std::vector<double>& t, const std::vector<Onset>& onsets);

// The onsets of the entries an alignment is sure of (-1 for others) that a check (another
// alignment of the same entries) confirms, see align().
std::vector<int> agreedOnsets(const Alignment& result, const Alignment& check);

// How much the moves of the placed entries (onset index, -1 for none) onto their onsets
// scatter: the median absolute deviation from their median, scaled to a standard deviation.
// 0 for fewer than three.
double moveScatter(const std::vector<double>& t, const std::vector<int>& placed,
                   const std::vector<Onset>& onsets);

// Takes off their onsets (-1) the placed entries whose move onto it differs from the
// median move of all placed entries by more than `limit` seconds.
void dropOddMoves(const std::vector<double>& t, const std::vector<Onset>& onsets, double limit,
                  std::vector<int>& placed);

} // namespace onsetalignment
