#include "playback/sheetview.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <utility>

NotesImage::NotesImage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("NotesImage"));
    setAccessibleName(QStringLiteral("Notes page"));
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    resize(0, 0);
}

QList<QImage> NotesImage::smallerCopies(const QImage& image)
{
    // Halves down to about 1000 pixels wide: zooming out draws from the nearest one. They
    // keep the page's own format, so a grey page's halves stay one byte a pixel.
    QList<QImage> smaller;
    QImage level = image;
    while (!level.isNull() && level.width() >= 2000 && smaller.size() < 3) {
        level = level.scaled(level.width() / 2, level.height() / 2, Qt::IgnoreAspectRatio,
                             Qt::SmoothTransformation);
        if (level.format() != image.format())
            level = level.convertToFormat(image.format());
        smaller.append(level);
    }
    return smaller;
}

void NotesImage::setImage(const QImage& image)
{
    setImage(image, smallerCopies(image));
}

QList<QImage> NotesImage::setImage(const QImage& image, QList<QImage> smaller)
{
    QList<QImage> replaced = std::exchange(m_smaller, std::move(smaller));
    replaced.prepend(std::exchange(m_image, image));
    replaced.append(std::exchange(m_cache, QImage()));
    restoreNaturalSize();
    update();
    return replaced;
}

void NotesImage::clear()
{
    setAccessibleName(QStringLiteral("Notes page"));
    m_image = QImage();
    m_smaller.clear();
    m_cache = QImage();
    resize(0, 0);
    update();
}

void NotesImage::setDisplaySize(const QSize& size)
{
    resize(size);
    update();
}

void NotesImage::restoreNaturalSize()
{
    resize(m_image.size());
}

const QImage& NotesImage::sourceFor(double scale, double& sourceScale) const
{
    sourceScale = 1.0;
    const QImage* best = &m_image;
    double s = 1.0;
    for (const QImage& level : m_smaller) {
        s *= 0.5;
        if (s < scale)
            break;
        best = &level;
        sourceScale = s;
    }
    return *best;
}

void NotesImage::drawScaled(QPainter& painter, const QRect& target) const
{
    const double sx = static_cast<double>(width()) / m_image.width();
    double sourceScale = 1.0;
    const QImage& src = sourceFor(sx, sourceScale);
    const double fx = static_cast<double>(src.width()) / width();
    const double fy = static_cast<double>(src.height()) / height();
    const QRectF source(target.x() * fx, target.y() * fy, target.width() * fx,
                        target.height() * fy);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, sx < 1.0);
    painter.drawImage(QRectF(target), src, source);
}

void NotesImage::fillCache(const QRect& exposed)
{
    // The visible part with a quarter of its size added on every side, within the page.
    QRect visible = visibleRegion().boundingRect().united(exposed);
    const int mx = visible.width() / 4;
    const int my = visible.height() / 4;
    const QRect area = visible.adjusted(-mx, -my, mx, my).intersected(rect());
    m_cache = QImage(area.size(), QImage::Format_RGB32);
    m_cache.fill(Qt::white);
    QPainter painter(&m_cache);
    painter.translate(-area.topLeft());
    drawScaled(painter, area);
    m_cacheRect = area;
}

void NotesImage::paintEvent(QPaintEvent* event)
{
    if (m_image.isNull() || width() <= 0 || height() <= 0)
        return;
    QPainter painter(this);
    const QRect exposed = event->rect().intersected(rect());
    if (exposed.isEmpty())
        return;
    if (size() == m_image.size()) {
        painter.drawImage(exposed, m_image, exposed);
        return;
    }
    if (m_cache.isNull() || !m_cacheRect.contains(exposed))
        fillCache(exposed);
    painter.drawImage(exposed, m_cache, exposed.translated(-m_cacheRect.topLeft()));
}

void NotesImage::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_cache = QImage(); // drawn for another display size
    emit resized();
}

void NotesImage::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::RightButton)
        emit rightClicked(event->globalPosition().toPoint());
    emit clicked(event->button(), p);
}

MarkerShape::MarkerShape(QWidget* parent)
    : QFrame(parent)
{
    setAutoFillBackground(true);
    resize(SheetView::kMarkerWidth, SheetView::kMarkerHeight);
    setColor(QColor(255, 0, 0));
}

void MarkerShape::setColor(const QColor& color)
{
    if (color == m_color)
        return;
    m_color = color;
    QPalette pal = palette();
    pal.setColor(QPalette::Window, color);
    setPalette(pal);
}

void MarkerShape::mousePressEvent(QMouseEvent* event)
{
    // A click on a shape stays with the shape: it never reaches the page below.
    event->accept();
    if (event->button() == Qt::RightButton)
        emit rightClicked(this, event->globalPosition().toPoint());
}

SheetView::SheetView(QWidget* parent)
    : QScrollArea(parent)
{
    setObjectName(QStringLiteral("ScrollBox"));
    setAccessibleName(QStringLiteral("Notes sheet"));
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_canvas = new QWidget;
    m_canvas->setObjectName(QStringLiteral("SheetCanvas"));
    m_image = new NotesImage(m_canvas);
    m_point = new MarkerShape(m_canvas);
    m_point->setObjectName(QStringLiteral("Point"));
    m_point->hide();
    m_caption = new QLabel(m_canvas);
    m_caption->setObjectName(QStringLiteral("PointT"));
    m_caption->setAutoFillBackground(true);
    QPalette pal = m_caption->palette();
    pal.setColor(QPalette::Window, QColor(255, 255, 225));
    pal.setColor(QPalette::WindowText, Qt::black);
    m_caption->setPalette(pal);
    QFont font(QStringLiteral("Times New Roman"));
    font.setPixelSize(16);
    m_caption->setFont(font);
    m_caption->hide();
    setWidget(m_canvas);
    connect(m_image, &NotesImage::resized, this, &SheetView::updateCanvas);
    updateCanvas();
}

void SheetView::updateCanvas()
{
    // The canvas holds the page and the marker with its caption wherever the marker's
    // place puts them, so every part of them can be scrolled into view.
    QRect area(QPoint(0, 0), m_image->size().expandedTo(QSize(1, 1)));
    area |= m_point->geometry();
    if (!m_caption->text().isEmpty())
        area |= m_caption->geometry();
    m_canvas->resize(std::max(area.right(), 0) + 1, std::max(area.bottom(), 0) + 1);
}

int SheetView::verticalScroll() const
{
    return verticalScrollBar()->value();
}

int SheetView::horizontalScroll() const
{
    return horizontalScrollBar()->value();
}

void SheetView::setScroll(int horizontal, int vertical)
{
    horizontalScrollBar()->setValue(horizontal);
    verticalScrollBar()->setValue(vertical);
}

void SheetView::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    updateCanvas();
}
