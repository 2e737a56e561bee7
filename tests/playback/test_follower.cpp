#include "playback/follower.h"
#include "playback/followlogic.h"
#include "playback/guestclock.h"
#include "playback/markerindexmodel.h"
#include "playback/sheetview.h"
#include "playback/zoomandmarker.h"
#include "project/markerlist.h"
#include "project/numbertext.h"
#include "projectview/pageahead.h"
#include "projectview/pages.h"
#include "support/testwindow.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListView>
#include <QSlider>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

#include <climits>

namespace {

std::function<double(int)> timesOf(std::vector<double> t)
{
    return [t](int i) {
        return t.at(static_cast<size_t>(i));
    };
}

} // namespace

TEST(FollowLogic, CurrentEntryIsTheLastNotAfterThePosition)
{
    const auto t = timesOf({1.00, 2.50, 4.00});
    EXPECT_EQ(followlogic::findCurrent(3, t, 0.99), -1);
    EXPECT_EQ(followlogic::findCurrent(3, t, 1.00), 0);
    EXPECT_EQ(followlogic::findCurrent(3, t, 2.49), 0);
    EXPECT_EQ(followlogic::findCurrent(3, t, 2.50), 1);
    EXPECT_EQ(followlogic::findCurrent(3, t, 10), 2);
    EXPECT_EQ(followlogic::findCurrent(0, t, 10), -1);
    // Two entries of the same time: the later one is current.
    EXPECT_EQ(followlogic::findCurrent(6, timesOf({1, 2, 2.5, 2.9, 3, 3}), 3.00), 5);
    // An entry out of time order hides the ones after it.
    EXPECT_EQ(followlogic::findCurrent(3, timesOf({1, 9, 2}), 5), 0);
}

TEST(FollowLogic, MarkerTurnsGreenWhenTheNextEntryIsNear)
{
    const auto t = timesOf({2.00, 4.00});
    EXPECT_EQ(followlogic::markerColor(0, 2, t, 3.49), followlogic::kRed);
    EXPECT_EQ(followlogic::markerColor(0, 2, t, 3.50), followlogic::kSpringGreen);
    EXPECT_EQ(followlogic::markerColor(0, 2, t, 3.98), followlogic::kSpringGreen);
    EXPECT_EQ(followlogic::markerColor(0, 2, t, 3.99), followlogic::kRed);
    EXPECT_EQ(followlogic::markerColor(1, 2, t, 4.00), followlogic::kRed);
    EXPECT_EQ(followlogic::markerColor(-1, 2, t, 1.00), followlogic::kRed);
    const auto close = timesOf({4.00, 4.01});
    EXPECT_EQ(followlogic::markerColor(0, 2, close, 4.00), followlogic::kRed);
}

TEST(FollowLogic, PlacesAndScrolling)
{
    EXPECT_EQ(followlogic::placeToPixels(500000, 441), 220);
    EXPECT_EQ(followlogic::placeToPixels(523410, 800), 420);
    // Far beyond the page: held, not wrapped round.
    EXPECT_EQ(followlogic::placeToPixels(LLONG_MAX, 800), 16777210);
    EXPECT_EQ(followlogic::placeToPixels(-9000000000000, 800), -16777210);

    followlogic::ScrollView view{0, 0, 500, 800, 480, 780};
    // Keep top-left: 15 % of the box's outer size above and left of the marker.
    EXPECT_EQ(followlogic::scrollFor(view, 1000, 900, true), QPoint(880, 825));
    // Inside the band: the view stays.
    EXPECT_EQ(followlogic::scrollFor(view, 300, 200, false), QPoint(0, 0));
    // In the lowest 30 %: the marker moves to 30 % from the top.
    EXPECT_EQ(followlogic::scrollFor(view, 300, 400, false), QPoint(0, 64));
    // Above the view.
    view.vertical = 600;
    EXPECT_EQ(followlogic::scrollFor(view, 300, 100, false), QPoint(0, -44));
}

