#include <QApplication>
#include <clocale>
#include <gtest/gtest.h>

// Every test executable runs inside one QApplication, as the program does.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Folivant with Kinsoro"));
    std::setlocale(LC_NUMERIC, "C");
    return RUN_ALL_TESTS();
}
