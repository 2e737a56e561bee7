#include "session/hostconnections.h"

#include "project/textfile.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace sessionsocket {

QString takeAvailableText(QIODevice& device, qint64 cap, qint64* dropped)
{
    if (dropped)
        *dropped = 0;
    const qint64 available = device.bytesAvailable();
    if (available <= 0)
        return QString();
    const QByteArray bytes = device.read(qMin(available, qMax<qint64>(cap, 0)));
    const qint64 rest = device.bytesAvailable();
    if (rest > 0) {
        const qint64 skipped = device.skip(rest);
        if (dropped && skipped > 0)
            *dropped = skipped;
    }
    return textfile::decode(bytes);
}

bool sendText(QAbstractSocket& socket, const QString& text)
{
    if (socket.state() != QAbstractSocket::ConnectedState)
        return false;
    const QByteArray bytes = text.toUtf8();
    if (socket.write(bytes) != bytes.size())
        return false;
    // Handing the bytes to the network may find the connection broken (and abort it).
    socket.flush();
    return socket.state() == QAbstractSocket::ConnectedState;
}

} // namespace sessionsocket

namespace {

// How long a closed connection may take to hand over the data already written to it
// before it is cut off; a peer that stops reading must not keep it alive.
constexpr int kCloseGraceMs = 5000;

} // namespace

HostConnections::HostConnections(QObject* parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    qRegisterMetaType<QTcpSocket*>();
    m_server->setObjectName(QStringLiteral("ServerSocket"));
    connect(m_server, &QTcpServer::newConnection, this, &HostConnections::acceptPending);
}

HostConnections::~HostConnections()
{
    // Nothing is announced while the object goes away; what was written still leaves.
    for (QTcpSocket* socket : std::as_const(m_connections)) {
        disconnect(socket, nullptr, this, nullptr);
        socket->flush();
    }
}

bool HostConnections::listen(quint16 port)
{
    close();
    return m_server->listen(QHostAddress::Any, port);
}

void HostConnections::close()
{
    m_server->close();
    const QList<QTcpSocket*> open = m_connections;
    for (QTcpSocket* socket : open)
        closeConnection(socket);
}

bool HostConnections::isListening() const
{
    return m_server->isListening();
}

quint16 HostConnections::serverPort() const
{
    return m_server->serverPort();
}

QString HostConnections::errorString() const
{
    return m_server->errorString();
}

void HostConnections::closeConnection(QTcpSocket* socket)
{
    if (!m_connections.contains(socket))
        return;
    removeConnection(socket);
    release(socket);
}

void HostConnections::acceptPending()
{
    while (m_server->hasPendingConnections()) {
        QTcpSocket* socket = m_server->nextPendingConnection();
        if (!socket)
            break;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_connections.append(socket);
        connect(socket, &QIODevice::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QAbstractSocket::disconnected, this, [this, socket] {
            if (m_connections.contains(socket)) {
                removeConnection(socket);
                socket->deleteLater();
            }
        });

        QPointer<QTcpSocket> guard(socket);
        emit newConnection(socket);
        if (!guard || !m_connections.contains(socket))
            continue;
        // A peer that closed before it was accepted never reports its disconnection.
        if (socket->state() != QAbstractSocket::ConnectedState) {
            closeConnection(socket);
            continue;
        }
        // Data that came with the connection, before readyRead was connected.
        if (socket->bytesAvailable() > 0)
            readFrom(socket);
    }
}

void HostConnections::readFrom(QTcpSocket* socket)
{
    if (!m_connections.contains(socket))
        return;
    qint64 dropped = 0;
    const bool hadData = socket->bytesAvailable() > 0;
    const QString text =
        sessionsocket::takeAvailableText(*socket, sessionsocket::kReadCap, &dropped);
    if (!hadData)
        return;
    QPointer<QTcpSocket> guard(socket);
    if (dropped > 0)
        emit burstTruncated(socket, dropped);
    if (guard && m_connections.contains(socket))
        emit textRead(socket, text);
}

void HostConnections::removeConnection(QTcpSocket* socket)
{
    if (!m_connections.removeOne(socket))
        return;
    disconnect(socket, nullptr, this, nullptr);
    emit disconnected(socket);
}

void HostConnections::release(QTcpSocket* socket)
{
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
        return;
    }
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kCloseGraceMs, socket, [socket] { socket->abort(); });
    socket->disconnectFromHost();
}
