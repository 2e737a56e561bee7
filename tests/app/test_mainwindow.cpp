#include "app/hotkeyflags.h"
#include "app/moderefresh.h"
#include "playback/follower.h"
#include "support/testwindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QSlider>
#include <QToolButton>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

QStringList visibleToolbar(TestWindow& w)
{
    QStringList names;
    auto& toolbar = w.find<QWidget>("MainPanel_Toolbar");
    for (QWidget* b : toolbar.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (b->property("tag").isValid() && !b->isHidden())
            names << b->objectName();
    return names;
}

} // namespace

TEST(MainWindowShell, StartsWithOnlyTheStartScreenCentred)
{
    TestWindow w;
    EXPECT_EQ(w.window->windowTitle(), QStringLiteral("Folivant with Kinsoro"));
    EXPECT_TRUE(w.window->windowFlags() & Qt::FramelessWindowHint);
    auto& startup = w.find<QWidget>("Startup_Panel");
    EXPECT_TRUE(startup.isVisible());
    EXPECT_EQ(startup.x(), (w.window->width() - startup.contentsRect().width()) / 2);
    EXPECT_EQ(startup.y(), (w.window->height() - startup.contentsRect().height()) / 2);
    for (const char* hidden : {"MainPanel", "SharePanel"})
        EXPECT_FALSE(w.find<QWidget>(hidden).isVisible()) << hidden;
    for (const char* caption : {"Play", "Record", "Kinsoro"}) {
        bool found = false;
        for (auto* b : startup.findChildren<QAbstractButton*>())
            found = found || b->text() == QLatin1String(caption);
        EXPECT_TRUE(found) << caption;
    }
    // Before a project is open the hot keys are not taken.
    EXPECT_FALSE(w.keys.isActive(HotKey::Pause));
}

TEST(MainWindowShell, LaterResizesMoveTheBoxesButNotTheStartScreen)
{
    TestWindow w;
    auto& startup = w.find<QWidget>("Startup_Panel");
    const QPoint before = startup.pos();
    w.find<QWidget>("MainPanel").show();
    w.window->resize(1000, 700);
    QCoreApplication::processEvents();
    EXPECT_EQ(startup.pos(), before);
    auto& exit = w.find<QWidget>("MainPanel_ExitPanel");
    auto& minimize = w.find<QWidget>("MainPanel_Minimize");
    EXPECT_EQ(exit.x(), 1000 - exit.width());
    EXPECT_EQ(minimize.x() + minimize.width(), exit.x());
    auto& bottom = w.find<QWidget>("MainPanel_ButtomPanel");
    auto& timeline = w.find<QSlider>("TrackBar");
    EXPECT_EQ(timeline.width(), bottom.width() - timeline.x() - 20);
}

TEST(MainWindowShell, ModeRefreshFollowsTheTagTable)
{
    Modes m;
    // tag: 0 -1 -2 1 2 4 5 other
    const int tags[] = {0, -1, -2, 1, 2, 4, 5, 3};
    const auto row = [&] {
        QString r;
        for (int t : tags)
            r += toolbarTagVisible(t, m) ? QLatin1Char('1') : QLatin1Char('0');
        return r;
    };
    EXPECT_EQ(row(), QStringLiteral("00011100"));
    m.editing = true;
    EXPECT_EQ(row(), QStringLiteral("10110100"));
    m.automatic = true;
    EXPECT_EQ(row(), QStringLiteral("11110100"));
    m = Modes{};
    m.followMode = true;
    EXPECT_EQ(row(), QStringLiteral("00000110"));
    m = Modes{};
    m.hostingMode = true;
    EXPECT_EQ(row(), QStringLiteral("00000110"));
}

TEST(MainWindowShell, ModeRefreshShowsAndHidesControls)
{
    TestWindow w;
    auto& modes = w.window->workspace().modes;
    modes.followMode = true;
    w.window->refreshModes();
    EXPECT_EQ(visibleToolbar(w),
              (QStringList{QStringLiteral("stopkinsoroMenu"), QStringLiteral("Toolbar_Screen"),
                           QStringLiteral("Toolbar_ZoomIn"), QStringLiteral("Toolbar_ZoomOut"),
                           QStringLiteral("ToolButton1")}));
    for (const char* name : {"MainPanel_Play", "MainPanel_Pause", "MainPanel_Stop",
                             "MainPanel_Rewind", "kinsorobuttonhide"})
        EXPECT_TRUE(w.find<QWidget>(name).isHidden()) << name;
    modes.followMode = false;
    modes.hostingMode = true;
    w.window->refreshModes();
    EXPECT_FALSE(w.find<QWidget>("MainPanel_Play").isHidden());
    modes.hostingMode = false;
    modes.editing = true;
    w.window->refreshModes();
    EXPECT_FALSE(w.find<QWidget>("PagesBox_Add").isHidden());
    EXPECT_FALSE(w.find<QWidget>("Toolbar_Save").isHidden());
    EXPECT_TRUE(w.find<QWidget>("Toolbar_Edit").isHidden());
}

