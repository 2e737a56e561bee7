#pragma once

#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QScrollArea>

class QPainter;

// The page image `NotesImage`: draws the decoded page at its display size. Zooming
// changes only the display size; the page is scaled while painting, so no enlarged copy
// of a large scan is ever made. Smaller copies (halves, quarters) are kept for zooming
// out so that shrinking stays smooth and cheap.
class NotesImage : public QWidget {
    Q_OBJECT
public:
    explicit NotesImage(QWidget* parent = nullptr);

    void setImage(const QImage& image); // natural size, automatic sizing on
    // The same with the zoom-out copies made beforehand (smallerCopies(image)). Returns
    // the picture and copies it replaces, so that the caller can let them go where
    // freeing them holds nothing up.
    QList<QImage> setImage(const QImage& image, QList<QImage> smaller);
    // The zoom-out copies the sheet keeps of a page. Pure: safe on any thread.
    static QList<QImage> smallerCopies(const QImage& image);
    void clear();
    const QImage& image() const { return m_image; }
    bool isEmpty() const { return m_image.isNull(); }
    QSize naturalSize() const { return m_image.size(); }
    // Zoom: a display size other than the natural one (automatic sizing off).
    void setDisplaySize(const QSize& size);
    void restoreNaturalSize();

signals:
    void clicked(Qt::MouseButton button, QPoint point);
    void resized();
    void rightClicked(QPoint globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    const QImage& sourceFor(double scale, double& sourceScale) const;
    void drawScaled(QPainter& painter, const QRect& target) const;
    void fillCache(const QRect& exposed);
    QImage m_image;
    QList<QImage> m_smaller; // halves of the page, for drawing it shrunk
    // While zoomed: the visible part of the page (with a margin) at the display size, so
    // that repaints (marker moves, small scrolls) copy pixels instead of scaling again.
    QImage m_cache;
    QRect m_cacheRect; // in this widget's coordinates
};

// A rectangle shape on the sheet: the marker `Point` (red or spring green) and the aqua
// boxes of automatic marking. A right click reports the shape.
class MarkerShape : public QFrame {
    Q_OBJECT
public:
    explicit MarkerShape(QWidget* parent = nullptr);
    void setColor(const QColor& color);
    QColor color() const { return m_color; }

signals:
    void rightClicked(MarkerShape* shape, QPoint globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QColor m_color;
};

// The next page's top during a half-page turn (read ahead): drawn over the top part of the
// sheet's view, at the shown page's zoom and horizontal scroll, with a rule along its
// bottom edge. A screen reader names it by the page it shows. Clicks pass through it to the
// page below.
class ReadAheadPane : public QWidget {
    Q_OBJECT
public:
    explicit ReadAheadPane(QWidget* parent = nullptr);
    // page: the picture at its natural size, then its zoom-out copies (halves); scale: the
    // zoom of the shown page; number: the page's number as the page list counts (from 1).
    void setPage(const QList<QImage>& page, double scale, int number);
    void setOffset(int horizontal);
    // Lets the pictures go (the pane is hidden): it holds no page it does not show.
    void clear();
    int pageNumber() const { return m_number; }
    const QImage& page() const { return m_page.first(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<QImage> m_page{QImage()};
    QImage m_scaled; // the page's top part at the zoom, as tall as the view may show
    double m_scale = 1.0;
    int m_number = 0;
    int m_offset = 0;
};

// The scroll box `ScrollBox` holding the page image, the marker shape `Point` and its
// caption label `PointT`. All of them are children of one canvas that scrolls, so
// places on the page are canvas coordinates.
class SheetView : public QScrollArea {
    Q_OBJECT
public:
    static constexpr int kMarkerWidth = 9;
    static constexpr int kMarkerHeight = 33;

    explicit SheetView(QWidget* parent = nullptr);

    NotesImage* image() const { return m_image; }
    MarkerShape* point() const { return m_point; }
    QLabel* pointCaption() const { return m_caption; }
    QWidget* canvas() const { return m_canvas; }

    // The displayed size of the page image (after zoom).
    QSize displaySize() const { return m_image->size(); }
    // Keeps the canvas as large as the page image, the marker and its caption.
    void updateCanvas();

    int verticalScroll() const;
    int horizontalScroll() const;
    void setScroll(int horizontal, int vertical);

    // Read ahead: the top `band` pixels of the view show the next page (number counted from
    // 1) over the shown one; hideReadAhead() shows the shown page alone again.
    // page: the picture followed by its zoom-out copies (NotesImage::smallerCopies).
    void showReadAhead(const QList<QImage>& page, int number, int band);
    void hideReadAhead();
    ReadAheadPane* readAheadPane() const { return m_readAhead; }
    bool readingAhead() const { return m_readAhead->isVisible(); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* m_canvas;
    NotesImage* m_image;
    MarkerShape* m_point;
    QLabel* m_caption;
    ReadAheadPane* m_readAhead;
};
