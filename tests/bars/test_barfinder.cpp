#include "bars/barfinder.h"
#include "bars/bartruth.h"
#include "bars/playingorder.h"
#include "project/pageimage.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QRandomGenerator>
#include <QTransform>
#include <algorithm>
#include <functional>
#include <string>

namespace {

const QString kData = QStringLiteral(FOLIVANT_BARS_DATA);

bartruth::TruePage corpusPage(const QString& file)
{
    for (const bartruth::TruePage& page : bartruth::readCorpus(kData))
        if (page.file == file)
            return page;
    ADD_FAILURE() << "no page " << file.toStdString() << " in the corpus";
    return {};
}

QImage load(const QString& file)
{
    QString error;
    const QImage image = pageimage::load(kData + QLatin1Char('/') + file, &error);
    EXPECT_FALSE(image.isNull()) << error.toStdString();
    return image;
}

// Pages of the tuning half: a piano page with a pickup, a first and second ending and
// repeats; a three-staff score over two pages; a single staff at 600 dpi with dense
// beams; a piano page whose systems open with a repeat sign right after the key; a
// single staff with words at 100 dpi, where a stem with its head on a line spans the staff
// like a bar line; and scan-like copies turned by a degree and more, two of them with
// repeats and endings, two of small staves whose repeat dots the blur brings close to,
// or joins to, their bar line, and one whose bar lines the turn leaves a column wider at
// one end; and a piano page of the second engraver, in common time, its first bar opened
// by a repeat sign well after the signatures, engraved and as a scan-like copy.
TEST(BarFinder, FindsTheBarsOfEngravedAndScannedPages)
{
    for (const QString& file :
         {QStringLiteral("waltz-p1.gif"), QStringLiteral("chorale-p1.gif"),
          QStringLiteral("minuet-p1.gif"), QStringLiteral("etude-p1.gif"),
          QStringLiteral("mazurka-p1.gif"), QStringLiteral("chorale-p2-scan300.jpg"),
          QStringLiteral("polka-p1-scan150.jpg"), QStringLiteral("etude-p1-scan150.jpg"),
          QStringLiteral("bourree-p1-scan150.jpg"), QStringLiteral("lied-p1.gif"),
          QStringLiteral("chaconne-p1-scan150.jpg"), QStringLiteral("fanfare-p1-scan150.jpg"),
          QStringLiteral("strathspey-p1.gif"), QStringLiteral("strathspey-p1-scan150.jpg")}) {
        SCOPED_TRACE(file.toStdString());
        const bartruth::TruePage page = corpusPage(file);
        const bars::PageBars found = bars::findBars(load(file));
        const bartruth::Score score = bartruth::compare(found.bars, page);
        EXPECT_GE(score.precision(), 0.95);
        EXPECT_GE(score.recall(), 0.95);
        EXPECT_EQ(score.matchedRepeats, score.trueRepeats);
        EXPECT_EQ(score.falseRepeats, 0);
        EXPECT_NEAR(found.staffSpace, page.space, 0.1 * page.space);
        // Reading order: system by system, left to right within a system; a system's first
        // bar starts after its clef.
        for (int i = 0; i < found.bars.size(); ++i) {
            const bars::Bar& b = found.bars[i];
            if (i == 0 || found.bars[i - 1].system != b.system) {
                EXPECT_GT(b.left, found.systems[b.system].left + 2.5 * page.space);
                continue;
            }
            const bars::Bar& a = found.bars[i - 1];
            EXPECT_TRUE(b.system == a.system ? b.left >= a.right : b.system == a.system + 1);
        }
        // The repeats and endings found give the order the music is played in: the true
        // bars in the true order, once a bar split in two by a stem is taken as one.
        const QList<int> truth = bartruth::matches(found.bars, page);
        QList<int> order;
        for (const int i : bars::playingOrder(found.bars))
            if (truth[i] >= 0)
                order << truth[i];
        EXPECT_EQ(order, bars::playingOrder(page.bars));
    }
}

// A natural standing just after a bar line, its hole joined to the line only through a
// thick staff line, is not a hollow note head on a stem; nor is the blurred edge of a turned
// bar line, inked beside it down much of the staff, a head touching it: every bar line of
// the page is found.
TEST(BarFinder, AnAccidentalAfterABarLineIsNoNoteHead)
{
    const QString file = QStringLiteral("allemande-p1-scan150.jpg");
    const bartruth::Score score =
        bartruth::compare(bars::findBars(load(file)).bars, corpusPage(file));
    EXPECT_EQ(score.matched, score.truth);
    EXPECT_EQ(score.falseRepeats, 0);
}

// A first ending that opens a system has its bracket start over the clef and the key, before
// the bar itself: it is the first bar's ending all the same.
TEST(BarFinder, AnEndingOpeningASystemIsItsFirstBars)
{
    for (const QString& file :
         {QStringLiteral("gavotte-p1.gif"), QStringLiteral("nocturne-p1-scan300.jpg")}) {
        const bartruth::Score score =
            bartruth::compare(bars::findBars(load(file)).bars, corpusPage(file));
        EXPECT_EQ(score.matchedEndings, score.trueEndings) << qPrintable(file);
    }
}

// A page turned by 2 degrees either way gives the bars of the straight page, where the
// turn has taken them.
// A piano page at 300 dpi turned by 2 degrees either way and by 1.5, and a single staff at
// 150 dpi turned by 2, each about its centre. Straightened, the piano page's beams and
// ledger lines above a staff could start a second reading of that staff's lines; the corner
// of a bar line and the bottom line smeared outwards beside it like a note head on the line.
TEST(BarFinder, ReadsATurnedPage)
{
    for (const auto& [file, angles] :
         {std::pair{QStringLiteral("waltz-p1.gif"), std::vector<double>{2.0, -2.0, 1.5}},
          std::pair{QStringLiteral("ballad-p1.gif"), std::vector<double>{2.0}}}) {
        const bartruth::TruePage page = corpusPage(file);
        const QImage straight = load(page.file).convertToFormat(QImage::Format_RGB32);
        for (const double degrees : angles) {
            SCOPED_TRACE(file.toStdString() + " " + std::to_string(degrees));
            QTransform turn;
            turn.translate(straight.width() / 2.0, straight.height() / 2.0);
            turn.rotate(degrees);
            turn.translate(-straight.width() / 2.0, -straight.height() / 2.0);
            QImage turnedPage(straight.size(), QImage::Format_RGB32);
            turnedPage.fill(Qt::white);
            QPainter painter(&turnedPage);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.setTransform(turn);
            painter.drawImage(0, 0, straight);
            painter.end();
            bartruth::TruePage turned = page;
            for (bars::Bar& bar : turned.bars) {
                const double middleY = (bar.top + bar.bottom) / 2.0;
                const double middleX = (bar.left + bar.right) / 2.0;
                bar.left = int(turn.map(QPointF(bar.left, middleY)).x());
                bar.right = int(turn.map(QPointF(bar.right, middleY)).x());
                bar.top = int(turn.map(QPointF(middleX, bar.top)).y());
                bar.bottom = int(turn.map(QPointF(middleX, bar.bottom)).y());
            }
            const bars::PageBars found = bars::findBars(turnedPage);
            EXPECT_NEAR(found.skewDegrees, degrees, 0.2);
            const bartruth::Score score = bartruth::compare(found.bars, turned);
            EXPECT_EQ(score.found, score.truth);
            EXPECT_EQ(score.matched, score.truth);
            EXPECT_EQ(score.matchedRepeats, score.trueRepeats);
        }
    }
}

// A 100 dpi page with words (a staff space under 5 pixels) and its scan-like copy: the
// first line opens with a pickup of one rest after a common-time sign, then a repeat sign
// under the tempo mark, and a half note's stem that runs through the staff follows a bar
// line closely.
TEST(BarFinder, ReadsSmallStaves)
{
    for (const QString& file :
         {QStringLiteral("hymn-p1.gif"), QStringLiteral("hymn-p1-scan150.jpg")}) {
        SCOPED_TRACE(file.toStdString());
        const bartruth::TruePage page = corpusPage(file);
        const bars::PageBars found = bars::findBars(load(page.file));
        const bartruth::Score score = bartruth::compare(found.bars, page);
        EXPECT_EQ(score.matchedRepeats, score.trueRepeats);
        EXPECT_EQ(score.falseRepeats, 0);
        const QList<int> truth = bartruth::matches(found.bars, page);
        QList<int> firstLine;
        for (int i = 0; i < found.bars.size(); ++i)
            if (found.bars[i].system == 0)
                firstLine << truth[i];
        EXPECT_EQ(firstLine, QList<int>({0, 1, 2, 3}));
    }
}

// The brackets of first and second endings on a scan-like copy read at twice its size and
// blurred again, where their lines are a third of a staff space broad.
TEST(BarFinder, FindsEndingsOnALargerCopy)
{
    const QImage scan = load(QStringLiteral("minuet-p1-scan150.jpg"));
    QImage large = scan.scaled(scan.size() * 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_Grayscale8);
    for (int pass = 0; pass < 2; ++pass) { // a 3 x 3 box blur
        const QImage sharp = large.copy();
        for (int y = 1; y + 1 < large.height(); ++y)
            for (int x = 1; x + 1 < large.width(); ++x) {
                int sum = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        sum += sharp.constScanLine(y + dy)[x + dx];
                large.scanLine(y)[x] = uchar(sum / 9);
            }
    }
    const bars::PageBars found = bars::findBars(large);
    QList<int> endings;
    for (const bars::Bar& bar : found.bars)
        if (bar.ending)
            endings << bar.ending;
    EXPECT_EQ(endings, QList<int>({1, 2}));
}

// The bars of a piano system: two staves with a clef and a bar line every 220 pixels,
// opened by a line through both, with what `extra` draws over it.
bars::PageBars pianoSystem(const std::function<void(QPainter&, const QColor&)>& extra)
{
    const QColor ink(40, 40, 40);
    QImage page(1240, 700, QImage::Format_RGB32);
    page.fill(qRgb(235, 235, 235));
    QPainter painter(&page);
    for (const int top : {150, 290}) {
        for (int k = 0; k < 5; ++k)
            painter.fillRect(58, top + int(13.5 * k), 1123, 2, ink);
        painter.fillRect(70, top - 8, 22, 72, ink); // a clef
        for (int x = 300; x <= 1181; x += 220)      // each staff's own bar lines
            painter.fillRect(x - 2, top, 3, 56, ink);
    }
    painter.fillRect(58, 150, 2, 196, ink); // the line that opens the system
    extra(painter, ink);
    painter.end();
    return bars::findBars(page);
}

// Draws a staff with its top line at `top`, its lines 13.5 pixels apart from 58 to `right`,
// a clef, and a bar line at `firstBar` and every `step` pixels after it (none where 0).
void drawStaff(QPainter& painter, const QColor& ink, int top, int right, int firstBar, int step)
{
    for (int k = 0; k < 5; ++k)
        painter.fillRect(58, top + int(13.5 * k), right - 58, 2, ink);
    painter.fillRect(70, top - 8, 22, 72, ink); // a clef
    for (int x = firstBar; step > 0 && x <= right; x += step)
        painter.fillRect(x - 2, top, 3, 56, ink);
}

// The bars of a page of 1240 by `height` pixels on which `draw` draws.
bars::PageBars barsOfDrawing(int height, const std::function<void(QPainter&, const QColor&)>& draw)
{
    QImage page(1240, height, QImage::Format_RGB32);
    page.fill(qRgb(235, 235, 235));
    QPainter painter(&page);
    draw(painter, QColor(40, 40, 40));
    painter.end();
    return bars::findBars(page);
}

// The bars of one staff (its top line at 150) with a clef and a bar line every 220 pixels,
// with what `extra` draws over it.
bars::PageBars staffPage(const std::function<void(QPainter&, const QColor&, int top)>& extra)
{
    return barsOfDrawing(400, [&](QPainter& painter, const QColor& ink) {
        drawStaff(painter, ink, 150, 1181, 300, 220);
        extra(painter, ink, 150);
    });
}

// A piano system whose left hand repeats its chords in eighths: their beams lie flat, bar
// after bar, along and between the lines of the lower staff, in rows a third as long as its
// lines. The staff is found all the same, joined to the one above, with the bars of the
// system without the beams.
TEST(BarFinder, FlatBeamsAlongTheLinesLeaveTheStaffWhole)
{
    const bars::PageBars plain = pianoSystem([](QPainter&, const QColor&) {});
    const bars::PageBars beamed = pianoSystem([](QPainter& painter, const QColor& ink) {
        for (int x = 310; x + 90 < 1181; x += 110)
            for (const auto& [y, height] :
                 {std::pair{300, 3}, std::pair{305, 5}, std::pair{311, 5}})
                painter.fillRect(x, y, 36, height, ink);
    });
    ASSERT_EQ(beamed.systems.size(), 1);
    EXPECT_EQ(beamed.systems.front().staves, 2);
    EXPECT_EQ(beamed.bars.size(), plain.bars.size());
    EXPECT_GE(plain.bars.size(), 4);
}

// A piano system on a noisy scan: the brace stands close before the lines, so the staves
// seem to start at the brace, and its thin point is broken. The line that opens the system,
// where the lines truly start, still joins the two staves into one system.
TEST(BarFinder, TheLineOpeningASystemJoinsItsStavesPastABrokenBrace)
{
    const auto system = [](bool broken) {
        return pianoSystem([broken](QPainter& painter, const QColor& ink) {
            painter.fillRect(44, 140, 7, 216, ink); // the brace, a line distance before it
            if (broken)
                painter.fillRect(40, 246, 15, 3, qRgb(235, 235, 235));
        });
    };
    const bars::PageBars whole = system(false);
    const bars::PageBars broken = system(true);
    ASSERT_EQ(broken.systems.size(), 1);
    EXPECT_EQ(broken.systems.front().staves, 2);
    EXPECT_EQ(broken.bars.size(), whole.bars.size());
    EXPECT_GE(whole.bars.size(), 4);
}

// At 150 dpi a turned, blurred line may come out a row thicker along a stretch. Where that
// stretch starts at a bar line's end, the bar line is no stem with a note head beside it:
// a head runs off the line by half a space, not by one row.
TEST(BarFinder, ALineARowThickerBesideABarLineIsNoNoteHead)
{
    const QColor ink(40, 40, 40);
    const auto staff = [&](bool thicker) {
        QImage page(1240, 300, QImage::Format_RGB32);
        page.fill(qRgb(235, 235, 235));
        QPainter painter(&page);
        const int top = 120;
        const int bottom = top + 38;
        for (int k = 0; k < 5; ++k)
            painter.fillRect(60, top + int(9.5 * k), 1120, 2, ink);
        painter.fillRect(70, top - 6, 16, 50, ink); // a clef
        for (int x = 300; x <= 1180; x += 220)
            painter.fillRect(x - 1, top, 3, 40, ink);
        if (thicker) // the bottom line along the first bar line's right
            for (const int y : {bottom - 1, bottom + 2})
                painter.fillRect(302, y, 15, 1, ink);
        painter.end();
        return bars::findBars(page);
    };
    const bars::PageBars plain = staff(false);
    EXPECT_GE(plain.bars.size(), 4);
    EXPECT_EQ(staff(true).bars.size(), plain.bars.size());
}

// On a noisy copy, beams lying all along the space between a staff's two lowest lines fill
// it with ink, so the two lines and the beams are one thick stroke across the page. Both
// lines are found in it all the same, and the staff is kept.
TEST(BarFinder, BeamsFillingASpaceLeaveBothItsLines)
{
    const bars::PageBars plain = staffPage([](QPainter&, const QColor&, int) {});
    const bars::PageBars beamed = staffPage([](QPainter& painter, const QColor& ink, int top) {
        for (int x = 310; x + 60 < 1181; x += 110)
            painter.fillRect(x, top + 42, 40, 12, ink);
    });
    EXPECT_GE(plain.bars.size(), 4);
    EXPECT_EQ(beamed.bars.size(), plain.bars.size());
}

// The last line of a piece may hold a single bar, closed by the final bar line at the
// staff's end; its first note stands so close after the clef that it reads as part of the
// signatures. The bar is found all the same: a final bar line never opens a bar.
TEST(BarFinder, ALastLineOfOneBarHasItsBar)
{
    const bars::PageBars found = barsOfDrawing(400, [](QPainter& painter, const QColor& ink) {
        const int top = 150;
        drawStaff(painter, ink, top, 458, 0, 0);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ink);
        painter.drawEllipse(QRectF(100, top + 41, 17, 13)); // a half note's head...
        painter.fillRect(115, top + 8, 2, 40, ink);         // ...and its stem
        painter.fillRect(440, top, 3, 56, ink);             // the final bar line
        painter.fillRect(449, top, 9, 56, ink);
    });
    ASSERT_EQ(found.bars.size(), 1);
    EXPECT_TRUE(found.bars.front().doubleBar);
    EXPECT_LT(found.bars.front().left, 300);
}

