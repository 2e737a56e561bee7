#include "project/pageimage.h"

#include "platform/paths.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>

#include <gif_lib.h>
#include <jerror.h>
#include <jpeglib.h>

namespace pageimage {

namespace {

QImage fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return {};
}

// The file must exist and hold something; otherwise the reason, for every decoder alike.
bool checkFile(const QString& path, const QString& kind, QString* error)
{
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile()) {
        fail(error, QStringLiteral("The %1 image %2 does not exist.").arg(kind, path));
        return false;
    }
    if (info.size() == 0) {
        fail(error, QStringLiteral("The %1 image %2 is an empty file.").arg(kind, path));
        return false;
    }
    return true;
}

QString tooLarge(const QString& kind, const QString& path, qint64 width, qint64 height)
{
    return QStringLiteral("The %1 image %2 is too large to show (%3 x %4 pixels).")
        .arg(kind, path)
        .arg(width)
        .arg(height);
}

QString noMemory(const QString& kind, const QString& path, qint64 width, qint64 height)
{
    return QStringLiteral("Not enough memory for the %1 image %2 (%3 x %4 pixels).")
        .arg(kind, path)
        .arg(width)
        .arg(height);
}

// x / 255 rounded, for 0 <= x <= 255 * 255.
inline int div255(int x)
{
    x += 128;
    return (x + (x >> 8)) >> 8;
}

// A new page-sized picture to decode into. Touching a freshly mapped 140 MB buffer one
// 4 KiB page at a time costs more than decoding a scanned page into it; where the system
// offers transparent huge pages on request, the buffer asks for them.
QImage newPage(int width, int height)
{
#ifdef MADV_HUGEPAGE
    constexpr size_t hugePage = size_t(2) << 20;
    const qsizetype bytesPerLine = qsizetype(width) * 4;
    const size_t bytes = size_t(bytesPerLine) * size_t(height);
    if (bytes >= 4 * hugePage) {
        const size_t rounded = (bytes + hugePage - 1) / hugePage * hugePage;
        if (void* memory = std::aligned_alloc(hugePage, rounded)) {
            madvise(memory, rounded, MADV_HUGEPAGE);
            QImage image(
                static_cast<uchar*>(memory), width, height, bytesPerLine, QImage::Format_RGB32,
                [](void* block) { std::free(block); }, memory);
            if (!image.isNull())
                return image;
            std::free(memory);
        }
    }
#endif
    return QImage(width, height, QImage::Format_RGB32);
}

// ---------------------------------------------------------------------------------------
// JPEG

// libjpeg reports a fatal error by calling error_exit, which must not return: ours jumps
// back to the decoder with the library's message instead of ending the process.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void jpegErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void jpegFailWith(j_common_ptr cinfo, const char* text)
{
    auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    std::snprintf(err->message, sizeof err->message, "%s", text);
    std::longjmp(err->jump, 1);
}

// Warnings are not fatal to libjpeg, which pads a file that ends early with grey. A page
// cut short is a broken page here, so the end-of-data warning becomes an error; other
// warnings (stray bytes between markers and the like) still give a usable picture.
void jpegEmitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return; // trace messages
    if (cinfo->err->msg_code == JWRN_JPEG_EOF)
        jpegErrorExit(cinfo);
    cinfo->err->num_warnings++;
}

// Called between rows and scans: a progressive file with an absurd number of scans would
// keep the decoder busy for a very long time, so it is refused.
void jpegProgress(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor)
        return;
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number > maxJpegScans)
        jpegFailWith(cinfo, "The progressive JPEG has too many scans");
}

