#include "analysis/alignmentfill.h"
#include "analysis/onsetalignment.h"

#include <algorithm>

namespace onsetalignment {

namespace {

// An attack under a held note this many times the onsets' median strength or more is loud
// (chosen on the corpus's tuning half: anything from 1.5 to 3 gives the same alignments).
constexpr double kLoudUnderHeld = 2.0;
// A spread's last entry this much (seconds) after the recording's last onset is still
// taken where it lies: a hand lags a little.
constexpr double kLateEnd = 0.25;

// The onsets of result's entries that a reading with tempo changes three times as cheap
// keeps them on (-1 for the others), into placed: a path through the wrong notes moves when
// the price of its tempo's turns does, the right one holds. False when that reading was
// cancelled.
bool heldOnsets(const Alignment& result, const std::vector<double>& entryTimes,
                const std::vector<Onset>& onsets, const AlignmentCosts& costs, bool spread,
                const AlignmentProgress& progress, std::vector<int>& placed)
{
    AlignmentCosts looser = costs;
    looser.tempoChange /= 3;
    const Alignment check = alignOnce(entryTimes, onsets, looser, spread, progress);
    if (check.cancelled)
        return false;
    placed = result.onset;
    for (std::size_t i = 0; i < placed.size(); ++i)
        if (!check.ok() || check.onset[i] != placed[i])
            placed[i] = -1;
    return true;
}

Alignment cancelled()
{
    Alignment a;
    a.cancelled = true;
    return a;
}

// The entries spread evenly over the stretch the times cover.
std::vector<double> evenOver(const std::vector<double>& t)
{
    std::vector<double> even;
    const double step = (t.back() - t.front()) / static_cast<double>(t.size() - 1);
    for (std::size_t i = 0; i < t.size(); ++i)
        even.push_back(t.front() + step * static_cast<double>(i));
    return even;
}

// The stretch a spread covers was set by hand, its end too. Its last entry cannot sound
// after the recording's last onset (a soft echo or noise aside): where it lies later than
// that (the end set on the recording's end, past the last chord's echo), the spread is
// drawn in to end on that onset, in proportion. (On the corpus's tuning half, with the end
// so set, this keeps a clarinet's slurred notes from being refused, and where the end is
// the music's it changes nothing.)
std::vector<double> drawnIn(std::vector<double> t, const std::vector<Onset>& onsets)
{
    const double last = lastMusicOnset(onsets);
    if (last > t.front() && t.back() > last + kLateEnd) {
        const double share = (last - t.front()) / (t.back() - t.front());
        const double first = t.front();
        for (double& time : t)
            time = first + (time - first) * share;
    }
    return t;
}

Alignment alignReadings(const std::vector<double>& entryTimes, const std::vector<Onset>& onsets,
                        const AlignmentCosts& costs, bool spread, const AlignmentProgress& progress)
{
    const bool even = !spread && entryTimes.size() >= 2 && evenSteps(entryTimes);
    if (entryTimes.size() < 2 || (!spread && !even))
        return alignOnce(entryTimes, onsets, costs, spread, progress);
    // An even spread is read twice, a rhythm up to three times (see below).
    const int parts = even ? 2 : 3;
    const Alignment result =
        alignOnce(entryTimes, onsets, costs, spread, partOf(progress, 0, parts));
    if (!result.ok())
        return result;
    std::vector<int> placed;
    if (even) {
        // An even spread tells nothing but the count, so where the recording holds more
        // onsets than entries (an accompaniment, a trill, a noise) the path is chosen by
        // how steadily its tempo runs. An entry is sure only where a reading that lets the
        // tempo change three times as cheaply lands it on the same onset (see heldOnsets).
        // (On the corpus's tuning half this keeps every right path and drops most of
        // the sure entries of the wrong ones.)
        if (!heldOnsets(result, entryTimes, onsets, costs, false, partOf(progress, 1, parts),
                        placed))
            return cancelled();
    } else {
        // A rhythm read from the boxes' spacing can lead the path astray as surely as it
        // can guide it. Where a marking that says nothing but the count (an even spread over
        // the same stretch) lands one entry in ten or more on the same onset, the rhythm's
        // path is on the right notes, and an entry is sure where a reading with tempo
        // changes three times as cheap keeps it on its onset. (The even spread itself goes
        // astray in long and dotted notes: a check by it alone dropped right entries by the
        // dozen on the corpus's tuning half.) Else an entry is sure only where the two
        // readings agree.
        Alignment check =
            alignOnce(evenOver(entryTimes), onsets, costs, false, partOf(progress, 1, parts));
        if (check.cancelled)
            return check;
        if (!check.ok()) // it confirms nothing
            check.onset.assign(entryTimes.size(), -1);
        placed = agreedOnsets(result, check);
        int agreeing = 0;
        for (std::size_t i = 0; i < placed.size(); ++i)
            agreeing += result.onset[i] >= 0 && check.onset[i] == result.onset[i] ? 1 : 0;
        if (10 * agreeing >= static_cast<int>(entryTimes.size()) &&
            !heldOnsets(result, entryTimes, onsets, costs, true, partOf(progress, 2, parts),
                        placed))
            return cancelled();
    }
    // The times of a spread say nothing of where its unsure entries sound: they are filled
    // in between the sure ones, by the spread's proportions.
    Alignment agreed;
    settle(entryTimes, placed, onsets, kSmallestGap, agreed, false);
    return agreed;
}

// A spread (by the boxes' places, or even), drawn in to the recording's music.
Alignment alignSpread(const std::vector<double>& entryTimes, const std::vector<Onset>& onsets,
                      const AlignmentCosts& costs, bool spread, const AlignmentProgress& progress)
{
    if (!spread)
        return alignReadings(entryTimes, onsets, costs, spread, progress);
    // A loud attack under a held melody note is an accompaniment's (the held note played
    // again is not marked so, see Onset::underHeldNote): no entry of a marking spread by
    // its boxes' places takes it, nor pays for leaving it over, for by its strength it
    // would pull the path off the melody. A soft one may be the held note struck again
    // softly and stays to be taken, though never for sure (see sureEntries). Elsewhere
    // every onset stays: on the corpus's tuning half, clicks by hand aligned without these
    // went astray more often, and an even spread gained on one piece what it lost on
    // another. The onset indices of the result are those of the list given.
    const double loud = kLoudUnderHeld * medianStrength(onsets);
    std::vector<Onset> own;
    std::vector<int> index;
    for (std::size_t j = 0; j < onsets.size(); ++j)
        if (!onsets[j].underHeldNote || onsets[j].strength < loud) {
            own.push_back(onsets[j]);
            index.push_back(static_cast<int>(j));
        }
    if (own.size() == onsets.size() || own.empty())
        return alignReadings(entryTimes, onsets, costs, spread, progress);
    Alignment result = alignReadings(entryTimes, own, costs, spread, progress);
    for (int& j : result.onset)
        if (j >= 0)
            j = index[static_cast<std::size_t>(j)];
    return result;
}

} // namespace

Alignment align(const std::vector<double>& entryTimes, const std::vector<Onset>& onsets,
                const AlignmentCosts& costs, bool spread, const AlignmentProgress& progress)
{
    if (onsets.empty())
        return alignReadings(entryTimes, onsets, costs, spread, progress);
    if (entryTimes.size() >= 2 && std::is_sorted(entryTimes.begin(), entryTimes.end()) &&
        (spread || evenSteps(entryTimes)))
        return alignSpread(drawnIn(entryTimes, onsets), onsets, costs, spread, progress);
    return alignReadings(entryTimes, onsets, costs, spread, progress);
}

} // namespace onsetalignment
