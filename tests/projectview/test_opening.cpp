#include "playback/sheetview.h"
#include "projectview/opening.h"
#include "projectview/pages.h"
#include "support/testwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListView>
#include <gtest/gtest.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class OpeningTest : public ::testing::Test {
protected:
    OpeningTest()
    {
        audio = testfiles::writeFile(QDir(w.notes.path()).filePath(QStringLiteral("tune.mp3")),
                                     QByteArray("ID3"));
    }

    QString project(int pages = 1, QStringList entries = {}, QStringList extra = {})
    {
        testfiles::ProjectLayout layout;
        layout.audio = audio;
        for (int i = 0; i < pages; ++i)
            layout.pages << QStringLiteral("p%1.jpg").arg(i);
        layout.entries = entries;
        layout.extraLines = extra;
        return w.makeProject(layout);
    }
    QString folder() const { return w.notes.path() + QStringLiteral("Test/"); }

    TestWindow w;
    QString audio;
};

TEST_F(OpeningTest, OpensAProjectWithItsPagesMarkersAndAudio)
{
    const QString nts = project(2, {QStringLiteral("1={0}{0}{0}"), QStringLiteral("2={0}{0}{1}")});
    w.open(nts);
    EXPECT_TRUE(w.dialogs.shown.isEmpty()) << w.dialogs.shown.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(
        w.dialogs.fileRequests.first().startsWith(QStringLiteral("Select File|") + w.notes.path() +
                                                  QStringLiteral("|Folivant File|*.nts|nts")));
    EXPECT_EQ(w.window->windowTitle(), QStringLiteral("Play a Folivant."));
    EXPECT_TRUE(w.find<QWidget>("MainPanel").isVisible());
    EXPECT_FALSE(w.find<QWidget>("Startup_Panel").isVisible());
    auto& pages = *w.window->pages().pageList();
    ASSERT_EQ(pages.count(), 2);
    EXPECT_EQ(pages.itemText(1), QStringLiteral("Page 2"));
    EXPECT_EQ(pages.currentIndex(), 0);
    EXPECT_EQ(w.window->sheet().displaySize(), QSize(600, 800));
    EXPECT_EQ(w.window->workspace().notes.count(), 2);
    EXPECT_EQ(w.player.source(), folder() + QStringLiteral("tune.mp3"));
    EXPECT_TRUE(w.player.calls.contains(QStringLiteral("play")));
    EXPECT_TRUE(w.window->playbackState().priming);
    EXPECT_TRUE(w.keys.isActive(HotKey::Pause));
    EXPECT_TRUE(w.keys.isActive(HotKey::SwitchPage));
    EXPECT_EQ(w.find<QLabel>("TipsLabel").text(), Opening::playTips());
}

TEST_F(OpeningTest, AProjectMadeOnWindowsOpensTheSame)
{
    const QString dir = w.notes.path() + QStringLiteral("Win/");
    QDir().mkpath(dir);
    QFile::copy(audio, dir + QStringLiteral("tune.mp3"));
    testfiles::makeImage(dir, QStringLiteral("Seite 1.JPG"), 300, 400);
    testfiles::writeFile(dir + QStringLiteral("Win.nts"),
                         "notesamount=1\r\nNotesFile0=Seite 1.JPG\r\nAudioFile=tune.mp3\r\n"
                         "SourceAudioFile=C:\\Musik\\Caf\xe9\\tune.mp3\r\nUseLocal=true\r\n"
                         "NotesDataFile=Win.ntf\r\nFileName=Caf\xe9\r\n");
    testfiles::writeFile(dir + QStringLiteral("Win.ntf"), "1.5={100}{200}{0}\r\n");
    w.open(dir + QStringLiteral("Win.nts"));
    EXPECT_TRUE(w.dialogs.shown.isEmpty()) << w.dialogs.shown.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(w.window->sheet().displaySize(), QSize(300, 400));
    EXPECT_EQ(w.window->workspace().notes.line(0), QStringLiteral("1.5={100}{200}{0}"));
    EXPECT_EQ(w.player.source(), dir + QStringLiteral("tune.mp3"));
}