// Converts a row of CMYK samples, decoded in place into a Format_RGB32 row, to RGB. Files
// with an Adobe marker (as Photoshop and ImageMagick write them) store the inks inverted:
// 255 means no ink.
void cmykRowToRgb(uchar* row, int width, bool inverted)
{
    auto* out = reinterpret_cast<QRgb*>(row);
    for (int x = 0; x < width; ++x) {
        const uchar* p = row + 4 * x;
        int c = p[0], m = p[1], y = p[2], k = p[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[x] = qRgb(div255(c * k), div255(m * k), div255(y * k));
    }
}

class JpegDecoder {
public:
    JpegDecoder()
    {
        std::memset(&m_info, 0, sizeof m_info);
        std::memset(&m_err, 0, sizeof m_err);
        std::memset(&m_progress, 0, sizeof m_progress);
    }
    ~JpegDecoder() { jpeg_destroy_decompress(&m_info); }
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    QString message() const { return QString::fromLocal8Bit(m_err.message); }
    int width() const { return int(m_info.output_width); }
    int height() const { return int(m_info.output_height); }

    // Reads the header and sets up the output; false with message() on a broken file.
    bool readHeader(const uchar* data, size_t size)
    {
        m_info.err = jpeg_std_error(&m_err.pub);
        m_err.pub.error_exit = jpegErrorExit;
        m_err.pub.emit_message = jpegEmitMessage;
        if (setjmp(m_err.jump))
            return false;
        jpeg_create_decompress(&m_info);
        // No backing store here: a file whose working buffers would exceed this fails
        // with an error instead of exhausting the memory.
        m_info.mem->max_memory_to_use = long(maxDecodedBytes);
        m_progress.progress_monitor = jpegProgress;
        m_info.progress = &m_progress;
        jpeg_mem_src(&m_info, data, static_cast<unsigned long>(size));
        jpeg_read_header(&m_info, TRUE);

        m_cmyk = m_info.jpeg_color_space == JCS_CMYK || m_info.jpeg_color_space == JCS_YCCK;
        m_inverted = m_cmyk && m_info.saw_Adobe_marker;
        if (m_cmyk)
            m_info.out_color_space = JCS_CMYK;
        else
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
            m_info.out_color_space = JCS_EXT_BGRX; // QRgb 0xffRRGGBB in memory order
#else
            m_info.out_color_space = JCS_EXT_XRGB;
#endif
        jpeg_calc_output_dimensions(&m_info);
        return true;
    }

    // Decodes every row into the image's rows; false with message() on a broken file.
    bool readRows(QImage* image)
    {
        if (setjmp(m_err.jump))
            return false;
        jpeg_start_decompress(&m_info);
        if (m_info.output_width != unsigned(image->width()) ||
            m_info.output_height != unsigned(image->height()) || m_info.output_components != 4)
            jpegFailWith(reinterpret_cast<j_common_ptr>(&m_info), "Unexpected JPEG output layout");
        while (m_info.output_scanline < m_info.output_height) {
            const unsigned first = m_info.output_scanline;
            JSAMPROW rows[16];
            const unsigned want =
                std::min<unsigned>({unsigned(std::max(m_info.rec_outbuf_height, 1)), 16u,
                                    m_info.output_height - first});
            for (unsigned i = 0; i < want; ++i)
                rows[i] = image->scanLine(int(first + i));
            const unsigned got = jpeg_read_scanlines(&m_info, rows, want);
            if (got == 0)
                jpegFailWith(reinterpret_cast<j_common_ptr>(&m_info),
                             "The JPEG data stopped early");
            if (m_cmyk)
                for (unsigned i = 0; i < got; ++i)
                    cmykRowToRgb(rows[i], image->width(), m_inverted);
        }
        jpeg_finish_decompress(&m_info);
        return true;
    }

private:
    jpeg_decompress_struct m_info;
    JpegErrorManager m_err;
    jpeg_progress_mgr m_progress;
    bool m_cmyk = false;
    bool m_inverted = false;
};

// ---------------------------------------------------------------------------------------
// GIF

QString gifMessage(int code)
{
    const char* text = GifErrorString(code);
    return text ? QString::fromLatin1(text) : QStringLiteral("GIF error %1").arg(code);
}

struct GifCloser {
    GifFileType* gif;
    ~GifCloser()
    {
        int err = 0;
        DGifCloseFile(gif, &err);
    }
};

// ---------------------------------------------------------------------------------------
// BMP

quint32 littleEndian(const QByteArray& bytes, int at, int size)
{
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | uchar(bytes.at(at + i));
    return value;
}

// Qt's reader fills the missing rows of an uncompressed bitmap that ends early and still
// reports success; such a page is cut short, so the file's length is checked against its
// header first. Compressed bitmaps (RLE) have no fixed length and are left to the reader.
bool bmpCutShort(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(34);
    if (head.size() < 34 || !head.startsWith("BM") || littleEndian(head, 14, 4) < 40)
        return false;
    const quint32 compression = littleEndian(head, 30, 4);
    if (compression != 0 && compression != 3) // BI_RGB, BI_BITFIELDS
        return false;
    const qint64 offset = littleEndian(head, 10, 4);
    const qint64 width = qint32(littleEndian(head, 18, 4));
    const qint64 height = qAbs(qint64(qint32(littleEndian(head, 22, 4))));
    const qint64 bits = littleEndian(head, 28, 2);
    if (width <= 0 || height <= 0 || bits <= 0)
        return false;
    const qint64 rowBytes = (width * bits + 31) / 32 * 4;
    return file.size() < offset + rowBytes * height;
}

// ---------------------------------------------------------------------------------------
// Shared

// Every page leaves here as Format_RGB32; anything see-through is shown over white.
QImage toPage(QImage image)
{
    if (image.format() == QImage::Format_RGB32)
        return image;
    if (!image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_RGB32);
    QImage page(image.size(), QImage::Format_RGB32);
    if (page.isNull())
        return page;
    page.fill(Qt::white);
    QPainter painter(&page);
    painter.drawImage(0, 0, image);
    return page;
}

} // namespace

