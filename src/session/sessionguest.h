#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

class QAbstractButton;
class QPushButton;
class QSlider;
class QTcpSocket;
class QTimer;
class QWidget;
class Dialogs;
class ErrorReport;
class GuestClock;
class Opening;
class Player;
class ReplayRange;
class SessionHost;
class SessionPanel;
class Tempo;
class Transport;
struct PlaybackState;
struct MainWidgets;
struct Workspace;

// The guest side of a Kinsoro session: the Join tab, choosing the project in follow mode,
// Connect & join with its retries, the events of `ClientSocket`, the guest's handling of
// every host message, the guest clock and `JoinTimer`, Disconnect and leaving.
//
// A guest plays no audio. In follow mode its transport, replay and tempo commands act on
// the guest clock (GuestClock), which runs at the host's tempo while `JoinTimer` runs.
// Positions from the host count with the latency the host measured with its ping,
// converted to seconds: "C=" sets the clock at once, "Z=" is weighed against it (jitter is
// smoothed). "T=" sets both the `JoinTimer` interval (100 / tempo ms) and the clock's rate.
class SessionGuest : public QObject {
    Q_OBJECT
public:
    struct Commands {
        Transport* transport = nullptr;
        ReplayRange* replay = nullptr;
        Tempo* tempo = nullptr;
    };
    struct Hooks {
        std::function<void()> modeRefresh;
    };

    SessionGuest(const MainWidgets& widgets, Workspace& workspace, PlaybackState& state,
                 Player& player, Dialogs& dialogs, ErrorReport& errors, Opening& opening,
                 GuestClock& guestClock, SessionPanel& panel, SessionHost& host, Commands commands,
                 Hooks hooks, QObject* parent = nullptr);
    ~SessionGuest() override;

    // `ClientSocket`; made afresh by every close.
    QTcpSocket* socket() const { return m_socket; }
    // `stopkinsoro` "stop Kinsoro", placed by the main window.
    QPushButton* leaveButton() const { return m_leaveButton; }
    int connectRetryCount() const { return m_retryCount; }
    // The latency the host measured, in seconds; added to the positions received.
    double latency() const { return m_latency; }

    // Join tab shown (byUser: the user showed it; the disconnect routine runs it too).
    void joinTabShown(bool byUser);
    void selectJoinClick();
    void connectJoinClick();
    // `DisconnectJoin`, also run by the session's end, "D=1" and the socket's events.
    // Never re-enters itself.
    void disconnectCommand();
    // `stopkinsoro` and `stopkinsoroMenu`: the session's end.
    void leaveSession();
    // Outside follow mode stops `JoinTimer` (and the clock); in it, the clock runs on.
    void JoinTimerTimer();

    // Closes `ClientSocket` without reporting anything and makes a fresh one.
    void closeClient();
    void hideLeaveButton();

    // The guest's reading of one text from the host; public for the socket's read event.
    void readText(const QString& text);

private:
    class Actions;
    friend class Actions;

    void makeSocket();
    bool attemptConnect();
    void socketConnected();
    void socketReadyRead();
    void socketDisconnected();
    void socketError();
    void connectedRoutine();
    double withLatency(double seconds) const;

    const MainWidgets& m_w;
    Workspace& m_ws;
    PlaybackState& m_state;
    Player& m_player;
    Dialogs& m_dialogs;
    ErrorReport& m_errors;
    Opening& m_opening;
    GuestClock& m_clock;
    SessionPanel& m_panel;
    SessionHost& m_host;
    Commands m_commands;
    Hooks m_hooks;
    QTcpSocket* m_socket = nullptr;
    QPushButton* m_leaveButton;
    int m_retryCount = 0;
    bool m_attempting = false;
    bool m_attemptFailed = false;
    bool m_inDisconnect = false;
    // Set when "D=1" ended the session in the middle of a read: the rest is not handled.
    bool m_readEnded = false;
    bool m_cueTimerWasRunning = false;
    double m_latency = 0;
    // Counts the sockets made, so a handler can tell that its socket was replaced.
    int m_socketGeneration = 0;
};
