#include "platform/hotkeys.h"
#include "platform/keyfilterhotkeys.h"
#ifdef FOLIVANT_HAVE_X11
#include "platform/x11hotkeys.h"
#endif
#include "support/xvfbserver.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QTest>
#include <QVBoxLayout>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>
#include <vector>

// Readable QString values in failure messages.
void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

struct KeyCase {
    HotKey hotKey;
    Qt::Key qtKey;
};

const std::vector<KeyCase> allKeys{{HotKey::Pause, Qt::Key_Space},
                                   {HotKey::SwitchPage, Qt::Key_Right},
                                   {HotKey::Enter, Qt::Key_Tab},
                                   {HotKey::Bpm, Qt::Key_F6}};

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

std::optional<HotKey> hotKeyNamed(const QString& name)
{
    for (const KeyCase& c : allKeys) {
        if (keyName(c.hotKey) == name)
            return c.hotKey;
    }
    return std::nullopt;
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

// A window whose focused line edit stands for any field of the program; it records the
// keys that reach it, leaving out the modifier keys themselves.
struct FieldWindow {
    FieldWindow()
    {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(edit);
        edit->setFocus();
    }
    QWidget window;
    QLineEdit* edit = new QLineEdit(&window);
    std::vector<int> keys;
    EventWatch watch{edit, [this](QEvent* event) {
                         if (event->type() != QEvent::KeyPress)
                             return;
                         const int key = static_cast<QKeyEvent*>(event)->key();
                         if (key != Qt::Key_Shift && key != Qt::Key_Control && key != Qt::Key_Alt &&
                             key != Qt::Key_Meta)
                             keys.push_back(key);
                     }};
};

// ---- The in-program key filter, under the offscreen platform --------------------------

using HotKeysFactory = std::function<std::unique_ptr<HotKeys>()>;

struct Backend {
    const char* name;
    HotKeysFactory create;
};

void PrintTo(const Backend& backend, std::ostream* out)
{
    *out << backend.name;
}

// The key filter itself, and the X11 hot keys where no X display exists: they must serve
// every key through the filter in the same way.
class InProgramHotKeysTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        hotKeys = GetParam().create();
        QObject::connect(hotKeys.get(), &HotKeys::pressed,
                         [this](HotKey key) { pressed.push_back(key); });
        field.window.show();
        field.window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&field.window));
        ASSERT_EQ(QApplication::focusWidget(), field.edit);
    }

    // A key press as the window system delivers it: to the window, which hands it on to
    // its focused widget.
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(field.window.windowHandle(), key, modifiers);
    }

    FieldWindow field;
    std::unique_ptr<HotKeys> hotKeys;
    std::vector<HotKey> pressed;
};

TEST_P(InProgramHotKeysTest, ActiveKeyIsReportedOnceAndKeptFromTheFocusedField)
{
    for (const KeyCase& c : allKeys) {
        SCOPED_TRACE(keyName(c.hotKey).toStdString());
        pressed.clear();
        hotKeys->setActive(c.hotKey, true);
        EXPECT_TRUE(hotKeys->isActive(c.hotKey));

        press(c.qtKey);

        EXPECT_EQ(pressed, std::vector<HotKey>{c.hotKey});
    }
    EXPECT_TRUE(field.keys.empty());
    EXPECT_TRUE(field.edit->text().isEmpty());
}

TEST_P(InProgramHotKeysTest, InactiveKeysReachTheFocusedField)
{
    // Active once, then switched off again.
    for (const KeyCase& c : allKeys)
        hotKeys->setActive(c.hotKey, true);
    for (const KeyCase& c : allKeys)
        hotKeys->setActive(c.hotKey, false);

    for (const KeyCase& c : allKeys) {
        EXPECT_FALSE(hotKeys->isActive(c.hotKey));
        press(c.qtKey);
    }

    EXPECT_TRUE(pressed.empty());
    EXPECT_EQ(field.keys,
              (std::vector<int>{Qt::Key_Space, Qt::Key_Right, Qt::Key_Tab, Qt::Key_F6}));
    EXPECT_EQ(field.edit->text(), QStringLiteral(" "));
}

