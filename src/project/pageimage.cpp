#include "project/pageimage.h"

#include "platform/paths.h"

#include <QImageReader>

// Temporary: Qt's readers until the library decoders land.
namespace pageimage {

namespace {
QImage viaQt(const QString& path, const char* format, QString* error)
{
    QImageReader reader(path, format);
    reader.setAllocationLimit(1024);
    QImage img = reader.read();
    if (img.isNull() && error)
        *error = reader.errorString();
    return img;
}
} // namespace

QImage loadJpeg(const QString& path, QString* error) { return viaQt(path, "jpg", error); }
QImage loadGif(const QString& path, QString* error) { return viaQt(path, "gif", error); }
QImage loadBmp(const QString& path, QString* error) { return viaQt(path, "bmp", error); }

QImage load(const QString& path, QString* error)
{
    const QString ext = paths::extension(path).toLower();
    if (ext == QLatin1String(".jpg") || ext == QLatin1String(".jpeg"))
        return loadJpeg(path, error);
    if (ext == QLatin1String(".gif"))
        return loadGif(path, error);
    if (ext == QLatin1String(".bmp"))
        return loadBmp(path, error);
    if (error)
        *error = QStringLiteral("Unknown picture file extension (%1)").arg(ext);
    return {};
}

} // namespace pageimage
