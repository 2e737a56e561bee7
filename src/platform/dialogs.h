#pragma once

#include <QString>

class QWidget;

// Modal boxes and file choosers the program shows. Qt's dialogs in the program; a
// scripted double in tests records every text shown and answers from a queue.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Information box with one OK button.
    virtual void information(const QString& text) = 0;
    // Confirmation with Yes and No; true for Yes.
    virtual bool question(const QString& text) = 0;
    // Text input box; false when cancelled.
    virtual bool getText(const QString& title, const QString& prompt, QString& value) = 0;
    // Open-file dialog; the chosen path, or the empty text when cancelled. filter uses the
    // "Caption|*.a;*.b|Caption2|*.*" form.
    virtual QString openFile(const QString& title, const QString& startFolder,
                             const QString& filter, const QString& defaultExtension) = 0;
};

// The real dialogs, parented to a window.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr)
        : m_parent(parent)
    {
    }
    void setParent(QWidget* parent) { m_parent = parent; }
    void information(const QString& text) override;
    bool question(const QString& text) override;
    bool getText(const QString& title, const QString& prompt, QString& value) override;
    QString openFile(const QString& title, const QString& startFolder, const QString& filter,
                     const QString& defaultExtension) override;

    // "Caption|*.a;*.b|All|*.*" as Qt's "Caption (*.a *.b);;All (*.*)".
    static QString qtFilter(const QString& filter);

private:
    QWidget* m_parent;
};
