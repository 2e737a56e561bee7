#include "session/sessionguest.h"

#include "platform/dialogs.h"
#include "platform/errorreport.h"
#include "platform/mainwidgets.h"
#include "playback/guestclock.h"
#include "playback/playbackstate.h"
#include "playback/player.h"
#include "playback/replayrange.h"
#include "playback/tempo.h"
#include "playback/transport.h"
#include "project/workspace.h"
#include "projectview/opening.h"
#include "session/hostconnections.h"
#include "session/sessionhost.h"
#include "session/sessionpanel.h"
#include "wire/messages.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// The most latency a host may announce: beyond it the value is a broken or hostile
// host's, and would throw the guest's clock off by more than any real network does.
constexpr double kMaxLatencySeconds = 5.0;

} // namespace

// What each key of a host's text does on this guest.
class SessionGuest::Actions : public messages::GuestActions {
public:
    explicit Actions(SessionGuest& guest)
        : g(guest)
    {
    }

    void onLinesRead(const QStringList& lines) override
    {
        g.m_panel.joinStrings()->setPlainText(lines.join(QLatin1Char('\n')));
    }
    void onPosition(double seconds) override
    {
        // The host's regular report: weighed against the clock, not a jump.
        if (!g.m_readEnded)
            g.m_clock.follow(g.withLatency(seconds));
    }
    void beforeCue() override
    {
        if (g.m_readEnded)
            return;
        g.m_cueTimerWasRunning = g.m_clock.running();
        g.m_clock.stop();
    }
    void onCue(double seconds) override
    {
        // A command of the host (seek, play, pause, stop, a chosen entry): taken at once.
        if (g.m_readEnded)
            return;
        g.m_clock.set(g.withLatency(seconds));
        if (g.m_cueTimerWasRunning)
            g.m_clock.start();
    }
    void onTimelineMaximum(long long hundredths) override
    {
        if (g.m_readEnded)
            return;
        g.m_w.trackBar->setMaximum(static_cast<int>(std::clamp<long long>(hundredths, 0, INT_MAX)));
    }
    void onTempo(const QString& text, double value) override
    {
        if (g.m_readEnded)
            return;
        if (g.m_commands.tempo)
            g.m_commands.tempo->setText(text);
        if (const auto interval = messages::joinTimerInterval(value)) {
            g.m_clock.joinTimer().setInterval(*interval);
            g.m_clock.setRate(value);
        }
    }
    void onReplayStart(double seconds) override
    {
        if (g.m_readEnded)
            return;
        g.m_state.replayStart = seconds;
        if (g.m_commands.replay)
            g.m_commands.replay->setStart();
    }
    void onReplayEnd(double seconds) override
    {
        if (g.m_readEnded)
            return;
        g.m_state.replayEnd = seconds;
        if (g.m_commands.replay)
            g.m_commands.replay->setEnd(false);
    }
    void onReplayClear() override
    {
        if (!g.m_readEnded && g.m_commands.replay)
            g.m_commands.replay->clear();
    }
    void onHostEnded() override
    {
        if (g.m_readEnded)
            return;
        g.disconnectCommand();
        g.m_panel.setStatus(QStringLiteral("The host has stopped the Kinsoro session."));
        // The session is over: what follows in the same text belongs to none.
        g.m_readEnded = true;
    }
    void onStop() override
    {
        if (!g.m_readEnded && g.m_commands.transport)
            g.m_commands.transport->stop();
    }
    void onPause() override
    {
        if (!g.m_readEnded && g.m_commands.transport)
            g.m_commands.transport->pause();
    }
    void onReplayActive(bool active) override
    {
        if (!g.m_readEnded)
            g.m_state.replayActive = active;
    }
    void onPlay() override
    {
        if (!g.m_readEnded && g.m_commands.transport)
            g.m_commands.transport->play();
    }
    void onReplayPlay() override
    {
        if (!g.m_readEnded && g.m_commands.replay)
            g.m_commands.replay->playReplay();
    }
    void onRewind() override
    {
        if (!g.m_readEnded && g.m_commands.transport)
            g.m_commands.transport->rewind();
    }
    void onAccepted() override
    {
        if (!g.m_readEnded)
            g.connectedRoutine();
    }
    void onPing(const QString& value) override
    {
        if (!g.m_readEnded && g.m_socket)
            sessionsocket::sendText(*g.m_socket, messages::echoText(value));
    }
    void onLatency(double milliseconds) override
    {
        if (g.m_readEnded || !std::isfinite(milliseconds))
            return;
        g.m_latency = std::clamp(milliseconds / 1000.0, 0.0, kMaxLatencySeconds);
    }
    void onPlayerStatus(const QString& text) override
    {
        if (g.m_readEnded)
            return;
        g.m_w.status->setText(text);
    }

private:
    SessionGuest& g;
};

