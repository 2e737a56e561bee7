#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

class QComboBox;
class QLabel;
class QListView;
class QMenu;
class QSlider;
class ErrorReport;
class GuestClock;
class MarkerIndexModel;
class MarkerShape;
class Player;
class SheetView;
class ZoomAndMarker;
struct PlaybackState;
struct Workspace;

// Marker following: ten times a second `PositionTimer` reads the playback position (the
// guest clock in follow mode), finds the marker entry that is sounding, turns to its page,
// scrolls the page and places the marker shape on it. The same show-entry step serves a
// user's pick in the marker list or the marker index list, which also moves the audio.
class Follower : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void(const QString&)> broadcast;
        // Loads page k's image into the sheet; false with an error text when it fails.
        std::function<bool(int page, QString* error)> loadPage;
        // Clears the pending caption and hides the caption editor.
        std::function<void()> closeCaptionEditor;
        // In the automatic mode's second stage: the box of the entry just shown.
        std::function<void(QObject* box)> setSelectedBox;
    };

    struct Widgets {
        SheetView& sheet;
        QListView& notesList;
        QListView& showList;
        MarkerIndexModel& showModel;
        QComboBox& pages;
        QSlider& trackBar;
        QLabel& curPos;
    };

    Follower(Workspace& workspace, PlaybackState& state, Player& player, Widgets widgets,
             ZoomAndMarker& zoom, ErrorReport& errors, GuestClock& guestClock, Hooks hooks,
             QObject* parent = nullptr);

    QTimer& positionTimer() { return m_positionTimer; }
    Hooks& hooks() { return m_hooks; }

    // The follow tick (`PositionTimerTimer`).
    void PositionTimerTimer();
    // Shows the selected entry of `NotesList` (`NotesListClick`).
    void showEntry(bool userPick);
    // A user's click in `NotesList` and in `ShowList`.
    void NotesListClick();
    void ShowListClick();

    // Right clicks on shapes: `MPoint` and the boxes open `AutoInsertPop`; `Point` opens
    // `AutoInsertPop2` in the automatic mode's second stage.
    void shapeRightClicked(MarkerShape* shape, QPoint globalPos);
    QObject* clickedShape() const { return m_clickedShape; }
    QMenu* autoInsertPop() const { return m_autoInsertPop; }
    QMenu* autoInsertPop2() const { return m_autoInsertPop2; }

    // Selects index i (or none for -1) in `NotesList` and `ShowList`.
    void selectEntry(int i);
    int selectedEntry() const;

signals:
    void deleteBoxRequested();       // "Delete" of `AutoInsertPop`
    void deleteMarkerBoxRequested(); // "Delete" of `AutoInsertPop2`

private:
    bool tick();
    void placeEntry(int selected, bool userPick);
    void switchPage(int page);

    Workspace& m_ws;
    PlaybackState& m_state;
    Player& m_player;
    Widgets m_w;
    ZoomAndMarker& m_zoom;
    ErrorReport& m_errors;
    GuestClock& m_clock;
    Hooks m_hooks;
    QTimer m_positionTimer;
    QMenu* m_autoInsertPop;
    QMenu* m_autoInsertPop2;
    QObject* m_clickedShape = nullptr;
};
