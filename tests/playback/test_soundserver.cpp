#include "app/mainwindow.h"
#include "playback/audiodelay.h"
#include "playback/follower.h"
#include "playback/mpvplayer.h"
#include "support/fakehotkeys.h"
#include "support/scripteddialogs.h"
#include "support/testfiles.h"
#include "support/testwindow.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

// The real player under a real sound server: a PulseAudio of the test's own, with a null
// sink whose monitor is recorded. The clicks of a recording are found in what reaches the
// sink; the marker must show each click's entry as its sound arrives there, although the
// server holds 0.4 s of sound in its buffer, and the audio delay setting must come
// on top of that.

namespace {

constexpr int kRate = 44100;
constexpr char kSink[] = "folivant_test";

// A PulseAudio of the test's own: its socket, its runtime folder, a null sink.
class SoundServer {
public:
    SoundServer()
    {
        if (!m_dir.isValid())
            return;
        m_address = QStringLiteral("unix:") + m_dir.filePath(QStringLiteral("native"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), m_dir.filePath(QStringLiteral("pulse")));
        m_server.setProcessEnvironment(env);
        m_server.setProcessChannelMode(QProcess::MergedChannels);
        m_server.start(QStringLiteral("pulseaudio"),
                       {QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                        QStringLiteral("-n"), QStringLiteral("--use-pid-file=no"),
                        QStringLiteral("--disable-shm=yes"), QStringLiteral("-L"),
                        QStringLiteral("module-null-sink sink_name=%1").arg(QLatin1String(kSink)),
                        QStringLiteral("-L"),
                        QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=%1")
                            .arg(m_dir.filePath(QStringLiteral("native")))});
        if (!m_server.waitForStarted(5000)) {
            m_why = QStringLiteral("pulseaudio did not start: ") + m_server.errorString();
            return;
        }
        m_up = QTest::qWaitFor([this] { return answers(); }, 10000);
        if (!m_up)
            m_why = QStringLiteral("pulseaudio did not answer: ") +
                    QString::fromLocal8Bit(m_server.readAll()).trimmed();
    }
    ~SoundServer()
    {
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            if (!m_server.waitForFinished(5000))
                m_server.kill();
            m_server.waitForFinished(2000);
        }
    }

    bool up() const { return m_up; }
    QString why() const { return m_why; }
    QString address() const { return m_address; }

    // pactl's answer, or empty when it fails.
    QString pactl(const QStringList& args) const
    {
        QProcess p;
        p.start(QStringLiteral("pactl"), QStringList{QStringLiteral("-s"), m_address} + args);
        if (!p.waitForFinished(5000) || p.exitCode() != 0)
            return {};
        return QString::fromLocal8Bit(p.readAllStandardOutput());
    }

private:
    bool answers() const
    {
        if (m_server.state() == QProcess::NotRunning)
            return true; // ended: the wait is over, answers() fails below
        return !pactl({QStringLiteral("info")}).isEmpty();
    }

    // Module arguments are split at spaces: the socket's path must have none.
    QTemporaryDir m_dir{QStringLiteral("/tmp/folivant-sound-XXXXXX")};
    QProcess m_server;
    QString m_address;
    QString m_why;
    bool m_up = false;
};

// Records the sink's monitor and notes the wall time at which each click arrives.
class ClickListener {
public:
    ClickListener(const SoundServer& server, const QElapsedTimer& wall)
        : m_wall(wall)
    {
        m_rec.start(QStringLiteral("parec"),
                    {QStringLiteral("-s"), server.address(), QStringLiteral("-d"),
                     QLatin1String(kSink) + QStringLiteral(".monitor"), QStringLiteral("--raw"),
                     QStringLiteral("--format=s16le"), QStringLiteral("--rate=%1").arg(kRate),
                     QStringLiteral("--channels=1"), QStringLiteral("--latency-msec=5")});
        QObject::connect(&m_rec, &QProcess::readyReadStandardOutput, &m_rec, [this] { read(); });
    }
    ~ClickListener()
    {
        m_rec.kill();
        m_rec.waitForFinished(2000);
    }
    bool started() { return m_rec.waitForStarted(5000); }
    const std::vector<double>& arrivals() const { return m_arrivals; }

private:
    void read()
    {
        const double now = m_wall.nsecsElapsed() / 1e9;
        m_pending += m_rec.readAllStandardOutput();
        const qsizetype n = m_pending.size() / 2;
        for (qsizetype i = 0; i < n; ++i) {
            qint16 s = 0;
            std::memcpy(&s, m_pending.constData() + 2 * i, 2);
            const bool loud = std::abs(s) > 4000;
            // A click is loud sound after at least 0.2 s of quiet.
            if (loud && m_quiet >= kRate / 5)
                m_arrivals.push_back(now - static_cast<double>(n - i) / kRate);
            m_quiet = loud ? 0 : m_quiet + 1;
        }
        m_pending.remove(0, n * 2);
    }

