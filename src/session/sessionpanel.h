#pragma once

#include <QFrame>

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class LinkLabel;

// The Kinsoro session panel `kinsoropanel`: the status label, the prompt, the note about
// routers, a "Close" label and the tabs "Join" (first) and "Host" with their controls.
// Widgets only: hosting and joining are SessionHost's and SessionGuest's.
//
// Whenever the panel becomes visible by an ordinary show, or the user picks the other tab
// while it is visible, tabShown() reports the current tab: that runs the tab's own shown
// handler. The program shows the panel with showQuietly() when it must not run it (the
// disconnect routine brings the panel back without starting anything anew).
class SessionPanel : public QFrame {
    Q_OBJECT
public:
    enum Tab { JoinTab = 0, HostTab = 1 };

    explicit SessionPanel(QWidget* parent = nullptr);

    // Shows the panel in front without running the current tab's shown handler.
    void showQuietly();
    // The status label `kinsoroStatus`; statusShown() reports every text written.
    void setStatus(const QString& text);
    QString status() const;

    QTabWidget* tabs() const { return m_tabs; }
    QLabel* statusLabel() const { return m_status; }
    LinkLabel* closeLabel() const { return m_close; }
    // Host tab.
    QLineEdit* myIp() const { return m_myIp; }                  // `MyIP`
    QListWidget* connectedFriends() const { return m_friends; } // `connectedf`
    QPushButton* removeSelected() const { return m_remove; }    // "Remove selected"
    QLineEdit* hostProject() const { return m_hostProject; }    // `hostproject`
    QPushButton* hostSelect() const { return m_hostSelect; }    // `hostselect`
    QPushButton* hostGo() const { return m_hostGo; }            // `HostGo`
    // Join tab.
    QLineEdit* joinServer() const { return m_joinServer; }        // `JoinServer`
    QLineEdit* joinNick() const { return m_joinNick; }            // `JoinNick`
    QLineEdit* joinProject() const { return m_joinProject; }      // `JoinProject`
    QPushButton* selectJoin() const { return m_selectJoin; }      // `Selectjoin`
    QPushButton* connectJoin() const { return m_connectJoin; }    // `ConnectJoin`
    QPushButton* disconnectJoin() const { return m_disconnect; }  // `DisconnectJoin`
    QPlainTextEdit* joinStrings() const { return m_joinStrings; } // `JoinStrings`

    // The tag of a project caption (`hostproject`, `JoinProject`): -1 none chosen, 0 chosen.
    static int tagOf(const QLineEdit* caption);
    static void setProjectCaption(QLineEdit* caption, const QString& text, int tag);

signals:
    void tabShown(int tab);
    void statusShown(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildJoinTab();
    QWidget* buildHostTab();

    QLabel* m_status;
    LinkLabel* m_close;
    QTabWidget* m_tabs;
    QLineEdit* m_myIp;
    QListWidget* m_friends;
    QPushButton* m_remove;
    QLineEdit* m_hostProject;
    QPushButton* m_hostSelect;
    QPushButton* m_hostGo;
    QLineEdit* m_joinServer;
    QLineEdit* m_joinNick;
    QLineEdit* m_joinProject;
    QPushButton* m_selectJoin;
    QPushButton* m_connectJoin;
    QPushButton* m_disconnect;
    QPlainTextEdit* m_joinStrings;
    bool m_quiet = false;
};
