#include "playback/player.h"
#include "playback/replayrange.h"
#include "playback/tempo.h"
#include "playback/transport.h"
#include "project/workspace.h"
#include "session/hostconnections.h"
#include "session/sessionhost.h"
#include "session/sessionpanel.h"
#include "support/testwindow.h"

#include <QAbstractButton>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>
#include <memory>

// Hosting over real loopback sockets: the host is a whole main window; its guests are raw
// sockets written here, so every byte the host sends can be checked.

namespace {

constexpr int kWaitMs = 15000;

bool waitFor(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, kWaitMs);
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::Any, 0);
    return probe.serverPort();
}

// A guest written by hand: a raw socket that records everything it receives.
struct Peer {
    explicit Peer(quint16 port)
    {
        QObject::connect(&socket, &QIODevice::readyRead, &socket,
                         [this] { received += socket.readAll(); });
        QObject::connect(&socket, &QAbstractSocket::disconnected, &socket,
                         [this] { closed = true; });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    void send(const QByteArray& bytes)
    {
        socket.write(bytes);
        socket.flush();
    }
    bool waitReceived(const QByteArray& text)
    {
        return waitFor([&] { return received.contains(text); });
    }

    QTcpSocket socket;
    QByteArray received;
    bool closed = false;
};

class Hosting : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = freePort();
        qputenv("FOLIVANT_SESSION_PORT", QByteArray::number(port));
        audio = testfiles::writeFile(QDir(w.notes.path()).filePath(QStringLiteral("song.wav")),
                                     QByteArray("RIFF"));
    }
    void TearDown() override { qunsetenv("FOLIVANT_SESSION_PORT"); }

    SessionPanel& panel() { return w.find<SessionPanel>("kinsoropanel"); }
    SessionHost& host() { return *w.window->sessionHost(); }
    QListWidget& friends() { return w.find<QListWidget>("connectedf"); }
    Modes& modes() { return w.window->workspace().modes; }
    void click(const char* name) { w.find<QAbstractButton>(name).click(); }

    void showHostTab()
    {
        click("kinsorostart");
        panel().tabs()->setCurrentIndex(SessionPanel::HostTab);
    }
    // A guest that has connected and received "Q=1"; with a nickname when one is given.
    std::unique_ptr<Peer> guest(const QByteArray& nickname = {})
    {
        auto peer = std::make_unique<Peer>(port);
        const qsizetype before = friends().count();
        EXPECT_TRUE(peer->waitReceived("Q=1"));
        if (!nickname.isEmpty()) {
            peer->send(nickname);
            EXPECT_TRUE(waitFor([&] { return friends().count() == before + 1; }));
        }
        return peer;
    }
    // Host tab shown, a project chosen and its audio primed (timeline maximum 6000).
    void chooseProject()
    {
        testfiles::ProjectLayout layout;
        layout.name = QStringLiteral("Duet");
        layout.audio = audio;
        w.dialogs.files.enqueue(w.makeProject(layout));
        click("hostselect");
        w.primePlayer(60);
    }

    TestWindow w;
    quint16 port = 0;
    QString audio;
};

} // namespace

