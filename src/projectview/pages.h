#pragma once

#include <QImage>
#include <QObject>
#include <functional>
#include <memory>

class QComboBox;
class QToolButton;
class Dialogs;
class ErrorReport;
class PageAhead;
class SheetView;
class ZoomAndMarker;
struct PlaybackState;
struct Workspace;

// The notes pages of the open project: the page list `PagesBox_Pages` ("Page 1", ...),
// showing a page's image, the next-page key and adding a page. One page can be decoded
// ahead on a worker thread (preparePage), so that showing it later only swaps pictures;
// it is dropped when the page list is filled, cleared or grows, and replaced when the
// marker list comes to name another page next. A change of the marker list that leaves the
// next page as it was keeps it, so marking does not decode the same page again and again.
class Pages : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        // In the automatic mode's second stage a page change removes the boxes.
        std::function<void()> removeAutomaticShapes;
        // The folder of the last file chosen with the shared open-file dialog.
        std::function<QString()> lastDialogFolder;
        std::function<void(const QString& chosen)> rememberDialogFile;
    };

    Pages(Workspace& workspace, PlaybackState& state, SheetView& sheet, ZoomAndMarker& zoom,
          Dialogs& dialogs, ErrorReport& errors, Hooks hooks, QObject* parent = nullptr);
    ~Pages() override;

    QComboBox* pageList() const { return m_pages; }
    Hooks& hooks() { return m_hooks; }
    QToolButton* addButton() const { return m_add; }

    // Fills the page list from `NotesAmount`; false when it does not read as a page count.
    bool fill();
    void clear();
    // Empties the notes image (a project that is opened shows nothing of the last one).
    void clearImage();

    // The page change (`PagesBox_PagesChange`), as a user change or as the program.
    // Throws nothing; returns false when the image could not be shown (error in *error).
    bool pageChange(bool byUser, QString* error = nullptr);
    // Loads page k's image into the sheet without touching the zoom or the list; a page
    // decoded ahead is taken as it is (a failed decode gives its error now).
    bool loadPage(int page, QString* error);
    // Starts decoding page k ahead (nothing for a page outside the list). Reports nothing.
    void preparePage(int page);
    // Page k's picture followed by its zoom-out copies when it has been decoded ahead,
    // without waiting for it or handing it over; nothing otherwise.
    QList<QImage> decodedAhead(int page);
    // The page decoded ahead or under way, -1 for none.
    int pageAhead() const;
    // Right Arrow: the next page, or the first after the last.
    void nextPage();
    // "Add": adds an image as a new page, or every page of a PDF, PNG or TIFF score
    // (converted into the project folder) as new pages after the last one.
    void addPage();

    // The largest page count a project may declare.
    static constexpr long long kMaxPages = 10000;

private:
    Workspace& m_ws;
    PlaybackState& m_state;
    SheetView& m_sheet;
    ZoomAndMarker& m_zoom;
    Dialogs& m_dialogs;
    ErrorReport& m_errors;
    Hooks m_hooks;
    QComboBox* m_pages;
    QToolButton* m_add;
    std::unique_ptr<PageAhead> m_ahead;
};
