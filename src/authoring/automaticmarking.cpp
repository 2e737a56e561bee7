#include "authoring/automaticmarking.h"

#include "platform/dialogs.h"
#include "platform/errorreport.h"
#include "platform/mainwidgets.h"
#include "platform/widgets.h"
#include "playback/follower.h"
#include "playback/followlogic.h"
#include "playback/markerindexmodel.h"
#include "playback/playbackstate.h"
#include "playback/player.h"
#include "playback/sheetview.h"
#include "project/markerentry.h"
#include "project/numbertext.h"
#include "project/workspace.h"
#include "projectview/opening.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

namespace automatictext {
const QString kStart = QStringLiteral(
    "Please find the starting point of the song on the MP3.\nRight before it reaches the "
    "First notated bar, press \"SPACE\" (to pause) and then CONTINUE (to confirm)");
const QString kEnd = QStringLiteral(
    "Again, on the MP3 track, please find the end of the last notated bar. Press \"SPACE\" (to "
    "pause) at the end of this bar, then CONTINUE (to confirm)");
const QString kMarking = QStringLiteral(
    "Now Press at the beginning of every notes-box.\nMake sure you press in the order they are "
    "played.\nIf you need, you can change a notes-page.\nWhen you finish marking, click "
    "\"Finish\" in the top menu.");
const QString kInsert = QStringLiteral(
    "to insert item, after the item in the listbox.\nClick on the start of the notes-box");
const QString kEndNotAfterStart = QStringLiteral(
    "The end position must be after the starting position\nIf you have made a mistake with the "
    "starting position you can \"RESET\".");
const QString kFinishTooEarly = QStringLiteral("First Finish Setting Start & End Positions.");
const QString kTableFull = QStringLiteral("No more boxes can be placed: all %1 are in use.")
                               .arg(AutomaticMarking::kBoxTableSize);
} // namespace automatictext

const QColor AutomaticMarking::kAwaitStartColor(0, 255, 128);
const QColor AutomaticMarking::kAwaitEndColor(255, 128, 128);
const QColor AutomaticMarking::kBoxColor(0, 255, 255);

namespace {

QFrame* panel(QWidget& window, const char* name, int width, int height)
{
    auto* p = new QFrame(&window);
    p->setObjectName(QLatin1String(name));
    p->setFrameShape(QFrame::StyledPanel);
    p->setAutoFillBackground(true);
    p->resize(width, height);
    p->hide();
    return p;
}

} // namespace

AutomaticMarking::AutomaticMarking(const MainWidgets& widgets, Workspace& workspace,
                                   PlaybackState& state, Player& player, SheetView& sheet,
                                   Follower& follower, MarkerIndexModel& indexModel,
                                   Opening& opening, Dialogs& dialogs, ErrorReport& errors,
                                   Hooks hooks, QObject* parent)
    : QObject(parent)
    , m_w(widgets)
    , m_ws(workspace)
    , m_state(state)
    , m_player(player)
    , m_sheet(sheet)
    , m_follower(follower)
    , m_index(indexModel)
    , m_opening(opening)
    , m_dialogs(dialogs)
    , m_errors(errors)
    , m_hooks(std::move(hooks))
{
    m_continuePanel = panel(*m_w.window, "NewPressContinue", 560, 150);
    auto* cl = new QVBoxLayout(m_continuePanel);
    m_continueLabel = new QLabel(m_continuePanel);
    m_continueLabel->setObjectName(QStringLiteral("NewPressContinueLabel"));
    m_continueLabel->setWordWrap(true);
    cl->addWidget(m_continueLabel, 1);
    auto* row = new QHBoxLayout;
    m_continueButton = new QPushButton(QStringLiteral("Continue"), m_continuePanel);
    m_continueButton->setObjectName(QStringLiteral("ContinueButton"));
    describe(m_continueButton, QStringLiteral("Continue"), QString());
    row->addWidget(m_continueButton);
    row->addStretch(1);
    m_cancel = new LinkLabel(QStringLiteral("Cancel"), m_continuePanel);
    m_cancel->setObjectName(QStringLiteral("Label36"));
    row->addWidget(m_cancel);
    cl->addLayout(row);

    m_lastStage = panel(*m_w.window, "NewLastStage", 380, 160);
    auto* ll = new QVBoxLayout(m_lastStage);
    m_lastStageLabel = new QLabel(automatictext::kMarking, m_lastStage);
    m_lastStageLabel->setObjectName(QStringLiteral("NewLastStepLabel"));
    m_lastStageLabel->setWordWrap(true);
    ll->addWidget(m_lastStageLabel, 1);
    m_hide = new LinkLabel(QStringLiteral("Hide"), m_lastStage);
    m_hide->setObjectName(QStringLiteral("Label40"));
    ll->addWidget(m_hide, 0, Qt::AlignRight);

    connect(m_continueButton, &QPushButton::clicked, this, &AutomaticMarking::ContinueButtonClick);
    connect(m_cancel, &LinkLabel::clicked, this, [this] {
        if (m_hooks.cancel)
            m_hooks.cancel();
    });
    connect(m_hide, &LinkLabel::clicked, this, &AutomaticMarking::Label40Click);
    connect(&m_follower, &Follower::deleteBoxRequested, this, &AutomaticMarking::Delete4Click);
    connect(&m_follower, &Follower::deleteMarkerBoxRequested, this,
            &AutomaticMarking::Delete4bClick);
}

