#include "session/hostconnections.h"

#include "project/textfile.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace sessionsocket {

namespace {

qsizetype nextBreak(const QByteArray& bytes, qsizetype from)
{
    for (qsizetype i = from; i < bytes.size(); ++i)
        if (bytes[i] == '\n' || bytes[i] == '\r')
            return i;
    return -1;
}

} // namespace

void capReadBuffer(QAbstractSocket& socket)
{
    socket.setReadBufferSize(kBufferCap);
}

qint64 readTexts(QIODevice& device, const std::function<bool(const QString&)>& handle)
{
    qint64 dropped = 0;
    for (;;) {
        const qint64 available = device.bytesAvailable();
        if (available <= 0)
            return dropped;
        if (available <= kReadCap) {
            // A read of ordinary size: one text, exactly as it came.
            if (!handle(textfile::decode(device.read(available))))
                return dropped;
            continue;
        }
        QByteArray kept; // whole lines, handed on once about a cap's worth has gathered
        QByteArray line; // the line being read
        bool dropping = false;
        bool go = true;
        while (go && device.bytesAvailable() > 0) {
            const QByteArray block = device.read(qMin(device.bytesAvailable(), kReadCap));
            if (block.isEmpty())
                break;
            for (qsizetype from = 0; from < block.size();) {
                const qsizetype br = nextBreak(block, from);
                const qsizetype end = br < 0 ? block.size() : br + 1;
                if (dropping) {
                    dropped += end - from;
                    dropping = br < 0;
                } else {
                    line.append(block.constData() + from, end - from);
                    const qsizetype length = br < 0 ? line.size() : line.size() - 1;
                    if (length > kReadCap) {
                        dropped += line.size();
                        line.clear();
                        dropping = br < 0;
                    } else if (br >= 0) {
                        kept += line;
                        line.clear();
                    }
                }
                from = end;
                if (kept.size() >= kReadCap) {
                    go = handle(textfile::decode(kept));
                    kept.clear();
                    if (!go)
                        break;
                }
            }
        }
        if (!go)
            return dropped;
        // A line cut off at the end of the read stays in the text, as in any read.
        kept += line;
        if (!kept.isEmpty() && !handle(textfile::decode(kept)))
            return dropped;
    }
}

bool sendText(QAbstractSocket& socket, const QString& text)
{
    if (socket.state() != QAbstractSocket::ConnectedState)
        return false;
    // 8-bit text as peers on any system expect it; UTF-8 only for what it cannot hold.
    const QByteArray bytes = textfile::encodeCp1252OrUtf8(text);
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
        sessionsocket::capReadBuffer(*socket);
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
    QPointer<QTcpSocket> guard(socket);
    const auto open = [&] {
        return guard && m_connections.contains(socket);
    };
    const qint64 dropped = sessionsocket::readTexts(*socket, [&](const QString& text) {
        emit textRead(socket, text);
        return open();
    });
    if (dropped > 0 && open())
        emit burstTruncated(socket, dropped);
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
