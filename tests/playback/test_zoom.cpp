#include "playback/follower.h"
#include "playback/playbackstate.h"
#include "playback/sheetview.h"
#include "playback/zoomandmarker.h"
#include "support/testwindow.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

// Zoom of the page image and the two marker options, on a whole main window.

namespace {

class ZoomTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        w.window->widgets().mainPanel->show();
        QImage page(441, 423, QImage::Format_RGB32);
        page.fill(Qt::white);
        w.window->sheet().image()->setImage(page);
    }
    void zoomIn() { w.find<QAbstractButton>("Toolbar_ZoomIn").click(); }
    void zoomOut() { w.find<QAbstractButton>("Toolbar_ZoomOut").click(); }
    QSize shown() { return w.window->sheet().displaySize(); }
    QString label() { return w.find<QLabel>("ZoomLevel").text(); }
    PlaybackState& state() { return w.window->playbackState(); }

    TestWindow w;
};

TEST_F(ZoomTest, EachStepStartsFromTheTruncatedCurrentSize)
{
    EXPECT_EQ(label(), QStringLiteral("1X"));
    zoomIn();
    EXPECT_EQ(shown(), QSize(529, 507));
    EXPECT_EQ(label(), QStringLiteral("2X"));
    zoomIn();
    EXPECT_EQ(shown(), QSize(634, 608));
    EXPECT_EQ(label(), QStringLiteral("3X"));
    EXPECT_EQ(w.find<QLabel>("ZoomLevel").accessibleName(), QStringLiteral("3X"));
    zoomOut();
    EXPECT_EQ(shown(), QSize(528, 506));
    EXPECT_EQ(label(), QStringLiteral("2X"));
    zoomOut();
    EXPECT_EQ(shown(), QSize(441, 423));
    EXPECT_EQ(label(), QStringLiteral("1X"));
    EXPECT_EQ(state().zoomSteps, 0);

    zoomOut();
    EXPECT_EQ(shown(), QSize(367, 352));
    EXPECT_EQ(label(), QStringLiteral("1/2 X"));
    // The scroll box's canvas follows the page.
    EXPECT_EQ(w.window->sheet().canvas()->size(), QSize(367, 352));
}

TEST_F(ZoomTest, FiveStepsEachWayAtMost)
{
    QSize previous = shown();
    for (int i = 0; i < 5; ++i) {
        zoomIn();
        EXPECT_GT(shown().width(), previous.width());
        previous = shown();
    }
    EXPECT_EQ(label(), QStringLiteral("6X"));
    EXPECT_EQ(state().zoomSteps, 5);
    zoomIn();
    EXPECT_EQ(shown(), previous);
    EXPECT_EQ(label(), QStringLiteral("6X"));

    w.window->zoom().cancelZoom();
    EXPECT_EQ(shown(), QSize(441, 423));
    const char* texts[] = {"1/2 X", "1/3 X", "1/4 X", "1/5 X", "1/6 X"};
    for (const char* text : texts) {
        zoomOut();
        EXPECT_EQ(label(), QLatin1String(text));
    }
    previous = shown();
    zoomOut();
    EXPECT_EQ(shown(), previous);
    EXPECT_EQ(state().zoomSteps, -5);
}

TEST_F(ZoomTest, EveryZoomAsksTheFollowTickToRedraw)
{
    state().refreshRequest = false;
    zoomIn();
    EXPECT_TRUE(state().refreshRequest);
    state().refreshRequest = false;
    zoomOut();
    EXPECT_TRUE(state().refreshRequest);
    state().refreshRequest = false;
    w.window->zoom().applySteps(-2);
    EXPECT_EQ(label(), QStringLiteral("1/3 X"));
    EXPECT_EQ(state().zoomSteps, -2);
    EXPECT_TRUE(state().refreshRequest);
}

TEST_F(ZoomTest, TheZoomedPageIsDrawnWhereItBelongs)
{
    // A white page with one black block at 1000..1200.
    QImage page(2000, 2000, QImage::Format_RGB32);
    page.fill(Qt::white);
    for (int y = 1000; y < 1200; ++y)
        for (int x = 1000; x < 1200; ++x)
            page.setPixel(x, y, qRgb(0, 0, 0));
    SheetView& sheet = w.window->sheet();
    sheet.image()->setImage(page);
    const auto at = [&](int scrollX, int scrollY, QPoint pagePoint) {
        sheet.setScroll(scrollX, scrollY);
        const QImage shown = sheet.viewport()->grab().toImage();
        return qGray(shown.pixel(pagePoint - QPoint(scrollX, scrollY)));
    };

    zoomIn(); // 2400 x 2400: the block covers 1200..1440
    ASSERT_EQ(shown(), QSize(2400, 2400));
    EXPECT_LT(at(1100, 1100, {1320, 1320}), 50);
    EXPECT_GT(at(1100, 1100, {1150, 1150}), 200);
    // Scrolled elsewhere and back: drawn again at the same place.
    EXPECT_GT(at(0, 0, {300, 300}), 200);
    EXPECT_LT(at(1000, 1050, {1430, 1430}), 50);
    EXPECT_GT(at(1000, 1050, {1450, 1450}), 200);

    w.window->zoom().cancelZoom();
    zoomOut(); // 1666 x 1666: the block covers 833..999
    ASSERT_EQ(shown(), QSize(1666, 1666));
    EXPECT_LT(at(600, 600, {916, 916}), 50);
    EXPECT_GT(at(600, 600, {820, 820}), 200);
    EXPECT_GT(at(600, 600, {1010, 1010}), 200);
}