    const QElapsedTimer& m_wall;
    QProcess m_rec;
    QByteArray m_pending;
    qint64 m_quiet = kRate;
    std::vector<double> m_arrivals;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// For each click heard at the sink, how much later the marker showed its entry (s).
std::vector<double> markerAfterSound(SoundServer& server, int delayMs, QString* latency)
{
    testfiles::TempNotes notes;
    const QString wav = notes.path() + QStringLiteral("/clicks.wav");
    {
        QFile f(wav);
        if (!f.open(QIODevice::WriteOnly) || f.write(audiodelay::ClickTrack::wav()) < 0)
            return {};
    }
    const std::vector<double> clicks = audiodelay::ClickTrack::times();
    testfiles::ProjectLayout layout;
    layout.audio = wav;
    layout.pages = {QStringLiteral("p0.jpg")};
    for (size_t i = 0; i < clicks.size(); ++i)
        layout.entries << QStringLiteral("%1={%2}{100000}{0}")
                              .arg(clicks[i], 0, 'f', 2)
                              .arg(100000 + static_cast<int>(i) * 40000);
    const QString nts = testfiles::makeProject(notes.path(), layout);

    // The player asks the server for a large buffer, so that a position that left it out
    // would put the marker far ahead of the sound.
    MpvPlayer player(MpvPlayer::Options{{"pulse-buffer", "400"}});
    ScriptedDialogs dialogs;
    FakeHotKeys keys;
    RecordingShell shell;
    MainWindow window(Services{&player, &dialogs, &keys, &shell, [] {}, {}, {}});
    window.resize(1280, 800);
    window.show();
    dialogs.files.enqueue(nts);
    need<QAbstractButton>(&window, QStringLiteral("Startup_Play")).click();
    (void)QTest::qWaitFor([&] { return player.playState() == Player::Paused; }, 15000);
    need<QSpinBox>(&window, QStringLiteral("AudioDelay_Value")).setValue(delayMs);

    QElapsedTimer wall;
    wall.start();
    ClickListener listener(server, wall);
    if (!listener.started())
        return {};
    std::vector<double> shown(clicks.size(), -1);
    const auto note = [&] {
        const int entry = window.follower().selectedEntry();
        if (entry >= 0 && entry < static_cast<int>(shown.size()) && shown[entry] < 0)
            shown[entry] = wall.nsecsElapsed() / 1e9;
    };
    QObject::connect(&window.follower().showTimer(), &QTimer::timeout, &window, note);
    QObject::connect(&window.follower().positionTimer(), &QTimer::timeout, &window, note);
    player.play();
    (void)QTest::qWaitFor([&] { return listener.arrivals().size() >= clicks.size() / 2; }, 20000);
    *latency = server.pactl({QStringLiteral("list"), QStringLiteral("sink-inputs")});
    (void)QTest::qWaitFor([&] { return listener.arrivals().size() >= clicks.size(); }, 20000);
    player.stop();

    // The first click may sound before the marker's first show is planned; the rest pair
    // one for one.
    std::vector<double> after;
    const std::vector<double>& heard = listener.arrivals();
    for (size_t i = 1; i < std::min(heard.size(), shown.size()); ++i)
        if (shown[i] >= 0)
            after.push_back(shown[i] - heard[i]);
    return after;
}

} // namespace

TEST(SoundServer, TheMarkerFollowsWhatTheServerPlaysAndTheDelayComesOnTop)
{
    SoundServer server;
    if (!server.up())
        GTEST_SKIP() << "PulseAudio could not start here, so nothing is measured: "
                     << server.why().toStdString();
    qputenv("PULSE_SERVER", server.address().toLocal8Bit());
    qputenv("FOLIVANT_AUDIO_OUTPUT", "pulse");

    QString latency;
    const std::vector<double> plain = markerAfterSound(server, 0, &latency);
    ASSERT_GE(plain.size(), 10u) << "clicks were not heard at the sink";
    // The server really holds a large buffer for the player's stream ...
    const QRegularExpression usec(QStringLiteral("Buffer Latency: (\\d+) usec"));
    const auto m = usec.match(latency);
    ASSERT_TRUE(m.hasMatch()) << latency.toStdString();
    const double buffered = m.captured(1).toDouble() / 1e6;
    EXPECT_GT(buffered, 0.15) << latency.toStdString();
    // ... and the marker still shows each entry as its click reaches the sink, not as the
    // player hands it to the server.
    EXPECT_LT(std::abs(median(plain)), 0.08)
        << "marker after sound " << median(plain) << " s with " << buffered << " s buffered";

    const std::vector<double> delayed = markerAfterSound(server, 300, &latency);
    ASSERT_GE(delayed.size(), 10u);
    EXPECT_NEAR(median(delayed) - median(plain), 0.300, 0.05);

    qunsetenv("FOLIVANT_AUDIO_OUTPUT");
    qunsetenv("PULSE_SERVER");
}
