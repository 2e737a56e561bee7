#include "platform/keyfilterhotkeys.h"

#include <QCoreApplication>
#include <QKeyEvent>

KeyFilterHotKeys::KeyFilterHotKeys(QObject* parent) : HotKeys(parent)
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
    if (active)
        m_active.insert(key);
    else
        m_active.remove(key);
}

bool KeyFilterHotKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return HotKeys::eventFilter(watched, event);
    // Only the window-level delivery counts, so one press is reported once.
    if (!watched->isWidgetType() && !watched->inherits("QWindow"))
        return false;
    if (!watched->inherits("QWindow"))
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    for (HotKey k : {HotKey::Pause, HotKey::SwitchPage, HotKey::Enter, HotKey::Bpm}) {
        if (key->key() == qtKey(k) && m_active.contains(k)) {
            if (event->type() == QEvent::KeyPress && !key->isAutoRepeat())
                emit pressed(k);
            event->accept();
            return true;
        }
    }
    return false;
}
