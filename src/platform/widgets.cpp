#include "platform/widgets.h"

#include <QMouseEvent>

ImageButton::ImageButton(const QString& objectName, const QString& hint, QWidget* parent)
    : QToolButton(parent)
{
    setObjectName(objectName);
    describe(this, QString(), hint);
    setAutoRaise(true);
}

void ImageButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && !m_pressedDown) {
        m_pressedDown = true;
        move(pos() + QPoint(1, 1));
    }
    QToolButton::mousePressEvent(event);
}

void ImageButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_pressedDown) {
        m_pressedDown = false;
        move(pos() - QPoint(1, 1));
    }
    QToolButton::mouseReleaseEvent(event);
}

LinkLabel::LinkLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
    setCursor(Qt::PointingHandCursor);
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    describe(this, text, QString());
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

ClickPicture::ClickPicture(QWidget* parent)
    : QLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
}

void ClickPicture::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && !m_pressedDown) {
        m_pressedDown = true;
        move(pos() + QPoint(1, 1));
    }
    QLabel::mousePressEvent(event);
}

void ClickPicture::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_pressedDown) {
        m_pressedDown = false;
        move(pos() - QPoint(1, 1));
        emit clicked();
    }
    QLabel::mouseReleaseEvent(event);
}

QString withoutMnemonics(const QString& caption)
{
    // "&x" marks x as the mnemonic and reads as "x"; "&&" reads as one "&".
    QString text;
    text.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size())
            ++i;
        else if (caption[i] == QLatin1Char('&'))
            continue;
        text += caption[i];
    }
    return text;
}

void describe(QWidget* widget, const QString& caption, const QString& hint)
{
    if (!hint.isEmpty())
        widget->setToolTip(hint);
    widget->setAccessibleName(caption.isEmpty() ? hint : withoutMnemonics(caption));
    if (!hint.isEmpty())
        widget->setAccessibleDescription(hint);
}