// A piece may end on a line far shorter than the page's others: one bar after the clef.
// Its staff is found too, with its bar.
TEST(BarFinder, FindsAStaffMuchShorterThanTheOthers)
{
    const bars::PageBars found = barsOfDrawing(700, [](QPainter& painter, const QColor& ink) {
        for (const int top : {120, 300, 480}) {
            const int right = top == 480 ? 258 : 1181;
            drawStaff(painter, ink, top, right, 300, 220);
            painter.fillRect(right - 3, top, 3, 56, ink); // the line that ends the staff
        }
    });
    ASSERT_EQ(found.systems.size(), 3);
    EXPECT_EQ(std::count_if(found.bars.begin(), found.bars.end(),
                            [](const bars::Bar& bar) { return bar.system == 2; }),
              1);
}

// A line of music after the first: clef and key, then a short first bar whose notes stand
// so close after the key that they read as part of the signatures, leaving little before
// the first bar line. A single bar line never opens a line's first bar: the bar is kept.
TEST(BarFinder, AShortFirstBarAfterTheKeyIsKept)
{
    const bars::PageBars found = barsOfDrawing(400, [](QPainter& painter, const QColor& ink) {
        const int top = 150;
        drawStaff(painter, ink, top, 1181, 180, 200);
        for (const int x : {104, 116}) // two flats
            painter.fillRect(x, top + 10, 8, 24, ink);
        painter.fillRect(132, top, 18, 56, ink);    // a natural and its note, filling the staff
        painter.fillRect(160, top + 26, 5, 3, ink); // a little of the next note off the lines
        painter.fillRect(1178, top, 3, 56, ink);
    });
    ASSERT_EQ(found.systems.size(), 1);
    EXPECT_EQ(found.bars.size(), 6);
}

