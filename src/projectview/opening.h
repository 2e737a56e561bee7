#pragma once

#include <QObject>
#include <functional>

class QWidget;
class SheetView;
struct MainWidgets;
class Dialogs;
class MarkerIndexModel;
class Pages;
class Player;
class ZoomAndMarker;
struct PlaybackState;
struct Workspace;

// The life of one open project: confirm leaving, play/open with the open routine, the
// "Use Local audio file" handler, entering editing mode and save.
class Opening : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void()> modeRefresh;
        std::function<void()> leaveSession; // the guest's leave action `stopkinsoro`
        std::function<void()> hotKeysOn;    // remembered flags on, keys active
        std::function<void()> clearReplay;  // as the replay "Clear" does
        std::function<void()> rebuildIndex; // marker index list and replay marks
        std::function<void()> removeAutomaticShapes;
        // The panels of the rooms built later: the wizard's last stage (`NewLastStage`),
        // automatic marking's prompt (`NewPressContinue`) and the Kinsoro panel.
        std::function<void()> hideLastStage;
        std::function<void()> hideContinuePanel;
        std::function<void()> hideSessionPanel;
        // The Kinsoro project captions (`JoinProject`, `hostproject`) with their tag:
        // -1 none chosen, 0 chosen.
        std::function<void(const QString& text, int tag)> setProjectCaptions;
        // A chosen project is about to replace the open one.
        std::function<void()> projectChanging;
        // Editing mode was entered ("Edit").
        std::function<void()> editingStarted;
    };

    // widgets: the main window's panels and controls; sheet holds the marker shape.
    Opening(const MainWidgets& widgets, SheetView& sheet, Workspace& workspace,
            PlaybackState& state, Player& player, Pages& pages, ZoomAndMarker& zoom,
            Dialogs& dialogs, Hooks hooks, QObject* parent = nullptr);

    bool confirmLeaving();
    void playOpen();
    // Play/open with the project file already chosen (a path given on the command line):
    // everything as after choosing path in the Open dialog, the messages of a missing or
    // broken project included.
    void playOpenFile(const QString& path);
    void openRoutine();
    void localAudioChanged();
    void editClick();
    // Returns true when both files were written.
    bool save();

    // The shared open-file dialog remembers the last file chosen with it.
    QString lastDialogFolder() const;
    void rememberDialogFile(const QString& path) { m_lastDialogFile = path; }

    static const QString& playTips();
    Hooks& hooks() { return m_hooks; }

private:
    // Confirm leaving and the steps of play/open before the open routine; false when refused.
    bool leaveForOpening();
    // The open routine; given, when not null, stands for the file chosen in the dialog.
    void runOpenRoutine(const QString* given);
    bool loadProject(const QString& path);
    void setProjectCaptions(const QString& text, int tag);
    static void call(const std::function<void()>& hook);

    const MainWidgets& m_w;
    SheetView& m_sheet;
    Workspace& m_ws;
    PlaybackState& m_state;
    Player& m_player;
    Pages& m_pages;
    ZoomAndMarker& m_zoom;
    Dialogs& m_dialogs;
    Hooks m_hooks;
    QString m_lastDialogFile;
};
