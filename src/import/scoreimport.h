#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>

// Adding a score to a project: a PDF, PNG or TIFF file becomes page images the project
// loader reads (pageimage::load), written into the project folder. Every page is a GIF or
// a JPEG, whichever suits it (see import/pageencoder.h); a JPEG, GIF or BMP file is
// copied as it is. The caller adds one page key per returned file name, in order.
//
// Typical use where pages are added:
//     if (!scoreimport::isImportable(path)) ...refuse...;
//     const int pages = scoreimport::pageCount(path, &error);   // 0: show error, stop
//     // more than a page or two: show a progress dialog, and pass a progress function
//     // that updates it and returns false when the user cancels.
//     const scoreimport::Result r = scoreimport::importPages(path, projectFolder, progress);
//     if (!r.ok()) ...show r.error (unless r.cancelled), add no page...;
//     for (const QString& name : r.fileNames) ...add a page key for name...;
namespace scoreimport {

// How large the pages of one import may be. The defaults are the program's (PageLimits in
// import/pagesource.h, and the project loader's page cap for a picture as read); lower ones
// keep the conversion of one file fast, as the fuzz harness needs.
struct Budget {
    // Each page made has at most this many pixels: PDF pages are drawn at a lower
    // resolution, pictures scaled down.
    qint64 pagePixels = 24'000'000;
    // A PNG or TIFF whose picture, as read (4 bytes a pixel), would take more is refused.
    qint64 pictureBytes = qint64(1) << 30;
};

// Extensions without the dot, lower case. Converted files: pdf, png, tif, tiff. Page
// images the loader reads, copied unchanged: jpg, jpeg, gif, bmp.
QStringList convertedExtensions();
QStringList nativeExtensions();

// True when path's extension (letter case ignored) is one of the above.
bool isImportable(const QString& path);
// True when the file is converted (PDF, PNG, TIFF) rather than copied.
bool needsConversion(const QString& path);

// The open-file dialog's filter in the program's "Caption|*.a;*.b" form, every
// importable extension.
QString dialogFilter();

// The number of pages the file gives: a PDF's pages, a TIFF's frames, 1 for any other
// picture. 0, with the message importPages would give in *error, when the file cannot be
// opened (missing, empty, not a PDF or picture, locked by a password, no pages); damage
// further in (a page that cannot be drawn) is found only by importPages.
int pageCount(const QString& path, QString* error = nullptr, const Budget& budget = {});

// Called after each page with the pages done and the total (first with 0 done); returns
// false to cancel. It runs on the thread that called importPages.
using Progress = std::function<bool(int done, int total)>;

struct Result {
    QStringList fileNames; // page files made in the folder, in page order; names only
    QString error;         // one message naming the file; empty on success
    bool cancelled = false;
    bool ok() const { return error.isEmpty() && !cancelled; }
};

// Converts every page of source into targetFolder (which must exist). Names follow the
// source's file name: "Score.pdf" gives "Score_1.gif", "Score_2.jpg", ... (the number is
// the page of the source); a single picture ("Scan.png", a one-frame TIFF) gives
// "Scan.gif" or "Scan.jpg"; a copied JPEG, GIF or BMP keeps its name. A name taken in the
// folder (letter case ignored) is never replaced nor reused: "-2", "-3", ... goes before
// the extension ("Score_1-2.gif").
//
// All or nothing: when any page fails, the user cancels, or writing fails (a full disk,
// no permission), no page file is left in the folder and the result holds no names, one
// message saying what happened, and cancelled for a cancel. Pages are drawn, encoded and
// written one at a time, so memory does not grow with the number of pages. Blocks until
// done; may run on a worker thread (it uses no widgets).
Result importPages(const QString& source, const QString& targetFolder,
                   const Progress& progress = {}, const Budget& budget = {});

} // namespace scoreimport
