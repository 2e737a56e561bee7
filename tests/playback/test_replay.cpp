#include "playback/follower.h"
#include "playback/guestclock.h"
#include "playback/markerindexmodel.h"
#include "playback/mpvplayer.h"
#include "playback/playbackstate.h"
#include "playback/replayrange.h"
#include "playback/transport.h"
#include "project/numbertext.h"
#include "support/testwindow.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

// The replay range: its commands and messages, the marks in the index list, the bar under
// the timeline and the loop made by the follow tick; at the end the loop with the real
// player.

namespace {

class ReplayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        w.window->setBroadcast([this](const QString& m) { sent << m; });
        w.window->widgets().mainPanel->show();
        w.player.setSource(QStringLiteral("/music/piece.wav"));
        w.primePlayer(60);
        reset();
    }
    void at(int state, const QString& status, double position)
    {
        w.player.setState(state, status);
        w.player.setPositionQuietly(position);
        reset();
    }
    void reset()
    {
        sent.clear();
        w.player.calls.clear();
    }
    // The replay start and end marked with the buttons at the given player positions.
    void mark(double start, double end)
    {
        w.player.setPositionQuietly(start);
        click("Replay_SetStart");
        w.player.setPositionQuietly(end);
        click("Replay_SetEnd");
    }
    void entries(const QStringList& lines)
    {
        w.window->workspace().notes.setLines(lines);
        w.window->rebuildIndex();
    }
    std::vector<bool> checks()
    {
        std::vector<bool> out;
        MarkerIndexModel& m = w.window->indexModel();
        for (int i = 0; i < m.count(); ++i)
            out.push_back(m.isChecked(i));
        return out;
    }
    void click(const char* name) { w.find<QAbstractButton>(name).click(); }
    QString tempo() { return w.find<QLineEdit>("PitchEdit").text(); }
    ReplayRange& replay() { return *w.window->replay(); }
    PlaybackState& state() { return w.window->playbackState(); }
    void tick() { w.window->follower().PositionTimerTimer(); }

    TestWindow w;
    QStringList sent;
};

TEST_F(ReplayTest, GroupAndMenuCarryTheirCaptionsAndHints)
{
    EXPECT_EQ(w.find<QAbstractButton>("Replay_SetStart").text(), QStringLiteral("R"));
    EXPECT_EQ(w.find<QAbstractButton>("Replay_SetStart").toolTip(),
              QStringLiteral("Mark replay start position"));
    EXPECT_EQ(w.find<QAbstractButton>("Replay_SetEnd").toolTip(),
              QStringLiteral("Mark replay end position"));
    EXPECT_EQ(w.find<QAbstractButton>("Replay_Clear").accessibleName(),
              QStringLiteral("Clear replay marks"));
    QStringList texts;
    for (QAction* a : w.find<QMenu>("ShowList_Popup").actions())
        if (!a->isSeparator())
            texts << a->text();
    for (const char* t :
         {"Play Song", "Stop Song", "Set Replay Start Position", "Set Replay End Position",
          "Play Replay", "Stop Replay", "Clear Replay Points", "Set Pitch"})
        EXPECT_TRUE(texts.contains(QLatin1String(t))) << t;
}