bool sizeAllowed(qint64 width, qint64 height)
{
    return width > 0 && height > 0 && width <= maxDecodedBytes / 4 &&
           width * height * 4 <= maxDecodedBytes;
}

QImage loadJpeg(const QString& path, QString* error)
{
    const QString kind = QStringLiteral("JPEG");
    if (!checkFile(path, kind, error))
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(
            error,
            QStringLiteral("The JPEG image %1 cannot be opened: %2").arg(path, file.errorString()));
    // Read into memory rather than mapped: a mapped file that another program shortens
    // while it is decoded would end the process.
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty())
        return fail(
            error,
            QStringLiteral("The JPEG image %1 cannot be read: %2").arg(path, file.errorString()));
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    const auto size = size_t(bytes.size());

    JpegDecoder decoder;
    if (!decoder.readHeader(data, size))
        return fail(
            error,
            QStringLiteral("Cannot read the JPEG image %1: %2").arg(path, decoder.message()));
    if (!sizeAllowed(decoder.width(), decoder.height()))
        return fail(error, tooLarge(kind, path, decoder.width(), decoder.height()));
    QImage image = newPage(decoder.width(), decoder.height());
    if (image.isNull())
        return fail(error, noMemory(kind, path, decoder.width(), decoder.height()));
    if (!decoder.readRows(&image))
        return fail(
            error,
            QStringLiteral("Cannot read the JPEG image %1: %2").arg(path, decoder.message()));
    return image;
}

