#pragma once

#include "authoring/manualmarking.h"
#include "authoring/newproject.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTemporaryDir;
class QWidget;
class AutomaticMarking;
class Dialogs;
class LinkLabel;
class Opening;
class Pages;
class Player;
class SheetView;
class ZoomAndMarker;
struct MainWidgets;
struct PlaybackState;
struct Workspace;

// The new-project wizard `NewProject`: step 1 chooses the audio file and the project name,
// step 2 collects the page images (a PDF, PNG or TIFF score is converted into page images
// when it is added, one line per page), step 3 chooses manual or automatic marking. A go
// button creates the project folder, copies the audio file and the pages into it (never
// replacing a file already there), writes the project file, opens the project with its
// audio primed at the start and hands over to manual or automatic marking.
class Wizard : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void()> modeRefresh;
        std::function<void()> rebuildIndex;
        HotKeyHooks hotKeys;
        // The new project is open and marking (manual or automatic) begins.
        std::function<void()> markingStarted;
    };

    // widgets: the main window's panels and controls; the wizard's panel is made a child of
    // its window.
    Wizard(const MainWidgets& widgets, Workspace& workspace, PlaybackState& state, Player& player,
           Pages& pages, ZoomAndMarker& zoom, SheetView& sheet, Opening& opening,
           AutomaticMarking& automatic, Dialogs& dialogs, Hooks hooks, QObject* parent = nullptr);
    ~Wizard() override;

    Hooks& hooks() { return m_hooks; }
    QFrame* panel() const { return m_panel; }

    // "Record" on the start screen and "New" on the toolbar.
    void recordClick();
    void NewProjectOnStartClick(); // the wizard reset
    void NewProjectSelectAudioClick();
    void AudioFileChange();
    void NewAddImageClick();
    void NewDeleteImageClick();
    // Creates the project folder and files and opens the new project; false when refused.
    bool createProject();
    void NewProjectManualClick();
    void NewProjectAutoClick();
    void Label34Click(); // "Cancel"

    // "Notes\" + project name + "\", emptied when a creation is refused.
    const QString& relativeFolder() const { return m_relativeFolder; }

private:
    void buildPanel();
    void hideOtherRoomsPanels();
    QString dialogStart() const;
    void setLocalAudio(bool checked);
    void refuse();
    bool addConvertedPages(const QString& source);
    // The image files behind the list's lines, in page order.
    QStringList imagePaths() const;
    QStringList pageTargets(const QString& folder) const;

    const MainWidgets& m_w;
    Workspace& m_ws;
    PlaybackState& m_state;
    Player& m_player;
    Pages& m_pages;
    ZoomAndMarker& m_zoom;
    SheetView& m_sheet;
    Opening& m_opening;
    AutomaticMarking& m_automatic;
    Dialogs& m_dialogs;
    Hooks m_hooks;

    QFrame* m_panel = nullptr;
    QGroupBox* m_step1 = nullptr;
    QGroupBox* m_step2 = nullptr;
    QGroupBox* m_step3 = nullptr;
    QLineEdit* m_display = nullptr; // `NewOpenDisplay`
    QPushButton* m_selectAudio = nullptr;
    QLineEdit* m_name = nullptr; // `AudioFile`
    QLabel* m_overwrite = nullptr;
    QListWidget* m_images = nullptr;
    QPushButton* m_addImage = nullptr;
    QPushButton* m_deleteImage = nullptr;
    QPushButton* m_goManual = nullptr;
    QPushButton* m_goAuto = nullptr;
    LinkLabel* m_cancel = nullptr;
    QPushButton* m_onStart = nullptr;

    QString m_audioPath;
    QString m_relativeFolder;
    // Page images converted from scores, kept while their lines are listed; the folder
    // goes with the wizard.
    std::unique_ptr<QTemporaryDir> m_staging;
};
