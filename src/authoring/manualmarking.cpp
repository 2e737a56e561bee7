#include "authoring/manualmarking.h"

#include "analysis/onsetalignment.h"
#include "platform/dialogs.h"
#include "platform/errorreport.h"
#include "platform/widgets.h"
#include "playback/audiodelay.h"
#include "playback/follower.h"
#include "playback/playbackstate.h"
#include "playback/player.h"
#include "playback/sheetview.h"
#include "project/markerentry.h"
#include "project/numbertext.h"
#include "project/workspace.h"

#include <QAbstractButton>
#include <QAction>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QRegularExpressionValidator>

namespace {

const QString kOffsetTitle = QStringLiteral("Enter The offset/preset time for the clicks");
const QString kOffsetPrompt =
    QStringLiteral("Enter The offset/preset time for the clicks.\nUse the (-) sign for preset.");

// Space between the caption editor's label and the editor.
constexpr int kLabelGap = 4;

} // namespace

ManualMarking::ManualMarking(Workspace& workspace, PlaybackState& state, Player& player,
                             Follower& follower, Widgets widgets, Dialogs& dialogs,
                             ErrorReport& errors, Hooks hooks, QObject* parent)
    : QObject(parent)
    , m_ws(workspace)
    , m_state(state)
    , m_player(player)
    , m_follower(follower)
    , m_w(widgets)
    , m_dialogs(dialogs)
    , m_errors(errors)
    , m_hooks(std::move(hooks))
{
    QWidget* canvas = m_w.sheet.canvas();
    m_editorLabel = new QLabel(QStringLiteral("Enter Caption For Current Point:"), canvas);
    m_editorLabel->setObjectName(QStringLiteral("AddCaptionSubLabel"));
    m_editorLabel->setAutoFillBackground(true);
    m_editorLabel->adjustSize();
    m_editorLabel->hide();
    m_editor = new QLineEdit(canvas);
    m_editor->setObjectName(QStringLiteral("AddCaption"));
    m_editor->setAccessibleName(QStringLiteral("Enter Caption For Current Point"));
    m_editor->setMinimumWidth(160);
    m_editor->adjustSize();
    // A caption is stored inside braces: "}" would end it early.
    m_editor->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[^}\\r\\n]*")), m_editor));
    m_editor->installEventFilter(this);
    m_editor->hide();

    m_offset = new QLineEdit(QStringLiteral("-0.250"), &m_w.window);
    m_offset->setObjectName(QStringLiteral("ClickDelay"));
    m_offset->setAccessibleName(QStringLiteral("Pre-click offset"));
    m_offset->hide();

    // "Snap to Recording" sits right after "Pre-Click" and shares its mode tag: shown in
    // editing mode (the mode refresh reads the tag).
    QWidget* toolbar = m_w.presets.parentWidget();
    m_snap = new QCheckBox(QStringLiteral("Snap to Recording"), toolbar);
    m_snap->setObjectName(QStringLiteral("Toolbar_Snap"));
    m_snap->setProperty("tag", m_w.presets.property("tag"));
    m_snap->setFocusPolicy(Qt::TabFocus);
    describe(m_snap, QStringLiteral("Snap to Recording"),
             QStringLiteral("Move each click to the note the recording plays within 0.2 s"));
    if (auto* row = qobject_cast<QBoxLayout*>(toolbar ? toolbar->layout() : nullptr))
        row->insertWidget(row->indexOf(&m_w.presets) + 1, m_snap);
    m_snap->setVisible(m_ws.modes.editing);

    // "Delete", "Delete All" and their separator head the index list's pop-up menu.
    QAction* first = m_w.popup.actions().value(0, nullptr);
    m_delete = new QAction(QStringLiteral("Delete"), &m_w.popup);
    m_delete->setObjectName(QStringLiteral("Delete1"));
    m_deleteAll = new QAction(QStringLiteral("Delete All"), &m_w.popup);
    m_deleteAll->setObjectName(QStringLiteral("Delete2"));
    m_deleteSeparator = new QAction(&m_w.popup);
    m_deleteSeparator->setObjectName(QStringLiteral("Delete3"));
    m_deleteSeparator->setSeparator(true);
    m_w.popup.insertActions(first, {m_delete, m_deleteAll, m_deleteSeparator});
    for (QAction* a : {m_delete, m_deleteAll, m_deleteSeparator})
        a->setVisible(m_ws.modes.editing);
    connect(m_delete, &QAction::triggered, this, &ManualMarking::Delete1Click);
    connect(m_deleteAll, &QAction::triggered, this, &ManualMarking::Delete2Click);

    connect(m_w.sheet.image(), &NotesImage::clicked, this, &ManualMarking::NotesImageMouseDown);
}

QString ManualMarking::offsetText() const
{
    return m_offset->text();
}

double ManualMarking::clickTime() const
{
    double t = m_player.position();
    // A click made while playing answers what was heard: the audio delay late, and the
    // reaction time that Pre-Click makes up for.
    if (m_player.statusText().contains(QLatin1String("Playing")))
        t = audiodelay::heardPosition(t, m_player.rate(), m_state.audioDelay) +
            numbertext::parse(m_offset->text()).value_or(0.0);
    if (!m_snap->isChecked() || m_ws.modes.automatic || !m_hooks.recordingOnsets)
        return t;
    const std::vector<Onset>* onsets = m_hooks.recordingOnsets();
    return onsets ? onsetalignment::snap(t, *onsets) : t;
}

