#include "platform/x11hotkeys.h"

#include "platform/keyfilterhotkeys.h"

#include <QByteArray>
#include <QGuiApplication>
#include <cstdlib>
#include <xcb/xcb.h>

// Xlib last: its macros (KeyPress, None, Bool, ...) would clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

constexpr std::array<HotKey, 4> allKeys{HotKey::Pause, HotKey::SwitchPage, HotKey::Enter,
                                        HotKey::Bpm};

// A grab covers one exact modifier state, so each key is grabbed with every combination
// of the lock keys: without NumLock (Mod2) and CapsLock (Lock) in the list, a press with
// either lock on would not be caught.
constexpr std::array<std::uint16_t, 4> lockMasks{0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                                 XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

// Modifiers that make a press something other than the hot key (Shift+Space, Alt+Tab, ...).
constexpr std::uint16_t otherModifiers = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL |
                                         XCB_MOD_MASK_1 | XCB_MOD_MASK_3 | XCB_MOD_MASK_4 |
                                         XCB_MOD_MASK_5;

unsigned long keySym(HotKey key)
{
    switch (key) {
    case HotKey::Pause:
        return XK_space;
    case HotKey::SwitchPage:
        return XK_Right;
    case HotKey::Enter:
        return XK_Tab;
    case HotKey::Bpm:
        return XK_F6;
    }
    return 0;
}

QNativeInterface::QX11Application* x11Application()
{
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
}

} // namespace

bool X11HotKeys::isAvailable()
{
    // The offscreen platform offers the interface too, but without a display.
    const auto* x11 = x11Application();
    return x11 && x11->display() && x11->connection();
}

X11HotKeys::X11HotKeys(QObject* parent)
    : HotKeys(parent)
    , m_fallback(new KeyFilterHotKeys(this))
{
    connect(m_fallback, &HotKeys::pressed, this, &HotKeys::pressed);
    auto* x11 = x11Application();
    Display* display = x11 ? x11->display() : nullptr;
    if (!display || !x11->connection())
        return; // every key is served by the key filter
    m_connection = x11->connection();
    m_root = static_cast<std::uint32_t>(DefaultRootWindow(display));
    for (HotKey key : allKeys)
        state(key).keyCode = XKeysymToKeycode(display, keySym(key));
    qGuiApp->installNativeEventFilter(this);
}

X11HotKeys::~X11HotKeys()
{
    // Without the application the X connection is already closed, and with it the grabs.
    if (!m_connection || !qGuiApp)
        return;
    qGuiApp->removeNativeEventFilter(this);
    for (HotKey key : allKeys)
        ungrab(key);
    xcb_flush(m_connection);
}

void X11HotKeys::setActive(HotKey key, bool active)
{
    KeyState& st = state(key);
    st.down = false;
    st.releaseTime = 0;
    if (!active) {
        ungrab(key);
        m_fallback->setActive(key, false);
        return;
    }
    if (st.grabbed)
        return;
    // A key that fell back before is tried again: the other program may have let it go.
    const bool grabbed = grab(key);
    m_fallback->setActive(key, !grabbed);
}

bool X11HotKeys::isActive(HotKey key) const
{
    return state(key).grabbed || m_fallback->isActive(key);
}

bool X11HotKeys::isGrabbed(HotKey key) const
{
    return state(key).grabbed;
}

bool X11HotKeys::grab(HotKey key)
{
    KeyState& st = state(key);
    if (!m_connection || st.keyCode == 0)
        return false;
    std::array<xcb_void_cookie_t, lockMasks.size()> cookies{};
    for (std::size_t i = 0; i < lockMasks.size(); ++i)
        cookies[i] = xcb_grab_key_checked(m_connection, 1, m_root, lockMasks[i], st.keyCode,
                                          XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    // A key another client holds fails with BadAccess; the checked requests report it
    // here instead of through the application's error handler.
    bool ok = true;
    for (const xcb_void_cookie_t& cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(m_connection, cookie)) {
            ok = false;
            std::free(error);
        }
    }
    if (!ok) {
        // Let go of the masks that did succeed; the key filter takes the key instead.
        for (std::uint16_t mask : lockMasks)
            xcb_ungrab_key(m_connection, st.keyCode, m_root, mask);
        xcb_flush(m_connection);
    }
    st.grabbed = ok;
    return ok;
}

void X11HotKeys::ungrab(HotKey key)
{
    KeyState& st = state(key);
    if (!m_connection || !st.grabbed)
        return;
    for (std::uint16_t mask : lockMasks)
        xcb_ungrab_key(m_connection, st.keyCode, m_root, mask);
    xcb_flush(m_connection);
    st.grabbed = false;
}

bool X11HotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || !message)
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const std::uint8_t type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    // Press and release share one layout. The event window is the root window while
    // another program has the focus and Folivant's own window while it has it, so only
    // the key code is compared.
    const auto* key = static_cast<const xcb_key_press_event_t*>(message);
    return handleKey(type, key->detail, key->state, key->time);
}

bool X11HotKeys::handleKey(std::uint8_t type, std::uint8_t keyCode, std::uint16_t modifiers,
                           std::uint32_t time)
{
    for (HotKey hotKey : allKeys) {
        KeyState& st = state(hotKey);
        if (!st.grabbed || st.keyCode != keyCode)
            continue;
        if (type == XCB_KEY_RELEASE) {
            if (!st.down)
                return false; // its press was not taken as the hot key
            st.down = false;
            st.releaseTime = time;
            return true;
        }
        if (modifiers & otherModifiers)
            return false;
        // Held keys repeat either as presses without releases or as release/press pairs
        // with one time stamp; both report the stroke once.
        const bool repeat = st.down || (st.releaseTime != 0 && time == st.releaseTime);
        st.down = true;
        if (!repeat)
            emit pressed(hotKey);
        return true;
    }
    return false;
}
