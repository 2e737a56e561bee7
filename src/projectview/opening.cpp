#include "projectview/opening.h"

#include "platform/dialogs.h"
#include "platform/mainwidgets.h"
#include "platform/paths.h"
#include "platform/widgets.h"
#include "playback/audioformats.h"
#include "playback/playbackstate.h"
#include "playback/player.h"
#include "playback/sheetview.h"
#include "playback/zoomandmarker.h"
#include "project/numbertext.h"
#include "project/projectsave.h"
#include "project/workspace.h"
#include "projectview/pages.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QSlider>

namespace {

const QString kSave = QStringLiteral("Save?");
const QString kAutomaticQuestion = QStringLiteral(
    "Are you sure you wish to close the window?\nThe automatic operation cannot be saved at "
    "this time.\nFinish all the configuration and then you will be able to save your file.");

// The system's text for a failed write, naming the file.
// A file that could not be written is reported as the window system reports it; new files
// that could not take the old ones' places name the file the same way.
QString saveError(const projectsave::Failure& failure)
{
    const QString path = QDir::toNativeSeparators(failure.path);
    if (failure.stage == projectsave::Failure::Stage::Replace)
        return QStringLiteral("Cannot save %1: %2").arg(path, failure.reason);
    return QStringLiteral("Cannot create file \"%1\". %2").arg(path, failure.reason);
}

} // namespace

Opening::Opening(const MainWidgets& widgets, SheetView& sheet, Workspace& workspace,
                 PlaybackState& state, Player& player, Pages& pages, ZoomAndMarker& zoom,
                 Dialogs& dialogs, Hooks hooks, QObject* parent)
    : QObject(parent)
    , m_w(widgets)
    , m_sheet(sheet)
    , m_ws(workspace)
    , m_state(state)
    , m_player(player)
    , m_pages(pages)
    , m_zoom(zoom)
    , m_dialogs(dialogs)
    , m_hooks(std::move(hooks))
{
}

void Opening::call(const std::function<void()>& hook)
{
    if (hook)
        hook();
}

void Opening::setProjectCaptions(const QString& text, int tag)
{
    if (m_hooks.setProjectCaptions)
        m_hooks.setProjectCaptions(text, tag);
}

const QString& Opening::playTips()
{
    static const QString tips = QStringLiteral(
        "Keyboard Shortcuts!\n\n* 'SPACE' - Pause\n* 'Right Arrow' - Next Page\n* 'TAB' - Add "
        "caption for a marker position (when editing)\n\n\n- Try using the Tempo/Pitch "
        "option\n\n- Try using the 'Replay' option\n\n- Try 'Right-Click' the 'Index' area for "
        "more options");
    return tips;
}

QString Opening::lastDialogFolder() const
{
    return m_lastDialogFile.isEmpty() ? QString() : paths::folder(m_lastDialogFile);
}

bool Opening::confirmLeaving()
{
    if (m_ws.modes.automatic)
        return m_dialogs.question(kAutomaticQuestion);
    if (!m_ws.modes.editing || m_ws.modes.wizardOpen)
        return true;
    if (m_dialogs.question(kSave))
        save();
    return true;
}

void Opening::playOpen()
{
    if (leaveForOpening())
        openRoutine();
}

void Opening::playOpenFile(const QString& path)
{
    if (leaveForOpening())
        runOpenRoutine(&path);
}

bool Opening::leaveForOpening()
{
    if (!confirmLeaving())
        return false;
    call(m_hooks.hideLastStage);
    call(m_hooks.leaveSession);
    call(m_hooks.hideSessionPanel);
    m_ws.modes.editing = false;
    m_w.window->setWindowTitle(QStringLiteral("Play a Folivant."));
    m_w.startup->hide();
    return true;
}

void Opening::openRoutine()
{
    runOpenRoutine(nullptr);
}

