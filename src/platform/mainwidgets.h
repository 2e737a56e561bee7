#pragma once

#include <QString>

class QAbstractButton;
class QCheckBox;
class QLabel;
class QListView;
class QMenu;
class QSlider;
class QToolButton;
class QWidget;
class ImageButton;
class LinkLabel;

// The main window's own panels and controls. The main window builds them before any room
// and hands this table to the rooms that show, hide or enable them; each room's own groups
// (marker options, replay, tempo, pedal, ...) are built by the room and placed into these
// panels by the main window. Every pointer is set once the main window is built.
struct MainWidgets {
    QWidget* window = nullptr;      // `MainForm`
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

    // The start screen's choices and the share panel's button.
    QAbstractButton* startPlay = nullptr;    // `Startup_Play`
    QAbstractButton* startRecord = nullptr;  // `Startup_RecordButton`
    QAbstractButton* startKinsoro = nullptr; // `kinsorostart`
    QAbstractButton* shareGo = nullptr;      // "Share!"

    // The toolbar, in its order. Each button carries its mode tag (property "tag").
    struct Toolbar {
        QToolButton* open = nullptr;        // `ToolOpen`
        QToolButton* newProject = nullptr;  // `ToolBar_New`
        QToolButton* kinsoro = nullptr;     // `ToolButton3`
        QToolButton* stopKinsoro = nullptr; // `stopkinsoroMenu`
        QToolButton* edit = nullptr;        // `Toolbar_Edit`
        QToolButton* save = nullptr;        // `Toolbar_Save`
        QToolButton* share = nullptr;       // `ShareButton`
        QToolButton* presets = nullptr;     // `Toolbar_Presets`
        QToolButton* reset = nullptr;       // `Toolbar_Reset`
        QToolButton* clear = nullptr;       // `Toolbar_Clear`
        QToolButton* finish = nullptr;      // `Toolbar_Finish`
        QToolButton* screen = nullptr;      // `Toolbar_Screen`
        QToolButton* zoomIn = nullptr;      // `Toolbar_ZoomIn`
        QToolButton* zoomOut = nullptr;     // `Toolbar_ZoomOut`
        QToolButton* help = nullptr;        // `ToolButton1`
    } tools;
};
