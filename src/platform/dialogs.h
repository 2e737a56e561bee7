#pragma once

#include <QString>

#include <functional>

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

    // Tells how far a long task has come (done of total steps); returns false once the user
    // has cancelled. Safe to call from any thread.
    using ProgressReport = std::function<bool(int done, int total)>;
    // Runs work while a progress box with label and a "Cancel" button is shown, and returns
    // once work has returned. work gets the report function to call after each step and is
    // expected to stop soon after it returns false. The window keeps drawing meanwhile but
    // takes no input. Here: work runs on the calling thread and is never cancelled.
    virtual void runWithProgress(const QString& label,
                                 const std::function<void(const ProgressReport&)>& work)
    {
        (void)label;
        work([](int, int) { return true; });
    }
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
    // work runs on a worker thread; the box appears when it takes longer than a moment.
    void runWithProgress(const QString& label,
                         const std::function<void(const ProgressReport&)>& work) override;

    // "Caption|*.a;*.b|All|*.*" as Qt's "Caption (*.a *.b);;All (*.*)".
    static QString qtFilter(const QString& filter);

private:
    QWidget* m_parent;
};
