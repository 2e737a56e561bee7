#pragma once

#include "fuzzinput.h"

#include <QImage>
#include <QString>

// What every page decoder promises, checked on each input.
namespace fuzzpage {

// A page cap well below the program's, so that each input decodes quickly; the refusal
// of larger pages is the same code as in the program.
inline constexpr qint64 maxBytes = qint64(64) << 20;

// Either a whole Format_RGB32 page within the cap, or a reason naming the file (whose name
// holds `name`); never both.
inline void check(const QImage& page, const QString& error,
                  const QString& name = QStringLiteral("page."))
{
    using fuzzinput::require;
    if (page.isNull()) {
        require(!error.isEmpty() && error.contains(name));
        return;
    }
    require(error.isEmpty());
    require(page.format() == QImage::Format_RGB32);
    require(qint64(page.width()) * page.height() * 4 <= maxBytes);
    // Touch the last row: the whole picture must be there.
    volatile QRgb last = page.pixel(page.width() - 1, page.height() - 1);
    (void)last;
}

} // namespace fuzzpage
