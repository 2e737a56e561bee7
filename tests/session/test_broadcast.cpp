#include "session/broadcast.h"

#include <QBuffer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "session/hostconnections.h"
#include "wire/messages.h"

namespace {

constexpr int kWaitMs = 5000;

bool waitFor(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, kWaitMs);
}

// A host listening on a free loopback port, with guests connected one after another so
// that guest i is the host's connection i.
class SessionNetwork : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(host.listen(0)) << host.errorString().toStdString(); }

    QTcpSocket& addGuest()
    {
        guests.push_back(std::make_unique<QTcpSocket>());
        QTcpSocket& guest = *guests.back();
        received.emplace_back();
        const std::size_t index = received.size() - 1;
        QObject::connect(&guest, &QIODevice::readyRead, &guest,
                         [this, index, &guest] { received[index] += guest.readAll(); });
        const qsizetype before = host.connections().size();
        guest.connectToHost(QHostAddress::LocalHost, host.serverPort());
        EXPECT_TRUE(waitFor([&] {
            return guest.state() == QAbstractSocket::ConnectedState &&
                   host.connections().size() == before + 1;
        }));
        return guest;
    }

    // Waits until guest i has received as many bytes as expected, then compares them.
    void expectReceived(std::size_t i, const QByteArray& expected)
    {
        ASSERT_TRUE(waitFor([&] { return received[i].size() >= expected.size(); }))
            << i << ": " << received[i].toStdString();
        EXPECT_EQ(received[i], expected) << i;
    }

    void addGuests(int n)
    {
        for (int i = 0; i < n; ++i)
            addGuest();
    }

    bool hosting = true;
    HostConnections host;
    SessionBroadcast broadcast{host, [this] {
                                   return hosting;
                               }};
    std::vector<std::unique_ptr<QTcpSocket>> guests;
    std::vector<QByteArray> received;
};

} // namespace

// ---- Connections ---------------------------------------------------------------------------

TEST_F(SessionNetwork, AcceptsGuestsInOrderWithLowDelay)
{
    QSignalSpy accepted(&host, &HostConnections::newConnection);
    addGuests(3);
    EXPECT_EQ(host.server()->objectName(), QStringLiteral("ServerSocket"));
    ASSERT_EQ(host.connections().size(), 3);
    EXPECT_EQ(accepted.count(), 3);
    for (int i = 0; i < 3; ++i) {
        QTcpSocket* s = host.connections()[i];
        EXPECT_EQ(s->peerPort(), guests[i]->localPort());
        EXPECT_EQ(s->socketOption(QAbstractSocket::LowDelayOption).toInt(), 1);
        EXPECT_EQ(accepted[i][0].value<QTcpSocket*>(), s);
    }
}

TEST_F(SessionNetwork, AGuestThatLeavesIsRemovedAndTheOthersKeepTheirOrder)
{
    addGuests(3);
    QTcpSocket* first = host.connections()[0];
    QTcpSocket* last = host.connections()[2];
    QSignalSpy left(&host, &HostConnections::disconnected);

    guests[1]->disconnectFromHost();
    ASSERT_TRUE(waitFor([&] { return left.count() == 1; }));
    EXPECT_EQ(host.connections(), (QList<QTcpSocket*>{first, last}));
}

TEST_F(SessionNetwork, ListeningOnATakenPortFails)
{
    HostConnections second;
    EXPECT_FALSE(second.listen(host.serverPort()));
    EXPECT_FALSE(second.isListening());
    EXPECT_FALSE(second.errorString().isEmpty());
}

