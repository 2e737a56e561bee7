// The cost of one follow tick that finds a change, with the position near the end of a
// long marker list.
#include "benchsupport.h"
#include "platform/dialogs.h"
#include "platform/errorreport.h"
#include "playback/follower.h"
#include "playback/guestclock.h"
#include "playback/markerindexmodel.h"
#include "playback/playbackstate.h"
#include "playback/player.h"
#include "playback/sheetview.h"
#include "playback/zoomandmarker.h"
#include "project/workspace.h"

#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QSlider>

namespace {

class SilentDialogs : public Dialogs {
public:
    void information(const QString&) override {}
    bool question(const QString&) override { return false; }
    bool getText(const QString&, const QString&, QString&) override { return false; }
    QString openFile(const QString&, const QString&, const QString&, const QString&) override
    {
        return {};
    }
};

// A player that stands still at a position the benchmark sets.
class StillPlayer : public Player {
public:
    QString source() const override { return QStringLiteral("/x.wav"); }
    void setSource(const QString&) override {}
    int playState() const override { return Player::Playing; }
    QString statusText() const override { return QStringLiteral("Playing"); }
    double position() const override { return pos; }
    void setPosition(double s) override { pos = s; }
    QString positionText() const override { return QStringLiteral("00:00"); }
    double duration() const override { return 1e6; }
    double rate() const override { return 1; }
    void setRate(double) override {}
    void play() override {}
    void pause() override {}
    void stop() override {}
    double pos = 0;
};

void followTick(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    Workspace ws;
    PlaybackState ps;
    StillPlayer player;
    SilentDialogs dialogs;
    ErrorReport errors(dialogs);
    SheetView sheet;
    sheet.resize(1000, 700);
    QImage page(1200, 1600, QImage::Format_RGB32);
    page.fill(Qt::white);
    sheet.image()->setImage(page);
    QListView notesList, showList;
    MarkerIndexModel index;
    notesList.setModel(&ws.notes);
    showList.setModel(&index);
    QComboBox pages;
    pages.addItem(QStringLiteral("Page 1"));
    pages.setCurrentIndex(0);
    QSlider timeline;
    timeline.setMaximum(100000000);
    QLabel curPos;
    QTimer join;
    GuestClock clock(join, steadyClock());
    ZoomAndMarker zoom(ps, sheet, notesList);
    QStringList lines;
    for (int i = 0; i < n; ++i)
        lines << QStringLiteral("%1={%2}{%3}{0}")
                     .arg(i * 0.25)
                     .arg((i * 7919) % 900000)
                     .arg((i * 104729) % 900000);
    ws.notes.setLines(lines);
    index.rebuild(n);
    Follower follower(ws, ps, player,
                      Follower::Widgets{sheet, notesList, showList, index, pages, timeline, curPos},
                      zoom, errors, clock, Follower::Hooks{});
    const double a = (n - 2) * 0.25;
    const double b = (n - 1) * 0.25;
    bool flip = false;
    for (auto _ : state) {
        player.pos = flip ? a : b;
        flip = !flip;
        follower.PositionTimerTimer();
    }
    state.SetLabel(QStringLiteral("%1 entries").arg(n).toStdString());
}

} // namespace

BENCHMARK(followTick)->Arg(100)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

FOLIVANT_BENCHMARK_MAIN();
