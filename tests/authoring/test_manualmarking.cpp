#include "app/hotkeyflags.h"
#include "authoring/manualmarking.h"
#include "authoring/wizard.h"
#include "playback/follower.h"
#include "playback/markerindexmodel.h"
#include "playback/playbackstate.h"
#include "playback/sheetview.h"
#include "support/testwindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Sets what the scripted player reports, then clicks the page image with the mouse.
void clickSheet(TestWindow& w, double position, bool playing, QPoint at = {154, 216},
                Qt::MouseButton button = Qt::LeftButton)
{
    w.player.setPositionQuietly(position);
    if (playing)
        w.player.setStateQuietly(Player::Playing, QStringLiteral("Playing"));
    else
        w.player.setStateQuietly(Player::Paused, QStringLiteral("Paused"));
    QTest::mouseClick(w.window->sheet().image(), button, {}, at);
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

// A project made with the wizard from real files, marked by hand, captioned, saved and
// opened again in a fresh window.
TEST(ManualMarkingEndToEnd, CreateMarkCaptionSaveAndReopen)
{
    QTemporaryDir sources;
    const QString src = sources.path() + QLatin1Char('/');
    const QString mp3 = testfiles::makeTone(src, QStringLiteral("Etude 5.mp3"), 3);
    const QString p1 = testfiles::makeImage(src, QStringLiteral("p1.jpg"), 800, 1000);
    const QString p2 = testfiles::makeImage(src, QStringLiteral("p2.jpg"), 800, 1000);
    ASSERT_FALSE(mp3.isEmpty() || p1.isEmpty() || p2.isEmpty());

    TestWindow w;
    w.find<QAbstractButton>("Startup_RecordButton").click();
    w.dialogs.files << mp3 << p1 << p2;
    w.find<QAbstractButton>("NewProjectSelectAudio").click();
    w.find<QAbstractButton>("NewAddImage").click();
    w.find<QAbstractButton>("NewAddImage").click();
    w.find<QAbstractButton>("NewProjectManual").click();

    const QString folder = w.notes.path() + QStringLiteral("Etude 5/");
    const QString nts = folder + QStringLiteral("Etude 5.nts");
    EXPECT_EQ(readAll(nts), QByteArray("AudioFile=Etude 5.mp3\r\nSourceAudioFile=") + mp3.toUtf8() +
                                "\r\nDirPath=\r\nFileName=Etude 5\r\nNotesDataFile=Etude "
                                "5.ntf\r\nUseLocal=true\r\nNotesFile0=p1.jpg\r\nNotesFile1="
                                "p2.jpg\r\nNotesAmount=2\r\n");
    EXPECT_EQ(readAll(folder + QStringLiteral("Etude 5.mp3")), readAll(mp3));
    EXPECT_EQ(readAll(folder + QStringLiteral("p1.jpg")), readAll(p1));
    EXPECT_EQ(readAll(folder + QStringLiteral("p2.jpg")), readAll(p2));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("Etude 5.ntf")));

    // The new project is open in editing mode with its first page shown and audio loaded.
    EXPECT_EQ(w.window->workspace().openPath, nts);
    EXPECT_TRUE(w.window->workspace().modes.editing);
    EXPECT_FALSE(w.find<QWidget>("MainPanel").isHidden());
    EXPECT_TRUE(w.find<QWidget>("NewProject").isHidden());
    EXPECT_FALSE(w.find<QWidget>("Toolbar_Save").isHidden());
    EXPECT_EQ(w.find<QLabel>("TipsLabel").text(), newproject::kManualTips);
    EXPECT_EQ(w.window->sheet().displaySize(), QSize(800, 1000));
    EXPECT_EQ(w.player.source(), folder + QStringLiteral("Etude 5.mp3"));
    EXPECT_TRUE(w.player.calls.contains(QStringLiteral("play")));
    EXPECT_TRUE(w.window->playbackState().priming);
    w.primePlayer(3);

    // Marking: the offset applies while playing only; x and y are millionths of the page.
    clickSheet(w, 1.0, true, {104, 216});
    clickSheet(w, 2.0, false, {404, 516});
    ASSERT_TRUE(w.keys.press(HotKey::SwitchPage));
    EXPECT_EQ(w.find<QComboBox>("PagesBox_Pages").currentIndex(), 1);
    clickSheet(w, 2.5, true, {204, 116});
    EXPECT_EQ(w.window->workspace().notes.lines(),
              QStringList({QStringLiteral("0.75={125000}{200000}{0}"),
                           QStringLiteral("2={500000}{500000}{0}"),
                           QStringLiteral("2.25={250000}{100000}{1}")}));
    EXPECT_EQ(w.window->indexModel().count(), 3);

    // Caption for the entry under the marker: Tab opens the editor, Tab commits it.
    w.player.setPositionQuietly(2.1);
    w.window->follower().PositionTimerTimer();
    ASSERT_EQ(w.window->follower().selectedEntry(), 1);
    ASSERT_TRUE(w.keys.press(HotKey::Enter));
    QLineEdit* editor = w.window->manualMarking()->captionEditor();
    ASSERT_FALSE(editor->isHidden());
    EXPECT_FALSE(w.keys.isActive(HotKey::Pause));
    EXPECT_FALSE(w.keys.isActive(HotKey::SwitchPage));
    QTest::keyClicks(editor, QStringLiteral("Chorus"));
    ASSERT_TRUE(w.keys.press(HotKey::Enter));
    EXPECT_TRUE(editor->isHidden());
    EXPECT_TRUE(w.keys.isActive(HotKey::Pause));
    EXPECT_EQ(w.window->workspace().notes.line(1), QStringLiteral("2={500000}{500000}{0}{Chorus}"));

    const QStringList marked = w.window->workspace().notes.lines();
    w.find<QAbstractButton>("Toolbar_Save").click();
    EXPECT_EQ(w.dialogs.shown.last(), QStringLiteral("Saved."));
    EXPECT_EQ(readAll(folder + QStringLiteral("Etude 5.ntf")),
              QByteArray("0.75={125000}{200000}{0}\r\n2={500000}{500000}{0}{Chorus}\r\n"
                         "2.25={250000}{100000}{1}\r\n"));

    TestWindow again;
    again.open(nts);
    again.primePlayer(3);
    EXPECT_EQ(again.window->workspace().notes.lines(), marked);
    EXPECT_EQ(again.window->indexModel().count(), 3);
    again.player.setPositionQuietly(2.1);
    again.window->follower().PositionTimerTimer();
    EXPECT_EQ(again.find<QLabel>("PointT").text(), QStringLiteral("Chorus"));
    EXPECT_FALSE(again.find<QLabel>("PointT").isHidden());
}

class ManualMarkingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        audio = testfiles::writeFile(QDir(w.notes.path()).filePath(QStringLiteral("song.wav")),
                                     QByteArray("RIFF"));
    }

    // Opens a project with two 600 x 800 pages, primes the player and enters editing mode.
    void openEditing(const QStringList& entries, bool edit = true)
    {
        testfiles::ProjectLayout layout;
        layout.name = QStringLiteral("Song");
        layout.audio = audio;
        layout.pages = {QStringLiteral("p1.jpg"), QStringLiteral("p2.jpg")};
        layout.entries = entries;
        const QString nts = w.makeProject(layout);
        w.open(nts);
        w.primePlayer(60);
        if (edit)
            w.find<QAbstractButton>("Toolbar_Edit").click();
        w.dialogs.shown.clear();
    }

    ManualMarking& manual() { return *w.window->manualMarking(); }
    QAction& action(const char* name) { return need<QAction>(w.window.get(), QLatin1String(name)); }

    TestWindow w;
    QString audio;
};

TEST_F(ManualMarkingTest, ClickTimeTakesTheOffsetOnlyWhilePlaying)
{
    openEditing({});
    EXPECT_EQ(manual().offsetText(), QStringLiteral("-0.250"));
    clickSheet(w, 10.0, true);
    EXPECT_EQ(w.window->workspace().notes.line(0), QStringLiteral("9.75={250000}{250000}{0}"));
    clickSheet(w, 10.0, false);
    clickSheet(w, 0.1, true); // near the start the time becomes negative
    // 0.1 - 0.25 lies just above -0.15 as a double; the hundredths rule truncates toward
    // zero, so the name is -0.14, rounded once.
    EXPECT_EQ(names(w),
              QStringList({QStringLiteral("-0.14"), QStringLiteral("9.75"), QStringLiteral("10")}));
    EXPECT_EQ(w.window->indexModel().count(), 3);
    EXPECT_TRUE(w.window->playbackState().refreshRequest);
    EXPECT_TRUE(w.dialogs.shown.isEmpty());
}