TEST_F(OpeningTest, CancelAtTheStartScreenShowsItAgain)
{
    w.find<QAbstractButton>("Startup_Play").click(); // no file queued: cancelled
    EXPECT_TRUE(w.find<QWidget>("Startup_Panel").isVisible());
    EXPECT_FALSE(w.find<QWidget>("MainPanel").isVisible());
}

TEST_F(OpeningTest, CancelWhileAProjectIsOpenKeepsItWithoutAudio)
{
    w.open(project());
    w.find<QAbstractButton>("ToolOpen").click();
    EXPECT_TRUE(w.window->workspace().isOpen());
    EXPECT_TRUE(w.player.source().isEmpty());
    EXPECT_FALSE(w.find<QWidget>("MainPanel").isVisible()); // editing off: start screen
    EXPECT_TRUE(w.find<QWidget>("Startup_Panel").isVisible());
}

TEST_F(OpeningTest, MissingDataFileMeansAnEmptyMarkerList)
{
    testfiles::ProjectLayout layout;
    layout.audio = audio;
    layout.pages << QStringLiteral("p0.jpg");
    layout.writeNtf = false;
    w.open(w.makeProject(layout));
    EXPECT_TRUE(w.dialogs.shown.isEmpty());
    EXPECT_EQ(w.window->workspace().notes.count(), 0);
}

TEST_F(OpeningTest, BadProjectFilesFailWithError)
{
    const QString nts = project();
    const QByteArray good = readAll(nts);
    const QList<QByteArray> amounts = {"x", "-1", "99999999999", ""};
    for (const QByteArray& amount : amounts) {
        QByteArray bytes = good;
        bytes.replace("NotesAmount=1", "NotesAmount=" + amount);
        testfiles::writeFile(nts, bytes);
        w.dialogs.shown.clear();
        w.open(nts);
        EXPECT_EQ(w.dialogs.shown, QStringList{QStringLiteral("Error.")}) << amount.constData();
        EXPECT_TRUE(w.find<QWidget>("Startup_Panel").isVisible());
        EXPECT_TRUE(w.find<QWidget>("Startup_Panel").isEnabled());
        EXPECT_FALSE(w.find<QWidget>("MainPanel").isVisible());
    }
}

TEST_F(OpeningTest, AMillionLineDataFileWithJunkOpens)
{
    const QString nts = project();
    QByteArray bytes;
    bytes.reserve(20 << 20);
    for (int i = 0; i < 1000000; ++i) {
        bytes += QByteArray::number(i * 0.01, 'f', 2);
        bytes += "={1}{2}{0}\r\n";
    }
    bytes += QByteArray("\r\n\0\0={x}\r\n", 11) + QByteArray(100000, 'y') + "\r\n";
    testfiles::writeFile(folder() + QStringLiteral("Test.ntf"), bytes);
    w.open(nts);
    EXPECT_TRUE(w.dialogs.shown.isEmpty());
    EXPECT_EQ(w.window->workspace().notes.count(), 1000003);
    EXPECT_EQ(w.find<QListView>("ShowList").model()->rowCount(), 1000003);
}

TEST_F(OpeningTest, UndecodablePageFailsTheOpen)
{
    const QString nts = project();
    testfiles::writeFile(folder() + QStringLiteral("p0.jpg"), QByteArray("not a picture"));
    w.open(nts);
    EXPECT_EQ(w.dialogs.shown, QStringList{QStringLiteral("Error.")});
}

TEST_F(OpeningTest, HostileProjectFileOpensOrFailsCleanly)
{
    const QString nts = project();
    QByteArray bytes = readAll(nts);
    bytes += QByteArray(1 << 20, 'z') + "\r\n";
    bytes += QByteArray("\0\0=\0\r\n\xff\xfe\r\n", 10);
    testfiles::writeFile(nts, bytes);
    w.open(nts);
    EXPECT_TRUE(w.dialogs.shown.isEmpty() ||
                w.dialogs.shown == QStringList{QStringLiteral("Error.")});
    EXPECT_EQ(w.window->pages().pageList()->count(), 1);
}

