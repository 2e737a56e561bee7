// The GIF page decoder (giflib), read record by record: a page is the first frame, so
// nothing after it is read, and the logical screen and the frame are checked against the
// page cap before any of their pixels is decoded or any buffer for them is allocated.
#include "project/pageimage.h"
#include "project/pageimage_p.h"

#include <QBuffer>
#include <QIODevice>

#include <algorithm>
#include <vector>

#include <gif_lib.h>

namespace pageimage {

using namespace detail;

namespace {

// What a giflib error code means for the person who opens the file.
QString gifProblem(int code)
{
    switch (code) {
    case D_GIF_ERR_READ_FAILED:
    case D_GIF_ERR_EOF_TOO_SOON:
        return QStringLiteral("the file is cut short");
    case D_GIF_ERR_NO_SCRN_DSCR:
        return QStringLiteral("the file is cut short within its header");
    case D_GIF_ERR_NO_IMAG_DSCR:
        return QStringLiteral("the file is cut short within the header of its picture");
    case D_GIF_ERR_NOT_GIF_FILE:
        return QStringLiteral("the file is not a GIF picture");
    case D_GIF_ERR_NO_COLOR_MAP:
        return QStringLiteral("the picture's colour table is damaged");
    case D_GIF_ERR_WRONG_RECORD:
        return QStringLiteral("the file holds data of an unknown kind where a picture should "
                              "begin (it is damaged)");
    case D_GIF_ERR_DATA_TOO_BIG:
        return QStringLiteral("the picture holds more pixels than its size allows (it is "
                              "damaged)");
    case D_GIF_ERR_NOT_ENOUGH_MEM:
        return QStringLiteral("there is not enough memory to read it");
    case D_GIF_ERR_OPEN_FAILED:
    case D_GIF_ERR_NOT_READABLE:
        return QStringLiteral("the file cannot be read");
    default: // D_GIF_ERR_IMAGE_DEFECT, and refusals without a code
        return QStringLiteral("the picture data is damaged");
    }
}

QImage cannotRead(QString* error, const QString& name, const QString& why)
{
    return fail(error, QStringLiteral("Cannot read the GIF image %1: %2.").arg(name, why));
}

// giflib's input function: reads from the QIODevice given to DGifOpen.
int readDevice(GifFileType* gif, GifByteType* buffer, int size)
{
    const qint64 got =
        static_cast<QIODevice*>(gif->UserData)->read(reinterpret_cast<char*>(buffer), size);
    return got < 0 ? 0 : int(got);
}

struct GifCloser {
    GifFileType* gif;
    ~GifCloser()
    {
        int err = 0;
        DGifCloseFile(gif, &err);
    }
};

// Colours by index; indexes beyond the colour table show black, the transparent one (from
// the Graphics Control Extension before the frame) shows the white paper. Without any
// colour table the indexes are shades of grey.
void colourTable(const ColorMapObject* map, int transparent, QRgb (&colours)[256])
{
    for (int i = 0; i < 256; ++i) {
        if (map && i < map->ColorCount)
            colours[i] = qRgb(map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue);
        else if (!map)
            colours[i] = qRgb(i, i, i);
        else
            colours[i] = qRgb(0, 0, 0);
    }
    if (transparent >= 0 && transparent < 256)
        colours[transparent] = qRgb(255, 255, 255);
}

// Decodes the frame whose descriptor was just read and places it on the logical screen.
QImage decodeFrame(GifFileType* gif, int transparent, const QString& name, QString* error,
                   qint64 maxBytes)
{
    const QString kind = QStringLiteral("GIF");
    const GifImageDesc& desc = gif->Image;
    if (desc.Width <= 0 || desc.Height <= 0)
        return cannotRead(error, name,
                          QStringLiteral("its picture has no width or height (%1 x %2 pixels)")
                              .arg(desc.Width)
                              .arg(desc.Height));
    if (!sizeAllowed(desc.Width, desc.Height, maxBytes))
        return fail(error, tooLarge(kind, name, desc.Width, desc.Height));
    qint64 width = gif->SWidth;
    qint64 height = gif->SHeight;
    if (width <= 0 || height <= 0) {
        width = qint64(desc.Left) + desc.Width;
        height = qint64(desc.Top) + desc.Height;
    }
    if (!sizeAllowed(width, height, maxBytes))
        return fail(error, tooLarge(kind, name, width, height));

    QRgb colours[256];
    colourTable(desc.ColorMap ? desc.ColorMap : gif->SColorMap, transparent, colours);

    QImage image = newPage(int(width), int(height));
    if (image.isNull())
        return fail(error, noMemory(kind, name, width, height));
    image.fill(Qt::white);
    const int x0 = std::max(desc.Left, 0);
    const int x1 = int(std::min<qint64>(qint64(desc.Left) + desc.Width, width));
    std::vector<GifPixelType> row(size_t(desc.Width));

    // An interlaced frame stores its rows in four passes: every 8th row from row 0, every
    // 8th from row 4, every 4th from row 2, then every 2nd from row 1.
    static constexpr int passStart[4] = {0, 4, 2, 1};
    static constexpr int passStep[4] = {8, 8, 4, 2};
    const int passes = desc.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const int start = desc.Interlace ? passStart[pass] : 0;
        const int step = desc.Interlace ? passStep[pass] : 1;
        for (int r = start; r < desc.Height; r += step) {
            if (DGifGetLine(gif, row.data(), desc.Width) == GIF_ERROR)
                return cannotRead(error, name, gifProblem(gif->Error));
            const qint64 y = qint64(desc.Top) + r;
            if (y < 0 || y >= height)
                continue;
            const GifPixelType* src = row.data() + (x0 - desc.Left);
            auto* out = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
            for (int x = x0; x < x1; ++x)
                out[x] = colours[*src++];
        }
    }
    return image;
}

} // namespace

