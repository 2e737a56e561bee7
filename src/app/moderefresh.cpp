#include "app/moderefresh.h"

#include "project/workspace.h"

#include <QAction>
#include <QToolButton>
#include <QWidget>

bool toolbarTagVisible(int tag, const Modes& m)
{
    switch (tag) {
    case 0:
    case -2:
        return m.editing;
    case -1:
        return m.automatic;
    case 1:
        return !m.inSession();
    case 2:
        return !m.inSession() && !m.editing;
    case 4:
        return true;
    case 5:
        return m.inSession();
    default:
        return false;
    }
}

namespace {

void setShown(QWidget& window, const char* name, bool shown)
{
    if (auto* w = window.findChild<QWidget*>(QLatin1String(name)))
        w->setVisible(shown);
}

} // namespace

void modeRefresh(QWidget& window, const Modes& m)
{
    if (auto* toolbar = window.findChild<QWidget*>(QStringLiteral("MainPanel_Toolbar"))) {
        for (QWidget* button : toolbar->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const QVariant tag = button->property("tag");
            if (tag.isValid())
                button->setVisible(toolbarTagVisible(tag.toInt(), m));
        }
    }
    for (const char* name : {"Delete1", "Delete2", "Delete3"}) {
        if (auto* action = window.findChild<QAction*>(QLatin1String(name)))
            action->setVisible(m.editing);
    }
    for (const char* name : {"MainPanel_Rewind", "MainPanel_Pause", "MainPanel_Stop",
                             "MainPanel_Play", "kinsorobuttonhide"})
        setShown(window, name, !m.followMode);
    setShown(window, "PitchPanel", false);
    setShown(window, "StopHostKinsoro", m.hostingMode);
    setShown(window, "PagesBox_Add", m.editing);
}