TEST(ZoomText, CountsSteps)
{
    EXPECT_EQ(ZoomAndMarker::zoomText(0), QStringLiteral("1X"));
    EXPECT_EQ(ZoomAndMarker::zoomText(2), QStringLiteral("3X"));
    EXPECT_EQ(ZoomAndMarker::zoomText(-1), QStringLiteral("1/2 X"));
}

class MarkerOptionsTest : public ZoomTest {
protected:
    void SetUp() override
    {
        ZoomTest::SetUp();
        w.window->workspace().notes.setLines(
            {QStringLiteral("1={500000}{500000}{0}"), QStringLiteral("3={250000}{250000}{0}")});
        w.window->rebuildIndex();
        w.player.setSource(QStringLiteral("/music/piece.wav"));
        w.primePlayer(60);
    }
    void tickAt(double seconds)
    {
        w.player.setPositionQuietly(seconds);
        w.window->follower().PositionTimerTimer();
    }
    QWidget& point() { return *w.window->sheet().point(); }
    LinkLabel& enabledLabel() { return w.find<LinkLabel>("MarkerBox_EnabledLabel"); }
    QImage led(const char* name) { return w.find<QLabel>(name).pixmap().toImage(); }
};

TEST_F(MarkerOptionsTest, HidingTheMarkerStopsFollowingUntilShownAgain)
{
    tickAt(1.5);
    ASSERT_TRUE(point().isVisible());
    EXPECT_EQ(w.window->follower().selectedEntry(), 0);

    enabledLabel().clicked();
    EXPECT_FALSE(point().isVisible());
    EXPECT_EQ(enabledLabel().text(), QStringLiteral("Show Marker"));
    EXPECT_EQ(enabledLabel().accessibleName(), QStringLiteral("Show Marker"));
    EXPECT_EQ(led("MarkerBox_EnabledLED"), led("LEDRed"));
    EXPECT_TRUE(state().markerHidden);

    // Hidden: the timeline moves on, the marker does not.
    tickAt(3.5);
    EXPECT_EQ(w.find<QSlider>("TrackBar").value(), 350);
    EXPECT_FALSE(point().isVisible());
    EXPECT_EQ(w.window->follower().selectedEntry(), 0);

    // Shown again: the next tick shows the current entry, with no change of position.
    w.find<ClickPicture>("MarkerBox_EnabledLED").clicked();
    EXPECT_EQ(enabledLabel().text(), QStringLiteral("Hide Marker"));
    EXPECT_EQ(led("MarkerBox_EnabledLED"), led("LEDGreen"));
    EXPECT_TRUE(state().reshowRequest);
    tickAt(3.5);
    EXPECT_TRUE(point().isVisible());
    EXPECT_EQ(w.window->follower().selectedEntry(), 1);
    EXPECT_FALSE(state().reshowRequest);
}

TEST_F(MarkerOptionsTest, KeepTopLeftTogglesItsLabelAndLamp)
{
    auto& label = w.find<LinkLabel>("MarkerBox_TopLeftLabel");
    EXPECT_EQ(label.text(), QStringLiteral("Keep Top-Left"));
    EXPECT_EQ(led("MarkerBox_TopLeftLED"), led("LEDRed"));
    label.clicked();
    EXPECT_EQ(label.text(), QStringLiteral(" Center"));
    EXPECT_EQ(led("MarkerBox_TopLeftLED"), led("LEDGreen"));
    EXPECT_TRUE(state().keepTopLeft);
    w.find<ClickPicture>("MarkerBox_TopLeftLED").clicked();
    EXPECT_EQ(label.text(), QStringLiteral(" Top-Left"));
    EXPECT_EQ(led("MarkerBox_TopLeftLED"), led("LEDRed"));
    EXPECT_FALSE(state().keepTopLeft);
}

} // namespace

TEST_F(ZoomTest, RightClickOnThePageOpensTheImageMenu)
{
    w.window->show();
    zoomIn();
    zoomIn();
    auto* menu = w.window->findChild<QMenu*>(QStringLiteral("ImageMenu"));
    ASSERT_NE(menu, nullptr);
    QStringList captions;
    for (QAction* action : menu->actions())
        captions << action->text();
    EXPECT_EQ(captions, (QStringList{QStringLiteral("Zoom In"), QStringLiteral("Zoom Out"),
                                     QStringLiteral("Cancel Zoom")}));

    // A right click on the marker shape is the shape's, not the page's.
    MarkerShape* point = w.window->sheet().point();
    point->show();
    QTest::mouseClick(point, Qt::RightButton);
    EXPECT_FALSE(menu->isVisible());

    QTest::mouseClick(w.window->sheet().image(), Qt::RightButton, {}, QPoint(300, 300));
    ASSERT_TRUE(menu->isVisible());
    menu->actions().at(2)->trigger();
    menu->hide();
    EXPECT_EQ(shown(), QSize(441, 423));
    EXPECT_EQ(label(), QStringLiteral("1X"));
}
