#include "authoring/wizard.h"

#include "authoring/automaticmarking.h"
#include "import/scoreimport.h"
#include "import/stagedpages.h"
#include "platform/dialogs.h"
#include "platform/mainwidgets.h"
#include "platform/paths.h"
#include "platform/widgets.h"
#include "playback/audioformats.h"
#include "playback/playbackstate.h"
#include "playback/player.h"
#include "playback/sheetview.h"
#include "playback/zoomandmarker.h"
#include "project/projectsave.h"
#include "project/workspace.h"
#include "projectview/opening.h"
#include "projectview/pageimport.h"
#include "projectview/pages.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QVBoxLayout>

namespace {

const QString kCdNote = QStringLiteral(
    "Please note that when using audio CDs\nfor playback, the software requires the use of "
    "the\nCD on every upcoming playback.\n\"LOCAL AUDIO\" Mode is not available.");

// Copies a file into a project folder; a file already there is kept and used, and a
// source that has gone is passed over (its page then reports itself missing). A copy that
// cannot be written (a full disk) leaves nothing behind: false with the target in *failed
// and the system's reason in *error. Each file copied is added to made.
bool copyKeeping(const QString& source, const QString& target, QStringList& made, QString* failed,
                 QString* error)
{
    if (QFileInfo::exists(target) || !QFileInfo::exists(source))
        return true;
    if (!projectsave::copyWhole(source, target, error)) {
        *failed = target;
        return false;
    }
    made << target;
    return true;
}

// The item role holding the converted page image behind a line of the image list.
constexpr int kStagedPage = Qt::UserRole + 1;

QPushButton* button(const char* name, const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    describe(b, caption, QString());
    return b;
}

} // namespace

Wizard::Wizard(const MainWidgets& widgets, Workspace& workspace, PlaybackState& state,
               Player& player, Pages& pages, ZoomAndMarker& zoom, SheetView& sheet,
               Opening& opening, AutomaticMarking& automatic, Dialogs& dialogs, Hooks hooks,
               QObject* parent)
    : QObject(parent)
    , m_w(widgets)
    , m_ws(workspace)
    , m_state(state)
    , m_player(player)
    , m_pages(pages)
    , m_zoom(zoom)
    , m_sheet(sheet)
    , m_opening(opening)
    , m_automatic(automatic)
    , m_dialogs(dialogs)
    , m_hooks(std::move(hooks))
{
    buildPanel();
    connect(m_selectAudio, &QPushButton::clicked, this, &Wizard::NewProjectSelectAudioClick);
    connect(m_name, &QLineEdit::textChanged, this, &Wizard::AudioFileChange);
    connect(m_addImage, &QPushButton::clicked, this, &Wizard::NewAddImageClick);
    connect(m_deleteImage, &QPushButton::clicked, this, &Wizard::NewDeleteImageClick);
    connect(m_goManual, &QPushButton::clicked, this, &Wizard::NewProjectManualClick);
    connect(m_goAuto, &QPushButton::clicked, this, &Wizard::NewProjectAutoClick);
    connect(m_cancel, &LinkLabel::clicked, this, &Wizard::Label34Click);
    connect(m_onStart, &QPushButton::clicked, this, &Wizard::NewProjectOnStartClick);
}

Wizard::~Wizard() = default;

