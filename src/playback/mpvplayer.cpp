#include "playback/mpvplayer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

#include <mpv/client.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// reply_userdata of the asynchronous seek commands, so their replies can be counted.
constexpr std::uint64_t kSeekReply = 1;

// Played when FOLIVANT_AUDIO_OUTPUT is not set: the sound server, the sound card, and
// silence as the last resort so the program still runs without sound.
constexpr char kDefaultOutputs[] = "pulse,alsa,null";

} // namespace

MpvPlayer::MpvPlayer(QObject* parent)
    : MpvPlayer(Options{}, parent)
{
}

MpvPlayer::MpvPlayer(const Options& extraOptions, QObject* parent)
    : Player(parent)
{
    // libmpv refuses to start under a numeric locale other than "C".
    const char* numeric = std::setlocale(LC_NUMERIC, nullptr);
    if (!numeric || std::strcmp(numeric, "C") != 0)
        std::setlocale(LC_NUMERIC, "C");

    m_mpv = mpv_create();
    if (!m_mpv)
        return;

    const QByteArray output = qEnvironmentVariableIsEmpty("FOLIVANT_AUDIO_OUTPUT")
                                  ? QByteArray(kDefaultOutputs)
                                  : qgetenv("FOLIVANT_AUDIO_OUTPUT");
    Options options{
        {"vo", "null"},
        {"video", "no"},
        {"audio-display", "no"},
        {"ao", output},
        // Stay on the file at its end, paused with the position at the duration.
        {"keep-open", "yes"},
        {"hr-seek", "yes"},
        // Without it WMA seeks land 13 to 40 ms late.
        {"hr-seek-demuxer-offset", "1"},
        // Pitch-keeping speed change; the filter mutes above its max-speed (4 by default).
        {"af", "scaletempo2=max-speed=8"},
        // A short buffer keeps the position's step at a speed change small.
        {"audio-buffer", "0.1"},
        {"idle", "yes"},
        {"pause", "yes"},
        {"terminal", "no"},
        {"config", "no"},
        {"load-scripts", "no"},
        {"input-default-bindings", "no"},
        {"input-vo-keyboard", "no"},
        {"ytdl", "no"},
        {"resume-playback", "no"},
        {"sub-auto", "no"},
        {"audio-file-auto", "no"},
        {"audio-client-name", "folivant"},
    };
    options += extraOptions;
    for (const auto& [name, value] : options) {
        if (mpv_set_option_string(m_mpv, name.constData(), value.constData()) < 0 && name == "af")
            mpv_set_option_string(m_mpv, "af", "scaletempo2");
    }
    if (mpv_initialize(m_mpv) < 0) {
        mpv_terminate_destroy(m_mpv);
        m_mpv = nullptr;
        return;
    }
    // Observed only to be woken: the values are read when the events are drained.
    mpv_observe_property(m_mpv, 0, "pause", MPV_FORMAT_FLAG);
    mpv_observe_property(m_mpv, 0, "core-idle", MPV_FORMAT_FLAG);
    mpv_observe_property(m_mpv, 0, "eof-reached", MPV_FORMAT_FLAG);
    mpv_observe_property(m_mpv, 0, "duration", MPV_FORMAT_DOUBLE);
    mpv_set_wakeup_callback(m_mpv, &MpvPlayer::wakeup, this);
}

MpvPlayer::~MpvPlayer()
{
    if (!m_mpv)
        return;
    // No wakeup may reach this object once it is being destroyed.
    mpv_set_wakeup_callback(m_mpv, nullptr, nullptr);
    mpv_terminate_destroy(m_mpv);
}

// Runs on one of libmpv's threads: only posts the drain to the GUI thread.
void MpvPlayer::wakeup(void* self)
{
    auto* player = static_cast<MpvPlayer*>(self);
    if (!player->m_drainPosted.exchange(true))
        QMetaObject::invokeMethod(player, &MpvPlayer::drainEvents, Qt::QueuedConnection);
}

void MpvPlayer::postDrain()
{
    wakeup(this);
}

