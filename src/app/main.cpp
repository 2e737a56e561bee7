#include "app/mainwindow.h"

#include <QApplication>
#include <clocale>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Folivant with Kinsoro"));
    // libmpv refuses to start under a numeric locale other than "C".
    std::setlocale(LC_NUMERIC, "C");
    MainWindow window;
    window.show();
    return QApplication::exec();
}
