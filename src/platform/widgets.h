#pragma once

#include <QLabel>
#include <QToolButton>

// An image button: moves 1 pixel right and 1 pixel down while the mouse button is
// pressed on it, and back when it is released.
class ImageButton : public QToolButton {
    Q_OBJECT
public:
    explicit ImageButton(const QString& objectName, const QString& hint, QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_pressedDown = false;
};

// A label that acts as a link: clicking it runs its command.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit LinkLabel(const QString& text, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// A picture that can be clicked (the LED switches), with the same press effect as the
// image buttons.
class ClickPicture : public QLabel {
    Q_OBJECT
public:
    explicit ClickPicture(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_pressedDown = false;
};

// A caption as it reads: "&x" (a mnemonic) is "x", "&&" is one "&".
QString withoutMnemonics(const QString& caption);

// Sets the accessible name (the caption, or the hint where there is no caption) and
// description (the hint) of a control, and its tool tip.
void describe(QWidget* widget, const QString& caption, const QString& hint);
