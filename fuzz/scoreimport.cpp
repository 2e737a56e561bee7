// A score the user adds to a project: a PDF, PNG or TIFF file converted into page images
// in the project folder, as "Add" and the wizard do it. The file's extension follows its
// first bytes (a PDF, PNG or TIFF signature; otherwise one of them by the input's size).
// poppler and Qt's image readers are not instrumented; the import's own code (page
// limits, picture handling, the GIF and JPEG encoders, staging the files) is.
//
// The budget is far below the program's, so that one input stays fast: pages of at most
// 40000 pixels, pictures of at most 8 MiB as read, and an import cancelled after its
// second page.
#include "import/scoreimport.h"
#include "fuzzinput.h"
#include "fuzzpage.h"
#include "project/pageimage.h"

#include <QTemporaryDir>

#include <poppler-qt6.h>

namespace {

using fuzzinput::require;

constexpr int kPages = 2;
const scoreimport::Budget kBudget{40'000, qint64(8) << 20};

QString extensionFor(const QByteArray& input)
{
    if (input.startsWith("%PDF"))
        return QStringLiteral(".pdf");
    if (input.startsWith("\x89PNG"))
        return QStringLiteral(".png");
    if (input.startsWith("II*") || input.startsWith(QByteArray("MM\0*", 4)))
        return QStringLiteral(".tif");
    static const QString any[] = {QStringLiteral(".pdf"), QStringLiteral(".png"),
                                  QStringLiteral(".tiff")};
    return any[input.size() % 3];
}

// poppler sets up its fonts whenever the first of its documents opens and drops them when
// the last closes, which costs more than reading most inputs: one document stays open.
void keepPopplerSetUp()
{
    static const auto kept = Poppler::Document::loadFromData(
        "%PDF-1.0\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj 2 0 obj<</Type/Pages/Kids[3 0 R]"
        "/Count 1>>endobj 3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]>>endobj\ntrailer"
        "<</Root 1 0 R>>\n%%EOF\n");
    require(kept != nullptr);
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    keepPopplerSetUp();
    const QByteArray input = fuzzinput::bytes(data, size);
    QTemporaryDir dir(fuzzinput::temporaryBase() + QStringLiteral("/folivant-import-XXXXXX"));
    require(dir.isValid());
    const QString source = dir.filePath(QStringLiteral("Score") + extensionFor(input));
    require(fuzzinput::writeFile(source, input));
    const QString folder = dir.filePath(QStringLiteral("project"));
    require(QDir().mkdir(folder));

    QString error;
    const int pages = scoreimport::pageCount(source, &error, kBudget);
    require(pages >= 0);
    if (pages == 0) {
        // Refused at once, with the same message the import gives.
        require(!error.isEmpty() && error.contains(QLatin1String("Score")));
        const scoreimport::Result r = scoreimport::importPages(source, folder, {}, kBudget);
        require(!r.ok() && !r.cancelled && r.error == error && r.fileNames.isEmpty());
        require(entries(folder).isEmpty());
        return 0;
    }
    require(error.isEmpty());

    int calls = 0;
    const scoreimport::Result r = scoreimport::importPages(
        source, folder,
        [&](int done, int total) {
            require(done == calls++ && total == pages);
            return done < kPages || done == total;
        },
        kBudget);
    if (!r.ok()) {
        // All or nothing: one message naming the file, and the folder as it was.
        require(!r.error.isEmpty() && r.error.contains(QLatin1String("Score")));
        require(r.fileNames.isEmpty());
        require(entries(folder).isEmpty());
        require(!r.cancelled || pages > kPages);
        return 0;
    }
    require(pages <= kPages && r.fileNames.size() == pages);
    require(entries(folder).size() == pages);
    // Every page made is one the project loader reads, within the budget.
    for (const QString& name : r.fileNames) {
        const QString path = folder + QLatin1Char('/') + name;
        QString why;
        const QImage page = pageimage::load(path, &why, fuzzpage::maxBytes);
        require(!page.isNull() && why.isEmpty());
        require(qint64(page.width()) * page.height() <= kBudget.pagePixels);
    }
    return 0;
}
