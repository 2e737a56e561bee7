#pragma once

#include "playback/player.h"

#include <QStringList>

// A player whose state the test sets. It records the commands it receives; setState()
// changes the play state and status text and raises statusChanged(); setPosition() and
// setRate() raise timingChanged() (setPositionQuietly() does not).
class ScriptedPlayer : public Player {
    Q_OBJECT
public:
    using Player::Player;

    QString source() const override { return m_source; }
    void setSource(const QString& path) override;
    int playState() const override { return m_state; }
    QString statusText() const override { return m_status; }
    double position() const override { return m_position; }
    void setPosition(double seconds) override;
    QString positionText() const override;
    double duration() const override { return m_duration; }
    double rate() const override { return m_rate; }
    void setRate(double rate) override;
    void play() override;
    void pause() override;
    void stop() override;

    // Test controls.
    void setState(int state, const QString& status); // raises statusChanged()
    void setStateQuietly(int state, const QString& status);
    void setDuration(double d) { m_duration = d; }
    void setPositionQuietly(double p) { m_position = p; }
    void raiseError() { emit errorOccurred(); }
    QString outputDevice() const override { return device; }
    QString device = QStringLiteral("default"); // the audio output it plays on
    // When set, play/pause/stop change the state at once (as a real player would, later).
    bool autoState = false;

    QStringList
        calls; // "play", "pause", "stop", "setSource:<path>", "setPosition:<s>", "setRate:<r>"

private:
    QString m_source;
    int m_state = Player::Stopped;
    QString m_status;
    double m_position = 0;
    double m_duration = 0;
    double m_rate = 1;
};
