#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <clocale>
#include <gtest/gtest.h>

// Every test executable runs inside one QApplication, as the program does.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // The program's settings (the audio delay of each output) go to a folder of this run's
    // own, never to the user's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    // Without a session's runtime folder, the sound libraries the player loads make one of
    // their own in /tmp and leave it behind: this run's goes with the run.
    QTemporaryDir runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    // Test discovery runs the executables without CTest's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Folivant with Kinsoro"));
    std::setlocale(LC_NUMERIC, "C");
    return RUN_ALL_TESTS();
}
