#pragma once

// What the benchmarks that run whole windows share: dialogs that answer with a project and
// count every box shown, a player that accepts any source, one copy of the program (a
// main window with its seams) and waiting on the event loop.

#include "support/fakehotkeys.h"
#include "support/need.h"

#include "app/mainwindow.h"
#include "platform/dialogs.h"
#include "platform/shell.h"
#include "playback/player.h"
#include "session/sessionpanel.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLineEdit>
#include <QSlider>
#include <QStringList>
#include <QTabWidget>
#include <QTime>

#include <functional>
#include <memory>
#include <vector>

namespace benchsession {

// Answers every file dialog with one file, says No to questions, and keeps the text of
// every information box (the program's message boxes and error reports alike).
class CountingDialogs : public Dialogs {
public:
    void information(const QString& text) override { shown << text; }
    bool question(const QString&) override { return false; }
    bool getText(const QString&, const QString&, QString&) override { return false; }
    QString openFile(const QString&, const QString&, const QString&, const QString&) override
    {
        return file;
    }
    QString file;
    QStringList shown;
};

class NullShell : public Shell {
public:
    void openFolder(const QString&) override {}
    void openUrl(const QString&) override {}
};

// A player that plays nothing: it takes any source, and is always stopped (a guest's
// player, or a whole window whose audio is not measured).
class SilentPlayer : public Player {
public:
    QString source() const override { return m_source; }
    void setSource(const QString& path) override { m_source = path; }
    int playState() const override { return Player::Stopped; }
    QString statusText() const override { return QString(); }
    double position() const override { return 0; }
    void setPosition(double) override {}
    QString positionText() const override { return QStringLiteral("00:00"); }
    double duration() const override { return 0; }
    double rate() const override { return 1; }
    void setRate(double) override {}
    void play() override {}
    void pause() override {}
    void stop() override {}

private:
    QString m_source;
};

// One copy of the program: a shown main window over the given player.
struct Copy {
    explicit Copy(Player& p)
        : player(p)
    {
        show();
    }
    // A copy whose player plays nothing (a guest).
    Copy()
        : ownPlayer(std::make_unique<SilentPlayer>())
        , player(*ownPlayer)
    {
        show();
    }
    void show()
    {
        window = std::make_unique<MainWindow>(
            Services{&player, &dialogs, &keys, &shell, [] {}, [] { return QTime(12, 0); }, {}});
        window->resize(1280, 800);
        window->show();
    }
    void click(const char* name)
    {
        need<QAbstractButton>(window.get(), QLatin1String(name)).click();
    }
    template <class T> T& find(const char* name)
    {
        return need<T>(window.get(), QLatin1String(name));
    }

    std::unique_ptr<SilentPlayer> ownPlayer;
    Player& player;
    CountingDialogs dialogs;
    FakeHotKeys keys;
    NullShell shell;
    std::unique_ptr<MainWindow> window;
};

// Runs the event loop until condition holds (true) or ms have passed (false).
inline bool waitFor(const std::function<bool()>& condition, int ms = 30000)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Runs the event loop for ms.
inline void runFor(int ms)
{
    waitFor([] { return false; }, ms);
}

// Selects the project on the host's Host tab; true once the host's player has opened its
// audio (paused, with a timeline to move over).
inline bool selectHostProject(Copy& host, const QString& project)
{
    host.dialogs.file = project;
    host.click("kinsorostart");
    host.find<SessionPanel>("kinsoropanel").tabs()->setCurrentIndex(SessionPanel::HostTab);
    host.click("hostselect");
    return waitFor([&] {
        return host.player.playState() == Player::Paused &&
               host.find<QSlider>("TrackBar").maximum() > 0;
    });
}

// count guest windows (players that play nothing) that join the host on loopback as
// "Guest 1", "Guest 2", … with the same project.
inline std::vector<std::unique_ptr<Copy>> joinGuests(const QString& project, int count)
{
    std::vector<std::unique_ptr<Copy>> guests;
    for (int n = 1; n <= count; ++n) {
        Copy& guest = *guests.emplace_back(std::make_unique<Copy>());
        guest.dialogs.file = project;
        guest.click("kinsorostart");
        guest.find<QLineEdit>("JoinServer").setText(QStringLiteral("127.0.0.1"));
        guest.find<QLineEdit>("JoinNick").setText(QStringLiteral("Guest %1").arg(n));
        guest.click("Selectjoin");
        guest.click("ConnectJoin");
    }
    return guests;
}

} // namespace benchsession
