#pragma once

#include "platform/mainwidgets.h"

#include <QString>

// Builds the panels, the toolbar and the shared controls as children of window; all
// panels start hidden.
MainWidgets buildMainWidgets(QWidget* window, QWidget* sheet);

// Adds a toolbar button with its caption, hint and mode tag.
QToolButton* addToolButton(QWidget* toolbar, const char* name, const QString& caption,
                           const QString& hint, int tag);
