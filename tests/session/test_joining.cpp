#include "playback/follower.h"
#include "playback/guestclock.h"
#include "playback/playbackstate.h"
#include "project/workspace.h"
#include "session/hostconnections.h"
#include "session/sessionguest.h"
#include "session/sessionpanel.h"
#include "support/testwindow.h"

#include <QAbstractButton>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <gtest/gtest.h>
#include <random>

// Joining over real loopback sockets: the guest is a whole main window, the host a raw
// server written here that sends exactly the bytes a test wants, split or joined as it
// likes.

namespace {

constexpr int kWaitMs = 15000;
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// A line of /proc/self/status in KiB (VmRSS: now, VmHWM: the peak since the last reset).
qint64 memoryKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
    return 0;
}

void resetPeakMemory()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

bool waitFor(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, kWaitMs);
}

class Joining : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        qputenv("FOLIVANT_SESSION_PORT", QByteArray::number(server.serverPort()));
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            peer = server.nextPendingConnection();
            QObject::connect(peer, &QIODevice::readyRead, peer,
                             [this] { received += peer->readAll(); });
            QObject::connect(peer, &QAbstractSocket::disconnected, peer,
                             [this] { peerClosed = true; });
        });
        testfiles::ProjectLayout layout;
        layout.name = QStringLiteral("Duet");
        layout.entries = {QStringLiteral("1={500000}{100000}{0}")};
        project = w.makeProject(layout);
        // The guest clock moves only when a test says so.
        w.holdClock();
    }
    void TearDown() override { qunsetenv("FOLIVANT_SESSION_PORT"); }

    SessionPanel& panel() { return w.find<SessionPanel>("kinsoropanel"); }
    SessionGuest& guest() { return *w.window->sessionGuest(); }
    Modes& modes() { return w.window->workspace().modes; }
    PlaybackState& state() { return w.window->playbackState(); }
    QTimer& joinTimer() { return w.window->joinTimer(); }
    GuestClock& clock() { return w.window->guestClock(); }
    QAbstractButton& button(const char* name) { return w.find<QAbstractButton>(name); }
    QString joinStrings() { return w.find<QPlainTextEdit>("JoinStrings").toPlainText(); }

    void selectProject()
    {
        button("kinsorostart").click();
        w.dialogs.files.enqueue(project);
        button("Selectjoin").click();
    }
    // Project chosen, connected, nickname received by the host, "Q=1" answered.
    void join()
    {
        selectProject();
        w.find<QLineEdit>("JoinServer").setText(QStringLiteral("127.0.0.1"));
        button("ConnectJoin").click();
        ASSERT_TRUE(waitFor([&] { return received == "The Player"; })) << received.toStdString();
        say("Q=1");
        ASSERT_TRUE(waitFor([&] { return modes().followMode; }));
    }
    // The host sends bytes and the guest reads them (one read when they are short).
    void say(const QByteArray& bytes)
    {
        const QString before = joinStrings();
        peer->write(bytes);
        peer->flush();
        waitFor([&] {
            return joinStrings() != before || joinStrings() == QString::fromUtf8(bytes).trimmed();
        });
        QTest::qWait(20);
    }

    TestWindow w;
    QTcpServer server;
    QTcpSocket* peer = nullptr;
    QByteArray received;
    bool peerClosed = false;
    QString project;
};

} // namespace

TEST_F(Joining, ConnectNeedsAProjectAndAnAddress)
{
    button("kinsorostart").click();
    EXPECT_TRUE(panel().isVisible());
    EXPECT_EQ(panel().status(), QStringLiteral("Connect to your friend."));
    button("ConnectJoin").setEnabled(true);
    button("ConnectJoin").click();
    EXPECT_EQ(w.dialogs.shown.last(), QStringLiteral("Please select a Folivant project."));

    // Choosing and then cancelling leaves Connect & join disabled.
    button("Selectjoin").click();
    EXPECT_FALSE(button("ConnectJoin").isEnabled());
    EXPECT_EQ(w.find<QLineEdit>("JoinProject").text(), QStringLiteral("Please Select"));
    EXPECT_FALSE(modes().followMode);

    // A chosen project enables it; an empty address then does nothing visible.
    w.dialogs.files.enqueue(project);
    button("Selectjoin").click();
    EXPECT_EQ(w.find<QLineEdit>("JoinProject").text(), QStringLiteral("Duet"));
    EXPECT_TRUE(button("ConnectJoin").isEnabled());
    EXPECT_TRUE(modes().followMode);
    EXPECT_FALSE(w.window->widgets().mainPanel->isVisible());
    w.find<QLineEdit>("JoinServer").clear();
    QSignalSpy statuses(&panel(), &SessionPanel::statusShown);
    button("ConnectJoin").click();
    EXPECT_FALSE(button("ConnectJoin").isEnabled());
    EXPECT_EQ(statuses.count(), 0);
    QTest::qWait(200);
    EXPECT_EQ(peer, nullptr);
    // Disconnect gives the button back.
    button("DisconnectJoin").click();
    EXPECT_TRUE(button("ConnectJoin").isEnabled());
}

