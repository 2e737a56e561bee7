#include "app/mainwidgets.h"

#include "platform/widgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QWidget* panel(QWidget* parent, const char* name)
{
    auto* w = new QFrame(parent);
    w->setObjectName(QLatin1String(name));
    w->setFrameShape(QFrame::StyledPanel);
    w->setAutoFillBackground(true);
    return w;
}

ImageButton* mediaButton(QWidget* parent, const char* name, const QString& hint,
                         QStyle::StandardPixmap icon)
{
    auto* b = new ImageButton(QLatin1String(name), hint, parent);
    b->setIcon(QApplication::style()->standardIcon(icon));
    b->setIconSize(QSize(28, 28));
    return b;
}

void buildStartScreen(QWidget* window, MainWidgets& w)
{
    QWidget* startup = panel(window, "Startup_Panel");
    w.startup = startup;
    startup->resize(460, 330);
    auto* layout = new QVBoxLayout(startup);
    auto* heading = new QLabel(QStringLiteral("Select an Option"));
    QFont f = heading->font();
    f.setPointSize(f.pointSize() + 6);
    f.setBold(true);
    heading->setFont(f);
    heading->setAlignment(Qt::AlignCenter);
    layout->addWidget(heading);
    const struct {
        const char* name;
        QString caption;
        QString text;
        QAbstractButton** button;
    } choices[] = {
        {"Startup_Play", QStringLiteral("Play"),
         QStringLiteral("Play a Folivant file\r\nor\r\nEdit an existing file."), &w.startPlay},
        {"Startup_RecordButton", QStringLiteral("Record"),
         QStringLiteral("Create a new Folivant project"), &w.startRecord},
        {"kinsorostart", QStringLiteral("Kinsoro"),
         QStringLiteral("Play together with your friends over the network!"), &w.startKinsoro},
    };
    for (const auto& c : choices) {
        auto* row = new QHBoxLayout;
        QAbstractButton* button;
        if (QLatin1String(c.name) == QLatin1String("Startup_Play")) {
            auto* b = new ImageButton(QLatin1String(c.name), QString(), startup);
            b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
            b->setIcon(QApplication::style()->standardIcon(QStyle::SP_MediaPlay));
            button = b;
        } else {
            button = new QPushButton(startup);
            button->setObjectName(QLatin1String(c.name));
        }
        *c.button = button;
        button->setText(c.caption);
        describe(button, c.caption, QString());
        button->setMinimumSize(120, 48);
        row->addWidget(button);
        auto* text =
            new QLabel(QString(c.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        row->addWidget(text, 1);
        layout->addLayout(row);
    }
    startup->hide();
}

void buildSharePanel(QWidget* window, MainWidgets& w)
{
    QWidget* share = panel(window, "SharePanel");
    w.share = share;
    share->resize(460, 300);
    auto* layout = new QVBoxLayout(share);
    auto* title = new QLabel(QStringLiteral("Share your projects"));
    QFont f = title->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() + 4);
    title->setFont(f);
    layout->addWidget(title);
    auto* text = new QLabel(
        QStringLiteral("Pressing the \"Share\" button will lead you to where all your projects "
                       "are located.\n\nEach folder represents a project."));
    text->setWordWrap(true);
    layout->addWidget(text);
    layout->addWidget(new QLabel(QStringLiteral("Zip the desired folder, and email it!")));
    auto* note = new QLabel(
        QStringLiteral("A project can be shared without its audio file: whoever opens it is "
                       "asked to choose an audio file."));
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* go = new QPushButton(QStringLiteral("Share!"));
    go->setObjectName(QStringLiteral("ShareGo"));
    w.shareGo = go;
    describe(go, QStringLiteral("Share!"), QString());
    layout->addWidget(go);
    auto* hide = new LinkLabel(QStringLiteral("Hide"));
    hide->setObjectName(QStringLiteral("ShareHide"));
    layout->addWidget(hide, 0, Qt::AlignRight);
    QObject::connect(hide, &LinkLabel::clicked, share, &QWidget::hide);
    share->hide();
}

void buildToolbar(MainWidgets& w);

} // namespace

