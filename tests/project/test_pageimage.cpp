#include "project/pageimage.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

// A 128 x 96 page in four quadrants: red, blue / lime, white.
const QStringList kQuadrants{QStringLiteral("-size"),
                             QStringLiteral("128x96"),
                             QStringLiteral("xc:white"),
                             QStringLiteral("-fill"),
                             QStringLiteral("red"),
                             QStringLiteral("-draw"),
                             QStringLiteral("rectangle 0,0 63,47"),
                             QStringLiteral("-fill"),
                             QStringLiteral("blue"),
                             QStringLiteral("-draw"),
                             QStringLiteral("rectangle 64,0 127,47"),
                             QStringLiteral("-fill"),
                             QStringLiteral("lime"),
                             QStringLiteral("-draw"),
                             QStringLiteral("rectangle 0,48 63,95")};

// 32 x 64 with every row a different grey, white at the top to black at the bottom.
const QStringList kGradient{QStringLiteral("-size"), QStringLiteral("32x64"),
                            QStringLiteral("gradient:white-black")};

// A picture that compresses badly, so cutting the file leaves the data short.
const QStringList kBusy{QStringLiteral("-seed"), QStringLiteral("7"), QStringLiteral("-size"),
                        QStringLiteral("256x256"), QStringLiteral("plasma:fractal")};