TEST_F(Joining, RefusedConnectionAsksToRetry)
{
    selectProject();
    const quint16 closedPort = server.serverPort();
    server.close();
    qputenv("FOLIVANT_SESSION_PORT", QByteArray::number(closedPort));
    w.find<QLineEdit>("JoinServer").setText(QStringLiteral("127.0.0.1"));
    button("ConnectJoin").click();
    ASSERT_TRUE(waitFor([&] { return panel().status() == QStringLiteral("Error. Please retry."); }))
        << panel().status().toStdString();
    EXPECT_TRUE(button("ConnectJoin").isEnabled());
    EXPECT_FALSE(modes().followMode);
    EXPECT_FALSE(w.dialogs.shown.contains(QStringLiteral("Disconnected from host")));
}

TEST_F(Joining, ConnectsSendsTheNicknameAndFollows)
{
    QSignalSpy statuses(&panel(), &SessionPanel::statusShown);
    join();
    QStringList shown;
    for (const auto& s : statuses)
        shown << s[0].toString();
    EXPECT_TRUE(shown.contains(QStringLiteral("Trying to connect to host...")));
    EXPECT_TRUE(shown.contains(QStringLiteral(
        "Allmost connected, waiting for final confirmation. If there is no change, try again!")));
    EXPECT_EQ(shown.last(), QStringLiteral("Connected."));
    EXPECT_EQ(w.dialogs.shown.last(), QStringLiteral("Connected."));
    EXPECT_EQ(received, QByteArray("The Player")); // bare: no key, no LF
    EXPECT_EQ(guest().socket()->socketOption(QAbstractSocket::LowDelayOption).toInt(), 1);
    EXPECT_FALSE(panel().isVisible());
    EXPECT_TRUE(w.window->widgets().mainPanel->isVisible());
    EXPECT_TRUE(w.find<QWidget>("stopkinsoro").isVisible());
    EXPECT_FALSE(w.find<QWidget>("MainPanel_Play").isVisible());
    EXPECT_TRUE(w.find<QWidget>("stopkinsoroMenu").isVisible());
    EXPECT_FALSE(w.find<QSlider>("TrackBar").isEnabled());

    // The start message.
    say("J=6000\nT=1\nU=1\nI=0\n");
    EXPECT_EQ(w.find<QSlider>("TrackBar").maximum(), 6000);
    EXPECT_EQ(w.find<QLineEdit>("PitchEdit").text(), QStringLiteral("1"));
    EXPECT_EQ(w.find<QLabel>("TempoLevel").text(), QStringLiteral("1X"));
    EXPECT_FALSE(state().replayActive);
}

