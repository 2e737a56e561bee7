#include "playback/follower.h"
#include "playback/guestclock.h"
#include "playback/playbackstate.h"
#include "playback/readahead.h"
#include "playback/sheetview.h"
#include "playback/zoomandmarker.h"
#include "project/workspace.h"
#include "projectview/pages.h"
#include "support/testwindow.h"

#include <QComboBox>
#include <QDir>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

using readahead::Entry;

namespace {

// Page 0 with four rows of two entries (one a second), then page 1 whose first two rows
// come at 8 s and 9 s. Places in millionths of the page's height.
std::vector<Entry> twoPages()
{
    std::vector<Entry> e;
    const long long rows[] = {100000, 350000, 600000, 850000};
    for (int i = 0; i < 8; ++i)
        e.push_back({static_cast<double>(i), 0, rows[i / 2] + (i % 2) * 10000});
    e.push_back({8, 1, 100000});
    e.push_back({9, 1, 350000});
    return e;
}

readahead::Geometry view(int height)
{
    return {height, 1000, 1000, 33};
}

} // namespace

TEST(ReadAheadLogic, RowsAreClustersOfCloseMarkerTops)
{
    std::vector<Entry> e = twoPages();
    e.push_back({20, 0, 105000}); // back to the first row (a repeat)
    const auto rows = readahead::rowsOf(e, 0, 1000, 33);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].firstY, 100);
    EXPECT_EQ(rows[0].lastY, 110);
    // Rows reach halfway to their neighbours; the outer ones as far as the median half gap.
    EXPECT_EQ(rows[0].bottom, rows[1].top);
    EXPECT_EQ(rows[0].bottom, 143 + (350 - 143) / 2);
    EXPECT_EQ(rows[0].top, 0);
    EXPECT_EQ(rows[3].bottom, 893 + (350 - 143) / 2);
    EXPECT_EQ(readahead::rowAt(rows, 610), 2);
    EXPECT_EQ(readahead::rowAt(rows, 200), -1);
    EXPECT_EQ(readahead::rowsOf(e, 1, 1000, 33).size(), 2u);
    EXPECT_TRUE(readahead::rowsOf(e, 5, 1000, 33).empty());
}

TEST(ReadAheadLogic, TurnWaitsForPlayedRoomOrTheLead)
{
    const auto e = twoPages();
    // Rows 1 to 3 still to come do not fit beside the next page's first system.
    EXPECT_FALSE(readahead::decide(e, 2, 2.0, 1, view(600)).shown());
    // Row 2: only by the lead, 2 s of wall time plus the tick's margin before the break.
    EXPECT_FALSE(readahead::decide(e, 4, 4.0, 1, view(600)).shown());
    EXPECT_TRUE(readahead::decide(e, 5, 5.8, 1, view(600)).shown());
    // At double tempo 4 s of the recording pass in 2 s.
    const auto fast = readahead::decide(e, 4, 4.0, 2, view(600));
    ASSERT_TRUE(fast.shown());
    EXPECT_EQ(fast.nextEntry, 8);
    EXPECT_EQ(fast.nextPage, 1);
    // Row 3: everything left fits, shown at once whatever the tempo.
    EXPECT_TRUE(readahead::decide(e, 6, 6.0, 0.5, view(600)).shown());
    EXPECT_DOUBLE_EQ(readahead::forcedFrom(e, 8, 1), 8 - 2.3);
    EXPECT_DOUBLE_EQ(readahead::forcedFrom(e, 8, 0.5), 8 - 1.15);
    EXPECT_DOUBLE_EQ(readahead::forcedFrom(e, 8, 0.2), 7); // the last entry before the break
    // No turn on the last page, and none where the played row would not stay whole.
    EXPECT_FALSE(readahead::decide(e, 8, 8.0, 1, view(600)).shown());
    EXPECT_FALSE(readahead::decide(e, 7, 7.5, 1, view(300)).shown());
}

