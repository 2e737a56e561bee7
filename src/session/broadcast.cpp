#include "session/broadcast.h"

#include "session/hostconnections.h"

#include <QTcpSocket>

SessionBroadcast::SessionBroadcast(HostConnections& connections, std::function<bool()> hostingMode)
    : m_connections(connections)
    , m_hostingMode(std::move(hostingMode))
{
}

bool SessionBroadcast::isActive() const
{
    return m_hostingMode && m_hostingMode() && m_connections.isListening();
}

int SessionBroadcast::send(const QString& message)
{
    return sendEach([&message] { return message; });
}

int SessionBroadcast::sendEach(const std::function<QString()>& perConnection)
{
    if (!isActive())
        return 0;
    // A copy: the list may change while the walk runs (a write that fails can make a
    // socket report its disconnection).
    const QList<QTcpSocket*> connections = m_connections.connections();
    int reached = 0;
    for (QTcpSocket* socket : connections) {
        if (!m_connections.connections().contains(socket))
            break;
        if (!sessionsocket::sendText(*socket, perConnection() + QLatin1Char('\n')))
            break;
        ++reached;
    }
    return reached;
}
