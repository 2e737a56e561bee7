// Page images: the checks every decoder shares, the BMP decoder (Qt's reader) and the
// choice of decoder. The JPEG and GIF decoders are in pageimage_jpeg.cpp and
// pageimage_gif.cpp.
#include "project/pageimage.h"
#include "project/pageimage_p.h"

#include "platform/paths.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <cstdlib>

#include <sys/mman.h>

namespace pageimage {

namespace detail {

QImage fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return {};
}

QString tooLarge(const QString& kind, const QString& name, qint64 width, qint64 height)
{
    return QStringLiteral("The %1 image %2 is too large to show (%3 x %4 pixels).")
        .arg(kind, name)
        .arg(width)
        .arg(height);
}

QString noMemory(const QString& kind, const QString& name, qint64 width, qint64 height)
{
    return QStringLiteral("Not enough memory for the %1 image %2 (%3 x %4 pixels).")
        .arg(kind, name)
        .arg(width)
        .arg(height);
}

// Touching a freshly mapped 140 MB buffer one 4 KiB page at a time costs more than
// decoding a scanned page into it; where the system offers transparent huge pages on
// request, the buffer asks for them.
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

} // namespace detail

using namespace detail;

namespace {

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

QImage cannotOpen(const QString& kind, const QString& path, const QFile& file, QString* error)
{
    return fail(
        error,
        QStringLiteral("The %1 image %2 cannot be opened: %3").arg(kind, path, file.errorString()));
}

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
bool bmpCutShort(QIODevice& device)
{
    const QByteArray head = device.peek(34);
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
    // Sizes no file can hold are cut short too (and are refused as too large first).
    const qint64 rowBytes = (width * std::min<qint64>(bits, 64) + 31) / 32 * 4;
    qint64 pixelBytes = 0;
    if (__builtin_mul_overflow(rowBytes, height, &pixelBytes))
        return true;
    return device.size() - offset < pixelBytes;
}

QImage decodeBmpFrom(QIODevice& device, const QString& name, QString* error, qint64 maxBytes)
{
    const QString kind = QStringLiteral("BMP");
    // Read from the header before the reader moves on from it.
    const bool cutShort = bmpCutShort(device);
    QImageReader reader(&device, "bmp");
    // Only the BMP reader: a file of another kind named .bmp is an error, as for the
    // other decoders. Qt's default limit (128 MB) refuses large scanned pages.
    reader.setAutoDetectImageFormat(false);
    reader.setAllocationLimit(int(std::max<qint64>(maxBytes >> 20, 1)));
    const QSize size = reader.size();
    if (size.isValid() && !sizeAllowed(size.width(), size.height(), maxBytes))
        return fail(error, tooLarge(kind, name, size.width(), size.height()));
    if (size.isValid() && cutShort)
        return fail(
            error,
            QStringLiteral("Cannot read the BMP image %1: the file is cut short.").arg(name));
    QImage image = reader.read();
    if (image.isNull())
        return fail(
            error,
            QStringLiteral("Cannot read the BMP image %1: %2").arg(name, reader.errorString()));
    image = onWhite(std::move(image));
    if (image.isNull())
        return fail(error, noMemory(kind, name, size.width(), size.height()));
    return image;
}

} // namespace

bool sizeAllowed(qint64 width, qint64 height, qint64 maxBytes)
{
    return width > 0 && height > 0 && width <= maxBytes / 4 && width * height * 4 <= maxBytes;
}

QImage loadJpeg(const QString& path, QString* error, qint64 maxBytes)
{
    const QString kind = QStringLiteral("JPEG");
    if (!checkFile(path, kind, error))
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return cannotOpen(kind, path, file, error);
    // Read into memory rather than mapped: a mapped file that another program shortens
    // while it is decoded would end the process.
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty())
        return fail(
            error,
            QStringLiteral("The JPEG image %1 cannot be read: %2").arg(path, file.errorString()));
    return decodeJpeg(bytes, path, error, maxBytes);
}

QImage loadGif(const QString& path, QString* error, qint64 maxBytes)
{
    const QString kind = QStringLiteral("GIF");
    if (!checkFile(path, kind, error))
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return cannotOpen(kind, path, file, error);
    return decodeGifFrom(file, path, error, maxBytes);
}

QImage loadBmp(const QString& path, QString* error, qint64 maxBytes)
{
    const QString kind = QStringLiteral("BMP");
    if (!checkFile(path, kind, error))
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return cannotOpen(kind, path, file, error);
    return decodeBmpFrom(file, path, error, maxBytes);
}

QImage decodeBmp(const QByteArray& bytes, const QString& name, QString* error, qint64 maxBytes)
{
    if (bytes.isEmpty())
        return fail(error, QStringLiteral("The BMP image %1 is an empty file.").arg(name));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return decodeBmpFrom(buffer, name, error, maxBytes);
}

QImage load(const QString& path, QString* error, qint64 maxBytes)
{
    const QString ext = paths::extension(path).toLower();
    if (ext == QLatin1String(".jpg") || ext == QLatin1String(".jpeg"))
        return loadJpeg(path, error, maxBytes);
    if (ext == QLatin1String(".gif"))
        return loadGif(path, error, maxBytes);
    if (ext == QLatin1String(".bmp"))
        return loadBmp(path, error, maxBytes);
    return fail(error, QStringLiteral("The page image %1 is not a JPEG, GIF or BMP file "
                                      "(unknown extension \"%2\").")
                           .arg(path, ext));
}

QImage onWhite(QImage image)
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

} // namespace pageimage
