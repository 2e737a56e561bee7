#include "playback/mpvplayer.h"
#include "playback/tempo.h"
#include "playback/transport.h"
#include "project/numbertext.h"
#include "support/testwindow.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

// The tempo field and its one change handler, the tempo panel's buttons, and the rate
// with the real player.

namespace {

class TempoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        w.window->setBroadcast([this](const QString& m) { sent << m; });
        w.window->widgets().mainPanel->show();
    }
    void reset()
    {
        sent.clear();
        w.player.calls.clear();
    }
    QLineEdit& field() { return w.find<QLineEdit>("PitchEdit"); }
    QString label() { return w.find<QLabel>("TempoLevel").text(); }
    void click(const char* name) { w.find<QAbstractButton>(name).click(); }
    Tempo& tempo() { return *w.window->tempo(); }

    TestWindow w;
    QStringList sent;
};

TEST_F(TempoTest, StartsAtRealTimeWithThePanelHidden)
{
    EXPECT_EQ(field().text(), QStringLiteral("1.00"));
    EXPECT_TRUE(field().isReadOnly());
    EXPECT_EQ(label(), QStringLiteral("1X"));
    EXPECT_FALSE(w.find<QWidget>("PitchPanel").isVisible());
    EXPECT_EQ(w.find<QLabel>("MainPanel_Pitch").text(), QStringLiteral("Tempo/Pitch"));
    EXPECT_EQ(w.find<QAbstractButton>("Pitch_OK").toolTip(),
              QStringLiteral("Confirm the Pitch change."));
    for (const char* name : {"PitchM", "PitchP"}) {
        auto& b = w.find<QAbstractButton>(name);
        EXPECT_TRUE(b.autoRepeat()) << name;
        EXPECT_EQ(b.autoRepeatInterval(), 50) << name;
    }
}

TEST_F(TempoTest, PlusFromTheStartRaisesTheRateByATenth)
{
    click("PitchP");
    EXPECT_EQ(field().text(), QStringLiteral("1.1"));
    EXPECT_EQ(label(), QStringLiteral("1.1X"));
    EXPECT_EQ(w.player.rate(), 1.1);
    EXPECT_EQ(sent, QStringList{QStringLiteral("T=1.1")});

    // Ten steps read back the text each time: no drift.
    for (int i = 0; i < 9; ++i)
        click("PitchP");
    EXPECT_EQ(field().text(), QStringLiteral("2"));
}

TEST_F(TempoTest, StepsStopAtTheirBoundsAndRewriteTheText)
{
    tempo().setText(QStringLiteral("0.6"));
    reset();
    click("PitchM");
    EXPECT_EQ(field().text(), QStringLiteral("0.5"));
    click("PitchM");
    EXPECT_EQ(field().text(), QStringLiteral("0.5"));
    EXPECT_EQ(w.player.rate(), 0.5);
    EXPECT_EQ(sent, (QStringList{QStringLiteral("T=0.5"), QStringLiteral("T=0.5")}));

    // A value set from elsewhere (the pedal) beyond the buttons' range stays.
    tempo().setText(QStringLiteral("4.95"));
    click("PitchP");
    EXPECT_EQ(field().text(), QStringLiteral("5.05"));
    click("PitchP");
    EXPECT_EQ(field().text(), QStringLiteral("5.05"));
    EXPECT_EQ(w.player.rate(), 5.05);
    tempo().setText(QStringLiteral("0.3"));
    click("PitchM");
    EXPECT_EQ(field().text(), QStringLiteral("0.3"));
    click("PitchP");
    EXPECT_EQ(field().text(), QStringLiteral("0.4"));
}

TEST_F(TempoTest, ResetAndNonNumbersGiveRealTime)
{
    tempo().setText(QStringLiteral("2.5"));
    reset();
    click("Pitch_Reset");
    EXPECT_EQ(field().text(), QStringLiteral("1"));
    EXPECT_EQ(label(), QStringLiteral("1X"));
    EXPECT_EQ(w.player.rate(), 1);
    EXPECT_EQ(sent, QStringList{QStringLiteral("T=1")});

    tempo().setText(QStringLiteral("2.5"));
    reset();
    field().setText(QStringLiteral("fast")); // any writer of the field runs the handler
    EXPECT_EQ(field().text(), QStringLiteral("1"));
    EXPECT_EQ(label(), QStringLiteral("1X"));
    EXPECT_EQ(w.player.calls, QStringList{QStringLiteral("setRate:1")});
    EXPECT_EQ(sent, QStringList{QStringLiteral("T=1")});
}

TEST_F(TempoTest, TheRateIsTheTextRoundedToHundredths)
{
    field().setText(QStringLiteral("1,256"));
    EXPECT_EQ(w.player.calls, QStringList{QStringLiteral("setRate:1.26")});
    EXPECT_EQ(label(), QStringLiteral("1,256X"));
    EXPECT_EQ(sent, QStringList{QStringLiteral("T=1,256")});
}