QToolButton* addToolButton(QWidget* toolbar, const char* name, const QString& caption,
                           const QString& hint, int tag)
{
    auto* b = new QToolButton(toolbar);
    b->setObjectName(QLatin1String(name));
    b->setText(caption);
    b->setProperty("tag", tag);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    describe(b, caption, hint);
    toolbar->layout()->addWidget(b);
    return b;
}

MainWidgets buildMainWidgets(QWidget* window, QWidget* sheet)
{
    MainWidgets w;
    w.window = window;
    w.mainPanel = panel(window, "MainPanel");
    auto* mainLayout = new QVBoxLayout(w.mainPanel);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    mainLayout->setSpacing(0);

    w.toolbar = new QWidget(w.mainPanel);
    w.toolbar->setObjectName(QStringLiteral("MainPanel_Toolbar"));
    auto* tl = new QHBoxLayout(w.toolbar);
    tl->setContentsMargins(4, 2, 80, 2);
    mainLayout->addWidget(w.toolbar);

    auto* middle = new QHBoxLayout;
    middle->setSpacing(2);
    mainLayout->addLayout(middle, 1);

    w.leftPanel = new QWidget(w.mainPanel);
    w.leftPanel->setObjectName(QStringLiteral("MainPanel_LeftPanel"));
    w.leftPanel->setFixedWidth(70);
    auto* ll = new QVBoxLayout(w.leftPanel);
    ll->setContentsMargins(2, 2, 2, 2);
    auto* indexTitle = new QLabel(QStringLiteral("Index"));
    ll->addWidget(indexTitle);
    w.showList = new QListView(w.leftPanel);
    w.showList->setObjectName(QStringLiteral("ShowList"));
    describe(w.showList, QString(), QStringLiteral("Marker indexes"));
    w.showList->setContextMenuPolicy(Qt::CustomContextMenu);
    w.showList->setUniformItemSizes(true);
    ll->addWidget(w.showList, 1);
    w.notesList = new QListView(w.leftPanel);
    w.notesList->setObjectName(QStringLiteral("NotesList"));
    w.notesList->setAccessibleName(QStringLiteral("Marker list"));
    w.notesList->setUniformItemSizes(true);
    w.notesList->hide();
    ll->addWidget(w.notesList);
    middle->addWidget(w.leftPanel);

    w.sheetArea = sheet;
    middle->addWidget(sheet, 1);

    w.rightColumn = new QWidget(w.mainPanel);
    w.rightColumn->setObjectName(QStringLiteral("RightColumn"));
    w.rightColumn->setFixedWidth(230);
    auto* rl = new QVBoxLayout(w.rightColumn);
    rl->setContentsMargins(2, 2, 2, 2);
    w.tips = panel(w.rightColumn, "Tips");
    auto* tipsLayout = new QVBoxLayout(w.tips);
    w.tipsLabel = new QLabel(w.tips);
    w.tipsLabel->setObjectName(QStringLiteral("TipsLabel"));
    w.tipsLabel->setWordWrap(true);
    w.tipsLabel->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    tipsLayout->addWidget(w.tipsLabel, 1);
    auto* hideTips = new LinkLabel(QStringLiteral("Hide"), w.tips);
    hideTips->setObjectName(QStringLiteral("HideTips"));
    tipsLayout->addWidget(hideTips, 0, Qt::AlignRight);
    QObject::connect(hideTips, &LinkLabel::clicked, w.tips, &QWidget::hide);
    w.tips->hide();
    rl->addWidget(w.tips, 1);
    middle->addWidget(w.rightColumn);

    w.bottomPanel = new QWidget(w.mainPanel);
    w.bottomPanel->setObjectName(QStringLiteral("MainPanel_ButtomPanel"));
    w.bottomPanel->setFixedHeight(96);
    mainLayout->addWidget(w.bottomPanel);

    // The bottom panel is laid out by hand: the timeline's width follows the window.
    w.rewind = mediaButton(w.bottomPanel, "MainPanel_Rewind", QStringLiteral("Stop"),
                           QStyle::SP_MediaSkipBackward);
    w.play =
        mediaButton(w.bottomPanel, "MainPanel_Play", QStringLiteral("Play"), QStyle::SP_MediaPlay);
    w.pause = mediaButton(w.bottomPanel, "MainPanel_Pause", QStringLiteral("Pause"),
                          QStyle::SP_MediaPause);
    w.stop =
        mediaButton(w.bottomPanel, "MainPanel_Stop", QStringLiteral("Stop"), QStyle::SP_MediaStop);
    w.pause2 =
        mediaButton(w.bottomPanel, "LMDMMButton1", QStringLiteral("Pause"), QStyle::SP_MediaPause);
    w.openOther =
        mediaButton(w.bottomPanel, "MainPanel_OpenOther",
                    QStringLiteral("Open another Folivant File"), QStyle::SP_DialogOpenButton);
    int x = 8;
    w.record =
        mediaButton(w.bottomPanel, "MainPanel_Record", QStringLiteral("Create a new Folivant file"),
                    QStyle::SP_FileDialogNewFolder);
    w.goKinsoro = mediaButton(w.bottomPanel, "GoKinsoro", QStringLiteral("Start Kinsoro"),
                              QStyle::SP_DriveNetIcon);
    for (ImageButton* b :
         {w.rewind, w.play, w.pause, w.stop, w.pause2, w.openOther, w.record, w.goKinsoro}) {
        b->setGeometry(x, 6, 40, 40);
        x += 42;
    }
    w.play->setEnabled(false);
    w.pause->setEnabled(false);
    w.stop->setEnabled(false);

    w.trackBar = new QSlider(Qt::Horizontal, w.bottomPanel);
    w.trackBar->setObjectName(QStringLiteral("TrackBar"));
    describe(w.trackBar, QString(),
             QStringLiteral("Timeline for the audio file.\r\nyou can change the audio file "
                            "position by changing the track bar position."));
    w.trackBar->setGeometry(x + 10, 6, 400, 24);
    w.trackBar->setMaximum(0);
    w.replayMarker = new QLabel(w.bottomPanel);
    w.replayMarker->setObjectName(QStringLiteral("Replay_Marker"));
    w.replayMarker->setAutoFillBackground(true);
    QPalette black = w.replayMarker->palette();
    black.setColor(QPalette::Window, Qt::black);
    w.replayMarker->setPalette(black);
    w.replayMarker->setGeometry(w.trackBar->x(), 30, 0, 19);
    w.replayMarker->setProperty("tag", w.trackBar->x());

    w.curPos = new QLabel(QStringLiteral("00:00"), w.bottomPanel);
    w.curPos->setObjectName(QStringLiteral("CurPos"));
    w.curPos->setGeometry(8, 50, 60, 20);
    w.status = new QLabel(w.bottomPanel);
    w.status->setObjectName(QStringLiteral("MPlayer_Status"));
    w.status->setGeometry(70, 50, 120, 20);

    w.localAudioPanel = new QWidget(w.bottomPanel);
    w.localAudioPanel->setObjectName(QStringLiteral("kinsorobuttonhide"));
    w.localAudioPanel->setGeometry(8, 70, 200, 24);
    w.localAudio = new QCheckBox(QStringLiteral("Use Local audio file"), w.localAudioPanel);
    w.localAudio->setObjectName(QStringLiteral("MainPanel_LocalAudio"));
    w.localAudio->setChecked(true);
    describe(w.localAudio, QStringLiteral("Use Local audio file"),
             QStringLiteral("If checked, the program uses the local audio file. \r\notherwise "
                            "the software uses the original audio file. \r\nif using a song "
                            "from a cd, Uncheck the box. \r\nthe software remembers your choice "
                            "for each song."));
    w.localAudio->move(0, 0);

    w.bottomRow = new QWidget(w.bottomPanel);
    w.bottomRow->setObjectName(QStringLiteral("BottomRow"));
    auto* br = new QHBoxLayout(w.bottomRow);
    br->setContentsMargins(0, 0, 0, 0);
    w.bottomRow->setGeometry(w.trackBar->x(), 52, 700, 40);

    w.showListPopup = new QMenu(window);
    w.showListPopup->setObjectName(QStringLiteral("ShowList_Popup"));

    buildStartScreen(window, w);
    buildSharePanel(window, w);
    buildToolbar(w);

    auto* exit = new LinkLabel(QStringLiteral("X"), window);
    exit->setObjectName(QStringLiteral("MainPanel_ExitPanel"));
    exit->setAlignment(Qt::AlignCenter);
    exit->resize(28, 24);
    w.exitBox = exit;
    auto* minimize = new LinkLabel(QStringLiteral("_"), window);
    minimize->setObjectName(QStringLiteral("MainPanel_Minimize"));
    minimize->setAlignment(Qt::AlignCenter);
    minimize->resize(28, 24);
    w.minimizeBox = minimize;
    w.mainPanel->hide();
    return w;
}

