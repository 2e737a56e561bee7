// Markers fitted to the recording: its analysis on a worker thread, "Snap to Recording"
// while marking by hand and "Align to Recording" in the marker index list's menu.
#include "analysis/testpieces.h"
#include "authoring/aligntorecording.h"
#include "authoring/manualmarking.h"
#include "authoring/recordinganalysis.h"
#include "playback/markerindexmodel.h"
#include "playback/playbackstate.h"
#include "playback/sheetview.h"
#include "project/numbertext.h"
#include "support/testwindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QToolButton>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace {

const QString kData = QStringLiteral(FOLIVANT_ANALYSIS_DATA);

QStringList names(const MarkerList& notes)
{
    QStringList out;
    for (qsizetype i = 0; i < notes.count(); ++i)
        out << notes.name(i);
    return out;
}

QStringList values(const MarkerList& notes)
{
    QStringList out;
    for (qsizetype i = 0; i < notes.count(); ++i)
        out << notes.value(i);
    return out;
}

} // namespace

TEST(RecordingAnalysis, FindsTheOnsetsOnAWorkerAndKeepsThemForThatRecording)
{
    const TestPiece piece = loadTestPiece(kData, QStringLiteral("rubato"));
    ASSERT_EQ(piece.notes.size(), 59u);
    RecordingAnalysis analysis;
    QStringList statuses;
    bool offTheGuiThread = false;
    QObject::connect(&analysis, &RecordingAnalysis::statusChanged, [&](const QString& text) {
        statuses << text;
        offTheGuiThread |= QThread::currentThread() != qApp->thread();
    });
    QSignalSpy finished(&analysis, &RecordingAnalysis::finished);

    analysis.analyse(piece.audio);
    EXPECT_EQ(analysis.state(), RecordingAnalysis::State::Running);
    EXPECT_EQ(analysis.onsetsFor(piece.audio), nullptr);
    ASSERT_TRUE(finished.wait(60000));

    ASSERT_EQ(analysis.state(), RecordingAnalysis::State::Done);
    const std::vector<Onset>* onsets = analysis.onsetsFor(piece.audio);
    ASSERT_NE(onsets, nullptr);
    EXPECT_GE(onsets->size(), piece.notes.size());
    EXPECT_EQ(statuses.first(), QStringLiteral("Analysing the recording: 0 %"));
    EXPECT_EQ(statuses.last(), QStringLiteral("Recording analysed: %1 onsets").arg(onsets->size()));
    EXPECT_GT(statuses.size(), 2); // progress between the two
    EXPECT_FALSE(offTheGuiThread);

    // The same recording is not analysed again; another one is not known.
    analysis.analyse(piece.audio);
    EXPECT_EQ(analysis.state(), RecordingAnalysis::State::Done);
    EXPECT_EQ(analysis.statusText(), statuses.last());
    EXPECT_EQ(analysis.onsetsFor(kData + QStringLiteral("/accompanied.opus")), nullptr);
}

TEST(RecordingAnalysis, ForgettingOrAnotherRecordingCancelsTheRunningOne)
{
    const QString rubato = kData + QStringLiteral("/rubato.opus");
    const QString accompanied = kData + QStringLiteral("/accompanied.opus");
    RecordingAnalysis analysis;
    QSignalSpy finished(&analysis, &RecordingAnalysis::finished);

    analysis.analyse(rubato);
    analysis.forget();
    EXPECT_EQ(analysis.state(), RecordingAnalysis::State::Idle);
    EXPECT_TRUE(analysis.statusText().isEmpty());

    // A second recording replaces a running first one: only its result arrives.
    analysis.analyse(rubato);
    analysis.analyse(accompanied);
    ASSERT_TRUE(finished.wait(60000));
    QTest::qWait(200); // a late result of a cancelled job would arrive now
    EXPECT_EQ(finished.size(), 1);
    EXPECT_EQ(analysis.recording(), accompanied);
    EXPECT_NE(analysis.onsetsFor(accompanied), nullptr);
    EXPECT_EQ(analysis.onsetsFor(rubato), nullptr);

    // A file that is not audio fails with a message; destroying a running analysis waits
    // for its worker.
    QTemporaryDir dir;
    const QString bad = testfiles::writeFile(dir.filePath(QStringLiteral("bad.wav")), "RIFF");
    analysis.analyse(bad);
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_EQ(analysis.state(), RecordingAnalysis::State::Failed);
    EXPECT_TRUE(
        analysis.statusText().startsWith(QStringLiteral("The recording could not be analysed: ")));
    EXPECT_FALSE(analysis.error().isEmpty());
    auto running = std::make_unique<RecordingAnalysis>();
    running->analyse(rubato);
    running.reset();
}

