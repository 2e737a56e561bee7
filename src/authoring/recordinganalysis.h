#pragma once

#include "analysis/onsetdetector.h"

#include <QObject>
#include <QString>
#include <memory>
#include <vector>

class QThread;

// The note onsets of the open project's recording, found on a worker thread so that the
// window never waits for them. One recording at a time: asking for the recording already
// analysed (or being analysed) does nothing, asking for another one cancels the running
// analysis and starts anew. The result is kept until forget() (another project opens, the
// window closes). Everything here runs on the GUI thread except detectOnsets itself;
// progress and the result come back to the GUI thread as queued calls.
class RecordingAnalysis : public QObject {
    Q_OBJECT
public:
    enum class State { Idle, Running, Done, Failed };

    explicit RecordingAnalysis(QObject* parent = nullptr);
    // Cancels a running analysis and waits for its worker to end.
    ~RecordingAnalysis() override;

    // Analyses the recording at path unless it is the one analysed or being analysed
    // already (whatever the outcome). An empty path does nothing.
    void analyse(const QString& path);
    // Drops the result and cancels a running analysis; the status becomes empty.
    void forget();

    State state() const { return m_state; }
    // The recording analysed or being analysed; empty when Idle.
    const QString& recording() const { return m_path; }
    // The onsets of the recording at path in time order, or null while they are not known
    // for that recording (another one, still running, failed).
    const std::vector<Onset>* onsetsFor(const QString& path) const;
    // Why the analysis failed (Failed only).
    const QString& error() const { return m_error; }
    // "Analysing the recording: 42 %", "Recording analysed: 118 onsets", the failure, or
    // empty when Idle.
    const QString& statusText() const { return m_status; }

signals:
    void statusChanged(const QString& text);
    // The running analysis ended, Done or Failed (not after forget()).
    void finished();

private:
    struct Job;
    void progressed(int generation, int percent);
    void jobEnded(QThread* thread, const std::shared_ptr<Job>& job);
    void setStatus(const QString& text);
    void cancelRunning();

    State m_state = State::Idle;
    QString m_path;
    QString m_error;
    QString m_status;
    std::vector<Onset> m_onsets;
    int m_generation = 0; // the current job's number; results of older jobs are dropped
    std::shared_ptr<Job> m_job;
    std::vector<QThread*> m_threads; // workers not yet ended, cancelled ones included
};
