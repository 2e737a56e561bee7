// The bar finder on the corpus of tests/bars/data: per piece and kind of page (engraved or
// scan-like), the precision and recall of the bars found, the share of repeat signs
// found, and the time per page. Both halves are measured, each row marked with its half
// ("tune/": the pages the finder was tuned on; "test/": the pages held out to judge it);
// FOLIVANT_BARS_HALF set to "tune" or "test" measures one.
//
//   bench_bars --benchmark_counters_tabular=true
#include "bars/barfinder.h"
#include "bars/bartruth.h"
#include "project/pageimage.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QMap>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

const QString kData = QStringLiteral(FOLIVANT_SOURCE_DIR "/tests/bars/data");

struct Piece {
    QString name; // piece/kind
    QList<bartruth::TruePage> pages;
};

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
    }
    return pieces.values();
}

void findBarsOfPiece(benchmark::State& state, const Piece& piece)
{
    QList<QImage> images;
    for (const bartruth::TruePage& page : piece.pages) {
        QString error;
        images << pageimage::load(kData + QLatin1Char('/') + page.file, &error);
        if (images.back().isNull()) {
            state.SkipWithError(error.toStdString().c_str());
            return;
        }
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
