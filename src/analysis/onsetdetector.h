#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <limits>
#include <vector>

// Where the notes of a recording start.

struct Onset {
    double time = 0;     // seconds from the recording's start, where the note's attack begins
    double strength = 0; // how strong the attack is; only comparable within one recording
    // The recording's dominant pitch holds from well before the onset to well after it: the
    // attack is an accompaniment's under a held melody note (or a soft repeated note's), so
    // it cannot be trusted to start a melody note. A loud attack that rises on the held
    // note's own harmonics is that note played again, and not marked.
    bool underHeldNote = false;
};

// The onsets' median strength (1 when there are none), never zero: what "strong" and
// "soft" are measured against within one recording.
double medianStrength(const std::vector<Onset>& onsets);

// The time of the music's last onset before `before`: the last one at least half as strong as
// the recording's median (echoes and noises after the music are softer); -infinity when
// there is none.
double lastMusicOnset(const std::vector<Onset>& onsets,
                      double before = std::numeric_limits<double>::infinity());

// How the recording is analysed. The defaults are the ones Folivant uses; they are exposed
// for measuring, not for the user. Measured on the test pieces (tests/analysis/data): the
// high-frequency-content function finds every melody note, its error spread (standard
// deviation) about 1 ms against 2 to 3 ms for the complex-domain and spectral-flux
// functions, and its peak grows with how hard a note is struck, so loud melody notes stand
// apart from a soft accompaniment (with the other two their strengths overlap). At
// threshold 0.2 most of the accompaniment's soft off-beats are found as well. The
// function's peak comes 15 ms after the attack begins, on top of the delay aubio allows
// for its peak picker.
struct OnsetSettings {
    int sampleRate = 22050;     // the recording is decoded to mono at this rate
    int windowSize = 1024;      // spectral frame (46 ms)
    int hopSize = 128;          // one detection value every 5.8 ms
    const char* method = "hfc"; // aubio onset detection function
    double threshold = 0.2;     // aubio peak-picking threshold
    double minimumGap = 0.050;  // seconds: two onsets closer than this are one
    double silence = -60;       // dBFS: no onset in frames quieter than this
    double latency = 0.015;     // seconds taken off every onset time, see above
    // A second function for the soft attacks of bowed, blown and sung notes, which the
    // first misses: its onsets that the first did not find are added, weaker by
    // softWeight (against the medians of each), so that leaving one over is cheap. None
    // when null. Tuned on the corpus's tuning half: spectral flux at 0.3 finds about half
    // of a slurred violin's attacks against almost none, and weighted by a quarter it
    // leaves the alignment of the piano pieces as it was.
    const char* softMethod = "specflux";
    double softThreshold = 0.3;
    double softWeight = 0.25;
    // Reads the recording's dominant pitch as well (pitchtrack.h): an onset where a new
    // note begins is kept at least newWeight times the median strength, a new note with no
    // onset near it becomes one of that strength, and an onset under a held note is marked
    // (Onset::underHeldNote) and weakened by heldWeight. None when false. Tuned on the
    // corpus's tuning half: weakening the onsets under held notes helps some slurred pieces
    // but lets others settle on wrong paths; added notes at a quarter of the median find
    // the slurred notes no attack shows and leave the piano pieces as they were.
    bool pitch = true;
    double heldWeight = 1.0;
    double newWeight = 0.25;
    // With the pitch: onsets after which the sound falls by more than this many decibels
    // are where a note stops, not where one starts, and are taken out (see
    // pitchtrack::dropNoteEnds). None when 0. Chosen on the corpus's tuning half: a
    // clarinet cut off before its rests stops as brightly as it starts, and no onset of a
    // note there falls by even 6 dB.
    double noteEndDrop = 10.0;
};

struct OnsetDetection {
    std::vector<Onset> onsets; // in time order
    double duration = 0;       // seconds of sound analysed
    bool cancelled = false;
    QString error; // why the recording could not be analysed; empty on success
    bool ok() const { return error.isEmpty() && !cancelled; }
};

// Called from the analysing thread with the share done, 0 ... 1, rising, about a hundred
// times over a recording at most.
using AnalysisProgress = std::function<void(double)>;

// Decodes the recording at `path` block by block (memory stays bounded whatever its
// length) and finds its note onsets. Safe to run on a worker thread, several at once: it
// touches no GUI and no shared state. `cancel`, when given, is polled between blocks;
// once it reads true the analysis stops soon and returns cancelled = true with the onsets
// found so far. A missing file, a file that is not audio or holds no sound, gives `error`.
OnsetDetection detectOnsets(const QString& path, const AnalysisProgress& progress = {},
                            const std::atomic<bool>* cancel = nullptr,
                            const OnsetSettings& settings = {});
