#include "authoring/manualmarking.h"
#include "playback/audiodelay.h"
#include "playback/audiodelaypanel.h"
#include "playback/follower.h"
#include "support/scriptedplayer.h"
#include "support/testwindow.h"

#include <QAbstractButton>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <random>

// The audio delay: calibration from taps, the delay of each output, and the marker and
// manual marking going by what is heard.

using audiodelay::ClickTrack;

namespace {

// Taps for the clicks heard delayMs late, with a steady tapper's jitter; the first tap of
// `missed` is left out and one stray tap is added.
std::vector<double> taps(double delayMs, double jitterMs, unsigned seed, bool misses = false)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> jitter(0.0, jitterMs / 1000.0);
    std::vector<double> t;
    const std::vector<double> clicks = ClickTrack::times();
    for (size_t k = 0; k < clicks.size(); ++k) {
        if (misses && (k == 3 || k == 9))
            continue;
        t.push_back(clicks[k] + delayMs / 1000.0 + jitter(rng));
        if (misses && k == 5)
            t.push_back(clicks[k] + delayMs / 1000.0 + 0.3); // a stray tap between two clicks
    }
    return t;
}

} // namespace

TEST(AudioDelay, CalibrationFindsTheDelayFromImperfectTaps)
{
    for (const double delay : {-150.0, 0.0, 185.0, 680.0, 990.0}) {
        const auto c = audiodelay::calibrate(ClickTrack::times(), taps(delay, 20, 7, true));
        EXPECT_TRUE(c.ok) << delay;
        EXPECT_NEAR(c.delayMs, delay, 15) << delay;
        EXPECT_EQ(c.kept, 14) << "the stray tap is dropped " << delay;
        EXPECT_GT(c.spreadMs, 5);
        EXPECT_LT(c.spreadMs, 40);
    }
    // Too few taps agree: no delay is offered.
    std::vector<double> few = taps(100, 5, 1);
    few.resize(5);
    EXPECT_FALSE(audiodelay::calibrate(ClickTrack::times(), few).ok);
    EXPECT_FALSE(audiodelay::calibrate(ClickTrack::times(), {}).ok);
    EXPECT_EQ(audiodelay::clampMs(1234), 1000);
    EXPECT_EQ(audiodelay::clampMs(-999), -200);
    EXPECT_EQ(audiodelay::clampMs(187), 185);
}

// Read back by ffmpeg: each click starts where the calibration expects it.
TEST(AudioDelay, TheClickTrackSoundsWhereItsTimesSay)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("clicks.wav"));
    QFile file(wav);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(ClickTrack::wav());
    file.close();
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-hide_banner"), QStringLiteral("-i"), wav, QStringLiteral("-af"),
                  QStringLiteral("silencedetect=n=-50dB:d=0.2"), QStringLiteral("-f"),
                  QStringLiteral("null"), QStringLiteral("-")});
    ASSERT_TRUE(ffmpeg.waitForFinished(30000));
    const QString log = QString::fromUtf8(ffmpeg.readAllStandardError());
    std::vector<double> starts;
    static const QRegularExpression end(QStringLiteral("silence_end: ([0-9.]+)"));
    for (auto it = end.globalMatch(log); it.hasNext();)
        starts.push_back(it.next().captured(1).toDouble());
    const std::vector<double> clicks = ClickTrack::times();
    ASSERT_GE(starts.size(), clicks.size()) << log.toStdString();
    for (size_t k = 0; k < clicks.size(); ++k)
        EXPECT_NEAR(starts[k], clicks[k], 0.002) << k;
}

class AudioDelayWindow : public ::testing::Test {
protected:
    AudioDelayPanel& panel() { return *w->window->audioDelay(); }
    QSpinBox& value() { return w->find<QSpinBox>("AudioDelay_Value"); }

    std::unique_ptr<TestWindow> w = std::make_unique<TestWindow>();
};

TEST_F(AudioDelayWindow, EachOutputKeepsItsOwnDelayAndTheMarkerWaitsForTheSound)
{
    testfiles::ProjectLayout layout;
    layout.audio = testfiles::writeFile(QDir(w->notes.path()).filePath(QStringLiteral("a.wav")),
                                        QByteArray("RIFF"));
    layout.pages = {QStringLiteral("p.jpg")};
    layout.entries = {QStringLiteral("1={0}{0}{0}"), QStringLiteral("1.2={50}{0}{0}")};
    w->open(w->makeProject(layout));
    w->primePlayer(60);
    w->player.setStateQuietly(Player::Playing, QStringLiteral("Playing"));
    const auto shownAt = [this](double position) {
        w->player.setPositionQuietly(position);
        w->window->follower().PositionTimerTimer();
        return w->window->follower().selectedEntry();
    };
    EXPECT_EQ(shownAt(1.25), 1); // no delay: as before

    // Headphones 200 ms late: at 1.25 the sound of 1.05 is heard.
    panel().togglePanel(); // the link "Audio Delay"
    value().setValue(200);
    EXPECT_EQ(shownAt(1.26), 0);
    EXPECT_EQ(shownAt(1.41), 1);
    // At double speed the same wall-clock delay is 0.4 s of the recording.
    w->player.setRate(2);
    EXPECT_EQ(shownAt(1.55), 0);

    // Another output has its own delay (none yet); coming back brings 200 back.
    w->player.device = QStringLiteral("pulse/speakers");
    w->player.setState(Player::Playing, QStringLiteral("Playing"));
    EXPECT_EQ(value().value(), 0);
    EXPECT_EQ(w->window->playbackState().audioDelay, 0.0);
    w->player.device = QStringLiteral("default");
    w->player.setState(Player::Playing, QStringLiteral("Playing"));
    EXPECT_EQ(value().value(), 200);

    // Kept in the program's settings, so a new window starts with it.
    TestWindow again;
    EXPECT_EQ(again.find<QSpinBox>("AudioDelay_Value").value(), 200);
}

TEST_F(AudioDelayWindow, CalibrationTakesSpaceTapsAndSetsTheMedian)
{
    panel().togglePanel(); // the link "Audio Delay"
    w->find<QAbstractButton>("AudioDelay_Calibrate").click();
    ScriptedPlayer* clicks = w->clicks;
    ASSERT_NE(clicks, nullptr);
    EXPECT_TRUE(clicks->calls.contains(QStringLiteral("play")));
    EXPECT_TRUE(panel().calibrating());
    for (double t : taps(240, 10, 3)) {
        clicks->setPositionQuietly(t);
        emit w->keys.pressed(HotKey::Pause); // SPACE
    }
    clicks->setPositionQuietly(ClickTrack::times().back() + 1.0);
    panel().CalibrationTimerTimer();
    EXPECT_FALSE(panel().calibrating());
    EXPECT_NEAR(value().value(), 240, 10);
    EXPECT_TRUE(w->find<QLabel>("AudioDelay_Status").text().startsWith(QStringLiteral("Delay ")));
    EXPECT_FALSE(w->player.calls.contains(QStringLiteral("pause"))) << "the taps did not pause";
}