SessionGuest::SessionGuest(const MainWidgets& widgets, Workspace& workspace, PlaybackState& state,
                           Player& player, Dialogs& dialogs, ErrorReport& errors, Opening& opening,
                           GuestClock& guestClock, SessionPanel& panel, SessionHost& host,
                           Commands commands, Hooks hooks, QObject* parent)
    : QObject(parent)
    , m_w(widgets)
    , m_ws(workspace)
    , m_state(state)
    , m_player(player)
    , m_dialogs(dialogs)
    , m_errors(errors)
    , m_opening(opening)
    , m_clock(guestClock)
    , m_panel(panel)
    , m_host(host)
    , m_commands(commands)
    , m_hooks(std::move(hooks))
{
    m_leaveButton = new QPushButton(QStringLiteral("stop Kinsoro"));
    m_leaveButton->setObjectName(QStringLiteral("stopkinsoro"));
    m_leaveButton->hide();
    connect(m_leaveButton, &QPushButton::clicked, this, &SessionGuest::leaveSession);

    // The host's status texts are shown as they are, never as markup.
    m_w.status->setTextFormat(Qt::PlainText);

    connect(&m_clock.joinTimer(), &QTimer::timeout, this, &SessionGuest::JoinTimerTimer);
    connect(m_panel.selectJoin(), &QPushButton::clicked, this, &SessionGuest::selectJoinClick);
    connect(m_panel.connectJoin(), &QPushButton::clicked, this, &SessionGuest::connectJoinClick);
    connect(m_panel.disconnectJoin(), &QPushButton::clicked, this,
            &SessionGuest::disconnectCommand);
    makeSocket();
}

SessionGuest::~SessionGuest()
{
    if (m_socket) {
        disconnect(m_socket, nullptr, this, nullptr);
        m_socket->abort();
    }
}

void SessionGuest::makeSocket()
{
    m_socket = new QTcpSocket(this);
    m_socket->setObjectName(QStringLiteral("ClientSocket"));
    sessionsocket::capReadBuffer(*m_socket);
    ++m_socketGeneration;
    connect(m_socket, &QAbstractSocket::hostFound, this,
            [this] { m_panel.setStatus(QStringLiteral("Trying to connect to host.")); });
    connect(m_socket, &QAbstractSocket::stateChanged, this, [this](QAbstractSocket::SocketState s) {
        if (s == QAbstractSocket::ConnectingState)
            m_panel.setStatus(QStringLiteral("Connecting..."));
    });
    connect(m_socket, &QAbstractSocket::connected, this, &SessionGuest::socketConnected);
    connect(m_socket, &QIODevice::readyRead, this, &SessionGuest::socketReadyRead);
    connect(m_socket, &QAbstractSocket::disconnected, this, &SessionGuest::socketDisconnected);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, &SessionGuest::socketError);
}

void SessionGuest::closeClient()
{
    // The guest's own closing is no news for the guest: the old socket's events are cut
    // off before it closes, and a fresh socket takes its place.
    if (m_socket) {
        QTcpSocket* old = m_socket;
        disconnect(old, nullptr, this, nullptr);
        old->abort();
        old->deleteLater();
        m_socket = nullptr;
    }
    makeSocket();
}

void SessionGuest::hideLeaveButton()
{
    m_leaveButton->hide();
}

void SessionGuest::joinTabShown(bool byUser)
{
    m_host.resetForJoin();
    m_player.setSource(QString());
    closeClient();
    if (!m_ws.modes.followMode)
        m_player.stop();
    m_panel.showQuietly();
    m_w.mainPanel->hide();
    m_w.trackBar->setEnabled(false);
    m_clock.stop();
    m_panel.setStatus(QStringLiteral("Connect to your friend."));
    if (byUser) {
        m_panel.connectJoin()->setEnabled(false);
        SessionPanel::setProjectCaption(m_panel.joinProject(), QStringLiteral("Please Select"), -1);
    }
}

void SessionGuest::selectJoinClick()
{
    m_ws.modes.editing = false;
    m_ws.modes.followMode = true;
    m_opening.openRoutine();
    if (SessionPanel::tagOf(m_panel.joinProject()) == -1) {
        // After the disconnect routine, which would offer Connect & join again.
        disconnectCommand();
        m_panel.connectJoin()->setEnabled(false);
    } else {
        m_panel.connectJoin()->setEnabled(true);
    }
}

