#include "session/sessionhost.h"

#include "platform/dialogs.h"
#include "platform/mainwidgets.h"
#include "playback/player.h"
#include "project/numbertext.h"
#include "project/workspace.h"
#include "projectview/opening.h"
#include "session/sessionguest.h"
#include "session/sessionpanel.h"
#include "wire/messages.h"

#include <QHostInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QNetworkInterface>
#include <QPushButton>
#include <QTcpSocket>

namespace {

constexpr quint16 kDefaultPort = 3000;
constexpr int kSocketRole = Qt::UserRole + 1;

// Process-wide, as the retry belongs to the attempt and not to one window.
int g_listenRetryCount = 0;

bool isIpv4(const QHostAddress& a)
{
    return a.protocol() == QAbstractSocket::IPv4Protocol;
}

// The address shown to friends: the first IPv4 address of the local host name. A loopback
// answer (a host name mapped to 127.0.1.1) is of no use to anybody else, so the first
// IPv4 address of a network interface is preferred to it; loopback is the last resort.
QString ownAddress(const QList<QHostAddress>& answer)
{
    for (const QHostAddress& a : answer) {
        if (isIpv4(a) && !a.isLoopback())
            return a.toString();
    }
    for (const QHostAddress& a : QNetworkInterface::allAddresses()) {
        if (isIpv4(a) && !a.isLoopback())
            return a.toString();
    }
    for (const QHostAddress& a : answer) {
        if (isIpv4(a))
            return a.toString();
    }
    return QHostAddress(QHostAddress::LocalHost).toString();
}

} // namespace

SessionHost::SessionHost(const MainWidgets& widgets, Workspace& workspace, Player& player,
                         Dialogs& dialogs, Opening& opening, SessionPanel& panel, Hooks hooks,
                         QObject* parent)
    : QObject(parent)
    , m_w(widgets)
    , m_ws(workspace)
    , m_player(player)
    , m_dialogs(dialogs)
    , m_opening(opening)
    , m_panel(panel)
    , m_hooks(std::move(hooks))
    , m_broadcast(m_connections, [this] { return m_ws.modes.hostingMode; })
{
    m_hostTimer.setObjectName(QStringLiteral("HostTimer"));
    m_hostTimer.setInterval(250);
    m_hostTimer.setTimerType(Qt::PreciseTimer);
    m_pingTimer.setObjectName(QStringLiteral("PingTimer"));
    m_pingTimer.setInterval(2);
    m_pingTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_hostTimer, &QTimer::timeout, this, &SessionHost::HostTimerTimer);
    connect(&m_pingTimer, &QTimer::timeout, this, &SessionHost::PingTimerTimer);

    m_stopButton = new QPushButton(QStringLiteral("stop Kinsoro"));
    m_stopButton->setObjectName(QStringLiteral("StopHostKinsoro"));
    m_stopButton->hide();
    connect(m_stopButton, &QPushButton::clicked, this, [this] { endSession(true); });

    connect(&m_connections, &HostConnections::newConnection, this, &SessionHost::guestConnected);
    connect(&m_connections, &HostConnections::textRead, this, &SessionHost::guestText);
    connect(&m_connections, &HostConnections::disconnected, this, &SessionHost::guestGone);

    connect(m_panel.hostSelect(), &QPushButton::clicked, this, &SessionHost::hostSelectClick);
    connect(m_panel.hostGo(), &QPushButton::clicked, this, &SessionHost::hostGoClick);
    connect(m_panel.removeSelected(), &QPushButton::clicked, this,
            &SessionHost::removeSelectedClick);
}

SessionHost::~SessionHost()
{
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
}

quint16 SessionHost::sessionPort()
{
    bool ok = false;
    const int port = qEnvironmentVariableIntValue("FOLIVANT_SESSION_PORT", &ok);
    return ok && port > 0 && port <= 65535 ? static_cast<quint16>(port) : kDefaultPort;
}

int SessionHost::listenRetryCount()
{
    return g_listenRetryCount;
}

void SessionHost::hostTabShown()
{
    SessionPanel::setProjectCaption(m_panel.hostProject(), QStringLiteral("Please Select"), -1);
    m_panel.connectedFriends()->clear();
    if (m_guest)
        m_guest->hideLeaveButton();
    m_ws.modes.followMode = false;

    while (!attemptListen()) {
        if (g_listenRetryCount == 0) {
            g_listenRetryCount = 1;
            m_panel.setStatus(QStringLiteral("Error. Retrying."));
            // The sockets are made afresh by closing them; the next attempt listens anew.
            m_connections.close();
            continue;
        }
        g_listenRetryCount = 0;
        m_panel.setStatus(QStringLiteral("Error. Please try again."));
        m_connections.close();
        return;
    }
}

bool SessionHost::attemptListen()
{
    m_connections.close();
    if (m_guest)
        m_guest->closeClient();
    if (!m_connections.listen(sessionPort()))
        return false;
    m_panel.setStatus(QStringLiteral("Listening..."));
    lookUpOwnAddress();
    g_listenRetryCount = 0;
    return true;
}

void SessionHost::lookUpOwnAddress()
{
    // The answer arrives later so that a slow resolver never holds the window.
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
    m_lookupId =
        QHostInfo::lookupHost(QHostInfo::localHostName(), this, [this](const QHostInfo& info) {
            if (info.lookupId() != m_lookupId)
                return;
            m_lookupId = -1;
            m_panel.myIp()->setText(ownAddress(info.addresses()));
        });
}

void SessionHost::guestConnected(QTcpSocket* socket)
{
    if (m_ws.modes.hostingMode) {
        m_connections.closeConnection(socket);
        return;
    }
    sessionsocket::sendText(*socket, messages::connectedText());
}