void MpvPlayer::drainEvents()
{
    m_drainPosted = false;
    if (m_mpv) {
        for (;;) {
            const mpv_event* event = mpv_wait_event(m_mpv, 0);
            if (event->event_id == MPV_EVENT_NONE)
                break;
            handleEvent(*event);
        }
        refreshFlags();
        // Playing on from a confirmed seek: libmpv's position counts again.
        if (m_hold && m_seekConfirmed && !m_paused && !m_coreIdle)
            m_hold.reset();
    }
    recompute();
    // A handler may change the player (the error handler unloads): every signal below
    // reports the state as it is when it is raised.
    while (m_pendingErrors > 0) {
        --m_pendingErrors;
        emit errorOccurred();
    }
    if (m_state != m_reportedState || m_status != m_reportedStatus) {
        m_reportedState = m_state;
        m_reportedStatus = m_status;
        emit statusChanged();
    }
}

void MpvPlayer::handleEvent(const mpv_event& event)
{
    const auto isCurrent = [this](std::int64_t entry) {
        return !m_source.isEmpty() && !m_failed && (m_entryId < 0 || entry == m_entryId);
    };
    switch (event.event_id) {
    case MPV_EVENT_START_FILE:
        m_startedEntry = static_cast<const mpv_event_start_file*>(event.data)->playlist_entry_id;
        break;
    case MPV_EVENT_FILE_LOADED:
        if (isCurrent(m_startedEntry) && !m_loaded) {
            m_loaded = true;
            double length = 0;
            if (mpv_get_property(m_mpv, "duration", MPV_FORMAT_DOUBLE, &length) >= 0)
                m_duration = length;
            if (m_seekDeferred && m_hold) {
                m_seekDeferred = false;
                *m_hold = m_duration > 0 ? std::min(*m_hold, m_duration) : *m_hold;
                m_guard = *m_hold;
                issueSeek(*m_hold);
            }
        }
        break;
    case MPV_EVENT_END_FILE: {
        const auto* end = static_cast<const mpv_event_end_file*>(event.data);
        if (!isCurrent(end->playlist_entry_id))
            break;
        if (end->reason == MPV_END_FILE_REASON_ERROR) {
            fail(QString::fromUtf8(mpv_error_string(end->error)));
        } else if (end->reason == MPV_END_FILE_REASON_REDIRECT) {
            // A playlist or a folder: not one audio file.
            fail(QStringLiteral("not an audio file"));
        } else if (end->reason == MPV_END_FILE_REASON_EOF) {
            // The file was closed at its end despite keep-open: open it again, stopped.
            const QString path = m_source;
            setSource(path);
            m_stopped = true;
        }
        break;
    }
    case MPV_EVENT_PLAYBACK_RESTART:
        // A restart before the reply of the latest seek belongs to an earlier one.
        if (m_seeksInFlight == 0)
            m_seekConfirmed = true;
        break;
    case MPV_EVENT_COMMAND_REPLY:
        if (event.reply_userdata == kSeekReply) {
            if (m_seeksInFlight > 0)
                --m_seeksInFlight;
            // A refused seek brings no restart.
            if (event.error < 0 && m_seeksInFlight == 0)
                m_seekConfirmed = true;
        }
        break;
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto* property = static_cast<const mpv_event_property*>(event.data);
        if (m_loaded && std::strcmp(property->name, "duration") == 0 &&
            property->format == MPV_FORMAT_DOUBLE)
            m_duration = *static_cast<const double*>(property->data);
        break;
    }
    default:
        break;
    }
}

// Reads the flags the state is made of, as they are now (property-change events may be
// older than the last command).
void MpvPlayer::refreshFlags()
{
    if (!m_loaded)
        return;
    int flag = 0;
    if (mpv_get_property(m_mpv, "pause", MPV_FORMAT_FLAG, &flag) >= 0)
        m_paused = flag != 0;
    flag = 0;
    if (mpv_get_property(m_mpv, "core-idle", MPV_FORMAT_FLAG, &flag) >= 0)
        m_coreIdle = flag != 0;
    flag = 0;
    m_eof = mpv_get_property(m_mpv, "eof-reached", MPV_FORMAT_FLAG, &flag) >= 0 && flag != 0;
    // Paused at the end: stopped until played again.
    if (m_eof && m_paused)
        m_stopped = true;
}