TEST_F(ManualMarkingTest, EntriesGoInTimeOrderAndTheSameTimeReplaces)
{
    openEditing({QStringLiteral("2={0}{0}{0}"), QStringLiteral("5.5={0}{0}{0}"),
                 QStringLiteral("9={0}{0}{0}")});
    clickSheet(w, 5.0, false);
    EXPECT_EQ(names(w), QStringList({QStringLiteral("2"), QStringLiteral("5"),
                                     QStringLiteral("5.5"), QStringLiteral("9")}));
    clickSheet(w, 12.0, false);
    EXPECT_EQ(names(w).last(), QStringLiteral("12"));
    // A second click at the same rounded time replaces the entry in place.
    clickSheet(w, 5.004, false, {304, 416});
    EXPECT_EQ(w.window->workspace().notes.count(), 5);
    EXPECT_EQ(w.window->workspace().notes.line(1), QStringLiteral("5={500000}{500000}{0}"));
    EXPECT_EQ(w.window->indexModel().count(), 5);
}

TEST_F(ManualMarkingTest, RefusedClicksAreIgnoredSilently)
{
    // No project open, even in editing mode.
    w.window->workspace().modes.editing = true;
    manual().NotesImageMouseDown(Qt::LeftButton, {100, 100});
    EXPECT_EQ(w.window->workspace().notes.count(), 0);

    openEditing({}, false);
    clickSheet(w, 3.0, false); // not editing
    w.find<QAbstractButton>("Toolbar_Edit").click();
    w.dialogs.shown.clear();
    clickSheet(w, 3.0, false, {154, 216}, Qt::RightButton);
    w.window->workspace().modes.automatic = true; // first stage of automatic marking
    clickSheet(w, 3.0, false);
    w.window->workspace().modes.automatic = false;
    EXPECT_EQ(w.window->workspace().notes.count(), 0);
    EXPECT_TRUE(w.dialogs.shown.isEmpty());

    // A click that lands on the marker shape stays with the shape.
    w.window->sheet().point()->show();
    QTest::mouseClick(w.window->sheet().point(), Qt::LeftButton);
    EXPECT_EQ(w.window->workspace().notes.count(), 0);
}

TEST_F(ManualMarkingTest, EntryNameThatIsNotANumberStopsTheInsertion)
{
    openEditing({QStringLiteral("2={0}{0}{0}"), QStringLiteral("abc={0}{0}{0}")});
    clickSheet(w, 7.0, false);
    EXPECT_EQ(names(w), QStringList({QStringLiteral("2"), QStringLiteral("abc")}));
    EXPECT_EQ(w.dialogs.shown,
              QStringList{QStringLiteral("'abc' is not a valid floating point value")});
}

