#pragma once

#include "playback/player.h"

#include <QByteArray>
#include <QList>
#include <QPair>

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <optional>

struct mpv_handle;
struct mpv_event;

// The player on libmpv, audio only (no video output, no terminal, config or input
// handling). Audio goes to FOLIVANT_AUDIO_OUTPUT when that is set, otherwise to the first
// of pulse, alsa and null that works, so a machine without sound still runs (silently).
//
// Contract:
// - libmpv's events are drained on the GUI thread; statusChanged() and errorOccurred() are
//   raised from there, never from inside a command. statusChanged() is raised when the
//   (state, status text) pair differs from the one last reported; errorOccurred() comes
//   before it. play(), pause() and stop() may change playState() at once, the event
//   follows. State and status read in a handler are always the current ones.
// - States and status texts: nothing loaded: Other, "". Opening a source: Other,
//   "Opening". Opened and not yet played: Ready (10), "Ready". Playing (3), "Playing"
//   only while audio actually runs. Paused (2), "Paused". Stopped (1), "Stopped" after
//   stop() and when playback reaches the end: the position then stays at the duration and
//   the next play() starts again from 0. A source that cannot be opened: Other, "Error",
//   and errorOccurred() is raised; source() still returns the text.
// - setSource() opens paused. play() during opening starts playback once opened.
// - stop() pauses and seeks to 0. play() while Stopped or Paused plays on from the
//   position; pause() while Ready keeps Ready.
// - position() is cheap. After setPosition(t) it returns t until playback runs on from t
//   (libmpv itself reads a paused seek up to ~0.15 s short once the file has played);
//   while playing forward it never runs backwards (a speed change makes libmpv's own
//   position step back by up to a few tenths of a second; that step is held). It never
//   exceeds the duration. While audio runs it is where the output is at the moment of the
//   read (libmpv's "audio-pts"), not the position libmpv renews about every 50 ms.
// - setPosition() and setRate() raise timingChanged() before they return.
// - rate changes the speed with the pitch kept, audible up to 8x.
// - Under a non-"C" LC_NUMERIC libmpv refuses to start: the constructor switches the
//   process's LC_NUMERIC to "C" (libmpv parses numbers with the C library for its whole
//   life). The program's own number texts do not depend on the C locale.
class MpvPlayer : public Player {
    Q_OBJECT
public:
    // libmpv options (name, value) set after the defaults, so they override them; tests
    // use them to write the audio to a file (ao=pcm).
    using Options = QList<QPair<QByteArray, QByteArray>>;

    explicit MpvPlayer(QObject* parent = nullptr);
    explicit MpvPlayer(const Options& extraOptions, QObject* parent = nullptr);
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
    // "<audio output>/<device>", e.g. "pulse/auto" or "alsa/hdmi:CARD=PCH".
    QString outputDevice() const override;
    void setRate(double rate) override;
    void play() override;
    void pause() override;
    void stop() override;

    // False when libmpv could not be started; every command is then harmless and a source
    // raises errorOccurred().
    bool isAvailable() const { return m_mpv != nullptr; }
    // True from setPosition() until libmpv has finished that seek.
    bool seekPending() const;
    // libmpv's own playback position (time-pos, renewed about every 50 ms while playing),
    // without the hold after a seek and the guard against running backwards; 0 when
    // nothing is loaded.
    double enginePosition() const;
    // libmpv's reason for the last failed open ("loading failed", "unrecognized file
    // format", ...); empty when the source opened.
    QString errorText() const { return m_errorText; }

private:
    static void wakeup(void* self);
    void drainEvents();
    void postDrain();
    void handleEvent(const mpv_event& event);
    void refreshFlags();
    void recompute();
    void issueSeek(double seconds);
    double outputPosition() const;
    void fail(const QString& reason);
    void setPaused(bool paused);
    bool command(std::initializer_list<const char*> args);

    mpv_handle* m_mpv = nullptr;
    std::atomic<bool> m_drainPosted{false};

    QString m_source;
    int m_state = Player::Other;
    QString m_status;
    int m_reportedState = Player::Other;
    QString m_reportedStatus;
    int m_pendingErrors = 0;
    QString m_errorText;
    double m_rate = 1.0;

    // What is known about the loaded file.
    std::int64_t m_entryId = -1;      // libmpv's playlist entry of the current source
    std::int64_t m_startedEntry = -1; // the entry libmpv is opening or playing
    bool m_loaded = false;
    bool m_failed = false;
    bool m_fresh = true;    // opened and never played: reported as Ready
    bool m_stopped = false; // stop() or the end reached, until play()
    bool m_paused = true;
    bool m_coreIdle = true;
    bool m_eof = false;
    double m_duration = 0;

    // Seeks: the requested position is held until libmpv confirms it and playback runs.
    mutable std::optional<double> m_hold;
    mutable double m_guard = 0; // the highest position reported since the last seek
    int m_seeksInFlight = 0;    // seek commands whose reply has not arrived
    bool m_seekConfirmed = true;
    bool m_seekDeferred = false; // requested while opening, sent once opened
};
