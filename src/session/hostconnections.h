#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class QAbstractSocket;
class QIODevice;
class QTcpServer;
class QTcpSocket;

// Reading and writing session text on one socket; used by the host for its guests and by
// the guest for its connection to the host.
namespace sessionsocket {

// The longest text handed on in one piece: 64 KiB. Session messages are a few dozen bytes;
// a line longer than this is a broken or hostile peer's.
inline constexpr qint64 kReadCap = 64 * 1024;

// The most a session socket holds unread: 1 MiB. While the program is not reading (a
// message box is open inside the read), the socket stops taking bytes at this size and
// the network holds the sender back, so a flooding peer cannot exhaust memory.
inline constexpr qint64 kBufferCap = 1024 * 1024;

// Gives socket the read-buffer cap above.
void capReadBuffer(QAbstractSocket& socket);

// Takes everything the device holds now and hands it on text by text; handle returns false
// to stop (the connection went away). A read of at most kReadCap bytes is one text (UTF-8,
// or Windows-1252 when the bytes are not valid UTF-8), exactly as the session has always
// read it. A larger read keeps memory bounded without losing messages: a line longer than
// kReadCap is dropped up to its line break, and the other lines are handed on in texts of
// about kReadCap bytes, each cut at a line break. Bytes that arrived while a handler waited
// (a message box was open) are taken too. Returns the number of bytes dropped.
qint64 readTexts(QIODevice& device, const std::function<bool(const QString&)>& handle);

// Writes text (as Windows-1252 when every character fits, else UTF-8) and hands it to the
// network at once. False when the socket is not
// connected, the write fails, or the connection turned out to be broken on the way.
bool sendText(QAbstractSocket& socket, const QString& text);

} // namespace sessionsocket

// The host's side of the network: the listening server (objectName "ServerSocket") and the
// guests' connections, in the order they were accepted (index 0 upward). A connection
// leaves the list when it disconnects or is closed here.
//
// Each accepted connection has LowDelayOption set, so small messages leave at once. What a
// connection reads arrives as textRead, taken by sessionsocket::readTexts: one text
// per read event, or for an oversized burst several texts of whole lines, with overlong
// lines dropped (burstTruncated tells how much).
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
    // A read dropped `dropped` bytes of lines longer than kReadCap.
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