TEST(FollowLogic, NextChangeIsWhereTheTickFirstShowsSomethingElse)
{
    const std::vector<double> times{1.00, 2.00, 4.00, 4.01, 4.50, 7.00};
    const auto t = timesOf(times);
    const int n = static_cast<int>(times.size());
    const auto shown = [&](double p) {
        const int c = followlogic::findCurrent(n, t, p);
        return std::make_pair(c, followlogic::markerColor(c, n, t, p).rgb());
    };
    for (int h = 0; h < 800; ++h) {
        const double p = h / 100.0;
        std::optional<double> expected;
        for (int k = h + 1; k <= 800 && !expected; ++k)
            if (shown(k / 100.0) != shown(p))
                expected = k / 100.0;
        EXPECT_EQ(followlogic::nextChange(followlogic::findCurrent(n, t, p), n, t, p,
                                          followlogic::nextEntryTime(n, t, p, -1)),
                  expected)
            << p;
    }
}

class FollowerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        audio = testfiles::writeFile(QDir(w.notes.path()).filePath(QStringLiteral("song.wav")),
                                     QByteArray("RIFF"));
    }

    // Opens a project with the given entries and pages, primed and playing.
    void openProject(const QStringList& entries, int pages = 3)
    {
        testfiles::ProjectLayout layout;
        layout.audio = audio;
        for (int i = 0; i < pages; ++i)
            layout.pages << QStringLiteral("page%1.jpg").arg(i);
        layout.entries = entries;
        w.open(w.makeProject(layout));
        w.primePlayer(60);
        w.player.setStateQuietly(Player::Playing, QStringLiteral("Playing"));
    }

    void tickAt(double position)
    {
        w.player.setPositionQuietly(position);
        w.window->follower().PositionTimerTimer();
    }

    int selected() { return w.window->follower().selectedEntry(); }
    MarkerShape& point() { return *w.window->sheet().point(); }
    QComboBox& pageList() { return *w.window->pages().pageList(); }

    TestWindow w;
    QString audio;
};

TEST_F(FollowerTest, FollowsEntriesAndTurnsPages)
{
    openProject({QStringLiteral("1={500000}{100000}{0}"), QStringLiteral("2.5={100000}{500000}{1}"),
                 QStringLiteral("4={900000}{900000}{2}{Coda}")});
    ASSERT_EQ(w.player.source(), QDir(w.notes.path()).filePath(QStringLiteral("Test/song.wav")));

    tickAt(0.5);
    EXPECT_EQ(selected(), -1);
    EXPECT_FALSE(point().isVisible());

    tickAt(1.0);
    EXPECT_EQ(selected(), 0);
    EXPECT_TRUE(point().isVisible());
    EXPECT_EQ(point().pos(), QPoint(300, 80)); // 600 x 800 page
    EXPECT_EQ(w.find<QSlider>("TrackBar").value(), 100);
    EXPECT_EQ(w.window->indexModel().count(), 3);
    EXPECT_EQ(w.find<QListView>("ShowList").currentIndex().row(), 0);

    tickAt(2.5);
    EXPECT_EQ(selected(), 1);
    EXPECT_EQ(pageList().currentIndex(), 1);
    EXPECT_EQ(point().pos(), QPoint(60, 400));

    tickAt(7);
    EXPECT_EQ(selected(), 2);
    EXPECT_EQ(pageList().currentIndex(), 2);
    EXPECT_EQ(w.window->sheet().pointCaption()->text(), QStringLiteral("Coda"));
    EXPECT_TRUE(w.window->sheet().pointCaption()->isVisible());
}

TEST_F(FollowerTest, IdleTickDoesNothingUntilSomethingChanges)
{
    openProject({QStringLiteral("1={500000}{100000}{0}")});
    auto& timeline = w.find<QSlider>("TrackBar");
    tickAt(12.34);
    timeline.setValue(5);
    tickAt(12.34);
    EXPECT_EQ(timeline.value(), 5); // nothing redone
    // A status change makes the tick work once more, then it is idle again.
    w.player.setStateQuietly(Player::Paused, QStringLiteral("Paused"));
    tickAt(12.34);
    EXPECT_EQ(timeline.value(), 1234);
    timeline.setValue(5);
    tickAt(12.34);
    EXPECT_EQ(timeline.value(), 5);
}

