#include "app/mainwindow.h"

#include "platform/errorreport.h"
#include "platform/widgets.h"
#include "playback/audiodelaypanel.h"
#include "playback/follower.h"
#include "playback/markerindexmodel.h"
#include "playback/mpvplayer.h"
#include "playback/playerevents.h"
#include "playback/replayrange.h"
#include "playback/tempo.h"
#include "playback/transport.h"
#include "projectview/opening.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QMenu>

// Builds and wires the rooms of transport, replay range and tempo.
void MainWindow::buildPlaybackRooms()
{
    const auto send = [this](const QString& message) {
        broadcast(message);
    };

    m_tempo = new Tempo(m_ws, m_player, *m_w.mainPanel, Tempo::Hooks{send}, this);
    const auto tempoText = [this] {
        return m_tempo->text();
    };

    Transport::Hooks th;
    th.broadcast = send;
    th.tempoText = tempoText;
    th.stopReplay = [this] {
        m_replay->stopReplay();
    };
    m_transport = new Transport(m_ws, m_state, m_player, *m_guestClock,
                                Transport::Widgets{*m_w.play, *m_w.pause, *m_w.trackBar}, th, this);

    m_replay = new ReplayRange(
        m_ws, m_state, m_player, *m_guestClock, *m_transport, *m_errors,
        ReplayRange::Widgets{*m_w.trackBar, *m_w.replayMarker, *m_w.stop, *m_indexModel},
        ReplayRange::Hooks{send, tempoText}, this);

    // Places: the replay group in the right column, the tempo opener and label in the
    // bottom row, the panel over the main panel (the tempo room made it there).
    m_w.rightColumn->layout()->addWidget(m_replay->group());
    auto* bottom = static_cast<QBoxLayout*>(m_w.bottomRow->layout());
    bottom->addWidget(m_tempo->opener());
    bottom->addWidget(m_tempo->level());

    // The audio delay sits beside the tempo; its clicks play on a player of their own.
    AudioDelayPanel::Hooks dh;
    dh.makeClickPlayer = m_services.makeClickPlayer;
    if (!dh.makeClickPlayer)
        dh.makeClickPlayer = [] {
            return std::make_unique<MpvPlayer>();
        };
    dh.delayChanged = [this] {
        m_follower->planNextShow();
    };
    m_audioDelay = new AudioDelayPanel(m_state, m_player, *m_w.mainPanel, dh, this);
    bottom->addWidget(m_audioDelay->opener());

    QMenu& popup = *m_w.showListPopup;
    QAction* playSong = popup.addAction(QStringLiteral("Play Song"));
    playSong->setObjectName(QStringLiteral("PlaySong1"));
    QAction* stopSong = popup.addAction(QStringLiteral("Stop Song"));
    stopSong->setObjectName(QStringLiteral("StopSong1"));
    popup.addSeparator();
    m_replay->addMenuItems(popup);
    popup.addSeparator();
    m_tempo->addMenuItem(popup);
    connect(m_w.showList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_w.showListPopup->popup(m_w.showList->mapToGlobal(at)); });

    connect(playSong, &QAction::triggered, m_transport, &Transport::playSong);
    connect(stopSong, &QAction::triggered, m_transport, &Transport::stop);
    connect(m_w.play, &QAbstractButton::clicked, m_transport, &Transport::play);
    connect(m_w.pause, &QAbstractButton::clicked, m_transport, &Transport::pause);
    connect(m_w.pause2, &QAbstractButton::clicked, m_transport, &Transport::pause);
    connect(m_w.stop, &QAbstractButton::clicked, m_transport, &Transport::stop);
    connect(m_w.rewind, &QAbstractButton::clicked, m_transport, &Transport::rewind);

    m_onPauseKey = [this] {
        m_transport->pauseKey();
    };
    m_opening->hooks().clearReplay = [this] {
        m_replay->clear();
    };
    m_playerEvents->hooks().setTempoText = [this](const QString& text) {
        m_tempo->setText(text);
    };
}
