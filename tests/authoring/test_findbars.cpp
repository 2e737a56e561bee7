#include "authoring/automaticmarking.h"
#include "project/markerentry.h"
#include "support/testwindow.h"

#include <QAbstractButton>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Find Bars in automatic marking's second stage, on two engraved pages of a 6/8 piece with
// a repeat and first and second endings (40 bars as printed).

namespace {

QString barPage(const char* name)
{
    return QStringLiteral(FOLIVANT_BARS_DATA "/") + QLatin1String(name);
}

} // namespace

class FindBarsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sources.isValid());
        const QString audio =
            testfiles::writeFile(sources.filePath(QStringLiteral("Jig.wav")), QByteArray("RIFF"));
        w.find<QAbstractButton>("Startup_RecordButton").click();
        w.dialogs.files << audio << barPage("jig-p1.gif") << barPage("jig-p2.gif");
        w.find<QAbstractButton>("NewProjectSelectAudio").click();
        w.find<QAbstractButton>("NewAddImage").click();
        w.find<QAbstractButton>("NewAddImage").click();
        w.find<QAbstractButton>("NewProjectAuto").click();
        w.primePlayer(60);
        for (double at : {1.0, 50.0}) {
            w.player.setPositionQuietly(at);
            w.find<QAbstractButton>("ContinueButton").click();
        }
        ASSERT_TRUE(w.window->workspace().modes.automaticSecondStage);
        w.dialogs.shown.clear();
    }
    QAbstractButton& findBars() { return w.find<QAbstractButton>("Toolbar_FindBars"); }
    const MarkerList& notes() { return w.window->workspace().notes; }

    TestWindow w;
    QTemporaryDir sources;
};

TEST_F(FindBarsTest, PlacesABoxAtEveryBarInPlayingOrder)
{
    EXPECT_TRUE(findBars().isVisible());
    EXPECT_EQ(findBars().toolTip(), QStringLiteral("Place a box at every bar of every page"));

    // As printed: one entry per bar, page 1 before page 2, "Bar N" at each system's start.
    w.dialogs.answers.enqueue(false); // "Play the repeats?"
    findBars().click();
    EXPECT_EQ(w.dialogs.shown, QStringList{QStringLiteral("Play the repeats?")});
    ASSERT_EQ(notes().count(), 40);
    EXPECT_EQ(markerentry::parseValue(notes().value(0)).caption, QStringLiteral("Bar 1"));
    long long page = 0;
    int captions = 0;
    for (qsizetype i = 0; i < notes().count(); ++i) {
        const markerentry::Place place = markerentry::parsePlace(notes().value(i));
        EXPECT_GE(place.page, page) << i;
        page = place.page;
        captions += !markerentry::parseValue(notes().value(i)).caption.isEmpty();
    }
    EXPECT_EQ(page, 1);
    EXPECT_GE(captions, 8) << "one per system";
    // Boxes are drawn on the page shown; the other page's entries wait for it.
    const int onFirstPage = w.window->automaticMarking()->boxCount();
    EXPECT_GT(onFirstPage, 10);
    EXPECT_LT(onFirstPage, 40);

    // Taking the repeats plays the repeated bars again.
    w.find<QAbstractButton>("Toolbar_Clear").click();
    w.dialogs.answers.clear();
    w.dialogs.answers << true;
    findBars().click();
    EXPECT_GT(notes().count(), 40);
}
