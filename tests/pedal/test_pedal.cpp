#include "pedal/pedallogic.h"
#include "pedal/pedaltempo.h"
#include "support/testwindow.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

namespace {

// The arithmetic alone: intervals from fractions of a day and the rounded rate.
TEST(PedalLogic, IntervalIsTheClockReadingOfTheDifference)
{
    const double a = pedallogic::dayFraction(QTime(10, 59, 59, 800));
    const double b = pedallogic::dayFraction(QTime(11, 0, 0, 300));
    EXPECT_EQ(pedallogic::intervalMs(a, b), 500);
    EXPECT_EQ(pedallogic::intervalMs(a, a), 0);
    // Late in the day the fractions are large; the milliseconds must still be exact.
    const double c = pedallogic::dayFraction(QTime(23, 59, 59, 998));
    const double d = pedallogic::dayFraction(QTime(23, 59, 59, 999));
    EXPECT_EQ(pedallogic::intervalMs(c, d), 1);
    // Across midnight the difference is negative: no interval.
    EXPECT_EQ(pedallogic::intervalMs(d, pedallogic::dayFraction(QTime(0, 0, 0, 400))),
              std::nullopt);
}

TEST(PedalLogic, RatesAreRoundedToThousandths)
{
    const double e144 = *pedallogic::expectedMs(1, 144);
    EXPECT_NEAR(e144, 416.667, 0.001);
    EXPECT_EQ(pedallogic::strokeRate(e144, 500, 0, false), 0.833);
    EXPECT_EQ(pedallogic::strokeRate(e144, 400, 0, false), 1.042);
    // Averaging uses the last rate only when there is one.
    EXPECT_EQ(pedallogic::strokeRate(e144, 400, 0.833, true), 0.937);
    EXPECT_EQ(pedallogic::strokeRate(e144, 400, 0, true), 1.042);
    EXPECT_EQ(pedallogic::strokeRate(e144, 400, 0.833, false), 1.042);
    EXPECT_EQ(pedallogic::strokeRate(*pedallogic::expectedMs(2, 120), 1000, 0, false), 1.0);
}

TEST(PedalLogic, UndefinedRatesAreRefused)
{
    EXPECT_EQ(pedallogic::expectedMs(1, 0), std::nullopt);
    EXPECT_EQ(pedallogic::strokeRate(416.667, 0, 0, false), std::nullopt);
    // No beats, or a negative count, would stop or reverse the player.
    EXPECT_EQ(pedallogic::strokeRate(*pedallogic::expectedMs(0, 144), 500, 0, false), std::nullopt);
    EXPECT_EQ(pedallogic::strokeRate(*pedallogic::expectedMs(-1, 144), 500, 0, false),
              std::nullopt);
}

// The pedal room of a whole main window, with strokes timed by the test's clock.
class PedalRoom : public ::testing::Test {
protected:
    void SetUp() override
    {
        field = t.window->findChild<QLineEdit*>(QStringLiteral("PitchEdit"));
        if (!field) {
            // Without the tempo room the strokes still need a field to write into.
            field = new QLineEdit(QStringLiteral("1.00"), t.window.get());
            field->setObjectName(QStringLiteral("PitchEdit"));
        }
        startText = field->text();
    }

    QLineEdit& bpm() { return t.find<QLineEdit>("BPMAudio"); }
    QLineEdit& beats() { return t.find<QLineEdit>("PedalBeats"); }
    QCheckBox& enabled() { return t.find<QCheckBox>("StrokesDo"); }
    QCheckBox& average() { return t.find<QCheckBox>("AverageStrokes"); }

    // One pedal press at the given time of day (F6 through the hot-key seam).
    void strokeAt(const QTime& time)
    {
        t.now = time;
        t.keys.press(HotKey::Bpm);
    }
    // Presses at base, then base + each interval in turn.
    void strokes(std::initializer_list<int> intervals)
    {
        QTime at(12, 0, 0);
        strokeAt(at);
        for (int ms : intervals) {
            at = at.addMSecs(ms);
            strokeAt(at);
        }
    }