TEST_F(FollowerTest, SameTimeEntriesTakeThePlaceOfTheFirst)
{
    openProject({QStringLiteral("1={0}{0}{0}"), QStringLiteral("3={500000}{500000}{0}"),
                 QStringLiteral("3={100000}{100000}{0}")});
    tickAt(3);
    EXPECT_EQ(selected(), 2);
    EXPECT_EQ(point().pos(), QPoint(300, 400));
}

TEST_F(FollowerTest, PageSwitchKeepsTheZoomSteps)
{
    openProject({QStringLiteral("1={0}{0}{0}"), QStringLiteral("2={0}{0}{2}")});
    w.window->zoom().zoomIn();
    w.window->zoom().zoomIn();
    tickAt(2);
    EXPECT_EQ(pageList().currentIndex(), 2);
    EXPECT_EQ(w.window->playbackState().zoomSteps, 2);
    EXPECT_EQ(w.window->sheet().displaySize(), QSize(864, 1152));
    EXPECT_EQ(w.find<QLabel>("ZoomLevel").text(), QStringLiteral("3X"));
}

TEST_F(FollowerTest, PageOutOfRangeLeavesNoPageSelected)
{
    openProject({QStringLiteral("1={0}{0}{7}")});
    tickAt(1);
    EXPECT_EQ(pageList().currentIndex(), -1);
    EXPECT_TRUE(w.dialogs.shown.isEmpty());
}

TEST_F(FollowerTest, BadEntryIsReportedOnceNotEveryTick)
{
    openProject({QStringLiteral("1={0}{0}{0}"), QStringLiteral("abc={0}{0}{0}")});
    for (int i = 0; i < 20; ++i)
        tickAt(2 + i * 0.1);
    EXPECT_EQ(w.dialogs.shown.count(QStringLiteral("'abc' is not a valid floating point value")),
              1);
    // A change of the marker list makes a new report possible.
    w.window->workspace().notes.append(QStringLiteral("5={0}{0}{0}"));
    tickAt(9);
    EXPECT_EQ(w.dialogs.shown.count(QStringLiteral("'abc' is not a valid floating point value")),
              2);
}

TEST_F(FollowerTest, UserPickSeeksPausesAndSendsPosition)
{
    openProject({QStringLiteral("1={0}{0}{0}"), QStringLiteral("2.5={0}{0}{0}")});
    QStringList sent;
    w.window->follower().hooks().broadcast = [&](const QString& m) {
        sent << m;
    };
    w.window->playbackState().replayActive = true;
    w.player.calls.clear();
    auto& list = w.find<QListView>("NotesList");
    list.setCurrentIndex(list.model()->index(1, 0));
    w.window->follower().NotesListClick();
    EXPECT_TRUE(w.player.calls.contains(QStringLiteral("pause")));
    EXPECT_TRUE(w.player.calls.contains(QStringLiteral("setPosition:2.5")));
    EXPECT_EQ(sent, QStringList{QStringLiteral("C=2.5")});
    EXPECT_FALSE(w.window->playbackState().replayActive);
    EXPECT_TRUE(w.window->follower().positionTimer().isActive());
}

