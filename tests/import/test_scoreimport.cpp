#include "import/pagesource.h"
#include "import/scoreimport.h"
#include "import/scorepdf.h"
#include "project/pageimage.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using scoreimport::importPages;
using scoreimport::PageLimits;
using scorepdf::Kind;

namespace {

// Adding PDF, PNG and TIFF scores to a project folder: files made at test time by Qt's PDF
// writer, ImageMagick and qpdf; every page made is read back with the project loader.
class ScoreImport : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("project")));
    }
    QString source(const QString& name) const { return m_dir.filePath(name); }
    QString folder() const { return m_dir.filePath(QStringLiteral("project")); }
    QString page(const QString& name) const { return folder() + QLatin1Char('/') + name; }
    // Every entry of the project folder, hidden ones too.
    QStringList entries() const
    {
        return QDir(folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    QString pdf(const QString& name, const QList<Kind>& kinds,
                QPageLayout::Orientation o = QPageLayout::Portrait)
    {
        const QString path = source(name);
        return scorepdf::write(path, kinds, o) ? path : QString();
    }
    // Imports a file that must fail, and checks the message and that the folder is as it was.
    void expectRefused(const QString& path, const QString& inMessage)
    {
        const QStringList before = entries();
        const auto r = importPages(path, folder());
        EXPECT_TRUE(r.fileNames.isEmpty());
        EXPECT_TRUE(r.error.contains(QFileInfo(path).fileName())) << r.error.toStdString();
        EXPECT_TRUE(r.error.contains(inMessage)) << r.error.toStdString();
        EXPECT_EQ(entries(), before);
        QString error;
        EXPECT_EQ(scoreimport::pageCount(path, &error), 0);
        EXPECT_EQ(error, r.error);
    }

    QTemporaryDir m_dir;
};

// The share of a note head's pixels that differ (dark against light) between the page and
// the head drawn alone at the page's scale: 0 for a perfect copy.
double headMismatch(const QImage& page, double pageWidthPoints)
{
    const double scale = page.width() / pageWidthPoints;
    const QRect area = QRectF(scorepdf::noteHead().topLeft() * scale - QPointF(8, 8),
                              scorepdf::noteHead().size() * scale + QSizeF(16, 16))
                           .toAlignedRect();
    QImage reference(area.size(), QImage::Format_RGB32);
    reference.fill(Qt::white);
    QPainter p(&reference);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(-area.topLeft());
    p.scale(scale, scale);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(scorepdf::noteHead());
    p.end();
    int differ = 0, dark = 0;
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x) {
            const bool want = qGray(reference.pixel(x, y)) < 128;
            differ += want != (qGray(page.pixel(area.x() + x, area.y() + y)) < 128);
            dark += want;
        }
    return dark ? double(differ) / dark : 1.0;
}

// The page number told by the page's mark (see scorepdf::pageMark), or -1.
int markedPage(const QImage& page, double pageWidthPoints)
{
    const double scale = page.width() / pageWidthPoints;
    for (int n = 0; n < 40; ++n) {
        const QPointF centre = scorepdf::pageMark(n).center() * scale;
        if (qGray(page.pixel(centre.toPoint())) < 64)
            return n;
    }
    return -1;
}

TEST_F(ScoreImport, PdfPagesBecomeLoadablePagesInOrderWithTheirDetail)
{
    struct Case {
        int pages;
        QPageLayout::Orientation orientation;
        Kind kind;
    };
    for (const Case c : {Case{1, QPageLayout::Portrait, Kind::Engraving},
                         Case{3, QPageLayout::Landscape, Kind::Engraving},
                         Case{2, QPageLayout::Portrait, Kind::Scan},
                         Case{40, QPageLayout::Portrait, Kind::Engraving}}) {
        SCOPED_TRACE(c.pages);
        const QString name = QStringLiteral("Score%1.pdf").arg(c.pages);
        const QString path = pdf(name, QList<Kind>(c.pages, c.kind), c.orientation);
        ASSERT_FALSE(path.isEmpty());
        EXPECT_EQ(scoreimport::pageCount(path), c.pages);
        int calls = 0;
        const auto r = importPages(path, folder(), [&](int done, int total) {
            EXPECT_EQ(total, c.pages);
            EXPECT_EQ(done, calls++);
            return true;
        });
        ASSERT_TRUE(r.ok()) << r.error.toStdString();
        ASSERT_EQ(r.fileNames.size(), c.pages);
        EXPECT_EQ(calls, c.pages + 1);
        const double widthPoints = c.orientation == QPageLayout::Portrait ? 595.0 : 842.0;
        for (int i = 0; i < c.pages; ++i) {
            // Engraving is kept lossless; grainy paper goes to JPEG.
            const QString ext =
                c.kind == Kind::Scan ? QStringLiteral(".jpg") : QStringLiteral(".gif");
            EXPECT_EQ(r.fileNames[i], QStringLiteral("Score%1_%2").arg(c.pages).arg(i + 1) + ext);
            QString error;
            const QImage image = pageimage::load(page(r.fileNames[i]), &error);
            ASSERT_FALSE(image.isNull()) << error.toStdString();
            EXPECT_EQ(markedPage(image, widthPoints), i);
            EXPECT_EQ(image.width() > image.height(), c.orientation == QPageLayout::Landscape);
            EXPECT_NEAR(image.width(), widthPoints / 72 * PageLimits::renderDpi, 1);
            if (i == 0) {
                EXPECT_LT(headMismatch(image, widthPoints), c.kind == Kind::Scan ? 0.2 : 0.1);
            }
        }
    }
    EXPECT_EQ(entries().size(), 1 + 3 + 2 + 40); // no temporary file left
}

