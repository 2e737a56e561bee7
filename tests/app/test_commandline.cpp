#include "app/commandline.h"
#include "splash/splashform.h"
#include "support/testwindow.h"

#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QTcpServer>
#include <QTest>
#include <gtest/gtest.h>

TEST(CommandLine, ReadsOneProjectAndRefusesTheRest)
{
    const auto r = commandline::parse({QStringLiteral("folivant"), QStringLiteral("Air/Air.nts")});
    EXPECT_FALSE(r.exit);
    EXPECT_EQ(r.project, QDir::current().absoluteFilePath(QStringLiteral("Air/Air.nts")));
    EXPECT_TRUE(commandline::parse({QStringLiteral("folivant")}).project.isEmpty());
    for (const QStringList& wrong :
         {QStringList{QStringLiteral("folivant"), QStringLiteral("a.nts"), QStringLiteral("b.nts")},
          QStringList{QStringLiteral("folivant"), QStringLiteral("--bogus")}}) {
        const auto refused = commandline::parse(wrong);
        EXPECT_TRUE(refused.exit && refused.isError) << wrong.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(refused.exitCode, 1);
    }
}

// The built program answers --version with the version its splash shows, and --help, with
// no window system at all.
TEST(CommandLine, ProgramPrintsVersionAndHelp)
{
    ScriptedDialogs dialogs;
    RecordingShell shell;
    const SplashForm splash(dialogs, shell, [] {});
    const QString shown = need<QLabel>(&splash, QStringLiteral("Version")).text();

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(FOLIVANT_PROGRAM), {QStringLiteral("--version")});
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(QString::fromLocal8Bit(program.readAllStandardOutput()),
              QStringLiteral("Folivant ") + shown + QLatin1Char('\n'));

    program.start(QStringLiteral(FOLIVANT_PROGRAM), {QStringLiteral("--help")});
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitCode(), 0);
    const QString help = QString::fromLocal8Bit(program.readAllStandardOutput());
    EXPECT_TRUE(help.contains(QStringLiteral("[project.nts]"))) << help.toStdString();
    EXPECT_TRUE(help.contains(QStringLiteral("--version"))) << help.toStdString();
}

// A project named on the command line opens once the splash hands over, as "Play" and the
// Open dialog would; a missing one gives the open routine's message and the start screen.
class OpenFromCommandLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        SplashForm::resetStartup();
        QTcpServer closed; // the update check ends at once on a closed port
        ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
        qputenv("FOLIVANT_UPDATE_HOST",
                QByteArray("127.0.0.1:") + QByteArray::number(closed.serverPort()));
        closed.close();
        w.window->hide();
    }
    void TearDown() override
    {
        qunsetenv("FOLIVANT_UPDATE_HOST");
        SplashForm::resetStartup();
    }
    // Runs the start-up with path on the command line until the splash has handed over.
    void start(const QString& path)
    {
        SplashForm splash(splashDialogs, w.shell, [] {});
        splash.setMainWindow(w.window.get());
        commandline::openAfterSplash(splash, w.window->opening(), path);
        splash.show();
        SplashForm::setApplicationStarted(true);
        // The test counts the splash's ticks itself.
        splash.selfClose().stop();
        splash.waitTimer().stop();
        splash.WaitTimerTimer();
        ASSERT_TRUE(QTest::qWaitFor([&] { return splash.checkFinished(); }, 10000));
        for (int tick = 0; tick < 10; ++tick)
            splash.Self_CloseTimer();
        ASSERT_TRUE(w.window->isVisible());
        EXPECT_TRUE(w.window->workspace().openPath.isEmpty()) << "opened before the hand-over";
        QCoreApplication::processEvents(); // the open comes queued after the hand-over
    }

    TestWindow w;
    ScriptedDialogs splashDialogs;
};

TEST_F(OpenFromCommandLine, AProjectPathOpensIt)
{
    testfiles::ProjectLayout layout;
    layout.audio = testfiles::writeFile(w.notes.path() + QStringLiteral("a.mp3"), "ID3");
    layout.pages = {QStringLiteral("p.jpg")};
    const QString nts = w.makeProject(layout);
    start(nts);
    EXPECT_TRUE(w.dialogs.fileRequests.isEmpty()) << "no Open dialog";
    EXPECT_TRUE(w.dialogs.shown.isEmpty()) << w.dialogs.shown.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(w.window->workspace().openPath, nts);
    EXPECT_EQ(w.window->windowTitle(), QStringLiteral("Play a Folivant."));
    EXPECT_TRUE(w.find<QWidget>("MainPanel").isVisible());
    EXPECT_FALSE(w.find<QWidget>("Startup_Panel").isVisible());
    EXPECT_EQ(w.player.source(), QFileInfo(nts).path() + QStringLiteral("/a.mp3"));
}

TEST_F(OpenFromCommandLine, AMissingPathGivesTheOpenRoutinesMessage)
{
    start(w.notes.path() + QStringLiteral("Gone/Gone.nts"));
    EXPECT_EQ(w.dialogs.shown, QStringList{QStringLiteral("Error.")});
    EXPECT_FALSE(w.find<QWidget>("MainPanel").isVisible());
    EXPECT_TRUE(w.find<QWidget>("Startup_Panel").isVisible());
}
