#include "playback/sheetview.h"

#include "playback/readahead.h"

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

ReadAheadPane::ReadAheadPane(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ReadAheadImage"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    hide();
}

void ReadAheadPane::setPage(const QList<QImage>& page, double scale, int number)
{
    if (page.isEmpty() || (page.first().cacheKey() == m_page.first().cacheKey() &&
                           scale == m_scale && number == m_number))
        return;
    m_page = page;
    m_scale = scale;
    m_number = number;
    m_scaled = QImage();
    setAccessibleName(QStringLiteral("Next page: Page %1 (read ahead)").arg(number));
    update();
}

void ReadAheadPane::clear()
{
    m_page = {QImage()};
    m_scaled = QImage();
    m_number = 0;
}

void ReadAheadPane::setOffset(int horizontal)
{
    if (horizontal == m_offset)
        return;
    m_offset = horizontal;
    update();
}

void ReadAheadPane::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int rule = readahead::kRuleHeight;
    const int pageHeight = height() - rule;
    // The page's top part is scaled once per page and zoom, from the smallest copy that is
    // still at least as large as shown; a repaint copies pixels.
    const QImage& natural = m_page.first();
    const int h = std::max(1, static_cast<int>(natural.height() * m_scale));
    if (!natural.isNull() && (m_scaled.isNull() || m_scaled.height() < std::min(h, pageHeight))) {
        const QImage* source = &natural;
        double sourceScale = 1.0;
        for (qsizetype i = 1; i < m_page.size() && sourceScale * 0.5 >= m_scale; ++i) {
            source = &m_page[i];
            sourceScale *= 0.5;
        }
        const int w = std::max(1, static_cast<int>(natural.width() * m_scale));
        const int rows = std::min(h, std::max(pageHeight, parentWidget()->height()));
        const double factor = m_scale / sourceScale;
        const int sourceRows = std::min(source->height(), static_cast<int>(rows / factor) + 1);
        const QImage top = source->copy(0, 0, source->width(), sourceRows);
        m_scaled = factor == 1.0 ? top
                                 : top.scaled(w, rows, Qt::IgnoreAspectRatio,
                                              factor < 1.0 ? Qt::SmoothTransformation
                                                           : Qt::FastTransformation);
    }
    painter.fillRect(rect(), Qt::white);
    painter.drawImage(QPoint(-m_offset, 0), m_scaled, QRect(0, 0, m_scaled.width(), pageHeight));
    // The rule between the next page's top and the rest of the shown page.
    painter.fillRect(QRect(0, pageHeight, width(), rule), QColor(0, 70, 160));
    QFont font = painter.font();
    font.setPixelSize(14);
    font.setBold(true);
    painter.setFont(font);
    const QString label = QStringLiteral("Page %1").arg(m_number);
    const QRect box = painter.fontMetrics().boundingRect(label).adjusted(-6, -2, 6, 2);
    const QRect tag(width() - box.width() - 8, pageHeight - box.height(), box.width(),
                    box.height());
    painter.fillRect(tag, QColor(0, 70, 160));
    painter.setPen(Qt::white);
    painter.drawText(tag, Qt::AlignCenter, label);
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
    m_readAhead = new ReadAheadPane(viewport());
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, m_readAhead,
            &ReadAheadPane::setOffset);
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

void SheetView::showReadAhead(const QList<QImage>& page, int number, int band)
{
    const int natural = m_image->naturalSize().width();
    const double scale = natural > 0 ? static_cast<double>(m_image->width()) / natural : 1.0;
    m_readAhead->setPage(page, scale, number);
    m_readAhead->setOffset(horizontalScroll());
    m_readAhead->setGeometry(0, 0, viewport()->width(), std::min(band, viewport()->height()));
    m_readAhead->show();
    m_readAhead->raise();
}

void SheetView::hideReadAhead()
{
    if (m_readAhead->isHidden())
        return;
    m_readAhead->hide();
    m_readAhead->clear();
}

void SheetView::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    updateCanvas();
}
