#include "project/projectsave.h"
#include "project/textfile.h"
#include "projectview/opening.h"
#include "support/filesizelimit.h"
#include "support/testwindow.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>

// Saving a project when the disk fills up or the program is killed half-way: afterwards
// the project on disk is the old one or the new one, never a mix.

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList entries(int count, int page)
{
    QStringList lines;
    lines.reserve(count);
    for (int i = 0; i < count; ++i)
        lines << QStringLiteral("%1={%2}{%3}{%4}{Bar %5}")
                     .arg(i * 0.01, 0, 'f', 2)
                     .arg(i % 1000 * 10)
                     .arg(i % 997 * 10)
                     .arg(page)
                     .arg(i);
    return lines;
}

// Hidden files a save leaves in the project folder.
QStringList leftovers(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral(".*folivant*")}, QDir::Files | QDir::Hidden);
}

constexpr char kChildRole[] = "FOLIVANT_SAVE_CHILD";

class SaveFaults : public ::testing::Test {
protected:
    // A project with a large marker list, opened and in editing mode.
    QString openLarge(TestWindow& w)
    {
        testfiles::ProjectLayout layout;
        layout.name = QStringLiteral("Large");
        layout.pages = {QStringLiteral("p.jpg")};
        layout.entries = entries(50000, 0);
        const QString nts = w.makeProject(layout);
        w.open(nts);
        w.find<QAbstractButton>("Toolbar_Edit").click();
        return nts;
    }
    // The edit every test saves: the other audio choice and a changed marker list.
    static void edit(TestWindow& w)
    {
        w.window->workspace().memo.setValue(QStringLiteral("UseLocal"), QStringLiteral("false"));
        w.find<QCheckBox>("MainPanel_LocalAudio").blockSignals(true);
        w.find<QCheckBox>("MainPanel_LocalAudio").setChecked(false);
        w.window->workspace().notes.setLines(entries(60000, 0));
    }
};

} // namespace

TEST_F(SaveFaults, AFullDiskKeepsTheOldProjectAndNamesTheFile)
{
    TestWindow w;
    const QString nts = openLarge(w);
    const QString folder = QFileInfo(nts).absolutePath() + QLatin1Char('/');
    const QByteArray oldNts = readAll(nts);
    const QByteArray oldNtf = readAll(folder + QStringLiteral("Large.ntf"));
    edit(w);
    {
        const FileSizeLimit limit(256 * 1024); // the new notes data file is larger
        w.find<QAbstractButton>("Toolbar_Save").click();
    }
    EXPECT_TRUE(w.dialogs.shown.last().startsWith(QStringLiteral("Cannot create file")));
    EXPECT_TRUE(w.dialogs.shown.last().contains(QStringLiteral("Large.ntf")));
    EXPECT_TRUE(w.window->workspace().modes.editing);
    EXPECT_EQ(readAll(nts), oldNts);
    EXPECT_EQ(readAll(folder + QStringLiteral("Large.ntf")), oldNtf);
    EXPECT_TRUE(leftovers(folder).isEmpty())
        << leftovers(folder).join(QLatin1Char(' ')).toStdString();

    // Room again on the disk: the same save goes through.
    w.find<QAbstractButton>("Toolbar_Save").click();
    EXPECT_EQ(w.dialogs.shown.last(), QStringLiteral("Saved."));
    EXPECT_TRUE(readAll(nts).contains("\r\nUseLocal=false\r\n"));
}

// A data file that may not be replaced: an immutable one is refused as a read-only one,
// an append-only one fails when it is to be replaced. Either way the save says so, names
// the file and leaves the old project whole.
TEST_F(SaveFaults, ADataFileThatCannotBeReplacedFailsTheSave)
{
    for (const auto& [flag, message] :
         {std::pair{"+i", "Cannot create file"}, std::pair{"+a", "Cannot save"}}) {
        TestWindow w;
        const QString nts = openLarge(w);
        const QString ntf = QFileInfo(nts).absolutePath() + QStringLiteral("/Large.ntf");
        const QByteArray oldNts = readAll(nts), oldNtf = readAll(ntf);
        edit(w);
        if (QProcess::execute(QStringLiteral("chattr"), {QLatin1String(flag), ntf}) != 0)
            GTEST_SKIP() << "chattr is not possible here (needs root on ext2/3/4 or similar)";
        w.find<QAbstractButton>("Toolbar_Save").click();
        QProcess::execute(QStringLiteral("chattr"),
                          {QString(QLatin1String(flag)).replace(u'+', u'-'), ntf});
        EXPECT_TRUE(w.dialogs.shown.last().startsWith(QLatin1String(message)))
            << w.dialogs.shown.last().toStdString();
        EXPECT_TRUE(w.dialogs.shown.last().contains(QStringLiteral("Large.ntf")));
        EXPECT_TRUE(w.window->workspace().modes.editing);
        EXPECT_EQ(readAll(nts), oldNts);
        EXPECT_EQ(readAll(ntf), oldNtf);
        EXPECT_TRUE(leftovers(QFileInfo(nts).absolutePath()).isEmpty());
    }
}

