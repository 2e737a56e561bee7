#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Encodes one page picture into a file the project loader reads (pageimage::load), and
// chooses the file format per page.
//
// The choice: a page with at most 256 distinct colours (every black-and-white or greyscale
// engraving, and flat-colour pages) is encoded twice, as a lossless GIF with an exact
// palette and as a JPEG, and keeps the GIF unless it is more than a quarter larger than
// the JPEG. Engraving is large areas of white paper with sharp black edges, which LZW
// packs to a fraction of what a JPEG needs, and a GIF keeps every grey level of the
// antialiased edges exactly, where a JPEG rings around note heads and staff lines. A
// greyscale scan with paper grain is the opposite case: LZW finds few repeats in noise and
// the JPEG is several times smaller, so the size comparison sends it to JPEG. A page with
// more colours than a GIF palette holds (a colour scan, a photograph, a coloured cover)
// goes straight to JPEG. BMP is never written: uncompressed, it is many times larger than
// either and offers nothing the GIF does not.
namespace pageencoder {

enum class Format { Gif, Jpeg };

// JPEG quality for pages: at 90 the ringing around note heads and text stays below what
// the eye sees at full size, while grain is still compressed well.
inline constexpr int jpegQuality = 90;

struct Encoded {
    QByteArray bytes; // the whole file; empty when encoding failed
    Format format = Format::Jpeg;
    QString extension() const; // ".gif" or ".jpg"
};

// The page's file with the format chosen as described above. page is any non-null
// picture (treated as opaque); the result is empty, with *error set, only when memory ran out.
Encoded encode(const QImage& page, QString* error = nullptr);

// A lossless GIF of the page (one frame, global palette of the colours used, in a power of
// two between 2 and 256 entries). Empty when the page has more than 256 colours or memory
// ran out.
QByteArray encodeGif(const QImage& page);

// A baseline JPEG at the given quality with optimised Huffman tables; greyscale (one
// component) when every pixel is grey, so that no bytes go to colour that is not there.
// Empty when memory ran out.
QByteArray encodeJpeg(const QImage& page, int quality = jpegQuality);

} // namespace pageencoder
