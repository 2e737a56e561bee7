#include "wire/messages.h"

#include <gtest/gtest.h>

using namespace messages;

namespace {

// Records every action the guest's reading asks for, in order, as short texts.
class RecordingGuest : public GuestActions {
public:
    QStringList log;
    QStringList lines;

    void onLinesRead(const QStringList& l) override { lines = l; }
    void onPosition(double s) override { add(QStringLiteral("Z"), s); }
    void beforeCue() override { log << QStringLiteral("C?"); }
    void onCue(double s) override { add(QStringLiteral("C"), s); }
    void onTimelineMaximum(long long h) override { log << QStringLiteral("J %1").arg(h); }
    void onTempo(const QString& text, double v) override
    {
        log << QStringLiteral("T %1 %2").arg(text).arg(v);
    }
    void onReplayStart(double s) override { add(QStringLiteral("R"), s); }
    void onReplayEnd(double s) override { add(QStringLiteral("Y"), s); }
    void onReplayClear() override { log << QStringLiteral("U"); }
    void onHostEnded() override { log << QStringLiteral("D"); }
    void onStop() override { log << QStringLiteral("S"); }
    void onPause() override { log << QStringLiteral("P"); }
    void onReplayActive(bool a) override { log << QStringLiteral("I %1").arg(a); }
    void onPlay() override { log << QStringLiteral("A"); }
    void onReplayPlay() override { log << QStringLiteral("G"); }
    void onRewind() override { log << QStringLiteral("B"); }
    void onAccepted() override { log << QStringLiteral("Q"); }
    void onPing(const QString& v) override { log << QStringLiteral("W ") + v; }
    void onLatency(double ms) override { add(QStringLiteral("O"), ms); }
    void onPlayerStatus(const QString& t) override { log << QStringLiteral("M ") + t; }

private:
    void add(const QString& key, double v) { log << key + QLatin1Char(' ') + QString::number(v); }
};

struct Read {
    QStringList log;
    std::optional<QString> error;
};

Read readAsGuest(const QString& text)
{
    RecordingGuest guest;
    const auto error = readGuestText(text, guest);
    return {guest.log, error};
}

QStringList L(std::initializer_list<const char*> items)
{
    QStringList out;
    for (const char* i : items)
        out << QString::fromUtf8(i);
    return out;
}

} // namespace

// ---- The host's messages, as whole texts -------------------------------------------------

TEST(HostMessages, TransportTexts)
{
    EXPECT_EQ(goMessage(18734), QStringLiteral("J=18734\nT=1\nU=1\nI=0"));
    EXPECT_EQ(playMessage(12.5, QStringLiteral("1.00")), QStringLiteral("C=12.5\nA=1\nT=1.00"));
    EXPECT_EQ(stopMessage(true, 30.25), QStringLiteral("S=1\nI=1\nC=30.25"));
    EXPECT_EQ(stopMessage(false, 0), QStringLiteral("S=1\nI=0\nC=0"));
    EXPECT_EQ(resumeMessage(7, QStringLiteral("0.85"), true), QStringLiteral("C=7\nA=1\nT=0.85"));
    EXPECT_EQ(resumeMessage(7, QStringLiteral("0.85"), false), QStringLiteral("C=7\nA=1"));
    EXPECT_EQ(pauseMessage(3.1), QStringLiteral("C=3.1\nP=1"));
    EXPECT_EQ(pauseOnlyMessage(), QStringLiteral("P=1"));
    EXPECT_EQ(rewindMessage(), QStringLiteral("C=0\nB=1"));
    EXPECT_EQ(endMessage(), QStringLiteral("D=1"));
}

