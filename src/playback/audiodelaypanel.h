#pragma once

#include "playback/audiodelay.h"
#include "playback/delaysettings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QPushButton;
class QSpinBox;
class QTemporaryDir;
class QWidget;
class LinkLabel;
class Player;
struct PlaybackState;

// The audio delay setting: the link "Audio Delay" (`MainPanel_AudioDelay`) in the bottom
// row opens the panel `AudioDelayPanel` over the main panel, with the delay in
// milliseconds (`AudioDelay_Value`, -200 to 1000 in steps of 5), the audio output it
// belongs to, and "Calibrate".
//
// The delay shifts the marker, the page turns and the clicks of manual marking (the
// playback state's audioDelay, in seconds). It is kept per audio output in the program's
// settings: when the player's output changes, that output's delay takes over. 0 changes
// nothing.
//
// Calibrate plays 16 clicks at 100 bpm through a player of its own; each tap (SPACE or the
// pedal, handed in through tap()) notes that player's position. When the clicks are over,
// the median offset of the taps becomes the delay and the spread is shown.
class AudioDelayPanel : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        // Makes the player the clicks are played with.
        std::function<std::unique_ptr<Player>()> makeClickPlayer;
        // The delay changed: whatever was planned by the position is planned again.
        std::function<void()> delayChanged;
    };

    AudioDelayPanel(PlaybackState& state, Player& player, QWidget& mainPanel, Hooks hooks,
                    QObject* parent = nullptr);
    ~AudioDelayPanel() override;

    LinkLabel* opener() const { return m_opener; }
    QWidget* panel() const { return m_panel; }
    QSpinBox* value() const { return m_value; }
    QTimer& calibrationTimer() { return m_calibrationTimer; }

    void togglePanel();
    // Takes the delay of the player's current output (after a change of output).
    void followOutput();

    void startCalibration();
    bool calibrating() const { return m_clicks != nullptr; }
    void tap();
    // Ends the calibration once the clicks are over (`CalibrationTimer`).
    void CalibrationTimerTimer();
    void cancelCalibration();

private:
    void valueChanged(int ms);
    void finishCalibration();
    void showStatus(const QString& text);
    void place();

    PlaybackState& m_state;
    Player& m_player;
    Hooks m_hooks;
    DelaySettings m_settings;
    QString m_device;
    LinkLabel* m_opener;
    QWidget* m_panel;
    QSpinBox* m_value;
    QLabel* m_deviceLabel;
    QLabel* m_status;
    QPushButton* m_calibrate;
    QTimer m_calibrationTimer;
    QElapsedTimer m_started;
    std::unique_ptr<Player> m_clicks;
    std::unique_ptr<QTemporaryDir> m_clickDir;
    std::vector<double> m_taps;
};
