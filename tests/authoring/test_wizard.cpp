#include "authoring/wizard.h"
#include "project/pageimage.h"
#include "projectview/opening.h"
#include "support/badscores.h"
#include "support/filesizelimit.h"
#include "support/testwindow.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every file below a folder, relative to it, sorted.
QStringList listing(const QString& folder)
{
    QStringList out;
    QDir dir(folder);
    for (const QFileInfo& info :
         dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        out << info.fileName();
        if (info.isDir())
            for (const QString& inner : listing(info.filePath()))
                out << info.fileName() + QLatin1Char('/') + inner;
    }
    out.sort();
    return out;
}

} // namespace

TEST(NewProjectNames, ProposedNameDropsTheExtension)
{
    EXPECT_EQ(newproject::proposedName(QStringLiteral("/music/Etude 5.mp3")),
              QStringLiteral("Etude 5"));
    EXPECT_EQ(newproject::proposedName(QStringLiteral("C:\\Music\\Etude 5.mp3")),
              QStringLiteral("Etude 5"));
    // Extensions of any length go whole, and only the last one.
    EXPECT_EQ(newproject::proposedName(QStringLiteral("/music/x.flac")), QStringLiteral("x"));
    EXPECT_EQ(newproject::proposedName(QStringLiteral("/music/Op. 10.opus")),
              QStringLiteral("Op. 10"));
    EXPECT_EQ(newproject::proposedName(QStringLiteral("/music/ab")), QStringLiteral("ab"));
}

TEST(NewProjectNames, FolderStaysInsideTheNotesFolder)
{
    const QString notes = QStringLiteral("/data/Notes/");
    EXPECT_EQ(newproject::projectFolder(notes, QStringLiteral("Etude 5")),
              QStringLiteral("/data/Notes/Etude 5/"));
    // Sub-folders are allowed with either separator.
    EXPECT_EQ(newproject::projectFolder(notes, QStringLiteral("Piano\\Bach/Air")),
              QStringLiteral("/data/Notes/Piano/Bach/Air/"));
    EXPECT_EQ(newproject::fileNamePart(QStringLiteral("Piano\\Bach/Air")), QStringLiteral("Air"));
    for (const char* refused : {"", "   ", "../x", "..\\x", "/abs", "\\abs", "C:\\x", "a/../../b",
                                "a/..", "..", "x/", ".", "a/."})
        EXPECT_TRUE(newproject::projectFolder(notes, QLatin1String(refused)).isEmpty()) << refused;
}

TEST(NewProjectNames, ProjectLinesInOrder)
{
    const QStringList lines = newproject::projectLines(
        QStringLiteral("/m/a.mp3"), QStringLiteral("/n/"), QStringLiteral("Air"),
        {QStringLiteral("/p/one.jpg"), QStringLiteral("/q/two.gif")});
    EXPECT_EQ(lines, QStringList(
                         {QStringLiteral("AudioFile=a.mp3"),
                          QStringLiteral("SourceAudioFile=/m/a.mp3"), QStringLiteral("DirPath=/n/"),
                          QStringLiteral("FileName=Air"), QStringLiteral("NotesDataFile=Air.ntf"),
                          QStringLiteral("UseLocal=true"), QStringLiteral("NotesFile0=one.jpg"),
                          QStringLiteral("NotesFile1=two.gif"), QStringLiteral("NotesAmount=2")}));
    EXPECT_EQ(newproject::projectLines(QStringLiteral("D:\\Track01.cda"), QString(),
                                       QStringLiteral("cd"), {})
                  .at(5),
              QStringLiteral("UseLocal=false"));
    // Only the exact lower-case extension marks an audio-CD track.
    EXPECT_FALSE(newproject::isCdTrack(QStringLiteral("x.CDA")));
}

class WizardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sources.isValid());
        src = sources.path() + QLatin1Char('/');
    }

    Wizard& wizard() { return *w.window->wizard(); }
    QString notes() const { return w.notes.path(); }

    void record() { w.find<QAbstractButton>("Startup_RecordButton").click(); }
    void selectAudio(const QString& path)
    {
        w.dialogs.files.enqueue(path);
        w.find<QAbstractButton>("NewProjectSelectAudio").click();
    }
    void addImage(const QString& path)
    {
        w.dialogs.files.enqueue(path);
        w.find<QAbstractButton>("NewAddImage").click();
    }
    QString tone(const QString& name)
    {
        const QString path = testfiles::makeTone(src, name, 2);
        EXPECT_FALSE(path.isEmpty());
        return path;
    }
    QString image(const QString& dir, const QString& name, int width = 400)
    {
        QDir().mkpath(dir);
        const QString path = testfiles::makeImage(dir, name, width, 500);
        EXPECT_FALSE(path.isEmpty());
        return path;
    }

    TestWindow w;
    QTemporaryDir sources;
    QString src;
};

TEST_F(WizardTest, RecordFromTheStartScreenShowsStepOneOnly)
{
    record();
    EXPECT_FALSE(w.find<QWidget>("NewProject").isHidden());
    EXPECT_TRUE(w.find<QWidget>("Startup_Panel").isHidden());
    EXPECT_FALSE(w.find<QWidget>("NewStep1").isHidden());
    EXPECT_TRUE(w.find<QWidget>("NewStep2").isHidden());
    EXPECT_TRUE(w.find<QWidget>("NewStep3").isHidden());
    EXPECT_EQ(w.find<QLineEdit>("AudioFile").text(), QStringLiteral("Default"));
    EXPECT_EQ(w.find<QLineEdit>("NewOpenDisplay").text(), QStringLiteral("Select"));
    EXPECT_TRUE(w.window->workspace().modes.editing);
    // The wizard reset turned the hot keys off.
    EXPECT_FALSE(w.keys.isActive(HotKey::Pause));
}

TEST_F(WizardTest, ChosenAudioProposesTheNameAndWarnsOfAnExistingFolder)
{
    QDir().mkpath(notes() + QStringLiteral("Etude 5"));
    record();
    selectAudio(QStringLiteral("/music/Etude 5.mp3"));
    EXPECT_EQ(w.find<QLineEdit>("AudioFile").text(), QStringLiteral("Etude 5"));
    EXPECT_EQ(w.find<QLineEdit>("NewOpenDisplay").text(), QStringLiteral("/music/Etude 5.mp3"));
    EXPECT_FALSE(w.find<QWidget>("NewOverwrite").isHidden());
    EXPECT_FALSE(w.find<QWidget>("NewStep2").isHidden());
    EXPECT_EQ(wizard().relativeFolder(), QStringLiteral("Notes\\Etude 5\\"));

    // Typing another name hides the warning; a four-letter extension goes whole.
    w.find<QLineEdit>("AudioFile").setText(QStringLiteral("Etude 6"));
    EXPECT_TRUE(w.find<QWidget>("NewOverwrite").isHidden());
    selectAudio(QStringLiteral("/music/x.flac"));
    EXPECT_EQ(w.find<QLineEdit>("AudioFile").text(), QStringLiteral("x"));
    // The dialog offers the formats the player plays besides WAV, WMA, MP3 and CD tracks.
    EXPECT_TRUE(w.dialogs.fileRequests.last().startsWith(
        QStringLiteral("Choose Audio File for the Notes.|/music/|Audio files|*.WAV;*.WMA;*.MP3;"
                       "*.CDA;*.FLAC;*.OGG;*.OGA;*.OPUS;*.M4A;*.AAC;")));
    EXPECT_TRUE(w.dialogs.fileRequests.last().endsWith(QStringLiteral("|All|*.*|")));
}

