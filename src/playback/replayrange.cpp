#include "playback/replayrange.h"

#include "platform/errorreport.h"
#include "platform/widgets.h"
#include "playback/guestclock.h"
#include "playback/markerindexmodel.h"
#include "playback/playbackstate.h"
#include "playback/player.h"
#include "playback/transport.h"
#include "project/markerentry.h"
#include "project/numbertext.h"
#include "project/workspace.h"
#include "wire/messages.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <cmath>

namespace replaybar {

std::optional<Bar> geometry(double start, double end, int maximum, int timelineWidth, int base)
{
    if (end == 0 || !(end > start) || maximum <= 0)
        return std::nullopt;
    const double from = start * 100 / maximum * timelineWidth;
    const double to = end * 100 / maximum * timelineWidth;
    Bar bar;
    bar.left = static_cast<int>(std::trunc(from + base));
    bar.width = static_cast<int>(std::trunc(to - from));
    return bar;
}

} // namespace replaybar

namespace {

ImageButton* replayButton(QWidget* parent, const char* name, const QString& hint,
                          QStyle::StandardPixmap icon)
{
    auto* b = new ImageButton(QLatin1String(name), hint, parent);
    b->setIcon(QApplication::style()->standardIcon(icon));
    b->setIconSize(QSize(20, 20));
    b->setFixedSize(34, 30);
    return b;
}

} // namespace

ReplayRange::ReplayRange(Workspace& workspace, PlaybackState& state, Player& player,
                         GuestClock& guestClock, Transport& transport, ErrorReport& errors,
                         Widgets widgets, Hooks hooks, QObject* parent)
    : QObject(parent)
    , m_ws(workspace)
    , m_state(state)
    , m_player(player)
    , m_clock(guestClock)
    , m_transport(transport)
    , m_errors(errors)
    , m_w(widgets)
    , m_hooks(std::move(hooks))
{
    m_group = new QGroupBox(QStringLiteral("Replay Options"));
    m_group->setObjectName(QStringLiteral("ReplayBox"));
    auto* layout = new QHBoxLayout(m_group);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);

    auto* setStartButton = new ImageButton(QStringLiteral("Replay_SetStart"),
                                           QStringLiteral("Mark replay start position"), m_group);
    setStartButton->setText(QStringLiteral("R"));
    describe(setStartButton, QStringLiteral("R"), QStringLiteral("Mark replay start position"));
    setStartButton->setFixedSize(34, 30);
    auto* setEndButton =
        replayButton(m_group, "Replay_SetEnd", QStringLiteral("Mark replay end position"),
                     QStyle::SP_MediaSkipForward);
    auto* playButton =
        replayButton(m_group, "Replay_Play", QStringLiteral("Play Replay"), QStyle::SP_MediaPlay);
    auto* stopButton =
        replayButton(m_group, "Replay_Stop", QStringLiteral("Stop Replay"), QStyle::SP_MediaStop);
    auto* clearButton = replayButton(m_group, "Replay_Clear", QStringLiteral("Clear replay marks"),
                                     QStyle::SP_DialogResetButton);
    for (QWidget* b : {static_cast<QWidget*>(setStartButton), static_cast<QWidget*>(setEndButton),
                       static_cast<QWidget*>(playButton), static_cast<QWidget*>(stopButton),
                       static_cast<QWidget*>(clearButton)})
        layout->addWidget(b);
    layout->addStretch(1);

    connect(setStartButton, &QAbstractButton::clicked, this, &ReplayRange::setStart);
    connect(setEndButton, &QAbstractButton::clicked, this, [this] { setEnd(true); });
    connect(playButton, &QAbstractButton::clicked, this, &ReplayRange::playReplay);
    connect(stopButton, &QAbstractButton::clicked, this, &ReplayRange::stopReplay);
    connect(clearButton, &QAbstractButton::clicked, this, &ReplayRange::clear);

    // The bar follows the timeline when the window's layout changes its width.
    m_w.trackBar.installEventFilter(this);
}

