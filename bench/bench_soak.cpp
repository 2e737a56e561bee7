// Hours of play: the demo project played on repeat by a host through the real player
// (libmpv, null audio output), with the replay range looping a passage for a while, tempo
// changes from 0.5 to 2, pauses, seeks and page turns, while two guest windows in the same
// process follow on loopback and a hostile peer sends garbage, bursts of megabytes, and
// opens half-open connections (connect and never read; connect and vanish).
//
//   bench_soak [minutes]      (or FOLIVANT_SOAK_MINUTES; default 10)
//
// Prints the process's resident memory at each minute with what happened in it, every
// message box each window showed, and the guests' clock error at the end, measured over
// five seconds of plain play at tempo 1. Memory must stay flat, no box may appear beyond
// the guests' "Connected." at joining, and the guests must still be in step.

#include "benchdoubles.h"
#include "benchsession.h"

#include "playback/guestclock.h"
#include "playback/mpvplayer.h"
#include "playback/playbackstate.h"
#include "playback/tempo.h"
#include "playback/transport.h"
#include "session/sessionpanel.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QRandomGenerator>
#include <QSlider>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <deque>
#include <vector>

namespace {

using namespace benchsession;

constexpr int kGuests = 2;
constexpr int kCycleSeconds = 60;
const double kTempos[] = {1.0, 0.5, 1.5, 2.0, 0.75, 1.25, 1.75};

int soakMinutes(int argc, char** argv)
{
    bool ok = false;
    int minutes = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt(&ok) : 0;
    if (!ok)
        minutes = qEnvironmentVariableIntValue("FOLIVANT_SOAK_MINUTES", &ok);
    return ok && minutes > 0 ? minutes : 10;
}

// The demo project copied into the Notes folder; returns its project file.
QString copyDemo(const QString& notes)
{
    const QDir demo(QStringLiteral(FOLIVANT_SOURCE_DIR "/assets/demo"));
    const QString folder = notes + QStringLiteral("/Minuet/");
    QDir().mkpath(folder);
    for (const QString& name : demo.entryList(QDir::Files))
        QFile::copy(demo.filePath(name), folder + name);
    return folder + QStringLiteral("Minuet.nts");
}

QByteArray randomBytes(qsizetype size)
{
    std::vector<quint32> words(std::size_t(size + 3) / 4);
    QRandomGenerator::global()->fillRange(words.data(), qsizetype(words.size()));
    return QByteArray(reinterpret_cast<const char*>(words.data()), size);
}

// A peer that means no good: it joins before Go! (its nickname is garbage) and never reads
// what the host sends it; then, while the session plays, it sends garbage and bursts,
// opens connections it never reads from (kept open) and connections it drops at once.
class HostilePeer {
public:
    explicit HostilePeer(quint16 port)
        : m_port(port)
    {
    }

    void join()
    {
        m_main = connectOne();
        m_main->setReadBufferSize(1);
        QObject::connect(m_main, &QTcpSocket::connected, [this] {
            m_main->write(QByteArray("\xff\xfe\x00garbage\x01\x02") + randomBytes(200));
        });
    }

    // Called once a second of play.
    void act(int second)
    {
        if (second % 7 == 3 && m_main->state() == QAbstractSocket::ConnectedState) {
            // Garbage: random bytes, an echo that is not a number, session-like lines.
            QByteArray text = randomBytes(1024 + second % 3000);
            text += "\nW=not a number\nZ=abc\nC=1e999\nJ=-\n";
            if (second % 14 == 3)
                text.prepend("W=");
            send(text);
        }
        if (second % 60 == 30 && m_main->state() == QAbstractSocket::ConnectedState) {
            // A burst: 2 MiB as one endless line, then 2 MiB of short lines.
            QByteArray burst = randomBytes(2 << 20).replace('\n', 'x').replace('\r', 'y');
            QByteArray lines;
            lines.reserve(2 << 20);
            while (lines.size() < (2 << 20))
                lines += "W=" + QByteArray::number(lines.size()) + "garbage\r\nhello there\n";
            send(burst + "\n" + lines);
            ++bursts;
        }
        if (second % 15 == 5) {
            // Connect and never read: kept until twenty are open.
            QTcpSocket* s = connectOne();
            s->setReadBufferSize(1);
            m_halfOpen.push_back(s);
            if (m_halfOpen.size() > 20) {
                m_halfOpen.front()->abort();
                m_halfOpen.front()->deleteLater();
                m_halfOpen.pop_front();
            }
        }
        if (second % 10 == 7) {
            // Connect and vanish: once the connection is made, and once before.
            QTcpSocket* s = connectOne();
            QObject::connect(s, &QTcpSocket::connected, s, [s] {
                s->abort();
                s->deleteLater();
            });
            QTcpSocket* early = connectOne();
            early->abort();
            early->deleteLater();
            vanished += 2;
        }
    }