TEST(MainWindowShell, FullScreenTwiceRestoresBothPanels)
{
    TestWindow w;
    auto& left = w.find<QWidget>("MainPanel_LeftPanel");
    auto& bottom = w.find<QWidget>("MainPanel_ButtomPanel");
    auto& button = w.find<QAbstractButton>("Toolbar_Screen");
    button.click();
    EXPECT_TRUE(left.isHidden());
    EXPECT_TRUE(bottom.isHidden());
    button.click();
    EXPECT_FALSE(left.isHidden());
    EXPECT_FALSE(bottom.isHidden());
}

TEST(MainWindowShell, ShareAndHelpHandTheDesktopTheirTargets)
{
    TestWindow w;
    w.find<QAbstractButton>("ShareButton").click();
    EXPECT_TRUE(w.find<QWidget>("SharePanel").isVisible());
    w.find<QAbstractButton>("ShareGo").click();
    EXPECT_EQ(w.shell.folders, QStringList{w.notes.path()});
    // Help opens the user guide that ships with the program, or says that it is missing.
    const QString guide = w.notes.path() + QStringLiteral("guide.html");
    w.find<QAbstractButton>("ToolButton1").click();
    EXPECT_TRUE(w.shell.urls.isEmpty());
    EXPECT_EQ(w.dialogs.shown.last(), QStringLiteral("The user guide is missing: ") + guide);
    testfiles::writeFile(guide, "<html></html>");
    w.find<QAbstractButton>("ToolButton1").click();
    EXPECT_EQ(w.shell.urls, QStringList{QUrl::fromLocalFile(guide).toString()});
}

TEST(MainWindowShell, TheBuiltUserGuideIsTheReadmesGuide)
{
    QFile guide(QStringLiteral(FOLIVANT_BUILT_GUIDE));
    ASSERT_TRUE(guide.open(QIODevice::ReadOnly)) << FOLIVANT_BUILT_GUIDE;
    const QString html = QString::fromUtf8(guide.readAll());
    EXPECT_TRUE(html.contains(QStringLiteral("Using Folivant")));
    EXPECT_TRUE(html.contains(QStringLiteral("docs/playing.png")));
    EXPECT_TRUE(
        QFile::exists(QFileInfo(guide).absolutePath() + QStringLiteral("/docs/playing.png")));
}

TEST(MainWindowShell, CloseStopsTheFollowerAndQuits)
{
    TestWindow w;
    w.player.setSource(QStringLiteral("/x.wav"));
    w.player.calls.clear();
    EXPECT_TRUE(w.window->close());
    EXPECT_EQ(w.quitCount, 1);
    EXPECT_TRUE(w.player.calls.contains(QStringLiteral("stop")));
    EXPECT_FALSE(w.window->follower().positionTimer().isActive());
}

TEST(MainWindowShell, CloseDuringAutomaticMarkingCanBeRefused)
{
    TestWindow w;
    w.window->workspace().modes.automatic = true;
    w.dialogs.answers.enqueue(false);
    EXPECT_FALSE(w.window->close());
    EXPECT_EQ(w.quitCount, 0);
    EXPECT_TRUE(w.window->isVisible());
    EXPECT_TRUE(w.window->follower().positionTimer().isActive());
    EXPECT_TRUE(w.dialogs.shown.last().startsWith(
        QStringLiteral("Are you sure you wish to close the window?")));
}

TEST(HotKeyRules, KeysAreReleasedWhileAnotherProgramHasTheFocus)
{
    FakeHotKeys keys;
    HotKeyFlags flags(keys);
    flags.setAll(true);
    EXPECT_TRUE(keys.isActive(HotKey::Pause));
    flags.deactivated();
    EXPECT_FALSE(keys.isActive(HotKey::Pause));
    EXPECT_FALSE(keys.isActive(HotKey::SwitchPage));
    EXPECT_FALSE(keys.isActive(HotKey::Enter));
    flags.activated();
    EXPECT_TRUE(keys.isActive(HotKey::Pause));
    EXPECT_TRUE(keys.isActive(HotKey::Enter));

    // "Enable all" changes the keys, not the remembered flags.
    flags.enableAll(false);
    flags.deactivated(); // remembers the (off) state
    flags.activated();
    EXPECT_FALSE(keys.isActive(HotKey::Pause));
}

TEST(HotKeyRules, InactiveThenHiddenStillRestoresTheKeys)
{
    FakeHotKeys keys;
    HotKeyFlags flags(keys);
    flags.setAll(true);
    flags.stateChanged(Qt::ApplicationInactive);
    flags.stateChanged(Qt::ApplicationHidden); // must not record the released keys
    EXPECT_FALSE(keys.isActive(HotKey::Pause));
    flags.stateChanged(Qt::ApplicationActive);
    EXPECT_TRUE(keys.isActive(HotKey::Pause));
    EXPECT_TRUE(keys.isActive(HotKey::SwitchPage));
    EXPECT_TRUE(keys.isActive(HotKey::Enter));
}

TEST(HotKeyRules, KinsoroPanelLeavesTheKeysOffUntilARoomWantsThem)
{
    TestWindow w;
    w.window->hotKeyFlags().setAll(true);
    w.window->kinsoroStart();
    EXPECT_FALSE(w.keys.isActive(HotKey::Pause));
    EXPECT_FALSE(w.find<QWidget>("Startup_Panel").isVisible());
}