TEST_P(InProgramHotKeysTest, OnlyTheActiveKeysAreTaken)
{
    hotKeys->setActive(HotKey::SwitchPage, true);

    for (const KeyCase& c : allKeys)
        press(c.qtKey);

    EXPECT_EQ(pressed, std::vector<HotKey>{HotKey::SwitchPage});
    EXPECT_EQ(field.keys, (std::vector<int>{Qt::Key_Space, Qt::Key_Tab, Qt::Key_F6}));
}

TEST_P(InProgramHotKeysTest, KeyPressSentStraightToAWidgetIsTakenToo)
{
    hotKeys->setActive(HotKey::Pause, true);

    QTest::keyClick(field.edit, Qt::Key_Space);

    EXPECT_EQ(pressed, std::vector<HotKey>{HotKey::Pause});
    EXPECT_TRUE(field.edit->text().isEmpty());
}

TEST_P(InProgramHotKeysTest, AutoRepeatOfAnActiveKeyIsSwallowedWithoutAReport)
{
    hotKeys->setActive(HotKey::Pause, true);

    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
    QApplication::sendEvent(field.edit, &repeat);

    EXPECT_TRUE(pressed.empty());
    EXPECT_TRUE(field.edit->text().isEmpty());
}

TEST_P(InProgramHotKeysTest, HeldKeyIsOneStrokeUntilReleased)
{
    hotKeys->setActive(HotKey::Pause, true);

    // On X11 a held key repeats as further presses without the repeat flag.
    QTest::keyPress(field.window.windowHandle(), Qt::Key_Space);
    QTest::keyPress(field.window.windowHandle(), Qt::Key_Space);
    QTest::keyRelease(field.window.windowHandle(), Qt::Key_Space);
    EXPECT_EQ(pressed, std::vector<HotKey>{HotKey::Pause});

    press(Qt::Key_Space);
    EXPECT_EQ(pressed, (std::vector<HotKey>{HotKey::Pause, HotKey::Pause}));
    EXPECT_TRUE(field.edit->text().isEmpty());
}

TEST_P(InProgramHotKeysTest, KeyReleasedWhileAnotherProgramHadTheFocusCountsAgain)
{
    hotKeys->setActive(HotKey::Pause, true);
    QTest::keyPress(field.window.windowHandle(), Qt::Key_Space);

    // The release went to the other program.
    QApplicationStateChangeEvent away(Qt::ApplicationInactive);
    QCoreApplication::sendEvent(qApp, &away);
    QApplicationStateChangeEvent back(Qt::ApplicationActive);
    QCoreApplication::sendEvent(qApp, &back);
    press(Qt::Key_Space);

    EXPECT_EQ(pressed, (std::vector<HotKey>{HotKey::Pause, HotKey::Pause}));
}

TEST_P(InProgramHotKeysTest, KeysWithModifiersAreNotHotKeys)
{
    for (const KeyCase& c : allKeys)
        hotKeys->setActive(c.hotKey, true);

    press(Qt::Key_Space, Qt::ShiftModifier);
    press(Qt::Key_Right, Qt::ControlModifier);
    press(Qt::Key_F6, Qt::AltModifier);

    EXPECT_TRUE(pressed.empty());
    EXPECT_EQ(field.keys, (std::vector<int>{Qt::Key_Space, Qt::Key_Right, Qt::Key_F6}));
}

TEST_P(InProgramHotKeysTest, ActiveKeyWinsOverAShortcutOfTheProgram)
{
    QAction action(&field.window);
    action.setShortcut(QKeySequence(Qt::Key_F6));
    field.window.addAction(&action);
    int triggered = 0;
    QObject::connect(&action, &QAction::triggered, [&] { ++triggered; });
    press(Qt::Key_F6);
    ASSERT_EQ(triggered, 1); // the shortcut works while the hot key is off

    hotKeys->setActive(HotKey::Bpm, true);
    press(Qt::Key_F6);

    EXPECT_EQ(triggered, 1);
    EXPECT_EQ(pressed, std::vector<HotKey>{HotKey::Bpm});
}

std::vector<Backend> inProgramBackends()
{
    std::vector<Backend> backends{{"KeyFilter", [] {
                                       return std::unique_ptr<HotKeys>(new KeyFilterHotKeys);
                                   }}};
#ifdef FOLIVANT_HAVE_X11
    backends.push_back({"X11WithoutDisplay", [] {
                            return std::unique_ptr<HotKeys>(new X11HotKeys);
                        }});
#endif
    return backends;
}

