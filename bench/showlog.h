#pragma once

// What the on-time benchmarks share: opening a project from the start screen, and a log of
// when each marker entry was shown against where the recording really was.

#include "timingsupport.h"

#include "app/mainwindow.h"
#include "platform/widgets.h"
#include "playback/mpvplayer.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QItemSelectionModel>
#include <QListView>
#include <QSlider>
#include <QTimer>

#include <utility>
#include <vector>

// Clicks "Play" on the start screen (the window's dialogs answer with the project) and
// waits until the player has opened the audio; false when it has not within 20 s.
inline bool openFromStart(MainWindow& window, Player& player)
{
    window.findChild<QAbstractButton*>(QStringLiteral("Startup_Play"))->click();
    auto* timeline = window.findChild<QSlider*>(QStringLiteral("TrackBar"));
    QElapsedTimer wait;
    wait.start();
    while ((timeline->maximum() == 0 || player.playState() != Player::Paused) &&
           wait.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return timeline->maximum() > 0 && player.playState() == Player::Paused;
}

// From its construction: every entry the window shows with the wall time at which the
// handler that selected it had ended (its page turned, the marker placed), and reads of
// libmpv's own position every 20 ms, from which AudioTruth gives the true moment of each
// entry.
class ShowLog {
public:
    ShowLog(MainWindow& window, MpvPlayer& player, double rate)
        : truth(rate)
    {
        m_clock.start();
        QObject::connect(
            window.widgets().notesList->selectionModel(), &QItemSelectionModel::currentChanged,
            &window, [this, &window](const QModelIndex& current) {
                const int row = current.row();
                if (row < 0 || row == m_last)
                    return;
                m_last = row;
                QTimer::singleShot(0, &window, [this, row] { shows.emplace_back(row, now()); });
            });
        m_reads.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_reads, &QTimer::timeout, &window, [this, &player] {
            truth.add(now(), player.enginePosition(), player.duration());
        });
        m_reads.start(20);
    }

    // Wall seconds since the log began.
    double now() const { return static_cast<double>(m_clock.nsecsElapsed()) * 1e-9; }
    qint64 elapsedMs() const { return m_clock.elapsed(); }
    void stopReading() { m_reads.stop(); }

    AudioTruth truth;
    std::vector<std::pair<int, double>> shows;

private:
    QElapsedTimer m_clock;
    QTimer m_reads;
    int m_last = -1;
};
