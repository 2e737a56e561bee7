#include "playback/sheetview.h"
#include "playback/zoomandmarker.h"
#include "project/pageimage.h"
#include "projectview/pages.h"
#include "support/badscores.h"
#include "support/filesizelimit.h"
#include "support/testwindow.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class PagesTest : public ::testing::Test {
protected:
    void openWith(const QStringList& pages)
    {
        const QString audio = testfiles::writeFile(
            QDir(w.notes.path()).filePath(QStringLiteral("a.wav")), QByteArray("RIFF"));
        testfiles::ProjectLayout layout;
        layout.audio = audio;
        layout.pages = pages;
        nts = w.makeProject(layout);
        w.open(nts);
    }
    QComboBox& list() { return *w.window->pages().pageList(); }
    QString folder() const { return w.notes.path() + QStringLiteral("Test/"); }

    TestWindow w;
    QString nts;
};

TEST_F(PagesTest, RightArrowDoesNothingOnAOnePageProject)
{
    openWith({QStringLiteral("a.jpg")});
    EXPECT_TRUE(w.keys.press(HotKey::SwitchPage));
    EXPECT_EQ(list().currentIndex(), 0);
    EXPECT_FALSE(w.window->playbackState().markerHidden);
}

TEST_F(PagesTest, RightArrowWrapsAndSwitchesFollowingOff)
{
    openWith({QStringLiteral("a.jpg"), QStringLiteral("b.gif"), QStringLiteral("c.bmp")});
    w.keys.press(HotKey::SwitchPage);
    EXPECT_EQ(list().currentIndex(), 1);
    EXPECT_TRUE(w.window->playbackState().markerHidden);
    EXPECT_EQ(w.find<QLabel>("MarkerBox_EnabledLabel").text(), QStringLiteral("Show Marker"));
    w.keys.press(HotKey::SwitchPage);
    w.keys.press(HotKey::SwitchPage);
    EXPECT_EQ(list().currentIndex(), 0);
    EXPECT_EQ(w.window->sheet().displaySize(), QSize(600, 800));
}

TEST_F(PagesTest, ZoomStepsSurviveAPageChange)
{
    openWith({QStringLiteral("a.jpg"), QStringLiteral("b.jpg")});
    w.window->zoom().zoomIn();
    w.window->zoom().zoomIn();
    list().setCurrentIndex(1);
    w.window->pages().pageChange(true);
    EXPECT_EQ(w.window->playbackState().zoomSteps, 2);
    EXPECT_EQ(w.window->sheet().displaySize(), QSize(864, 1152));
}

TEST_F(PagesTest, MissingPageImageShowsTheMessage)
{
    openWith({QStringLiteral("a.jpg"), QStringLiteral("b.bmp")});
    QFile::remove(folder() + QStringLiteral("b.bmp"));
    list().setCurrentIndex(1);
    w.window->pages().pageChange(true);
    EXPECT_EQ(w.dialogs.shown.last(), QStringLiteral("Image file:\n") + folder() +
                                          QStringLiteral("b.bmp\ndoes not exists."));
    // A ".bmp" page leaves the previous page's image visible.
    EXPECT_FALSE(w.window->sheet().image()->isEmpty());
}