TEST_F(ReplayTest, PlayReplayLoopsFromStartToEndInTheFollowTick)
{
    at(Player::Paused, QStringLiteral("Paused"), 3);
    mark(10.004, 19.996);
    EXPECT_EQ(state().replayStart, 10);
    EXPECT_EQ(state().replayEnd, 20);
    EXPECT_EQ(sent, (QStringList{QStringLiteral("R=10"), QStringLiteral("Y=20")}));

    reset();
    w.player.setPositionQuietly(35);
    click("Replay_Play");
    EXPECT_EQ(w.player.calls,
              (QStringList{QStringLiteral("pause"), QStringLiteral("setPosition:10"),
                           QStringLiteral("play")}));
    EXPECT_TRUE(state().replayActive);
    EXPECT_EQ(sent, QStringList{QStringLiteral("G=1\nT=") + tempo()});

    w.player.setStateQuietly(Player::Playing, QStringLiteral("Playing"));
    for (int lap = 0; lap < 3; ++lap) {
        reset();
        w.player.setPositionQuietly(19.99);
        tick();
        EXPECT_EQ(w.player.position(), 19.99) << "before the end the loop does not jump";
        w.player.setPositionQuietly(20.0);
        tick();
        EXPECT_EQ(w.player.position(), 10) << "lap " << lap;
    }

    // Paused, the loop waits; Stop keeps it (a later Play loops again).
    w.player.setStateQuietly(Player::Paused, QStringLiteral("Paused"));
    w.player.setPositionQuietly(25);
    tick();
    EXPECT_EQ(w.player.position(), 25);
    w.player.setStateQuietly(Player::Playing, QStringLiteral("Playing"));
    tick();
    EXPECT_EQ(w.player.position(), 10);
}

TEST_F(ReplayTest, EndBeforeStartTurnsTheRangeRoundFromTheUserOnly)
{
    mark(10, 8);
    EXPECT_EQ(state().replayStart, 8);
    EXPECT_EQ(state().replayEnd, 10);
    EXPECT_EQ(sent.last(), QStringLiteral("Y=10"));

    // A program call does not move the range; it sends it again.
    reset();
    w.player.setPositionQuietly(5);
    replay().setEnd(false);
    EXPECT_EQ(state().replayStart, 8);
    EXPECT_EQ(state().replayEnd, 10);
    EXPECT_EQ(sent, QStringList{QStringLiteral("Y=10")});
}

TEST_F(ReplayTest, EntriesInsideTheRangeAreChecked)
{
    entries({QStringLiteral("10={100000}{100000}{0}"), QStringLiteral("15={200000}{200000}{0}"),
             QStringLiteral("20={300000}{300000}{0}")});
    mark(10, 20);
    EXPECT_EQ(checks(), (std::vector<bool>{true, true, false}));

    // Every change of the marker list rebuilds the index and marks it again.
    reset();
    entries({QStringLiteral("9.99={1}{1}{0}"), QStringLiteral("10={100000}{100000}{0}"),
             QStringLiteral("19.99={200000}{200000}{0}"), QStringLiteral("20={1}{1}{0}")});
    EXPECT_EQ(checks(), (std::vector<bool>{false, true, true, false}));
    EXPECT_EQ(sent, QStringList{QStringLiteral("Y=20")});

    // A start after the end shows nothing.
    w.player.setPositionQuietly(30);
    click("Replay_SetStart");
    EXPECT_EQ(sent.last(), QStringLiteral("R=30"));
    EXPECT_EQ(checks(), (std::vector<bool>{false, false, false, false}));
}

TEST_F(ReplayTest, AnEntryTimeThatIsNotANumberIsReported)
{
    entries({QStringLiteral("10={1}{1}{0}"), QStringLiteral("x1={1}{1}{0}")});
    reset();
    mark(5, 20);
    EXPECT_FALSE(w.dialogs.shown.isEmpty());
    EXPECT_FALSE(sent.contains(QStringLiteral("Y=20")));
}

TEST(ReplayBar, GeometryFollowsTheTimeline)
{
    const auto bar = replaybar::geometry(15, 30, 6000, 290, 492);
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->left, 564);
    EXPECT_EQ(bar->width, 72);
    EXPECT_FALSE(replaybar::geometry(30, 15, 6000, 290, 492));
    EXPECT_FALSE(replaybar::geometry(0, 0, 6000, 290, 492));
    EXPECT_FALSE(replaybar::geometry(-5, 0, 6000, 290, 492));
    EXPECT_FALSE(replaybar::geometry(1, 2, 0, 290, 492)) << "no timeline length yet";
    EXPECT_TRUE(replaybar::contains(10, 20, 10));
    EXPECT_FALSE(replaybar::contains(10, 20, 20));
}

