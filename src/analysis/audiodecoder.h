#pragma once

#include <QString>
#include <cstddef>
#include <memory>

// Streams the first audio stream of a recording as mono float samples (-1 ... 1) at a fixed
// rate, block by block, through the same FFmpeg libraries the player plays through: every
// format the player plays can be read. Memory stays bounded by one decoded frame plus the
// caller's block, whatever the recording's length.
//
// Sample 0 is the recording's time 0 as the player counts it: the codec's priming samples
// (MP3 and AAC encoder delay, Opus pre-skip) are already dropped by FFmpeg, and an audio
// stream that starts later than the file is preceded by silence.
//
// One decoder belongs to one thread; separate decoders may run on separate threads.
class AudioDecoder {
public:
    explicit AudioDecoder(int sampleRate);
    ~AudioDecoder();
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;

    // Opens the recording. On failure returns false and errorText() says why in the user's
    // terms: the file is missing, cannot be read, is not audio or has no audio stream.
    bool open(const QString& path);

    // Fills out[0 .. count) with the next samples; returns how many were written, fewer than
    // count only at the end of the recording (0 once it is used up) or on a decoding error
    // (errorText() is then set). A packet the codec rejects is skipped, as the player does.
    std::size_t read(float* out, std::size_t count);

    int sampleRate() const { return m_rate; }
    // The recording's length in seconds as its container states it, 0 when unknown.
    double duration() const;
    // How far reading has come, 0 ... 1: by time when the length is known, else by bytes.
    double progress() const;
    QString errorText() const { return m_error; }

private:
    struct State;
    bool fillPending();
    bool decodeStep();
    void fail(const QString& text);

    int m_rate;
    std::unique_ptr<State> m_s;
    QString m_error;
};
