#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Session messages: lines of a one-letter key, "=" and a value, joined by LF.
//
// Builders return the message text. Texts that go out through the session broadcast
// (SessionBroadcast::send) or to every connection in turn (SessionBroadcast::sendEach)
// carry no final LF: the sender appends it. The texts sent straight to one connection
// ("...Text" functions below) are complete as they stand on the wire.
namespace messages {

// A position in seconds rounded to 5 decimals, in the general number form.
QString position(double seconds);
// Lines joined by LF (no final LF).
QString join(const QStringList& lines);

// ---- Host to guests, through the session broadcast ------------------------------------

// Go!: "J=<timeline maximum>\nT=1\nU=1\nI=0". The maximum is the audio duration in
// hundredths of a second.
QString goMessage(long long timelineMaximum);
// Play: "C=<position>\nA=1\nT=<tempo text>". Also the resume after Pause while the
// replay range is active.
QString playMessage(double position, const QString& tempoText);
// Stop: "S=1\nI=<1 when the replay range is active, else 0>\nC=<position>".
QString stopMessage(bool replayActive, double position);
// Pause pressed while paused (the resume): with the replay range active the same text as
// playMessage, otherwise "C=<position>\nA=1".
QString resumeMessage(double position, const QString& tempoText, bool replayActive);
// Pause pressed while not paused: "C=<position>\nP=1".
QString pauseMessage(double position);
// Pause alone, "P=1": sent before a timeline drag while playing, and for a click in the
// marker index list while playing with the replay range active.
QString pauseOnlyMessage();
// Rewind: "C=0\nB=1".
QString rewindMessage();
// A seek (the timeline dragged): "C=<position>", the position rounded to 5 decimals.
QString cueMessage(double position);
// A marker entry chosen by the user: "C=<entry time>", the time rounded to hundredths.
QString markerChosenMessage(double entryTime);
// Replay start / end set: "R=<start>" / "Y=<end>", the stored values as they are.
QString replayStartMessage(double start);
QString replayEndMessage(double end);
// Replay range cleared: "U=1".
QString replayClearMessage();
// Replay Play: "G=1\nT=<tempo text>".
QString replayPlayMessage(const QString& tempoText);
// Tempo field changed: "T=<tempo text>", the text as typed.
QString tempoMessage(const QString& tempoText);
// The player's status text changed: "M=<status text>". Sent only when
// isStatusWorthSending(status) holds.
QString statusMessage(const QString& statusText);
bool isStatusWorthSending(const QString& statusText);
// End of session and window close: "D=1".
QString endMessage();

// ---- Host to every connection in turn (SessionBroadcast::sendEach) --------------------

// The position broadcast: "Z=<position>", 5 decimals.
QString positionMessage(double position);
// The ping at Go!: "W=<ping clock>".
QString pingMessage(long long pingClock);

// ---- Straight to one connection, complete wire texts ----------------------------------

// Host to a new guest: "Q=1", no LF.
QString connectedText();
// Host to a removed guest: "D=1", no LF.
QString removedText();
// Host's answer to one guest's echo: "O=<latency>\n".
QString latencyText(double latency);
// Guest's answer to "W=": "W=<the same value>", no LF.
QString echoText(const QString& pingValue);

// The latency value for an echo: (ping clock now - echoed value) * 0.5, rounded to
// 5 decimals. Both in milliseconds of the host's ping clock.
double latency(long long pingClock, double echoed);

// The JoinTimer interval for a guest tempo: 100 / tempo milliseconds, truncated. A tempo
// that is not a positive finite number gives nullopt (the interval is left as it was); a
// result below 1 ms is raised to 1 ms so the timer never spins.
std::optional<int> joinTimerInterval(double tempo);

// ---- The guest's reading --------------------------------------------------------------

// The keys in the order the guest handles them, whatever their order in the text.
inline constexpr char kGuestKeyOrder[] = "ZCJTRYUDSPIAGBQWOM";

// What a guest does for each key it reads. readGuestText calls these in the fixed key
// order, each at most once per read, with the value of the key's first line.
class GuestActions {
public:
    virtual ~GuestActions() = default;

    // First of all: the lines of the text just read, which replace those kept from the
    // previous read (JoinStrings).
    virtual void onLinesRead(const QStringList& lines) = 0;

    // Z (present): guest clock := seconds.
    virtual void onPosition(double seconds) = 0;
    // C (present) comes in two calls. beforeCue runs before the value is converted: note
    // whether JoinTimer runs and stop it. onCue follows only when the value is a number:
    // guest clock := seconds, then JoinTimer back to the noted state. When the value is
    // not a number, onCue is not called and JoinTimer stays stopped.
    virtual void beforeCue() = 0;
    virtual void onCue(double seconds) = 0;
    // J (present): timeline maximum := integer part of the value (hundredths of a second).
    virtual void onTimelineMaximum(long long hundredths) = 0;
    // T (present): the tempo text as sent (for PitchEdit and TempoLevel) and its value
    // (the guest tempo; see joinTimerInterval).
    virtual void onTempo(const QString& text, double value) = 0;
    // R, Y (present): store the replay start / end and run the replay-start / -end command.
    virtual void onReplayStart(double seconds) = 0;
    virtual void onReplayEnd(double seconds) = 0;
    // U (present, whatever the value): the replay-clear command.
    virtual void onReplayClear() = 0;
    // D (= 1): the host ended the session: Disconnect and show that in the status.
    virtual void onHostEnded() = 0;
    // S, P (= 1): the Stop and Pause commands.
    virtual void onStop() = 0;
    virtual void onPause() = 0;
    // I (present): replay-active flag := the integer value is not 0.
    virtual void onReplayActive(bool active) = 0;
    // A, G, B (= 1): the Play, replay Play and Rewind commands.
    virtual void onPlay() = 0;
    virtual void onReplayPlay() = 0;
    virtual void onRewind() = 0;
    // Q (= 1): the host accepted the connection: the connected routine.
    virtual void onAccepted() = 0;
    // W (present): answer with echoText(value) on the connection.
    virtual void onPing(const QString& value) = 0;
    // O (present): the latency value in milliseconds. A value that is not a number is
    // skipped without an error (the key is informative only).
    virtual void onLatency(double milliseconds) = 0;
    // M (present): the host player's status text.
    virtual void onPlayerStatus(const QString& text) = 0;
};

// Handles one text read by a guest: cuts it into lines at CR, LF or CR LF, hands them to
// onLinesRead, then runs the actions of the keys present, in kGuestKeyOrder. A key is
// found by the first line whose name equals it, letter case ignored. Z, C, J, T, R, Y, U,
// I, W, O and M act whenever their line exists; D, S, P, A, G, B and Q only when the
// value is exactly "1".
//
// When the value of Z, C, J, T, R, Y or I is not a number, the reading ends at that key
// (the keys after it are not handled) and the conversion error text is returned for the
// caller to report. Otherwise nullopt.
std::optional<QString> readGuestText(const QString& text, GuestActions& actions);

// ---- The host's reading ---------------------------------------------------------------

struct HostText {
    enum class Kind { Echo, Nickname };
    Kind kind = Kind::Nickname;
    // Echo: the echoed ping value ("0" when the echo was empty). Nickname: the whole text.
    QString value;
};

// A text that begins with "W=" is a ping echo; anything else, unsplit, is a nickname.
HostText readHostText(const QString& text);

} // namespace messages