TEST_F(ReplayTest, TheBarIsDrawnUnderTheTimeline)
{
    auto& timeline = w.find<QSlider>("TrackBar");
    auto& bar = w.find<QLabel>("Replay_Marker");
    EXPECT_EQ(bar.property("tag").toInt(), timeline.x());
    timeline.setMaximum(6000);
    timeline.resize(290, timeline.height());
    bar.setProperty("tag", 492);
    mark(15, 30);
    EXPECT_EQ(bar.x(), 564);
    EXPECT_EQ(bar.width(), 72);
    EXPECT_EQ(bar.height(), 19);

    // A wider timeline stretches the bar in proportion.
    timeline.resize(580, timeline.height());
    EXPECT_EQ(bar.x(), 492 + 145);
    EXPECT_EQ(bar.width(), 145);
}

TEST_F(ReplayTest, ClearStopsThePlayerAndUnchecks)
{
    entries({QStringLiteral("10={1}{1}{0}"), QStringLiteral("15={1}{1}{0}")});
    at(Player::Playing, QStringLiteral("Playing"), 3);
    mark(10, 20);
    click("Replay_Play");
    reset();
    click("Replay_Clear");
    EXPECT_EQ(w.player.calls, QStringList{QStringLiteral("stop")});
    EXPECT_EQ(checks(), (std::vector<bool>{false, false}));
    EXPECT_EQ(w.find<QLabel>("Replay_Marker").width(), 0);
    EXPECT_EQ(state().replayStart, 0);
    EXPECT_EQ(state().replayEnd, 0);
    EXPECT_FALSE(state().replayActive);
    EXPECT_EQ(sent, QStringList{QStringLiteral("U=1")});
}

TEST_F(ReplayTest, PlayReplayWithoutARange)
{
    // start = end = 0: plain Play.
    at(Player::Paused, QStringLiteral("Paused"), 4.5);
    click("Replay_Play");
    EXPECT_EQ(w.player.calls, QStringList{QStringLiteral("play")});
    EXPECT_EQ(sent, QStringList{QStringLiteral("C=4.5\nA=1\nT=") + tempo()});
    EXPECT_FALSE(state().replayActive);

    // An end of 0 after a start: nothing.
    reset();
    w.player.setPositionQuietly(5);
    click("Replay_SetStart");
    reset();
    click("Replay_Play");
    EXPECT_TRUE(w.player.calls.isEmpty());
    EXPECT_TRUE(sent.isEmpty());
}

TEST_F(ReplayTest, PlayReplayNeedsAnOpenedPlayer)
{
    mark(1, 2);
    w.player.setStateQuietly(Player::Other, QStringLiteral("Opening"));
    reset();
    click("Replay_Play");
    EXPECT_TRUE(w.player.calls.isEmpty());
    EXPECT_FALSE(state().replayActive);
}

TEST_F(ReplayTest, StopReplayEndsTheLoopAndStopsWhenStopIsEnabled)
{
    at(Player::Playing, QStringLiteral("Playing"), 12);
    mark(10, 20);
    w.player.setPositionQuietly(12);
    state().replayActive = true;
    reset();
    need<QAction>(w.window.get(), QStringLiteral("StopReplay1")).trigger();
    EXPECT_FALSE(state().replayActive);
    EXPECT_EQ(w.player.calls, QStringList{QStringLiteral("stop")});
    EXPECT_EQ(sent, QStringList{QStringLiteral("S=1\nI=0\nC=12")});

    at(Player::Stopped, QStringLiteral("Stopped"), 12);
    state().replayActive = true;
    click("Replay_Stop");
    EXPECT_FALSE(state().replayActive);
    EXPECT_TRUE(w.player.calls.isEmpty());
}

