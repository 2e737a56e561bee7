#pragma once

#include <QObject>
#include <functional>

class QAbstractButton;
class QLabel;
class QSlider;
class Dialogs;
class Player;
struct PlaybackState;

// The player's two event handlers: the status change (which primes a freshly loaded
// source: ready leads to play, the first playing state pauses at 0 and sets the timeline
// length) with the transport buttons' enabled states, and the error handler.
class PlayerEvents : public QObject {
    Q_OBJECT
public:
    struct Widgets {
        QLabel& status; // `MPlayer_Status`
        QSlider& trackBar;
        QAbstractButton& pause;
        QAbstractButton& stop;
        QAbstractButton& play;
        QAbstractButton& rewind;
    };
    struct Hooks {
        std::function<void(const QString&)> broadcast;
        // Writes the tempo field (its change handler applies the rate).
        std::function<void(const QString&)> setTempoText;
    };

    PlayerEvents(Player& player, PlaybackState& state, Widgets widgets, Dialogs& dialogs,
                 Hooks hooks, QObject* parent = nullptr);

    Hooks& hooks() { return m_hooks; }

    void MPlayerStatusChange();
    void MPlayerError();

    // Enabled state of Pause, Stop, Play and Rewind for a play state.
    void setButtons(int playState);

private:
    Player& m_player;
    PlaybackState& m_state;
    Widgets m_w;
    Dialogs& m_dialogs;
    Hooks m_hooks;
};
