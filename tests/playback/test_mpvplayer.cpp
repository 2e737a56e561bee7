#include "playback/mpvplayer.h"
#include "playback/playbackstate.h"
#include "playback/playerevents.h"
#include "project/numbertext.h"
#include "support/scripteddialogs.h"
#include "support/testfiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The real player on libmpv against real files made by ffmpeg. CTest runs it with the
// null audio output, which plays in real time.

namespace {

using numbertext::roundHundredths;

// The machine running the tests is shared: waits are generous, they end as soon as the
// condition holds.
constexpr int kWait = 20000;

bool waitFor(const std::function<bool()>& condition, int timeout = kWait)
{
    return QTest::qWaitFor(condition, timeout);
}

// Every status-change event as (state, status text) seen when it was raised.
class StatusLog {
public:
    explicit StatusLog(Player& player)
    {
        QObject::connect(&player, &Player::statusChanged, &player, [this, &player] {
            m_entries.emplace_back(player.playState(), player.statusText());
        });
    }
    const std::vector<std::pair<int, QString>>& entries() const { return m_entries; }
    // Position of the first event with the state at or after from; -1 when there is none.
    int find(int state, int from = 0) const
    {
        for (int i = from; i < static_cast<int>(m_entries.size()); ++i)
            if (m_entries[i].first == state)
                return i;
        return -1;
    }

private:
    std::vector<std::pair<int, QString>> m_entries;
};

bool waitForState(const Player& player, int state, int timeout = kWait)
{
    return waitFor([&] { return player.playState() == state; }, timeout);
}

// Root mean square of the 16-bit samples of a WAV file; -1 when it has no data chunk.
double wavRms(const QString& path, qint64* samples)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray bytes = file.readAll();
    qint64 at = 12; // after "RIFF", the size and "WAVE"
    while (at + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(at, 4);
        quint32 size = 0;
        std::memcpy(&size, bytes.constData() + at + 4, 4);
        at += 8;
        if (id == "data") {
            // A writer may leave the size open (0 or all ones) while streaming.
            const qint64 end = (size == 0 || size == 0xffffffffu)
                                   ? bytes.size()
                                   : std::min<qint64>(bytes.size(), at + size);
            double sum = 0;
            qint64 count = 0;
            for (qint64 i = at; i + 1 < end; i += 2) {
                qint16 sample = 0;
                std::memcpy(&sample, bytes.constData() + i, 2);
                sum += double(sample) * sample;
                ++count;
            }
            *samples = count;
            return count > 0 ? std::sqrt(sum / count) : 0;
        }
        at += size + (size & 1);
    }
    return -1;
}

class MpvPlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(s_dir->isValid());
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    static QString file(const QString& name) { return s_dir->filePath(name); }

    // A sine tone made by ffmpeg the first time a test asks for it (CTest runs every test
    // in a process of its own); the format follows the extension.
    static QString tone(const QString& name, double seconds)
    {
        const QString path = file(name);
        if (QFile::exists(path))
            return path;
        const QString made = testfiles::makeTone(s_dir->path(), name, seconds);
        EXPECT_FALSE(made.isEmpty()) << "ffmpeg could not make " << name.toStdString();
        return made;
    }
    static QString tone3s(const char* ext)
    {
        return tone(QStringLiteral("tone.") + QLatin1String(ext), 3.0);
    }

    // Sets the source and waits until the player reports it ready.
    static void open(MpvPlayer& player, const QString& path)
    {
        player.setSource(path);
        ASSERT_TRUE(waitForState(player, Player::Ready))
            << "state " << player.playState() << " error " << player.errorText().toStdString();
    }

    static std::unique_ptr<QTemporaryDir> s_dir;
};

std::unique_ptr<QTemporaryDir> MpvPlayerTest::s_dir;

class MpvPlayerFormatTest : public MpvPlayerTest,
                            public ::testing::WithParamInterface<const char*> {};