TEST_F(SessionNetwork, TextsReadFromAGuestArriveWhole)
{
    addGuests(2);
    QSignalSpy texts(&host, &HostConnections::textRead);

    guests[1]->write(QByteArray("Ren\xc3\xa9"));
    ASSERT_TRUE(waitFor([&] { return texts.count() == 1; }));
    EXPECT_EQ(texts[0][0].value<QTcpSocket*>(), host.connections()[1]);
    EXPECT_EQ(texts[0][1].toString(), QStringLiteral("Ren\u00e9"));

    // A nickname typed on a machine that sends Windows-1252.
    guests[0]->write(QByteArray("Ren\xe9"));
    ASSERT_TRUE(waitFor([&] { return texts.count() == 2; }));
    EXPECT_EQ(texts[1][1].toString(), QStringLiteral("Ren\u00e9"));

    // The host's reading of an echo.
    guests[0]->write(QByteArray("W="));
    ASSERT_TRUE(waitFor([&] { return texts.count() == 3; }));
    const auto echo = messages::readHostText(texts[2][1].toString());
    EXPECT_EQ(echo.kind, messages::HostText::Kind::Echo);
    EXPECT_EQ(echo.value, QStringLiteral("0"));
}

TEST_F(SessionNetwork, AReadHoldsAtMost64KiBAndTheRestOfABurstIsDropped)
{
    addGuest();
    QSignalSpy texts(&host, &HostConnections::textRead);
    QSignalSpy truncated(&host, &HostConnections::burstTruncated);
    const qint64 total = 1024 * 1024;

    // A megabyte without a line break, handed to the network before the host reads.
    guests[0]->write(QByteArray(total, 'x'));
    while (guests[0]->bytesToWrite() > 0 && guests[0]->waitForBytesWritten(1000)) {
    }

    auto accounted = [&] {
        qint64 sum = 0;
        for (const auto& args : texts)
            sum += args[1].toString().size();
        for (const auto& args : truncated)
            sum += args[1].toLongLong();
        return sum;
    };
    ASSERT_TRUE(waitFor([&] { return accounted() == total; })) << accounted();
    EXPECT_GE(truncated.count(), 1);
    for (const auto& args : texts)
        EXPECT_LE(args[1].toString().size(), sessionsocket::kReadCap);

    // The connection goes on working.
    texts.clear();
    guests[0]->write(QByteArray("W=7"));
    ASSERT_TRUE(waitFor([&] { return texts.count() == 1; }));
    EXPECT_EQ(texts[0][1].toString(), QStringLiteral("W=7"));
}

