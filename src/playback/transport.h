#pragma once

#include <QObject>
#include <functional>

class QAbstractButton;
class QSlider;
class GuestClock;
class Player;
struct PlaybackState;
struct Workspace;

// Texts of the session messages the transport, replay and tempo commands send. Positions
// are rounded to 5 decimals, written in the general number form.

// The transport of the main window: Play, Pause (two buttons and the Space key), Stop,
// Rewind, the index list's Play Song / Stop Song, and the timeline `TrackBar`.
//
// Outside follow mode the commands drive the player; in follow mode Play, Pause, Stop and
// Rewind drive the guest clock and `JoinTimer`. Every command tells the session through
// the broadcast hook after its own work (the broadcast sends only while hosting).
//
// The timeline is held from mouse-down to mouse-up: the follow tick then leaves it alone.
// A press while playing pauses. A click on the groove puts the handle where the click
// was; the player seeks exactly once, when the click or the drag ends.
class Transport : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void(const QString&)> broadcast;
        // The text of the tempo field `PitchEdit`.
        std::function<QString()> tempoText;
        // The replay range's Stop Replay (run by Play Song).
        std::function<void()> stopReplay;
    };
    struct Widgets {
        QAbstractButton& play;  // `MainPanel_Play`
        QAbstractButton& pause; // `MainPanel_Pause`
        QSlider& trackBar;      // `TrackBar`
    };

    Transport(Workspace& workspace, PlaybackState& state, Player& player, GuestClock& guestClock,
              Widgets widgets, Hooks hooks, QObject* parent = nullptr);

    Hooks& hooks() { return m_hooks; }

    void play();
    void pause();
    void stop();
    void rewind();
    void playSong();
    // The Space key: Pause, but only while `MainPanel_Pause` is enabled.
    void pauseKey();

    // Timeline: mouse button down and up on `TrackBar`, and the seek at the end of a drag
    // or click. fromControl: the control reported it (a user's drag always does); only
    // then the new position is sent.
    void timelinePressed();
    void timelineReleased();
    void timelineSeek(bool fromControl = true);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void send(const QString& message);
    QString tempoText() const;
    bool loaded() const;

    Workspace& m_ws;
    PlaybackState& m_state;
    Player& m_player;
    GuestClock& m_clock;
    Widgets m_w;
    Hooks m_hooks;
    bool m_pressed = false;
};
