#include "playback/playbackstate.h"
#include "playback/playerevents.h"
#include "support/scripteddialogs.h"
#include "support/scriptedplayer.h"
#include "support/testfiles.h"

#include <QLabel>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolButton>
#include <gtest/gtest.h>

// The player's status-change and error handlers, on their own widgets.

namespace {

class PlayerEventsTest : public ::testing::Test {
protected:
    PlayerEventsTest()
        : events(player, state, PlayerEvents::Widgets{status, trackBar, pause, stop, play, rewind},
                 dialogs,
                 PlayerEvents::Hooks{[this](const QString& m) { sent << m; },
                                     [this](const QString& t) {
                                         tempoTexts << t;
                                     }})
    {
    }
    // Pause, Stop, Play, Rewind: which are enabled, as "1010".
    std::string buttons() const
    {
        std::string s;
        for (const QToolButton* b : {&pause, &stop, &play, &rewind})
            s += b->isEnabled() ? '1' : '0';
        return s;
    }

    ScriptedPlayer player;
    PlaybackState state;
    QLabel status;
    QSlider trackBar;
    QToolButton pause, stop, play, rewind;
    ScriptedDialogs dialogs;
    QStringList sent, tempoTexts;
    PlayerEvents events;
};

} // namespace

TEST_F(PlayerEventsTest, ButtonsFollowThePlayState)
{
    const std::pair<int, const char*> table[] = {{Player::Playing, "1101"},
                                                 {Player::Paused, "1111"},
                                                 {Player::Stopped, "0011"},
                                                 {Player::ScanForward, "1101"},
                                                 {7, "0100"},
                                                 {Player::Other, "0100"}};
    for (const auto& [code, expected] : table) {
        player.setState(code, QStringLiteral("State %1").arg(code));
        EXPECT_EQ(buttons(), expected) << code;
        EXPECT_EQ(status.text(), QStringLiteral("State %1").arg(code));
        EXPECT_EQ(sent.last(), QStringLiteral("M=State %1").arg(code));
        EXPECT_EQ(tempoTexts.last(), QStringLiteral("1"));
    }
    // Ready leaves the buttons alone and primes: play is called.
    player.setState(Player::Paused, QStringLiteral("Paused"));
    player.calls.clear();
    player.setState(Player::Ready, QStringLiteral("Ready"));
    EXPECT_EQ(buttons(), "1111");
    EXPECT_TRUE(state.priming);
    EXPECT_EQ(player.calls, QStringList{QStringLiteral("play")});
}

TEST_F(PlayerEventsTest, BlankStatusOnlyBlanksTheLabel)
{
    player.setState(Player::Stopped, QStringLiteral("Stopped"));
    const qsizetype messages = sent.size();
    for (const QString& text : {QStringLiteral("0"), QString()}) {
        player.setState(Player::Playing, text);
        EXPECT_TRUE(status.text().isEmpty());
        EXPECT_EQ(sent.size(), messages);
        EXPECT_EQ(buttons(), "0011");
    }
}

TEST_F(PlayerEventsTest, FirstPlayingStateOfANewSourcePausesAtZero)
{
    player.setDuration(83.456);
    player.setPositionQuietly(0.3);
    state.priming = true;
    player.setState(Player::Stopped, QStringLiteral("Stopped"));
    player.calls.clear();
    tempoTexts.clear();
    player.setState(Player::Playing, QStringLiteral("Playing"));
    EXPECT_EQ(trackBar.maximum(), 8345);
    EXPECT_EQ(player.calls,
              (QStringList{QStringLiteral("pause"), QStringLiteral("setPosition:0")}));
    EXPECT_FALSE(state.priming);
    EXPECT_EQ(buttons(), "0011"); // no button or tempo update this time
    EXPECT_TRUE(tempoTexts.isEmpty());
}

TEST_F(PlayerEventsTest, AnErrorForAMissingFileUnloadsOnce)
{
    QTemporaryDir dir;
    const QString existing = testfiles::writeFile(dir.filePath(QStringLiteral("a.wav")), "RIFF");
    player.setSource(existing);
    player.calls.clear();
    player.raiseError();
    EXPECT_TRUE(dialogs.shown.isEmpty());
    EXPECT_TRUE(player.calls.isEmpty());

    player.setSource(dir.filePath(QStringLiteral("gone.wav")));
    player.calls.clear();
    player.raiseError();
    EXPECT_EQ(dialogs.shown, QStringList{QStringLiteral("Unable to locate file.\nDisable the "
                                                        "\"Local Audio\" option to select "
                                                        "external file")});
    EXPECT_EQ(player.calls, (QStringList{QStringLiteral("setSource:"), QStringLiteral("stop"),
                                         QStringLiteral("setSource:")}));
    EXPECT_TRUE(player.source().isEmpty());
}
