#pragma once

#include "playback/player.h"

struct mpv_handle;

// The player on libmpv, audio only. Events are drained on the GUI thread.
class MpvPlayer : public Player {
    Q_OBJECT
public:
    explicit MpvPlayer(QObject* parent = nullptr);
    ~MpvPlayer() override;

    QString source() const override { return m_source; }
    void setSource(const QString& path) override;
    int playState() const override { return m_state; }
    QString statusText() const override { return m_status; }
    double position() const override;
    void setPosition(double seconds) override;
    QString positionText() const override;
    double duration() const override;
    double rate() const override { return m_rate; }
    void setRate(double rate) override;
    void play() override;
    void pause() override;
    void stop() override;

private:
    mpv_handle* m_mpv = nullptr;
    QString m_source;
    int m_state = Player::Other;
    QString m_status;
    double m_rate = 1.0;
};
