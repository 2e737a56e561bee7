// How closely Kinsoro guests follow their host: one host playing a real 70 s WAV through
// libmpv (null audio output) and eight guest windows in one process on loopback. Every
// 50 ms each guest's clock is compared with where the host's recording really is (from
// reads of libmpv's own position, see AudioTruth); the benchmark reports the mean, 95th
// percentile and largest error in milliseconds, and the mean error of the first and the
// last ten seconds (the error must not grow). A second run stalls the whole window thread
// for 300 ms once a second (a busy-wait in a host timer).

#include "benchsession.h"
#include "benchsupport.h"
#include "support/need.h"

#include "app/mainwindow.h"
#include "platform/dialogs.h"
#include "platform/shell.h"
#include "platform/widgets.h"
#include "playback/guestclock.h"
#include "playback/mpvplayer.h"
#include "playback/playbackstate.h"
#include "project/workspace.h"
#include "session/sessionguest.h"
#include "session/sessionhost.h"
#include "session/sessionpanel.h"
#include "support/fakehotkeys.h"
#include "timingsupport.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QSlider>
#include <QTabWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numeric>
#include <vector>

namespace {

using namespace benchsession;

constexpr int kGuests = 8;
constexpr int kPlaySeconds = 60;
constexpr int kSettleMs = 1000;

// A project folder with a 70 s tone as its local audio copy; returns the .nts path.
QString makeProject(const QString& notes)
{
    const QString folder = notes + QStringLiteral("Bench/");
    QDir().mkpath(folder);
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                  QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("sine=frequency=440:duration=70"),
                  folder + QStringLiteral("tone.wav")});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
        return QString();
    QFile nts(folder + QStringLiteral("Bench.nts"));
    if (!nts.open(QIODevice::WriteOnly))
        return QString();
    nts.write("AudioFile=tone.wav\r\nSourceAudioFile=tone.wav\r\nDirPath=\r\nFileName=Bench\r\n"
              "NotesDataFile=Bench.ntf\r\nUseLocal=true\r\nNotesAmount=0\r\n");
    QFile ntf(folder + QStringLiteral("Bench.ntf"));
    if (ntf.open(QIODevice::WriteOnly))
        ntf.write("1={500000}{500000}{0}\r\n");
    return nts.fileName();
}

double guestClockOf(MainWindow& window)
{
    return window.guestClock().value();
}

