#include "bars/playingorder.h"

#include <vector>

namespace bars {

QList<int> playingOrder(const QList<Bar>& bars)
{
    const int count = int(bars.size());
    QList<int> order;
    order.reserve(count);
    std::vector<bool> jumped(size_t(count), false);
    int from = 0;        // where the next :| sends the music back to
    bool second = false; // playing a repeated passage the second time
    int i = 0;
    while (i < count) {
        const Bar& bar = bars[i];
        if (bar.startRepeat && !second)
            from = i;
        if (second && bar.ending == 1) {
            // The first ending is left out: it lasts up to its :| (or this bar alone
            // when none follows).
            int last = i;
            while (last < count && !bars[last].endRepeat)
                ++last;
            i = (last < count ? last : i) + 1;
            second = false;
            from = i;
            continue;
        }
        order << i;
        if (bar.endRepeat) {
            if (!jumped[size_t(i)]) {
                jumped[size_t(i)] = true;
                second = true;
                i = from;
                continue;
            }
            second = false;
            from = i + 1;
        }
        ++i;
    }
    return order;
}

} // namespace bars
