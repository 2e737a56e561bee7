// The bar finder over any page: a page image decoded as the project loader decodes it
// (GIF, JPEG or BMP, told apart by their first bytes), or, for any other input, the bytes
// themselves as the grey levels of a small page (its width from the first two bytes), so
// that the fuzzer shapes staff lines and strokes directly. Pages are capped well below the
// program's page cap so that each input stays quick under the sanitizers.
#include "bars/barfinder.h"
#include "bars/playingorder.h"
#include "fuzzinput.h"
#include "project/pageimage.h"

namespace {

using fuzzinput::require;

constexpr qint64 kMaxBytes = qint64(8) << 20;

QImage pageOf(const QByteArray& input)
{
    const QString name = QStringLiteral("page");
    if (input.startsWith("GIF8"))
        return pageimage::decodeGif(input, name, nullptr, kMaxBytes);
    if (input.startsWith("\xff\xd8"))
        return pageimage::decodeJpeg(input, name, nullptr, kMaxBytes);
    if (input.startsWith("BM"))
        return pageimage::decodeBmp(input, name, nullptr, kMaxBytes);
    if (input.size() < 3)
        return QImage();
    const int width = 1 + (uchar(input[0]) | (uchar(input[1]) << 8)) % 2048;
    const int height = int((input.size() - 2) / width);
    if (height < 1)
        return QImage();
    QImage grey(width, height, QImage::Format_Grayscale8);
    for (int y = 0; y < height; ++y)
        memcpy(grey.scanLine(y), input.constData() + 2 + qsizetype(y) * width, size_t(width));
    return grey;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QImage page = pageOf(fuzzinput::bytes(data, size));
    const bars::PageBars found = bars::findBars(page);
    require(!found.cancelled);
    for (const bars::Bar& bar : found.bars) {
        require(bar.system >= 0 && bar.system < found.systems.size());
        require(bar.ending >= 0 && bar.ending <= 2);
    }
    for (int i = 1; i < found.bars.size(); ++i)
        require(found.bars[i].system >= found.bars[i - 1].system);
    const QList<int> order = bars::playingOrder(found.bars);
    require(order.size() <= 2 * found.bars.size());
    return 0;
}
