#pragma once

#include "platform/hotkeys.h"

#include <map>

// Hot keys that the test presses by calling press(); a press of an inactive key is lost,
// as with the real grabs.
class FakeHotKeys : public HotKeys {
public:
    void setActive(HotKey key, bool active) override { m_active[key] = active; }
    bool isActive(HotKey key) const override
    {
        const auto it = m_active.find(key);
        return it != m_active.end() && it->second;
    }
    bool press(HotKey key)
    {
        if (!isActive(key))
            return false;
        emit pressed(key);
        return true;
    }

private:
    std::map<HotKey, bool> m_active;
};
