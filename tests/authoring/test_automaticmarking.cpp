#include "authoring/automaticmarking.h"
#include "playback/follower.h"
#include "playback/markerindexmodel.h"
#include "playback/playbackstate.h"
#include "playback/sheetview.h"
#include "project/markerentry.h"
#include "support/testwindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QColor panelColor(const QWidget& panel)
{
    return panel.palette().color(QPalette::Window);
}

// The value part of every entry (after the first "=").
QStringList values(TestWindow& w)
{
    QStringList out;
    const MarkerList& notes = w.window->workspace().notes;
    for (qsizetype i = 0; i < notes.count(); ++i)
        out << notes.value(i);
    return out;
}

QStringList names(TestWindow& w)
{
    QStringList out;
    const MarkerList& notes = w.window->workspace().notes;
    for (qsizetype i = 0; i < notes.count(); ++i)
        out << notes.name(i);
    return out;
}

} // namespace

class AutomaticMarkingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sources.isValid());
        const QString src = sources.path() + QLatin1Char('/');
        audio = testfiles::writeFile(src + QStringLiteral("Auto.wav"), QByteArray("RIFF"));
        pages << testfiles::makeImage(src, QStringLiteral("a1.jpg"), 800, 1000)
              << testfiles::makeImage(src, QStringLiteral("a2.jpg"), 800, 1000);
    }

    AutomaticMarking& automatic() { return *w.window->automaticMarking(); }
    QWidget& panel() { return w.find<QWidget>("NewPressContinue"); }

    // Creates a two-page project through the wizard's automatic branch.
    void startAutomatic()
    {
        w.find<QAbstractButton>("Startup_RecordButton").click();
        w.dialogs.files << audio << pages[0] << pages[1];
        w.find<QAbstractButton>("NewProjectSelectAudio").click();
        w.find<QAbstractButton>("NewAddImage").click();
        w.find<QAbstractButton>("NewAddImage").click();
        w.find<QAbstractButton>("NewProjectAuto").click();
        w.primePlayer(60);
        w.dialogs.shown.clear();
    }
    void continueAt(double position)
    {
        w.player.setPositionQuietly(position);
        w.find<QAbstractButton>("ContinueButton").click();
    }
    // Start and end set: sheet clicks place boxes.
    void startMarking(double start, double end)
    {
        startAutomatic();
        continueAt(start);
        continueAt(end);
        ASSERT_TRUE(w.window->workspace().modes.automaticSecondStage);
        w.dialogs.shown.clear();
    }
    void clickSheet(QPoint at)
    {
        QTest::mouseClick(w.window->sheet().image(), Qt::LeftButton, {}, at);
    }
    QString folder() const { return w.notes.path() + QStringLiteral("Auto/"); }

    TestWindow w;
    QTemporaryDir sources;
    QString audio;
    QStringList pages;
};

