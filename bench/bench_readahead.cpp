// Read ahead over real layouts: the demo project, the two-page pieces of the bar finder's
// corpus (an entry at the top staff line of every bar, a bar every two seconds) and a
// four-page piece made here (six systems a page, eight entries a system, a quarter second
// apart). Each page is shown 1000 pixels wide (zoomed to fit) in a view 800 pixels high, as
// in a window of 1280 x 1024; the recording plays at tempo 0.5, 1 and 2.
//
// The follow tick is modelled as the program runs it: every tenth of a second of wall time,
// at every entry and at the moment a turn is due by time. At every page break the benchmark
// reports how long the next page's first system showed before its first entry sounded
// (goal: at least 2 s of wall time, or from the last entry before the break when that comes
// sooner, at every break), and counts the ticks at which the row being played was not whole
// in view below the part read ahead (goal: none). BM_TurnDrawing times the real sheet
// showing a turn and painting its view (goal: p95 at most 16 ms).
#include "benchsupport.h"
#include "playback/followlogic.h"
#include "playback/readahead.h"
#include "playback/sheetview.h"
#include "project/markerentry.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <map>
#include <set>

namespace {

constexpr int kDisplayWidth = 1000;
constexpr int kViewHeight = 800;

struct Piece {
    std::vector<readahead::Entry> entries;
    std::vector<int> pageHeights; // displayed, at kDisplayWidth
};

QString source(const char* relative)
{
    return QStringLiteral(FOLIVANT_SOURCE_DIR "/") + QLatin1String(relative);
}

int displayedHeight(const QString& imagePath)
{
    const QSize size = QImageReader(imagePath).size();
    return size.isEmpty() ? 0 : size.height() * kDisplayWidth / size.width();
}

Piece demo()
{
    Piece piece;
    for (int k = 1; k <= 3; ++k)
        piece.pageHeights.push_back(displayedHeight(source("assets/demo/Minuet_%1.jpg").arg(k)));
    QFile file(source("assets/demo/Minuet.ntf"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const markerentry::Place place = markerentry::parsePlace(line.mid(eq + 1).trimmed());
        piece.entries.push_back({line.left(eq).toDouble(), place.page, place.y});
    }
    return piece;
}

// A two-page piece of the bar corpus: one entry at the top staff line of each bar.
Piece barPiece(const QString& name)
{
    Piece piece;
    std::map<QString, int> pages;
    std::vector<int> natural;
    for (int p = 1; p <= 2; ++p) {
        const QString file = name + QStringLiteral("-p%1.gif").arg(p);
        pages[file] = p - 1;
        natural.push_back(QImageReader(source("tests/bars/data/") + file).size().height());
        piece.pageHeights.push_back(displayedHeight(source("tests/bars/data/") + file));
    }
    QFile truth(source("tests/bars/data/truth.csv"));
    if (!truth.open(QIODevice::ReadOnly))
        return {};
    QTextStream in(&truth);
    double t = 0;
    while (!in.atEnd()) {
        const QStringList f = in.readLine().split(QLatin1Char(','));
        if (f.size() < 7 || f[0] != QLatin1String("bar") || !pages.count(f[1]))
            continue;
        const int page = pages[f[1]];
        const double top = f[5].toDouble() / natural[static_cast<size_t>(page)];
        piece.entries.push_back({t, page, std::llround(top * 1e6)});
        t += 2.0;
    }
    return piece;
}

Piece madePiece()
{
    Piece piece;
    double t = 0;
    for (int page = 0; page < 4; ++page) {
        piece.pageHeights.push_back(1414); // A4
        for (int system = 0; system < 6; ++system)
            for (int note = 0; note < 8; ++note, t += 0.25)
                piece.entries.push_back({t, page, 90000 + system * 150000 + (note % 3) * 8000});
    }
    return piece;
}

struct Figures {
    int breaks = 0;
    int met = 0;
    double minLead = 1e9;
    double meanLead = 0;
    int unseen = 0;
};

Figures play(const Piece& piece, double rate)
{
    Figures out;
    const auto& e = piece.entries;
    const int n = static_cast<int>(e.size());
    const auto time = [&](int i) {
        return e[static_cast<size_t>(i)].time;
    };
    // The moments the tick runs at, in recording time.
    std::set<double> ticks;
    const double end = e.back().time + 1;
    for (double w = 0; w * rate <= end; w += 0.1)
        ticks.insert(w * rate);
    for (int i = 0; i < n; ++i) {
        ticks.insert(e[static_cast<size_t>(i)].time);
        ticks.insert(readahead::forcedFrom(e, i, rate));
    }
    std::map<int, double> since; // break entry -> first tick of an unbroken show
    for (double p : ticks) {
        if (p < 0 || p > end)
            continue;
        const int current = followlogic::findCurrent(n, time, p);
        if (current < 0)
            continue;
        const long long page = e[static_cast<size_t>(current)].page;
        const int next = readahead::nextBreak(e, current);
        readahead::Geometry g;
        g.viewHeight = kViewHeight;
        g.pageHeight = piece.pageHeights[static_cast<size_t>(page)];
        g.nextPageHeight =
            next < 0 ? 0
                     : piece.pageHeights[static_cast<size_t>(e[static_cast<size_t>(next)].page)];
        g.markerHeight = SheetView::kMarkerHeight;
        const readahead::Turn turn = readahead::decide(e, current, p, rate, g);
        if (!turn.shown()) {
            if (next >= 0)
                since.erase(next);
            continue;
        }
        since.emplace(turn.nextEntry, p);
        const auto rows = readahead::rowsOf(e, page, g.pageHeight, g.markerHeight);
        const int r = readahead::rowAt(
            rows, followlogic::placeToPixels(e[static_cast<size_t>(current)].y, g.pageHeight));
        if (r < 0 || rows[static_cast<size_t>(r)].top - turn.scroll < turn.band ||
            rows[static_cast<size_t>(r)].bottom - turn.scroll > kViewHeight)
            ++out.unseen;
    }
    for (int i = 1; i < n; ++i) {
        if (e[static_cast<size_t>(i)].page == e[static_cast<size_t>(i - 1)].page)
            continue;
        ++out.breaks;
        const auto it = since.find(i);
        const double lead = it == since.end() ? 0 : (time(i) - it->second) / rate;
        const bool fromLast = it != since.end() && it->second <= time(i - 1);
        if (lead >= readahead::kLeadSeconds || fromLast)
            ++out.met;
        out.minLead = std::min(out.minLead, lead);
        out.meanLead += lead;
    }
    if (out.breaks > 0)
        out.meanLead /= out.breaks;
    return out;
}

void report(benchmark::State& state, const Piece& piece)
{
    const double rate = state.range(0) / 100.0;
    Figures f;
    for (auto _ : state)
        benchmark::DoNotOptimize(f = play(piece, rate));
    state.counters["breaks"] = f.breaks;
    state.counters["met_pct"] = f.breaks ? 100.0 * f.met / f.breaks : 0;
    state.counters["lead_min_s"] = f.minLead;
    state.counters["lead_mean_s"] = f.meanLead;
    state.counters["unseen_ticks"] = f.unseen;
}

void BM_Demo(benchmark::State& state)
{
    static const Piece piece = demo();
    report(state, piece);
}

void BM_Chorale(benchmark::State& state)
{
    static const Piece piece = barPiece(QStringLiteral("chorale"));
    report(state, piece);
}

void BM_Jig(benchmark::State& state)
{
    static const Piece piece = barPiece(QStringLiteral("jig"));
    report(state, piece);
}

void BM_Quartet(benchmark::State& state)
{
    static const Piece piece = barPiece(QStringLiteral("quartet"));
    report(state, piece);
}

void BM_FourPages(benchmark::State& state)
{
    static const Piece piece = madePiece();
    report(state, piece);
}

// Tempo in hundredths.
BENCHMARK(BM_Demo)->Arg(50)->Arg(100)->Arg(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Chorale)->Arg(50)->Arg(100)->Arg(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Jig)->Arg(50)->Arg(100)->Arg(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Quartet)->Arg(50)->Arg(100)->Arg(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FourPages)->Arg(50)->Arg(100)->Arg(200)->Unit(benchmark::kMicrosecond);

// The real sheet showing a page with the next one read ahead: each turn is a new next page
// (its top scaled afresh) and a paint of the whole view. Arg 0: the demo's pages at their
// natural size; arg 1: scans of 5000 x 7000 pixels zoomed out to 1000 pixels wide.
void BM_TurnDrawing(benchmark::State& state)
{
    const bool scans = state.range(0) == 1;
    const auto load = [scans](int k) {
        QImage page(source("assets/demo/Minuet_%1.jpg").arg(k));
        return scans ? page.scaled(5000, 7000).convertToFormat(QImage::Format_RGB32) : page;
    };
    // Each page with its zoom-out copies, as the page decoded ahead holds it.
    const auto withCopies = [](const QImage& page) {
        return QList<QImage>{page} + NotesImage::smallerCopies(page);
    };
    const QList<QImage> pages[2] = {withCopies(load(2)), withCopies(load(3))};
    SheetView sheet;
    sheet.resize(1000, kViewHeight);
    sheet.image()->setImage(load(1));
    if (scans)
        sheet.image()->setDisplaySize(QSize(1000, 1400));
    sheet.show();
    QCoreApplication::processEvents();
    std::vector<double> ms;
    int k = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        sheet.setScroll(0, 500 + k % 3);
        sheet.showReadAhead(pages[k % 2], 2 + k % 2, 420);
        sheet.viewport()->repaint();
        ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        state.SetIterationTime(ms.back() / 1000.0);
        sheet.hideReadAhead();
        ++k;
    }
    std::sort(ms.begin(), ms.end());
    state.counters["p95_ms"] = ms[std::min(ms.size() - 1, ms.size() * 95 / 100)];
    state.counters["max_ms"] = ms.back();
}
BENCHMARK(BM_TurnDrawing)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(100)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

FOLIVANT_BENCHMARK_MAIN();