TEST_F(FollowerTest, GuestClockDrivesTheMarkerInFollowMode)
{
    openProject({QStringLiteral("1={0}{0}{0}"), QStringLiteral("2={0}{0}{1}")});
    w.window->workspace().modes.followMode = true;
    w.player.setSource(QString());
    w.holdClock();
    GuestClock& clock = w.window->guestClock();
    clock.set(2.05);
    w.window->follower().PositionTimerTimer();
    EXPECT_EQ(selected(), 1);
    EXPECT_EQ(pageList().currentIndex(), 1);

    // The replay range wraps the guest clock while JoinTimer runs.
    auto& st = w.window->playbackState();
    st.replayStart = 1;
    st.replayEnd = 2;
    st.replayActive = true;
    w.window->joinTimer().start();
    w.window->follower().PositionTimerTimer();
    EXPECT_EQ(clock.value(), 1);
    w.window->joinTimer().stop();
}

TEST_F(FollowerTest, HiddenMarkerStopsFollowingButNotTheTimeline)
{
    openProject({QStringLiteral("1={0}{0}{0}"), QStringLiteral("2={0}{0}{1}")});
    tickAt(1);
    w.window->zoom().markerDisplayCommand();
    EXPECT_FALSE(point().isVisible());
    tickAt(2);
    EXPECT_EQ(pageList().currentIndex(), 0);
    EXPECT_EQ(w.find<QSlider>("TrackBar").value(), 200);
    // Showing it again shows the current entry at the next tick.
    w.window->zoom().markerDisplayCommand();
    tickAt(2);
    EXPECT_EQ(pageList().currentIndex(), 1);
    EXPECT_TRUE(point().isVisible());
}

TEST(FollowLogic, BisectionOfAnOrderedListGivesTheScanResult)
{
    MarkerList list;
    QStringList lines;
    for (int i = 0; i < 200; ++i)
        lines << QStringLiteral("%1={0}{0}{0}").arg((i / 3) * 0.25); // repeated times too
    list.setLines(lines);
    const auto time = [&](int i) {
        return list.time(i);
    };
    for (double p = -1; p < 20; p += 0.01) {
        const double rp = numbertext::roundHundredths(p);
        const qsizetype stop = list.firstAfterIfSorted(rp);
        ASSERT_GE(stop, 0);
        EXPECT_EQ(followlogic::findCurrentFrom(200, time, rp, static_cast<int>(stop)),
                  followlogic::findCurrent(200, time, rp))
            << rp;
    }
    // Out of order or unreadable: no bisection.
    list.replace(5, QStringLiteral("0={0}{0}{0}"));
    EXPECT_EQ(list.firstAfterIfSorted(3), -1);
    list.replace(5, QStringLiteral("x={0}{0}{0}"));
    EXPECT_EQ(list.firstAfterIfSorted(3), -1);
}

TEST_F(FollowerTest, BadPickIsReportedAndFollowingGoesOn)
{
    openProject({QStringLiteral("1={0}{0}{0}"), QStringLiteral("x={0}{0}{0}"),
                 QStringLiteral("3={0}{0}{1}")});
    auto& list = w.find<QListView>("NotesList");
    list.setCurrentIndex(list.model()->index(1, 0));
    w.window->follower().NotesListClick();
    EXPECT_EQ(w.dialogs.shown.count(QStringLiteral("'x' is not a valid floating point value")), 1);
    EXPECT_TRUE(w.window->follower().positionTimer().isActive());
}

TEST_F(FollowerTest, PageBeyondTheRangeOfAnIntegerIsOutOfRange)
{
    openProject({QStringLiteral("1={0}{0}{4294967297}")});
    tickAt(1);
    EXPECT_EQ(pageList().currentIndex(), -1);
    EXPECT_TRUE(w.dialogs.shown.isEmpty());
}

TEST_F(FollowerTest, MarkerAtThePageEdgeCanBeScrolledIntoView)
{
    openProject({QStringLiteral("1={999990}{999990}{0}{At the very end}")});
    w.window->resize(800, 600);
    w.window->show();
    tickAt(1);
    const QWidget* canvas = w.window->sheet().canvas();
    const QRect shapes = point().geometry().united(w.window->sheet().pointCaption()->geometry());
    EXPECT_TRUE(canvas->rect().contains(shapes)) << shapes.right() << " " << canvas->width();
    // Scrolled so that the marker is inside the visible part of the page.
    const QRect visible(w.window->sheet().horizontalScroll(), w.window->sheet().verticalScroll(),
                        w.window->sheet().viewport()->width(),
                        w.window->sheet().viewport()->height());
    EXPECT_TRUE(visible.contains(point().geometry()));
}

