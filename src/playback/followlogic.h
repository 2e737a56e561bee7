#pragma once

#include <QColor>
#include <QPoint>
#include <functional>
#include <optional>

// The pure arithmetic of marker following.
namespace followlogic {

// The current entry for position p: the last entry whose time is not after p, scanning
// from entry 0 and stopping at the first entry whose time is greater than p; -1 before
// the first entry. time(i) may throw (an entry name that is not a number).
int findCurrent(int count, const std::function<double(int)>& time, double p);
// The same, given where the scan stops: the first entry whose time is greater than p, or
// count when there is none (for a list known to be in time order, found by bisection).
int findCurrentFrom(int count, const std::function<double(int)>& time, double p, int stop);

// Red, or spring green while the next entry is near: the last 10/39 of the time between
// two entries, less the last hundredth of a second.
QColor markerColor(int current, int count, const std::function<double(int)>& time, double p);

// The smallest entry time greater than p, or nullopt. stop: the first entry whose time is
// greater than p in a list known to be in time order, or -1 to scan the whole list.
std::optional<double> nextEntryTime(int count, const std::function<double(int)>& time, double p,
                                    int stop);

// The next rounded position after p at which the follow tick would show something else:
// the entry at nextTime (nextEntryTime) becomes current, or the marker of entry current
// changes colour. Nullopt when nothing changes any more. A list out of time order can only
// change at an entry time too, so the answer holds for it as well.
std::optional<double> nextChange(int current, int count, const std::function<double(int)>& time,
                                 double p, std::optional<double> nextTime);

inline const QColor kRed{255, 0, 0};
inline const QColor kSpringGreen{0, 255, 128};

// A place in millionths of the displayed size, in pixels rounded to a multiple of 10, held
// within the distance a widget can be placed at.
int placeToPixels(long long millionths, int displayed);

struct ScrollView {
    int vertical = 0;                      // V
    int horizontal = 0;                    // Hs
    int outerHeight = 0, outerWidth = 0;   // SH, SW
    int clientHeight = 0, clientWidth = 0; // SCH, SCW
};

// New scroll positions that keep the marker at (xp, yp) in view: fixed near the top-left
// (15 % of the box) with keepTopLeft, otherwise moving only when it leaves the band.
QPoint scrollFor(const ScrollView& view, int xp, int yp, bool keepTopLeft);

} // namespace followlogic
