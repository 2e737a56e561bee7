// The cost of one follow tick that finds a change, with the position near the end of a
// long marker list, and of the ticks before the first entry of a long one-page list.
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

#include <memory>

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

// A main window's following parts around one marker list, one page shown.
struct Rig {
    explicit Rig(const QStringList& lines, Follower::Hooks hooks = {})
        : errors(dialogs)
        , clock(join, steadyClock())
        , zoom(ps, sheet, notesList)
    {
        sheet.resize(1000, 700);
        QImage page(1200, 1600, QImage::Format_RGB32);
        page.fill(Qt::white);
        sheet.image()->setImage(page);
        notesList.setModel(&ws.notes);
        showList.setModel(&index);
        pages.addItem(QStringLiteral("Page 1"));
        pages.addItem(QStringLiteral("Page 2"));
        pages.setCurrentIndex(0);
        timeline.setMaximum(100000000);
        ws.notes.setLines(lines);
        index.rebuild(static_cast<int>(lines.size()));
        follower = std::make_unique<Follower>(
            ws, ps, player,
            Follower::Widgets{sheet, notesList, showList, index, pages, timeline, curPos}, zoom,
            errors, clock, std::move(hooks));
    }
    Workspace ws;
    PlaybackState ps;
    StillPlayer player;
    SilentDialogs dialogs;
    ErrorReport errors;
    SheetView sheet;
    QListView notesList, showList;
    MarkerIndexModel index;
    QComboBox pages;
    QSlider timeline;
    QLabel curPos;
    QTimer join;
    GuestClock clock;
    ZoomAndMarker zoom;
    std::unique_ptr<Follower> follower;
};

void followTick(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    QStringList lines;
    for (int i = 0; i < n; ++i)
        lines << QStringLiteral("%1={%2}{%3}{0}")
                     .arg(i * 0.25)
                     .arg((i * 7919) % 900000)
                     .arg((i * 104729) % 900000);
    Rig rig(lines);
    const double a = (n - 2) * 0.25;
    const double b = (n - 1) * 0.25;
    bool flip = false;
    for (auto _ : state) {
        rig.player.pos = flip ? a : b;
        flip = !flip;
        rig.follower->PositionTimerTimer();
    }
    state.SetLabel(QStringLiteral("%1 entries").arg(n).toStdString());
}

// Ticks before the first entry is due, with the next page looked for ahead: the look-ahead
// is scanned once, not on every tick (target: under 50 us a tick with 60,000 entries).
void followTickBeforeFirstEntry(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    QStringList lines;
    for (int i = 0; i < n; ++i)
        lines << QStringLiteral("%1={%2}{%3}{0}").arg(10 + i * 0.25).arg(i % 900).arg(i % 700);
    int prepared = 0;
    Follower::Hooks hooks;
    hooks.preparePage = [&prepared](int) {
        ++prepared;
    };
    Rig rig(lines, std::move(hooks));
    bool flip = false;
    for (auto _ : state) {
        rig.player.pos = flip ? 1.0 : 2.0;
        flip = !flip;
        rig.follower->PositionTimerTimer();
    }
    state.SetLabel(QStringLiteral("%1 entries on one page").arg(n).toStdString());
}

} // namespace

BENCHMARK(followTick)->Arg(100)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(followTickBeforeFirstEntry)->Arg(60000)->Unit(benchmark::kMicrosecond);

FOLIVANT_BENCHMARK_MAIN();
