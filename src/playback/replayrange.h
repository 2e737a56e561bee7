#pragma once

#include <QObject>
#include <functional>
#include <optional>

class QAbstractButton;
class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QSlider;
class GuestClock;
class ErrorReport;
class ImageButton;
class MarkerIndexModel;
class Player;
class Transport;
struct PlaybackState;
struct Workspace;

// Geometry of the replay bar under the timeline.
namespace replaybar {
struct Bar {
    int left = 0;
    int width = 0;
};
// The bar for a range: start and end in seconds, the timeline's maximum (hundredths of a
// second) and width in pixels, and the bar's base left edge (the timeline's left edge).
// Nothing when no range is shown (end 0, end not after start, or no timeline length).
std::optional<Bar> geometry(double start, double end, int maximum, int timelineWidth, int base);
// Whether an entry time lies in the range: the start is inside, the end is not.
inline bool contains(double start, double end, double time)
{
    return start <= time && time < end;
}
} // namespace replaybar

// The replay range (an A-B loop): set start and end while listening, Play Replay loops
// from start to end, Stop Replay and Clear. The range shows as the black bar
// `Replay_Marker` under the timeline and as check marks on the entries of `ShowList`
// inside it. The jump back to the start is made by the follow tick.
//
// In follow mode the stored start and end (received from the host) are kept and Play
// Replay drives the guest clock and `JoinTimer`.
class ReplayRange : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void(const QString&)> broadcast;
        std::function<QString()> tempoText;
    };
    struct Widgets {
        QSlider& trackBar;
        QLabel& bar;             // `Replay_Marker`; its "tag" holds the base left edge
        QAbstractButton& stop;   // `MainPanel_Stop`
        MarkerIndexModel& marks; // the model of `ShowList`
    };

    ReplayRange(Workspace& workspace, PlaybackState& state, Player& player, GuestClock& guestClock,
                Transport& transport, ErrorReport& errors, Widgets widgets, Hooks hooks,
                QObject* parent = nullptr);

    Hooks& hooks() { return m_hooks; }

    // The "Replay Options" group with its five buttons.
    QGroupBox* group() const { return m_group; }
    // Adds the five replay items to the index list's pop-up menu.
    void addMenuItems(QMenu& menu);

    // Commands. setEnd(userInterface): from the button or the menu item the end is the
    // player's position, and an end before the start turns the range round; a program
    // call keeps the stored range and only marks, draws and sends it again.
    void setStart();
    void setEnd(bool userInterface);
    void clear();
    void playReplay();
    void stopReplay();
    // After every change of the marker list: marks and bar again (set end as a program
    // call).
    void refreshMarks();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void markEntries();
    void refreshBar();
    void send(const QString& message);
    QString tempoText() const;
    bool followMode() const;

    Workspace& m_ws;
    PlaybackState& m_state;
    Player& m_player;
    GuestClock& m_clock;
    Transport& m_transport;
    ErrorReport& m_errors;
    Widgets m_w;
    Hooks m_hooks;
    QGroupBox* m_group;
};