TEST_F(ScoreImport, HugePageBoxIsDrawnWithinTheLimits)
{
    const QString path = source(QStringLiteral("Poster.pdf"));
    ASSERT_TRUE(scorepdf::write(path, {Kind::Engraving}, QPageLayout::Portrait,
                                QPageSize(QSizeF(3000, 5400), QPageSize::Point)));
    const auto r = importPages(path, folder());
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    const QImage image = pageimage::load(page(r.fileNames.value(0)));
    ASSERT_FALSE(image.isNull());
    EXPECT_LE(qint64(image.width()) * image.height(), PageLimits::maxPixels);
    EXPECT_GT(qint64(image.width()) * image.height(), PageLimits::maxPixels * 9 / 10);
    EXPECT_NEAR(double(image.height()) / image.width(), 5400.0 / 3000.0, 0.01);
}

TEST_F(ScoreImport, UnreadableFilesGiveAMessageAndLeaveTheFolderAsItWas)
{
    const QString good = pdf(QStringLiteral("Good.pdf"), {Kind::Engraving});
    testfiles::writeFile(page(QStringLiteral("Existing.jpg")), "keep");
    QFile goodFile(good);
    ASSERT_TRUE(goodFile.open(QIODevice::ReadOnly));
    testfiles::writeFile(source(QStringLiteral("Broken.pdf")), goodFile.read(300));
    expectRefused(source(QStringLiteral("Broken.pdf")), QStringLiteral("damaged"));
    expectRefused(testfiles::writeFile(source(QStringLiteral("Empty.pdf")), {}),
                  QStringLiteral("empty"));
    // A valid document whose page tree holds no pages.
    QByteArray body = "%PDF-1.4\n";
    const qsizetype catalog = body.size();
    body += "1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n";
    const qsizetype tree = body.size();
    body += "2 0 obj << /Type /Pages /Kids [] /Count 0 >> endobj\n";
    const qsizetype xref = body.size();
    body += QStringLiteral("xref\n0 3\n0000000000 65535 f \n%1 00000 n \n%2 00000 n \n")
                .arg(catalog, 10, 10, QLatin1Char('0'))
                .arg(tree, 10, 10, QLatin1Char('0'))
                .toLatin1();
    body +=
        "trailer << /Size 3 /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    expectRefused(testfiles::writeFile(source(QStringLiteral("NoPages.pdf")), body),
                  QStringLiteral("no pages"));
    expectRefused(
        testfiles::writeFile(source(QStringLiteral("Scan.png")), "\x89PNG\r\n\x1a\n junk"),
        QStringLiteral("cannot be read"));
    if (QStandardPaths::findExecutable(QStringLiteral("qpdf")).isEmpty())
        GTEST_SKIP() << "qpdf is not installed: no locked PDF to try";
    const QString locked = source(QStringLiteral("Locked.pdf"));
    ASSERT_TRUE(
        testfiles::run(QStringLiteral("qpdf"), {QStringLiteral("--encrypt"), QStringLiteral("user"),
                                                QStringLiteral("owner"), QStringLiteral("256"),
                                                QStringLiteral("--"), good, locked}));
    expectRefused(locked, QStringLiteral("password"));
}

TEST_F(ScoreImport, CancelHalfWayLeavesTheFolderAsItWas)
{
    const QString path = pdf(QStringLiteral("Score.pdf"), QList<Kind>(4, Kind::Engraving));
    const QStringList before = entries();
    const auto r = importPages(path, folder(), [](int done, int) { return done < 2; });
    EXPECT_TRUE(r.cancelled);
    EXPECT_TRUE(r.fileNames.isEmpty());
    EXPECT_TRUE(r.error.contains(QStringLiteral("Score.pdf")));
    EXPECT_EQ(entries(), before);
}