TEST_F(ManualMarkingTest, PreClickValidatesTheOffsetAndLeavesTheHotKeysOff)
{
    openEditing({});
    clickSheet(w, 1.0, false);
    ASSERT_TRUE(w.keys.isActive(HotKey::Pause));

    w.dialogs.texts.enqueue(QStringLiteral("abc"));
    w.find<QAbstractButton>("Toolbar_Presets").click();
    EXPECT_EQ(w.dialogs.shown,
              QStringList({QStringLiteral("Enter The offset/preset time for the clicks|Enter The "
                                          "offset/preset time for the clicks.\nUse the (-) sign "
                                          "for preset."),
                           QStringLiteral("Invalid input")}));
    EXPECT_EQ(manual().offsetText(), QStringLiteral("-0.250"));

    w.dialogs.texts.enqueue(QStringLiteral("0.5"));
    w.find<QAbstractButton>("Toolbar_Presets").click();
    EXPECT_EQ(manual().offsetText(), QStringLiteral("0.5"));
    w.dialogs.texts.enqueue(QStringLiteral("\x01")); // cancelled: nothing changes
    w.find<QAbstractButton>("Toolbar_Presets").click();
    EXPECT_EQ(manual().offsetText(), QStringLiteral("0.5"));

    // Space, Tab and the Right Arrow stay off until the next sheet click.
    EXPECT_FALSE(w.keys.press(HotKey::Pause));
    EXPECT_FALSE(w.keys.press(HotKey::Enter));
    EXPECT_FALSE(w.keys.press(HotKey::SwitchPage));
    w.window->hotKeyFlags().activated();
    EXPECT_FALSE(w.keys.isActive(HotKey::Pause));
    clickSheet(w, 10.0, true);
    EXPECT_TRUE(w.keys.isActive(HotKey::Pause));
    EXPECT_TRUE(w.keys.isActive(HotKey::Enter));
    EXPECT_TRUE(w.keys.isActive(HotKey::SwitchPage));
    EXPECT_TRUE(names(w).contains(QStringLiteral("10.5")));
}

TEST_F(ManualMarkingTest, CaptionEditorOpensBesideTheMarkerAndCommits)
{
    openEditing(
        {QStringLiteral("12.5={523410}{87340}{0}"), QStringLiteral("20={100000}{500000}{0}")});
    w.player.setPositionQuietly(12.5);
    w.window->follower().PositionTimerTimer();
    ASSERT_EQ(w.window->follower().selectedEntry(), 0);
    const QWidget* point = w.window->sheet().point();
    w.player.calls.clear();

    manual().EnterKeyKeyDown();
    QLineEdit* editor = manual().captionEditor();
    auto& label = w.find<QLabel>("AddCaptionSubLabel");
    ASSERT_FALSE(editor->isHidden());
    EXPECT_EQ(label.text(), QStringLiteral("Enter Caption For Current Point:"));
    EXPECT_EQ(label.x(), point->x() + point->width() + 2);
    EXPECT_GT(editor->x(), label.x() + label.width() - 1);
    EXPECT_EQ(editor->y(), point->y());
    EXPECT_TRUE(w.player.calls.contains(QStringLiteral("pause")));
    EXPECT_TRUE(w.keys.isActive(HotKey::Enter));
    EXPECT_FALSE(w.keys.isActive(HotKey::Pause));

    QTest::keyClicks(editor, QStringLiteral("Chorus"));
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_TRUE(editor->isHidden());
    EXPECT_EQ(w.window->workspace().notes.line(0),
              QStringLiteral("12.5={523410}{87340}{0}{Chorus}"));
    auto& caption = w.find<QLabel>("PointT");
    EXPECT_EQ(caption.text(), QStringLiteral("Chorus"));
    EXPECT_FALSE(caption.isHidden());
    EXPECT_EQ(caption.y(), point->y() - caption.height());

    // The next editor starts with the last caption; an empty caption hides the label.
    w.player.setPositionQuietly(20);
    w.window->follower().PositionTimerTimer();
    manual().EnterKeyKeyDown();
    EXPECT_EQ(editor->text(), QStringLiteral("Chorus"));
    editor->clear();
    QTest::keyClick(editor, Qt::Key_Tab);
    EXPECT_EQ(w.window->workspace().notes.line(1), QStringLiteral("20={100000}{500000}{0}{}"));
    EXPECT_TRUE(caption.isHidden());
    EXPECT_TRUE(manual().lastCaption().isEmpty());
}

