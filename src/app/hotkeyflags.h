#pragma once

#include <QObject>

class HotKeys;

// The remembered hot-key flags: the wanted active state of Space, Right Arrow and Tab.
// While another program has the focus the three keys are released so that they reach it;
// when Folivant is activated again each key is active exactly when its flag is set.
class HotKeyFlags : public QObject {
    Q_OBJECT
public:
    explicit HotKeyFlags(HotKeys& keys, QObject* parent = nullptr);

    bool pause = false;
    bool switchPage = false;
    bool enter = false;

    // Sets the three keys together; the flags stay as they are.
    void enableAll(bool on);
    // Sets the three flags and the keys on (or off).
    void setAll(bool on);
    // Makes each key active exactly when its flag is set.
    void applyFlags();
    void deactivated();
    void activated() { applyFlags(); }
    // The application's state changes: the flags are recorded once, when it stops being
    // the active program (a platform may report "inactive" and then "hidden").
    void stateChanged(Qt::ApplicationState state);

private:
    HotKeys& m_keys;
    bool m_active = true;
};