void AutomaticMarking::showPanel(const QColor& color, const QString& text)
{
    QPalette pal = m_continuePanel->palette();
    pal.setColor(QPalette::Window, color);
    m_continuePanel->setPalette(pal);
    m_continueLabel->setText(text);
    m_continuePanel->move(std::max((m_w.window->width() - m_continuePanel->width()) / 2, 0), 60);
    m_continuePanel->show();
    m_continuePanel->raise();
}

void AutomaticMarking::enter()
{
    showPanel(kAwaitStartColor, automatictext::kStart);
    Modes& modes = m_ws.modes;
    modes.automatic = true;
    modes.automaticSecondStage = false;
    modes.insertAfterSelection = false;
    m_start = -1.0;
    m_end = 0.0;
    m_w.tools.reset->hide();
    m_w.tools.clear->show();
    if (m_hooks.modeRefresh)
        m_hooks.modeRefresh();
    m_w.tools.save->hide();
    m_state.refreshRequest = true;
    m_w.mainPanel->show();
    m_w.mainPanel->raise();
    m_w.minimizeBox->raise();
    m_w.exitBox->raise();
    m_continuePanel->raise();
    if (m_hooks.hideWizard)
        m_hooks.hideWizard();
}

void AutomaticMarking::ContinueButtonClick()
{
    if (m_player.source().isEmpty())
        return;
    if (m_player.position() < 0)
        m_player.setPosition(0);
    const double t = numbertext::roundHundredths(m_player.position());
    Modes& modes = m_ws.modes;
    if (modes.automatic && m_start == -1.0) {
        m_w.tools.reset->show();
        modes.automaticSecondStage = false;
        m_start = t;
        showPanel(kAwaitEndColor, automatictext::kEnd);
        m_dialogs.information(automatictext::kEnd);
        m_end = -1.0;
    } else if (modes.automatic && m_end == -1.0) {
        m_end = t;
        if (m_end > m_start) {
            m_continuePanel->hide();
            if (modes.insertAfterSelection) {
                m_dialogs.information(automatictext::kInsert);
            } else {
                m_dialogs.information(automatictext::kMarking);
                m_lastStage->move(std::max(m_w.window->width() - m_lastStage->width() - 40, 0), 60);
                m_lastStage->show();
                m_lastStage->raise();
            }
            modes.automaticSecondStage = true;
            m_w.tools.finish->show();
        } else {
            m_dialogs.information(automatictext::kEndNotAfterStart);
            m_end = -1.0;
        }
    }
}

