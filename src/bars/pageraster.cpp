#include "bars/pageraster.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace bars {

namespace {

constexpr double pi = 3.14159265358979323846;

// Otsu's threshold of a grey-level histogram: the level that splits it into two classes
// of the greatest between-class variance.
int otsu(const std::array<qint64, 256>& histogram, qint64 total)
{
    double sumAll = 0;
    for (int i = 0; i < 256; ++i)
        sumAll += double(i) * double(histogram[size_t(i)]);
    double sumDark = 0;
    qint64 dark = 0;
    double best = -1;
    int level = 128;
    for (int t = 0; t < 255; ++t) {
        dark += histogram[size_t(t)];
        sumDark += double(t) * double(histogram[size_t(t)]);
        const qint64 light = total - dark;
        if (dark == 0 || light == 0)
            continue;
        const double meanDark = sumDark / double(dark);
        const double meanLight = (sumAll - sumDark) / double(light);
        const double between =
            double(dark) * double(light) * (meanDark - meanLight) * (meanDark - meanLight);
        if (between > best) {
            best = between;
            level = t;
        }
    }
    return level;
}

} // namespace

Raster inkOf(const QImage& page, int shrink, bool faint)
{
    Raster raster;
    if (page.isNull() || shrink < 1)
        return raster;
    // Pages come decoded as 32-bit RGB: their grey levels are read straight from it,
    // without a converted copy of the whole page.
    const bool rgb = page.format() == QImage::Format_RGB32 ||
                     page.format() == QImage::Format_ARGB32 ||
                     page.format() == QImage::Format_ARGB32_Premultiplied;
    const QImage source = rgb ? page : page.convertToFormat(QImage::Format_Grayscale8);
    if (source.isNull())
        return raster;
    const int width = source.width() / shrink;
    const int height = source.height() / shrink;
    if (width < 16 || height < 16)
        return raster;
    std::vector<std::uint8_t> levels(size_t(width) * size_t(height));
    std::vector<int> sums(static_cast<size_t>(width), 0);
    const int area = shrink * shrink;
    const int used = width * shrink;
    for (int y = 0; y < height; ++y) {
        std::fill(sums.begin(), sums.end(), 0);
        for (int dy = 0; dy < shrink; ++dy) {
            if (rgb) {
                const auto* row =
                    reinterpret_cast<const QRgb*>(source.constScanLine(y * shrink + dy));
                for (int x = 0; x < used; ++x) {
                    const QRgb p = row[x];
                    sums[size_t(x / shrink)] +=
                        (qRed(p) * 77 + qGreen(p) * 150 + qBlue(p) * 29) >> 8;
                }
            } else {
                const uchar* row = source.constScanLine(y * shrink + dy);
                for (int x = 0; x < used; ++x)
                    sums[size_t(x / shrink)] += row[x];
            }
        }
        std::uint8_t* out = levels.data() + size_t(y) * width;
        for (int x = 0; x < width; ++x)
            out[x] = std::uint8_t(sums[size_t(x)] / area);
    }
    std::array<qint64, 256> histogram{};
    for (const std::uint8_t level : levels)
        ++histogram[level];
    const qint64 total = qint64(levels.size());
    int level = otsu(histogram, total);
    // Ink is dark on light paper; a page without two clear levels holds no music.
    qint64 inkCount = 0;
    for (int i = 0; i <= level; ++i)
        inkCount += histogram[size_t(i)];
    if (level < 24 || level > 240 || inkCount * 1000 < total || inkCount * 2 > total)
        return raster;
    // Thin lines drawn at a low resolution come out grey: the split leans towards the
    // paper, a quarter of the way from the split to white. Asked for faint lines, on clean
    // paper (a page drawn, not scanned: nearly all of the paper at one level) any clear
    // grey is ink.
    int paper = level + 1;
    qint64 paperCount = 0;
    for (int i = level + 1; i < 256; ++i) {
        paperCount += histogram[size_t(i)];
        if (histogram[size_t(i)] > histogram[size_t(paper)])
            paper = i;
    }
    if (faint && double(histogram[size_t(paper)]) >= 0.9 * double(paperCount) && paper > level + 40)
        level = std::min(220, paper - 30);
    else
        level = std::min(200, (3 * level + 255) / 4);
    raster.width = width;
    raster.height = height;
    raster.ink.resize(levels.size());
    for (size_t i = 0; i < levels.size(); ++i)
        raster.ink[i] = levels[i] <= level ? 1 : 0;
    return raster;
}

