#include "benchsupport.h"
#include "playback/playbackstate.h"
#include "playback/sheetview.h"
#include "playback/zoomandmarker.h"
#include "project/pageimage.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QListView>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <memory>

// Zooming a 5000 x 7000 scanned page in a 1280 x 800 window: the time of one zoom step,
// the time to repaint the visible part of the page at every zoom step (-5 to 5), and the
// memory the page holds at 6X compared with the decoded page.

namespace {

// The page file, made once by ImageMagick: white with black blocks and some grain.
QString pageFile()
{
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString p = QDir(dir.path()).filePath(QStringLiteral("page.jpg"));
        QProcess convert;
        convert.start(QStringLiteral("convert"),
                      {QStringLiteral("-size"), QStringLiteral("5000x7000"),
                       QStringLiteral("xc:white"), QStringLiteral("-fill"), QStringLiteral("black"),
                       QStringLiteral("-draw"), QStringLiteral("rectangle 500,700 1000,1400"),
                       QStringLiteral("-draw"), QStringLiteral("rectangle 2500,3500 4000,3600"),
                       QStringLiteral("-quality"), QStringLiteral("90"), p});
        const bool ok = convert.waitForFinished(300000) &&
                        convert.exitStatus() == QProcess::NormalExit && convert.exitCode() == 0;
        return ok ? p : QString();
    }();
    return path;
}

// Resident memory of the process in bytes (VmRSS of /proc/self/status).
qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return 0;
}

// A 1280 x 800 window filled by the scroll box, with the zoom of the main window.
struct Sheet {
    Sheet()
    {
        window.resize(1280, 800);
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        view = new SheetView;
        layout->addWidget(view);
        zoom = std::make_unique<ZoomAndMarker>(state, *view, list);
        window.show();
        QCoreApplication::processEvents();
    }
    void setPage(const QImage& page)
    {
        view->image()->setImage(page);
        QCoreApplication::processEvents();
    }
    void goTo(int steps)
    {
        zoom->cancelZoom();
        zoom->applySteps(steps);
        QCoreApplication::processEvents();
        // The middle of the page, as while following a marker.
        view->setScroll(view->horizontalScrollBar()->maximum() / 2,
                        view->verticalScrollBar()->maximum() / 2);
    }
    // One repaint of what the scroll box shows.
    void repaint(QImage& target) { view->viewport()->render(&target); }

    QWidget window;
    SheetView* view;
    PlaybackState state;
    QListView list;
    std::unique_ptr<ZoomAndMarker> zoom;
};

const QImage& page()
{
    static const QImage decoded = pageimage::load(pageFile());
    return decoded;
}

Sheet& sheet()
{
    static Sheet made;
    static bool loaded = false;
    if (!loaded) {
        made.setPage(page());
        loaded = true;
    }
    return made;
}

void BM_MemoryAt6X(benchmark::State& state)
{
    if (pageFile().isEmpty()) {
        state.SkipWithError("convert failed");
        return;
    }
    for (auto _ : state) {
        const qint64 before = residentBytes();
        QImage decoded = pageimage::load(pageFile());
        const qint64 pageBytes = decoded.sizeInBytes();
        auto view = std::make_unique<Sheet>();
        view->setPage(decoded);
        view->goTo(5);
        QImage target(view->view->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
        view->repaint(target);
        const qint64 held = residentBytes() - before;
        state.counters["pageMB"] = static_cast<double>(pageBytes) / 1e6;
        state.counters["heldMB"] = static_cast<double>(held) / 1e6;
        state.counters["heldPerPage"] = static_cast<double>(held) / static_cast<double>(pageBytes);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_MemoryAt6X)->Iterations(1)->Unit(benchmark::kMillisecond);

// One zoom step that arrives at the given step, from the step before it (toward 0).
void BM_ZoomStep(benchmark::State& state)
{
    const int steps = static_cast<int>(state.range(0));
    Sheet& s = sheet();
    if (page().isNull()) {
        state.SkipWithError("no page");
        return;
    }
    for (auto _ : state) {
        const int from = steps > 0 ? steps - 1 : steps + 1;
        s.goTo(from);
        QElapsedTimer clock;
        clock.start();
        if (steps > from)
            s.zoom->zoomIn();
        else
            s.zoom->zoomOut();
        QCoreApplication::processEvents(); // the layout of the scroll box
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
    }
    state.SetLabel(ZoomAndMarker::zoomText(steps).toStdString());
}
BENCHMARK(BM_ZoomStep)->DenseRange(-5, 5)->UseManualTime()->Unit(benchmark::kMillisecond);

// One repaint of the visible sheet at a zoom step.
void BM_Repaint(benchmark::State& state)
{
    const int steps = static_cast<int>(state.range(0));
    Sheet& s = sheet();
    if (page().isNull()) {
        state.SkipWithError("no page");
        return;
    }
    s.goTo(steps);
    QImage target(s.view->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        s.repaint(target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.SetLabel(ZoomAndMarker::zoomText(steps).toStdString());
}
BENCHMARK(BM_Repaint)->DenseRange(-5, 5)->Unit(benchmark::kMillisecond);

// A repaint after the view jumped to another part of the page (as following does when
// the marker leaves the view): the scaled page is drawn afresh.
void BM_RepaintAfterJump(benchmark::State& state)
{
    const int steps = static_cast<int>(state.range(0));
    Sheet& s = sheet();
    if (page().isNull()) {
        state.SkipWithError("no page");
        return;
    }
    s.goTo(steps);
    QImage target(s.view->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    bool far = false;
    for (auto _ : state) {
        state.PauseTiming();
        far = !far;
        s.view->setScroll(far ? s.view->horizontalScrollBar()->maximum() : 0,
                          far ? s.view->verticalScrollBar()->maximum() : 0);
        state.ResumeTiming();
        s.repaint(target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.SetLabel(ZoomAndMarker::zoomText(steps).toStdString());
}
BENCHMARK(BM_RepaintAfterJump)->DenseRange(-5, 5)->Unit(benchmark::kMillisecond);

} // namespace

FOLIVANT_BENCHMARK_MAIN();
