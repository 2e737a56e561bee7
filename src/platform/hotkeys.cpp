#include "platform/hotkeys.h"

#include "platform/keyfilterhotkeys.h"
#ifdef FOLIVANT_HAVE_X11
#include "platform/x11hotkeys.h"
#endif

std::unique_ptr<HotKeys> createHotKeys(QObject* parent)
{
#ifdef FOLIVANT_HAVE_X11
    if (X11HotKeys::isAvailable())
        return std::make_unique<X11HotKeys>(parent);
#endif
    return std::make_unique<KeyFilterHotKeys>(parent);
}