INSTANTIATE_TEST_SUITE_P(Backends, InProgramHotKeysTest, ::testing::ValuesIn(inProgramBackends()),
                         [](const ::testing::TestParamInfo<Backend>& info) {
                             return std::string(info.param.name);
                         });

TEST(CreateHotKeys, WithoutAnXDisplayTheKeyFilterServes)
{
    const std::unique_ptr<HotKeys> hotKeys = createHotKeys();

    EXPECT_NE(dynamic_cast<KeyFilterHotKeys*>(hotKeys.get()), nullptr);
#ifdef FOLIVANT_HAVE_X11
    // The offscreen platform has the X11 interface, but no display behind it.
    EXPECT_FALSE(X11HotKeys::isAvailable());
    X11HotKeys x11;
    x11.setActive(HotKey::Pause, true);
    EXPECT_TRUE(x11.isActive(HotKey::Pause));
    EXPECT_FALSE(x11.isGrabbed(HotKey::Pause));
#endif
}

// ---- System-wide grabs in a real X server -----------------------------------------------

#ifdef FOLIVANT_HAVE_X11

constexpr char peerVariable[] = "FOLIVANT_HOTKEYS_PEER";

void say(const QString& line)
{
    XvfbChild::report(line);
}

// One X client of the tests below, run as a child process of the test: a window with a
// focused field and the program's hot keys. It takes commands on stdin ("on Pause",
// "off Bpm", "quit") and reports on stdout: "ready <window id> <x11|filter>", "active"
// when its window gets the focus, "key <name>" for each key its field receives (lock keys
// left out), "pressed <hot key>", and the outcome of each command ("on Pause grabbed",
// "on Pause filter", "off Pause").
void runPeer()
{
    FieldWindow field;
    EventWatch keys(field.edit, [](QEvent* event) {
        if (event->type() != QEvent::KeyPress)
            return;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_NumLock || key->key() == Qt::Key_CapsLock)
            return;
        say(QStringLiteral("key ") + QKeySequence(key->key()).toString() +
            (key->isAutoRepeat() ? QStringLiteral(" repeat") : QString()));
    });
    EventWatch activation(&field.window, [](QEvent* event) {
        if (event->type() == QEvent::WindowActivate)
            say(QStringLiteral("active"));
    });
    const std::unique_ptr<HotKeys> hotKeys = createHotKeys();
    auto* x11 = dynamic_cast<X11HotKeys*>(hotKeys.get());
    QObject::connect(hotKeys.get(), &HotKeys::pressed,
                     [](HotKey key) { say(QStringLiteral("pressed ") + keyName(key)); });

    field.window.show();
    if (!QTest::qWaitForWindowExposed(&field.window)) {
        say(QStringLiteral("window not shown"));
        return;
    }
    say(QStringLiteral("ready %1 %2")
            .arg(QString::number(field.window.winId()),
                 x11 ? QStringLiteral("x11") : QStringLiteral("filter")));

    auto command = [&](const QString& line) {
        const QStringList words = line.split(QLatin1Char(' '));
        const std::optional<HotKey> key = words.size() == 2 ? hotKeyNamed(words[1]) : std::nullopt;
        if (line == QLatin1String("quit")) {
            QCoreApplication::quit();
        } else if (key && words[0] == QLatin1String("on")) {
            hotKeys->setActive(*key, true);
            const bool grabbed = x11 && x11->isGrabbed(*key);
            say(line + (grabbed ? QStringLiteral(" grabbed") : QStringLiteral(" filter")));
        } else if (key && words[0] == QLatin1String("off")) {
            hotKeys->setActive(*key, false);
            say(line);
        } else {
            say(QStringLiteral("unknown command ") + line);
        }
    };
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
            command(QString::fromUtf8(input.left(end)));
            input.remove(0, end + 1);
        }
    });
    QCoreApplication::exec();
}

// A peer process as the test sees it.
class Peer {
public:
    explicit Peer(const XvfbServer& server)
        : m_child(server, QLatin1String(peerVariable))
    {
        const QStringList ready = next().split(QLatin1Char(' '));
        if (ready.size() == 3 && ready[0] == QLatin1String("ready")) {
            m_windowId = ready[1];
            m_backend = ready[2];
        }
    }

    const QString& windowId() const { return m_windowId; }
    const QString& backend() const { return m_backend; }

