#pragma once

#include <QImage>
#include <QString>

// Notes page images. The decoder is chosen by the file name's extension, letter case
// ignored: "jpg"/"jpeg" (libjpeg-turbo), "gif" (giflib, first frame over white), "bmp"
// (Qt's reader). A file that cannot be decoded gives a null image and an error text; no
// input makes the process crash, hang or exit.
namespace pageimage {

QImage load(const QString& path, QString* error = nullptr);
QImage loadJpeg(const QString& path, QString* error = nullptr);
QImage loadGif(const QString& path, QString* error = nullptr);
QImage loadBmp(const QString& path, QString* error = nullptr);

} // namespace pageimage