void MpvPlayer::recompute()
{
    if (m_source.isEmpty()) {
        m_state = Player::Other;
        m_status.clear();
    } else if (m_failed) {
        m_state = Player::Other;
        m_status = QStringLiteral("Error");
    } else if (!m_loaded) {
        m_state = Player::Other;
        m_status = QStringLiteral("Opening");
    } else if (!m_paused) {
        // Playing once audio actually runs; while starting or seeking, the state stays.
        if (!m_coreIdle) {
            m_state = Player::Playing;
            m_status = QStringLiteral("Playing");
        }
    } else if (m_stopped) {
        m_state = Player::Stopped;
        m_status = QStringLiteral("Stopped");
    } else if (m_fresh) {
        m_state = Player::Ready;
        m_status = QStringLiteral("Ready");
    } else {
        m_state = Player::Paused;
        m_status = QStringLiteral("Paused");
    }
}

void MpvPlayer::fail(const QString& reason)
{
    m_failed = true;
    m_loaded = false;
    m_seekDeferred = false;
    m_errorText = reason;
    m_hold.reset();
    m_guard = 0;
    ++m_pendingErrors;
}

bool MpvPlayer::command(std::initializer_list<const char*> args)
{
    std::vector<const char*> argv(args);
    argv.push_back(nullptr);
    return mpv_command(m_mpv, argv.data()) >= 0;
}

void MpvPlayer::setPaused(bool paused)
{
    int flag = paused ? 1 : 0;
    mpv_set_property(m_mpv, "pause", MPV_FORMAT_FLAG, &flag);
    m_paused = paused;
}

void MpvPlayer::setSource(const QString& path)
{
    m_source = path;
    m_entryId = -1;
    m_loaded = false;
    m_failed = false;
    m_fresh = true;
    m_stopped = false;
    m_paused = true;
    m_coreIdle = true;
    m_eof = false;
    m_duration = 0;
    m_hold.reset();
    m_guard = 0;
    m_seekConfirmed = true;
    m_seekDeferred = false;
    m_errorText.clear();

    if (!m_mpv) {
        if (!path.isEmpty())
            fail(QStringLiteral("audio engine unavailable"));
    } else if (path.isEmpty()) {
        setPaused(true);
        command({"stop"});
    } else if (QFileInfo(path).isDir()) {
        command({"stop"});
        fail(QStringLiteral("not an audio file"));
    } else {
        setPaused(true);
        QByteArray file = QFile::encodeName(path);
        // A relative name that looks like an address is still a file.
        if (QDir::isRelativePath(path) && path.contains(QLatin1String("://")))
            file.prepend("./");
        const char* args[] = {"loadfile", file.constData(), "replace", nullptr};
        mpv_node result;
        if (mpv_command_ret(m_mpv, args, &result) < 0) {
            fail(QStringLiteral("loading failed"));
        } else {
            if (result.format == MPV_FORMAT_NODE_MAP) {
                const mpv_node_list* map = result.u.list;
                for (int i = 0; i < map->num; ++i) {
                    if (std::strcmp(map->keys[i], "playlist_entry_id") == 0 &&
                        map->values[i].format == MPV_FORMAT_INT64)
                        m_entryId = map->values[i].u.int64;
                }
            }
            mpv_free_node_contents(&result);
        }
    }
    recompute();
    postDrain();
}

bool MpvPlayer::seekPending() const
{
    return m_hold.has_value() && !m_seekConfirmed;
}

double MpvPlayer::enginePosition() const
{
    double seconds = 0;
    if (!m_mpv || !m_loaded || mpv_get_property(m_mpv, "time-pos", MPV_FORMAT_DOUBLE, &seconds) < 0)
        return 0;
    return seconds;
}

