#include "platform/keyfilterhotkeys.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <array>

namespace {

constexpr std::array<HotKey, 4> allKeys{HotKey::Pause, HotKey::SwitchPage, HotKey::Enter,
                                        HotKey::Bpm};

} // namespace

KeyFilterHotKeys::KeyFilterHotKeys(QObject* parent)
    : HotKeys(parent)
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->installEventFilter(this);
}

KeyFilterHotKeys::~KeyFilterHotKeys()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

int KeyFilterHotKeys::qtKey(HotKey key)
{
    switch (key) {
    case HotKey::Pause:
        return Qt::Key_Space;
    case HotKey::SwitchPage:
        return Qt::Key_Right;
    case HotKey::Enter:
        return Qt::Key_Tab;
    case HotKey::Bpm:
        return Qt::Key_F6;
    }
    return 0;
}

void KeyFilterHotKeys::setActive(HotKey key, bool active)
{
    m_down.remove(key);
    if (active)
        m_active.insert(key);
    else
        m_active.remove(key);
}

const HotKey* KeyFilterHotKeys::activeKey(int qtKeyCode) const
{
    for (const HotKey& key : allKeys) {
        if (qtKeyCode == qtKey(key) && m_active.contains(key))
            return &key;
    }
    return nullptr;
}

bool KeyFilterHotKeys::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::ApplicationStateChange) {
        // A key released while another program had the focus never reports its release.
        if (static_cast<QApplicationStateChangeEvent*>(event)->applicationState() !=
            Qt::ApplicationActive)
            m_down.clear();
        return false;
    }
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
        return HotKeys::eventFilter(watched, event);
    const auto* keyEvent = static_cast<QKeyEvent*>(event);
    const HotKey* key = activeKey(keyEvent->key());
    if (!key)
        return false;
    if (type == QEvent::KeyRelease) {
        // Only the release of a press taken here is taken too, whatever the modifiers
        // are by then.
        if (!m_down.contains(*key))
            return false;
        if (!keyEvent->isAutoRepeat())
            m_down.remove(*key);
        return true;
    }
    if (keyEvent->modifiers() &
        (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    // Accepting the override keeps the program's shortcuts from taking the key first;
    // the key press that follows comes here.
    event->accept();
    if (type == QEvent::ShortcutOverride)
        return true;
    // A press is taken by its first receiver (the window, or a widget when sent to one
    // directly), so it is reported once and never forwarded to the focused widget. A held
    // key repeats with the repeat flag, or on X11 as further presses without releases.
    const bool repeat = keyEvent->isAutoRepeat() || m_down.contains(*key);
    m_down.insert(*key);
    if (!repeat)
        emit pressed(*key);
    return true;
}
