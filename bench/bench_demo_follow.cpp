// Plays the demo project through the real player (null audio output) in a whole main
// window and records, for every marker entry, how long after its time the marker showed
// it; also the memory and CPU the program uses while playing.
#include "app/mainwindow.h"
#include "benchdoubles.h"
#include "benchsupport.h"
#include "platform/dialogs.h"
#include "platform/hotkeys.h"
#include "platform/shell.h"
#include "playback/follower.h"
#include "playback/mpvplayer.h"

#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <ctime>
#include <fstream>
#include <string>

namespace {

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

void demoFollow(benchmark::State& state)
{
    QTemporaryDir notes;
    qputenv("FOLIVANT_NOTES_DIR", notes.path().toLocal8Bit());
    qputenv("FOLIVANT_AUDIO_OUTPUT", "null");
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
        window.findChild<QAbstractButton*>(QStringLiteral("Startup_Play"))->click();
        auto* timeline = window.findChild<QSlider*>(QStringLiteral("TrackBar"));
        QElapsedTimer wait;
        wait.start();
        while ((timeline->maximum() == 0 || player.playState() != Player::Paused) &&
               wait.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);

        auto& notesList = window.workspace().notes;
        std::vector<double> lags;
        int last = -1;
        QObject::connect(&window.follower().positionTimer(), &QTimer::timeout, &window, [&] {
            const int shown = window.follower().selectedEntry();
            if (shown >= 0 && shown != last) {
                last = shown;
                lags.push_back(player.position() - notesList.time(shown));
            }
        });
        const double cpu0 = cpuSeconds();
        QElapsedTimer clock;
        clock.start();
        double peak = 0;
        QEventLoop loop;
        QTimer sample;
        QObject::connect(&sample, &QTimer::timeout, &loop, [&] {
            peak = std::max(peak, rssKiB() / 1024.0);
            if (player.playState() == Player::Stopped || clock.elapsed() > 45000)
                loop.quit();
        });
        sample.start(200);
        player.play();
        loop.exec();
        const double wall = clock.elapsed() / 1000.0;
        const double cpu = cpuSeconds() - cpu0;
        std::sort(lags.begin(), lags.end());
        double sum = 0;
        for (double l : lags)
            sum += l;
        state.counters["entries_shown"] = static_cast<double>(lags.size());
        state.counters["entries"] = static_cast<double>(notesList.count());
        if (!lags.empty()) {
            state.counters["lag_mean_ms"] = 1000 * sum / static_cast<double>(lags.size());
            state.counters["lag_p95_ms"] = 1000 * lags[lags.size() * 95 / 100];
            state.counters["lag_max_ms"] = 1000 * lags.back();
        }
        state.counters["rss_peak_MiB"] = peak;
        state.counters["cpu_pct_one_core"] = 100 * cpu / wall;
    }
}

} // namespace

BENCHMARK(demoFollow)->Unit(benchmark::kSecond)->Iterations(1);

FOLIVANT_BENCHMARK_MAIN();