// A disk that fills up while pages are written: the import runs in a child process whose
// files may not grow beyond 150 KB, so the scanned second page cannot be written.
TEST_F(ScoreImport, FullDiskLeavesNothingBehind)
{
    const QString path = pdf(QStringLiteral("Score.pdf"), {Kind::Engraving, Kind::Scan});
    int channel[2];
    ASSERT_EQ(pipe(channel), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN); // a write past the limit fails with EFBIG instead
        const rlimit limit{150 * 1024, 150 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        const QByteArray error = importPages(path, folder()).error.toUtf8();
        [[maybe_unused]] const auto n = write(channel[1], error.constData(), size_t(error.size()));
        _exit(0);
    }
    close(channel[1]);
    QByteArray message;
    char buffer[512];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;)
        message.append(buffer, n);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_TRUE(message.contains("Score.pdf")) << message.constData();
    EXPECT_TRUE(message.contains("File too large")) << message.constData();
    EXPECT_TRUE(entries().isEmpty()) << entries().join(QLatin1Char(' ')).toStdString();
}

TEST_F(ScoreImport, PngAndTiffPagesAreConverted)
{
    const QString dir = m_dir.path();
    // A 16-bit PNG, and black shapes on a see-through background (white paper here).
    const QString shape = testfiles::makeImage(dir, QStringLiteral("Shape.png"), 400, 300);
    const QString deep = source(QStringLiteral("Deep.png"));
    const QString clear = source(QStringLiteral("Clear.png"));
    ASSERT_TRUE(testfiles::run(
        QStringLiteral("convert"),
        {shape, QStringLiteral("-depth"), QStringLiteral("16"), QStringLiteral("PNG48:") + deep}));
    ASSERT_TRUE(testfiles::run(QStringLiteral("convert"),
                               {shape, QStringLiteral("-transparent"), QStringLiteral("white"),
                                QStringLiteral("PNG32:") + clear}));
    QStringList frames;
    for (int i = 0; i < 3; ++i)
        frames << testfiles::makeImage(dir, QStringLiteral("f%1.png").arg(i), 300 + 100 * i, 200);
    ASSERT_TRUE(
        testfiles::run(QStringLiteral("convert"), frames << source(QStringLiteral("Book.tif"))));

    for (const QString& path : {deep, clear}) {
        const auto r = importPages(path, folder());
        ASSERT_TRUE(r.ok()) << r.error.toStdString();
        ASSERT_EQ(r.fileNames.size(), 1);
        EXPECT_TRUE(
            r.fileNames[0].startsWith(QFileInfo(path).completeBaseName() + QLatin1Char('.')));
        const QImage image = pageimage::load(page(r.fileNames[0]));
        ASSERT_EQ(image.size(), QSize(400, 300));
        EXPECT_EQ(qGray(image.pixel(5, 5)), 255); // paper
        EXPECT_EQ(qGray(image.pixel(60, 45)), 0); // the shape
    }

    // A colour picture has more colours than a GIF holds: a JPEG, colours kept.
    const QString colour = source(QStringLiteral("Colour.png"));
    ASSERT_TRUE(testfiles::run(QStringLiteral("convert"),
                               {QStringLiteral("-size"), QStringLiteral("400x300"),
                                QStringLiteral("gradient:red-blue"), colour}));
    const auto c = importPages(colour, folder());
    ASSERT_EQ(c.fileNames, QStringList{QStringLiteral("Colour.jpg")}) << c.error.toStdString();
    const QRgb top = pageimage::load(page(c.fileNames[0])).pixel(200, 2);
    EXPECT_TRUE(qRed(top) > 240 && qGreen(top) < 16 && qBlue(top) < 16) << std::hex << top;

    const QString book = source(QStringLiteral("Book.tif"));
    EXPECT_EQ(scoreimport::pageCount(book), 3);
    const auto r = importPages(book, folder());
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    ASSERT_EQ(r.fileNames.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(r.fileNames[i].startsWith(QStringLiteral("Book_%1.").arg(i + 1)));
        EXPECT_EQ(pageimage::load(page(r.fileNames[i])).width(), 300 + 100 * i);
    }
}

TEST_F(ScoreImport, TakenNamesAreNeverReplacedOrReused)
{
    const QString path = pdf(QStringLiteral("Score.pdf"), QList<Kind>(3, Kind::Engraving));
    testfiles::writeFile(page(QStringLiteral("Score_1.gif")), "mine");
    testfiles::writeFile(page(QStringLiteral("SCORE_2.GIF")), "mine");
    testfiles::writeFile(page(QStringLiteral("Score_2-2.gif")), "mine");
    const auto r = importPages(path, folder());
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(r.fileNames,
              (QStringList{QStringLiteral("Score_1-2.gif"), QStringLiteral("Score_2-3.gif"),
                           QStringLiteral("Score_3.gif")}));
    for (const QString& mine : {QStringLiteral("Score_1.gif"), QStringLiteral("SCORE_2.GIF")}) {
        QFile file(page(mine));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), "mine");
    }
    // A second import of the same file gets names of its own; a page image is copied.
    EXPECT_EQ(importPages(path, folder()).fileNames.value(0), QStringLiteral("Score_1-3.gif"));
    const auto copied = importPages(page(QStringLiteral("Score_1-2.gif")), folder());
    EXPECT_EQ(copied.fileNames, QStringList{QStringLiteral("Score_1-2-2.gif")});
}

} // namespace
