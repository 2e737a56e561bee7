#include <QApplication>
#include <clocale>
#include <gtest/gtest.h>

// Every test executable runs inside one QApplication, as the program does.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Test discovery runs the executables without CTest's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Folivant with Kinsoro"));
    std::setlocale(LC_NUMERIC, "C");
    return RUN_ALL_TESTS();
}
