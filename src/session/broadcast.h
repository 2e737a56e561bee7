#pragma once

#include <QString>
#include <functional>

class HostConnections;

// The session broadcast: tells every guest about a host action. It sends only while the
// program is in hosting mode and the host's server is listening; otherwise it does
// nothing, so the same commands serve a lone user, a host and a guest.
//
// A message goes to the connections in their order, index 0 upward, with one LF appended.
// The first connection that cannot take it (no longer connected, or the write fails) ends
// the walk: the remaining connections get nothing for that message, and nothing is shown.
class SessionBroadcast {
public:
    // hostingMode is asked on every send.
    SessionBroadcast(HostConnections& connections, std::function<bool()> hostingMode);

    // Whether a send would go out now: hosting mode on and the server listening.
    bool isActive() const;

    // Sends message + LF to every connection. Returns the number of connections reached.
    int send(const QString& message);

    // As send, with the message built anew for each connection just before it is written
    // (the position broadcast reads the player once per connection).
    int sendEach(const std::function<QString()>& perConnection);

private:
    HostConnections& m_connections;
    std::function<bool()> m_hostingMode;
};
