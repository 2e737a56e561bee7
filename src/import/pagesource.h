#pragma once

#include "import/scoreimport.h"

#include <QImage>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <memory>

namespace scoreimport {

// Limits for the pages made from a score. Every page also fits the project loader's own
// limit (pageimage::sizeAllowed); these are tighter, so that one page in memory (poppler's
// drawing surface and its copy, 8 bytes a pixel) stays under 200 MB.
struct PageLimits {
    // PDF pages are drawn at this resolution: a note head (about 1.8 mm high) is 14 pixels
    // tall, so it keeps its shape when the page is shown at 1X.
    static constexpr double renderDpi = 200.0;
    // At most this many pixels a page: an A2 page still gets the full 200 dpi, larger
    // page boxes are drawn at a lower resolution.
    static constexpr qint64 maxPixels = 24'000'000;
    // Neither side longer than this (a long strip of music stays drawable and encodable).
    static constexpr int maxSide = 16384;

    // The resolution a PDF page of the given size in points (1/72 inch) is drawn at: the
    // render resolution, lowered until the page in whole pixels fits the limits (with at
    // most `pixels` pixels). 0 when the size is empty or not a number.
    static double dpiFor(const QSizeF& points, qint64 pixels = maxPixels);
    // A picture's size scaled down (aspect kept) to fit the limits; unchanged when it fits.
    static QSize fitted(const QSize& size, qint64 pixels = maxPixels);
};

// The pages of one score file, one at a time, as pictures ready to encode: a PDF drawn by
// poppler (white paper, antialiased shapes and text), or a PNG or TIFF read by Qt's
// readers (each frame of a multi-page TIFF is a page). Pictures are Format_RGB32 with
// anything see-through shown over white, within PageLimits. All messages are whole
// sentences that name the file.
class PageSource {
public:
    virtual ~PageSource() = default;

    // Opens a PDF, PNG or TIFF file (chosen by its extension, letter case ignored). Null,
    // with the reason in *error, when the file is missing, empty, locked by a password,
    // damaged, of another kind or has no pages, or when its picture exceeds the budget.
    // Its pages are made within the budget.
    static std::unique_ptr<PageSource> open(const QString& path, QString* error,
                                            const Budget& budget = {});

    // The number of pages, at least 1.
    virtual int count() const = 0;
    // True when the file holds pages by number (every PDF, a TIFF with several frames):
    // the page files made from it carry the page number.
    virtual bool numbered() const = 0;
    // The page at index (0-based). Null, with the reason in *error, when it cannot be
    // drawn or read.
    virtual QImage page(int index, QString* error) = 0;
};

} // namespace scoreimport