// A common-time sign may stand a little further after the key than the key's signs stand
// apart, and a repeat sign opening the first bar further on still. The sign is part of the
// signatures, not a bar before the repeat.
TEST(BarFinder, ACommonTimeSignBeforeARepeatIsNoBar)
{
    // The key's three flats apart, and run together into one block that fills the staff
    // from its top line to its bottom line (as a blurred copy at a low resolution reads
    // them), like a time signature's digits.
    for (const bool runTogether : {false, true}) {
        SCOPED_TRACE(runTogether);
        const bars::PageBars found = barsOfDrawing(400, [&](QPainter& painter, const QColor& ink) {
            const int top = 150;
            drawStaff(painter, ink, top, 1181, 440, 220);
            for (const int k : {0, 1, 2}) {
                if (runTogether)
                    painter.fillRect(104 + 6 * k, top + 16 * k, 8, 24, ink);
                else
                    painter.fillRect(104 + 12 * k, top + 10, 8, 24, ink);
            }
            painter.setPen(QPen(ink, 4));
            painter.setBrush(Qt::NoBrush);
            painter.drawArc(QRectF(160, top + 15, 20, 24), 40 * 16, 280 * 16); // the sign
            painter.setPen(Qt::NoPen);
            painter.fillRect(206, top, 6, 56, ink); // the repeat sign: thick and thin line, dots
            painter.fillRect(216, top, 2, 56, ink);
            painter.setBrush(ink);
            for (const double y : {top + 20.25, top + 33.75})
                painter.drawEllipse(QPointF(225, y), 3, 3);
        });
        ASSERT_EQ(found.bars.size(), 4);
        EXPECT_TRUE(found.bars.front().startRepeat);
        EXPECT_GT(found.bars.front().left, 200);
    }
}

