#pragma once

#include "bars/barfinder.h"

#include <QList>

namespace bars {

// The order in which the bars are played when the repeats are taken: indexes into `bars`.
// A bar with `endRepeat` sends the music back once to the last `startRepeat` (or to the
// start, or to the bar after the previous repeat ended); on the way back the bars of a
// first ending are left out and the second ending follows. Without repeat signs it is
// 0, 1, 2, ... Every bar is played at most twice, so the order ends on any input.
QList<int> playingOrder(const QList<Bar>& bars);

} // namespace bars
