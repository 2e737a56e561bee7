#pragma once

#include <QString>

class QCheckBox;
class QLabel;
class QListView;
class QMenu;
class QSlider;
class QToolButton;
class QWidget;
class ImageButton;
class LinkLabel;

// The named controls of the main window that several rooms share. The panels are built
// here; each room's own groups (marker options, replay, tempo, pedal, ...) are built by
// the room and placed into these panels by the main window.
struct MainWidgets {
    QWidget* mainPanel = nullptr;   // `MainPanel`
    QWidget* toolbar = nullptr;     // `MainPanel_Toolbar`
    QWidget* leftPanel = nullptr;   // `MainPanel_LeftPanel`
    QWidget* bottomPanel = nullptr; // `MainPanel_ButtomPanel`
    QWidget* sheetArea = nullptr;   // holds `ScrollBox`
    QWidget* tips = nullptr;        // `Tips`
    QLabel* tipsLabel = nullptr;    // `TipsLabel`
    QWidget* startup = nullptr;     // `Startup_Panel`
    QWidget* share = nullptr;       // `SharePanel`
    QListView* notesList = nullptr; // `NotesList`
    QListView* showList = nullptr;  // `ShowList`
    QMenu* showListPopup = nullptr; // `ShowList_Popup`
    QSlider* trackBar = nullptr;    // `TrackBar`
    QLabel* replayMarker = nullptr; // `Replay_Marker`
    QLabel* curPos = nullptr;       // `CurPos`
    QLabel* status = nullptr;       // `MPlayer_Status`
    ImageButton* play = nullptr;
    ImageButton* pause = nullptr;
    ImageButton* stop = nullptr;
    ImageButton* rewind = nullptr;
    ImageButton* pause2 = nullptr; // `LMDMMButton1`
    ImageButton* openOther = nullptr;
    ImageButton* record = nullptr;      // `MainPanel_Record`
    ImageButton* goKinsoro = nullptr;   // `GoKinsoro`
    QWidget* localAudioPanel = nullptr; // `kinsorobuttonhide`
    QCheckBox* localAudio = nullptr;    // `MainPanel_LocalAudio`
    QWidget* exitBox = nullptr;         // `MainPanel_ExitPanel`
    QWidget* minimizeBox = nullptr;     // `MainPanel_Minimize`
    QWidget* rightColumn = nullptr;     // where room groups go beside the sheet
    QWidget* bottomRow = nullptr;       // where room controls go in the bottom panel
};

// Builds the panels and shared controls as children of window; all panels start hidden.
MainWidgets buildMainWidgets(QWidget* window, QWidget* sheet);

// Adds a toolbar button with its caption, hint and mode tag.
QToolButton* addToolButton(QWidget* toolbar, const char* name, const QString& caption,
                           const QString& hint, int tag);