TEST_F(OpeningTest, MissingLocalCopyAsksForAnAudioFile)
{
    const QString nts = project();
    QFile::remove(folder() + QStringLiteral("tune.mp3"));
    w.dialogs.files.enqueue(nts);
    w.dialogs.files.enqueue(audio);
    w.find<QAbstractButton>("Startup_Play").click();
    EXPECT_EQ(w.dialogs.shown, QStringList{QStringLiteral("Unable to locate local audio file")});
    EXPECT_FALSE(w.find<QCheckBox>("MainPanel_LocalAudio").isChecked());
    EXPECT_TRUE(w.dialogs.fileRequests.last().startsWith(
        QStringLiteral("Choose Audio File for the Notes.|")));
    EXPECT_EQ(w.player.source(), audio);
}

TEST_F(OpeningTest, CdProjectAsksForTheTrack)
{
    const QString nts = project(1, {}, {});
    QByteArray bytes = readAll(nts);
    bytes.replace("AudioFile=tune.mp3", "AudioFile=Track01.cda");
    testfiles::writeFile(nts, bytes);
    testfiles::writeFile(folder() + QStringLiteral("Track01.cda"), "cd");
    w.dialogs.files.enqueue(nts);
    w.dialogs.files.enqueue(QStringLiteral("/nowhere/Track01.cda"));
    w.find<QAbstractButton>("Startup_Play").click();
    EXPECT_EQ(w.dialogs.shown,
              (QStringList{QStringLiteral("Audio CD playback.\nplease select the file."),
                           QStringLiteral("Audio file doesn't exists.")}));
}

TEST_F(OpeningTest, UncheckingWhilePlayingAsksAndCancelLeavesNoSource)
{
    w.open(project());
    auto& local = w.find<QCheckBox>("MainPanel_LocalAudio");
    local.setChecked(false);
    EXPECT_TRUE(w.player.source().isEmpty());
    local.setChecked(true);
    EXPECT_EQ(w.player.source(), folder() + QStringLiteral("tune.mp3"));
}

TEST_F(OpeningTest, EditThenSaveWritesBothFilesByteExact)
{
    const QString nts = project(1, {QStringLiteral("1={0}{0}{0}")});
    w.open(nts);
    w.find<QAbstractButton>("Toolbar_Edit").click();
    EXPECT_EQ(w.dialogs.shown.last(), QStringLiteral("Editing Mode."));
    EXPECT_TRUE(w.window->workspace().modes.editing);
    EXPECT_TRUE(w.find<QWidget>("Toolbar_Save").isVisible());
    w.window->workspace().notes.append(QStringLiteral("2.5={10}{20}{0}{Chorus}"));
    w.find<QAbstractButton>("Toolbar_Save").click();
    EXPECT_EQ(w.dialogs.shown.last(), QStringLiteral("Saved."));
    EXPECT_FALSE(w.window->workspace().modes.editing);
    EXPECT_FALSE(w.find<QWidget>("Toolbar_Save").isVisible());
    EXPECT_TRUE(w.find<QWidget>("Toolbar_Edit").isVisible());
    EXPECT_EQ(readAll(folder() + QStringLiteral("Test.ntf")),
              QByteArray("1={0}{0}{0}\r\n2.5={10}{20}{0}{Chorus}\r\n"));
    EXPECT_TRUE(readAll(nts).endsWith("NotesAmount=1\r\n"));
    EXPECT_TRUE(readAll(nts).contains("\r\nUseLocal=true\r\n"));
}

