#include "project/projectsave.h"
#include "project/textfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

#include <sys/stat.h>

// Saving a project's two files together while other saves, other projects and other
// copies of the program share its folder, and keeping what writing in place kept.

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList hidden(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral(".*folivant*")}, QDir::Files | QDir::Hidden);
}

class ProjectSave : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    // A project P (P.nts and P.ntf) holding "old".
    void makeProject(const char* name)
    {
        const QString base = QString::fromLatin1(name);
        textfile::writeLines(dir.filePath(base + QStringLiteral(".nts")), {QStringLiteral("old")});
        textfile::writeLines(dir.filePath(base + QStringLiteral(".ntf")), {QStringLiteral("old")});
    }
    std::vector<projectsave::File> newFiles(const char* name) const
    {
        const QString base = dir.filePath(QString::fromLatin1(name));
        return {{base + QStringLiteral(".nts"), {QStringLiteral("new")}},
                {base + QStringLiteral(".ntf"), {QStringLiteral("new")}}};
    }
};

} // namespace

TEST_F(ProjectSave, OpeningOneProjectLeavesAnotherProjectsCutShortSaveAlone)
{
    // given B's save cut short right after its record was written
    makeProject("A");
    makeProject("B");
    projectsave::Failure failure;
    ASSERT_TRUE(projectsave::prepare(path("B.nts"), newFiles("B"), &failure));
    const QStringList pendingOfB = hidden(dir.path());
    // when A is opened (and saved), then B is opened
    EXPECT_EQ(projectsave::recover(path("A.nts")), projectsave::Recovery::Nothing);
    ASSERT_TRUE(projectsave::writeAll(path("A.nts"), newFiles("A"), &failure));
    EXPECT_EQ(hidden(dir.path()), pendingOfB);
    EXPECT_EQ(projectsave::recover(path("B.nts")), projectsave::Recovery::Finished);
    // then B opens with its new data, and nothing of either save is left
    EXPECT_EQ(readAll(path("B.ntf")), QByteArray("new\r\n"));
    EXPECT_EQ(readAll(path("B.nts")), QByteArray("new\r\n"));
    EXPECT_TRUE(hidden(dir.path()).isEmpty()) << hidden(dir.path()).join(u' ').toStdString();
}

TEST_F(ProjectSave, ARecordIsAppliedOnlyWhenItsFilesAreThereAsItSays)
{
    makeProject("P");
    projectsave::Failure failure;
    ASSERT_TRUE(projectsave::prepare(path("P.nts"), newFiles("P"), &failure));
    // A sync tool brought the record ahead of one of its files: nothing is replaced.
    QStringList pending =
        QDir(dir.path())
            .entryList({QStringLiteral("*.1.folivant-new")}, QDir::Files | QDir::Hidden);
    ASSERT_EQ(pending.size(), 1);
    const QString late = dir.filePath(pending.first());
    ASSERT_TRUE(QFile::rename(late, late + QStringLiteral(".sync")));
    EXPECT_EQ(projectsave::recover(path("P.nts")), projectsave::Recovery::Kept);
    EXPECT_EQ(readAll(path("P.nts")), QByteArray("old\r\n"));
    EXPECT_EQ(readAll(path("P.ntf")), QByteArray("old\r\n"));

    // A file whose content differs from the record's checksum is no part of that save.
    textfile::writeLines(late, {QStringLiteral("neW")});
    EXPECT_EQ(projectsave::recover(path("P.nts")), projectsave::Recovery::Kept);
    EXPECT_EQ(readAll(path("P.nts")), QByteArray("old\r\n"));

    // Once the file arrives whole, the next open finishes the save.
    QFile::remove(late);
    ASSERT_TRUE(QFile::rename(late + QStringLiteral(".sync"), late));
    EXPECT_EQ(projectsave::recover(path("P.nts")), projectsave::Recovery::Finished);
    EXPECT_EQ(readAll(path("P.nts")), QByteArray("new\r\n"));
    EXPECT_EQ(readAll(path("P.ntf")), QByteArray("new\r\n"));
}

