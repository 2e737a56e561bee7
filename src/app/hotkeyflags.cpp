#include "app/hotkeyflags.h"

#include "platform/hotkeys.h"

#include <QGuiApplication>

HotKeyFlags::HotKeyFlags(HotKeys& keys, QObject* parent)
    : QObject(parent)
    , m_keys(keys)
{
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::applicationStateChanged, this, &HotKeyFlags::stateChanged);
    }
}

void HotKeyFlags::stateChanged(Qt::ApplicationState state)
{
    if (state == Qt::ApplicationActive) {
        m_active = true;
        activated();
    } else if (m_active && (state == Qt::ApplicationInactive || state == Qt::ApplicationHidden)) {
        m_active = false;
        deactivated();
    }
}

void HotKeyFlags::enableAll(bool on)
{
    m_keys.setActive(HotKey::Pause, on);
    m_keys.setActive(HotKey::Enter, on);
    m_keys.setActive(HotKey::SwitchPage, on);
}

void HotKeyFlags::setAll(bool on)
{
    pause = switchPage = enter = on;
    enableAll(on);
}

void HotKeyFlags::applyFlags()
{
    m_keys.setActive(HotKey::Pause, pause);
    m_keys.setActive(HotKey::SwitchPage, switchPage);
    m_keys.setActive(HotKey::Enter, enter);
}

void HotKeyFlags::deactivated()
{
    pause = m_keys.isActive(HotKey::Pause);
    switchPage = m_keys.isActive(HotKey::SwitchPage);
    enter = m_keys.isActive(HotKey::Enter);
    enableAll(false);
}
