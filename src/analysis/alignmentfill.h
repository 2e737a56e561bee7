#pragma once

#include <vector>

// The steps of an alignment around its path: times for the entries without an onset, and
// the guide a path gives the next search. Used by align() (onsetalignment.h).
namespace onsetalignment {

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

} // namespace onsetalignment
