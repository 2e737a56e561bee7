#include "support/testwindow.h"

#include <gtest/gtest.h>

// Every control and menu of the main window carries its own name, so that tests and the
// accessibility bus find it whatever panel is showing.
TEST(ControlNames, EveryNamedPartOfTheMainWindowExists)
{
    const QStringList names =
        QStringLiteral(
            "MainForm Startup_Panel Startup_Play Startup_RecordButton kinsorostart MainPanel "
            "MainPanel_Toolbar MainPanel_LeftPanel MainPanel_ButtomPanel MainPanel_ExitPanel "
            "MainPanel_Minimize MainPanel_Export MainPanel_LocalAudio MainPanel_OpenOther "
            "MainPanel_Play MainPanel_Pause MainPanel_Stop MainPanel_Rewind MainPanel_Record "
            "MainPanel_Pitch ToolOpen ToolBar_New ToolButton1 ToolButton2 ToolButton3 "
            "stopkinsoroMenu Toolbar_Edit Toolbar_Save ShareButton Toolbar_Presets Toolbar_Reset "
            "Toolbar_Clear Toolbar_Finish Toolbar_Screen Toolbar_ZoomIn Toolbar_ZoomOut Tips "
            "TipsLabel HideTips SharePanel NotesImage ScrollBox Point PointT ImageMenu "
            "NotesList ShowList ShowList_Popup PlaySong1 StopSong1 Delete1 Delete2 Delete3 "
            "AutoInsertPop AutoInsertPop2 Delete4 Delete4b PagesBox_Pages PagesBox_Add ZoomLevel "
            "LEDGreen LEDRed MarkerBox_EnabledLED MarkerBox_EnabledLabel MarkerBox_TopLeftLED "
            "MarkerBox_TopLeftLabel CurPos TrackBar MPlayer_Status LMDMMButton1 GoKinsoro "
            "kinsorobuttonhide Replay_SetStart Replay_SetEnd Replay_Play Replay_Stop Replay_Clear "
            "Replay_Marker PitchPanel PitchEdit PitchM PitchP Pitch_OK Pitch_Reset TempoLevel "
            "AddCaption AddCaptionSubLabel ClickDelay NewProject NewStep1 NewStep2 NewStep3 "
            "NewProjectSelectAudio NewOverwrite NewAddImage NewDeleteImage NewImageList "
            "NewOpenDisplay NewProjectOnStart NewProjectManual NewProjectAuto NewLastStage "
            "NewLastStepLabel NewPressContinue NewPressContinueLabel ContinueButton Label34 "
            "Label36 "
            "Label40 Label44 Label46 kinsoropanel kinsoroStatus MyIP connectedf hostproject "
            "hostselect HostGo JoinServer JoinNick JoinProject Selectjoin ConnectJoin "
            "DisconnectJoin "
            "JoinStrings StopHostKinsoro stopkinsoro PedalSettings PedalShow BPMAudio PedalBeats "
            "AverageStrokes StrokesDo")
            .split(QLatin1Char(' '));
    TestWindow w;
    QStringList missing;
    for (const QString& name : names)
        if (w.window->objectName() != name && !w.window->findChild<QObject*>(name))
            missing << name;
    EXPECT_TRUE(missing.isEmpty()) << "missing: " << missing.join(QLatin1Char(' ')).toStdString();
}
