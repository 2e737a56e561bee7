#include "app/commandline.h"
#include "app/mainwindow.h"
#include "platform/dialogs.h"
#include "platform/hotkeys.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "playback/mpvplayer.h"
#include "splash/splashform.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <clocale>
#include <exception>

namespace {

// An installed program brings the demo project along: the first time it runs for a user
// (no Notes folder yet) the demo is copied into the user's Notes folder.
void offerDemo()
{
    const QString notes = paths::notesDir();
    const QDir demo(QCoreApplication::applicationDirPath() +
                    QStringLiteral("/../share/folivant/demo"));
    if (QFileInfo::exists(notes) || !demo.exists(QStringLiteral("Minuet.nts")))
        return;
    const QString target = notes + QStringLiteral("Minuet/");
    if (!QDir().mkpath(target))
        return;
    for (const QString& file : demo.entryList(QDir::Files))
        QFile::copy(demo.filePath(file), target + file);
}

int run(const QString& project)
{
    offerDemo();
    MpvPlayer player;
    QtDialogs dialogs;
    auto hotKeys = createHotKeys();
    DesktopShell shell;

    // The splash first, then the main window; the main window stays hidden until the
    // splash hands over to it.
    QtDialogs splashDialogs;
    SplashForm splash(splashDialogs, shell);
    splashDialogs.setParent(&splash); // the update notice stays above the splash
    MainWindow window(Services{&player, &dialogs, hotKeys.get(), &shell, {}, {}, {}});
    dialogs.setParent(&window);
    splash.setMainWindow(&window);
    // A second start with a project while one copy runs opens a second window, a copy of
    // its own: copies do not talk to each other outside a Kinsoro session.
    if (!project.isEmpty())
        commandline::openAfterSplash(splash, window.opening(), project);
    splash.show();
    SplashForm::setApplicationStarted(true);
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("Folivant with Kinsoro"));
    QCoreApplication::setApplicationVersion(SplashForm::version());
    if (commandline::asksForText(argc, argv)) {
        // The help and the version need no window system.
        const QCoreApplication app(argc, argv);
        return commandline::print(commandline::parse(QCoreApplication::arguments()));
    }
    QApplication app(argc, argv);
    const commandline::Request request = commandline::parse(QApplication::arguments());
    if (request.exit)
        return commandline::print(request);
    // libmpv refuses to start under a numeric locale other than "C".
    std::setlocale(LC_NUMERIC, "C");
    try {
        return run(request.project);
    } catch (const std::exception& e) {
        // An error that escapes the start-up is shown, and the program ends.
        QMessageBox::critical(nullptr, QApplication::applicationName(),
                              QString::fromLocal8Bit(e.what()));
    }
    return 0;
}
