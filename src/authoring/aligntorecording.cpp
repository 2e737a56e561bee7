#include "authoring/aligntorecording.h"

#include "analysis/baralignment.h"
#include "analysis/onsetalignment.h"
#include "authoring/recordinganalysis.h"
#include "platform/dialogs.h"
#include "platform/errorreport.h"
#include "playback/playbackstate.h"
#include "playback/player.h"
#include "project/markerentry.h"
#include "project/numbertext.h"
#include "project/workspace.h"

#include <QAction>
#include <QMenu>
#include <QRegularExpression>
#include <cmath>

namespace recordingalignment {

namespace {

// Whether the times step evenly (to the hundredth they are stored in), as automatic
// marking's Finish spreads them.
bool evenlySpread(const std::vector<double>& times)
{
    if (times.size() < 3)
        return false;
    const double step = (times.back() - times.front()) / static_cast<double>(times.size() - 1);
    for (std::size_t i = 1; i < times.size(); ++i)
        if (std::abs(times[i] - times[i - 1] - step) > 0.011)
            return false;
    return step > 0;
}

// The plan's names from the aligned times. Rounding to hundredths can bring two times
// together again: whole hundredths are kept apart once more, so that every entry keeps a
// name of its own.
void nameTimes(const std::vector<double>& aligned, const std::vector<double>& times, Plan& p)
{
    std::vector<double> hundredths;
    for (const double t : aligned)
        hundredths.push_back(std::round(numbertext::roundHundredths(t) * 100));
    onsetalignment::keepApart(hundredths, 1);
    for (std::size_t i = 0; i < times.size(); ++i) {
        const double t = numbertext::roundHundredths(hundredths[i] / 100);
        p.names << numbertext::format(t);
        // Both are hundredths: a name that keeps its time is no move.
        const double move = std::abs(t - times[i]);
        if (move >= 0.005) {
            ++p.moved;
            p.largestMove = std::max(p.largestMove, move);
        }
    }
}

// Takes over how an alignment ended: cancelled, failed, or sure of some entries. False when
// there is nothing more to plan.
bool takeOutcome(const onsetalignment::Alignment& aligned, Plan& p)
{
    if (aligned.cancelled) {
        p.cancelled = true;
        return false;
    }
    if (!aligned.ok()) {
        p.error = aligned.error;
        return false;
    }
    p.sure = aligned.matched;
    return true;
}

// Refuses an alignment sure of fewer than half of the entries (what they are, and what
// they were matched to, name them in the message); else the new times become the names.
void nameIfSure(const onsetalignment::Alignment& aligned, const std::vector<double>& times,
                const QString& entries, const QString& onto, Plan& p)
{
    const auto count = static_cast<int>(times.size());
    if (2 * p.sure < count) {
        p.error = QStringLiteral("Only %1 of %2 %3 could be matched to the recording's %4 "
                                 "with confidence: too few to align them.\nThe markers stay "
                                 "as they are.")
                      .arg(p.sure)
                      .arg(count)
                      .arg(entries, onto);
        return;
    }
    nameTimes(aligned.times, times, p);
}

} // namespace

Plan plan(const std::vector<double>& times, const std::vector<Onset>& onsets,
          const std::vector<engravedrhythm::BoxPlace>& places,
          const onsetalignment::AlignmentProgress& progress)
{
    Plan p;
    // An even spread says nothing of the rhythm; the boxes' spacing does. The stretch is
    // the one the spread covers: from the first entry to where one after the last would
    // begin.
    std::vector<double> rhythm;
    if (places.size() == times.size() && evenlySpread(times)) {
        const double step = (times.back() - times.front()) / static_cast<double>(times.size() - 1);
        rhythm = engravedrhythm::timesFromPlaces(places, times.front(), times.back() + step);
    }
    const onsetalignment::Alignment aligned =
        rhythm.empty() ? onsetalignment::align(times, onsets, {}, false, progress)
                       : onsetalignment::align(rhythm, onsets, {}, true, progress);
    if (!takeOutcome(aligned, p))
        return p;
    // The tempo an even spread's path follows changes with every note's length: only the
    // rhythm the boxes' spacing shows tells a jumping one, where it drifts stretch by stretch
    // too (boxes clicked by hand scatter the tempo of single steps even on the right notes).
    // (A marking by hand jitters by the hand's scatter; its moves are weighed against that
    // scatter instead, see doubtfulMoves.)
    if (!rhythm.empty() && onsetalignment::tempoDoubtful(aligned)) {
        p.error = QStringLiteral("The markers could not be matched to the recording's notes "
                                 "with confidence: the tempo they would follow jumps from note "
                                 "to note.\nThe markers stay as they are.");
        return p;
    }
    // A spread's times say nothing of where its unsure entries sound: they are spread
    // between the sure ones.
    p.spread = evenlySpread(times);
    nameIfSure(aligned, times, QStringLiteral("markers"), QStringLiteral("notes"), p);
    return p;
}

Plan planBars(const std::vector<double>& times, const std::vector<Onset>& onsets,
              const onsetalignment::AlignmentProgress& progress)
{
    Plan p;
    const onsetalignment::Alignment aligned = baralignment::align(times, onsets, {}, progress);
    if (!takeOutcome(aligned, p))
        return p;
    nameIfSure(aligned, times, QStringLiteral("bars"), QStringLiteral("downbeats"), p);
    return p;
}

QString question(const Plan& plan)
{
    const auto count = static_cast<int>(plan.names.size());
    QString text = QStringLiteral("%1 of %2 markers will move onto the recording's notes, by %3 "
                                  "s at most.\n")
                       .arg(plan.moved)
                       .arg(count)
                       .arg(QString::number(plan.largestMove, 'f', 2));
    if (plan.sure < count)
        text += QStringLiteral("Only %1 of the %2 markers are sure of their notes; the others "
                               "%3.\n")
                    .arg(plan.sure)
                    .arg(count)
                    .arg(plan.spread ? QStringLiteral("are spread between them")
                                     : QStringLiteral("keep their times where these fit "
                                                      "between them"));
    return text + QStringLiteral("Align them?");
}

} // namespace recordingalignment

