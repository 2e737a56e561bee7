#include "app/mainwindow.h"

#include "app/hotkeyflags.h"
#include "app/mainwidgets.h"
#include "app/moderefresh.h"
#include "authoring/aligntorecording.h"
#include "authoring/manualmarking.h"
#include "authoring/recordinganalysis.h"
#include "authoring/wizard.h"
#include "pedal/pedaltempo.h"
#include "platform/dialogs.h"
#include "platform/errorreport.h"
#include "platform/hotkeys.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "platform/widgets.h"
#include "playback/audiodelaypanel.h"
#include "playback/follower.h"
#include "playback/guestclock.h"
#include "playback/markerindexmodel.h"
#include "playback/player.h"
#include "playback/playerevents.h"
#include "playback/replayrange.h"
#include "playback/sheetview.h"
#include "playback/tempo.h"
#include "playback/zoomandmarker.h"
#include "projectview/opening.h"
#include "projectview/pages.h"
#include "session/sessionhost.h"
#include "session/sessionpanel.h"
#include "wire/messages.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

MainWindow::MainWindow(Services services, QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint)
    , m_services(std::move(services))
    , m_player(*m_services.player)
    , m_dialogs(*m_services.dialogs)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Folivant with Kinsoro"));
    if (!m_services.quit)
        m_services.quit = [] {
            QCoreApplication::quit();
        };
    if (!m_services.clock)
        m_services.clock = systemClock();
    if (m_services.userGuide.isEmpty())
        m_services.userGuide = paths::userGuide();
    m_ws.notes.setParent(this);

    m_sheet = new SheetView;
    m_w = buildMainWidgets(this, m_sheet);
    m_errors = std::make_unique<ErrorReport>(m_dialogs);
    m_indexModel = std::make_unique<MarkerIndexModel>();
    m_w.showList->setModel(m_indexModel.get());
    m_w.notesList->setModel(&m_ws.notes);
    m_hotKeyFlags = std::make_unique<HotKeyFlags>(*m_services.hotKeys);

    m_joinTimer.setObjectName(QStringLiteral("JoinTimer"));
    m_joinTimer.setTimerType(Qt::PreciseTimer);
    m_joinTimer.setInterval(100);
    m_guestClock = new GuestClock(m_joinTimer, m_services.monotonic, this);

    m_zoom = new ZoomAndMarker(m_state, *m_sheet, *m_w.notesList, this);
    m_w.rightColumn->layout()->addWidget(m_zoom->markerBox());

    m_pages = new Pages(m_ws, m_state, *m_sheet, *m_zoom, m_dialogs, *m_errors,
                        Pages::Hooks{
                            {},
                            [this] { return m_opening->lastDialogFolder(); },
                            [this](const QString& f) { m_opening->rememberDialogFile(f); },
                        },
                        this);
    auto* pagesBox = new QWidget;
    pagesBox->setObjectName(QStringLiteral("PagesBox"));
    auto* pl = new QVBoxLayout(pagesBox);
    pl->setContentsMargins(0, 0, 0, 0);
    pl->addWidget(m_pages->pageList());
    pl->addWidget(m_pages->addButton());
    static_cast<QVBoxLayout*>(m_w.rightColumn->layout())->insertWidget(0, pagesBox);
    static_cast<QVBoxLayout*>(m_w.rightColumn->layout())->insertWidget(1, m_zoom->zoomLabel());

    Follower::Widgets fw{*m_sheet,      *m_w.notesList,       *m_w.showList,
                         *m_indexModel, *m_pages->pageList(), *m_w.trackBar,
                         *m_w.curPos};
    Follower::Hooks fh;
    fh.broadcast = [this](const QString& m) {
        broadcast(m);
    };
    fh.loadPage = [this](int page, QString* error) {
        return m_pages->loadPage(page, error);
    };
    fh.preparePage = [this](int page) {
        m_pages->preparePage(page);
    };
    fh.decodedAhead = [this](int page) {
        return m_pages->decodedAhead(page);
    };
    m_follower =
        new Follower(m_ws, m_state, m_player, fw, *m_zoom, *m_errors, *m_guestClock, fh, this);

    PlayerEvents::Widgets pw{*m_w.status, *m_w.trackBar, *m_w.pause,
                             *m_w.stop,   *m_w.play,     *m_w.rewind};
    PlayerEvents::Hooks ph;
    ph.broadcast = [this](const QString& m) {
        broadcast(m);
    };
    m_playerEvents = new PlayerEvents(m_player, m_state, pw, m_dialogs, ph, this);

    Opening::Hooks oh;
    oh.modeRefresh = [this] {
        refreshModes();
    };
    oh.hotKeysOn = [this] {
        m_hotKeyFlags->setAll(true);
    };
    oh.rebuildIndex = [this] {
        rebuildIndex();
    };
    m_opening =
        new Opening(m_w, *m_sheet, m_ws, m_state, m_player, *m_pages, *m_zoom, m_dialogs, oh, this);

    m_w.bottomPanel->installEventFilter(this);
    buildPlaybackRooms();
    buildAuthoringRooms();
    buildSessionRooms();
    buildPedalRoom();
    wire();
    refreshModes();
    m_follower->positionTimer().start();

    if (QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(screen->availableGeometry());
}