TEST(AlignmentPlan, BoxesClickedByHandStillCarryTheRhythm)
{
    // A guitar piece marked automatically, each box clicked up to half a hundredth of the
    // page's width off its note head: the tempo of single steps jumps with the hand, but the
    // path is on the notes and every entry is sure, so the marking is aligned, not refused.
    const TestPiece p =
        loadTestPiece(kData + QStringLiteral("/corpus"), QStringLiteral("guitar-plain"));
    const OnsetDetection found = detectOnsets(p.audio);
    ASSERT_TRUE(found.ok());
    const std::size_t n = p.notes.size();
    std::mt19937 hand(1);
    std::vector<double> times;
    std::vector<engravedrhythm::BoxPlace> places;
    for (std::size_t i = 0; i < n; ++i) {
        times.push_back(numbertext::roundHundredths(
            p.start + static_cast<double>(i) * (p.end - p.start) / static_cast<double>(n)));
        const double off = 0.005 * (static_cast<double>(hand() % 2001) / 1000 - 1);
        places.push_back({p.x[i] + off, p.y[i], p.page[i]});
    }
    const auto plan = recordingalignment::plan(times, found.onsets, places);
    ASSERT_TRUE(plan.error.isEmpty()) << qPrintable(plan.error);
    EXPECT_EQ(plan.sure, static_cast<int>(n));
    std::size_t close = 0;
    for (std::size_t i = 0; i < n; ++i)
        close += std::abs(plan.names[static_cast<qsizetype>(i)].toDouble() - p.notes[i]) <= 0.03;
    EXPECT_EQ(close, n);
}

TEST(AlignmentPlan, NamesStayDistinctAndTheQuestionSaysHowSureItIs)
{
    const auto onsetsAt = [](const std::vector<double>& times) {
        std::vector<Onset> out;
        for (const double t : times)
            out.push_back({t, 1.0});
        return out;
    };
    // Four entries that would fall before the recording's start: every name its own.
    const auto early = recordingalignment::plan({1.0, 1.1, 1.2, 1.3, 3.0, 3.5, 4.0, 4.5, 5.0, 5.5},
                                                onsetsAt({0.2, 0.7, 1.2, 1.7, 2.2, 2.7}));
    ASSERT_TRUE(early.error.isEmpty()) << qPrintable(early.error);
    EXPECT_EQ(QSet<QString>(early.names.begin(), early.names.end()).size(), 10);

    // Twenty entries by hand, two of whose notes were not heard; and the same spread evenly.
    std::vector<double> entries, heard;
    for (int i = 0; i < 20; ++i) {
        entries.push_back(numbertext::roundHundredths(1.02 + 0.02 * (i % 2) + 0.5 * i));
        if (i != 5 && i != 12)
            heard.push_back(1 + 0.5 * i);
    }
    const auto mostly = recordingalignment::plan(entries, onsetsAt(heard));
    EXPECT_EQ(mostly.sure, 18);
    EXPECT_EQ(recordingalignment::question(mostly),
              QStringLiteral("18 of 20 markers will move onto the recording's notes, by 0.04 s "
                             "at most.\nOnly 18 of the 20 markers are sure of their notes; the "
                             "others keep their times where these fit between them.\nAlign "
                             "them?"));
    std::vector<double> spread;
    for (int i = 0; i < 20; ++i)
        spread.push_back(numbertext::roundHundredths(1.04 + 0.5 * i));
    const auto spreadOut = recordingalignment::plan(spread, onsetsAt(heard));
    EXPECT_EQ(spreadOut.sure, 18);
    EXPECT_TRUE(recordingalignment::question(spreadOut).contains(
        QStringLiteral("the others are spread between them.")));

    // Clicks by hand on a run of sixteenths, each off by up to a twentieth of a second:
    // the tempo between them jumps from note to note, and still every one is sure.
    std::vector<double> run, played;
    for (int i = 0; i < 24; ++i) {
        played.push_back(1 + 0.15 * i);
        run.push_back(numbertext::roundHundredths(played.back() + 0.1 + 0.05 * std::sin(3 * i)));
    }
    const auto clicked = recordingalignment::plan(run, onsetsAt(played));
    ASSERT_TRUE(clicked.error.isEmpty()) << qPrintable(clicked.error);
    EXPECT_EQ(clicked.sure, 24);

    // Twenty entries spread evenly over six uneven onsets: a guess is not offered.
    std::vector<double> even;
    for (int i = 0; i < 20; ++i)
        even.push_back(numbertext::roundHundredths(1 + 0.5 * i));
    const auto guess = recordingalignment::plan(even, onsetsAt({1.0, 2.6, 3.4, 5.9, 8.8, 10.4}));
    EXPECT_TRUE(guess.names.isEmpty());
    EXPECT_TRUE(guess.error.startsWith(QStringLiteral("Only "))) << qPrintable(guess.error);
    EXPECT_TRUE(guess.error.contains(QStringLiteral("The markers stay as they are.")));
}