void SessionHost::guestText(QTcpSocket* socket, const QString& text)
{
    const messages::HostText read = messages::readHostText(text);
    if (read.kind == messages::HostText::Kind::Echo) {
        echoReceived(socket, read.value);
        return;
    }
    // One entry per guest: its first text. Whatever else a peer sends that is not an echo
    // is not a nickname, and must not fill the list.
    if (hasEntry(socket))
        return;
    auto* item = new QListWidgetItem(read.value);
    item->setData(kSocketRole, QVariant::fromValue(reinterpret_cast<quintptr>(socket)));
    m_panel.connectedFriends()->addItem(item);
}

void SessionHost::echoReceived(QTcpSocket* socket, const QString& value)
{
    ++m_echoCount;
    // A guest that answered is no longer awaited, even when its answer does not read as a
    // number (that answer is ignored).
    m_awaitingEcho.remove(socket);
    const auto echoed = numbertext::parse(value);
    if (echoed)
        sessionsocket::sendText(*socket,
                                messages::latencyText(messages::latency(m_pingClock, *echoed)));
    stopPingWhenAnswered();
}

void SessionHost::stopPingWhenAnswered()
{
    if (m_awaitingEcho.isEmpty())
        m_pingTimer.stop();
}

bool SessionHost::hasEntry(const QTcpSocket* socket) const
{
    const QListWidget* list = m_panel.connectedFriends();
    const auto key = reinterpret_cast<quintptr>(socket);
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->data(kSocketRole).value<quintptr>() == key)
            return true;
    }
    return false;
}

QTcpSocket* SessionHost::socketOf(int row) const
{
    const QListWidgetItem* item = m_panel.connectedFriends()->item(row);
    if (!item)
        return nullptr;
    const auto key = item->data(kSocketRole).value<quintptr>();
    for (QTcpSocket* socket : m_connections.connections()) {
        if (reinterpret_cast<quintptr>(socket) == key)
            return socket;
    }
    return nullptr;
}

void SessionHost::guestGone(QTcpSocket* socket)
{
    if (m_awaitingEcho.remove(socket))
        stopPingWhenAnswered();
    QListWidget* list = m_panel.connectedFriends();
    const auto key = reinterpret_cast<quintptr>(socket);
    for (int i = list->count() - 1; i >= 0; --i) {
        if (list->item(i)->data(kSocketRole).value<quintptr>() == key)
            delete list->takeItem(i);
    }
}

void SessionHost::hostSelectClick()
{
    m_ws.modes.hostingMode = true;
    m_opening.openRoutine();
    m_ws.modes.hostingMode = false;
    if (m_hooks.modeRefresh)
        m_hooks.modeRefresh();
    m_panel.hostGo()->setEnabled(SessionPanel::tagOf(m_panel.hostProject()) != -1);
}

void SessionHost::removeSelectedClick()
{
    QListWidget* list = m_panel.connectedFriends();
    const QList<QListWidgetItem*> selected = list->selectedItems();
    if (selected.isEmpty())
        return;
    const int row = list->row(selected.first());
    QTcpSocket* socket = socketOf(row);
    if (!socket) {
        delete list->takeItem(row);
        return;
    }
    sessionsocket::sendText(*socket, messages::removedText());
    // The entry leaves the list with the connection's disconnection.
    m_connections.closeConnection(socket);
}

void SessionHost::hostGoClick()
{
    if (SessionPanel::tagOf(m_panel.hostProject()) == -1) {
        m_dialogs.information(QStringLiteral("Please select a Folivant project."));
        return;
    }
    m_ws.modes.hostingMode = true;
    const long long maximum = m_hooks.timelineMaximum ? m_hooks.timelineMaximum() : 0;
    m_broadcast.send(messages::goMessage(maximum));

    m_pingClock = 0;
    m_echoCount = 0;
    m_pingTimer.start();
    m_expectedEchoes = m_panel.connectedFriends()->count();
    m_awaitingEcho.clear();
    for (int row = 0; row < m_expectedEchoes; ++row)
        if (const QTcpSocket* socket = socketOf(row))
            m_awaitingEcho.insert(socket);
    m_broadcast.sendEach([this] { return messages::pingMessage(m_pingClock); });
    // With no guest to answer, nothing would ever stop the ping clock.
    stopPingWhenAnswered();

    m_w.mainPanel->show();
    if (m_hooks.hotKeysOn)
        m_hooks.hotKeysOn();
    m_panel.hide();
    m_hostTimer.start();
    if (m_hooks.modeRefresh)
        m_hooks.modeRefresh();
}

void SessionHost::HostTimerTimer()
{
    m_broadcast.sendEach([this] { return messages::positionMessage(m_player.position()); });
}

void SessionHost::PingTimerTimer()
{
    m_pingClock += 2;
}

void SessionHost::endSession(bool byUser)
{
    m_broadcast.send(messages::endMessage());
    m_ws.modes.followMode = false;
    m_ws.modes.hostingMode = false;
    m_pingTimer.stop();
    m_awaitingEcho.clear();
    // Shown as any showing of the panel: the current tab's shown event runs, so the Host
    // tab asks for a project again before the next Go!.
    if (byUser) {
        m_panel.show();
        m_panel.raise();
    }
    if (m_guest)
        m_guest->disconnectCommand();
    m_w.mainPanel->hide();
    if (m_guest)
        m_guest->hideLeaveButton();
    m_hostTimer.stop();
    if (m_hooks.modeRefresh)
        m_hooks.modeRefresh();
}

void SessionHost::resetForJoin()
{
    m_panel.connectedFriends()->clear();
    m_ws.modes.hostingMode = false;
    m_connections.close();
    m_hostTimer.stop();
    m_pingTimer.stop();
    m_awaitingEcho.clear();
}