TEST_F(FollowerTest, IndexListClickFollowsAgainAndKeepsTheTimersState)
{
    openProject({QStringLiteral("1={0}{0}{0}"), QStringLiteral("2={0}{0}{1}")});
    QStringList sent;
    w.window->follower().hooks().broadcast = [&](const QString& m) {
        sent << m;
    };
    auto& showList = w.find<QListView>("ShowList");
    const auto clickIndex = [&](int row) {
        showList.setCurrentIndex(showList.model()->index(row, 0));
        w.window->follower().ShowListClick();
    };
    // A page turned by hand switched following off; the click switches it on again.
    w.keys.press(HotKey::SwitchPage);
    ASSERT_TRUE(w.window->playbackState().markerHidden);
    clickIndex(1);
    EXPECT_FALSE(w.window->playbackState().markerHidden);
    EXPECT_EQ(w.find<QLabel>("MarkerBox_EnabledLabel").text(), QStringLiteral("Hide Marker"));
    EXPECT_EQ(selected(), 1);
    EXPECT_EQ(sent, QStringList{QStringLiteral("C=2")});

    // While playing with replay active the guests are paused first.
    sent.clear();
    w.player.setStateQuietly(Player::Playing, QStringLiteral("Playing"));
    w.window->playbackState().replayActive = true;
    clickIndex(0);
    EXPECT_EQ(sent, (QStringList{QStringLiteral("P=1"), QStringLiteral("C=1")}));

    // The follow timer is left as it was found, stopped or running.
    w.window->follower().positionTimer().stop();
    clickIndex(1);
    EXPECT_FALSE(w.window->follower().positionTimer().isActive());
    w.window->follower().positionTimer().start();
    clickIndex(0);
    EXPECT_TRUE(w.window->follower().positionTimer().isActive());

    // A guest's index list does nothing.
    sent.clear();
    w.window->workspace().modes.followMode = true;
    w.player.calls.clear();
    clickIndex(1);
    EXPECT_TRUE(sent.isEmpty());
    EXPECT_TRUE(w.player.calls.isEmpty());
}

TEST_F(FollowerTest, ShowsOnTimeAndPlansAgainWhenTheTimingChanges)
{
    openProject({QStringLiteral("1={0}{0}{0}"), QStringLiteral("2.5={0}{0}{0}")});
    Follower& follower = w.window->follower();
    QTimer& shot = follower.showTimer();
    tickAt(0.5);
    // Due when the entry's time comes, not at a later tick.
    ASSERT_TRUE(shot.isActive());
    EXPECT_EQ(shot.interval(), 500);
    // A hair early: nothing new, armed again for what is left.
    w.player.setPositionQuietly(0.98);
    follower.ShowTimerTimer();
    EXPECT_EQ(selected(), -1);
    EXPECT_EQ(shot.interval(), 20);
    w.player.setPositionQuietly(1.0);
    follower.ShowTimerTimer();
    EXPECT_EQ(selected(), 0);
    // Next the marker turns green, at 2.13 (2.50 less its lead of 0.38).
    EXPECT_EQ(shot.interval(), 1130);

    // A seek, a rate change and a change of the marker list each plan again.
    w.player.setPosition(2.0);
    EXPECT_EQ(shot.interval(), 130);
    w.player.setRate(2);
    EXPECT_EQ(shot.interval(), 65);
    w.window->workspace().notes.insert(1, QStringLiteral("2.1={0}{0}{0}"));
    EXPECT_EQ(shot.interval(), 45); // red again at 2.09, before 2.10

    // The replay range's end comes first; its wrap plans from the start again.
    auto& st = w.window->playbackState();
    st.replayStart = 1;
    st.replayEnd = 2.03;
    st.replayActive = true;
    follower.planNextShow();
    EXPECT_EQ(shot.interval(), 15);
    w.player.setPositionQuietly(2.04);
    follower.ShowTimerTimer();
    EXPECT_EQ(w.player.position(), 1);
    EXPECT_EQ(shot.interval(), 415); // green at 1.83

    // Nothing fires once the player pauses or stops.
    w.player.setState(Player::Paused, QStringLiteral("Paused"));
    EXPECT_FALSE(shot.isActive());
    w.player.setPositionQuietly(2.2);
    follower.ShowTimerTimer();
    EXPECT_EQ(selected(), 0);
    w.player.setState(Player::Playing, QStringLiteral("Playing"));
    EXPECT_TRUE(shot.isActive());
    w.player.setState(Player::Stopped, QStringLiteral("Stopped"));
    EXPECT_FALSE(shot.isActive());
    follower.ShowTimerTimer();
    EXPECT_EQ(selected(), 0);
}

