#include "analysis/audiodecoder.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

struct AudioDecoder::State {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwrContext* resampler = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    // The input side the resampler was set up for; a frame that differs rebuilds it.
    AVChannelLayout inLayout{};
    int inFormat = -1;
    int inRate = 0;

    std::vector<float> pending; // converted samples not yet handed out
    std::size_t pendingPos = 0;
    // Silence still to be handed out before the pending samples: the time before an audio
    // stream that starts later than the file. Counted, not held, as it may last an hour.
    std::size_t silence = 0;
    bool inputEnded = false;   // no more packets: the decoder is being drained
    bool decoderEnded = false; // the decoder gave its last frame
    bool finished = false;     // the resampler is flushed too
    bool started = false;      // a frame has been converted
    int failures = 0;          // frames in a row the decoder could not decode
    long long samplesOut = 0;
    QString name;

    ~State()
    {
        swr_free(&resampler);
        av_channel_layout_uninit(&inLayout);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }
};

AudioDecoder::AudioDecoder(int sampleRate)
    : m_rate(sampleRate)
{
}

AudioDecoder::~AudioDecoder() = default;

void AudioDecoder::fail(const QString& text)
{
    m_error = text;
    if (m_s)
        m_s->finished = true;
}

bool AudioDecoder::open(const QString& path)
{
    m_s = std::make_unique<State>();
    m_error.clear();
    const QFileInfo info(path);
    const QString name = info.fileName();
    m_s->name = name;
    if (!info.exists()) {
        fail(QStringLiteral("The recording %1 was not found.").arg(path));
        return false;
    }
    if (!info.isFile() || !info.isReadable()) {
        fail(QStringLiteral("The recording %1 could not be opened for reading.").arg(path));
        return false;
    }
    // The "file:" protocol keeps FFmpeg from reading a colon in the name as a network
    // address.
    const QByteArray url = "file:" + QFile::encodeName(info.absoluteFilePath());
    if (avformat_open_input(&m_s->format, url.constData(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(m_s->format, nullptr) < 0) {
        fail(QStringLiteral("%1 is not a recording: it is neither an audio nor a video file.")
                 .arg(name));
        return false;
    }
    const AVCodec* decoder = nullptr;
    m_s->stream = av_find_best_stream(m_s->format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (m_s->stream == AVERROR_STREAM_NOT_FOUND) {
        fail(QStringLiteral("%1 holds no sound: it has no audio stream.").arg(name));
        return false;
    }
    const QString undecodable =
        QStringLiteral("The sound in %1 is in a format that cannot be decoded.").arg(name);
    if (m_s->stream < 0 || !decoder) {
        fail(undecodable);
        return false;
    }
    AVStream* stream = m_s->format->streams[m_s->stream];
    m_s->codec = avcodec_alloc_context3(decoder);
    m_s->packet = av_packet_alloc();
    m_s->frame = av_frame_alloc();
    if (!m_s->codec || !m_s->packet || !m_s->frame ||
        avcodec_parameters_to_context(m_s->codec, stream->codecpar) < 0) {
        fail(undecodable);
        return false;
    }
    m_s->codec->pkt_timebase = stream->time_base;
    if (avcodec_open2(m_s->codec, decoder, nullptr) < 0) {
        fail(undecodable);
        return false;
    }
    // Only the audio stream is read; the demuxer drops the others' packets early.
    for (unsigned i = 0; i < m_s->format->nb_streams; ++i)
        if (static_cast<int>(i) != m_s->stream)
            m_s->format->streams[i]->discard = AVDISCARD_ALL;
    return true;
}

double AudioDecoder::duration() const
{
    if (!m_s || !m_s->format || m_s->format->duration == AV_NOPTS_VALUE ||
        m_s->format->duration <= 0)
        return 0;
    return static_cast<double>(m_s->format->duration) / AV_TIME_BASE;
}

double AudioDecoder::progress() const
{
    if (!m_s || !m_s->format)
        return 0;
    if (m_s->finished)
        return 1;
    double done = 0;
    if (const double length = duration(); length > 0) {
        done = static_cast<double>(m_s->samplesOut) / (length * m_rate);
    } else if (AVIOContext* io = m_s->format->pb) {
        const int64_t size = avio_size(io);
        if (size > 0)
            done = static_cast<double>(avio_tell(io)) / static_cast<double>(size);
    }
    return std::clamp(done, 0.0, 1.0);
}

std::size_t AudioDecoder::read(float* out, std::size_t count)
{
    if (!m_s)
        return 0;
    std::size_t written = 0;
    while (written < count) {
        if (m_s->silence > 0) {
            const std::size_t n = std::min(count - written, m_s->silence);
            std::fill(out + written, out + written + n, 0.0f);
            m_s->silence -= n;
            written += n;
            continue;
        }
        if (m_s->pendingPos == m_s->pending.size()) {
            // The frame that ends the recording may bring only the silence before it.
            if (!fillPending() && (m_s->silence == 0 || !m_error.isEmpty()))
                break;
            continue;
        }
        const std::size_t n = std::min(count - written, m_s->pending.size() - m_s->pendingPos);
        std::memcpy(out + written, m_s->pending.data() + m_s->pendingPos, n * sizeof(float));
        m_s->pendingPos += n;
        written += n;
    }
    m_s->samplesOut += static_cast<long long>(written);
    return written;
}

// Refills the pending samples from the next decoded frame(s); false at the end.
bool AudioDecoder::fillPending()
{
    State& s = *m_s;
    s.pending.clear();
    s.pendingPos = 0;
    while (s.pending.empty() && !s.finished) {
        if (!s.decoderEnded) {
            if (!decodeStep())
                return false;
            continue;
        }
        // Drain what the resampler still holds, then stop.
        if (s.resampler) {
            const int room = swr_get_out_samples(s.resampler, 0);
            if (room > 0) {
                s.pending.resize(static_cast<std::size_t>(room));
                auto* target = reinterpret_cast<uint8_t*>(s.pending.data());
                const int got = swr_convert(s.resampler, &target, room, nullptr, 0);
                s.pending.resize(static_cast<std::size_t>(std::max(got, 0)));
            }
        }
        s.finished = true;
    }
    return !s.pending.empty();
}

// One step of decoding: converts the next decoded frame into the pending samples, or feeds
// the decoder the next packet, or notes that it has ended; false on an error that ends
// reading.
bool AudioDecoder::decodeStep()
{
    State& s = *m_s;
    const int received = avcodec_receive_frame(s.codec, s.frame);
    if (received == AVERROR_EOF) {
        s.decoderEnded = true;
        return true;
    }
    if (received == AVERROR(EAGAIN)) {
        if (s.inputEnded) {
            s.decoderEnded = true;
            return true;
        }
        const int got = av_read_frame(s.format, s.packet);
        if (got < 0) {
            // The end of the file (or a read error, which ends playback the same way):
            // drain the decoder.
            s.inputEnded = true;
            avcodec_send_packet(s.codec, nullptr);
            return true;
        }
        if (s.packet->stream_index == s.stream)
            avcodec_send_packet(s.codec, s.packet); // a damaged packet is skipped
        av_packet_unref(s.packet);
        return true;
    }
    if (received < 0) {
        // A damaged frame is skipped, as the player does; a decoder that fails on and on
        // (or runs out of memory) ends the reading.
        if (received == AVERROR(ENOMEM) || ++s.failures > 100) {
            fail(QStringLiteral("The sound in %1 could not be decoded.").arg(s.name));
            return false;
        }
        return true;
    }
    s.failures = 0;

    AVFrame& f = *s.frame;
    // A frame of a damaged file may claim a rate no recording has: converted, a few
    // samples would swell into minutes of sound. Such a frame is skipped as a damaged one.
    constexpr int kLowestRate = 1000, kHighestRate = 1536000;
    if (f.sample_rate < kLowestRate || f.sample_rate > kHighestRate || f.nb_samples < 0) {
        av_frame_unref(s.frame);
        return true;
    }
    if (f.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC && f.ch_layout.nb_channels > 0) {
        const int channels = f.ch_layout.nb_channels;
        av_channel_layout_uninit(&f.ch_layout);
        av_channel_layout_default(&f.ch_layout, channels);
    }
    if (!s.resampler || f.format != s.inFormat || f.sample_rate != s.inRate ||
        av_channel_layout_compare(&f.ch_layout, &s.inLayout) != 0) {
        swr_free(&s.resampler);
        AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
        if (swr_alloc_set_opts2(&s.resampler, &mono, AV_SAMPLE_FMT_FLT, m_rate, &f.ch_layout,
                                static_cast<AVSampleFormat>(f.format), f.sample_rate, 0,
                                nullptr) < 0 ||
            swr_init(s.resampler) < 0) {
            av_frame_unref(s.frame);
            fail(
                QStringLiteral("The sound in %1 could not be converted for analysis.").arg(s.name));
            return false;
        }
        av_channel_layout_uninit(&s.inLayout);
        av_channel_layout_copy(&s.inLayout, &f.ch_layout);
        s.inFormat = f.format;
        s.inRate = f.sample_rate;
    }
    // An audio stream that starts after the file does (in a video, say) is preceded by
    // silence, as the player counts time from the file's start.
    std::size_t lead = 0;
    if (!s.started) {
        s.started = true;
        const AVStream* stream = s.format->streams[s.stream];
        if (f.best_effort_timestamp != AV_NOPTS_VALUE) {
            const double start = s.format->start_time == AV_NOPTS_VALUE
                                     ? 0.0
                                     : static_cast<double>(s.format->start_time) / AV_TIME_BASE;
            const double gap =
                static_cast<double>(f.best_effort_timestamp) * av_q2d(stream->time_base) - start;
            if (gap > 0.001 && gap < 3600)
                lead = static_cast<std::size_t>(std::lround(gap * m_rate));
        }
    }
    const int room = swr_get_out_samples(s.resampler, f.nb_samples);
    s.silence = lead;
    s.pending.clear();
    if (room > 0) {
        s.pending.resize(static_cast<std::size_t>(room));
        auto* target = reinterpret_cast<uint8_t*>(s.pending.data());
        const int got = swr_convert(s.resampler, &target, room,
                                    const_cast<const uint8_t**>(f.extended_data), f.nb_samples);
        s.pending.resize(static_cast<std::size_t>(std::max(got, 0)));
    }
    av_frame_unref(s.frame);
    return true;
}
