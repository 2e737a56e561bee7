#include "app/hotkeyflags.h"
#include "app/mainwindow.h"
#include "authoring/aligntorecording.h"
#include "authoring/automaticmarking.h"
#include "authoring/findbars.h"
#include "authoring/manualmarking.h"
#include "authoring/recordinganalysis.h"
#include "authoring/wizard.h"
#include "platform/hotkeys.h"
#include "platform/widgets.h"
#include "playback/follower.h"
#include "playback/markerindexmodel.h"
#include "playback/player.h"
#include "projectview/opening.h"
#include "projectview/pages.h"

#include <QAbstractButton>
#include <QAction>
#include <QBoxLayout>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QMenu>

// Builds and wires the rooms of manual marking, automatic marking and the new-project
// wizard, and the analysis of the recording they fit markers to. Their panels
// (`NewProject`, `NewPressContinue`, `NewLastStage`) are absolute children of the window.
void MainWindow::buildAuthoringRooms()
{
    // The recording is analysed once a project is opened for marking; its status line sits
    // in the bottom row and is hidden while empty.
    m_analysis = new RecordingAnalysis(this);
    auto* analysisStatus = new QLabel(m_w.bottomRow);
    analysisStatus->setObjectName(QStringLiteral("AnalysisStatus"));
    analysisStatus->hide();
    m_w.bottomRow->layout()->addWidget(analysisStatus);
    connect(m_analysis, &RecordingAnalysis::statusChanged, analysisStatus,
            [analysisStatus](const QString& text) {
                analysisStatus->setText(text);
                analysisStatus->setVisible(!text.isEmpty());
            });
    const auto analyseRecording = [this] {
        m_analysis->analyse(m_player.source());
    };
    m_opening->hooks().editingStarted = analyseRecording;
    m_opening->hooks().projectChanging = [this] {
        m_analysis->forget();
    };

    HotKeyHooks keys;
    keys.setAll = [this](bool on) {
        m_hotKeyFlags->setAll(on);
    };
    keys.enableAll = [this](bool on) {
        m_hotKeyFlags->enableAll(on);
    };
    keys.setPauseAndPageFlags = [this](bool pause, bool switchPage) {
        m_hotKeyFlags->pause = pause;
        m_hotKeyFlags->switchPage = switchPage;
    };
    keys.applyFlags = [this] {
        m_hotKeyFlags->applyFlags();
    };
    keys.enableCaptionKey = [this](bool on) {
        m_services.hotKeys->setActive(HotKey::Enter, on);
    };
    const auto refresh = [this] {
        refreshModes();
    };
    const auto rebuild = [this] {
        rebuildIndex();
    };

    m_automatic = new AutomaticMarking(m_w, m_ws, m_state, m_player, *m_sheet, *m_follower,
                                       *m_indexModel, *m_opening, m_dialogs, *m_errors,
                                       AutomaticMarking::Hooks{refresh, rebuild, {}, {}}, this);

    FindBars::Hooks fb;
    fb.placeBox = [this](const QString& line, long long x, long long y) {
        m_automatic->placeBox(line, x, y);
    };
    fb.rebuildIndex = rebuild;
    fb.shownPage = [this] {
        return m_pages->pageList()->currentIndex();
    };
    m_findBars = new FindBars(m_ws, m_dialogs, *m_w.tools.finish, fb, this);

    ManualMarking::Hooks mh;
    mh.hotKeys = keys;
    mh.rebuildIndex = rebuild;
    mh.placeBox = [this](const QString& line, long long x, long long y) {
        m_automatic->placeBox(line, x, y);
    };
    mh.releaseBox = [this](QObject* box) {
        m_automatic->releaseBox(box);
    };
    mh.releaseAllBoxes = [this] {
        m_automatic->releaseAll();
    };
    mh.recordingOnsets = [this] {
        return m_analysis->onsetsFor(m_player.source());
    };
    m_manual = new ManualMarking(m_ws, m_state, m_player, *m_follower,
                                 ManualMarking::Widgets{*this, *m_sheet, *m_w.showList,
                                                        *m_pages->pageList(), *m_w.showListPopup,
                                                        *m_w.tools.presets},
                                 m_dialogs, *m_errors, mh, this);
    // "Align to Recording" and its own separator follow the separator that ends the
    // editing items ("Delete", "Delete All").
    const QList<QAction*> items = m_w.showListPopup->actions();
    QAction* afterEditing =
        items.value(items.indexOf(m_manual->editingActions().constLast()) + 1, nullptr);
    m_align =
        new AlignToRecording(m_ws, m_state, m_player, *m_analysis, *m_w.showListPopup, afterEditing,
                             m_dialogs, *m_errors, AlignToRecording::Hooks{rebuild}, this);

    m_wizard = new Wizard(m_w, m_ws, m_state, m_player, *m_pages, *m_zoom, *m_sheet, *m_opening,
                          *m_automatic, m_dialogs,
                          Wizard::Hooks{refresh, rebuild, keys, analyseRecording}, this);
    m_automatic->hooks().cancel = [this] {
        m_wizard->Label34Click();
    };
    m_automatic->hooks().hideWizard = [this] {
        m_wizard->panel()->hide();
    };
    m_opening->hooks().hideLastStage = [this] {
        m_automatic->lastStagePanel()->hide();
    };
    m_opening->hooks().hideContinuePanel = [this] {
        m_automatic->pressContinuePanel()->hide();
    };

    connect(m_w.startRecord, &QAbstractButton::clicked, m_wizard, &Wizard::recordClick);
    connect(m_w.tools.newProject, &QAbstractButton::clicked, m_wizard, &Wizard::recordClick);
    connect(m_w.tools.presets, &QAbstractButton::clicked, m_manual,
            &ManualMarking::Toolbar_PresetsClick);
    connect(m_w.tools.reset, &QAbstractButton::clicked, m_automatic,
            &AutomaticMarking::Toolbar_ResetClick);
    connect(m_w.tools.clear, &QAbstractButton::clicked, m_automatic,
            &AutomaticMarking::Toolbar_ClearClick);
    connect(m_w.tools.finish, &QAbstractButton::clicked, m_automatic,
            &AutomaticMarking::Toolbar_FinishClick);

    m_onEnterKey = [this] {
        m_manual->EnterKeyKeyDown();
    };
    m_follower->hooks().closeCaptionEditor = [this] {
        m_manual->closeCaptionEditor();
    };
    m_follower->hooks().setSelectedBox = [this](QObject* box) {
        m_automatic->setSelectedBox(box);
    };
    m_opening->hooks().removeAutomaticShapes = [this] {
        m_automatic->releaseAll();
    };
    m_pages->hooks().removeAutomaticShapes = [this] {
        m_automatic->releaseAll();
    };
}
