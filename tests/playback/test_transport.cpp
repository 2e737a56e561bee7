#include "playback/follower.h"
#include "playback/guestclock.h"
#include "playback/playbackstate.h"
#include "playback/transport.h"
#include "project/numbertext.h"
#include "support/testwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QSlider>

#include <gtest/gtest.h>

// The transport commands, the Space key and the timeline on a whole main window with the
// scripted player; every session message the commands send is recorded.

namespace {

class TransportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        w.window->setBroadcast([this](const QString& m) { sent << m; });
        w.window->widgets().mainPanel->show();
    }

    // A source loaded and primed as a real player would be: paused at 0.
    void load(double duration = 60)
    {
        w.player.setSource(QStringLiteral("/music/piece.wav"));
        w.primePlayer(duration);
        reset();
    }
    // The player in a play state at a position (the buttons follow the state).
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
    void click(const char* name) { w.find<QAbstractButton>(name).click(); }
    QAction& action(const char* name) { return need<QAction>(w.window.get(), QLatin1String(name)); }

    Transport& transport() { return *w.window->transport(); }
    PlaybackState& state() { return w.window->playbackState(); }
    QSlider& timeline() { return w.find<QSlider>("TrackBar"); }

    void mouse(QEvent::Type type, QPoint at, Qt::MouseButtons held)
    {
        QMouseEvent e(type, QPointF(at), QPointF(timeline().mapToGlobal(at)), Qt::LeftButton, held,
                      Qt::NoModifier);
        QApplication::sendEvent(&timeline(), &e);
    }
    QPoint along(double fraction)
    {
        return {static_cast<int>(timeline().width() * fraction), timeline().height() / 2};
    }
    int seeks() const
    {
        return static_cast<int>(w.player.calls.filter(QStringLiteral("setPosition:")).size());
    }

    TestWindow w;
    QStringList sent;
};

TEST_F(TransportTest, PauseWhilePlayingPausesAndSendsTheRoundedPosition)
{
    load();
    at(Player::Playing, QStringLiteral("Playing"), 61.234567);
    click("MainPanel_Pause");
    EXPECT_EQ(w.player.calls, QStringList{QStringLiteral("pause")});
    EXPECT_EQ(sent, QStringList{QStringLiteral("C=61.23457\nP=1")});
}

TEST_F(TransportTest, PauseWhilePausedResumesAndCarriesTheTempoOnlyDuringReplay)
{
    load();
    at(Player::Paused, QStringLiteral("Paused"), 12.5);
    click("MainPanel_Pause");
    EXPECT_EQ(sent, QStringList{QStringLiteral("C=12.5\nA=1")});
    EXPECT_EQ(w.player.calls, QStringList{QStringLiteral("play")});

    reset();
    state().replayActive = true;
    click("LMDMMButton1"); // the second Pause button runs the same command
    const QString tempo = w.find<QLineEdit>("PitchEdit").text();
    EXPECT_EQ(sent, QStringList{QStringLiteral("C=12.5\nA=1\nT=") + tempo});
    EXPECT_EQ(w.player.calls, QStringList{QStringLiteral("play")});
}

TEST_F(TransportTest, SpaceRunsPauseOnlyWhilePauseIsEnabled)
{
    load();
    w.keys.setActive(HotKey::Pause, true);
    at(Player::Stopped, QStringLiteral("Stopped"), 3);
    ASSERT_FALSE(w.find<QAbstractButton>("MainPanel_Pause").isEnabled());
    w.keys.press(HotKey::Pause);
    EXPECT_TRUE(sent.isEmpty());
    EXPECT_TRUE(w.player.calls.isEmpty());

    at(Player::Playing, QStringLiteral("Playing"), 3);
    w.keys.press(HotKey::Pause);
    EXPECT_EQ(w.player.calls, QStringList{QStringLiteral("pause")});
    EXPECT_EQ(sent, QStringList{QStringLiteral("C=3\nP=1")});
}