namespace {

void buildToolbar(MainWidgets& w)
{
    QWidget* t = w.toolbar;
    MainWidgets::Toolbar& b = w.tools;
    b.open = addToolButton(t, "ToolOpen", QStringLiteral("Open"), QString(), 1);
    b.newProject = addToolButton(t, "ToolBar_New", QStringLiteral("New"),
                                 QStringLiteral("Create a new Folivant file"), 1);
    b.kinsoro = addToolButton(t, "ToolButton3", QStringLiteral("Kinsoro"), QString(), 1);
    b.stopKinsoro =
        addToolButton(t, "stopkinsoroMenu", QStringLiteral("Stop Kinsoro"), QString(), 5);
    b.edit = addToolButton(t, "Toolbar_Edit", QStringLiteral("Edit"),
                           QStringLiteral("Edit an existing Folivant File"), 2);
    b.save = addToolButton(t, "Toolbar_Save", QStringLiteral("Save"), QStringLiteral("Save"), 0);
    b.share = addToolButton(t, "ShareButton", QStringLiteral("Share"), QString(), 1);
    b.presets = addToolButton(t, "Toolbar_Presets", QStringLiteral("Pre-Click"),
                              QStringLiteral("Set Preset/Offset Time for your clicks"), -2);
    b.reset = addToolButton(t, "Toolbar_Reset", QStringLiteral("Star over"),
                            QStringLiteral("Change Auto-Create Positions (Start, End, Boxes)"), -1);
    b.clear = addToolButton(t, "Toolbar_Clear", QStringLiteral("Clear"),
                            QStringLiteral("Clear All Auto Boxes"), -1);
    b.finish =
        addToolButton(t, "Toolbar_Finish", QStringLiteral("Finish"), QStringLiteral("Finish"), -1);
    auto* separator = new QLabel(QStringLiteral("|"), t);
    separator->setObjectName(QStringLiteral("ToolButton2"));
    separator->setProperty("tag", 0);
    t->layout()->addWidget(separator);
    b.screen = addToolButton(t, "Toolbar_Screen", QStringLiteral("Full Screen"),
                             QStringLiteral("Hide Toolbars"), 4);
    b.zoomIn =
        addToolButton(t, "Toolbar_ZoomIn", QStringLiteral("Zoom In"), QStringLiteral("Zoom In"), 4);
    b.zoomOut = addToolButton(t, "Toolbar_ZoomOut", QStringLiteral("Zoom Out"),
                              QStringLiteral("Zoom Out"), 4);
    b.help = addToolButton(t, "ToolButton1", QStringLiteral("Help"), QString(), 4);
    static_cast<QHBoxLayout*>(t->layout())->addStretch(1);
}

} // namespace