MainWindow::~MainWindow()
{
    m_follower->positionTimer().stop();
    m_player.stop();
}

void MainWindow::wire()
{
    const MainWidgets::Toolbar& tools = m_w.tools;
    connect(m_w.startPlay, &QAbstractButton::clicked, m_opening, &Opening::playOpen);
    connect(tools.open, &QAbstractButton::clicked, m_opening, &Opening::playOpen);
    connect(m_w.openOther, &QAbstractButton::clicked, m_opening, &Opening::playOpen);
    // The bottom panel's record and Kinsoro buttons do what the toolbar's do.
    connect(m_w.record, &QAbstractButton::clicked, tools.newProject, &QAbstractButton::click);
    connect(m_w.goKinsoro, &QAbstractButton::clicked, tools.kinsoro, &QAbstractButton::click);
    connect(tools.edit, &QAbstractButton::clicked, m_opening, &Opening::editClick);
    connect(tools.save, &QAbstractButton::clicked, m_opening, [this] { m_opening->save(); });
    connect(m_w.startKinsoro, &QAbstractButton::clicked, this, &MainWindow::kinsoroStart);
    connect(tools.screen, &QAbstractButton::clicked, this, &MainWindow::fullScreenClick);
    // "Share" runs the main panel's "Share Projects" action.
    auto* exportAction = new QAction(QStringLiteral("Share Projects"), this);
    exportAction->setObjectName(QStringLiteral("MainPanel_Export"));
    addAction(exportAction);
    connect(exportAction, &QAction::triggered, this, &MainWindow::shareClick);
    connect(tools.share, &QAbstractButton::clicked, exportAction, &QAction::trigger);
    connect(m_w.shareGo, &QAbstractButton::clicked, this,
            [this] { m_services.shell->openFolder(paths::notesDir()); });
    connect(tools.help, &QAbstractButton::clicked, this, &MainWindow::helpClick);
    connect(tools.zoomIn, &QAbstractButton::clicked, m_zoom, &ZoomAndMarker::zoomIn);
    connect(tools.zoomOut, &QAbstractButton::clicked, m_zoom, &ZoomAndMarker::zoomOut);
    connect(m_w.localAudio, &QCheckBox::toggled, m_opening, &Opening::localAudioChanged);
    connect(static_cast<LinkLabel*>(m_w.exitBox), &LinkLabel::clicked, this, &QWidget::close);
    connect(static_cast<LinkLabel*>(m_w.minimizeBox), &LinkLabel::clicked, this,
            &QWidget::showMinimized);
    connect(m_services.hotKeys, &HotKeys::pressed, this,
            [this](HotKey key) { hotKeyPressed(static_cast<int>(key)); });
    connect(&m_ws.notes, &MarkerList::changed, this, [this] { m_errors->reset(); });
}

