#include "playback/follower.h"

#include "platform/errorreport.h"
#include "playback/audiodelay.h"
#include "playback/followlogic.h"
#include "playback/guestclock.h"
#include "playback/markerindexmodel.h"
#include "playback/playbackstate.h"
#include "playback/player.h"
#include "playback/sheetview.h"
#include "playback/zoomandmarker.h"
#include "project/markerentry.h"
#include "project/numbertext.h"
#include "project/workspace.h"
#include "wire/messages.h"

#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QScopeGuard>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>
#include <cmath>

Follower::Follower(Workspace& workspace, PlaybackState& state, Player& player, Widgets widgets,
                   ZoomAndMarker& zoom, ErrorReport& errors, GuestClock& guestClock, Hooks hooks,
                   QObject* parent)
    : QObject(parent)
    , m_ws(workspace)
    , m_state(state)
    , m_player(player)
    , m_w(widgets)
    , m_zoom(zoom)
    , m_errors(errors)
    , m_clock(guestClock)
    , m_hooks(std::move(hooks))
{
    m_positionTimer.setObjectName(QStringLiteral("PositionTimer"));
    m_positionTimer.setInterval(100);
    // The marker may show an entry at most one tick late; a coarse timer adds up to 5 %.
    m_positionTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_positionTimer, &QTimer::timeout, this, &Follower::PositionTimerTimer);
    m_showTimer.setObjectName(QStringLiteral("ShowTimer"));
    m_showTimer.setSingleShot(true);
    m_showTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_showTimer, &QTimer::timeout, this, &Follower::ShowTimerTimer);
    connect(&m_player, &Player::statusChanged, this, &Follower::planNextShow);
    connect(&m_player, &Player::timingChanged, this, [this] {
        // A seek (the rate as it was) ends a half-page turn; a change of tempo only moves it.
        if (m_state.readAhead && m_player.rate() == m_readRate && !m_ws.modes.followMode) {
            const double heard =
                audiodelay::heardPosition(m_player.position(), m_player.rate(), m_state.audioDelay);
            try {
                cancelReadAhead(currentAt(numbertext::roundHundredths(heard)));
            } catch (const markerentry::ConversionError&) {
                cancelReadAhead(-2);
            }
        }
        planNextShow();
    });
    connect(&m_clock, &GuestClock::changed, this, &Follower::planNextShow);
    connect(&m_ws.notes, &MarkerList::changed, this, [this] {
        m_scanValid = false;
        m_readEntriesValid = false;
        planNextShow();
    });

    m_autoInsertPop = new QMenu(&m_w.sheet);
    m_autoInsertPop->setObjectName(QStringLiteral("AutoInsertPop"));
    QAction* d4 = m_autoInsertPop->addAction(QStringLiteral("Delete"));
    d4->setObjectName(QStringLiteral("Delete4"));
    connect(d4, &QAction::triggered, this, &Follower::deleteBoxRequested);
    m_autoInsertPop2 = new QMenu(&m_w.sheet);
    m_autoInsertPop2->setObjectName(QStringLiteral("AutoInsertPop2"));
    QAction* d4b = m_autoInsertPop2->addAction(QStringLiteral("Delete"));
    d4b->setObjectName(QStringLiteral("Delete4b"));
    connect(d4b, &QAction::triggered, this, &Follower::deleteMarkerBoxRequested);

    connect(m_w.sheet.point(), &MarkerShape::rightClicked, this, &Follower::shapeRightClicked);
    connect(&m_w.notesList, &QListView::clicked, this, &Follower::NotesListClick);
    connect(&m_w.showList, &QListView::clicked, this, &Follower::ShowListClick);
}

int Follower::selectedEntry() const
{
    const QModelIndex idx = m_w.notesList.currentIndex();
    return idx.isValid() ? idx.row() : -1;
}

