#include "app/mainwindow.h"
#include "playback/follower.h"
#include "playback/mpvplayer.h"
#include "playback/sheetview.h"
#include "projectview/pages.h"
#include "support/fakehotkeys.h"
#include "support/scripteddialogs.h"
#include "support/testfiles.h"
#include "support/testwindow.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

// A real recording played by the real player (null audio output): the marker shows the
// entries in order as they sound and turns to the right pages.
TEST(FollowRealPlayback, ShowsEntriesInOrderAndTurnsPages)
{
    testfiles::TempNotes notes;
    const QString wav = testfiles::makeTone(notes.path(), QStringLiteral("tone.wav"), 6);
    ASSERT_FALSE(wav.isEmpty());
    testfiles::ProjectLayout layout;
    layout.audio = wav;
    layout.pages = {QStringLiteral("p0.jpg"), QStringLiteral("p1.jpg")};
    // Entries 0.4 s apart; the second half lies on the second page.
    for (int i = 0; i < 10; ++i)
        layout.entries << QStringLiteral("%1={%2}{100000}{%3}")
                              .arg(0.4 + i * 0.4)
                              .arg(100000 + i * 50000)
                              .arg(i < 5 ? 0 : 1);
    const QString nts = testfiles::makeProject(notes.path(), layout);

    MpvPlayer player;
    ScriptedDialogs dialogs;
    FakeHotKeys keys;
    RecordingShell shell;
    MainWindow window(Services{&player, &dialogs, &keys, &shell, [] {}, {}, {}});
    window.resize(1280, 800);
    window.show();
    dialogs.files.enqueue(nts);
    need<QAbstractButton>(&window, QStringLiteral("Startup_Play")).click();

    // The freshly opened recording waits paused at 0 with the timeline's length known.
    auto& timeline = need<QSlider>(&window, QStringLiteral("TrackBar"));
    QTRY_COMPARE_WITH_TIMEOUT(timeline.maximum(), 600, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(player.playState(), static_cast<int>(Player::Paused), 10000);
    EXPECT_TRUE(dialogs.shown.isEmpty()) << dialogs.shown.join(QLatin1Char('|')).toStdString();

    QList<int> seen;
    QList<int> pageOf;
    QObject::connect(&window.follower().positionTimer(), &QTimer::timeout, &window, [&] {
        const int entry = window.follower().selectedEntry();
        if (entry >= 0 && (seen.isEmpty() || seen.last() != entry)) {
            seen << entry;
            pageOf << window.pages().pageList()->currentIndex();
        }
    });
    player.play();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 15000 && (seen.isEmpty() || seen.last() != 9))
        QTest::qWait(20);

    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.last(), 9);
    // In order, and (on a loaded machine a tick may come late) most entries seen.
    for (qsizetype i = 1; i < seen.size(); ++i)
        EXPECT_GT(seen[i], seen[i - 1]);
    EXPECT_GE(seen.size(), 7);
    for (qsizetype i = 0; i < seen.size(); ++i)
        EXPECT_EQ(pageOf[i], seen[i] < 5 ? 0 : 1) << "entry " << seen[i];
    player.stop();
}