TEST(HostMessages, ReplayTempoAndStatusTexts)
{
    EXPECT_EQ(replayStartMessage(12.34), QStringLiteral("R=12.34"));
    EXPECT_EQ(replayEndMessage(61), QStringLiteral("Y=61"));
    EXPECT_EQ(replayClearMessage(), QStringLiteral("U=1"));
    EXPECT_EQ(replayPlayMessage(QStringLiteral("1.5")), QStringLiteral("G=1\nT=1.5"));
    // The tempo text goes out as typed, not reformatted.
    EXPECT_EQ(tempoMessage(QStringLiteral("1,20")), QStringLiteral("T=1,20"));
    EXPECT_EQ(statusMessage(QStringLiteral("Playing")), QStringLiteral("M=Playing"));
    EXPECT_TRUE(isStatusWorthSending(QStringLiteral("Playing")));
    EXPECT_FALSE(isStatusWorthSending(QString()));
    EXPECT_FALSE(isStatusWorthSending(QStringLiteral("0")));
}

TEST(HostMessages, PositionsRoundToFiveDecimalsAndEntryTimesToHundredths)
{
    EXPECT_EQ(positionMessage(12.3456789), QStringLiteral("Z=12.34568"));
    EXPECT_EQ(positionMessage(0.000004), QStringLiteral("Z=0"));
    EXPECT_EQ(cueMessage(99.999996), QStringLiteral("C=100"));
    EXPECT_EQ(playMessage(1.000006, QStringLiteral("1")), QStringLiteral("C=1.00001\nA=1\nT=1"));
    EXPECT_EQ(markerChosenMessage(12.345), QStringLiteral("C=12.35"));
    EXPECT_EQ(markerChosenMessage(4), QStringLiteral("C=4"));
}

TEST(HostMessages, DirectTextsAndPing)
{
    EXPECT_EQ(connectedText(), QStringLiteral("Q=1"));
    EXPECT_EQ(removedText(), QStringLiteral("D=1"));
    EXPECT_EQ(pingMessage(0), QStringLiteral("W=0"));
    EXPECT_EQ(pingMessage(1234), QStringLiteral("W=1234"));
    EXPECT_EQ(echoText(QStringLiteral("1234")), QStringLiteral("W=1234"));
    EXPECT_EQ(latencyText(31.5), QStringLiteral("O=31.5\n"));
}

TEST(HostMessages, LatencyIsHalfTheRoundTripRoundedToFiveDecimals)
{
    EXPECT_DOUBLE_EQ(latency(100, 37), 31.5);
    EXPECT_DOUBLE_EQ(latency(10, 3.000001), 3.5);
    EXPECT_DOUBLE_EQ(latency(7, 0.333333), 3.33333);
    EXPECT_EQ(latencyText(latency(7, 0.333333)), QStringLiteral("O=3.33333\n"));
}

TEST(HostMessages, JoinTimerIntervalFollowsTheTempo)
{
    EXPECT_EQ(joinTimerInterval(1), 100);
    EXPECT_EQ(joinTimerInterval(2), 50);
    EXPECT_EQ(joinTimerInterval(0.3), 333);
    EXPECT_EQ(joinTimerInterval(0.5), 200);
    EXPECT_EQ(joinTimerInterval(1000), 1);
    EXPECT_EQ(joinTimerInterval(0), std::nullopt);
    EXPECT_EQ(joinTimerInterval(-1), std::nullopt);
    EXPECT_EQ(joinTimerInterval(1e-300), std::numeric_limits<int>::max());
}

// ---- The guest's reading -----------------------------------------------------------------

TEST(GuestReading, PlayMessageStopsTheTimerForTheCueThenSetsTempoThenPlays)
{
    const Read r = readAsGuest(playMessage(12.5, QStringLiteral("1.00")));
    EXPECT_EQ(r.log, L({"C?", "C 12.5", "T 1.00 1", "A"}));
    EXPECT_EQ(r.error, std::nullopt);
}

