#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>

// A private Xvfb X server for one test, on a display number the server picks among the
// free ones. Runs without access control, so clients need no authority file; stopped
// when the object goes away.
class XvfbServer {
public:
    XvfbServer() = default;
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    static bool isInstalled();
    // Starts the server and waits until it takes connections. On failure returns false
    // and sets the reason in error.
    bool start(QString* error);
    // ":N" once started.
    const QString& display() const { return m_display; }
    // This process's environment pointed at the server, with Qt on its xcb platform.
    QProcessEnvironment environment() const;
    // Runs xdotool against the server; true when it succeeded.
    bool xdotool(const QStringList& args) const;
    static bool hasXdotool();

private:
    QProcess m_process;
    QString m_display;
};

// The running test started again in a child process, as a client of the server. The
// environment variable roleVariable is set in the child so that the test knows to play
// its part there. The child reports with report(); the test reads those lines in order
// and steers the child through lines on its standard input. The child is sent "quit"
// when it is finished.
class XvfbChild {
public:
    XvfbChild(const XvfbServer& server, const QString& roleVariable);
    ~XvfbChild();
    XvfbChild(const XvfbChild&) = delete;
    XvfbChild& operator=(const XvfbChild&) = delete;

    // In the child: writes one line for the test to read.
    static void report(const QString& line);

    void send(const QString& line);
    // Removes and returns the first reported line that is wanted, waiting up to 10 s for
    // it; an empty text when none comes. Lines passed over stay for later.
    QString take(const std::function<bool(const QString&)>& wanted);
    // Drops the lines equal to line reported so far.
    void discard(const QString& line);
    // Sends "quit" and waits for the end; true when the child ended normally.
    bool finish();
    QString errorOutput();

private:
    void readLines();

    QProcess m_process;
    QByteArray m_buffer;
    std::deque<QString> m_lines;
    QString m_errors;
};
