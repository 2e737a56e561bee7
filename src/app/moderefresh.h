#pragma once

#include <QList>

class QAction;
class QWidget;
struct Modes;

// What the mode refresh shows and hides.
struct ModeTargets {
    QWidget* toolbar = nullptr;     // its buttons carry their mode tag (property "tag")
    QList<QAction*> editingActions; // shown exactly in editing mode
    QList<QAction*> markingActions; // shown in editing mode outside automatic marking
    QList<QWidget*> localControls;  // transport and local audio: hidden in follow mode
    QWidget* tempoPanel = nullptr;  // hidden by every refresh
    QWidget* stopHosting = nullptr; // shown exactly in hosting mode
    QWidget* addPage = nullptr;     // shown exactly in editing mode
};

// Shows and hides the toolbar buttons by their tags, the marker-list menu items, the
// transport buttons and the mode-dependent panels by the current modes.
void modeRefresh(const ModeTargets& targets, const Modes& modes);

// Whether a toolbar button with this tag is visible in these modes.
bool toolbarTagVisible(int tag, const Modes& modes);