TEST_P(MpvPlayerFormatTest, GoesThroughReadyPlayingPausedStoppedAndSeeksExactly)
{
    const QString path = tone3s(GetParam());
    MpvPlayer player;
    ASSERT_TRUE(player.isAvailable());
    StatusLog log(player);

    player.setSource(path);
    EXPECT_EQ(player.source(), path);
    ASSERT_TRUE(waitForState(player, Player::Ready));
    ASSERT_TRUE(waitFor([&] { return log.find(Player::Ready) >= 0; }));
    EXPECT_EQ(player.statusText(), QStringLiteral("Ready"));
    // A raw AAC stream has no index: its length is estimated from its bit rate.
    EXPECT_NEAR(player.duration(), 3.0, std::string_view(GetParam()) == "aac" ? 0.25 : 0.1);

    // Before the first play libmpv lands on the requested position to the hundredth. The
    // targets include ones where an MP3 or WMA seek without a demuxer offset lands late.
    for (const double target : {0.42, 0.77, 1.87, 1.23}) {
        player.setPosition(target);
        EXPECT_EQ(player.position(), target);
        ASSERT_TRUE(waitFor([&] { return !player.seekPending(); }));
        EXPECT_DOUBLE_EQ(roundHundredths(player.enginePosition()), target);
        EXPECT_DOUBLE_EQ(roundHundredths(player.position()), target);
    }
    EXPECT_EQ(player.positionText(), QStringLiteral("00:01"));
    EXPECT_EQ(player.playState(), Player::Ready);

    player.play();
    ASSERT_TRUE(waitForState(player, Player::Playing));
    EXPECT_EQ(player.statusText(), QStringLiteral("Playing"));
    EXPECT_GE(player.position(), 1.23);
    player.pause();
    ASSERT_TRUE(waitForState(player, Player::Paused));
    EXPECT_NE(player.statusText(), QStringLiteral("Playing"));

    player.setPosition(0);
    EXPECT_EQ(player.position(), 0.0);
    EXPECT_EQ(player.positionText(), QStringLiteral("00:00"));
    // Once it has played, libmpv reads a paused seek short: the position stays the one
    // requested, and playback runs on from there.
    player.setPosition(2.34);
    EXPECT_EQ(player.position(), 2.34);
    ASSERT_TRUE(waitFor([&] { return !player.seekPending(); }));
    EXPECT_EQ(player.position(), 2.34);
    EXPECT_EQ(player.playState(), Player::Paused);
    player.play();
    ASSERT_TRUE(waitForState(player, Player::Playing));
    // What the program reads never falls behind the seek; libmpv's own reading may lag by
    // its output buffer for a moment on a loaded machine, then runs on past the target.
    EXPECT_GE(roundHundredths(player.position()), 2.34);
    ASSERT_TRUE(waitFor([&] { return player.position() > 2.34; }));
    ASSERT_TRUE(waitFor([&] { return player.enginePosition() > 2.34; }));
    player.pause();
    ASSERT_TRUE(waitForState(player, Player::Paused));

    player.stop();
    ASSERT_TRUE(waitForState(player, Player::Stopped));
    EXPECT_EQ(player.position(), 0.0);
    ASSERT_TRUE(waitFor([&] { return log.find(Player::Stopped) >= 0; }));

    // Every event reports a change, in the order the states were passed.
    const int ready = log.find(Player::Ready);
    const int playing = log.find(Player::Playing, ready);
    const int paused = log.find(Player::Paused, playing);
    EXPECT_GE(ready, 0);
    EXPECT_GT(playing, ready);
    EXPECT_GT(paused, playing);
    EXPECT_GT(log.find(Player::Stopped, paused), paused);
    for (size_t i = 1; i < log.entries().size(); ++i)
        EXPECT_NE(log.entries()[i], log.entries()[i - 1]) << "event " << i;
}

// WAV, WMA and MP3, and the formats musicians often have besides: FLAC, Ogg Vorbis, Opus,
// AAC in an MP4 file and raw AAC.
INSTANTIATE_TEST_SUITE_P(Formats, MpvPlayerFormatTest,
                         ::testing::Values("wav", "mp3", "wma", "flac", "ogg", "opus", "m4a",
                                           "aac"));

