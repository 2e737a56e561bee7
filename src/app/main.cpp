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

int run()
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
    splash.show();
    SplashForm::setApplicationStarted(true);
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Folivant with Kinsoro"));
    // libmpv refuses to start under a numeric locale other than "C".
    std::setlocale(LC_NUMERIC, "C");
    try {
        return run();
    } catch (const std::exception& e) {
        // An error that escapes the start-up is shown, and the program ends.
        QMessageBox::critical(nullptr, QApplication::applicationName(),
                              QString::fromLocal8Bit(e.what()));
    }
    return 0;
}
