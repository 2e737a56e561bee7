#pragma once

#include <QByteArray>
#include <vector>

// The audio delay: how much later than the player says the sound reaches the ears
// (Bluetooth headphones, HDMI receivers, USB interfaces). The marker, the page turns and
// the clicks of manual marking are shifted by it. Pure arithmetic, no widgets.
namespace audiodelay {

inline constexpr int kMinMs = -200;
inline constexpr int kMaxMs = 1000;
inline constexpr int kStepMs = 5;

// ms brought into kMinMs..kMaxMs, to the nearest step of kStepMs.
int clampMs(int ms);

// The position a listener hears while the player reports position at rate: a wall-clock
// delay of delaySeconds is delaySeconds x rate of the recording.
double heardPosition(double position, double rate, double delaySeconds);

// The calibration's click track: clicks at bpm after a lead-in, as a mono 16-bit WAV.
struct ClickTrack {
    static constexpr int kClicks = 16;
    static constexpr double kBpm = 100.0;
    static constexpr double kLeadIn = 1.0;
    static constexpr int kSampleRate = 44100;
    // The click times in seconds from the start of the track.
    static std::vector<double> times();
    // The whole track, lead-in and one second after the last click included.
    static QByteArray wav();
};

struct Calibration {
    bool ok = false;     // enough taps agreed
    int delayMs = 0;     // clampMs of the median offset of the taps kept
    double spreadMs = 0; // standard deviation of the offsets kept
    int kept = 0;        // taps within kOutlierMs of the median
    int taps = 0;        // taps given
    static constexpr double kOutlierMs = 150.0;
    static constexpr int kMinKept = 8;
};

// Pairs each tap (the player's position when it came) with the click it answers: where in
// the beat the taps fall gives the delay up to whole beats, and of the delays that are
// possible, the one that lets the most taps answer a click (the smaller of two that do
// equally well). A missed or doubled tap does not shift the rest. The offsets more than
// kOutlierMs from their median are dropped; the delay is the median of the rest.
Calibration calibrate(const std::vector<double>& clicks, const std::vector<double>& taps);

} // namespace audiodelay
