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

void modeRefresh(const ModeTargets& t, const Modes& m)
{
    for (QWidget* button : t.toolbar->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QVariant tag = button->property("tag");
        if (tag.isValid())
            button->setVisible(toolbarTagVisible(tag.toInt(), m));
    }
    for (QAction* action : t.editingActions)
        action->setVisible(m.editing);
    for (QAction* action : t.markingActions)
        action->setVisible(m.editing && !m.automatic);
    for (QWidget* control : t.localControls)
        control->setVisible(!m.followMode);
    // The rooms' own controls, once their rooms are built.
    if (t.tempoPanel)
        t.tempoPanel->setVisible(false);
    if (t.stopHosting)
        t.stopHosting->setVisible(m.hostingMode);
    if (t.addPage)
        t.addPage->setVisible(m.editing);
}