class RecordingFitTest : public ::testing::Test {
protected:
    // Opens a project with the rubato piece as its recording and the given entries, and
    // enters editing mode (which starts the analysis).
    void openEditing(const QStringList& entries)
    {
        testfiles::ProjectLayout layout;
        layout.name = QStringLiteral("Rubato");
        layout.audio = piece.audio;
        layout.pages = {QStringLiteral("p1.jpg")};
        layout.entries = entries;
        w.open(w.makeProject(layout));
        w.primePlayer(32);
        w.find<QAbstractButton>("Toolbar_Edit").click();
        w.dialogs.shown.clear();
    }

    // Sets what the scripted player reports, then clicks the page image.
    void clickSheet(double position, bool playing)
    {
        w.player.setPositionQuietly(position);
        w.player.setStateQuietly(playing ? Player::Playing : Player::Paused,
                                 playing ? QStringLiteral("Playing") : QStringLiteral("Paused"));
        QTest::mouseClick(w.window->sheet().image(), Qt::LeftButton, {}, {154, 216});
    }

    RecordingAnalysis& analysis() { return *w.window->recordingAnalysis(); }
    QAction& align() { return need<QAction>(w.window.get(), QLatin1String("AlignToRecording")); }
    MarkerList& notes() { return w.window->workspace().notes; }

    TestWindow w;
    TestPiece piece = loadTestPiece(kData, QStringLiteral("rubato"));
};

TEST_F(RecordingFitTest, EditAnalysesTheRecordingAndOpeningAnotherProjectCancelsIt)
{
    openEditing({});
    auto& status = w.find<QLabel>("AnalysisStatus");
    EXPECT_EQ(analysis().state(), RecordingAnalysis::State::Running);
    EXPECT_EQ(analysis().recording(), w.player.source());
    EXPECT_FALSE(status.isHidden());
    EXPECT_EQ(status.text(), QStringLiteral("Analysing the recording: 0 %"));

    testfiles::ProjectLayout other;
    other.name = QStringLiteral("Other");
    other.pages = {QStringLiteral("p1.jpg")};
    w.dialogs.answers << false; // "Save?"
    w.open(w.makeProject(other));
    EXPECT_EQ(analysis().state(), RecordingAnalysis::State::Idle);
    EXPECT_TRUE(status.isHidden());
}

TEST_F(RecordingFitTest, SnapMovesAClickToTheOnsetItMostLikelyMeantOnlyWhenChecked)
{
    openEditing({});
    // Known onsets stand in for the analysis.
    const std::vector<Onset> onsets{{9.90, 1.0}, {10.05, 4.0}, {10.30, 9.0}, {20.00, 2.0}};
    const std::vector<Onset>* known = &onsets;
    w.window->manualMarking()->hooks().recordingOnsets = [&] {
        return known;
    };
    auto& snap = w.find<QCheckBox>("Toolbar_Snap");
    auto& presets = w.find<QToolButton>("Toolbar_Presets");
    EXPECT_EQ(snap.text(), QStringLiteral("Snap to Recording"));
    EXPECT_EQ(snap.parentWidget(), presets.parentWidget());
    EXPECT_FALSE(snap.isHidden());
    EXPECT_FALSE(snap.isChecked());

    // Off: the click's time as always (position plus the offset while playing).
    clickSheet(10.25, true);
    EXPECT_EQ(names(notes()), QStringList({QStringLiteral("10")}));

    snap.setChecked(true);
    clickSheet(10.25, true); // 10.00: 10.05, near and strong (10.30 lies beyond 0.2 s)
    clickSheet(15.0, false); // nothing within 0.2 s: stays
    clickSheet(20.35, true); // 20.10
    known = nullptr;         // onsets not known: stays
    clickSheet(12.0, false);
    EXPECT_EQ(names(notes()),
              QStringList({QStringLiteral("10"), QStringLiteral("10.05"), QStringLiteral("12"),
                           QStringLiteral("15"), QStringLiteral("20")}));

    w.find<QAbstractButton>("Toolbar_Save").click();
    EXPECT_TRUE(snap.isHidden());
}

