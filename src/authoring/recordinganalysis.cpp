#include "authoring/recordinganalysis.h"

#include <QThread>
#include <atomic>

// One analysis on its worker. The worker writes `result` and nothing else; the GUI thread
// reads it only after the worker has ended.
struct RecordingAnalysis::Job {
    QString path;
    int generation = 0;
    std::atomic<bool> cancel{false};
    OnsetDetection result;
};

RecordingAnalysis::RecordingAnalysis(QObject* parent)
    : QObject(parent)
{
}

RecordingAnalysis::~RecordingAnalysis()
{
    cancelRunning();
    // Cancelled workers stop within one block of decoding. Their queued calls to this
    // object are dropped with it.
    for (QThread* thread : m_threads) {
        thread->wait();
        delete thread;
    }
}

const std::vector<Onset>* RecordingAnalysis::onsetsFor(const QString& path) const
{
    if (m_state != State::Done || path.isEmpty() || path != m_path)
        return nullptr;
    return &m_onsets;
}

void RecordingAnalysis::analyse(const QString& path)
{
    if (path.isEmpty() || (m_state != State::Idle && path == m_path))
        return;
    forget();
    m_path = path;
    m_state = State::Running;
    auto job = std::make_shared<Job>();
    job->path = path;
    job->generation = m_generation;

    // The worker posts its progress to this object; this object outlives every worker
    // (the destructor waits for them).
    QThread* thread = QThread::create([this, job] {
        int last = -1;
        const int generation = job->generation;
        job->result = detectOnsets(
            job->path,
            [this, generation, &last](double done) {
                const int percent = static_cast<int>(done * 100);
                if (percent == last)
                    return;
                last = percent;
                QMetaObject::invokeMethod(
                    this, [this, generation, percent] { progressed(generation, percent); },
                    Qt::QueuedConnection);
            },
            &job->cancel);
    });
    thread->setObjectName(QStringLiteral("RecordingAnalysisWorker"));
    connect(thread, &QThread::finished, this, [this, thread, job] { jobEnded(thread, job); });
    m_threads.push_back(thread);
    m_job = job;
    setStatus(QStringLiteral("Analysing the recording: 0 %"));
    thread->start(QThread::LowPriority);
}

void RecordingAnalysis::forget()
{
    cancelRunning();
    ++m_generation;
    m_state = State::Idle;
    m_path.clear();
    m_error.clear();
    m_onsets.clear();
    m_onsets.shrink_to_fit();
    setStatus(QString());
}

void RecordingAnalysis::cancelRunning()
{
    if (m_job)
        m_job->cancel = true;
    m_job.reset();
}

void RecordingAnalysis::progressed(int generation, int percent)
{
    if (generation != m_generation || m_state != State::Running)
        return;
    setStatus(QStringLiteral("Analysing the recording: %1 %").arg(percent));
}

void RecordingAnalysis::jobEnded(QThread* thread, const std::shared_ptr<Job>& job)
{
    // finished() is raised just before the worker returns: wait for that moment.
    thread->wait();
    std::erase(m_threads, thread);
    delete thread;
    if (job->generation != m_generation || m_state != State::Running)
        return;
    m_job.reset();
    OnsetDetection& result = job->result;
    if (!result.error.isEmpty()) {
        m_state = State::Failed;
        m_error = result.error;
        setStatus(QStringLiteral("The recording could not be analysed: %1").arg(m_error));
    } else {
        m_state = State::Done;
        m_onsets = std::move(result.onsets);
        setStatus(QStringLiteral("Recording analysed: %1 onsets").arg(m_onsets.size()));
    }
    emit finished();
}

void RecordingAnalysis::setStatus(const QString& text)
{
    if (text == m_status)
        return;
    m_status = text;
    emit statusChanged(m_status);
}
