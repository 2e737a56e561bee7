#include "app/mainwindow.h"
#include "platform/hotkeys.h"
#include "platform/widgets.h"
#include "projectview/pages.h"
#include "support/scripteddialogs.h"
#include "support/scriptedplayer.h"
#include "support/testfiles.h"
#include "support/testwindow.h"
#include "support/xvfbserver.h"
#ifdef FOLIVANT_HAVE_X11
#include "platform/x11hotkeys.h"
#endif

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QTest>
#include <QVBoxLayout>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

// Readable QString values in failure messages.
void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

// The two X clients of the test run as child processes of it, told apart by these.
constexpr char folivantRole[] = "FOLIVANT_X11TEST_FOLIVANT";
constexpr char peerRole[] = "FOLIVANT_X11TEST_PEER";

void say(const QString& line)
{
    XvfbChild::report(line);
}

QString keyName(HotKey key)
{
    switch (key) {
    case HotKey::Pause:
        return QStringLiteral("Pause");
    case HotKey::SwitchPage:
        return QStringLiteral("SwitchPage");
    case HotKey::Enter:
        return QStringLiteral("Enter");
    case HotKey::Bpm:
        return QStringLiteral("Bpm");
    }
    return {};
}

// Watches the events that reach one object, without taking any.
class EventWatch : public QObject {
public:
    EventWatch(QObject* target, std::function<void(QEvent*)> onEvent)
        : m_onEvent(std::move(onEvent))
    {
        target->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        m_onEvent(event);
        return false;
    }

private:
    std::function<void(QEvent*)> m_onEvent;
};

// Runs the event loop of a child, handing each line of its standard input to command;
// "quit" or the end of the input ends it.
void serveCommands(const std::function<void(const QString&)>& command)
{
    QByteArray input;
    QSocketNotifier notifier(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (count <= 0) {
            QCoreApplication::quit(); // the test has gone
            return;
        }
        input.append(buffer, count);
        for (qsizetype end = input.indexOf('\n'); end >= 0; end = input.indexOf('\n')) {
            const QString line = QString::fromUtf8(input.left(end));
            input.remove(0, end + 1);
            if (line == QLatin1String("quit"))
                QCoreApplication::quit();
            else
                command(line);
        }
    });
    QCoreApplication::exec();
}

// Folivant as the user runs it, with its real hot keys, a scripted player and scripted
// dialogs, and a three-page project in a temporary Notes folder. Reports "ready <window
// id> <x11|filter>", "active" / "inactive" as the application gains and loses the focus
// (after the hot keys have followed), "pressed <hot key>" for each hot key taken, and,
// once a project is open, "page <index>" for each change of the page list's current page.
// The command "open" opens the project through "Play" and answers "opened <current page>
// <page count> grabbed=<keys grabbed of the three> shown=<texts shown to the user>".
void runFolivant()
{
    testfiles::TempNotes notes;
    testfiles::ProjectLayout layout;
    layout.name = QStringLiteral("Three Pages");
    layout.audio = testfiles::makeTone(notes.path(), QStringLiteral("tone.wav"), 1);
    layout.pages = {QStringLiteral("p1.jpg"), QStringLiteral("p2.jpg"), QStringLiteral("p3.jpg")};
    const QString nts = testfiles::makeProject(notes.path(), layout);
    if (layout.audio.isEmpty() || !QFileInfo::exists(nts)) {
        say(QStringLiteral("no project: the tone or the project could not be made"));
        return;
    }

    ScriptedPlayer player;
    ScriptedDialogs dialogs;
    RecordingShell shell;
    const std::unique_ptr<HotKeys> hotKeys = createHotKeys();
#ifdef FOLIVANT_HAVE_X11
    auto* grabs = dynamic_cast<X11HotKeys*>(hotKeys.get());
#else
    const void* grabs = nullptr;
#endif
    MainWindow window(Services{&player, &dialogs, hotKeys.get(), &shell, [] {}, {}, {}});

    // Connected after the window's own hot-key handling, so a report means the keys have
    // already been released or taken again.
    QObject::connect(qApp, &QGuiApplication::applicationStateChanged, [](Qt::ApplicationState s) {
        if (s == Qt::ApplicationActive)
            say(QStringLiteral("active"));
        else if (s == Qt::ApplicationInactive)
            say(QStringLiteral("inactive"));
    });
    QObject::connect(hotKeys.get(), &HotKeys::pressed,
                     [](HotKey key) { say(QStringLiteral("pressed ") + keyName(key)); });

    window.show();
    if (!QTest::qWaitForWindowExposed(&window, 15000)) {
        say(QStringLiteral("window not shown"));
        return;
    }
    say(QStringLiteral("ready %1 %2")
            .arg(QString::number(window.winId()),
                 grabs ? QStringLiteral("x11") : QStringLiteral("filter")));

    QComboBox* pageList = window.pages().pageList();
    serveCommands([&](const QString& line) {
        if (line != QLatin1String("open")) {
            say(QStringLiteral("unknown command ") + line);
            return;
        }
        dialogs.files.enqueue(nts);
        need<QAbstractButton>(&window, QStringLiteral("Startup_Play")).click();
        int grabbed = 0;
#ifdef FOLIVANT_HAVE_X11
        for (HotKey key : {HotKey::Pause, HotKey::SwitchPage, HotKey::Enter})
            grabbed += grabs && grabs->isGrabbed(key) ? 1 : 0;
#endif
        QObject::connect(pageList, &QComboBox::currentIndexChanged, pageList,
                         [](int index) { say(QStringLiteral("page %1").arg(index)); });
        say(QStringLiteral("opened %1 %2 grabbed=%3 shown=%4")
                .arg(pageList->currentIndex())
                .arg(pageList->count())
                .arg(grabbed)
                .arg(dialogs.shown.join(QLatin1Char('|'))));
    });
}