TEST_F(ManualMarkingTest, CaptionKeyNeedsEditingASelectionAndASource)
{
    openEditing({QStringLiteral("1={0}{0}{0}")}, false);
    w.player.setPositionQuietly(1);
    w.window->follower().PositionTimerTimer();
    manual().EnterKeyKeyDown(); // not editing
    EXPECT_TRUE(manual().captionEditor()->isHidden());

    w.window->workspace().modes.editing = true;
    w.window->follower().selectEntry(-1);
    manual().EnterKeyKeyDown(); // nothing selected
    EXPECT_TRUE(manual().captionEditor()->isHidden());

    w.window->follower().selectEntry(0);
    w.player.setSource(QString());
    manual().EnterKeyKeyDown(); // nothing loaded
    EXPECT_TRUE(manual().captionEditor()->isHidden());
}

TEST_F(ManualMarkingTest, ShowingAnotherEntryClosesTheCaptionEditor)
{
    openEditing({QStringLiteral("1={0}{0}{0}"), QStringLiteral("3={0}{0}{0}")});
    w.player.setPositionQuietly(1);
    w.window->follower().PositionTimerTimer();
    manual().EnterKeyKeyDown();
    QTest::keyClicks(manual().captionEditor(), QStringLiteral("half"));
    w.player.setPositionQuietly(3);
    w.window->follower().PositionTimerTimer();
    EXPECT_TRUE(manual().captionEditor()->isHidden());
    EXPECT_TRUE(manual().captionEditor()->text().isEmpty());
    EXPECT_EQ(w.window->workspace().notes.line(0), QStringLiteral("1={0}{0}{0}"));
}

TEST_F(ManualMarkingTest, DeleteAndDeleteAllFromTheIndexMenu)
{
    openEditing({QStringLiteral("1={0}{0}{0}"), QStringLiteral("2={0}{0}{0}"),
                 QStringLiteral("3={0}{0}{0}")});
    auto& popup = w.find<QMenu>("ShowList_Popup");
    ASSERT_GE(popup.actions().size(), 3);
    EXPECT_EQ(popup.actions().at(0)->objectName(), QStringLiteral("Delete1"));
    EXPECT_EQ(popup.actions().at(1)->objectName(), QStringLiteral("Delete2"));
    EXPECT_TRUE(popup.actions().at(2)->isSeparator());
    EXPECT_TRUE(action("Delete1").isVisible());

    w.window->follower().selectEntry(-1);
    action("Delete1").trigger(); // nothing selected
    EXPECT_EQ(w.window->workspace().notes.count(), 3);

    w.window->follower().selectEntry(1);
    w.window->playbackState().refreshRequest = false;
    action("Delete1").trigger();
    EXPECT_EQ(names(w), QStringList({QStringLiteral("1"), QStringLiteral("3")}));
    EXPECT_EQ(w.window->indexModel().count(), 2);
    EXPECT_TRUE(w.window->playbackState().refreshRequest);

    action("Delete2").trigger();
    EXPECT_EQ(w.window->workspace().notes.count(), 0);
    EXPECT_EQ(w.window->indexModel().count(), 0);
    action("Delete2").trigger(); // on an empty list
    EXPECT_EQ(w.window->indexModel().count(), 0);
    EXPECT_TRUE(w.dialogs.shown.isEmpty());

    // Saving leaves editing mode: the menu items are hidden again.
    w.find<QAbstractButton>("Toolbar_Save").click();
    EXPECT_FALSE(action("Delete1").isVisible());
    EXPECT_FALSE(action("Delete2").isVisible());
    EXPECT_FALSE(action("Delete3").isVisible());
}