    // Sends a command and returns the peer's answer.
    QString command(const QString& line)
    {
        m_child.send(line);
        return next();
    }
    // The next report line, leaving out window activations; empty when none comes.
    QString next()
    {
        return m_child.take([](const QString& line) { return line != QLatin1String("active"); });
    }
    bool waitUntilActive()
    {
        return !m_child.take([](const QString& line) { return line == QLatin1String("active"); })
                    .isEmpty();
    }
    void forgetActivations() { m_child.discard(QStringLiteral("active")); }
    bool finish() { return m_child.finish(); }
    QString errorOutput() { return m_child.errorOutput(); }

private:
    XvfbChild m_child;
    QString m_windowId;
    QString m_backend;
};

class X11HotKeysTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsSet(peerVariable)) {
            runPeer();
            GTEST_SKIP() << "ran as a peer window of the test";
        }
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
    // Gives the keyboard focus to the peer's window (there is no window manager).
    bool focus(Peer& peer)
    {
        peer.forgetActivations();
        return server.xdotool(
                   {QStringLiteral("windowfocus"), QStringLiteral("--sync"), peer.windowId()}) &&
               peer.waitUntilActive();
    }
    void expectLines(Peer& peer, const QStringList& lines)
    {
        for (const QString& line : lines)
            EXPECT_EQ(peer.next(), line) << peer.errorOutput().toStdString();
    }

    XvfbServer server;
};

TEST_F(X11HotKeysTest, ActiveKeysReachTheProgramWhileAnotherWindowHasTheFocus)
{
    Peer program(server);
    Peer other(server);
    ASSERT_EQ(program.backend(), QStringLiteral("x11")) << program.errorOutput().toStdString();
    ASSERT_FALSE(other.windowId().isEmpty()) << other.errorOutput().toStdString();
    ASSERT_TRUE(focus(other));
    for (const KeyCase& c : allKeys)
        EXPECT_EQ(program.command(QStringLiteral("on ") + keyName(c.hotKey)),
                  QStringLiteral("on ") + keyName(c.hotKey) + QStringLiteral(" grabbed"));

    // Each key reports once to the program; the focused window gets only the "a" typed
    // after them, which also shows that nothing came before it.
    ASSERT_TRUE(type({QStringLiteral("space"), QStringLiteral("Right"), QStringLiteral("Tab"),
                      QStringLiteral("F6"), QStringLiteral("a")}));
    expectLines(program, {QStringLiteral("pressed Pause"), QStringLiteral("pressed SwitchPage"),
                          QStringLiteral("pressed Enter"), QStringLiteral("pressed Bpm")});
    expectLines(other, {QStringLiteral("key A")});

    // NumLock or CapsLock on does not free the key.
    ASSERT_TRUE(type({QStringLiteral("Num_Lock"), QStringLiteral("space"),
                      QStringLiteral("Num_Lock"), QStringLiteral("Caps_Lock"),
                      QStringLiteral("space"), QStringLiteral("Caps_Lock"), QStringLiteral("a")}));
    expectLines(program, {QStringLiteral("pressed Pause"), QStringLiteral("pressed Pause")});
    expectLines(other, {QStringLiteral("key A")});

    // Switched off, the keys go to the focused window again. F6 stays on: its report
    // comes after anything the other keys would have caused.
    for (HotKey key : {HotKey::Pause, HotKey::SwitchPage, HotKey::Enter})
        EXPECT_EQ(program.command(QStringLiteral("off ") + keyName(key)),
                  QStringLiteral("off ") + keyName(key));
    ASSERT_TRUE(type({QStringLiteral("space"), QStringLiteral("Right"), QStringLiteral("Tab"),
                      QStringLiteral("F6"), QStringLiteral("a")}));
    expectLines(other, {QStringLiteral("key Space"), QStringLiteral("key Right"),
                        QStringLiteral("key Tab"), QStringLiteral("key A")});
    expectLines(program, {QStringLiteral("pressed Bpm")});

    // The same for F6, with Space as the marker.
    EXPECT_EQ(program.command(QStringLiteral("off Bpm")), QStringLiteral("off Bpm"));
    EXPECT_EQ(program.command(QStringLiteral("on Pause")), QStringLiteral("on Pause grabbed"));
    ASSERT_TRUE(type({QStringLiteral("F6"), QStringLiteral("space"), QStringLiteral("a")}));
    expectLines(other, {QStringLiteral("key F6"), QStringLiteral("key A")});
    expectLines(program, {QStringLiteral("pressed Pause")});

    EXPECT_TRUE(program.finish());
    EXPECT_TRUE(other.finish());
}

