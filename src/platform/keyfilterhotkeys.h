#pragma once

#include "platform/hotkeys.h"

#include <QSet>

// Hot keys taken by an application-wide key filter: they act while Folivant has the
// keyboard focus. Used where no system-wide grab is possible, and for keys another
// program holds. A press of an active key without Shift, Control, Alt or Meta is
// reported once (a held key's repeats are swallowed silently), reaches no widget and
// fires no shortcut of the program; inactive keys pass through untouched.
class KeyFilterHotKeys : public HotKeys {
    Q_OBJECT
public:
    explicit KeyFilterHotKeys(QObject* parent = nullptr);
    ~KeyFilterHotKeys() override;
    void setActive(HotKey key, bool active) override;
    bool isActive(HotKey key) const override { return m_active.contains(key); }

    // Qt key code of a hot key.
    static int qtKey(HotKey key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The active hot key with this Qt key code, or nullptr.
    const HotKey* activeKey(int qtKeyCode) const;

    QSet<HotKey> m_active;
    QSet<HotKey> m_down; // active keys pressed and not yet released
};
