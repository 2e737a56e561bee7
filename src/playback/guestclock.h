#pragma once

#include "platform/clock.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <deque>

// The guest clock of a Kinsoro guest: the host's playback position as this guest keeps
// it, in seconds. It runs while `JoinTimer` runs and advances at the guest tempo by a
// monotonic clock, so a window thread that is busy for a while loses no time (counting
// timer ticks would).
//
// Contract:
// - set() is a jump (the host's commands: cue, rewind, replay start): the value changes at
//   once, whatever it was.
// - follow() takes a position the host reports while it plays ("Z=", latency already
//   added). A report can only be late, never early, so each one says "the host is at least
//   here"; the clock weighs it with the reports of the last two seconds, carried forward
//   at the tempo, and takes the latest of them as the host's position. The difference is
//   spread over a quarter of a second (jitter moves the clock smoothly, never backwards);
//   a difference that the tempo would take more than a fifth of a second to play is taken
//   at once. While the clock stands still a report sets it outright. Two reports of the
//   same place, a moment apart, say that the host stands still (its recording ended, which
//   sends no pause): the clock then holds that place, until a report elsewhere or a jump
//   or start.
// - start() and stop() run and stop the clock and `JoinTimer` together. If `JoinTimer` is
//   started or stopped directly, the clock follows it from the next read.
// - changed() is raised after every jump, start, stop, rate change and correction, so that
//   whoever plans ahead by the clock plans again.
class GuestClock : public QObject {
    Q_OBJECT
public:
    GuestClock(QTimer& joinTimer, MonotonicClock clock, QObject* parent = nullptr);

    QTimer& joinTimer() { return *m_timer; }

    double value() const;
    bool running() const;
    // Seconds of playing time per second (the guest tempo).
    double rate() const { return m_rate; }

    void set(double seconds);
    void start();
    void stop();
    // A rate that is not a positive number is ignored.
    void setRate(double rate);
    void follow(double hostSeconds);

    // How long a correction is spread, and the difference taken at once.
    static constexpr double kSlewSeconds = 0.25;
    static constexpr double kJumpSeconds = 0.2;
    // How long a host report counts.
    static constexpr double kReportSeconds = 2.0;

signals:
    void changed();

private:
    struct Report {
        double position;
        qint64 at;
    };
    void sync() const;
    double valueAt(qint64 at) const;
    void anchor(double value, qint64 at) const;

    // Guarded: the window may destroy its timer before this clock.
    QPointer<QTimer> m_timer;
    MonotonicClock m_clock;
    double m_rate = 1.0;
    // The value at m_anchorAt, and the correction that is spread from there on. Mutable:
    // a read brings the clock in line with a `JoinTimer` started or stopped directly.
    mutable double m_anchorValue = 0;
    mutable qint64 m_anchorAt = 0;
    mutable double m_slew = 0;
    mutable bool m_running = false;
    mutable bool m_still = false; // the host stands still while `JoinTimer` runs
    mutable std::deque<Report> m_reports;
};