TEST_F(RecordingFitTest, AlignFromTheIndexMenuAsksThenMovesEveryEntryOntoItsNote)
{
    // An even spread between the first bar's start and the last bar's end, one entry per
    // melody note, each with its own place; one carries a caption.
    const std::size_t n = piece.notes.size();
    QStringList entries;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = piece.start + static_cast<double>(i) * (piece.end - piece.start) /
                                           static_cast<double>(n);
        entries << numbertext::format(numbertext::roundHundredths(t)) +
                       QStringLiteral("={%1}{500000}{0}").arg(10000 * (i + 1));
    }
    entries[3] += QStringLiteral("{Chorus}");
    openEditing(entries);
    const QStringList before = notes().lines();
    const QStringList placesBefore = values(notes());

    // Before the analysis has ended nothing can be aligned.
    EXPECT_TRUE(align().isVisible());
    align().trigger();
    EXPECT_EQ(w.dialogs.shown.size(), 1);
    EXPECT_TRUE(w.dialogs.shown.value(0).startsWith(QStringLiteral("The recording is still")));
    EXPECT_EQ(notes().lines(), before);
    QSignalSpy finished(&analysis(), &RecordingAnalysis::finished);
    ASSERT_TRUE(finished.wait(60000));
    ASSERT_EQ(analysis().state(), RecordingAnalysis::State::Done);

    // Cancelled under the progress box: nothing asked, nothing changed.
    w.dialogs.shown.clear();
    w.dialogs.cancelAfter = 0;
    align().trigger();
    EXPECT_EQ(w.dialogs.progressLabels,
              QStringList{QStringLiteral("Aligning the markers to the recording...")});
    EXPECT_TRUE(w.dialogs.shown.isEmpty());
    EXPECT_EQ(notes().lines(), before);
    w.dialogs.cancelAfter = -1;

    // "No" changes nothing.
    w.dialogs.answers << false;
    align().trigger();
    ASSERT_EQ(w.dialogs.shown.size(), 1);
    const QString question = w.dialogs.shown.first();
    EXPECT_TRUE(question.contains(QStringLiteral(" of %1 markers will move").arg(n)))
        << question.toStdString();
    EXPECT_EQ(notes().lines(), before);

    // "Yes": the names become the notes' times; places, pages and captions stay.
    w.dialogs.answers << true;
    w.window->playbackState().refreshRequest = false;
    align().trigger();
    EXPECT_EQ(w.dialogs.shown.last(), question);
    EXPECT_EQ(values(notes()), placesBefore);
    ASSERT_EQ(notes().count(), static_cast<qsizetype>(n));
    std::size_t close = 0;
    for (std::size_t i = 0; i < n; ++i)
        close += std::abs(notes().time(static_cast<qsizetype>(i)) - piece.notes[i]) <= 0.030;
    EXPECT_GE(static_cast<double>(close), 0.95 * static_cast<double>(n));
    EXPECT_EQ(w.window->indexModel().count(), static_cast<int>(n));
    EXPECT_TRUE(w.window->playbackState().refreshRequest);

    // Entries out of time order are refused with a message, never reordered.
    const QStringList disordered{QStringLiteral("1={0}{0}{0}"), QStringLiteral("3={0}{0}{0}"),
                                 QStringLiteral("2={0}{0}{0}")};
    notes().setLines(disordered);
    w.dialogs.shown.clear();
    align().trigger();
    ASSERT_EQ(w.dialogs.shown.size(), 1);
    EXPECT_FALSE(w.dialogs.shown.first().contains(QStringLiteral("will move")));
    EXPECT_EQ(notes().lines(), disordered);

    // Only in editing mode outside automatic marking.
    w.window->workspace().modes.automatic = true;
    w.window->refreshModes();
    EXPECT_FALSE(align().isVisible());
    align().trigger();
    EXPECT_EQ(w.dialogs.shown.size(), 1);
    w.window->workspace().modes.automatic = false;
    w.find<QAbstractButton>("Toolbar_Save").click();
    EXPECT_FALSE(align().isVisible());
}