void ManualMarking::NotesImageMouseDown(Qt::MouseButton button, QPoint point)
{
    const Modes& modes = m_ws.modes;
    if (button != Qt::LeftButton || !modes.editing || !m_ws.isOpen() ||
        (modes.automatic && !modes.automaticSecondStage))
        return;
    if (m_hooks.hotKeys.setAll)
        m_hooks.hotKeys.setAll(true);
    m_state.markerHidden = false;

    const QSize shown = m_w.sheet.displaySize();
    const MarkerShape* marker = m_w.sheet.point();
    const long long x = markerentry::placeFromClick(point.x(), marker->width(), shown.width());
    const long long y = markerentry::placeFromClick(point.y(), marker->height(), shown.height());
    // Rounded once: rounding a negative time again would move it by a hundredth.
    const double raw = clickTime();
    const double t = numbertext::roundHundredths(raw);
    const long long page = m_w.pages.currentIndex();
    const QString line =
        modes.automatic ? markerentry::buildSequence(markerentry::nextSequenceNumber(), x, y, page)
                        : markerentry::build(raw, x, y, page);

    if (modes.automaticSecondStage) {
        if (m_hooks.placeBox)
            m_hooks.placeBox(line, x, y);
        return;
    }
    try {
        m_ws.notes.insertInTimeOrder(line, t);
    } catch (const markerentry::ConversionError& e) {
        m_errors.report(e.text());
        return;
    }
    m_state.refreshRequest = true;
    if (m_hooks.rebuildIndex)
        m_hooks.rebuildIndex();
}

void ManualMarking::EnterKeyKeyDown()
{
    if (!m_ws.modes.editing || m_follower.selectedEntry() < 0 || m_player.source().isEmpty())
        return;
    m_player.pause();
    if (m_editor->isHidden())
        openCaptionEditor();
    else
        commitCaption();
}

void ManualMarking::openCaptionEditor()
{
    // Space and the Right Arrow type into the editor; Tab still commits it.
    const HotKeyHooks& keys = m_hooks.hotKeys;
    if (keys.setPauseAndPageFlags)
        keys.setPauseAndPageFlags(false, false);
    if (keys.enableAll)
        keys.enableAll(false);
    if (keys.enableCaptionKey)
        keys.enableCaptionKey(true);

    m_editor->setText(m_lastCaption);
    const MarkerShape* marker = m_w.sheet.point();
    m_editorLabel->adjustSize();
    const int labelLeft = marker->x() + marker->width() + 2;
    const int distance = m_editorLabel->width() + kLabelGap;
    m_editorLabel->move(labelLeft, marker->y());
    m_editor->move(labelLeft + distance, marker->y());
    m_editorLabel->show();
    m_editorLabel->raise();
    m_editor->show();
    m_editor->raise();
    m_editor->setFocus();
}

void ManualMarking::commitCaption()
{
    if (m_hooks.hotKeys.setAll)
        m_hooks.hotKeys.setAll(true);
    m_lastCaption = m_editor->text();
    m_ws.notes.setCaption(m_follower.selectedEntry(), m_lastCaption);
    m_editor->hide();
    m_editorLabel->hide();

    const MarkerShape* marker = m_w.sheet.point();
    QLabel* caption = m_w.sheet.pointCaption();
    caption->setText(m_lastCaption);
    caption->adjustSize();
    caption->move(marker->x(), marker->y() - caption->height());
    caption->setVisible(!(m_lastCaption.isEmpty() && marker->isVisible()));
}

void ManualMarking::closeCaptionEditor()
{
    m_editor->clear();
    m_editor->hide();
    m_editorLabel->hide();
}

void ManualMarking::Toolbar_PresetsClick()
{
    // Keys typed into the input box must not act as hot keys.
    if (m_hooks.hotKeys.setAll)
        m_hooks.hotKeys.setAll(false);
    QString value = m_offset->text();
    if (m_dialogs.getText(kOffsetTitle, kOffsetPrompt, value)) {
        if (numbertext::parse(value))
            m_offset->setText(value);
        else
            m_dialogs.information(QStringLiteral("Invalid input"));
    }
    // All flags are off here: the keys stay off until the next sheet click.
    if (m_hooks.hotKeys.applyFlags)
        m_hooks.hotKeys.applyFlags();
}

void ManualMarking::Delete1Click()
{
    const QModelIndex current = m_w.showList.currentIndex();
    if (!current.isValid())
        return;
    const int i = current.row();
    if (i < 0 || i >= m_ws.notes.count())
        return;
    if (m_ws.modes.automaticSecondStage && m_hooks.releaseBox)
        m_hooks.releaseBox(m_ws.notes.object(i));
    m_ws.notes.remove(i);
    m_state.refreshRequest = true;
    if (m_hooks.rebuildIndex)
        m_hooks.rebuildIndex();
}

void ManualMarking::Delete2Click()
{
    m_ws.notes.clear();
    if (m_hooks.releaseAllBoxes)
        m_hooks.releaseAllBoxes();
    m_state.refreshRequest = true;
    if (m_hooks.rebuildIndex)
        m_hooks.rebuildIndex();
}

bool ManualMarking::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_editor && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab) {
            EnterKeyKeyDown();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