QImage loadGif(const QString& path, QString* error)
{
    const QString kind = QStringLiteral("GIF");
    if (!checkFile(path, kind, error))
        return {};
    int err = 0;
    GifFileType* gif = DGifOpenFileName(QFile::encodeName(path).constData(), &err);
    if (!gif)
        return fail(error,
                    QStringLiteral("Cannot read the GIF image %1: %2").arg(path, gifMessage(err)));
    const GifCloser closer{gif};
    if (gif->SWidth > 0 && gif->SHeight > 0 && !sizeAllowed(gif->SWidth, gif->SHeight))
        return fail(error, tooLarge(kind, path, gif->SWidth, gif->SHeight));
    // DGifSlurp puts the rows of an interlaced frame back into top-to-bottom order.
    if (DGifSlurp(gif) != GIF_OK)
        return fail(
            error,
            QStringLiteral("Cannot read the GIF image %1: %2").arg(path, gifMessage(gif->Error)));
    if (gif->ImageCount < 1 || !gif->SavedImages[0].RasterBits)
        return fail(error, QStringLiteral("The GIF image %1 holds no picture.").arg(path));

    // A page is a still picture: the first frame, placed on the logical screen.
    const SavedImage& frame = gif->SavedImages[0];
    const GifImageDesc& desc = frame.ImageDesc;
    qint64 width = gif->SWidth;
    qint64 height = gif->SHeight;
    if (width <= 0 || height <= 0) {
        width = qint64(desc.Left) + desc.Width;
        height = qint64(desc.Top) + desc.Height;
    }
    if (!sizeAllowed(width, height))
        return fail(error, tooLarge(kind, path, width, height));

    // Colours by index; indexes beyond the colour table show black, the transparent one
    // (from the frame's Graphics Control Extension) shows the white paper.
    QRgb colours[256];
    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    for (int i = 0; i < 256; ++i) {
        if (map && i < map->ColorCount)
            colours[i] = qRgb(map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue);
        else if (!map)
            colours[i] = qRgb(i, i, i);
        else
            colours[i] = qRgb(0, 0, 0);
    }
    GraphicsControlBlock gcb;
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    DGifSavedExtensionToGCB(gif, 0, &gcb);
    if (gcb.TransparentColor >= 0 && gcb.TransparentColor < 256)
        colours[gcb.TransparentColor] = qRgb(255, 255, 255);

    QImage image = newPage(int(width), int(height));
    if (image.isNull())
        return fail(error, noMemory(kind, path, width, height));
    image.fill(Qt::white);
    const int x0 = std::max(desc.Left, 0);
    const int x1 = int(std::min<qint64>(qint64(desc.Left) + desc.Width, width));
    const int y0 = std::max(desc.Top, 0);
    const int y1 = int(std::min<qint64>(qint64(desc.Top) + desc.Height, height));
    for (int y = y0; y < y1; ++y) {
        const GifByteType* src =
            frame.RasterBits + qint64(y - desc.Top) * desc.Width + (x0 - desc.Left);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = x0; x < x1; ++x)
            out[x] = colours[*src++];
    }
    return image;
}

QImage loadBmp(const QString& path, QString* error)
{
    const QString kind = QStringLiteral("BMP");
    if (!checkFile(path, kind, error))
        return {};
    QImageReader reader(path, "bmp");
    // Only the BMP reader: a file of another kind named .bmp is an error, as for the
    // other decoders. Qt's default limit (128 MB) refuses large scanned pages.
    reader.setAutoDetectImageFormat(false);
    reader.setAllocationLimit(int(maxDecodedBytes >> 20));
    const QSize size = reader.size();
    if (size.isValid() && !sizeAllowed(size.width(), size.height()))
        return fail(error, tooLarge(kind, path, size.width(), size.height()));
    if (size.isValid() && bmpCutShort(path))
        return fail(
            error,
            QStringLiteral("Cannot read the BMP image %1: the file is cut short.").arg(path));
    QImage image = reader.read();
    if (image.isNull())
        return fail(
            error,
            QStringLiteral("Cannot read the BMP image %1: %2").arg(path, reader.errorString()));
    image = toPage(std::move(image));
    if (image.isNull())
        return fail(error, noMemory(kind, path, size.width(), size.height()));
    return image;
}

QImage load(const QString& path, QString* error)
{
    const QString ext = paths::extension(path).toLower();
    if (ext == QLatin1String(".jpg") || ext == QLatin1String(".jpeg"))
        return loadJpeg(path, error);
    if (ext == QLatin1String(".gif"))
        return loadGif(path, error);
    if (ext == QLatin1String(".bmp"))
        return loadBmp(path, error);
    return fail(error, QStringLiteral("The page image %1 is not a JPEG, GIF or BMP file "
                                      "(unknown extension \"%2\").")
                           .arg(path, ext));
}

} // namespace pageimage
