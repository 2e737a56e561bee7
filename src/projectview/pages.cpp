#include "projectview/pages.h"

#include "platform/dialogs.h"
#include "platform/errorreport.h"
#include "platform/paths.h"
#include "platform/widgets.h"
#include "playback/playbackstate.h"
#include "playback/sheetview.h"
#include "playback/zoomandmarker.h"
#include "project/numbertext.h"
#include "project/pageimage.h"
#include "project/workspace.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QToolButton>

Pages::Pages(Workspace& workspace, PlaybackState& state, SheetView& sheet, ZoomAndMarker& zoom,
             Dialogs& dialogs, ErrorReport& errors, Hooks hooks, QObject* parent)
    : QObject(parent)
    , m_ws(workspace)
    , m_state(state)
    , m_sheet(sheet)
    , m_zoom(zoom)
    , m_dialogs(dialogs)
    , m_errors(errors)
    , m_hooks(std::move(hooks))
{
    m_pages = new QComboBox;
    m_pages->setObjectName(QStringLiteral("PagesBox_Pages"));
    describe(m_pages, QString(),
             QStringLiteral("Select the desired notes page.\r\nsofware changes the page "
                            "automaticly to reflect current cursor position on the notes."));
    m_add = new QToolButton;
    m_add->setObjectName(QStringLiteral("PagesBox_Add"));
    m_add->setText(QStringLiteral("Add"));
    describe(m_add, QStringLiteral("Add"), QString());
    m_add->hide();
    connect(m_pages, &QComboBox::activated, this, [this] {
        QString error;
        if (!pageChange(true, &error) && !error.isEmpty())
            m_dialogs.information(error);
    });
    connect(m_add, &QToolButton::clicked, this, &Pages::addPage);
}

bool Pages::fill()
{
    m_pages->clear();
    static_assert(kMaxPages == Workspace::kMaxPages);
    const auto n = m_ws.pageCount();
    if (!n)
        return false;
    QStringList items;
    for (long long i = 1; i <= *n; ++i)
        items << QStringLiteral("Page ") + QString::number(i);
    m_pages->addItems(items);
    return true;
}

void Pages::clear()
{
    m_pages->clear();
}

void Pages::clearImage()
{
    m_sheet.image()->clear();
}

bool Pages::loadPage(int page, QString* error)
{
    const QString path = m_ws.fileInProject(QStringLiteral("NotesFile") + QString::number(page));
    QString why;
    const QImage image = pageimage::load(path, &why);
    if (image.isNull()) {
        if (error)
            *error = why.isEmpty() ? QStringLiteral("Cannot read ") + path : why;
        return false;
    }
    m_sheet.image()->setImage(image);
    // A screen reader names the picture by the page it shows.
    m_sheet.image()->setAccessibleName(QStringLiteral("Notes page: Page %1").arg(page + 1));
    return true;
}

bool Pages::pageChange(bool byUser, QString* error)
{
    const int index = m_pages->currentIndex();
    if (index < 0)
        return true;
    const int z = m_state.zoomSteps;
    m_zoom.cancelZoom();
    const QString path = m_ws.fileInProject(QStringLiteral("NotesFile") + QString::number(index));
    const QString ext = paths::extension(path);
    if (ext == QLatin1String(".jpg") || ext == QLatin1String(".jpeg") ||
        ext == QLatin1String(".gif"))
        m_sheet.image()->clear();
    bool ok = true;
    if (QFileInfo(path).isFile()) {
        ok = loadPage(index, error);
    } else {
        m_dialogs.information(QStringLiteral("Image file:\n") + path +
                              QStringLiteral("\ndoes not exists."));
    }
    if (z > 0 || z < 0)
        m_zoom.applySteps(z);

    if (m_ws.modes.automaticSecondStage) {
        if (m_hooks.removeAutomaticShapes)
            m_hooks.removeAutomaticShapes();
    } else if (byUser) {
        m_state.markerHidden = true;
        m_zoom.setMarkerSwitch(1);
        m_zoom.applyMarkerDisplay();
    } else {
        m_zoom.applyMarkerDisplay();
    }
    return ok;
}

void Pages::nextPage()
{
    const int n = m_pages->count();
    if (n < 2)
        return;
    const int next = m_pages->currentIndex() + 1;
    m_pages->setCurrentIndex(next >= n ? 0 : next);
    QString error;
    if (!pageChange(true, &error) && !error.isEmpty())
        m_dialogs.information(error);
}

void Pages::addPage()
{
    if (!m_ws.isOpen())
        return;
    if (const auto n = numbertext::parseInt(m_ws.memo.value(QStringLiteral("NotesAmount")));
        n && *n >= kMaxPages) {
        m_dialogs.information(
            QStringLiteral("This project already has %1 pages, the most a project can have.")
                .arg(kMaxPages));
        return;
    }
    QString start = m_hooks.lastDialogFolder ? m_hooks.lastDialogFolder() : QString();
    if (start.isEmpty())
        start = paths::exeDir();
    const QString chosen = m_dialogs.openFile(QStringLiteral("Choose Notes File"), start,
                                              QStringLiteral("Notes Image File|*.jpg;*.gif;*.bmp"),
                                              QStringLiteral("jpg"));
    if (m_hooks.rememberDialogFile)
        m_hooks.rememberDialogFile(chosen);
    if (chosen.isEmpty())
        return;
    const auto n = numbertext::parseInt(m_ws.memo.value(QStringLiteral("NotesAmount")));
    if (!n || *n < 0) {
        m_dialogs.information(QStringLiteral("'%1' is not a valid integer value")
                                  .arg(m_ws.memo.value(QStringLiteral("NotesAmount")).left(100)));
        return;
    }
    const QString name = paths::fileName(chosen);
    m_ws.memo.append(QStringLiteral("NotesFile") + QString::number(*n) + QLatin1Char('=') + name);
    const QString target = m_ws.projectFolder() + name;
    if (!QFileInfo::exists(target))
        QFile::copy(chosen, target);
    m_ws.memo.setValue(QStringLiteral("NotesAmount"), QString::number(*n + 1));
    {
        // The list selects the first item added to it; the page is not shown by that, so
        // the selection stays as it was.
        const QSignalBlocker block(m_pages);
        const int selected = m_pages->currentIndex();
        m_pages->addItem(QStringLiteral("Page ") + QString::number(*n + 1));
        m_pages->setCurrentIndex(selected);
    }
    if (*n == 1) {
        m_pages->setCurrentIndex(0);
        QString error;
        if (!pageChange(false, &error) && !error.isEmpty())
            m_dialogs.information(error);
    }
}
