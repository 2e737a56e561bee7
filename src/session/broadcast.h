#pragma once

#include <QString>

// Placeholder: the session broadcast sends nothing until hosting exists.
class SessionBroadcast {
public:
    void send(const QString&) {}
};