void Wizard::buildPanel()
{
    m_panel = new QFrame(m_w.window);
    m_panel->setObjectName(QStringLiteral("NewProject"));
    m_panel->setFrameShape(QFrame::StyledPanel);
    m_panel->setAutoFillBackground(true);
    m_panel->resize(640, 620);
    auto* layout = new QVBoxLayout(m_panel);
    auto* title = new QLabel(QStringLiteral("Create a new project"), m_panel);
    QFont f = title->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() + 4);
    title->setFont(f);
    layout->addWidget(title);

    m_step1 = new QGroupBox(QStringLiteral("Step 1"), m_panel);
    m_step1->setObjectName(QStringLiteral("NewStep1"));
    auto* g1 = new QGridLayout(m_step1);
    auto* audioLabel = new QLabel(QStringLiteral("Select Audio File:"));
    g1->addWidget(audioLabel, 0, 0);
    m_display = new QLineEdit(QStringLiteral("Select"), m_step1);
    // Each field is read out by its label, not by the step's title.
    audioLabel->setBuddy(m_display);
    describe(m_display, audioLabel->text(), QString());
    m_display->setObjectName(QStringLiteral("NewOpenDisplay"));
    m_display->setReadOnly(true);
    m_display->setProperty("tag", 0);
    g1->addWidget(m_display, 0, 1);
    m_selectAudio = button("NewProjectSelectAudio", QStringLiteral("Select"), m_step1);
    g1->addWidget(m_selectAudio, 0, 2);
    auto* nameLabel = new QLabel(QStringLiteral("Enter Project Name:"));
    g1->addWidget(nameLabel, 1, 0);
    m_name = new QLineEdit(QStringLiteral("Default"), m_step1);
    nameLabel->setBuddy(m_name);
    describe(m_name, nameLabel->text(), QString());
    m_name->setObjectName(QStringLiteral("AudioFile"));
    m_name->setMaxLength(80);
    g1->addWidget(m_name, 1, 1, 1, 2);
    m_overwrite = new QLabel(QStringLiteral("Project Name allready exists. Overwrite?"), m_step1);
    m_overwrite->setObjectName(QStringLiteral("NewOverwrite"));
    m_overwrite->hide();
    g1->addWidget(m_overwrite, 2, 1, 1, 2);
    auto* hint = new QLabel(
        QStringLiteral("It is recommended to include the instrument name in the project name."));
    hint->setWordWrap(true);
    g1->addWidget(hint, 3, 0, 1, 3);
    layout->addWidget(m_step1);

    m_step2 = new QGroupBox(QStringLiteral("Step 2"), m_panel);
    m_step2->setObjectName(QStringLiteral("NewStep2"));
    auto* g2 = new QGridLayout(m_step2);
    g2->addWidget(new QLabel(QStringLiteral("Music sheets (image files to display)")), 0, 0, 1, 2);
    m_images = new QListWidget(m_step2);
    m_images->setObjectName(QStringLiteral("NewImageList"));
    m_images->setAccessibleName(QStringLiteral("Music sheets"));
    g2->addWidget(m_images, 1, 0, 2, 1);
    m_addImage = button("NewAddImage", QStringLiteral("Add"), m_step2);
    m_deleteImage = button("NewDeleteImage", QStringLiteral("Delete"), m_step2);
    g2->addWidget(m_addImage, 1, 1);
    g2->addWidget(m_deleteImage, 2, 1, Qt::AlignTop);
    m_step2->hide();
    layout->addWidget(m_step2, 1);

    m_step3 = new QGroupBox(QStringLiteral("Step 3"), m_panel);
    m_step3->setObjectName(QStringLiteral("NewStep3"));
    auto* g3 = new QGridLayout(m_step3);
    auto* manualText =
        new QLabel(QStringLiteral("MANUAL mode: play the song and click on the beginning of each "
                                  "notes-box while it sounds."));
    manualText->setWordWrap(true);
    auto* autoText = new QLabel(
        QStringLiteral("AUTOMATIC mode: mark the start and the end of the song, then click "
                       "every notes-box in order; the times are spread evenly."));
    autoText->setWordWrap(true);
    m_goManual = button("NewProjectManual", QStringLiteral("Go -  MANUAL mode"), m_step3);
    m_goAuto = button("NewProjectAuto", QStringLiteral("Go - AUTOMATIC Mode"), m_step3);
    g3->addWidget(manualText, 0, 0);
    g3->addWidget(m_goManual, 0, 1);
    g3->addWidget(autoText, 1, 0);
    g3->addWidget(m_goAuto, 1, 1);
    m_step3->hide();
    layout->addWidget(m_step3);

    m_cancel = new LinkLabel(QStringLiteral("Cancel"), m_panel);
    m_cancel->setObjectName(QStringLiteral("Label34"));
    layout->addWidget(m_cancel, 0, Qt::AlignRight);
    m_onStart = new QPushButton(m_panel);
    m_onStart->setObjectName(QStringLiteral("NewProjectOnStart"));
    m_onStart->setAccessibleName(QStringLiteral("Start a new project"));
    m_onStart->hide();
    m_panel->hide();
}