TEST_F(WizardTest, CancelledAudioDialogRefusesCreation)
{
    record();
    selectAudio(tone(QStringLiteral("a.mp3")));
    addImage(image(src, QStringLiteral("p.jpg")));
    selectAudio(QString()); // cancelled: the earlier choice is still shown
    EXPECT_FALSE(w.find<QLineEdit>("NewOpenDisplay").text().isEmpty());
    w.find<QAbstractButton>("NewProjectManual").click();
    EXPECT_EQ(w.dialogs.shown.last(), QStringLiteral("Please Select an Audio File."));
    EXPECT_FALSE(QFileInfo::exists(notes() + QStringLiteral("a")));
    EXPECT_FALSE(w.find<QWidget>("NewProject").isHidden());
}

TEST_F(WizardTest, ImagesAreRequiredAndDeletingTheLastHidesStepThree)
{
    record();
    selectAudio(tone(QStringLiteral("a.mp3")));
    EXPECT_FALSE(wizard().createProject());
    EXPECT_EQ(w.dialogs.shown.last(), QStringLiteral("Please include at least one music sheet"));

    addImage(image(src, QStringLiteral("p.jpg")));
    EXPECT_FALSE(w.find<QWidget>("NewStep3").isHidden());
    auto& list = w.find<QListWidget>("NewImageList");
    w.find<QAbstractButton>("NewDeleteImage").click(); // nothing selected: nothing happens
    EXPECT_EQ(list.count(), 1);
    list.setCurrentRow(0);
    w.find<QAbstractButton>("NewDeleteImage").click();
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(w.find<QWidget>("NewStep3").isHidden());
    EXPECT_FALSE(QFileInfo::exists(notes() + QStringLiteral("a")));
}

TEST_F(WizardTest, AudioCdTrackIsPlayedFromItsSource)
{
    record();
    selectAudio(QStringLiteral("/media/cdrom/Track01.cda"));
    EXPECT_TRUE(w.dialogs.shown.last().startsWith(
        QStringLiteral("Please note that when using audio CDs\nfor playback")));
    addImage(image(src, QStringLiteral("p.jpg")));
    w.find<QAbstractButton>("NewProjectManual").click();

    const QString folder = notes() + QStringLiteral("Track01/");
    const QByteArray nts = readAll(folder + QStringLiteral("Track01.nts"));
    EXPECT_TRUE(nts.contains("\r\nUseLocal=false\r\n"));
    EXPECT_EQ(listing(folder),
              QStringList({QStringLiteral("Track01.nts"), QStringLiteral("p.jpg")}));
    EXPECT_FALSE(w.find<QCheckBox>("MainPanel_LocalAudio").isChecked());
    EXPECT_EQ(w.player.source(), QStringLiteral("/media/cdrom/Track01.cda"));
}

TEST_F(WizardTest, ExistingFolderKeepsItsFilesOnYesAndIsUntouchedOnNo)
{
    const QString audio = tone(QStringLiteral("Song.mp3"));
    const QString page = image(src, QStringLiteral("p.jpg"));
    const QString folder = notes() + QStringLiteral("Song/");
    QDir().mkpath(folder);
    testfiles::writeFile(folder + QStringLiteral("Song.mp3"), "old audio");
    testfiles::writeFile(folder + QStringLiteral("p.jpg"), "old page");
    testfiles::writeFile(folder + QStringLiteral("Song.ntf"), "1={0}{0}{0}\r\n");
    const QStringList before = listing(folder);

    record();
    selectAudio(audio);
    addImage(page);
    EXPECT_FALSE(w.find<QWidget>("NewOverwrite").isHidden());
    w.dialogs.answers.enqueue(false);
    w.find<QAbstractButton>("NewProjectManual").click();
    EXPECT_EQ(w.dialogs.shown.last(),
              QStringLiteral("The program already has file with the same name.\nOverwrite?"));
    EXPECT_EQ(listing(folder), before);
    EXPECT_TRUE(wizard().relativeFolder().isEmpty());
    EXPECT_FALSE(w.find<QWidget>("NewProject").isHidden());

    w.dialogs.answers.enqueue(true);
    w.find<QAbstractButton>("NewProjectManual").click();
    EXPECT_EQ(readAll(folder + QStringLiteral("Song.mp3")), QByteArray("old audio"));
    EXPECT_EQ(readAll(folder + QStringLiteral("p.jpg")), QByteArray("old page"));
    EXPECT_EQ(readAll(folder + QStringLiteral("Song.ntf")), QByteArray("1={0}{0}{0}\r\n"));
    EXPECT_TRUE(readAll(folder + QStringLiteral("Song.nts")).startsWith("AudioFile=Song.mp3\r\n"));
    EXPECT_TRUE(w.find<QWidget>("NewProject").isHidden());
    // The new project starts with an empty marker list, not the old notes data file.
    EXPECT_EQ(w.window->workspace().notes.count(), 0);
}

