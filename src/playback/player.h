#pragma once

#include <QObject>
#include <QString>

// The media player as the program uses it. Positions and durations are seconds; rate 1
// is real time. With nothing loaded: source empty, position 0, status text empty.
class Player : public QObject {
    Q_OBJECT
public:
    // Play-state codes the program tests; any other value counts as other.
    enum State { Other = 0, Stopped = 1, Paused = 2, Playing = 3, ScanForward = 4, Ready = 10 };

    using QObject::QObject;

    // Writing a path opens it; writing the empty text unloads. Reading gives back exactly
    // the text last written.
    virtual QString source() const = 0;
    virtual void setSource(const QString& path) = 0;

    virtual int playState() const = 0;
    // "Playing" while playing; empty while nothing is loaded; changes with the state.
    virtual QString statusText() const = 0;

    // Writing seeks, also while paused or stopped; the next read returns the new position.
    virtual double position() const = 0;
    virtual void setPosition(double seconds) = 0;
    // minutes and seconds, "00:00" at the start.
    virtual QString positionText() const = 0;
    // Valid once the media has been opened.
    virtual double duration() const = 0;

    virtual double rate() const = 0;
    virtual void setRate(double rate) = 0;

    // The audio output the sound leaves through, as a name that tells outputs apart (the
    // audio delay is kept per output).
    virtual QString outputDevice() const { return QStringLiteral("default"); }

    // Asynchronous: the state changes later and is reported through statusChanged().
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;

signals:
    // Raised whenever the play state or the status text changes.
    void statusChanged();
    // Raised when the source fails to open or play.
    void errorOccurred();
    // Raised by setPosition() and setRate(): the position no longer runs on from where it
    // was, so whatever was planned by it is planned again.
    void timingChanged();
};