// The panels of automatic marking and the Kinsoro panel, which the wizard replaces.
void Wizard::hideOtherRoomsPanels()
{
    m_automatic.lastStagePanel()->hide();
    if (m_opening.hooks().hideSessionPanel)
        m_opening.hooks().hideSessionPanel();
}

void Wizard::recordClick()
{
    if (!m_opening.confirmLeaving())
        return;
    m_automatic.lastStagePanel()->hide();
    if (m_opening.hooks().leaveSession)
        m_opening.hooks().leaveSession();
    if (m_opening.hooks().hideSessionPanel)
        m_opening.hooks().hideSessionPanel();
    m_w.startup->hide();
    m_w.tipsLabel->setText(Opening::playTips());
    m_w.tips->show();
    m_ws.modes.editing = true;
    if (m_hooks.modeRefresh)
        m_hooks.modeRefresh();
    if (m_w.mainPanel->isVisible()) {
        if (m_w.stop->isEnabled())
            m_w.stop->click();
        m_panel->show();
        m_panel->raise();
        m_ws.modes.wizardOpen = true;
        m_w.mainPanel->hide();
    } else {
        m_w.startup->hide();
        NewProjectOnStartClick();
    }
}

void Wizard::NewProjectOnStartClick()
{
    AudioFileChange();
    if (m_hooks.hotKeys.setAll)
        m_hooks.hotKeys.setAll(false);
    m_w.trackBar->setEnabled(true);
    m_w.tips->show();
    m_w.showList->setEnabled(true);
    m_ws.modes.suppressLocalAudio = false;
    if (m_opening.hooks().clearReplay)
        m_opening.hooks().clearReplay();

    m_sheet.pointCaption()->hide();
    m_sheet.image()->clear();
    m_zoom.cancelZoom();

    m_automatic.releaseAll();
    m_ws.modes.automatic = false;
    m_ws.modes.automaticSecondStage = false;
    m_ws.modes.insertAfterSelection = false;
    if (m_hooks.modeRefresh)
        m_hooks.modeRefresh();

    m_ws.notes.clear();
    if (m_hooks.rebuildIndex)
        m_hooks.rebuildIndex();
    m_state.refreshRequest = false;
    m_panel->show();
    m_panel->raise();
}

void Wizard::AudioFileChange()
{
    const QString name = m_name->text();
    m_relativeFolder = QStringLiteral("Notes\\") + name + QLatin1Char('\\');
    const QString folder = newproject::projectFolder(paths::notesDir(), name);
    m_overwrite->setVisible(!folder.isEmpty() && QFileInfo(folder).isDir());
}

QString Wizard::dialogStart() const
{
    const QString last = m_opening.lastDialogFolder();
    return last.isEmpty() ? paths::exeDir() : last;
}

void Wizard::NewProjectSelectAudioClick()
{
    m_display->setProperty("tag", -1);
    const QString chosen =
        m_dialogs.openFile(QStringLiteral("Choose Audio File for the Notes."), dialogStart(),
                           audioformats::dialogFilter(), QString());
    m_opening.rememberDialogFile(chosen);
    if (chosen.isEmpty())
        return;
    m_audioPath = chosen;
    m_name->setText(newproject::proposedName(chosen));
    AudioFileChange(); // also when the proposed name equals the current one
    m_display->setText(chosen);
    m_display->setProperty("tag", 1);
    if (newproject::isCdTrack(chosen))
        m_dialogs.information(kCdNote);
    m_step2->show();
}

void Wizard::NewAddImageClick()
{
    const QString chosen = m_dialogs.openFile(
        QStringLiteral("Select an image file that contains your music scores."), dialogStart(),
        pageimport::withScores(QStringLiteral("Notes Image File|*.jpg;*.bmp;*.gif;")),
        QStringLiteral("jpg"));
    m_opening.rememberDialogFile(chosen);
    if (chosen.isEmpty())
        return;
    if (scoreimport::needsConversion(chosen)) {
        if (!addConvertedPages(chosen))
            return;
    } else {
        m_images->addItem(chosen);
    }
    m_step3->show();
}

