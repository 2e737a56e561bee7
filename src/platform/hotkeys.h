#pragma once

#include <QObject>
#include <memory>

class QWidget;

// The system-wide hot keys: Space (pause), Right Arrow (next page), Tab (caption) and
// F6 (pedal stroke). Each has an active switch; while active, its key press is taken
// and reported through pressed(). All keys start inactive.
enum class HotKey { Pause, SwitchPage, Enter, Bpm };

class HotKeys : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void setActive(HotKey key, bool active) = 0;
    virtual bool isActive(HotKey key) const = 0;

signals:
    void pressed(HotKey key);
};

// On X11 (the xcb platform) keys are grabbed on the root window, so they reach Folivant
// while another program has the focus; a key another program holds falls back to the
// in-program key filter. Elsewhere the in-program key filter serves all keys.
std::unique_ptr<HotKeys> createHotKeys(QObject* parent = nullptr);