void Follower::selectEntry(int i)
{
    if (i < 0) {
        m_w.notesList.setCurrentIndex({});
        m_w.notesList.clearSelection();
        m_w.showList.setCurrentIndex({});
        m_w.showList.clearSelection();
        return;
    }
    m_w.notesList.setCurrentIndex(m_w.notesList.model()->index(i, 0));
    m_w.showList.setCurrentIndex(m_w.showList.model()->index(i, 0));
}

void Follower::PositionTimerTimer()
{
    try {
        tick();
    } catch (const markerentry::ConversionError& e) {
        m_errors.report(e.text());
    }
    planNextShow();
}

void Follower::ShowTimerTimer()
{
    if (!m_positionTimer.isActive() || !playing().running)
        return;
    PositionTimerTimer();
}

Follower::Playing Follower::playing() const
{
    Playing now;
    // Everything is planned by the position that is heard now: the audio delay later than
    // the player (or the guest clock) says.
    if (m_ws.modes.followMode) {
        now.running = m_clock.running();
        now.rate = m_clock.rate();
        now.position = audiodelay::heardPosition(m_clock.value(), now.rate, m_state.audioDelay);
        return now;
    }
    now.running = !m_state.timelineHeld && m_player.playState() == Player::Playing &&
                  !m_player.source().isEmpty();
    if (now.running) {
        now.rate = m_player.rate();
        now.position = audiodelay::heardPosition(m_player.position(), now.rate, m_state.audioDelay);
    }
    return now;
}

int Follower::currentAt(double p) const
{
    const auto time = [this](int i) {
        return m_ws.notes.time(i);
    };
    const int n = static_cast<int>(m_ws.notes.count());
    const qsizetype stop = m_ws.notes.firstAfterIfSorted(p);
    return stop < 0 ? followlogic::findCurrent(n, time, p)
                    : followlogic::findCurrentFrom(n, time, p, static_cast<int>(stop));
}

void Follower::planNextShow()
{
    m_showTimer.stop();
    if (!m_positionTimer.isActive())
        return;
    const Playing now = playing();
    if (!now.running || !(now.rate > 0) || !std::isfinite(now.position))
        return;
    std::optional<double> due;
    if (m_state.replayActive && m_state.replayEnd > now.position)
        due = m_state.replayEnd;
    if (!m_ws.modes.automaticSecondStage && !m_ws.notes.isEmpty() && !m_state.markerHidden) {
        try {
            const auto time = [this](int i) {
                return m_ws.notes.time(i);
            };
            const int n = static_cast<int>(m_ws.notes.count());
            const double p = numbertext::roundHundredths(now.position);
            const auto stop = static_cast<int>(m_ws.notes.firstAfterIfSorted(p));
            const auto next = followlogic::nextChange(currentAt(p), n, time, p,
                                                      followlogic::nextEntryTime(n, time, p, stop));
            // Aimed at the time itself: the tick's rounding would allow 5 ms earlier, but
            // the note sounds at its time.
            if (next)
                due = std::min(due.value_or(*next), *next);
            // The moment a half-page turn is due by time alone.
            if (m_state.readAhead) {
                const double forced = readahead::forcedFrom(
                    readEntries(), readahead::nextBreak(readEntries(), currentAt(p)), now.rate);
                if (forced > now.position)
                    due = std::min(due.value_or(forced), forced);
            }
        } catch (const markerentry::ConversionError&) {
            // An entry that is not a number: the tick reports it when it meets it.
        }
    }
    if (!due)
        return;
    // Whole milliseconds, rounded up (a hair of floating-point error aside).
    const double ms = std::ceil((*due - now.position) / now.rate * 1000.0 - 1e-6);
    m_showTimer.start(static_cast<int>(std::clamp(ms, 1.0, 3600.0 * 1000.0)));
}