double MpvPlayer::position() const
{
    if (!m_loaded)
        return m_hold.value_or(0.0);
    if (m_hold) {
        // The requested position stands until libmpv has sought and plays on from it.
        if (!m_seekConfirmed || m_paused || m_coreIdle)
            return *m_hold;
        m_hold.reset();
    }
    double seconds = !m_paused && !m_coreIdle ? outputPosition() : enginePosition();
    if (m_duration > 0)
        seconds = std::min(seconds, m_duration);
    // libmpv's position steps back when the speed rises; hold it instead.
    if (seconds < m_guard)
        return m_guard;
    m_guard = seconds;
    return seconds;
}

// Where the audio output is now: what libmpv has written less what the output still
// holds, worked out at each read.
double MpvPlayer::outputPosition() const
{
    double seconds = 0;
    if (mpv_get_property(m_mpv, "audio-pts", MPV_FORMAT_DOUBLE, &seconds) >= 0 &&
        std::isfinite(seconds))
        return seconds;
    return enginePosition();
}

void MpvPlayer::setPosition(double seconds)
{
    if (!m_mpv || m_source.isEmpty() || m_failed || !std::isfinite(seconds))
        return;
    seconds = std::max(0.0, seconds);
    if (m_loaded && m_duration > 0)
        seconds = std::min(seconds, m_duration);
    m_hold = seconds;
    m_guard = seconds;
    m_seekConfirmed = false;
    if (!m_loaded)
        m_seekDeferred = true;
    else
        issueSeek(seconds);
    emit timingChanged();
}

void MpvPlayer::issueSeek(double seconds)
{
    const QByteArray target = QByteArray::number(seconds, 'f', 6);
    const char* args[] = {"seek", target.constData(), "absolute+exact", nullptr};
    if (mpv_command_async(m_mpv, kSeekReply, args) >= 0)
        ++m_seeksInFlight;
    else
        m_seekConfirmed = true;
}

QString MpvPlayer::positionText() const
{
    const auto total = static_cast<qint64>(position());
    return QStringLiteral("%1:%2")
        .arg(total / 60, 2, 10, QLatin1Char('0'))
        .arg(total % 60, 2, 10, QLatin1Char('0'));
}

double MpvPlayer::duration() const
{
    return m_loaded ? m_duration : 0;
}

void MpvPlayer::setRate(double rate)
{
    if (!std::isfinite(rate) || rate <= 0)
        return;
    m_rate = std::clamp(rate, 0.01, 100.0);
    if (m_mpv)
        mpv_set_property_async(m_mpv, 0, "speed", MPV_FORMAT_DOUBLE, &m_rate);
    emit timingChanged();
}

void MpvPlayer::play()
{
    if (!m_mpv || m_source.isEmpty() || m_failed)
        return;
    // At the end, playing starts again from the beginning.
    if (m_loaded && m_eof && !seekPending())
        setPosition(0);
    m_fresh = false;
    m_stopped = false;
    setPaused(false);
    recompute();
    postDrain();
}

void MpvPlayer::pause()
{
    if (!m_mpv || m_source.isEmpty() || m_failed)
        return;
    setPaused(true);
    recompute();
    postDrain();
}

void MpvPlayer::stop()
{
    if (!m_mpv || m_source.isEmpty() || m_failed)
        return;
    setPaused(true);
    m_stopped = true;
    setPosition(0);
    recompute();
    postDrain();
}

QString MpvPlayer::outputDevice() const
{
    if (!m_mpv)
        return Player::outputDevice();
    const auto property = [this](const char* name) {
        char* text = mpv_get_property_string(m_mpv, name);
        const QString value = text ? QString::fromUtf8(text) : QString();
        mpv_free(text);
        return value;
    };
    QString output = property("current-ao");
    if (output.isEmpty())
        output = property("ao");
    const QString device = property("audio-device");
    return (output.isEmpty() ? QStringLiteral("auto") : output) + QLatin1Char('/') +
           (device.isEmpty() ? QStringLiteral("auto") : device);
}
