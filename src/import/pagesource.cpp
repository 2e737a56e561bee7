#include "import/pagesource.h"

#include "platform/paths.h"
#include "project/pageimage.h"

#include <QFileInfo>
#include <QImageReader>
#include <QVariant>

#include <poppler-qt6.h>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace scoreimport {

namespace {

// poppler reports every oddity of a damaged file on the error output; the import gives
// its own message instead.
void quietPoppler(const QString&, const QVariant&) {}

QString quoted(const QString& path)
{
    return QLatin1Char('"') + QFileInfo(path).fileName() + QLatin1Char('"');
}

static_assert(Budget{}.pagePixels == PageLimits::maxPixels);
static_assert(Budget{}.pictureBytes == pageimage::maxDecodedBytes);

bool fits(qint64 width, qint64 height, qint64 pixels)
{
    return width <= PageLimits::maxSide && height <= PageLimits::maxSide &&
           width * height <= pixels;
}

// ---------------------------------------------------------------------------------------

class PdfSource : public PageSource {
public:
    PdfSource(std::unique_ptr<Poppler::Document> document, const QString& path, qint64 pixels)
        : m_document(std::move(document))
        , m_name(quoted(path))
        , m_pixels(pixels)
    {
        m_document->setPaperColor(Qt::white);
        m_document->setRenderHint(Poppler::Document::Antialiasing, true);
        m_document->setRenderHint(Poppler::Document::TextAntialiasing, true);
    }

    int count() const override { return m_document->numPages(); }
    bool numbered() const override { return true; }

    QImage page(int index, QString* error) override
    {
        const std::unique_ptr<Poppler::Page> page = m_document->page(index);
        const double dpi = page ? PageLimits::dpiFor(page->pageSizeF(), m_pixels) : 0.0;
        QImage image = dpi > 0 ? page->renderToImage(dpi, dpi) : QImage();
        if (image.isNull()) {
            *error = QStringLiteral("Page %1 of %2 cannot be drawn; the file may be damaged.")
                         .arg(index + 1)
                         .arg(m_name);
            return {};
        }
        return pageimage::onWhite(std::move(image));
    }

private:
    std::unique_ptr<Poppler::Document> m_document;
    QString m_name;
    qint64 m_pixels;
};

std::unique_ptr<PageSource> openPdf(const QString& path, QString* error, qint64 pixels)
{
    static std::once_flag quiet;
    std::call_once(quiet, [] { Poppler::setDebugErrorFunction(quietPoppler, QVariant()); });
    std::unique_ptr<Poppler::Document> document = Poppler::Document::load(path);
    if (!document) {
        *error = QStringLiteral("%1 cannot be read as a PDF file; it may be damaged or incomplete.")
                     .arg(quoted(path));
        return {};
    }
    if (document->isLocked()) {
        *error = QStringLiteral("%1 is locked with a password, so its pages cannot be read. "
                                "Save the score as a PDF without a password and add that file.")
                     .arg(quoted(path));
        return {};
    }
    if (document->numPages() < 1) {
        *error = QStringLiteral("%1 holds no pages.").arg(quoted(path));
        return {};
    }
    return std::make_unique<PdfSource>(std::move(document), path, pixels);
}

// ---------------------------------------------------------------------------------------

class ImageSource : public PageSource {
public:
    ImageSource(const QString& path, const QByteArray& format, const Budget& budget)
        : m_reader(path, format)
        , m_name(quoted(path))
        , m_budget(budget)
    {
        // Qt's default limit (128 MB) refuses a 16-bit colour scan of an A4 page.
        m_reader.setAllocationLimit(int(std::max<qint64>(budget.pictureBytes >> 20, 1)));
    }

    // Reads the header; false with *error when the file is not a picture Qt can read.
    bool check(QString* error)
    {
        // The frame count first: Qt's TIFF reader counts from wherever the file was left.
        m_count = std::max(m_reader.imageCount(), 1);
        const QSize size = m_reader.size();
        if (!size.isValid()) {
            *error = QStringLiteral("%1 cannot be read as an image: %2")
                         .arg(m_name, m_reader.errorString());
            return false;
        }
        if (!pageimage::sizeAllowed(size.width(), size.height(), m_budget.pictureBytes)) {
            *error = tooLarge(size);
            return false;
        }
        return true;
    }