TEST(ReadAheadLogic, LeadAndPlayedRowHoldOverTheWholeTimeline)
{
    const auto e = twoPages();
    for (double rate : {0.5, 1.0, 2.0}) {
        for (int height : {500, 600, 900, 1400}) {
            std::optional<double> since;
            for (int h = 0; h < 800; ++h) {
                const double p = h / 100.0;
                const int current = std::min(7, static_cast<int>(p));
                const auto turn = readahead::decide(e, current, p, rate, view(height));
                if (!turn.shown()) {
                    EXPECT_FALSE(since) << "the turn went away at " << p;
                    continue;
                }
                since = since.value_or(p);
                const auto rows = readahead::rowsOf(e, 0, 1000, 33);
                const auto& row = rows[static_cast<size_t>(current / 2)];
                // The row being played is whole, below the band and within the view.
                EXPECT_GE(row.top - turn.scroll, turn.band) << p;
                EXPECT_LE(row.bottom - turn.scroll, height) << p;
                EXPECT_GE(turn.band, 245); // the next page's first system and the rule
            }
            ASSERT_TRUE(since) << rate << " " << height;
            EXPECT_TRUE((8 - *since) / rate >= readahead::kLeadSeconds || *since <= 7)
                << rate << " " << height << " shown from " << *since;
        }
    }
}

class ReadAheadTest : public ::testing::Test {
protected:
    // Two 600 x 800 pages: eight rows on page 0, one entry a second, and page 1 from 9 s.
    void SetUp() override
    {
        testfiles::ProjectLayout layout;
        layout.audio = testfiles::writeFile(
            QDir(w.notes.path()).filePath(QStringLiteral("song.wav")), QByteArray("RIFF"));
        layout.pages << QStringLiteral("page0.jpg") << QStringLiteral("page1.jpg");
        for (int i = 0; i < 8; ++i)
            layout.entries
                << QStringLiteral("%1={300000}{%2}{0}").arg(i + 1).arg(60000 + i * 120000);
        layout.entries << QStringLiteral("9={300000}{60000}{1}")
                       << QStringLiteral("10={300000}{300000}{1}");
        w.open(w.makeProject(layout));
        w.primePlayer(60);
        w.player.setStateQuietly(Player::Playing, QStringLiteral("Playing"));
        // A view shorter than the page, so that the page scrolls.
        w.window->sheet().setFixedHeight(560);
        QCoreApplication::processEvents();
    }

    // Ticks at the position, waiting for the page decoded ahead where one is asked for.
    void tickAt(double position)
    {
        w.player.setPositionQuietly(position);
        w.window->follower().PositionTimerTimer();
        for (int i = 0; i < 200 && w.window->pages().pageAhead() >= 0 &&
                        w.window->pages().decodedAhead(w.window->pages().pageAhead()).isEmpty();
             ++i)
            QTest::qWait(10);
        w.window->playbackState().refreshRequest = true;
        w.window->follower().PositionTimerTimer();
    }

    void toggle()
    {
        QTest::mouseClick(&w.find<LinkLabel>("MarkerBox_ReadAheadLabel"), Qt::LeftButton);
    }
    SheetView& sheet() { return w.window->sheet(); }
    bool shown() { return !pane().isHidden(); }
    ReadAheadPane& pane() { return w.find<ReadAheadPane>("ReadAheadImage"); }
    QString pageName() { return sheet().image()->accessibleName(); }

    TestWindow w;
};

TEST_F(ReadAheadTest, OffLeavesTheTurnAsItWas)
{
    EXPECT_FALSE(w.window->playbackState().readAhead);
    for (double p : {1.0, 6.0, 7.0, 8.5})
        tickAt(p);
    EXPECT_FALSE(shown());
    EXPECT_EQ(pageName(), QStringLiteral("Notes page: Page 1"));
    tickAt(9);
    EXPECT_EQ(pageName(), QStringLiteral("Notes page: Page 2"));
}