TEST_F(Joining, ReadsSplitAndJoinedMessagesAsTheyCome)
{
    join();
    // A line cut in two: the first part is read as it stands, the rest is no key.
    say("Z=12.3");
    EXPECT_DOUBLE_EQ(clock().value(), 12.3);
    say("4\n");
    EXPECT_EQ(joinStrings(), QStringLiteral("4"));
    EXPECT_DOUBLE_EQ(clock().value(), 12.3);

    // Two messages in one read: Z before C whatever their order; the first Z counts.
    say("C=30.25\nA=1\nT=2\nZ=5\nZ=6\n");
    EXPECT_NEAR(clock().value(), 30.25, 0.25); // JoinTimer runs on from 30.25
    EXPECT_TRUE(joinTimer().isActive());
    EXPECT_EQ(joinTimer().interval(), 50);
    EXPECT_EQ(w.find<QLineEdit>("PitchEdit").text(), QStringLiteral("2"));

    // Stop: C is applied before S.
    say("S=1\nI=1\nC=7.5\n");
    EXPECT_FALSE(joinTimer().isActive());
    EXPECT_DOUBLE_EQ(clock().value(), 7.5);
    EXPECT_TRUE(state().replayActive);

    // The guest clock runs at the tempo by the monotonic clock, however often JoinTimer
    // ticks (replay off, or the follow tick would loop the clock back to the start of the
    // empty range).
    say("T=0.3\nA=1\nI=0\n");
    EXPECT_FALSE(state().replayActive);
    EXPECT_EQ(joinTimer().interval(), 333);
    w.advanceClock(1.0);
    guest().JoinTimerTimer();
    EXPECT_NEAR(clock().value(), 7.8, 1e-9);
    // Rewind puts it to 0 whether the timer runs or not; a paused guest follows Z.
    say("P=1\nB=1\n");
    EXPECT_FALSE(joinTimer().isActive());
    EXPECT_DOUBLE_EQ(clock().value(), 0.0);
    say("Z=3.5\n");
    EXPECT_DOUBLE_EQ(clock().value(), 3.5);

    // Replay range from the host.
    say("R=2\nY=4\n");
    EXPECT_DOUBLE_EQ(state().replayStart, 2.0);
    EXPECT_DOUBLE_EQ(state().replayEnd, 4.0);
    say("G=1\n");
    EXPECT_TRUE(state().replayActive);
    EXPECT_TRUE(joinTimer().isActive());
    EXPECT_NEAR(clock().value(), 2.0, 0.15);
    say("U=0\n");
    EXPECT_DOUBLE_EQ(state().replayEnd, 0.0);
    EXPECT_FALSE(state().replayActive);
    say("P=1\n");

    // Ping: echoed bare; latency (ms) is added to later positions, in seconds.
    received.clear();
    say("W=42\n");
    ASSERT_TRUE(waitFor([&] { return received == "W=42"; })) << received.toStdString();
    say("O=20\nZ=10\n"); // O comes after Z in the fixed order
    EXPECT_DOUBLE_EQ(clock().value(), 10.0);
    say("Z=10\n");
    EXPECT_NEAR(clock().value(), 10.02, 1e-9);

    // The player status is shown as plain text.
    say("M=<b>Playing</b>\n");
    auto& status = w.find<QLabel>("MPlayer_Status");
    EXPECT_EQ(status.text(), QStringLiteral("<b>Playing</b>"));
    EXPECT_EQ(status.textFormat(), Qt::PlainText);

    // "D=0" does nothing.
    say("D=0\n");
    EXPECT_TRUE(modes().followMode);
}

TEST_F(Joining, NumbersThatAreNotNumbersAreReportedOnce)
{
    join();
    const qsizetype before = w.dialogs.shown.size();
    say("C=1\n");
    for (int i = 0; i < 4; ++i)
        say(QByteArray("Z=abc\nT=3\nC=2\n") + QByteArray::number(i) + "\n");
    // Reading stops at Z: neither C nor T is handled.
    EXPECT_EQ(w.find<QLineEdit>("PitchEdit").text(), QStringLiteral("1.00"));
    EXPECT_DOUBLE_EQ(clock().value(), 1.0);
    ASSERT_EQ(w.dialogs.shown.size(), before + 1);
    EXPECT_TRUE(w.dialogs.shown.last().contains(QStringLiteral("abc")));

    // A cue that is not a number leaves JoinTimer stopped.
    say("A=1\n");
    ASSERT_TRUE(joinTimer().isActive());
    say("C=x1\n");
    EXPECT_FALSE(joinTimer().isActive());
    EXPECT_EQ(w.dialogs.shown.size(), before + 2);
    EXPECT_TRUE(modes().followMode);
}

TEST_F(Joining, HostEndingTheSessionDisconnectsQuietly)
{
    join();
    say("D=1\nA=1\n");
    EXPECT_EQ(panel().status(), QStringLiteral("The host has stopped the Kinsoro session."));
    EXPECT_FALSE(modes().followMode);
    EXPECT_TRUE(panel().isVisible());
    EXPECT_FALSE(w.window->widgets().mainPanel->isVisible());
    EXPECT_FALSE(joinTimer().isActive());
    // The chosen project stays and Connect & join is offered again.
    EXPECT_EQ(w.find<QLineEdit>("JoinProject").text(), QStringLiteral("Duet"));
    EXPECT_TRUE(button("ConnectJoin").isEnabled());
    EXPECT_TRUE(waitFor([&] { return peerClosed; }));
    QTest::qWait(100);
    EXPECT_FALSE(w.dialogs.shown.contains(QStringLiteral("Disconnected from host")));
}