// A disk that fills up while the project is made leaves no project and none of the copies
// this attempt made, says which file could not be written, and stays on step three.
TEST_F(WizardTest, AFullDiskMakesNoHalfProject)
{
    const QString audio = testfiles::makeTone(src, QStringLiteral("Full.wav"), 2);
    ASSERT_FALSE(audio.isEmpty());
    const QString page = image(src, QStringLiteral("p.jpg"));
    ASSERT_LT(QFileInfo(page).size() * 2, QFileInfo(audio).size());
    record();
    selectAudio(audio);
    addImage(page);
    {
        const FileSizeLimit fullDisk(QFileInfo(audio).size() / 2);
        w.find<QAbstractButton>("NewProjectManual").click();
    }
    const QString folder = notes() + QStringLiteral("Full/");
    EXPECT_TRUE(w.dialogs.shown.last().startsWith(
        QStringLiteral("Cannot create file \"%1\". ").arg(folder + QStringLiteral("Full.wav"))));
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_FALSE(w.find<QWidget>("NewProject").isHidden());

    // With room again the same step makes the whole project.
    w.find<QAbstractButton>("NewProjectManual").click();
    EXPECT_EQ(listing(folder), QStringList({QStringLiteral("Full.nts"), QStringLiteral("Full.wav"),
                                            QStringLiteral("p.jpg")}));
}

TEST_F(WizardTest, TwoImagesOfTheSameNameShareOneCopy)
{
    const QString first = image(src + QStringLiteral("a"), QStringLiteral("page.jpg"), 400);
    const QString second = image(src + QStringLiteral("b"), QStringLiteral("page.jpg"), 300);
    record();
    selectAudio(tone(QStringLiteral("Twice.mp3")));
    addImage(first);
    addImage(second);
    w.find<QAbstractButton>("NewProjectManual").click();

    const QString folder = notes() + QStringLiteral("Twice/");
    const QByteArray nts = readAll(folder + QStringLiteral("Twice.nts"));
    EXPECT_TRUE(
        nts.contains("\r\nNotesFile0=page.jpg\r\nNotesFile1=page.jpg\r\nNotesAmount=2\r\n"));
    EXPECT_EQ(readAll(folder + QStringLiteral("page.jpg")), readAll(first));
    EXPECT_EQ(w.find<QComboBox>("PagesBox_Pages").count(), 2);
}

TEST_F(WizardTest, NamesLeavingTheNotesFolderAreRefused)
{
    record();
    selectAudio(tone(QStringLiteral("a.mp3")));
    addImage(image(src, QStringLiteral("p.jpg")));
    const QString outside = QFileInfo(notes() + QStringLiteral("..")).canonicalFilePath();
    for (const char* name : {"", "../x", "/abs", "a/../../b", "..\\y"}) {
        w.dialogs.shown.clear();
        w.find<QLineEdit>("AudioFile").setText(QLatin1String(name));
        w.find<QAbstractButton>("NewProjectManual").click();
        EXPECT_EQ(w.dialogs.shown, QStringList{newproject::kNameRefused}) << name;
        EXPECT_TRUE(listing(notes()).isEmpty()) << name;
        EXPECT_FALSE(w.find<QWidget>("NewProject").isHidden());
    }
    // Nothing was made beside the Notes folder.
    for (const char* made : {"x", "b", "y"})
        EXPECT_FALSE(QFileInfo::exists(outside + QLatin1Char('/') + QLatin1String(made))) << made;
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/abs")));

    // A sub-folder inside Notes is fine; the file names use the last part.
    w.find<QLineEdit>("AudioFile").setText(QStringLiteral("Piano\\Air"));
    w.find<QAbstractButton>("NewProjectManual").click();
    const QString nts = notes() + QStringLiteral("Piano/Air/Air.nts");
    EXPECT_TRUE(QFileInfo::exists(nts));
    EXPECT_TRUE(readAll(nts).contains("\r\nFileName=Air\r\nNotesDataFile=Air.ntf\r\n"));
    EXPECT_EQ(w.window->workspace().openPath, nts);
}