void Follower::prepareNextPage(int current)
{
    const int shown = m_w.pages.currentIndex();
    if (!m_hooks.preparePage || shown < 0)
        return;
    // Entries from m_scanFrom + 1 up to m_scanFound are on the shown page: the answer
    // stands while the marker is among them.
    // Before the first entry, current is -1 and so is m_scanFrom.
    const bool known = m_scanValid && shown == m_scanShownPage && current >= m_scanFrom &&
                       (m_scanFound < 0 || current < m_scanFound);
    if (!known) {
        ++m_pageScans;
        m_scanValid = true;
        m_scanFrom = current;
        m_scanShownPage = shown;
        m_scanFound = -1;
        const int n = static_cast<int>(m_ws.notes.count());
        try {
            for (int i = current + 1; i < n; ++i) {
                const qsizetype first = m_ws.notes.findByName(m_ws.notes.name(i));
                const long long page =
                    markerentry::parsePlace(m_ws.notes.value(first < 0 ? i : first)).page;
                if (page != shown) {
                    m_scanFound = i;
                    m_scanPage = page;
                    break;
                }
            }
        } catch (const markerentry::ConversionError&) {
            // Reported by the tick that reaches that entry, not ahead of it.
            m_scanFound = -1;
        }
    }
    if (m_scanFound >= 0 && m_scanPage >= 0 && m_scanPage < m_w.pages.count())
        m_hooks.preparePage(static_cast<int>(m_scanPage));
}

bool Follower::tick()
{
    double position = 0;
    int state = Player::Other;
    bool loaded = true;
    const bool follow = m_ws.modes.followMode;
    if (follow) {
        position = m_clock.value();
        state = Player::Playing;
    } else {
        if (m_state.timelineHeld)
            return false;
        position = m_player.position();
        state = m_player.playState();
        loaded = !m_player.source().isEmpty();
        if (m_player.statusText().isEmpty()) {
            m_player.stop();
            return false;
        }
    }

    // The replay range loops back to its start.
    if (!follow) {
        if (position >= m_state.replayEnd && loaded && m_state.replayActive &&
            state != Player::Stopped && state != Player::Paused) {
            m_player.setPosition(m_state.replayStart);
            return false;
        }
    } else if (position >= m_state.replayEnd && m_state.replayActive && m_clock.running()) {
        m_clock.set(m_state.replayStart);
        return false;
    }
    if (!follow && !loaded)
        return false;

    // The marker and the page turns go by what is heard: the audio delay behind the player.
    const double rate = follow ? m_clock.rate() : m_player.rate();
    const double p =
        numbertext::roundHundredths(audiodelay::heardPosition(position, rate, m_state.audioDelay));
    const QString status = follow ? QString() : m_player.statusText();
    if (p == m_state.lastRounded && status == m_state.lastStatus && !m_state.refreshRequest &&
        !m_state.reshowRequest)
        return false;
    m_state.lastRounded = p;
    m_state.lastStatus = status;

    m_w.trackBar.setValue(static_cast<int>(std::trunc(p * 100)));
    m_w.curPos.setText(follow ? QString() : m_player.positionText());

    if (!m_ws.modes.automatic) {
        m_zoom.setMarkerSwitch(m_state.markerHidden ? 1 : 0);
        m_zoom.applyMarkerDisplay();
    }
    if (m_ws.modes.automaticSecondStage || m_ws.notes.isEmpty() || m_state.markerHidden) {
        m_w.sheet.hideReadAhead();
        return true;
    }

    const auto time = [this](int i) {
        return m_ws.notes.time(i);
    };
    const int n = static_cast<int>(m_ws.notes.count());
    const int current = currentAt(p);
    m_w.sheet.point()->setColor(followlogic::markerColor(current, n, time, p));
    selectEntry(current);
    showEntry(false);
    m_state.refreshRequest = false;
    prepareNextPage(current);
    updateReadAhead(current, p, rate);
    return true;
}

const std::vector<readahead::Entry>& Follower::readEntries()
{
    if (m_readEntriesValid)
        return m_readEntries;
    m_readEntriesValid = true;
    m_readEntries.clear();
    const int n = static_cast<int>(m_ws.notes.count());
    try {
        m_readEntries.reserve(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            // An entry is shown at the place of the first entry of its name.
            const qsizetype first = m_ws.notes.findByName(m_ws.notes.name(i));
            const markerentry::Place place =
                markerentry::parsePlace(m_ws.notes.value(first < 0 ? i : first));
            m_readEntries.push_back({m_ws.notes.time(i), place.page, place.y});
        }
    } catch (const markerentry::ConversionError&) {
        // An entry that is not a number: no turn is read ahead in this list.
        m_readEntries.clear();
    }
    return m_readEntries;
}