void Opening::runOpenRoutine(const QString* given)
{
    const bool inSession = m_ws.modes.inSession();
    m_w.trackBar->setEnabled(true);
    setProjectCaptions(QStringLiteral("Please Select"), -1);
    m_w.tips->show();
    m_w.showList->setEnabled(true);
    m_ws.modes.suppressLocalAudio = false;

    m_ws.projectsFolder = paths::notesDir();
    QString start = lastDialogFolder();
    if (start.isEmpty())
        start = m_ws.projectsFolder;
    m_player.stop();
    m_player.setSource(QString());
    QDir().mkpath(m_ws.projectsFolder);
    const QString chosen =
        given ? *given
              : m_dialogs.openFile(QStringLiteral("Select File"), start,
                                   QStringLiteral("Folivant File|*.nts"), QStringLiteral("nts"));
    m_lastDialogFile = chosen;

    if (chosen.isEmpty()) {
        if (!m_ws.modes.editing && !inSession) {
            m_w.mainPanel->hide();
            m_w.startup->show();
            m_w.startup->raise();
        }
        setProjectCaptions(QStringLiteral("Please Select"), -1);
    } else {
        call(m_hooks.projectChanging);
        if (m_hooks.clearReplay)
            m_hooks.clearReplay();
        m_pages.clearImage();
        m_zoom.cancelZoom();
        if (m_hooks.removeAutomaticShapes)
            m_hooks.removeAutomaticShapes();
        if (!loadProject(chosen)) {
            setProjectCaptions(QStringLiteral("Please Select"), -1);
            m_dialogs.information(QStringLiteral("Error."));
            m_w.startup->setEnabled(true);
            m_w.startup->setVisible(!inSession);
            if (!inSession)
                m_w.startup->raise();
            m_w.mainPanel->hide();
        }
    }

    if (m_hooks.modeRefresh)
        m_hooks.modeRefresh();
    m_state.refreshRequest = true;
    if (!m_ws.modes.editing && !m_ws.modes.followMode) {
        m_w.tipsLabel->setText(playTips());
    }
}

bool Opening::loadProject(const QString& path)
{
    m_w.startup->setEnabled(false);
    m_ws.openPath = path;
    // A save that the program could not finish is finished first. Another copy of the
    // program that is saving this project right now is waited for, and said so if it
    // takes too long, rather than read half-way.
    if (projectsave::recover(path) == projectsave::Recovery::Busy)
        m_dialogs.information(QStringLiteral(
            "Another copy of Folivant is saving this project. It opens as it was before "
            "that save."));
    m_pages.clear();
    if (!m_ws.memo.load(path))
        return false;
    if (!m_pages.fill())
        return false;
    m_ws.notes.clear();
    const QString dataFile = m_ws.fileInProject(QStringLiteral("NotesDataFile"));
    if (!m_ws.memo.value(QStringLiteral("NotesDataFile")).isEmpty() &&
        QFileInfo(dataFile).isFile() && !m_ws.notes.load(dataFile))
        return false;
    if (m_hooks.rebuildIndex)
        m_hooks.rebuildIndex();
    m_zoom.cancelZoom();

    m_state.priming = true;
    m_ws.modes.suppressLocalAudio = true;
    m_w.localAudio->setChecked(m_ws.memo.value(QStringLiteral("UseLocal")) ==
                               QLatin1String("true"));
    m_ws.modes.suppressLocalAudio = false;
    localAudioChanged();

    m_ws.modes.automatic = false;
    m_ws.modes.automaticSecondStage = false;
    call(m_hooks.hideContinuePanel);
    m_w.tools.finish->hide();
    m_w.tools.reset->hide();
    m_w.tools.clear->hide();
    m_ws.modes.insertAfterSelection = false;
    m_sheet.point()->move(0, 0);
    m_sheet.pointCaption()->hide();
    m_w.tools.save->setVisible(m_ws.modes.editing);

    if (m_pages.pageList()->count() > 0) {
        m_pages.pageList()->setCurrentIndex(0);
        QString error;
        if (!m_pages.pageChange(false, &error))
            return false;
    }
    const bool inSession = m_ws.modes.inSession();
    if (!inSession && m_hooks.hotKeysOn)
        m_hooks.hotKeysOn();
    m_w.startup->setEnabled(true);
    m_w.startup->hide();
    setProjectCaptions(m_ws.memo.value(QStringLiteral("FileName")), 0);
    if (!inSession)
        m_w.mainPanel->show();
    return true;
}