TEST_F(FollowerTest, DecodesAheadThePageTheNextEntryNames)
{
    openProject({QStringLiteral("1={0}{0}{0}"), QStringLiteral("2={0}{0}{0}"),
                 QStringLiteral("3={0}{0}{2}"), QStringLiteral("4={0}{0}{1}")});
    Pages& pages = w.window->pages();
    tickAt(1);
    EXPECT_EQ(pages.pageAhead(), 2); // not simply the page after the shown one
    tickAt(3);
    EXPECT_EQ(pageList().currentIndex(), 2);
    EXPECT_EQ(w.window->sheet().image()->naturalSize(), QSize(600, 800));
    EXPECT_EQ(pages.pageAhead(), 1);

    // A change of the marker list that leaves the next page as it was keeps it decoded
    // (marking adds entries at every click); one that names another page replaces it.
    w.window->workspace().notes.replace(0, QStringLiteral("1={5}{5}{0}"));
    EXPECT_EQ(pages.pageAhead(), 1);
    tickAt(3.5);
    EXPECT_EQ(pages.pageAhead(), 1);
    w.window->workspace().notes.replace(3, QStringLiteral("4={0}{0}{0}"));
    tickAt(3.6);
    EXPECT_EQ(pages.pageAhead(), 0);
    // Dropped when the page set changes.
    w.dialogs.files.enqueue(QDir(w.notes.path()).filePath(QStringLiteral("Test/page1.jpg")));
    pages.addPage();
    EXPECT_EQ(pages.pageAhead(), -1);
}

TEST_F(FollowerTest, TheLookAheadIsScannedOnceBeforeTheFirstEntry)
{
    openProject({QStringLiteral("1={0}{0}{0}"), QStringLiteral("2={0}{0}{0}"),
                 QStringLiteral("3={0}{0}{1}")});
    Follower& follower = w.window->follower();
    for (double t : {0.1, 0.3, 0.5, 0.7})
        tickAt(t);
    EXPECT_EQ(follower.pageScans(), 1);
    EXPECT_EQ(w.window->pages().pageAhead(), 1);
}

TEST_F(FollowerTest, APageThatFailsToDecodeAheadIsReportedOnceWhenDue)
{
    openProject({QStringLiteral("1={0}{0}{0}"), QStringLiteral("2={0}{0}{1}")});
    const QString broken = QDir(w.notes.path()).filePath(QStringLiteral("Test/page1.jpg"));
    testfiles::writeFile(broken, QByteArray("\xff\xd8 not a picture"));
    const QString error = PageAhead::decode(broken).error;
    ASSERT_FALSE(error.isEmpty());
    tickAt(1);
    ASSERT_EQ(w.window->pages().pageAhead(), 1);
    QTest::qWait(100);
    EXPECT_TRUE(w.dialogs.shown.isEmpty());
    tickAt(2);
    tickAt(2.5);
    EXPECT_EQ(w.dialogs.shown, QStringList{error});
}