void Follower::cancelReadAhead(int heldEntry)
{
    m_readHeld = heldEntry;
    m_w.sheet.hideReadAhead();
}

void Follower::updateReadAhead(int current, double position, double rate)
{
    m_readRate = rate;
    if (current != m_readHeld)
        m_readHeld = -2;
    if (!m_state.readAhead) {
        m_w.sheet.hideReadAhead();
        return;
    }
    const std::vector<readahead::Entry>& entries = readEntries();
    const int shown = m_w.pages.currentIndex();
    if (current < 0 || current == m_readHeld || current >= static_cast<int>(entries.size()) ||
        entries[current].page != shown) {
        m_w.sheet.hideReadAhead();
        return;
    }
    const int next = readahead::nextBreak(entries, current);
    const long long nextPage = next < 0 ? -1 : entries[next].page;
    const QList<QImage> image =
        nextPage >= 0 && nextPage < m_w.pages.count() && m_hooks.decodedAhead
            ? m_hooks.decodedAhead(static_cast<int>(nextPage))
            : QList<QImage>();
    const QSize natural = m_w.sheet.image()->naturalSize();
    if (image.isEmpty() || image.first().isNull() || natural.isEmpty()) {
        m_w.sheet.hideReadAhead();
        return;
    }
    const double scale = static_cast<double>(m_w.sheet.displaySize().width()) / natural.width();
    readahead::Geometry geometry;
    geometry.viewHeight = m_w.sheet.viewport()->height();
    geometry.pageHeight = m_w.sheet.displaySize().height();
    geometry.nextPageHeight = static_cast<int>(image.first().height() * scale);
    geometry.markerHeight = SheetView::kMarkerHeight;
    const readahead::Turn turn = readahead::decide(entries, current, position, rate, geometry);
    if (!turn.shown()) {
        m_w.sheet.hideReadAhead();
        return;
    }
    m_w.sheet.setScroll(m_w.sheet.horizontalScroll(), turn.scroll);
    m_w.sheet.showReadAhead(image, static_cast<int>(nextPage) + 1,
                            turn.needTop - m_w.sheet.verticalScroll());
}

void Follower::NotesListClick()
{
    try {
        showEntry(true);
    } catch (const markerentry::ConversionError& e) {
        m_errors.report(e.text());
    }
}

void Follower::showEntry(bool userPick)
{
    const int selected = selectedEntry();
    if (selected < 0) {
        m_w.sheet.point()->hide();
        m_w.sheet.pointCaption()->hide();
        return;
    }
    m_zoom.showMarkerRule();
    if (userPick) {
        cancelReadAhead(selected);
        // The tick must not run between the pause, the seek and the display; it runs again
        // afterwards even when the entry's time is not a number and ends the pick.
        m_positionTimer.stop();
        const auto restart = qScopeGuard([this] { m_positionTimer.start(); });
        m_player.pause();
        m_player.setPosition(m_ws.notes.time(selected));
    }
    m_w.showList.setCurrentIndex(m_w.showList.model()->index(selected, 0));
    if (selected == m_state.lastShownIndex && !userPick && !m_state.refreshRequest &&
        !m_state.reshowRequest)
        return;
    m_state.reshowRequest = false;
    if (m_hooks.closeCaptionEditor)
        m_hooks.closeCaptionEditor();
    m_state.lastShownIndex = selected;
    placeEntry(selected, userPick);
}

