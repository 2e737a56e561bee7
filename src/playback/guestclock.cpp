#include "playback/guestclock.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kNanosecond = 1e-9;
// Two reports at least kApart seconds apart that differ by less than kSamePlace say that
// the host stands still.
constexpr double kSamePlace = 0.0005;
constexpr double kApart = 0.1;

} // namespace

GuestClock::GuestClock(QTimer& joinTimer, MonotonicClock clock, QObject* parent)
    : QObject(parent)
    , m_timer(&joinTimer)
    , m_clock(clock ? std::move(clock) : steadyClock())
{
    m_anchorAt = m_clock();
}

bool GuestClock::running() const
{
    return m_timer && m_timer->isActive();
}

void GuestClock::sync() const
{
    const bool active = running();
    if (active == m_running)
        return;
    const qint64 now = m_clock();
    anchor(valueAt(now), now);
    m_running = active;
    m_still = false;
    m_reports.clear();
}

double GuestClock::valueAt(qint64 at) const
{
    const double elapsed = static_cast<double>(at - m_anchorAt) * kNanosecond;
    double v = m_anchorValue;
    if (m_running && !m_still)
        v += elapsed * m_rate;
    if (m_slew != 0)
        v += m_slew * std::clamp(elapsed / kSlewSeconds, 0.0, 1.0);
    return v;
}

void GuestClock::anchor(double value, qint64 at) const
{
    m_anchorValue = value;
    m_anchorAt = at;
    m_slew = 0;
}

double GuestClock::value() const
{
    sync();
    return valueAt(m_clock());
}

void GuestClock::set(double seconds)
{
    sync();
    m_still = false;
    anchor(seconds, m_clock());
    m_reports.clear();
    emit changed();
}

void GuestClock::start()
{
    sync();
    const qint64 now = m_clock();
    anchor(valueAt(now), now);
    m_still = false;
    if (m_timer && !m_timer->isActive())
        m_timer->start();
    sync();
    emit changed();
}

void GuestClock::stop()
{
    sync();
    if (m_timer)
        m_timer->stop();
    sync();
    emit changed();
}

void GuestClock::setRate(double rate)
{
    if (!std::isfinite(rate) || rate <= 0)
        return;
    sync();
    const qint64 now = m_clock();
    anchor(valueAt(now), now);
    m_rate = rate;
    // Reports carried forward at the old rate say nothing about the new one.
    m_reports.clear();
    emit changed();
}

void GuestClock::follow(double hostSeconds)
{
    if (!std::isfinite(hostSeconds))
        return;
    sync();
    const qint64 now = m_clock();
    if (!m_running) {
        anchor(hostSeconds, now);
        m_reports.clear();
        emit changed();
        return;
    }
    const auto window = static_cast<qint64>(kReportSeconds / kNanosecond);
    while (!m_reports.empty() && now - m_reports.front().at > window)
        m_reports.pop_front();
    // A host whose recording has ended stops without a pause message and reports the same
    // place again and again: the clock stands there rather than running on past the host,
    // until the host moves again.
    const bool again = !m_reports.empty() &&
                       std::abs(hostSeconds - m_reports.back().position) < kSamePlace &&
                       static_cast<double>(now - m_reports.back().at) * kNanosecond >= kApart;
    if (again || m_still) {
        anchor(again ? hostSeconds : valueAt(now), now);
        m_reports.clear();
        m_still = again;
        if (again) {
            m_reports.push_back({hostSeconds, now});
            emit changed();
            return;
        }
    }
    m_reports.push_back({hostSeconds, now});
    double host = hostSeconds;
    for (const Report& r : m_reports)
        host = std::max(host, r.position + static_cast<double>(now - r.at) * kNanosecond * m_rate);
    const double current = valueAt(now);
    const double difference = host - current;
    if (std::abs(difference) / m_rate > kJumpSeconds) {
        anchor(host, now);
    } else {
        anchor(current, now);
        m_slew = difference;
    }
    emit changed();
}