TEST_F(AutomaticMarkingTest, FromStartToFinishOverTwoPages)
{
    startAutomatic();
    const Modes& modes = w.window->workspace().modes;
    EXPECT_TRUE(modes.automatic);
    EXPECT_FALSE(modes.automaticSecondStage);
    EXPECT_FALSE(panel().isHidden());
    EXPECT_EQ(w.find<QLabel>("NewPressContinueLabel").text(), automatictext::kStart);
    EXPECT_EQ(panelColor(panel()), QColor(0, 255, 128));
    EXPECT_TRUE(w.find<QWidget>("NewProject").isHidden());
    EXPECT_FALSE(w.find<QWidget>("Toolbar_Finish").isHidden());
    EXPECT_FALSE(w.find<QWidget>("Toolbar_Clear").isHidden());
    EXPECT_TRUE(w.find<QWidget>("Toolbar_Save").isHidden());

    clickSheet({104, 216}); // awaiting the start: refused
    EXPECT_EQ(w.window->workspace().notes.count(), 0);

    continueAt(10);
    EXPECT_EQ(automatic().startPosition(), 10);
    EXPECT_EQ(w.dialogs.shown, QStringList{automatictext::kEnd});
    EXPECT_EQ(w.find<QLabel>("NewPressContinueLabel").text(), automatictext::kEnd);
    EXPECT_EQ(panelColor(panel()), QColor(255, 128, 128));
    EXPECT_FALSE(w.find<QWidget>("Toolbar_Reset").isHidden());

    continueAt(20);
    EXPECT_EQ(automatic().endPosition(), 20);
    EXPECT_EQ(w.dialogs.shown.last(), automatictext::kMarking);
    EXPECT_TRUE(panel().isHidden());
    EXPECT_FALSE(w.find<QWidget>("NewLastStage").isHidden());
    EXPECT_EQ(w.find<QLabel>("NewLastStepLabel").text(), automatictext::kMarking);
    EXPECT_TRUE(modes.automaticSecondStage);

    clickSheet({104, 216});
    clickSheet({404, 516});
    ASSERT_EQ(automatic().boxCount(), 2);
    const MarkerShape* box = automatic().boxes().at(0);
    EXPECT_EQ(box->color(), QColor(0, 255, 255));
    EXPECT_EQ(box->size(), QSize(9, 33));
    EXPECT_EQ(box->parentWidget(), w.window->sheet().canvas());
    EXPECT_EQ(w.window->workspace().notes.object(0), box);
    EXPECT_EQ(w.window->follower().selectedEntry(), 1);
    // Entries are named by the run-wide sequence counter.
    EXPECT_EQ(names(w).at(1).toLongLong(), names(w).at(0).toLongLong() + 1);

    // The next page: its boxes are new, the old ones are released.
    ASSERT_TRUE(w.keys.press(HotKey::SwitchPage));
    EXPECT_EQ(automatic().boxCount(), 0);
    clickSheet({204, 116});
    clickSheet({504, 616});
    EXPECT_EQ(w.window->indexModel().count(), 4);

    w.find<QAbstractButton>("Toolbar_Finish").click();
    EXPECT_EQ(w.window->workspace().notes.lines(),
              QStringList({QStringLiteral("10={125000}{200000}{0}"),
                           QStringLiteral("12.5={500000}{500000}{0}"),
                           QStringLiteral("15={250000}{100000}{1}"),
                           QStringLiteral("17.5={625000}{600000}{1}")}));
    EXPECT_EQ(w.dialogs.shown.last(), QStringLiteral("Saved."));
    QFile ntf(folder() + QStringLiteral("Auto.ntf"));
    ASSERT_TRUE(ntf.open(QIODevice::ReadOnly));
    EXPECT_EQ(ntf.readAll(), QByteArray("10={125000}{200000}{0}\r\n12.5={500000}{500000}{0}\r\n"
                                        "15={250000}{100000}{1}\r\n17.5={625000}{600000}{1}\r\n"));
    EXPECT_FALSE(modes.automatic);
    EXPECT_FALSE(modes.editing);
    EXPECT_EQ(automatic().boxCount(), 0);
    EXPECT_TRUE(w.find<QWidget>("NewLastStage").isHidden());
    EXPECT_TRUE(w.find<QWidget>("Toolbar_Finish").isHidden());
}

TEST_F(AutomaticMarkingTest, FinishUsesARunningSum)
{
    startMarking(0, 1);
    for (int i = 0; i < 3; ++i)
        clickSheet({104 + 100 * i, 216});
    w.find<QAbstractButton>("Toolbar_Finish").click();
    EXPECT_EQ(names(w),
              QStringList({QStringLiteral("0"), QStringLiteral("0.33"), QStringLiteral("0.67")}));
}

TEST_F(AutomaticMarkingTest, EndMustComeAfterTheStart)
{
    startAutomatic();
    w.player.setPositionQuietly(-0.5); // a negative position counts as 0
    w.find<QAbstractButton>("ContinueButton").click();
    EXPECT_TRUE(w.player.calls.contains(QStringLiteral("setPosition:0")));
    EXPECT_EQ(automatic().startPosition(), 0);

    automatic().Toolbar_ResetClick();
    EXPECT_EQ(w.dialogs.shown.last(), automatictext::kStart);
    continueAt(12.3);
    continueAt(12.3);
    EXPECT_EQ(w.dialogs.shown.last(), automatictext::kEndNotAfterStart);
    EXPECT_EQ(automatic().endPosition(), -1.0);
    continueAt(12.2);
    EXPECT_EQ(w.dialogs.shown.last(), automatictext::kEndNotAfterStart);
    EXPECT_FALSE(w.window->workspace().modes.automaticSecondStage);
    continueAt(13);
    EXPECT_EQ(automatic().endPosition(), 13);
    EXPECT_TRUE(w.window->workspace().modes.automaticSecondStage);

    // Once marking, Continue does nothing more; without a source nothing at all.
    const int shown = static_cast<int>(w.dialogs.shown.size());
    continueAt(30);
    w.player.setSource(QString());
    continueAt(40);
    EXPECT_EQ(w.dialogs.shown.size(), shown);
    EXPECT_EQ(automatic().endPosition(), 13);
}