void Opening::localAudioChanged()
{
    if (m_ws.modes.suppressLocalAudio)
        return;
    m_player.stop();
    m_player.setSource(QString());
    if (m_ws.modes.followMode)
        return;
    m_ws.projectsFolder.clear();
    QCheckBox& local = *m_w.localAudio;
    const QString audioFile = m_ws.memo.value(QStringLiteral("AudioFile"));
    QString ext = paths::extension(audioFile);
    if (ext.isEmpty())
        ext = paths::extension(m_ws.memo.value(QStringLiteral("SourceAudioFile")));
    const bool cd = ext.toLower() == QLatin1String(".cda");
    const QString cdNote = QStringLiteral("Audio CD playback.\nplease select the file.");

    const auto askForAudio = [this]() -> QString {
        QString start = lastDialogFolder();
        const QString chosen =
            m_dialogs.openFile(QStringLiteral("Choose Audio File for the Notes."), start,
                               audioformats::dialogFilter(), QString());
        return chosen;
    };

    if (local.isChecked()) {
        const QString localCopy = m_ws.projectFolder() + audioFile;
        if (audioFile.isEmpty() || !QFileInfo(localCopy).isFile()) {
            m_dialogs.information(QStringLiteral("Unable to locate local audio file"));
            local.setChecked(false); // runs this handler again, unchecked
            return;
        }
        if (cd) {
            m_dialogs.information(cdNote);
            const QString chosen = askForAudio();
            if (chosen.isEmpty())
                return;
            m_player.setSource(chosen);
        } else {
            m_player.setSource(localCopy);
        }
    } else {
        if (cd)
            m_dialogs.information(cdNote);
        const QString chosen = askForAudio();
        if (chosen.isEmpty())
            return;
        m_player.setSource(chosen);
    }
    m_state.priming = true;
    if (QFileInfo(m_player.source()).isFile())
        m_player.play();
    else
        m_dialogs.information(QStringLiteral("Audio file doesn't exists."));
    if (m_player.statusText().isEmpty())
        m_player.stop();
}

void Opening::editClick()
{
    if (m_ws.modes.inSession())
        return;
    m_ws.modes.editing = true;
    m_ws.modes.insertAfterSelection = true;
    m_state.refreshRequest = true;
    if (m_hooks.modeRefresh)
        m_hooks.modeRefresh();
    call(m_hooks.editingStarted);
    m_w.tipsLabel->setText(QStringLiteral(
        "Right Click the 'Index' area to modify markers.\n\n\nClick on the notes sheet to "
        "add a marker.\n\n\nKeyboard Shortcuts!\n\n* 'SPACE' - Pause\n* 'Right Arrow' - "
        "Next Page\n* 'TAB' - Add caption for a marker position (when editing)\n\n\n- Try "
        "using the Tempo/Pitch option"));
    m_dialogs.information(QStringLiteral("Editing Mode."));
}

bool Opening::save()
{
    if (m_ws.modes.automatic || !m_ws.isOpen())
        return false;
    const bool local = m_w.localAudio->isChecked();
    m_ws.memo.setValue(QStringLiteral("UseLocal"),
                       local ? QStringLiteral("true") : QStringLiteral("false"));
    // Both files or neither: a full disk or a killed program never leaves a mix.
    projectsave::Failure failure;
    if (!projectsave::writeAll(
            m_ws.openPath,
            {{m_ws.openPath, m_ws.memo.lines()},
             {m_ws.fileInProject(QStringLiteral("NotesDataFile")), m_ws.notes.lines()}},
            &failure)) {
        m_dialogs.information(saveError(failure));
        return false;
    }
    m_ws.modes.automatic = false;
    m_ws.modes.editing = false;
    m_w.tools.finish->hide();
    m_w.tools.clear->hide();
    m_ws.modes.insertAfterSelection = false;
    call(m_hooks.hideContinuePanel);
    m_w.showList->setEnabled(true);
    call(m_hooks.removeAutomaticShapes);
    call(m_hooks.hideLastStage);
    if (m_hooks.modeRefresh)
        m_hooks.modeRefresh();
    m_dialogs.information(QStringLiteral("Saved."));
    return true;
}