TEST(GuestReading, KeysActInTheFixedOrderWhateverTheirOrderInTheText)
{
    // Stop: the clock is set before Stop runs, because C comes before S.
    EXPECT_EQ(readAsGuest(stopMessage(true, 30.25)).log, L({"C?", "C 30.25", "S", "I 1"}));
    // Z then C overwrites the clock.
    EXPECT_EQ(readAsGuest(QStringLiteral("C=4\nZ=3")).log, L({"Z 3", "C?", "C 4"}));
    // Every key at once, listed backwards.
    const Read all = readAsGuest(
        QStringLiteral("M=Playing\nO=2.5\nW=88\nQ=1\nB=1\nG=1\nA=1\nI=1\nP=1\nS=1\nD=1\nU=1\n"
                       "Y=20\nR=10\nT=2\nJ=500\nC=1\nZ=0.5"));
    EXPECT_EQ(all.log, L({"Z 0.5", "C?", "C 1", "J 500", "T 2 2", "R 10", "Y 20", "U", "D", "S",
                          "P", "I 1", "A", "G", "B", "Q", "W 88", "O 2.5", "M Playing"}));
}

TEST(GuestReading, SeveralMessagesInOneReadActOnceEachWithTheFirstValue)
{
    const QString twoReads =
        positionMessage(5) + QLatin1Char('\n') + positionMessage(6) + QLatin1Char('\n');
    EXPECT_EQ(readAsGuest(twoReads).log, L({"Z 5"}));
    EXPECT_EQ(readAsGuest(QStringLiteral("A=1\nT=1.5\nA=1\nT=3\n")).log, L({"T 1.5 1.5", "A"}));
    // The first line of a key decides, even when a later one would act.
    EXPECT_EQ(readAsGuest(QStringLiteral("D=0\nD=1")).log, QStringList());
}

TEST(GuestReading, KeysIgnoreLetterCaseAndLinesMayEndInCrLfOrCr)
{
    EXPECT_EQ(readAsGuest(QStringLiteral("z=3\r\nd=1\ra=1\r\n")).log, L({"Z 3", "D", "A"}));
    // A name must be the key alone.
    EXPECT_EQ(readAsGuest(QStringLiteral("ZZ=3\nA 1\n A=1\nA\n")).log, QStringList());
}

TEST(GuestReading, FlagKeysNeedExactlyOnePresentKeysActOnAnyValue)
{
    EXPECT_EQ(readAsGuest(QStringLiteral("D=0")).log, QStringList());
    EXPECT_EQ(readAsGuest(QStringLiteral("D=1")).log, L({"D"}));
    EXPECT_EQ(readAsGuest(QStringLiteral("D=1 ")).log, QStringList());
    EXPECT_EQ(readAsGuest(QStringLiteral("S=0\nP=2\nA=\nG=yes\nB=01\nQ=0")).log, QStringList());
    EXPECT_EQ(readAsGuest(QStringLiteral("S=1\nP=1\nA=1\nG=1\nB=1\nQ=1")).log,
              L({"S", "P", "A", "G", "B", "Q"}));
    EXPECT_EQ(readAsGuest(QStringLiteral("U=0")).log, L({"U"}));
    EXPECT_EQ(readAsGuest(QStringLiteral("U=")).log, L({"U"}));
    EXPECT_EQ(readAsGuest(QStringLiteral("W=\nM=")).log, L({"W ", "M "}));
    EXPECT_EQ(readAsGuest(QStringLiteral("I=0")).log, L({"I 0"}));
    EXPECT_EQ(readAsGuest(QStringLiteral("I=-3")).log, L({"I 1"}));
}

TEST(GuestReading, ValuesAreTheRestOfTheLineAfterTheFirstEquals)
{
    EXPECT_EQ(readAsGuest(QStringLiteral("M=a=b\nJ=12345.9\nT= 0,5")).log,
              L({"J 12345", "T  0,5 0.5", "M a=b"}));
}

TEST(GuestReading, TheLinesOfTheLastReadAreHandedOver)
{
    RecordingGuest guest;
    readGuestText(QStringLiteral("A=1\r\nnickname?\rB=1\n"), guest);
    EXPECT_EQ(guest.lines, L({"A=1", "nickname?", "B=1"}));
    readGuestText(QStringLiteral("Z=1"), guest);
    EXPECT_EQ(guest.lines, L({"Z=1"}));
    readGuestText(QString(), guest);
    EXPECT_TRUE(guest.lines.isEmpty());
}