    int count() const override { return m_count; }
    bool numbered() const override { return m_count > 1; }

    QImage page(int index, QString* error) override
    {
        // Qt's TIFF reader stays on the frame it read: every frame is asked for by number.
        if (m_count > 1 && !m_reader.jumpToImage(index)) {
            *error = QStringLiteral("Page %1 of %2 cannot be found in the file.")
                         .arg(index + 1)
                         .arg(m_name);
            return {};
        }
        QImage image = m_reader.read();
        if (image.isNull()) {
            *error = m_count > 1 ? QStringLiteral("Page %1 of %2 cannot be read: %3")
                                       .arg(index + 1)
                                       .arg(m_name, m_reader.errorString())
                                 : QStringLiteral("%1 cannot be read as an image: %2")
                                       .arg(m_name, m_reader.errorString());
            return {};
        }
        if (!pageimage::sizeAllowed(image.width(), image.height(), m_budget.pictureBytes)) {
            *error = tooLarge(image.size());
            return {};
        }
        const QSize size = PageLimits::fitted(image.size(), m_budget.pagePixels);
        if (size != image.size())
            image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        image = pageimage::onWhite(std::move(image));
        if (image.isNull())
            *error = QStringLiteral("There is not enough memory to convert %1.").arg(m_name);
        return image;
    }

private:
    QString tooLarge(const QSize& size) const
    {
        return QStringLiteral("%1 is too large to convert (%2 x %3 pixels).")
            .arg(m_name)
            .arg(size.width())
            .arg(size.height());
    }

    QImageReader m_reader;
    QString m_name;
    Budget m_budget;
    int m_count = 1;
};

} // namespace

double PageLimits::dpiFor(const QSizeF& points, qint64 pixels)
{
    const double w = points.width();
    const double h = points.height();
    if (!std::isfinite(w) || !std::isfinite(h) || w <= 0 || h <= 0)
        return 0.0;
    double dpi = std::min(
        {renderDpi, 72.0 * std::sqrt(double(pixels) / (w * h)), 72.0 * maxSide / std::max(w, h)});
    // poppler rounds each side up to whole pixels.
    while (dpi > 0.01 &&
           !fits(qint64(std::ceil(w * dpi / 72.0)), qint64(std::ceil(h * dpi / 72.0)), pixels))
        dpi *= 0.999;
    return dpi > 0.01 ? dpi : 0.0;
}

QSize PageLimits::fitted(const QSize& size, qint64 pixels)
{
    if (fits(size.width(), size.height(), pixels))
        return size;
    const double scale =
        std::min(std::sqrt(double(pixels) / (double(size.width()) * size.height())),
                 double(maxSide) / std::max(size.width(), size.height()));
    const int w = std::max(1, int(size.width() * scale));
    const int h = std::max(1, int(size.height() * scale));
    return {w, h};
}

std::unique_ptr<PageSource> PageSource::open(const QString& path, QString* error,
                                             const Budget& budget)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        *error = QStringLiteral("The file %1 does not exist.").arg(path);
        return {};
    }
    if (info.size() == 0) {
        *error = QStringLiteral("%1 is an empty file.").arg(quoted(path));
        return {};
    }
    const QString ext = paths::extension(path).toLower();
    if (ext == QLatin1String(".pdf"))
        return openPdf(path, error, budget.pagePixels);
    QByteArray format;
    if (ext == QLatin1String(".png"))
        format = "png";
    else if (ext == QLatin1String(".tif") || ext == QLatin1String(".tiff"))
        format = "tiff";
    if (format.isEmpty()) {
        *error = QStringLiteral("%1 is not a PDF, PNG or TIFF file.").arg(quoted(path));
        return {};
    }
    auto source = std::make_unique<ImageSource>(path, format, budget);
    if (!source->check(error))
        return {};
    return source;
}

} // namespace scoreimport
