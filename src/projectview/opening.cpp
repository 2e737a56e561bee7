#include "projectview/opening.h"

#include "platform/dialogs.h"
#include "platform/paths.h"
#include "platform/widgets.h"
#include "playback/playbackstate.h"
#include "playback/player.h"
#include "playback/zoomandmarker.h"
#include "project/numbertext.h"
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

void setShown(QWidget& window, const char* name, bool shown)
{
    if (auto* w = window.findChild<QWidget*>(QLatin1String(name)))
        w->setVisible(shown);
}

void showInFront(QWidget& window, const char* name)
{
    if (auto* w = window.findChild<QWidget*>(QLatin1String(name))) {
        w->show();
        w->raise();
    }
}

// The Kinsoro project captions (`JoinProject`, `hostproject`) with their tags.
void setProjectCaptions(QWidget& window, const QString& text, int tag)
{
    for (const char* name : {"JoinProject", "hostproject"}) {
        if (auto* edit = window.findChild<QLineEdit*>(QLatin1String(name))) {
            edit->setText(text);
            edit->setProperty("tag", tag);
        }
    }
}

// The system's text for a failed write, naming the file.
QString writeError(const QString& path, const QString& why)
{
    return QStringLiteral("Cannot create file \"%1\". %2").arg(QDir::toNativeSeparators(path), why);
}

} // namespace

