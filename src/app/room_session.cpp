#include "app/mainwindow.h"

#include "app/hotkeyflags.h"
#include "platform/errorreport.h"
#include "platform/widgets.h"
#include "playback/guestclock.h"
#include "playback/player.h"
#include "projectview/opening.h"
#include "session/sessionguest.h"
#include "session/sessionhost.h"
#include "session/sessionpanel.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QPushButton>
#include <QSlider>

// Builds and wires the rooms of Kinsoro hosting and joining.
void MainWindow::buildSessionRooms()
{
    // The panel floats over the window; the first layout centres it.
    auto* panel = new SessionPanel(this);
    m_sessionPanel = panel;

    SessionHost::Hooks hostHooks;
    hostHooks.modeRefresh = [this] {
        refreshModes();
    };
    hostHooks.hotKeysOn = [this] {
        m_hotKeyFlags->setAll(true);
    };
    hostHooks.timelineMaximum = [this] {
        return m_w.trackBar->maximum();
    };
    m_host = new SessionHost(m_w, m_ws, m_player, m_dialogs, *m_opening, *panel, hostHooks, this);

    SessionGuest::Hooks guestHooks;
    guestHooks.modeRefresh = [this] {
        refreshModes();
    };
    m_guest = new SessionGuest(
        m_w, m_ws, m_state, m_player, m_dialogs, *m_errors, *m_opening, *m_guestClock, *panel,
        *m_host, SessionGuest::Commands{m_transport, m_replay, m_tempo}, guestHooks, this);
    m_host->setGuest(m_guest);

    // The two "stop Kinsoro" buttons sit in the bottom row of the main panel.
    auto* bottom = static_cast<QBoxLayout*>(m_w.bottomRow->layout());
    bottom->addWidget(m_host->stopButton());
    bottom->addWidget(m_guest->leaveButton());

    setBroadcast([this](const QString& message) { m_host->broadcast().send(message); });

    connect(panel, &SessionPanel::tabShown, this, [this](int tab) {
        if (tab == SessionPanel::HostTab)
            m_host->hostTabShown();
        else
            m_guest->joinTabShown(true);
    });
    connect(panel->closeLabel(), &LinkLabel::clicked, this, [this, panel] {
        panel->hide();
        m_w.startup->show();
        m_w.startup->raise();
    });

    // The toolbar's "Kinsoro": the project is left (after the save question) and the
    // player unloaded before the panel opens.
    connect(m_w.tools.kinsoro, &QAbstractButton::clicked, this, [this] {
        if (!m_opening->confirmLeaving())
            return;
        m_player.stop();
        m_player.setSource(QString());
        kinsoroStart();
    });
    connect(m_w.tools.stopKinsoro, &QAbstractButton::clicked, m_guest, &SessionGuest::leaveSession);
    m_opening->hooks().leaveSession = [this] {
        m_host->endSession(false);
    };
    m_opening->hooks().hideSessionPanel = [panel] {
        panel->hide();
    };
    m_opening->hooks().setProjectCaptions = [panel](const QString& text, int tag) {
        SessionPanel::setProjectCaption(panel->joinProject(), text, tag);
        SessionPanel::setProjectCaption(panel->hostProject(), text, tag);
    };

    // JoinTimer runs from the start and stops itself at its first tick outside follow mode.
    m_guestClock->start();
}
