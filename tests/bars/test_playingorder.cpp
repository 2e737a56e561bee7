#include "bars/playingorder.h"

#include <gtest/gtest.h>

namespace {

// Bars written as a line of signs, one per bar: "|:" starts a repeat at its left, ":|"
// ends one at its right, "1" and "2" start a first and second ending, "." is a plain bar.
QList<bars::Bar> barsOf(const std::vector<std::string>& signs)
{
    QList<bars::Bar> out;
    for (const std::string& sign : signs) {
        bars::Bar bar;
        bar.startRepeat = sign.find("|:") != std::string::npos;
        bar.endRepeat = sign.find(":|") != std::string::npos;
        bar.ending = sign.find('1') != std::string::npos   ? 1
                     : sign.find('2') != std::string::npos ? 2
                                                           : 0;
        out << bar;
    }
    return out;
}

TEST(PlayingOrder, TakesEachRepeatOnce)
{
    // Without signs: as written.
    EXPECT_EQ(bars::playingOrder(barsOf({".", ".", "."})), (QList<int>{0, 1, 2}));
    // |: 1 2 :| 3
    EXPECT_EQ(bars::playingOrder(barsOf({".", "|:", ":|", "."})), (QList<int>{0, 1, 2, 1, 2, 3}));
    // A closing sign without an opening one goes back to the start.
    EXPECT_EQ(bars::playingOrder(barsOf({".", ":|", "."})), (QList<int>{0, 1, 0, 1, 2}));
    // Two passages in a row: the second goes back to its own start, not to the first's.
    EXPECT_EQ(bars::playingOrder(barsOf({".", ":|", ".", ":|"})),
              (QList<int>{0, 1, 0, 1, 2, 3, 2, 3}));
    // A passage that ends where the next one starts (:|: drawn as one bar line).
    EXPECT_EQ(bars::playingOrder(barsOf({"|:", ":|", "|:", ":|"})),
              (QList<int>{0, 1, 0, 1, 2, 3, 2, 3}));
}

TEST(PlayingOrder, LeavesOutTheFirstEndingOnTheWayBack)
{
    // |: 0 1 [1. 2 :|] [2. 3] 4
    EXPECT_EQ(bars::playingOrder(barsOf({"|:", ".", "1:|", "2", "."})),
              (QList<int>{0, 1, 2, 0, 1, 3, 4}));
    // Endings of two bars each, and a passage after them with its own repeat.
    EXPECT_EQ(bars::playingOrder(barsOf({".", "1", ":|", "2", ".", "|:", ":|"})),
              (QList<int>{0, 1, 2, 0, 3, 4, 5, 6, 5, 6}));
}

TEST(PlayingOrder, EndsOnSignsThatMakeNoSense)
{
    // Every bar a closing sign and a first ending, or the signs in the wrong order: each
    // bar is played at most twice and the order ends.
    for (const auto& signs : std::vector<std::vector<std::string>>{
             {"1:|", "1:|", "1:|"}, {":|", "|:", "2", "1"}, {"1", "1", "."}, {}}) {
        const QList<bars::Bar> written = barsOf(signs);
        const QList<int> order = bars::playingOrder(written);
        for (int i = 0; i < written.size(); ++i)
            EXPECT_LE(order.count(i), 2);
        for (const int i : order)
            EXPECT_TRUE(i >= 0 && i < written.size());
    }
}

} // namespace
