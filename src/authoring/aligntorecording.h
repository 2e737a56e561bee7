#pragma once

#include "analysis/engravedrhythm.h"
#include "analysis/onsetalignment.h"
#include "analysis/onsetdetector.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <vector>

class QAction;
class QMenu;
class Dialogs;
class ErrorReport;
class Player;
class RecordingAnalysis;
struct PlaybackState;
struct Workspace;

// What aligning a marking to the recording would change, worked out before anything is
// changed (pure).
namespace recordingalignment {

struct Plan {
    QStringList names;      // the new name of every entry: its aligned time in hundredths
    int moved = 0;          // entries whose name changes
    double largestMove = 0; // seconds, the largest change of a name's time
    int sure = 0;           // entries sure of the note they move onto
    bool spread = false;    // the others are spread between them (else they keep their times)
    bool cancelled = false; // the progress report asked to stop: no names
    QString error;          // why the entries cannot be aligned; empty otherwise
};

// times: the entries' times in list order (hundredths); places: where their boxes lie, in
// the same order (may be empty). An even spread, as automatic marking leaves it, is aligned
// by the rhythm its boxes' spacing shows instead (see engravedrhythm). Entries whose times go
// backwards,
// or no onsets at all, give an error and no names; so does an alignment sure of fewer than
// half of the entries (it would more likely spoil the marking than mend it).
// progress: as onsetalignment::align takes it (plan may run on a worker thread).
Plan plan(const std::vector<double>& times, const std::vector<Onset>& onsets,
          const std::vector<engravedrhythm::BoxPlace>& places = {},
          const onsetalignment::AlignmentProgress& progress = {});

// The same for a marking of bars (one entry per bar, spread evenly by Finish): each bar
// goes onto its downbeat (see baralignment); refused when fewer than half are sure.
Plan planBars(const std::vector<double>& times, const std::vector<Onset>& onsets,
              const onsetalignment::AlignmentProgress& progress = {});

// The question asked before the plan is carried out: how many entries move and how far,
// and, when not every entry is sure of its note, how many are.
QString question(const Plan& plan);

} // namespace recordingalignment

// "Align to Recording" in the marker index list's pop-up menu `ShowList_Popup`, shown in
// editing mode outside automatic marking (the mode refresh shows and hides it). It moves
// every entry's time onto the note onsets of the recording, keeping the entries' order,
// worked out on a worker thread under a progress box with "Cancel"; before changing
// anything it asks how many entries move and by how much at most. Only
// the names change (each is the new time in hundredths); places, pages and captions stay.
// The change lives in memory until the project is saved.
class AlignToRecording : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        // `ShowList` refilled "1" to "n" and the replay marks refreshed.
        std::function<void()> rebuildIndex;
    };

    // The menu item and a separator after it are inserted into popup before `before`
    // (appended when null).
    AlignToRecording(Workspace& workspace, PlaybackState& state, Player& player,
                     RecordingAnalysis& analysis, QMenu& popup, QAction* before, Dialogs& dialogs,
                     ErrorReport& errors, Hooks hooks, QObject* parent = nullptr);

    QAction* action() const { return m_action; }
    // The menu item and its separator, shown and hidden together by the mode refresh.
    QList<QAction*> menuActions() const { return {m_action, m_separator}; }

    // The menu item's handler.
    void AlignToRecordingClick();

private:
    // The onsets of the player's recording; null (and the user told why) when not known.
    const std::vector<Onset>* onsetsOrExplain();

    Workspace& m_ws;
    PlaybackState& m_state;
    Player& m_player;
    RecordingAnalysis& m_analysis;
    Dialogs& m_dialogs;
    ErrorReport& m_errors;
    Hooks m_hooks;
    QAction* m_action;
    QAction* m_separator;
};