TEST_F(ProjectSave, AnotherCopyHoldingTheLockIsNeitherInterleavedNorDisturbed)
{
    makeProject("P");
    projectsave::Failure failure;
    ASSERT_TRUE(projectsave::prepare(path("P.nts"), newFiles("P"), &failure));
    const QStringList before = hidden(dir.path());
    // Another copy of the program holds the project's lock while it saves.
    auto other = std::make_unique<QLockFile>(dir.filePath(QStringLiteral(".P.nts.folivant-lock")));
    ASSERT_TRUE(other->tryLock(0));

    EXPECT_EQ(projectsave::recover(path("P.nts"), 50), projectsave::Recovery::Busy);
    EXPECT_FALSE(projectsave::writeAll(path("P.nts"), newFiles("P"), &failure, 50));
    EXPECT_EQ(failure.stage, projectsave::Failure::Stage::Replace);
    EXPECT_TRUE(failure.reason.contains(QStringLiteral("another copy")));
    EXPECT_EQ(readAll(path("P.nts")), QByteArray("old\r\n"));
    EXPECT_TRUE(hidden(dir.path()).contains(QStringLiteral(".P.nts.folivant-lock")));
    EXPECT_EQ(hidden(dir.path()).size(), before.size() + 1);

    // Once that copy has finished, the save it left is finished on the next open.
    other.reset();
    EXPECT_EQ(projectsave::recover(path("P.nts"), 50), projectsave::Recovery::Finished);
    EXPECT_EQ(readAll(path("P.ntf")), QByteArray("new\r\n"));
}

// A copy killed the moment it made the lock file left it empty, naming no holder: the next
// save takes it over instead of waiting for a holder that will never finish.
TEST_F(ProjectSave, AnEmptyLockLeftByAKilledCopyIsTakenOver)
{
    makeProject("P");
    const QString lock = dir.filePath(QStringLiteral(".P.nts.folivant-lock"));
    {
        QFile empty(lock);
        ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
        empty.close();
        ASSERT_TRUE(empty.open(QIODevice::ReadWrite));
        ASSERT_TRUE(empty.setFileTime(QDateTime::currentDateTime().addSecs(-5),
                                      QFileDevice::FileModificationTime));
    }
    projectsave::Failure failure;
    EXPECT_TRUE(projectsave::writeAll(path("P.nts"), newFiles("P"), &failure, 50))
        << failure.reason.toStdString();
    EXPECT_EQ(readAll(path("P.ntf")), QByteArray("new\r\n"));
    EXPECT_FALSE(QFileInfo::exists(lock));
}

TEST_F(ProjectSave, AFileThatCannotBeReplacedPutsBackWhatWasReplaced)
{
    makeProject("P");
    // An append-only file may be written but not replaced (root included).
    if (QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+a"), path("P.ntf")}) != 0)
        GTEST_SKIP() << "chattr +a is not possible here (needs root on ext2/3/4 or similar)";
    projectsave::Failure failure;
    const bool saved = projectsave::writeAll(path("P.nts"), newFiles("P"), &failure);
    QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-a"), path("P.ntf")});
    EXPECT_FALSE(saved);
    EXPECT_EQ(failure.path, path("P.ntf"));
    EXPECT_EQ(failure.stage, projectsave::Failure::Stage::Replace);
    EXPECT_FALSE(failure.reason.isEmpty());
    EXPECT_EQ(readAll(path("P.nts")), QByteArray("old\r\n"));
    EXPECT_EQ(readAll(path("P.ntf")), QByteArray("old\r\n"));
    EXPECT_TRUE(hidden(dir.path()).isEmpty()) << hidden(dir.path()).join(u' ').toStdString();
}

TEST_F(ProjectSave, KeepsPermissionsLinksAndRefusesReadOnlyFiles)
{
    // given a shared project file (group may write) and a data file kept elsewhere
    makeProject("P");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("elsewhere")));
    ASSERT_TRUE(QFile::rename(path("P.ntf"), path("elsewhere/P.ntf")));
    ASSERT_TRUE(QFile::link(QStringLiteral("elsewhere/P.ntf"), path("P.ntf")));
    ASSERT_EQ(::chmod(QFile::encodeName(path("P.nts")).constData(), 0664), 0);
    projectsave::Failure failure;
    ASSERT_TRUE(projectsave::writeAll(path("P.nts"), newFiles("P"), &failure));

    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path("P.nts")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
    EXPECT_TRUE(QFileInfo(path("P.ntf")).isSymLink());
    EXPECT_EQ(readAll(path("elsewhere/P.ntf")), QByteArray("new\r\n"));
    EXPECT_TRUE(hidden(dir.filePath(QStringLiteral("elsewhere"))).isEmpty());

    // A read-only project file is refused as writing it in place refused it.
    ASSERT_EQ(::chmod(QFile::encodeName(path("P.nts")).constData(), 0444), 0);
    std::vector<projectsave::File> again = newFiles("P");
    again[0].lines = again[1].lines = QStringList{QStringLiteral("newer")};
    EXPECT_FALSE(projectsave::writeAll(path("P.nts"), again, &failure));
    EXPECT_EQ(failure.path, path("P.nts"));
    EXPECT_EQ(failure.stage, projectsave::Failure::Stage::Write);
    EXPECT_EQ(readAll(path("P.nts")), QByteArray("new\r\n"));
    EXPECT_EQ(readAll(path("elsewhere/P.ntf")), QByteArray("new\r\n"));
    EXPECT_TRUE(hidden(dir.path()).isEmpty());
}