TEST_F(ReplayTest, OpeningAProjectClearsTheRange)
{
    mark(10, 20);
    reset();
    w.open(w.makeProject({}));
    EXPECT_EQ(state().replayEnd, 0);
    EXPECT_TRUE(sent.contains(QStringLiteral("U=1")));
}

TEST_F(ReplayTest, FollowModeKeepsTheHostsRangeAndLoopsTheGuestClock)
{
    w.window->workspace().modes.followMode = true;
    QTimer& join = w.window->joinTimer();
    GuestClock& clock = w.window->guestClock();
    w.holdClock();
    state().replayStart = 10;
    state().replayEnd = 20;
    w.player.setPositionQuietly(50);
    replay().setStart();
    replay().setEnd(false);
    EXPECT_EQ(state().replayStart, 10);
    EXPECT_EQ(state().replayEnd, 20);

    reset();
    replay().playReplay();
    EXPECT_TRUE(join.isActive());
    EXPECT_TRUE(state().replayActive);
    EXPECT_EQ(clock.value(), 10);
    EXPECT_TRUE(sent.isEmpty());
    EXPECT_TRUE(w.player.calls.isEmpty());

    clock.set(20.05);
    tick();
    EXPECT_EQ(clock.value(), 10);

    // With JoinTimer stopped the clock stays past the end.
    join.stop();
    clock.set(21);
    tick();
    EXPECT_EQ(clock.value(), 21);

    // Clear in follow mode leaves the player alone.
    replay().clear();
    EXPECT_TRUE(w.player.calls.isEmpty());
}

// ---- The loop with the real player --------------------------------------------------

TEST(ReplayPlayback, RealPlayerLoopsBetweenStartAndEnd)
{
    QTemporaryDir dir;
    const QString tone = testfiles::makeTone(dir.path(), QStringLiteral("tone.wav"), 8);
    ASSERT_FALSE(tone.isEmpty());
    testfiles::TempNotes notes;
    MpvPlayer player;
    ASSERT_TRUE(player.isAvailable());
    ScriptedDialogs dialogs;
    FakeHotKeys keys;
    RecordingShell shell;
    Services services;
    services.player = &player;
    services.dialogs = &dialogs;
    services.hotKeys = &keys;
    services.shell = &shell;
    services.quit = [] {
    };
    MainWindow window(services);

    player.setSource(tone);
    // The program primes the source: paused at 0 with the timeline's length set.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return player.playState() == Player::Paused &&
                   need<QSlider>(&window, QStringLiteral("TrackBar")).maximum() > 700;
        },
        20000));

    player.setPosition(1.0);
    window.replay()->setStart();
    player.setPosition(2.0);
    window.replay()->setEnd(true);
    ASSERT_EQ(window.playbackState().replayStart, 1.0);
    ASSERT_EQ(window.playbackState().replayEnd, 2.0);
    window.replay()->playReplay();
    ASSERT_TRUE(window.follower().positionTimer().isActive());

    // Samples the position every 20 ms while PositionTimer runs the loop.
    std::vector<double> samples;
    int wraps = 0;
    std::vector<double> afterWrap;
    QTimer probe;
    probe.setInterval(20);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const double p = player.position();
        if (!samples.empty() && p < samples.back() - 0.5) {
            ++wraps;
            afterWrap.push_back(p);
        }
        samples.push_back(p);
    });
    probe.start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return wraps >= 3; }, 30000)) << "wraps: " << wraps;
    probe.stop();

    // Each lap ends within about a tick after 2.00 (a loaded machine may be late) and
    // starts again at 1.00.
    double highest = 0;
    for (double p : samples)
        highest = std::max(highest, p);
    EXPECT_GE(highest, 1.9);
    EXPECT_LE(highest, 2.0 + 0.4);
    for (double p : afterWrap) {
        EXPECT_GE(p, 0.99);
        EXPECT_LE(p, 1.4);
    }
    EXPECT_TRUE(window.playbackState().replayActive);
}

} // namespace