// A PDF, PNG or TIFF score is converted when it is added, into a folder of the wizard's
// own: the list then holds one line per page and the project is made from the page
// images as from any other. A page's file stays there while its line is in the list.
bool Wizard::addConvertedPages(const QString& source)
{
    if (!m_staging)
        m_staging = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                    QStringLiteral("/folivant-pages-XXXXXX"));
    if (!m_staging->isValid()) {
        m_dialogs.information(
            QStringLiteral("The pages of \"%1\" cannot be converted: no folder for them (%2).")
                .arg(paths::fileName(source), m_staging->errorString()));
        m_staging.reset();
        return false;
    }
    const QString folder = m_staging->path() + QLatin1Char('/');
    const QStringList names = pageimport::convert(m_dialogs, source, folder, m_images->count());
    for (qsizetype k = 0; k < names.size(); ++k) {
        auto* item = new QListWidgetItem(
            names.size() == 1 ? source : QStringLiteral("%1 (page %2)").arg(source).arg(k + 1));
        item->setData(kStagedPage, folder + names[k]);
        m_images->addItem(item);
    }
    return !names.isEmpty();
}

QStringList Wizard::imagePaths() const
{
    QStringList paths;
    for (int k = 0; k < m_images->count(); ++k) {
        const QListWidgetItem* item = m_images->item(k);
        const QString staged = item->data(kStagedPage).toString();
        paths << (staged.isEmpty() ? item->text() : staged);
    }
    return paths;
}

// Where each page goes in folder. A chosen image keeps its name (one already there is kept
// and used); a converted page gets a name nothing in the folder has yet, so a project made
// again from a new edition of a score never shows the old edition's pages.
QStringList Wizard::pageTargets(const QString& folder) const
{
    QSet<QString> taken;
    for (const QString& entry : QDir(folder).entryList(QDir::AllEntries | QDir::Hidden |
                                                       QDir::System | QDir::NoDotAndDotDot))
        taken.insert(entry.toLower());
    const QStringList sources = imagePaths();
    for (int k = 0; k < m_images->count(); ++k)
        if (m_images->item(k)->data(kStagedPage).toString().isEmpty())
            taken.insert(paths::fileName(sources[k]).toLower());
    QStringList targets;
    for (int k = 0; k < m_images->count(); ++k) {
        QString name = paths::fileName(sources[k]);
        if (!m_images->item(k)->data(kStagedPage).toString().isEmpty()) {
            name = scoreimport::StagedPages::freeName(name, taken);
            taken.insert(name.toLower());
        }
        targets << folder + name;
    }
    return targets;
}

void Wizard::NewDeleteImageClick()
{
    const int row = m_images->currentRow();
    if (row < 0)
        return;
    const QListWidgetItem* item = m_images->takeItem(row);
    if (const QString staged = item->data(kStagedPage).toString(); !staged.isEmpty())
        QFile::remove(staged);
    delete item;
    if (m_images->count() == 0)
        m_step3->hide();
}

void Wizard::setLocalAudio(bool checked)
{
    m_ws.modes.suppressLocalAudio = true;
    m_w.localAudio->setChecked(checked);
    m_ws.modes.suppressLocalAudio = false;
}

void Wizard::refuse()
{
    m_relativeFolder.clear();
}