TEST_F(Hosting, PanelHoldsTheControlsInTheirInitialState)
{
    EXPECT_FALSE(panel().isVisible());
    EXPECT_EQ(panel().status(), QStringLiteral("status"));
    EXPECT_EQ(panel().tabs()->tabText(0), QStringLiteral("Join"));
    EXPECT_EQ(panel().tabs()->tabText(1), QStringLiteral("Host"));
    EXPECT_EQ(w.find<QLineEdit>("MyIP").text(), QStringLiteral("0.0.0.0"));
    EXPECT_EQ(w.find<QLineEdit>("hostproject").text(), QStringLiteral("Please Select"));
    EXPECT_FALSE(w.find<QAbstractButton>("HostGo").isEnabled());
    EXPECT_EQ(w.find<QAbstractButton>("HostGo").text(), QStringLiteral("Go!"));
    EXPECT_EQ(w.find<QAbstractButton>("ConnectJoin").text(), QStringLiteral("Connect && join"));
    EXPECT_EQ(w.find<QLineEdit>("JoinServer").text(), QStringLiteral("0.0.0.0"));
    EXPECT_EQ(w.find<QLineEdit>("JoinNick").text(), QStringLiteral("The Player"));
    EXPECT_FALSE(w.find<QWidget>("JoinStrings").isVisibleTo(&panel()));
    const QStringList texts = [&] {
        QStringList all;
        for (auto* label : panel().findChildren<QLabel*>())
            all << label->text();
        return all;
    }();
    EXPECT_TRUE(texts.contains(
        QStringLiteral("Please choose whether  you would like to join a session or host one.")));
    EXPECT_TRUE(texts.contains(QStringLiteral(
        "If you use a router to connect to the internet: Kinsoro will work only within your home "
        "network. If you wish to use Kinsoro over the broad internet, you must define this "
        "computer as a \"DMZ Host\" in your router. Kinsoro uses port 3000.")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Close")));
}

TEST_F(Hosting, HostTabListensShowsTheOwnAddressAndGreetsGuests)
{
    showHostTab();
    EXPECT_TRUE(panel().isVisible());
    EXPECT_EQ(panel().status(), QStringLiteral("Listening..."));
    EXPECT_TRUE(host().connections().isListening());
    EXPECT_EQ(host().connections().serverPort(), port);
    ASSERT_TRUE(
        waitFor([&] { return w.find<QLineEdit>("MyIP").text() != QStringLiteral("0.0.0.0"); }));
    EXPECT_FALSE(QHostAddress(w.find<QLineEdit>("MyIP").text()).isNull());

    // A guest gets "Q=1" without LF; its first text is its nickname, shown as plain text.
    auto ann = guest("<b>Ann</b>");
    EXPECT_EQ(ann->received, QByteArray("Q=1"));
    ASSERT_EQ(friends().count(), 1);
    EXPECT_EQ(friends().item(0)->text(), QStringLiteral("<b>Ann</b>"));

    // Its connection closing takes the entry away.
    ann->socket.disconnectFromHost();
    EXPECT_TRUE(waitFor([&] { return friends().count() == 0; }));

    // "Close" hides the panel but the host keeps listening.
    w.find<LinkLabel>("kinsoroClose").clicked();
    EXPECT_FALSE(panel().isVisible());
    EXPECT_TRUE(w.find<QWidget>("Startup_Panel").isVisible());
    EXPECT_TRUE(host().connections().isListening());
    auto ben = guest("Ben");
    EXPECT_EQ(friends().item(0)->text(), QStringLiteral("Ben"));
}

TEST_F(Hosting, TakenPortRetriesOnceThenGivesUp)
{
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::Any, port));
    QSignalSpy statuses(&panel(), &SessionPanel::statusShown);
    showHostTab();
    QStringList shown;
    for (const auto& s : statuses)
        shown << s[0].toString();
    EXPECT_TRUE(shown.contains(QStringLiteral("Error. Retrying.")))
        << shown.join(u'|').toStdString();
    EXPECT_EQ(shown.last(), QStringLiteral("Error. Please try again."));
    EXPECT_LT(shown.indexOf(QStringLiteral("Error. Retrying.")),
              shown.indexOf(QStringLiteral("Error. Please try again.")));
    EXPECT_EQ(SessionHost::listenRetryCount(), 0);
    EXPECT_FALSE(host().connections().isListening());

    // Showing the tab again once the port is free listens at the first attempt.
    squatter.close();
    panel().tabs()->setCurrentIndex(SessionPanel::JoinTab);
    panel().tabs()->setCurrentIndex(SessionPanel::HostTab);
    EXPECT_EQ(panel().status(), QStringLiteral("Listening..."));
    EXPECT_TRUE(host().connections().isListening());
}

