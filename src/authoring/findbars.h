#pragma once

#include <QObject>
#include <functional>

class QAbstractButton;
class QToolButton;
class Dialogs;
struct Workspace;

// "Find Bars" (`Toolbar_FindBars`), beside "Finish" in automatic marking's second stage:
// finds the bars of every page of the project and places a box at the start of each, at
// its system's top, in playing order, with an entry each; the first bar of each system
// gets the caption "Bar N" (N counting the bars as printed). Where repeat signs were found,
// "Play the repeats?" decides whether the order takes them. The pages are read on a worker
// thread under a progress box whose Cancel places nothing. The user then checks the boxes
// as after clicking them, and Finish spreads the times as usual.
class FindBars : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        // A box and its entry on the shown page (automatic marking's sheet click).
        std::function<void(const QString& line, long long x, long long y)> placeBox;
        std::function<void()> rebuildIndex;
        // The page shown now.
        std::function<int()> shownPage;
    };

    // The button goes into finish's row, right after it, and is shown while finish is.
    FindBars(Workspace& workspace, Dialogs& dialogs, QAbstractButton& finish, Hooks hooks,
             QObject* parent = nullptr);

    QToolButton* button() const { return m_button; }
    void Toolbar_FindBarsClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Workspace& m_ws;
    Dialogs& m_dialogs;
    QAbstractButton& m_finish;
    Hooks m_hooks;
    QToolButton* m_button;
};