Opening::Opening(QWidget& window, Workspace& workspace, PlaybackState& state, Player& player,
                 Pages& pages, ZoomAndMarker& zoom, Dialogs& dialogs, Hooks hooks, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_ws(workspace)
    , m_state(state)
    , m_player(player)
    , m_pages(pages)
    , m_zoom(zoom)
    , m_dialogs(dialogs)
    , m_hooks(std::move(hooks))
{
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
    if (!confirmLeaving())
        return;
    setShown(m_window, "NewLastStage", false);
    if (m_hooks.leaveSession)
        m_hooks.leaveSession();
    setShown(m_window, "kinsoropanel", false);
    m_ws.modes.editing = false;
    m_window.setWindowTitle(QStringLiteral("Play a Folivant."));
    setShown(m_window, "Startup_Panel", false);
    openRoutine();
}

void Opening::openRoutine()
{
    const bool inSession = m_ws.modes.inSession();
    need<QSlider>(&m_window, QStringLiteral("TrackBar")).setEnabled(true);
    setProjectCaptions(m_window, QStringLiteral("Please Select"), -1);
    setShown(m_window, "Tips", true);
    need<QListView>(&m_window, QStringLiteral("ShowList")).setEnabled(true);
    m_ws.modes.suppressLocalAudio = false;

    m_ws.projectsFolder = paths::notesDir();
    QString start = lastDialogFolder();
    if (start.isEmpty())
        start = m_ws.projectsFolder;
    m_player.stop();
    m_player.setSource(QString());
    QDir().mkpath(m_ws.projectsFolder);
    const QString chosen =
        m_dialogs.openFile(QStringLiteral("Select File"), start,
                           QStringLiteral("Folivant File|*.nts"), QStringLiteral("nts"));
    m_lastDialogFile = chosen;

    if (chosen.isEmpty()) {
        if (!m_ws.modes.editing && !inSession) {
            setShown(m_window, "MainPanel", false);
            showInFront(m_window, "Startup_Panel");
        }
        setProjectCaptions(m_window, QStringLiteral("Please Select"), -1);
    } else {
        if (m_hooks.clearReplay)
            m_hooks.clearReplay();
        m_pages.clearImage();
        m_zoom.cancelZoom();
        if (m_hooks.removeAutomaticShapes)
            m_hooks.removeAutomaticShapes();
        if (!loadProject(chosen)) {
            setProjectCaptions(m_window, QStringLiteral("Please Select"), -1);
            m_dialogs.information(QStringLiteral("Error."));
            setShown(m_window, "Startup_Panel", true);
            if (auto* w = m_window.findChild<QWidget*>(QStringLiteral("Startup_Panel")))
                w->setEnabled(true);
            if (!inSession)
                showInFront(m_window, "Startup_Panel");
            else
                setShown(m_window, "Startup_Panel", false);
            setShown(m_window, "MainPanel", false);
        }
    }

    if (m_hooks.modeRefresh)
        m_hooks.modeRefresh();
    m_state.refreshRequest = true;
    if (!m_ws.modes.editing && !m_ws.modes.followMode) {
        if (auto* tips = m_window.findChild<QLabel*>(QStringLiteral("TipsLabel")))
            tips->setText(playTips());
    }
}

bool Opening::loadProject(const QString& path)
{
    auto* startup = m_window.findChild<QWidget*>(QStringLiteral("Startup_Panel"));
    if (startup)
        startup->setEnabled(false);
    m_ws.openPath = path;
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
    auto& local = need<QCheckBox>(&m_window, QStringLiteral("MainPanel_LocalAudio"));
    m_ws.modes.suppressLocalAudio = true;
    local.setChecked(m_ws.memo.value(QStringLiteral("UseLocal")) == QLatin1String("true"));
    m_ws.modes.suppressLocalAudio = false;
    localAudioChanged();

    m_ws.modes.automatic = false;
    m_ws.modes.automaticSecondStage = false;
    setShown(m_window, "NewPressContinue", false);
    setShown(m_window, "Toolbar_Finish", false);
    setShown(m_window, "Toolbar_Reset", false);
    setShown(m_window, "Toolbar_Clear", false);
    m_ws.modes.insertAfterSelection = false;
    if (auto* point = m_window.findChild<QWidget*>(QStringLiteral("Point")))
        point->move(0, 0);
    setShown(m_window, "PointT", false);
    setShown(m_window, "Toolbar_Save", m_ws.modes.editing);

    if (m_pages.pageList()->count() > 0) {
        m_pages.pageList()->setCurrentIndex(0);
        QString error;
        if (!m_pages.pageChange(false, &error))
            return false;
    }
    const bool inSession = m_ws.modes.inSession();
    if (!inSession && m_hooks.hotKeysOn)
        m_hooks.hotKeysOn();
    if (startup) {
        startup->setEnabled(true);
        startup->hide();
    }
    setProjectCaptions(m_window, m_ws.memo.value(QStringLiteral("FileName")), 0);
    if (!inSession)
        setShown(m_window, "MainPanel", true);
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
    auto& local = need<QCheckBox>(&m_window, QStringLiteral("MainPanel_LocalAudio"));
    const QString audioFile = m_ws.memo.value(QStringLiteral("AudioFile"));
    QString ext = paths::extension(audioFile);
    if (ext.isEmpty())
        ext = paths::extension(m_ws.memo.value(QStringLiteral("SourceAudioFile")));
    const bool cd = ext.toLower() == QLatin1String(".cda");
    const QString cdNote = QStringLiteral("Audio CD playback.\nplease select the file.");

    const auto askForAudio = [this]() -> QString {
        QString start = lastDialogFolder();
        const QString chosen = m_dialogs.openFile(
            QStringLiteral("Choose Audio File for the Notes."), start,
            QStringLiteral("Audio files|*.WAV;*.WMA;*.MP3;*.CDA|All|*.*"), QString());
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
    if (auto* tips = m_window.findChild<QLabel*>(QStringLiteral("TipsLabel")))
        tips->setText(QStringLiteral(
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
    const bool local =
        need<QCheckBox>(&m_window, QStringLiteral("MainPanel_LocalAudio")).isChecked();
    m_ws.memo.setValue(QStringLiteral("UseLocal"),
                       local ? QStringLiteral("true") : QStringLiteral("false"));
    QString error;
    if (!m_ws.memo.save(m_ws.openPath, &error)) {
        m_dialogs.information(writeError(m_ws.openPath, error));
        return false;
    }
    const QString dataFile = m_ws.fileInProject(QStringLiteral("NotesDataFile"));
    if (!m_ws.notes.save(dataFile, &error)) {
        m_dialogs.information(writeError(dataFile, error));
        return false;
    }
    m_ws.modes.automatic = false;
    m_ws.modes.editing = false;
    setShown(m_window, "Toolbar_Finish", false);
    setShown(m_window, "Toolbar_Clear", false);
    m_ws.modes.insertAfterSelection = false;
    setShown(m_window, "NewPressContinue", false);
    need<QListView>(&m_window, QStringLiteral("ShowList")).setEnabled(true);
    if (m_hooks.removeAutomaticShapes)
        m_hooks.removeAutomaticShapes();
    setShown(m_window, "NewLastStage", false);
    if (m_hooks.modeRefresh)
        m_hooks.modeRefresh();
    m_dialogs.information(QStringLiteral("Saved."));
    return true;
}