// A time signature whose digits read as two pieces a little apart (their thin middle
// columns lost in a blurred copy) ends the signatures at its second piece: a repeat sign
// after it opens the first bar.
TEST(BarFinder, ATimeSignatureInTwoPiecesIsNoBar)
{
    const bars::PageBars found = barsOfDrawing(400, [](QPainter& painter, const QColor& ink) {
        const int top = 150;
        drawStaff(painter, ink, top, 1181, 440, 220);
        // The digits' left and right pieces, a hair of paper between the upper digit and
        // the lower one.
        for (const int x : {110, 125}) {
            painter.fillRect(x, top, 7, 21, ink);
            painter.fillRect(x, top + 24, 7, 32, ink);
        }
        painter.fillRect(160, top, 6, 56, ink); // the repeat sign: thick and thin line, dots
        painter.fillRect(170, top, 2, 56, ink);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ink);
        for (const double y : {top + 20.25, top + 33.75})
            painter.drawEllipse(QPointF(179, y), 3, 3);
    });
    ASSERT_EQ(found.bars.size(), 4);
    EXPECT_TRUE(found.bars.front().startRepeat);
}

// A natural for a note below the staff, right after a bar line and joined to it and filled
// in by a copy's blur, fills the corner beside the line's lower end on its right. A stem's head
// never sits there (a stem up has it on its left, a stem down at its upper end): the bar line
// stays.
TEST(BarFinder, ANaturalJoinedToABarLineIsNoNoteHead)
{
    const bars::PageBars plain = staffPage([](QPainter&, const QColor&, int) {});
    const bars::PageBars natural = staffPage([](QPainter& painter, const QColor& ink, int top) {
        // its two strokes, the blur filling the box between, after the line at 520
        const int bottom = top + 54;
        painter.fillRect(521, bottom - 14, 2, 40, ink);
        painter.fillRect(530, bottom - 7, 2, 40, ink);
        painter.fillRect(521, bottom - 4, 11, 18, ink);
    });
    EXPECT_GE(plain.bars.size(), 4);
    EXPECT_EQ(natural.bars.size(), plain.bars.size());
}

