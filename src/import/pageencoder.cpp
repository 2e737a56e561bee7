#include "import/pageencoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>

namespace pageencoder {

namespace {

// A page as 32-bit pixels, whatever it came as; the alpha byte is ignored from here on.
QImage asRgb32(const QImage& page)
{
    if (page.format() == QImage::Format_RGB32 || page.format() == QImage::Format_ARGB32 ||
        page.format() == QImage::Format_ARGB32_Premultiplied)
        return page;
    return page.convertToFormat(QImage::Format_RGB32);
}

inline bool isGrey(QRgb c)
{
    return qRed(c) == qGreen(c) && qGreen(c) == qBlue(c);
}

// The distinct colours of a page, up to 256, with their palette index. Open addressing in a
// table four times the largest palette keeps lookups short; the last colour seen is
// remembered, since engraving is long runs of the same white or black.
class Palette {
public:
    // Collects the page's colours; false when there are more than 256.
    bool collect(const QImage& page)
    {
        std::memset(m_used, 0, sizeof m_used);
        m_count = 0;
        m_grey = true;
        for (int y = 0; y < page.height(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(page.constScanLine(y));
            QRgb last = ~row[0] | 0xff000000u; // differs from the first pixel
            for (int x = 0; x < page.width(); ++x) {
                const QRgb c = row[x] | 0xff000000u;
                if (c == last)
                    continue;
                last = c;
                if (find(c) >= 0)
                    continue;
                if (m_count == 256)
                    return false;
                insert(c);
                m_grey = m_grey && isGrey(c);
            }
        }
        return m_count > 0;
    }

    int count() const { return m_count; }
    bool grey() const { return m_grey; }
    QRgb colour(int index) const { return m_colours[index]; }

    // The palette index of a colour that collect() saw.
    int indexOf(QRgb c) const { return find(c | 0xff000000u); }

private:
    static constexpr int tableSize = 1024;
    static unsigned slotOf(QRgb c) { return (c * 2654435761u) >> 22; } // top 10 bits

    int find(QRgb c) const
    {
        for (unsigned s = slotOf(c);; s = (s + 1) % tableSize) {
            if (!m_used[s])
                return -1;
            if (m_keys[s] == c)
                return m_index[s];
        }
    }
    void insert(QRgb c)
    {
        unsigned s = slotOf(c);
        while (m_used[s])
            s = (s + 1) % tableSize;
        m_used[s] = true;
        m_keys[s] = c;
        m_index[s] = qint16(m_count);
        m_colours[m_count++] = c;
    }

    bool m_used[tableSize];
    QRgb m_keys[tableSize];
    qint16 m_index[tableSize];
    QRgb m_colours[256];
    int m_count = 0;
    bool m_grey = true;
};

bool allGrey(const QImage& page)
{
    for (int y = 0; y < page.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(page.constScanLine(y));
        for (int x = 0; x < page.width(); ++x)
            if (!isGrey(row[x]))
                return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// GIF

// giflib's output hook: appends to the QByteArray in UserData. Running out of memory is
// reported to giflib as a short write instead of unwinding through C code.
int gifWrite(GifFileType* gif, const GifByteType* data, int length)
{
    try {
        static_cast<QByteArray*>(gif->UserData)
            ->append(reinterpret_cast<const char*>(data), length);
        return length;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

int paletteBits(int count)
{
    int bits = 1;
    while ((1 << bits) < count)
        ++bits;
    return bits;
}

QByteArray gifOf(const QImage& page, const Palette& palette)
{
    const int width = page.width();
    const int height = page.height();
    if (width > 65535 || height > 65535) // a GIF's sides are 16-bit
        return {};
    const int bits = paletteBits(palette.count());
    std::vector<GifColorType> colours(size_t(1) << bits, GifColorType{255, 255, 255});
    for (int i = 0; i < palette.count(); ++i)
        colours[size_t(i)] = GifColorType{GifByteType(qRed(palette.colour(i))),
                                          GifByteType(qGreen(palette.colour(i))),
                                          GifByteType(qBlue(palette.colour(i)))};

    QByteArray out;
    int err = 0;
    GifFileType* gif = EGifOpen(&out, gifWrite, &err);
    if (!gif)
        return {};
    ColorMapObject* map = GifMakeMapObject(1 << bits, colours.data());
    bool ok = map && EGifPutScreenDesc(gif, width, height, bits, 0, map) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
    GifFreeMapObject(map); // the screen description keeps its own copy
    std::vector<GifByteType> line(size_t(width), 0);
    for (int y = 0; ok && y < height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(page.constScanLine(y));
        QRgb last = ~row[0];
        GifByteType index = 0;
        for (int x = 0; x < width; ++x) {
            if (row[x] != last) {
                last = row[x];
                index = GifByteType(palette.indexOf(last));
            }
            line[size_t(x)] = index;
        }
        ok = EGifPutLine(gif, line.data(), width) == GIF_OK;
    }
    ok = EGifCloseFile(gif, &err) == GIF_OK && ok;
    return ok ? out : QByteArray();
}

// ---------------------------------------------------------------------------------------
// JPEG

// libjpeg's fatal errors (here only running out of memory) jump back to the encoder.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void jpegErrorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
}

class JpegEncoder {
public:
    JpegEncoder()
    {
        std::memset(&m_info, 0, sizeof m_info);
        std::memset(&m_err, 0, sizeof m_err);
    }
    ~JpegEncoder()
    {
        jpeg_destroy_compress(&m_info);
        std::free(m_buffer);
    }
    JpegEncoder(const JpegEncoder&) = delete;
    JpegEncoder& operator=(const JpegEncoder&) = delete;

    // Encodes the page; false when libjpeg failed. Rows of a grey page are passed as one
    // byte a pixel (the blue channel, equal to the others).
    bool encode(const QImage& page, int quality, bool grey)
    {
        m_info.err = jpeg_std_error(&m_err.pub);
        m_err.pub.error_exit = jpegErrorExit;
        if (setjmp(m_err.jump))
            return false;
        jpeg_create_compress(&m_info);
        jpeg_mem_dest(&m_info, &m_buffer, &m_size);
        m_info.image_width = JDIMENSION(page.width());
        m_info.image_height = JDIMENSION(page.height());
        if (grey) {
            m_info.input_components = 1;
            m_info.in_color_space = JCS_GRAYSCALE;
        } else {
            m_info.input_components = 4;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
            m_info.in_color_space = JCS_EXT_BGRX; // QRgb 0xAARRGGBB in memory order
#else
            m_info.in_color_space = JCS_EXT_XRGB;
#endif
        }
        jpeg_set_defaults(&m_info);
        jpeg_set_quality(&m_info, quality, TRUE);
        m_info.optimize_coding = TRUE;
        jpeg_start_compress(&m_info, TRUE);
        m_line.assign(grey ? size_t(page.width()) : 0, 0);
        while (m_info.next_scanline < m_info.image_height) {
            const int y = int(m_info.next_scanline);
            JSAMPROW row = const_cast<JSAMPROW>(page.constScanLine(y));
            if (grey) {
                const auto* pixels = reinterpret_cast<const QRgb*>(row);
                for (int x = 0; x < page.width(); ++x)
                    m_line[size_t(x)] = JSAMPLE(qBlue(pixels[x]));
                row = m_line.data();
            }
            jpeg_write_scanlines(&m_info, &row, 1);
        }
        jpeg_finish_compress(&m_info);
        return true;
    }

    QByteArray bytes() const
    {
        return QByteArray(reinterpret_cast<const char*>(m_buffer), qsizetype(m_size));
    }

private:
    jpeg_compress_struct m_info;
    JpegErrorManager m_err;
    unsigned char* m_buffer = nullptr;
    unsigned long m_size = 0;
    std::vector<JSAMPLE> m_line;
};

QByteArray jpegOf(const QImage& page, int quality, bool grey)
{
    if (page.width() > JPEG_MAX_DIMENSION || page.height() > JPEG_MAX_DIMENSION)
        return {};
    try {
        JpegEncoder encoder;
        if (!encoder.encode(page, quality, grey))
            return {};
        return encoder.bytes();
    } catch (const std::bad_alloc&) {
        return {};
    }
}

} // namespace

QString Encoded::extension() const
{
    return format == Format::Gif ? QStringLiteral(".gif") : QStringLiteral(".jpg");
}

QByteArray encodeGif(const QImage& page)
{
    if (page.isNull())
        return {};
    const QImage pixels = asRgb32(page);
    Palette palette;
    if (!palette.collect(pixels))
        return {};
    return gifOf(pixels, palette);
}

QByteArray encodeJpeg(const QImage& page, int quality)
{
    if (page.isNull())
        return {};
    const QImage pixels = asRgb32(page);
    return jpegOf(pixels, quality, allGrey(pixels));
}

Encoded encode(const QImage& page, QString* error)
{
    const QImage pixels = asRgb32(page);
    Encoded result;
    bool fits = false;
    bool grey = false;
    {
        Palette palette;
        fits = !pixels.isNull() && palette.collect(pixels);
        grey = fits && palette.grey(); // a grey page has at most 256 colours
        if (fits)
            result.bytes = gifOf(pixels, palette);
    }
    if (!pixels.isNull()) {
        QByteArray jpeg = jpegOf(pixels, jpegQuality, grey);
        // A lossless page is worth a little more space than a lossy one.
        if (!jpeg.isEmpty() &&
            (result.bytes.isEmpty() || result.bytes.size() > jpeg.size() * 5 / 4)) {
            result.bytes = std::move(jpeg);
            result.format = Format::Jpeg;
        } else if (!result.bytes.isEmpty()) {
            result.format = Format::Gif;
        }
    }
    if (result.bytes.isEmpty() && error)
        *error = QStringLiteral("there is not enough memory to encode it");
    return result;
}

} // namespace pageencoder
