#include "analysis/onsetdetector.h"

#include "analysis/audiodecoder.h"
#include "analysis/pitchtrack.h"

#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
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

// One onset detection function of aubio over the recording, hop by hop: its onsets, each
// with the peak of the function over the hops from its attack up to the shortest gap later.
class Detector {
public:
    Detector(const char* method, double threshold, const OnsetSettings& settings,
             long long peakHops)
        : m_onset(new_aubio_onset(method, static_cast<uint_t>(settings.windowSize),
                                  static_cast<uint_t>(settings.hopSize),
                                  static_cast<uint_t>(settings.sampleRate)))
        , m_found(new_fvec(1))
        , m_settings(settings)
        , m_peakHops(peakHops)
    {
        if (!m_onset)
            return;
        aubio_onset_set_threshold(m_onset.get(), static_cast<smpl_t>(threshold));
        aubio_onset_set_minioi_s(m_onset.get(), static_cast<smpl_t>(settings.minimumGap));
        aubio_onset_set_silence(m_onset.get(), static_cast<smpl_t>(settings.silence));
    }
    bool ok() const { return m_onset != nullptr; }

    void feed(fvec_t* in)
    {
        aubio_onset_do(m_onset.get(), in, m_found.get());
        m_recent.push(aubio_onset_get_descriptor(m_onset.get()));
        if (m_found->data[0] > 0) {
            const double rate = m_settings.sampleRate;
            const double time = aubio_onset_get_last(m_onset.get()) / rate - m_settings.latency;
            const long long atHop =
                std::max(0LL, static_cast<long long>(std::floor(time * rate / m_settings.hopSize)));
            m_onsets.push_back({std::max(0.0, time), 0.0});
            m_pending.emplace_back(m_onsets.size() - 1, atHop);
        }
        settle(false);
    }
    // The onsets found, every strength read.
    std::vector<Onset> finish()
    {
        settle(true);
        return std::move(m_onsets);
    }

private:
    void settle(bool all)
    {
        while (!m_pending.empty() &&
               (all || m_pending.front().second + m_peakHops <= m_recent.count())) {
            const auto [index, first] = m_pending.front();
            m_onsets[index].strength = m_recent.peak(first, first + m_peakHops);
            m_pending.pop_front();
        }
    }

    AubioPtr<aubio_onset_t> m_onset;
    AubioPtr<fvec_t> m_found;
    const OnsetSettings& m_settings;
    long long m_peakHops;
    RecentValues m_recent;
    std::vector<Onset> m_onsets;
    // Onsets whose strength is still to be read: (index in m_onsets, first hop).
    std::deque<std::pair<std::size_t, long long>> m_pending;
};

// Adds the soft attacks the second function found that the first did not (none within the
// shortest gap of one of its onsets), as strong against the first function's median as
// they are against the second's, times softWeight.
void addSoftOnsets(std::vector<Onset>& onsets, const std::vector<Onset>& soft,
                   const OnsetSettings& settings)
{
    const double scale = medianStrength(onsets) / medianStrength(soft) * settings.softWeight;
    std::vector<Onset> added;
    for (const Onset& o : soft) {
        const auto near =
            std::lower_bound(onsets.begin(), onsets.end(), o.time - settings.minimumGap,
                             [](const Onset& a, double t) { return a.time < t; });
        if (near != onsets.end() && near->time <= o.time + settings.minimumGap)
            continue;
        added.push_back({o.time, o.strength * scale});
    }
    onsets.insert(onsets.end(), added.begin(), added.end());
    std::sort(onsets.begin(), onsets.end(),
              [](const Onset& a, const Onset& b) { return a.time < b.time; });
}

} // namespace

double lastMusicOnset(const std::vector<Onset>& onsets, double before)
{
    const double median = medianStrength(onsets);
    double last = -std::numeric_limits<double>::infinity();
    for (const Onset& o : onsets)
        if (o.time < before && o.strength >= median / 2)
            last = o.time;
    return last;
}

double medianStrength(const std::vector<Onset>& onsets)
{
    std::vector<double> values;
    for (const Onset& o : onsets)
        values.push_back(o.strength);
    if (values.empty())
        return 1.0;
    std::nth_element(values.begin(),
                     values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
    return std::max(values[values.size() / 2], 1e-12);
}

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
    const double rate = settings.sampleRate;
    const long long peakHops =
        std::clamp<long long>(std::lround(settings.minimumGap * rate / hop), 1, 32);
    Detector main(settings.method, settings.threshold, settings, peakHops);
    std::unique_ptr<Detector> soft;
    if (settings.softMethod)
        soft = std::make_unique<Detector>(settings.softMethod, settings.softThreshold, settings,
                                          peakHops);
    std::unique_ptr<pitchtrack::Tracker> pitch;
    if (settings.pitch)
        pitch = std::make_unique<pitchtrack::Tracker>(settings.sampleRate);
    if (!main.ok() || (soft && !soft->ok()) || (pitch && !pitch->ok())) {
        result.error = QStringLiteral("The onset analysis could not be set up.");
        return result;
    }
    AubioPtr<fvec_t> in(new_fvec(hop));
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
        main.feed(in.get());
        if (soft)
            soft->feed(in.get());
        if (pitch)
            pitch->feed(in->data, hop);
        ++hops;
        result.duration += got / rate;
        if (hops % 256 == 0) {
            if (cancel && cancel->load(std::memory_order_relaxed)) {
                result.cancelled = true;
                result.onsets = main.finish();
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
    result.onsets = main.finish();
    if (soft)
        addSoftOnsets(result.onsets, soft->finish(), settings);
    if (pitch && settings.noteEndDrop > 0)
        pitchtrack::dropNoteEnds(result.onsets, *pitch, settings.noteEndDrop);
    if (pitch)
        pitchtrack::weighOnsets(result.onsets, *pitch, settings.heldWeight, settings.newWeight);
    if (!sound) {
        result.error = QStringLiteral("%1 holds no sound that could be decoded.")
                           .arg(QFileInfo(path).fileName());
        return result;
    }
    if (progress)
        progress(1.0);
    return result;
}
