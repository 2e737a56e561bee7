#pragma once

#include "platform/hotkeys.h"

#include <QAbstractNativeEventFilter>
#include <array>
#include <cstddef>
#include <cstdint>

class KeyFilterHotKeys;
struct xcb_connection_t;

// Hot keys grabbed on the X11 root window, so a key press reaches Folivant while another
// program has the focus. Each active key is grabbed once per lock-modifier mask (none,
// NumLock, CapsLock, both), so the lock keys do not break it; only presses without
// Shift, Control, Alt or Super count. A key another program has grabbed falls back to
// the in-program key filter: it then acts only while Folivant has the focus, and the
// grab is tried again the next time the key is activated.
class X11HotKeys : public HotKeys, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit X11HotKeys(QObject* parent = nullptr);
    ~X11HotKeys() override;

    // True when the application runs on the xcb platform with a live X display.
    static bool isAvailable();

    void setActive(HotKey key, bool active) override;
    bool isActive(HotKey key) const override;
    // True while the key is active and grabbed system-wide; false for an inactive key
    // and for an active key served by the in-program key filter.
    bool isGrabbed(HotKey key) const;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct KeyState {
        std::uint8_t keyCode = 0; // 0: the key has no code in the current keyboard map
        bool grabbed = false;
        bool down = false;             // pressed and not yet released
        std::uint32_t releaseTime = 0; // time of the last release, to spot repeats
    };

    KeyState& state(HotKey key) { return m_keys[static_cast<std::size_t>(key)]; }
    const KeyState& state(HotKey key) const { return m_keys[static_cast<std::size_t>(key)]; }
    bool grab(HotKey key);
    void ungrab(HotKey key);
    bool handleKey(std::uint8_t type, std::uint8_t keyCode, std::uint16_t modifiers,
                   std::uint32_t time);

    xcb_connection_t* m_connection = nullptr;
    std::uint32_t m_root = 0;
    std::array<KeyState, 4> m_keys{};
    KeyFilterHotKeys* m_fallback = nullptr;
};