TEST_F(SessionNetwork, ClosingOneConnectionDeliversWhatWasWrittenFirst)
{
    addGuests(2);
    QSignalSpy left(&host, &HostConnections::disconnected);
    QTcpSocket* removed = host.connections()[0];

    // "Remove selected": "D=1" without LF, then the connection is closed.
    ASSERT_TRUE(sessionsocket::sendText(*removed, messages::removedText()));
    host.closeConnection(removed);
    EXPECT_EQ(left.count(), 1);
    EXPECT_EQ(host.connections().size(), 1);

    ASSERT_TRUE(waitFor([&] { return guests[0]->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(received[0], QByteArray("D=1"));
    EXPECT_EQ(guests[1]->state(), QAbstractSocket::ConnectedState);
}

TEST_F(SessionNetwork, CloseEndsListeningAndEveryConnectionAfterTheLastMessage)
{
    addGuests(2);
    QSignalSpy left(&host, &HostConnections::disconnected);

    broadcast.send(messages::endMessage());
    host.close();
    EXPECT_FALSE(host.isListening());
    EXPECT_TRUE(host.connections().isEmpty());
    EXPECT_EQ(left.count(), 2);

    for (std::size_t i = 0; i < 2; ++i) {
        ASSERT_TRUE(
            waitFor([&] { return guests[i]->state() == QAbstractSocket::UnconnectedState; }));
        EXPECT_EQ(received[i], QByteArray("D=1\n"));
    }
}

// ---- The session broadcast -----------------------------------------------------------------

TEST_F(SessionNetwork, ABroadcastReachesEveryGuestByteExactWithItsFinalLf)
{
    addGuests(3);
    EXPECT_EQ(broadcast.send(messages::playMessage(12.5, QStringLiteral("1.00"))), 3);
    EXPECT_EQ(broadcast.send(messages::statusMessage(QStringLiteral("L\u00e4uft"))), 3);
    EXPECT_EQ(broadcast.send(messages::replayClearMessage()), 3);

    const QByteArray expected =
        QByteArray("C=12.5\nA=1\nT=1.00\n") + QByteArray("M=L\xe4uft\n") + QByteArray("U=1\n");
    for (std::size_t i = 0; i < 3; ++i) {
        expectReceived(i, expected);
    }
}

TEST_F(SessionNetwork, NothingIsSentOutsideHostingMode)
{
    addGuests(2);
    hosting = false;
    EXPECT_FALSE(broadcast.isActive());
    EXPECT_EQ(broadcast.send(messages::endMessage()), 0);
    EXPECT_EQ(broadcast.sendEach([] { return messages::positionMessage(1); }), 0);

    hosting = true;
    EXPECT_EQ(broadcast.send(messages::rewindMessage()), 2);
    for (std::size_t i = 0; i < 2; ++i) {
        expectReceived(i, QByteArray("C=0\nB=1\n"));
    }
}

TEST_F(SessionNetwork, NothingIsSentWhileTheServerIsNotListening)
{
    addGuests(1);
    const quint16 port = host.serverPort();
    host.server()->close(); // the guest's connection stays open
    EXPECT_FALSE(broadcast.isActive());
    EXPECT_EQ(broadcast.send(messages::endMessage()), 0);

    ASSERT_TRUE(host.server()->listen(QHostAddress::Any, port));
    EXPECT_EQ(broadcast.send(messages::tempoMessage(QStringLiteral("2"))), 1);
    expectReceived(0, QByteArray("T=2\n"));
}

TEST_F(SessionNetwork, AFailedSendEndsTheWalk)
{
    addGuests(3);
    QTcpSocket* broken = host.connections()[1];
    {
        // The connection breaks before its disconnection is reported.
        const QSignalBlocker quiet(broken);
        broken->abort();
    }
    ASSERT_EQ(host.connections().size(), 3);

    EXPECT_EQ(broadcast.send(messages::stopMessage(false, 4)), 1);
    expectReceived(0, QByteArray("S=1\nI=0\nC=4\n"));

    // Once the broken connection is gone, the next message reaches the last guest, which
    // shows that the one before never reached it.
    host.closeConnection(broken);
    EXPECT_EQ(broadcast.send(messages::pauseOnlyMessage()), 2);
    expectReceived(2, QByteArray("P=1\n"));
    expectReceived(0, QByteArray("S=1\nI=0\nC=4\nP=1\n"));
}

TEST_F(SessionNetwork, SendEachBuildsTheMessageForEveryConnectionInTurn)
{
    addGuests(3);
    int built = 0;
    EXPECT_EQ(broadcast.sendEach([&] { return messages::positionMessage(0.25 * ++built); }), 3);
    EXPECT_EQ(built, 3);
    const QByteArray expected[] = {"Z=0.25\n", "Z=0.5\n", "Z=0.75\n"};
    for (std::size_t i = 0; i < 3; ++i) {
        expectReceived(i, expected[i]);
    }

    // A failure ends the pass too.
    {
        const QSignalBlocker quiet(host.connections()[0]);
        host.connections()[0]->abort();
    }
    EXPECT_EQ(broadcast.sendEach([] { return messages::pingMessage(0); }), 0);
}

// ---- Host and guest together ---------------------------------------------------------------

TEST_F(SessionNetwork, AGuestReadsTheHostsMessagesAndAnswersThePing)
{
    struct Guest : messages::GuestActions {
        QTcpSocket* socket = nullptr;
        QStringList joinStrings;
        double clock = -1;
        bool playing = false;
        void onLinesRead(const QStringList& l) override { joinStrings = l; }
        void onPosition(double s) override { clock = s; }
        void beforeCue() override {}
        void onCue(double s) override { clock = s; }
        void onTimelineMaximum(long long) override {}
        void onTempo(const QString&, double) override {}
        void onReplayStart(double) override {}
        void onReplayEnd(double) override {}
        void onReplayClear() override {}
        void onHostEnded() override {}
        void onStop() override {}
        void onPause() override {}
        void onReplayActive(bool) override {}
        void onPlay() override { playing = true; }
        void onReplayPlay() override {}
        void onRewind() override {}
        void onAccepted() override {}
        void onPing(const QString& v) override
        {
            sessionsocket::sendText(*socket, messages::echoText(v));
        }
        void onLatency(double) override {}
        void onPlayerStatus(const QString&) override {}
    } actions;

    QTcpSocket& guest = addGuest();
    actions.socket = &guest;
    QObject::disconnect(&guest, &QIODevice::readyRead, nullptr, nullptr);
    QObject::connect(&guest, &QIODevice::readyRead, &guest, [&] {
        sessionsocket::readTexts(guest, [&](const QString& text) {
            messages::readGuestText(text, actions);
            return true;
        });
    });
    QSignalSpy texts(&host, &HostConnections::textRead);

    broadcast.send(messages::playMessage(42.125, QStringLiteral("1")));
    ASSERT_TRUE(waitFor([&] { return actions.playing; }));
    EXPECT_DOUBLE_EQ(actions.clock, 42.125);
    EXPECT_EQ(actions.joinStrings, (QStringList{QStringLiteral("C=42.125"), QStringLiteral("A=1"),
                                                QStringLiteral("T=1")}));

    broadcast.sendEach([] { return messages::pingMessage(86); });
    ASSERT_TRUE(waitFor([&] { return texts.count() == 1; }));
    const auto echo = messages::readHostText(texts[0][1].toString());
    EXPECT_EQ(echo.kind, messages::HostText::Kind::Echo);
    EXPECT_EQ(echo.value, QStringLiteral("86"));
}

// ---- Reading what a connection holds ----------------------------------------------------

namespace {

// The texts one read of the bytes hands on, and how many bytes it dropped.
QStringList readAll(QByteArray bytes, qint64* dropped = nullptr)
{
    QBuffer buffer(&bytes);
    EXPECT_TRUE(buffer.open(QIODevice::ReadOnly));
    QStringList texts;
    const qint64 d = sessionsocket::readTexts(buffer, [&](const QString& text) {
        texts << text;
        return true;
    });
    EXPECT_EQ(buffer.bytesAvailable(), 0);
    if (dropped)
        *dropped = d;
    return texts;
}

} // namespace

TEST(ReadTexts, AnOverlongLineIsDroppedAndTheMessagesAfterItKept)
{
    // A read of ordinary size is one text, as it came, cut lines and all.
    EXPECT_EQ(readAll("Z=5\nT=2\nC=1"), QStringList{QStringLiteral("Z=5\nT=2\nC=1")});

    qint64 dropped = 0;
    const QStringList texts =
        readAll("Z=1\n" + QByteArray(1024 * 1024, 'x') + "\nZ=5\nT=2", &dropped);
    EXPECT_EQ(dropped, 1024 * 1024 + 1);
    EXPECT_EQ(texts, QStringList{QStringLiteral("Z=1\nZ=5\nT=2")});

    // A burst of ordinary lines loses none of them, and each text ends at a line break.
    QByteArray burst;
    for (int i = 0; i < 40000; ++i)
        burst += "Z=" + QByteArray::number(i) + '\n';
    const QStringList parts = readAll(burst, &dropped);
    EXPECT_EQ(dropped, 0);
    EXPECT_GT(parts.size(), 1);
    for (const QString& part : parts)
        EXPECT_TRUE(part.endsWith(QLatin1Char('\n')));
    EXPECT_EQ(parts.join(QString()).toLatin1(), burst);
}

TEST(ReadTexts, DecodesUtf8OrWindows1252)
{
    EXPECT_EQ(readAll(QStringLiteral("Ren\u00e9e").toUtf8()),
              QStringList{QStringLiteral("Ren\u00e9e")});
    EXPECT_EQ(readAll(QByteArray("Ren\xe9\x80", 5)),
              QStringList{QStringLiteral("Ren\u00e9\u20ac")});
    EXPECT_EQ(readAll(QByteArray()), QStringList());
}