TEST_F(X11HotKeysTest, KeyHeldDownIsReportedOnce)
{
    Peer program(server);
    Peer other(server);
    ASSERT_TRUE(focus(other));
    const QStringList holdRight{QStringLiteral("keydown"), QStringLiteral("Right"),
                                QStringLiteral("sleep"),   QStringLiteral("1"),
                                QStringLiteral("keyup"),   QStringLiteral("Right")};

    // The server repeats a held key: the focused field sees more than one press.
    ASSERT_TRUE(
        server.xdotool(holdRight + QStringList{QStringLiteral("key"), QStringLiteral("a")}));
    int presses = 0;
    QString line = other.next();
    for (; line.startsWith(QLatin1String("key Right")); line = other.next())
        ++presses;
    EXPECT_EQ(line, QStringLiteral("key A"));
    ASSERT_GT(presses, 1);

    // Grabbed, the held key is one stroke; F6 after it marks the end.
    EXPECT_EQ(program.command(QStringLiteral("on SwitchPage")),
              QStringLiteral("on SwitchPage grabbed"));
    EXPECT_EQ(program.command(QStringLiteral("on Bpm")), QStringLiteral("on Bpm grabbed"));
    ASSERT_TRUE(
        server.xdotool(holdRight + QStringList{QStringLiteral("key"), QStringLiteral("F6")}));
    expectLines(program, {QStringLiteral("pressed SwitchPage"), QStringLiteral("pressed Bpm")});

    EXPECT_TRUE(program.finish());
}

TEST_F(X11HotKeysTest, KeyHeldByAnotherProgramFallsBackToTheKeyFilter)
{
    Peer holder(server);
    Peer program(server);
    ASSERT_EQ(program.backend(), QStringLiteral("x11")) << program.errorOutput().toStdString();
    ASSERT_EQ(holder.command(QStringLiteral("on Pause")), QStringLiteral("on Pause grabbed"));

    EXPECT_EQ(program.command(QStringLiteral("on Pause")), QStringLiteral("on Pause filter"));
    EXPECT_EQ(program.command(QStringLiteral("on SwitchPage")),
              QStringLiteral("on SwitchPage grabbed"));

    // While another window has the focus, Space stays with the program that holds it.
    ASSERT_TRUE(focus(holder));
    ASSERT_TRUE(type({QStringLiteral("space"), QStringLiteral("Right"), QStringLiteral("a")}));
    expectLines(holder, {QStringLiteral("pressed Pause"), QStringLiteral("key A")});
    expectLines(program, {QStringLiteral("pressed SwitchPage")});

    // Once the holder lets go, the program's key filter takes Space while it has the focus.
    EXPECT_EQ(holder.command(QStringLiteral("off Pause")), QStringLiteral("off Pause"));
    ASSERT_TRUE(focus(program));
    ASSERT_TRUE(type({QStringLiteral("space"), QStringLiteral("a")}));
    expectLines(program, {QStringLiteral("pressed Pause"), QStringLiteral("key A")});

    // Activated again, the key is grabbed now that nobody else holds it.
    EXPECT_EQ(program.command(QStringLiteral("off Pause")), QStringLiteral("off Pause"));
    EXPECT_EQ(program.command(QStringLiteral("on Pause")), QStringLiteral("on Pause grabbed"));
    // With its own window focused the grabbed press comes to that window: still one
    // report, and the field does not get it.
    ASSERT_TRUE(type({QStringLiteral("space"), QStringLiteral("a")}));
    expectLines(program, {QStringLiteral("pressed Pause"), QStringLiteral("key A")});

    EXPECT_TRUE(program.finish());
    EXPECT_TRUE(holder.finish());
    EXPECT_FALSE(program.errorOutput().contains(QLatin1String("BadAccess")))
        << program.errorOutput().toStdString();
    EXPECT_FALSE(program.errorOutput().contains(QLatin1String("XCB error")))
        << program.errorOutput().toStdString();
}

#endif

} // namespace