TEST_F(TransportTest, PlayStopAndStopSongSendTheirMessages)
{
    load();
    w.find<QLineEdit>("PitchEdit").setText(QStringLiteral("1.5"));
    at(Player::Paused, QStringLiteral("Paused"), 7.25);
    click("MainPanel_Play");
    EXPECT_EQ(sent, QStringList{QStringLiteral("C=7.25\nA=1\nT=1.5")});
    EXPECT_EQ(w.player.calls, QStringList{QStringLiteral("play")});

    at(Player::Playing, QStringLiteral("Playing"), 8.000004);
    click("MainPanel_Stop");
    EXPECT_EQ(sent, QStringList{QStringLiteral("S=1\nI=0\nC=8")});
    EXPECT_EQ(w.player.calls, QStringList{QStringLiteral("stop")});

    // Stop does not end the replay; it reports it.
    at(Player::Playing, QStringLiteral("Playing"), 9.5);
    state().replayActive = true;
    action("StopSong1").trigger();
    EXPECT_EQ(sent, QStringList{QStringLiteral("S=1\nI=1\nC=9.5")});
    EXPECT_TRUE(state().replayActive);
}

TEST_F(TransportTest, RewindGoesToZeroAndKeepsPlaying)
{
    click("MainPanel_Rewind"); // nothing loaded: nothing happens
    EXPECT_TRUE(sent.isEmpty());
    EXPECT_TRUE(w.player.calls.isEmpty());

    load();
    at(Player::Playing, QStringLiteral("Playing"), 33.3);
    click("MainPanel_Rewind");
    EXPECT_EQ(w.player.calls, QStringList{QStringLiteral("setPosition:0")});
    EXPECT_EQ(w.player.position(), 0);
    EXPECT_EQ(w.player.playState(), Player::Playing);
    EXPECT_EQ(sent, QStringList{QStringLiteral("C=0\nB=1")});
}

TEST_F(TransportTest, PlaySongEndsTheReplayStopsAndPlays)
{
    action("PlaySong1").trigger(); // nothing loaded
    EXPECT_TRUE(w.player.calls.isEmpty());

    load();
    at(Player::Playing, QStringLiteral("Playing"), 14);
    state().replayActive = true;
    action("PlaySong1").trigger();
    EXPECT_FALSE(state().replayActive);
    EXPECT_EQ(w.player.calls, (QStringList{QStringLiteral("stop"), QStringLiteral("play")}));
    const QString tempo = w.find<QLineEdit>("PitchEdit").text();
    EXPECT_EQ(sent, (QStringList{QStringLiteral("S=1\nI=0\nC=14"),
                                 QStringLiteral("C=14\nA=1\nT=") + tempo}));
}

TEST_F(TransportTest, SeekAfterTheTimelineEndsPausesAndMovesThePlayer)
{
    load();
    at(Player::Playing, QStringLiteral("Playing"), 10);
    timeline().setValue(4523);
    transport().timelineSeek(true);
    EXPECT_EQ(w.player.calls,
              (QStringList{QStringLiteral("pause"), QStringLiteral("setPosition:45.23")}));
    EXPECT_EQ(sent, (QStringList{QStringLiteral("P=1"), QStringLiteral("C=45.23")}));
    EXPECT_FALSE(w.player.calls.contains(QStringLiteral("play")));

    // Not from the control: the seek is made but not sent.
    w.player.setStateQuietly(Player::Paused, QStringLiteral("Paused"));
    reset();
    timeline().setValue(1000);
    transport().timelineSeek(false);
    EXPECT_EQ(w.player.calls, QStringList{QStringLiteral("setPosition:10")});
    EXPECT_TRUE(sent.isEmpty());
}