void MainWindow::hotKeyPressed(int key)
{
    // While the audio delay is calibrated, SPACE and the pedal are its taps.
    if (m_audioDelay && m_audioDelay->calibrating() &&
        (static_cast<HotKey>(key) == HotKey::Pause || static_cast<HotKey>(key) == HotKey::Bpm)) {
        m_audioDelay->tap();
        return;
    }
    switch (static_cast<HotKey>(key)) {
    case HotKey::SwitchPage:
        m_pages->nextPage();
        break;
    case HotKey::Pause:
        if (m_onPauseKey)
            m_onPauseKey();
        break;
    case HotKey::Enter:
        if (m_onEnterKey)
            m_onEnterKey();
        break;
    case HotKey::Bpm:
        if (m_onBpmKey)
            m_onBpmKey();
        break;
    }
}

void MainWindow::refreshModes()
{
    ModeTargets t;
    t.toolbar = m_w.toolbar;
    if (m_manual)
        t.editingActions = m_manual->editingActions();
    if (m_align)
        t.markingActions = m_align->menuActions();
    t.localControls = {m_w.rewind, m_w.pause, m_w.stop, m_w.play, m_w.localAudioPanel};
    t.tempoPanel = m_tempo ? m_tempo->panel() : nullptr;
    t.stopHosting = m_host ? m_host->stopButton() : nullptr;
    t.addPage = m_pages->addButton();
    modeRefresh(t, m_ws.modes);
}

void MainWindow::broadcast(const QString& message)
{
    if (m_broadcast)
        m_broadcast(message);
}

void MainWindow::rebuildIndex()
{
    m_indexModel->rebuild(static_cast<int>(m_ws.notes.count()));
    if (m_replay)
        m_replay->refreshMarks();
}

void MainWindow::centre(QWidget* panel, const QWidget* container)
{
    if (!panel || !container)
        return;
    const QSize c = container->contentsRect().size();
    const QSize p = panel->contentsRect().size();
    panel->move((c.width() - p.width()) / 2, (c.height() - p.height()) / 2);
}

void MainWindow::kinsoroStart()
{
    m_ws.modes.editing = false;
    m_w.startup->hide();
    centre(m_sessionPanel, this);
    m_sessionPanel->show();
    m_sessionPanel->raise();
    m_hotKeyFlags->enableAll(false);
}

void MainWindow::fullScreenClick()
{
    m_w.leftPanel->setVisible(m_w.leftPanel->isHidden());
    m_w.bottomPanel->setVisible(m_w.bottomPanel->isHidden());
}

void MainWindow::shareClick()
{
    centre(m_w.share, this);
    m_w.share->show();
    m_w.share->raise();
}

void MainWindow::helpClick()
{
    // The guide ships with the program, so help works without a network.
    if (!QFileInfo(m_services.userGuide).isFile()) {
        m_dialogs.information(QStringLiteral("The user guide is missing: %1")
                                  .arg(QDir::toNativeSeparators(m_services.userGuide)));
        return;
    }
    m_services.shell->openUrl(QUrl::fromLocalFile(m_services.userGuide).toString());
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_w.mainPanel->setGeometry(rect());
    layoutTimeline();
    m_w.exitBox->move(width() - m_w.exitBox->width(), 0);
    m_w.minimizeBox->move(m_w.exitBox->x() - m_w.minimizeBox->width(), 0);
    m_w.exitBox->raise();
    m_w.minimizeBox->raise();
    if (!m_layoutDone) {
        m_layoutDone = true;
        centre(m_w.startup, this);
        m_w.startup->show();
        m_w.startup->raise();
        centre(m_sessionPanel, this);
        centre(m_wizard->panel(), this);
        centre(m_pedal->group(), m_w.mainPanel);
    }
}

void MainWindow::layoutTimeline()
{
    // The bottom panel spans the main panel; it has its final width once laid out.
    m_w.mainPanel->layout()->activate();
    const int width = m_w.bottomPanel->width();
    m_w.trackBar->resize(std::max(width - m_w.trackBar->x() - 20, 10), m_w.trackBar->height());
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_w.bottomPanel && event->type() == QEvent::Resize)
        layoutTimeline();
    return QWidget::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!m_opening->confirmLeaving()) {
        event->ignore();
        return;
    }
    if (!m_player.source().isEmpty())
        m_player.stop();
    m_follower->positionTimer().stop();
    m_analysis->forget();
    broadcast(messages::endMessage());
    event->accept();
    m_services.quit();
}
