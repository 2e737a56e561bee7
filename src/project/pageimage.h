#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QtGlobal>

// Notes page images. The decoder is chosen by the file name's extension, letter case
// ignored: "jpg"/"jpeg" (libjpeg-turbo), "gif" (giflib, first frame over white), "bmp"
// (Qt's reader). Every decoded page is QImage::Format_RGB32, the format the screen shows
// without conversion, with transparent parts over white. A file that cannot be decoded
// gives a null image and an error text naming the file and the problem; no input makes
// the process crash, hang or exit, and a page is refused before its picture is allocated
// when it would exceed the page cap.
namespace pageimage {

// Pages whose decoded picture (4 bytes a pixel) would take more than this are refused.
inline constexpr qint64 maxDecodedBytes = qint64(1) << 30;

// A progressive JPEG with more scans than this is refused (a crafted file could otherwise
// keep the decoder busy for minutes).
inline constexpr int maxJpegScans = 1000;

// maxBytes lowers the page cap, as for the decoders below.
QImage load(const QString& path, QString* error = nullptr, qint64 maxBytes = maxDecodedBytes);
QImage loadJpeg(const QString& path, QString* error = nullptr, qint64 maxBytes = maxDecodedBytes);
QImage loadGif(const QString& path, QString* error = nullptr, qint64 maxBytes = maxDecodedBytes);
QImage loadBmp(const QString& path, QString* error = nullptr, qint64 maxBytes = maxDecodedBytes);

// The same decoders over a file's bytes already in memory; name stands for the file in
// the error texts. maxBytes lowers the page cap (a page is refused when its picture would
// take more than that many bytes).
QImage decodeJpeg(const QByteArray& bytes, const QString& name, QString* error = nullptr,
                  qint64 maxBytes = maxDecodedBytes);
QImage decodeGif(const QByteArray& bytes, const QString& name, QString* error = nullptr,
                 qint64 maxBytes = maxDecodedBytes);
QImage decodeBmp(const QByteArray& bytes, const QString& name, QString* error = nullptr,
                 qint64 maxBytes = maxDecodedBytes);

// True when a width x height page fits under maxBytes (4 bytes a pixel).
bool sizeAllowed(qint64 width, qint64 height, qint64 maxBytes = maxDecodedBytes);

// The picture as a page: Format_RGB32, with anything see-through shown over white.
QImage onWhite(QImage image);

} // namespace pageimage