    qint64 sent = 0;
    int opened = 0;
    int vanished = 0;
    int bursts = 0;

private:
    QTcpSocket* connectOne()
    {
        auto* s = new QTcpSocket;
        s->connectToHost(QHostAddress::LocalHost, m_port);
        ++opened;
        return s;
    }
    void send(const QByteArray& bytes)
    {
        m_main->write(bytes);
        sent += bytes.size();
    }

    quint16 m_port;
    QTcpSocket* m_main = nullptr;
    std::deque<QTcpSocket*> m_halfOpen;
};

bool clickIfEnabled(Copy& copy, const char* name)
{
    auto& button = copy.find<QAbstractButton>(name);
    if (!button.isEnabled())
        return false;
    button.click();
    return true;
}

// Clicks a control as a user does: once it is enabled.
void press(Copy& copy, const char* name)
{
    waitFor([&] { return copy.find<QAbstractButton>(name).isEnabled(); }, 3000);
    clickIfEnabled(copy, name);
}

// The host's part of the play, one step every 250 ms.
class HostScript {
public:
    HostScript(Copy& host, MpvPlayer& player)
        : m_host(host)
        , m_player(player)
    {
    }

    void step(double t)
    {
        const int cycle = int(t) / kCycleSeconds;
        const int at = int(t) % kCycleSeconds;
        if (cycle != m_cycle) {
            m_cycle = cycle;
            m_done.clear();
            setTempo(kTempos[cycle % std::size(kTempos)]);
        }
        // Each step of the cycle runs once, at its second or as soon after as its control
        // is enabled (a button follows the player's state, which comes a moment later).
        const auto once = [this](int second, const std::function<bool()>& action) {
            if (m_done.size() <= std::size_t(second))
                m_done.resize(std::size_t(second) + 1);
            if (!m_done[std::size_t(second)])
                m_done[std::size_t(second)] = action();
        };
        const auto click = [this](const char* name) {
            return clickIfEnabled(m_host, name);
        };
        if (at >= 20)
            once(20, [&] { return click("Replay_SetStart"); });
        if (at >= 24)
            once(24, [&] { return click("Replay_SetEnd"); });
        if (at >= 25)
            once(25, [&] { return click("Replay_Play") && ++replays; });
        if (at >= 45)
            once(45, [&] { return click("Replay_Stop"); });
        if (at >= 46)
            once(46, [&] { return click("Replay_Clear") && click("MainPanel_Play"); });
        if (at >= 50)
            once(50, [&] { return click("MainPanel_Pause"); });
        if (at >= 52)
            once(52, [&] { return click("MainPanel_Pause"); });
        // The timeline dragged to four seconds before the end, and played on from there.
        if (at >= 53)
            once(53, [&] {
                m_host.find<QSlider>("TrackBar").setValue(int((m_player.duration() - 4) * 100));
                m_host.window->transport()->timelineSeek(true);
                return ++seeks > 0;
            });
        if (at >= 54)
            once(54, [&] { return click("MainPanel_Play"); });
        if (at % 5 == 2)
            once(at, [this] {
                if (m_host.keys.press(HotKey::SwitchPage))
                    ++pageTurns;
                return true;
            });
        // On repeat: once the song has played to its end (the player is no longer playing
        // outside the pause), it starts again.
        const bool paused = (at >= 50 && at < 52) || (at >= 53 && at < 55);
        m_idleSteps = paused || m_player.playState() == Player::Playing ? 0 : m_idleSteps + 1;
        if (m_idleSteps >= 6) {
            m_idleSteps = 0;
            clickIfEnabled(m_host, "MainPanel_Rewind");
            if (clickIfEnabled(m_host, "MainPanel_Play"))
                ++restarts;
        }
    }

    void setTempo(double tempo)
    {
        m_host.window->tempo()->setText(QString::number(tempo));
        ++tempoChanges;
    }

    int replays = 0;
    int seeks = 0;
    int pageTurns = 0;
    int restarts = 0;
    int tempoChanges = 0;

private:
    Copy& m_host;
    MpvPlayer& m_player;
    int m_cycle = -1;
    int m_idleSteps = 0;
    std::vector<bool> m_done;
};

double clockError(Copy& guest, MpvPlayer& hostPlayer)
{
    return std::abs(guest.window->guestClock().value() - hostPlayer.position()) * 1000;
}

void printBoxes(const char* who, const CountingDialogs& dialogs)
{
    std::printf("  %s: %lld box(es)", who, static_cast<long long>(dialogs.shown.size()));
    for (const QString& text : dialogs.shown)
        std::printf(" [%s]",
                    qPrintable(text.left(80).replace(QLatin1Char('\n'), QLatin1Char(' '))));
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("FOLIVANT_AUDIO_OUTPUT"))
        qputenv("FOLIVANT_AUDIO_OUTPUT", "null");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    const int minutes = soakMinutes(argc, argv);

