// Page turns while playing: a project of three 5000 x 7000 JPEG pages (made here with Qt)
// and a 40 s tone, whose marker entries turn the page every two seconds (0, 1, 2, 0, ...,
// four entries a page), played through the real player (null audio output) in a whole
// main window. For the first entry of each new page the benchmark records how long (wall
// time) after the recording reached the entry's time the program had shown it, page
// turned; and the memory the program holds beyond what it held before the project was
// opened, in decoded pages (a page's picture and its zoom-out copies).
#include "app/mainwindow.h"
#include "benchdoubles.h"
#include "benchsupport.h"
#include "platform/hotkeys.h"
#include "playback/mpvplayer.h"
#include "showlog.h"

#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QItemSelectionModel>
#include <QListView>
#include <QPainter>
#include <QProcess>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

constexpr int kPageWidth = 5000;
constexpr int kPageHeight = 7000;
constexpr int kTurns = 18;
constexpr double kFirstEntry = 0.5;
constexpr double kPageSeconds = 2.0;
constexpr int kEntriesPerPage = 4;

// A page of staves with a few thousand note heads, saved as a JPEG as a scanner would.
bool writePage(const QString& path, int number)
{
    QImage page(kPageWidth, kPageHeight, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter p(&page);
    p.setPen(QPen(Qt::black, 6));
    for (int staff = 0; staff < 12; ++staff) {
        const int top = 400 + staff * 540;
        for (int line = 0; line < 5; ++line)
            p.drawLine(300, top + line * 50, kPageWidth - 300, top + line * 50);
        p.setBrush(Qt::black);
        for (int note = 0; note < 40; ++note)
            p.drawEllipse(QPoint(500 + note * 105, top + ((note * 7 + number) % 9) * 25), 28, 22);
    }
    p.setFont(QFont(QStringLiteral("Serif"), 160));
    p.drawText(QRect(0, 0, kPageWidth, 380), Qt::AlignCenter,
               QStringLiteral("Page %1").arg(number + 1));
    p.end();
    QImageWriter writer(path, "jpeg");
    writer.setQuality(90);
    return writer.write(page);
}

// The project folder with its pages, tone and entries; returns the .nts path.
QString makeProject(const QString& folder)
{
    QDir().mkpath(folder);
    for (int k = 0; k < 3; ++k)
        if (!writePage(folder + QStringLiteral("page%1.jpg").arg(k + 1), k))
            return QString();
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                  QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("sine=frequency=440:duration=40"),
                  folder + QStringLiteral("tone.wav")});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
        return QString();
    QFile nts(folder + QStringLiteral("Turns.nts"));
    if (!nts.open(QIODevice::WriteOnly))
        return QString();
    nts.write("AudioFile=tone.wav\r\nSourceAudioFile=tone.wav\r\nDirPath=\r\nFileName=Turns\r\n"
              "NotesDataFile=Turns.ntf\r\nUseLocal=true\r\nNotesFile0=page1.jpg\r\n"
              "NotesFile1=page2.jpg\r\nNotesFile2=page3.jpg\r\nNotesAmount=3\r\n");
    QFile ntf(folder + QStringLiteral("Turns.ntf"));
    if (!ntf.open(QIODevice::WriteOnly))
        return QString();
    for (int turn = 0; turn <= kTurns; ++turn) {
        for (int e = 0; e < kEntriesPerPage; ++e) {
            const double t = kFirstEntry + turn * kPageSeconds + e * kPageSeconds / kEntriesPerPage;
            ntf.write(QStringLiteral("%1={%2}{%3}{%4}\r\n")
                          .arg(t, 0, 'f', 2)
                          .arg(150000 + e * 200000)
                          .arg(100000 + (turn % 4) * 200000)
                          .arg(turn % 3)
                          .toLatin1());
        }
    }
    return nts.fileName();
}

void pageTurns(benchmark::State& state)
{
    QTemporaryDir notes;
    qputenv("FOLIVANT_NOTES_DIR", notes.path().toLocal8Bit());
    qputenv("FOLIVANT_AUDIO_OUTPUT", "null");
    const QString project = makeProject(notes.path() + QStringLiteral("/Turns/"));
    if (project.isEmpty()) {
        state.SkipWithError("the pages or the tone could not be made");
        return;
    }
    const double pageMiB = kPageWidth * double(kPageHeight) * 4 / (1 << 20);
    // The zoom-out copies of a page: halves down to about 1000 pixels wide.
    const double copiesMiB = pageMiB / 4 + pageMiB / 16;

    for (auto _ : state) {
        MpvPlayer player;
        AnsweringDialogs dialogs;
        dialogs.answer = project;
        auto keys = createHotKeys();
        NoShell shell;
        MainWindow window(Services{&player, &dialogs, keys.get(), &shell, [] {}, {}, {}});
        window.resize(1280, 800);
        window.show();
        QCoreApplication::processEvents();
        const double baseMiB = rssKiB() / 1024.0;
        openFromStart(window, player);

        auto& notesList = window.workspace().notes;
        ShowLog log(window, player, 1.0);
        double peakMiB = 0;
        QEventLoop loop;
        QTimer sample;
        QObject::connect(&sample, &QTimer::timeout, &loop, [&] {
            peakMiB = std::max(peakMiB, rssKiB() / 1024.0);
            if (player.playState() == Player::Stopped || log.elapsedMs() > 50000)
                loop.quit();
        });
        sample.start(100);
        player.play();
        loop.exec();
        log.stopReading();

        std::vector<double> turnLags;
        for (const auto& [row, at] : log.shows) {
            // The first entry of each page after the first.
            if (row % kEntriesPerPage != 0 || row == 0)
                continue;
            turnLags.push_back(1000 * (at - log.truth.wallAt(notesList.time(row))));
            if (qEnvironmentVariableIsSet("FOLIVANT_BENCH_DETAIL"))
                std::fprintf(stderr, "turn at entry %d (%.2f s): %.1f ms\n", row,
                             notesList.time(row), turnLags.back());
        }
        std::sort(turnLags.begin(), turnLags.end());
        state.counters["turns_shown"] = static_cast<double>(turnLags.size());
        if (!turnLags.empty()) {
            state.counters["turn_lag_mean_ms"] = meanOf(turnLags);
            state.counters["turn_lag_p95_ms"] = percentileOf(turnLags, 0.95);
            state.counters["turn_lag_max_ms"] = turnLags.back();
        }
        state.counters["rss_over_base_MiB"] = peakMiB - baseMiB;
        state.counters["pages_held"] = (peakMiB - baseMiB) / (pageMiB + copiesMiB);
        state.counters["loadavg"] = loadAverage();
    }
}

} // namespace

BENCHMARK(pageTurns)->Unit(benchmark::kSecond)->Iterations(1);

FOLIVANT_BENCHMARK_MAIN();