// The program's own handling of a new source, by its real status-change handler: ready
// leads to play, the first playing state to pause at 0 with the timeline's length set.
TEST_F(MpvPlayerTest, PrimingFromTheStatusEventEndsPausedAtZero)
{
    MpvPlayer player;
    PlaybackState state;
    QLabel status;
    QSlider trackBar;
    QToolButton pause, stop, play, rewind;
    ScriptedDialogs dialogs;
    PlayerEvents events(player, state,
                        PlayerEvents::Widgets{status, trackBar, pause, stop, play, rewind}, dialogs,
                        {});
    // A WMA file starts about 0.1 s in: the position still reads 0 after priming.
    player.setSource(tone3s("wma"));
    ASSERT_TRUE(waitFor([&] { return !state.priming && player.playState() == Player::Paused; }));
    ASSERT_TRUE(waitFor([&] { return !player.seekPending(); }));
    EXPECT_EQ(player.position(), 0.0);
    EXPECT_NEAR(player.duration(), 3.0, 0.1);
    EXPECT_EQ(trackBar.maximum(), static_cast<int>(std::trunc(player.duration() * 100)));
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

TEST_F(MpvPlayerTest, PositionSetWhileOpeningIsSoughtOnceOpened)
{
    MpvPlayer player;
    player.setSource(tone3s("mp3"));
    player.setPosition(2.5);
    EXPECT_EQ(player.position(), 2.5);
    ASSERT_TRUE(waitForState(player, Player::Ready));
    ASSERT_TRUE(waitFor([&] { return !player.seekPending(); }));
    EXPECT_DOUBLE_EQ(roundHundredths(player.enginePosition()), 2.5);
    EXPECT_EQ(player.position(), 2.5);
}

// Samples the position every few milliseconds for a while.
struct Sample {
    double wall;
    double position;
};
void sampleFor(const Player& player, const QElapsedTimer& clock, int ms,
               std::vector<Sample>& samples)
{
    const qint64 end = clock.elapsed() + ms;
    while (clock.elapsed() < end) {
        samples.push_back({clock.elapsed() / 1000.0, player.position()});
        QTest::qWait(10);
    }
}

double measuredRate(const Player& player, const QElapsedTimer& clock, std::vector<Sample>& samples)
{
    sampleFor(player, clock, 500, samples); // let the new speed settle
    const size_t first = samples.size();
    sampleFor(player, clock, 2000, samples);
    const Sample& a = samples[first];
    const Sample& b = samples.back();
    return (b.position - a.position) / (b.wall - a.wall);
}

TEST_F(MpvPlayerTest, RateSetsThePaceAndThePositionNeverRunsBack)
{
    MpvPlayer player;
    open(player, tone(QStringLiteral("long.wav"), 12.0));
    player.play();
    ASSERT_TRUE(waitForState(player, Player::Playing));

    QElapsedTimer clock;
    clock.start();
    std::vector<Sample> samples;
    sampleFor(player, clock, 300, samples);
    player.setRate(2);
    EXPECT_EQ(player.rate(), 2.0);
    EXPECT_NEAR(measuredRate(player, clock, samples), 2.0, 2.0 * 0.15);
    player.setRate(0.5);
    EXPECT_NEAR(measuredRate(player, clock, samples), 0.5, 0.5 * 0.15);
    EXPECT_EQ(player.playState(), Player::Playing);

    for (size_t i = 1; i < samples.size(); ++i)
        ASSERT_GE(samples[i].position, samples[i - 1].position)
            << "position ran back at " << samples[i].wall << " s";

    // Rates that mean nothing are refused.
    player.setRate(0);
    player.setRate(std::nan(""));
    EXPECT_EQ(player.rate(), 0.5);
}

TEST_F(MpvPlayerTest, EndOfFileStopsAtTheDurationAndPlayRestartsFromTheBeginning)
{
    MpvPlayer player;
    open(player, tone(QStringLiteral("short.wav"), 1.5));
    player.setPosition(0.8);
    player.play();
    ASSERT_TRUE(waitForState(player, Player::Stopped));
    EXPECT_EQ(player.statusText(), QStringLiteral("Stopped"));
    EXPECT_NEAR(player.position(), player.duration(), 0.02);
    EXPECT_EQ(player.positionText(), QStringLiteral("00:01"));

    player.play();
    ASSERT_TRUE(waitForState(player, Player::Playing));
    EXPECT_LT(player.position(), 1.0);
}

TEST_F(MpvPlayerTest, MissingOrUnplayableFilesRaiseErrors)
{
    MpvPlayer player;
    QSignalSpy errors(&player, &Player::errorOccurred);

    const QString missing = file(QStringLiteral("missing.wav"));
    player.setSource(missing);
    ASSERT_TRUE(waitFor([&] { return errors.count() == 1; }));
    EXPECT_EQ(player.errorText(), QStringLiteral("loading failed"));
    EXPECT_EQ(player.source(), missing);
    EXPECT_NE(player.playState(), Player::Playing);
    EXPECT_EQ(player.position(), 0.0);
    player.play(); // harmless
    player.setPosition(3);
    EXPECT_EQ(player.position(), 0.0);

    QByteArray noise(20000, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919 + 13) % 251);
    player.setSource(testfiles::writeFile(file(QStringLiteral("noise.mp3")), noise));
    ASSERT_TRUE(waitFor([&] { return errors.count() == 2; }));
    EXPECT_FALSE(player.errorText().isEmpty());

    // A good file opens after the failures.
    open(player, tone3s("wav"));
    EXPECT_TRUE(player.errorText().isEmpty());
    QTest::qWait(100);
    EXPECT_EQ(errors.count(), 2);
}

