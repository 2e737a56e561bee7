#pragma once

#include "analysis/onsetdetector.h"

#include <QList>
#include <QObject>
#include <QPoint>
#include <functional>
#include <vector>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QAction;
class QMenu;
class QWidget;
class Dialogs;
class ErrorReport;
class Follower;
class Player;
class SheetView;
struct PlaybackState;
struct Workspace;

// The remembered hot-key flags and the three system-wide keys (Space, Right Arrow, Tab)
// as the authoring rooms switch them. The main window hands in its own flags.
struct HotKeyHooks {
    // Sets the three remembered flags and makes the keys active (or inactive).
    std::function<void(bool on)> setAll;
    // Sets the keys together; the remembered flags stay as they are.
    std::function<void(bool on)> enableAll;
    // Sets the remembered flags of the pause key and the page key (the caption key's
    // flag stays).
    std::function<void(bool pause, bool switchPage)> setPauseAndPageFlags;
    // Makes each key active exactly as its remembered flag says.
    std::function<void()> applyFlags;
    // Makes the caption key (Tab) active or inactive on its own.
    std::function<void(bool on)> enableCaptionKey;
};

// Manual marking: a left click on the notes page while the audio plays becomes a marker
// entry (the playback time, moved by the pre-click offset while playing, tied to the
// clicked place). With "Snap to Recording" checked (off at start) that time moves to the
// strongest note onset of the recording within 150 ms, when the onsets are known and one
// lies there. Also the caption editor (Tab), the "Pre-Click" offset, deleting entries
// from the marker index list's pop-up menu. The sheet click is shared with the second
// stage of automatic marking, which places a box instead.
class ManualMarking : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        HotKeyHooks hotKeys;
        // `ShowList` refilled "1" to "n" and the replay marks refreshed.
        std::function<void()> rebuildIndex;
        // The second stage of automatic marking: a box for a sequence entry at the
        // clicked place (x, y in millionths).
        std::function<void(const QString& line, long long x, long long y)> placeBox;
        // Releases the box stored with an entry (the second stage's Delete).
        std::function<void(QObject* box)> releaseBox;
        // Releases every box of automatic marking (Delete All).
        std::function<void()> releaseAllBoxes;
        // The note onsets of the recording the player has loaded, in time order, or null
        // while they are not known.
        std::function<const std::vector<Onset>*()> recordingOnsets;
    };

    struct Widgets {
        QWidget& window; // holds the hidden offset field `ClickDelay`
        SheetView& sheet;
        QListView& showList;
        QComboBox& pages; // `PagesBox_Pages`: the current page index
        QMenu& popup;     // `ShowList_Popup`
        // "Pre-Click" (`Toolbar_Presets`): the "Snap to Recording" option goes beside it,
        // in its toolbar.
        QAbstractButton& presets;
    };

    ManualMarking(Workspace& workspace, PlaybackState& state, Player& player, Follower& follower,
                  Widgets widgets, Dialogs& dialogs, ErrorReport& errors, Hooks hooks,
                  QObject* parent = nullptr);

    Hooks& hooks() { return m_hooks; }

    // The sheet click (`NotesImageMouseDown`), in pixels of the displayed page image.
    void NotesImageMouseDown(Qt::MouseButton button, QPoint point);
    // The caption key (`EnterKeyKeyDown`): opens the caption editor, or commits it.
    void EnterKeyKeyDown();
    // "Pre-Click" (`Toolbar_PresetsClick`).
    void Toolbar_PresetsClick();
    // "Delete" (`Delete1Click`) and "Delete All" (`Delete2Click`) of `ShowList_Popup`.
    void Delete1Click();
    void Delete2Click();
    // Empties and hides the caption editor (a newly shown entry closes it).
    void closeCaptionEditor();

    // The pre-click offset as typed (`ClickDelay`), and the last committed caption.
    QString offsetText() const;
    const QString& lastCaption() const { return m_lastCaption; }
    QLineEdit* captionEditor() const { return m_editor; }
    // "Snap to Recording" (`Toolbar_Snap`), a toolbar control shown in editing mode.
    QCheckBox* snapOption() const { return m_snap; }

    // "Delete", "Delete All" and their separator in the index list's menu, shown only while
    // editing (the mode refresh shows and hides them).
    QList<QAction*> editingActions() const { return {m_delete, m_deleteAll, m_deleteSeparator}; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void openCaptionEditor();
    void commitCaption();
    // The playback position of a click, moved by the offset while playing, then snapped
    // to the recording when asked (unrounded).
    double clickTime() const;

    Workspace& m_ws;
    PlaybackState& m_state;
    Player& m_player;
    Follower& m_follower;
    Widgets m_w;
    Dialogs& m_dialogs;
    ErrorReport& m_errors;
    Hooks m_hooks;
    QLineEdit* m_editor;   // `AddCaption`
    QLabel* m_editorLabel; // `AddCaptionSubLabel`
    QLineEdit* m_offset;   // `ClickDelay` (hidden)
    QCheckBox* m_snap;     // `Toolbar_Snap`
    QAction* m_delete = nullptr;
    QAction* m_deleteAll = nullptr;
    QAction* m_deleteSeparator = nullptr;
    QString m_lastCaption;
};