TEST_F(OpeningTest, SaveIntoAReadOnlyFolderFailsAndLosesNothing)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    const QString nts = project(1, {QStringLiteral("1={0}{0}{0}")});
    w.open(nts);
    w.find<QAbstractButton>("Toolbar_Edit").click();
    const QByteArray before = readAll(nts);
    QFile::setPermissions(folder(), QFile::ReadOwner | QFile::ExeOwner);
    w.window->workspace().notes.append(QStringLiteral("2={0}{0}{0}"));
    w.find<QAbstractButton>("Toolbar_Save").click();
    QFile::setPermissions(folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_TRUE(w.dialogs.shown.last().startsWith(QStringLiteral("Cannot create file")));
    EXPECT_TRUE(w.window->workspace().modes.editing);
    EXPECT_EQ(readAll(nts), before);
}

TEST_F(OpeningTest, FailedWriteKeepsEditingModeAndReportsTheFile)
{
    // The notes data file's name is taken by a folder, so writing it fails for anyone.
    const QString nts = project(1, {QStringLiteral("1={0}{0}{0}")});
    QFile::remove(folder() + QStringLiteral("Test.ntf"));
    QDir().mkpath(folder() + QStringLiteral("Test.ntf"));
    w.open(nts);
    w.find<QAbstractButton>("Toolbar_Edit").click();
    w.find<QAbstractButton>("Toolbar_Save").click();
    EXPECT_TRUE(w.dialogs.shown.last().startsWith(QStringLiteral("Cannot create file")));
    EXPECT_TRUE(w.dialogs.shown.last().contains(QStringLiteral("Test.ntf")));
    EXPECT_FALSE(w.dialogs.shown.contains(QStringLiteral("Saved.")));
    EXPECT_TRUE(w.window->workspace().modes.editing);
    EXPECT_TRUE(QFileInfo(folder() + QStringLiteral("Test.ntf")).isDir());
}

TEST_F(OpeningTest, SaveDuringAutomaticMarkingDoesNothing)
{
    w.open(project());
    w.window->workspace().modes.automatic = true;
    w.dialogs.shown.clear();
    EXPECT_FALSE(w.window->opening().save());
    EXPECT_TRUE(w.dialogs.shown.isEmpty());
}

TEST_F(OpeningTest, LeavingAnEditedProjectAsksToSave)
{
    w.open(project());
    w.find<QAbstractButton>("Toolbar_Edit").click();
    w.dialogs.answers.enqueue(true);
    w.dialogs.files.enqueue(QString());
    w.find<QAbstractButton>("ToolOpen").click();
    EXPECT_TRUE(w.dialogs.shown.contains(QStringLiteral("Save?")));
    EXPECT_TRUE(w.dialogs.shown.contains(QStringLiteral("Saved.")));
}

TEST_F(OpeningTest, AnotherProjectDoesNotShowTheLastOnesPage)
{
    w.open(project());
    ASSERT_FALSE(w.window->sheet().image()->isEmpty());
    testfiles::ProjectLayout other;
    other.name = QStringLiteral("Other");
    other.audio = audio;
    other.pages = {QStringLiteral("gone.bmp")};
    const QString nts = w.makeProject(other);
    QFile::remove(w.notes.path() + QStringLiteral("Other/gone.bmp"));
    w.open(nts);
    EXPECT_TRUE(w.window->sheet().image()->isEmpty());
}

TEST_F(OpeningTest, UncheckedLocalAudioIsSavedAndEditIsRefusedInASession)
{
    const QString nts = project();
    w.open(nts);
    w.find<QAbstractButton>("Toolbar_Edit").click();
    w.dialogs.files.enqueue(audio); // the audio file asked for once unchecked
    w.find<QCheckBox>("MainPanel_LocalAudio").setChecked(false);
    EXPECT_EQ(w.player.source(), audio);
    w.find<QAbstractButton>("Toolbar_Save").click();
    EXPECT_TRUE(readAll(nts).contains("\r\nUseLocal=false\r\n"));

    // A guest or a host does not edit.
    w.dialogs.shown.clear();
    w.window->workspace().modes.followMode = true;
    w.window->opening().editClick();
    EXPECT_FALSE(w.window->workspace().modes.editing);
    EXPECT_TRUE(w.dialogs.shown.isEmpty());
}
