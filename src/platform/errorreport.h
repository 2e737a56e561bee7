#pragma once

#include "platform/dialogs.h"

// Shows the errors that end a handler (a marker entry whose time or place is not a
// number, a session value that is not a number). The follow tick meets the same error
// ten times a second, so an error is shown once and not again until a different error
// occurs or reset() is called (the marker list changed, a project was opened).
class ErrorReport {
public:
    explicit ErrorReport(Dialogs& dialogs)
        : m_dialogs(dialogs)
    {
    }
    void report(const QString& text)
    {
        if (m_showing || text == m_last)
            return;
        m_last = text;
        m_showing = true;
        m_dialogs.information(text);
        m_showing = false;
    }
    void reset() { m_last.clear(); }
    const QString& last() const { return m_last; }

private:
    Dialogs& m_dialogs;
    QString m_last;
    bool m_showing = false;
};
