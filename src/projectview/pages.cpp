#include "projectview/pages.h"

#include "import/scoreimport.h"
#include "platform/dialogs.h"
#include "platform/errorreport.h"
#include "platform/paths.h"
#include "platform/widgets.h"
#include "playback/playbackstate.h"
#include "playback/sheetview.h"
#include "playback/zoomandmarker.h"
#include "project/numbertext.h"
#include "project/projectsave.h"
#include "project/workspace.h"
#include "projectview/pageahead.h"
#include "projectview/pageimport.h"

#include <QComboBox>
#include <QDir>
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
    , m_ahead(std::make_unique<PageAhead>())
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

Pages::~Pages() = default;

bool Pages::fill()
{
    m_ahead->drop();
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
    m_ahead->drop();
    m_pages->clear();
}

void Pages::clearImage()
{
    m_sheet.hideReadAhead();
    m_sheet.image()->clear();
}

bool Pages::loadPage(int page, QString* error)
{
    const QString path = m_ws.fileInProject(QStringLiteral("NotesFile") + QString::number(page));
    std::optional<PageAhead::Page> ahead = m_ahead->take(page, path);
    const PageAhead::Page decoded = ahead ? std::move(*ahead) : PageAhead::decode(path);
    if (decoded.image.isNull()) {
        if (error)
            *error = decoded.error;
        return false;
    }
    // A half-page turn ends with any page shown.
    m_sheet.hideReadAhead();
    PageAhead::letGo(m_sheet.image()->setImage(decoded.image, decoded.smaller));
    // A screen reader names the picture by the page it shows.
    m_sheet.image()->setAccessibleName(QStringLiteral("Notes page: Page %1").arg(page + 1));
    return true;
}

void Pages::preparePage(int page)
{
    if (page < 0 || page >= m_pages->count())
        return;
    m_ahead->request(page, m_ws.fileInProject(QStringLiteral("NotesFile") + QString::number(page)));
}

QList<QImage> Pages::decodedAhead(int page)
{
    if (page < 0 || page >= m_pages->count())
        return {};
    const PageAhead::Page* ahead = m_ahead->peek(
        page, m_ws.fileInProject(QStringLiteral("NotesFile") + QString::number(page)));
    if (!ahead || ahead->image.isNull())
        return {};
    return QList<QImage>{ahead->image} + ahead->smaller;
}

int Pages::pageAhead() const
{
    return m_ahead->page();
}

bool Pages::pageChange(bool byUser, QString* error)
{
    const int index = m_pages->currentIndex();
    if (index < 0)
        return true;
    m_sheet.hideReadAhead();
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
    const QString chosen = m_dialogs.openFile(
        QStringLiteral("Choose Notes File"), start,
        pageimport::withScores(QStringLiteral("Notes Image File|*.jpg;*.gif;*.bmp")),
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
    QStringList names;
    if (scoreimport::needsConversion(chosen)) {
        // A PDF, PNG or TIFF score: its pages are converted into the project folder first;
        // no page key is added unless every page was.
        names = pageimport::convert(m_dialogs, chosen, m_ws.projectFolder(), *n);
        if (names.isEmpty())
            return;
    } else {
        names << paths::fileName(chosen);
        const QString target = m_ws.projectFolder() + names.first();
        QString error;
        if (!QFileInfo::exists(target) && QFileInfo::exists(chosen) &&
            !projectsave::copyWhole(chosen, target, &error)) {
            m_dialogs.information(QStringLiteral("Cannot create file \"%1\". %2")
                                      .arg(QDir::toNativeSeparators(target), error));
            return;
        }
    }
    for (qsizetype k = 0; k < names.size(); ++k)
        m_ws.memo.append(QStringLiteral("NotesFile") + QString::number(*n + k) + QLatin1Char('=') +
                         names[k]);
    const long long total = *n + names.size();
    m_ws.memo.setValue(QStringLiteral("NotesAmount"), QString::number(total));
    m_ahead->drop();
    {
        // The list selects the first item added to it; the page is not shown by that, so
        // the selection stays as it was.
        const QSignalBlocker block(m_pages);
        const int selected = m_pages->currentIndex();
        for (long long page = *n + 1; page <= total; ++page)
            m_pages->addItem(QStringLiteral("Page ") + QString::number(page));
        m_pages->setCurrentIndex(selected);
    }
    // When the project gets its second page, the first is selected and shown.
    if (*n <= 1 && total >= 2) {
        m_pages->setCurrentIndex(0);
        QString error;
        if (!pageChange(false, &error) && !error.isEmpty())
            m_dialogs.information(error);
    }
}
