#include "playback/audiodelay.h"

#include <QDataStream>
#include <QIODevice>

#include <algorithm>
#include <cmath>

namespace audiodelay {

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

} // namespace

int clampMs(int ms)
{
    const int clamped = std::clamp(ms, kMinMs, kMaxMs);
    const double steps = std::round(static_cast<double>(clamped) / kStepMs);
    return static_cast<int>(steps) * kStepMs;
}

double heardPosition(double position, double rate, double delaySeconds)
{
    return delaySeconds == 0.0 ? position : position - delaySeconds * rate;
}

std::vector<double> ClickTrack::times()
{
    std::vector<double> t;
    for (int k = 0; k < kClicks; ++k)
        t.push_back(kLeadIn + k * 60.0 / kBpm);
    return t;
}

QByteArray ClickTrack::wav()
{
    const std::vector<double> clicks = times();
    const auto frames = static_cast<qint32>((clicks.back() + 1.0) * kSampleRate);
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    const auto tag = [&out](const char* four) {
        out.writeRawData(four, 4);
    };
    tag("RIFF");
    out << qint32(36 + frames * 2);
    tag("WAVE");
    tag("fmt ");
    out << qint32(16) << qint16(1) << qint16(1) << qint32(kSampleRate) << qint32(kSampleRate * 2)
        << qint16(2) << qint16(16);
    tag("data");
    out << qint32(frames * 2);
    // A woodblock-like click: a burst of noise and a 2 kHz ring that start at full strength
    // on the click's sample and die away within 30 ms.
    const int clickFrames = kSampleRate * 3 / 100;
    std::vector<qint16> samples(static_cast<size_t>(frames), 0);
    quint32 noise = 22222;
    for (double t : clicks) {
        const auto start = static_cast<size_t>(std::lround(t * kSampleRate));
        for (int i = 0; i < clickFrames && start + size_t(i) < samples.size(); ++i) {
            noise = noise * 1664525u + 1013904223u;
            const double white = static_cast<double>(noise >> 16) / 32768.0 - 1.0;
            const double fade = std::exp(-static_cast<double>(i) / (kSampleRate / 200.0));
            const double ring = std::sin(2 * M_PI * 2000.0 * i / kSampleRate);
            samples[start + size_t(i)] =
                static_cast<qint16>(std::clamp(16000.0 * fade * (white + ring), -32767.0, 32767.0));
        }
    }
    for (qint16 s : samples)
        out << s;
    return bytes;
}

Calibration calibrate(const std::vector<double>& clicks, const std::vector<double>& taps)
{
    Calibration c;
    c.taps = static_cast<int>(taps.size());
    if (clicks.size() < 2 || taps.empty())
        return c;
    const double beat = clicks[1] - clicks[0];
    const long last = static_cast<long>(clicks.size()) - 1;
    // Where in the beat the taps fall: the tap whose place in the beat is nearest to all the
    // others' (a stray tap does not move it).
    const auto inBeat = [&](double tap) {
        const double r = std::fmod(tap - clicks.front(), beat);
        return r < 0 ? r + beat : r;
    };
    const auto apart = [&](double a, double b) {
        const double d = std::abs(a - b);
        return std::min(d, beat - d);
    };
    double phase = 0, best = INFINITY;
    for (double a : taps) {
        double sum = 0;
        for (double b : taps)
            sum += apart(inBeat(a), inBeat(b));
        if (sum < best) {
            best = sum;
            phase = inBeat(a);
        }
    }
    // The delay is that place plus a whole number of beats. Of the numbers that give a
    // possible delay, the one that lets the most taps answer a click wins; when two do
    // equally well (a click missed at one end), the smaller delay.
    const auto clickOf = [&](double tap, double delay) {
        return std::lround((tap - delay - clicks.front()) / beat);
    };
    double delay = 0;
    int most = -1;
    for (long m = -2; m <= 2; ++m) {
        const double d = phase + m * beat;
        if (d < kMinMs / 1000.0 || d > kMaxMs / 1000.0)
            continue;
        int answered = 0;
        for (double tap : taps) {
            const long k = clickOf(tap, d);
            answered += k >= 0 && k <= last;
        }
        if (answered > most || (answered == most && std::abs(d) < std::abs(delay))) {
            most = answered;
            delay = d;
        }
    }
    std::vector<double> offsets;
    for (double tap : taps) {
        const long k = clickOf(tap, delay);
        if (k >= 0 && k <= last)
            offsets.push_back((tap - clicks[size_t(k)]) * 1000.0);
    }
    if (offsets.empty())
        return c;
    const double mid = median(offsets);
    std::vector<double> kept;
    for (double o : offsets)
        if (std::abs(o - mid) <= Calibration::kOutlierMs)
            kept.push_back(o);
    c.kept = static_cast<int>(kept.size());
    const double found = median(kept);
    double sq = 0;
    for (double o : kept)
        sq += (o - found) * (o - found);
    c.spreadMs = kept.size() > 1 ? std::sqrt(sq / double(kept.size() - 1)) : 0.0;
    c.delayMs = clampMs(static_cast<int>(std::lround(found)));
    c.ok = c.kept >= Calibration::kMinKept;
    return c;
}

} // namespace audiodelay