    TestWindow t;
    QLineEdit* field = nullptr;
    QString startText;
};

TEST_F(PedalRoom, StartsHiddenWithItsDefaults)
{
    auto& group = t.find<QGroupBox>("PedalSettings");
    EXPECT_FALSE(group.isVisible());
    EXPECT_EQ(group.title(), QStringLiteral("Pedal Settings"));
    EXPECT_EQ(group.parentWidget(), t.window->widgets().mainPanel);
    EXPECT_EQ(bpm().text(), QStringLiteral("144"));
    EXPECT_EQ(beats().text(), QStringLiteral("1"));
    EXPECT_FALSE(enabled().isChecked());
    EXPECT_FALSE(average().isChecked());
    EXPECT_EQ(t.find<QLabel>("Label44").text(),
              QStringLiteral("Define your pedal to emulate \"F6\""));
    EXPECT_FALSE(t.keys.isActive(HotKey::Bpm));

    // "Pedal" in the bottom panel shows the group, its "Hide" hides it.
    auto& show = t.find<LinkLabel>("PedalShow");
    EXPECT_TRUE(t.window->widgets().bottomRow->isAncestorOf(&show));
    t.window->widgets().mainPanel->show();
    emit show.clicked();
    EXPECT_TRUE(group.isVisible());
    emit t.find<LinkLabel>("Label46").clicked();
    EXPECT_FALSE(group.isVisible());
}

TEST_F(PedalRoom, StrokesSetTheTempoFromTheIntervals)
{
    enabled().setChecked(true);
    strokes({500});
    EXPECT_EQ(field->text(), QStringLiteral("0.833"));
    EXPECT_DOUBLE_EQ(t.window->pedal()->lastRate(), 0.833);
    if (t.window->tempo()) { // the tempo field applies the rate to the player
        EXPECT_DOUBLE_EQ(t.player.rate(), 0.83);
    }
    strokeAt(t.now.addMSecs(400));
    EXPECT_EQ(field->text(), QStringLiteral("1.042"));

    // Two beats per stroke at 120 BPM: one stroke a second is real time.
    bpm().setText(QStringLiteral("120"));
    beats().setText(QStringLiteral("2"));
    strokeAt(t.now.addMSecs(1000));
    EXPECT_EQ(field->text(), QStringLiteral("1"));
    strokeAt(t.now.addMSecs(900));
    EXPECT_EQ(field->text(), QStringLiteral("1.111"));
}

TEST_F(PedalRoom, AveragingMeansTheNewRateWithTheLastOne)
{
    enabled().setChecked(true);
    average().setChecked(true);
    strokes({500, 400});
    // 416.667 / 800 + 0.833 / 2
    EXPECT_EQ(field->text(), QStringLiteral("0.937"));

    // Switching averaging either way forgets the last rate.
    average().setChecked(false);
    EXPECT_EQ(t.window->pedal()->lastRate(), 0);
    average().setChecked(true);
    strokeAt(t.now.addMSecs(400));
    EXPECT_EQ(field->text(), QStringLiteral("1.042"));
}

TEST_F(PedalRoom, FirstStrokeAfterEnablingOnlyStartsTheTiming)
{
    strokes({500}); // F6 is not taken while the box is unchecked
    EXPECT_EQ(field->text(), startText);
    EXPECT_EQ(t.window->pedal()->previousStroke(), 0);

    enabled().setChecked(true);
    EXPECT_TRUE(t.keys.isActive(HotKey::Bpm));
    strokeAt(QTime(12, 0, 0));
    EXPECT_EQ(field->text(), startText);
    strokeAt(QTime(12, 0, 0, 500));
    EXPECT_EQ(field->text(), QStringLiteral("0.833"));

    // Off and on again: a new timing starts, the old stroke is not used.
    enabled().setChecked(false);
    EXPECT_FALSE(t.keys.isActive(HotKey::Bpm));
    EXPECT_FALSE(t.keys.press(HotKey::Bpm));
    enabled().setChecked(true);
    strokeAt(QTime(12, 0, 5));
    EXPECT_EQ(field->text(), QStringLiteral("0.833"));
    strokeAt(QTime(12, 0, 5, 400));
    EXPECT_EQ(field->text(), QStringLiteral("1.042"));
}

TEST_F(PedalRoom, StrokesThatMeasureNothingWriteNoRate)
{
    enabled().setChecked(true);
    strokes({500});
    ASSERT_EQ(field->text(), QStringLiteral("0.833"));

    // Same millisecond: no rate, but the stroke becomes the previous one.
    strokeAt(t.now);
    EXPECT_EQ(field->text(), QStringLiteral("0.833"));
    strokeAt(t.now.addMSecs(400));
    EXPECT_EQ(field->text(), QStringLiteral("1.042"));

    // Across midnight.
    strokeAt(QTime(23, 59, 59, 800));
    const QString before = field->text();
    strokeAt(QTime(0, 0, 0, 200));
    EXPECT_EQ(field->text(), before);
    EXPECT_EQ(t.window->pedal()->previousStroke(), pedallogic::dayFraction(QTime(0, 0, 0, 200)));

    // A BPM of 0.
    bpm().setText(QStringLiteral("0"));
    strokeAt(t.now.addMSecs(500));
    EXPECT_EQ(field->text(), before);
    EXPECT_TRUE(std::isfinite(t.player.rate()));
    EXPECT_TRUE(t.dialogs.shown.isEmpty());
}

TEST_F(PedalRoom, NonNumbersAreRefused)
{
    // Typing into the BPM field takes digits and "." only, backspace included.
    bpm().setFocus();
    bpm().setCursorPosition(3);
    QTest::keyClicks(&bpm(), QStringLiteral("a-,x 5.5"));
    EXPECT_EQ(bpm().text(), QStringLiteral("1445.5"));
    QTest::keyClick(&bpm(), Qt::Key_Backspace);
    EXPECT_EQ(bpm().text(), QStringLiteral("1445.5"));
    QTest::keyClick(&bpm(), Qt::Key_Home);
    QTest::keyClick(&bpm(), Qt::Key_Delete); // not a character: the field edits as usual
    EXPECT_EQ(bpm().text(), QStringLiteral("445.5"));

    // The beats field goes back to "1" on a text that is not a number.
    beats().setFocus();
    beats().selectAll();
    QTest::keyClicks(&beats(), QStringLiteral("abc"));
    EXPECT_EQ(beats().text(), QStringLiteral("1"));
    beats().setText(QStringLiteral("1.5"));
    EXPECT_EQ(beats().text(), QStringLiteral("1.5"));
    beats().clear();
    EXPECT_EQ(beats().text(), QStringLiteral("1"));
}

TEST_F(PedalRoom, AConversionErrorLeavesEverythingAsItWas)
{
    enabled().setChecked(true);
    strokes({500});
    ASSERT_EQ(field->text(), QStringLiteral("0.833"));
    const double previous = t.window->pedal()->previousStroke();

    bpm().setText(QStringLiteral("1.2.3")); // typed digits and dots that make no number
    strokeAt(t.now.addMSecs(400));
    ASSERT_EQ(t.dialogs.shown.size(), 1);
    EXPECT_TRUE(t.dialogs.shown[0].contains(QStringLiteral("1.2.3")));
    EXPECT_EQ(field->text(), QStringLiteral("0.833"));
    EXPECT_EQ(t.window->pedal()->previousStroke(), previous);
    EXPECT_DOUBLE_EQ(t.window->pedal()->lastRate(), 0.833);

    // Put right, the next stroke measures from the last counted one (900 ms).
    bpm().setText(QStringLiteral("144"));
    strokeAt(t.now.addMSecs(500));
    EXPECT_EQ(field->text(), QStringLiteral("0.463"));
}

} // namespace