TEST_F(Hosting, HostilePeersDoNotDisturbTheOthers)
{
    showHostTab();
    auto carol = guest("Carol");

    // A nickname that begins with "W=" is an echo: it is answered, not listed.
    auto mallory = guest();
    mallory->send("W=12");
    ASSERT_TRUE(waitFor([&] { return mallory->received.endsWith('\n'); }));
    ASSERT_TRUE(mallory->received.startsWith("Q=1O=")) << mallory->received.toStdString();
    // (ping clock 0 - 12) * 0.5, rounded to 5 decimals.
    EXPECT_NEAR(mallory->received.mid(5).trimmed().toDouble(), -6.0, 0.00002);
    EXPECT_EQ(friends().count(), 1);
    // Garbage becomes its one entry; nothing it sends later adds another.
    mallory->send(QByteArray("\x01\xff<i>junk\x00\r\n", 12));
    ASSERT_TRUE(waitFor([&] { return friends().count() == 2; }));
    mallory->send(QByteArray(1024 * 1024, 'x'));
    ASSERT_TRUE(waitFor([&] { return mallory->socket.bytesToWrite() == 0; }));
    QTest::qWait(500);
    EXPECT_EQ(friends().count(), 2);
    // The host still reads it afterwards.
    mallory->received.clear();
    mallory->send("W=4");
    ASSERT_TRUE(waitFor([&] { return mallory->received.endsWith('\n'); }));
    EXPECT_TRUE(mallory->received.startsWith("O=-")) << mallory->received.toStdString();

    // It closes in the middle of a message: its entry goes, Carol's stays.
    mallory->send("Hal");
    mallory->socket.abort();
    ASSERT_TRUE(waitFor([&] { return friends().count() == 1; }));
    EXPECT_EQ(friends().item(0)->text(), QStringLiteral("Carol"));
    EXPECT_FALSE(carol->closed);
    auto dave = guest("Dave");
    EXPECT_EQ(friends().count(), 2);
    EXPECT_EQ(carol->received, QByteArray("Q=1"));
}

TEST_F(Hosting, GoStartsTheSessionPingsAndBroadcasts)
{
    showHostTab();
    // Go! without a project only says so.
    w.find<QAbstractButton>("HostGo").setEnabled(true);
    click("HostGo");
    EXPECT_EQ(w.dialogs.shown.last(), QStringLiteral("Please select a Folivant project."));
    EXPECT_FALSE(modes().hostingMode);

    chooseProject();
    EXPECT_EQ(w.find<QLineEdit>("hostproject").text(), QStringLiteral("Duet"));
    EXPECT_TRUE(w.find<QAbstractButton>("HostGo").isEnabled());
    EXPECT_FALSE(modes().hostingMode);
    EXPECT_FALSE(w.window->widgets().mainPanel->isVisible());

    auto ann = guest("Ann");
    auto quiet = guest(); // never sends a nickname
    click("HostGo");
    EXPECT_TRUE(modes().hostingMode);
    EXPECT_FALSE(panel().isVisible());
    EXPECT_TRUE(w.window->widgets().mainPanel->isVisible());
    EXPECT_TRUE(w.find<QWidget>("StopHostKinsoro").isVisible());
    EXPECT_TRUE(host().hostTimer().isActive());
    EXPECT_TRUE(host().pingTimer().isActive());
    EXPECT_EQ(host().expectedEchoes(), 1);
    const QByteArray start("Q=1J=6000\nT=1\nU=1\nI=0\nW=0\n");
    ASSERT_TRUE(ann->waitReceived("W=0\n"));
    ASSERT_TRUE(quiet->waitReceived("W=0\n"));
    EXPECT_TRUE(ann->received.startsWith(start)) << ann->received.toStdString();
    EXPECT_TRUE(quiet->received.startsWith(start)) << quiet->received.toStdString();

    // Ann echoes: she gets her latency and, as the only one expected, stops the ping clock.
    ann->send("W=0");
    ASSERT_TRUE(ann->waitReceived("O="));
    EXPECT_TRUE(waitFor([&] { return !host().pingTimer().isActive(); }));
    EXPECT_EQ(host().echoCount(), 1);

    // The position broadcast reaches every connection, nickname or not.
    w.player.setPositionQuietly(12.345678);
    host().HostTimerTimer();
    EXPECT_TRUE(ann->waitReceived("Z=12.34568\n"));
    EXPECT_TRUE(quiet->waitReceived("Z=12.34568\n"));
    // So do the transport's commands.
    click("MainPanel_Rewind");
    EXPECT_TRUE(quiet->waitReceived("C=0\nB=1\n"));

    // A newcomer is closed at once, without a greeting.
    Peer late(port);
    ASSERT_TRUE(waitFor([&] { return late.closed; }));
    EXPECT_FALSE(late.received.contains("Q=1"));
    EXPECT_EQ(host().connections().connections().size(), 2);
}

