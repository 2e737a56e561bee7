#include "support/testwindow.h"

#include <QCoreApplication>

TestWindow::TestWindow()
{
    window = std::make_unique<MainWindow>(Services{&player, &dialogs, &keys, &shell,
                                                   [this] { ++quitCount; }, [this] { return now; },
                                                   notes.path() + QStringLiteral("guide.html")});
    window->resize(1280, 800);
    window->show();
    QCoreApplication::processEvents();
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
