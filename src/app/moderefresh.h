#pragma once

class QWidget;
struct Modes;

// Shows and hides the toolbar buttons (by their "tag" property), the marker-list menu
// items, the transport buttons and the mode-dependent panels by the current modes.
void modeRefresh(QWidget& window, const Modes& modes);

// Whether a toolbar button with this tag is visible in these modes.
bool toolbarTagVisible(int tag, const Modes& modes);
