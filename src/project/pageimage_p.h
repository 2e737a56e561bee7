#pragma once

#include <QImage>
#include <QString>
#include <QtGlobal>

class QIODevice;

// What the page decoders share; not for use outside them.
namespace pageimage::detail {

// Sets *error (when given) and returns a null image.
QImage fail(QString* error, const QString& text);

// "The <kind> image <name> is too large to show (w x h pixels)."
QString tooLarge(const QString& kind, const QString& name, qint64 width, qint64 height);
// "Not enough memory for the <kind> image <name> (w x h pixels)."
QString noMemory(const QString& kind, const QString& name, qint64 width, qint64 height);

// A new, uninitialised Format_RGB32 picture to decode into (null when memory is short).
QImage newPage(int width, int height);

// x / 255 rounded, for 0 <= x <= 255 * 255.
inline int div255(int x)
{
    x += 128;
    return (x + (x >> 8)) >> 8;
}

// Decodes the first frame of the GIF read from device (already open for reading).
QImage decodeGifFrom(QIODevice& device, const QString& name, QString* error, qint64 maxBytes);

} // namespace pageimage::detail
