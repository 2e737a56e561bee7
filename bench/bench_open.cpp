// Start-up to the start screen, and choosing a project to its first page shown, for a
// three-page project of 5000 x 7000 JPEG scans; also the memory held with it open.
#include "app/mainwindow.h"
#include "benchdoubles.h"
#include "benchsupport.h"
#include "platform/dialogs.h"
#include "platform/hotkeys.h"
#include "platform/shell.h"
#include "playback/mpvplayer.h"
#include "playback/sheetview.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <fstream>
#include <string>

namespace {

bool run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(300000) && p.exitCode() == 0;
}

struct Project {
    QTemporaryDir notes;
    QString nts;
    Project()
    {
        qputenv("FOLIVANT_NOTES_DIR", notes.path().toLocal8Bit());
        qputenv("FOLIVANT_AUDIO_OUTPUT", "null");
        const QString dir = notes.path() + QStringLiteral("/Big/");
        QDir().mkpath(dir);
        run(QStringLiteral("ffmpeg"),
            {QStringLiteral("-y"), QStringLiteral("-loglevel"), QStringLiteral("error"),
             QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
             QStringLiteral("sine=duration=5"), dir + QStringLiteral("a.wav")});
        for (int i = 0; i < 3; ++i)
            run(QStringLiteral("convert"),
                {QStringLiteral("-size"), QStringLiteral("5000x7000"), QStringLiteral("plasma:"),
                 QStringLiteral("-quality"), QStringLiteral("85"),
                 dir + QStringLiteral("p%1.jpg").arg(i)});
        QFile f(dir + QStringLiteral("Big.nts"));
        f.open(QIODevice::WriteOnly);
        f.write("AudioFile=a.wav\r\nFileName=Big\r\nNotesDataFile=Big.ntf\r\nUseLocal=true\r\n"
                "NotesFile0=p0.jpg\r\nNotesFile1=p1.jpg\r\nNotesFile2=p2.jpg\r\nNotesAmount=3\r\n");
        nts = dir + QStringLiteral("Big.nts");
    }
};

Project& project()
{
    static Project p;
    return p;
}

void startToStartScreen(benchmark::State& state)
{
    for (auto _ : state) {
        MpvPlayer player;
        AnsweringDialogs dialogs;
        auto keys = createHotKeys();
        NoShell shell;
        MainWindow window(Services{&player, &dialogs, keys.get(), &shell, [] {}, {}, {}});
        window.show();
        QCoreApplication::processEvents();
        if (!window.findChild<QWidget*>(QStringLiteral("Startup_Panel"))->isVisible())
            state.SkipWithError("start screen not shown");
    }
}

void chooseToFirstPage(benchmark::State& state)
{
    Project& p = project();
    MpvPlayer player;
    AnsweringDialogs dialogs;
    dialogs.answer = p.nts;
    auto keys = createHotKeys();
    NoShell shell;
    MainWindow window(Services{&player, &dialogs, keys.get(), &shell, [] {}, {}, {}});
    window.show();
    QCoreApplication::processEvents();
    const long before = rssKiB();
    auto* play = window.findChild<QAbstractButton*>(QStringLiteral("Startup_Play"));
    for (auto _ : state) {
        play->click();
        window.repaint();
        if (window.sheet().displaySize() != QSize(5000, 7000))
            state.SkipWithError("first page not shown");
    }
    const double decodedMiB = 5000.0 * 7000 * 4 / 1048576;
    state.counters["held_MiB"] = (rssKiB() - before) / 1024.0;
    state.counters["page_MiB"] = decodedMiB;
    state.counters["rss_MiB"] = rssKiB() / 1024.0;
}

} // namespace

BENCHMARK(startToStartScreen)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(chooseToFirstPage)->Unit(benchmark::kMillisecond)->Iterations(5);

FOLIVANT_BENCHMARK_MAIN();