TEST_F(ReadAheadTest, NextPageShowsBeforeTheBreakAndBecomesThePageAfterIt)
{
    toggle();
    ASSERT_TRUE(w.window->playbackState().readAhead);
    tickAt(2);
    EXPECT_FALSE(shown());
    // Six rows played: the played part holds page 2's first system.
    tickAt(6.5);
    ASSERT_TRUE(shown());
    EXPECT_EQ(pane().accessibleName(), QStringLiteral("Next page: Page 2 (read ahead)"));
    EXPECT_EQ(pageName(), QStringLiteral("Notes page: Page 1"));
    // The marker (on the row being played) stays below the rule, within the view.
    const int markerInView = sheet().point()->y() - sheet().verticalScroll();
    EXPECT_GE(markerInView, pane().height());
    EXPECT_LE(markerInView + SheetView::kMarkerHeight, sheet().viewport()->height());
    tickAt(8.2);
    EXPECT_TRUE(shown());

    tickAt(9);
    EXPECT_FALSE(shown());
    EXPECT_EQ(pageName(), QStringLiteral("Notes page: Page 2"));

    // Back across the break (a replay): page 1 as before, and the turn comes again.
    tickAt(7.5);
    EXPECT_EQ(pageName(), QStringLiteral("Notes page: Page 1"));
    tickAt(8.1);
    EXPECT_TRUE(shown());
}

TEST_F(ReadAheadTest, SeekPickAndHandTurnEndTheTurn)
{
    toggle();
    tickAt(7.2);
    ASSERT_TRUE(shown());
    // A seek within the same entry: the sheet shows that entry as without read ahead.
    w.player.setPosition(7.3);
    EXPECT_FALSE(shown());
    tickAt(7.4);
    EXPECT_FALSE(shown());
    tickAt(8.1); // the next entry sounds: the turn is back
    EXPECT_TRUE(shown());

    w.player.setPosition(1.0);
    tickAt(1.0);
    EXPECT_FALSE(shown());

    tickAt(7.2);
    ASSERT_TRUE(shown());
    w.window->pages().nextPage(); // Right Arrow
    EXPECT_FALSE(shown());
    tickAt(7.3);
    EXPECT_FALSE(shown());

    // Switched off: the shown page alone.
    w.window->zoom().setMarkerSwitch(0);
    w.window->zoom().applyMarkerDisplay();
    tickAt(7.4);
    tickAt(8.1);
    ASSERT_TRUE(shown());
    toggle();
    EXPECT_FALSE(shown());
}

TEST_F(ReadAheadTest, HeardPositionZoomTopLeftAndGuestClockAllTurnEarly)
{
    toggle();
    // One second of audio delay: at 5.5 s the player is a second ahead of what is heard.
    w.window->playbackState().audioDelay = 1.0;
    tickAt(5.5);
    EXPECT_FALSE(shown());
    tickAt(6.1);
    EXPECT_TRUE(shown());
    w.window->playbackState().audioDelay = 0;

    // Zoomed in, with the marker kept at the top-left: the next page at the same zoom, the
    // row being played below the rule.
    w.window->zoom().zoomIn();
    w.window->zoom().keepTopLeftCommand();
    tickAt(8.2);
    ASSERT_TRUE(shown());
    EXPECT_EQ(sheet().displaySize(), QSize(720, 960));
    const int markerInView = sheet().point()->y() - sheet().verticalScroll();
    EXPECT_GE(markerInView, pane().height());
    EXPECT_LE(markerInView + SheetView::kMarkerHeight, sheet().viewport()->height());

    // A session guest follows the host's clock: its sheet reads ahead as well.
    w.player.setPosition(0);
    tickAt(0.5);
    EXPECT_FALSE(shown());
    w.window->workspace().modes.followMode = true;
    w.player.setSource(QString());
    w.holdClock();
    w.window->guestClock().set(8.3);
    tickAt(8.3);
    EXPECT_TRUE(shown());
}