TEST_F(Hosting, RemoveSelectedDropsOnlyThatGuest)
{
    showHostTab();
    auto ann = guest("Ann");
    auto ben = guest("Ben");
    // Nothing selected: nothing happens.
    friends().clearSelection();
    click("RemoveSelected");
    QTest::qWait(200);
    EXPECT_EQ(friends().count(), 2);

    friends().setCurrentRow(1);
    click("RemoveSelected");
    ASSERT_TRUE(waitFor([&] { return ben->closed; }));
    EXPECT_EQ(ben->received, QByteArray("Q=1D=1"));
    ASSERT_TRUE(waitFor([&] { return friends().count() == 1; }));
    EXPECT_EQ(friends().item(0)->text(), QStringLiteral("Ann"));
    EXPECT_FALSE(ann->closed);
}

TEST_F(Hosting, EndingTheSessionTellsGuestsAndStopsListening)
{
    showHostTab();
    chooseProject();
    auto ann = guest("Ann");
    click("HostGo");
    ASSERT_TRUE(ann->waitReceived("W=0\n"));

    click("StopHostKinsoro");
    ASSERT_TRUE(ann->waitReceived("D=1\n"));
    EXPECT_TRUE(waitFor([&] { return ann->closed; }));
    EXPECT_FALSE(modes().hostingMode);
    EXPECT_FALSE(modes().followMode);
    EXPECT_TRUE(panel().isVisible());
    EXPECT_EQ(panel().status(), QStringLiteral("Connect to your friend."));
    EXPECT_FALSE(w.window->widgets().mainPanel->isVisible());
    EXPECT_FALSE(host().connections().isListening());
    EXPECT_FALSE(host().hostTimer().isActive());
    EXPECT_EQ(friends().count(), 0);
    EXPECT_TRUE(w.player.source().isEmpty());
    EXPECT_FALSE(w.find<QWidget>("StopHostKinsoro").isVisibleTo(w.window.get()));

    // A later command sends nothing: hosting is over.
    const QByteArray before = ann->received;
    w.window->broadcast(QStringLiteral("P=1"));
    QTest::qWait(100);
    EXPECT_EQ(ann->received, before);

    // The panel came back through the Host tab's shown event: no project is chosen, so Go!
    // starts nothing.
    EXPECT_EQ(w.find<QLineEdit>("hostproject").text(), QStringLiteral("Please Select"));
    click("HostGo");
    EXPECT_EQ(w.dialogs.shown.last(), QStringLiteral("Please select a Folivant project."));
    EXPECT_FALSE(modes().hostingMode);
}

TEST_F(Hosting, HostTabAgainForgetsTheProjectButLeavesGo)
{
    showHostTab();
    chooseProject();
    panel().tabs()->setCurrentIndex(SessionPanel::JoinTab);
    panel().tabs()->setCurrentIndex(SessionPanel::HostTab);
    EXPECT_EQ(w.find<QLineEdit>("hostproject").text(), QStringLiteral("Please Select"));
    EXPECT_EQ(w.find<QLineEdit>("hostproject").property("tag").toInt(), -1);
    click("HostGo");
    EXPECT_EQ(w.dialogs.shown.last(), QStringLiteral("Please select a Folivant project."));
    EXPECT_FALSE(modes().hostingMode);
}

