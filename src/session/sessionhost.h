#pragma once

#include "session/broadcast.h"
#include "session/hostconnections.h"

#include <QObject>
#include <QSet>
#include <QTimer>
#include <functional>

class QPushButton;
class QTcpSocket;
class QWidget;
class Dialogs;
class Opening;
class Player;
class SessionGuest;
class SessionPanel;
struct MainWidgets;
struct Workspace;

// The host side of a Kinsoro session: listening for guests (port 3000, or
// FOLIVANT_SESSION_PORT), the list of connected friends `connectedf`, choosing the
// project, Go! with the start message and the one-time latency ping, the position
// broadcast `HostTimer`, and ending the session.
//
// While hosting mode is on, newcomers are closed at once and the session broadcast sends
// every transport, replay and tempo command to the guests.
class SessionHost : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void()> modeRefresh;
        std::function<void()> hotKeysOn;      // remembered flags on, keys active
        std::function<int()> timelineMaximum; // `TrackBar`'s maximum
    };

    SessionHost(const MainWidgets& widgets, Workspace& workspace, Player& player, Dialogs& dialogs,
                Opening& opening, SessionPanel& panel, Hooks hooks, QObject* parent = nullptr);
    ~SessionHost() override;

    // The guest side, whose disconnect routine ending the session runs.
    void setGuest(SessionGuest* guest) { m_guest = guest; }

    SessionBroadcast& broadcast() { return m_broadcast; }
    HostConnections& connections() { return m_connections; }
    QTimer& hostTimer() { return m_hostTimer; }
    QTimer& pingTimer() { return m_pingTimer; }
    // `StopHostKinsoro` "stop Kinsoro"; shown by the mode refresh in hosting mode.
    QPushButton* stopButton() const { return m_stopButton; }

    // The port listened on: FOLIVANT_SESSION_PORT when it names a port, else 3000.
    static quint16 sessionPort();
    // 0 before an attempt to listen, 1 during the single retry (process-wide).
    static int listenRetryCount();

    long long pingClock() const { return m_pingClock; }
    int echoCount() const { return m_echoCount; }
    int expectedEchoes() const { return m_expectedEchoes; }

    // Commands and events, in the order a session runs.
    void hostTabShown();
    void hostSelectClick();
    void removeSelectedClick();
    void hostGoClick();
    void HostTimerTimer();
    void PingTimerTimer();
    // Ends the session (`StopHostKinsoro`, `stopkinsoroMenu`, the guest's `stopkinsoro`):
    // "D=1" to the guests, modes off, the disconnect routine. byUser: a control gave it.
    void endSession(bool byUser);

    // Part of the disconnect routine: connectedf cleared, hosting mode off, the server
    // closed and made ready anew (not listening).
    void resetForJoin();

private:
    bool attemptListen();
    void lookUpOwnAddress();
    void guestConnected(QTcpSocket* socket);
    void guestText(QTcpSocket* socket, const QString& text);
    void guestGone(QTcpSocket* socket);
    void echoReceived(QTcpSocket* socket, const QString& value);
    void stopPingWhenAnswered();
    bool hasEntry(const QTcpSocket* socket) const;
    QTcpSocket* socketOf(int row) const;

    const MainWidgets& m_w;
    Workspace& m_ws;
    Player& m_player;
    Dialogs& m_dialogs;
    Opening& m_opening;
    SessionPanel& m_panel;
    Hooks m_hooks;
    SessionGuest* m_guest = nullptr;
    HostConnections m_connections;
    SessionBroadcast m_broadcast;
    QTimer m_hostTimer;
    QTimer m_pingTimer;
    QPushButton* m_stopButton;
    long long m_pingClock = 0;
    int m_echoCount = 0;
    int m_expectedEchoes = 0;
    // The guests whose ping echo is still awaited; the ping clock stops when none is left.
    QSet<const QTcpSocket*> m_awaitingEcho;
    int m_lookupId = -1;
};
