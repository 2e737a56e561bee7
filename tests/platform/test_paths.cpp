#include "platform/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Sets or clears an environment variable for the life of the object, then restores it.
class EnvVar {
public:
    EnvVar(const char* name, const QByteArray* value)
        : m_name(name)
        , m_had(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~EnvVar()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

const QString kExe = QStringLiteral("/opt/folivant/bin/");
const QString kHome = QStringLiteral("/home/ann");

} // namespace

TEST(NotesDir, TheVariableWinsAndIsCleanedWithATrailingSlash)
{
    QTemporaryDir dir;
    const QByteArray value = (dir.path() + QStringLiteral("/sub/../Notes")).toUtf8();
    EnvVar env("FOLIVANT_NOTES_DIR", &value);
    EXPECT_EQ(paths::notesDir(), dir.path() + QStringLiteral("/Notes/"));
    // Even where the program's folder could be written.
    EXPECT_EQ(paths::notesDirFor(kExe, true, QStringLiteral("/data/My Notes/"), QString(), kHome),
              QStringLiteral("/data/My Notes/"));
    EXPECT_EQ(
        paths::notesDirFor(kExe, false, QStringLiteral("/data/n"), QStringLiteral("/x"), kHome),
        QStringLiteral("/data/n/"));
}

TEST(NotesDir, WithoutTheVariableAWritableProgramFolderHoldsNotes)
{
    EnvVar env("FOLIVANT_NOTES_DIR", nullptr);
    // The test program's own folder is in the build tree, which can be written.
    const QString exe = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    ASSERT_EQ(paths::exeDir(), exe);
    EXPECT_EQ(paths::notesDir(), exe + QStringLiteral("Notes/"));
    EXPECT_EQ(
        paths::notesDirFor(QStringLiteral("/opt/f"), true, QString(), QStringLiteral("/x"), kHome),
        QStringLiteral("/opt/f/Notes/"));
}

TEST(NotesDir, AnInstalledProgramKeepsNotesInTheUsersDataFolder)
{
    EXPECT_EQ(paths::notesDirFor(kExe, false, QString(), QStringLiteral("/home/ann/data"), kHome),
              QStringLiteral("/home/ann/data/folivant/Notes/"));
    EXPECT_EQ(paths::notesDirFor(kExe, false, QString(), QStringLiteral("/home/ann/data/"), kHome),
              QStringLiteral("/home/ann/data/folivant/Notes/"));
    // Without XDG_DATA_HOME the usual default under the home folder.
    EXPECT_EQ(paths::notesDirFor(kExe, false, QString(), QString(), kHome),
              QStringLiteral("/home/ann/.local/share/folivant/Notes/"));
    EXPECT_EQ(paths::notesDirFor(kExe, false, QString(), QString(), kHome + QLatin1Char('/')),
              QStringLiteral("/home/ann/.local/share/folivant/Notes/"));
}

TEST(PathParts, WindowsAndUnixSeparatorsBothSplit)
{
    EXPECT_EQ(paths::fileName(QStringLiteral("C:\\Notes\\Minuet\\Minuet.mp3")),
              QStringLiteral("Minuet.mp3"));
    EXPECT_EQ(paths::fileName(QStringLiteral("/home/ann/Notes/Minuet/Minuet_1.jpg")),
              QStringLiteral("Minuet_1.jpg"));
    EXPECT_EQ(paths::fileName(QStringLiteral("Notes/Minuet\\Minuet.nts")),
              QStringLiteral("Minuet.nts"));
    EXPECT_EQ(paths::fileName(QStringLiteral("Minuet.ntf")), QStringLiteral("Minuet.ntf"));
    EXPECT_EQ(paths::fileName(QStringLiteral("C:\\Notes\\")), QString());

    EXPECT_EQ(paths::folder(QStringLiteral("C:\\Notes\\Minuet\\Minuet.mp3")),
              QStringLiteral("C:\\Notes\\Minuet\\"));
    EXPECT_EQ(paths::folder(QStringLiteral("/home/ann/Notes/Minuet.nts")),
              QStringLiteral("/home/ann/Notes/"));
    EXPECT_EQ(paths::folder(QStringLiteral("a/b\\c.jpg")), QStringLiteral("a/b\\"));
    EXPECT_EQ(paths::folder(QStringLiteral("c.jpg")), QString());
}

TEST(PathParts, ExtensionComesFromTheFileNameOnly)
{
    EXPECT_EQ(paths::extension(QStringLiteral("C:\\Notes\\Minuet.mp3")), QStringLiteral(".mp3"));
    EXPECT_EQ(paths::extension(QStringLiteral("/a/b/Minuet.tar.wma")), QStringLiteral(".wma"));
    EXPECT_EQ(paths::extension(QStringLiteral("Minuet.JPG")), QStringLiteral(".JPG"));
    // A dot in a folder name is not an extension.
    EXPECT_EQ(paths::extension(QStringLiteral("C:\\v1.2\\Minuet")), QString());
    EXPECT_EQ(paths::extension(QStringLiteral("/home/ann/my.notes/Minuet")), QString());
    EXPECT_EQ(paths::extension(QString()), QString());
}