TEST_F(Joining, HostClosingTheConnectionIsReported)
{
    join();
    peer->disconnectFromHost();
    ASSERT_TRUE(waitFor([&] {
        return panel().status() == QStringLiteral("Disconnected from host");
    })) << panel().status().toStdString();
    EXPECT_EQ(w.dialogs.shown.count(QStringLiteral("Disconnected from host")), 1);
    EXPECT_FALSE(modes().followMode);
    EXPECT_TRUE(button("ConnectJoin").isEnabled());
    EXPECT_TRUE(panel().isVisible());
}

TEST_F(Joining, LeavingClosesWithoutTheDisconnectedMessage)
{
    join();
    button("stopkinsoro").click();
    EXPECT_FALSE(modes().followMode);
    EXPECT_TRUE(panel().isVisible());
    EXPECT_FALSE(w.find<QWidget>("stopkinsoro").isVisibleTo(w.window.get()));
    EXPECT_TRUE(waitFor([&] { return peerClosed; }));
    QTest::qWait(100);
    EXPECT_FALSE(w.dialogs.shown.contains(QStringLiteral("Disconnected from host")));
    EXPECT_EQ(panel().status(), QStringLiteral("Connect to your friend."));
}

TEST_F(Joining, AnOverlongLineIsDroppedAndTheMessagesAfterItAreRead)
{
    join();
    peer->write("Z=" + QByteArray(1024 * 1024, '1') + "\nZ=5\nT=2\n");
    EXPECT_TRUE(waitFor([&] { return clock().value() == 5.0; })) << clock().value();
    EXPECT_EQ(joinTimer().interval(), 50);
    EXPECT_TRUE(modes().followMode);
}

TEST_F(Joining, WhatArrivedWhileABoxWasOpenIsReadWhenItCloses)
{
    join();
    // The conversion error's box stays open a while; the host's next message arrives then.
    w.dialogs.holdMs = 400;
    QTimer::singleShot(100, peer, [this] { peer->write("Z=9\n"); });
    peer->write("Z=nine\n");
    EXPECT_TRUE(waitFor([&] { return clock().value() == 9.0; }));
    EXPECT_EQ(w.dialogs.shown.count(QStringLiteral("'nine' is not a valid floating point value")),
              1);
}

// A host that floods the guest while one of its message boxes is open is held back by the
// network, not buffered: the guest's memory stays where it was.
TEST_F(Joining, AFloodWhileABoxIsOpenIsHeldBackNotBuffered)
{
    join();
    const auto* client = w.window->findChild<QTcpSocket*>(QStringLiteral("ClientSocket"));
    ASSERT_NE(client, nullptr);
    const qint64 idleKiB = memoryKiB("VmRSS:");
    resetPeakMemory();

    w.dialogs.holdMs = 2000; // the error box of "Z=nine" stays open
    bool flooding = true;
    qint64 sent = 0;
    qint64 mostBuffered = 0;
    const QByteArray chunk(1 << 20, 'x');
    const auto pump = [&] {
        mostBuffered = std::max(mostBuffered, client->bytesAvailable());
        while (flooding && peer->bytesToWrite() < 4 * chunk.size()) {
            peer->write(chunk);
            sent += chunk.size();
        }
    };
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, pump);
    QObject::connect(peer, &QIODevice::bytesWritten, &sampler, pump);
    sampler.start(10);
    QTimer::singleShot(1800, &sampler, [&] { flooding = false; });
    peer->write("Z=nine\n");
    pump();
    ASSERT_TRUE(waitFor([&] { return !flooding; }));
    sampler.stop();

    // After the box, the flood is read and dropped, and the host is heard again.
    peer->write("\nZ=7\n");
    EXPECT_TRUE(waitFor([&] { return clock().value() == 7.0; })) << clock().value();
    EXPECT_LE(mostBuffered, sessionsocket::kBufferCap);
    EXPECT_LT(sent, 256 * chunk.size());
    // AddressSanitizer keeps freed memory in quarantine: the peak means nothing there.
    if (!kSanitized) {
        EXPECT_LT(memoryKiB("VmHWM:") - idleKiB, 64 * 1024) << "sent " << sent;
    }
}

TEST_F(Joining, AcceptanceAfterTheConnectionDroppedDisconnects)
{
    selectProject();
    guest().readText(QStringLiteral("Q=1"));
    EXPECT_FALSE(modes().followMode);
    EXPECT_EQ(panel().status(), QStringLiteral("Connect to your friend."));
    EXPECT_FALSE(w.dialogs.shown.contains(QStringLiteral("Connected.")));
}

TEST_F(Joining, JoinTimerStopsItselfOutsideFollowMode)
{
    joinTimer().start();
    clock().set(1);
    guest().JoinTimerTimer();
    EXPECT_FALSE(joinTimer().isActive());
    EXPECT_DOUBLE_EQ(clock().value(), 1.0);
}

