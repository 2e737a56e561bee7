#pragma once

#include "playback/readahead.h"

#include <QImage>
#include <QObject>
#include <QTimer>
#include <functional>
#include <vector>

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
//
// On time: the tick alone would show an entry up to 100 ms after its time. So while the
// recording plays (or the guest clock runs), a precise single-shot timer is set for the
// moment the next thing the tick would show is due (the next entry, the marker's change of
// colour, the replay range's end), from the position and the rate read when it is planned;
// when it fires it runs the tick itself. It is planned again after every tick and at every
// change that moves the moment: play, pause and stop, a seek or rate change of the player,
// any change of the guest clock and of the marker list. It fires only while the player
// plays (the guest clock runs) and `PositionTimer` runs. A shot that comes a hair early
// finds nothing new and plans again for what is left.
//
// With read ahead on, each tick also decides the half-page turn (readahead::decide) by the
// heard position and shows the next page's top over the played part of the sheet. A seek
// or a user's pick ends it and shows the sought entry as without read ahead, until the next
// entry sounds.
//
// After each tick the page of the next entry that lies on another page is handed to
// preparePage, so that it can be decoded before the marker gets there.
class Follower : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void(const QString&)> broadcast;
        // Loads page k's image into the sheet; false with an error text when it fails.
        std::function<bool(int page, QString* error)> loadPage;
        // Page k will be shown next (by the marker list): it may be made ready ahead.
        std::function<void(int page)> preparePage;
        // Page k's picture followed by its zoom-out copies when it has been decoded ahead,
        // else nothing (no wait).
        std::function<QList<QImage>(int page)> decodedAhead;
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
    // The single-shot timer of the on-time show.
    QTimer& showTimer() { return m_showTimer; }
    Hooks& hooks() { return m_hooks; }
    // How often the marker list was scanned for the page to decode ahead: once per stretch
    // of entries on the shown page, not once per tick.
    int pageScans() const { return m_pageScans; }

    // The follow tick (`PositionTimerTimer`); plans the next on-time show afterwards.
    void PositionTimerTimer();
    // Sets (or stops) the on-time show's timer by the position read now.
    void planNextShow();
    // The on-time show: the follow tick, while the player plays (the guest clock runs) and
    // `PositionTimer` runs.
    void ShowTimerTimer();
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
    struct Playing {
        bool running = false;
        double position = 0;
        double rate = 1;
    };
    bool tick();
    Playing playing() const;
    int currentAt(double p) const;
    void prepareNextPage(int current);
    void placeEntry(int selected, bool userPick);
    void switchPage(int page);
    const std::vector<readahead::Entry>& readEntries();
    void updateReadAhead(int current, double position, double rate);
    void cancelReadAhead(int heldEntry);

    Workspace& m_ws;
    PlaybackState& m_state;
    Player& m_player;
    Widgets m_w;
    ZoomAndMarker& m_zoom;
    ErrorReport& m_errors;
    GuestClock& m_clock;
    Hooks m_hooks;
    QTimer m_positionTimer;
    QTimer m_showTimer;
    // The next entry on another page than the shown one, found after entry m_scanFrom
    // (-1: before the first entry); looked for again when m_scanValid is false.
    bool m_scanValid = false;
    int m_pageScans = 0;
    int m_scanFrom = -1;
    int m_scanFound = -1;
    int m_scanShownPage = -1;
    long long m_scanPage = -1;
    // The marker entries as read ahead sees them; built again after a change of the list.
    std::vector<readahead::Entry> m_readEntries;
    bool m_readEntriesValid = false;
    // After a seek or a pick, no turn is shown while this entry sounds (-2: none).
    int m_readHeld = -2;
    double m_readRate = 1;
    QMenu* m_autoInsertPop;
    QMenu* m_autoInsertPop2;
    QObject* m_clickedShape = nullptr;
};