TEST_F(TempoTest, ThePanelOpensWithThePlayersRateAndCloses)
{
    w.player.setRate(0.7499);
    reset();
    w.find<LinkLabel>("MainPanel_Pitch").clicked();
    EXPECT_TRUE(w.find<QWidget>("PitchPanel").isVisible());
    EXPECT_EQ(field().text(), QStringLiteral("0.75"));
    EXPECT_EQ(label(), QStringLiteral("0.75X"));
    EXPECT_EQ(sent, QStringList{QStringLiteral("T=0.75")});

    w.find<LinkLabel>("MainPanel_Pitch").clicked();
    EXPECT_FALSE(w.find<QWidget>("PitchPanel").isVisible());

    need<QAction>(w.window.get(), QStringLiteral("SetPitch1")).trigger();
    EXPECT_TRUE(w.find<QWidget>("PitchPanel").isVisible());
    click("Pitch_OK");
    EXPECT_FALSE(w.find<QWidget>("PitchPanel").isVisible());
    EXPECT_TRUE(w.window->widgets().mainPanel->isVisible());
}

TEST_F(TempoTest, ThePlayersStatusChangeWritesItsRateIntoTheField)
{
    w.player.setSource(QStringLiteral("/music/piece.wav"));
    w.primePlayer(30);
    w.player.setRate(1.254);
    reset();
    w.player.setState(Player::Playing, QStringLiteral("Playing"));
    EXPECT_EQ(field().text(), QStringLiteral("1.25"));
    EXPECT_EQ(label(), QStringLiteral("1.25X"));
    EXPECT_EQ(w.player.rate(), 1.25);
    EXPECT_EQ(sent, (QStringList{QStringLiteral("M=Playing"), QStringLiteral("T=1.25")}));

    // The same rate again still tells the session.
    reset();
    w.player.setState(Player::Paused, QStringLiteral("Paused"));
    EXPECT_EQ(sent, (QStringList{QStringLiteral("M=Paused"), QStringLiteral("T=1.25")}));
}

TEST_F(TempoTest, FollowModeLeavesThePlayerAlone)
{
    w.window->workspace().modes.followMode = true;
    reset();
    field().setText(QStringLiteral("2"));
    EXPECT_TRUE(w.player.calls.isEmpty());
    EXPECT_EQ(label(), QStringLiteral("2X"));
    EXPECT_EQ(sent, QStringList{QStringLiteral("T=2")});
}

TEST_F(TempoTest, HoldingPlusRepeats)
{
    w.find<QWidget>("PitchPanel").show();
    auto& plus = w.find<QPushButton>("PitchP");
    QTest::mousePress(&plus, Qt::LeftButton);
    const bool repeated = QTest::qWaitFor(
        [&] { return numbertext::parse(field().text()).value_or(0) >= 1.35; }, 10000);
    QTest::mouseRelease(&plus, Qt::LeftButton);
    EXPECT_TRUE(repeated) << field().text().toStdString();
    const QString after = field().text();
    QTest::qWait(200);
    EXPECT_EQ(field().text(), after) << "released: no more steps";
}

TEST(TempoText, StepsReadTheTextBack)
{
    EXPECT_EQ(tempotext::stepUp(QStringLiteral("1.00")), QStringLiteral("1.1"));
    EXPECT_EQ(tempotext::stepUp(QStringLiteral("4.9")), QStringLiteral("5"));
    EXPECT_EQ(tempotext::stepUp(QStringLiteral("5")), QStringLiteral("5"));
    EXPECT_EQ(tempotext::stepDown(QStringLiteral("0.6")), QStringLiteral("0.5"));
    EXPECT_EQ(tempotext::stepDown(QStringLiteral("0.5")), QStringLiteral("0.5"));
    EXPECT_FALSE(tempotext::stepDown(QStringLiteral("x")));
}

// ---- The rate with the real player ---------------------------------------------------

class TempoPlayback : public ::testing::TestWithParam<double> {};

TEST_P(TempoPlayback, PositionAdvancesAtTheTempo)
{
    const double rate = GetParam();
    QTemporaryDir dir;
    const QString tone = testfiles::makeTone(dir.path(), QStringLiteral("tone.wav"), 20);
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
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.playState() == Player::Paused; }, 20000));
    window.tempo()->setText(numbertext::format(rate));
    ASSERT_EQ(player.rate(), rate);
    window.transport()->play();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return player.playState() == Player::Playing && player.position() > 0.3; }, 20000));

    // Measured over about 2.5 s of wall time once playback has settled.
    QElapsedTimer clock;
    const double p0 = player.position();
    clock.start();
    QTest::qWait(2500);
    const double p1 = player.position();
    const double seconds = clock.nsecsElapsed() / 1e9;
    const double measured = (p1 - p0) / seconds;
    EXPECT_NEAR(measured, rate, rate * 0.15) << "advanced " << (p1 - p0) << " s in " << seconds;
    EXPECT_EQ(player.rate(), rate) << "the status changes wrote the same rate back";
}

INSTANTIATE_TEST_SUITE_P(Rates, TempoPlayback, ::testing::Values(0.5, 2.0));

} // namespace
