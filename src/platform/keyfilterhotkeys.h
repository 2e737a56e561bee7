#pragma once

#include "platform/hotkeys.h"

#include <QSet>

// Hot keys taken by an application-wide key filter: they act while Folivant has the
// keyboard focus. Used where no system-wide grab is possible, and for keys another
// program holds.
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
    QSet<HotKey> m_active;
};
