// The audio delay's calibration with simulated tappers: for a known delay, a tapper with
// reaction-time jitter calibrates 50 times (16 clicks at 100 bpm, an occasional missed or
// stray tap). Reports the mean error and the spread of the delays found (target: a
// standard deviation within 15 ms for a steady tapper, jitter 20 ms). The last row lets the
// tapper miss the first or last click too: a delay above half a beat (300 ms) is then
// sometimes taken a beat short, which no pairing can tell apart.
#include "benchsupport.h"
#include "playback/audiodelay.h"

#include <cmath>
#include <random>

namespace {

void calibration(benchmark::State& state)
{
    const double delayMs = static_cast<double>(state.range(0));
    const double jitterMs = static_cast<double>(state.range(1));
    const bool endsMissed = state.range(2) != 0;
    const std::vector<double> clicks = audiodelay::ClickTrack::times();
    std::mt19937 rng(12345);
    std::normal_distribution<double> jitter(0.0, jitterMs / 1000.0);
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    std::vector<double> found;
    int failed = 0;
    for (auto _ : state) {
        for (int run = 0; run < 50; ++run) {
            std::vector<double> taps;
            for (size_t k = 0; k < clicks.size(); ++k) {
                const double c = clicks[k];
                const bool end = k == 0 || k + 1 == clicks.size();
                if ((endsMissed || !end) && chance(rng) < 0.05)
                    continue; // missed
                taps.push_back(c + delayMs / 1000.0 + jitter(rng));
                if (chance(rng) < 0.03)
                    taps.push_back(c + 0.3); // a stray tap
            }
            const auto result = audiodelay::calibrate(clicks, taps);
            if (result.ok)
                found.push_back(result.delayMs);
            else
                ++failed;
        }
    }
    double mean = 0, sq = 0;
    for (double d : found)
        mean += d;
    mean /= std::max<size_t>(1, found.size());
    for (double d : found)
        sq += (d - mean) * (d - mean);
    state.counters["delay_ms"] = delayMs;
    state.counters["jitter_ms"] = jitterMs;
    state.counters["mean_error_ms"] = mean - delayMs;
    state.counters["sd_ms"] = found.size() > 1 ? std::sqrt(sq / double(found.size() - 1)) : 0;
    state.counters["failed"] = failed;
}

} // namespace

BENCHMARK(calibration)
    ->Args({0, 20, 0})
    ->Args({185, 20, 0})
    ->Args({680, 20, 0})
    ->Args({185, 40, 0})
    ->Args({680, 20, 1})
    ->Iterations(1);

FOLIVANT_BENCHMARK_MAIN();
