#include "authoring/findbars.h"

#include "bars/barfinder.h"
#include "bars/playingorder.h"
#include "platform/dialogs.h"
#include "platform/widgets.h"
#include "project/markerentry.h"
#include "project/pageimage.h"
#include "project/workspace.h"

#include <QBoxLayout>
#include <QEvent>
#include <QToolButton>

namespace {

// One bar as found, with the page it is on and that page's size.
struct FoundBar {
    int page = 0;
    QSize size;
    bars::Bar bar;
    bool firstOfSystem = false;
};

} // namespace

FindBars::FindBars(Workspace& workspace, Dialogs& dialogs, QAbstractButton& finish, Hooks hooks,
                   QObject* parent)
    : QObject(parent)
    , m_ws(workspace)
    , m_dialogs(dialogs)
    , m_finish(finish)
    , m_hooks(std::move(hooks))
{
    m_button = new QToolButton;
    m_button->setObjectName(QStringLiteral("Toolbar_FindBars"));
    m_button->setText(QStringLiteral("Find Bars"));
    describe(m_button, QStringLiteral("Find Bars"),
             QStringLiteral("Place a box at every bar of every page"));
    if (auto* row = qobject_cast<QBoxLayout*>(
            finish.parentWidget() ? finish.parentWidget()->layout() : nullptr))
        row->insertWidget(row->indexOf(&finish) + 1, m_button);
    m_button->setVisible(finish.isVisibleTo(finish.parentWidget()));
    finish.installEventFilter(this);
    connect(m_button, &QToolButton::clicked, this, &FindBars::Toolbar_FindBarsClick);
}

bool FindBars::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_finish &&
        (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent))
        m_button->setVisible(event->type() == QEvent::ShowToParent);
    return QObject::eventFilter(watched, event);
}

void FindBars::Toolbar_FindBarsClick()
{
    const auto pages = m_ws.pageCount();
    if (!m_ws.modes.automaticSecondStage || !pages || *pages <= 0)
        return;
    const auto count = static_cast<int>(*pages);

    // Every page read on the worker; the window only places what was found.
    std::vector<FoundBar> found;
    QStringList unreadable;
    bool cancelled = false;
    m_dialogs.runWithProgress(QStringLiteral("Finding the bars..."), [&](const auto& report) {
        bars::CancelFlag cancel{false};
        for (int k = 0; k < count && !cancelled; ++k) {
            QString why;
            const QString path =
                m_ws.fileInProject(QStringLiteral("NotesFile") + QString::number(k));
            const QImage page = pageimage::load(path, &why);
            if (page.isNull()) {
                unreadable << QStringLiteral("Page %1: %2").arg(k + 1).arg(why);
            } else {
                const bars::PageBars pb = bars::findBars(page, &cancel);
                int system = -1;
                for (const bars::Bar& b : pb.bars) {
                    found.push_back({k, page.size(), b, b.system != system});
                    system = b.system;
                }
            }
            cancelled = !report(k + 1, count);
        }
    });
    if (cancelled)
        return;
    if (found.empty()) {
        m_dialogs.information(
            QStringLiteral("No bars were found on the pages.") +
            (unreadable.isEmpty() ? QString() : QLatin1Char('\n') + unreadable.join(u'\n')));
        return;
    }

    // Repeats are taken only when the user says so.
    QList<bars::Bar> written;
    bool repeats = false;
    for (const FoundBar& f : found) {
        written << f.bar;
        repeats = repeats || f.bar.startRepeat || f.bar.endRepeat || f.bar.ending != 0;
    }
    QList<int> order;
    if (repeats && m_dialogs.question(QStringLiteral("Play the repeats?"))) {
        order = bars::playingOrder(written);
    } else {
        for (int i = 0; i < written.size(); ++i)
            order << i;
    }

    // New boxes follow whatever was there, in playing order.
    const bool inserting = m_ws.modes.insertAfterSelection;
    m_ws.modes.insertAfterSelection = false;
    const int shown = m_hooks.shownPage ? m_hooks.shownPage() : -1;
    QList<bool> captioned(written.size(), false);
    for (int i : order) {
        const FoundBar& f = found[size_t(i)];
        const long long x = markerentry::placeFromClick(f.bar.left, 0, f.size.width());
        const long long y = markerentry::placeFromClick(f.bar.top, 0, f.size.height());
        QString line = markerentry::buildSequence(markerentry::nextSequenceNumber(), x, y, f.page);
        if (f.firstOfSystem && !captioned[i]) {
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            line = line.left(eq + 1) +
                   markerentry::withCaption(line.mid(eq + 1), QStringLiteral("Bar %1").arg(i + 1));
            captioned[i] = true;
        }
        if (f.page == shown && m_hooks.placeBox)
            m_hooks.placeBox(line, x, y);
        else
            m_ws.notes.append(line);
    }
    m_ws.modes.insertAfterSelection = inserting;
    if (m_hooks.rebuildIndex)
        m_hooks.rebuildIndex();
    if (!unreadable.isEmpty())
        m_dialogs.information(QStringLiteral("These pages could not be read:\n") +
                              unreadable.join(u'\n'));
}
