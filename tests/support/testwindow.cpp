#include "support/testwindow.h"

#include <QCoreApplication>

TestWindow::TestWindow()
{
    window = std::make_unique<MainWindow>(
        Services{&player, &dialogs, &keys, &shell, [this] { ++quitCount; }, [this] { return now; },
                 notes.path() + QStringLiteral("guide.html"),
                 [this] { return heldNs ? *heldNs : steadyClock()(); },
                 [this] {
                     auto p = std::make_unique<ScriptedPlayer>();
                     clicks = p.get();
                     return p;
                 }});
    window->resize(1280, 800);
    window->show();
    QCoreApplication::processEvents();
}

void TestWindow::holdClock()
{
    if (!heldNs)
        heldNs = steadyClock()();
}

void TestWindow::advanceClock(double seconds)
{
    holdClock();
    *heldNs += static_cast<qint64>(seconds * 1e9);
}

TestWindow::~TestWindow()
{
    window.reset();
}

QString TestWindow::makeProject(const testfiles::ProjectLayout& layout)
{
    return testfiles::makeProject(notes.path(), layout);
}

void TestWindow::open(const QString& ntsPath)
{
    dialogs.files.enqueue(ntsPath);
    find<QAbstractButton>("Startup_Play").click();
}

void TestWindow::primePlayer(double duration)
{
    player.setDuration(duration);
    player.setState(Player::Ready, QStringLiteral("Ready"));
    // The program answered ready with play; the first playing state primes.
    player.setState(Player::Playing, QStringLiteral("Playing"));
    player.setStateQuietly(Player::Paused, QStringLiteral("Paused"));
    player.setState(Player::Paused, QStringLiteral("Paused"));
}