TEST_F(WizardTest, CancelReturnsToTheStartScreenAndWritesNothing)
{
    record();
    selectAudio(tone(QStringLiteral("a.mp3")));
    w.find<LinkLabel>("Label34").clicked();
    EXPECT_TRUE(w.find<QWidget>("NewProject").isHidden());
    EXPECT_FALSE(w.find<QWidget>("Startup_Panel").isHidden());
    EXPECT_FALSE(w.window->workspace().modes.editing);
    EXPECT_TRUE(listing(notes()).isEmpty());
}

TEST_F(WizardTest, NewFromAnOpenProjectLeavesItForTheWizard)
{
    testfiles::ProjectLayout layout;
    layout.name = QStringLiteral("Old");
    layout.pages = {QStringLiteral("p.jpg")};
    layout.entries = {QStringLiteral("1={0}{0}{0}")};
    w.open(w.makeProject(layout));
    ASSERT_FALSE(w.find<QWidget>("MainPanel").isHidden());
    w.find<QAbstractButton>("Toolbar_Edit").click();
    w.dialogs.answers.enqueue(false); // "Save?" No
    w.find<QAbstractButton>("ToolBar_New").click();
    EXPECT_TRUE(w.dialogs.shown.contains(QStringLiteral("Save?")));
    EXPECT_FALSE(w.find<QWidget>("NewProject").isHidden());
    EXPECT_TRUE(w.find<QWidget>("MainPanel").isHidden());
    EXPECT_TRUE(w.window->workspace().modes.editing);
    EXPECT_EQ(w.find<QLabel>("TipsLabel").text(), Opening::playTips());
}

// A PDF added in step 2 lists one line per page; the project gets its pages in order after
// the image before it, and a line deleted before creation leaves its page out.
TEST_F(WizardTest, PdfScoreBecomesOnePagePerLine)
{
    const QString pdf = src + QStringLiteral("Score.pdf");
    ASSERT_TRUE(scorepdf::write(
        pdf, {scorepdf::Kind::Engraving, scorepdf::Kind::Scan, scorepdf::Kind::Engraving}));
    record();
    selectAudio(tone(QStringLiteral("Etude.flac")));
    EXPECT_EQ(w.find<QLineEdit>("AudioFile").text(), QStringLiteral("Etude"));
    addImage(image(src, QStringLiteral("title.jpg")));
    addImage(pdf);
    auto& list = w.find<QListWidget>("NewImageList");
    ASSERT_EQ(list.count(), 4);
    EXPECT_EQ(list.item(2)->text(), pdf + QStringLiteral(" (page 2)"));
    list.setCurrentRow(2);
    w.find<QAbstractButton>("NewDeleteImage").click();
    ASSERT_EQ(list.count(), 3);
    EXPECT_TRUE(listing(notes()).isEmpty()) << "nothing is written before the project is made";
    w.find<QAbstractButton>("NewProjectManual").click();

    const QString folder = notes() + QStringLiteral("Etude/");
    const TextList& memo = w.window->workspace().memo;
    EXPECT_EQ(memo.value(QStringLiteral("NotesAmount")), QStringLiteral("3"));
    EXPECT_EQ(memo.value(QStringLiteral("NotesFile0")), QStringLiteral("title.jpg"));
    const QString first = memo.value(QStringLiteral("NotesFile1"));
    const QString third = memo.value(QStringLiteral("NotesFile2"));
    EXPECT_TRUE(first.startsWith(QStringLiteral("Score_1."))) << first.toStdString();
    EXPECT_TRUE(third.startsWith(QStringLiteral("Score_3."))) << third.toStdString();
    EXPECT_EQ(listing(folder),
              QStringList({QStringLiteral("Etude.flac"), QStringLiteral("Etude.nts"), first, third,
                           QStringLiteral("title.jpg")}));
    for (const QString& page : {first, third}) {
        QString why;
        EXPECT_FALSE(pageimage::load(folder + page, &why).isNull()) << why.toStdString();
    }
    EXPECT_TRUE(
        readAll(folder + QStringLiteral("Etude.nts")).startsWith("AudioFile=Etude.flac\r\n"));
    EXPECT_EQ(w.find<QComboBox>("PagesBox_Pages").count(), 3);
}

