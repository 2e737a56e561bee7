#pragma once

#include "app/mainwindow.h"
#include "platform/shell.h"
#include "platform/widgets.h"
#include "support/fakehotkeys.h"
#include "support/need.h"
#include "support/scripteddialogs.h"
#include "support/scriptedplayer.h"
#include "support/testfiles.h"

#include <memory>
#include <optional>

// Records what the program hands to the desktop.
class RecordingShell : public Shell {
public:
    void openFolder(const QString& path) override { folders << path; }
    void openUrl(const QString& url) override { urls << url; }
    QStringList folders, urls;
};

// A whole main window on the offscreen platform with the test doubles of its seams and a
// temporary Notes folder. quitCount counts the program's requests to end.
struct TestWindow {
    TestWindow();
    ~TestWindow();

    // A project folder in the temporary Notes folder; returns the .nts path.
    QString makeProject(const testfiles::ProjectLayout& layout);
    // Opens a project through the "Play" path with the Open dialog answered.
    void open(const QString& ntsPath);
    // Makes the scripted player report what a real one would after a source was set:
    // ready, then (after the program's play) playing, which primes to paused at 0.
    void primePlayer(double duration = 60);

    // The monotonic clock the program reads (the guest clock runs by it) follows real time
    // until a test holds it; from then on it moves only by advanceClock().
    void holdClock();
    void advanceClock(double seconds);

    template <class T> T& find(const char* name)
    {
        return need<T>(window.get(), QLatin1String(name));
    }

    testfiles::TempNotes notes;
    ScriptedPlayer player;
    // The player of the audio delay's calibration clicks, once one was made.
    ScriptedPlayer* clicks = nullptr;
    ScriptedDialogs dialogs;
    FakeHotKeys keys;
    RecordingShell shell;
    int quitCount = 0;
    // The time of day the program reads (the clock of pedal strokes); tests set it.
    QTime now{12, 0, 0};
    std::optional<qint64> heldNs;
    std::unique_ptr<MainWindow> window;
};
