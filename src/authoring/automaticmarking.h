#pragma once

#include <QColor>
#include <QObject>
#include <QPointer>
#include <functional>
#include <vector>

class QFrame;
class QLabel;
class QPushButton;
class QWidget;
class Dialogs;
class ErrorReport;
class Follower;
class MarkerIndexModel;
class MarkerShape;
class Opening;
class Player;
class SheetView;
class LinkLabel;
struct MainWidgets;
struct PlaybackState;
struct Workspace;

// Texts of automatic marking, shown on its prompt panel and in message boxes.
namespace automatictext {
extern const QString kStart;   // S: find the start of the first notated bar
extern const QString kEnd;     // E: find the end of the last notated bar
extern const QString kMarking; // M: click every notes-box in order
extern const QString kInsert;  // I: insert after the selected entry
extern const QString kEndNotAfterStart;
extern const QString kFinishTooEarly;
extern const QString kTableFull;
} // namespace automatictext

// Automatic marking: the user times the start of the first bar and the end of the last
// one ("Continue" twice), then clicks every note box in playing order; each click leaves
// an aqua box and an entry named by a sequence number. "Finish" spreads the times evenly
// between the two moments, leaves automatic mode and saves the project.
class AutomaticMarking : public QObject {
    Q_OBJECT
public:
    // The box table holds at most this many boxes; further boxes are refused.
    static constexpr int kBoxTableSize = 10001;
    static const QColor kAwaitStartColor; // spring green
    static const QColor kAwaitEndColor;   // light red
    static const QColor kBoxColor;        // aqua

    struct Hooks {
        std::function<void()> modeRefresh;
        std::function<void()> rebuildIndex;
        // "Cancel" on the prompt panel (the wizard's cancel).
        std::function<void()> cancel;
        // Hides the wizard's panel `NewProject`, which automatic marking follows.
        std::function<void()> hideWizard;
    };

    // widgets: the main window's panels and controls; the prompt panels are made children
    // of its window.
    AutomaticMarking(const MainWidgets& widgets, Workspace& workspace, PlaybackState& state,
                     Player& player, SheetView& sheet, Follower& follower,
                     MarkerIndexModel& indexModel, Opening& opening, Dialogs& dialogs,
                     ErrorReport& errors, Hooks hooks, QObject* parent = nullptr);

    Hooks& hooks() { return m_hooks; }
    QFrame* pressContinuePanel() const { return m_continuePanel; } // `NewPressContinue`
    QFrame* lastStagePanel() const { return m_lastStage; }         // `NewLastStage`

    // The wizard's automatic branch, after the project was created.
    void enter();
    void ContinueButtonClick();
    // The second stage's sheet click: a box and a sequence entry at x, y (millionths).
    void placeBox(const QString& line, long long x, long long y);
    void Toolbar_FinishClick();
    void Toolbar_ResetClick(); // "Star over"
    void Toolbar_ClearClick();
    void Label40Click(); // "Hide" on `NewLastStage`
    // "Delete" of `AutoInsertPop` (a right-clicked box) and of `AutoInsertPop2` (the
    // marker shape: the selected entry's box).
    void Delete4Click();
    void Delete4bClick();

    // Releases every box of the box table.
    void releaseAll();
    // Removes one box from the sheet and the table (once).
    void releaseBox(QObject* box);
    void setSelectedBox(QObject* box) { m_selectedBox = box; }

    double startPosition() const { return m_start; }
    double endPosition() const { return m_end; }
    int boxCount() const { return static_cast<int>(m_boxes.size()); }
    const std::vector<QPointer<MarkerShape>>& boxes() const { return m_boxes; }

private:
    void showPanel(const QColor& color, const QString& text);
    // Deletes the entry that carries shape; false when none does.
    bool deleteEntryOf(QObject* shape);

    const MainWidgets& m_w;
    Workspace& m_ws;
    PlaybackState& m_state;
    Player& m_player;
    SheetView& m_sheet;
    Follower& m_follower;
    MarkerIndexModel& m_index;
    Opening& m_opening;
    Dialogs& m_dialogs;
    ErrorReport& m_errors;
    Hooks m_hooks;

    QFrame* m_continuePanel;
    QLabel* m_continueLabel;
    QPushButton* m_continueButton;
    LinkLabel* m_cancel;
    QFrame* m_lastStage;
    QLabel* m_lastStageLabel;
    LinkLabel* m_hide;

    double m_start = -1.0;
    double m_end = 0.0;
    std::vector<QPointer<MarkerShape>> m_boxes;
    QPointer<QObject> m_selectedBox;
};
