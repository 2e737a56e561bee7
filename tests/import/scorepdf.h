#pragma once

#include <QImage>
#include <QList>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>

// PDF scores made at run time by Qt's own PDF writer, for the import's tests and benchmark.
// Pages are drawn in points (72 to the inch, no margins) like printed music: staff lines,
// note heads with stems, a title. Two marks sit alone on white so that a test can find
// them: a bar whose place gives the page's number, and a note head.
namespace scorepdf {

enum class Kind {
    Engraving, // vector shapes and text, as notation programs write
    Scan,      // one greyscale picture of a printed page, with paper grain, at 150 dpi
};

// The bar that tells pages apart: its left edge moves 13 points a page (40 places).
inline QRectF pageMark(int page)
{
    return {30.0 + 13.0 * (page % 40), 14.0, 8.0, 30.0};
}

// A note head alone on white (7 x 5.5 points, as in music printed with a 7 pt staff).
inline QRectF noteHead()
{
    return {60.0, 60.0, 7.0, 5.5};
}

inline void drawEngraving(QPainter& p, QSizeF size, int page)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(pageMark(page), Qt::black);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(noteHead());
    QFont title(QStringLiteral("DejaVu Serif"));
    title.setPointSizeF(16);
    p.setFont(title);
    p.setPen(Qt::black);
    p.drawText(QRectF(0, 40, size.width(), 30), Qt::AlignHCenter,
               QStringLiteral("Minuet in G - page %1").arg(page + 1));
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPointSizeF(8);
    p.setFont(small);
    const double left = 40, right = size.width() - 40;
    for (double top = 100; top + 40 < size.height() - 30; top += 62) {
        p.setPen(QPen(Qt::black, 0.6));
        for (int line = 0; line < 5; ++line)
            p.drawLine(QPointF(left, top + 7 * line), QPointF(right, top + 7 * line));
        p.drawLine(QPointF(left, top), QPointF(left, top + 28));
        p.drawText(QPointF(left, top - 8), QStringLiteral("cresc."));
        for (double x = left + 30; x + 10 < right; x += 17) {
            const int step = int(x * 7 + top + page) % 13 - 4; // staff position, half spaces
            const QPointF head(x, top + 14 - 3.5 * step);
            p.setPen(Qt::NoPen);
            p.drawEllipse(QRectF(head.x() - 3.5, head.y() - 2.75, 7, 5.5));
            p.setPen(QPen(Qt::black, 0.8));
            const double stem = step < 2 ? -24 : 24;
            const double sx = head.x() + (stem < 0 ? 3.2 : -3.2);
            p.drawLine(QPointF(sx, head.y()), QPointF(sx, head.y() + stem));
        }
    }
    p.restore();
}

// A scanned page: the engraving at 150 dpi on grey paper with grain, as an 8-bit grey picture.
inline QImage scannedPage(QSizeF size, int page)
{
    const double scale = 150.0 / 72.0;
    QImage image((size * scale).toSize(), QImage::Format_RGB32);
    QRandomGenerator random(quint32(page + 1));
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int v = 228 + int(random.bounded(16));
            row[x] = qRgb(v, v, v);
        }
    }
    QPainter p(&image);
    p.scale(scale, scale);
    drawEngraving(p, size, page);
    p.end();
    return image.convertToFormat(QImage::Format_Grayscale8);
}

// Writes a PDF with one page of each kind listed. False when the writer failed.
inline bool write(const QString& path, const QList<Kind>& pages,
                  QPageLayout::Orientation orientation = QPageLayout::Portrait,
                  const QPageSize& pageSize = QPageSize(QPageSize::A4))
{
    QPdfWriter writer(path);
    writer.setPageLayout(QPageLayout(pageSize, orientation, QMarginsF()));
    writer.setResolution(72);
    const QSizeF size = writer.pageLayout().fullRect(QPageLayout::Point).size();
    QPainter p;
    if (!p.begin(&writer))
        return false;
    for (int i = 0; i < pages.size(); ++i) {
        if (i > 0)
            writer.newPage();
        if (pages[i] == Kind::Scan)
            p.drawImage(QRectF(QPointF(), size), scannedPage(size, i));
        else
            drawEngraving(p, size, i);
    }
    return p.end();
}

} // namespace scorepdf