::testing::AssertionResult colourNear(const QImage& image, int x, int y, QRgb want, int tolerance)
{
    const QRgb got = image.pixel(x, y);
    if (std::abs(qRed(got) - qRed(want)) <= tolerance &&
        std::abs(qGreen(got) - qGreen(want)) <= tolerance &&
        std::abs(qBlue(got) - qBlue(want)) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") is #" << std::hex
                                         << (got & 0xffffff) << ", expected #" << (want & 0xffffff);
}

void expectQuadrants(const QImage& image, int tolerance)
{
    ASSERT_EQ(image.size(), QSize(128, 96));
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
    EXPECT_TRUE(colourNear(image, 32, 24, qRgb(255, 0, 0), tolerance));
    EXPECT_TRUE(colourNear(image, 96, 24, qRgb(0, 0, 255), tolerance));
    EXPECT_TRUE(colourNear(image, 32, 72, qRgb(0, 255, 0), tolerance));
    EXPECT_TRUE(colourNear(image, 96, 72, qRgb(255, 255, 255), tolerance));
}

// The greys of column 0, top to bottom.
std::vector<int> columnGreys(const QImage& image)
{
    std::vector<int> greys;
    for (int y = 0; y < image.height(); ++y)
        greys.push_back(qGray(image.pixel(0, y)));
    return greys;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The interlace flag of a GIF's first image descriptor, walking the blocks before it.
bool gifFirstFrameInterlaced(const QByteArray& gif)
{
    qsizetype pos = 13;
    const auto byte = [&](qsizetype i) {
        return i < gif.size() ? uchar(gif[i]) : 0;
    };
    if (byte(10) & 0x80)
        pos += 3 * (1 << ((byte(10) & 7) + 1));
    while (pos < gif.size()) {
        if (byte(pos) == 0x2C)
            return byte(pos + 9) & 0x40;
        if (byte(pos) != 0x21)
            return false;
        pos += 2;
        while (pos < gif.size() && byte(pos) != 0)
            pos += byte(pos) + 1;
        ++pos;
    }
    return false;
}

// A GIF made byte by byte: a screen of screen.width() x screen.height() with a two-colour
// table (black, white), then one image descriptor per rectangle in frames, each followed
// by the picture data of a single black pixel, and the trailer when closed.
QByteArray gifBytes(QSize screen, const QList<QRect>& frames, bool closed = true)
{
    QByteArray bytes("GIF89a");
    const auto word = [&](int v) {
        bytes.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
    };
    word(screen.width());
    word(screen.height());
    bytes.append(QByteArray("\x80\0\0\0\0\0\xFF\xFF\xFF", 9));
    for (const QRect& frame : frames) {
        bytes.append(char(0x2C));
        word(frame.x());
        word(frame.y());
        word(frame.width());
        word(frame.height());
        bytes.append('\0');
        bytes.append(QByteArray("\x02\x02\x44\x01\0", 5)); // LZW: clear, index 0, end
    }
    if (closed)
        bytes.append(';');
    return bytes;
}

class PageImageTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Runs convert with the given options and the output file; empty on failure.
    QString convert(const QString& name, const QStringList& args)
    {
        QString log;
        if (!testfiles::run(QStringLiteral("convert"), QStringList(args) << path(name), &log)) {
            ADD_FAILURE() << "convert failed for " << name.toStdString() << ": "
                          << log.toStdString();
            return {};
        }
        return path(name);
    }

    // A copy of the file cut to the given share of its length.
    QString truncated(const QString& source, const QString& name, double share)
    {
        const QByteArray bytes = readAll(source);
        return testfiles::writeFile(path(name), bytes.left(qsizetype(bytes.size() * share)));
    }

    static void expectFailure(const QString& file)
    {
        QString error;
        const QImage image = pageimage::load(file, &error);
        EXPECT_TRUE(image.isNull()) << file.toStdString();
        EXPECT_FALSE(error.isEmpty()) << file.toStdString();
    }

    QTemporaryDir m_dir;
};

// --- JPEG -----------------------------------------------------------------------------

TEST_F(PageImageTest, JpegBaselineAndProgressiveDecodeTheirColours)
{
    const QString baseline = convert(QStringLiteral("baseline.jpg"), kQuadrants);
    const QString progressive =
        convert(QStringLiteral("progressive.jpg"),
                QStringList(kQuadrants) << QStringLiteral("-interlace") << QStringLiteral("JPEG"));
    ASSERT_FALSE(baseline.isEmpty());
    ASSERT_FALSE(progressive.isEmpty());
    // SOF2 marks a progressive frame: the second file really is one.
    ASSERT_TRUE(readAll(progressive).contains(QByteArray("\xFF\xC2", 2)));

    for (const QString& file : {baseline, progressive}) {
        SCOPED_TRACE(file.toStdString());
        QString error;
        const QImage image = pageimage::loadJpeg(file, &error);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        expectQuadrants(image, 24);
    }
}

TEST_F(PageImageTest, JpegGreyscaleGivesGreyPixels)
{
    const QString file =
        convert(QStringLiteral("grey.jpg"),
                {QStringLiteral("-size"), QStringLiteral("64x64"), QStringLiteral("xc:gray50"),
                 QStringLiteral("-fill"), QStringLiteral("black"), QStringLiteral("-draw"),
                 QStringLiteral("rectangle 0,0 31,31"), QStringLiteral("-colorspace"),
                 QStringLiteral("Gray")});
    ASSERT_FALSE(file.isEmpty());
    const QImage image = pageimage::loadJpeg(file);
    ASSERT_EQ(image.size(), QSize(64, 64));
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
    EXPECT_TRUE(colourNear(image, 12, 12, qRgb(0, 0, 0), 12));
    EXPECT_TRUE(colourNear(image, 48, 48, qRgb(128, 128, 128), 12));
    const QRgb grey = image.pixel(48, 48);
    EXPECT_TRUE(qRed(grey) == qGreen(grey) && qGreen(grey) == qBlue(grey));
}

TEST_F(PageImageTest, JpegCmykIsConvertedToRgb)
{
    // ImageMagick writes CMYK with an Adobe marker and the inks inverted.
    const QString file =
        convert(QStringLiteral("cmyk.jpg"),
                QStringList(kQuadrants) << QStringLiteral("-colorspace") << QStringLiteral("CMYK"));
    ASSERT_FALSE(file.isEmpty());
    ASSERT_TRUE(readAll(file).contains("Adobe"));
    QString error;
    const QImage image = pageimage::loadJpeg(file, &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    expectQuadrants(image, 24);
}

TEST_F(PageImageTest, LargeScannedPagesDecodeAtFullSize)
{
    // makeImage draws a black rectangle from (500,700) to (1000,1400) on white: a grey
    // page. A red block makes the second one a colour page.
    const QString grey = testfiles::makeImage(m_dir.path(), QStringLiteral("grey.jpg"), 5000, 7000);
    const QString colour = testfiles::makeImage(
        m_dir.path(), QStringLiteral("colour.jpg"), 5000, 7000,
        {QStringLiteral("-fill"), QStringLiteral("red"), QStringLiteral("-draw"),
         QStringLiteral("rectangle 4000,6000 4500,6500")});
    ASSERT_FALSE(grey.isEmpty() || colour.isEmpty());
    for (const QString& file : {grey, colour}) {
        SCOPED_TRACE(file.toStdString());
        QString error;
        const QImage image = pageimage::load(file, &error);
        ASSERT_EQ(image.size(), QSize(5000, 7000)) << error.toStdString();
        EXPECT_EQ(image.format(), QImage::Format_RGB32);
        EXPECT_TRUE(colourNear(image, 750, 1050, qRgb(0, 0, 0), 16));
        EXPECT_TRUE(colourNear(image, 3000, 3000, qRgb(255, 255, 255), 16));
    }
    EXPECT_TRUE(colourNear(pageimage::load(colour), 4250, 6250, qRgb(255, 0, 0), 24));
}

TEST_F(PageImageTest, JpegWithAbsurdDimensionsIsRefused)
{
    const QString source = convert(QStringLiteral("small.jpg"), kQuadrants);
    QByteArray bytes = readAll(source);
    const qsizetype sof = bytes.indexOf(QByteArray("\xFF\xC0", 2));
    ASSERT_GT(sof, 0);
    // Height and width follow the marker, its length and the sample precision.
    for (qsizetype i = sof + 5; i < sof + 9; ++i)
        bytes[i] = char(0xEA); // 60000 x 60000
    const QString file = testfiles::writeFile(path(QStringLiteral("huge.jpg")), bytes);
    QString error;
    EXPECT_TRUE(pageimage::loadJpeg(file, &error).isNull());
    EXPECT_TRUE(error.contains(QLatin1String("too large"))) << error.toStdString();
}

TEST_F(PageImageTest, JpegWithMissingScanDataFailsFast)
{
    const QByteArray busy = readAll(convert(QStringLiteral("busy.jpg"), kBusy));
    QByteArray tiny =
        readAll(convert(QStringLiteral("tiny.jpg"), {QStringLiteral("-size"), QStringLiteral("8x8"),
                                                     QStringLiteral("xc:white")}));
    const qsizetype sof = tiny.indexOf(QByteArray("\xFF\xC0", 2));
    ASSERT_GT(sof, 0);
    ASSERT_GT(busy.size(), 1000);
    // Stray bytes between two markers leave every pixel decoded: still a page.
    QByteArray stray = tiny;
    stray.insert(sof, QByteArray(3, '\0'));
    EXPECT_FALSE(pageimage::loadJpeg(testfiles::writeFile(path(QStringLiteral("stray.jpg")), stray))
                     .isNull());

    // Cut in the middle of the picture data and closed again with an end-of-image marker:
    // libjpeg would pad the rest of the page with grey.
    const QString closed = testfiles::writeFile(path(QStringLiteral("closed.jpg")),
                                                busy.left(busy.size() / 2) + "\xFF\xD9");
    // 8 x 8 pixels of data under a header that declares 16384 x 16384.
    for (qsizetype i = sof + 5; i < sof + 9; ++i)
        tiny[i] = char((i - sof) % 2 ? 0x40 : 0x00);
    const QString huge = testfiles::writeFile(path(QStringLiteral("huge.jpg")), tiny);
    for (const QString& file : {closed, huge}) {
        QString error;
        EXPECT_TRUE(pageimage::loadJpeg(file, &error).isNull()) << file.toStdString();
        EXPECT_TRUE(error.contains(file)) << error.toStdString();
    }
    QString error;
    pageimage::loadJpeg(huge, &error);
    EXPECT_TRUE(error.contains(QLatin1String("16384 x 16384"))) << error.toStdString();
}

// --- GIF ------------------------------------------------------------------------------

TEST_F(PageImageTest, GifStaticDecodesItsColours)
{
    const QString file = convert(QStringLiteral("static.gif"), kQuadrants);
    ASSERT_FALSE(file.isEmpty());
    QString error;
    const QImage image = pageimage::loadGif(file, &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    expectQuadrants(image, 0);
}

TEST_F(PageImageTest, GifInterlacedRowsComeOutInPictureOrder)
{
    const QString plain = convert(QStringLiteral("plain.gif"), kGradient);
    const QString interlaced =
        convert(QStringLiteral("interlaced.gif"),
                QStringList(kGradient) << QStringLiteral("-interlace") << QStringLiteral("GIF"));
    ASSERT_FALSE(plain.isEmpty());
    ASSERT_FALSE(interlaced.isEmpty());
    ASSERT_FALSE(gifFirstFrameInterlaced(readAll(plain)));
    ASSERT_TRUE(gifFirstFrameInterlaced(readAll(interlaced)));

    const QImage image = pageimage::loadGif(interlaced);
    ASSERT_EQ(image.size(), QSize(32, 64));
    const std::vector<int> greys = columnGreys(image);
    for (size_t y = 1; y < greys.size(); ++y)
        EXPECT_LT(greys[y], greys[y - 1]) << "row " << y << " is out of order";
    EXPECT_EQ(greys, columnGreys(pageimage::loadGif(plain)));
}

TEST_F(PageImageTest, GifTransparentAreaIsWhite)
{
    // The transparent colour's table entry is black; the page must show white paper.
    const QString file =
        convert(QStringLiteral("transparent.gif"),
                {QStringLiteral("-size"), QStringLiteral("40x40"), QStringLiteral("xc:black"),
                 QStringLiteral("-fill"), QStringLiteral("red"), QStringLiteral("-draw"),
                 QStringLiteral("rectangle 10,10 29,29"), QStringLiteral("-transparent"),
                 QStringLiteral("black")});
    ASSERT_FALSE(file.isEmpty());
    const QImage image = pageimage::loadGif(file);
    ASSERT_EQ(image.size(), QSize(40, 40));
    EXPECT_EQ(image.pixel(2, 2), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(20, 20), qRgb(255, 0, 0));
}

TEST_F(PageImageTest, GifFirstFrameIsPlacedOnTheLogicalScreen)
{
    // A 20 x 10 blue frame at (30,20) on a 60 x 40 screen, then a red second frame.
    const QString file =
        convert(QStringLiteral("offset.gif"),
                {QStringLiteral("-page"), QStringLiteral("60x40+30+20"), QStringLiteral("-size"),
                 QStringLiteral("20x10"), QStringLiteral("xc:blue"), QStringLiteral("-page"),
                 QStringLiteral("60x40+0+0"), QStringLiteral("-size"), QStringLiteral("60x40"),
                 QStringLiteral("xc:red")});
    ASSERT_FALSE(file.isEmpty());
    const QImage image = pageimage::loadGif(file);
    ASSERT_EQ(image.size(), QSize(60, 40));
    EXPECT_EQ(image.pixel(35, 25), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(49, 29), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(5, 5), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(50, 30), qRgb(255, 255, 255));
}

TEST_F(PageImageTest, GifWithAbsurdScreenIsRefused)
{
    QByteArray bytes = readAll(convert(QStringLiteral("small.gif"), kQuadrants));
    ASSERT_GT(bytes.size(), 10);
    for (int i = 6; i < 10; ++i)
        bytes[i] = char(0xFF); // 65535 x 65535
    QString error;
    EXPECT_TRUE(
        pageimage::loadGif(testfiles::writeFile(path(QStringLiteral("huge.gif")), bytes), &error)
            .isNull());
    EXPECT_TRUE(error.contains(QLatin1String("too large"))) << error.toStdString();
}

TEST_F(PageImageTest, GifFramesAreCheckedBeforeDecodingAndOnlyTheFirstIsRead)
{
    // 35 bytes whose one frame declares 46340 x 46340 pixels on a 1 x 1 screen.
    const QByteArray hugeFrame = gifBytes({1, 1}, {{0, 0, 46340, 46340}});
    ASSERT_EQ(hugeFrame.size(), 35);
    QString error;
    EXPECT_TRUE(pageimage::loadGif(
                    testfiles::writeFile(path(QStringLiteral("frame.gif")), hugeFrame), &error)
                    .isNull());
    EXPECT_TRUE(error.contains(QLatin1String("too large"))) << error.toStdString();

    // A good first frame, then a huge second one whose data is missing: the page is the
    // first frame, and nothing after it is read.
    const QString later =
        testfiles::writeFile(path(QStringLiteral("later.gif")),
                             gifBytes({2, 1}, {{0, 0, 1, 1}, {0, 0, 46340, 46340}}).chopped(6));
    const QImage image = pageimage::loadGif(later, &error);
    ASSERT_EQ(image.size(), QSize(2, 1)) << error.toStdString();
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(1, 0), qRgb(255, 255, 255));
}

TEST_F(PageImageTest, GifErrorsNameTheFileAndTheProblem)
{
    const QByteArray good = gifBytes({2, 1}, {{0, 0, 1, 1}});
    const struct {
        const char* name;
        QByteArray bytes;
        const char* problem;
    } cases[] = {
        {"zero.gif", gifBytes({2, 1}, {{0, 0, 0, 1}}), "no width or height"},
        {"cut.gif", good.left(good.size() - 4), "cut short"},
        {"header.gif", good.left(10), "cut short"},
        {"empty.gif", gifBytes({2, 1}, {}), "holds no picture"},
        {"other.gif", good.left(19) + QByteArray(20, 'x'), "damaged"},
        {"text.gif", QByteArray("not a picture at all"), "not a GIF"},
    };
    for (const auto& c : cases) {
        const QString file = testfiles::writeFile(path(QString::fromLatin1(c.name)), c.bytes);
        QString error;
        EXPECT_TRUE(pageimage::loadGif(file, &error).isNull()) << c.name;
        EXPECT_TRUE(error.contains(file) && error.contains(QLatin1String(c.problem)) &&
                    !error.contains(QLatin1String("GIF error")))
            << c.name << ": " << error.toStdString();
    }
}

// --- BMP ------------------------------------------------------------------------------

TEST_F(PageImageTest, BmpTrueColourAndPaletteDecode)
{
    const QString trueColour =
        convert(QStringLiteral("24.bmp"),
                QStringList(kQuadrants) << QStringLiteral("-type") << QStringLiteral("TrueColor"));
    const QString palette = convert(
        QStringLiteral("8.bmp"),
        QStringList(kGradient) << QStringLiteral("-fill") << QStringLiteral("red")
                               << QStringLiteral("-draw") << QStringLiteral("rectangle 8,0 15,63")
                               << QStringLiteral("-type") << QStringLiteral("Palette"));
    ASSERT_FALSE(trueColour.isEmpty());
    ASSERT_FALSE(palette.isEmpty());
    // Bits per pixel sit at offset 28 of the file.
    ASSERT_EQ(uchar(readAll(trueColour).at(28)), 24);
    ASSERT_EQ(uchar(readAll(palette).at(28)), 8);

    expectQuadrants(pageimage::loadBmp(trueColour), 0);

    const QImage image = pageimage::loadBmp(palette);
    ASSERT_EQ(image.size(), QSize(32, 64));
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
    EXPECT_EQ(image.pixel(10, 30), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(0, 63), qRgb(0, 0, 0));
}

TEST_F(PageImageTest, BmpWithAlphaIsShownOverWhite)
{
    const QString file =
        convert(QStringLiteral("alpha.bmp"),
                {QStringLiteral("-size"), QStringLiteral("40x40"), QStringLiteral("xc:none"),
                 QStringLiteral("-fill"), QStringLiteral("red"), QStringLiteral("-draw"),
                 QStringLiteral("rectangle 10,10 29,29")});
    ASSERT_FALSE(file.isEmpty());
    const QImage image = pageimage::loadBmp(file);
    ASSERT_EQ(image.size(), QSize(40, 40));
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
    EXPECT_EQ(image.pixel(2, 2), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(20, 20), qRgb(255, 0, 0));
}

TEST_F(PageImageTest, LargeBmpPageLoads)
{
    // Bigger than Qt's default allocation limit once decoded.
    const QString file =
        testfiles::makeImage(m_dir.path(), QStringLiteral("page.bmp"), 5000, 7000,
                             {QStringLiteral("-type"), QStringLiteral("TrueColor")});
    ASSERT_FALSE(file.isEmpty());
    QString error;
    const QImage image = pageimage::load(file, &error);
    ASSERT_EQ(image.size(), QSize(5000, 7000)) << error.toStdString();
    EXPECT_EQ(image.pixel(750, 1050), qRgb(0, 0, 0));
}

// --- Choosing the decoder and broken files ----------------------------------------------

TEST_F(PageImageTest, ExtensionIsMatchedWithoutLetterCase)
{
    for (const char* name : {"A.JPG", "b.Jpeg", "c.GIF", "d.Bmp"}) {
        const QString file = convert(QString::fromLatin1(name), kQuadrants);
        ASSERT_FALSE(file.isEmpty());
        QString error;
        expectQuadrants(pageimage::load(file, &error), 24);
        EXPECT_TRUE(error.isEmpty()) << name << ": " << error.toStdString();
    }
}

TEST_F(PageImageTest, BrokenAndMislabelledFilesFailWithAMessage)
{
    QStringList files;
    // Cut short, in the middle of the picture data.
    const QString busyJpeg = convert(QStringLiteral("busy.jpg"), kBusy);
    const QString busyProgressive =
        convert(QStringLiteral("busyp.jpg"),
                QStringList(kBusy) << QStringLiteral("-interlace") << QStringLiteral("JPEG"));
    const QString busyGif = convert(QStringLiteral("busy.gif"), kBusy);
    const QString busyBmp =
        convert(QStringLiteral("busy.bmp"),
                QStringList(kBusy) << QStringLiteral("-type") << QStringLiteral("TrueColor"));
    ASSERT_FALSE(busyJpeg.isEmpty() || busyProgressive.isEmpty() || busyGif.isEmpty() ||
                 busyBmp.isEmpty());
    ASSERT_FALSE(pageimage::loadBmp(busyBmp).isNull());
    files << truncated(busyJpeg, QStringLiteral("cut.jpg"), 0.5)
          << truncated(busyProgressive, QStringLiteral("cutp.jpg"), 0.5)
          << truncated(busyGif, QStringLiteral("cut.gif"), 0.5)
          << truncated(busyBmp, QStringLiteral("cut.bmp"), 0.5)
          << truncated(busyJpeg, QStringLiteral("header.jpg"), 0.01);

    // Another format under a page extension, or a page format under the wrong one.
    const QString png = convert(QStringLiteral("page.png"), kQuadrants);
    ASSERT_FALSE(png.isEmpty());
    for (const char* name : {"png.jpg", "png.gif", "png.bmp"}) {
        files << path(QString::fromLatin1(name));
        QFile::copy(png, files.last());
    }
    files << path(QStringLiteral("jpeg.gif"));
    QFile::copy(busyJpeg, files.last());

    // Random bytes and empty files under each extension, and files that do not exist.
    QRandomGenerator random(1234);
    QByteArray noise(4096, '\0');
    random.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    for (const char* ext : {".jpg", ".gif", ".bmp"}) {
        const QString e = QString::fromLatin1(ext);
        files << testfiles::writeFile(path(QStringLiteral("noise") + e), noise)
              << testfiles::writeFile(path(QStringLiteral("empty") + e), {})
              << path(QStringLiteral("missing") + e);
    }

    // No decoder for these extensions, whatever the content.
    files << png << path(QStringLiteral("noextension"));
    QFile::copy(busyJpeg, files.last());

    for (const QString& file : files)
        expectFailure(file);
}

TEST_F(PageImageTest, DamagedBytesNeverCrashTheDecoders)
{
    const QString jpeg = convert(QStringLiteral("seed.jpg"), kQuadrants);
    const QString progressive =
        convert(QStringLiteral("seedp.jpg"),
                QStringList(kQuadrants) << QStringLiteral("-interlace") << QStringLiteral("JPEG"));
    const QString gif = convert(QStringLiteral("seed.gif"), kGradient);
    ASSERT_FALSE(jpeg.isEmpty() || progressive.isEmpty() || gif.isEmpty());

    QRandomGenerator random(99);
    for (const QString& source : {jpeg, progressive, gif}) {
        const QByteArray original = readAll(source);
        const QString target = path(QStringLiteral("damaged.") + QFileInfo(source).suffix());
        for (int round = 0; round < 150; ++round) {
            QByteArray bytes = original;
            for (int n = 0; n < 4; ++n)
                bytes[random.bounded(int(bytes.size()))] = char(random.bounded(256));
            testfiles::writeFile(target, bytes);
            QString error;
            const QImage image = pageimage::load(target, &error);
            // Either a whole page or a reason, never half of each.
            if (image.isNull())
                EXPECT_FALSE(error.isEmpty());
            else
                EXPECT_EQ(image.format(), QImage::Format_RGB32);
        }
    }
}

} // namespace