    QTemporaryDir notes;
    qputenv("FOLIVANT_NOTES_DIR", (notes.path() + QLatin1Char('/')).toUtf8());
    quint16 port = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::Any, 0);
        port = probe.serverPort();
    }
    qputenv("FOLIVANT_SESSION_PORT", QByteArray::number(port));
    const QString project = copyDemo(notes.path());

    MpvPlayer hostPlayer;
    Copy host(hostPlayer);
    if (!selectHostProject(host, project)) {
        std::fprintf(stderr, "the host's player did not open the demo\n");
        return 1;
    }

    HostilePeer hostile(port);
    hostile.join();
    const auto guests = joinGuests(project, kGuests);
    auto& friends = host.find<QListWidget>("connectedf");
    if (!waitFor([&] {
            return friends.count() == kGuests + 1 &&
                   std::all_of(guests.begin(), guests.end(), [](const auto& g) {
                       return g->window->workspace().modes.followMode;
                   });
        })) {
        std::fprintf(stderr, "the guests did not join (%d in the list)\n", friends.count());
        return 1;
    }
    host.click("HostGo");
    runFor(500);
    host.click("MainPanel_Play");

    HostScript script(host, hostPlayer);
    QElapsedTimer playing;
    playing.start();
    std::printf("soak: %d minute(s); demo %.1f s; %d guests and a hostile peer on port %u\n",
                minutes, hostPlayer.duration(), kGuests, unsigned(port));
    std::printf("minute  RSS MiB  tempo  replays  page turns  restarts  hostile MiB  boxes  "
                "guest error ms\n");
    const auto boxes = [&] {
        qsizetype n = host.dialogs.shown.size();
        for (const auto& g : guests)
            n += g->dialogs.shown.size();
        return n;
    };
    const auto report = [&](int minute) {
        double error = 0;
        for (const auto& g : guests)
            error = std::max(error, clockError(*g, hostPlayer));
        std::printf("%6d  %7.1f  %5s  %7d  %10d  %8d  %11.1f  %5lld  %14.0f\n", minute,
                    rssKiB() / 1024.0, qPrintable(host.window->tempo()->text()), script.replays,
                    script.pageTurns, script.restarts, hostile.sent / 1048576.0,
                    static_cast<long long>(boxes()), error);
        std::fflush(stdout);
    };
    report(0);

    int second = 0;
    int minute = 0;
    QTimer tick;
    tick.setInterval(250);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const double t = playing.elapsed() / 1000.0;
        // The minute's line comes before the script's next step, so that the guests'
        // error is read a tick after the host's last action, not in the same instant.
        if (int(t) / 60 > minute) {
            minute = int(t) / 60;
            report(minute);
        }
        script.step(t);
        while (second < int(t))
            hostile.act(++second);
    });
    tick.start();
    waitFor([&] { return playing.elapsed() >= qint64(minutes) * 60000; }, minutes * 60000 + 5000);
    tick.stop();
    if (minute < minutes)
        report(minutes);

    // In step at the end: plain play at tempo 1 for a while, then five seconds measured.
    press(host, "Replay_Stop");
    press(host, "Replay_Clear");
    script.setTempo(1.0);
    press(host, "MainPanel_Rewind");
    press(host, "MainPanel_Play");
    runFor(8000);
    std::vector<std::vector<double>> errors(guests.size());
    QElapsedTimer sampling;
    sampling.start();
    while (sampling.elapsed() < 5000) {
        for (std::size_t i = 0; i < guests.size(); ++i)
            errors[i].push_back(clockError(*guests[i], hostPlayer));
        runFor(50);
    }
    std::printf("\nguests' clock error over 5 s of plain play at the end:\n");
    for (std::size_t i = 0; i < guests.size(); ++i) {
        const auto& e = errors[i];
        double sum = 0;
        for (double v : e)
            sum += v;
        std::printf("  guest %zu: mean %.1f ms, largest %.1f ms (%zu samples)\n", i + 1,
                    sum / double(e.size()), *std::max_element(e.begin(), e.end()), e.size());
    }
    std::printf(
        "host: %d tempo changes, %d replays, %d seeks, %d page turns, %d restarts after the "
        "song ended\n",
        script.tempoChanges, script.replays, script.seeks, script.pageTurns, script.restarts);
    std::printf("hostile peer: %.1f MiB sent (%d bursts), %d connections opened, %d dropped "
                "at once; %d entries in the host's guest list\n",
                hostile.sent / 1048576.0, hostile.bursts, hostile.opened, hostile.vanished,
                friends.count());
    std::printf("message boxes:\n");
    printBoxes("host", host.dialogs);
    for (std::size_t i = 0; i < guests.size(); ++i)
        printBoxes(qPrintable(QStringLiteral("guest %1").arg(i + 1)), guests[i]->dialogs);
    host.click("StopHostKinsoro");
    runFor(300);
    return 0;
}
