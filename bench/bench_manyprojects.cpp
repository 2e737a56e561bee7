// Opening many projects in one run of the program: 200 projects, each of three 5000 x 7000
// JPEG scans and a marker list of 300 entries, opened one after the other with "Open
// other" in one main window (a player that accepts any source), each shown at its first
// page and turned to its second. The scans are made once by ImageMagick; every project
// folder holds hard links to them.
//
//   bench_manyprojects [projects]   (default 200)
//
// Prints the resident memory after the first project and after every 20th, and the time
// each open took. The memory after the last must be within 10 % of that after the first.

#include "benchdoubles.h"
#include "benchsession.h"

#include "playback/sheetview.h"
#include "project/workspace.h"
#include "projectview/pages.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <clocale>
#include <cstdio>
#include <unistd.h>

namespace {

using namespace benchsession;

constexpr int kPages = 3;
constexpr int kEntries = 300;

bool run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(600000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The shared files: three scans and a short recording.
bool makeShared(const QString& dir)
{
    for (int i = 0; i < kPages; ++i) {
        if (!run(QStringLiteral("convert"),
                 {QStringLiteral("-seed"), QString::number(i + 1), QStringLiteral("-size"),
                  QStringLiteral("5000x7000"), QStringLiteral("plasma:"),
                  QStringLiteral("-quality"), QStringLiteral("85"),
                  dir + QStringLiteral("/p%1.jpg").arg(i)}))
            return false;
    }
    return run(QStringLiteral("ffmpeg"),
               {QStringLiteral("-y"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                QStringLiteral("sine=duration=2"), dir + QStringLiteral("/a.wav")});
}

// Project number n in notes/P<n>/, its files linked to the shared ones; its project file.
QString makeProject(const QString& notes, const QString& shared, int n)
{
    const QString name = QStringLiteral("P%1").arg(n, 3, 10, QLatin1Char('0'));
    const QString folder = notes + QLatin1Char('/') + name + QLatin1Char('/');
    QDir().mkpath(folder);
    const auto link = [&](const QString& file) {
        return ::link(QFile::encodeName(shared + QLatin1Char('/') + file).constData(),
                      QFile::encodeName(folder + file).constData()) == 0;
    };
    bool ok = link(QStringLiteral("a.wav"));
    QByteArray nts =
        "AudioFile=a.wav\r\nSourceAudioFile=a.wav\r\nDirPath=\r\nFileName=" + name.toUtf8() +
        "\r\nNotesDataFile=" + name.toUtf8() + ".ntf\r\nUseLocal=true\r\n";
    for (int i = 0; i < kPages; ++i) {
        ok = ok && link(QStringLiteral("p%1.jpg").arg(i));
        nts += "NotesFile" + QByteArray::number(i) + "=p" + QByteArray::number(i) + ".jpg\r\n";
    }
    nts += "NotesAmount=" + QByteArray::number(kPages) + "\r\n";
    QByteArray ntf;
    for (int e = 0; e < kEntries; ++e)
        ntf += QByteArray::number(e * 0.25 + n * 0.01, 'f', 2) + "={" +
               QByteArray::number(100000 + e * 2000) + "}{" + QByteArray::number(300000) + "}{" +
               QByteArray::number(e * kPages / kEntries) + "}\r\n";
    QFile ntsFile(folder + name + QStringLiteral(".nts"));
    QFile ntfFile(folder + name + QStringLiteral(".ntf"));
    ok = ok && ntsFile.open(QIODevice::WriteOnly) && ntsFile.write(nts) == nts.size();
    ok = ok && ntfFile.open(QIODevice::WriteOnly) && ntfFile.write(ntf) == ntf.size();
    return ok ? ntsFile.fileName() : QString();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;

    QTemporaryDir notes, shared;
    qputenv("FOLIVANT_NOTES_DIR", (notes.path() + QLatin1Char('/')).toUtf8());
    std::printf("making three 5000 x 7000 scans with ImageMagick...\n");
    std::fflush(stdout);
    if (!makeShared(shared.path())) {
        std::fprintf(stderr, "ImageMagick or ffmpeg failed\n");
        return 1;
    }
    QStringList projects;
    for (int n = 1; n <= count; ++n) {
        projects << makeProject(notes.path(), shared.path(), n);
        if (projects.last().isEmpty()) {
            std::fprintf(stderr, "project %d could not be made\n", n);
            return 1;
        }
    }

    SilentPlayer player;
    Copy copy(player);
    runFor(200);
    const long start = rssKiB();
    long first = 0;
    QElapsedTimer clock;
    qint64 slowest = 0, total = 0;
    std::printf("RSS before the first project: %.1f MiB\n", start / 1024.0);
    std::printf("projects  RSS MiB  vs first  ms per open\n");
    for (int n = 1; n <= count; ++n) {
        copy.dialogs.file = projects[n - 1];
        clock.start();
        copy.click(n == 1 ? "Startup_Play" : "MainPanel_OpenOther");
        copy.window->repaint();
        const bool shown = copy.window->sheet().displaySize() == QSize(5000, 7000) &&
                           copy.window->workspace().notes.count() == kEntries;
        copy.window->pages().nextPage();
        copy.window->repaint();
        QCoreApplication::processEvents();
        const qint64 took = clock.elapsed();
        total += took;
        slowest = std::max(slowest, took);
        if (!shown || copy.window->pages().pageList()->currentIndex() != 1) {
            std::fprintf(stderr, "project %d was not shown\n", n);
            return 1;
        }
        const long rss = rssKiB();
        if (n == 1)
            first = rss;
        if (n == 1 || n % 20 == 0 || n == count)
            std::printf("%8d  %7.1f  %+7.1f%%  %11lld\n", n, rss / 1024.0,
                        100.0 * double(rss - first) / double(first),
                        static_cast<long long>(total / n));
        std::fflush(stdout);
    }
    const long last = rssKiB();
    const double change = 100.0 * double(last - first) / double(first);
    std::printf("after %d projects: %.1f MiB, %+.1f %% of the %.1f MiB after the first "
                "(limit 10 %%); slowest open %lld ms; %lld message box(es)\n",
                count, last / 1024.0, change, first / 1024.0, static_cast<long long>(slowest),
                static_cast<long long>(copy.dialogs.shown.size()));
    for (const QString& text : copy.dialogs.shown.mid(0, 5))
        std::printf("  box: %s\n", qPrintable(text.left(120)));
    return change <= 10.0 ? 0 : 2;
}
