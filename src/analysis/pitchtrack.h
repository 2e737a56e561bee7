#pragma once

#include "analysis/onsetdetector.h"

#include <cstddef>
#include <memory>
#include <vector>

// The dominant pitch of the recording, frame by frame, and the note onsets it shows: a new
// note of a slurred violin, a flute or a voice is often only a change of pitch, with no
// attack an energy function could see. The melody is usually the loudest line, so its pitch
// is the dominant one; an accompaniment's attack under a held melody note changes nothing
// here.
namespace pitchtrack {

struct PitchSettings {
    int windowSize = 1024;   // samples at the decoding rate: 46 ms at 22050 Hz
    int hopSize = 256;       // one pitch every 11.6 ms
    double confidence = 0.7; // frames whose pitch is less sure than this are unvoiced
    double silence = -50;    // dBFS: frames quieter than this are unvoiced
    int shortestNote = 4;    // frames: a pitch held for less is a glide or an error
    double sameNote = 0.6;   // semitones: a frame this close to a note's pitch continues it
    // A new note with no onset near it is added only where the sound swells by this much
    // into it (see weighOnsets). Chosen on the corpus's tuning half and the accompanied
    // test piece: lower, the pitch flips of decaying piano chords pass as notes.
    double swell = 1.5;
    double latency = 0.045; // seconds taken off every pitch change (see weighOnsets)
};

// Feeds the decoded samples in blocks of any size; keeps three values per frame (about 3.7 MB
// per hour of sound).
class Tracker {
public:
    Tracker(int sampleRate, const PitchSettings& settings = {});
    ~Tracker();
    Tracker(const Tracker&) = delete;
    Tracker& operator=(const Tracker&) = delete;
    bool ok() const;
    void feed(const float* samples, std::size_t count);
    // The pitch of every frame in MIDI note numbers, 0 where it is unvoiced.
    const std::vector<float>& pitches() const { return m_pitches; }
    // The loudness (root mean square) of every frame's newest hop.
    const std::vector<float>& levels() const { return m_levels; }
    // The time of frame f's window centre, seconds.
    double frameTime(std::size_t f) const;
    // The first frame whose window centre lies at t or later.
    std::size_t frameAt(double t) const;
    // The loudness (root mean square) of the sound from `from` to `to` seconds, by hops.
    double loudness(double from, double to) const;
    // Of every frame's rise in the spectrum against the frame before it, the share that lies
    // on the harmonics of the pitch the frame before held (0 where it held none): a note
    // played again at its own pitch rises there, another instrument's attack elsewhere.
    const std::vector<float>& ownPitchRise() const { return m_ownRise; }

private:
    float ownRise();
    struct Aubio;
    std::unique_ptr<Aubio> m_aubio;
    PitchSettings m_settings;
    int m_rate;
    std::size_t m_filled = 0;
    std::vector<float> m_pitches;
    std::vector<float> m_levels;
    std::vector<float> m_ownRise;
};

// A held note: its pitch and its first and last frame.
struct Note {
    float pitch = 0;
    std::size_t first = 0, last = 0;
};

// The notes of the track: runs of voiced frames within sameNote of their running pitch,
// at least shortestNote frames long.
std::vector<Note> notesOf(const std::vector<float>& pitches, const PitchSettings& settings = {});

// Weighs the onsets by the pitch: an onset where a new note begins (of another pitch, or
// after a rest) is kept at least newWeight times the onsets' median strength; a new note
// with no onset near it, where the sound swells into it, is added at that strength; an onset
// inside a note held from well before it to well after it (an accompaniment's attack under
// the melody) is marked underHeldNote and weakened by heldWeight. A change of pitch shows
// once the new note dominates the window: on the corpus's tuning half its window's centre
// lies 0.03 s (clarinet, piano) to 0.12 s (cello, strings in reverb) after the note begins,
// 0.045 s in the median, which is taken off (latency).
void weighOnsets(std::vector<Onset>& onsets, const Tracker& track, double heldWeight,
                 double newWeight, const PitchSettings& settings = {});

// Takes out the onsets where a note ends rather than begins: a sudden stop (a reed or a
// breath cut off before a rest) is as bright as an attack to the energy functions, but the
// sound after it is far quieter than before it. An onset whose next tenth of a second is
// quieter by more than `dropDb` decibels than its last tenth is such an end.
void dropNoteEnds(std::vector<Onset>& onsets, const Tracker& track, double dropDb);

} // namespace pitchtrack