// A bar line through a system of three staves, on a copy turned by 1.4 degrees at 100 dpi:
// once the page is straightened it steps a column aside at the middle staff's lower end,
// beside a natural in that staff. The step is the line's own, no head: all five bars stay.
TEST(BarFinder, ABarLineSteppingAsideBetweenStavesIsNoStem)
{
    const bars::PageBars found = bars::findBars(load(QStringLiteral("system-step-scan100.jpg")));
    ASSERT_EQ(found.systems.size(), 1);
    EXPECT_EQ(found.bars.size(), 5);
}

// A stem of a blurred copy may go through the staff as two strokes a column or two apart,
// its head beside only the first. Neither is a bar line.
TEST(BarFinder, AStemReadAsTwoStrokesIsNoBarLine)
{
    const bars::PageBars plain = staffPage([](QPainter&, const QColor&, int) {});
    const bars::PageBars split = staffPage([](QPainter& painter, const QColor& ink, int top) {
        painter.fillRect(600, top, 1, 56, ink);
        painter.fillRect(603, top, 1, 56, ink);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ink);
        painter.drawEllipse(QRectF(586, top + 42, 15, 16)); // the head, blurred over the line
    });
    EXPECT_GE(plain.bars.size(), 4);
    EXPECT_EQ(split.bars.size(), plain.bars.size());
}

