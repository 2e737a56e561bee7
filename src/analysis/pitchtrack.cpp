#include "analysis/pitchtrack.h"

#include <algorithm>
#include <cmath>

#include <aubio/aubio.h>

namespace pitchtrack {

namespace {

// A note change and an onset this close are one event; the onset's time is the finer.
constexpr double kSameEvent = 0.060;
// An onset is under a held note when the note lasts this long before and after it.
constexpr double kHeldAround = 0.080;
// Unless it is the held note played again: at least this many times the onsets' median
// strength, with at least this share of the spectrum's rise on the note's own harmonics.
// (Chosen on the corpus's tuning half: a clarinet's repeated notes lie at 0.92 and above,
// a piano's chords under a held flute note at 0.65 and below.)
constexpr double kAgainStrength = 2.0;
constexpr double kAgainOwnRise = 0.85;

// Whether the sound grows by `by` from the hops just before `at` (a hop number) to the
// loudest of the hops just after it: a slurred note is played into, while a decaying chord
// whose dominant pitch flips from one of its notes to another fades.
bool swells(const std::vector<float>& levels, std::size_t at, double by)
{
    const std::size_t span = 4;
    if (at < span || at + span > levels.size())
        return true;
    double before = 0, after = 0;
    for (std::size_t i = 0; i < span; ++i) {
        before += levels[at - span + i];
        after = std::max<double>(after, levels[at + i]);
    }
    return after * span >= before * by;
}

} // namespace

struct Tracker::Aubio {
    aubio_pitch_t* pitch = nullptr;
    fvec_t* in = nullptr;
    fvec_t* out = nullptr;
    aubio_pvoc_t* pvoc = nullptr;
    cvec_t* spectrum = nullptr;
    std::vector<float> previous; // the spectrum's magnitudes a frame before
    float previousPitch = 0;
    ~Aubio()
    {
        if (pitch)
            del_aubio_pitch(pitch);
        if (pvoc)
            del_aubio_pvoc(pvoc);
        if (spectrum)
            del_cvec(spectrum);
        if (in)
            del_fvec(in);
        if (out)
            del_fvec(out);
    }
};

Tracker::Tracker(int sampleRate, const PitchSettings& settings)
    : m_aubio(std::make_unique<Aubio>())
    , m_settings(settings)
    , m_rate(sampleRate)
{
    m_aubio->pitch =
        new_aubio_pitch("yinfast", static_cast<uint_t>(settings.windowSize),
                        static_cast<uint_t>(settings.hopSize), static_cast<uint_t>(sampleRate));
    m_aubio->in = new_fvec(static_cast<uint_t>(settings.hopSize));
    m_aubio->out = new_fvec(1);
    m_aubio->pvoc = new_aubio_pvoc(static_cast<uint_t>(settings.windowSize),
                                   static_cast<uint_t>(settings.hopSize));
    m_aubio->spectrum = new_cvec(static_cast<uint_t>(settings.windowSize));
    if (!m_aubio->pitch)
        return;
    aubio_pitch_set_unit(m_aubio->pitch, "midi");
    aubio_pitch_set_silence(m_aubio->pitch, static_cast<smpl_t>(settings.silence));
}

Tracker::~Tracker() = default;

bool Tracker::ok() const
{
    return m_aubio->pitch && m_aubio->in && m_aubio->out && m_aubio->pvoc && m_aubio->spectrum;
}

void Tracker::feed(const float* samples, std::size_t count)
{
    const auto hop = static_cast<std::size_t>(m_settings.hopSize);
    while (count > 0) {
        const std::size_t take = std::min(count, hop - m_filled);
        std::copy(samples, samples + take, m_aubio->in->data + m_filled);
        m_filled += take;
        samples += take;
        count -= take;
        if (m_filled < hop)
            break;
        m_filled = 0;
        aubio_pitch_do(m_aubio->pitch, m_aubio->in, m_aubio->out);
        const float pitch = m_aubio->out->data[0];
        const bool voiced = pitch > 0 && aubio_pitch_get_confidence(m_aubio->pitch) >=
                                             static_cast<smpl_t>(m_settings.confidence);
        m_pitches.push_back(voiced ? pitch : 0.0f);
        double energy = 0;
        for (std::size_t i = 0; i < hop; ++i)
            energy += static_cast<double>(m_aubio->in->data[i]) * m_aubio->in->data[i];
        m_levels.push_back(static_cast<float>(std::sqrt(energy / static_cast<double>(hop))));
        m_ownRise.push_back(ownRise());
        if (voiced)
            m_aubio->previousPitch = pitch;
        else if (m_levels.back() < std::pow(10.0f, static_cast<float>(m_settings.silence) / 20))
            m_aubio->previousPitch = 0;
    }
}

float Tracker::ownRise()
{
    Aubio& a = *m_aubio;
    aubio_pvoc_do(a.pvoc, a.in, a.spectrum);
    const std::size_t bins = a.spectrum->length;
    const bool first = a.previous.empty();
    a.previous.resize(bins, 0.0f);
    double all = 0, own = 0;
    // Harmonics up to the tenth, a third of a semitone either side.
    const double f0 =
        a.previousPitch > 0 ? 440.0 * std::pow(2.0, (a.previousPitch - 69) / 12.0) : 0;
    const double binHz = static_cast<double>(m_rate) / m_settings.windowSize;
    const double width = std::pow(2.0, 1.0 / 36) - 1;
    for (std::size_t b = 1; b < bins; ++b) {
        const float magnitude = a.spectrum->norm[b];
        const double rise = std::max(0.0f, magnitude - a.previous[b]);
        a.previous[b] = magnitude;
        all += rise;
        if (f0 > 0) {
            const double f = static_cast<double>(b) * binHz;
            const double k = std::round(f / f0);
            if (k >= 1 && k <= 10 && std::abs(f - k * f0) <= std::max(k * f0 * width, binHz))
                own += rise;
        }
    }
    return first || all <= 0 ? 0.0f : static_cast<float>(own / all);
}

double Tracker::frameTime(std::size_t f) const
{
    return (static_cast<double>(f + 1) * m_settings.hopSize - m_settings.windowSize / 2.0) / m_rate;
}

std::size_t Tracker::frameAt(double t) const
{
    const double f = (t * m_rate + m_settings.windowSize / 2.0) / m_settings.hopSize - 1;
    return f <= 0 ? 0 : static_cast<std::size_t>(std::ceil(f));
}

double Tracker::loudness(double from, double to) const
{
    const double hop = static_cast<double>(m_settings.hopSize) / m_rate;
    const auto first = static_cast<std::size_t>(std::max(0.0, from / hop));
    const auto last = std::min(m_levels.size(), static_cast<std::size_t>(std::max(0.0, to / hop)));
    double energy = 0;
    for (std::size_t i = first; i < last; ++i)
        energy += static_cast<double>(m_levels[i]) * m_levels[i];
    return last > first ? std::sqrt(energy / static_cast<double>(last - first)) : 0.0;
}

std::vector<Note> notesOf(const std::vector<float>& pitches, const PitchSettings& settings)
{
    std::vector<Note> notes;
    Note run;
    std::size_t length = 0;
    double sum = 0;
    const auto close = [&]() {
        if (length >= static_cast<std::size_t>(settings.shortestNote)) {
            run.pitch = static_cast<float>(sum / static_cast<double>(length));
            notes.push_back(run);
        }
        length = 0;
        sum = 0;
    };
    for (std::size_t f = 0; f < pitches.size(); ++f) {
        const float p = pitches[f];
        if (p <= 0) {
            close();
            continue;
        }
        if (length > 0 && std::abs(p - sum / static_cast<double>(length)) > settings.sameNote)
            close();
        if (length == 0)
            run.first = f;
        run.last = f;
        sum += p;
        ++length;
    }
    close();
    return notes;
}

void dropNoteEnds(std::vector<Onset>& onsets, const Tracker& track, double dropDb)
{
    // The onset's own attack (or stop) lies within 20 ms of it; a tenth of a second either
    // side of that tells what sounds before and after.
    const double factor = std::pow(10.0, -dropDb / 20);
    std::erase_if(onsets, [&](const Onset& o) {
        const double before = track.loudness(o.time - 0.12, o.time - 0.02);
        const double after = track.loudness(o.time + 0.02, o.time + 0.12);
        return before > 0 && after < before * factor;
    });
}

void weighOnsets(std::vector<Onset>& onsets, const Tracker& track, double heldWeight,
                 double newWeight, const PitchSettings& settings)
{
    const std::vector<Note> notes = notesOf(track.pitches(), settings);
    const double middle = medianStrength(onsets);
    const double typical = middle * newWeight;
    const auto nearest = [&](double t) {
        auto it = std::lower_bound(onsets.begin(), onsets.end(), t - kSameEvent,
                                   [](const Onset& o, double x) { return o.time < x; });
        Onset* best = nullptr;
        for (; it != onsets.end() && it->time <= t + kSameEvent; ++it)
            if (!best || std::abs(it->time - t) < std::abs(best->time - t))
                best = &*it;
        return best;
    };
    // The largest share of the rise on the held pitch's harmonics from just before an onset
    // to the end of its attack.
    const std::vector<float>& ownRise = track.ownPitchRise();
    const auto playedAgain = [&](const Onset& o) {
        if (o.strength < kAgainStrength * middle)
            return false;
        float most = 0;
        for (std::size_t f = track.frameAt(o.time - 0.03);
             f < ownRise.size() && track.frameTime(f) <= o.time + 0.07; ++f)
            most = std::max(most, ownRise[f]);
        return most >= kAgainOwnRise;
    };
    // Onsets under a held note first, while the list is the detector's alone.
    std::size_t k = 0;
    for (Onset& o : onsets) {
        while (k < notes.size() && track.frameTime(notes[k].last) < o.time + kHeldAround)
            ++k;
        if (k < notes.size() && track.frameTime(notes[k].first) <= o.time - kHeldAround &&
            !playedAgain(o)) {
            o.strength *= heldWeight;
            o.underHeldNote = true;
        }
    }
    // A frame's level is that of its newest hop; the hop at its window's centre is this many
    // frames older.
    const auto centre = static_cast<std::size_t>(settings.windowSize / (2 * settings.hopSize));
    std::vector<Onset> added;
    const Note* before = nullptr;
    for (const Note& note : notes) {
        // A note after a rest (not a dropout of a frame or two), or of another pitch than
        // the one before it.
        const bool changes =
            !before ||
            before->last + static_cast<std::size_t>(settings.shortestNote) < note.first ||
            std::abs(before->pitch - note.pitch) > settings.sameNote;
        before = &note;
        if (!changes)
            continue;
        const double t = std::max(0.0, track.frameTime(note.first) - settings.latency);
        if (Onset* near = nearest(t)) {
            near->strength = std::max(near->strength, typical);
            near->underHeldNote = false;
        } else if (swells(track.levels(), note.first - std::min(note.first, centre),
                          settings.swell)) {
            added.push_back({t, typical});
        }
    }
    onsets.insert(onsets.end(), added.begin(), added.end());
    std::sort(onsets.begin(), onsets.end(),
              [](const Onset& a, const Onset& b) { return a.time < b.time; });
}

} // namespace pitchtrack