LineMetrics lineMetrics(const Raster& raster)
{
    LineMetrics metrics;
    if (raster.empty())
        return metrics;
    const int limit = std::max(8, raster.height / 20);
    std::vector<qint64> black(size_t(limit) + 1, 0);
    std::vector<qint64> pair(size_t(2 * limit) + 1, 0);
    const int step = std::max(1, raster.width / 200);
    for (int x = step / 2; x < raster.width; x += step) {
        int y = 0;
        int lastBlack = 0;
        while (y < raster.height) {
            const bool ink = raster.ink[size_t(y) * raster.width + x];
            int run = 0;
            while (y < raster.height && bool(raster.ink[size_t(y) * raster.width + x]) == ink) {
                ++run;
                ++y;
            }
            if (ink) {
                if (run <= limit)
                    ++black[size_t(run)];
                lastBlack = run;
            } else if (lastBlack > 0 && lastBlack + run <= 2 * limit && y < raster.height) {
                ++pair[size_t(lastBlack + run)];
            }
        }
    }
    const auto mode = [](const std::vector<qint64>& counts, int from) {
        int best = 0;
        for (int i = from; i < int(counts.size()); ++i)
            if (counts[size_t(i)] > counts[size_t(best)])
                best = i;
        return counts[size_t(best)] > 0 ? best : 0;
    };
    metrics.thickness = mode(black, 1);
    const int distance = mode(pair, 4);
    if (distance > 0) {
        // The mean around the mode smooths out one-pixel jitter.
        double weight = 0;
        double sum = 0;
        for (int d = std::max(0, distance - 1); d <= std::min(2 * limit, distance + 1); ++d) {
            weight += double(pair[size_t(d)]);
            sum += double(d) * double(pair[size_t(d)]);
        }
        metrics.distance = sum / weight;
    }
    return metrics;
}

double skewOf(const Raster& raster, const LineMetrics& metrics)
{
    if (raster.empty() || metrics.distance <= 0)
        return 0;
    // Points of long horizontal runs: pieces of staff lines, not text or noise.
    const int minRun = std::max(6, int(metrics.distance * 1.5));
    std::vector<std::pair<int, int>> points;
    for (int y = 0; y < raster.height; ++y) {
        raster.forEachRun(y, minRun, [&](int start, int end) {
            for (int p = start; p < end; p += 3)
                points.emplace_back(p, y);
        });
        if (points.size() > 400000)
            break;
    }
    if (points.size() < 100)
        return 0;
    const int margin = int(std::ceil(raster.width * std::tan(2.6 * pi / 180))) + 1;
    std::vector<int> bins(size_t(raster.height + 2 * margin));
    const auto score = [&](double degrees) {
        std::fill(bins.begin(), bins.end(), 0);
        const double slope = std::tan(degrees * pi / 180);
        const double cx = raster.width / 2.0;
        for (const auto& [x, y] : points) {
            const int bin = int(std::lround(y - (x - cx) * slope)) + margin;
            if (bin >= 0 && bin < int(bins.size()))
                ++bins[size_t(bin)];
        }
        double sum = 0;
        for (const int b : bins)
            sum += double(b) * double(b);
        return sum;
    };
    double best = 0;
    double bestScore = score(0);
    for (double a = -2.5; a <= 2.5001; a += 0.25) {
        const double s = score(a);
        if (s > bestScore) {
            bestScore = s;
            best = a;
        }
    }
    const double coarse = best;
    const double fine = std::max(0.01, 180 / pi / raster.width);
    for (double a = coarse - 0.25; a <= coarse + 0.25; a += fine) {
        const double s = score(a);
        if (s > bestScore) {
            bestScore = s;
            best = a;
        }
    }
    return best;
}

Raster straightened(const Raster& raster, double degrees)
{
    if (raster.empty() || std::abs(degrees) < 0.02)
        return raster;
    Raster out;
    out.width = raster.width;
    out.height = raster.height;
    out.ink.assign(raster.ink.size(), 0);
    const double c = std::cos(degrees * pi / 180);
    const double s = std::sin(degrees * pi / 180);
    const double cx = raster.width / 2.0;
    const double cy = raster.height / 2.0;
    for (int v = 0; v < out.height; ++v) {
        double x = cx + (0 - cx) * c - (v - cy) * s;
        double y = cy + (0 - cx) * s + (v - cy) * c;
        std::uint8_t* row = out.ink.data() + size_t(v) * out.width;
        for (int u = 0; u < out.width; ++u, x += c, y += s) {
            const int ix = int(std::lround(x));
            const int iy = int(std::lround(y));
            if (ix >= 0 && iy >= 0 && ix < raster.width && iy < raster.height)
                row[u] = raster.ink[size_t(iy) * raster.width + ix];
        }
    }
    return out;
}

void Turn::toPage(double x, double y, double* px, double* py) const
{
    const double c = std::cos(degrees * pi / 180);
    const double s = std::sin(degrees * pi / 180);
    *px = (cx + (x - cx) * c - (y - cy) * s) * scale;
    *py = (cy + (x - cx) * s + (y - cy) * c) * scale;
}

} // namespace bars
