#pragma once

#include <QImage>
#include <QList>
#include <QString>
#include <QThreadPool>
#include <future>
#include <optional>

// One notes page decoded ahead of time on a worker thread, so that turning to it only
// swaps pictures. A decoded page is its picture with the zoom-out copies the sheet keeps
// of it, or the error text of a failed decode (the same text a decode on the spot gives).
//
// Contract:
// - At most one page is held or under way. request() for another page (or file) drops it:
//   a decode under way runs to its end on the worker and its result is thrown away. The
//   single worker decodes one page at a time.
// - peek() shows a decoded page without handing it over (a half-page turn draws it before
//   the turn takes it).
// - take() hands the page over when it is the one requested (same page and file), waiting
//   for a decode under way to end; nothing is held afterwards. Otherwise it returns
//   nullopt and the caller decodes on the spot.
// - The worker only reads the file and scales pictures: it touches no widget, and the
//   result is taken on the thread that calls take().
class PageAhead {
public:
    struct Page {
        QImage image; // null when the decode failed
        QList<QImage> smaller;
        QString error;
    };

    PageAhead();
    ~PageAhead();
    PageAhead(const PageAhead&) = delete;
    PageAhead& operator=(const PageAhead&) = delete;

    // Decodes page k from path unless it is already held or under way.
    void request(int page, const QString& path);
    std::optional<Page> take(int page, const QString& path);
    // The page when it is the one requested and its decode has ended, without waiting and
    // without handing it over: it stays held for take(). Null otherwise.
    const Page* peek(int page, const QString& path);
    void drop();
    // Lets pictures go on another thread: freeing a page of a few hundred megabytes takes
    // milliseconds.
    static void letGo(QList<QImage> pictures);

    // The page held or under way, -1 for none.
    int page() const { return m_page; }
    // True once the page has been decoded (successfully or not).
    bool ready() const;

    // Decodes a page as the sheet shows it (the picture and its zoom-out copies).
    static Page decode(const QString& path);

private:
    QThreadPool m_worker;
    int m_page = -1;
    QString m_path;
    std::future<Page> m_result;
    std::optional<Page> m_peeked; // the result, once peek() has fetched it
};