// Making a project again over its folder from a new edition of the score: the pages come
// from the new edition, while the old edition's files stay where they were.
TEST_F(WizardTest, ANewEditionOverAnOldProjectShowsItsOwnPages)
{
    const QString folder = notes() + QStringLiteral("Etude/");
    const QString old = image(folder, QStringLiteral("Score_1.gif"));
    const QByteArray oldBytes = readAll(old);
    const QString pdf = src + QStringLiteral("Score.pdf");
    ASSERT_TRUE(scorepdf::write(pdf, {scorepdf::Kind::Engraving, scorepdf::Kind::Engraving}));
    record();
    selectAudio(tone(QStringLiteral("Etude.flac")));
    addImage(pdf);
    w.dialogs.answers.enqueue(true); // "Overwrite?"
    w.find<QAbstractButton>("NewProjectManual").click();

    const TextList& memo = w.window->workspace().memo;
    const QString first = memo.value(QStringLiteral("NotesFile0"));
    EXPECT_NE(first.toLower(), QStringLiteral("score_1.gif"));
    EXPECT_EQ(readAll(old), oldBytes);
    QString why;
    const QImage page = pageimage::load(folder + first, &why);
    EXPECT_GT(page.width(), 1000) << "the new edition's page, drawn at 200 dpi "
                                  << why.toStdString();
    EXPECT_EQ(memo.value(QStringLiteral("NotesFile1")).left(8), QStringLiteral("Score_2."));
}

// A broken, an empty or a locked PDF and a cancel half-way add no line and leave no
// converted page behind.
TEST_F(WizardTest, RefusedOrCancelledScoreAddsNoLine)
{
    QStringList scores = badScores(src);
    ASSERT_GE(scores.size(), 2);
    const QString four = src + QStringLiteral("Four.pdf");
    ASSERT_TRUE(scorepdf::write(four, QList<scorepdf::Kind>(4, scorepdf::Kind::Engraving)));
    scores << four;
    // The wizard converts into a folder under the temporary folder: here, one of this test's.
    const QString temp = src + QStringLiteral("tmp");
    QDir().mkpath(temp);
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", temp.toLocal8Bit());
    record();
    selectAudio(tone(QStringLiteral("a.mp3")));
    for (const QString& score : scores) {
        w.dialogs.cancelAfter = score == four ? 2 : -1;
        w.dialogs.shown.clear();
        addImage(score);
        ASSERT_EQ(w.dialogs.shown.size(), 1) << score.toStdString();
        EXPECT_TRUE(w.dialogs.shown.first().contains(QFileInfo(score).fileName()));
        EXPECT_EQ(w.find<QListWidget>("NewImageList").count(), 0);
        EXPECT_TRUE(w.find<QWidget>("NewStep3").isHidden());
    }
    if (oldTemp.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", oldTemp);
    const QStringList staged = listing(temp);
    EXPECT_EQ(staged.size(), 1) << staged.join(QLatin1Char(' ')).toStdString();
    for (const QString& entry : staged)
        EXPECT_TRUE(entry.startsWith(QStringLiteral("folivant-pages-"))) << entry.toStdString();
}