// Pages that hold no music give no bars, quickly and without a fault.
TEST(BarFinder, FindsNoBarsWhereThereIsNoMusic)
{
    QImage white(1200, 1700, QImage::Format_RGB32);
    white.fill(Qt::white);
    QImage noise(800, 1000, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, random.bounded(2) ? 0xff000000 : 0xffffffff);
    QImage strokes = white.copy();
    {
        // Upright strokes of every length, with nothing to measure them against.
        QPainter painter(&strokes);
        for (int x = 40; x < 1160; x += 23)
            painter.fillRect(x, 100 + (x * 7) % 300, 3, 40 + (x * 13) % 900, Qt::black);
    }
    QImage lines = white.copy();
    {
        // Ruled paper: lines evenly spaced, not in groups of five.
        QPainter painter(&lines);
        for (int y = 50; y < lines.height(); y += 20)
            painter.fillRect(60, y, 1080, 2, Qt::black);
    }
    QImage tiny(1, 1, QImage::Format_RGB32);
    tiny.fill(Qt::black);
    QImage thin(20000, 3, QImage::Format_RGB32);
    thin.fill(Qt::black);
    for (const QImage& page : {QImage(), white, noise, strokes, lines, tiny, thin}) {
        const bars::PageBars found = bars::findBars(page);
        EXPECT_TRUE(found.bars.isEmpty());
        EXPECT_FALSE(found.cancelled);
    }
}

TEST(BarFinder, StopsWhenCancelled)
{
    const bars::CancelFlag cancel{true};
    const bars::PageBars found = bars::findBars(load(QStringLiteral("waltz-p1.gif")), &cancel);
    EXPECT_TRUE(found.cancelled);
    EXPECT_TRUE(found.bars.isEmpty());
}

} // namespace