void ReplayRange::addMenuItems(QMenu& menu)
{
    const struct {
        const char* name;
        QString text;
        std::function<void()> run;
    } items[] = {
        {"SetReplayStart1", QStringLiteral("Set Replay Start Position"),
         [this] {
             setStart();
         }},
        {"SetReplayEnd1", QStringLiteral("Set Replay End Position"),
         [this] {
             setEnd(true);
         }},
        {"PlayReplay1", QStringLiteral("Play Replay"),
         [this] {
             playReplay();
         }},
        {"StopReplay1", QStringLiteral("Stop Replay"),
         [this] {
             stopReplay();
         }},
        {"ClearReplay1", QStringLiteral("Clear Replay Points"),
         [this] {
             clear();
         }},
    };
    for (const auto& item : items) {
        QAction* action = menu.addAction(item.text);
        action->setObjectName(QLatin1String(item.name));
        connect(action, &QAction::triggered, this, item.run);
    }
}

void ReplayRange::send(const QString& message)
{
    if (m_hooks.broadcast)
        m_hooks.broadcast(message);
}

QString ReplayRange::tempoText() const
{
    return m_hooks.tempoText ? m_hooks.tempoText() : QStringLiteral("1.00");
}

bool ReplayRange::followMode() const
{
    return m_ws.modes.followMode;
}

void ReplayRange::setStart()
{
    if (!followMode())
        m_state.replayStart = numbertext::roundHundredths(m_player.position());
    try {
        markEntries();
    } catch (const markerentry::ConversionError& e) {
        m_errors.report(e.text());
        return;
    }
    refreshBar();
    send(messages::replayStartMessage(m_state.replayStart));
}

void ReplayRange::setEnd(bool userInterface)
{
    // A program call (after a change of the marker list) and a guest keep the stored end:
    // only the marks, the bar and the session are brought up to date.
    const double v = (followMode() || !userInterface)
                         ? m_state.replayEnd
                         : numbertext::roundHundredths(m_player.position());
    if (userInterface && v < m_state.replayStart) {
        m_state.replayEnd = m_state.replayStart;
        m_state.replayStart = v;
    } else {
        m_state.replayEnd = v;
    }
    m_w.marks.uncheckAll();
    if (!(m_state.replayEnd > m_state.replayStart))
        return;
    try {
        markEntries();
    } catch (const markerentry::ConversionError& e) {
        m_errors.report(e.text());
        return;
    }
    refreshBar();
    send(messages::replayEndMessage(m_state.replayEnd));
}

void ReplayRange::refreshMarks()
{
    setEnd(false);
}

void ReplayRange::markEntries()
{
    m_w.marks.uncheckAll();
    const int n = std::min(static_cast<int>(m_ws.notes.count()), m_w.marks.count());
    for (int i = 0; i < n; ++i) {
        if (replaybar::contains(m_state.replayStart, m_state.replayEnd, m_ws.notes.time(i)))
            m_w.marks.setChecked(i, true);
    }
}

void ReplayRange::refreshBar()
{
    bool ok = false;
    int base = m_w.bar.property("tag").toInt(&ok);
    if (!ok)
        base = m_w.trackBar.x();
    const auto bar = replaybar::geometry(m_state.replayStart, m_state.replayEnd,
                                         m_w.trackBar.maximum(), m_w.trackBar.width(), base);
    if (!bar) {
        m_w.bar.resize(0, m_w.bar.height());
        return;
    }
    m_w.bar.setGeometry(bar->left, m_w.bar.y(), bar->width, m_w.bar.height());
}

void ReplayRange::clear()
{
    m_state.replayStart = 0;
    m_state.replayEnd = 0;
    m_state.replayActive = false;
    if (!followMode() && !m_player.source().isEmpty())
        m_player.stop();
    m_w.marks.uncheckAll();
    m_w.bar.resize(0, m_w.bar.height());
    send(messages::replayClearMessage());
}

void ReplayRange::playReplay()
{
    if (m_state.replayEnd == m_state.replayStart) {
        m_transport.play();
        return;
    }
    if (m_state.replayEnd == 0)
        return;
    if (followMode()) {
        m_clock.stop();
        m_clock.set(m_state.replayStart);
        m_state.replayActive = true;
        m_clock.start();
        return;
    }
    const int state = m_player.playState();
    if (state != Player::Playing && state != Player::Paused && state != Player::Stopped)
        return;
    m_player.pause();
    m_player.setPosition(m_state.replayStart);
    m_state.replayActive = true;
    send(messages::replayPlayMessage(tempoText()));
    m_player.play();
}

void ReplayRange::stopReplay()
{
    m_state.replayActive = false;
    if (m_w.stop.isEnabled())
        m_transport.stop();
}

bool ReplayRange::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_w.trackBar && event->type() == QEvent::Resize)
        refreshBar();
    return QObject::eventFilter(watched, event);
}
