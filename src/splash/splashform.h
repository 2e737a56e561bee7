#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>

class Dialogs;
class LinkLabel;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class Shell;
class UpdateCheck;

// The start-up splash window: the product's name and version on blue while the update
// check runs. It shows the main window once the application has been started, the check
// has ended and at least 3000 ms have passed.
class SplashForm : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWaitInterval = 100;
    static constexpr int kSelfCloseInterval = 300;
    static constexpr double kMinimumShowMs = 3000;

    // dialogs shows the update notice; shell opens the web site. quit ends the program
    // (the default quits the application).
    SplashForm(Dialogs& dialogs, Shell& shell, std::function<void()> quit = {},
               QWidget* parent = nullptr);
    ~SplashForm() override;

    // The window shown on hand-over.
    void setMainWindow(QWidget* window) { m_mainWindow = window; }

    // The application's "started" mark, set by start-up right after the main window
    // exists; the hand-over waits for it. Process-wide.
    static void setApplicationStarted(bool started);
    static bool applicationStarted();
    // Process-wide start-up state: milliseconds counted by `Self_Close` and whether the
    // check was started. Cleared only for a new start in the same process.
    static double elapsed();
    static bool checkStarted();
    static void resetStartup();

    // The product's web site: shown in the link label and named in the update notice.
    static QString webSite();
    // The program's version text shown in `Version` and compared with the server's answer.
    static QString version();

    bool checkFinished() const { return m_checkFinished; }
    QTimer& waitTimer() { return m_waitTimer; }
    QTimer& selfClose() { return m_selfClose; }
    QString statusText() const;
    QStringList answerLines() const;

    // Timer ticks.
    void WaitTimerTimer();
    void Self_CloseTimer();

    // Starts the update check ("Connecting..."). A request that cannot start counts as a
    // finished check.
    void startCheck();
    // Outcomes of the check.
    void httpSuccess(const QByteArray& body);
    void httpFailure();
    void httpConnectionFailed();
    void httpInvalidHost();

signals:
    // The splash has hidden itself and shown the main window.
    void handedOver();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void finishCheck();
    void handOver();

    Dialogs& m_dialogs;
    Shell& m_shell;
    std::function<void()> m_quit;
    QWidget* m_mainWindow = nullptr;
    UpdateCheck* m_http;
    QTimer m_waitTimer;
    QTimer m_selfClose;
    QLabel* m_version = nullptr;
    QLabel* m_status = nullptr;
    LinkLabel* m_link = nullptr;
    QPushButton* m_close = nullptr;
    QPlainTextEdit* m_getMemo = nullptr;
    bool m_checkFinished = false;
};

using TSplash_Form = SplashForm;
