// Session text from another copy on the network, as a connection hands it over (the
// bytes available, capped and decoded), read by a guest and by the host.
//
// What is not covered here: what the guest's actions do with the values (the guest
// clock with the latency added, the timeline slider, the timers) lives in SessionGuest,
// and the host's handling of an echo or a nickname in SessionHost; both need sockets and
// widgets. The pure parts they call (joinTimerInterval, echoText, latency) are run below.
#include "fuzzinput.h"
#include "project/numbertext.h"
#include "session/hostconnections.h"
#include "wire/messages.h"

#include <QBuffer>

#include <cmath>

namespace {

using fuzzinput::require;

class Actions : public messages::GuestActions {
public:
    void onLinesRead(const QStringList& lines) override { m_lines = lines.size(); }
    void onPosition(double seconds) override { require(std::isfinite(seconds)); }
    void beforeCue() override {}
    void onCue(double seconds) override { require(std::isfinite(seconds)); }
    void onTimelineMaximum(long long) override {}
    void onTempo(const QString& text, double value) override
    {
        require(!text.isNull() && std::isfinite(value));
        if (const auto interval = messages::joinTimerInterval(value))
            require(*interval >= 1);
    }
    void onReplayStart(double seconds) override { require(std::isfinite(seconds)); }
    void onReplayEnd(double seconds) override { require(std::isfinite(seconds)); }
    void onReplayClear() override {}
    void onHostEnded() override {}
    void onStop() override {}
    void onPause() override {}
    void onReplayActive(bool) override {}
    void onPlay() override {}
    void onReplayPlay() override {}
    void onRewind() override {}
    void onAccepted() override {}
    void onPing(const QString& value) override
    {
        require(messages::echoText(value).startsWith(QLatin1String("W=")));
    }
    void onLatency(double milliseconds) override { require(std::isfinite(milliseconds)); }
    void onPlayerStatus(const QString&) override {}

    qsizetype m_lines = -1;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes = fuzzinput::bytes(data, size);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    // The texts a connection hands on (an oversized read splits into several), each read
    // as a guest and as a host would.
    const qint64 dropped = sessionsocket::readTexts(buffer, [&](const QString& text) {
        Actions actions;
        const auto error = messages::readGuestText(text, actions);
        require(actions.m_lines >= 0);
        require(!error || !error->isEmpty());

        const messages::HostText read = messages::readHostText(text);
        if (read.kind == messages::HostText::Kind::Echo) {
            require(!read.value.isEmpty());
            if (const auto echoed = numbertext::parse(read.value))
                messages::latencyText(messages::latency(123456789, *echoed));
        } else {
            require(read.value == text);
        }
        return true;
    });
    require(dropped >= 0 && dropped <= qint64(size));
    require(buffer.bytesAvailable() == 0);
    return 0;
}
