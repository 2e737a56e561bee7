#include "projectview/pageahead.h"

#include "playback/sheetview.h"
#include "project/pageimage.h"

#include <chrono>
#include <exception>
#include <memory>

PageAhead::PageAhead()
{
    m_worker.setMaxThreadCount(1);
}

PageAhead::~PageAhead()
{
    m_worker.waitForDone();
}

PageAhead::Page PageAhead::decode(const QString& path)
{
    Page page;
    QString why;
    try {
        page.image = pageimage::load(path, &why);
        if (!page.image.isNull())
            page.smaller = NotesImage::smallerCopies(page.image);
    } catch (const std::exception&) {
        // Out of memory for the zoom-out copies: the page cannot be shown.
        page = Page{};
    }
    if (page.image.isNull())
        page.error = why.isEmpty() ? QStringLiteral("Cannot read ") + path : why;
    return page;
}

void PageAhead::request(int page, const QString& path)
{
    if (page == m_page && path == m_path && (m_result.valid() || m_peeked))
        return;
    drop();
    auto task = std::make_shared<std::packaged_task<Page()>>([path] { return decode(path); });
    m_result = task->get_future();
    m_page = page;
    m_path = path;
    m_worker.start([task] { (*task)(); });
}

std::optional<PageAhead::Page> PageAhead::take(int page, const QString& path)
{
    if (page != m_page || path != m_path || (!m_peeked && !m_result.valid()))
        return std::nullopt;
    Page decoded = m_peeked ? std::move(*m_peeked) : m_result.get();
    drop();
    return decoded;
}

const PageAhead::Page* PageAhead::peek(int page, const QString& path)
{
    if (page != m_page || path != m_path || !ready())
        return nullptr;
    if (!m_peeked)
        m_peeked = m_result.get();
    return &*m_peeked;
}

void PageAhead::drop()
{
    // A decode that has not started is not started at all.
    m_worker.clear();
    m_result = {};
    m_peeked.reset();
    m_page = -1;
    m_path.clear();
}

void PageAhead::letGo(QList<QImage> pictures)
{
    QThreadPool::globalInstance()->start(
        [pictures = std::move(pictures)]() mutable { pictures.clear(); });
}

bool PageAhead::ready() const
{
    return m_peeked.has_value() ||
           (m_result.valid() &&
            m_result.wait_for(std::chrono::seconds(0)) == std::future_status::ready);
}