// Any other program: a window with a focused field. Reports "ready <window id>", "active"
// and "inactive" as its window gains and loses the focus, and "key <name>" for each key
// the field receives (lock keys left out).
void runPeer()
{
    QWidget window;
    auto* edit = new QLineEdit(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(edit);
    edit->setFocus();
    EventWatch keys(edit, [](QEvent* event) {
        if (event->type() != QEvent::KeyPress)
            return;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_NumLock && key != Qt::Key_CapsLock)
            say(QStringLiteral("key ") + QKeySequence(key).toString());
    });
    EventWatch activation(&window, [](QEvent* event) {
        if (event->type() == QEvent::WindowActivate)
            say(QStringLiteral("active"));
        else if (event->type() == QEvent::WindowDeactivate)
            say(QStringLiteral("inactive"));
    });
    window.resize(300, 80);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window, 15000)) {
        say(QStringLiteral("window not shown"));
        return;
    }
    say(QStringLiteral("ready ") + QString::number(window.winId()));
    serveCommands([](const QString& line) { say(QStringLiteral("unknown command ") + line); });
}

// One child process as the test sees it.
class Client {
public:
    Client(const XvfbServer& server, const char* role)
        : m_child(server, QLatin1String(role))
    {
        m_ready = next(QStringLiteral("ready ")).split(QLatin1Char(' '));
    }

    QString windowId() const { return m_ready.value(1); }
    QString backend() const { return m_ready.value(2); }

    void send(const QString& line) { m_child.send(line); }
    // The next report starting with prefix; empty when none comes in time.
    QString next(const QString& prefix)
    {
        return m_child.take([&](const QString& line) { return line.startsWith(prefix); });
    }
    bool waitFor(const QString& line) { return next(line) == line; }
    void forget(const QString& line) { m_child.discard(line); }
    bool finish() { return m_child.finish(); }
    std::string errors() { return m_child.errorOutput().toStdString(); }

private:
    XvfbChild m_child;
    QStringList m_ready;
};

class GlobalHotKeysX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsSet(folivantRole)) {
            runFolivant();
            GTEST_SKIP() << "ran as Folivant in the X server of the test";
        }
        if (qEnvironmentVariableIsSet(peerRole)) {
            runPeer();
            GTEST_SKIP() << "ran as the other program in the X server of the test";
        }
#ifndef FOLIVANT_HAVE_X11
        GTEST_SKIP() << "built without X11, so there are no system-wide hot keys to test";