TEST_F(AutomaticMarkingTest, FinishNeedsBothPositionsAndEntries)
{
    startAutomatic();
    w.find<QAbstractButton>("Toolbar_Finish").click();
    EXPECT_EQ(w.dialogs.shown, QStringList{automatictext::kFinishTooEarly});
    continueAt(1);
    continueAt(2);
    w.dialogs.shown.clear();
    w.find<QAbstractButton>("Toolbar_Finish").click(); // no entries: nothing happens
    EXPECT_TRUE(w.dialogs.shown.isEmpty());
    EXPECT_TRUE(w.window->workspace().modes.automatic);
    EXPECT_FALSE(QFile::exists(folder() + QStringLiteral("Auto.ntf")));
}

TEST_F(AutomaticMarkingTest, BoxSitsAtThePlaceOnTheDisplayedPage)
{
    startMarking(1, 2);
    ASSERT_EQ(w.window->sheet().displaySize().width(), 800);
    automatic().placeBox(
        markerentry::buildSequence(markerentry::nextSequenceNumber(), 523410, 250000, 0), 523410,
        250000);
    const QWidget* image = w.window->sheet().image();
    const MarkerShape* box = automatic().boxes().at(0);
    EXPECT_EQ(box->x(), image->x() + 420);
    EXPECT_EQ(box->y(), image->y() + 250);
    EXPECT_FALSE(box->isHidden());
    // The marker moved onto the new entry.
    EXPECT_EQ(w.window->sheet().point()->x(), 420);
}