bool Wizard::createProject()
{
    m_ws.modes.followMode = false;
    if (m_display->property("tag").toInt() == -1 || m_audioPath.isEmpty()) {
        m_dialogs.information(QStringLiteral("Please Select an Audio File."));
        return false;
    }
    if (m_images->count() == 0) {
        m_dialogs.information(QStringLiteral("Please include at least one music sheet"));
        return false;
    }
    const QString typed = m_name->text();
    const QString folder = newproject::projectFolder(paths::notesDir(), typed);
    if (folder.isEmpty()) {
        refuse();
        m_dialogs.information(newproject::kNameRefused);
        return false;
    }
    const QString name = newproject::fileNamePart(typed);
    if (QFileInfo(folder).isDir() &&
        !m_dialogs.question(
            QStringLiteral("The program already has file with the same name.\nOverwrite?"))) {
        refuse();
        return false;
    }
    const bool newFolder = !QFileInfo(folder).isDir();
    if (!QDir().mkpath(folder)) {
        m_dialogs.information(QStringLiteral("Error Creating Directory"));
        refuse();
        return false;
    }

    // The project file is written last, so a project that could not be made whole (a full
    // disk) is not there at all: what this attempt copied is removed again.
    QStringList sources = imagePaths();
    QStringList targets = pageTargets(folder);
    m_ws.memo.setLines(newproject::projectLines(m_audioPath, m_ws.projectsFolder, name, targets));
    const bool cd = newproject::isCdTrack(m_audioPath);
    QStringList made;
    QString failed;
    QString error;
    if (!cd) {
        sources << m_audioPath;
        targets << folder + paths::fileName(m_audioPath);
    }
    for (qsizetype k = 0; k < sources.size(); ++k)
        if (!copyKeeping(sources[k], targets[k], made, &failed, &error))
            break;
    const QString nts = folder + name + QStringLiteral(".nts");
    if (failed.isEmpty() && !m_ws.memo.save(nts, &error))
        failed = nts;
    if (!failed.isEmpty()) {
        for (const QString& file : made)
            QFile::remove(file);
        if (newFolder)
            QDir().rmdir(folder);
        m_dialogs.information(QStringLiteral("Cannot create file \"%1\". %2")
                                  .arg(QDir::toNativeSeparators(failed), error));
        return false;
    }
    setLocalAudio(!cd);
    m_ws.openPath = nts;

    m_pages.fill();
    if (m_pages.pageList()->count() > 0)
        m_pages.pageList()->setCurrentIndex(0);
    m_ws.notes.clear();
    if (m_hooks.rebuildIndex)
        m_hooks.rebuildIndex();

    m_player.stop();
    m_state.priming = true;
    m_automatic.pressContinuePanel()->hide();
    m_w.tools.finish->hide();
    const bool local = m_w.localAudio->isChecked();
    m_player.setSource(local ? m_ws.fileInProject(QStringLiteral("AudioFile"))
                             : m_ws.memo.value(QStringLiteral("SourceAudioFile")));
    m_player.play();

    if (!m_pages.pageChange(false, &error) && !error.isEmpty())
        m_dialogs.information(error);

    if (m_hooks.hotKeys.setAll)
        m_hooks.hotKeys.setAll(true);
    m_ws.modes.wizardOpen = false;
    m_sheet.point()->hide();
    m_sheet.pointCaption()->hide();
    return true;
}

void Wizard::NewProjectManualClick()
{
    if (!createProject())
        return;
    m_w.tools.reset->hide();
    m_w.tools.clear->hide();
    m_automatic.pressContinuePanel()->hide();
    m_w.tools.finish->hide();
    m_w.tools.save->setVisible(m_ws.modes.editing);
    if (m_hooks.modeRefresh)
        m_hooks.modeRefresh();
    if (m_hooks.hotKeys.setAll)
        m_hooks.hotKeys.setAll(true);
    m_w.tipsLabel->setText(newproject::kManualTips);
    m_w.mainPanel->show();
    m_w.mainPanel->raise();
    m_w.minimizeBox->raise();
    m_w.exitBox->raise();
    m_panel->hide();
    if (m_hooks.markingStarted)
        m_hooks.markingStarted();
}

void Wizard::NewProjectAutoClick()
{
    if (!createProject())
        return;
    m_automatic.enter();
    if (m_hooks.markingStarted)
        m_hooks.markingStarted();
}

void Wizard::Label34Click()
{
    m_ws.modes.wizardOpen = false;
    m_ws.modes.editing = false;
    m_automatic.pressContinuePanel()->hide();
    m_panel->hide();
    m_w.mainPanel->hide();
    m_w.startup->show();
    m_w.startup->raise();
    hideOtherRoomsPanels();
}
