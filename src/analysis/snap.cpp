#include "analysis/onsetalignment.h"

#include <algorithm>
#include <cmath>

namespace onsetalignment {

double snap(double time, const std::vector<Onset>& onsets, double window, double scatter)
{
    auto it = std::lower_bound(onsets.begin(), onsets.end(), time - window,
                               [](const Onset& o, double t) { return o.time < t; });
    const Onset* best = nullptr;
    double bestWeight = 0;
    for (; it != onsets.end() && it->time <= time + window; ++it) {
        const double off = (it->time - time) / scatter;
        const double weight = it->strength * std::exp(-0.5 * off * off);
        if (!best || weight > bestWeight) {
            best = &*it;
            bestWeight = weight;
        }
    }
    return best ? best->time : time;
}

} // namespace onsetalignment
