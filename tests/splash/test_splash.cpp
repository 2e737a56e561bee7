#include "splash/splashform.h"
#include "support/testwindow.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

// A splash whose check ends quickly: the update host is a closed loopback port.
class Splash : public ::testing::Test {
protected:
    void SetUp() override
    {
        SplashForm::resetStartup();
        QTcpServer closed;
        ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
        qputenv("FOLIVANT_UPDATE_HOST",
                QByteArray("127.0.0.1:") + QByteArray::number(closed.serverPort()));
        closed.close();
        splash = std::make_unique<SplashForm>(dialogs, shell, [this] { ++quits; });
        splash->setMainWindow(&mainWindow);
    }
    void TearDown() override
    {
        splash.reset();
        qunsetenv("FOLIVANT_UPDATE_HOST");
        SplashForm::resetStartup();
    }

    // The tests count the ticks themselves.
    void stopTimers()
    {
        splash->selfClose().stop();
        splash->waitTimer().stop();
    }
    void finishCheck()
    {
        splash->WaitTimerTimer();
        ASSERT_TRUE(QTest::qWaitFor([this] { return splash->checkFinished(); }, 10000));
    }
    bool handedOver() const { return mainWindow.isVisible() && !splash->isVisible(); }

    ScriptedDialogs dialogs;
    RecordingShell shell;
    int quits = 0;
    QWidget mainWindow;
    std::unique_ptr<SplashForm> splash;
};

template <class T> T& child(QWidget& w, const char* name)
{
    return need<T>(&w, QLatin1String(name));
}

TEST_F(Splash, ShowsNameVersionAndStatusOnBlue)
{
    EXPECT_EQ(splash->size(), QSize(412, 368));
    EXPECT_TRUE(splash->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(splash->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(splash->palette().color(QPalette::Window), QColor(0, 128, 255));
    EXPECT_EQ(splash->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_EQ(child<QLabel>(*splash, "TitleLabel").text(), QStringLiteral("Folivant\n\nKinsoro"));
    EXPECT_EQ(child<QLabel>(*splash, "WithLabel").text(), QStringLiteral("with"));
    EXPECT_EQ(child<QLabel>(*splash, "VersionLabel").text(), QStringLiteral("Version"));
    EXPECT_EQ(child<QLabel>(*splash, "Version").text(), QStringLiteral("3.1"));
    auto& status = child<QLabel>(*splash, "Status");
    EXPECT_EQ(status.text(), QStringLiteral("Loading..."));
    EXPECT_TRUE(status.wordWrap());
    EXPECT_EQ(child<QLabel>(*splash, "WebSite").text(),
              QStringLiteral("https://folivant.invalid/"));
    auto& memo = child<QPlainTextEdit>(*splash, "GetMemo");
    EXPECT_EQ(memo.lineWrapMode(), QPlainTextEdit::NoWrap);

    splash->show();
    EXPECT_FALSE(memo.isVisible());
    // Every control lies inside the client area.
    for (QWidget* w : splash->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w->isVisible()) {
            EXPECT_TRUE(splash->rect().contains(w->geometry())) << w->objectName().toStdString();
        }
    }
}

TEST_F(Splash, LinkOpensTheWebSiteAndXEndsTheProgram)
{
    emit child<LinkLabel>(*splash, "WebSite").clicked();
    EXPECT_EQ(shell.urls, QStringList{QStringLiteral("https://folivant.invalid/")});
    child<QPushButton>(*splash, "CloseButton").click();
    EXPECT_EQ(quits, 1);
}

TEST_F(Splash, TheCheckStartsOnceAfterTheWindowIsShown)
{
    EXPECT_FALSE(splash->waitTimer().isActive());
    EXPECT_TRUE(splash->selfClose().isActive());
    EXPECT_EQ(splash->waitTimer().interval(), 100);
    EXPECT_EQ(splash->selfClose().interval(), 300);
    splash->show();
    EXPECT_TRUE(splash->waitTimer().isActive());
    stopTimers();

    splash->WaitTimerTimer();
    EXPECT_FALSE(splash->waitTimer().isActive());
    EXPECT_TRUE(SplashForm::checkStarted());
    EXPECT_EQ(splash->statusText(), QStringLiteral("Connecting..."));

    // Another splash of the same run does not start a second check.
    SplashForm second(dialogs, shell);
    second.WaitTimerTimer();
    EXPECT_EQ(second.statusText(), QStringLiteral("Loading..."));
    EXPECT_FALSE(second.checkFinished());
}

TEST_F(Splash, HandsOverAtTheTenthTickOnceTheCheckHasEnded)
{
    splash->show();
    stopTimers();
    SplashForm::setApplicationStarted(true);
    finishCheck();
    for (int tick = 1; tick < 10; ++tick) {
        splash->Self_CloseTimer();
        EXPECT_FALSE(mainWindow.isVisible()) << tick;
        EXPECT_TRUE(splash->isVisible()) << tick;
    }
    EXPECT_EQ(SplashForm::elapsed(), 2700);
    splash->selfClose().start();
    splash->Self_CloseTimer();
    EXPECT_TRUE(handedOver());
    EXPECT_FALSE(splash->selfClose().isActive());
}

TEST_F(Splash, WaitsForTheCheckAndForTheApplication)
{
    splash->show();
    stopTimers();
    for (int tick = 0; tick < 20; ++tick)
        splash->Self_CloseTimer();
    EXPECT_FALSE(mainWindow.isVisible()); // neither started nor checked

    SplashForm::setApplicationStarted(true);
    splash->Self_CloseTimer();
    EXPECT_FALSE(mainWindow.isVisible()); // the check has not even begun

    finishCheck();
    EXPECT_FALSE(mainWindow.isVisible()); // only a tick hands over
    splash->Self_CloseTimer();
    EXPECT_TRUE(handedOver());
}

TEST_F(Splash, WithoutTheApplicationStartedItKeepsWaiting)
{
    splash->show();
    stopTimers();
    finishCheck();
    for (int tick = 0; tick < 20; ++tick)
        splash->Self_CloseTimer();
    EXPECT_FALSE(mainWindow.isVisible());
    SplashForm::setApplicationStarted(true);
    splash->Self_CloseTimer();
    EXPECT_TRUE(handedOver());
}

TEST_F(Splash, RunsToTheHandOverOnItsOwnTimers)
{
    SplashForm::setApplicationStarted(true);
    splash->show();
    ASSERT_TRUE(QTest::qWaitFor([this] { return handedOver(); }, 10000));
    EXPECT_TRUE(splash->checkFinished());
    EXPECT_GE(SplashForm::elapsed(), 3000);
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

} // namespace
