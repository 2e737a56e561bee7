#include "analysis/alignmentfill.h"
#include "analysis/onsetalignment.h"

namespace onsetalignment {

namespace {

// Two readings of the same entries, each reported as half of the work.
AlignmentProgress halfOf(const AlignmentProgress& progress, int from)
{
    if (!progress)
        return {};
    return [&progress, from](int done, int total) {
        return progress(from + done / 2, total);
    };
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

} // namespace

Alignment align(const std::vector<double>& entryTimes, const std::vector<Onset>& onsets,
                const AlignmentCosts& costs, bool spread, const AlignmentProgress& progress)
{
    const bool even = !spread && entryTimes.size() >= 2 && evenSteps(entryTimes);
    if (entryTimes.size() < 2 || (!spread && !even))
        return alignOnce(entryTimes, onsets, costs, spread, progress);
    const Alignment result = alignOnce(entryTimes, onsets, costs, spread, halfOf(progress, 0));
    if (!result.ok())
        return result;
    std::vector<int> placed;
    if (even) {
        // An even spread tells nothing but the count, so where the recording holds more
        // onsets than entries (an accompaniment, a trill, a noise) the path is chosen by
        // how steadily its tempo runs. An entry is sure only where a reading that lets the
        // tempo change three times as cheaply lands it on the same onset: a path through
        // the wrong notes moves when the price of its tempo's turns does, the right one
        // holds. (On the corpus's tuning half this keeps every right path and drops most of
        // the sure entries of the wrong ones.)
        AlignmentCosts looser = costs;
        looser.tempoChange /= 3;
        const Alignment check = alignOnce(entryTimes, onsets, looser, false, halfOf(progress, 500));
        if (check.cancelled)
            return check;
        placed = result.onset;
        for (std::size_t i = 0; i < placed.size(); ++i)
            if (!check.ok() || check.onset[i] != placed[i])
                placed[i] = -1;
    } else {
        // A rhythm read from the boxes' spacing can lead the path astray as surely as it
        // can guide it: an entry is sure only where a marking that says nothing but the
        // count (an even spread over the same stretch) lands it on the same onset.
        Alignment check =
            alignOnce(evenOver(entryTimes), onsets, costs, false, halfOf(progress, 500));
        if (check.cancelled)
            return check;
        if (!check.ok()) // it confirms nothing
            check.onset.assign(entryTimes.size(), -1);
        placed = agreedOnsets(result, check);
    }
    Alignment agreed;
    settle(entryTimes, placed, onsets, kSmallestGap, agreed);
    return agreed;
}

} // namespace onsetalignment
