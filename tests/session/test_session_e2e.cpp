#include "playback/follower.h"
#include "playback/guestclock.h"
#include "playback/mpvplayer.h"
#include "playback/playbackstate.h"
#include "playback/transport.h"
#include "project/workspace.h"
#include "session/sessionguest.h"
#include "session/sessionhost.h"
#include "session/sessionpanel.h"
#include "support/testwindow.h"

#include <QAbstractButton>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QSlider>
#include <QTabWidget>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>
#include <memory>

// A whole session in one process over loopback: a host window playing a real WAV through
// libmpv (null audio output) and two guest windows, each a complete main window.

namespace {

constexpr int kWaitMs = 20000;

bool waitFor(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, kWaitMs);
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::Any, 0);
    return probe.serverPort();
}

// The host's window: a real player, the test doubles for everything else.
struct HostWindow {
    HostWindow()
    {
        window = std::make_unique<MainWindow>(
            Services{&player, &dialogs, &keys, &shell, [] {}, [] { return QTime(12, 0); }, {}});
        window->resize(1280, 800);
        window->show();
    }
    template <class T> T& find(const char* name)
    {
        return need<T>(window.get(), QLatin1String(name));
    }

    MpvPlayer player;
    ScriptedDialogs dialogs;
    FakeHotKeys keys;
    RecordingShell shell;
    std::unique_ptr<MainWindow> window;
};

class SessionEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("FOLIVANT_SESSION_PORT", QByteArray::number(freePort()));
        testfiles::ProjectLayout layout;
        layout.name = QStringLiteral("Duet");
        layout.audio = testfiles::makeTone(notes.path(), QStringLiteral("tone.wav"), 30);
        ASSERT_FALSE(layout.audio.isEmpty());
        layout.pages = {QStringLiteral("page0.jpg")};
        for (int i = 1; i <= 29; ++i)
            layout.entries << QStringLiteral("%1={%2}{500000}{0}").arg(i).arg(i * 30000);
        project = testfiles::makeProject(notes.path(), layout);
    }
    void TearDown() override { qunsetenv("FOLIVANT_SESSION_PORT"); }

    void click(QWidget* window, const char* name)
    {
        need<QAbstractButton>(window, QLatin1String(name)).click();
    }
    void startHosting()
    {
        click(host.window.get(), "kinsorostart");
        host.find<SessionPanel>("kinsoropanel").tabs()->setCurrentIndex(SessionPanel::HostTab);
        ASSERT_TRUE(host.window->sessionHost()->connections().isListening());
        host.dialogs.files.enqueue(project);
        click(host.window.get(), "hostselect");
        // Primed: paused at 0 with the timeline's length known.
        ASSERT_TRUE(waitFor([&] {
            return host.player.playState() == Player::Paused &&
                   host.find<QSlider>("TrackBar").maximum() > 0;
        }));
    }
    void join(TestWindow& g, const QString& nickname)
    {
        click(g.window.get(), "kinsorostart");
        g.find<QLineEdit>("JoinServer").setText(QStringLiteral("127.0.0.1"));
        g.find<QLineEdit>("JoinNick").setText(nickname);
        g.dialogs.files.enqueue(project);
        click(g.window.get(), "Selectjoin");
        click(g.window.get(), "ConnectJoin");
        ASSERT_TRUE(waitFor([&] { return g.window->workspace().modes.followMode; }));
    }
    double hostPosition() { return host.player.position(); }
    PlaybackState& st(TestWindow& g) { return g.window->playbackState(); }
    double clockOf(TestWindow& g) { return g.window->guestClock().value(); }
    bool bothFollow(const std::function<bool(TestWindow&)>& condition)
    {
        return waitFor([&] { return condition(ann) && condition(ben); });
    }

    testfiles::TempNotes notes;
    QString project;
    HostWindow host;
    TestWindow ann;
    TestWindow ben;
};

} // namespace