// The child side of the next test: opens the project, edits it, says so, and saves it.
TEST_F(SaveFaults, KilledSaveChild)
{
    if (qEnvironmentVariableIsEmpty(kChildRole))
        GTEST_SKIP() << "run by KilledHalfWayLeavesOneWholeProject";
    TestWindow w;
    w.dialogs.files.enqueue(qEnvironmentVariable(kChildRole));
    w.find<QAbstractButton>("Startup_Play").click();
    w.find<QAbstractButton>("Toolbar_Edit").click();
    edit(w);
    std::printf("saving\n");
    std::fflush(stdout);
    w.find<QAbstractButton>("Toolbar_Save").click();
    std::printf("saved\n");
    std::fflush(stdout);
}

TEST_F(SaveFaults, KilledHalfWayLeavesOneWholeProject)
{
    int oldSeen = 0, newSeen = 0;
    for (int delayMs : {0, 1, 2, 4, 8, 12, 16, 24, 32, 48, 64, 1000}) {
        TestWindow w;
        testfiles::ProjectLayout layout;
        layout.name = QStringLiteral("Large");
        layout.pages = {QStringLiteral("p.jpg")};
        layout.entries = entries(50000, 0);
        const QString nts = w.makeProject(layout);
        const QString ntf = QFileInfo(nts).absolutePath() + QStringLiteral("/Large.ntf");
        const QByteArray oldNts = readAll(nts), oldNtf = readAll(ntf);

        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QLatin1String(kChildRole), nts);
        env.insert(QStringLiteral("FOLIVANT_NOTES_DIR"), w.notes.path());
        // The killed child cannot remove its own temporary folders: they go inside one of
        // this test's, which is removed here.
        const QTemporaryDir childTemp;
        env.insert(QStringLiteral("TMPDIR"), childTemp.path());
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=SaveFaults.KilledSaveChild")});
        ASSERT_TRUE(child.waitForStarted(10000));
        QByteArray out;
        while (!out.contains("saving") && child.waitForReadyRead(20000))
            out += child.readAllStandardOutput();
        ASSERT_TRUE(out.contains("saving")) << out.toStdString();
        QThread::msleep(static_cast<unsigned long>(delayMs));
        child.kill();
        child.waitForFinished(10000);

        // Opening the project finishes or undoes what the killed save left.
        w.open(nts);
        const QByteArray nowNts = readAll(nts), nowNtf = readAll(ntf);
        const bool asBefore = nowNts == oldNts && nowNtf == oldNtf;
        const bool asSaved = nowNts.contains("\r\nUseLocal=false\r\n") &&
                             nowNtf == textfile::encodeLines(entries(60000, 0));
        EXPECT_TRUE(asBefore || asSaved) << "killed after " << delayMs << " ms";
        EXPECT_TRUE(leftovers(QFileInfo(nts).absolutePath()).isEmpty())
            << "killed after " << delayMs << " ms: "
            << leftovers(QFileInfo(nts).absolutePath()).join(QLatin1Char(' ')).toStdString();
        oldSeen += asBefore;
        newSeen += asSaved;
    }
    // The kills fell both before and after the save was done.
    EXPECT_GT(oldSeen, 0);
    EXPECT_GT(newSeen, 0);
}

TEST(ProjectSave, RecoveryFinishesARecordedSaveAndDropsAnUnrecordedOne)
{
    QTemporaryDir dir;
    const QString nts = dir.filePath(QStringLiteral("P.nts"));
    const QString ntf = dir.filePath(QStringLiteral("P.ntf"));
    textfile::writeLines(nts, {QStringLiteral("old")});
    textfile::writeLines(ntf, {QStringLiteral("old")});

    // Killed with both new files complete and the record made: recovery finishes the save.
    projectsave::Failure failure;
    ASSERT_TRUE(projectsave::prepare(
        nts, {{nts, {QStringLiteral("new")}}, {ntf, {QStringLiteral("new")}}}, &failure));
    projectsave::recover(nts);
    EXPECT_EQ(readAll(nts), QByteArray("new\r\n"));
    EXPECT_EQ(readAll(ntf), QByteArray("new\r\n"));
    EXPECT_TRUE(leftovers(dir.path()).isEmpty());

    // Killed before the record: the old files stay and the half-made one goes, while a
    // file of the same shape that belongs to no save of this project stays.
    const QString half = dir.filePath(QStringLiteral(".P.nts.0123456789abcdef.1.folivant-new"));
    const QString others = dir.filePath(QStringLiteral(".Q.nts.0123456789abcdef.1.folivant-new"));
    textfile::writeLines(half, {QStringLiteral("ne")});
    textfile::writeLines(others, {QStringLiteral("ne")});
    projectsave::recover(nts);
    EXPECT_EQ(readAll(ntf), QByteArray("new\r\n"));
    EXPECT_EQ(leftovers(dir.path()), QStringList{QFileInfo(others).fileName()});
}
