// Plays the demo project through the real player (null audio output) in a whole main
// window at tempo 1, 0.5 and 2 and records, for every marker entry, how long (wall time)
// after the recording reached the entry's time the marker showed it; also the memory and
// CPU the program uses while playing. The last run sets an audio delay of 200 ms, which
// the marker's lag should then show. The moment the recording reaches a time is taken
// from frequent reads of libmpv's own position (see AudioTruth), not from the position the
// program reads, so a program that reads a stale position cannot hide its lag.
#include "app/mainwindow.h"
#include "benchdoubles.h"
#include "benchsupport.h"
#include "platform/dialogs.h"
#include "platform/hotkeys.h"
#include "platform/shell.h"
#include "playback/audiodelaypanel.h"
#include "playback/follower.h"
#include "playback/mpvplayer.h"
#include "playback/tempo.h"
#include "showlog.h"

#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QItemSelectionModel>
#include <QListView>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>

namespace {

// CPU seconds used by the whole process, or by the calling thread (the window's thread: the
// rest is libmpv's decoding and time-stretching, and the decoding of pages ahead).
double cpuSeconds(clockid_t clock = CLOCK_PROCESS_CPUTIME_ID)
{
    timespec t{};
    clock_gettime(clock, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

void demoFollow(benchmark::State& state)
{
    QTemporaryDir notes;
    qputenv("FOLIVANT_NOTES_DIR", notes.path().toLocal8Bit());
    qputenv("FOLIVANT_AUDIO_OUTPUT", "null");
    // The audio delay is kept in the program's settings: this run's own.
    qputenv("XDG_CONFIG_HOME", notes.path().toLocal8Bit());
    const QDir demo(QStringLiteral(FOLIVANT_SOURCE_DIR "/assets/demo"));
    const QString dir = notes.path() + QStringLiteral("/Minuet/");
    QDir().mkpath(dir);
    for (const QString& f : demo.entryList({QStringLiteral("Minuet*")}, QDir::Files))
        QFile::copy(demo.filePath(f), dir + f);

    for (auto _ : state) {
        MpvPlayer player;
        AnsweringDialogs dialogs;
        dialogs.answer = dir + QStringLiteral("Minuet.nts");
        auto keys = createHotKeys();
        NoShell shell;
        MainWindow window(Services{&player, &dialogs, keys.get(), &shell, [] {}, {}, {}});
        window.resize(1280, 800);
        window.show();
        openFromStart(window, player);

        auto& notesList = window.workspace().notes;
        const double rate = static_cast<double>(state.range(0)) / 100.0;
        window.tempo()->setText(QString::number(rate, 'f', 2));
        // With an audio delay the marker is meant to lag the player by exactly that much.
        const auto delayMs = static_cast<int>(state.range(1));
        window.audioDelay()->value()->setValue(delayMs);
        ShowLog log(window, player, rate);
        const double cpu0 = cpuSeconds();
        const double windowCpu0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        double peak = 0;
        QEventLoop loop;
        QTimer sample;
        const qint64 limitMs = static_cast<qint64>((30.0 / rate + 15.0) * 1000);
        QObject::connect(&sample, &QTimer::timeout, &loop, [&] {
            peak = std::max(peak, rssKiB() / 1024.0);
            if (player.playState() == Player::Stopped || log.elapsedMs() > limitMs)
                loop.quit();
        });
        sample.start(200);
        const double playAt = log.now();
        player.play();
        loop.exec();
        log.stopReading();
        const double wall = log.now() - playAt;
        const double cpu = cpuSeconds() - cpu0;
        const double windowCpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - windowCpu0;
        std::vector<double> lags;
        for (const auto& [row, at] : log.shows) {
            const double t = notesList.time(row);
            // The entry at the very start is shown before the recording runs.
            if (t < 0.3)
                continue;
            lags.push_back(1000 * (at - log.truth.wallAt(t)));
            if (qEnvironmentVariableIsSet("FOLIVANT_BENCH_DETAIL"))
                std::fprintf(stderr, "entry %d at %.2f s: %.1f ms\n", row, t, lags.back());
        }
        std::sort(lags.begin(), lags.end());
        state.counters["tempo"] = rate;
        state.counters["audio_delay_ms"] = delayMs;
        state.counters["entries_shown"] = static_cast<double>(lags.size());
        state.counters["entries"] = static_cast<double>(notesList.count());
        if (!lags.empty()) {
            state.counters["lag_mean_ms"] = meanOf(lags);
            state.counters["lag_p95_ms"] = percentileOf(lags, 0.95);
            state.counters["lag_max_ms"] = lags.back();
            state.counters["lag_min_ms"] = lags.front();
        }
        state.counters["rss_peak_MiB"] = peak;
        state.counters["cpu_pct_one_core"] = 100 * cpu / wall;
        state.counters["cpu_pct_window_thread"] = 100 * windowCpu / wall;
        state.counters["loadavg"] = loadAverage();
    }
}

} // namespace

BENCHMARK(demoFollow)
    ->Args({100, 0})
    ->Args({50, 0})
    ->Args({200, 0})
    ->Args({100, 200})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

FOLIVANT_BENCHMARK_MAIN();