TEST_F(MpvPlayerTest, NothingLoadedReadsEmptyAndCommandsAreHarmless)
{
    MpvPlayer player;
    QSignalSpy changes(&player, &Player::statusChanged);
    EXPECT_TRUE(player.source().isEmpty());
    EXPECT_TRUE(player.statusText().isEmpty());
    EXPECT_EQ(player.position(), 0.0);
    EXPECT_EQ(player.duration(), 0.0);
    EXPECT_EQ(player.positionText(), QStringLiteral("00:00"));
    player.play();
    player.pause();
    player.stop();
    player.setPosition(5);
    EXPECT_EQ(player.position(), 0.0);
    QTest::qWait(100);
    EXPECT_EQ(changes.count(), 0);

    // Unloading a playing file empties the status and the position.
    open(player, tone3s("wav"));
    player.play();
    ASSERT_TRUE(waitForState(player, Player::Playing));
    changes.clear();
    player.setSource(QString());
    EXPECT_TRUE(player.source().isEmpty());
    ASSERT_TRUE(waitFor([&] { return changes.count() > 0; }));
    EXPECT_TRUE(player.statusText().isEmpty());
    EXPECT_NE(player.playState(), Player::Playing);
    EXPECT_EQ(player.position(), 0.0);
    EXPECT_EQ(player.duration(), 0.0);
}

TEST_F(MpvPlayerTest, WorksUnderAGermanNumericLocale)
{
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed (scripts/setup makes it)";
    struct Restore {
        std::string locale;
        ~Restore() { std::setlocale(LC_NUMERIC, locale.c_str()); }
    } restore{before};
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");

    MpvPlayer player;
    ASSERT_TRUE(player.isAvailable());
    open(player, tone3s("wav"));
    // A seek target read with "," as separator would land on 1.
    player.setPosition(1.23);
    ASSERT_TRUE(waitFor([&] { return !player.seekPending(); }));
    EXPECT_DOUBLE_EQ(roundHundredths(player.enginePosition()), 1.23);
    player.setRate(1.5);
    player.play();
    ASSERT_TRUE(waitForState(player, Player::Playing));
}

// Above 4x the pitch-keeping filter mutes unless it is told otherwise: write the output to
// a file at 5x and measure it against the tone itself.
TEST_F(MpvPlayerTest, FiveTimesSpeedIsAudible)
{
    const QString tone = tone3s("wav");
    const QString output = file(QStringLiteral("fast-output.wav"));
    {
        MpvPlayer player(
            {{"ao", "pcm"}, {"ao-pcm-file", QFile::encodeName(output)}, {"audio-format", "s16"}});
        player.setRate(5);
        open(player, tone);
        player.play();
        ASSERT_TRUE(waitForState(player, Player::Stopped));
    } // the output file is complete once the player is gone

    qint64 toneSamples = 0;
    qint64 outputSamples = 0;
    const double toneRms = wavRms(tone, &toneSamples);
    const double outputRms = wavRms(output, &outputSamples);
    ASSERT_GT(toneRms, 0);
    // 3 s at 5x are 0.6 s of sound.
    EXPECT_GT(outputSamples, toneSamples / 5 / 2);
    EXPECT_GT(outputRms, toneRms * 0.5) << "tone " << toneRms << ", at 5x " << outputRms;
}

} // namespace
