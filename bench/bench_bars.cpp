// The bar finder on the corpus of tests/bars/data: per piece and kind of page (engraved or
// scan-like), the precision and recall of the bars found, the share of repeat signs
// found, and the time per page. Both halves are measured, each row marked with its half
// ("tune/": the pages the finder was tuned on; "test/": the pages held out to judge it);
// FOLIVANT_BARS_HALF set to "tune" or "test" measures one. The engraved pages are also
// measured at the edges of what the finder is built for: turned by 2 degrees ("/turned",
// either way by turns) and at twice their resolution ("/doubled", as a 600 dpi copy of a
// 300 dpi page).
//
//   bench_bars --benchmark_counters_tabular=true
#include "bars/barfinder.h"
#include "bars/bartruth.h"
#include "project/pageimage.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QMap>
#include <QPainter>
#include <QTransform>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

const QString kData = QStringLiteral(FOLIVANT_SOURCE_DIR "/tests/bars/data");

// How a corpus page is shown to the finder: as it was made, turned by 2 degrees about its
// centre, or at twice its size.
enum class Copy { AsMade, Turned, Doubled };

struct Piece {
    QString name; // piece/kind
    QList<bartruth::TruePage> pages;
    Copy copy = Copy::AsMade;
};

// The page and its true bars as `copy` shows them (the n-th page of a piece turns the other
// way from the one before). A true bar's box becomes the box around its turned corners.
QImage copied(const QImage& image, Copy copy, int n, bartruth::TruePage& page)
{
    if (copy == Copy::AsMade)
        return image;
    QTransform map;
    QImage out;
    if (copy == Copy::Doubled) {
        map = QTransform::fromScale(2, 2);
        out = image.scaled(image.size() * 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        page.space *= 2;
    } else {
        const QPointF centre(image.width() / 2.0, image.height() / 2.0);
        map.translate(centre.x(), centre.y());
        map.rotate(n % 2 == 0 ? 2.0 : -2.0);
        map.translate(-centre.x(), -centre.y());
        out = QImage(image.size(), QImage::Format_RGB32);
        out.fill(Qt::white);
        QPainter painter(&out);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setTransform(map);
        painter.drawImage(0, 0, image.convertToFormat(QImage::Format_RGB32));
        painter.end();
        out = out.convertToFormat(image.format());
    }
    for (bars::Bar& bar : page.bars) {
        const QRect box =
            map.mapRect(QRectF(bar.left, bar.top, bar.right - bar.left, bar.bottom - bar.top))
                .toAlignedRect();
        bar.left = box.left();
        bar.right = box.right();
        bar.top = box.top();
        bar.bottom = box.bottom();
    }
    return out;
}

QList<Piece> corpus()
{
    const char* half = std::getenv("FOLIVANT_BARS_HALF");
    const QString wanted = half ? QString::fromLatin1(half) : QStringLiteral("all");
    QMap<QString, Piece> pieces;
    for (const bartruth::TruePage& page : bartruth::readCorpus(kData)) {
        if (wanted != QLatin1String("all") && page.tuning != (wanted == QLatin1String("tune")))
            continue;
        const QString name = (page.tuning ? QStringLiteral("tune/") : QStringLiteral("test/")) +
                             page.piece +
                             (page.scan ? QStringLiteral("/scan") : QStringLiteral("/engraved"));
        pieces[name].name = name;
        pieces[name].pages << page;
        if (page.scan)
            continue;
        for (const auto& [copy, kind] :
             {std::pair{Copy::Turned, "/turned"}, std::pair{Copy::Doubled, "/doubled"}}) {
            const QString copyName = name.section(QLatin1Char('/'), 0, 1) + QLatin1String(kind);
            pieces[copyName].name = copyName;
            pieces[copyName].pages << page;
            pieces[copyName].copy = copy;
        }
    }
    return pieces.values();
}

void findBarsOfPiece(benchmark::State& state, Piece piece)
{
    QList<QImage> images;
    for (bartruth::TruePage& page : piece.pages) {
        QString error;
        const QImage image = pageimage::load(kData + QLatin1Char('/') + page.file, &error);
        if (image.isNull()) {
            state.SkipWithError(error.toStdString().c_str());
            return;
        }
        images << copied(image, piece.copy, int(images.size()), page);
    }
    bartruth::Score score;
    double slowest = 0;
    for (auto _ : state) {
        score = {};
        for (int i = 0; i < images.size(); ++i) {
            const auto start = std::chrono::steady_clock::now();
            const bars::PageBars found = bars::findBars(images[i]);
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            slowest = std::max(slowest, took.count());
            score.add(bartruth::compare(found.bars, piece.pages[i]));
        }
    }
    state.counters["pages"] = double(images.size());
    state.counters["bars"] = score.truth;
    state.counters["found"] = score.found;
    state.counters["precision"] = score.precision();
    state.counters["recall"] = score.recall();
    state.counters["repeats"] = score.trueRepeats;
    state.counters["repeats_found"] = score.repeats();
    state.counters["false_repeats"] = score.falseRepeats;
    state.counters["endings"] = score.trueEndings;
    state.counters["endings_found"] = score.matchedEndings;
    state.counters["s_per_page"] =
        benchmark::Counter(double(images.size()), benchmark::Counter::kIsIterationInvariantRate |
                                                      benchmark::Counter::kInvert);
    state.counters["slowest_page_s"] = slowest;
}

} // namespace

int main(int argc, char** argv)
{
    const QList<Piece> pieces = corpus();
    if (pieces.isEmpty()) {
        std::fprintf(stderr, "bench_bars: no pages in %s/truth.csv\n", qPrintable(kData));
        return 1;
    }
    for (const Piece& piece : pieces)
        benchmark::RegisterBenchmark(piece.name.toStdString().c_str(), findBarsOfPiece, piece)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3)
            ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