void followTheHost(benchmark::State& state, bool stalls)
{
    if (qEnvironmentVariableIsEmpty("FOLIVANT_AUDIO_OUTPUT"))
        qputenv("FOLIVANT_AUDIO_OUTPUT", "null");
    QTemporaryDir notes;
    qputenv("FOLIVANT_NOTES_DIR", (notes.path() + QLatin1Char('/')).toUtf8());
    {
        QTcpServer probe;
        probe.listen(QHostAddress::Any, 0);
        qputenv("FOLIVANT_SESSION_PORT", QByteArray::number(probe.serverPort()));
    }
    const QString project = makeProject(notes.path() + QLatin1Char('/'));
    if (project.isEmpty()) {
        state.SkipWithError("ffmpeg could not make the audio file");
        return;
    }

    MpvPlayer hostPlayer;
    Copy host(hostPlayer);
    if (!selectHostProject(host, project)) {
        state.SkipWithError("the host's player did not open the audio");
        return;
    }

    const auto guests = joinGuests(project, kGuests);
    if (!waitFor([&] {
            return host.find<QListWidget>("connectedf").count() == kGuests &&
                   std::all_of(guests.begin(), guests.end(), [](const auto& g) {
                       return g->window->workspace().modes.followMode;
                   });
        })) {
        state.SkipWithError("the guests did not join");
        return;
    }
    host.click("HostGo");
    waitFor([] { return false; }, 500);

    QTimer stall;
    stall.setInterval(1000);
    QObject::connect(&stall, &QTimer::timeout, [] {
        QElapsedTimer busy;
        busy.start();
        while (busy.elapsed() < 300) {
        }
    });

    AudioTruth truth(1.0);
    struct Sample {
        double wall;
        std::vector<double> clocks;
    };
    std::vector<Sample> samples;
    QElapsedTimer clock;
    clock.start();
    const auto wallNow = [&clock] {
        return static_cast<double>(clock.nsecsElapsed()) * 1e-9;
    };
    double playAt = 0;
    for (auto _ : state) {
        host.click("MainPanel_Play");
        playAt = wallNow();
        if (stalls)
            stall.start();
        // libmpv renews its position about every 50 ms: reading it every 50 ms would see it
        // at nearly the same age each time, so the reads for the true line come more often.
        QTimer reads;
        reads.setTimerType(Qt::PreciseTimer);
        QObject::connect(&reads, &QTimer::timeout, [&] {
            truth.add(wallNow(), hostPlayer.enginePosition(), hostPlayer.duration());
        });
        reads.start(11);
        QTimer sample;
        sample.setTimerType(Qt::PreciseTimer);
        sample.setInterval(50);
        QObject::connect(&sample, &QTimer::timeout, [&] {
            const double now = wallNow();
            if (now - playAt < kSettleMs / 1000.0)
                return;
            Sample s{now, {hostPlayer.position()}};
            for (const auto& g : guests)
                s.clocks.push_back(guestClockOf(*g->window));
            samples.push_back(std::move(s));
        });
        sample.start();
        QEventLoop loop;
        QTimer::singleShot(kPlaySeconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        sample.stop();
        reads.stop();
        stall.stop();
        host.click("MainPanel_Pause");
    }
    std::vector<double> errors;
    std::vector<double> firstTen, lastTen;
    double ahead = 0;
    for (const Sample& s : samples) {
        const double hostPos = truth.positionAt(s.wall);
        const double t = s.wall - playAt;
        if (qEnvironmentVariableIsSet("FOLIVANT_BENCH_DETAIL"))
            std::fprintf(stderr, "%.3f host %+.1f guest %+.1f\n", t, (s.clocks[0] - hostPos) * 1000,
                         (s.clocks[1] - hostPos) * 1000);
        for (std::size_t i = 1; i < s.clocks.size(); ++i) {
            const double c = s.clocks[i];
            ahead += (c - hostPos) * 1000;
            const double e = std::abs(c - hostPos) * 1000;
            errors.push_back(e);
            if (t < kSettleMs / 1000.0 + 10)
                firstTen.push_back(e);
            else if (t > kPlaySeconds - 10)
                lastTen.push_back(e);
        }
    }
    state.counters["mean_ms"] = meanOf(errors);
    state.counters["p95_ms"] = percentileOf(errors, 0.95);
    state.counters["max_ms"] = errors.empty() ? 0 : *std::max_element(errors.begin(), errors.end());
    state.counters["first10s_mean_ms"] = meanOf(firstTen);
    state.counters["last10s_mean_ms"] = meanOf(lastTen);
    state.counters["samples"] = static_cast<double>(errors.size());
    // Positive: the guests run ahead of the host on average.
    state.counters["ahead_mean_ms"] =
        errors.empty() ? 0 : ahead / static_cast<double>(errors.size());
    double latency = 0;
    for (const auto& g : guests)
        latency += g->window->sessionGuest()->latency() * 1000 / kGuests;
    state.counters["latency_mean_ms"] = latency;
    state.counters["loadavg"] = loadAverage();
    host.click("StopHostKinsoro");
    waitFor([] { return false; }, 300);
}

void BM_GuestsFollowHost(benchmark::State& state)
{
    followTheHost(state, false);
}

void BM_GuestsFollowStallingHost(benchmark::State& state)
{
    followTheHost(state, true);
}

} // namespace

BENCHMARK(BM_GuestsFollowHost)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_GuestsFollowStallingHost)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

FOLIVANT_BENCHMARK_MAIN();