TEST_F(TransportTest, DraggingHoldsTheTimelineAndSeeksOnceOnRelease)
{
    load(60);
    ASSERT_EQ(timeline().maximum(), 6000);
    at(Player::Playing, QStringLiteral("Playing"), 5);

    mouse(QEvent::MouseButtonPress, along(0.25), Qt::LeftButton);
    EXPECT_TRUE(state().timelineHeld);
    EXPECT_EQ(w.player.calls, QStringList{QStringLiteral("pause")});
    EXPECT_EQ(sent, QStringList{QStringLiteral("C=5\nP=1")});
    w.player.setStateQuietly(Player::Paused, QStringLiteral("Paused"));

    // While held the follow tick leaves the timeline alone.
    const int held = timeline().value();
    w.player.setPositionQuietly(30);
    w.window->follower().PositionTimerTimer();
    EXPECT_EQ(timeline().value(), held);

    mouse(QEvent::MouseMove, along(0.5), Qt::LeftButton);
    mouse(QEvent::MouseMove, along(0.75), Qt::LeftButton);
    EXPECT_EQ(seeks(), 0) << "no seek during the drag";
    const int dragged = timeline().value();
    EXPECT_NEAR(dragged, 4500, 600);

    mouse(QEvent::MouseButtonRelease, along(0.75), Qt::NoButton);
    EXPECT_FALSE(state().timelineHeld);
    EXPECT_EQ(seeks(), 1);
    const double target = dragged / 100.0;
    EXPECT_DOUBLE_EQ(w.player.position(), target);
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent.last(), QStringLiteral("C=") + numbertext::format(target));
    EXPECT_NE(w.player.calls.last(), QStringLiteral("play"));
}

TEST_F(TransportTest, AClickOnTheGrooveJumpsThere)
{
    load(60);
    at(Player::Paused, QStringLiteral("Paused"), 0);
    mouse(QEvent::MouseButtonPress, along(0.8), Qt::LeftButton);
    EXPECT_TRUE(w.player.calls.isEmpty()) << "paused: the press does not pause again";
    mouse(QEvent::MouseButtonRelease, along(0.8), Qt::NoButton);
    EXPECT_NEAR(timeline().value(), 4800, 600);
    EXPECT_EQ(seeks(), 1);
    EXPECT_DOUBLE_EQ(w.player.position(), timeline().value() / 100.0);
    EXPECT_EQ(sent,
              QStringList{QStringLiteral("C=") + numbertext::format(timeline().value() / 100.0)});

    // The follow tick moves the timeline again once it is let go.
    w.player.setPositionQuietly(12.34);
    w.window->follower().PositionTimerTimer();
    EXPECT_EQ(timeline().value(), 1234);
}

TEST_F(TransportTest, TimelineWithNothingLoadedDoesNotSeek)
{
    timeline().setMaximum(100);
    mouse(QEvent::MouseButtonPress, along(0.5), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, along(0.5), Qt::NoButton);
    EXPECT_FALSE(state().timelineHeld);
    EXPECT_EQ(seeks(), 0);
    EXPECT_TRUE(sent.isEmpty());
}

TEST_F(TransportTest, FollowModeDrivesTheGuestClockAndJoinTimer)
{
    load();
    at(Player::Paused, QStringLiteral("Paused"), 4);
    w.window->workspace().modes.followMode = true;
    QTimer& join = w.window->joinTimer();

    transport().play();
    EXPECT_TRUE(join.isActive());
    transport().pause();
    EXPECT_FALSE(join.isActive());
    transport().play();
    transport().stop();
    EXPECT_FALSE(join.isActive());

    w.window->guestClock().set(42.5);
    transport().rewind();
    EXPECT_EQ(w.window->guestClock().value(), 0);
    EXPECT_FALSE(w.player.calls.contains(QStringLiteral("play")));
    EXPECT_FALSE(w.player.calls.contains(QStringLiteral("pause")));
    EXPECT_FALSE(w.player.calls.contains(QStringLiteral("setPosition:0")));
    // Only Stop tells the session anything (and a guest's broadcast sends nothing).
    EXPECT_EQ(sent, QStringList{QStringLiteral("S=1\nI=0\nC=4")});
}

} // namespace