namespace detail {

QImage decodeGifFrom(QIODevice& device, const QString& name, QString* error, qint64 maxBytes)
{
    int err = 0;
    GifFileType* gif = DGifOpen(&device, readDevice, &err);
    if (!gif)
        return cannotRead(error, name, gifProblem(err));
    const GifCloser closer{gif};
    if (gif->SWidth > 0 && gif->SHeight > 0 && !sizeAllowed(gif->SWidth, gif->SHeight, maxBytes))
        return fail(error, tooLarge(QStringLiteral("GIF"), name, gif->SWidth, gif->SHeight));

    int transparent = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR)
            return cannotRead(error, name, gifProblem(gif->Error));
        if (type == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif) == GIF_ERROR)
                return cannotRead(error, name, gifProblem(gif->Error));
            return decodeFrame(gif, transparent, name, error, maxBytes);
        }
        if (type == TERMINATE_RECORD_TYPE)
            return fail(error, QStringLiteral("The GIF image %1 holds no picture.").arg(name));
        if (type != EXTENSION_RECORD_TYPE)
            return cannotRead(error, name, gifProblem(D_GIF_ERR_WRONG_RECORD));
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
            return cannotRead(error, name, gifProblem(gif->Error));
        // The first block of an extension starts with its length.
        if (code == GRAPHICS_EXT_FUNC_CODE && block) {
            GraphicsControlBlock gcb;
            if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK)
                transparent = gcb.TransparentColor;
        }
        while (block)
            if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
                return cannotRead(error, name, gifProblem(gif->Error));
    }
}

} // namespace detail

QImage decodeGif(const QByteArray& bytes, const QString& name, QString* error, qint64 maxBytes)
{
    if (bytes.isEmpty())
        return fail(error, QStringLiteral("The GIF image %1 is an empty file.").arg(name));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return decodeGifFrom(buffer, name, error, maxBytes);
}

} // namespace pageimage
