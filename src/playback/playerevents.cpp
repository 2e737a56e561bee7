#include "playback/playerevents.h"

#include "platform/dialogs.h"
#include "playback/playbackstate.h"
#include "playback/player.h"
#include "project/numbertext.h"
#include "wire/messages.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QLabel>
#include <QSlider>
#include <cmath>

PlayerEvents::PlayerEvents(Player& player, PlaybackState& state, Widgets widgets, Dialogs& dialogs,
                           Hooks hooks, QObject* parent)
    : QObject(parent)
    , m_player(player)
    , m_state(state)
    , m_w(widgets)
    , m_dialogs(dialogs)
    , m_hooks(std::move(hooks))
{
    connect(&m_player, &Player::statusChanged, this, &PlayerEvents::MPlayerStatusChange);
    connect(&m_player, &Player::errorOccurred, this, &PlayerEvents::MPlayerError);
}

void PlayerEvents::setButtons(int playState)
{
    bool pause = false, stop = false, play = false, rewind = false;
    switch (playState) {
    case Player::Playing:
    case Player::ScanForward:
        pause = stop = rewind = true;
        break;
    case Player::Paused:
        pause = stop = play = rewind = true;
        break;
    case Player::Stopped:
        play = rewind = true;
        break;
    case Player::Ready:
        return;
    default:
        stop = true;
        break;
    }
    m_w.pause.setEnabled(pause);
    m_w.stop.setEnabled(stop);
    m_w.play.setEnabled(play);
    m_w.rewind.setEnabled(rewind);
}

void PlayerEvents::MPlayerStatusChange()
{
    const QString status = m_player.statusText();
    if (!messages::isStatusWorthSending(status)) {
        m_w.status.clear();
        return;
    }
    m_w.status.setText(status);
    if (m_hooks.broadcast)
        m_hooks.broadcast(messages::statusMessage(status));

    const int state = m_player.playState();
    if (state == Player::Playing && m_state.priming) {
        m_player.pause();
        m_player.setPosition(0);
        m_w.trackBar.setMaximum(static_cast<int>(std::trunc(m_player.duration() * 100)));
        m_state.priming = false;
        return;
    }
    if (state == Player::Ready) {
        m_state.priming = true;
        m_player.play();
    } else {
        setButtons(state);
    }
    const QString rate = numbertext::format(numbertext::roundHundredths(m_player.rate()));
    if (m_hooks.setTempoText)
        m_hooks.setTempoText(rate);
}

void PlayerEvents::MPlayerError()
{
    const QString source = m_player.source();
    if (!source.isEmpty() && QFileInfo(source).isFile())
        return;
    m_dialogs.information(QStringLiteral(
        "Unable to locate file.\nDisable the \"Local Audio\" option to select external file"));
    m_player.setSource(QString());
    m_player.stop();
    m_player.setSource(QString());
}