void AutomaticMarking::placeBox(const QString& line, long long x, long long y)
{
    // The table is never written past its end: once full, no box and no entry is made.
    if (boxCount() >= kBoxTableSize) {
        m_dialogs.information(automatictext::kTableFull);
        return;
    }
    auto* box = new MarkerShape(m_sheet.canvas());
    if (m_ws.modes.insertAfterSelection) {
        const int at = m_follower.selectedEntry() + 1;
        m_ws.notes.insert(at, line);
        m_follower.selectEntry(at);
    } else {
        m_ws.notes.append(line, box);
        m_follower.selectEntry(static_cast<int>(m_ws.notes.count()) - 1);
    }
    const MarkerShape* marker = m_sheet.point();
    box->resize(marker->size());
    box->setColor(kBoxColor);
    connect(box, &MarkerShape::rightClicked, &m_follower, &Follower::shapeRightClicked);
    const QSize shown = m_sheet.displaySize();
    const QPoint imageAt = m_sheet.image()->pos();
    box->move(imageAt.x() + followlogic::placeToPixels(x, shown.width()),
              imageAt.y() + followlogic::placeToPixels(y, shown.height()));
    box->show();
    box->raise();
    m_boxes.emplace_back(box);

    if (m_hooks.rebuildIndex)
        m_hooks.rebuildIndex();
    try {
        m_follower.showEntry(false);
    } catch (const markerentry::ConversionError& e) {
        m_errors.report(e.text());
    }
}

void AutomaticMarking::Toolbar_FinishClick()
{
    if (m_start == -1.0 || m_end == -1.0) {
        m_dialogs.information(automatictext::kFinishTooEarly);
        return;
    }
    const qsizetype n = m_ws.notes.count();
    if (n == 0)
        return;
    // A running sum, as the boxes are timed one after the other.
    const double step = (m_end - m_start) / static_cast<double>(n);
    double acc = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QString value = m_ws.notes.value(i);
        m_ws.notes.replace(i, numbertext::format(numbertext::roundHundredths(acc + m_start)) +
                                  QLatin1Char('=') + value);
        acc += step;
    }
    Modes& modes = m_ws.modes;
    modes.automatic = false;
    modes.automaticSecondStage = false;
    m_w.tools.finish->hide();
    m_w.tools.clear->hide();
    modes.insertAfterSelection = false;
    m_w.tools.save->show();
    m_continuePanel->hide();
    m_w.showList->setEnabled(true);
    releaseAll();
    modes.editing = false;
    if (m_hooks.modeRefresh)
        m_hooks.modeRefresh();
    m_lastStage->hide();
    m_opening.save();
}

void AutomaticMarking::Toolbar_ResetClick()
{
    m_ws.modes.automatic = true;
    m_start = -1.0;
    m_dialogs.information(automatictext::kStart);
    m_ws.modes.automaticSecondStage = false;
    showPanel(kAwaitStartColor, automatictext::kStart);
}

void AutomaticMarking::Toolbar_ClearClick()
{
    releaseAll();
    m_ws.notes.clear();
}

void AutomaticMarking::Label40Click()
{
    m_lastStage->hide();
}

bool AutomaticMarking::deleteEntryOf(QObject* shape)
{
    const qsizetype i = m_ws.notes.indexOfObject(shape);
    if (i < 0)
        return false;
    m_ws.notes.remove(i);
    if (i < m_index.count())
        m_index.removeItem(static_cast<int>(i));
    if (auto* clicked = qobject_cast<QWidget*>(m_follower.clickedShape()))
        clicked->hide();
    if (m_hooks.rebuildIndex)
        m_hooks.rebuildIndex();
    return true;
}

void AutomaticMarking::Delete4Click()
{
    // A failure here leaves the list as it is and shows nothing.
    try {
        deleteEntryOf(m_follower.clickedShape());
    } catch (...) {
    }
}

void AutomaticMarking::Delete4bClick()
{
    try {
        if (!deleteEntryOf(m_selectedBox.data()))
            return;
        if (auto* box = qobject_cast<QWidget*>(m_selectedBox.data()))
            box->hide();
    } catch (...) {
    }
}

void AutomaticMarking::releaseBox(QObject* box)
{
    if (!box)
        return;
    for (auto it = m_boxes.begin(); it != m_boxes.end(); ++it) {
        if (it->data() == box) {
            m_boxes.erase(it);
            delete box;
            return;
        }
    }
}

void AutomaticMarking::releaseAll()
{
    for (QPointer<MarkerShape>& box : m_boxes)
        delete box.data();
    m_boxes.clear();
    m_selectedBox.clear();
}
