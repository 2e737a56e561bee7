#pragma once

#include <QList>
#include <QObject>
#include <QString>

class QAbstractSocket;
class QIODevice;
class QTcpServer;
class QTcpSocket;

// Reading and writing session text on one socket; used by the host for its guests and by
// the guest for its connection to the host.
namespace sessionsocket {

// The most one read takes: 64 KiB. Session messages are a few dozen bytes; a burst beyond
// this is a broken or hostile peer, and what lies beyond the cap is dropped so that it
// cannot grow memory without bound.
inline constexpr qint64 kReadCap = 64 * 1024;

// Takes everything the device holds now as one text: the first `cap` bytes are decoded
// (UTF-8, or Windows-1252 when they are not valid UTF-8) and the rest is skipped.
// *dropped (when given) receives the number of bytes skipped. A failed read gives the
// empty text.
QString takeAvailableText(QIODevice& device, qint64 cap = kReadCap, qint64* dropped = nullptr);

// Writes text as UTF-8 and hands it to the network at once. False when the socket is not
// connected, the write fails, or the connection turned out to be broken on the way.
bool sendText(QAbstractSocket& socket, const QString& text);

} // namespace sessionsocket

// The host's side of the network: the listening server (objectName "ServerSocket") and the
// guests' connections, in the order they were accepted (index 0 upward). A connection
// leaves the list when it disconnects or is closed here.
//
// Each accepted connection has LowDelayOption set, so small messages leave at once. What a
// connection reads arrives as textRead, at most sessionsocket::kReadCap bytes per read
// event; the rest of an oversized burst is dropped (burstTruncated tells how much).
//
// This class decides nothing about the session: whether a newcomer is welcome, what a
// text means and what to answer belong to the hosting controller.
class HostConnections : public QObject {
    Q_OBJECT
public:
    explicit HostConnections(QObject* parent = nullptr);
    ~HostConnections() override;

    // Starts listening on every address at port (0: a free port, see serverPort). Closes
    // whatever was open first. False with errorString() when listening is refused.
    bool listen(quint16 port);
    // Stops listening and closes every connection: each leaves the list with
    // disconnected(), data already written still goes out before its socket closes.
    void close();
    bool isListening() const;
    quint16 serverPort() const;
    QString errorString() const;

    // The active connections, index 0 upward.
    const QList<QTcpSocket*>& connections() const { return m_connections; }
    // Closes one connection: it leaves the list at once with disconnected(); data already
    // written to it still goes out. Does nothing for a socket that is not in the list.
    void closeConnection(QTcpSocket* socket);

    QTcpServer* server() const { return m_server; }

signals:
    // A guest connected; it is already last in connections().
    void newConnection(QTcpSocket* socket);
    // Everything one read event took from a connection, as one text.
    void textRead(QTcpSocket* socket, const QString& text);
    // A read event held more than kReadCap bytes; `dropped` bytes were skipped.
    void burstTruncated(QTcpSocket* socket, qint64 dropped);
    // A connection left the list. The socket is deleted later: do not keep the pointer.
    void disconnected(QTcpSocket* socket);

private:
    void acceptPending();
    void readFrom(QTcpSocket* socket);
    void removeConnection(QTcpSocket* socket);
    void release(QTcpSocket* socket);

    QTcpServer* m_server;
    QList<QTcpSocket*> m_connections;
};