void SessionGuest::connectJoinClick()
{
    if (SessionPanel::tagOf(m_panel.joinProject()) == -1) {
        m_dialogs.information(QStringLiteral("Please select a Folivant project."));
        return;
    }
    closeClient();
    m_panel.connectJoin()->setEnabled(false);
    m_ws.modes.followMode = false;
    if (m_hooks.modeRefresh)
        m_hooks.modeRefresh();
    m_retryCount = 0;
    m_latency = 0;
    while (!attemptConnect()) {
        if (m_retryCount < 3) {
            ++m_retryCount;
            m_panel.setStatus(QStringLiteral("Error. Retrying(%1).").arg(m_retryCount));
            closeClient();
            continue;
        }
        m_retryCount = 0;
        m_panel.setStatus(QStringLiteral("Error. Please Try again."));
        closeClient();
        m_ws.modes.followMode = false;
        return;
    }
}

bool SessionGuest::attemptConnect()
{
    const QString server = m_panel.joinServer()->text().trimmed();
    if (server.isEmpty())
        return true;
    m_panel.setStatus(QStringLiteral("Trying to connect to host..."));
    m_attempting = true;
    m_attemptFailed = false;
    m_socket->connectToHost(server, SessionHost::sessionPort());
    m_attempting = false;
    return !m_attemptFailed && m_socket->state() != QAbstractSocket::UnconnectedState;
}

void SessionGuest::socketConnected()
{
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_panel.setStatus(QStringLiteral(
        "Allmost connected, waiting for final confirmation. If there is no change, try again!"));
    if (!sessionsocket::sendText(*m_socket, m_panel.joinNick()->text()))
        m_panel.setStatus(QStringLiteral("Error. Try Again"));
}

void SessionGuest::socketReadyRead()
{
    // Each text is read to its end, message boxes included; a handler may replace the
    // socket (disconnect), which ends the reading of the old one.
    const int generation = m_socketGeneration;
    QTcpSocket* socket = m_socket;
    sessionsocket::readTexts(*socket, [&](const QString& text) {
        readText(text);
        return generation == m_socketGeneration;
    });
}

void SessionGuest::readText(const QString& text)
{
    m_readEnded = false;
    Actions actions(*this);
    const auto error = messages::readGuestText(text, actions);
    m_readEnded = false;
    if (error)
        m_errors.report(*error);
}

void SessionGuest::socketDisconnected()
{
    if (m_inDisconnect)
        return;
    m_panel.connectJoin()->setEnabled(true);
    m_ws.modes.followMode = false;
    disconnectCommand();
    m_panel.setStatus(QStringLiteral("Disconnected from host"));
    m_dialogs.information(QStringLiteral("Disconnected from host"));
}

void SessionGuest::socketError()
{
    if (m_attempting) {
        m_attemptFailed = true;
        return;
    }
    // A host that closes the connection reports it as an error first; the disconnected
    // event that follows tells the user.
    if (m_socket->error() == QAbstractSocket::RemoteHostClosedError)
        return;
    if (m_inDisconnect)
        return;
    m_panel.connectJoin()->setEnabled(true);
    disconnectCommand();
    // After the disconnect routine, whose own status would hide what went wrong.
    m_panel.setStatus(QStringLiteral("Error. Please retry."));
    hideLeaveButton();
}

void SessionGuest::connectedRoutine()
{
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        disconnectCommand();
        return;
    }
    const int generation = m_socketGeneration;
    m_panel.setStatus(QStringLiteral("Connected."));
    m_dialogs.information(QStringLiteral("Connected."));
    // The box may have waited for the user while the connection went away.
    if (generation != m_socketGeneration)
        return;
    m_ws.modes.followMode = true;
    m_w.trackBar->setEnabled(false);
    if (m_hooks.modeRefresh)
        m_hooks.modeRefresh();
    m_w.tips->hide();
    m_panel.hide();
    m_w.localAudioPanel->hide();
    m_leaveButton->show();
    m_leaveButton->raise();
    m_w.mainPanel->show();
}

void SessionGuest::disconnectCommand()
{
    if (m_inDisconnect)
        return;
    m_inDisconnect = true;
    joinTabShown(false);
    // The leave button belongs to a session; a project opened later must not show it.
    hideLeaveButton();
    if (!m_panel.joinProject()->text().isEmpty())
        m_panel.connectJoin()->setEnabled(true);
    m_ws.modes.followMode = false;
    if (m_hooks.modeRefresh)
        m_hooks.modeRefresh();
    m_inDisconnect = false;
}

void SessionGuest::leaveSession()
{
    m_host.endSession(true);
}

void SessionGuest::JoinTimerTimer()
{
    // In follow mode the clock runs on by itself (it is read from a monotonic clock);
    // outside it the timer, and the clock with it, stops.
    if (!m_ws.modes.followMode)
        m_clock.stop();
}

double SessionGuest::withLatency(double seconds) const
{
    return seconds + m_latency;
}
