#include "playback/transport.h"

#include "playback/guestclock.h"
#include "playback/playbackstate.h"
#include "playback/player.h"
#include "project/numbertext.h"
#include "project/workspace.h"
#include "wire/messages.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QSlider>
#include <QTimer>

namespace {

// The timeline's value is hundredths of a second.
double timelineSeconds(int value)
{
    return numbertext::roundHundredths(value * 0.01);
}

} // namespace

namespace {

// A left click on the timeline's groove puts the handle under the mouse (and starts a
// drag from there) instead of moving it by a page.
class TimelineStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        if (hint == SH_Slider_PageSetButtons)
            return Qt::NoButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

bool isTimelineKey(int key)
{
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        return true;
    default:
        return false;
    }
}

} // namespace

Transport::Transport(Workspace& workspace, PlaybackState& state, Player& player,
                     GuestClock& guestClock, Widgets widgets, Hooks hooks, QObject* parent)
    : QObject(parent)
    , m_ws(workspace)
    , m_state(state)
    , m_player(player)
    , m_clock(guestClock)
    , m_w(widgets)
    , m_hooks(std::move(hooks))
{
    auto* style = new TimelineStyle;
    style->setParent(this);
    m_w.trackBar.setStyle(style);
    m_w.trackBar.installEventFilter(this);
    connect(&m_w.trackBar, &QSlider::sliderReleased, this, [this] { timelineSeek(true); });
}

void Transport::send(const QString& message)
{
    if (m_hooks.broadcast)
        m_hooks.broadcast(message);
}

QString Transport::tempoText() const
{
    return m_hooks.tempoText ? m_hooks.tempoText() : QStringLiteral("1.00");
}

bool Transport::loaded() const
{
    return !m_player.source().isEmpty();
}

void Transport::play()
{
    if (m_ws.modes.followMode) {
        m_clock.start();
        return;
    }
    send(messages::playMessage(m_player.position(), tempoText()));
    m_player.play();
}

void Transport::pause()
{
    if (m_ws.modes.followMode) {
        m_clock.stop();
        return;
    }
    if (m_player.playState() == Player::Paused) {
        send(messages::resumeMessage(m_player.position(), tempoText(), m_state.replayActive));
        m_player.play();
        return;
    }
    m_player.pause();
    send(messages::pauseMessage(m_player.position()));
}

void Transport::stop()
{
    const bool replayActive = m_state.replayActive;
    if (m_ws.modes.followMode)
        m_clock.stop();
    else
        m_player.stop();
    send(messages::stopMessage(replayActive, m_player.position()));
}

void Transport::rewind()
{
    if (m_ws.modes.followMode) {
        m_clock.set(0);
        return;
    }
    if (!loaded())
        return;
    m_player.setPosition(0);
    send(messages::rewindMessage());
}

void Transport::playSong()
{
    if (!loaded())
        return;
    if (m_hooks.stopReplay)
        m_hooks.stopReplay();
    play();
}

void Transport::pauseKey()
{
    if (m_w.pause.isEnabled())
        pause();
}

void Transport::timelinePressed()
{
    m_state.timelineHeld = true;
    if (m_w.pause.isEnabled() && !m_w.play.isEnabled())
        pause();
}

void Transport::timelineReleased()
{
    m_state.timelineHeld = false;
}

void Transport::timelineSeek(bool fromControl)
{
    if (!loaded())
        return;
    if (m_player.playState() == Player::Playing) {
        m_player.pause();
        send(messages::pauseOnlyMessage());
    }
    m_player.setPosition(timelineSeconds(m_w.trackBar.value()));
    if (fromControl)
        send(messages::cueMessage(m_player.position()));
}

bool Transport::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &m_w.trackBar)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && !m_pressed) {
            m_pressed = true;
            timelinePressed();
        }
        break;
    case QEvent::MouseButtonRelease:
        // The slider reports the end of the drag (sliderReleased) after this, and the
        // seek runs then.
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && m_pressed) {
            m_pressed = false;
            timelineReleased();
        }
        break;
    case QEvent::Wheel:
        // The wheel would move the handle without ending a scroll: it is not used.
        return true;
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!key->isAutoRepeat() && isTimelineKey(key->key()) && !m_state.timelineHeld)
            timelineSeek(true);
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