TEST_F(AutomaticMarkingTest, InsertAfterSelectionCarriesNoBox)
{
    testfiles::ProjectLayout layout;
    layout.name = QStringLiteral("Ins");
    layout.audio = audio;
    layout.pages = {QStringLiteral("p.jpg")};
    layout.entries = {QStringLiteral("1={0}{0}{0}"), QStringLiteral("2={0}{0}{0}"),
                      QStringLiteral("3={0}{0}{0}")};
    const QString nts = w.makeProject(layout);
    w.open(nts);
    w.primePlayer(60);
    w.find<QAbstractButton>("Toolbar_Edit").click();
    ASSERT_TRUE(w.window->workspace().modes.insertAfterSelection);
    automatic().Toolbar_ResetClick();
    continueAt(1);
    continueAt(5);
    EXPECT_EQ(w.dialogs.shown.last(), automatictext::kInsert);
    EXPECT_TRUE(w.find<QWidget>("NewLastStage").isHidden());

    w.window->follower().selectEntry(2);
    clickSheet({104, 216});
    ASSERT_EQ(w.window->workspace().notes.count(), 4);
    EXPECT_EQ(w.window->follower().selectedEntry(), 3);
    EXPECT_EQ(w.window->workspace().notes.object(3), nullptr);
    EXPECT_EQ(names(w).mid(0, 3),
              QStringList({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
    ASSERT_EQ(automatic().boxCount(), 1);

    // Its box carries no entry: Delete from its menu does nothing.
    MarkerShape* box = automatic().boxes().at(0);
    QTest::mouseClick(box, Qt::RightButton);
    EXPECT_EQ(w.window->follower().clickedShape(), box);
    w.window->follower().autoInsertPop()->close();
    need<QAction>(w.window->follower().autoInsertPop(), QStringLiteral("Delete4")).trigger();
    EXPECT_EQ(w.window->workspace().notes.count(), 4);
}

TEST_F(AutomaticMarkingTest, ClearReleasesBoxesAndEntriesButKeepsTheIndexList)
{
    startMarking(1, 2);
    clickSheet({104, 216});
    clickSheet({204, 216});
    w.find<QAbstractButton>("Toolbar_Clear").click();
    EXPECT_EQ(automatic().boxCount(), 0);
    EXPECT_TRUE(w.window->sheet().canvas()->findChildren<MarkerShape*>().size() == 1); // `Point`
    EXPECT_EQ(w.window->workspace().notes.count(), 0);
    EXPECT_EQ(w.window->indexModel().count(), 2);
    clickSheet({304, 216});
    EXPECT_EQ(w.window->workspace().notes.count(), 1);
    EXPECT_EQ(w.window->indexModel().count(), 1);
}

TEST_F(AutomaticMarkingTest, DeleteFromABoxFromTheMarkerAndFromTheIndexList)
{
    startMarking(1, 2);
    for (int i = 0; i < 4; ++i)
        clickSheet({104 + 100 * i, 216});
    const auto boxes = automatic().boxes();

    QTest::mouseClick(boxes[1].data(), Qt::RightButton);
    w.window->follower().autoInsertPop()->close();
    need<QAction>(w.window->follower().autoInsertPop(), QStringLiteral("Delete4")).trigger();
    MarkerList& notes = w.window->workspace().notes;
    ASSERT_EQ(notes.count(), 3);
    EXPECT_TRUE(boxes[1]->isHidden());
    EXPECT_EQ(notes.object(1), boxes[2].data());
    EXPECT_EQ(w.window->indexModel().count(), 3);

    // The marker's menu deletes the entry shown last (the last box placed).
    MarkerShape* point = w.window->sheet().point();
    point->show();
    QTest::mouseClick(point, Qt::RightButton);
    w.window->follower().autoInsertPop2()->close();
    need<QAction>(w.window->follower().autoInsertPop2(), QStringLiteral("Delete4b")).trigger();
    ASSERT_EQ(notes.count(), 2);
    EXPECT_TRUE(boxes[3]->isHidden());
    EXPECT_TRUE(point->isHidden());

    // "Delete" of the index list releases the entry's box as well.
    w.window->follower().selectEntry(0);
    need<QAction>(w.window.get(), QStringLiteral("Delete1")).trigger();
    EXPECT_EQ(notes.count(), 1);
    EXPECT_TRUE(boxes[0].isNull());
    EXPECT_EQ(automatic().boxCount(), 3);
}

TEST_F(AutomaticMarkingTest, StarOverKeepsTheBoxesAndCancelLeavesTheStateAlone)
{
    startMarking(1, 2);
    clickSheet({104, 216});
    w.find<QAbstractButton>("Toolbar_Reset").click();
    EXPECT_EQ(automatic().startPosition(), -1.0);
    EXPECT_FALSE(w.window->workspace().modes.automaticSecondStage);
    EXPECT_EQ(panelColor(panel()), QColor(0, 255, 128));
    clickSheet({204, 216}); // refused while awaiting the start
    EXPECT_EQ(w.window->workspace().notes.count(), 1);
    continueAt(3);
    continueAt(4);
    clickSheet({304, 216});
    EXPECT_EQ(w.window->workspace().notes.count(), 2);
    EXPECT_EQ(automatic().boxCount(), 2);

    w.find<QAbstractButton>("Toolbar_Reset").click();
    w.find<LinkLabel>("Label36").clicked();
    EXPECT_FALSE(w.find<QWidget>("Startup_Panel").isHidden());
    EXPECT_TRUE(w.find<QWidget>("MainPanel").isHidden());
    EXPECT_TRUE(w.window->workspace().modes.automatic);
}

TEST_F(AutomaticMarkingTest, FullBoxTableRefusesFurtherBoxes)
{
    startMarking(1, 2);
    // A box deleted from its menu leaves the table only when boxes are released, so
    // placing and deleting fills the table while the marker list stays short.
    QMenu* menu = w.window->follower().autoInsertPop();
    QAction& remove = need<QAction>(menu, QStringLiteral("Delete4"));
    for (int i = 0; i < AutomaticMarking::kBoxTableSize; ++i) {
        const long long x = 10 * (i % 1000);
        automatic().placeBox(
            markerentry::buildSequence(markerentry::nextSequenceNumber(), x, 100000, 0), x, 100000);
        MarkerShape* box = automatic().boxes().back();
        emit box->rightClicked(box, QPoint(10, 10));
        menu->close();
        remove.trigger();
    }
    ASSERT_EQ(automatic().boxCount(), AutomaticMarking::kBoxTableSize);
    EXPECT_EQ(w.window->workspace().notes.count(), 0);
    EXPECT_TRUE(w.dialogs.shown.isEmpty());

    clickSheet({104, 216});
    EXPECT_EQ(w.dialogs.shown, QStringList{automatictext::kTableFull});
    EXPECT_TRUE(automatictext::kTableFull.contains(QStringLiteral("10001")));
    EXPECT_EQ(w.window->workspace().notes.count(), 0);
    EXPECT_EQ(automatic().boxCount(), AutomaticMarking::kBoxTableSize);

    // Released boxes free the table again.
    w.find<QAbstractButton>("Toolbar_Clear").click();
    clickSheet({104, 216});
    EXPECT_EQ(w.window->workspace().notes.count(), 1);
    EXPECT_EQ(values(w), QStringList{QStringLiteral("{125000}{200000}{0}")});
}