AlignToRecording::AlignToRecording(Workspace& workspace, PlaybackState& state, Player& player,
                                   RecordingAnalysis& analysis, QMenu& popup, QAction* before,
                                   Dialogs& dialogs, ErrorReport& errors, Hooks hooks,
                                   QObject* parent)
    : QObject(parent)
    , m_ws(workspace)
    , m_state(state)
    , m_player(player)
    , m_analysis(analysis)
    , m_dialogs(dialogs)
    , m_errors(errors)
    , m_hooks(std::move(hooks))
{
    m_action = new QAction(QStringLiteral("Align to Recording"), &popup);
    m_action->setObjectName(QStringLiteral("AlignToRecording"));
    m_action->setToolTip(
        QStringLiteral("Move every marker onto the note the recording plays there"));
    m_separator = new QAction(&popup);
    m_separator->setObjectName(QStringLiteral("AlignToRecordingSeparator"));
    m_separator->setSeparator(true);
    popup.insertActions(before, {m_action, m_separator});
    for (QAction* a : {m_action, m_separator})
        a->setVisible(m_ws.modes.editing && !m_ws.modes.automatic);
    connect(m_action, &QAction::triggered, this, &AlignToRecording::AlignToRecordingClick);
}

const std::vector<Onset>* AlignToRecording::onsetsOrExplain()
{
    const QString recording = m_player.source();
    if (recording.isEmpty()) {
        m_dialogs.information(QStringLiteral("There is no recording to align the markers to."));
        return nullptr;
    }
    if (const std::vector<Onset>* onsets = m_analysis.onsetsFor(recording))
        return onsets;
    if (m_analysis.recording() == recording &&
        m_analysis.state() == RecordingAnalysis::State::Failed) {
        m_dialogs.information(m_analysis.statusText());
        return nullptr;
    }
    // Not analysed yet, or another recording was (the audio file was changed): the
    // analysis runs now if it does not already.
    m_analysis.analyse(recording);
    m_dialogs.information(QStringLiteral(
        "The recording is still being analysed.\nTry again when the status line says it is done."));
    return nullptr;
}

void AlignToRecording::AlignToRecordingClick()
{
    const Modes& modes = m_ws.modes;
    if (!modes.editing || modes.automatic || !m_ws.isOpen())
        return;
    MarkerList& notes = m_ws.notes;
    if (notes.isEmpty()) {
        m_dialogs.information(QStringLiteral("There are no markers to align."));
        return;
    }
    const std::vector<Onset>* onsets = onsetsOrExplain();
    if (!onsets)
        return;

    std::vector<double> times;
    std::vector<engravedrhythm::BoxPlace> places;
    times.reserve(static_cast<std::size_t>(notes.count()));
    try {
        for (qsizetype i = 0; i < notes.count(); ++i)
            times.push_back(notes.time(i));
    } catch (const markerentry::ConversionError& e) {
        m_errors.report(e.text());
        return;
    }
    // A marking made by Find Bars (its systems' first bars say "Bar N") has a box per bar:
    // those go onto the downbeats, whatever the boxes' spacing.
    bool bars = false;
    static const QRegularExpression barCaption(QStringLiteral("^Bar \\d+$"));
    for (qsizetype i = 0; i < notes.count() && !bars; ++i)
        bars = barCaption.match(markerentry::parseValue(notes.value(i)).caption).hasMatch();
    // The boxes' places help where they can be read; without them the times alone count.
    try {
        for (qsizetype i = 0; i < notes.count(); ++i) {
            const markerentry::Place place = markerentry::parsePlace(notes.value(i));
            places.push_back({static_cast<double>(place.x) / 1e6,
                              static_cast<double>(place.y) / 1e6, place.page});
        }
    } catch (const markerentry::ConversionError&) {
        places.clear();
    }
    // A few hundred entries take a fraction of a second, thousands over a long recording
    // seconds: the work runs on a worker thread under a progress box, and the window keeps
    // drawing. The worker reads its own copies.
    const std::vector<Onset> heard = *onsets;
    recordingalignment::Plan plan;
    m_dialogs.runWithProgress(QStringLiteral("Aligning the markers to the recording..."),
                              [&](const Dialogs::ProgressReport& report) {
                                  plan =
                                      bars ? recordingalignment::planBars(times, heard, report)
                                           : recordingalignment::plan(times, heard, places, report);
                              });
    if (plan.cancelled)
        return;
    if (!plan.error.isEmpty()) {
        m_dialogs.information(plan.error);
        return;
    }
    if (plan.moved == 0) {
        m_dialogs.information(
            QStringLiteral("Every marker already lies on the recording's notes."));
        return;
    }
    if (!m_dialogs.question(recordingalignment::question(plan)))
        return;

    // The question box is modal; should the list have changed meanwhile, the plan is stale.
    if (notes.count() != plan.names.size())
        return;
    for (qsizetype i = 0; i < notes.count(); ++i) {
        if (notes.name(i) == plan.names[i])
            continue;
        notes.replace(i, plan.names[i] + QLatin1Char('=') + notes.value(i));
    }
    m_state.refreshRequest = true;
    if (m_hooks.rebuildIndex)
        m_hooks.rebuildIndex();
}
