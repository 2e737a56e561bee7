#pragma once

#include "platform/clock.h"
#include "platform/mainwidgets.h"
#include "playback/playbackstate.h"
#include "project/workspace.h"

#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

class Dialogs;
class ErrorReport;
class Follower;
class GuestClock;
class HotKeyFlags;
class HotKeys;
class MarkerIndexModel;
class Opening;
class Pages;
class Player;
class PlayerEvents;
class SheetView;
class Shell;
class ZoomAndMarker;
class Transport;
class ReplayRange;
class Tempo;
class AudioDelayPanel;
class FindBars;
class Player;
class ManualMarking;
class AutomaticMarking;
class Wizard;
class RecordingAnalysis;
class AlignToRecording;
class SessionHost;
class SessionPanel;
class SessionGuest;
class PedalTempo;

// What the main window talks to outside itself; tests hand in their doubles.
struct Services {
    Player* player = nullptr;
    Dialogs* dialogs = nullptr;
    HotKeys* hotKeys = nullptr;
    Shell* shell = nullptr;
    std::function<void()> quit;    // ends the program (the default quits the application)
    Clock clock;                   // the local time of day (the default reads the system clock)
    QString userGuide;             // the guide "Help" opens (the default: paths::userGuide())
    MonotonicClock monotonic = {}; // the monotonic clock (the default: steadyClock())
    // Makes the player of the audio delay's calibration clicks (the default: libmpv's).
    std::function<std::unique_ptr<Player>()> makeClickPlayer = {};
};

// The main window: owns the open project, the modes, the playback state and the
// widgets, and composes one controller per room. The wiring between the rooms is made
// here, in one place.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(Services services, QWidget* parent = nullptr);
    ~MainWindow() override;

    Workspace& workspace() { return m_ws; }
    PlaybackState& playbackState() { return m_state; }
    const MainWidgets& widgets() const { return m_w; }
    SheetView& sheet() { return *m_sheet; }
    Follower& follower() { return *m_follower; }
    Pages& pages() { return *m_pages; }
    Opening& opening() { return *m_opening; }
    ZoomAndMarker& zoom() { return *m_zoom; }
    HotKeyFlags& hotKeyFlags() { return *m_hotKeyFlags; }
    MarkerIndexModel& indexModel() { return *m_indexModel; }
    QTimer& joinTimer() { return m_joinTimer; }
    GuestClock& guestClock() { return *m_guestClock; }
    PlayerEvents& playerEvents() { return *m_playerEvents; }
    Player& player() { return m_player; }
    Dialogs& dialogs() { return m_dialogs; }
    ErrorReport& errors() { return *m_errors; }
    const Services& services() const { return m_services; }

    // The rooms built on the shell; null until their room is built.
    Transport* transport() { return m_transport; }
    ReplayRange* replay() { return m_replay; }
    Tempo* tempo() { return m_tempo; }
    AudioDelayPanel* audioDelay() { return m_audioDelay; }
    ManualMarking* manualMarking() { return m_manual; }
    AutomaticMarking* automaticMarking() { return m_automatic; }
    Wizard* wizard() { return m_wizard; }
    RecordingAnalysis* recordingAnalysis() { return m_analysis; }
    AlignToRecording* alignToRecording() { return m_align; }
    SessionHost* sessionHost() { return m_host; }
    SessionGuest* sessionGuest() { return m_guest; }
    PedalTempo* pedal() { return m_pedal; }

    // Shows and hides controls by the current modes.
    void refreshModes();
    // Sends a session message to every guest (only while hosting).
    void broadcast(const QString& message);
    void setBroadcast(std::function<void(const QString&)> send) { m_broadcast = std::move(send); }
    // Rebuilds `ShowList` ("1" to "n") after a change of the marker list.
    void rebuildIndex();
    // Centres a panel in a container (integer division, as the layout does).
    static void centre(QWidget* panel, const QWidget* container);

    // Start-screen and toolbar commands.
    void kinsoroStart();
    void fullScreenClick();
    void shareClick();
    void helpClick();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void wire();
    // Each room is built and wired in its own file (room_<name>.cpp).
    void buildPlaybackRooms();  // transport, replay range, tempo
    void buildAuthoringRooms(); // manual and automatic marking, wizard
    void buildSessionRooms();   // hosting and joining
    void buildPedalRoom();
    void hotKeyPressed(int key);
    // The timeline's width follows the bottom panel's.
    void layoutTimeline();

    Services m_services;
    Player& m_player;
    Dialogs& m_dialogs;
    Workspace m_ws;
    PlaybackState m_state;
    SheetView* m_sheet;
    MainWidgets m_w;
    std::unique_ptr<ErrorReport> m_errors;
    std::unique_ptr<MarkerIndexModel> m_indexModel;
    std::unique_ptr<HotKeyFlags> m_hotKeyFlags;
    QTimer m_joinTimer;
    GuestClock* m_guestClock;
    ZoomAndMarker* m_zoom;
    Follower* m_follower;
    PlayerEvents* m_playerEvents;
    Pages* m_pages;
    Opening* m_opening;
    Transport* m_transport = nullptr;
    ReplayRange* m_replay = nullptr;
    Tempo* m_tempo = nullptr;
    AudioDelayPanel* m_audioDelay = nullptr;
    FindBars* m_findBars = nullptr;
    ManualMarking* m_manual = nullptr;
    AutomaticMarking* m_automatic = nullptr;
    Wizard* m_wizard = nullptr;
    RecordingAnalysis* m_analysis = nullptr;
    AlignToRecording* m_align = nullptr;
    SessionHost* m_host = nullptr;
    SessionGuest* m_guest = nullptr;
    PedalTempo* m_pedal = nullptr;
    SessionPanel* m_sessionPanel = nullptr;
    // Hot-key commands set by the rooms that own them.
    std::function<void()> m_onPauseKey;
    std::function<void()> m_onEnterKey;
    std::function<void()> m_onBpmKey;
    // The session broadcast, set by the session room.
    std::function<void(const QString&)> m_broadcast;
    bool m_layoutDone = false;
};

using TMainForm = MainWindow;
