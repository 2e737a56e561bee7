#pragma once

#include <QImage>

#include <cstdint>
#include <vector>

// The page as the bar finder reads it: ink or paper per pixel, straightened, at a size
// that keeps a page of any resolution quick to read.
namespace bars {

struct Raster {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> ink; // 1 for ink, row by row

    bool at(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < width && y < height && ink[size_t(y) * width + x];
    }
    bool empty() const { return width <= 0 || height <= 0; }

    // Calls f(start, end) for every horizontal run of ink in row y at least minRun long.
    template <class F> void forEachRun(int y, int minRun, F&& f) const
    {
        const std::uint8_t* row = ink.data() + size_t(y) * width;
        for (int x = 0; x < width;) {
            if (!row[x]) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < width && row[x])
                ++x;
            if (x - start >= minRun)
                f(start, x);
        }
    }
};

// Pages larger than this on their longer side are read at an integer fraction of their
// size (a 600 dpi page at half its size).
inline constexpr int maxWorkingSide = 4000;

// The page in ink and paper: grey levels averaged over blocks of `shrink` x `shrink`
// pixels, split at the level that best separates the two (Otsu's threshold). A page with
// almost no ink, or no contrast, gives an empty raster. With `faint`, on a page with clean
// paper every clear grey counts as ink: the staff lines of a page drawn at a low
// resolution are grey.
Raster inkOf(const QImage& page, int shrink, bool faint = false);

// Typical thickness of a staff line and distance of two staff lines, in raster pixels,
// from the vertical runs of ink and paper. Zero distance when there is no regular pattern.
struct LineMetrics {
    double thickness = 0;
    double distance = 0;
};
LineMetrics lineMetrics(const Raster& raster);

// The angle in degrees (at most 2.5 either way) by which the long horizontal strokes of
// the page are turned clockwise: 0 on a straight page.
double skewOf(const Raster& raster, const LineMetrics& metrics);

// The raster turned back by `degrees` about its centre, keeping its size.
Raster straightened(const Raster& raster, double degrees);

// Where a point of the straightened raster lies on the page before straightening.
struct Turn {
    double degrees = 0;
    double cx = 0;
    double cy = 0;
    double scale = 1; // page pixels per raster pixel
    void toPage(double x, double y, double* px, double* py) const;
};

} // namespace bars