TEST(GuestReading, ALineSplitOverTwoReadsIsNotReassembled)
{
    const QString message = QStringLiteral("Z=12.5\nA=1\n");
    const Read first = readAsGuest(message.left(4)); // "Z=12"
    const Read second = readAsGuest(message.mid(4)); // ".5\nA=1\n"
    EXPECT_EQ(first.log, L({"Z 12"}));
    EXPECT_EQ(second.log, L({"A"}));
}

TEST(GuestReading, AValueThatIsNotANumberEndsTheReadingAtItsKey)
{
    const Read r = readAsGuest(QStringLiteral("Z=1\nA=1\nT=2\nC=abc"));
    EXPECT_EQ(r.log, L({"Z 1", "C?"})); // the cue timer stays stopped: no "C" follows
    EXPECT_EQ(r.error, QStringLiteral("'abc' is not a valid floating point value"));

    const Read empty = readAsGuest(QStringLiteral("Z=\nA=1"));
    EXPECT_TRUE(empty.log.isEmpty());
    EXPECT_EQ(empty.error, QStringLiteral("'' is not a valid floating point value"));

    const Read i = readAsGuest(QStringLiteral("S=1\nI=1.5\nA=1\nZ=2"));
    EXPECT_EQ(i.log, L({"Z 2", "S"}));
    EXPECT_EQ(i.error, QStringLiteral("'1.5' is not a valid integer value"));

    for (const char* key : {"J", "T", "R", "Y"}) {
        const Read k = readAsGuest(QString::fromLatin1(key) + QStringLiteral("=x\nQ=1"));
        EXPECT_TRUE(k.log.isEmpty()) << key;
        EXPECT_TRUE(k.error.has_value()) << key;
    }
    EXPECT_TRUE(readAsGuest(QStringLiteral("J=1e30")).error.has_value());
}

TEST(GuestReading, ALatencyThatIsNotANumberIsSkippedWithoutAnError)
{
    const Read r = readAsGuest(QStringLiteral("O=fast\nM=Playing"));
    EXPECT_EQ(r.log, L({"M Playing"}));
    EXPECT_EQ(r.error, std::nullopt);
}

TEST(GuestReading, TheHostsBuildersReadBackAsTheirActions)
{
    EXPECT_EQ(readAsGuest(goMessage(18734)).log, L({"J 18734", "T 1 1", "U", "I 0"}));
    EXPECT_EQ(readAsGuest(rewindMessage()).log, L({"C?", "C 0", "B"}));
    EXPECT_EQ(readAsGuest(replayPlayMessage(QStringLiteral("0.3"))).log, L({"T 0.3 0.3", "G"}));
    EXPECT_EQ(readAsGuest(pauseMessage(8.25)).log, L({"C?", "C 8.25", "P"}));
    EXPECT_EQ(readAsGuest(latencyText(latency(50, 10))).log, L({"O 20"}));
}

// ---- The host's reading ------------------------------------------------------------------

TEST(HostReading, EchoOrNickname)
{
    const HostText echo = readHostText(QStringLiteral("W=1234"));
    EXPECT_EQ(echo.kind, HostText::Kind::Echo);
    EXPECT_EQ(echo.value, QStringLiteral("1234"));

    const HostText empty = readHostText(QStringLiteral("W="));
    EXPECT_EQ(empty.kind, HostText::Kind::Echo);
    EXPECT_EQ(empty.value, QStringLiteral("0"));

    // A nickname that begins with "W=" is taken as an echo.
    EXPECT_EQ(readHostText(QStringLiteral("W=ally")).kind, HostText::Kind::Echo);

    const HostText nick = readHostText(QStringLiteral("The Player\nZ=1"));
    EXPECT_EQ(nick.kind, HostText::Kind::Nickname);
    EXPECT_EQ(nick.value, QStringLiteral("The Player\nZ=1"));
    EXPECT_EQ(readHostText(QStringLiteral("w=5")).kind, HostText::Kind::Nickname);
    EXPECT_EQ(readHostText(QString()).kind, HostText::Kind::Nickname);
}