TEST_F(PagesTest, AddingPagesCopiesWithoutReplacing)
{
    openWith({QStringLiteral("a.jpg")});
    w.find<QAbstractButton>("Toolbar_Edit").click();
    const QByteArray existing = QByteArray("keep me");
    const QString other = QDir(w.notes.path()).filePath(QStringLiteral("elsewhere"));
    QDir().mkpath(other);
    testfiles::makeImage(other, QStringLiteral("a.jpg"), 100, 100);
    testfiles::makeImage(other, QStringLiteral("new.jpg"), 200, 300);
    const QByteArray before = [&] {
        QFile f(folder() + QStringLiteral("a.jpg"));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    w.dialogs.files.enqueue(other + QStringLiteral("/a.jpg"));
    w.find<QAbstractButton>("PagesBox_Add").click();
    EXPECT_EQ(list().count(), 2);
    EXPECT_EQ(list().currentIndex(), 0); // second page: the first is selected again
    QFile f(folder() + QStringLiteral("a.jpg"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    EXPECT_EQ(w.window->workspace().memo.value(QStringLiteral("NotesFile1")),
              QStringLiteral("a.jpg"));
    EXPECT_EQ(w.window->workspace().memo.value(QStringLiteral("NotesAmount")), QStringLiteral("2"));

    list().setCurrentIndex(1);
    w.dialogs.files.enqueue(other + QStringLiteral("/new.jpg"));
    w.find<QAbstractButton>("PagesBox_Add").click();
    EXPECT_EQ(list().count(), 3);
    EXPECT_EQ(list().currentIndex(), 1); // a third page leaves the selection
    EXPECT_TRUE(QFile::exists(folder() + QStringLiteral("new.jpg")));
    EXPECT_EQ(w.window->workspace().memo.lines().last(), QStringLiteral("NotesFile2=new.jpg"));
    EXPECT_TRUE(w.dialogs.fileRequests.last().startsWith(QStringLiteral("Choose Notes File|")));
}

TEST_F(PagesTest, TheFirstPageOfAnEmptyProjectIsAddedUnselected)
{
    openWith({});
    w.find<QAbstractButton>("Toolbar_Edit").click();
    w.dialogs.files.enqueue(testfiles::makeImage(w.notes.path(), QStringLiteral("n.jpg"), 60, 80));
    w.find<QAbstractButton>("PagesBox_Add").click();
    EXPECT_EQ(list().count(), 1);
    EXPECT_EQ(list().currentIndex(), -1);
}

TEST_F(PagesTest, AddAtThePageLimitSaysSo)
{
    openWith({QStringLiteral("a.jpg")});
    w.find<QAbstractButton>("Toolbar_Edit").click();
    w.window->workspace().memo.setValue(QStringLiteral("NotesAmount"), QStringLiteral("10000"));
    w.dialogs.files.enqueue(testfiles::makeImage(w.notes.path(), QStringLiteral("n.jpg"), 60, 80));
    w.find<QAbstractButton>("PagesBox_Add").click();
    EXPECT_EQ(w.dialogs.shown.last(),
              QStringLiteral("This project already has 10000 pages, the most a project can have."));
    EXPECT_EQ(w.window->workspace().memo.value(QStringLiteral("NotesAmount")),
              QStringLiteral("10000"));
}

TEST_F(PagesTest, APageThatCannotBeCopiedAddsNoKey)
{
    openWith({QStringLiteral("a.jpg")});
    w.find<QAbstractButton>("Toolbar_Edit").click();
    const QString page = testfiles::makeImage(w.notes.path(), QStringLiteral("big.bmp"), 400, 400);
    w.dialogs.files.enqueue(page);
    const QStringList before = QDir(folder()).entryList(QDir::Files | QDir::Hidden);
    {
        const FileSizeLimit fullDisk(QFileInfo(page).size() / 2);
        w.find<QAbstractButton>("PagesBox_Add").click();
    }
    EXPECT_TRUE(w.dialogs.shown.last().startsWith(
        QStringLiteral("Cannot create file \"%1\". ").arg(folder() + QStringLiteral("big.bmp"))));
    EXPECT_EQ(list().count(), 1);
    EXPECT_EQ(w.window->workspace().memo.value(QStringLiteral("NotesAmount")), QStringLiteral("1"));
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files | QDir::Hidden), before);
}

// A PDF score adds one page per page of it, after the pages there, each page image one the
// project loader reads.
TEST_F(PagesTest, AddingAPdfAddsEveryPageInOrder)
{
    openWith({QStringLiteral("a.jpg")});
    w.find<QAbstractButton>("Toolbar_Edit").click();
    QTemporaryDir sources;
    const QString pdf = sources.filePath(QStringLiteral("Score.pdf"));
    ASSERT_TRUE(scorepdf::write(
        pdf, {scorepdf::Kind::Engraving, scorepdf::Kind::Scan, scorepdf::Kind::Engraving}));
    w.dialogs.files.enqueue(pdf);
    w.find<QAbstractButton>("PagesBox_Add").click();

    EXPECT_TRUE(w.dialogs.shown.filter(QStringLiteral("Score")).isEmpty())
        << w.dialogs.shown.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(w.dialogs.progressLabels,
              QStringList{QStringLiteral("Adding the pages of \"Score.pdf\"...")});
    const TextList& memo = w.window->workspace().memo;
    EXPECT_EQ(memo.value(QStringLiteral("NotesAmount")), QStringLiteral("4"));
    EXPECT_EQ(memo.value(QStringLiteral("NotesFile0")), QStringLiteral("a.jpg"));
    for (int k = 1; k <= 3; ++k) {
        const QString name = memo.value(QStringLiteral("NotesFile%1").arg(k));
        EXPECT_TRUE(name.startsWith(QStringLiteral("Score_%1.").arg(k))) << name.toStdString();
        QString why;
        EXPECT_FALSE(pageimage::load(folder() + name, &why).isNull()) << why.toStdString();
    }
    EXPECT_EQ(list().count(), 4);
    EXPECT_EQ(list().currentIndex(), 0);
    EXPECT_TRUE(w.dialogs.fileRequests.last().contains(
        QStringLiteral("|Notes Image File|*.jpg;*.gif;*.bmp;*.jpeg;*.pdf;*.png;*.tif;*.tiff|")));
}

// A broken, an empty or a locked PDF, a cancel half-way and a score that would pass the
// page limit each give one message and leave the project and its folder as they were.
TEST_F(PagesTest, RefusedOrCancelledScoresChangeNothing)
{
    openWith({QStringLiteral("a.jpg")});
    w.find<QAbstractButton>("Toolbar_Edit").click();
    QTemporaryDir sources;
    QStringList scores = badScores(sources.path());
    ASSERT_GE(scores.size(), 2);
    const QString four = sources.filePath(QStringLiteral("Four.pdf"));
    ASSERT_TRUE(scorepdf::write(four, QList<scorepdf::Kind>(4, scorepdf::Kind::Engraving)));
    scores << four << four;
    const QStringList lines = w.window->workspace().memo.lines();
    const QStringList files = QDir(folder()).entryList(QDir::Files | QDir::Hidden);
    for (qsizetype i = 0; i < scores.size(); ++i) {
        const bool cancel = i == scores.size() - 2;
        const bool overLimit = i == scores.size() - 1;
        w.dialogs.cancelAfter = cancel ? 2 : -1;
        if (overLimit)
            w.window->workspace().memo.setValue(QStringLiteral("NotesAmount"),
                                                QStringLiteral("9997"));
        w.dialogs.shown.clear();
        w.dialogs.progressLabels.clear();
        w.dialogs.files.enqueue(scores[i]);
        w.find<QAbstractButton>("PagesBox_Add").click();
        const QString name = QFileInfo(scores[i]).fileName();
        ASSERT_EQ(w.dialogs.shown.size(), 1) << name.toStdString();
        EXPECT_TRUE(w.dialogs.shown.first().contains(name))
            << w.dialogs.shown.first().toStdString();
        if (overLimit) {
            EXPECT_TRUE(w.dialogs.progressLabels.isEmpty()) << "converted before refusing";
            w.window->workspace().memo.setValue(QStringLiteral("NotesAmount"), QStringLiteral("1"));
        }
        EXPECT_EQ(w.window->workspace().memo.lines(), lines) << name.toStdString();
        EXPECT_EQ(QDir(folder()).entryList(QDir::Files | QDir::Hidden), files)
            << name.toStdString();
        EXPECT_EQ(list().count(), 1);
    }
}