void Follower::placeEntry(int selected, bool userPick)
{
    if (userPick) {
        const double t = m_ws.notes.time(selected);
        if (m_player.playState() == Player::Playing) {
            const auto raw = numbertext::parse(m_ws.notes.name(selected));
            m_player.setPosition(raw && *raw > 0 ? t : 0.0);
        }
        if (m_hooks.broadcast)
            m_hooks.broadcast(messages::markerChosenMessage(t));
    }
    const qsizetype first = m_ws.notes.findByName(m_ws.notes.name(selected));
    const markerentry::Place place =
        markerentry::parsePlace(m_ws.notes.value(first < 0 ? selected : first));

    if (m_ws.modes.automaticSecondStage && m_hooks.setSelectedBox)
        m_hooks.setSelectedBox(m_ws.notes.object(selected));

    // A page outside the page list (however large its number) selects no page.
    const bool inRange = place.page >= 0 && place.page < m_w.pages.count();
    const int page = inRange ? static_cast<int>(place.page) : -1;
    if (!inRange || page != m_w.pages.currentIndex())
        switchPage(page);

    const QSize shown = m_w.sheet.displaySize();
    const int xp = followlogic::placeToPixels(place.x, shown.width());
    const int yp = followlogic::placeToPixels(place.y, shown.height());

    // The shapes go to their places first, and the page's scrolled area grows to hold them,
    // so that a marker at the page's bottom or right edge can be scrolled into view.
    MarkerShape* point = m_w.sheet.point();
    QLabel* caption = m_w.sheet.pointCaption();
    point->move(xp, yp);
    caption->setText(place.caption);
    caption->adjustSize();
    caption->move(point->x(), point->y() - caption->height());
    m_w.sheet.updateCanvas();

    followlogic::ScrollView view;
    view.vertical = m_w.sheet.verticalScroll();
    view.horizontal = m_w.sheet.horizontalScroll();
    view.outerHeight = m_w.sheet.height();
    view.outerWidth = m_w.sheet.width();
    view.clientHeight = m_w.sheet.viewport()->height();
    view.clientWidth = m_w.sheet.viewport()->width();
    const QPoint scroll = followlogic::scrollFor(view, xp, yp, m_state.keepTopLeft);
    m_w.sheet.setScroll(scroll.x(), scroll.y());

    caption->setVisible(!(place.caption.isEmpty() && point->isVisible()));
    m_zoom.showMarkerRule();

    if (userPick) {
        if (m_player.playState() == Player::Playing)
            m_player.pause();
        m_state.replayActive = false;
    }
}

void Follower::switchPage(int page)
{
    const int z = m_state.zoomSteps;
    m_zoom.cancelZoom();
    {
        const QSignalBlocker block(&m_w.pages);
        m_w.pages.setCurrentIndex(page);
    }
    if (m_w.pages.currentIndex() < 0)
        return;
    QString error;
    if (m_hooks.loadPage && !m_hooks.loadPage(page, &error))
        m_errors.report(error);
    m_zoom.applySteps(z);
}

void Follower::ShowListClick()
{
    if (m_ws.modes.followMode)
        return;
    if (m_player.playState() == Player::Playing && m_state.replayActive) {
        m_player.pause();
        if (m_hooks.broadcast)
            m_hooks.broadcast(messages::pauseOnlyMessage());
    }
    m_zoom.setMarkerSwitch(0);
    m_zoom.applyMarkerDisplay();
    const bool running = m_positionTimer.isActive();
    m_positionTimer.stop();
    const QModelIndex idx = m_w.showList.currentIndex();
    if (idx.isValid())
        m_w.notesList.setCurrentIndex(m_w.notesList.model()->index(idx.row(), 0));
    NotesListClick();
    // The pick runs the timer again; it is left as it was found.
    if (running)
        m_positionTimer.start();
    else
        m_positionTimer.stop();
}

void Follower::shapeRightClicked(MarkerShape* shape, QPoint globalPos)
{
    if (shape == m_w.sheet.point()) {
        if (!m_ws.modes.automaticSecondStage)
            return;
        m_clickedShape = shape;
        m_autoInsertPop2->popup(globalPos);
        return;
    }
    m_clickedShape = shape;
    m_autoInsertPop->popup(globalPos);
}
