#include "platform/hotkeys.h"

#include "platform/keyfilterhotkeys.h"

std::unique_ptr<HotKeys> createHotKeys(QObject* parent)
{
    return std::make_unique<KeyFilterHotKeys>(parent);
}