TEST_F(Joining, TheNicknameGoesOutAsEightBitText)
{
    selectProject();
    w.find<QLineEdit>("JoinServer").setText(QStringLiteral("127.0.0.1"));
    w.find<QLineEdit>("JoinNick").setText(QStringLiteral("Zo\u00eb"));
    button("ConnectJoin").click();
    EXPECT_TRUE(waitFor([&] { return received == QByteArray("Zo\xeb"); }))
        << received.toStdString();
}

// A host playing at tempo 1 or 2 sends "Z=" every 250 ms, each read by the guest after a
// jitter of 0 to 30 ms: the guest's clock keeps within a few milliseconds of the host's
// position (setting it to each late report would leave it 15 ms behind on average).
// Cues, rewinds and "B=1" still move it at once.
class GuestInStep : public Joining, public ::testing::WithParamInterface<double> {};

TEST_P(GuestInStep, FollowsThroughJitterAndJumpsAtOnce)
{
    const double tempo = GetParam();
    join();
    const QByteArray tempoText = QByteArray::number(tempo);
    say("C=10\nA=1\nT=" + tempoText + "\n");
    std::mt19937 random(13);
    std::uniform_real_distribution<double> jitter(0, 0.03);
    double host = 10;
    std::vector<double> errors;
    for (int report = 0; report < 48; ++report) {
        const double late = jitter(random);
        w.advanceClock(late);
        say("Z=" + QByteArray::number(host, 'f', 5) + "\n");
        w.advanceClock(0.25 - late);
        host += 0.25 * tempo;
        if (report >= 8)
            errors.push_back(std::abs(clock().value() - host) / tempo * 1000); // ms behind
    }
    double sum = 0;
    for (double e : errors)
        sum += e;
    EXPECT_LE(sum / static_cast<double>(errors.size()), 8.0);
    EXPECT_LE(*std::max_element(errors.begin(), errors.end()), 20.0);

    // A marker entry chosen on the host, a rewind, and "B=1" alone: at once.
    say("C=42\n");
    EXPECT_DOUBLE_EQ(clock().value(), 42.0);
    EXPECT_TRUE(clock().running());
    w.advanceClock(0.25);
    say("Z=" + QByteArray::number(42 + 0.25 * tempo, 'f', 5) + "\n");
    EXPECT_NEAR(clock().value(), 42 + 0.25 * tempo, 1e-9);
    say("C=0\nB=1\n");
    EXPECT_DOUBLE_EQ(clock().value(), 0.0);
    w.advanceClock(0.5);
    say("B=1\n");
    EXPECT_DOUBLE_EQ(clock().value(), 0.0);
    // A seek with the timeline while playing: paused, then played on from the new place.
    say("P=1\n");
    say("C=20\n");
    EXPECT_DOUBLE_EQ(clock().value(), 20.0);
    say("C=20\nA=1\n");
    w.advanceClock(0.1);
    EXPECT_NEAR(clock().value(), 20 + 0.1 * tempo, 1e-9);

    // The marker is shown on time by the guest clock too: entry 1 is due in 0.5 s of
    // playing time.
    say("C=0.5\n");
    QTimer& shot = w.window->follower().showTimer();
    ASSERT_TRUE(shot.isActive());
    EXPECT_EQ(shot.interval(), std::lround(500 / tempo));
    say("P=1\n");
    EXPECT_FALSE(shot.isActive());
}

// A host whose recording ends stops without a pause message and goes on reporting its last
// place: the guest holds that place instead of running on past the end, and moves again
// with the host.
TEST_F(Joining, AHostStandingStillIsHeldThere)
{
    join();
    say("C=29\nA=1\nT=0.75\n");
    for (double host : {29.1875, 29.375, 29.5625, 29.75, 29.9375, 30.0, 30.0, 30.0, 30.0}) {
        w.advanceClock(0.25);
        say("Z=" + QByteArray::number(host, 'f', 5) + "\n");
    }
    EXPECT_DOUBLE_EQ(clock().value(), 30.0);
    w.advanceClock(0.2);
    EXPECT_DOUBLE_EQ(clock().value(), 30.0);
    EXPECT_TRUE(clock().running());

    // Played again from the start (rewind, play): running at once.
    say("C=0\nA=1\n");
    w.advanceClock(0.4);
    EXPECT_NEAR(clock().value(), 0.3, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Tempo, GuestInStep, ::testing::Values(1.0, 2.0));