TEST_F(Hosting, ClosingTheWindowSaysGoodbyeToGuests)
{
    showHostTab();
    chooseProject();
    auto ann = guest("Ann");
    click("HostGo");
    ASSERT_TRUE(ann->waitReceived("W=0\n"));
    w.window->close();
    EXPECT_TRUE(ann->waitReceived("D=1\n"));
    EXPECT_EQ(w.quitCount, 1);
}

// Every host command of the message table, as the bytes a guest receives.
TEST_F(Hosting, EveryHostCommandReachesTheGuestByteExact)
{
    showHostTab();
    chooseProject();
    auto ann = guest("Ann");
    click("HostGo");
    ASSERT_TRUE(ann->waitReceived("W=0\n"));
    host().hostTimer().stop(); // no position broadcast between the commands
    Transport& transport = *w.window->transport();
    ReplayRange& replay = *w.window->replay();
    Tempo& tempo = *w.window->tempo();

    const auto expect = [&](const std::function<void()>& command, const QByteArray& bytes) {
        ann->received.clear();
        command();
        ASSERT_TRUE(ann->waitReceived(bytes)) << ann->received.toStdString();
        QTest::qWait(50);
        EXPECT_EQ(ann->received, bytes);
    };
    const auto at = [&](int state, double position) {
        w.player.setStateQuietly(state, state == Player::Playing ? QStringLiteral("Playing")
                                                                 : QStringLiteral("Paused"));
        w.player.setPositionQuietly(position);
    };

    at(Player::Paused, 12.5);
    expect([&] { transport.play(); }, "C=12.5\nA=1\nT=1\n");
    at(Player::Playing, 61.234567);
    expect([&] { transport.pause(); }, "C=61.23457\nP=1\n");
    at(Player::Paused, 61.234567);
    expect([&] { transport.pause(); }, "C=61.23457\nA=1\n");
    expect([&] { transport.stop(); }, "S=1\nI=0\nC=61.23457\n");
    expect([&] { transport.rewind(); }, "C=0\nB=1\n");
    at(Player::Paused, 10);
    expect([&] { replay.setStart(); }, "R=10\n");
    at(Player::Paused, 20);
    expect([&] { replay.setEnd(true); }, "Y=20\n");
    expect([&] { replay.playReplay(); }, "G=1\nT=1\n");
    at(Player::Paused, 15);
    expect([&] { transport.pause(); }, "C=15\nA=1\nT=1\n"); // resume with replay active
    expect([&] { replay.clear(); }, "U=1\n");
    expect([&] { tempo.stepUp(); }, "T=1.1\n");

    ann->received.clear();
    w.player.setState(Player::Playing, QStringLiteral("Playing"));
    ASSERT_TRUE(ann->waitReceived("M=Playing\n"));
    EXPECT_TRUE(ann->received.startsWith("M=Playing\n"));

    expect([&] { click("StopHostKinsoro"); }, "D=1\n");
}

TEST_F(Hosting, PingClockStopsOnceEveryGuestHasAnsweredOrGone)
{
    showHostTab();
    chooseProject();
    auto ann = guest("Ann");
    auto ben = guest("Ben");
    click("HostGo");
    ASSERT_TRUE(ben->waitReceived("W=0\n"));
    // Ann answers; Ben never does, then leaves.
    ann->send("W=0");
    ASSERT_TRUE(ann->waitReceived("O="));
    EXPECT_TRUE(host().pingTimer().isActive());
    ben->socket.disconnectFromHost();
    EXPECT_TRUE(waitFor([&] { return !host().pingTimer().isActive(); }));
}

TEST_F(Hosting, EndingTheSessionStopsThePingClock)
{
    showHostTab();
    chooseProject();
    auto quiet = guest("Quiet"); // counted at Go!, never echoes
    click("HostGo");
    ASSERT_TRUE(quiet->waitReceived("W=0\n"));
    EXPECT_TRUE(host().pingTimer().isActive());
    click("StopHostKinsoro");
    EXPECT_FALSE(host().pingTimer().isActive());
    EXPECT_TRUE(quiet->waitReceived("D=1"));
}
