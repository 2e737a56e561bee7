#include "analysis/onsetdetector.h"

#include "analysis/audiodecoder.h"

#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

#include <aubio/aubio.h>

namespace {

struct AubioDeleter {
    void operator()(aubio_onset_t* o) const { del_aubio_onset(o); }
    void operator()(fvec_t* v) const { del_fvec(v); }
};
template <typename T> using AubioPtr = std::unique_ptr<T, AubioDeleter>;

// The detection function's recent values, one per hop. An onset's strength is the peak of
// the function over the hops from its attack up to the shortest gap between two onsets
// later: the peak picker reports some onsets before that peak (the recording's first note,
// reported at its first window, most of all), so the strength is read once those hops have
// passed.
class RecentValues {
public:
    void push(double value)
    {
        m_values[m_next % m_values.size()] = value;
        ++m_next;
    }
    long long count() const { return m_next; }
    // The largest of the values of hops [first, last) (absolute hop numbers), of those still
    // held.
    double peak(long long first, long long last) const
    {
        const long long oldest =
            std::max<long long>({first, m_next - static_cast<long long>(m_values.size()), 0});
        double peak = 0;
        for (long long i = oldest; i < std::min(last, m_next); ++i)
            peak = std::max(peak, m_values[static_cast<std::size_t>(i) % m_values.size()]);
        return peak;
    }

private:
    std::array<double, 64> m_values{};
    long long m_next = 0;
};

} // namespace

OnsetDetection detectOnsets(const QString& path, const AnalysisProgress& progress,
                            const std::atomic<bool>* cancel, const OnsetSettings& settings)
{
    OnsetDetection result;
    AudioDecoder decoder(settings.sampleRate);
    if (!decoder.open(path)) {
        result.error = decoder.errorText();
        return result;
    }
    const auto hop = static_cast<uint_t>(settings.hopSize);
    AubioPtr<aubio_onset_t> onset(new_aubio_onset(settings.method,
                                                  static_cast<uint_t>(settings.windowSize), hop,
                                                  static_cast<uint_t>(settings.sampleRate)));
    if (!onset) {
        result.error = QStringLiteral("The onset analysis could not be set up.");
        return result;
    }
    aubio_onset_set_threshold(onset.get(), static_cast<smpl_t>(settings.threshold));
    aubio_onset_set_minioi_s(onset.get(), static_cast<smpl_t>(settings.minimumGap));
    aubio_onset_set_silence(onset.get(), static_cast<smpl_t>(settings.silence));
    AubioPtr<fvec_t> in(new_fvec(hop));
    AubioPtr<fvec_t> found(new_fvec(1));

    const double rate = settings.sampleRate;
    RecentValues recent;
    // Onsets whose strength is still to be read: (index in result.onsets, first hop).
    const long long peakHops =
        std::clamp<long long>(std::lround(settings.minimumGap * rate / hop), 1, 32);
    std::vector<std::pair<std::size_t, long long>> pending;
    const auto settle = [&](bool all) {
        while (!pending.empty() && (all || pending.front().second + peakHops <= recent.count())) {
            const auto [index, first] = pending.front();
            result.onsets[index].strength = recent.peak(first, first + peakHops);
            pending.erase(pending.begin());
        }
    };
    long long hops = 0;
    double reported = -1;
    bool sound = false;
    for (;;) {
        const std::size_t got = decoder.read(in->data, hop);
        if (!decoder.errorText().isEmpty()) {
            result.error = decoder.errorText();
            return result;
        }
        if (got == 0)
            break;
        sound = true;
        std::fill(in->data + got, in->data + hop, 0.0f);
        aubio_onset_do(onset.get(), in.get(), found.get());
        recent.push(aubio_onset_get_descriptor(onset.get()));
        ++hops;
        result.duration += got / rate;
        if (found->data[0] > 0) {
            const double time = aubio_onset_get_last(onset.get()) / rate - settings.latency;
            const long long atHop =
                std::max(0LL, static_cast<long long>(std::floor(time * rate / hop)));
            result.onsets.push_back({std::max(0.0, time), 0.0});
            pending.emplace_back(result.onsets.size() - 1, atHop);
        }
        settle(false);
        if (hops % 256 == 0) {
            if (cancel && cancel->load(std::memory_order_relaxed)) {
                result.cancelled = true;
                return result;
            }
            if (progress) {
                const double done = decoder.progress();
                if (done >= reported + 0.01) {
                    reported = done;
                    progress(done);
                }
            }
        }
    }
    settle(true);
    if (!sound) {
        result.error = QStringLiteral("%1 holds no sound that could be decoded.")
                           .arg(QFileInfo(path).fileName());
        return result;
    }
    if (progress)
        progress(1.0);
    return result;
}
