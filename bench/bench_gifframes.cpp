#include "benchsupport.h"
#include "project/pageimage.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gif_lib.h>
#include <sys/resource.h>

#include <vector>

// A GIF of many large frames, as a crafted page file may be: 40 frames of 4000 x 4000 in a
// file of a few hundred KB. The page loader reads the first frame only, so the time and
// the memory must not grow with the number of frames: the page itself is 61 MiB.
// Argument: the number of frames.

namespace {

// Writes a GIF of `frames` frames of size x size, each one colour band per frame.
bool writeGif(const QString& path, int frames, int size)
{
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.toLocal8Bit().constData(), false, &error);
    if (!gif)
        return false;
    GifColorType colours[2] = {{255, 255, 255}, {0, 0, 0}};
    ColorMapObject* map = GifMakeMapObject(2, colours);
    bool ok = EGifPutScreenDesc(gif, size, size, 1, 0, map) == GIF_OK;
    std::vector<GifPixelType> line(static_cast<size_t>(size));
    for (int f = 0; ok && f < frames; ++f) {
        ok = EGifPutImageDesc(gif, 0, 0, size, size, false, nullptr) == GIF_OK;
        for (int y = 0; ok && y < size; ++y) {
            std::fill(line.begin(), line.end(), GifPixelType(((y / 64) + f) % 2));
            ok = EGifPutLine(gif, line.data(), size) == GIF_OK;
        }
    }
    GifFreeMapObject(map);
    return EGifCloseFile(gif, &error) == GIF_OK && ok;
}

long peakRssMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

void loadManyFrames(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("frames.gif"));
    if (!writeGif(path, static_cast<int>(state.range(0)), 4000)) {
        state.SkipWithError("cannot write the GIF");
        return;
    }
    for (auto _ : state) {
        QString error;
        const QImage page = pageimage::load(path, &error);
        if (page.isNull()) {
            state.SkipWithError(error.toStdString().c_str());
            return;
        }
        benchmark::DoNotOptimize(page.constBits());
    }
    state.counters["file_KiB"] = static_cast<double>(QFileInfo(path).size()) / 1024.0;
    state.counters["peak_rss_MiB"] = static_cast<double>(peakRssMiB());
}

} // namespace

BENCHMARK(loadManyFrames)
    ->Name("GifFirstFrameOf")
    ->Arg(1)
    ->Arg(40)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

FOLIVANT_BENCHMARK_MAIN();