TEST_F(SessionEndToEnd, GuestsFollowTheHostFromGoToTheEnd)
{
    startHosting();
    join(ann, QStringLiteral("Ann"));
    join(ben, QStringLiteral("Ben"));
    auto& friends = host.find<QListWidget>("connectedf");
    ASSERT_TRUE(waitFor([&] { return friends.count() == 2; }));
    EXPECT_EQ(friends.item(0)->text(), QStringLiteral("Ann"));
    EXPECT_EQ(friends.item(1)->text(), QStringLiteral("Ben"));

    // Go!: the timeline's length, tempo 1, replay cleared and off reach both guests.
    const int maximum = host.find<QSlider>("TrackBar").maximum();
    click(host.window.get(), "HostGo");
    ASSERT_TRUE(bothFollow([&](TestWindow& g) {
        return g.find<QSlider>("TrackBar").maximum() == maximum &&
               g.find<QLineEdit>("PitchEdit").text() == QStringLiteral("1");
    }));
    EXPECT_FALSE(st(ann).replayActive);
    EXPECT_TRUE(waitFor([&] { return !host.window->sessionHost()->pingTimer().isActive(); }));

    // Play: the guests' clocks run with the host's playback; the follow tick moves their
    // markers along.
    click(host.window.get(), "MainPanel_Play");
    ASSERT_TRUE(bothFollow([&](TestWindow& g) { return g.window->joinTimer().isActive(); }));
    ASSERT_TRUE(waitFor([&] { return hostPosition() > 3.0; }));
    for (TestWindow* g : {&ann, &ben}) {
        EXPECT_NEAR(clockOf(*g), hostPosition(), 0.35);
        EXPECT_GE(g->window->follower().selectedEntry(), 1);
        EXPECT_NEAR(g->find<QSlider>("TrackBar").value(), hostPosition() * 100, 40);
    }

    // Pause: the clocks stop at the host's position.
    click(host.window.get(), "MainPanel_Pause");
    ASSERT_TRUE(bothFollow([&](TestWindow& g) { return !g.window->joinTimer().isActive(); }));
    QTest::qWait(400);
    for (TestWindow* g : {&ann, &ben})
        EXPECT_NEAR(clockOf(*g), hostPosition(), 0.05);
    // Resume, then Stop.
    click(host.window.get(), "MainPanel_Pause");
    ASSERT_TRUE(bothFollow([&](TestWindow& g) { return g.window->joinTimer().isActive(); }));
    click(host.window.get(), "MainPanel_Stop");
    ASSERT_TRUE(bothFollow([&](TestWindow& g) { return !g.window->joinTimer().isActive(); }));

    // Rewind and a seek with the timeline.
    click(host.window.get(), "MainPanel_Rewind");
    ASSERT_TRUE(bothFollow([&](TestWindow& g) { return clockOf(g) < 0.05; }));
    host.find<QSlider>("TrackBar").setValue(1234);
    host.window->transport()->timelineSeek(true);
    ASSERT_TRUE(bothFollow([&](TestWindow& g) { return std::abs(clockOf(g) - 12.34) < 0.05; }));

    // Replay range: start, end, play, clear.
    host.player.setPosition(5);
    click(host.window.get(), "Replay_SetStart");
    host.player.setPosition(8);
    click(host.window.get(), "Replay_SetEnd");
    ASSERT_TRUE(
        bothFollow([&](TestWindow& g) { return st(g).replayStart == 5 && st(g).replayEnd == 8; }));
    click(host.window.get(), "Replay_Play");
    ASSERT_TRUE(bothFollow([&](TestWindow& g) {
        return st(g).replayActive && g.window->joinTimer().isActive() && clockOf(g) >= 5 &&
               clockOf(g) < 8.5;
    }));
    click(host.window.get(), "Replay_Clear");
    ASSERT_TRUE(
        bothFollow([&](TestWindow& g) { return st(g).replayEnd == 0 && !st(g).replayActive; }));

    // Tempo.
    click(host.window.get(), "PitchP");
    ASSERT_TRUE(bothFollow([&](TestWindow& g) {
        return g.find<QLineEdit>("PitchEdit").text() == QStringLiteral("1.1") &&
               g.window->joinTimer().interval() == 90;
    }));

    // Remove selected drops Ben alone.
    friends.setCurrentRow(1);
    click(host.window.get(), "RemoveSelected");
    ASSERT_TRUE(waitFor([&] { return !ben.window->workspace().modes.followMode; }));
    EXPECT_EQ(ben.find<SessionPanel>("kinsoropanel").status(),
              QStringLiteral("The host has stopped the Kinsoro session."));
    ASSERT_TRUE(waitFor([&] { return friends.count() == 1; }));
    EXPECT_TRUE(ann.window->workspace().modes.followMode);

    // Ending the session returns everyone to the panel.
    click(host.window.get(), "StopHostKinsoro");
    ASSERT_TRUE(waitFor([&] { return !ann.window->workspace().modes.followMode; }));
    EXPECT_EQ(ann.find<SessionPanel>("kinsoropanel").status(),
              QStringLiteral("The host has stopped the Kinsoro session."));
    for (QWidget* w :
         {static_cast<QWidget*>(host.window.get()), static_cast<QWidget*>(ann.window.get()),
          static_cast<QWidget*>(ben.window.get())}) {
        EXPECT_TRUE(need<QWidget>(w, QStringLiteral("kinsoropanel")).isVisible());
        EXPECT_FALSE(need<QWidget>(w, QStringLiteral("MainPanel")).isVisible());
    }
    EXPECT_FALSE(host.window->workspace().modes.hostingMode);
    EXPECT_FALSE(ann.dialogs.shown.contains(QStringLiteral("Disconnected from host")));
}