#endif
        if (!XvfbServer::isInstalled() || !XvfbServer::hasXdotool())
            GTEST_SKIP() << "needs Xvfb and xdotool, which are not installed";
        QString error;
        ASSERT_TRUE(server.start(&error)) << error.toStdString();
    }

    // Types keys (xdotool key names) into the X server.
    bool type(const QStringList& keys)
    {
        return server.xdotool(QStringList{QStringLiteral("key")} + keys);
    }
    // Gives the keyboard focus to a client's window (there is no window manager) and
    // waits until the client has seen it and, when given, until the client that had the
    // focus has seen the loss: a window toolkit may take the loss in only after a delay,
    // and a focus given back before that would go unnoticed.
    bool focus(Client& to, Client* from = nullptr)
    {
        to.forget(QStringLiteral("active"));
        if (from)
            from->forget(QStringLiteral("inactive"));
        return server.xdotool(
                   {QStringLiteral("windowfocus"), QStringLiteral("--sync"), to.windowId()}) &&
               to.waitFor(QStringLiteral("active")) &&
               (!from || from->waitFor(QStringLiteral("inactive")));
    }

    XvfbServer server;
};

TEST_F(GlobalHotKeysX11, PageKeysAreTakenWhileFolivantIsActiveAndGivenBackWhileItIsNot)
{
    Client folivant(server, folivantRole);
    ASSERT_EQ(folivant.backend(), QStringLiteral("x11")) << folivant.errors();
    Client other(server, peerRole);
    ASSERT_FALSE(other.windowId().isEmpty()) << other.errors();
    const QStringList threeKeys{QStringLiteral("Right"), QStringLiteral("space"),
                                QStringLiteral("Tab")};
    const auto expectOtherGetsThreeKeys = [&] {
        EXPECT_EQ(other.next(QStringLiteral("key ")), QStringLiteral("key Right"))
            << other.errors();
        EXPECT_EQ(other.next(QStringLiteral("key ")), QStringLiteral("key Space"));
        EXPECT_EQ(other.next(QStringLiteral("key ")), QStringLiteral("key Tab"));
    };

    // Before any project is opened Folivant takes none of its keys.
    {
        SCOPED_TRACE("before a project is opened");
        ASSERT_TRUE(focus(other)) << other.errors();
        ASSERT_TRUE(type(threeKeys));
        expectOtherGetsThreeKeys();
    }

    // Opening the project with Folivant in front takes the keys: Right turns the page.
    {
        SCOPED_TRACE("project opened, Folivant in front");
        ASSERT_TRUE(focus(folivant, &other)) << folivant.errors() << other.errors();
        folivant.send(QStringLiteral("open"));
        ASSERT_EQ(folivant.next(QStringLiteral("opened ")),
                  QStringLiteral("opened 0 3 grabbed=3 shown="))
            << folivant.errors();
        ASSERT_TRUE(type({QStringLiteral("Right")}));
        EXPECT_EQ(folivant.next(QStringLiteral("pressed ")), QStringLiteral("pressed SwitchPage"));
        EXPECT_EQ(folivant.next(QStringLiteral("page ")), QStringLiteral("page 1"));
    }

    // Another window in front: Folivant lets go of the keys (its "inactive" report comes
    // after that), so they reach that window.
    {
        SCOPED_TRACE("other window in front");
        ASSERT_TRUE(focus(other, &folivant)) << folivant.errors() << other.errors();
        ASSERT_TRUE(type(threeKeys));
        expectOtherGetsThreeKeys();
    }

    // Folivant in front again: all three keys are taken again. Any key taken while the
    // other window was in front would have been reported before these.
    {
        SCOPED_TRACE("Folivant in front again");
        ASSERT_TRUE(focus(folivant, &other)) << folivant.errors() << other.errors();
        ASSERT_TRUE(type(threeKeys));
        EXPECT_EQ(folivant.next(QStringLiteral("pressed ")), QStringLiteral("pressed SwitchPage"));
        EXPECT_EQ(folivant.next(QStringLiteral("page ")), QStringLiteral("page 2"));
        EXPECT_EQ(folivant.next(QStringLiteral("pressed ")), QStringLiteral("pressed Pause"));
        EXPECT_EQ(folivant.next(QStringLiteral("pressed ")), QStringLiteral("pressed Enter"));
    }

    EXPECT_TRUE(folivant.finish()) << folivant.errors();
    EXPECT_TRUE(other.finish()) << other.errors();
}

} // namespace
