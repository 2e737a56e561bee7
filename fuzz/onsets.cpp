// The recording the user has analysed for its note onsets (Align to Recording): any file,
// decoded through FFmpeg and analysed with aubio, neither of them instrumented; the
// decoder's and the analysis's own code is. The input is written to a file with no
// extension, so FFmpeg recognises it by its content alone.
//
// Each analysis is cancelled after a quarter of a second (a watchdog thread sets the cancel
// flag the analysis polls), so a long or slow recording stays one quick input.
#include "analysis/onsetdetector.h"
#include "fuzzinput.h"

#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using fuzzinput::require;
using Clock = std::chrono::steady_clock;

constexpr auto kBudget = std::chrono::milliseconds(250);

// Sets the cancel flag once the deadline of the running analysis has passed.
class Watchdog {
public:
    Watchdog()
        : m_thread([this] { run(); })
    {
        m_thread.detach();
    }
    void arm(std::atomic<bool>* cancel)
    {
        const std::lock_guard lock(m_mutex);
        m_cancel = cancel;
        m_deadline = Clock::now() + kBudget;
        m_wake.notify_one();
    }
    void disarm()
    {
        const std::lock_guard lock(m_mutex);
        m_cancel = nullptr;
    }

private:
    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (!m_cancel) {
                m_wake.wait(lock);
                continue;
            }
            if (m_wake.wait_until(lock, m_deadline) == std::cv_status::timeout && m_cancel &&
                Clock::now() >= m_deadline)
                m_cancel->store(true);
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<bool>* m_cancel = nullptr;
    Clock::time_point m_deadline;
    std::thread m_thread;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Never destroyed: the detached thread waits on it until the process ends.
    static Watchdog* watchdog = new Watchdog;
    QTemporaryDir dir(fuzzinput::temporaryBase() + QStringLiteral("/folivant-onsets-XXXXXX"));
    require(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("recording"));
    require(fuzzinput::writeFile(path, fuzzinput::bytes(data, size)));

    std::atomic<bool> cancel{false};
    double reported = -1;
    watchdog->arm(&cancel);
    const OnsetDetection d = detectOnsets(
        path,
        [&](double done) {
            require(done >= 0 && done <= 1 && done >= reported);
            reported = done;
        },
        &cancel);
    watchdog->disarm();

    require(std::isfinite(d.duration) && d.duration >= 0);
    if (!d.error.isEmpty()) {
        require(!d.cancelled);
        return 0;
    }
    double last = 0;
    for (const Onset& o : d.onsets) {
        require(std::isfinite(o.time) && o.time >= last);
        require(std::isfinite(o.strength) && o.strength >= 0);
        last = o.time;
    }
    require(last <= d.duration + 0.5);
    return 0;
}
